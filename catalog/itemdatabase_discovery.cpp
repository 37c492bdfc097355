#include "itemdatabase.h"

#include "installedapps.h"
#include "registrykey.h"
#include "specialfolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSqlQuery>

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
    QList<APPBLOCK> found;
    ScanUninstall(found);
    QCoreApplication::processEvents();
    ScanInstalledApps(found);
    QCoreApplication::processEvents();
    for (int folder : {2, 0, 16, 11, 7}) {
        ScanSpecialFolder(folder, found);
        QCoreApplication::processEvents();
    }
    ScanAppPaths(found);
    StoreRecords(found, QStringLiteral("APP"));
}

void ItemDatabase::StoreRecords(const QList<APPBLOCK> &list, const QString &type)
{
    // The rows AddItem leaves for each record in turn, in one go: a path found
    // twice is stored where it was first found, with its last values, and a row
    // that holds the values already is left alone, so a pass that finds nothing
    // new writes nothing. The stored paths are read into one map instead of
    // AddItem's scan per record; a path that several rows hold (-1) is updated by
    // path, as AddItem does. Half a surrogate pair reaches SQLite changed: such a
    // path goes through AddItem itself.
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
    searchRowsRead = false;
    QSqlQuery query(db);
    db.transaction();
    for (APPBLOCK &record : records) {
        const QString spaced = SpaceText(record.alias);
        const auto found = rowOfPath.constFind(record.path);
        if (!record.path.isValidUtf16()) {
            AddItem(record.path, record.alias, type, record.info);
            readPaths();
        } else if (found == rowOfPath.constEnd()) {
            query.prepare(QStringLiteral("INSERT INTO ITEMBOX (path,alias,type,info,ind) values(?,?,?,?,?)"));
            for (const QString &value : {record.path, record.alias, type, record.info, spaced})
                query.addBindValue(value);
            if (query.exec())
                rowOfPath.insert(record.path, query.lastInsertId().toLongLong());
        } else {
            const qint64 rowid = *found;
            query.prepare(QStringLiteral("UPDATE ITEMBOX set alias=?, info=?, ind = ? where %1 = ? AND "
                                         "(alias IS NOT ? OR info IS NOT ? OR ind IS NOT ?)")
                              .arg(rowid == -1 ? QLatin1String("path") : QLatin1String("rowid")));
            for (const QVariant &value : {QVariant(record.alias), QVariant(record.info), QVariant(spaced),
                                          rowid == -1 ? QVariant(record.path) : QVariant(rowid),
                                          QVariant(record.alias), QVariant(record.info), QVariant(spaced)})
                query.addBindValue(value);
            query.exec();
        }
    }
    db.commit();
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
    if (path.isEmpty() || scannedFolders.contains(path))
        return;
    scannedFolders.append(path);
    ScanDir(path, list);
}

bool ItemDatabase::ScanDir(const QString &folder, QList<APPBLOCK> &list)
{
    if (!QFileInfo(folder).isDir())
        return false;
    QSet<QString> entered;
    WalkDir(folder, list, entered);
    return true;
}

void ItemDatabase::WalkDir(const QString &folder, QList<APPBLOCK> &list, QSet<QString> &entered)
{
    const QFileInfo self(folder);
    const QString real = self.canonicalFilePath();
    if (real.isEmpty() || entered.contains(real))
        return;
    entered.insert(real);

    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::Files | QDir::System | QDir::AllDirs | QDir::NoDotAndDotDot, QDir::Name | QDir::DirsFirst);
    for (const QFileInfo &entry : entries) {
        QCoreApplication::processEvents();
        if (entry.isDir()) {
            WalkDir(entry.filePath(), list, entered);
        } else if (!entry.isSymLink()) {
            if (isProgram(entry.filePath()) && !isInstallerName(entry.fileName()))
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

void ItemDatabase::ScanInstalledApps(QList<APPBLOCK> &list)
{
    for (const InstalledApps::App &app : InstalledApps::list())
        list.append({app.desktopFile, app.name, QString(), {}, {}, {}, {}});
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
