#include "applocations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

bool applicationDirWritable()
{
    const QFileInfo info(AppLocations::applicationDir());
    return info.isDir() && info.isWritable();
}

QString userFolder(QStandardPaths::StandardLocation location)
{
    const QString dir = QStandardPaths::writableLocation(location);
    QDir().mkpath(dir);
    return dir;
}

} // namespace

namespace AppLocations {

QString applicationDir()
{
    return QCoreApplication::applicationDirPath();
}

QString dataDir()
{
    if (applicationDirWritable())
        return applicationDir();
    return userFolder(QStandardPaths::AppDataLocation);
}

QString configFile()
{
    const QString shipped = applicationDir() + QDir::separator() + QStringLiteral("config.ini");
    if (applicationDirWritable())
        return shipped;
    const QString user =
        userFolder(QStandardPaths::AppConfigLocation) + QDir::separator() + QStringLiteral("config.ini");
    if (!QFileInfo::exists(user) && QFileInfo::exists(shipped)) {
        QFile::copy(shipped, user);
        QFile::setPermissions(user, QFile::ReadOwner | QFile::WriteOwner);
    }
    return user;
}

} // namespace AppLocations
