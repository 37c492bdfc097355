#include "catalogfixture.h"
#include "installedapps.h"
#include "registrykey.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTimer>
#include <QtTest>

#include <unistd.h>

using namespace CatalogFixture;

namespace {

QString folderPath(const QString &relative)
{
    const QString path = TestSandbox::path(relative);
    QDir().mkpath(path);
    return path;
}

QStringList describe(const QList<APPBLOCK> &records)
{
    QStringList result;
    for (const APPBLOCK &record : records)
        result.append(record.alias + QLatin1Char('|') + record.path + QLatin1Char('|') + record.info);
    return result;
}

QString desktopFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
}

} // namespace

class TestDiscovery : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<ItemDatabase> db;

private slots:
    void init()
    {
        resetSandbox();
        QDir(TestSandbox::path(QStringLiteral("walk"))).removeRecursively();
        QDir(TestSandbox::path(QStringLiteral("xdg-data-dirs/applications"))).removeRecursively();
        db = openFreshCatalog();
        QCOMPARE(db->GetItemCount(), QStringLiteral("0"));
    }
    void cleanup() { db.reset(); }

    void specialFoldersAreTheXdgFolders()
    {
        QCOMPARE(db->GetSpecialFolder(0), TestSandbox::path(QStringLiteral("home/Desktop")));
        QCOMPARE(db->GetSpecialFolder(16), db->GetSpecialFolder(0));
        QCOMPARE(db->GetSpecialFolder(2),
                 TestSandbox::path(QStringLiteral("home/.local/share/applications")));
        QCOMPARE(db->GetSpecialFolder(11), db->GetSpecialFolder(2));
        QCOMPARE(db->GetSpecialFolder(7), TestSandbox::path(QStringLiteral("home/.config/autostart")));
        QCOMPARE(db->GetSpecialFolder(36), QString());
        QCOMPARE(db->GetSpecialFolder(37), QString());
        // Without a system folder the tool list adds nothing.
        db->AddTools();
        QCOMPARE(db->GetItemCount(), QStringLiteral("0"));
    }

    void folderWalkTakesProgramsCaseSensitively()
    {
        const QString root = folderPath(QStringLiteral("walk"));
        for (const char *name : {"MyApp.EXE", "setup.exe", "mysetup2.exe", "Setup.exe", "unins000.exe",
                                 "Uninstall.exe", "app.exe", "readme.txt", "app.exe.txt", ".hidden.exe",
                                 "sub/deep/tool.exe", "sub/notes.exe.bak", ".secret/inner.exe", "zeta/z.exe"})
            createFile(root + QLatin1Char('/') + QLatin1String(name));

        QList<APPBLOCK> found;
        QVERIFY(db->ScanDir(root, found));
        // Folders first, then files, each by name.
        QCOMPARE(describe(found), QStringList({
                                      "tool.exe|" + root + "/sub/deep/tool.exe|",
                                      "z.exe|" + root + "/zeta/z.exe|",
                                      "Setup.exe|" + root + "/Setup.exe|",
                                      "Uninstall.exe|" + root + "/Uninstall.exe|",
                                      "app.exe|" + root + "/app.exe|",
                                  }));
        QList<APPBLOCK> none;
        QVERIFY(!db->ScanDir(root + QStringLiteral("/missing"), none));
        QVERIFY(!db->ScanDir(root + QStringLiteral("/app.exe"), none));
        QVERIFY(none.isEmpty());
    }

    void linksAreListedUnderTheirOwnName()
    {
        const QString root = folderPath(QStringLiteral("walk/root"));
        const QString targets = folderPath(QStringLiteral("walk/targets"));
        const QString editor = createFile(targets + QStringLiteral("/editor.exe"));
        createFile(targets + QStringLiteral("/setup.exe"));
        createFile(targets + QStringLiteral("/unins001.exe"));
        createFile(targets + QStringLiteral("/notes.txt"));
        createFile(targets + QStringLiteral("/MyInstaller-setup-2.exe"));
        QVERIFY(QFile::link(editor, root + QStringLiteral("/Text Editor.lnk")));
        QVERIFY(QFile::link(editor, root + QStringLiteral("/plain link")));
        QVERIFY(QFile::link(targets + QStringLiteral("/setup.exe"), root + QStringLiteral("/Install.lnk")));
        QVERIFY(QFile::link(targets + QStringLiteral("/unins001.exe"), root + QStringLiteral("/Remove.lnk")));
        QVERIFY(QFile::link(targets + QStringLiteral("/notes.txt"), root + QStringLiteral("/Notes.lnk")));
        QVERIFY(QFile::link(targets + QStringLiteral("/MyInstaller-setup-2.exe"),
                            root + QStringLiteral("/I.lnk")));
        QVERIFY(QFile::link(targets + QStringLiteral("/gone.exe"), root + QStringLiteral("/Dangling.lnk")));

        QList<APPBLOCK> found;
        QVERIFY(db->ScanDir(root, found));
        QCOMPARE(describe(found), QStringList({"Text Editor|" + editor + "|", "plain link|" + editor + "|"}));
    }

    // A walk never leaves its folder through a link to a folder: not into a loop,
    // not to a folder beside it, not to / (a Wine prefix's "dosdevices/z:").
    void walksStayInsideTheirFolder()
    {
        const QString root = folderPath(QStringLiteral("walk/loop"));
        createFile(root + QStringLiteral("/a/one.exe"));
        createFile(root + QStringLiteral("/b/two.exe"));
        createFile(TestSandbox::path(QStringLiteral("walk/beside/three.exe")));
        QVERIFY(QFile::link(root, root + QStringLiteral("/a/back to root")));
        QVERIFY(QFile::link(root + QStringLiteral("/a"), root + QStringLiteral("/b/to a")));
        QVERIFY(QFile::link(root + QStringLiteral("/b"), root + QStringLiteral("/c")));
        QVERIFY(
            QFile::link(TestSandbox::path(QStringLiteral("walk/beside")), root + QStringLiteral("/beside")));
        QDir().mkpath(root + QStringLiteral("/wine/dosdevices"));
        QVERIFY(QFile::link(QStringLiteral("/"), root + QStringLiteral("/wine/dosdevices/z:")));

        QList<APPBLOCK> found;
        QVERIFY(db->ScanDir(root, found));
        QCOMPARE(describe(found),
                 QStringList({"one.exe|" + root + "/a/one.exe|", "two.exe|" + root + "/b/two.exe|"}));
        // A root that is a link itself is walked, its folder links are not.
        found.clear();
        QVERIFY(db->ScanDir(root + QStringLiteral("/c"), found));
        QCOMPARE(describe(found), QStringList({"two.exe|" + root + "/c/two.exe|"}));
    }

    // The desktop folder set to the home folder (XDG_DESKTOP_DIR="$HOME/") is no
    // desktop folder: a first run with a link to / in the home folder lists only
    // what the sandbox holds.
    void desktopFolderThatIsTheHomeFolderIsNone()
    {
        db.reset();
        removeCatalogFile();
        const QString home = QDir::homePath();
        createFile(home + QStringLiteral("/homeprog.exe"));
        createFile(home + QStringLiteral("/games/game.exe"));
        QDir().mkpath(home + QStringLiteral("/.wine/dosdevices"));
        QVERIFY(QFile::link(QStringLiteral("/"), home + QStringLiteral("/.wine/dosdevices/z:")));
        QVERIFY(QFile::link(QStringLiteral("/"), home + QStringLiteral("/root link")));
        const QString userDirs = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                                 QStringLiteral("/user-dirs.dirs");
        createFile(userDirs, "XDG_DESKTOP_DIR=\"$HOME/\"\n");
        QCOMPARE(QFileInfo(desktopFolder()).canonicalFilePath(), QFileInfo(home).canonicalFilePath());
        createFile(applicationsDir() + QStringLiteral("/menu.exe"));

        db = std::make_unique<ItemDatabase>();
        db->OpenCatalog();
        QFile::remove(userDirs);
        QFile::remove(home + QStringLiteral("/root link"));
        QDir(home + QStringLiteral("/.wine")).removeRecursively();
        QDir(home + QStringLiteral("/games")).removeRecursively();
        QFile::remove(home + QStringLiteral("/homeprog.exe"));
        QCOMPARE(rows(QStringLiteral("SELECT alias FROM ITEMBOX")), QStringList{"menu.exe"});
    }

    // A walk looks at a bounded number of entries, and goes a bounded depth.
    void walksAreBounded()
    {
        const QString root = folderPath(QStringLiteral("walk/big"));
        QString deep = root;
        for (int depth = 1; depth <= 40; ++depth) {
            deep += QStringLiteral("/d");
            createFile(deep + QStringLiteral("/level%1.exe").arg(depth));
        }
        QList<APPBLOCK> found;
        QVERIFY(db->ScanDir(root, found));
        QCOMPARE(found.size(), 32);
        QCOMPARE(found.first().alias, QStringLiteral("level32.exe"));

        const QString wide = folderPath(QStringLiteral("walk/wide"));
        for (int i = 0; i < 50010; ++i) {
            QFile file(wide + QStringLiteral("/p%1.exe").arg(i));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        found.clear();
        QVERIFY(db->ScanDir(wide, found));
        QCOMPARE(found.size(), 50000);
        QDir(wide).removeRecursively();
    }

    void pendingEventsRunDuringAWalk()
    {
        const QString root = folderPath(QStringLiteral("walk/events"));
        createFile(root + QStringLiteral("/x.exe"));
        bool scanning = true;
        bool firedDuringScan = false;
        int posted = 0;
        QTimer::singleShot(0, this, [&] { firedDuringScan = scanning; });
        QObject receiver;
        QMetaObject::invokeMethod(
            &receiver, [&] { posted += scanning ? 1 : 100; }, Qt::QueuedConnection);
        QList<APPBLOCK> found;
        db->ScanDir(root, found);
        scanning = false;
        QVERIFY(firedDuringScan);
        QCOMPARE(posted, 1);

        // ScanAll lets events run between its sources, with nothing to walk too.
        scanning = true;
        firedDuringScan = false;
        QTimer::singleShot(0, this, [&] { firedDuringScan = scanning; });
        db->ScanAll();
        scanning = false;
        QVERIFY(firedDuringScan);
    }

    void uninstallEntries()
    {
        const QString chrome = createFile(itemPath(QStringLiteral("chrome.exe")));
        const QString icon = createFile(itemPath(QStringLiteral("tool.ico")));
        const QString nameless = createFile(itemPath(QStringLiteral("nameless.exe")));
        const QString update = createFile(itemPath(QStringLiteral("update.exe")));
        addUninstallEntry(
            QStringLiteral("{8A69D345-D564-463C-AFF1-A69D9E530F96}"),
            {{"DisplayName", "Google Chrome"}, {"DisplayIcon", chrome}, {"DisplayVersion", "120.0"}});
        addUninstallEntry(QStringLiteral("KB2345678"),
                          {{"DisplayName", "Security Update"}, {"DisplayIcon", update}});
        addUninstallEntry(QStringLiteral("Office-KBfix"), {{"DisplayName", "Fix"}, {"DisplayIcon", update}});
        addUninstallEntry(QStringLiteral("kb lower"), {{"DisplayName", "Lower kb"}, {"DisplayIcon", update}});
        addUninstallEntry(QStringLiteral("IconIndex"),
                          {{"DisplayName", "Indexed"}, {"DisplayIcon", chrome + ",0"}});
        addUninstallEntry(QStringLiteral("OtherSuffix"), {{"DisplayName", "Iconic"}, {"DisplayIcon", icon}});
        addUninstallEntry(QStringLiteral("Uninstaller"),
                          {{"DisplayIcon", itemPath(QStringLiteral("uninst.ico"))}, {"DisplayName", "Gone"}});
        addUninstallEntry(QStringLiteral("Missing"),
                          {{"DisplayName", "Missing"}, {"DisplayIcon", "/no/such.exe"}});
        addUninstallEntry(QStringLiteral("Nameless"), {{"DisplayIcon", nameless}});
        addUninstallEntry(
            QStringLiteral("Nested"),
            {{"DisplayIcon", update}, {"Details/DisplayName", "From a subkey"}, {"DisplayVersion", "3"}});
        addUninstallEntry(QStringLiteral("NoIcon"), {{"DisplayName", "No icon"}});

        QList<APPBLOCK> found;
        db->ScanUninstall(found);
        // In the order of the subkeys' names.
        QCOMPARE(describe(found), QStringList({
                                      "|" + nameless + "|",
                                      "From a subkey|" + update + "|3",
                                      "Iconic|" + icon + "|",
                                      "Lower kb|" + update + "|",
                                      "Google Chrome|" + chrome + "|120.0",
                                  }));

        db->ScanAll();
        QCOMPARE(rows(QStringLiteral("SELECT alias,type,info FROM ITEMBOX WHERE path = '") + chrome + "'"),
                 QStringList{"Google Chrome|APP|120.0"});
        QCOMPARE(search(*db, QStringLiteral("Chrome")), QStringList{"Google Chrome"});
    }

    void appPaths()
    {
        const QString chrome = createFile(itemPath(QStringLiteral("chrome.exe")));
        const QString upper = createFile(itemPath(QStringLiteral("WORD.EXE")));
        const QString mixed = createFile(itemPath(QStringLiteral("mixed.Exe")));
        const QString dotted = createFile(itemPath(QStringLiteral("multi.app.exe")));
        const QString other = createFile(itemPath(QStringLiteral("other.exe")));
        addAppPath(QStringLiteral("chrome.exe"), {{"Default", chrome}, {"Path", itemPath(QString())}});
        addAppPath(QStringLiteral("winword.exe"), {{"Default", upper}});
        addAppPath(QStringLiteral("mixed.exe"), {{"Default", mixed}});
        addAppPath(QStringLiteral("multi"), {{"A", itemPath(QStringLiteral("readme.txt"))}, {"B", dotted}});
        addAppPath(QStringLiteral("firstMissing"), {{"A", "/no/such.exe"}, {"B", other}});
        addAppPath(QStringLiteral("noExe"), {{"Default", itemPath(QStringLiteral("tool.com"))}});

        QList<APPBLOCK> found;
        db->ScanAppPaths(found);
        QCOMPARE(describe(found),
                 QStringList({"chrome|" + chrome + "|", "multi|" + dotted + "|", "WORD|" + upper + "|"}));
    }

    void registryKeyIniFiles()
    {
        RegistryKey key(QStringLiteral("HKEY_CURRENT_USER\\Software\\Tolvane Test"));
        key.setValue(QStringLiteral("Plain"), QStringLiteral("C:\\Program Files\\a.exe,0"));
        key.setValue(QStringLiteral("Sub/Nested"), 7);
        key.sync();
        QVERIFY(QFile::exists(TestSandbox::path(QStringLiteral("registry/HKEY_CURRENT_USER.ini"))));

        const RegistryKey read(QStringLiteral("HKEY_CURRENT_USER\\Software\\Tolvane Test"));
        QCOMPARE(read.value(QStringLiteral("Plain")).toString(),
                 QStringLiteral("C:\\Program Files\\a.exe,0"));
        QCOMPARE(read.allKeys(), QStringList({"Plain", "Sub/Nested"}));
        QCOMPARE(read.childGroups(), QStringList{"Sub"});
        QVERIFY(read.contains(QStringLiteral("Sub/Nested")));
        QCOMPARE(read.value(QStringLiteral("Missing"), QStringLiteral("d")).toString(), QStringLiteral("d"));
        const RegistryKey parent(QStringLiteral("HKEY_CURRENT_USER\\Software"));
        QCOMPARE(parent.childGroups(), QStringList{"Tolvane Test"});

        // A hand-written value with a comma reads back whole.
        createFile(TestSandbox::path(QStringLiteral("registry/HKEY_USERS.ini")), "[Key]\nIcon=a.exe,0\n");
        QCOMPARE(RegistryKey(QStringLiteral("HKEY_USERS\\Key")).value(QStringLiteral("Icon")).toString(),
                 QStringLiteral("a.exe,0"));

        // Without the registry folder there is no registry.
        const QByteArray folder = qgetenv("TOLVANE_REGISTRY_DIR");
        qunsetenv("TOLVANE_REGISTRY_DIR");
        RegistryKey none(QStringLiteral("HKEY_CURRENT_USER\\Software\\Tolvane Test"));
        none.setValue(QStringLiteral("Other"), 1);
        none.sync();
        const bool empty = none.allKeys().isEmpty() && none.childGroups().isEmpty() &&
                           !none.value(QStringLiteral("Plain")).isValid();
        qputenv("TOLVANE_REGISTRY_DIR", folder);
        QVERIFY(empty);
        QVERIFY(!RegistryKey(QStringLiteral("HKEY_CURRENT_USER\\Software\\Tolvane Test"))
                     .contains(QStringLiteral("Other")));
    }

    void desktopEntries()
    {
        const QString systemApps = folderPath(QStringLiteral("xdg-data-dirs/applications"));
        const QString shown =
            writeDesktopEntry(QStringLiteral("shown.desktop"), QStringLiteral("Shown Editor"));
        const QString full =
            writeDesktopEntry(QStringLiteral("gimp.desktop"), QStringLiteral("GIMP"),
                              {QStringLiteral("X-GNOME-FullName=GNU Image Manipulation Program")});
        const QString nested =
            writeDesktopEntry(QStringLiteral("kde/viewer.desktop"), QStringLiteral("Viewer"));
        writeDesktopEntry(QStringLiteral("hidden.desktop"), QStringLiteral("Hidden One"), {"Hidden=true"});
        writeDesktopEntry(QStringLiteral("nodisplay.desktop"), QStringLiteral("No Display"),
                          {"NoDisplay=true"});
        writeDesktopEntry(QStringLiteral("elsewhere.desktop"), QStringLiteral("Elsewhere"),
                          {"OnlyShowIn=NoSuchDesktop;"});
        writeRawDesktopEntry(QStringLiteral("broken.desktop"), "this is not a desktop entry\n\x01\x02\xff");
        writeRawDesktopEntry(QStringLiteral("noexec.desktop"),
                             "[Desktop Entry]\nType=Application\nName=No Exec\n");
        writeRawDesktopEntry(QStringLiteral("link.desktop"),
                             "[Desktop Entry]\nType=Link\nName=A Link\nURL=https://example.org/\n");
        writeRawDesktopEntry(QStringLiteral("notapp.txt"),
                             "[Desktop Entry]\nType=Application\nName=Txt\nExec=true\n");
        writeDesktopEntry(QStringLiteral("tryexec.desktop"), QStringLiteral("Try Exec"),
                          {"TryExec=/no/such/program"});
        QVERIFY(QFile::link(TestSandbox::path(QStringLiteral("none.desktop")),
                            applicationsDir() + QStringLiteral("/dangling.desktop")));
        const QString locked = writeDesktopEntry(QStringLiteral("locked.desktop"), QStringLiteral("Locked"));
        QFile::setPermissions(locked, QFileDevice::Permissions());
        const bool canReadLocked = geteuid() == 0; // root reads it anyway
        // System entries: one shown, one masked by the user's hidden entry of the same id.
        const QString system = writeDesktopEntry(QStringLiteral("system.desktop"),
                                                 QStringLiteral("System Tool"), {}, systemApps);
        writeDesktopEntry(QStringLiteral("hidden.desktop"), QStringLiteral("Hidden System"), {}, systemApps);
        writeDesktopEntry(QStringLiteral("shown.desktop"), QStringLiteral("Masked Editor"), {}, systemApps);

        // GIO learns of files written after an earlier listing in this process from
        // its own folder monitors, a moment later: the scan waits until it lists them.
        QStringList listedFiles = {full, nested, shown, system};
        if (canReadLocked)
            listedFiles.append(locked);
        listedFiles.sort();
        const auto installed = [] {
            QStringList files;
            for (const InstalledApps::App &app : InstalledApps::list())
                files.append(app.desktopFile);
            files.sort();
            return files;
        };
        QTRY_COMPARE_WITH_TIMEOUT(installed(), listedFiles, 15000);

        QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
        db->ScanAll();
        // Named as menus show them (Name, not X-GNOME-FullName).
        QStringList expected = {"GIMP|" + full + "|APP|", "Viewer|" + nested + "|APP|",
                                "Shown Editor|" + shown + "|APP|", "System Tool|" + system + "|APP|"};
        if (canReadLocked)
            expected.insert(2, "Locked|" + locked + "|APP|");
        QCOMPARE(rows(QStringLiteral("SELECT alias,path,type,info FROM ITEMBOX ORDER BY rowid")), expected);

        // A rescan in the same process, once GIO has noticed the changes, sees new
        // and changed entries, and those that are gone go.
        InstalledApps::Monitor monitor;
        QSignalSpy notice(&monitor, &InstalledApps::Monitor::changed);
        const QString added =
            writeDesktopEntry(QStringLiteral("added.desktop"), QStringLiteral("Added Later"));
        writeDesktopEntry(QStringLiteral("shown.desktop"), QStringLiteral("Renamed Editor"));
        QFile::remove(nested);
        QTRY_VERIFY_WITH_TIMEOUT(notice.count() > 0, 15000);
        db->ScanAll();
        QCOMPARE(search(*db, QStringLiteral("Added")), QStringList{"Added Later"});
        QCOMPARE(search(*db, QStringLiteral("Editor")), QStringList{"Renamed Editor"});
        QCOMPARE(search(*db, QStringLiteral("Viewer")), QStringList());
        QCOMPARE(db->GetItemCount(), QString::number(expected.size()));
    }

    void secondScanAllWalksNoFolder()
    {
        // A store that loaded its file has walked nothing yet.
        db.reset();
        db = std::make_unique<ItemDatabase>();
        db->OpenCatalog();
        createFile(desktopFolder() + QStringLiteral("/desk.exe"));
        createFile(applicationsDir() + QStringLiteral("/wine/menu.exe"));
        createFile(db->GetSpecialFolder(7) + QStringLiteral("/startup.exe"));
        db->ScanAll();
        QCOMPARE(rows(QStringLiteral("SELECT alias FROM ITEMBOX ORDER BY alias")),
                 QStringList({"desk.exe", "menu.exe", "startup.exe"}));

        createFile(desktopFolder() + QStringLiteral("/later.exe"));
        const QString app = createFile(itemPath(QStringLiteral("registered.exe")));
        addAppPath(QStringLiteral("registered.exe"), {{"Default", app}});
        QString renamed = desktopFolder() + QStringLiteral("/desk.exe");
        db->AddItem(renamed, QStringLiteral("my desk"), QStringLiteral("APP"), QString());
        db->ScanAll();
        // The registry is read again; the folders are not walked again.
        QCOMPARE(rows(QStringLiteral("SELECT alias FROM ITEMBOX ORDER BY alias")),
                 QStringList({"menu.exe", "my desk", "registered", "startup.exe"}));
    }

    void firstRunDiscoversAndLaterStartsDoNot()
    {
        db.reset();
        removeCatalogFile();
        createFile(desktopFolder() + QStringLiteral("/desk.exe"));
        QVERIFY(waitUntilInstalled(
            {writeDesktopEntry(QStringLiteral("app.desktop"), QStringLiteral("Desktop App"))}));
        const QString app = createFile(itemPath(QStringLiteral("registered.exe")));
        addAppPath(QStringLiteral("registered.exe"), {{"Default", app}});
        db = std::make_unique<ItemDatabase>();
        db->OpenCatalog();
        QCOMPARE(rows(QStringLiteral("SELECT alias,type FROM ITEMBOX ORDER BY alias")),
                 QStringList({"Desktop App|APP", "desk.exe|APP", "registered|APP"}));
        QVERIFY(db->DeleteItem(app));
        db.reset();

        db = std::make_unique<ItemDatabase>();
        db->OpenCatalog();
        QCOMPARE(db->GetItemCount(), QStringLiteral("2"));
    }
};

TOLVANE_TEST_MAIN(TestDiscovery)
#include "test_discovery.moc"
