#include "programcopy.h"
#include "testmain.h"

#include <QDir>
#include <QFile>

#include <csignal>

// The real program as separate processes on the test's X server: one copy per
// executable and user, the second start's message, and when the catalog is saved.
class TestStartup : public QObject
{
    Q_OBJECT

    static QString runtimeDir() { return qEnvironmentVariable("XDG_RUNTIME_DIR"); }

    static QStringList sockets()
    {
        return QDir(runtimeDir()).entryList({QStringLiteral("tolvane-*.sock")}, QDir::System | QDir::Files);
    }

    static QStringList schemaOf(const QString &file)
    {
        return ProgramCopy::rowsOf(file, QStringLiteral("SELECT name FROM sqlite_master WHERE type IN "
                                                        "('table','index') AND name NOT LIKE 'ITEMBOX_%' AND "
                                                        "name NOT LIKE 'sqlite_%' ORDER BY name"));
    }

    // Hides the copy's window with its close button.
    static void clickClose(const QString &window)
    {
        X11Windows::xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), window,
                             QStringLiteral("428"), QStringLiteral("12"), QStringLiteral("click"),
                             QStringLiteral("1")});
    }

    // Whether the process has a handler for SIGTERM (its SigCgt mask in /proc).
    static bool catchesSigterm(qint64 pid)
    {
        QFile status(QStringLiteral("/proc/%1/status").arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            return false;
        for (const QByteArray &line : status.readAll().split('\n')) {
            if (line.startsWith("SigCgt:"))
                return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
        }
        return false;
    }

    // Ends the copy the orderly way. The window shows before the program installs
    // its SIGTERM handler, so a SIGTERM sent as soon as the window is visible may
    // still meet the default action and kill the copy (no catalog, a stale
    // socket): wait for the handler first, and insist on a normal exit.
    static void terminate(QProcess *process)
    {
        QTRY_VERIFY_WITH_TIMEOUT(catchesSigterm(process->processId()), 20000);
        ::kill(static_cast<pid_t>(process->processId()), SIGTERM);
        QVERIFY(process->waitForFinished(20000));
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), 0);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(TestSandbox::buildBinDir() + QStringLiteral("/tolvane")),
                 "build tolvane first");
    }

    void cleanup()
    {
        // Every test leaves no copy running.
        QTRY_COMPARE(sockets().size(), 0);
    }

    void secondStartShowsTheFirstAndExits()
    {
        ProgramCopy copy(QStringLiteral("first"));
        QProcess *first = copy.start();
        QTRY_COMPARE_WITH_TIMEOUT(X11Windows::visibleMainWindows(first->processId()).size(), 1, 20000);
        const QString window = X11Windows::visibleMainWindows(first->processId()).first();

        // The first run's catalog reaches data.db while the program runs.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(copy.dataFile()), 10000);

        clickClose(window);
        QTRY_COMPARE(X11Windows::visibleMainWindows(first->processId()).size(), 0);
        QCOMPARE(first->state(), QProcess::Running);

        QCOMPARE(copy.runSecondStart(10000), 0);
        QTRY_COMPARE(X11Windows::visibleMainWindows(first->processId()), QStringList{window});
        // Visible already: another start changes nothing and still ends with 0.
        QCOMPARE(copy.runSecondStart(10000), 0);
        QCOMPARE(X11Windows::visibleMainWindows(first->processId()), QStringList{window});
        QCOMPARE(sockets().size(), 1);

        // A second start passes its request on before it connects to the display: one
        // that could not reach any display (started from a console, a display pointing
        // at nothing) still shows the running copy's window.
        clickClose(window);
        QTRY_COMPARE(X11Windows::visibleMainWindows(first->processId()).size(), 0);
        QProcessEnvironment noDisplay;
        noDisplay.insert(QStringLiteral("DISPLAY"), QStringLiteral(":9999"));
        noDisplay.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        QCOMPARE(copy.runSecondStart(10000, noDisplay), 0);
        QTRY_COMPARE(X11Windows::visibleMainWindows(first->processId()), QStringList{window});

        // An orderly end (SIGTERM) writes the catalog with its schema.
        terminate(first);
        QCOMPARE(first->exitStatus(), QProcess::NormalExit);
        QCOMPARE(first->exitCode(), 0);
        QVERIFY(QFile::exists(copy.dataFile()));
        QCOMPARE(schemaOf(copy.dataFile()),
                 (QStringList{QStringLiteral("ITEMBOX"), QStringLiteral("QUICK"),
                              QStringLiteral("QUICK_INDEX"), QStringLiteral("QUICK_INDEX_2"),
                              QStringLiteral("TOP"), QStringLiteral("TOP_INDEX")}));
    }

    void copyInAnotherFolderRunsBeside()
    {
        ProgramCopy a(QStringLiteral("a"));
        ProgramCopy b(QStringLiteral("b"));
        // Both copies run at once: each needs a hotkey of its own.
        b.setConfig(QStringLiteral("hotkey"), QStringLiteral("CTRL+ALT+B"));
        QProcess *pa = a.start();
        QTRY_COMPARE_WITH_TIMEOUT(X11Windows::visibleMainWindows(pa->processId()).size(), 1, 20000);
        QProcess *pb = b.start();
        QTRY_COMPARE_WITH_TIMEOUT(X11Windows::visibleMainWindows(pb->processId()).size(), 1, 20000);
        QCOMPARE(pb->state(), QProcess::Running);
        QCOMPARE(sockets().size(), 2);
        terminate(pa);
        terminate(pb);
    }

    void killedCopyDoesNotBlockTheNextStart()
    {
        ProgramCopy copy(QStringLiteral("killed"));
        QProcess *first = copy.start();
        QTRY_COMPARE_WITH_TIMEOUT(X11Windows::visibleMainWindows(first->processId()).size(), 1, 20000);
        // The first run's catalog is on disk within seconds: the kill loses nothing.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(copy.dataFile()), 10000);
        first->kill();
        QVERIFY(first->waitForFinished(5000));
        // The lock file and the socket stay behind.
        QCOMPARE(sockets().size(), 1);
        QVERIFY(!QDir(runtimeDir()).entryList({QStringLiteral("tolvane-*.lock")}, QDir::Files).isEmpty());
        QCOMPARE(ProgramCopy::rowsOf(copy.dataFile(), QStringLiteral("PRAGMA integrity_check")),
                 QStringList{QStringLiteral("ok")});

        QProcess *next = copy.start();
        QTRY_COMPARE_WITH_TIMEOUT(X11Windows::visibleMainWindows(next->processId()).size(), 1, 20000);
        const QString window = X11Windows::visibleMainWindows(next->processId()).first();
        clickClose(window);
        QTRY_COMPARE(X11Windows::visibleMainWindows(next->processId()).size(), 0);
        QCOMPARE(copy.runSecondStart(10000), 0);
        QTRY_COMPARE(X11Windows::visibleMainWindows(next->processId()).size(), 1);
        terminate(next);
    }
};

TOLVANE_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
