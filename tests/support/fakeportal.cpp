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

// "CTRL+ALT+q" as Plasma describes it: "Ctrl+Alt+Q".
static QString described(const QString &preferred)
{
    QStringList parts = preferred.split(QLatin1Char('+'));
    for (QString &part : parts) {
        if (part == QLatin1String("LOGO"))
            part = QStringLiteral("Meta");
        else if (part.size() == 1)
            part = part.toUpper();
        else
            part = part.left(1).toUpper() + part.mid(1).toLower();
    }
    return parts.join(QLatin1Char('+'));
}

QString FakePortal::componentOf(const QString &session) const
{
    return kind == Kind::Plasma527 ? m_tokens.value(session) : m_appId;
}

QVariant FakePortal::shortcutsOf(const QString &session) const
{
    QList<FakeShortcut> list;
    for (const QString &id : m_sessionIds.value(session)) {
        QVariantMap properties{{QStringLiteral("description"), QStringLiteral("Show the Tolvane window")}};
        if (describeTrigger)
            properties.insert(QStringLiteral("trigger_description"),
                              stored.value(componentOf(session) + QLatin1Char('/') + id));
        list << FakeShortcut{id, properties};
    }
    return QVariant::fromValue(list);
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
        m_appId = args.value(0).toString();
        m_bus.send(message.createReply());
        return true;
    }
    if (interface == QLatin1String("org.freedesktop.portal.Session") && member == QLatin1String("Close")) {
        calls << QStringLiteral("Close ") + message.path();
        openSessions.removeAll(message.path());
        m_sessionIds.remove(message.path());
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
    const auto shortcutsIn = [](const QVariant &value) {
        QList<FakeShortcut> list;
        if (value.canConvert<QDBusArgument>())
            value.value<QDBusArgument>() >> list;
        return list;
    };
    const auto triggersOf = [](const QList<FakeShortcut> &list) {
        QStringList triggers;
        for (const FakeShortcut &shortcut : list)
            triggers << shortcut.options.value(QStringLiteral("preferred_trigger")).toString();
        return triggers.join(QLatin1Char(','));
    };
    // Stores a key for the shortcut unless the component already holds one (the
    // user's key, or an earlier default, stays).
    const auto store = [this](const QString &component, const FakeShortcut &shortcut) {
        const QString key = component + QLatin1Char('/') + shortcut.id;
        if (!stored.contains(key))
            stored.insert(
                key, assignedTrigger.isEmpty()
                         ? described(shortcut.options.value(QStringLiteral("preferred_trigger")).toString())
                         : assignedTrigger);
    };
    const QString sessionArg = args.isEmpty() ? QString() : args.value(0).value<QDBusObjectPath>().path();

    if (member == QLatin1String("CreateSession")) {
        const QString token = options.value(QStringLiteral("session_handle_token")).toString();
        const QList<FakeShortcut> asked = shortcutsIn(options.value(QStringLiteral("shortcuts")));
        calls << (QStringLiteral("CreateSession ") + token + QLatin1Char(' ') + triggersOf(asked)).trimmed();
        const QString session = DesktopPath + QStringLiteral("/session/") + sender + QLatin1Char('/') + token;
        // Like xdg-desktop-portal, no second session at the path of an open one.
        if (openSessions.contains(session))
            return fail(QStringLiteral("org.freedesktop.portal.Error.Failed"));
        m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        if (answer == Answer::Silent)
            return true;
        if (answer == Answer::Refuse) {
            respond(request, 2, {});
            return true;
        }
        openSessions << session;
        m_tokens.insert(session, token);
        QStringList ids;
        if (kind == Kind::Plasma527) {
            for (const FakeShortcut &shortcut : asked) {
                store(token, shortcut);
                ids << shortcut.id;
            }
        } else {
            for (auto it = stored.cbegin(); it != stored.cend(); ++it)
                if (it.key().startsWith(m_appId + QLatin1Char('/')))
                    ids << it.key().mid(m_appId.size() + 1);
        }
        m_sessionIds.insert(session, ids);
        // Like xdg-desktop-portal 1.16, the session handle comes as a string.
        QVariantMap results{{QStringLiteral("session_handle"), session}};
        if (kind == Kind::Plasma527)
            results.insert(QStringLiteral("shortcuts"), shortcutsOf(session));
        respond(request, 0, results);
        return true;
    }
    if (member == QLatin1String("ListShortcuts")) {
        calls << QStringLiteral("ListShortcuts");
        m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        if (answer != Answer::Silent)
            respond(request, 0, {{QStringLiteral("shortcuts"), shortcutsOf(sessionArg)}});
        return true;
    }
    if (member == QLatin1String("BindShortcuts")) {
        const QList<FakeShortcut> asked = shortcutsIn(args.value(1));
        calls << QStringLiteral("BindShortcuts ") + triggersOf(asked);
        m_bus.send(message.createReply(QVariant::fromValue(QDBusObjectPath(request))));
        if (answer == Answer::Silent)
            return true;
        if (answer == Answer::Refuse || answer == Answer::FailBind) {
            respond(request, 2, {});
            return true;
        }
        if (answer == Answer::Decline) {
            respond(request, 1, {});
            return true;
        }
        if (answer == Answer::BindNothing) {
            respond(request, 0, {{QStringLiteral("shortcuts"), QVariant::fromValue(QList<FakeShortcut>())}});
            return true;
        }
        if (kind == Kind::Newer) {
            // The dialog binds the keys asked for (a new preferred key replaces the old).
            for (const FakeShortcut &shortcut : asked) {
                stored.remove(m_appId + QLatin1Char('/') + shortcut.id);
                store(m_appId, shortcut);
                if (!m_sessionIds[sessionArg].contains(shortcut.id))
                    m_sessionIds[sessionArg] << shortcut.id;
            }
        }
        respond(request, 0, {{QStringLiteral("shortcuts"), shortcutsOf(sessionArg)}});
        return true;
    }
    calls << member;
    return fail(QStringLiteral("org.freedesktop.DBus.Error.UnknownMethod"));
}

void FakePortal::activate(const QString &token, const QString &id)
{
    if (openSessions.isEmpty())
        return;
    QDBusMessage signal = QDBusMessage::createSignal(
        DesktopPath, QStringLiteral("org.freedesktop.portal.GlobalShortcuts"), QStringLiteral("Activated"));
    QVariantMap options;
    if (!token.isEmpty())
        options.insert(QStringLiteral("activation_token"), token);
    signal << QVariant::fromValue(QDBusObjectPath(openSessions.last())) << id
           << qulonglong(QDateTime::currentMSecsSinceEpoch() * 1000) << options;
    m_bus.send(signal);
}

void FakePortal::vanish()
{
    m_bus.unregisterService(Service);
    openSessions.clear();
    m_sessionIds.clear();
    m_registered = false;
}

bool FakePortal::comeBack()
{
    m_registered = m_bus.registerService(Service);
    return m_registered;
}
