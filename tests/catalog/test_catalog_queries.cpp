#include "catalogfixture.h"
#include "fileicons.h"
#include "testmain.h"

#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QtTest>

#include <sqlite3.h>

using namespace CatalogFixture;

namespace {

// Records the statements SQLite runs on the catalog's connection.
class StatementTrace
{
public:
    StatementTrace()
    {
        const QVariant handle = QSqlDatabase::database().driver()->handle();
        m_db = *static_cast<sqlite3 *const *>(handle.constData());
        sqlite3_trace_v2(m_db, SQLITE_TRACE_STMT, &StatementTrace::record, this);
    }
    ~StatementTrace() { sqlite3_trace_v2(m_db, 0, nullptr, nullptr); }
    QStringList statements;

private:
    static int record(unsigned, void *context, void *statement, void *)
    {
        auto *self = static_cast<StatementTrace *>(context);
        self->statements.append(QString::fromUtf8(sqlite3_sql(static_cast<sqlite3_stmt *>(statement))));
        return 0;
    }
    sqlite3 *m_db = nullptr;
};

// Whether the full-text step ran, after `learned` learned items were read: its
// statement, or the read of a row it found (the step answers most texts from the
// item rows the store keeps in memory).
bool ranFullText(const QStringList &statements, int learned)
{
    int reads = 0;
    for (const QString &statement : statements) {
        if (statement.contains(QLatin1String("MATCH")))
            return true;
        if (statement.startsWith(QLatin1String("SELECT path,alias,info,rowid from ITEMBOX where rowid")))
            ++reads;
    }
    return reads > learned;
}

} // namespace

class TestCatalogQueries : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ItemDatabase> db;

private slots:
    void init()
    {
        resetSandbox();
        db = openFreshCatalog();
        topItems.clear();
    }
    void cleanup() { db.reset(); }

    void appblockTravelsInAVariant()
    {
        const int id = appblockMetaType();
        QCOMPARE(QMetaType::fromName("APPBLOCK").id(), id);
        APPBLOCK record{QStringLiteral("/p"),
                        QStringLiteral("a"),
                        QStringLiteral("i"),
                        QStringLiteral("k"),
                        QStringLiteral("7"),
                        QString(),
                        QIcon()};
        const QVariant variant = QVariant::fromValue(record);
        QCOMPARE(variant.typeName(), "APPBLOCK");
        QCOMPARE(variant.value<APPBLOCK>().rowid, QStringLiteral("7"));
    }

    void spaceText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("spaced");
        QTest::newRow("letters") << "abc"
                                 << "a b c ";
        QTest::newRow("one blank") << "a b"
                                   << "a  b ";
        QTest::newRow("two blanks") << "a  b"
                                    << "a   b ";
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("blank") << " "
                               << " ";
        QTest::newRow("outside the basic plane")
            << QString::fromUtf8("x\xF0\x9F\x98\x80y") << QString::fromUtf8("x \xF0\x9F\x98\x80 y ");
        QTest::newRow("lone high surrogate") << (QString(QChar(0xD83D)) + QLatin1Char('a'))
                                             << (QString(QChar(0xD83D)) + QStringLiteral(" a "));
    }

    void spaceText()
    {
        QFETCH(QString, text);
        QFETCH(QString, spaced);
        QCOMPARE(ItemDatabase::SpaceText(text), spaced);
    }

    void learnedRowsComeFirstForTheirExactText()
    {
        addNamedItem(*db, QStringLiteral("nodejs"));
        const QString nokia = addNamedItem(*db, QStringLiteral("Nokia"));
        const QString piano = addNamedItem(*db, QStringLiteral("piano"));
        launch(*db, piano, QStringLiteral("no"), 2);
        launch(*db, nokia, QStringLiteral("no"));
        QCOMPARE(rows(QStringLiteral("SELECT key,exec,hot FROM QUICK ORDER BY id")),
                 QStringList({"no|" + piano + "|2", "no|" + nokia + "|1"}));

        QCOMPARE(search(*db, QStringLiteral("no")), QStringList({"piano", "Nokia", "nodejs"}));
        // Other texts do not use the learned rows of "no".
        QCOMPARE(search(*db, QStringLiteral("No")), QStringList({"Nokia", "nodejs", "piano"}));
        QCOMPARE(search(*db, QStringLiteral("n")), QStringList({"nodejs", "Nokia", "piano"}));

        QList<APPBLOCK> found;
        db->SearchItems(QStringLiteral("no"), found, 5);
        QCOMPARE(found.size(), 3);
        for (const APPBLOCK &record : found) {
            QCOMPARE(record.key, QStringLiteral("no"));
            QVERIFY(record.extra.isEmpty());
            QVERIFY(record.icon.isNull());
        }
        QCOMPARE(found[0].rowid, piano);
        QCOMPARE(found[0].path, itemPath(QStringLiteral("piano.exe")));
    }

    void learnedRowsNeedNotMatchAndAreListedOnce()
    {
        const QString firefox = addNamedItem(*db, QStringLiteral("Firefox"));
        addNamedItem(*db, QStringLiteral("ffmpeg"));
        launch(*db, firefox, QStringLiteral("ff"));
        // A learned row for an item that is gone is passed over.
        QVERIFY(db->AddQuick(QStringLiteral("999"), QStringLiteral("ff")));
        QCOMPARE(search(*db, QStringLiteral("ff")), QStringList({"Firefox", "ffmpeg"}));
        launch(*db, firefox, QStringLiteral("F"), 1);
        QCOMPARE(search(*db, QStringLiteral("F")), QStringList({"Firefox", "ffmpeg"}));
    }

    void fullLearnedListRunsNoFullTextQuery()
    {
        QStringList learned;
        for (int i = 1; i <= 6; ++i) {
            const QString rowid = addNamedItem(*db, QStringLiteral("tool%1").arg(i));
            launch(*db, rowid, QStringLiteral("ed"), i);
            learned.prepend(QStringLiteral("tool%1").arg(i));
        }
        addNamedItem(*db, QStringLiteral("edit"));
        {
            StatementTrace trace;
            QCOMPARE(search(*db, QStringLiteral("ed"), 5), learned.mid(0, 5));
            QVERIFY(!ranFullText(trace.statements, 6));
            QVERIFY(!trace.statements.isEmpty());
        }
        {
            // Six learned records leave room for nothing else, but the list is not full
            // while they are read: the full-text query runs.
            StatementTrace trace;
            QCOMPARE(search(*db, QStringLiteral("ed"), 6), learned);
            QVERIFY(ranFullText(trace.statements, 6));
        }
        QCOMPARE(search(*db, QStringLiteral("ed"), 7), learned + QStringList{"edit"});
    }

    void prefixMatchesComeFirstInDescendingRowid()
    {
        addNamedItem(*db, QStringLiteral("Paint"));
        addNamedItem(*db, QStringLiteral("spa"));
        addNamedItem(*db, QStringLiteral("pad"));
        addNamedItem(*db, QStringLiteral("pxa"));
        QCOMPARE(search(*db, QStringLiteral("pa")), QStringList({"pad", "Paint", "spa"}));

        addNamedItem(*db, QStringLiteral("pal"));
        addNamedItem(*db, QStringLiteral("pat"));
        QCOMPARE(search(*db, QStringLiteral("pa"), 10), QStringList({"pat", "pal", "pad", "Paint", "spa"}));
        // "Pa" is a case-sensitive prefix of "Paint" only.
        QCOMPARE(search(*db, QStringLiteral("Pa"), 10), QStringList({"Paint", "spa", "pad", "pal", "pat"}));
    }

    void resultsAreCutToTheMaximum()
    {
        for (int i = 1; i <= 6; ++i)
            addNamedItem(*db, QStringLiteral("ab%1").arg(i));
        for (int i = 1; i <= 6; ++i)
            addNamedItem(*db, QStringLiteral("xab%1").arg(i));
        QCOMPARE(search(*db, QStringLiteral("ab"), 3), QStringList({"ab6", "ab5", "ab4"}));
        QCOMPARE(search(*db, QStringLiteral("ab"), 8),
                 QStringList({"ab6", "ab5", "ab4", "ab3", "ab2", "ab1", "xab1", "xab2"}));
        QCOMPARE(search(*db, QStringLiteral("xab"), 2), QStringList({"xab6", "xab5"}));
        QCOMPARE(search(*db, QStringLiteral("b"), 3), QStringList({"ab1", "ab2", "ab3"}));
        QCOMPARE(search(*db, QStringLiteral("ab"), 0), QStringList());

        const QString learned = rowidOf(itemPath(QStringLiteral("xab3.exe")));
        launch(*db, learned, QStringLiteral("ab"));
        QCOMPARE(search(*db, QStringLiteral("ab"), 3), QStringList({"xab3", "ab6", "ab5"}));
        QCOMPARE(search(*db, QStringLiteral("ab"), 1), QStringList({"xab3"}));
        QCOMPARE(search(*db, QStringLiteral("ab"), 14),
                 QStringList({"xab3", "ab6", "ab5", "ab4", "ab3", "ab2", "ab1", "xab1", "xab2", "xab4",
                              "xab5", "xab6"}));
    }

    void invalidFullTextQueryGivesLearnedRecordsOnly()
    {
        const QString quoted = addNamedItem(*db, QStringLiteral("say \"hi\""));
        addNamedItem(*db, QStringLiteral("(paren)"));
        launch(*db, quoted, QStringLiteral("\""));
        QCOMPARE(search(*db, QStringLiteral("\"")), QStringList({"say \"hi\""}));
        QCOMPARE(search(*db, QStringLiteral("(")), QStringList());
        QCOMPARE(search(*db, QStringLiteral("say")), QStringList({"say \"hi\""}));
    }

    void badInputLeavesTheCatalogUnchanged_data()
    {
        QTest::addColumn<QString>("text");
        const QStringList texts = CatalogFixture::badTexts();
        for (const QString &text : texts)
            QTest::newRow(text.toUtf8().toHex().constData()) << text;
    }

    void badInputLeavesTheCatalogUnchanged()
    {
        QFETCH(QString, text);
        const QStringList names = {"a OR b",
                                   "say \"hi\"",
                                   "100% sure",
                                   "C:\\Windows\\notepad",
                                   "under_score",
                                   "'; DROP TABLE ITEMBOX; --",
                                   QString(66, QLatin1Char('a')),
                                   QString::fromUtf8("caf\xC3\xA9 \xF0\x9F\x98\x80"),
                                   QString::fromUtf8("\xD7\xA2\xD7\x91\xD7\xA8\xD7\x99\xD7\xAA"),
                                   "NEAR and far"};
        for (const QString &name : names)
            addItem(*db, name, itemPath(QString::number(qHash(name)) + ".exe"));
        launch(*db, rowidOf(itemPath(QString::number(qHash(names[0])) + ".exe")), QStringLiteral("or"));
        QList<APPBLOCK> all;
        db->GetAllItems(all);
        const QStringList before = snapshot();

        QList<APPBLOCK> found;
        db->SearchItems(text, found, 10);
        for (const APPBLOCK &record : found)
            QVERIFY2(record.alias.contains(text, Qt::CaseInsensitive), qPrintable(record.alias));
        QVERIFY(found.size() <= 10);

        QCOMPARE(snapshot(), before);
        QList<APPBLOCK> after;
        db->GetAllItems(after);
        QCOMPARE(aliases(after), aliases(all));
        QCOMPARE(db->GetItemCount(), QString::number(names.size()));
    }

    void unusualNamesAreStoredAndFoundAsTheyAre()
    {
        const QString alias = QString::fromUtf8("Caf\xC3\xA9 \"Quote\" 100% d\xC3\xA9j\xC3\xA0");
        QString path = TestSandbox::path(QString::fromUtf8("it's/50%/\xC3\xBCn\xC3\xAF.exe"));
        const QString rowid = addItem(*db, alias, path, true);
        QVERIFY(!rowid.isEmpty());
        QList<APPBLOCK> all;
        db->GetAllItems(all);
        QCOMPARE(all.size(), 1);
        QCOMPARE(all[0].alias, alias);
        QCOMPARE(all[0].path, path);
        QCOMPARE(all[0].rowid, rowid);
        QVERIFY(all[0].key.isEmpty());
        QCOMPARE(search(*db, QStringLiteral("Caf")), QStringList{alias});
        QCOMPARE(search(*db, QStringLiteral("100%")), QStringList{alias});
        QCOMPARE(search(*db, QString::fromUtf8("d\xC3\xA9j\xC3\xA0")), QStringList{alias});
        // A text made only of separators gives the full-text index nothing to match.
        QCOMPARE(search(*db, QStringLiteral("%")), QStringList());
        // Balanced quotes make a valid phrase of the spaced text.
        QCOMPARE(search(*db, QStringLiteral("\"Quote\"")), QStringList{alias});
        QVERIFY(db->DeleteItem(path));
        QCOMPARE(db->GetItemCount(), QStringLiteral("0"));
    }

    // The full-text index folds only ASCII letters, stops at a NUL and keeps a
    // character outside the basic plane whole; the case-insensitive "contains"
    // test folds more. A result must pass both.
    void resultsPassTheIndexAndTheCaseInsensitiveTest()
    {
        addNamedItem(*db, QStringLiteral("ab") + QChar(0) + QStringLiteral("cd"));
        addNamedItem(*db, QStringLiteral("\u212a") + QStringLiteral("elvin")); // the Kelvin sign
        addNamedItem(*db, QStringLiteral("\u00c9clair"));
        addNamedItem(*db, QStringLiteral("Stra\u00dfe"));
        addNamedItem(*db, QStringLiteral("\U0001F600 smile"));
        QCOMPARE(search(*db, QStringLiteral("ab")).size(), 1);
        QCOMPARE(search(*db, QStringLiteral("cd")), QStringList());
        QCOMPARE(search(*db, QStringLiteral("elvin")), QStringList{"\u212a"
                                                                   "elvin"});
        QCOMPARE(search(*db, QStringLiteral("kelvin")), QStringList());
        QCOMPARE(search(*db, QStringLiteral("\u00c9")), QStringList{"\u00c9clair"});
        QCOMPARE(search(*db, QStringLiteral("\u00e9")), QStringList());
        QCOMPARE(search(*db, QStringLiteral("\u00e9CLAIR")), QStringList());
        QCOMPARE(search(*db, QStringLiteral("stra\u00df")), QStringList{"Stra\u00dfe"});
        QCOMPARE(search(*db, QStringLiteral("strass")), QStringList());
        QCOMPARE(search(*db, QStringLiteral("\U0001F600")), QStringList{"\U0001F600 smile"});
        QCOMPARE(search(*db, QStringLiteral("SMILE")), QStringList{"\U0001F600 smile"});
    }

    void addItemKeepsOneRowPerPath()
    {
        QString path = QStringLiteral("C:\\Program Files\\App\\app.exe");
        QVERIFY(db->AddItem(path, QStringLiteral("App"), QStringLiteral("TOOL"), QStringLiteral("1.0")));
        QCOMPARE(path, QStringLiteral("C:/Program Files/App/app.exe"));
        QCOMPARE(rows(QStringLiteral("SELECT path,alias,type,info,ind FROM ITEMBOX")),
                 QStringList{"C:/Program Files/App/app.exe|App|TOOL|1.0|A p p "});

        QString again = QStringLiteral("C:\\Program Files\\App\\app.exe");
        QVERIFY(db->AddItem(again, QStringLiteral("Renamed"), QStringLiteral("APP"), QString()));
        QString forward = QStringLiteral("C:/Program Files/App/app.exe");
        QVERIFY(
            db->AddItem(forward, QStringLiteral("Final name"), QStringLiteral("APP"), QStringLiteral("2")));
        QCOMPARE(rows(QStringLiteral("SELECT rowid,path,alias,type,info,ind FROM ITEMBOX")),
                 QStringList{"1|C:/Program Files/App/app.exe|Final name|TOOL|2|F i n a l  n a m e "});
        QCOMPARE(search(*db, QStringLiteral("Final")), QStringList{"Final name"});
        QCOMPARE(search(*db, QStringLiteral("App")), QStringList());
    }

    void deleteItemRemovesTheItemAndItsLearning()
    {
        const QString keep = addNamedItem(*db, QStringLiteral("keep"));
        const QString gone = addNamedItem(*db, QStringLiteral("gone"));
        launch(*db, keep, QStringLiteral("k"), 2);
        launch(*db, gone, QStringLiteral("k"), 3);
        launch(*db, gone, QStringLiteral("g"));
        launch(*db, keep, QStringLiteral("g"));

        QStringList before = snapshot();
        QVERIFY(db->DeleteItem(itemPath(QStringLiteral("missing.exe"))));
        // The path is taken as given: a backslashed form names no row.
        QString backslashed = itemPath(QStringLiteral("gone.exe"));
        backslashed.replace(QLatin1Char('/'), QLatin1Char('\\'));
        QVERIFY(db->DeleteItem(backslashed));
        QCOMPARE(snapshot(), before);

        QVERIFY(db->DeleteItem(itemPath(QStringLiteral("gone.exe"))));
        QCOMPARE(rows(QStringLiteral("SELECT rowid,alias FROM ITEMBOX")), QStringList{keep + "|keep"});
        QCOMPARE(rows(QStringLiteral("SELECT key,exec,hot FROM QUICK ORDER BY id")),
                 QStringList({"k|" + keep + "|2", "g|" + keep + "|1"}));
        QCOMPARE(rows(QStringLiteral("SELECT ITEMBOX_ID,topnum FROM TOP")), QStringList{keep + "|3"});
    }

    void learningCountsPerTextAndItem()
    {
        const QString a = addNamedItem(*db, QStringLiteral("alpha"));
        QVERIFY(db->AddQuick(a, QStringLiteral("al")));
        QVERIFY(db->AddQuick(a, QStringLiteral("al")));
        QVERIFY(db->AddQuick(a, QStringLiteral("Al")));
        QVERIFY(db->AddTop(a));
        QVERIFY(db->AddTop(a));
        QVERIFY(db->AddTop(QStringLiteral("not a number")));
        QCOMPARE(rows(QStringLiteral("SELECT key,exec,hot FROM QUICK ORDER BY id")),
                 QStringList({"al|" + a + "|2", "Al|" + a + "|1"}));
        QCOMPARE(rows(QStringLiteral("SELECT ITEMBOX_ID,topnum FROM TOP ORDER BY id")),
                 QStringList({a + "|2", "0|1"}));
    }

    void topItemsHoldTheFourMostLaunched()
    {
        QStringList rowids;
        for (int i = 1; i <= 3; ++i) {
            rowids.append(addNamedItem(*db, QStringLiteral("item%1").arg(i), true));
            launch(*db, rowids.last(), QStringLiteral("x"), i);
        }
        QVERIFY(db->GetTopItems(topItems));
        QCOMPARE(aliases(topItems), QStringList({"item3", "item2", "item1"}));
        const APPBLOCK &first = topItems.first();
        QCOMPARE(first.key, first.alias);
        QCOMPARE(first.rowid, rowids.last());
        QCOMPARE(first.path, itemPath(QStringLiteral("item3.exe")));
        QCOMPARE(first.icon.isNull(), FileIcons::icon(QFileInfo(first.path)).isNull());

        for (int i = 4; i <= 10; ++i)
            launch(*db, addNamedItem(*db, QStringLiteral("item%1").arg(i)), QStringLiteral("x"), i);
        // A launch count whose item is gone is passed over and does not count.
        QVERIFY(QSqlQuery().exec(QStringLiteral("INSERT INTO TOP (ITEMBOX_ID, topnum) values(999, 100)")));
        QVERIFY(db->GetTopItems(topItems));
        QCOMPARE(aliases(topItems), QStringList({"item10", "item9", "item8", "item7"}));

        // The list given is emptied first; renaming an item empties topItems.
        QList<APPBLOCK> other{APPBLOCK()};
        db->GetTopItems(other);
        QCOMPARE(other.size(), 4);
        APPBLOCK renamed = topItems.first();
        renamed.alias = QStringLiteral("renamed ten");
        QVERIFY(db->UpdateAlias(renamed));
        QVERIFY(topItems.isEmpty());
        QCOMPARE(search(*db, QStringLiteral("ten")), QStringList{"renamed ten"});
        QCOMPARE(search(*db, QStringLiteral("item10")), QStringList());
        QCOMPARE(rows(QStringLiteral("SELECT ind FROM ITEMBOX WHERE rowid = ") + renamed.rowid),
                 QStringList{"r e n a m e d  t e n "});
    }

    void emptyCatalog()
    {
        QCOMPARE(db->GetItemCount(), QStringLiteral("0"));
        QCOMPARE(search(*db, QStringLiteral("a")), QStringList());
        QVERIFY(db->GetTopItems(topItems));
        QVERIFY(topItems.isEmpty());
        QList<APPBLOCK> all;
        db->GetAllItems(all);
        QVERIFY(all.isEmpty());
    }

    // After the rules' own results, installed applications found by their generic
    // name, keywords (in the user's language) or command name: words that begin
    // with the text first, case and accents aside; each row says what matched.
    void findsApplicationsByWhatTheyAreFor_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("launchedWith");
        QTest::addColumn<int>("maxCount");
        QTest::addColumn<QStringList>("found"); // alias|what matched
        QTest::newRow("generic name") << "browser"
                                      << ""
                                      << "" << 5 << QStringList{"Firefox ESR|Web Browser"};
        QTest::newRow("keyword, word start before inside, deleted left out")
            << "ZIP"
            << ""
            << "" << 5 << QStringList{"Archive Manager|zip", "Package Tool|gunzip"};
        QTest::newRow("up to the list length") << "zip"
                                               << ""
                                               << "" << 1 << QStringList{"Archive Manager|zip"};
        QTest::newRow("accents aside") << "editeur"
                                       << ""
                                       << "" << 5
                                       << QStringList{QString::fromUtf8("GIMP|\xC3\xA9"
                                                                        "diteur")};
        QTest::newRow("command name") << "gnome"
                                      << ""
                                      << "" << 5 << QStringList{"Terminal|gnome-terminal"};
        QTest::newRow("name results first, then by use")
            << "manager"
            << ""
            << "" << 5 << QStringList{"Archive Manager|", "Package Tool|File Manager"};
        QTest::newRow("name matches too: listed once")
            << "image"
            << ""
            << "" << 5 << QStringList{"GIMP Image Editor|", "GIMP|Image Editor"};
        QTest::newRow("keywords in the user's language") << "rechnen"
                                                         << "de"
                                                         << "" << 5 << QStringList{"Calculator|Rechnen"};
        QTest::newRow("untranslated keywords elsewhere") << "math"
                                                         << ""
                                                         << "" << 5 << QStringList{"Calculator|math"};
        QTest::newRow("learned as any other") << "browser"
                                              << ""
                                              << "browser" << 5 << QStringList{"Firefox ESR|"};
    }

    void findsApplicationsByWhatTheyAreFor()
    {
        QFETCH(QString, text);
        QFETCH(QString, language);
        QFETCH(QString, launchedWith);
        QFETCH(int, maxCount);
        QFETCH(QStringList, found);

        const QString terminal =
            createFile(TestSandbox::path(QStringLiteral("progs/gnome-terminal")), "#!/bin/sh\n");
        QFile::setPermissions(terminal, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QStringList files = {
            writeDesktopEntry(QStringLiteral("firefox.desktop"), QStringLiteral("Firefox ESR"),
                              {"GenericName=Web Browser", "Keywords=Internet;WWW;"}),
            writeDesktopEntry(QStringLiteral("archive.desktop"), QStringLiteral("Archive Manager"),
                              {"Keywords=zip;tar;extract;"}),
            writeDesktopEntry(QStringLiteral("package.desktop"), QStringLiteral("Package Tool"),
                              {"GenericName=File Manager", "Keywords=deb;gunzip;"}),
            writeDesktopEntry(QStringLiteral("zapper.desktop"), QStringLiteral("Zapper"), {"Keywords=zip;"}),
            writeDesktopEntry(QStringLiteral("gimp.desktop"), QStringLiteral("GIMP"),
                              {"GenericName=Image Editor", QString::fromUtf8("Keywords=photo;\xC3\xA9"
                                                                             "diteur;")}),
            writeDesktopEntry(QStringLiteral("gimpimage.desktop"), QStringLiteral("GIMP Image Editor"),
                              {"GenericName=Image Editor"}),
            writeDesktopEntry(QStringLiteral("calc.desktop"), QStringLiteral("Calculator"),
                              {"Keywords=math;arithmetic;", "Keywords[de]=Rechnen;Mathematik;"}),
            writeDesktopEntry(QStringLiteral("terminal.desktop"), QStringLiteral("Terminal"),
                              {"Keywords=shell;prompt;"}, QString(), terminal)};
        QVERIFY(waitUntilInstalled(files));
        // GIO reads the entries in the language of the moment.
        qputenv("LANGUAGE", language.toUtf8());
        db->ScanAll();
        qunsetenv("LANGUAGE");
        // The user deleted this one: it stays out, also when its keyword matches.
        QVERIFY(db->DeleteItem(files[3]));
        if (!launchedWith.isEmpty())
            launch(*db, rowidOf(files[0]), launchedWith);

        QList<APPBLOCK> records;
        db->SearchItems(text, records, maxCount);
        QStringList shown;
        for (const APPBLOCK &record : std::as_const(records)) {
            shown.append(record.alias + QLatin1Char('|') + record.extra);
            QCOMPARE(record.key, text);
        }
        QCOMPARE(shown, found);
    }
};

TOLVANE_TEST_MAIN(TestCatalogQueries)
#include "test_catalog_queries.moc"
