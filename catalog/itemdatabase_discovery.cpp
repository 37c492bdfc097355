#include "itemdatabase.h"

#include "installedapps.h"
#include "registrykey.h"
#include "specialfolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSqlQuery>

#include <algorithm>

namespace {

const QString UninstallKey =
    QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
const QString AppPathsKey =
    QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths");

// The program test of the folder walk (every part case-sensitive).
bool isProgram(const QString &path)
{
    return path.endsWith(QLatin1String(".exe")) && !path.endsWith(QLatin1String("setup.exe"));
}

bool isInstallerName(const QString &fileName)
{
    return fileName.contains(QLatin1String("unins")) || fileName.contains(QLatin1String("setup"));
}

} // namespace

void ItemDatabase::ScanAll()
{
    // Every source first, with pending events run between them, then everything
    // found is stored in one go, in the order found.
    scanning = true;
    QList<APPBLOCK> found;
    ScanUninstall(found);
    QCoreApplication::processEvents();
    const QList<InstalledApps::App> apps = InstalledApps::list();
    appFinder.setApps(apps);
    for (const InstalledApps::App &app : apps)
        found.append({app.desktopFile, app.name, QString(), {}, {}, {}, {}});
    QCoreApplication::processEvents();
    for (int folder : {2, 0, 16, 11, 7}) {
        ScanSpecialFolder(folder, found);
        QCoreApplication::processEvents();
    }
    ScanAppPaths(found);
    scanning = false;
    StoreRecords(found, QStringLiteral("APP"), &apps);
}

void ItemDatabase::followInstalledApps()
{
    // A scan under way has listed them before this notice: after it, again.
    if (scanning) {
        appsSettle.start(300);
        return;
    }
    const QList<InstalledApps::App> apps = InstalledApps::list();
    appFinder.setApps(apps);
    QList<APPBLOCK> found;
    for (const InstalledApps::App &app : apps)
        found.append({app.desktopFile, app.name, QString(), {}, {}, {}, {}});
    StoreRecords(found, QStringLiteral("APP"), &apps);
}

void ItemDatabase::StoreRecords(const QList<APPBLOCK> &list, const QString &type,
                                const QList<InstalledApps::App> *apps)
{
    // The rows AddItem leaves for each record in turn, in one go: a path found
    // twice is stored where it was first found, with its last values, and a row
    // that holds the values already is left alone, so a pass that finds nothing
    // new writes nothing. An alias the user gave stays. The stored paths are read
    // into one map instead of AddItem's scan per record; a path that several rows
    // hold (-1) is updated by path, as AddItem does. A path with half a surrogate
    // pair (which reaches SQLite changed) is looked up by the statement.
    QList<APPBLOCK> records;
    QHash<QString, qsizetype> firstFound;
    for (APPBLOCK record : list) {
        record.path.replace(QLatin1Char('\\'), QLatin1Char('/'));
        if (const qsizetype at = firstFound.value(record.path, -1); at >= 0) {
            records[at] = record;
        } else {
            firstFound.insert(record.path, records.size());
            records.append(record);
        }
    }
    QHash<QString, qint64> rowOfPath;
    const auto readPaths = [&] {
        rowOfPath.clear();
        QSqlQuery query(db);
        query.setForwardOnly(true);
        query.exec(QStringLiteral("SELECT path,rowid from ITEMBOX"));
        while (query.next()) {
            const QString path = query.value(0).toString();
            if (query.value(0).typeId() == QMetaType::QString &&
                !query.isNull(0)) // only a text equals a text
                rowOfPath.insert(path, rowOfPath.contains(path) ? -1 : query.value(1).toLongLong());
        }
    };
    readPaths();
    const QHash<qint64, QStringList> userAliases = readNotes(QStringLiteral("ALIAS"));
    QHash<qint64, QStringList> entries =
        apps ? readNotes(QStringLiteral("ENTRY")) : QHash<qint64, QStringList>();
    QSet<QString> listed;
    for (const InstalledApps::App &app : apps ? *apps : QList<InstalledApps::App>())
        listed.insert(app.desktopFile);
    // Desktop entries whose items the user deleted: left out while they stay.
    QSet<QString> deleted;
    QSqlQuery notes(QStringLiteral("SELECT path FROM ITEMNOTE WHERE kind = 'DELETED'"), db);
    while (apps && notes.next())
        deleted.insert(notes.value(0).toString());
    searchRowsRead = false;
    // What discovery stores is found again on the file's catalog, not done again.
    storingFindings = true;
    bool changedRows = false;
    QSqlQuery query(db);
    const auto run = [&](const QString &statement, const QVariantList &values) {
        query.prepare(statement);
        for (const QVariant &value : values)
            query.addBindValue(value);
        changedRows |= query.exec() && query.numRowsAffected() > 0;
    };
    db.transaction();

    // An entry that an upgrade renamed (a new file, the same command line and
    // name) takes over the item of the old one, which went: its rowid, learning,
    // launch count and alias.
    for (const InstalledApps::App &app : apps ? *apps : QList<InstalledApps::App>()) {
        if (rowOfPath.contains(app.desktopFile))
            continue;
        for (auto entry = entries.begin(); entry != entries.end(); ++entry) {
            QStringList &note = entry.value(); // path, command line, name
            if (listed.contains(note[0]) || note[1] != app.exec || note[2] != app.name)
                continue;
            run(QStringLiteral("UPDATE ITEMBOX set path = ? where rowid = ?"),
                {app.desktopFile, entry.key()});
            writeNote(QStringLiteral("UPDATE ITEMNOTE set path = ? where ITEMBOX_ID = ?"),
                      {app.desktopFile, entry.key()});
            rowOfPath.remove(note[0]);
            rowOfPath.insert(app.desktopFile, entry.key());
            note[0] = app.desktopFile;
            break;
        }
    }

    for (const APPBLOCK &record : std::as_const(records)) {
        const QString &path = record.path;
        if (deleted.contains(path) && listed.contains(path))
            continue;
        const QString spaced = SpaceText(record.alias);
        qint64 rowid = -1;
        bool known;
        if (path.isValidUtf16()) {
            known = rowOfPath.contains(path);
            rowid = rowOfPath.value(path, -1);
        } else {
            query.prepare(QStringLiteral("SELECT rowid from ITEMBOX WHERE path=?"));
            query.addBindValue(path);
            known = query.exec() && query.next();
            query.finish();
        }
        if (!known) {
            run(QStringLiteral("INSERT INTO ITEMBOX (path,alias,type,info,ind) values(?,?,?,?,?)"),
                {path, record.alias, type, record.info, spaced});
            if (!path.isValidUtf16())
                readPaths();
            else if (query.lastInsertId().isValid())
                rowOfPath.insert(path, query.lastInsertId().toLongLong());
        } else if (userAliases.contains(rowid)) {
            run(QStringLiteral("UPDATE ITEMBOX set info=? where rowid = ? AND info IS NOT ?"),
                {record.info, rowid, record.info});
        } else {
            const QString where = rowid == -1 ? QStringLiteral("path") : QStringLiteral("rowid");
            run(QStringLiteral("UPDATE ITEMBOX set alias=?, info=?, ind = ? where %1 = ? AND "
                               "(alias IS NOT ? OR info IS NOT ? OR ind IS NOT ?)")
                    .arg(where),
                {record.alias, record.info, spaced, rowid == -1 ? QVariant(path) : QVariant(rowid),
                 record.alias, record.info, spaced});
        }
    }

    if (apps) {
        // The desktop entry of each item, for the renames to come.
        for (const InstalledApps::App &app : *apps) {
            const qint64 rowid = rowOfPath.value(app.desktopFile, -1);
            const QStringList note = {app.desktopFile, app.exec, app.name};
            if (rowid != -1 && entries.value(rowid) != note) {
                writeNote(
                    QStringLiteral("INSERT OR REPLACE INTO ITEMNOTE (ITEMBOX_ID, kind, path, exec, name) "
                                   "VALUES (?, 'ENTRY', ?, ?, ?)"),
                    {rowid, app.desktopFile, app.exec, app.name});
                changedRows = true;
            }
        }
        // Items whose desktop entry went, with their learning; nothing else. A
        // deleted entry that comes again comes back.
        for (auto entry = entries.cbegin(); entry != entries.cend(); ++entry) {
            if (!listed.contains(entry.value()[0])) {
                DeleteItem(entry.value()[0]);
                deleted.insert(entry.value()[0]);
                changedRows = true;
            }
        }
        for (const QString &path : std::as_const(deleted)) {
            if (!listed.contains(path))
                run(QStringLiteral("DELETE FROM ITEMNOTE WHERE kind = 'DELETED' AND path = ?"), {path});
        }
    }
    db.commit();
    storingFindings = false;
    if (changedRows) {
        changed();
        emit notices.itemsChanged();
    }
}

void ItemDatabase::AddTools()
{
    static const char *const systemTools[] = {"calc",     "mspaint", "write", "cmd",    "dxdiag",
                                              "msconfig", "mstsc",   "ping",  "telnet", "notepad"};
    QList<APPBLOCK> tools;
    const auto add = [&tools](const QString &folder, const char *name) {
        const QString tool = QString::fromLatin1(name);
        tools.append(
            {folder + QLatin1Char('\\') + tool + QStringLiteral(".exe"), tool, QString(), {}, {}, {}, {}});
    };
    const QString system = GetSpecialFolder(37);
    if (!system.isEmpty()) {
        for (const char *name : systemTools)
            add(system, name);
    }
    const QString windows = GetSpecialFolder(36);
    if (!windows.isEmpty())
        add(windows, "regedit");
    StoreRecords(tools, QStringLiteral("TOOL"));
}

void ItemDatabase::ScanSpecialFolder(int folder, QList<APPBLOCK> &list)
{
    const QString path = GetSpecialFolder(folder);
    // A folder set to the home folder is the XDG way of saying there is none
    // (xdg-user-dirs writes XDG_DESKTOP_DIR="$HOME/" when ~/Desktop is missing).
    if (path.isEmpty() || scannedFolders.contains(path) ||
        QFileInfo(path).canonicalFilePath() == QFileInfo(QDir::homePath()).canonicalFilePath())
        return;
    scannedFolders.append(path);
    ScanDir(path, list);
}

bool ItemDatabase::ScanDir(const QString &folder, QList<APPBLOCK> &list)
{
    if (!QFileInfo(folder).isDir())
        return false;
    // The walk stays inside the folder: it never follows a link to a folder (a
    // Wine prefix links to /). It looks at WalkEntries entries at most and goes
    // WalkDepth folders deep at most, so an enormous tree (or a bind mount of a
    // folder into itself) ends within a second or so.
    int entriesLeft = WalkEntries;
    WalkDir(folder, list, 0, entriesLeft);
    return true;
}

void ItemDatabase::WalkDir(const QString &folder, QList<APPBLOCK> &list, int depth, int &entriesLeft)
{
    // In the folder listing's order (folders first, then by name), of the entries
    // still allowed.
    QFileInfoList entries;
    QDirIterator it(folder, QDir::Files | QDir::System | QDir::AllDirs | QDir::NoDotAndDotDot);
    while (entriesLeft > 0 && it.hasNext()) {
        it.next();
        entries.append(it.fileInfo());
        --entriesLeft;
    }
    std::sort(entries.begin(), entries.end(), [](const QFileInfo &a, const QFileInfo &b) {
        return a.isDir() != b.isDir() ? a.isDir() : a.fileName() < b.fileName();
    });
    for (const QFileInfo &entry : std::as_const(entries)) {
        QCoreApplication::processEvents();
        if (entry.isDir()) {
            if (!entry.isSymLink() && depth < WalkDepth)
                WalkDir(entry.filePath(), list, depth + 1, entriesLeft);
        } else if (!entry.isSymLink()) {
            // Only regular files: FIFOs, devices and sockets are never items.
            if (entry.isFile() && isProgram(entry.filePath()) && !isInstallerName(entry.fileName()))
                list.append({entry.filePath(), entry.fileName(), QString(), {}, {}, {}, {}});
        } else {
            // A shortcut is listed under its own name without the extension,
            // pointing at its target, when the target is an existing program.
            const QFileInfo target(entry.symLinkTarget());
            if (target.isFile() && isProgram(target.filePath()) && !isInstallerName(target.fileName()))
                list.append({target.filePath(), entry.completeBaseName(), QString(), {}, {}, {}, {}});
        }
    }
}

void ItemDatabase::ScanUninstall(QList<APPBLOCK> &list)
{
    static const QRegularExpression updateName(QStringLiteral("(KB)[A-Za-z0-9]*"));
    const RegistryKey uninstall(UninstallKey);
    for (const QString &sub : uninstall.childGroups()) {
        if (updateName.match(sub).hasMatch())
            continue;
        const RegistryKey key(UninstallKey + QLatin1Char('\\') + sub);
        APPBLOCK record;
        for (const QString &name : key.allKeys()) {
            const QString value = key.value(name).toString();
            if (name.contains(QLatin1String("DisplayName"))) {
                record.alias = value;
            } else if (name.contains(QLatin1String("DisplayIcon"))) {
                const QFileInfo icon(value);
                if (icon.suffix() == QLatin1String("exe"))
                    record.path = value;
                else if (icon.fileName().contains(QLatin1String("uninst")))
                    break;
                else
                    record.path = value;
            } else if (name.contains(QLatin1String("DisplayVersion"))) {
                record.info = value;
            }
        }
        if (!record.path.isEmpty() && QFileInfo::exists(record.path))
            list.append(record);
    }
}

void ItemDatabase::ScanAppPaths(QList<APPBLOCK> &list)
{
    const RegistryKey appPaths(AppPathsKey);
    for (const QString &sub : appPaths.childGroups()) {
        const RegistryKey key(AppPathsKey + QLatin1Char('\\') + sub);
        for (const QString &name : key.allKeys()) {
            const QString value = key.value(name).toString();
            const QFileInfo file(value);
            if (file.suffix() != QLatin1String("exe") && file.suffix() != QLatin1String("EXE"))
                continue;
            if (file.exists())
                list.append({value, file.baseName(), QString(), {}, {}, {}, {}});
            break;
        }
    }
}

QString ItemDatabase::GetSpecialFolder(int folder)
{
    return SpecialFolders::path(folder);
}
