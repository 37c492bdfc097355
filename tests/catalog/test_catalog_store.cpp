#include "catalogfixture.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSqlQuery>
#include <QtTest>

using namespace CatalogFixture;

namespace {

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// The rows of a query on a file database, opened under a connection of its own.
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
            result.append(QStringLiteral("<failed>"));
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

const QString SchemaQuery = QStringLiteral("SELECT type,name,tbl_name,sql FROM sqlite_master ORDER BY name");

} // namespace

class TestCatalogStore : public QObject
{
    Q_OBJECT

private slots:
    void init() { resetSandbox(); }

    void firstRunWritesTheSchemaOnlyAtDestruction()
    {
        const QString file = ItemDatabase::databaseFile();
        QCOMPARE(file, QCoreApplication::applicationDirPath() + QStringLiteral("/data.db"));
        {
            ItemDatabase db;
            db.OpenCatalog();
            QVERIFY(!QFile::exists(file));
            QCOMPARE(db.GetItemCount(), QStringLiteral("0"));
            QVERIFY(!QFile::exists(file));
            QTest::ignoreMessage(QtWarningMsg, file.toUtf8().constData());
        }
        QVERIFY(QFile::exists(file));
        QVERIFY(QSqlDatabase::connectionNames().isEmpty());

        // The six objects of the schema, with their statements as written, and
        // the full-text module's own tables behind ITEMBOX.
        const QStringList own = fileRows(
            file, QStringLiteral("SELECT sql FROM sqlite_master WHERE sql IS NOT NULL AND name NOT LIKE "
                                 "'ITEMBOX\\_%' ESCAPE '\\' ORDER BY rowid"));
        const QStringList expected = {
            QStringLiteral("CREATE VIRTUAL TABLE ITEMBOX USING FTS4(path  VARCHAR(260),alias VARCHAR(260),"
                           "type  VARCHAR(10),info  VARCHAR(500),ind VARCHAR(500))"),
            QStringLiteral(
                "CREATE TABLE QUICK (id INTEGER PRIMARY KEY, key VARCHAR(100), exec VARCHAR (20), hot "
                "INTEGER default 1)"),
            QStringLiteral(
                "CREATE TABLE TOP (id INTEGER PRIMARY KEY, ITEMBOX_ID INTEGER, topnum INTEGER default 1)"),
            QStringLiteral("CREATE INDEX TOP_INDEX ON TOP(ITEMBOX_ID)"),
            QStringLiteral("CREATE INDEX QUICK_INDEX ON QUICK(key, exec)"),
            QStringLiteral("CREATE INDEX QUICK_INDEX_2 ON QUICK(hot)"),
        };
        QCOMPARE(own, expected);
        const QStringList shadow = fileRows(
            file,
            QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name LIKE 'ITEMBOX\\_%' "
                           "ESCAPE '\\' ORDER BY name"));
        QCOMPARE(shadow, QStringList({"ITEMBOX_content", "ITEMBOX_docsize", "ITEMBOX_segdir",
                                      "ITEMBOX_segments", "ITEMBOX_stat"}));
    }

    void savedCatalogLoadsBackUnchanged()
    {
        const QString file = ItemDatabase::databaseFile();
        QStringList before;
        {
            ItemDatabase db;
            db.OpenCatalog();
            const QString paint = addNamedItem(db, QStringLiteral("Paint"));
            const QString gone = addNamedItem(db, QStringLiteral("Gone"));
            const QString writer = addItem(db, QStringLiteral("LibreOffice Writer"),
                                           QStringLiteral("C:\\Program Files\\LibreOffice\\swriter.exe"),
                                           false, QStringLiteral("TOOL"), QStringLiteral("7.4"));
            launch(db, paint, QStringLiteral("pa"), 3);
            launch(db, writer, QStringLiteral("wr"));
            launch(db, gone, QStringLiteral("go"));
            QVERIFY(db.DeleteItem(itemPath(QStringLiteral("Gone.exe"))));
            addNamedItem(db, QStringLiteral("Last")); // takes the deleted item's place at the end
            before = snapshot();
            QCOMPARE(before.size(), 3 + 2 + 2);
        }
        const QStringList schema = fileRows(file, SchemaQuery);

        // Something discoverable now must not show up: a valid file means no discovery.
        QVERIFY(waitUntilInstalled(
            {writeDesktopEntry(QStringLiteral("later.desktop"), QStringLiteral("Later"))}));
        {
            ItemDatabase db;
            db.OpenCatalog();
            QCOMPARE(snapshot(), before);
            QCOMPARE(rows(SchemaQuery), schema);
            QCOMPARE(db.GetItemCount(), QStringLiteral("3"));
            QCOMPARE(search(db, QStringLiteral("pa")).value(0), QStringLiteral("Paint"));
        }
        QCOMPARE(fileRows(file, SchemaQuery), schema);
        QVERIFY(!QFile::exists(file + QStringLiteral(".bad")));
    }

    void storesFollowOneAnotherInOneProcess()
    {
        for (int round = 1; round <= 4; ++round) {
            ItemDatabase db;
            db.OpenCatalog();
            QCOMPARE(db.GetItemCount(), QString::number(round - 1));
            QVERIFY(!addNamedItem(db, QStringLiteral("Item%1").arg(round)).isEmpty());
            QCOMPARE(db.GetItemCount(), QString::number(round));
        }
        QVERIFY(QSqlDatabase::connectionNames().isEmpty());
    }

    void unusedStoreWritesNothing()
    {
        {
            ItemDatabase db;
        }
        QVERIFY(!QFile::exists(ItemDatabase::databaseFile()));
    }

    void unloadableFileIsKeptAside_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray random(8192, '\0');
        QRandomGenerator generator(42);
        for (char &c : random)
            c = char(generator.bounded(256));
        QTest::newRow("random bytes") << random;
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("text") << QByteArray("[General]\nmaxcount=5\n");
        QTest::newRow("sqlite header, garbage after")
            << (QByteArray("SQLite format 3", 16) + random.left(4096 - 16));

        // A sound SQLite database without the catalog's tables.
        const QString other = TestSandbox::path(QStringLiteral("other.db"));
        fileRows(other, QStringLiteral("CREATE TABLE notes (text)"));
        QTest::newRow("other database") << readAll(other);
        // The catalog's table names, but ITEMBOX is no full-text table.
        const QString plain = TestSandbox::path(QStringLiteral("plain.db"));
        fileRows(plain, QStringLiteral("CREATE TABLE ITEMBOX (path, alias, type, info, ind)"));
        fileRows(plain, QStringLiteral("CREATE TABLE QUICK (id, key, exec, hot)"));
        fileRows(plain, QStringLiteral("CREATE TABLE TOP (id, ITEMBOX_ID, topnum)"));
        QTest::newRow("plain item table") << readAll(plain);
    }

    void unloadableFileIsKeptAside()
    {
        QFETCH(QByteArray, bytes);
        const QString file = ItemDatabase::databaseFile();
        const QString bad = file + QStringLiteral(".bad");
        writeAll(bad, "an older bad file");
        writeAll(file, bytes);
        QVERIFY(waitUntilInstalled(
            {writeDesktopEntry(QStringLiteral("editor.desktop"), QStringLiteral("Editor"))}));
        {
            ItemDatabase db;
            db.OpenCatalog();
            QVERIFY(!QFile::exists(file));
            // Every copy set aside is kept.
            QCOMPARE(readAll(bad), QByteArray("an older bad file"));
            QCOMPARE(readAll(bad + QStringLiteral("-2")), bytes);
            // Built as on a first run: discovery found the desktop entry.
            QCOMPARE(db.GetItemCount(), QStringLiteral("1"));
            QCOMPARE(search(db, QStringLiteral("Ed")), QStringList{QStringLiteral("Editor")});
        }
        QCOMPARE(readAll(bad + QStringLiteral("-2")), bytes);
        QCOMPARE(fileRows(file, QStringLiteral("SELECT alias FROM ITEMBOX")),
                 QStringList{QStringLiteral("Editor")});
        QFile::remove(applicationsDir() + QStringLiteral("/editor.desktop"));
        removeCatalogFile();
    }

    void unloadableFileThatCannotMoveIsNeverWritten()
    {
        // A folder that cannot be written (an installed copy's user folder,
        // since the program's cannot be written either): the file has to stay.
        const QString programFolder = QCoreApplication::applicationDirPath();
        QVERIFY(QFile::setPermissions(programFolder, ReadOnlyFolder));
        const QString file = ItemDatabase::databaseFile();
        const QString folder = QFileInfo(file).path();
        // A sound database of something else: a save would replace it whole.
        const QString other = TestSandbox::path(QStringLiteral("notes.db"));
        fileRows(other, QStringLiteral("CREATE TABLE notes (text)"));
        fileRows(other, QStringLiteral("INSERT INTO notes VALUES ('keep me')"));
        const QByteArray bytes = readAll(other);
        QVERIFY(!bytes.isEmpty());
        writeAll(file, bytes);
        QVERIFY(QFile::setPermissions(folder, ReadOnlyFolder));
        {
            AsOrdinaryUser user;
            ItemDatabase db;
            db.OpenCatalog();
            QCOMPARE(db.GetItemCount(), QStringLiteral("0"));
            QVERIFY(!addNamedItem(db, QStringLiteral("Unsaved")).isEmpty());
        }
        QCOMPARE(readAll(file), bytes);
        QVERIFY(!QFileInfo::exists(file + QStringLiteral(".bad")));
        QFile::setPermissions(folder, ReadOnlyFolder | QFile::WriteOwner);
        QFile::setPermissions(programFolder, ReadOnlyFolder | QFile::WriteOwner);
        removeCatalogFile();
    }

    void copyDatabaseNeedsTheDriversHandle()
    {
        const QString target = TestSandbox::path(QStringLiteral("copy.db"));
        ItemDatabase db;
        QSqlDatabase none;
        QVERIFY(!db.CopyDatabase(none, target, true));
        QVERIFY(!QFile::exists(target));

        db.OpenCatalog();
        addNamedItem(db, QStringLiteral("Copied"));
        QSqlDatabase connection = QSqlDatabase::database();
        QTest::ignoreMessage(QtWarningMsg, target.toUtf8().constData());
        QVERIFY(db.CopyDatabase(connection, target, true));
        QCOMPARE(fileRows(target, QStringLiteral("SELECT alias FROM ITEMBOX")), QStringList{"Copied"});

        // Loading a file into the connection replaces its whole content.
        QSqlQuery(connection).exec(QStringLiteral("DELETE FROM ITEMBOX"));
        QCOMPARE(db.GetItemCount(), QStringLiteral("0"));
        QTest::ignoreMessage(QtWarningMsg, target.toUtf8().constData());
        QVERIFY(db.CopyDatabase(connection, target, false));
        QCOMPARE(db.GetItemCount(), QStringLiteral("1"));

        // A file that cannot be opened fails the copy.
        const QString missingFolder = TestSandbox::path(QStringLiteral("no/such/folder/x.db"));
        QTest::ignoreMessage(QtWarningMsg, missingFolder.toUtf8().constData());
        QVERIFY(!db.CopyDatabase(connection, missingFolder, false));
        QCOMPARE(db.GetItemCount(), QStringLiteral("1"));
    }
};

TOLVANE_TEST_MAIN(TestCatalogStore)
#include "test_catalog_store.moc"
