#include "itemdatabase.h"

#include "fileicons.h"
#include "sqlitehandle.h"

#include <QFileInfo>
#include <QSet>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>

namespace {

// A record from a "path,alias,info,rowid" row.
APPBLOCK recordOf(const QSqlQuery &query, const QString &key)
{
    APPBLOCK record;
    record.path = query.value(0).toString();
    record.alias = query.value(1).toString();
    record.info = query.value(2).toString();
    record.key = key;
    record.rowid = query.value(3).toString();
    return record;
}

// A text column of the current row, as the driver reads it.
QString columnText(sqlite3_stmt *statement, int column)
{
    const void *text = sqlite3_column_text16(statement, column);
    const int bytes = sqlite3_column_bytes16(statement, column);
    return text ? QString(static_cast<const QChar *>(text), bytes / int(sizeof(QChar))) : QString();
}

} // namespace

QString ItemDatabase::SpaceText(const QString &text)
{
    QString spaced;
    spaced.reserve(text.size() * 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        spaced.append(text.at(i));
        // A character outside the basic plane stays whole: no blank between the
        // two halves of its surrogate pair.
        if (text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            spaced.append(text.at(++i));
        spaced.append(QLatin1Char(' '));
    }
    return spaced.replace(QStringLiteral("  "), QStringLiteral(" "));
}

void ItemDatabase::SearchItems(const QString &text, QList<APPBLOCK> &list, int maxCount)
{
    QSet<QString> taken;
    int learned = 0;

    QSqlQuery quick(db);
    quick.setForwardOnly(true);
    quick.prepare(QStringLiteral("SELECT id,key,exec,hot from QUICK where key = ? order by hot desc"));
    quick.addBindValue(text);
    quick.exec();
    QSqlQuery item(db);
    item.setForwardOnly(true);
    item.prepare(QStringLiteral("SELECT path,alias,info,rowid from ITEMBOX where rowid = ?"));
    while (quick.next()) {
        item.addBindValue(quick.value(2).toString());
        if (!item.exec() || !item.next())
            continue;
        if (learned >= maxCount)
            return;
        APPBLOCK record = recordOf(item, text);
        taken.insert(record.rowid);
        list.append(record);
        ++learned;
    }

    // Prefix matches go in right after the learned records, each before those
    // found earlier (so in descending rowid order); other matches go at the end;
    // then the list is cut to maxCount. Only the records that can survive the cut
    // are kept while the rows are read: the last ones of the prefix matches and
    // the first ones of the others.
    const qsizetype room = qMax<qsizetype>(maxCount, 0);
    QList<APPBLOCK> prefixed; // in rowid order, the latest `room` of them
    QList<APPBLOCK> others;   // in rowid order, the first `room` of them
    // This statement can yield most of the catalog for a text of one or two
    // letters, so it runs on the driver's handle directly: only the alias is read
    // from every row, the other columns only from rows that are kept. The texts
    // are bound and read as UTF-16, as the driver itself does.
    const QString spaced = SpaceText(text);
    sqlite3 *handle = sqliteHandle(db);
    sqlite3_stmt *match = nullptr;
    if (handle && sqlite3_prepare_v2(handle, "SELECT path,alias,info,rowid from ITEMBOX WHERE ind MATCH ?",
                                     -1, &match, nullptr) == SQLITE_OK) {
        sqlite3_bind_text16(match, 1, spaced.utf16(), int(spaced.size() * sizeof(char16_t)), SQLITE_STATIC);
        while (sqlite3_step(match) == SQLITE_ROW) {
            // The alias decides first, so rows that are dropped cost no record.
            const QString alias = columnText(match, 1);
            if (!alias.contains(text, Qt::CaseInsensitive))
                continue;
            const bool prefix = alias.startsWith(text);
            if (!prefix && others.size() >= room)
                continue;
            const QString rowid = QString::number(sqlite3_column_int64(match, 3));
            if (taken.contains(rowid))
                continue;
            APPBLOCK record;
            record.path = columnText(match, 0);
            record.alias = alias;
            record.info = columnText(match, 2);
            record.key = text;
            record.rowid = rowid;
            if (prefix) {
                prefixed.append(record);
                if (prefixed.size() > room)
                    prefixed.removeFirst();
            } else {
                others.append(record);
            }
        }
    }
    sqlite3_finalize(match);

    std::reverse(prefixed.begin(), prefixed.end());
    const qsizetype at = qMin<qsizetype>(learned, list.size());
    list = list.mid(0, at) + prefixed + list.mid(at) + others;
    while (list.size() > maxCount && !list.isEmpty())
        list.removeLast();
}

bool ItemDatabase::GetTopItems(QList<APPBLOCK> &list)
{
    list.clear();
    QSqlQuery top(db);
    top.setForwardOnly(true);
    top.exec(QStringLiteral("SELECT ITEMBOX_ID from TOP order by topnum DESC"));
    QSqlQuery item(db);
    item.setForwardOnly(true);
    item.prepare(QStringLiteral("SELECT path,alias,info,rowid from ITEMBOX where rowid = ?"));
    while (top.next()) {
        item.addBindValue(top.value(0).toLongLong());
        if (item.exec() && item.next()) {
            APPBLOCK record = recordOf(item, QString());
            record.key = record.alias;
            record.icon = FileIcons::icon(QFileInfo(record.path));
            list.append(record);
        }
        if (list.size() > 3)
            break;
    }
    return true;
}

bool ItemDatabase::AddQuick(const QString &rowid, const QString &text)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("select key from QUICK where key = ? and exec = ?"));
    query.addBindValue(text);
    query.addBindValue(rowid);
    const bool known = query.exec() && query.next();
    query.finish();
    query.prepare(known ? QStringLiteral("UPDATE QUICK set hot = hot+1 where key = ? and exec = ?")
                        : QStringLiteral("INSERT INTO QUICK (key, exec) values(?,?)"));
    query.addBindValue(text);
    query.addBindValue(rowid);
    return query.exec();
}

bool ItemDatabase::AddTop(const QString &rowid)
{
    const qlonglong id = rowid.toLongLong(); // 0 when it is not a number
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT ITEMBOX_ID from TOP where ITEMBOX_ID = ?"));
    query.addBindValue(id);
    const bool known = query.exec() && query.next();
    query.finish();
    query.prepare(known ? QStringLiteral("UPDATE TOP set topnum = topnum+1 where ITEMBOX_ID = ?")
                        : QStringLiteral("INSERT INTO TOP (ITEMBOX_ID) values(?)"));
    query.addBindValue(id);
    return query.exec();
}

bool ItemDatabase::UpdateAlias(const APPBLOCK &item)
{
    topItems.clear();
    QSqlQuery query(db);
    query.prepare(QStringLiteral("UPDATE ITEMBOX set alias = ?, ind = ? where rowid = ?"));
    query.addBindValue(item.alias);
    query.addBindValue(SpaceText(item.alias));
    query.addBindValue(item.rowid);
    return query.exec();
}

void ItemDatabase::forgetPaths()
{
    knownPaths.clear();
    knownPathsHandle = nullptr;
    knownPathsChanges = -1;
}

bool ItemDatabase::lookUpPath(const QString &path, bool &known, qint64 &rowid)
{
    sqlite3 *handle = sqliteHandle(db);
    // Inside a transaction a later rollback could undo what the lookup learns.
    if (!handle || !sqlite3_get_autocommit(handle)) {
        forgetPaths();
        return false;
    }
    // The statement compares the bytes SQLite stores; a text converts to exactly
    // its UTF-8 form only when it has no surrogates (no lone halves) and no NUL.
    if (path.isEmpty())
        return false;
    for (const QChar c : path) {
        if (c.isSurrogate() || c.isNull())
            return false;
    }
    if (knownPathsHandle != handle || knownPathsChanges != sqlite3_total_changes64(handle)) {
        // Something else wrote since: read the paths again, as the table holds them.
        forgetPaths();
        sqlite3_stmt *statement = nullptr;
        bool utf8 = false;
        if (sqlite3_prepare_v2(handle, "PRAGMA encoding", -1, &statement, nullptr) == SQLITE_OK &&
            sqlite3_step(statement) == SQLITE_ROW)
            utf8 = qstrcmp(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)), "UTF-8") == 0;
        sqlite3_finalize(statement);
        if (!utf8 || sqlite3_prepare_v2(handle, "SELECT path,rowid from ITEMBOX", -1, &statement, nullptr) !=
                         SQLITE_OK)
            return false;
        int rc;
        while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
            // Only a text can equal the bound text; numbers and blobs never do.
            if (sqlite3_column_type(statement, 0) != SQLITE_TEXT)
                continue;
            const char *bytes = reinterpret_cast<const char *>(sqlite3_column_text(statement, 0));
            const QByteArray stored(bytes, sqlite3_column_bytes(statement, 0));
            const auto found = knownPaths.find(stored);
            if (found == knownPaths.end())
                knownPaths.insert(stored, sqlite3_column_int64(statement, 1));
            else
                *found = -1;
        }
        sqlite3_finalize(statement);
        if (rc != SQLITE_DONE) {
            forgetPaths();
            return false;
        }
        knownPathsHandle = handle;
        knownPathsChanges = sqlite3_total_changes64(handle);
    }
    const auto found = knownPaths.constFind(path.toUtf8());
    known = found != knownPaths.constEnd();
    rowid = known ? *found : -1;
    return true;
}

void ItemDatabase::notePathWritten(const QString &path, bool inserted, bool succeeded)
{
    sqlite3 *handle = sqliteHandle(db);
    if (!succeeded || !handle || handle != knownPathsHandle) {
        forgetPaths();
        return;
    }
    if (inserted) {
        // The new row, when the table confirms it holds this path.
        qint64 rowid = sqlite3_last_insert_rowid(handle);
        const QByteArray stored = path.toUtf8();
        sqlite3_stmt *statement = nullptr;
        if (sqlite3_prepare_v2(handle, "SELECT path from ITEMBOX WHERE rowid = ?", -1, &statement, nullptr) !=
                SQLITE_OK ||
            sqlite3_bind_int64(statement, 1, rowid) != SQLITE_OK || sqlite3_step(statement) != SQLITE_ROW ||
            sqlite3_column_type(statement, 0) != SQLITE_TEXT ||
            QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)),
                       sqlite3_column_bytes(statement, 0)) != stored)
            rowid = -1;
        sqlite3_finalize(statement);
        knownPaths.insert(stored, rowid);
    }
    knownPathsChanges = sqlite3_total_changes64(handle);
}

bool ItemDatabase::AddItem(QString &path, const QString &alias, const QString &type, const QString &info)
{
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QSqlQuery query(db);
    // The path lookup scans the whole full-text table; the lookup in memory gives
    // the same answer without the scan whenever it can.
    bool known = false;
    qint64 rowid = -1;
    const bool answered = lookUpPath(path, known, rowid);
    if (!answered) {
        query.prepare(QStringLiteral("SELECT * from ITEMBOX WHERE path=?"));
        query.addBindValue(path);
        known = query.exec() && query.next();
        query.finish();
    }
    if (!known) {
        query.prepare(QStringLiteral("INSERT INTO ITEMBOX (path,alias,type,info,ind) values(?,?,?,?,?)"));
        query.addBindValue(path);
        query.addBindValue(alias);
        query.addBindValue(type);
        query.addBindValue(info);
        query.addBindValue(SpaceText(alias));
    } else if (answered && rowid != -1) {
        // The one row with this path, found directly instead of by a scan: the
        // same row updated with the same values.
        query.prepare(QStringLiteral("UPDATE ITEMBOX set alias=?, info=?, ind = ? where rowid=?"));
        query.addBindValue(alias);
        query.addBindValue(info);
        query.addBindValue(SpaceText(alias));
        query.addBindValue(rowid);
    } else {
        query.prepare(QStringLiteral("UPDATE ITEMBOX set alias=?, info=?, ind = ? where path=?"));
        query.addBindValue(alias);
        query.addBindValue(info);
        query.addBindValue(SpaceText(alias));
        query.addBindValue(path);
    }
    const bool done = query.exec();
    if (answered)
        notePathWritten(path, !known, done);
    return done;
}

bool ItemDatabase::DeleteItem(const QString &path)
{
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT rowid from ITEMBOX where path=?"));
    query.addBindValue(path);
    if (!query.exec())
        return false;
    if (!query.next())
        return true;
    const QString rowid = query.value(0).toString();
    query.finish();

    query.prepare(QStringLiteral("DELETE FROM QUICK where exec = ?"));
    query.addBindValue(rowid);
    query.exec();
    query.prepare(QStringLiteral("DELETE FROM TOP where ITEMBOX_ID = ?"));
    query.addBindValue(rowid.toLongLong());
    query.exec();

    query.prepare(QStringLiteral("DELETE FROM ITEMBOX where path=?"));
    query.addBindValue(path);
    return query.exec();
}

void ItemDatabase::GetAllItems(QList<APPBLOCK> &list)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT path,alias,info,rowid from ITEMBOX")))
        return;
    while (query.next())
        list.append(recordOf(query, QString()));
}
