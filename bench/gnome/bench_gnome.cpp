// On GNOME (a private headless GNOME Shell with gsd-media-keys, from
// tests/support/run-gnome.sh): the hotkey, which GNOME runs as the program's custom
// shortcut, from the key press to the main window painted and focused; and a
// launch of a program that is already running, from Return to that program's
// window focused. Keys come through mutter's remote desktop.
//
// The program appends the monotonic clock to TOLVANE_BENCH_FIRST_PAINT after each
// paint of its main window and when it gets the keyboard ("<ns> focus"); the GTK
// marker program writes "<ns> focus" when its window gets the keyboard.
#include "benchtable.h"
#include "gnomeshell.h"
#include "testmain.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QThread>

#include <csignal>

namespace {

QString copyDir()
{
    return TestSandbox::path(QStringLiteral("copy"));
}

QString paintLog()
{
    return TestSandbox::path(QStringLiteral("paints.log"));
}

QString markerDir()
{
    return TestSandbox::path(QStringLiteral("marker"));
}

// The stamps of a log, in nanoseconds: the focus stamps or the others.
QList<qint64> stamps(const QString &file, bool focus)
{
    QFile log(file);
    QList<qint64> found;
    if (!log.open(QIODevice::ReadOnly))
        return found;
    for (const QByteArray &line : log.readAll().split('\n'))
        if (!line.isEmpty() && line.endsWith(" focus") == focus)
            found.append(line.split(' ').first().toLongLong());
    return found;
}

// Waits (polling; the stamp, not the poll, gives the time) for more than `known` stamps.
qint64 waitForStamp(const QString &file, int known, bool focus)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 30000) {
        const QList<qint64> found = stamps(file, focus);
        if (found.size() > known)
            return found.at(known);
        QThread::usleep(500);
    }
    qFatal("%s did not come", focus ? "the keyboard" : "a paint");
}

void waitFor(const GnomeShell &shell, const std::function<bool(const QString &)> &focused)
{
    QElapsedTimer timer;
    timer.start();
    while (!focused(shell.focusedTitle())) {
        if (timer.elapsed() > 30000)
            qFatal("the focus did not move (it is on \"%s\")", qPrintable(shell.focusedTitle()));
        QThread::msleep(5);
    }
}

void waitForTitle(const GnomeShell &shell, const QString &title)
{
    waitFor(shell, [&title](const QString &focused) { return focused == title; });
}

// Hides the main window (Escape until it goes: the first closes the list, the
// next clears the box, the last hides) and gives the marker the keyboard.
void hideAndFocusMarker(const GnomeShell &shell)
{
    for (int i = 0; i < 4 && shell.focusedTitle() == QLatin1String("Tolvane"); ++i) {
        shell.press(QStringLiteral("Escape"));
        QThread::msleep(100);
    }
    waitFor(shell, [](const QString &focused) { return focused != QLatin1String("Tolvane"); });
    shell.activate(QStringLiteral("Marker Pad"));
    waitForTitle(shell, QStringLiteral("Marker Pad"));
    QThread::msleep(200);
}

// The hotkey from the marker's window: its time until the window is painted and focused.
double summon(const GnomeShell &shell)
{
    hideAndFocusMarker(shell);
    const int known = int(stamps(paintLog(), false).size());
    const int knownFocus = int(stamps(paintLog(), true).size());
    const qint64 t0 = BenchTable::nowNs();
    shell.press(QStringLiteral("Control_L+Alt_L+q"));
    const qint64 shown =
        qMax(waitForStamp(paintLog(), known, false), waitForStamp(paintLog(), knownFocus, true));
    waitForTitle(shell, QStringLiteral("Tolvane"));
    // The key Qt's Wayland client may miss when the window comes back.
    shell.press(QStringLiteral("Shift_L"));
    return (shown - t0) / 1e6;
}

int runBenchmark()
{
    GnomeShell shell;
    if (!GnomeShell::isRunning() || !shell.startInput())
        qFatal("run this benchmark through tests/support/run-gnome.sh");
    const int runs = BenchTable::runs();
    const QProcessEnvironment session = GnomeShell::sessionEnvironment();

    QProcess marker;
    const QStringList command = GnomeShell::writeMarkerApp(markerDir());
    marker.setProcessEnvironment(session);
    marker.start(command.first(), command.mid(1));
    waitForTitle(shell, QStringLiteral("Marker Pad"));

    QDir().mkpath(copyDir());
    for (const char *name : {"tolvane", "config.ini", "main.ico"})
        QFile::copy(TestSandbox::buildBinDir() + QLatin1Char('/') + QLatin1String(name),
                    copyDir() + QLatin1Char('/') + QLatin1String(name));
    QFile::setPermissions(copyDir() + QStringLiteral("/config.ini"), QFile::ReadOwner | QFile::WriteOwner);
    {
        // The window stays after a launch, so the launched program has to take the keyboard.
        QSettings config(copyDir() + QStringLiteral("/config.ini"), QSettings::IniFormat);
        config.setValue(QStringLiteral("hotkey"), QStringLiteral("CTRL+ALT+Q"));
        config.setValue(QStringLiteral("autohide"), 0);
    }
    QProcess program;
    QProcessEnvironment environment = session;
    environment.insert(QStringLiteral("TOLVANE_BENCH_FIRST_PAINT"), paintLog());
    program.setProcessEnvironment(environment);
    program.setWorkingDirectory(copyDir());
    program.setStandardOutputFile(QProcess::nullDevice());
    program.setStandardErrorFile(QProcess::nullDevice());
    program.start(copyDir() + QStringLiteral("/tolvane"), {});
    waitForTitle(shell, QStringLiteral("Tolvane"));
    // Qt's Wayland client misses the first key it gets.
    shell.press(QStringLiteral("Shift_L"));

    // One summon that is not counted (the program's pages come into memory).
    summon(shell);
    std::vector<double> hotkey;
    for (int run = 0; run < runs; ++run)
        hotkey.push_back(summon(shell));

    std::vector<double> launches;
    const QString focusLog = markerDir() + QStringLiteral("/focus.log");
    for (int run = 0; run < runs; ++run) {
        summon(shell);
        shell.type(QStringLiteral("Marker"));
        QThread::msleep(500); // the list is shown
        const int known = int(stamps(focusLog, true).size());
        const qint64 t0 = BenchTable::nowNs();
        shell.press(QStringLiteral("Return"));
        launches.push_back((waitForStamp(focusLog, known, true) - t0) / 1e6);
        waitForTitle(shell, QStringLiteral("Marker Pad"));
    }

    ::kill(pid_t(program.processId()), SIGTERM);
    program.waitForFinished(20000);
    marker.terminate();
    marker.waitForFinished(5000);
    BenchTable::row(QStringLiteral("hotkey to window painted and focused, GNOME (custom shortcut)"), hotkey,
                    QStringLiteral("ms"), 0);
    BenchTable::row(QStringLiteral("launch of a running program to its window focused, GNOME"), launches,
                    QStringLiteral("ms"), 0);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    return TestSandbox::run(argc, argv, [](int c, char **v) {
        QCoreApplication app(c, v);
        BenchTable::quietMessages();
        return runBenchmark();
    });
}
