#pragma once

#include <QString>

class QLocalSocket;

// Per-platform pieces of the single-instance check.
namespace SingleInstancePlatform {

// A stable text naming the user the process runs as.
QString userIdentity();

// The running executable's absolute path; works before the application object exists.
QString executablePath();

// The identity's form of the executable path (case-folded where the file system is).
QString normalizedExecutablePath(const QString &path);

// Folder for the lock file, private to the user where possible.
QString runtimeFolder();

// The local server name (socket path or pipe name) for an identity.
QString serverName(const QString &id);

// True when the peer of an accepted connection runs as the same user.
bool peerIsSameUser(QLocalSocket *socket);

} // namespace SingleInstancePlatform
