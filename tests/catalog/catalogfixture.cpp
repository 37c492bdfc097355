#include "catalogfixture.h"
#include "installedapps.h"

#include "registrykey.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>

#include <QTest>
#include <unistd.h>

#include <algorithm>

namespace CatalogFixture {

const QString UninstallKey =
    QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall");
const QString AppPathsKey =
    QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths");

void removeCatalogFile()
{
    // With its journal and every copy set aside.
    const QFileInfo file(ItemDatabase::databaseFile());
    for (const QString &name : QDir(file.path()).entryList({file.fileName() + QLatin1Char('*')}, QDir::Files))
        QFile::remove(file.path() + QLatin1Char('/') + name);
}

AsOrdinaryUser::AsOrdinaryUser() : root(::geteuid() == 0)
{
    if (!root)
        return;
    for (QDir dir(QFileInfo(ItemDatabase::databaseFile()).path());
         dir.absolutePath().startsWith(QDir::cleanPath(TestSandbox::path(QString()))); dir.cdUp()) {
        const QFileInfo folder(dir.absolutePath());
        QFile::setPermissions(folder.filePath(), folder.permissions() | ReadOnlyFolder);
    }
    QFile::setPermissions(QDir::tempPath(),
                          ReadOnlyFolder | QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther);
    if (::seteuid(65534) != 0)
        qFatal("cannot act as nobody");
}

AsOrdinaryUser::~AsOrdinaryUser()
{
    if (root && ::seteuid(0) != 0)
        qFatal("cannot act as root again");
}

void resetSandbox()
{
    removeCatalogFile();
    QDir(applicationsDir()).removeRecursively();
    QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QStringLiteral("/autostart"))
        .removeRecursively();
    QDir desktop(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
    for (const QFileInfo &entry :
         desktop.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (entry.isDir() && !entry.isSymLink())
            QDir(entry.filePath()).removeRecursively();
        else
            QFile::remove(entry.filePath());
    }
    clearRegistry();
}

void openFresh(ItemDatabase &db)
{
    removeCatalogFile();
    db.OpenCatalog();
}

std::unique_ptr<ItemDatabase> openFreshCatalog()
{
    auto db = std::make_unique<ItemDatabase>();
    openFresh(*db);
    return db;
}

QString createFile(const QString &path, const QByteArray &contents)
{
    const QFileInfo info(path);
    QDir().mkpath(info.absolutePath());
    QFile file(info.absoluteFilePath());
    if (file.open(QIODevice::WriteOnly))
        file.write(contents);
    return info.absoluteFilePath();
}

QString itemPath(const QString &fileName)
{
    return TestSandbox::path(QStringLiteral("items/") + fileName);
}

QString addItem(ItemDatabase &db, const QString &alias, const QString &path, bool createTarget,
                const QString &type, const QString &info)
{
    if (createTarget)
        createFile(path);
    QString stored = path;
    if (!db.AddItem(stored, alias, type, info))
        return QString();
    return rowidOf(stored);
}

QString addNamedItem(ItemDatabase &db, const QString &alias, bool createTarget)
{
    return addItem(db, alias, itemPath(alias + QStringLiteral(".exe")), createTarget);
}

QString rowidOf(const QString &path)
{
    QSqlQuery query;
    query.prepare(QStringLiteral("SELECT rowid FROM ITEMBOX WHERE path = ?"));
    query.addBindValue(path);
    if (query.exec() && query.next())
        return query.value(0).toString();
    return QString();
}

void launch(ItemDatabase &db, const QString &rowid, const QString &text, int times)
{
    for (int i = 0; i < times; ++i) {
        db.AddQuick(rowid, text);
        db.AddTop(rowid);
    }
}

QStringList aliases(const QList<APPBLOCK> &records)
{
    QStringList names;
    for (const APPBLOCK &record : records)
        names.append(record.alias);
    return names;
}

QStringList search(ItemDatabase &db, const QString &text, int maxCount)
{
    QList<APPBLOCK> found;
    db.SearchItems(text, found, maxCount);
    return aliases(found);
}

QStringList rows(const QString &sql)
{
    QStringList result;
    QSqlQuery query;
    query.setForwardOnly(true);
    if (!query.exec(sql))
        return {QStringLiteral("<failed: %1>").arg(sql)};
    while (query.next()) {
        QStringList columns;
        for (int i = 0; i < query.record().count(); ++i)
            columns.append(query.value(i).toString());
        result.append(columns.join(QLatin1Char('|')));
    }
    return result;
}

QStringList snapshot()
{
    return rows(QStringLiteral("SELECT rowid,path,alias,type,info,ind FROM ITEMBOX ORDER BY rowid")) +
           rows(QStringLiteral("SELECT id,key,exec,hot FROM QUICK ORDER BY id")) +
           rows(QStringLiteral("SELECT id,ITEMBOX_ID,topnum FROM TOP ORDER BY id"));
}

QString applicationsDir()
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                        QStringLiteral("/applications");
    QDir().mkpath(dir);
    return dir;
}

QString writeRawDesktopEntry(const QString &fileName, const QByteArray &contents, const QString &folder)
{
    const QString dir = folder.isEmpty() ? applicationsDir() : folder;
    return createFile(dir + QLatin1Char('/') + fileName, contents);
}

QString writeDesktopEntry(const QString &fileName, const QString &name, const QStringList &extraLines,
                          const QString &folder, const QString &exec)
{
    QStringList lines = {QStringLiteral("[Desktop Entry]"), QStringLiteral("Type=Application"),
                         QStringLiteral("Name=") + name, QStringLiteral("Exec=") + exec};
    lines += extraLines;
    return writeRawDesktopEntry(fileName, (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8(),
                                folder);
}

bool waitUntilInstalled(const QStringList &files)
{
    return QTest::qWaitFor(
        [&files] {
            QStringList listed;
            for (const InstalledApps::App &app : InstalledApps::list())
                listed.append(app.desktopFile);
            return std::all_of(files.cbegin(), files.cend(),
                               [&listed](const QString &file) { return listed.contains(file); });
        },
        15000);
}

void setRegistryValues(const QString &keyPath, const QList<QPair<QString, QVariant>> &values)
{
    RegistryKey key(keyPath);
    for (const auto &[name, value] : values)
        key.setValue(name, value);
    key.sync();
}

void addUninstallEntry(const QString &subkey, const QList<QPair<QString, QVariant>> &values)
{
    setRegistryValues(UninstallKey + QLatin1Char('\\') + subkey, values);
}

void addAppPath(const QString &subkey, const QList<QPair<QString, QVariant>> &values)
{
    setRegistryValues(AppPathsKey + QLatin1Char('\\') + subkey, values);
}

void clearRegistry()
{
    QDir dir(qEnvironmentVariable("TOLVANE_REGISTRY_DIR"));
    for (const QString &file : dir.entryList({QStringLiteral("*.ini")}, QDir::Files))
        dir.remove(file);
}

QStringList badTexts()
{
    return {"\"",
            "*",
            "-",
            "^",
            "(",
            ")",
            "OR",
            "NEAR",
            "AND",
            "NOT",
            "a OR b",
            "a NEAR/2 b",
            "\"a\"",
            "a*",
            "-a",
            "^a",
            "a:b",
            "ind:a",
            "(a",
            "a)",
            "'",
            "';",
            "'; DROP TABLE ITEMBOX; --",
            "\" OR 1=1 --",
            "%",
            "_",
            "a%",
            "\\",
            "a\\b",
            "C:\\Windows\\",
            "%s%s%n",
            "NULL",
            "\t",
            "line\nbreak",
            "<b>bold</b>",
            "  ",
            QString::fromUtf8("\xF0\x9F\x98\x80"),
            QString::fromUtf8("a\xF0\x9F\x98\x80"),
            QString(QChar(0xDC00)),
            QString(QChar(0xD83D)) + QStringLiteral("a"),
            QString::fromUtf8("\xD7\xA2\xD7\x91\xD7\xA8\xD7\x99\xD7\xAA"),
            QString::fromUtf8("\xD9\x85\xD8\xB1\xD8\xAD\xD8\xA8\xD8\xA7"),
            QString::fromUtf8("\xE2\x80\x8F"
                              "a"),
            QString::fromUtf8("\xE2\x80\xAE"
                              "abc"),
            QString(66, QLatin1Char('a')),
            QString(66, QLatin1Char('"')),
            QStringLiteral("ab").repeated(33),
            QStringLiteral("ab").repeated(50),
            QString::fromUtf8("caf\xC3\xA9")};
}

} // namespace CatalogFixture
