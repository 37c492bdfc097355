// The settings dialog on a real X server, used as a user does: real keys and
// clicks through xdotool, the X selection for the middle button's paste.
#include "applocations.h"
#include "qhotkeyedit.h"
#include "qsettingdlg.h"
#include "testmain.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QtTest>

#include <memory>

namespace {

void xdotool(const QStringList &arguments)
{
    QProcess::execute(QStringLiteral("xdotool"), arguments);
}

// Counts the releases of one mouse button on a widget.
class ReleaseCounter : public QObject
{
public:
    ReleaseCounter(QWidget *widget, Qt::MouseButton button) : button(button)
    {
        widget->installEventFilter(this);
    }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent *>(event)->button() == button)
            ++count;
        return false;
    }

private:
    Qt::MouseButton button;
};

QString storedHotkey()
{
    return QSettings(AppLocations::configFile(), QSettings::IniFormat)
        .value(QStringLiteral("hotkey"))
        .toString();
}

} // namespace

class TestSettingsX11 : public QObject
{
    Q_OBJECT

    std::unique_ptr<QSettingDlg> dlg;
    QHotKeyEdit *field = nullptr;

private slots:
    void init()
    {
        QFile::remove(AppLocations::configFile());
        dlg = std::make_unique<QSettingDlg>();
        dlg->ApplySettings();
        dlg->move(60, 60);
        dlg->show();
        dlg->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dlg.get()));
        field = dlg->findChild<QHotKeyEdit *>(QStringLiteral("edtHotkey"));
        QVERIFY(field);
    }

    void cleanup() { dlg.reset(); }

    // The middle button pastes the X selection into line edits; not into this one.
    void middleButtonDoesNotPasteIntoTheHotkeyField()
    {
        field->setFocus();
        QTRY_VERIFY(field->hasFocus());
        xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+q")});
        QTRY_COMPARE(field->text(), QStringLiteral("CTRL+ALT+Q"));

        QGuiApplication::clipboard()->setText(QStringLiteral("garbage"), QClipboard::Selection);
        ReleaseCounter middle(field, Qt::MiddleButton);
        const QPoint at = field->mapToGlobal(QPoint(20, field->height() / 2));
        xdotool({QStringLiteral("mousemove"), QString::number(at.x()), QString::number(at.y()),
                 QStringLiteral("click"), QStringLiteral("2")});
        QTRY_COMPARE_WITH_TIMEOUT(middle.count, 1, 10000);
        QCOMPARE(field->text(), QStringLiteral("CTRL+ALT+Q"));

        // Return, with the focus on another control, confirms: the captured key is stored.
        xdotool({QStringLiteral("key"), QStringLiteral("Tab"), QStringLiteral("Return")});
        QTRY_VERIFY_WITH_TIMEOUT(!dlg->isVisible(), 10000);
        QCOMPARE(storedHotkey(), QStringLiteral("CTRL+ALT+Q"));
    }

    // The hotkey field with the keyboard focus shows it in its frame (its text
    // cursor is hidden: only the capture rule edits it). Escape then cancels.
    void focusedHotkeyFieldShowsItAndEscapeCancels()
    {
        // The pointer off the dialog: the field's frame has that colour under the mouse too.
        xdotool({QStringLiteral("mousemove"), QStringLiteral("0"), QStringLiteral("0")});
        field->setText(QStringLiteral("ALT+Z"));
        auto other = dlg->findChild<QWidget *>(QStringLiteral("chkBigIcon"));
        other->setFocus();
        QTRY_VERIFY(other->hasFocus());
        const auto frameColour = [this] {
            const QPoint at = dlg->mapToGlobal(QPoint(0, 0));
            const QImage screen = QGuiApplication::primaryScreen()
                                      ->grabWindow(0, at.x(), at.y(), dlg->width(), dlg->height())
                                      .toImage();
            const QString dir = qEnvironmentVariable("TOLVANE_SHOT_DIR");
            if (!dir.isEmpty() && field->hasFocus())
                screen.save(QDir(dir).filePath(QStringLiteral("settings-hotkey-focus.png")));
            return screen.pixelColor(field->geometry().left(), field->geometry().center().y());
        };
        QTRY_COMPARE(frameColour(), QColor(165, 165, 165));
        // Shift+Tab from the start-with-system box, which comes after the field.
        dlg->findChild<QWidget *>(QStringLiteral("chkAutoRun"))->setFocus();
        xdotool({QStringLiteral("key"), QStringLiteral("shift+Tab")});
        QTRY_VERIFY_WITH_TIMEOUT(field->hasFocus(), 10000);
        QTRY_COMPARE(frameColour(), QColor(97, 141, 175));

        xdotool({QStringLiteral("key"), QStringLiteral("Tab"), QStringLiteral("Escape")});
        QTRY_VERIFY_WITH_TIMEOUT(!dlg->isVisible(), 10000);
        QCOMPARE(field->text(), QString()); // back to the file, which has no hotkey
        QVERIFY(!QFile::exists(AppLocations::configFile()));
    }
};

TOLVANE_TEST_MAIN(TestSettingsX11)
#include "tst_settings_x11.moc"
