#include "programcopy.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// The real program as separate processes on the test's X server: one copy per
// executable and user, the second start's message, when the catalog is saved, and
// a socket that other users cannot reach and floods cannot take down.
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

    // The number of sockets a process has open.
    static int openSockets(qint64 pid)
    {
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(pid));
        int sockets = 0;
        for (const QString &fd : fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
            sockets += QFile::symLinkTarget(fds.filePath(fd)).contains(QLatin1String("socket:"));
        return sockets;
    }

    // The number the process's next file descriptor gets: the lowest one not open.
    static int nextDescriptor(qint64 pid)
    {
        const QStringList open = QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                                     .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        int next = 0;
        while (open.contains(QString::number(next)))
            ++next;
        return next;
    }

    // Removes folders (or links to them, and their targets) of the temporary folder.
    static void removeFolders(const QStringList &names)
    {
        for (const QString &name : names) {
            const QString path = QDir::tempPath() + QLatin1Char('/') + name;
            QFile::remove(path);
            QDir(path + QStringLiteral("-target")).removeRecursively();
            QDir(path).removeRecursively();
        }
    }

    // A client connection to a local socket, or -1 when it is refused.
    static int connectTo(const QByteArray &path, int flags)
    {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | flags, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0)
            return fd;
        if (fd >= 0)
            ::close(fd);
        return -1;
    }

    // Whether the other end closed the connection.
    static bool closedByPeer(int fd)
    {
        char byte = 0;
        const ssize_t n = ::recv(fd, &byte, 1, MSG_DONTWAIT | MSG_PEEK);
        return n == 0 || (n < 0 && errno != EAGAIN);
    }

    // The two commands that start the program: the program itself, and the small
    // command users bind, which hands over without loading the GUI libraries.
    static void addCommandRows()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("program") << QStringLiteral("tolvane");
        QTest::newRow("small command") << QStringLiteral("tolvane-summon");
    }

    // The startup id property of a window, as xprop prints it.
    static QString startupIdOf(const QString &window)
    {
        QProcess xprop;
        xprop.start(QStringLiteral("xprop"),
                    {QStringLiteral("-id"), window, QStringLiteral("_NET_STARTUP_ID")});
        xprop.waitForFinished(10000);
        return QString::fromLocal8Bit(xprop.readAllStandardOutput());
    }

    // The program behind a process: the small command becomes it when no copy runs.
    static QString programOf(QProcess *process)
    {
        return QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(process->processId()));
    }

    // With the copy running, replaces its program file by one that only fails (the
    // copy runs on from the file it started from): what the small command does next,
    // it does alone, without starting the program.
    static void leaveOnlyTheSmallCommand(const ProgramCopy &copy, const QString &command)
    {
        if (command == QLatin1String("tolvane"))
            return;
        const QString failing = copy.dir() + QStringLiteral("/failing");
        QFile script(failing);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nexit 99\n");
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QCOMPARE(::rename(QFile::encodeName(failing).constData(),
                          QFile::encodeName(copy.executable()).constData()),
                 0);
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

    void secondStartShowsTheFirstAndExits_data() { addCommandRows(); }

    void secondStartShowsTheFirstAndExits()
    {
        QFETCH(QString, command);
        ProgramCopy copy(QStringLiteral("first"));
        // With no copy running (no socket at all) the command starts the program.
        QProcess *first = copy.start(command);
        QTRY_COMPARE_WITH_TIMEOUT(X11Windows::visibleMainWindows(first->processId()).size(), 1, 20000);
        QCOMPARE(programOf(first), copy.executable());
        const QString window = X11Windows::visibleMainWindows(first->processId()).first();
        leaveOnlyTheSmallCommand(copy, command);

        // The first run's catalog reaches data.db while the program runs.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(copy.dataFile()), 10000);

        clickClose(window);
        QTRY_COMPARE(X11Windows::visibleMainWindows(first->processId()).size(), 0);
        QCOMPARE(first->state(), QProcess::Running);

        // The desktop's startup id travels with the request: the window carries it.
        QProcessEnvironment started;
        started.insert(QStringLiteral("DESKTOP_STARTUP_ID"), QStringLiteral("second-start_TIME1000"));
        QCOMPARE(copy.runSecondStart(10000, started, command), 0);
        QTRY_COMPARE(X11Windows::visibleMainWindows(first->processId()), QStringList{window});
        QTRY_VERIFY(startupIdOf(window).contains(QLatin1String("\"second-start_TIME1000\"")));
        // Visible already: another start changes nothing and still ends with 0.
        QCOMPARE(copy.runSecondStart(10000, {}, command), 0);
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
        QCOMPARE(copy.runSecondStart(10000, noDisplay, command), 0);
        QTRY_COMPARE(X11Windows::visibleMainWindows(first->processId()), QStringList{window});
        // No display named at all.
        clickClose(window);
        QTRY_COMPARE(X11Windows::visibleMainWindows(first->processId()).size(), 0);
        copy.unsetEnvironment(QStringLiteral("DISPLAY"));
        copy.unsetEnvironment(QStringLiteral("WAYLAND_DISPLAY"));
        QCOMPARE(copy.runSecondStart(10000, {}, command), 0);
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

    void killedCopyDoesNotBlockTheNextStart_data() { addCommandRows(); }

    void killedCopyDoesNotBlockTheNextStart()
    {
        QFETCH(QString, command);
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

        // The stale socket answers nobody: the command starts the program.
        QProcess *next = copy.start(command);
        QTRY_COMPARE_WITH_TIMEOUT(X11Windows::visibleMainWindows(next->processId()).size(), 1, 20000);
        QCOMPARE(programOf(next), copy.executable());
        const QString window = X11Windows::visibleMainWindows(next->processId()).first();
        leaveOnlyTheSmallCommand(copy, command);
        clickClose(window);
        QTRY_COMPARE(X11Windows::visibleMainWindows(next->processId()).size(), 0);
        QCOMPARE(copy.runSecondStart(10000, {}, command), 0);
        QTRY_COMPARE(X11Windows::visibleMainWindows(next->processId()).size(), 1);
        terminate(next);
    }

    // Without XDG_RUNTIME_DIR the usual places are <tmp>/tolvane-<uid> and Qt's
    // <tmp>/runtime-<user>, names anybody can take first. Such a folder is used
    // only when it is the user's private folder (owned, mode 0700, no link), else
    // the program keeps to a folder of its own: it starts, a second start reaches
    // it, and the folder taken first stays empty and as it was.
    void runtimeFolderMustBePrivate_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<uint>("owner");
        QTest::addColumn<bool>("link");
        QTest::addColumn<bool>("used");
        QTest::addColumn<QString>("command"); // of the second start
        const uint me = ::geteuid();
        const QString program = QStringLiteral("tolvane"), small = QStringLiteral("tolvane-summon");
        QTest::newRow("private") << 0700 << me << false << true << program;
        QTest::newRow("private, small command") << 0700 << me << false << true << small;
        QTest::newRow("mode 0755") << 0755 << me << false << false << program;
        QTest::newRow("mode 0777") << 0777 << me << false << false << program;
        QTest::newRow("mode 0777, small command") << 0777 << me << false << false << small;
        QTest::newRow("link to a private folder") << 0700 << me << true << false << program;
        QTest::newRow("link to a private folder, small command") << 0700 << me << true << false << small;
        // Only root can give a folder to another user.
        if (me == 0) {
            QTest::newRow("another user's, 0755") << 0755 << 65534u << false << false << program;
            QTest::newRow("another user's, 0777") << 0777 << 65534u << false << false << program;
            QTest::newRow("another user's, 0777, small command") << 0777 << 65534u << false << false << small;
        }
    }

    void runtimeFolderMustBePrivate()
    {
        QFETCH(int, mode);
        QFETCH(uint, owner);
        QFETCH(bool, link);
        QFETCH(bool, used);
        QFETCH(QString, command);
        QStringList names{QStringLiteral("tolvane-%1").arg(::getuid())};
        if (!used)
            names << QStringLiteral("runtime-") + QString::fromLocal8Bit(::getpwuid(::geteuid())->pw_name);
        removeFolders(names);
        QStringList folders;
        for (const QString &name : names) {
            const QString path = QDir::tempPath() + QLatin1Char('/') + name;
            const QString folder = link ? path + QStringLiteral("-target") : path;
            QVERIFY(QDir().mkdir(folder));
            QCOMPARE(::chmod(QFile::encodeName(folder).constData(), mode_t(mode)), 0);
            QCOMPARE(::chown(QFile::encodeName(folder).constData(), owner, gid_t(-1)), 0);
            if (link)
                QVERIFY(QFile::link(folder, path));
            folders << folder;
        }

        ProgramCopy copy(QStringLiteral("runtime"));
        copy.unsetEnvironment(QStringLiteral("XDG_RUNTIME_DIR"));
        QProcess *first = copy.start();
        QTRY_COMPARE_WITH_TIMEOUT(X11Windows::visibleMainWindows(first->processId()).size(), 1, 20000);
        const QString window = X11Windows::visibleMainWindows(first->processId()).first();
        leaveOnlyTheSmallCommand(copy, command);
        clickClose(window);
        QTRY_COMPARE(X11Windows::visibleMainWindows(first->processId()).size(), 0);
        QCOMPARE(copy.runSecondStart(10000, {}, command), 0);
        QTRY_COMPARE(X11Windows::visibleMainWindows(first->processId()), QStringList{window});

        for (const QString &folder : folders) {
            // The lock file and the socket.
            QCOMPARE(QDir(folder).entryList(QDir::System | QDir::Files).size(), used ? 2 : 0);
            struct stat status = {};
            QCOMPARE(::lstat(QFile::encodeName(folder).constData(), &status), 0);
            QCOMPARE(uint(status.st_uid), owner);
            QCOMPARE(int(status.st_mode & 07777), mode);
        }
        terminate(first);
        removeFolders(names);
    }

    // Clients that connect and send nothing, or send too much, hold no more than a
    // few descriptors for a short time; a program out of descriptors keeps its
    // socket, and starts reach it again once there are some.
    void socketHoldsAgainstFloods()
    {
        ProgramCopy copy(QStringLiteral("flood"));
        QProcess *first = copy.start();
        const qint64 pid = first->processId();
        QTRY_COMPARE_WITH_TIMEOUT(X11Windows::visibleMainWindows(pid).size(), 1, 20000);
        const QString window = X11Windows::visibleMainWindows(pid).first();
        clickClose(window);
        QTRY_COMPARE(X11Windows::visibleMainWindows(pid).size(), 0);
        QCOMPARE(sockets().size(), 1);
        const QByteArray socketPath = QFile::encodeName(runtimeDir() + QLatin1Char('/') + sockets().first());

        // A thousand idle clients: the queue refuses most at once, the program holds
        // a few, and closes every one it took.
        const int baseline = openSockets(pid);
        std::vector<int> idle;
        for (int i = 0; i < 1000; ++i) {
            const int fd = connectTo(socketPath, SOCK_NONBLOCK);
            if (fd >= 0)
                idle.push_back(fd);
        }
        QVERIFY(!idle.empty());
        int peak = 0;
        QTRY_VERIFY_WITH_TIMEOUT(([&] {
                                     peak = std::max(peak, openSockets(pid));
                                     return std::all_of(idle.begin(), idle.end(), closedByPeer);
                                 }()),
                                 60000);
        QVERIFY2(peak <= baseline + 12,
                 qPrintable(QStringLiteral("%1 sockets open, %2 before").arg(peak).arg(baseline)));
        for (int fd : idle)
            ::close(fd);

        // A 40 MB message is refused when its length is read, not read to its end.
        const int big = connectTo(socketPath, 0);
        QVERIFY(big >= 0);
        const timeval sendTimeout{30, 0};
        ::setsockopt(big, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof(sendTimeout));
        const quint32 length = qToBigEndian(quint32(40 * 1024 * 1024));
        QByteArray message(reinterpret_cast<const char *>(&length), 4);
        message += QByteArray(40 * 1024 * 1024, 'x');
        qint64 sent = 0;
        while (sent < message.size()) {
            const ssize_t n =
                ::send(big, message.constData() + sent, size_t(message.size() - sent), MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += n;
        }
        QVERIFY2(sent < message.size() && (errno == EPIPE || errno == ECONNRESET),
                 qPrintable(qt_error_string()));
        ::close(big);

        // Every connection of the floods is closed.
        QTRY_VERIFY_WITH_TIMEOUT(openSockets(pid) <= baseline, 10000);

        // Out of descriptors (the limit is the next one's number): the start cannot
        // be taken, the socket stays.
        rlimit limit = {};
        QCOMPARE(::prlimit(pid_t(pid), RLIMIT_NOFILE, nullptr, &limit), 0);
        const rlimit tight{rlim_t(nextDescriptor(pid)), limit.rlim_max};
        QCOMPARE(::prlimit(pid_t(pid), RLIMIT_NOFILE, &tight, nullptr), 0);
        copy.runSecondStart(20000);
        QCOMPARE(sockets().size(), 1);
        QCOMPARE(::prlimit(pid_t(pid), RLIMIT_NOFILE, &limit, nullptr), 0);
        QTRY_COMPARE(X11Windows::visibleMainWindows(pid), QStringList{window});
        clickClose(window);
        QTRY_COMPARE(X11Windows::visibleMainWindows(pid).size(), 0);
        QCOMPARE(copy.runSecondStart(10000), 0);
        QTRY_COMPARE(X11Windows::visibleMainWindows(pid), QStringList{window});
        terminate(first);
    }

    // A second start sends nothing to a server of another user, even in its own
    // folder.
    void secondStartSendsOnlyToItsOwnUser_data() { addCommandRows(); }

    void secondStartSendsOnlyToItsOwnUser()
    {
        QFETCH(QString, command);
        if (::geteuid() != 0)
            QSKIP("only root can listen as another user");
        ProgramCopy copy(QStringLiteral("peer"));
        QProcess *first = copy.start();
        QTRY_COMPARE_WITH_TIMEOUT(X11Windows::visibleMainWindows(first->processId()).size(), 1, 20000);
        const QByteArray socketPath = QFile::encodeName(runtimeDir() + QLatin1Char('/') + sockets().first());
        leaveOnlyTheSmallCommand(copy, command);

        // The socket's name taken over by a server that listens as user 65534.
        const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, socketPath.constData(), size_t(socketPath.size()));
        ::unlink(socketPath.constData());
        QCOMPARE(::bind(server, reinterpret_cast<sockaddr *>(&address), sizeof(address)), 0);
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(::setuid(65534) == 0 && ::listen(server, 8) == 0 ? 0 : 1);
        int status = -1;
        QCOMPARE(::waitpid(child, &status, 0), child);
        QCOMPARE(status, 0);

        // Not delivered, as the program says, and nothing sent.
        QCOMPARE(copy.runSecondStart(20000, {}, command), 0);
        // The second start connected, and left without a byte.
        const int connection = ::accept4(server, nullptr, nullptr, SOCK_NONBLOCK);
        QVERIFY(connection >= 0);
        char byte = 0;
        QCOMPARE(::recv(connection, &byte, 1, 0), ssize_t(0));
        ::close(connection);
        ::close(server);
        terminate(first);
    }
};

TOLVANE_TEST_MAIN(TestStartup)
#include "tst_startup.moc"
