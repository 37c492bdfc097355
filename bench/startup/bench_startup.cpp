// The program as a process: from its start to the main window's first paint with
// a data.db of 1,000 and of 10,000 items and on a first run over 300 desktop
// entries; its resident memory after start and after 100 searches typed into it;
// a second start, from the second process's start until the first copy's window
// shows again, through the program and through the small command users bind
// (tolvane-summon, installed as bin/tolvane), in turns; and the hotkey to the window painted with the
// keyboard. Runs copies of the built tolvane on the X server of $DISPLAY (tools/bench.sh starts a private
// Xvfb), one copy at a time. With QT_QPA_PLATFORM=wayland (under tests/support/run-sway.sh) it measures the
// start-up and the key that sway binds to the program instead, on the Wayland compositor; in a KDE Plasma
// session (tests/support/run-kwin.sh) the hotkey through the desktop portal.
//
// The program appends the monotonic clock to the file named by
// TOLVANE_BENCH_FIRST_PAINT after each paint of its main window has been drawn;
// the benchmark reads the same clock just before it starts the process.
#include "benchcatalog.h"
#include "benchtable.h"
#include "itemdatabase.h"
#include "testmain.h"
#ifdef TOLVANE_KWINKEYS
#include "kwinsession.h"
#endif

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <csignal>

#include <memory>

namespace {

const QString CopyFolder = QStringLiteral("copy");

QString copyDir()
{
    return TestSandbox::path(CopyFolder);
}

QString paintLog()
{
    return TestSandbox::path(QStringLiteral("paints.log"));
}

void copyProgram()
{
    QDir().mkpath(copyDir());
    for (const char *name : {"tolvane", "tolvane-summon", "config.ini", "main.ico"}) {
        const QString target = copyDir() + QLatin1Char('/') + QLatin1String(name);
        QFile::remove(target);
        if (!QFile::copy(TestSandbox::buildBinDir() + QLatin1Char('/') + QLatin1String(name), target))
            qFatal("cannot copy %s from %s", name, qPrintable(TestSandbox::buildBinDir()));
    }
    QFile::setPermissions(copyDir() + QStringLiteral("/config.ini"), QFile::ReadOwner | QFile::WriteOwner);
}

// The stamps of the paint log, in nanoseconds: the paints, or the moments the
// window got the keyboard ("<ns> focus").
QList<qint64> stamps(bool focus)
{
    QFile log(paintLog());
    QList<qint64> found;
    if (!log.open(QIODevice::ReadOnly))
        return found;
    for (const QByteArray &line : log.readAll().split('\n')) {
        if (!line.isEmpty() && line.endsWith(" focus") == focus)
            found.append(line.split(' ').first().toLongLong());
    }
    return found;
}

QList<qint64> paints()
{
    return stamps(false);
}

// Waits (polling; the stamp, not the poll, gives the time) for more than `known`
// paints, or focus stamps.
qint64 waitForStamp(int known, bool focus, int timeoutMs = 30000)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        const QList<qint64> found = stamps(focus);
        if (found.size() > known)
            return found.at(known);
        QThread::usleep(500);
    }
    qFatal(focus ? "the main window did not get the keyboard" : "the main window did not paint");
}

qint64 waitForPaint(int known, int timeoutMs = 30000)
{
    return waitForStamp(known, false, timeoutMs);
}

QString xdotool(const QStringList &arguments)
{
    QProcess tool;
    tool.start(QStringLiteral("xdotool"), arguments);
    tool.waitForFinished(10000);
    return QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
}

QString visibleWindow(qint64 pid)
{
    return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                    QString::number(pid), QStringLiteral("--name"), QStringLiteral("^Tolvane$")})
        .section(QLatin1Char('\n'), 0, 0);
}

struct Started
{
    std::unique_ptr<QProcess> process;
    double firstPaintMs = 0;
};

Started start()
{
    QFile::remove(paintLog());
    Started s;
    s.process = std::make_unique<QProcess>();
    s.process->setProgram(copyDir() + QStringLiteral("/tolvane"));
    s.process->setWorkingDirectory(copyDir());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TOLVANE_BENCH_FIRST_PAINT"), paintLog());
    s.process->setProcessEnvironment(env);
    s.process->setStandardOutputFile(QProcess::nullDevice());
    s.process->setStandardErrorFile(QProcess::nullDevice());
    const qint64 t0 = BenchTable::nowNs();
    s.process->start();
    if (!s.process->waitForStarted(10000))
        qFatal("tolvane did not start");
    s.firstPaintMs = (waitForPaint(0) - t0) / 1e6;
    return s;
}

void stop(Started &s)
{
    // SIGTERM ends the program the orderly way (it saves its catalog).
    s.process->terminate();
    if (!s.process->waitForFinished(20000)) {
        s.process->kill();
        s.process->waitForFinished();
    }
}

void buildCatalog(int items)
{
    QFile::remove(ItemDatabase::databaseFile());
    auto db = std::make_unique<ItemDatabase>();
    db->OpenCatalog(); // a first run over the empty sandbox: an empty catalog
    BenchCatalog::fill(items,
                       [](int i) { return QStringLiteral("/opt/apps/%1/bin/app%2").arg(i % 500).arg(i); });
    for (int i = 1; i <= 20; ++i)
        db->AddQuick(QString::number(i * 7), BenchCatalog::Typed[i % BenchCatalog::Typed.size()].left(2));
    db.reset(); // writes data.db beside this benchmark
}

QString catalogCopy(int items)
{
    return TestSandbox::path(QStringLiteral("catalog-%1.db").arg(items));
}

void useCatalog(int items)
{
    QFile::remove(copyDir() + QStringLiteral("/data.db"));
    QFile::copy(catalogCopy(items), copyDir() + QStringLiteral("/data.db"));
}

QString thousands(int n)
{
    return QLocale(QLocale::English).toString(n);
}

// Types words into the running copy until `searches` letters were typed; each
// letter runs a search. Escape twice clears the box between words.
void typeSearches(qint64 pid, int searches)
{
    const QString window = visibleWindow(pid);
    xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
    int typed = 0;
    for (int i = 0; typed < searches; ++i) {
        QString word = BenchCatalog::Typed[i % BenchCatalog::Typed.size()].toLower();
        word = word.left(searches - typed);
        xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("15"), word});
        typed += int(word.size());
        xdotool({QStringLiteral("key"), QStringLiteral("--delay"), QStringLiteral("15"),
                 QStringLiteral("Escape"), QStringLiteral("Escape")});
    }
}

int runBenchmark()
{
    copyProgram();
    const int runs = BenchTable::runs();
    for (int items : {1000, 10000}) {
        buildCatalog(items);
        QFile::remove(catalogCopy(items));
        QFile::copy(ItemDatabase::databaseFile(), catalogCopy(items));
    }

    // One start that is not counted: the libraries come into the page cache, as
    // on a desktop where the program and Qt have run before.
    {
        useCatalog(1000);
        Started warmUp = start();
        stop(warmUp);
    }
    for (int items : {1000, 10000}) {
        std::vector<double> paintsMs, memory;
        for (int run = 0; run < runs; ++run) {
            useCatalog(items);
            Started s = start();
            paintsMs.push_back(s.firstPaintMs);
            QThread::msleep(500); // settled after start
            memory.push_back(BenchTable::residentMiB(s.process->processId()));
            stop(s);
        }
        BenchTable::row(QStringLiteral("start-up to first paint, %1 items").arg(thousands(items)), paintsMs,
                        QStringLiteral("ms"), items <= 1000 ? 150 : 300);
        BenchTable::row(QStringLiteral("resident memory after start, %1 items").arg(thousands(items)), memory,
                        QStringLiteral("MiB"), 40);
    }

    // A first run: no data.db, 300 desktop entries to discover.
    {
        const QString apps = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                             QStringLiteral("/applications");
        BenchCatalog::writeDesktopEntries(apps, 300);
        std::vector<double> paintsMs;
        for (int run = 0; run < qMax(3, runs / 2); ++run) {
            QFile::remove(copyDir() + QStringLiteral("/data.db"));
            Started s = start();
            paintsMs.push_back(s.firstPaintMs);
            stop(s);
        }
        QDir(apps).removeRecursively();
        BenchTable::row(QStringLiteral("start-up to first paint, first run over 300 desktop entries"),
                        paintsMs, QStringLiteral("ms"), 0);
    }

    // Memory over 100 searches typed into the window.
    {
        std::vector<double> growth;
        for (int run = 0; run < 3; ++run) {
            useCatalog(10000);
            Started s = start();
            // A second after start the catalog lists the installed applications once
            // (those installed while the program did not run): that is not a search's
            // memory, so the measure starts after it.
            QThread::msleep(3000);
            const double before = BenchTable::residentMiB(s.process->processId());
            typeSearches(s.process->processId(), 100);
            QThread::msleep(1500); // the last fade has ended
            growth.push_back(BenchTable::residentMiB(s.process->processId()) - before);
            stop(s);
        }
        BenchTable::row(QStringLiteral("resident memory growth over 100 searches, 10,000 items"), growth,
                        QStringLiteral("MiB"), 2);
    }

    // Second start: the first copy's window is hidden, a second process asks it to show.
    {
        useCatalog(1000);
        Started s = start();
        const qint64 pid = s.process->processId();
        std::vector<double> shows, summons;
        for (int run = 0; run < 2 * runs; ++run) {
            const bool small = run % 2 == 1;
            const QString window = visibleWindow(pid);
            xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
            xdotool({QStringLiteral("key"), QStringLiteral("Escape")}); // an empty box: the window hides
            QElapsedTimer guard;
            guard.start();
            while (!visibleWindow(pid).isEmpty() && guard.elapsed() < 10000)
                QThread::msleep(5);
            QThread::msleep(200);
            const int known = int(paints().size());
            QProcess second;
            second.setProgram(copyDir() +
                              (small ? QStringLiteral("/tolvane-summon") : QStringLiteral("/tolvane")));
            second.setWorkingDirectory(copyDir());
            const qint64 t0 = BenchTable::nowNs();
            second.start();
            const qint64 shown = waitForPaint(known);
            second.waitForFinished(10000);
            (small ? summons : shows).push_back((shown - t0) / 1e6);
        }
        // The hotkey (the X11 grab) to the window painted with the keyboard.
        std::vector<double> hotkey;
        for (int run = 0; run < runs; ++run) {
            const QString window = visibleWindow(pid);
            xdotool({QStringLiteral("windowfocus"), QStringLiteral("--sync"), window});
            xdotool({QStringLiteral("key"), QStringLiteral("Escape")});
            QElapsedTimer guard;
            guard.start();
            while (!visibleWindow(pid).isEmpty() && guard.elapsed() < 10000)
                QThread::msleep(5);
            QThread::msleep(200);
            const int known = int(paints().size());
            const int knownFocus = int(stamps(true).size());
            const qint64 t0 = BenchTable::nowNs();
            xdotool({QStringLiteral("key"), QStringLiteral("ctrl+alt+q")});
            const qint64 shown = qMax(waitForPaint(known), waitForStamp(knownFocus, true));
            hotkey.push_back((shown - t0) / 1e6);
        }
        stop(s);
        BenchTable::row(QStringLiteral("second start until the window shows"), shows, QStringLiteral("ms"),
                        150);
        BenchTable::row(QStringLiteral("second start through the small command until the window shows"),
                        summons, QStringLiteral("ms"), 50);
        BenchTable::row(QStringLiteral("hotkey to window painted and focused, X11"), hotkey,
                        QStringLiteral("ms"), 100);
    }
    return 0;
}

// On Wayland (sway, under tests/support/run-sway.sh): the program is started by
// the compositor (as root, sway and what it starts run in a user namespace), and
// the key that sway binds to the program runs a second start.
QString swaymsg(const QStringList &arguments)
{
    QProcess tool;
    tool.start(QStringLiteral("swaymsg"), arguments);
    tool.waitForFinished(10000);
    return QString::fromLocal8Bit(tool.readAllStandardOutput());
}

void wtype(const QStringList &arguments)
{
    QProcess tool;
    tool.start(QStringLiteral("wtype"), arguments);
    tool.waitForFinished(10000);
}

// A script that starts `command` (a file of the copy) with the test's environment.
QString waylandLauncher(const QString &command = QStringLiteral("tolvane"))
{
    const QString script = copyDir() + QStringLiteral("/launch-%1.sh").arg(command);
    QFile file(script);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write the launcher");
    QByteArray text = "#!/bin/sh\ncd '" + QFile::encodeName(copyDir()) + "' || exit 1\n";
    for (const char *name :
         {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR", "XDG_DATA_DIRS",
          "XDG_CONFIG_DIRS", "TOLVANE_REGISTRY_DIR", "TMPDIR", "WAYLAND_DISPLAY"})
        text += "export " + QByteArray(name) + "='" + qgetenv(name) + "'\n";
    text += "export QT_QPA_PLATFORM=wayland DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent "
            "TOLVANE_BENCH_FIRST_PAINT='" +
            QFile::encodeName(paintLog()) + "'\nexec ./" + QFile::encodeName(command) + "\n";
    file.write(text);
    file.close();
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return script;
}

// The pid of the program's shown window, 0 while none is shown.
qint64 waylandPid()
{
    QList<QJsonObject> nodes{
        QJsonDocument::fromJson(
            swaymsg({QStringLiteral("-r"), QStringLiteral("-t"), QStringLiteral("get_tree")}).toUtf8())
            .object()};
    while (!nodes.isEmpty()) {
        const QJsonObject node = nodes.takeLast();
        if (node.value(QStringLiteral("app_id")).toString() == QLatin1String("org.example.Tolvane"))
            return node.value(QStringLiteral("pid")).toInteger();
        for (const char *key : {"nodes", "floating_nodes"})
            for (const QJsonValue &child : node.value(QLatin1String(key)).toArray())
                nodes << child.toObject();
    }
    return 0;
}

qint64 waitForWaylandWindow(bool shown)
{
    QElapsedTimer guard;
    guard.start();
    while (guard.elapsed() < 20000) {
        const qint64 pid = waylandPid();
        if ((pid != 0) == shown)
            return pid;
        QThread::msleep(5);
    }
    qFatal("the window did not %s", shown ? "show" : "hide");
}

// Ends the copy the orderly way (it saves its catalog).
void stopWayland(qint64 pid)
{
    ::kill(pid_t(pid), SIGTERM);
    QElapsedTimer guard;
    guard.start();
    while (::kill(pid_t(pid), 0) == 0 && guard.elapsed() < 20000)
        QThread::msleep(5);
}

int runWaylandBenchmark()
{
    copyProgram();
    const int runs = BenchTable::runs();
    buildCatalog(1000);
    useCatalog(1000);
    const QString script = waylandLauncher();
    swaymsg({QStringLiteral("bindsym Ctrl+Alt+q exec ") + script});
    // The small command users bind (installed as bin/tolvane) on another key.
    swaymsg({QStringLiteral("bindsym Ctrl+Alt+w exec ") + waylandLauncher(QStringLiteral("tolvane-summon"))});

    // Start-up, after one uncounted start (the page cache), as on X11.
    std::vector<double> startups;
    for (int run = 0; run <= runs; ++run) {
        QFile::remove(paintLog());
        const qint64 t0 = BenchTable::nowNs();
        swaymsg({QStringLiteral("exec ") + script});
        const double ms = (waitForPaint(0) - t0) / 1e6;
        if (run > 0)
            startups.push_back(ms);
        stopWayland(waitForWaylandWindow(true));
    }

    // The key bound to the program, with the window hidden: the compositor starts
    // a second copy, which hands over to the running one.
    QFile::remove(paintLog());
    swaymsg({QStringLiteral("exec ") + script});
    waitForPaint(0);
    waitForStamp(0, true);
    const qint64 pid = waitForWaylandWindow(true);
    std::vector<double> keys, summonKeys;
    for (int run = 0; run < 2 * runs; ++run) {
        const bool small = run % 2 == 1;
        // Escape on the empty box hides the window (wtype waits for Qt to take its keymap).
        wtype({QStringLiteral("-s"), QStringLiteral("150"), QStringLiteral("-k"), QStringLiteral("Escape")});
        waitForWaylandWindow(false);
        QThread::msleep(200);
        const int known = int(paints().size());
        const int knownFocus = int(stamps(true).size());
        const qint64 t0 = BenchTable::nowNs();
        wtype({QStringLiteral("-M"), QStringLiteral("ctrl"), QStringLiteral("-M"), QStringLiteral("alt"),
               QStringLiteral("-k"), small ? QStringLiteral("w") : QStringLiteral("q"), QStringLiteral("-m"),
               QStringLiteral("alt"), QStringLiteral("-m"), QStringLiteral("ctrl")});
        const qint64 shown = qMax(waitForPaint(known), waitForStamp(knownFocus, true));
        (small ? summonKeys : keys).push_back((shown - t0) / 1e6);
    }
    stopWayland(pid);

    BenchTable::row(QStringLiteral("start-up to first paint, 1,000 items, Wayland"), startups,
                    QStringLiteral("ms"), 150);
    BenchTable::row(QStringLiteral("bound key to window painted and focused, Wayland"), keys,
                    QStringLiteral("ms"), 100);
    BenchTable::row(QStringLiteral("bound key to window painted and focused, Wayland, small command"),
                    summonKeys, QStringLiteral("ms"), 50);
    return 0;
}

#ifdef TOLVANE_KWINKEYS
// On KDE Plasma (KWin and the desktop portal, under tests/support/run-kwin.sh):
// the hotkey is the portal's shortcut, which KWin's shortcut daemon sees and the
// portal reports to the running copy (no second process). Keys through KWin's
// fake input.
int runKWinBenchmark()
{
    copyProgram();
    const int runs = BenchTable::runs();
    buildCatalog(1000);
    useCatalog(1000);
    Started s = start();
    waitForStamp(0, true);
    // Bound once the desktop has stored the key for the program's component.
    QElapsedTimer guard;
    guard.start();
    const auto bound = [] {
        QFile settings(KWinSession::shortcutSettings());
        return settings.open(QIODevice::ReadOnly) &&
               settings.readAll().contains("[tolvane_org_example_Tolvane_CTRL_ALT_q]");
    };
    while (!bound() && guard.elapsed() < 20000)
        QThread::msleep(20);
    if (!bound())
        qFatal("the desktop did not bind the hotkey");

    std::vector<double> keys;
    for (int run = 0; run < runs; ++run) {
        // Escape on the empty box hides the window.
        KWinSession::press({QStringLiteral("escape")});
        QThread::msleep(300);
        const int known = int(paints().size());
        const int knownFocus = int(stamps(true).size());
        const qint64 t0 = BenchTable::nowNs();
        KWinSession::press({QStringLiteral("ctrl+alt+q")});
        const qint64 shown = qMax(waitForPaint(known), waitForStamp(knownFocus, true));
        keys.push_back((shown - t0) / 1e6);
    }
    stop(s);
    BenchTable::row(QStringLiteral("hotkey to window painted and focused, KWin (portal)"), keys,
                    QStringLiteral("ms"), 50);
    return 0;
}
#endif

} // namespace

int main(int argc, char **argv)
{
    return TestSandbox::run(argc, argv, [](int c, char **v) {
        QCoreApplication app(c, v);
        BenchTable::quietMessages();
#ifdef TOLVANE_KWINKEYS
        if (!KWinSession::runtime().isEmpty())
            return runKWinBenchmark();
#endif
        if (qEnvironmentVariable("QT_QPA_PLATFORM") == QLatin1String("wayland"))
            return runWaylandBenchmark();
        return runBenchmark();
    });
}
