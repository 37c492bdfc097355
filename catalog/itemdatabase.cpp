#include "itemdatabase.h"

#include "applocations.h"
#include "catalogfile.h"
#include "sqlitehandle.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QVariant>

#include <cstdio>
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

// The open store of the process, saved when the process ends through exit()
// without destroying it (Qt does that when the display server goes away).
ItemDatabase *openStore = nullptr;

} // namespace

void ItemDatabase::saveAtExit()
{
    if (!openStore)
        return;
    // Plain SQLite calls only: Qt's database connections are gone by now. A file
    // that could not be read stays as it is.
    if (!openStore->saver.saveNow(true) && !openStore->saver.target().isEmpty())
        reportUnsaved(openStore->saver.target(), openStore->saver.lastError());
    else if (!openStore->heldFile.isEmpty() && !openStore->heldChanges.isEmpty())
        reportUnsaved(openStore->heldFile, openStore->heldError);
}

void ItemDatabase::reportUnsaved(const QString &file, const QString &error)
{
    // Past the message handler, which keeps warnings to itself: the session's log
    // is the one place left to say it.
    std::fprintf(stderr,
                 "tolvane: the catalog could not be saved to %s (%s); the changes since the last save "
                 "are lost\n",
                 QFile::encodeName(QDir::toNativeSeparators(file)).constData(), error.toUtf8().constData());
}

ItemDatabase::ItemDatabase()
{
    appsSettle.setSingleShot(true);
    QObject::connect(&appsSettle, &QTimer::timeout, &notices, [this] { followInstalledApps(); });
    reloadTimer.setSingleShot(true);
    reloadTimer.setInterval(5000);
    QObject::connect(&reloadTimer, &QTimer::timeout, &notices, [this] { tryReload(false); });
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
    bool held = false;
    if (QFileInfo::exists(file)) {
        db.setDatabaseName(QStringLiteral(":memory:"));
        db.open();
        searchRowsRead = false;
        QString error;
        const CatalogFile::Read read = CatalogFile::read(sqliteHandle(db), file, error);
        if (read == CatalogFile::Read::Loaded) {
            saver.setTarget(sqliteHandle(db), file);
            // Applications installed or removed while the program did not run.
            appsSettle.start(1000);
            return;
        }
        if (read == CatalogFile::Read::Unavailable) {
            // Held by another program, not readable, or a journal that cannot be
            // rolled back here: never set aside. What a private copy gives (the
            // catalog before the write that was cut short), or else a new one,
            // runs in memory until the file can be read.
            held = true;
            const bool readSome = QFileInfo::exists(file + QStringLiteral("-journal")) &&
                                  CatalogFile::readCopy(sqliteHandle(db), file) == CatalogFile::Read::Loaded;
            holdFile(file, error, readSome);
            if (readSome) {
                appsSettle.start(1000);
                return;
            }
        } else if (CatalogFile::setAside(file).isEmpty()) {
            // Not a catalog: kept aside, never overwritten, and the catalog is
            // built as on a first run.
            keepFile = true;
        }
        db.close();
    }
    CreateTables(QStringLiteral(":memory:"));
    saver.setTarget(sqliteHandle(db), keepFile || held ? QString() : file);
    changed();
    ScanAll();
    AddTools();
}

void ItemDatabase::holdFile(const QString &file, const QString &error, bool readSome)
{
    heldFile = file;
    heldError = error;
    saver.setTarget(sqliteHandle(db), QString());
    reloadTimer.start();
    const QString message =
        QStringLiteral("The catalog %1 cannot be read now (%2). Tolvane works with %3 in memory, leaves the "
                       "file as it is, and writes what you do to it once it can be read again.")
            .arg(QDir::toNativeSeparators(file), error,
                 readSome ? QStringLiteral("what it could read of it") : QStringLiteral("a new catalog"));
    notices.tellUnavailable(message);
}

bool ItemDatabase::tryReload(bool ending)
{
    if (heldFile.isEmpty())
        return true;
    const QString file = heldFile;
    bool loaded = false;
    if (QFileInfo::exists(file)) {
        sqlite3 *probe = nullptr;
        sqlite3_open(":memory:", &probe);
        QString error;
        const CatalogFile::Read read =
            CatalogFile::read(probe, file, error, ending ? CatalogFile::BusyTimeout : 0);
        if (read == CatalogFile::Read::Unavailable) {
            sqlite3_close(probe);
            heldError = error;
            reloadTimer.start();
            return false;
        }
        if (read == CatalogFile::Read::Loaded) {
            // The file's catalog replaces the one in memory.
            if (sqlite3_backup *backup = sqlite3_backup_init(sqliteHandle(db), "main", probe, "main")) {
                sqlite3_backup_step(backup, -1);
                loaded = sqlite3_backup_finish(backup) == SQLITE_OK;
            }
            searchRowsRead = false;
        } else if (CatalogFile::setAside(file).isEmpty()) {
            keepFile = true;
        }
        sqlite3_close(probe);
    }
    heldFile.clear();
    // What the user did in this run is done again on the file's catalog; a file
    // that went, or that held no catalog, gets the one in memory.
    if (loaded)
        replayHeldChanges();
    heldChanges.clear();
    saver.setTarget(sqliteHandle(db), keepFile ? QString() : file);
    changed();
    if (ending)
        return true;
    if (loaded)
        appsSettle.start(0);
    emit notices.itemsChanged();
    return true;
}

void ItemDatabase::noteHeld(HeldKind kind, const QString &rowid, const QString &path, const QString &text)
{
    if (heldFile.isEmpty() || replaying || storingFindings)
        return;
    HeldChange change{kind, {}, text};
    change.item.path = path;
    if (!rowid.isEmpty()) {
        QSqlQuery query(db);
        query.prepare(QStringLiteral("SELECT path, alias, info, type FROM ITEMBOX WHERE rowid = ?"));
        query.addBindValue(rowid);
        if (!query.exec() || !query.next())
            return;
        change.item = {query.value(0).toString(),
                       query.value(1).toString(),
                       query.value(2).toString(),
                       {},
                       {},
                       query.value(3).toString(),
                       {}};
    }
    heldChanges.append(change);
}

void ItemDatabase::replayHeldChanges()
{
    replaying = true;
    const auto rowidOf = [this](const QString &path) {
        QSqlQuery query(db);
        query.prepare(QStringLiteral("SELECT rowid FROM ITEMBOX WHERE path = ?"));
        query.addBindValue(path);
        return query.exec() && query.next() ? query.value(0).toString() : QString();
    };
    for (const HeldChange &change : std::as_const(heldChanges)) {
        const APPBLOCK &item = change.item;
        QString path = item.path;
        if (change.kind == HeldKind::Delete) {
            DeleteItem(path);
            continue;
        }
        QString rowid = rowidOf(path);
        // An item this run found (or the user added) that the file lacks comes along.
        if (change.kind == HeldKind::Add || rowid.isEmpty()) {
            AddItem(path, change.kind == HeldKind::Add ? change.text : item.alias, item.extra, item.info);
            rowid = rowidOf(path);
        }
        if (change.kind == HeldKind::Quick)
            AddQuick(rowid, change.text);
        else if (change.kind == HeldKind::Top)
            AddTop(rowid);
        else if (change.kind == HeldKind::Alias)
            UpdateAlias({item.path, change.text, {}, {}, rowid, {}, {}});
    }
    replaying = false;
}

bool ItemDatabase::SaveNow()
{
    return saver.saveNow();
}

void ItemDatabase::SetSaveDelay(int ms, int retryMs)
{
    saver.setCountdown(ms);
    saver.setRetryDelay(retryMs);
    reloadTimer.setInterval(retryMs);
}

void ItemDatabase::changed()
{
    saver.noteChange();
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
    reloadTimer.stop();
    if (!db.isValid())
        return;
    // A file that could not be read is tried once more, so that what the user
    // did reaches it; then the save at the end writes what a save under way did
    // not, waiting a moment for a reader of the file. Neither is dropped in silence.
    if (!heldFile.isEmpty() && db.isOpen() && !tryReload(true) && !heldChanges.isEmpty())
        reportUnsaved(heldFile, heldError);
    if (db.isOpen() && !saver.waitForWrite() && !saver.target().isEmpty()) {
        qWarning("%s", QFile::encodeName(saver.target()).constData());
        if (!saver.saveNow(true))
            reportUnsaved(saver.target(), saver.lastError());
    }
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
