#include "programcopy.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

// The real program as a desktop citizen on an X server that starts without a tray:
// a tray that comes later gets the icon, a second start hands over the desktop's
// startup id, and Quit is reachable from the window's own context menu.
class TestDesktop : public QObject
{
    Q_OBJECT

    static QString xdotool(const QStringList &args) { return X11Windows::xdotool(args); }

    static QString run(const QString &program, const QStringList &args)
    {
        QProcess p;
        p.start(program, args);
        p.waitForFinished(10000);
        return QString::fromLocal8Bit(p.readAllStandardOutput());
    }

    static QString trayPanel()
    {
        return xdotool({QStringLiteral("search"), QStringLiteral("--name"), QStringLiteral("^panel$")})
            .section(QLatin1Char('\n'), 0, 0);
    }

    // Whether an icon sits in the tray (the panel holds more than its own window).
    static bool trayIconEmbedded()
    {
        const QString panel = trayPanel();
        return !panel.isEmpty() &&
               run(QStringLiteral("xwininfo"), {QStringLiteral("-children"), QStringLiteral("-id"), panel})
                   .contains(QLatin1String("2 children"));
    }

    static void clickAt(const QString &window, int x, int y, int button)
    {
        xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window, QString::number(x),
                 QString::number(y), QStringLiteral("click"), QString::number(button)});
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(TestSandbox::buildBinDir() + QStringLiteral("/tolvane")),
                 "build tolvane first");
        QVERIFY(trayPanel().isEmpty());
    }

    void aTrayThatComesLaterGetsTheIcon()
    {
        ProgramCopy copy(QStringLiteral("late"));
        QProcess *process = copy.start();
        QTRY_COMPARE_WITH_TIMEOUT(X11Windows::visibleMainWindows(process->processId()).size(), 1, 20000);

        // The panel starts after the program, as it may at login.
        QProcess tray;
        tray.start(QStringLiteral("trayer"),
                   {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                    QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("request"),
                    QStringLiteral("--height"), QStringLiteral("32")});
        QVERIFY(tray.waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(!trayPanel().isEmpty(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(trayIconEmbedded(), 15000);

        process->terminate();
        QVERIFY(process->waitForFinished(20000));
        tray.kill();
        tray.waitForFinished(5000);
    }

    void aSecondStartHandsOverTheStartupId()
    {
        ProgramCopy copy(QStringLiteral("startid"));
        QProcess *first = copy.start();
        QTRY_COMPARE_WITH_TIMEOUT(X11Windows::visibleMainWindows(first->processId()).size(), 1, 20000);
        const QString window = X11Windows::visibleMainWindows(first->processId()).first();
        clickAt(window, 428, 12, 1); // the hide button
        QTRY_COMPARE(X11Windows::visibleMainWindows(first->processId()).size(), 0);

        QProcess second;
        second.setProgram(copy.executable());
        second.setWorkingDirectory(copy.dir());
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DESKTOP_STARTUP_ID"), QStringLiteral("launcher-42_TIME4242"));
        second.setProcessEnvironment(env);
        second.start();
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QTRY_COMPARE(X11Windows::visibleMainWindows(first->processId()), QStringList{window});
        // The window carries the id the desktop gave the second start, so the window
        // manager can tell the user asked for it.
        QTRY_VERIFY(
            run(QStringLiteral("xprop"), {QStringLiteral("-id"), window, QStringLiteral("_NET_STARTUP_ID")})
                .contains(QLatin1String("\"launcher-42_TIME4242\"")));
        first->terminate();
        QVERIFY(first->waitForFinished(20000));
    }

    void quitFromTheWindowsContextMenuWithoutATray()
    {
        ProgramCopy copy(QStringLiteral("quit"));
        QProcess *process = copy.start();
        QTRY_COMPARE_WITH_TIMEOUT(X11Windows::visibleMainWindows(process->processId()).size(), 1, 20000);
        const QString window = X11Windows::visibleMainWindows(process->processId()).first();
        QVERIFY(!QFile::exists(copy.dataFile()));
        // A right click on the background opens the menu; Q is its Quit entry.
        const auto shownWindows = [&] {
            return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                            QStringLiteral("--pid"), QString::number(process->processId()),
                            QStringLiteral("--class"), QStringLiteral(".*")})
                .split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                .size();
        };
        const int before = shownWindows();
        clickAt(window, 200, 12, 3);
        QTRY_VERIFY_WITH_TIMEOUT(shownWindows() > before, 10000);
        X11Windows::xdotool({QStringLiteral("key"), QStringLiteral("q")});
        QVERIFY(process->waitForFinished(20000));
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), 0);
        // The orderly end wrote the catalog.
        QVERIFY(QFile::exists(copy.dataFile()));
    }
};

TOLVANE_TEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
