#include "singleapplication_p.h"

#include <QDir>
#include <QLocalSocket>

namespace SingleInstancePlatform {

QString userIdentity()
{
    return qEnvironmentVariable("USERDOMAIN") + QLatin1Char('\\') + qEnvironmentVariable("USERNAME");
}

QString normalizedExecutablePath(const QString &path)
{
    // Windows file names are case-insensitive.
    return path.toLower();
}

QString runtimeFolder()
{
    return QDir::tempPath();
}

QString serverName(const QString &id)
{
    return id;
}

bool peerIsSameUser(QLocalSocket *)
{
    // The pipe is created with user-only access (QLocalServer::UserAccessOption).
    return true;
}

} // namespace SingleInstancePlatform
