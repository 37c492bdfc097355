#include "catalogfixture.h"
#include "dialog.h"
#include "globalshortcut.h"
#include "keygrabs.h"
#include "modalanswer.h"
#include "qhotkeyedit.h"
#include "qsettingdlg.h"
#include "searchlineedit.h"
#include "testmain.h"
#include "tooltipcolours.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>

#include <memory>

// The hotkey's rules as a user meets them in the real window on an X server with a
// tray, keys pressed through XTest (xdotool): a key without Ctrl, Alt or Super is
// refused and takes no key from anyone; a key another program holds is named in
// the hotkey line, not in green, and in a tray balloon, never in a box at start;
// in the settings a refused key gets a box and the previous hotkey stays.
// Counts the presses of one mouse button that reach a window.
class PressCounter : public QObject
{
public:
    PressCounter(QWidget *window, Qt::MouseButton button) : button(button)
    {
        window->installEventFilter(this);
    }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::MouseButtonPress &&
            static_cast<QMouseEvent *>(event)->button() == button)
            ++count;
        return false;
    }

private:
    Qt::MouseButton button;
};

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

    static void xdotoolAt(const QPoint &global, const QStringList &then = {})
    {
        xdotool(QStringList{QStringLiteral("mousemove"), QString::number(global.x()),
                            QString::number(global.y())} +
                then);
    }

    // The tool tip on screen, if one is.
    static QWidget *shownToolTip()
    {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (qstrcmp(w->metaObject()->className(), "QTipLabel") == 0 && w->isVisible())
                return w;
        }
        return nullptr;
    }

    static QImage screenShot(const QRect &area)
    {
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }

    static void keepShot(const QImage &image, const QString &name)
    {
        const QString dir = qEnvironmentVariable("TOLVANE_SHOT_DIR");
        if (!dir.isEmpty())
            image.save(QDir(dir).filePath(name));
    }

    // The contrast of a tool tip's text with its background, measured on the
    // screen: the background is the commonest colour inside the frame, the text the
    // colour of the most contrasting pixels (the cores of the glyphs).
    static double measuredContrast(const QImage &tip)
    {
        QHash<QRgb, int> counts;
        for (int y = 3; y < tip.height() - 3; ++y)
            for (int x = 3; x < tip.width() - 3; ++x)
                ++counts[tip.pixel(x, y)];
        QRgb background = 0;
        int most = 0;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
            if (it.value() > most) {
                most = it.value();
                background = it.key();
            }
        }
        double best = 1;
        for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
            // A colour of a few pixels at least: glyph cores, not a stray edge pixel.
            if (it.value() >= 4)
                best = qMax(best, ToolTipColours::contrast(QColor(it.key()), QColor(background)));
        }
        return best;
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
        // A dialog of the main window, without minimise and maximise.
        QCOMPARE(boxes->parents.first(), w.get());
        QCOMPARE(boxes->flags.first() & Qt::WindowType_Mask, Qt::Dialog);
        QVERIFY(!(boxes->flags.first() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
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

    // Every tool tip of the main window, on the X server as the user sees it: its
    // text contrasts with its background at least 4.5 : 1.
    void toolTipsAreReadable_data()
    {
        QTest::addColumn<QString>("widget");
        QTest::newRow("hotkey line") << QStringLiteral("lblHotkey");
        QTest::newRow("count button") << QStringLiteral("btnCount");
        QTest::newRow("setting button") << QStringLiteral("btnSetting");
        QTest::newRow("feedback button") << QStringLiteral("btnFeedback");
    }

    void toolTipsAreReadable()
    {
        QFETCH(QString, widget);
        writeHotkey(QStringLiteral("CTRL+ALT+Q"));
        auto w = makeWindow();
        QVERIFY(w);
        w->activateWindow();
        QTRY_VERIFY(w->isActiveWindow());
        QWidget *target = w->findChild<QWidget *>(widget);
        QVERIFY(target);
        QVERIFY(!target->toolTip().isEmpty());
        // The real pointer onto the widget (from outside it, so that it enters).
        xdotoolAt(w->mapToGlobal(QPoint(5, 5)));
        const QPoint inside = target->mapToGlobal(QPoint(target->width() / 3, target->height() / 2));
        xdotoolAt(inside);
        QWidget *tip = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT((tip = shownToolTip()) != nullptr, 15000);
        QTRY_VERIFY(tip->width() > 20 && tip->height() > 10);
        // Measured once the tip is painted (a new window is blank for a moment).
        double ratio = 1;
        QTRY_VERIFY2_WITH_TIMEOUT((ratio = measuredContrast(screenShot(tip->frameGeometry()))) >=
                                      ToolTipColours::MinimumContrast,
                                  qPrintable(QString::number(ratio)), 5000);
        keepShot(screenShot(tip->frameGeometry().united(w->frameGeometry())),
                 QStringLiteral("tooltip-%1.png").arg(widget));
        qInfo("%s: tool tip contrast %.1f : 1", qPrintable(widget), ratio);
        xdotoolAt(QPoint(5, 700));
    }

    // A right click opens the menu, also where the menu cannot open to the right
    // of the pointer; only a deliberate click then chooses an item.
    void rightClickOpensTheMenuOnly_data()
    {
        QTest::addColumn<int>("fromRight");
        QTest::addColumn<int>("fromBottom");
        QTest::newRow("right edge, as seen at 1153 of 1280") << 127 << 400;
        QTest::newRow("bottom right corner") << 40 << 30;
        QTest::newRow("middle of the screen") << 640 << 400;
    }

    void rightClickOpensTheMenuOnly()
    {
        QFETCH(int, fromRight);
        QFETCH(int, fromBottom);
        writeHotkey(QStringLiteral("CTRL+ALT+Q"));
        auto w = makeWindow();
        QVERIFY(w);
        const QRect screen = w->screen()->geometry();
        const QPoint click(screen.right() + 1 - fromRight, screen.bottom() + 1 - fromBottom);
        // The window's background (between the top buttons and the search box)
        // under that point.
        const QPoint background(300, 60);
        w->move(click - background);
        QTRY_COMPARE(w->mapToGlobal(background), click);
        // The press alone opens nothing (the window has seen it); the release opens the menu.
        PressCounter presses(w.get(), Qt::RightButton);
        xdotoolAt(click, {QStringLiteral("mousedown"), QStringLiteral("3")});
        QTRY_COMPARE(presses.count, 1);
        QVERIFY(!w->trayMenu->isVisible());
        xdotool({QStringLiteral("mouseup"), QStringLiteral("3")});
        QTRY_VERIFY(w->trayMenu->isVisible());
        // Everything the click sent has arrived once the pointer's next move has.
        auto setting = w->findChild<QAction *>(QStringLiteral("actionSetting"));
        const QRect item = w->trayMenu->actionGeometry(setting);
        xdotoolAt(w->trayMenu->mapToGlobal(item.center()));
        QTRY_COMPARE(w->trayMenu->activeAction(), setting);
        QVERIFY(w->trayMenu->isVisible());
        QVERIFY(!w->helpDlg.isVisible());
        QVERIFY(!w->settingDlg->isVisible());
        QVERIFY(w->trayMenu->geometry().intersects(screen));
        QVERIFY(screen.contains(w->trayMenu->geometry()));
        // The deliberate click chooses.
        xdotool({QStringLiteral("click"), QStringLiteral("1")});
        QTRY_VERIFY(w->settingDlg->isVisible());
        QVERIFY(!w->helpDlg.isVisible());
        w->settingDlg->hide();
    }

    // The window comes up at the same place at every summon: centred on the
    // screen with the pointer, or where the user dragged it in this run.
    void comesUpAtTheSamePlace()
    {
        writeHotkey(QStringLiteral("CTRL+ALT+Q"));
        xdotoolAt(QPoint(100, 700));
        auto w = makeWindow();
        QVERIFY(w);
        QVERIFY(inForce(*w));
        const QRect available = w->screen()->availableGeometry();
        QRect centred = w->frameGeometry();
        centred.moveCenter(available.center());
        QTRY_COMPARE(w->frameGeometry().topLeft(), centred.topLeft());

        for (const QPoint &pointer : {QPoint(1200, 700), QPoint(30, 30)}) {
            w->hide();
            xdotoolAt(pointer, {QStringLiteral("key"), QStringLiteral("ctrl+alt+q")});
            QTRY_VERIFY(w->isVisible());
            QTRY_COMPARE(w->frameGeometry().topLeft(), centred.topLeft());
        }

        // Dragged by its background: it stays where it was left.
        const QPoint grab = w->mapToGlobal(QPoint(250, 12));
        xdotoolAt(grab, {QStringLiteral("mousedown"), QStringLiteral("1")});
        xdotoolAt(grab + QPoint(30, 20));
        xdotoolAt(grab + QPoint(-120, 90), {QStringLiteral("mouseup"), QStringLiteral("1")});
        const QPoint dragged = centred.topLeft() + QPoint(-120, 90);
        QTRY_COMPARE(w->frameGeometry().topLeft(), dragged);
        for (const QPoint &pointer : {QPoint(1200, 700), QPoint(30, 30)}) {
            w->hide();
            xdotoolAt(pointer, {QStringLiteral("key"), QStringLiteral("ctrl+alt+q")});
            QTRY_VERIFY(w->isVisible());
            QTRY_COMPARE(w->frameGeometry().topLeft(), dragged);
        }
    }

    // The boxes are dialogs of the main window whose title bar the window manager
    // gives only a close button: the hints Qt sets on the X window allow neither
    // minimising nor maximising.
    void messageBoxesAreDialogsWithoutMinimiseOrMaximise()
    {
        writeHotkey(QStringLiteral("CTRL+ALT+Q"));
        auto w = makeWindow();
        QVERIFY(w);
        boxes.reset(); // answered here, after a look at the window
        QString hints;
        QWidget *owner = nullptr;
        bool transient = false;
        whenModalShows<QMessageBox>([&](QMessageBox *box) {
            QProcess xprop;
            xprop.start(QStringLiteral("xprop"),
                        {QStringLiteral("-id"), QString::number(box->winId()),
                         QStringLiteral("_MOTIF_WM_HINTS"), QStringLiteral("WM_TRANSIENT_FOR")});
            xprop.waitForFinished(10000);
            hints = QString::fromLocal8Bit(xprop.readAllStandardOutput());
            owner = box->parentWidget();
            transient = hints.contains(QStringLiteral("0x%1").arg(w->winId(), 0, 16));
            box->accept();
        });
        chooseInSettings(*w, Qt::Key_A, Qt::NoModifier);
        QTRY_VERIFY(!hints.isEmpty());
        QCOMPARE(owner, w.get());
        QVERIFY2(transient, qPrintable(hints));
        // _MOTIF_WM_HINTS = flags, functions, decorations, ...
        const QRegularExpression motif(
            QStringLiteral("_MOTIF_WM_HINTS\\(_MOTIF_WM_HINTS\\) = (\\w+), (\\w+), (\\w+)"));
        const QRegularExpressionMatch match = motif.match(hints);
        QVERIFY2(match.hasMatch(), qPrintable(hints));
        bool ok = false;
        const uint flags = match.captured(1).toUInt(&ok, 0);
        const uint functions = match.captured(2).toUInt(&ok, 0);
        const uint decorations = match.captured(3).toUInt(&ok, 0);
        constexpr uint HintFunctions = 1, HintDecorations = 2;
        constexpr uint All = 1, Minimize = 8, Maximize = 16, Close = 32;
        QVERIFY2((flags & HintFunctions) && !(functions & (All | Minimize | Maximize)) && (functions & Close),
                 qPrintable(hints));
        QVERIFY2((flags & HintDecorations) && !(decorations & (1 | 32 | 64)), qPrintable(hints));
    }

    // Pictures of the windows this desktop shows (kept with TOLVANE_SHOT_DIR).
    void windowsAsShown()
    {
        if (qEnvironmentVariableIsEmpty("TOLVANE_SHOT_DIR"))
            QSKIP("set TOLVANE_SHOT_DIR to keep the pictures");
        writeHotkey(QStringLiteral("CTRL+ALT+Q"));
        auto w = makeWindow();
        QVERIFY(w);
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        keepShot(screenShot(w->frameGeometry()), QStringLiteral("main.png"));
        w->ShowSettingSlot();
        QVERIFY(QTest::qWaitForWindowExposed(w->settingDlg));
        QTRY_VERIFY(!screenShot(w->settingDlg->frameGeometry()).isNull());
        keepShot(screenShot(w->settingDlg->frameGeometry()), QStringLiteral("settings.png"));
        w->settingDlg->hide();
        w->ShowHelp();
        QVERIFY(QTest::qWaitForWindowExposed(&w->helpDlg));
        const QImage first = screenShot(w->helpDlg.frameGeometry());
        keepShot(first, QStringLiteral("help1.png"));
        QTest::mouseClick(&w->helpDlg, Qt::LeftButton);
        QTRY_COMPARE(w->helpDlg.currentPage(), 2);
        QTRY_VERIFY(screenShot(w->helpDlg.frameGeometry()) != first);
        keepShot(screenShot(w->helpDlg.frameGeometry()), QStringLiteral("help2.png"));
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

        // A refused key while the one before never worked: nothing "stays".
        chooseInSettings(*w, Qt::Key_A, Qt::NoModifier);
        QTRY_COMPARE(boxes->texts.size(), 1);
        QVERIFY(!boxes->texts.first().contains(QLatin1String("stays")));
        QVERIFY2(boxes->texts.first().endsWith(
                     QLatin1String("The previous hotkey CTRL+ALT+Q is not in force either. No hotkey shows "
                                   "Tolvane now: click Tolvane's icon in the tray.")),
                 qPrintable(boxes->texts.first()));
        boxes->texts.clear();

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
