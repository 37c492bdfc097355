#include "singleapplication_p.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTimer>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// "/tolvane-<16 hex digits>.sock" after the folder, within a socket address.
constexpr int socketNameLength = 30;

// A folder only this user can reach: a real folder, not a link, owned by the
// user, mode 0700. With `create`, a missing one is made first.
bool isPrivateFolder(const QString &path, bool create)
{
    const QByteArray native = QFile::encodeName(path);
    if (path.isEmpty() || !path.startsWith(QLatin1Char('/')) ||
        native.size() + socketNameLength >= int(sizeof(sockaddr_un::sun_path)))
        return false;
    const bool made = create && ::mkdir(native.constData(), 0700) == 0;
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st = {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
    // The umask may have taken bits from the folder just made.
    if (ok && made)
        ok = ::fchmod(fd, 0700) == 0 && ::fstat(fd, &st) == 0;
    ok = ok && (st.st_mode & 07777) == 0700;
    ::close(fd);
    return ok;
}

QString findRuntimeFolder()
{
    const QString user = SingleInstancePlatform::userIdentity();
    // The session's runtime folder; without one (or one that others can reach), a
    // folder of our own in the temporary folder. Anybody can make that name
    // first, so the last choice is a folder in the user's cache, which only the
    // user can make (named after the host, for a home shared between machines).
    const QString candidates[] = {
        qEnvironmentVariable("XDG_RUNTIME_DIR"),
        QDir::tempPath() + QStringLiteral("/tolvane-") + user,
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/tolvane-") +
            user + QLatin1Char('-') + QSysInfo::machineHostName(),
    };
    for (int i = 0; i < 3; ++i) {
        // The session's folder is made by the session, ours by us.
        const bool ours = i > 0;
        if (ours)
            QDir().mkpath(QFileInfo(candidates[i]).path());
        if (isPrivateFolder(candidates[i], ours))
            return candidates[i];
    }
    qWarning("Tolvane: no private folder for the single-instance socket; this copy runs on its own");
    return QString();
}

} // namespace

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
    static const QString folder = findRuntimeFolder();
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

// The listening socket is our own rather than QLocalServer's: QLocalServer closes
// itself and deletes the socket file when an accept fails, and an accept fails
// whenever the process is out of file descriptors.
struct Listener::Impl
{
    QObject *owner = nullptr;
    Accepted accepted;
    int fd = -1;
    QByteArray path;
    QSocketNotifier *notifier = nullptr;
    QTimer retry;
    bool paused = false;

    void acceptOne();
};

void Listener::Impl::acceptOne()
{
    const int connection = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (connection < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            // Out of file descriptors, or memory: the connection stays queued, to be
            // taken when there are some again. The socket is never given up.
            notifier->setEnabled(false);
            retry.start();
        }
        return;
    }
    auto *socket = new QLocalSocket(owner);
    if (!socket->setSocketDescriptor(connection)) {
        ::close(connection);
        delete socket;
        return;
    }
    accepted(socket);
}

Listener::Listener(QObject *owner, Accepted accepted) : d(new Impl)
{
    d->owner = owner;
    d->accepted = std::move(accepted);
    d->retry.setSingleShot(true);
    d->retry.setInterval(250);
    QObject::connect(&d->retry, &QTimer::timeout,
                     [impl = d.get()] { impl->notifier->setEnabled(!impl->paused); });
}

Listener::~Listener()
{
    delete d->notifier;
    if (d->fd >= 0) {
        ::close(d->fd);
        ::unlink(d->path.constData());
    }
}

bool Listener::listen(const QString &name)
{
    d->path = QFile::encodeName(name);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (d->path.isEmpty() || d->path.size() >= int(sizeof(address.sun_path)))
        return false;
    std::memcpy(address.sun_path, d->path.constData(), size_t(d->path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    ::unlink(d->path.constData());
    // A short queue: connections beyond it are refused at once rather than held.
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0 || ::listen(fd, 8) != 0) {
        ::close(fd);
        return false;
    }
    d->fd = fd;
    d->notifier = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read);
    QObject::connect(d->notifier, &QSocketNotifier::activated, [impl = d.get()] { impl->acceptOne(); });
    return true;
}

void Listener::setPaused(bool paused)
{
    d->paused = paused;
    if (d->notifier && !d->retry.isActive())
        d->notifier->setEnabled(!paused);
}

} // namespace SingleInstancePlatform
