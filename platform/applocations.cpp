#include "applocations.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// The install rules put the program into <prefix>/lib/tolvane and the command users
// bind into <prefix>/bin/tolvane (a small program that hands over to this one; a
// link to it in earlier versions). A copy laid out so is an installed one: its files
// belong in the user's folders even where the user could write beside it (as root can).
QString installedCommand()
{
    const QString self = QFileInfo(QCoreApplication::applicationFilePath()).canonicalFilePath();
    if (!self.endsWith(QLatin1String("/lib/tolvane/tolvane")))
        return QString();
    const QFileInfo command(AppLocations::applicationDir() + QStringLiteral("/../../bin/tolvane"));
    const bool ours = command.isSymLink() ? command.canonicalFilePath() == self
                                          : command.isFile() && command.isExecutable();
    return ours ? QDir::cleanPath(command.absoluteFilePath()) : QString();
}

bool installedCopy()
{
    return !installedCommand().isEmpty();
}

bool applicationDirWritable()
{
    const QFileInfo info(AppLocations::applicationDir());
    // The system lets root write anywhere; a folder whose mode grants writing to
    // nobody is read-only by intent, so it counts as read-only for root as well.
    const bool modeAllowsWriting =
        info.permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther);
    return info.isDir() && info.isWritable() && modeAllowsWriting && !installedCopy();
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
        // Where the user's folder cannot take the copy (a home that is not writable),
        // the shipped defaults are read as they are, rather than no settings at all.
        if (!QFile::copy(shipped, user))
            return shipped;
        QFile::setPermissions(user, QFile::ReadOwner | QFile::WriteOwner);
    }
    return user;
}

QString command()
{
    const QString installed = installedCommand();
    return installed.isEmpty() ? QCoreApplication::applicationFilePath() : installed;
}

} // namespace AppLocations
