#include "itemdatabase.h"

#include "fileicons.h"
#include "sqlitehandle.h"

#include <QFileInfo>
#include <QSet>
#include <QSqlQuery>
#include <QVariant>

#include <algorithm>
#include <cstring>
#include <limits>

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
    sqlite3 *handle = sqliteHandle(db);

    QList<qint64> rowids;
    QList<QStringView> aliases;
    if (handle && matchFromMemory(text, rowids, aliases)) {
        // Only the alias of every matching row is needed to decide; the kept rows
        // are then read whole by their rowid.
        QList<qint64> keptPrefixed, keptOthers;
        QList<QStringView> prefixedAliases, otherAliases;
        for (qsizetype i = 0; i < rowids.size(); ++i) {
            const QStringView alias = aliases.at(i);
            if (!alias.contains(text, Qt::CaseInsensitive))
                continue;
            const bool prefix = alias.startsWith(text);
            if (!prefix && keptOthers.size() >= room)
                continue;
            if (taken.contains(QString::number(rowids.at(i))))
                continue;
            if (prefix) {
                keptPrefixed.append(rowids.at(i));
                prefixedAliases.append(alias);
                if (keptPrefixed.size() > room) {
                    keptPrefixed.removeFirst();
                    prefixedAliases.removeFirst();
                }
            } else {
                keptOthers.append(rowids.at(i));
                otherAliases.append(alias);
            }
        }
        sqlite3_stmt *row = nullptr;
        bool read = sqlite3_prepare_v2(handle, "SELECT path,info from ITEMBOX where rowid = ?", -1, &row,
                                       nullptr) == SQLITE_OK;
        const auto readRecords = [&](const QList<qint64> &ids, const QList<QStringView> &names,
                                     QList<APPBLOCK> &records) {
            for (qsizetype i = 0; read && i < ids.size(); ++i) {
                sqlite3_reset(row);
                read = sqlite3_bind_int64(row, 1, ids.at(i)) == SQLITE_OK && sqlite3_step(row) == SQLITE_ROW;
                if (!read)
                    break;
                APPBLOCK record;
                record.path = columnText(row, 0);
                record.alias = names.at(i).toString();
                record.info = columnText(row, 1);
                record.key = text;
                record.rowid = QString::number(ids.at(i));
                records.append(record);
            }
        };
        readRecords(keptPrefixed, prefixedAliases, prefixed);
        readRecords(keptOthers, otherAliases, others);
        sqlite3_finalize(row);
        if (!read) {
            // The table no longer holds a row it held: let the statement answer.
            forgetSearchRows();
            prefixed.clear();
            others.clear();
        } else {
            handle = nullptr; // answered
        }
    }

    // This statement can yield most of the catalog for a text of one or two
    // letters, so it runs on the driver's handle directly: only the alias is read
    // from every row, the other columns only from rows that are kept. The texts
    // are bound and read as UTF-16, as the driver itself does.
    const QString spaced = SpaceText(text);
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

namespace {

// The bit of a one-byte token of the index ([0-9a-z]), or 0 for another byte.
quint64 tokenBit(uchar c)
{
    if (c >= '0' && c <= '9')
        return quint64(1) << (c - '0');
    if (c >= 'a' && c <= 'z')
        return quint64(1) << (10 + c - 'a');
    return 0;
}

// Whether the full-text tokenizer keeps the byte in a token: ASCII letters and
// digits and every byte of a character beyond ASCII.
bool tokenByte(uchar c)
{
    return c >= 0x80 || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Longer texts are left to the statement, which limits the size of a query.
constexpr qsizetype MemoryMatchLength = 128;

} // namespace

qint64 ItemDatabase::schemaStamp() const
{
    sqlite3 *handle = sqliteHandle(db);
    if (!handle)
        return -1;
    qint64 stamp = 0;
    for (const char *pragma : {"PRAGMA main.schema_version", "PRAGMA temp.schema_version"}) {
        sqlite3_stmt *statement = nullptr;
        const bool read = sqlite3_prepare_v2(handle, pragma, -1, &statement, nullptr) == SQLITE_OK &&
                          sqlite3_step(statement) == SQLITE_ROW;
        const qint64 version = read ? sqlite3_column_int64(statement, 0) : -1;
        sqlite3_finalize(statement);
        if (version < 0 || version > 0xffffffff)
            return -1;
        stamp = (stamp << 32) | version;
    }
    return stamp;
}

bool ItemDatabase::searchRowsCurrent() const
{
    sqlite3 *handle = sqliteHandle(db);
    // A table dropped and made again changes no rows, only the schema.
    return handle && handle == searchRowsHandle && sqlite3_get_autocommit(handle) &&
           searchRowsChanges == sqlite3_total_changes64(handle) && searchRowsSchema == schemaStamp();
}

void ItemDatabase::forgetSearchRows()
{
    searchRows = QList<SearchRow>();
    searchAliases = QString();
    searchOtherTokens = QList<QByteArray>();
    searchRowsHandle = nullptr;
    searchRowsChanges = -1;
    searchRowsSchema = -1;
    searchRowsUsable = false;
}

void ItemDatabase::noteOtherTableWritten(bool current, qint64 changesBefore)
{
    sqlite3 *handle = sqliteHandle(db);
    // Still current when the write changed only the rows its own statement
    // names (no trigger wrote elsewhere) and no transaction is open.
    if (current && handle && handle == searchRowsHandle && sqlite3_get_autocommit(handle) &&
        sqlite3_total_changes64(handle) - changesBefore == sqlite3_changes64(handle))
        searchRowsChanges = sqlite3_total_changes64(handle);
    else if (!searchRowsCurrent())
        forgetSearchRows();
}

bool ItemDatabase::loadSearchRows()
{
    forgetSearchRows();
    sqlite3 *handle = sqliteHandle(db);
    // Inside a transaction a later rollback could undo what is read.
    if (!handle || !sqlite3_get_autocommit(handle))
        return false;
    // Once read, whether usable or not, the rows hold until the table changes.
    searchRowsHandle = handle;
    searchRowsChanges = sqlite3_total_changes64(handle);
    searchRowsSchema = schemaStamp();
    // Only the item table as this program makes it (the default tokenizer, its
    // own content, rows in rowid order), not hidden by a temporary table.
    sqlite3_stmt *statement = nullptr;
    bool ownTable =
        sqlite3_prepare_v2(handle,
                           "SELECT (SELECT group_concat(sql) FROM sqlite_master WHERE "
                           "name = 'ITEMBOX' COLLATE NOCASE), (SELECT count(*) FROM "
                           "sqlite_temp_master WHERE name = 'ITEMBOX' COLLATE NOCASE)",
                           -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_type(statement, 0) == SQLITE_TEXT &&
        qstrcmp(reinterpret_cast<const char *>(sqlite3_column_text(statement, 0)), ItemTableStatement) == 0 &&
        sqlite3_column_int64(statement, 1) == 0;
    sqlite3_finalize(statement);
    statement = nullptr;
    if (!ownTable || sqlite3_prepare_v2(handle, "SELECT rowid,alias,ind from ITEMBOX ORDER BY rowid", -1,
                                        &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        return false;
    }
    int rc;
    QByteArray other;
    qint64 previous = 0;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        SearchRow row{sqlite3_column_int64(statement, 0), 0, 0, -1};
        if (!searchRows.isEmpty() && row.rowid <= previous)
            break; // not in ascending order: leave it to the statement
        previous = row.rowid;
        // The index text as the tokenizer reads it: the column's UTF-8 bytes.
        const uchar *ind = sqlite3_column_text(statement, 2);
        const int bytes = sqlite3_column_bytes(statement, 2);
        if (ind && memchr(ind, 0, size_t(bytes)))
            break; // a NUL byte: the tokenizer's view of it is not modelled here
        other.clear();
        for (int i = 0; i < bytes;) {
            if (!tokenByte(ind[i])) {
                ++i;
                continue;
            }
            const int start = i;
            while (i < bytes && tokenByte(ind[i]))
                ++i;
            const uchar first = ind[start] >= 'A' && ind[start] <= 'Z' ? uchar(ind[start] + 32) : ind[start];
            if (i - start == 1 && tokenBit(first)) {
                row.tokens |= tokenBit(first);
                continue;
            }
            if (other.isEmpty())
                other.append(' ');
            for (int k = start; k < i; ++k)
                other.append(ind[k] >= 'A' && ind[k] <= 'Z' ? char(ind[k] + 32) : char(ind[k]));
            other.append(' ');
        }
        if (!other.isEmpty()) {
            row.otherTokens = int(searchOtherTokens.size());
            searchOtherTokens.append(other);
        }
        const void *alias = sqlite3_column_text16(statement, 1);
        if (alias)
            searchAliases.append(static_cast<const QChar *>(alias),
                                 sqlite3_column_bytes16(statement, 1) / int(sizeof(QChar)));
        row.aliasEnd = quint32(searchAliases.size());
        searchRows.append(row);
    }
    sqlite3_finalize(statement);
    searchRowsUsable =
        rc == SQLITE_DONE && searchAliases.size() <= qsizetype(std::numeric_limits<quint32>::max());
    if (!searchRowsUsable) {
        searchRows = QList<SearchRow>();
        searchAliases = QString();
        searchOtherTokens = QList<QByteArray>();
        return false;
    }
    searchRows.squeeze();
    searchAliases.squeeze();
    searchOtherTokens.squeeze();
    return true;
}

bool ItemDatabase::matchFromMemory(const QString &text, QList<qint64> &rowids, QList<QStringView> &aliases)
{
    // The spaced form of such a text is one term per character, each a token of
    // its own, so a row matches when its index text holds every one of them.
    if (text.isEmpty() || text.size() > MemoryMatchLength)
        return false;
    quint64 wanted = 0;
    QList<QByteArray> wantedOthers;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x80) {
            const uchar folded = u >= 'A' && u <= 'Z' ? uchar(u + 32) : uchar(u);
            if (!tokenBit(folded))
                return false;
            wanted |= tokenBit(folded);
        } else {
            if (c.isSurrogate())
                return false;
            const QByteArray token = ' ' + QString(c).toUtf8() + ' ';
            if (!wantedOthers.contains(token))
                wantedOthers.append(token);
        }
    }
    if (searchRowsCurrent() ? !searchRowsUsable : !loadSearchRows())
        return false;
    quint32 start = 0;
    for (const SearchRow &row : std::as_const(searchRows)) {
        const quint32 from = start;
        start = row.aliasEnd;
        if ((row.tokens & wanted) != wanted)
            continue;
        if (!wantedOthers.isEmpty()) {
            if (row.otherTokens < 0)
                continue;
            const QByteArray &tokens = searchOtherTokens.at(row.otherTokens);
            bool all = true;
            for (const QByteArray &token : std::as_const(wantedOthers)) {
                if (!tokens.contains(token)) {
                    all = false;
                    break;
                }
            }
            if (!all)
                continue;
        }
        rowids.append(row.rowid);
        aliases.append(QStringView(searchAliases).mid(from, row.aliasEnd - from));
    }
    return true;
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
    // The learned records leave the item table alone: its rows in memory stay.
    const bool current = searchRowsCurrent();
    sqlite3 *handle = sqliteHandle(db);
    const qint64 changes = handle ? sqlite3_total_changes64(handle) : -1;
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
    const bool done = query.exec();
    noteOtherTableWritten(current, changes);
    return done;
}

bool ItemDatabase::AddTop(const QString &rowid)
{
    const bool current = searchRowsCurrent();
    sqlite3 *handle = sqliteHandle(db);
    const qint64 changes = handle ? sqlite3_total_changes64(handle) : -1;
    const qlonglong id = rowid.toLongLong(); // 0 when it is not a number
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT ITEMBOX_ID from TOP where ITEMBOX_ID = ?"));
    query.addBindValue(id);
    const bool known = query.exec() && query.next();
    query.finish();
    query.prepare(known ? QStringLiteral("UPDATE TOP set topnum = topnum+1 where ITEMBOX_ID = ?")
                        : QStringLiteral("INSERT INTO TOP (ITEMBOX_ID) values(?)"));
    query.addBindValue(id);
    const bool done = query.exec();
    noteOtherTableWritten(current, changes);
    return done;
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
