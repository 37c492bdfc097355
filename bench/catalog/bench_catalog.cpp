// Measures the catalog at 1,000, 10,000 and 100,000 items: SearchItems per
// keystroke while words are typed one letter at a time (all keystrokes, and the
// medians of first letters and of texts of three letters or more), the load at start and
// the save at the end, one AddItem of a new path, and a ScanAll over 5,000
// desktop entries already in the catalog (TOLVANE_BENCH_SCAN sets another
// number). Prints one table.
#include "benchcatalog.h"
#include "benchtable.h"
#include "itemdatabase.h"
#include "testmain.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTextStream>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

using BenchCatalog::itemName;
using BenchCatalog::Typed;
using BenchTable::median;
using BenchTable::percentile95;

// Fills an empty catalog with `count` items, through the same insert that
// AddItem makes, in one transaction (AddItem's path lookup would make building
// 100,000 items take quadratic time; it is measured on its own below).
void fill(int count)
{
    BenchCatalog::fill(
        count, [](int i) { return QStringLiteral("/opt/apps/%1/bin/app%2.exe").arg(i % 500).arg(i); });
}

double ms(const QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

struct Row
{
    int items;
    double searchMedian, search95, firstLetter, threeLetters, load, save, addItem;
    qint64 fileSize;
};

Row measure(int items)
{
    Row row{items, 0, 0, 0, 0, 0, 0, 0, 0};
    const QString file = ItemDatabase::databaseFile();
    QFile::remove(file);
    auto db = std::make_unique<ItemDatabase>();
    db->OpenCatalog();
    fill(items);
    // A few learned texts, as a catalog in use has.
    for (int i = 1; i <= 20; ++i)
        db->AddQuick(QString::number(i * 7), Typed[i % Typed.size()].left(2));

    QElapsedTimer timer;
    timer.start();
    db.reset(); // saves data.db
    row.save = ms(timer);
    row.fileSize = QFileInfo(file).size();

    db = std::make_unique<ItemDatabase>();
    timer.start();
    db->OpenCatalog();
    row.load = ms(timer);

    std::vector<double> times, first, longer;
    for (int round = 0; round < 3; ++round) {
        for (const QString &word : Typed) {
            for (int n = 1; n <= word.size(); ++n) {
                QList<APPBLOCK> found;
                timer.start();
                db->SearchItems(word.left(n), found, 5);
                const double t = ms(timer);
                times.push_back(t);
                if (n == 1)
                    first.push_back(t);
                else if (n >= 3)
                    longer.push_back(t);
            }
        }
    }
    row.searchMedian = median(times);
    row.search95 = percentile95(times);
    row.firstLetter = median(first);
    row.threeLetters = median(longer);

    std::vector<double> adds;
    for (int i = 0; i < 5; ++i) {
        QString path = QStringLiteral("C:\\new\\tool%1.exe").arg(i);
        timer.start();
        db->AddItem(path, QStringLiteral("New Tool %1").arg(i), QStringLiteral("APP"), QString());
        adds.push_back(ms(timer));
    }
    row.addItem = median(adds);
    db.reset();
    return row;
}

double measureScan(int entries)
{
    const QString apps = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                         QStringLiteral("/applications");
    QDir().mkpath(apps);
    QRandomGenerator random(99);
    for (int i = 0; i < entries; ++i) {
        QFile entry(apps + QStringLiteral("/app%1.desktop").arg(i));
        entry.open(QIODevice::WriteOnly);
        QTextStream(&entry) << "[Desktop Entry]\nType=Application\nName=" << itemName(random, i)
                            << "\nExec=/usr/bin/true %U\nIcon=app" << i << "\nCategories=Utility;\n";
    }
    QFile::remove(ItemDatabase::databaseFile());
    auto db = std::make_unique<ItemDatabase>();
    db->OpenCatalog(); // a first run: discovery of the entries
    db.reset();
    db = std::make_unique<ItemDatabase>();
    db->OpenCatalog(); // loads; nothing walked yet in this store
    QElapsedTimer timer;
    timer.start();
    db->ScanAll();
    const double elapsed = ms(timer);
    if (db->GetItemCount() != QString::number(entries))
        qFatal("ScanAll found %s items", qPrintable(db->GetItemCount()));
    db.reset();
    QDir(apps).removeRecursively();
    return elapsed;
}

int runBenchmark()
{
    QTextStream out(stdout);
    out << "catalog benchmark (times in ms)\n";
    out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9\n")
               .arg("items", 8)
               .arg("search median", 14)
               .arg("search p95", 11)
               .arg("1 letter", 9)
               .arg("3+ letters", 11)
               .arg("load", 8)
               .arg("save", 8)
               .arg("AddItem", 8)
               .arg("file KiB", 9);
    // TOLVANE_BENCH_SIZES="1000,10000" measures only those sizes.
    QList<int> sizes = {1000, 10000, 100000};
    if (qEnvironmentVariableIsSet("TOLVANE_BENCH_SIZES")) {
        sizes.clear();
        for (const QString &size : qEnvironmentVariable("TOLVANE_BENCH_SIZES").split(QLatin1Char(',')))
            sizes.append(size.toInt());
    }
    for (int items : sizes) {
        const Row r = measure(items);
        out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8 %9\n")
                   .arg(r.items, 8)
                   .arg(r.searchMedian, 14, 'f', 3)
                   .arg(r.search95, 11, 'f', 3)
                   .arg(r.firstLetter, 9, 'f', 3)
                   .arg(r.threeLetters, 11, 'f', 3)
                   .arg(r.load, 8, 'f', 2)
                   .arg(r.save, 8, 'f', 2)
                   .arg(r.addItem, 8, 'f', 3)
                   .arg(r.fileSize / 1024, 9);
        out.flush();
    }
    const int entries = qEnvironmentVariableIntValue("TOLVANE_BENCH_SCAN");
    const int scanned = entries > 0 ? entries : 5000;
    out << QStringLiteral("ScanAll over %1 desktop entries (rescan, new store): %2 ms\n")
               .arg(scanned)
               .arg(measureScan(scanned), 0, 'f', 1);
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
