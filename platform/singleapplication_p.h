#pragma once

#include <QString>

#include <functional>
#include <memory>

class QLocalSocket;
class QObject;

// Per-platform pieces of the single-instance check.
namespace SingleInstancePlatform {

// A stable text naming the user the process runs as.
QString userIdentity();

// The running executable's absolute path; works before the application object exists.
QString executablePath();

// The identity's form of the executable path (case-folded where the file system is).
QString normalizedExecutablePath(const QString &path);

// Folder for the lock file and the socket, one that only the user can reach; empty
// when there is none (then every start runs on its own).
QString runtimeFolder();

// The local server name (socket path or pipe name) for an identity.
QString serverName(const QString &id);

// True when the other end of a connection (accepted or made) runs as the same user.
bool peerIsSameUser(QLocalSocket *socket);

// Listens on a local server name and hands each new connection over, a child of
// the owner. While paused it takes no connections: they wait in the system's
// queue, so a flood of them holds no file descriptors here. A failure to take one
// (out of file descriptors) is retried later; the server name stays.
class Listener
{
public:
    using Accepted = std::function<void(QLocalSocket *)>;
    Listener(QObject *owner, Accepted accepted);
    ~Listener();

    // Takes over a name left behind by a copy that was killed.
    bool listen(const QString &name);
    void setPaused(bool paused);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace SingleInstancePlatform
