#include "itemdatabase.h"

#include "fileicons.h"

#include <QFileInfo>
#include <QSet>
#include <QSqlQuery>
#include <QVariant>

#include <utility>

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

// Texts whose full-text match the rows in memory answer: spaced, one term per
// character, each an ASCII letter or digit or a character of the basic plane
// beyond ASCII. Others (blanks, punctuation that the statement reads as
// operators, a NUL, surrogates, very long texts) are left to the statement.
bool plainTerms(const QString &text)
{
    if (text.isEmpty() || text.size() > 128)
        return false;
    for (const QChar c : text) {
        if (c.unicode() < 0x80 ? !c.isLetterOrNumber() : c.isSurrogate())
            return false;
    }
    return true;
}

// The statement's match for such a text: the item's index, the spaced alias,
// holds a token for each character of the text. SQLite's tokenizer makes a token
// of every character of the alias up to a NUL, where it stops, and folds only
// ASCII letters.
bool indexHolds(QStringView alias, QStringView text)
{
    if (const qsizetype nul = alias.indexOf(QChar(0)); nul >= 0)
        alias.truncate(nul);
    for (const QChar c : text) {
        const bool asciiLetter = c.unicode() < 0x80 && c.isLetter();
        if (!alias.contains(c) && !(asciiLetter && alias.contains(QChar(c.unicode() ^ 0x20))))
            return false;
    }
    return true;
}

// Case-folded character by character, so that positions stay: for a text without
// surrogates, "the folded alias contains the folded text" is Qt's case-insensitive
// "contains".
QString foldedChars(QStringView text)
{
    QString folded(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        folded[i] = text[i].toCaseFolded();
    return folded;
}

// The ASCII letters and digits of a case-folded text, as bits: an alias can only
// contain the text when it holds each of them, a test quicker than the search.
quint64 asciiBits(QStringView folded)
{
    quint64 bits = 0;
    for (const QChar c : folded) {
        const char16_t u = c.unicode();
        if (u >= '0' && u <= '9')
            bits |= quint64(1) << (u - '0');
        else if (u >= 'a' && u <= 'z')
            bits |= quint64(1) << (u - 'a' + 10);
    }
    return bits;
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
    QSqlQuery item(db);
    item.setForwardOnly(true);
    item.prepare(QStringLiteral("SELECT path,alias,info,rowid from ITEMBOX where rowid = ?"));
    const auto readItem = [&item](const QVariant &rowid) {
        item.addBindValue(rowid);
        return item.exec() && item.next();
    };

    // 1. Learned items: those launched with exactly this text, most often first.
    QSet<qint64> taken;
    int learned = 0;
    QSqlQuery quick(db);
    quick.setForwardOnly(true);
    quick.prepare(QStringLiteral("SELECT id,key,exec,hot from QUICK where key = ? order by hot desc"));
    quick.addBindValue(text);
    quick.exec();
    while (quick.next()) {
        if (!readItem(quick.value(2).toString()))
            continue;
        if (learned >= maxCount)
            return;
        list.append(recordOf(item, text));
        taken.insert(item.value(3).toLongLong());
        ++learned;
    }

    // 2. Full-text items: those whose index matches the text and whose alias
    // contains it in any case. Those that begin with it in this case go right
    // after the learned items, the latest first; the others follow in rowid
    // order. Only those that can stay after step 3 are read.
    const qsizetype room = qMax(maxCount, 0);
    QList<qint64> prefixed, others;
    forEachMatch(text, [&](qint64 rowid, QStringView alias) {
        if (taken.contains(rowid))
            return;
        if (alias.startsWith(text)) {
            prefixed.prepend(rowid);
            if (prefixed.size() > room)
                prefixed.removeLast();
        } else if (others.size() < room) {
            others.append(rowid);
        }
    });
    qsizetype at = learned;
    for (const qint64 rowid : std::as_const(prefixed)) {
        if (readItem(rowid))
            list.insert(at++, recordOf(item, text));
    }
    for (const qint64 rowid : std::as_const(others)) {
        if (readItem(rowid))
            list.append(recordOf(item, text));
    }

    // 3. The list is cut to maxCount.
    while (list.size() > maxCount && !list.isEmpty())
        list.removeLast();

    addAppsFoundByUse(text, list, maxCount);
}

void ItemDatabase::addAppsFoundByUse(const QString &text, QList<APPBLOCK> &list, int maxCount)
{
    if (list.size() >= maxCount)
        return;
    if (!searchRowsRead)
        readSearchRows();
    QSet<qint64> listed;
    for (const APPBLOCK &record : std::as_const(list))
        listed.insert(record.rowid.toLongLong());
    // Only applications that have an item: one the user deleted has none.
    const auto found = appFinder.find(text, maxCount - list.size(), [&](const QString &file) {
        const qint64 rowid = listedRows.value(file, -1);
        return rowid != -1 && !listed.contains(rowid);
    });
    QSqlQuery item(db);
    item.setForwardOnly(true);
    item.prepare(QStringLiteral("SELECT path,alias,info,rowid from ITEMBOX where rowid = ?"));
    for (const AppFinder::Found &app : found) {
        item.addBindValue(listedRows.value(app.desktopFile));
        if (item.exec() && item.next()) {
            APPBLOCK record = recordOf(item, text);
            record.extra = app.reason;
            list.append(record);
        }
    }
}

void ItemDatabase::forEachMatch(const QString &text, const std::function<void(qint64, QStringView)> &visit)
{
    if (!searchRowsRead)
        readSearchRows();
    if (searchRowsUsable && plainTerms(text)) {
        const QString folded = foldedChars(text);
        const quint64 wanted = asciiBits(folded);
        qsizetype start = 0;
        for (const SearchRow &row : std::as_const(searchRows)) {
            const qsizetype from = std::exchange(start, row.end);
            if ((row.letters & wanted) != wanted)
                continue;
            const QStringView alias = QStringView(searchAliases).sliced(from, row.end - from);
            if (QStringView(searchFolded).sliced(from, row.end - from).contains(folded) &&
                indexHolds(alias, text))
                visit(row.rowid, alias);
        }
        return;
    }
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT rowid,alias from ITEMBOX WHERE ind MATCH ?"));
    query.addBindValue(SpaceText(text));
    if (!query.exec())
        return;
    while (query.next()) {
        const QString alias = query.value(1).toString();
        if (alias.contains(text, Qt::CaseInsensitive))
            visit(query.value(0).toLongLong(), alias);
    }
}

void ItemDatabase::readSearchRows()
{
    searchRowsRead = true;
    searchRowsUsable = false;
    searchRows = {};
    searchAliases = searchFolded = QString();
    listedRows.clear();
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT rowid,alias,ind,path from ITEMBOX ORDER BY rowid")))
        return;
    QList<SearchRow> rows;
    QString aliases;
    bool usable = true;
    while (query.next()) {
        if (const QString path = query.value(3).toString(); appFinder.lists(path))
            listedRows.insert(path, query.value(0).toLongLong());
        if (!usable)
            continue;
        const QString alias = query.value(1).toString();
        // The rule in memory holds for index texts that are the spaced alias, as this
        // store writes them, and for aliases that reach SQLite unchanged (it joins
        // half a surrogate pair with the next character). A catalog with other rows
        // (written by something else) is left to the statement.
        usable = query.value(2).toString() == SpaceText(alias) && alias.isValidUtf16();
        aliases += alias;
        rows.append({query.value(0).toLongLong(), aliases.size(), 0});
    }
    if (!usable)
        return;
    rows.squeeze();
    aliases.squeeze();
    searchFolded = foldedChars(aliases);
    qsizetype start = 0;
    for (SearchRow &row : rows) {
        const qsizetype from = std::exchange(start, row.end);
        row.letters = asciiBits(QStringView(searchFolded).sliced(from, row.end - from));
    }
    searchRows = rows;
    searchAliases = aliases;
    searchRowsUsable = true;
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
    const bool done = query.exec();
    if (done) {
        changed();
        noteHeld(HeldKind::Quick, rowid, QString(), text);
    }
    return done;
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
    const bool done = query.exec();
    if (done) {
        changed();
        noteHeld(HeldKind::Top, rowid);
    }
    return done;
}

bool ItemDatabase::UpdateAlias(const APPBLOCK &item)
{
    topItems.clear();
    searchRowsRead = false;
    QSqlQuery query(db);
    query.prepare(QStringLiteral("UPDATE ITEMBOX set alias = ?, ind = ? where rowid = ?"));
    query.addBindValue(item.alias);
    query.addBindValue(SpaceText(item.alias));
    query.addBindValue(item.rowid);
    if (!query.exec())
        return false;
    // The user's alias: discovery keeps it from now on.
    writeNote(
        QStringLiteral("INSERT OR REPLACE INTO ITEMNOTE (ITEMBOX_ID, kind, path) SELECT rowid, 'ALIAS', "
                       "path FROM ITEMBOX WHERE rowid = ?"),
        {item.rowid});
    changed();
    noteHeld(HeldKind::Alias, item.rowid, QString(), item.alias);
    return true;
}

bool ItemDatabase::AddItem(QString &path, const QString &alias, const QString &type, const QString &info)
{
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    searchRowsRead = false;
    QSqlQuery query(db);
    query.prepare(QStringLiteral("SELECT * from ITEMBOX WHERE path=?"));
    query.addBindValue(path);
    const bool known = query.exec() && query.next();
    query.finish();
    if (!known) {
        query.prepare(QStringLiteral("INSERT INTO ITEMBOX (path,alias,type,info,ind) values(?,?,?,?,?)"));
        query.addBindValue(path);
        query.addBindValue(alias);
        query.addBindValue(type);
        query.addBindValue(info);
        query.addBindValue(SpaceText(alias));
    } else {
        query.prepare(QStringLiteral("UPDATE ITEMBOX set alias=?, info=?, ind = ? where path=?"));
        query.addBindValue(alias);
        query.addBindValue(info);
        query.addBindValue(SpaceText(alias));
        query.addBindValue(path);
    }
    if (!query.exec())
        return false;
    // Discovery stores its findings otherwise: this alias is the user's (the
    // application manager's), and an item the user had deleted is back.
    writeNote(
        QStringLiteral("INSERT OR REPLACE INTO ITEMNOTE (ITEMBOX_ID, kind, path) SELECT rowid, 'ALIAS', "
                       "path FROM ITEMBOX WHERE path = ?"),
        {path});
    writeNote(QStringLiteral("DELETE FROM ITEMNOTE WHERE kind = 'DELETED' AND path = ?"), {path});
    changed();
    if (!heldFile.isEmpty() && !replaying)
        heldChanges.append({HeldKind::Add, {path, QString(), info, {}, {}, type, {}}, alias});
    return true;
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
    searchRowsRead = false;

    query.prepare(QStringLiteral("DELETE FROM QUICK where exec = ?"));
    query.addBindValue(rowid);
    query.exec();
    query.prepare(QStringLiteral("DELETE FROM TOP where ITEMBOX_ID = ?"));
    query.addBindValue(rowid.toLongLong());
    query.exec();

    // The item of a desktop entry that the user deletes stays deleted while the
    // entry stays: discovery would bring it back at once.
    query.prepare(
        QStringLiteral("UPDATE ITEMNOTE set kind = 'DELETED', ITEMBOX_ID = NULL where ITEMBOX_ID = ? "
                       "AND kind = 'ENTRY' AND path = ?"));
    query.addBindValue(rowid.toLongLong());
    query.addBindValue(path);
    query.exec(); // there may be no such table
    query.prepare(QStringLiteral("DELETE FROM ITEMNOTE where ITEMBOX_ID = ?"));
    query.addBindValue(rowid.toLongLong());
    query.exec();

    query.prepare(QStringLiteral("DELETE FROM ITEMBOX where path=?"));
    query.addBindValue(path);
    const bool done = query.exec();
    changed();
    noteHeld(HeldKind::Delete, QString(), path);
    return done;
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

bool ItemDatabase::writeNote(const QString &statement, const QVariantList &values)
{
    QSqlQuery query(db);
    query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS ITEMNOTE (ITEMBOX_ID INTEGER, kind VARCHAR(10), "
                              "path VARCHAR(260), exec VARCHAR(500), name VARCHAR(260), "
                              "PRIMARY KEY (kind, path))"));
    query.prepare(statement);
    for (const QVariant &value : values)
        query.addBindValue(value);
    return query.exec();
}

QHash<qint64, QStringList> ItemDatabase::readNotes(const QString &kind)
{
    QHash<qint64, QStringList> notes;
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(
        QStringLiteral("SELECT n.ITEMBOX_ID, n.path, n.exec, n.name FROM ITEMNOTE n JOIN ITEMBOX i ON "
                       "i.rowid = n.ITEMBOX_ID WHERE n.kind = ? AND i.path = n.path"));
    query.addBindValue(kind);
    if (query.exec()) {
        while (query.next())
            notes.insert(query.value(0).toLongLong(),
                         {query.value(1).toString(), query.value(2).toString(), query.value(3).toString()});
    }
    return notes;
}
