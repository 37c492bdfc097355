#include "singleapplication_p.h"

#include <QDir>
#include <QLocalServer>
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

// Windows: a named pipe with user-only access, through QLocalServer.
struct Listener::Impl
{
    QObject *owner = nullptr;
    QLocalServer *server = nullptr;
    Accepted accepted;
    bool paused = false;

    void take()
    {
        while (!paused && server->hasPendingConnections()) {
            QLocalSocket *socket = server->nextPendingConnection();
            socket->setParent(owner);
            accepted(socket);
        }
    }
};

Listener::Listener(QObject *owner, Accepted accepted) : d(new Impl)
{
    d->owner = owner;
    d->server = new QLocalServer;
    d->server->setSocketOptions(QLocalServer::UserAccessOption);
    d->server->setMaxPendingConnections(1);
    d->accepted = std::move(accepted);
    QObject::connect(d->server, &QLocalServer::newConnection, [impl = d.get()] { impl->take(); });
}

Listener::~Listener()
{
    delete d->server;
}

bool Listener::listen(const QString &name)
{
    QLocalServer::removeServer(name);
    return d->server->listen(name);
}

void Listener::setPaused(bool paused)
{
    d->paused = paused;
    d->take();
}

} // namespace SingleInstancePlatform
