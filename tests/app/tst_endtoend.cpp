#include "catalogfixture.h"
#include "keygrabs.h"
#include "programcopy.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QSettings>

// The whole program as a user meets it, on an X server with a tray: the hotkey,
// typing and Return, the tray icon and its menu, the settings window, Quit.
class TestEndToEnd : public QObject
{
    Q_OBJECT

    QString marker;

    static QString xdotool(const QStringList &args) { return X11Windows::xdotool(args); }

    // The tray's panel window, holding the program's icon.
    static QString trayPanel()
    {
        return xdotool({QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("^panel$")})
            .section(QLatin1Char('\n'), 0, 0);
    }

    // Whether the program's icon sits in the tray (the panel holds more than its own window).
    static bool trayIconEmbedded()
    {
        const QString panel = trayPanel();
        if (panel.isEmpty())
            return false;
        QProcess info;
        info.start(QStringLiteral("xwininfo"), {QStringLiteral("-children"), QStringLiteral("-id"), panel});
        info.waitForFinished(10000);
        return info.readAllStandardOutput().contains("2 children");
    }

    // Clicks the tray icon once nothing (the start-up balloon) covers it.
    static void clickTray(int button)
    {
        const QString panel = trayPanel();
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), panel, QStringLiteral("12"),
                 QStringLiteral("16")});
        QTRY_COMPARE_WITH_TIMEOUT(xdotool({QStringLiteral("getmouselocation"), QStringLiteral("--shell")})
                                      .section(QStringLiteral("WINDOW="), 1)
                                      .trimmed(),
                                  panel, 10000);
        xdotool({QStringLiteral("click"), QString::number(button)});
    }

    static void key(const QString &keys) { xdotool({QStringLiteral("key"), keys}); }

    static void clickAt(const QString &window, int x, int y)
    {
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(x),
                 QString::number(y), QStringLiteral("click"), QStringLiteral("1")});
    }

    // Saves a picture of the screen when TOLVANE_SCREENSHOT_DIR names a folder.
    static void screenshot(const QString &name)
    {
        const QString dir = qEnvironmentVariable("TOLVANE_SCREENSHOT_DIR");
        if (dir.isEmpty())
            return;
        QProcess::execute(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"),
                                                     dir + QLatin1Char('/') + name + QStringLiteral(".png")});
    }

    // The visible windows of the process (its splash, tray icon, menus, windows).
    static QStringList visibleWindows(qint64 pid)
    {
        return xdotool({QStringLiteral("search"), QStringLiteral("--all"), QStringLiteral("--onlyvisible"),
                        QStringLiteral("--pid"), QString::number(pid), QStringLiteral(".*")})
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    // A copy whose first run walks a desktop folder that reads slowly until
    // releaseSlowScan() is called: start-up stays inside discovery meanwhile.
    static void makeScanSlow(ProgramCopy &copy)
    {
        const QString slow = QDir::homePath() + QStringLiteral("/Desktop/slow");
        for (int i = 0; i < 2000; ++i)
            CatalogFixture::createFile(slow + QStringLiteral("/folder%1/file.txt").arg(i));
        QFile::remove(slowScanRelease());
        copy.setEnvironment(QStringLiteral("LD_PRELOAD"), QStringLiteral(TOLVANE_SLOWDIR_LIB));
        copy.setEnvironment(QStringLiteral("TOLVANE_SLOW_DIR"), slow);
        copy.setEnvironment(QStringLiteral("TOLVANE_SLOW_DIR_MS"), QStringLiteral("20"));
        copy.setEnvironment(QStringLiteral("TOLVANE_SLOW_DIR_RELEASE"), slowScanRelease());
    }

    static QString slowScanRelease() { return TestSandbox::path(QStringLiteral("slow-scan-done")); }
    static void removeSlowFolder()
    {
        QDir(QDir::homePath() + QStringLiteral("/Desktop/slow")).removeRecursively();
    }
    static void releaseSlowScan() { CatalogFixture::createFile(slowScanRelease()); }

    // Opens the tray menu and returns its window, or an empty text when it did not show.
    static QString openTrayMenu(qint64 pid)
    {
        const QStringList before = visibleWindows(pid);
        QString menu;
        const auto menuShown = [&] {
            for (const QString &id : visibleWindows(pid)) {
                if (!before.contains(id))
                    menu = id;
            }
            return !menu.isEmpty();
        };
        // Under Xvfb without a window manager, a right click that comes just as a
        // window the previous menu opened is mapped is now and then lost; a user
        // clicks again, and so does the test, once.
        bool shown = false;
        for (int attempt = 0; attempt < 2 && !shown; ++attempt) {
            clickTray(3);
            shown = QTest::qWaitFor(menuShown, attempt == 0 ? 3000 : 10000);
        }
        if (shown)
            screenshot(QStringLiteral("tray-menu"));
        return menu;
    }

    // Opens the tray menu, presses the keys in it and waits until the menu is gone.
    // Returns what went wrong, or an empty text.
    static QString useTrayMenu(qint64 pid, const QStringList &keys)
    {
        const QString menu = openTrayMenu(pid);
        if (menu.isEmpty())
            return QStringLiteral("the tray menu did not open");
        for (const QString &key : keys)
            xdotool({QStringLiteral("key"), key});
        if (!QTest::qWaitFor([&] { return !visibleWindows(pid).contains(menu); }, 10000))
            return QStringLiteral("the tray menu stayed open");
        return QString();
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(TestSandbox::buildBinDir() + QStringLiteral("/tolvane")),
                 "build tolvane first");
        CatalogFixture::resetSandbox();
        marker = ProgramCopy::writeMarkerApp(QStringLiteral("Markerapp"),
                                             TestSandbox::path(QStringLiteral("marker")));
    }

    void cleanup()
    {
        removeSlowFolder();
        QFile::remove(slowScanRelease());
    }

    // The tray icon and its menu are live while the first run walks a large, slow
    // desktop folder: the entries that need the finished window are greyed out,
    // choosing them does nothing, and the program comes up afterwards.
    void trayMenuDuringASlowFirstRun()
    {
        ProgramCopy copy(QStringLiteral("slowstart"));
        makeScanSlow(copy);
        QProcess *process = copy.start();
        const qint64 pid = process->processId();
        QTRY_VERIFY_WITH_TIMEOUT(trayIconEmbedded(), 20000);
        QVERIFY(X11Windows::visibleMainWindows(pid).isEmpty());

        // Setting, About and Show/Hide are greyed out until the program is up:
        // their keys do nothing and leave the menu open. Help needs nothing of the
        // window: its key then closes the menu and shows the help, which also tells
        // that the keys before it reached the menu. A click on the icon does not
        // show a half-built window either.
        QCOMPARE(useTrayMenu(pid, {QStringLiteral("s"), QStringLiteral("a"), QStringLiteral("c"),
                                   QStringLiteral("h")}),
                 QString());
        QTRY_VERIFY_WITH_TIMEOUT(!X11Windows::windowOfSize(pid, QSize(600, 300)).isEmpty(), 10000);
        clickTray(1);
        QCOMPARE(process->state(), QProcess::Running);
        // Everything above happened inside the walk; no settings, about or main window.
        QVERIFY(X11Windows::visibleMainWindows(pid).isEmpty());
        QVERIFY(X11Windows::windowOfSize(pid, QSize(475, 297)).isEmpty());
        QVERIFY(X11Windows::windowOfSize(pid, QSize(376, 188)).isEmpty());

        releaseSlowScan();
        QTRY_COMPARE_WITH_TIMEOUT(X11Windows::visibleMainWindows(pid).size(), 1, 30000);
        QCOMPARE(process->state(), QProcess::Running);
        // Now Setting opens the settings window.
        QCOMPARE(useTrayMenu(pid, {QStringLiteral("s")}), QString());
        QTRY_VERIFY_WITH_TIMEOUT(!X11Windows::windowOfSize(pid, QSize(475, 297)).isEmpty(), 10000);
        QCOMPARE(useTrayMenu(pid, {QStringLiteral("q")}), QString());
        QVERIFY(process->waitForFinished(20000));
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), 0);
    }

    // Quit chosen during the slow first run is not lost: the program ends as soon
    // as the walk is done, without showing its window, and saves the catalog.
    void quitDuringASlowFirstRun()
    {
        ProgramCopy copy(QStringLiteral("slowquit"));
        makeScanSlow(copy);
        QProcess *process = copy.start();
        const qint64 pid = process->processId();
        QTRY_VERIFY_WITH_TIMEOUT(trayIconEmbedded(), 20000);
        QCOMPARE(useTrayMenu(pid, {QStringLiteral("q")}), QString());
        QCOMPARE(process->state(), QProcess::Running);
        QVERIFY(X11Windows::visibleMainWindows(pid).isEmpty());

        releaseSlowScan();
        QVERIFY(process->waitForFinished(30000));
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), 0);
        QVERIFY(QFile::exists(copy.dataFile()));
        QVERIFY(!ProgramCopy::rowsOf(copy.dataFile(), QStringLiteral("SELECT name FROM sqlite_master"))
                     .isEmpty());
    }

    // A launched item whose file is gone shows "the file is not exist.". The
    // Return that answers the box closes it, and nothing more happens: its
    // release, which reaches the search box under the pointer, opens no new box.
    void oneReturnAnswersTheErrorBox()
    {
        const QString ghost = QDir::homePath() + QStringLiteral("/Desktop/Ghostly.exe");
        CatalogFixture::createFile(ghost);
        ProgramCopy copy(QStringLiteral("errorbox"));
        QProcess *process = copy.start();
        const qint64 pid = process->processId();
        QTRY_COMPARE_WITH_TIMEOUT(X11Windows::visibleMainWindows(pid).size(), 1, 20000);
        const QString window = X11Windows::visibleMainWindows(pid).first();
        QVERIFY(QFile::remove(ghost));
        key(QStringLiteral("ctrl+alt+q"));
        QTRY_COMPARE(X11Windows::focusedWindow(), window);
        // The pointer rests on the window, beside where the box will show.
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QStringLiteral("30"),
                 QStringLiteral("60")});

        const auto errorBoxes = [pid] {
            return xdotool({QStringLiteral("search"), QStringLiteral("--all"),
                            QStringLiteral("--onlyvisible"), QStringLiteral("--pid"), QString::number(pid),
                            QStringLiteral("--name"), QStringLiteral("^error$")})
                .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        };
        xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"),
                 QStringLiteral("Ghostl")});
        key(QStringLiteral("Return"));
        QTRY_COMPARE_WITH_TIMEOUT(errorBoxes().size(), 1, 10000);
        screenshot(QStringLiteral("error-box"));
        key(QStringLiteral("Return"));
        QTRY_VERIFY_WITH_TIMEOUT(errorBoxes().isEmpty(), 10000);
        // Escape clears the box's text, a second one hides the window: both reach
        // the main window only when no new box took the keyboard.
        key(QStringLiteral("Escape"));
        key(QStringLiteral("Escape"));
        QTRY_COMPARE_WITH_TIMEOUT(X11Windows::visibleMainWindows(pid).size(), 0, 10000);
        QVERIFY(errorBoxes().isEmpty());
        // Nothing was learned for the missing file.
        QCOMPARE(useTrayMenu(pid, {QStringLiteral("q")}), QString());
        QVERIFY(process->waitForFinished(20000));
        QCOMPARE(process->exitCode(), 0);
        QVERIFY(ProgramCopy::rowsOf(copy.dataFile(), QStringLiteral("SELECT * FROM QUICK")).isEmpty());
    }

    void aDayWithTheLauncher()
    {
        ProgramCopy copy(QStringLiteral("tolvane"));
        QProcess *process = copy.start();
        const qint64 pid = process->processId();
        QTRY_COMPARE_WITH_TIMEOUT(X11Windows::visibleMainWindows(pid).size(), 1, 20000);
        const QString window = X11Windows::visibleMainWindows(pid).first();
        // The tray icon is there, and the configured hotkey is held.
        QTRY_VERIFY_WITH_TIMEOUT(trayIconEmbedded(), 10000);
        QCOMPARE(KeyGrabs::heldElsewhere(KeyGrabs::Control | KeyGrabs::Alt), 1);

        // A click on the tray icon hides the window, another shows it again.
        clickTray(1);
        QTRY_COMPARE(X11Windows::visibleMainWindows(pid).size(), 0);
        clickTray(1);
        QTRY_COMPARE(X11Windows::visibleMainWindows(pid).size(), 1);
        clickTray(1);
        QTRY_COMPARE(X11Windows::visibleMainWindows(pid).size(), 0);

        // The hotkey brings it up with the keyboard focus in it.
        key(QStringLiteral("ctrl+alt+q"));
        QTRY_COMPARE(X11Windows::visibleMainWindows(pid).size(), 1);
        QTRY_COMPARE(X11Windows::focusedWindow(), window);

        // Type the application's name and press Return: it starts.
        xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"),
                 QStringLiteral("Mark")});
        screenshot(QStringLiteral("main-window-popup"));
        key(QStringLiteral("Return"));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
        // The shipped settings hide the window after a launch.
        QTRY_COMPARE(X11Windows::visibleMainWindows(pid).size(), 0);

        // The settings window from the tray menu: a new hotkey, confirmed with OK.
        QCOMPARE(useTrayMenu(pid, {QStringLiteral("s")}), QString());
        QString settings;
        QTRY_VERIFY_WITH_TIMEOUT(!(settings = X11Windows::windowOfSize(pid, QSize(475, 297))).isEmpty(),
                                 10000);
        QVERIFY(!settings.isEmpty());
        screenshot(QStringLiteral("settings-window"));
        clickAt(settings, 260, 175);
        key(QStringLiteral("shift+alt+w"));
        clickAt(settings, 346, 266);
        QTRY_COMPARE(KeyGrabs::heldElsewhere(KeyGrabs::Shift | KeyGrabs::Alt), 1);
        // The old combination is free again.
        QCOMPARE(KeyGrabs::heldElsewhere(KeyGrabs::Control | KeyGrabs::Alt), 0);
        QTRY_VERIFY(X11Windows::windowOfSize(pid, QSize(475, 297)).isEmpty());
        key(QStringLiteral("shift+alt+w"));
        QTRY_COMPARE(X11Windows::visibleMainWindows(pid).size(), 1);
        QTRY_COMPARE(X11Windows::focusedWindow(), window);
        // The launched item is on the first top button now.
        screenshot(QStringLiteral("main-window-after-launch"));

        // The launch reaches data.db while the program runs.
        QTRY_COMPARE_WITH_TIMEOUT(
            ProgramCopy::rowsOf(copy.dataFile(), QStringLiteral("SELECT count(*) FROM QUICK")),
            QStringList{QStringLiteral("1")}, 10000);

        // Quit from the tray menu: the program ends and the launch is in data.db.
        QCOMPARE(useTrayMenu(pid, {QStringLiteral("q")}), QString());
        QVERIFY(process->waitForFinished(20000));
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), 0);
        const QStringList items =
            ProgramCopy::rowsOf(copy.dataFile(), QStringLiteral("SELECT rowid, alias FROM ITEMBOX WHERE "
                                                                "path LIKE '%markerapp.desktop'"));
        QCOMPARE(items.size(), 1);
        const QString rowid = items.first().section(QLatin1Char('|'), 0, 0);
        QCOMPARE(items.first().section(QLatin1Char('|'), 1), QStringLiteral("Markerapp"));
        QCOMPARE(ProgramCopy::rowsOf(copy.dataFile(), QStringLiteral("SELECT key, exec, hot FROM QUICK")),
                 QStringList{QStringLiteral("Markerapp|") + rowid + QStringLiteral("|1")});
        QCOMPARE(ProgramCopy::rowsOf(copy.dataFile(), QStringLiteral("SELECT ITEMBOX_ID, topnum FROM TOP")),
                 QStringList{rowid + QStringLiteral("|1")});
        // The settings were stored by OK.
        QSettings config(copy.configFile(), QSettings::IniFormat);
        QCOMPARE(config.value(QStringLiteral("hotkey")).toString(), QStringLiteral("SHIFT+ALT+W"));
    }
};

TOLVANE_TEST_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
