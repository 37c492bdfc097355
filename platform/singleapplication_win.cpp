#include "singleapplication_p.h"

#include <QDir>
#include <QLocalSocket>

#include <windows.h>

namespace SingleInstancePlatform {

QString userIdentity()
{
    return qEnvironmentVariable("USERDOMAIN") + QLatin1Char('\\') + qEnvironmentVariable("USERNAME");
}

QString executablePath()
{
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    return QDir::fromNativeSeparators(QString::fromWCharArray(buffer, int(length)));
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
