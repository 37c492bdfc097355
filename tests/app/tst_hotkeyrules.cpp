#include "catalogfixture.h"
#include "dialog.h"
#include "globalshortcut.h"
#include "keygrabs.h"
#include "modalanswer.h"
#include "qhotkeyedit.h"
#include "qsettingdlg.h"
#include "searchlineedit.h"
#include "testmain.h"

#include <QApplication>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSettings>

#include <memory>

// The hotkey's rules as a user meets them in the real window on an X server with a
// tray, keys pressed through XTest (xdotool): a key without Ctrl, Alt or Super is
// refused and takes no key from anyone; a key another program holds is named in
// the hotkey line, not in green, and in a tray balloon, never in a box at start;
// in the settings a refused key gets a box and the previous hotkey stays.
class TestHotkeyRules : public QObject
{
    Q_OBJECT

    std::unique_ptr<MessageBoxAnswerer> boxes;

    static constexpr uint16_t CtrlAlt = KeyGrabs::Control | KeyGrabs::Alt;

    static QString configFile()
    {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/config.ini");
    }

    static void writeHotkey(const QString &hotkey)
    {
        QFile::remove(configFile());
        QSettings settings(configFile(), QSettings::IniFormat);
        settings.setValue(QStringLiteral("maxcount"), 5);
        settings.setValue(QStringLiteral("transparency"), 100);
        settings.setValue(QStringLiteral("hotkey"), hotkey);
        settings.setValue(QStringLiteral("autohide"), 0);
    }

    static QString storedHotkey()
    {
        return QSettings(configFile(), QSettings::IniFormat).value(QStringLiteral("hotkey")).toString();
    }

    static std::unique_ptr<Dialog> makeWindow()
    {
        auto window = std::make_unique<Dialog>();
        window->show();
        if (!QTest::qWaitForWindowExposed(window.get()))
            return nullptr;
        return window;
    }

    static void xdotool(const QStringList &args) { QProcess::execute(QStringLiteral("xdotool"), args); }

    static bool inForce(const Dialog &w) { return w.lblHotkey->text().contains(QLatin1String("#32EC81")); }

    // The texts of the tray balloons on screen.
    static QString balloonText()
    {
        QString text;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (qstrcmp(w->metaObject()->className(), "QBalloonTip") != 0 || !w->isVisible())
                continue;
            for (QLabel *label : w->findChildren<QLabel *>())
                text += label->text() + QLatin1Char('\n');
        }
        return text;
    }

    // Types a combination into the settings' hotkey field and presses OK.
    static void chooseInSettings(Dialog &w, Qt::Key key, Qt::KeyboardModifiers modifiers)
    {
        w.ShowSettingSlot();
        auto field = w.settingDlg->findChild<QHotKeyEdit *>(QStringLiteral("edtHotkey"));
        QVERIFY(field);
        QTest::keyClick(field, key, modifiers);
        QTest::mouseClick(w.settingDlg->findChild<QPushButton *>(QStringLiteral("btnOk")), Qt::LeftButton);
    }

private slots:
    void initTestCase()
    {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        QVERIFY(QSystemTrayIcon::isSystemTrayAvailable());
    }

    void init()
    {
        CatalogFixture::resetSandbox();
        boxes = std::make_unique<MessageBoxAnswerer>();
    }

    void cleanup() { boxes.reset(); }

    void aKeyWithoutModifierIsRefusedAndTypesAsUsual()
    {
        writeHotkey(QStringLiteral("A"));
        auto w = makeWindow();
        QVERIFY(w);
        // Nothing was grabbed: "a" still reaches every program, Tolvane's box too.
        QCOMPARE(KeyGrabs::heldElsewhere(0), 0);
        QCOMPARE(KeyGrabs::heldElsewhere(KeyGrabs::Shift), 0);
        w->activateWindow();
        QTRY_VERIFY(w->isActiveWindow());
        w->edtSearch->setFocus();
        xdotool({QStringLiteral("key"), QStringLiteral("a")});
        QTRY_COMPARE(w->edtSearch->toPlainText(), QStringLiteral("a"));
        // Said once, without a box: in the line (not green) and in a balloon.
        QCOMPARE(boxes->texts, QStringList());
        QVERIFY(!inForce(*w));
        QVERIFY(w->lblHotkey->text().contains(QLatin1String("A: needs Ctrl, Alt or Super")));
        QTRY_VERIFY(balloonText().contains(QLatin1String("The hotkey A could not be registered")));
    }

    void aFunctionKeyAloneIsAllowed()
    {
        writeHotkey(QStringLiteral("F7"));
        auto w = makeWindow();
        QVERIFY(w);
        QVERIFY(inForce(*w));
        QCOMPARE(KeyGrabs::heldElsewhere(0), 1);
        w->hide();
        xdotool({QStringLiteral("key"), QStringLiteral("F7")});
        QTRY_VERIFY(w->isVisible());
    }

    void theSettingsRefuseABareKeyAndKeepThePrevious()
    {
        writeHotkey(QStringLiteral("CTRL+ALT+Q"));
        auto w = makeWindow();
        QVERIFY(w);
        QVERIFY(inForce(*w));
        QCOMPARE(KeyGrabs::heldElsewhere(CtrlAlt), 1);

        chooseInSettings(*w, Qt::Key_A, Qt::NoModifier);
        QTRY_COMPARE(boxes->texts.size(), 1);
        QVERIFY(boxes->texts.first().contains(QLatin1String("The hotkey A cannot be used")));
        QVERIFY(boxes->texts.first().contains(QLatin1String("Ctrl, Alt or the Super key")));
        QVERIFY(boxes->texts.first().contains(QLatin1String("The previous hotkey CTRL+ALT+Q stays.")));
        // The previous one is still held and works; "a" is nobody's.
        QCOMPARE(KeyGrabs::heldElsewhere(CtrlAlt), 1);
        QCOMPARE(KeyGrabs::heldElsewhere(0), 0);
        QVERIFY(inForce(*w));
        QVERIFY(w->lblHotkey->text().contains(QLatin1String("CTRL+ALT+Q")));
        QCOMPARE(storedHotkey(), QStringLiteral("CTRL+ALT+Q"));
        QCOMPARE(w->settingDlg->findChild<QHotKeyEdit *>()->text(), QStringLiteral("CTRL+ALT+Q"));
        w->hide();
        xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+q")});
        QTRY_VERIFY(w->isVisible());
    }

    void aKeyHeldByAnotherProgramIsNamedNotBoxed()
    {
        writeHotkey(QStringLiteral("CTRL+ALT+Q"));
        auto other = std::make_unique<KeyGrabs::Holder>(CtrlAlt, 'q');
        QVERIFY(other->holds());
        auto w = makeWindow();
        QVERIFY(w);
        // No box at start; the line names the key and the reason, not in green.
        QCOMPARE(boxes->texts, QStringList());
        QVERIFY(!inForce(*w));
        QVERIFY(w->lblHotkey->text().contains(QLatin1String("CTRL+ALT+Q: held by another program")));
        QVERIFY(w->lblHotkey->toolTip().contains(QLatin1String("Choose another one in Setting")));
        QTRY_VERIFY(balloonText().contains(
            QLatin1String("The hotkey CTRL+ALT+Q could not be registered: held by another program.")));

        // Another key from the settings works, and the line turns green.
        chooseInSettings(*w, Qt::Key_W, Qt::ControlModifier | Qt::AltModifier);
        QVERIFY(inForce(*w));
        QVERIFY(w->lblHotkey->text().contains(QLatin1String("CTRL+ALT+W")));
        QCOMPARE(boxes->texts, QStringList());

        // Asking for the held one again: a box, and CTRL+ALT+W stays in force.
        chooseInSettings(*w, Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier);
        QTRY_COMPARE(boxes->texts.size(), 1);
        QCOMPARE(boxes->texts.first(), QStringLiteral("The hotkey CTRL+ALT+Q cannot be used: held by another "
                                                      "program. The previous hotkey CTRL+ALT+W stays."));
        QVERIFY(inForce(*w));
        QCOMPARE(storedHotkey(), QStringLiteral("CTRL+ALT+W"));
        w->hide();
        xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+w")});
        QTRY_VERIFY(w->isVisible());
    }
};

TOLVANE_TEST_MAIN(TestHotkeyRules)
#include "tst_hotkeyrules.moc"
