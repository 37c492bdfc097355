// The catalog follows the installed applications while it is open: desktop
// entries that come are found, those that go take their items with them, renamed
// ones keep their items, and aliases the user gave stay through every rescan.
#include "catalogfixture.h"
#include "testmain.h"

#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QThread>
#include <QtTest>

using namespace CatalogFixture;

namespace {

QString rowidOfAlias(const QString &alias)
{
    return rows(QStringLiteral("SELECT rowid FROM ITEMBOX WHERE alias = '%1'").arg(alias)).value(0);
}

} // namespace

class TestCatalogLive : public QObject
{
    Q_OBJECT

    std::unique_ptr<ItemDatabase> db;

private slots:
    void init()
    {
        resetSandbox();
        QDir(TestSandbox::path(QStringLiteral("xdg-data-dirs/applications"))).removeRecursively();
        db = openFreshCatalog();
    }
    void cleanup() { db.reset(); }

    // GIO's notice arrives on the GUI thread, through Qt's event loop.
    void theNoticeArrivesOnTheGuiThread()
    {
        InstalledApps::list(); // GIO watches the folders from its first listing on
        InstalledApps::Monitor monitor;
        QThread *noticedOn = nullptr;
        connect(
            &monitor, &InstalledApps::Monitor::changed, this, [&] { noticedOn = QThread::currentThread(); },
            Qt::DirectConnection);
        writeDesktopEntry(QStringLiteral("notice.desktop"), QStringLiteral("Notice"));
        QTRY_VERIFY_WITH_TIMEOUT(noticedOn, 15000);
        QCOMPARE(noticedOn, QThread::currentThread());
    }

    // Entries that come in any applications folder of the XDG data folders are
    // found; the windows hear of it.
    void newEntriesAreFound()
    {
        QSignalSpy itemsChanged(&db->notices, &CatalogNotices::itemsChanged);
        writeDesktopEntry(QStringLiteral("org.example.Paint.desktop"), QStringLiteral("Paint Studio"));
        QTRY_COMPARE_WITH_TIMEOUT(search(*db, QStringLiteral("Paint")), QStringList{"Paint Studio"}, 15000);
        QVERIFY(itemsChanged.count() > 0);
        // A system folder (the role Flatpak's and Snap's export folders play).
        writeDesktopEntry(QStringLiteral("org.example.Notes.desktop"), QStringLiteral("Notes"), {},
                          TestSandbox::path(QStringLiteral("xdg-data-dirs/applications")));
        QTRY_COMPARE_WITH_TIMEOUT(search(*db, QStringLiteral("Notes")), QStringList{"Notes"}, 15000);
        // Hidden and not shown here: not found.
        writeDesktopEntry(QStringLiteral("hidden.desktop"), QStringLiteral("Hidden Tool"),
                          {"NoDisplay=true"});
        writeDesktopEntry(QStringLiteral("later.desktop"), QStringLiteral("Later"));
        QTRY_COMPARE_WITH_TIMEOUT(search(*db, QStringLiteral("Later")), QStringList{"Later"}, 15000);
        QCOMPARE(search(*db, QStringLiteral("Hidden")), QStringList());
    }

    // An entry that goes takes its item, learned rows and launch count with it;
    // items from other sources stay.
    void goneEntriesTakeTheirItems()
    {
        const QString entry = writeDesktopEntry(QStringLiteral("gone.desktop"), QStringLiteral("Gone Soon"));
        QTRY_COMPARE_WITH_TIMEOUT(search(*db, QStringLiteral("Gone")), QStringList{"Gone Soon"}, 15000);
        const QString gone = rowidOfAlias(QStringLiteral("Gone Soon"));
        launch(*db, gone, QStringLiteral("go"), 2);
        const QString kept = addNamedItem(*db, QStringLiteral("Hand Made")); // as the manager adds
        launch(*db, kept, QStringLiteral("ha"));
        // A store that loaded its file walks the desktop folder at its first rescan.
        createFile(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation) + "/walked.exe");
        db.reset();
        db = std::make_unique<ItemDatabase>();
        db->OpenCatalog();
        db->ScanAll();
        QCOMPARE(db->GetItemCount(), QStringLiteral("3"));

        QSignalSpy itemsChanged(&db->notices, &CatalogNotices::itemsChanged);
        QVERIFY(QFile::remove(entry));
        QTRY_COMPARE_WITH_TIMEOUT(db->GetItemCount(), QStringLiteral("2"), 15000);
        QVERIFY(itemsChanged.count() > 0);
        QCOMPARE(rows(QStringLiteral("SELECT alias FROM ITEMBOX ORDER BY alias")),
                 QStringList({"Hand Made", "walked.exe"}));
        QCOMPARE(rows(QStringLiteral("SELECT exec FROM QUICK")), QStringList{kept});
        QCOMPARE(rows(QStringLiteral("SELECT ITEMBOX_ID FROM TOP")), QStringList{kept});
        // A rescan keeps them too.
        db->ScanAll();
        QCOMPARE(db->GetItemCount(), QStringLiteral("2"));
    }

    // An upgrade that renames the entry (the same command line and name in a
    // new file) keeps the item: its rowid, learning, launch count and alias.
    void renamedEntriesKeepTheirItems()
    {
        const QString old = writeDesktopEntry(QStringLiteral("gimp.desktop"), QStringLiteral("GIMP"), {},
                                              QString(), QStringLiteral("env GIMP=2.10 true %U"));
        QTRY_COMPARE_WITH_TIMEOUT(search(*db, QStringLiteral("GIMP")), QStringList{"GIMP"}, 15000);
        const QString rowid = rowidOfAlias(QStringLiteral("GIMP"));
        launch(*db, rowid, QStringLiteral("gi"), 3);
        APPBLOCK item;
        item.rowid = rowid;
        item.alias = QStringLiteral("My GIMP");
        QVERIFY(db->UpdateAlias(item));

        QVERIFY(QFile::remove(old));
        const QString renamed =
            writeDesktopEntry(QStringLiteral("org.gimp.GIMP.desktop"), QStringLiteral("GIMP"), {}, QString(),
                              QStringLiteral("env GIMP=2.10 true %U"));
        QTRY_COMPARE_WITH_TIMEOUT(rows(QStringLiteral("SELECT rowid, path, alias FROM ITEMBOX")),
                                  QStringList{rowid + "|" + renamed + "|My GIMP"}, 15000);
        QCOMPARE(rows(QStringLiteral("SELECT exec, hot FROM QUICK")), QStringList{rowid + "|3"});
        QCOMPARE(rows(QStringLiteral("SELECT ITEMBOX_ID, topnum FROM TOP")), QStringList{rowid + "|3"});

        // Another program with the same name but another command line is no rename.
        QVERIFY(QFile::remove(renamed));
        writeDesktopEntry(QStringLiteral("gimp-3.desktop"), QStringLiteral("GIMP"), {}, QString(),
                          QStringLiteral("env GIMP=3.0 true %U"));
        QTRY_COMPARE_WITH_TIMEOUT(rows(QStringLiteral("SELECT alias FROM ITEMBOX")), QStringList{"GIMP"},
                                  15000);
        QCOMPARE(rows(QStringLiteral("SELECT count(*) FROM QUICK")), QStringList{"0"});
    }

    // An alias the user gave, in the alias editor or the manager, stays through
    // rescans and the live catalog; discovered names still follow their entry.
    void aliasesTheUserGaveStay()
    {
        const QString editor = writeDesktopEntry(QStringLiteral("editor.desktop"), QStringLiteral("Editor"));
        const QString viewer = writeDesktopEntry(QStringLiteral("viewer.desktop"), QStringLiteral("Viewer"));
        const QString player = writeDesktopEntry(QStringLiteral("player.desktop"), QStringLiteral("Player"));
        QTRY_COMPARE_WITH_TIMEOUT(db->GetItemCount(), QStringLiteral("3"), 15000);
        APPBLOCK item;
        item.rowid = rowidOfAlias(QStringLiteral("Editor"));
        item.alias = QStringLiteral("Text");
        QVERIFY(db->UpdateAlias(item));
        QString path = viewer;
        QVERIFY(db->AddItem(path, QStringLiteral("Pictures"), QStringLiteral("APP"), QString()));

        db->ScanAll();
        writeDesktopEntry(QStringLiteral("editor.desktop"), QStringLiteral("Editor 2"));
        writeDesktopEntry(QStringLiteral("viewer.desktop"), QStringLiteral("Viewer 2"));
        writeDesktopEntry(QStringLiteral("player.desktop"), QStringLiteral("Player 2"));
        QTRY_COMPARE_WITH_TIMEOUT(search(*db, QStringLiteral("Player")), QStringList{"Player 2"}, 15000);
        db->ScanAll();
        QCOMPARE(rows(QStringLiteral("SELECT path, alias FROM ITEMBOX ORDER BY rowid")),
                 QStringList({editor + "|Text", player + "|Player 2", viewer + "|Pictures"}));
        // The notes that keep them live in a table of their own.
        QCOMPARE(rows(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE "
                                     "'ITEMBOX_%' ORDER BY name")),
                 QStringList({"ITEMBOX", "ITEMNOTE", "QUICK", "TOP"}));
    }

    // The item of a desktop entry that the user deletes in the manager stays
    // deleted while the entry stays, through changes and rescans; the manager can
    // add it back, and a removed entry installed again comes back.
    void deletedItemsOfEntriesStayDeleted()
    {
        const QString entry = writeDesktopEntry(QStringLiteral("games.desktop"), QStringLiteral("Games"));
        writeDesktopEntry(QStringLiteral("other.desktop"), QStringLiteral("Other"));
        QTRY_COMPARE_WITH_TIMEOUT(db->GetItemCount(), QStringLiteral("2"), 15000);
        QVERIFY(db->DeleteItem(entry));
        writeDesktopEntry(QStringLiteral("games.desktop"), QStringLiteral("Games Too"));
        writeDesktopEntry(QStringLiteral("third.desktop"), QStringLiteral("Third"));
        QTRY_COMPARE_WITH_TIMEOUT(search(*db, QStringLiteral("Third")), QStringList{"Third"}, 15000);
        db->ScanAll();
        QCOMPARE(rows(QStringLiteral("SELECT alias FROM ITEMBOX ORDER BY alias")),
                 QStringList({"Other", "Third"}));

        // Added back by hand.
        QString path = entry;
        QVERIFY(db->AddItem(path, QStringLiteral("My Games"), QStringLiteral("APP"), QString()));
        db->ScanAll();
        QCOMPARE(search(*db, QStringLiteral("Games")), QStringList{"My Games"});
        QVERIFY(db->DeleteItem(entry));

        // Removed, then installed again.
        QVERIFY(QFile::remove(entry));
        QTRY_COMPARE_WITH_TIMEOUT(
            rows(QStringLiteral("SELECT count(*) FROM ITEMNOTE WHERE kind = 'DELETED'")), QStringList{"0"},
            15000);
        writeDesktopEntry(QStringLiteral("games.desktop"), QStringLiteral("Games"));
        QTRY_COMPARE_WITH_TIMEOUT(search(*db, QStringLiteral("Games")), QStringList{"Games"}, 15000);
    }

    // An older copy of the program keeps no notes: an item it put in the place
    // (rowid) of one whose alias the user gave is not taken for it.
    void notesOfAnotherItemDoNotCount()
    {
        const QString entry = writeDesktopEntry(QStringLiteral("tool.desktop"), QStringLiteral("Tool"));
        QTRY_COMPARE_WITH_TIMEOUT(db->GetItemCount(), QStringLiteral("1"), 15000);
        APPBLOCK item;
        item.rowid = rowidOfAlias(QStringLiteral("Tool"));
        item.alias = QStringLiteral("Mine");
        QVERIFY(db->UpdateAlias(item));
        // What an older copy does: the item goes, another comes in its rowid.
        QSqlQuery query;
        QVERIFY(query.exec(QStringLiteral("DELETE FROM ITEMBOX")));
        query.prepare(
            QStringLiteral("INSERT INTO ITEMBOX (rowid,path,alias,type,info,ind) values(?,?,?,?,?,?)"));
        for (const QVariant &value : {QVariant(item.rowid), QVariant(entry + QStringLiteral(".other")),
                                      QVariant(QStringLiteral("Old")), QVariant(QStringLiteral("APP")),
                                      QVariant(), QVariant(QStringLiteral("O l d "))})
            query.addBindValue(value);
        QVERIFY(query.exec());
        db->ScanAll();
        QCOMPARE(rows(QStringLiteral("SELECT alias FROM ITEMBOX ORDER BY rowid")),
                 QStringList({"Old", "Tool"}));
    }
};

TOLVANE_TEST_MAIN(TestCatalogLive)
#include "test_catalog_live.moc"
