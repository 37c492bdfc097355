#include "fakeportal.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTimer>

namespace {

const QString Service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString DesktopPath = QStringLiteral("/org/freedesktop/portal/desktop");

struct FakeShortcut
{
    QString id;
    QVariantMap options;
};

QDBusArgument &operator<<(QDBusArgument &argument, const FakeShortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.options;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, FakeShortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.options;
    argument.endStructure();
    return argument;
}

QString senderPart(const QString &sender)
{
    QString part = sender.mid(1);
    part.replace(QLatin1Char('.'), QLatin1Char('_'));
    return part;
}

} // namespace

Q_DECLARE_METATYPE(FakeShortcut)

PrivateBus::PrivateBus()
{
    if (!m_dir.isValid())
        return;
    const QString config = m_dir.filePath(QStringLiteral("bus.conf"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly))
        return;
    // No service folders: nothing is started on demand, a missing portal is missing.
    file.write("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
               " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
               "<busconfig>\n  <type>session</type>\n  <listen>unix:path=" +
               QFile::encodeName(m_dir.filePath(QStringLiteral("bus"))) +
               "</listen>\n"
               "  <auth>EXTERNAL</auth>\n  <auth>ANONYMOUS</auth>\n  <allow_anonymous/>\n"
               "  <policy context=\"default\">\n    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
               "    <allow eavesdrop=\"true\"/>\n    <allow own=\"*\"/>\n  </policy>\n</busconfig>\n");
    file.close();
    m_daemon.start(QStringLiteral("dbus-daemon"),
                   {QStringLiteral("--config-file=") + config, QStringLiteral("--nofork"),
                    QStringLiteral("--print-address")});
    if (!m_daemon.waitForStarted(10000))
        return;
    for (int i = 0; i < 200 && !m_daemon.canReadLine(); ++i)
        m_daemon.waitForReadyRead(50);
    m_address = QString::fromLocal8Bit(m_daemon.readLine()).trimmed();
}

PrivateBus::~PrivateBus()
{
    m_daemon.terminate();
    if (!m_daemon.waitForFinished(5000))
        m_daemon.kill();
    m_daemon.waitForFinished(5000);
}

FakePortal::FakePortal(const QString &address, QObject *parent)
    : QDBusVirtualObject(parent), m_bus(QDBusConnection::connectToBus(address, QStringLiteral("fakeportal")))
{
    qDBusRegisterMetaType<FakeShortcut>();
    qDBusRegisterMetaType<QList<FakeShortcut>>();
    m_registered = m_bus.isConnected() &&
                   m_bus.registerVirtualObject(DesktopPath, this, QDBusConnection::SubPath) &&
                   m_bus.registerService(Service);
}

FakePortal::~FakePortal()
{
    m_bus.unregisterService(Service);
    m_bus.unregisterObject(DesktopPath, QDBusConnection::UnregisterTree);
    QDBusConnection::disconnectFromBus(QStringLiteral("fakeportal"));
}

QString FakePortal::introspect(const QString &) const
{
    return QString();
}

void FakePortal::respond(const QString &requestPath, uint code, const QVariantMap &results)
{
    QDBusMessage signal = QDBusMessage::createSignal(
        requestPath, QStringLiteral("org.freedesktop.portal.Request"), QStringLiteral("Response"));
    signal << code << results;
    m_bus.send(signal);
}

bool FakePortal::handleMessage(const QDBusMessage &message, const QDBusConnection &)
{
    const QString interface = message.interface();
    const QString member = message.member();
    const QVariantList args = message.arguments();
    const auto fail = [&](const QString &error) {
        m_bus.send(message.createErrorReply(error, QStringLiteral("not offered by this stand-in")));
        return true;
    };

    if (interface == QLatin1String("org.freedesktop.host.portal.Registry") &&
        member == QLatin1String("Register")) {
        calls << QStringLiteral("Register ") + args.value(0).toString();
        if (!offerRegistry)
            return fail(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"));
        m_bus.send(message.createReply());
        return true;
    }
    if (interface == QLatin1String("org.freedesktop.portal.Session") && member == QLatin1String("Close")) {
        calls << QStringLiteral("Close ") + message.path();
        openSessions.removeAll(message.path());
        m_bus.send(message.createReply());
        return true;
    }
    if (interface != QLatin1String("org.freedesktop.portal.GlobalShortcuts"))
        return fail(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"));
    if (!offerShortcuts) {
        calls << member;
        return fail(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"));
    }

    const QVariantMap options = qdbus_cast<QVariantMap>(args.value(args.size() - 1));
    const QString sender = senderPart(message.service());
    const QString request = DesktopPath + QStringLiteral("/request/") + sender + QLatin1Char('/') +
                            options.value(QStringLiteral("handle_token")).toString();
    if (member == QLatin1String("CreateSession")) {
        calls << QStringLiteral("CreateSession");
        const QString session = DesktopPath + QStringLiteral("/session/") + sender + QLatin1Char('/') +
                                options.value(QStringLiteral("session_handle_token")).toString();
        m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        if (answer == Answer::Silent)
            return true;
        if (answer == Answer::Refuse) {
            respond(request, 2, {});
            return true;
        }
        openSessions << session;
        // Like xdg-desktop-portal 1.16, the session handle comes as a string.
        respond(request, 0, {{QStringLiteral("session_handle"), session}});
        return true;
    }
    if (member == QLatin1String("BindShortcuts")) {
        QList<FakeShortcut> asked;
        args.value(1).value<QDBusArgument>() >> asked;
        QStringList triggers;
        for (const FakeShortcut &shortcut : std::as_const(asked))
            triggers << shortcut.options.value(QStringLiteral("preferred_trigger")).toString();
        calls << QStringLiteral("BindShortcuts ") + triggers.join(QLatin1Char(','));
        m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        if (answer == Answer::Silent)
            return true;
        if (answer == Answer::Refuse) {
            respond(request, 1, {});
            return true;
        }
        QList<FakeShortcut> bound;
        for (const FakeShortcut &shortcut : std::as_const(asked)) {
            QVariantMap properties{
                {QStringLiteral("description"), shortcut.options.value(QStringLiteral("description"))}};
            if (!assignedTrigger.isEmpty())
                properties.insert(QStringLiteral("trigger_description"), assignedTrigger);
            bound << FakeShortcut{shortcut.id, properties};
        }
        respond(request, 0, {{QStringLiteral("shortcuts"), QVariant::fromValue(bound)}});
        return true;
    }
    calls << member;
    return fail(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"));
}

void FakePortal::activate(const QString &token)
{
    if (openSessions.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(
        DesktopPath, QStringLiteral("org.freedesktop.portal.GlobalShortcuts"), QStringLiteral("Activated"));
    QVariantMap options;
    if (!token.isEmpty())
        options.insert(QStringLiteral("activation_token"), token);
    signal << QVariant::fromValue(QDBusObjectPath(openSessions.last())) << QStringLiteral("show-window")
           << qulonglong(QDateTime::currentMSecsSinceEpoch() * 1000) << options;
    m_bus.send(signal);
}
