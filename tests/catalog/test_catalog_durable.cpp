// The catalog reaches data.db by itself, in the background, within seconds of a
// change; a write cut short leaves the old catalog or the new one; a file that
// cannot be written is reported once and tried again; exit() still saves.
#include "catalogfixture.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <csignal>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace CatalogFixture;

namespace {

// The rows of a query on a database file, through a connection of its own (which
// also rolls back a write that a kill cut short).
QStringList fileRows(const QString &file, const QString &sql)
{
    QStringList result;
    {
        QSqlDatabase check = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        check.setDatabaseName(file);
        if (!check.open())
            return {QStringLiteral("<cannot open>")};
        QSqlQuery query(check);
        if (!query.exec(sql))
            result.append(QStringLiteral("<failed: %1>").arg(query.lastError().text()));
        while (query.next()) {
            QStringList columns;
            for (int i = 0; query.value(i).isValid(); ++i)
                columns.append(query.value(i).toString());
            result.append(columns.join(QLatin1Char('|')));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return result;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A copy of catalog_worker in a folder of its own; its data.db lives beside it.
QString workerCopy(const QString &folder)
{
    const QString dir = TestSandbox::path(folder);
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    QFile::copy(TestSandbox::buildBinDir() + QStringLiteral("/catalog_worker"),
                dir + QStringLiteral("/catalog_worker"));
    return dir;
}

// True when another connection's lock keeps `begin` from starting a transaction
// on the file now.
bool busyFor(const QString &file, const char *begin)
{
    sqlite3 *probe = nullptr;
    sqlite3_open(QFile::encodeName(file).constData(), &probe);
    const bool busy = sqlite3_exec(probe, begin, nullptr, nullptr, nullptr) == SQLITE_BUSY;
    sqlite3_exec(probe, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(probe);
    return busy;
}

// True while another connection holds a read transaction on the file.
bool readerHolds(const QString &file)
{
    return busyFor(file, "BEGIN EXCLUSIVE");
}

// True while another connection holds the file's write lock (a write waits for
// its readers).
bool writerWaits(const QString &file)
{
    return busyFor(file, "BEGIN IMMEDIATE");
}

} // namespace

class TestCatalogDurable : public QObject
{
    Q_OBJECT

private slots:
    void init() { resetSandbox(); }

    // Learning, an alias edit, the manager's changes and a rescan that changed
    // something each reach the file while the store stays open.
    void everyChangeReachesTheFile()
    {
        const QString file = ItemDatabase::databaseFile();
        auto db = openFreshCatalog();
        QSignalSpy saved(&db->notices, &CatalogNotices::saved);
        // The first run's catalog.
        QTRY_VERIFY_WITH_TIMEOUT(saved.count() >= 1, 10000);
        QCOMPARE(fileRows(file, QStringLiteral("SELECT count(*) FROM ITEMBOX")), QStringList{"0"});

        const QString rowid = addNamedItem(*db, QStringLiteral("Editor"));
        launch(*db, rowid, QStringLiteral("ed"));
        QTRY_COMPARE_WITH_TIMEOUT(fileRows(file, QStringLiteral("SELECT key, exec, hot FROM QUICK")),
                                  QStringList{"ed|" + rowid + "|1"}, 10000);
        QCOMPARE(fileRows(file, QStringLiteral("SELECT ITEMBOX_ID, topnum FROM TOP")),
                 QStringList{rowid + "|1"});

        APPBLOCK item;
        item.rowid = rowid;
        item.alias = QStringLiteral("My Editor");
        QVERIFY(db->UpdateAlias(item));
        QTRY_COMPARE_WITH_TIMEOUT(fileRows(file, QStringLiteral("SELECT alias FROM ITEMBOX")),
                                  QStringList{"My Editor"}, 10000);

        QString path = itemPath(QStringLiteral("Editor.exe"));
        QVERIFY(db->AddItem(path, QStringLiteral("Renamed"), QStringLiteral("APP"), QString()));
        QVERIFY(db->DeleteItem(itemPath(QStringLiteral("Editor.exe"))));
        QString added = itemPath(QStringLiteral("Added.exe"));
        QVERIFY(db->AddItem(added, QStringLiteral("Added"), QStringLiteral("APP"), QString()));
        QTRY_COMPARE_WITH_TIMEOUT(fileRows(file, QStringLiteral("SELECT alias FROM ITEMBOX")),
                                  QStringList{"Added"}, 10000);
        QCOMPARE(fileRows(file, QStringLiteral("SELECT count(*) FROM QUICK")), QStringList{"0"});

        createFile(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation) + "/found.exe");
        db.reset();
        db = std::make_unique<ItemDatabase>();
        db->OpenCatalog();
        db->ScanAll();
        QTRY_COMPARE_WITH_TIMEOUT(fileRows(file, QStringLiteral("SELECT alias FROM ITEMBOX ORDER BY rowid")),
                                  QStringList({"Added", "found.exe"}), 10000);
    }

    // Loading, searching and reading write nothing, now or at the end.
    void aRunThatChangesNothingWritesNothing()
    {
        const QString file = ItemDatabase::databaseFile();
        {
            auto db = openFreshCatalog();
            addNamedItem(*db, QStringLiteral("Viewer"));
        }
        const QByteArray before = readAll(file);
        const QDateTime modified = QFileInfo(file).lastModified();
        QVERIFY(!before.isEmpty());
        {
            ItemDatabase db;
            QTest::ignoreMessage(QtWarningMsg, file.toUtf8().constData()); // the load's
            QTest::failOnWarning(QRegularExpression(QRegularExpression::escape(file)));
            db.OpenCatalog();
            QCOMPARE(search(db, QStringLiteral("vi")), QStringList{"Viewer"});
            QList<APPBLOCK> all;
            db.GetAllItems(all);
            QVERIFY(db.GetTopItems(topItems));
            QVERIFY(db.SaveNow());
        }
        QCOMPARE(readAll(file), before);
        QCOMPARE(QFileInfo(file).lastModified(), modified);
    }

    // A file that cannot be written (the disk is full) is reported once, the
    // catalog goes on in memory, and the save is tried again on a timer; the
    // file keeps the last catalog written whole.
    void aFullDiskIsReportedOnceAndTriedAgain()
    {
        const QString file = ItemDatabase::databaseFile();
        auto db = openFreshCatalog();
        db->SetSaveDelay(10, 100);
        for (int i = 0; i < 300; ++i)
            addNamedItem(*db, QStringLiteral("Program %1").arg(i));
        QVERIFY(db->SaveNow());
        const QByteArray written = readAll(file);
        QSignalSpy failed(&db->notices, &CatalogNotices::saveFailed);
        QSignalSpy saved(&db->notices, &CatalogNotices::saved);

        // Files of this process may not grow beyond 16 KiB: a full disk.
        struct rlimit limit;
        getrlimit(RLIMIT_FSIZE, &limit);
        const struct rlimit full = {16384, limit.rlim_max};
        signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &full);
        launch(*db, QStringLiteral("1"), QStringLiteral("pro"));
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 10000);
        QVERIFY2(failed.first().first().toString().contains(file),
                 qPrintable(failed.first().first().toString()));
        launch(*db, QStringLiteral("2"), QStringLiteral("pro"));
        QVERIFY(!db->SaveNow());
        // Reported once; the file holds the catalog as last written whole.
        QCOMPARE(failed.count(), 1);
        QCOMPARE(saved.count(), 0);
        QCOMPARE(fileRows(file, QStringLiteral("PRAGMA integrity_check")), QStringList{"ok"});
        QCOMPARE(fileRows(file, QStringLiteral("SELECT count(*) FROM QUICK")), QStringList{"0"});
        QCOMPARE(readAll(file), written);
        QCOMPARE(search(*db, QStringLiteral("pro"), 2), QStringList({"Program 0", "Program 1"}));

        // Room again: the next attempt writes everything, without a change.
        setrlimit(RLIMIT_FSIZE, &limit);
        signal(SIGXFSZ, SIG_DFL);
        QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 1, 10000);
        QCOMPARE(fileRows(file, QStringLiteral("SELECT count(*) FROM QUICK")), QStringList{"2"});
        launch(*db, QStringLiteral("3"), QStringLiteral("pro"));
        QTRY_COMPARE_WITH_TIMEOUT(saved.count(), 2, 10000);
        QCOMPARE(fileRows(file, QStringLiteral("SELECT count(*) FROM QUICK")), QStringList{"3"});
        QCOMPARE(failed.count(), 1);
    }

    // A data.db that holds a catalog but cannot be read now (another program
    // holds it, it may not be read, or its journal cannot be rolled back in a
    // folder that cannot be written) is never set aside or written over: the
    // store says so once, runs on what it could read (else a new catalog), and
    // once the file can be read, what the user did meanwhile reaches it.
    void aCatalogThatCannotBeReadNowIsKept_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<QStringList>("readMeanwhile");
        QTest::newRow("another program holds it") << "lock" << QStringList();
        QTest::newRow("it may not be read") << "mode" << QStringList();
        QTest::newRow("a journal in a folder that cannot be written") << "journal" << QStringList{"Kept"};
    }

    void aCatalogThatCannotBeReadNowIsKept()
    {
        QFETCH(QString, obstacle);
        QFETCH(QStringList, readMeanwhile);
        // As an installed copy keeps it: in the user's folder, which is not
        // also the program's (a folder that cannot be written is an installed copy's).
        const QString programFolder = QCoreApplication::applicationDirPath();
        QVERIFY(QFile::setPermissions(programFolder, ReadOnlyFolder));
        const auto restore = qScopeGuard([&] {
            QFile::setPermissions(programFolder, ReadOnlyFolder | QFile::WriteOwner);
            removeCatalogFile();
        });
        const QString file = ItemDatabase::databaseFile();
        const QString folder = QFileInfo(file).path();
        QVERIFY(!file.startsWith(programFolder));
        {
            auto db = openFreshCatalog();
            launch(*db, addNamedItem(*db, QStringLiteral("Kept")), QStringLiteral("ke"), 2);
        }
        sqlite3 *other = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(file).constData(), &other), SQLITE_OK);
        if (obstacle == QLatin1String("lock")) {
            QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        } else if (obstacle == QLatin1String("journal")) {
            // The journal of a write cut short: taken while one is under way (not
            // waiting for a sync, the journal is whole from its first page on).
            QCOMPARE(sqlite3_exec(other, "PRAGMA synchronous = OFF; BEGIN; UPDATE ITEMBOX SET alias = 'Half'",
                                  nullptr, nullptr, nullptr),
                     SQLITE_OK);
            QVERIFY(QFile::copy(file + "-journal", TestSandbox::path("journal")));
            sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
            QVERIFY(QFile::copy(TestSandbox::path("journal"), file + "-journal"));
            QVERIFY(QFile::setPermissions(folder, ReadOnlyFolder));
        } else {
            QVERIFY(QFile::setPermissions(file, {}));
        }
        const QByteArray before = readAll(file);
        auto user = obstacle == QLatin1String("lock") ? nullptr : std::make_unique<AsOrdinaryUser>();

        auto db = std::make_unique<ItemDatabase>();
        QSignalSpy unavailable(&db->notices, &CatalogNotices::fileUnavailable);
        db->OpenCatalog();
        db->SetSaveDelay(10, 100);
        QTRY_COMPARE(unavailable.count(), 1);
        QVERIFY(unavailable.first().first().toString().contains(file));
        QCOMPARE(search(*db, QStringLiteral("Kep")), readMeanwhile);
        launch(*db, addNamedItem(*db, QStringLiteral("Meanwhile")), QStringLiteral("me"));
        if (!readMeanwhile.isEmpty())
            launch(*db, rowidOf(itemPath(QStringLiteral("Kept.exe"))), QStringLiteral("ke"));
        QVERIFY(!db->SaveNow());
        QTest::qWait(300); // a few attempts to read it again
        user.reset();
        QCOMPARE(readAll(file), before);
        QVERIFY(!QFileInfo::exists(file + QStringLiteral(".bad")));

        // The obstacle goes: the file's catalog with what was done meanwhile.
        sqlite3_close(other);
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString hot = readMeanwhile.isEmpty() ? QStringLiteral("2") : QStringLiteral("3");
        QTRY_COMPARE_WITH_TIMEOUT(
            fileRows(file, QStringLiteral("SELECT i.alias, q.key, q.hot FROM QUICK q, ITEMBOX i "
                                          "WHERE q.exec = i.rowid ORDER BY i.alias")),
            QStringList({"Kept|ke|" + hot, "Meanwhile|me|1"}), 10000);
        QCOMPARE(search(*db, QStringLiteral("e"), 5), QStringList({"Kept", "Meanwhile"}));
        QCOMPARE(unavailable.count(), 1);
    }

    // The save at the end waits a moment for another program that reads the file,
    // and writes only what no save under way has: the file is written once.
    void theLastSaveWaitsForAReader_data()
    {
        QTest::addColumn<bool>("underWay");
        QTest::addColumn<int>("writesAtClose");
        QTest::newRow("nothing under way") << false << 1;
        QTest::newRow("a save under way") << true << 0;
    }
    void theLastSaveWaitsForAReader()
    {
        QFETCH(bool, underWay);
        QFETCH(int, writesAtClose);
        const QString file = ItemDatabase::databaseFile();
        auto db = openFreshCatalog();
        QVERIFY(db->SaveNow());
        db->SetSaveDelay(underWay ? 0 : 60000);
        QProcess reader;
        reader.start(QStringLiteral("sqlite3"), {file});
        reader.write("BEGIN;\nSELECT count(*) FROM ITEMBOX;\n.shell sleep 2\nCOMMIT;\n");
        reader.closeWriteChannel();
        QTRY_VERIFY(readerHolds(file));
        addNamedItem(*db, QStringLiteral("Late"));
        if (underWay)
            QTRY_VERIFY(writerWaits(file)); // the background save, until the reader ends
        // Every write of the file says its path.
        for (int i = 0; i < writesAtClose; ++i)
            QTest::ignoreMessage(QtWarningMsg, file.toUtf8().constData());
        QTest::failOnWarning(QRegularExpression(QRegularExpression::escape(file)));
        db.reset();
        QVERIFY(reader.waitForFinished(10000));
        QCOMPARE(fileRows(file, QStringLiteral("SELECT alias FROM ITEMBOX")), QStringList{"Late"});
    }

    // A data.db that failed to load and could not be moved aside is never
    // written, by a save of any kind.
    void aFileThatFailedToLoadIsNeverWritten()
    {
        const QString programFolder = QCoreApplication::applicationDirPath();
        QVERIFY(QFile::setPermissions(programFolder, ReadOnlyFolder));
        const QString file = ItemDatabase::databaseFile();
        createFile(file, "not a catalog");
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                QFile::ReadOther));
        const QString folder = QFileInfo(file).path();
        QVERIFY(QFile::setPermissions(folder, ReadOnlyFolder));
        {
            AsOrdinaryUser user;
            ItemDatabase db;
            db.OpenCatalog();
            db.SetSaveDelay(0);
            QSignalSpy saved(&db.notices, &CatalogNotices::saved);
            addNamedItem(db, QStringLiteral("Unsaved"));
            QVERIFY(!db.SaveNow());
            QCOMPARE(saved.count(), 0);
        }
        QCOMPARE(readAll(file), QByteArray("not a catalog"));
        QVERIFY(!QFileInfo::exists(file + QStringLiteral(".bad")));
        QFile::setPermissions(folder, ReadOnlyFolder | QFile::WriteOwner);
        QFile::setPermissions(programFolder, ReadOnlyFolder | QFile::WriteOwner);
        removeCatalogFile();
    }

    // A process that ends through exit() without destroying its store (Qt does
    // that when the display server goes away) saves what changed.
    void exitSaves()
    {
        const QString dir = workerCopy(QStringLiteral("worker-exit"));
        QProcess worker;
        worker.start(dir + QStringLiteral("/catalog_worker"), {QStringLiteral("exit")});
        QVERIFY(worker.waitForFinished(20000));
        QCOMPARE(worker.exitCode(), 3);
        QCOMPARE(fileRows(dir + QStringLiteral("/data.db"), QStringLiteral("SELECT alias FROM ITEMBOX")),
                 QStringList{"Kept"});
        QCOMPARE(fileRows(dir + QStringLiteral("/data.db"), QStringLiteral("SELECT key, exec FROM QUICK")),
                 QStringList{"ke|1"});
    }

    // SIGKILL at many moments of a loop of saves: data.db always opens, passes
    // the integrity check and holds one whole state, never older than the one
    // it held before.
    void killedWhileSavingLeavesTheOldOrTheNewCatalog()
    {
        const QString dir = workerCopy(QStringLiteral("worker-kill"));
        const QString file = dir + QStringLiteral("/data.db");
        const QString journal = file + QStringLiteral("-journal");
        const int runs = 40;
        int previous = 0, duringWrite = 0, hotJournals = 0;
        QRandomGenerator random(4711);
        for (int run = 0; run < runs; ++run) {
            QProcess worker;
            worker.start(dir + QStringLiteral("/catalog_worker"), {QStringLiteral("saves")});
            QVERIFY(worker.waitForStarted(10000));
            // Kill after some saves: a third of the runs the moment the journal
            // of a write appears, the others at a random moment up to 40 ms later
            // (saves follow one another every few milliseconds).
            const int savesFirst = random.bounded(0, 4);
            int saves = 0;
            QDeadlineTimer deadline(20000);
            while (saves < savesFirst && !deadline.hasExpired()) {
                worker.waitForReadyRead(100);
                while (worker.canReadLine())
                    saves += worker.readLine().startsWith("saved") ? 1 : 0;
            }
            QDeadlineTimer moment(run % 3 == 0 ? 2000 : random.bounded(0, 40));
            while (!moment.hasExpired() && !(run % 3 == 0 && QFileInfo::exists(journal)))
                ;
            const bool writing = QFileInfo::exists(journal);
            ::kill(static_cast<pid_t>(worker.processId()), SIGKILL);
            QVERIFY(worker.waitForFinished(10000));
            QVERIFY2(!deadline.hasExpired(), "the worker did not save");
            duringWrite += writing ? 1 : 0;
            hotJournals += QFileInfo::exists(journal) ? 1 : 0;
            if (!QFileInfo::exists(file))
                continue; // killed before its first save
            QCOMPARE(fileRows(file, QStringLiteral("PRAGMA integrity_check")), QStringList{"ok"});
            // Killed while the first save had made the file and not written it yet:
            // still no catalog, as before (the next start rebuilds it).
            if (fileRows(file, QStringLiteral("SELECT count(*) FROM sqlite_master")) == QStringList{"0"}) {
                QCOMPARE(previous, 0);
                continue;
            }
            const QStringList state =
                fileRows(file, QStringLiteral(
                                   "SELECT q.hot, i.alias FROM QUICK q, ITEMBOX i WHERE q.key = 'state' AND "
                                   "i.path = '/opt/state/state.exe'"));
            const int hot = state.value(0).section(QLatin1Char('|'), 0, 0).toInt();
            if (state.isEmpty())
                continue; // saved before its first state
            QCOMPARE(state, QStringList{QStringLiteral("%1|state %1").arg(hot)});
            QVERIFY2(hot >= previous, qPrintable(QStringLiteral("state %1 after %2").arg(hot).arg(previous)));
            QCOMPARE(fileRows(file, QStringLiteral("SELECT count(*) FROM ITEMBOX")), QStringList{"2001"});
            previous = hot;
        }
        qInfo(
            "%d runs killed, %d of them while a write was under way, %d leaving a hot journal; last state %d",
            runs, duringWrite, hotJournals, previous);
        QVERIFY(duringWrite >= runs / 5);
        QVERIFY(previous > 0);
    }
};

TOLVANE_TEST_MAIN(TestCatalogDurable)
#include "test_catalog_durable.moc"
