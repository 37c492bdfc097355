#include "globalshortcut.h"
#include "keygrabs.h"
#include "testmain.h"

#include <QProcess>
#include <QSignalSpy>

#include <xcb/xcb.h>

// The system-wide hotkey on a real X server, pressed through XTest (xdotool).
class TestHotkey : public QObject
{
    Q_OBJECT

    static void press(const QString &keys)
    {
        QCOMPARE(QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), keys}), 0);
    }

    static constexpr uint16_t CtrlAlt = KeyGrabs::Control | KeyGrabs::Alt;
    static constexpr uint16_t ShiftAlt = KeyGrabs::Shift | KeyGrabs::Alt;

private slots:
    void initTestCase() { QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb")); }

    void pressingTheCombinationAnywhereActivates()
    {
        GlobalShortcut shortcut;
        QSignalSpy spy(&shortcut, &GlobalShortcut::activated);
        QVERIFY(shortcut.setShortcut(QKeySequence(QStringLiteral("CTRL+ALT+Q"))));
        press(QStringLiteral("ctrl+alt+q"));
        QTRY_COMPARE(spy.count(), 1);
        // Caps Lock and Num Lock held do not stop it; other modifiers do.
        press(QStringLiteral("Caps_Lock"));
        press(QStringLiteral("ctrl+alt+q"));
        press(QStringLiteral("Caps_Lock"));
        QTRY_COMPARE(spy.count(), 2);
        press(QStringLiteral("ctrl+alt+shift+q"));
        press(QStringLiteral("ctrl+alt+q"));
        QTRY_COMPARE(spy.count(), 3);
    }

    void aNewCombinationReleasesTheOldOne()
    {
        GlobalShortcut shortcut;
        QSignalSpy spy(&shortcut, &GlobalShortcut::activated);
        QVERIFY(shortcut.setShortcut(QKeySequence(QStringLiteral("CTRL+ALT+Q"))));
        QCOMPARE(KeyGrabs::heldElsewhere(CtrlAlt), 1);
        QVERIFY(shortcut.setShortcut(QKeySequence(QStringLiteral("SHIFT+ALT+W"))));
        QCOMPARE(KeyGrabs::heldElsewhere(CtrlAlt), 0);
        QCOMPARE(KeyGrabs::heldElsewhere(ShiftAlt), 1);
        // Also with Caps Lock held.
        QCOMPARE(KeyGrabs::heldElsewhere(ShiftAlt | KeyGrabs::Lock), 1);
        // The server delivers in order: had the old grab survived, its press would
        // be counted before the new one.
        press(QStringLiteral("ctrl+alt+q"));
        press(QStringLiteral("shift+alt+w"));
        QTRY_COMPARE(spy.count(), 1);
        press(QStringLiteral("shift+alt+w"));
        QTRY_COMPARE(spy.count(), 2);
    }

    void destructionReleasesTheGrab()
    {
        {
            GlobalShortcut first;
            QVERIFY(first.setShortcut(QKeySequence(QStringLiteral("CTRL+ALT+E"))));
            QCOMPARE(KeyGrabs::heldElsewhere(CtrlAlt), 1);
        }
        QCOMPARE(KeyGrabs::heldElsewhere(CtrlAlt), 0);
    }

    void refusedCombinationsReportFailure()
    {
        GlobalShortcut shortcut;
        QVERIFY(!shortcut.setShortcut(QKeySequence()));
        // No key of the server's keyboard produces this keysym.
        QVERIFY(!shortcut.setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F35)));

        // Another client holds the combination: the grab is refused.
        xcb_connection_t *other = xcb_connect(nullptr, nullptr);
        QVERIFY(!xcb_connection_has_error(other));
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(other)).data->root;
        for (int code = 8; code < 256; ++code) {
            // Grab every keycode with Ctrl+Alt in the other client; one of them is K.
            auto cookie = xcb_grab_key_checked(other, 1, root, KeyGrabs::Control | KeyGrabs::Alt,
                                               static_cast<xcb_keycode_t>(code), XCB_GRAB_MODE_ASYNC,
                                               XCB_GRAB_MODE_ASYNC);
            if (xcb_generic_error_t *error = xcb_request_check(other, cookie))
                free(error);
        }
        xcb_flush(other);
        QVERIFY(!shortcut.setShortcut(QKeySequence(QStringLiteral("CTRL+ALT+K"))));
        xcb_disconnect(other);
        // Once the other client is gone the combination is free again.
        QTRY_VERIFY(shortcut.setShortcut(QKeySequence(QStringLiteral("CTRL+ALT+K"))));
    }
};

TOLVANE_TEST_MAIN(TestHotkey)
#include "tst_hotkey.moc"
