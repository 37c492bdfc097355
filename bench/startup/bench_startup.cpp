// The program as a process: from its start to the main window's first paint with
// a data.db of 1,000 and of 10,000 items and on a first run over 300 desktop
// entries; its resident memory after start and after 100 searches typed into it;
// and a second start, from the second process's start until the first copy's
// window shows again. Runs copies of the built tolvane on the X server of
// $DISPLAY (tools/bench.sh starts a private Xvfb), one copy at a time.
//
// The program appends the monotonic clock to the file named by
// TOLVANE_BENCH_FIRST_PAINT after each paint of its main window has been drawn;
// the benchmark reads the same clock just before it starts the process.
#include "benchcatalog.h"
#include "benchtable.h"
#include "itemdatabase.h"
#include "testmain.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

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
    for (const char *name : {"tolvane", "config.ini", "main.ico"}) {
        const QString target = copyDir() + QLatin1Char('/') + QLatin1String(name);
        QFile::remove(target);
        if (!QFile::copy(TestSandbox::buildBinDir() + QLatin1Char('/') + QLatin1String(name), target))
            qFatal("cannot copy %s from %s", name, qPrintable(TestSandbox::buildBinDir()));
    }
    QFile::setPermissions(copyDir() + QStringLiteral("/config.ini"), QFile::ReadOwner | QFile::WriteOwner);
}

// The stamps of the paint log, in nanoseconds.
QList<qint64> paints()
{
    QFile log(paintLog());
    QList<qint64> stamps;
    if (!log.open(QIODevice::ReadOnly))
        return stamps;
    for (const QByteArray &line : log.readAll().split('\n')) {
        if (!line.isEmpty())
            stamps.append(line.toLongLong());
    }
    return stamps;
}

// Waits (polling; the stamp, not the poll, gives the time) for more than `known` paints.
qint64 waitForPaint(int known, int timeoutMs = 30000)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        const QList<qint64> stamps = paints();
        if (stamps.size() > known)
            return stamps.at(known);
        QThread::usleep(500);
    }
    qFatal("the main window did not paint");
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
    const int runs = qEnvironmentVariableIntValue("TOLVANE_BENCH_RUNS") > 0
                         ? qEnvironmentVariableIntValue("TOLVANE_BENCH_RUNS")
                         : 10;
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
            QThread::msleep(1000);
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
        std::vector<double> shows;
        for (int run = 0; run < runs; ++run) {
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
            second.setProgram(copyDir() + QStringLiteral("/tolvane"));
            second.setWorkingDirectory(copyDir());
            const qint64 t0 = BenchTable::nowNs();
            second.start();
            const qint64 shown = waitForPaint(known);
            second.waitForFinished(10000);
            shows.push_back((shown - t0) / 1e6);
        }
        stop(s);
        BenchTable::row(QStringLiteral("second start until the window shows"), shows, QStringLiteral("ms"),
                        150);
    }
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
