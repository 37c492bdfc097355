// Measures the catalog at 1,000, 10,000 and 100,000 items: SearchItems per
// keystroke while words are typed one letter at a time (all keystrokes, and the
// medians of first letters and of texts of three letters or more), the load at start and
// the save at the end, one AddItem of a new path, and a ScanAll over 5,000
// desktop entries already in the catalog (TOLVANE_BENCH_SCAN sets another
// number). Then the saves in the background at 1,000 and 10,000 items: the time
// of one, how long it holds the GUI thread, and keystrokes (SearchItems on a
// timer) typed while saves follow one another against keystrokes without; and the
// time from a new desktop entry on disk to its item found. Prints one table.
#include "benchcatalog.h"
#include "benchtable.h"
#include "itemdatabase.h"
#include "testmain.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTextStream>
#include <QTimer>

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

// How long an event loop iteration takes at most while `work` runs: the longest
// gap between the ticks of a 1 ms timer.
struct Ticks
{
    QTimer timer;
    qint64 last = 0;
    qint64 longest = 0;
    Ticks()
    {
        timer.setTimerType(Qt::PreciseTimer);
        timer.setInterval(1);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] {
            const qint64 now = BenchTable::nowNs();
            longest = qMax(longest, now - last);
            last = now;
        });
    }
    void start()
    {
        last = BenchTable::nowNs();
        longest = 0;
        timer.start();
    }
};

struct SaveRow
{
    int items;
    double total, held, idleHeld, keyMedian, key95, keyMax, savingMedian, saving95, savingMax;
    int saves;
};

// Keystrokes every 16 ms, words typed one letter at a time, each a SearchItems:
// the time from when the key was due to the end of its search. With `saving`,
// each save done starts the next one at once.
std::vector<double> typeWords(ItemDatabase &db, bool saving, int &saves)
{
    std::vector<double> times;
    QStringList keys;
    for (int round = 0; round < 2; ++round) {
        for (const QString &word : Typed) {
            for (int n = 1; n <= word.size(); ++n)
                keys.append(word.left(n));
        }
    }
    QEventLoop loop;
    QMetaObject::Connection next;
    if (saving) {
        next = QObject::connect(&db.notices, &CatalogNotices::saved, &loop, [&] {
            ++saves;
            db.AddQuick(QStringLiteral("1"), QStringLiteral("save"));
        });
        db.AddQuick(QStringLiteral("1"), QStringLiteral("save"));
    }
    QTimer key;
    key.setTimerType(Qt::PreciseTimer);
    qint64 due = BenchTable::nowNs() + 16000000;
    int index = 0;
    QObject::connect(&key, &QTimer::timeout, &loop, [&] {
        const qint64 now = BenchTable::nowNs();
        if (now < due) {
            key.start(int((due - now) / 1000000) + 1);
            return;
        }
        QList<APPBLOCK> found;
        db.SearchItems(keys.at(index), found, 5);
        times.push_back((BenchTable::nowNs() - due) / 1e6);
        due += 16000000;
        if (++index == keys.size())
            loop.quit();
        else
            key.start(qMax(0, int((due - BenchTable::nowNs()) / 1000000)));
    });
    key.setSingleShot(true);
    key.start(16);
    loop.exec();
    QObject::disconnect(next);
    db.SaveNow(); // the last one
    return times;
}

SaveRow measureSaves(int items)
{
    SaveRow row{items, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    QFile::remove(ItemDatabase::databaseFile());
    auto db = std::make_unique<ItemDatabase>();
    db->OpenCatalog();
    fill(items);
    db->SetSaveDelay(0);
    db->SaveNow();
    QList<APPBLOCK> warm;
    db->SearchItems(QStringLiteral("a"), warm, 5);

    std::vector<double> totals, held, idle;
    Ticks ticks;
    for (int i = 0; i < 10; ++i) {
        QEventLoop loop;
        QObject::connect(&db->notices, &CatalogNotices::saved, &loop, &QEventLoop::quit);
        ticks.start();
        const qint64 start = BenchTable::nowNs();
        db->AddQuick(QStringLiteral("1"), QStringLiteral("x"));
        loop.exec();
        totals.push_back((BenchTable::nowNs() - start) / 1e6);
        held.push_back(ticks.longest / 1e6);
        // The same wait without a save, for the timer's own gaps.
        ticks.start();
        QTimer::singleShot(int(totals.back()) + 1, &loop, &QEventLoop::quit);
        loop.exec();
        idle.push_back(ticks.longest / 1e6);
    }
    ticks.timer.stop();
    row.total = median(totals);
    row.held = median(held);
    row.idleHeld = median(idle);

    int saves = 0;
    const std::vector<double> quiet = typeWords(*db, false, saves);
    const std::vector<double> saving = typeWords(*db, true, saves);
    row.saves = saves;
    row.keyMedian = median(quiet);
    row.key95 = percentile95(quiet);
    row.keyMax = *std::max_element(quiet.begin(), quiet.end());
    row.savingMedian = median(saving);
    row.saving95 = percentile95(saving);
    row.savingMax = *std::max_element(saving.begin(), saving.end());
    db.reset();
    return row;
}

// From a new desktop entry written to the time the open catalog finds it.
std::vector<double> measureEntryFound()
{
    const QString apps = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                         QStringLiteral("/applications");
    BenchCatalog::writeDesktopEntries(apps, 1000);
    QFile::remove(ItemDatabase::databaseFile());
    auto db = std::make_unique<ItemDatabase>();
    db->OpenCatalog(); // lists the entries: GIO watches their folder from now on
    std::vector<double> times;
    for (int i = 0; i < 10; ++i) {
        const QString name = QStringLiteral("Freshly Installed %1").arg(i);
        QFile entry(apps + QStringLiteral("/fresh%1.desktop").arg(i));
        entry.open(QIODevice::WriteOnly);
        const qint64 start = BenchTable::nowNs();
        QTextStream(&entry) << "[Desktop Entry]\nType=Application\nName=" << name << "\nExec=/usr/bin/true\n";
        entry.close();
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            QList<APPBLOCK> found;
            db->SearchItems(name, found, 5);
            if (!found.isEmpty())
                loop.quit();
        });
        poll.start(1);
        QTimer::singleShot(20000, &loop, &QEventLoop::quit);
        loop.exec();
        times.push_back((BenchTable::nowNs() - start) / 1e6);
    }
    db.reset();
    QDir(apps).removeRecursively();
    return times;
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
    out.flush();

    out << "\nsaves in the background (ms): one save's whole time, the longest hold of the GUI thread\n"
           "during one (and without one), keystrokes without saves and during saves (median p95 max)\n";
    for (int items : {1000, 10000}) {
        const SaveRow r = measureSaves(items);
        out << QStringLiteral("%1 items: save %2, GUI held %3 (idle %4); keys %5 %6 %7; during %8 saves "
                              "%9 %10 %11\n")
                   .arg(r.items)
                   .arg(r.total, 0, 'f', 2)
                   .arg(r.held, 0, 'f', 2)
                   .arg(r.idleHeld, 0, 'f', 2)
                   .arg(r.keyMedian, 0, 'f', 3)
                   .arg(r.key95, 0, 'f', 3)
                   .arg(r.keyMax, 0, 'f', 3)
                   .arg(r.saves)
                   .arg(r.savingMedian, 0, 'f', 3)
                   .arg(r.saving95, 0, 'f', 3)
                   .arg(r.savingMax, 0, 'f', 3);
        out.flush();
    }
    const std::vector<double> found = measureEntryFound();
    out << QStringLiteral("new desktop entry on disk to its item found (ms): median %1 max %2 of %3\n")
               .arg(median(found), 0, 'f', 1)
               .arg(*std::max_element(found.begin(), found.end()), 0, 'f', 1)
               .arg(found.size());
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
