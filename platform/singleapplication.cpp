#include "singleapplication.h"
#include "singleapplication_p.h"

#include <QCryptographicHash>
#include <QDataStream>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

#include <memory>

class SingleApplication::Private
{
public:
    QString id;
    QString serverName;
    std::unique_ptr<QLockFile> lock;
    QLocalServer *server = nullptr;
    bool running = false;
};

namespace {

// A message is a length-prefixed UTF-8 text; the receiver answers with one byte.
void readMessage(SingleApplication *app, QLocalSocket *socket)
{
    QDataStream in(socket);
    in.startTransaction();
    QByteArray text;
    in >> text;
    if (!in.commitTransaction())
        return;
    socket->write("1", 1);
    socket->flush();
    socket->disconnectFromServer();
    emit app->messageReceived(QString::fromUtf8(text));
}

// The identity: made from the executable's absolute path and the user.
QString instanceId()
{
    const QString exe = SingleInstancePlatform::normalizedExecutablePath(
        QFileInfo(SingleInstancePlatform::executablePath()).absoluteFilePath());
    const QByteArray digest =
        QCryptographicHash::hash((exe + QLatin1Char('\n') + SingleInstancePlatform::userIdentity()).toUtf8(),
                                 QCryptographicHash::Sha1)
            .toHex()
            .left(16);
    return QStringLiteral("tolvane-") + QString::fromLatin1(digest);
}

// The lock that the first copy holds for its whole run.
std::unique_ptr<QLockFile> lockFile(const QString &id)
{
    auto lock = std::make_unique<QLockFile>(SingleInstancePlatform::runtimeFolder() + QLatin1Char('/') + id +
                                            QStringLiteral(".lock"));
    // The lock of a killed copy names a process that no longer exists: QLockFile
    // takes such a lock over.
    lock->setStaleLockTime(0);
    return lock;
}

// Sends a message over the local socket and waits for the receiver's answer, so
// the message is not lost when the sender exits at once.
bool deliver(const QString &serverName, const QString &message, int timeout)
{
    QLocalSocket socket;
    socket.connectToServer(serverName);
    if (!socket.waitForConnected(timeout))
        return false;
    QByteArray payload;
    QDataStream out(&payload, QIODevice::WriteOnly);
    out << message.toUtf8();
    socket.write(payload);
    if (!socket.waitForBytesWritten(timeout))
        return false;
    if (!socket.waitForReadyRead(timeout))
        return false;
    return socket.read(1) == "1";
}

} // namespace

SingleApplication::Delivery SingleApplication::sendToRunningCopy(const QString &message, int timeout)
{
    const QString id = instanceId();
    if (lockFile(id)->tryLock(0))
        return Delivery::NoCopyRunning; // the lock goes with the object; the first copy takes it again
    return deliver(SingleInstancePlatform::serverName(id), message, timeout) ? Delivery::Delivered
                                                                             : Delivery::NotDelivered;
}

SingleApplication::SingleApplication(int &argc, char **argv) : QApplication(argc, argv), d(new Private)
{
    d->id = instanceId();
    d->serverName = SingleInstancePlatform::serverName(d->id);
    d->lock = lockFile(d->id);
    if (!d->lock->tryLock(0)) {
        d->running = true;
        return;
    }

    // We are the first copy: a socket left behind by a killed copy is removed.
    QLocalServer::removeServer(d->serverName);
    d->server = new QLocalServer(this);
    d->server->setSocketOptions(QLocalServer::UserAccessOption);
    d->server->listen(d->serverName);
    connect(d->server, &QLocalServer::newConnection, this, [this]() {
        while (QLocalSocket *socket = d->server->nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            if (!SingleInstancePlatform::peerIsSameUser(socket)) {
                socket->abort();
                continue;
            }
            connect(socket, &QLocalSocket::readyRead, this, [this, socket]() { readMessage(this, socket); });
            if (socket->bytesAvailable() > 0)
                readMessage(this, socket);
        }
    });
}

SingleApplication::~SingleApplication()
{
    if (d->server)
        d->server->close();
}

bool SingleApplication::isRunning() const
{
    return d->running;
}

bool SingleApplication::sendMessage(const QString &message, int timeout)
{
    return d->running && deliver(d->serverName, message, timeout);
}

QString SingleApplication::id() const
{
    return d->id;
}
