#include "singleapplication.h"
#include "singleapplication_p.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>
#include <QtEndian>

#include <memory>

class SingleApplication::Private
{
public:
    QString id;
    QString serverName;
    std::unique_ptr<QLockFile> lock;
    std::unique_ptr<SingleInstancePlatform::Listener> listener;
    int connections = 0;
    bool running = false;

    void accept(SingleApplication *app, QLocalSocket *socket);
    void serve(SingleApplication *app, QLocalSocket *socket);
};

namespace {

// At most this many connections are held at once, each for at most this long,
// and a message is at most this long: a second start sends a few hundred bytes
// at once, anything else is a stray or hostile client.
constexpr int maxConnections = 8;
constexpr int connectionTimeoutMs = 2000;
constexpr quint32 maxMessageBytes = 64 * 1024;

// A message is its length (4 bytes, big-endian) and that many bytes of UTF-8;
// the receiver answers with one byte.
QByteArray frame(const QString &message)
{
    const QByteArray text = message.toUtf8();
    QByteArray payload(4, '\0');
    qToBigEndian(quint32(text.size()), payload.data());
    return payload + text;
}

// One message arriving on a connection, each part read once, as it arrives.
class IncomingMessage
{
public:
    enum class State { Pending, Whole, Refused };

    State state() const { return m_state; }
    QString text() const { return QString::fromUtf8(m_buffer); }

    State read(QLocalSocket *socket)
    {
        while (m_state == State::Pending && (socket->bytesAvailable() > 0 || m_length == m_buffer.size())) {
            if (m_length < 0) {
                m_buffer += socket->read(4 - m_buffer.size());
                if (m_buffer.size() < 4)
                    break;
                const quint32 length = qFromBigEndian<quint32>(m_buffer.constData());
                m_buffer.clear();
                if (length > maxMessageBytes) {
                    m_state = State::Refused;
                    break;
                }
                m_length = length;
                m_buffer.reserve(int(m_length));
            }
            if (m_length == m_buffer.size())
                m_state = State::Whole;
            else
                m_buffer += socket->read(m_length - m_buffer.size());
        }
        return m_state;
    }

private:
    QByteArray m_buffer;
    qint64 m_length = -1;
    State m_state = State::Pending;
};

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
    // The folder is private to the user; still, nothing goes to a server that
    // another user runs.
    if (!SingleInstancePlatform::peerIsSameUser(&socket))
        return false;
    socket.write(frame(message));
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
    if (SingleInstancePlatform::runtimeFolder().isEmpty() || lockFile(id)->tryLock(0))
        return Delivery::NoCopyRunning; // the lock goes with the object; the first copy takes it again
    if (deliver(SingleInstancePlatform::serverName(id), message, timeout))
        return Delivery::Delivered;
    qWarning("Tolvane: the running copy did not take the message");
    return Delivery::NotDelivered;
}

SingleApplication::SingleApplication(int &argc, char **argv) : QApplication(argc, argv), d(new Private)
{
    d->id = instanceId();
    if (SingleInstancePlatform::runtimeFolder().isEmpty())
        return; // nowhere safe to meet another copy
    d->serverName = SingleInstancePlatform::serverName(d->id);
    d->lock = lockFile(d->id);
    if (!d->lock->tryLock(0)) {
        d->running = true;
        return;
    }
    // We are the first copy: the listener takes over a socket left by a killed copy.
    d->listener = std::make_unique<SingleInstancePlatform::Listener>(
        this, [this](QLocalSocket *socket) { d->accept(this, socket); });
    if (!d->listener->listen(d->serverName))
        qWarning("Tolvane: cannot listen on %s", qPrintable(d->serverName));
}

// Counts the connections held, and stops taking more at the limit.
void SingleApplication::Private::accept(SingleApplication *app, QLocalSocket *socket)
{
    if (!SingleInstancePlatform::peerIsSameUser(socket)) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    if (++connections >= maxConnections)
        listener->setPaused(true);
    QObject::connect(socket, &QObject::destroyed, app, [this] {
        if (--connections < maxConnections && listener)
            listener->setPaused(false);
    });
    serve(app, socket);
}

// Holds a connection until its message is whole (answered, then passed on), it
// is refused or it ends, or its time is up.
void SingleApplication::Private::serve(SingleApplication *app, QLocalSocket *socket)
{
    QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    auto message = std::make_shared<IncomingMessage>();
    auto read = [app, socket, message] {
        if (message->state() != IncomingMessage::State::Pending)
            return;
        switch (message->read(socket)) {
        case IncomingMessage::State::Pending:
            break;
        case IncomingMessage::State::Whole:
            socket->write("1", 1);
            socket->flush();
            socket->disconnectFromServer();
            emit app->messageReceived(message->text());
            break;
        case IncomingMessage::State::Refused:
            socket->abort();
            socket->deleteLater();
            break;
        }
    };
    QObject::connect(socket, &QLocalSocket::readyRead, app, read);
    auto *timer = new QTimer(socket);
    timer->setSingleShot(true);
    QObject::connect(timer, &QTimer::timeout, socket, [socket, read] {
        // What arrived while the event loop was busy still counts; a message
        // still not whole, or an answer not taken, ends here.
        read();
        socket->abort();
        socket->deleteLater();
    });
    timer->start(connectionTimeoutMs);
    read();
}

SingleApplication::~SingleApplication()
{
    d->listener.reset();
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
