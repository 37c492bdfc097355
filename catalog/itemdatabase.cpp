#include "itemdatabase.h"

#include "applocations.h"
#include "sqlitehandle.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QVariant>

#include <cstdlib>

namespace {

const char *const SchemaStatements[] = {
    "CREATE VIRTUAL TABLE ITEMBOX USING FTS4"
    "(path  VARCHAR(260),"
    "alias VARCHAR(260),"
    "type  VARCHAR(10),"
    "info  VARCHAR(500),"
    "ind VARCHAR(500))",
    "CREATE TABLE QUICK (id INTEGER PRIMARY KEY, key VARCHAR(100), exec VARCHAR (20), hot INTEGER default 1)",
    "CREATE TABLE TOP (id INTEGER PRIMARY KEY, ITEMBOX_ID INTEGER, topnum INTEGER default 1)",
    "CREATE INDEX TOP_INDEX ON TOP(ITEMBOX_ID);",
    "CREATE INDEX QUICK_INDEX ON QUICK(key, exec);",
    "CREATE INDEX QUICK_INDEX_2 ON QUICK(hot);",
};

// Statements that only succeed on a database holding the catalog's tables with
// their columns, the item table being a full-text table.
const char *const SchemaChecks[] = {
    "PRAGMA quick_check",
    "SELECT rowid from sqlite_master WHERE type = 'table' AND name = 'ITEMBOX' AND sql LIKE "
    "'CREATE VIRTUAL TABLE % USING FTS4%'",
    "SELECT path,alias,type,info,ind,rowid from ITEMBOX WHERE ind MATCH 'a' LIMIT 1",
    "SELECT id,key,exec,hot from QUICK LIMIT 1",
    "SELECT id,ITEMBOX_ID,topnum from TOP LIMIT 1",
};

// The open store of the process, saved when the process ends through exit()
// without destroying it (Qt does that when the display server goes away).
ItemDatabase *openStore = nullptr;

} // namespace

void ItemDatabase::saveAtExit()
{
    if (openStore)
        openStore->saver.saveNow(true);
}

ItemDatabase::ItemDatabase()
{
    appsSettle.setSingleShot(true);
    QObject::connect(&appsSettle, &QTimer::timeout, &notices, [this] { followInstalledApps(); });
}

ItemDatabase::~ItemDatabase()
{
    SaveAndClose();
}

QString ItemDatabase::databaseFile()
{
    return AppLocations::dataDir() + QStringLiteral("/data.db");
}

void ItemDatabase::OpenCatalog()
{
    static const bool savedAtExit = std::atexit(saveAtExit) == 0;
    Q_UNUSED(savedAtExit);
    openStore = this;
    // GIO's notices of changed applications, from the first listing on.
    appsMonitor = std::make_unique<InstalledApps::Monitor>();
    QObject::connect(appsMonitor.get(), &InstalledApps::Monitor::changed, &notices,
                     [this] { appsSettle.start(300); });

    db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
    const QString file = databaseFile();
    if (QFileInfo::exists(file)) {
        db.setDatabaseName(QStringLiteral(":memory:"));
        db.open();
        if (CopyDatabase(db, file, false) && catalogUsable()) {
            saver.setTarget(sqliteHandle(db), file);
            // Applications installed or removed while the program did not run.
            appsSettle.start(1000);
            return;
        }
        // The file is not a catalog this program can use. It is kept aside, never
        // overwritten, and the catalog is built as on a first run.
        db.close();
        QFile::remove(file + QStringLiteral(".bad"));
        if (!QFile::rename(file, file + QStringLiteral(".bad")))
            keepFile = true;
    }
    CreateTables(QStringLiteral(":memory:"));
    saver.setTarget(sqliteHandle(db), keepFile ? QString() : file);
    changed();
    ScanAll();
    AddTools();
}

bool ItemDatabase::SaveNow()
{
    return saver.saveNow();
}

void ItemDatabase::SetSaveDelay(int ms)
{
    saver.setCountdown(ms);
}

void ItemDatabase::changed()
{
    saver.noteChange();
}

bool ItemDatabase::catalogUsable()
{
    QSqlQuery query(db);
    for (const char *check : SchemaChecks) {
        if (!query.exec(QString::fromLatin1(check)))
            return false;
        // The first two must give a row: "ok" from the check, and the item table.
        if (check == SchemaChecks[0] && (!query.next() || query.value(0).toString() != QLatin1String("ok")))
            return false;
        if (check == SchemaChecks[1] && !query.next())
            return false;
    }
    return true;
}

bool ItemDatabase::CopyDatabase(QSqlDatabase &connection, const QString &file, bool save)
{
    sqlite3 *memory = sqliteHandle(connection);
    if (!memory)
        return false;
    if (!save)
        searchRowsRead = false;

    const QByteArray fileName = file.toUtf8();
    qWarning("%s", fileName.constData());

    sqlite3 *disk = nullptr;
    int rc = sqlite3_open(fileName.constData(), &disk);
    if (rc == SQLITE_OK) {
        // A load reads every page of the file once: a page cache on the file's side
        // would only leave memory behind in the process after the file is closed.
        // (A save keeps the default, which spares it journal syncs.)
        if (!save)
            sqlite3_exec(disk, "PRAGMA cache_size = 8", nullptr, nullptr, nullptr);
        sqlite3 *to = save ? disk : memory;
        sqlite3 *from = save ? memory : disk;
        if (sqlite3_backup *backup = sqlite3_backup_init(to, "main", from, "main")) {
            sqlite3_backup_step(backup, -1);
            sqlite3_backup_finish(backup);
        }
        rc = sqlite3_errcode(to);
    }
    sqlite3_close(disk);
    return rc == SQLITE_OK;
}

bool ItemDatabase::CreateTables(const QString &databaseName)
{
    searchRowsRead = false;
    db.setDatabaseName(databaseName);
    if (!db.open())
        return false;
    QSqlQuery query(db);
    for (const char *statement : SchemaStatements) {
        if (!query.exec(QString::fromLatin1(statement)))
            return false;
    }
    return true;
}

QString ItemDatabase::GetItemCount()
{
    QSqlQuery query(db);
    if (query.exec(QStringLiteral("SELECT count(rowid) from ITEMBOX")) && query.next())
        return query.value(0).toString();
    return QString();
}

void ItemDatabase::SaveAndClose()
{
    if (openStore == this)
        openStore = nullptr;
    appsSettle.stop();
    appsMonitor.reset();
    if (!db.isValid())
        return;
    // The save at the end writes what a save under way did not.
    if (!saver.waitForWrite() && !keepFile && db.isOpen())
        CopyDatabase(db, databaseFile(), true);
    saver.setTarget(nullptr, QString());
    db.close();
    searchRows = {};
    searchAliases = searchFolded = QString();
    scannedFolders.clear();
    const QString connection = db.connectionName();
    db = QSqlDatabase();
    // With the handle released, the connection can go, so that a later store in
    // this process registers a fresh one.
    QSqlDatabase::removeDatabase(connection);
}
