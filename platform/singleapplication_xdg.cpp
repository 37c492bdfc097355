#include "singleapplication_p.h"

#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QStandardPaths>

#include <sys/socket.h>
#include <sys/types.h>
#include <unistd.h>

namespace SingleInstancePlatform {

QString userIdentity()
{
    return QString::number(getuid());
}

QString executablePath()
{
    return QFile::symLinkTarget(QStringLiteral("/proc/self/exe"));
}

QString normalizedExecutablePath(const QString &path)
{
    return path;
}

QString runtimeFolder()
{
    // XDG_RUNTIME_DIR is private to the user; without it, a per-user folder in /tmp.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) {
        folder = QDir::tempPath() + QStringLiteral("/tolvane-") + userIdentity();
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    return folder;
}

QString serverName(const QString &id)
{
    return runtimeFolder() + QLatin1Char('/') + id + QStringLiteral(".sock");
}

bool peerIsSameUser(QLocalSocket *socket)
{
    ucred credentials{};
    socklen_t length = sizeof(credentials);
    if (getsockopt(static_cast<int>(socket->socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &credentials,
                   &length) != 0)
        return false;
    return credentials.uid == getuid();
}

} // namespace SingleInstancePlatform
