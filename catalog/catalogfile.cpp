#include "catalogfile.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sqlite3.h>

namespace CatalogFile {

namespace {

// Statements that only succeed on a database holding the catalog's tables with
// their columns, the item table being a full-text table; the first two must
// give a row ("ok" from the check, and the item table).
const char *const SchemaChecks[] = {
    "PRAGMA quick_check",
    "SELECT rowid from sqlite_master WHERE type = 'table' AND name = 'ITEMBOX' AND sql LIKE "
    "'CREATE VIRTUAL TABLE % USING FTS4%'",
    "SELECT path,alias,type,info,ind,rowid from ITEMBOX WHERE ind MATCH 'a' LIMIT 1",
    "SELECT id,key,exec,hot from QUICK LIMIT 1",
    "SELECT id,ITEMBOX_ID,topnum from TOP LIMIT 1",
};

Read readFile(sqlite3 *into, const QString &file, QString &error, int waitMs)
{
    sqlite3 *disk = nullptr;
    // Read-write, so that a journal left by a write cut short is rolled back; a
    // file the user may only read opens read-only. Never created.
    int rc = sqlite3_open_v2(QFile::encodeName(file).constData(), &disk, SQLITE_OPEN_READWRITE, nullptr);
    if (rc == SQLITE_OK) {
        sqlite3_busy_timeout(disk, waitMs);
        // A load reads every page once: a page cache on the file's side would
        // only leave memory behind in the process after the file is closed.
        sqlite3_exec(disk, "PRAGMA cache_size = 8", nullptr, nullptr, nullptr);
        sqlite3_backup *backup = sqlite3_backup_init(into, "main", disk, "main");
        if (!backup) {
            rc = sqlite3_errcode(into);
        } else {
            rc = sqlite3_backup_step(backup, -1);
            sqlite3_backup_finish(backup);
            if (rc == SQLITE_DONE)
                rc = SQLITE_OK;
        }
    }
    error = QString::fromUtf8(sqlite3_errstr(rc));
    sqlite3_close(disk);
    if (rc == SQLITE_OK)
        return usable(into) ? Read::Loaded : Read::NotACatalog;
    // Only what the file holds makes it no catalog; a lock, a permission or a
    // journal that cannot be opened or rolled back now is a passing reason.
    const int primary = rc & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT ? Read::NotACatalog : Read::Unavailable;
}

} // namespace

Read read(sqlite3 *into, const QString &file, QString &error, int waitMs)
{
    qWarning("%s", QFile::encodeName(file).constData());
    return readFile(into, file, error, waitMs);
}

Read readCopy(sqlite3 *into, const QString &file)
{
    QTemporaryDir dir;
    const QString copy = dir.path() + QStringLiteral("/data.db");
    if (!dir.isValid() || !QFile::copy(file, copy))
        return Read::Unavailable;
    QFile::copy(file + QStringLiteral("-journal"), copy + QStringLiteral("-journal"));
    QString error;
    return readFile(into, copy, error, BusyTimeout);
}

bool usable(sqlite3 *db)
{
    for (const char *check : SchemaChecks) {
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(db, check, -1, &statement, nullptr) != SQLITE_OK) {
            sqlite3_finalize(statement);
            return false;
        }
        const int rc = sqlite3_step(statement);
        bool ok = rc == SQLITE_ROW || rc == SQLITE_DONE;
        if (check == SchemaChecks[0])
            ok = rc == SQLITE_ROW &&
                 qstrcmp(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)), "ok") == 0;
        else if (check == SchemaChecks[1])
            ok = rc == SQLITE_ROW;
        sqlite3_finalize(statement);
        if (!ok)
            return false;
    }
    return true;
}

QString setAside(const QString &file)
{
    const QString base = file + QStringLiteral(".bad");
    for (int n = 1; n < 10000; ++n) {
        const QString aside = n == 1 ? base : base + QLatin1Char('-') + QString::number(n);
        if (QFileInfo::exists(aside) || QFileInfo(aside).isSymLink())
            continue;
        if (!QFile::rename(file, aside))
            return QString();
        // A journal stays with its file: beside a new data.db it would be rolled
        // back into the wrong catalog.
        const QString journal = file + QStringLiteral("-journal");
        if (QFileInfo::exists(journal))
            QFile::rename(journal, aside + QStringLiteral("-journal"));
        return aside;
    }
    return QString();
}

} // namespace CatalogFile
