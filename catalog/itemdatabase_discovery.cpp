#include "itemdatabase.h"

#include "installedapps.h"
#include "registrykey.h"
#include "specialfolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

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
    QList<APPBLOCK> list;
    ScanUninstall(list);
    StoreRecords(list);
    QCoreApplication::processEvents();

    list.clear();
    ScanInstalledApps(list);
    StoreRecords(list);
    QCoreApplication::processEvents();

    for (int folder : {2, 0, 16, 11, 7}) {
        list.clear();
        ScanSpecialFolder(folder, list);
        StoreRecords(list);
        QCoreApplication::processEvents();
    }

    list.clear();
    ScanAppPaths(list);
    StoreRecords(list);
}

void ItemDatabase::StoreRecords(const QList<APPBLOCK> &list)
{
    for (const APPBLOCK &record : list) {
        QString path = record.path;
        AddItem(path, record.alias, QStringLiteral("APP"), record.info);
    }
}

void ItemDatabase::AddTools()
{
    static const char *const systemTools[] = {"calc",     "mspaint", "write", "cmd",    "dxdiag",
                                              "msconfig", "mstsc",   "ping",  "telnet", "notepad"};
    const auto store = [this](const QString &folder, const char *name) {
        const QString tool = QString::fromLatin1(name);
        QString path = folder + QLatin1Char('\\') + tool + QStringLiteral(".exe");
        AddItem(path, tool, QStringLiteral("TOOL"), QString());
    };
    const QString system = GetSpecialFolder(37);
    if (!system.isEmpty()) {
        for (const char *name : systemTools)
            store(system, name);
    }
    const QString windows = GetSpecialFolder(36);
    if (!windows.isEmpty())
        store(windows, "regedit");
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
