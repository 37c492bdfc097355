// The catalog's shortcuts against the plain statements they stand for: a second
// connection runs AddItem and SearchItems exactly as written down (one statement
// after the other, nothing kept in memory), the store runs them and discovery's
// stores its own way, and after every step of a long random mix of operations
// both catalogs hold the same rows and give the same result lists.
#include "catalogfixture.h"
#include "installedapps.h"
#include "testmain.h"

#include <QRandomGenerator>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>

#include <sqlite3.h>

#include <cstring>

namespace {

const QString Reference = QStringLiteral("reference");
const char ItemTable[] = "CREATE VIRTUAL TABLE ITEMBOX USING FTS4(path  VARCHAR(260),alias VARCHAR(260),"
                         "type  VARCHAR(10),info  VARCHAR(500),ind VARCHAR(500))";

// AddItem as the statements say.
void referenceAddItem(QString path, const QString &alias, const QString &type, const QString &info)
{
    QSqlDatabase db = QSqlDatabase::database(Reference);
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
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
        query.addBindValue(ItemDatabase::SpaceText(alias));
    } else {
        query.prepare(QStringLiteral("UPDATE ITEMBOX set alias=?, info=?, ind = ? where path=?"));
        query.addBindValue(alias);
        query.addBindValue(info);
        query.addBindValue(ItemDatabase::SpaceText(alias));
        query.addBindValue(path);
    }
    query.exec();
}

// Every item row with the type of each value, so a number never passes for a text.
QStringList itemRows(const QSqlDatabase &db)
{
    QStringList result;
    QSqlQuery query(db);
    query.exec(
        QStringLiteral("SELECT rowid,typeof(path),path,alias,type,info,ind FROM ITEMBOX ORDER BY rowid"));
    while (query.next()) {
        QStringList columns;
        for (int i = 0; i < 7; ++i)
            columns.append(query.value(i).toString());
        result.append(columns.join(QLatin1Char('|')));
    }
    return result;
}

// The full-text table's own storage (its shadow tables, which make up the saved
// file's pages): the same statements in the same order leave the same bytes.
QStringList storedIndex(const QSqlDatabase &db)
{
    QStringList result;
    for (const char *table :
         {"ITEMBOX_content", "ITEMBOX_segments", "ITEMBOX_segdir", "ITEMBOX_docsize", "ITEMBOX_stat"}) {
        QSqlQuery query(db);
        if (!query.exec(QStringLiteral("SELECT * FROM %1 ORDER BY 1").arg(QLatin1String(table))))
            return {QStringLiteral("<failed: %1>").arg(QLatin1String(table))};
        while (query.next()) {
            QStringList columns;
            for (int i = 0; i < query.record().count(); ++i) {
                const QVariant value = query.value(i);
                columns.append(QString::fromLatin1(value.metaType().name()) + QLatin1Char(':') +
                               QString::fromLatin1(value.toByteArray().toHex()));
            }
            result.append(QLatin1String(table) + QLatin1Char('|') + columns.join(QLatin1Char('|')));
        }
    }
    return result;
}

// Runs the same statement on both connections (another writer than AddItem).
void onBoth(const QString &sql, const QVariantList &values = {})
{
    for (const QString &name : {QString::fromLatin1(QSqlDatabase::defaultConnection), Reference}) {
        QSqlQuery query(QSqlDatabase::database(name));
        query.prepare(sql);
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (!query.exec())
            qWarning() << name << sql << query.lastError().text();
    }
}

// SearchItems as the statements say, on the catalog's own connection.
QList<APPBLOCK> referenceSearch(const QString &text, int maxCount)
{
    QSqlDatabase db = QSqlDatabase::database();
    QList<APPBLOCK> list;
    QSet<QString> taken;
    int learned = 0;
    QSqlQuery quick(db);
    quick.prepare(QStringLiteral("SELECT id,key,exec,hot from QUICK where key = ? order by hot desc"));
    quick.addBindValue(text);
    quick.exec();
    while (quick.next()) {
        QSqlQuery item(db);
        item.prepare(QStringLiteral("SELECT path,alias,info,rowid from ITEMBOX where rowid = ?"));
        item.addBindValue(quick.value(2).toString());
        if (!item.exec() || !item.next())
            continue;
        if (learned >= maxCount)
            return list;
        APPBLOCK record{item.value(0).toString(),
                        item.value(1).toString(),
                        item.value(2).toString(),
                        text,
                        item.value(3).toString(),
                        QString(),
                        QIcon()};
        taken.insert(record.rowid);
        list.append(record);
        ++learned;
    }
    QSqlQuery match(db);
    match.prepare(QStringLiteral("SELECT path,alias,info,rowid from ITEMBOX WHERE ind MATCH ?"));
    match.addBindValue(ItemDatabase::SpaceText(text));
    match.exec();
    while (match.next()) {
        APPBLOCK record{match.value(0).toString(),
                        match.value(1).toString(),
                        match.value(2).toString(),
                        text,
                        match.value(3).toString(),
                        QString(),
                        QIcon()};
        if (taken.contains(record.rowid) || !record.alias.contains(text, Qt::CaseInsensitive))
            continue;
        if (record.alias.startsWith(text))
            list.insert(learned, record);
        else
            list.append(record);
    }
    while (list.size() > maxCount)
        list.removeLast();
    return list;
}

// Every field of every record, so two lists compare as a whole.
QStringList described(const QList<APPBLOCK> &list)
{
    QStringList result;
    for (const APPBLOCK &record : list) {
        result.append(QStringList{record.path, record.alias, record.info, record.key, record.rowid,
                                  record.extra,
                                  record.icon.isNull() ? QStringLiteral("no icon") : QStringLiteral("icon")}
                          .join(QLatin1Char('|')));
    }
    return result;
}

// Counts the full-text statements SQLite runs on the catalog's connection.
class MatchCounter
{
public:
    MatchCounter()
    {
        const QVariant handle = QSqlDatabase::database().driver()->handle();
        m_db = *static_cast<sqlite3 *const *>(handle.constData());
        sqlite3_trace_v2(m_db, SQLITE_TRACE_STMT, &MatchCounter::record, this);
    }
    ~MatchCounter() { sqlite3_trace_v2(m_db, 0, nullptr, nullptr); }
    int matches = 0;

private:
    static int record(unsigned, void *context, void *statement, void *)
    {
        if (std::strstr(sqlite3_sql(static_cast<sqlite3_stmt *>(statement)), "MATCH"))
            ++static_cast<MatchCounter *>(context)->matches;
        return 0;
    }
    sqlite3 *m_db = nullptr;
};

// Characters that matter to the tokenizer and the comparisons: ASCII letters
// of both cases, digits, punctuation and blanks, letters whose case mapping is
// special (é ß İ ı ǅ, the Kelvin sign), CJK, right-to-left letters, combining
// marks and characters outside the basic plane.
const QStringList Alphabet = {
    QStringLiteral("a"),          QStringLiteral("A"),         QStringLiteral("b"),
    QStringLiteral("B"),          QStringLiteral("e"),         QStringLiteral("E"),
    QStringLiteral("k"),          QStringLiteral("K"),         QStringLiteral("s"),
    QStringLiteral("S"),          QStringLiteral("i"),         QStringLiteral("I"),
    QStringLiteral("z"),          QStringLiteral("0"),         QStringLiteral("1"),
    QStringLiteral("9"),          QStringLiteral(" "),         QStringLiteral("-"),
    QStringLiteral("."),          QStringLiteral("\""),        QStringLiteral("*"),
    QStringLiteral("_"),          QStringLiteral(":"),         QStringLiteral("\t"),
    QStringLiteral("\u00e9"),     QStringLiteral("\u00c9"),    QStringLiteral("\u00df"),
    QStringLiteral("\u0130"),     QStringLiteral("\u0131"),    QStringLiteral("\u01c5"),
    QStringLiteral("\u212a"),     QStringLiteral("\u4e2d"),    QStringLiteral("\u6587"),
    QStringLiteral("\u05d0"),     QStringLiteral("\u0628"),    QStringLiteral("\u0301"),
    QStringLiteral("\U0001F600"), QStringLiteral("\U0001F601")};

QString randomText(QRandomGenerator &random, int length)
{
    QString text;
    for (int i = 0; i < length; ++i)
        text += Alphabet[random.bounded(Alphabet.size())];
    return text;
}

// A typed text: random characters, or a piece of an alias (so that prefixes
// and inner matches are common), sometimes with its case changed.
QString randomTyped(QRandomGenerator &random, const QStringList &aliases)
{
    QString text;
    if (random.bounded(2) || aliases.isEmpty()) {
        text = randomText(random, random.bounded(1, 7));
    } else {
        const QString &alias = aliases[random.bounded(aliases.size())];
        const int from = alias.isEmpty() ? 0 : random.bounded(int(alias.size()));
        text = alias.mid(from, random.bounded(1, 7));
        if (random.bounded(4) == 0)
            text = random.bounded(2) ? text.toUpper() : text.toLower();
    }
    return text;
}

} // namespace

class TestCatalogEquivalence : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        CatalogFixture::resetSandbox();
        QSqlDatabase reference = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), Reference);
        reference.setDatabaseName(QStringLiteral(":memory:"));
        QVERIFY(reference.open());
        QSqlQuery query(reference);
        QVERIFY(query.exec(QLatin1String(ItemTable)));
    }

    void cleanup()
    {
        QSqlDatabase::database(Reference).close();
        QSqlDatabase::removeDatabase(Reference);
    }

    // AddItem keeps, updates and inserts exactly the rows its statements would,
    // whatever else changed the catalog in between: other statements, deleted
    // items, rolled-back transactions, a save and a load.
    void addItemAsTheStatements()
    {
        // Paths that differ in ways the comparison must see: case, separators,
        // blanks, characters beyond ASCII and outside the basic plane, a lone
        // surrogate half, an embedded NUL, the empty and the null text.
        const QStringList pool = {QStringLiteral("/opt/a/App.exe"),
                                  QStringLiteral("/opt/a/app.exe"),
                                  QStringLiteral("\\opt\\a\\App.exe"),
                                  QStringLiteral("/opt/a/App.exe "),
                                  QStringLiteral("/opt/é/Café.exe"),
                                  QStringLiteral("/opt/e\u0301/Cafe\u0301.exe"),
                                  QStringLiteral("/opt/中文/程序.exe"),
                                  QStringLiteral("/opt/😀/smile.exe"),
                                  QString(QChar(0xD800)) + QStringLiteral("/half.exe"),
                                  QStringLiteral("/opt/nul") + QChar(0) + QStringLiteral("x.exe"),
                                  QStringLiteral(""),
                                  QString(),
                                  QStringLiteral("12"),
                                  QStringLiteral("/usr/share/applications/x.desktop"),
                                  QStringLiteral("C:\\Program Files\\Tool\\tool.exe")};
        auto store = CatalogFixture::openFreshCatalog();
        QRandomGenerator random(2024);
        for (int step = 0; step < 1500; ++step) {
            // Often a path not seen yet, so inserts keep happening throughout.
            QString path = pool[random.bounded(pool.size())];
            if (random.bounded(2) && !path.isNull())
                path += QString::number(random.bounded(300));
            const QString alias = QStringLiteral("Name %1").arg(random.bounded(50));
            const int op = random.bounded(100);
            if (op < 70) {
                QString stored = path;
                store->AddItem(stored, alias, QStringLiteral("APP"), QStringLiteral("v%1").arg(step));
                referenceAddItem(path, alias, QStringLiteral("APP"), QStringLiteral("v%1").arg(step));
            } else if (op < 76) {
                // Another writer inserts a row, sometimes with a number for a path.
                const QVariant value = random.bounded(2) ? QVariant(12) : QVariant(path);
                onBoth(QStringLiteral("INSERT INTO ITEMBOX (path,alias,type,info,ind) values(?,?,?,?,?)"),
                       {value, alias, QStringLiteral("APP"), QString(), ItemDatabase::SpaceText(alias)});
            } else if (op < 84) {
                store->DeleteItem(path);
                onBoth(QStringLiteral("SELECT 1")); // keeps both connections in step
                QSqlQuery query(QSqlDatabase::database(Reference));
                query.prepare(QStringLiteral("DELETE FROM ITEMBOX where path=?"));
                query.addBindValue(path);
                query.exec();
            } else if (op < 90) {
                // AddItem inside a transaction that is rolled back.
                onBoth(QStringLiteral("BEGIN"));
                QString stored = path;
                store->AddItem(stored, alias, QStringLiteral("APP"), QString());
                referenceAddItem(path, alias, QStringLiteral("APP"), QString());
                onBoth(QStringLiteral("ROLLBACK"));
            } else if (op < 95) {
                store->AddQuick(QString::number(random.bounded(1, 20)), alias.left(2));
            } else if (op < 97) {
                onBoth(QStringLiteral("UPDATE ITEMBOX set path = ? where rowid = ?"),
                       {pool[random.bounded(pool.size())], random.bounded(1, 30)});
            } else if (op < 98) {
                // The item table dropped and made again, empty.
                onBoth(QStringLiteral("DROP TABLE ITEMBOX"));
                onBoth(QLatin1String(ItemTable));
            } else {
                store.reset(); // saves data.db
                store = std::make_unique<ItemDatabase>();
                store->OpenCatalog();
            }
            const QStringList mine = itemRows(QSqlDatabase::database());
            const QStringList theirs = itemRows(QSqlDatabase::database(Reference));
            if (mine != theirs)
                QFAIL(qPrintable(QStringLiteral("step %1 (operation %2, path \"%3\"): %4 rows against %5")
                                     .arg(step)
                                     .arg(op)
                                     .arg(path)
                                     .arg(mine.size())
                                     .arg(theirs.size())));
        }
        QVERIFY(itemRows(QSqlDatabase::database()).size() > 5);
        const QStringList index = storedIndex(QSqlDatabase::database());
        QVERIFY(index.size() > 10);
        QCOMPARE(index, storedIndex(QSqlDatabase::database(Reference)));
    }
    // ScanAll stores what its sources found as AddItem would, one record after
    // the other: the same rows with the same values, over rows that were there
    // before (the same values, other values, a path held twice, a number for a
    // path), for a file that two sources find and for a path with half a
    // surrogate pair. A second scan that finds nothing new writes nothing.
    void scanStoresAsAddItem()
    {
        using namespace CatalogFixture;
        CatalogFixture::openFreshCatalog().reset();
        const QString shared = createFile(itemPath(QStringLiteral("shared.exe")));
        const QString twice = createFile(itemPath(QStringLiteral("twice.exe")));
        addUninstallEntry(
            QStringLiteral("Shared"),
            {{"DisplayName", "Shared Tool"}, {"DisplayIcon", shared}, {"DisplayVersion", "2.0"}});
        addUninstallEntry(QStringLiteral("Twice"), {{"DisplayName", "Twice"}, {"DisplayIcon", twice}});
        addAppPath(QStringLiteral("shared.exe"), {{"Default", shared}});
        // Stored as a character of its own by the registry file; the file system
        // knows it as U+FFFD.
        const QString half = itemPath(QStringLiteral("odd") + QChar(0xD800) + QStringLiteral("/half.exe"));
        createFile(itemPath(QStringLiteral("odd") + QChar(0xFFFD) + QStringLiteral("/half.exe")));
        addAppPath(QStringLiteral("half.exe"), {{"Default", half}});
        const QString editor = writeDesktopEntry(QStringLiteral("editor.desktop"), QStringLiteral("Editor"));
        writeDesktopEntry(QStringLiteral("viewer.desktop"), QStringLiteral("Viewer"));
        const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        createFile(desktop + QStringLiteral("/tool.exe"));
        createFile(desktop + QStringLiteral("/sub/deep.exe"));
        // GIO reads the folders again once it has noticed the change.
        QTRY_COMPARE_WITH_TIMEOUT(InstalledApps::list().size(), 2, 15000);
        // A store that loaded its file: it has walked no folder yet.
        auto store = std::make_unique<ItemDatabase>();
        store->OpenCatalog();

        const QString insert =
            QStringLiteral("INSERT INTO ITEMBOX (path,alias,type,info,ind) values(?,?,?,?,?)");
        onBoth(insert,
               {shared, QStringLiteral("old"), QStringLiteral("APP"), QVariant(), QStringLiteral("o l d ")});
        for (int i = 0; i < 2; ++i)
            onBoth(insert, {twice, QStringLiteral("dup"), QStringLiteral("APP"), QString(),
                            QStringLiteral("d u p ")});
        onBoth(insert,
               {12, QStringLiteral("number"), QStringLiteral("APP"), QString(), QStringLiteral("n ")});
        onBoth(insert, {editor, QStringLiteral("Editor"), QStringLiteral("TOOL"), QVariant(),
                        ItemDatabase::SpaceText(QStringLiteral("Editor"))});

        // What ScanAll's sources find, stored by the reference with AddItem.
        const auto replay = [&](bool walk) {
            QList<APPBLOCK> found;
            store->ScanUninstall(found);
            for (const InstalledApps::App &app : InstalledApps::list())
                found.append({app.desktopFile, app.name, QString(), {}, {}, {}, {}});
            QStringList walked;
            for (int folder : {2, 0, 16, 11, 7}) {
                const QString path = store->GetSpecialFolder(folder);
                if (walk && !path.isEmpty() && !walked.contains(path)) {
                    walked.append(path);
                    store->ScanDir(path, found);
                }
            }
            store->ScanAppPaths(found);
            for (const APPBLOCK &record : std::as_const(found))
                referenceAddItem(record.path, record.alias, QStringLiteral("APP"), record.info);
            return found.size();
        };
        QCOMPARE(replay(true), 8);
        store->ScanAll();
        QCOMPARE(itemRows(QSqlDatabase::database()), itemRows(QSqlDatabase::database(Reference)));
        QSqlQuery count;
        count.prepare(QStringLiteral("SELECT count(*) FROM ITEMBOX WHERE path = ?"));
        count.addBindValue(half);
        QVERIFY(count.exec() && count.next());
        QCOMPARE(count.value(0).toInt(), 1);

        const QVariant handle = QSqlDatabase::database().driver()->handle();
        sqlite3 *connection = *static_cast<sqlite3 *const *>(handle.constData());
        // (AddItem writes the path with half a surrogate pair again; it is gone now.)
        addAppPath(QStringLiteral("half.exe"), {{"Default", "/no/such.exe"}});
        const qint64 changes = sqlite3_total_changes64(connection);
        replay(false);
        store->ScanAll();
        QCOMPARE(itemRows(QSqlDatabase::database()), itemRows(QSqlDatabase::database(Reference)));
        QCOMPARE(sqlite3_total_changes64(connection), changes);
    }

    // SearchItems gives the same list, field by field, as its statements on
    // random catalogs, learned rows and texts, for several list lengths, while
    // the store changes the catalog between searches. The first round is a
    // catalog as this store writes it; in the second some aliases hold a NUL; the
    // third is loaded from a file that another program wrote (index texts that
    // are not the spaced alias) and holds half a surrogate pair in an alias.
    void searchAsTheStatements()
    {
        QRandomGenerator random(77);
        const QList<int> lengths = {0, 1, 5, 50};
        QStringList texts = CatalogFixture::badTexts();
        texts += {QStringLiteral("a").repeated(128),
                  QStringLiteral("a").repeated(129),
                  QStringLiteral("OR"),
                  QStringLiteral("NEAR"),
                  QStringLiteral("\u212a"),
                  QStringLiteral("k")};
        auto store = CatalogFixture::openFreshCatalog();
        int compared = 0, found = 0, fromMemory = 0;
        const auto compare = [&](const QString &text, const QString &when) {
            for (int maxCount : lengths) {
                QList<APPBLOCK> mine;
                int matches;
                {
                    MatchCounter counter;
                    store->SearchItems(text, mine, maxCount);
                    matches = counter.matches;
                }
                const QStringList theirs = described(referenceSearch(text, maxCount));
                if (described(mine) != theirs) {
                    qWarning() << "mine:" << described(mine);
                    qWarning() << "theirs:" << theirs;
                    QFAIL(qPrintable(
                        QStringLiteral("%1: text \"%2\", %3 records at most").arg(when, text).arg(maxCount)));
                }
                ++compared;
                found += theirs.isEmpty() ? 0 : 1;
                if (matches == 0 && !theirs.isEmpty())
                    ++fromMemory;
            }
        };

        for (int round = 0; round < 3; ++round) {
            QStringList aliases;
            for (int i = 0; i < 1500; ++i) {
                QString alias = randomText(random, random.bounded(1, 12));
                if (round == 1 && i % 300 == 7)
                    alias.insert(1, QChar(0));
                QString path = QStringLiteral("/opt/r%1/item%2").arg(round).arg(i);
                store->AddItem(path, alias, QStringLiteral("APP"), QStringLiteral("info %1").arg(i));
                aliases.append(alias);
            }
            if (round == 2) {
                // Index texts another program stored: the alias unspaced (tokens
                // of several characters), in upper or lower case.
                CatalogFixture::rows(QStringLiteral("UPDATE ITEMBOX set ind = alias where rowid % 10 = 3"));
                CatalogFixture::rows(
                    QStringLiteral("UPDATE ITEMBOX set ind = upper(ind) where rowid % 10 = 5"));
                CatalogFixture::rows(
                    QStringLiteral("UPDATE ITEMBOX set ind = lower(alias) where rowid % 10 = 7"));
                APPBLOCK half;
                half.rowid = QStringLiteral("4");
                half.alias = QString(QChar(0xD800)) + QStringLiteral("ab");
                store->UpdateAlias(half);
                store.reset(); // saves data.db
                store = std::make_unique<ItemDatabase>();
                store->OpenCatalog();
            }
            for (int i = 0; i < 200; ++i)
                store->AddQuick(QString::number(random.bounded(1, 1600)), randomTyped(random, aliases));
            const int memoryBefore = fromMemory, foundBefore = found;
            for (const QString &text : std::as_const(texts))
                compare(text, QStringLiteral("round %1, awkward texts").arg(round));

            for (int step = 0; step < 150; ++step) {
                const int op = random.bounded(100);
                const QString rowid = QString::number(random.bounded(1, 1600 * (round + 1)));
                const QString alias = randomText(random, random.bounded(1, 10));
                if (op < 30) {
                    // Only searches; the learned rows change below.
                } else if (op < 45) {
                    store->AddQuick(rowid, randomTyped(random, aliases));
                } else if (op < 50) {
                    store->AddTop(rowid);
                } else if (op < 62) {
                    QString path = QStringLiteral("/opt/r%1/item%2").arg(round).arg(random.bounded(1600));
                    store->AddItem(path, alias, QStringLiteral("APP"), QString());
                    aliases.append(alias);
                } else if (op < 74) {
                    APPBLOCK item;
                    item.rowid = rowid;
                    item.alias = alias;
                    store->UpdateAlias(item);
                    aliases.append(alias);
                } else if (op < 84) {
                    store->DeleteItem(QStringLiteral("/opt/r%1/item%2").arg(round).arg(random.bounded(1500)));
                } else if (op < 90) {
                    CatalogFixture::rows(
                        QStringLiteral("UPDATE QUICK set exec = '%1' where id % 50 = 3").arg(rowid));
                } else if (op < 96) {
                    store.reset(); // saves data.db
                    store = std::make_unique<ItemDatabase>();
                    store->OpenCatalog();
                } else if (op < 97) {
                    // The item table made again, then filled by the store.
                    CatalogFixture::rows(QStringLiteral("DROP TABLE ITEMBOX"));
                    CatalogFixture::rows(QLatin1String(ItemTable));
                    for (int i = 0; i < 300; ++i) {
                        QString path = QStringLiteral("/opt/again/item%1").arg(i);
                        store->AddItem(path, aliases.at(random.bounded(aliases.size())),
                                       QStringLiteral("APP"), QString());
                    }
                }
                const QString when =
                    QStringLiteral("round %1, step %2 (operation %3)").arg(round).arg(step).arg(op);
                for (int i = 0; i < 3; ++i)
                    compare(randomTyped(random, aliases), when);
                if (QTest::currentTestFailed())
                    return;
            }
            qInfo("round %d: %d lists not empty, %d of these found without the full-text statement", round,
                  found - foundBefore, fromMemory - memoryBefore);
            // Most lists of a catalog that this store wrote come from memory.
            if (round < 2)
                QVERIFY(fromMemory - memoryBefore > (found - foundBefore) / 2);
        }
        qInfo("%d lists compared, %d not empty", compared, found);
    }
};

TOLVANE_TEST_MAIN(TestCatalogEquivalence)
#include "test_catalog_equivalence.moc"
