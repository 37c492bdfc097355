// First-run discovery: a store without data.db opens and runs ScanAll over 2,000
// desktop entries, and over a folder tree of 20,000 entries on the desktop
// (folders, programs, other files and program links). Runs in a sandbox; one
// part per run, named by the argument "entries" or "tree" (GIO remembers the
// desktop entries it has listed within a process). The part "links" times a first
// run whose desktop folder is the home folder (XDG_DESKTOP_DIR="$HOME/") and whose
// home holds links to / (a Wine prefix's dosdevices): neither is walked.
#include "benchcatalog.h"
#include "benchtable.h"
#include "itemdatabase.h"
#include "testmain.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <memory>

namespace {

// The first run's catalog build, timed: OpenCatalog without a data.db scans.
double firstRun(int expected)
{
    QFile::remove(ItemDatabase::databaseFile());
    auto db = std::make_unique<ItemDatabase>();
    const qint64 start = BenchTable::nowNs();
    db->OpenCatalog();
    const double ms = (BenchTable::nowNs() - start) / 1e6;
    if (db->GetItemCount() != QString::number(expected))
        qFatal("discovery found %s items, not %d", qPrintable(db->GetItemCount()), expected);
    return ms;
}

// 20,000 entries: 400 folders of 49 files each, a fifth of them programs, a few
// installers that are left out, and links to programs.
int writeTree(const QString &root)
{
    int programs = 0;
    for (int d = 0; d < 400; ++d) {
        const QString folder = root + QStringLiteral("/vendor%1/app%2").arg(d / 20).arg(d);
        QDir().mkpath(folder);
        for (int f = 0; f < 49; ++f) {
            QString name;
            if (f % 5 == 0) {
                name = QStringLiteral("tool%1.exe").arg(f);
                ++programs;
            } else if (f == 1) {
                name = QStringLiteral("setup.exe");
            } else if (f == 2) {
                name = QStringLiteral("unins000.exe");
            } else {
                name = QStringLiteral("data%1.dat").arg(f);
            }
            QFile file(folder + QLatin1Char('/') + name);
            file.open(QIODevice::WriteOnly);
        }
        if (d % 10 == 0) {
            QFile::link(folder + QStringLiteral("/tool0.exe"), root + QStringLiteral("/Tool %1.lnk").arg(d));
            // The link names the same program as its target: one more record of that path.
        }
    }
    return programs;
}

int runEntries()
{
    const QString apps = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                         QStringLiteral("/applications");
    BenchCatalog::writeDesktopEntries(apps, 2000);
    std::vector<double> times;
    for (int run = 0; run < 5; ++run)
        times.push_back(firstRun(2000));
    BenchTable::row(QStringLiteral("first-run ScanAll over 2,000 desktop entries"), times,
                    QStringLiteral("ms"), 1000);
    QDir(apps).removeRecursively();
    return 0;
}

int runTree()
{
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    const QString tree = desktop + QStringLiteral("/programs");
    const int programs = writeTree(tree);
    std::vector<double> times;
    for (int run = 0; run < 3; ++run)
        times.push_back(firstRun(programs));
    BenchTable::row(QStringLiteral("first-run ScanAll over a folder tree of 20,000 entries"), times,
                    QStringLiteral("ms"), 0);
    QDir(tree).removeRecursively();
    return 0;
}

int runLinks()
{
    const QString home = QDir::homePath();
    QDir().mkpath(home + QStringLiteral("/.wine/dosdevices"));
    QFile::link(QStringLiteral("/"), home + QStringLiteral("/.wine/dosdevices/z:"));
    QFile::link(QStringLiteral("/"), home + QStringLiteral("/root"));
    const QString userDirs = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                             QStringLiteral("/user-dirs.dirs");
    QFile dirs(userDirs);
    dirs.open(QIODevice::WriteOnly);
    dirs.write("XDG_DESKTOP_DIR=\"$HOME/\"\n");
    dirs.close();
    std::vector<double> times;
    for (int run = 0; run < 5; ++run)
        times.push_back(firstRun(0));
    BenchTable::row(QStringLiteral("first-run ScanAll, desktop = home, links to /"), times,
                    QStringLiteral("ms"), 2000);
    QFile::remove(userDirs);
    QFile::remove(home + QStringLiteral("/root"));
    QDir(home + QStringLiteral("/.wine")).removeRecursively();
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    return TestSandbox::run(argc, argv, [](int c, char **v) {
        QCoreApplication app(c, v);
        BenchTable::quietMessages();
        const QString part = c > 1 ? QString::fromLocal8Bit(v[1]) : QString();
        if (part == QLatin1String("entries"))
            return runEntries();
        if (part == QLatin1String("tree"))
            return runTree();
        if (part == QLatin1String("links"))
            return runLinks();
        fprintf(stderr, "usage: bench_discovery entries|tree|links\n");
        return 2;
    });
}
