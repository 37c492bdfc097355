// The catalog's shortcuts against the plain statements they stand for: a second
// connection runs AddItem and SearchItems exactly as written down (one statement
// after the other, no lookups kept in memory), the store runs them its own way,
// and after every step of a long random mix of operations both catalogs hold the
// same rows and give the same result lists.
#include "catalogfixture.h"
#include "testmain.h"

#include <QRandomGenerator>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace {

const QString Reference = QStringLiteral("reference");

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
        QVERIFY(query.exec(
            QStringLiteral("CREATE VIRTUAL TABLE ITEMBOX USING FTS4(path VARCHAR(260),"
                           "alias VARCHAR(260),type VARCHAR(10),info VARCHAR(500),ind VARCHAR(500))")));
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
            } else if (op < 98) {
                onBoth(QStringLiteral("UPDATE ITEMBOX set path = ? where rowid = ?"),
                       {pool[random.bounded(pool.size())], random.bounded(1, 30)});
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
};

TOLVANE_TEST_MAIN(TestCatalogEquivalence)
#include "test_catalog_equivalence.moc"
