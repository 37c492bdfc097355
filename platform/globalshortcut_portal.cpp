// The system-wide hotkey through the XDG desktop portal's GlobalShortcuts
// interface (KDE Plasma, GNOME 48 and later, Hyprland): create a session, bind one
// shortcut with the configured key as the preferred trigger, and show the window
// on its Activated signal. Every call is asynchronous: the portal may show the
// user a dialog before it answers, or never answer at all.
#include "globalshortcut_p.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <QRandomGenerator>
#include <QTimer>

namespace {

const QString Service = QStringLiteral("org.freedesktop.portal.Desktop");
const QString DesktopPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString ShortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString RequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString SessionInterface = QStringLiteral("org.freedesktop.portal.Session");
const QString RegistryInterface = QStringLiteral("org.freedesktop.host.portal.Registry");
const QString ShortcutId = QStringLiteral("show-window");

// How long the desktop may take before the window says that no hotkey is in force
// (a later answer still counts).
constexpr int AnswerTimeoutMs = 5000;

// One element of BindShortcuts' a(sa{sv}).
struct PortalShortcut
{
    QString id;
    QVariantMap options;
};

QDBusArgument &operator<<(QDBusArgument &argument, const PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.options;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, PortalShortcut &shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.options;
    argument.endStructure();
    return argument;
}

} // namespace

Q_DECLARE_METATYPE(PortalShortcut)

namespace {

// The key's name in the freedesktop shortcuts format: modifiers, then the keysym.
QString keyName(int key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return QString(QChar(key - Qt::Key_A + 'a'));
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return QString(QChar(key));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F35)
        return QStringLiteral("F%1").arg(key - Qt::Key_F1 + 1);
    switch (key) {
    case Qt::Key_Space:
        return QStringLiteral("space");
    case Qt::Key_Return:
        return QStringLiteral("Return");
    case Qt::Key_Escape:
        return QStringLiteral("Escape");
    case Qt::Key_Tab:
        return QStringLiteral("Tab");
    case Qt::Key_Comma:
        return QStringLiteral("comma");
    case Qt::Key_Period:
        return QStringLiteral("period");
    case Qt::Key_Slash:
        return QStringLiteral("slash");
    case Qt::Key_Minus:
        return QStringLiteral("minus");
    default:
        return QKeySequence(key).toString(QKeySequence::PortableText);
    }
}

QString preferredTrigger(const QKeySequence &shortcut)
{
    const QKeyCombination combination = shortcut[0];
    const Qt::KeyboardModifiers modifiers = combination.keyboardModifiers();
    QStringList parts;
    if (modifiers & Qt::ControlModifier)
        parts << QStringLiteral("CTRL");
    if (modifiers & Qt::AltModifier)
        parts << QStringLiteral("ALT");
    if (modifiers & Qt::ShiftModifier)
        parts << QStringLiteral("SHIFT");
    if (modifiers & Qt::MetaModifier)
        parts << QStringLiteral("LOGO");
    parts << keyName(combination.key());
    return parts.join(QLatin1Char('+'));
}

QString pathOf(const QVariant &value)
{
    if (value.canConvert<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

// A short reason for a failed call.
QString reasonOf(const QDBusError &error)
{
    switch (error.type()) {
    case QDBusError::ServiceUnknown:
        return QStringLiteral("no desktop portal");
    case QDBusError::UnknownInterface:
    case QDBusError::UnknownMethod:
    case QDBusError::UnknownObject:
        return QStringLiteral("the desktop portal has no global shortcuts");
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut:
        return QStringLiteral("the desktop did not answer");
    default:
        return QStringLiteral("the desktop portal failed (%1)").arg(error.name());
    }
}

} // namespace

class PortalShortcutBackend : public ShortcutBackend
{
    Q_OBJECT

public:
    explicit PortalShortcutBackend(QObject *parent)
        : ShortcutBackend(parent), bus(QDBusConnection::sessionBus())
    {
        qDBusRegisterMetaType<PortalShortcut>();
        qDBusRegisterMetaType<QList<PortalShortcut>>();
        timeout.setSingleShot(true);
        timeout.setInterval(AnswerTimeoutMs);
        connect(&timeout, &QTimer::timeout, this, [this] {
            available = false;
            emit changed(GlobalShortcut::Status::Failed, QString(),
                         QStringLiteral("the desktop did not answer"));
        });
        if (!bus.isConnected())
            return;
        bus.connect(Service, DesktopPath, ShortcutsInterface, QStringLiteral("Activated"), this,
                    SLOT(onActivated(QDBusMessage)));
        bus.connect(Service, DesktopPath, ShortcutsInterface, QStringLiteral("ShortcutsChanged"), this,
                    SLOT(onShortcutsChanged(QDBusMessage)));
    }

    ~PortalShortcutBackend() override { closeSession(); }

    Outcome bind(const QKeySequence &shortcut) override
    {
        closeSession();
        ++generation;
        timeout.stop();
        Outcome outcome;
        if (shortcut.isEmpty())
            return outcome;
        if (!bus.isConnected()) {
            available = false;
            outcome.error = QStringLiteral("no D-Bus session bus");
            return outcome;
        }
        trigger = preferredTrigger(shortcut);
        available = true;
        timeout.start();
        if (!registered)
            registerApplication(generation);
        else
            createSession(generation);
        outcome.status = GlobalShortcut::Status::Pending;
        return outcome;
    }

    bool isAvailable() const override { return available; }

private slots:
    void onActivated(const QDBusMessage &message)
    {
        const QVariantList args = message.arguments();
        if (args.size() < 2 || session.isEmpty())
            return;
        if (pathOf(args.at(0)) != session || args.at(1).toString() != ShortcutId)
            return;
        QString token;
        if (args.size() >= 4) {
            const QVariantMap options = qdbus_cast<QVariantMap>(args.at(3));
            token = options.value(QStringLiteral("activation_token")).toString();
        }
        emit activated(token);
    }

    void onShortcutsChanged(const QDBusMessage &message)
    {
        const QVariantList args = message.arguments();
        if (args.size() < 2 || session.isEmpty() || pathOf(args.at(0)) != session)
            return;
        bool found = false;
        const QString description = describedTrigger(args.at(1), &found);
        if (found)
            emit changed(GlobalShortcut::Status::Active, description, QString());
    }

    void onResponse(const QDBusMessage &message)
    {
        if (message.path() != pendingRequest)
            return;
        bus.disconnect(Service, pendingRequest, RequestInterface, QStringLiteral("Response"), this,
                       SLOT(onResponse(QDBusMessage)));
        pendingRequest.clear();
        const QVariantList args = message.arguments();
        const uint response = args.value(0).toUInt();
        const QVariantMap results = args.size() > 1 ? qdbus_cast<QVariantMap>(args.at(1)) : QVariantMap();
        if (response != 0 || args.size() < 2) {
            fail(QStringLiteral("the desktop refused it"));
            return;
        }
        if (step == Step::CreateSession) {
            session = pathOf(results.value(QStringLiteral("session_handle")));
            if (session.isEmpty()) {
                fail(QStringLiteral("the desktop portal gave no session"));
                return;
            }
            bindShortcuts(generation);
            return;
        }
        if (step == Step::Bind) {
            timeout.stop();
            bool found = false;
            const QString description = describedTrigger(results.value(QStringLiteral("shortcuts")), &found);
            if (!found) {
                fail(QStringLiteral("the desktop refused it"));
                return;
            }
            available = true;
            step = Step::Bound;
            emit changed(GlobalShortcut::Status::Active, description, QString());
        }
    }

private:
    enum class Step { Idle, Register, CreateSession, Bind, Bound };

    static QString describedTrigger(const QVariant &value, bool *found)
    {
        *found = false;
        QList<PortalShortcut> shortcuts;
        if (value.canConvert<QDBusArgument>())
            value.value<QDBusArgument>() >> shortcuts;
        else
            shortcuts = value.value<QList<PortalShortcut>>();
        for (const PortalShortcut &shortcut : std::as_const(shortcuts)) {
            if (shortcut.id == ShortcutId) {
                *found = true;
                return shortcut.options.value(QStringLiteral("trigger_description")).toString();
            }
        }
        return QString();
    }

    QString newToken()
    {
        return QStringLiteral("tolvane%1_%2").arg(++tokens).arg(QRandomGenerator::global()->generate());
    }

    // Calls a portal method whose answer comes as a Request's Response signal; the
    // signal is subscribed to before the call, on the path the portal will use.
    void request(const QString &path, const QString &interface, const QString &method, QVariantList args,
                 Step next, int forGeneration)
    {
        const QString token = newToken();
        QVariantMap options = args.takeLast().toMap();
        options.insert(QStringLiteral("handle_token"), token);
        if (method == QLatin1String("CreateSession"))
            options.insert(QStringLiteral("session_handle_token"), newToken());
        args << options;
        QString sender = bus.baseService().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        listenFor(DesktopPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + token);
        step = next;

        QDBusMessage call = QDBusMessage::createMethodCall(Service, path, interface, method);
        call.setArguments(args);
        auto watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, forGeneration] {
            watcher->deleteLater();
            if (forGeneration != generation)
                return;
            QDBusPendingReply<QDBusObjectPath> reply = *watcher;
            if (reply.isError()) {
                failCall(reply.error());
                return;
            }
            // An older portal picks its own request path.
            const QString handle = reply.value().path();
            if (!pendingRequest.isEmpty() && handle != pendingRequest)
                listenFor(handle);
        });
    }

    void listenFor(const QString &requestPath)
    {
        if (!pendingRequest.isEmpty())
            bus.disconnect(Service, pendingRequest, RequestInterface, QStringLiteral("Response"), this,
                           SLOT(onResponse(QDBusMessage)));
        pendingRequest = requestPath;
        bus.connect(Service, pendingRequest, RequestInterface, QStringLiteral("Response"), this,
                    SLOT(onResponse(QDBusMessage)));
    }

    // Where the bus offers the host Registry, the application id must be
    // registered before any other portal call, so the desktop knows who asks.
    void registerApplication(int forGeneration)
    {
        step = Step::Register;
        const QString appId = QGuiApplication::desktopFileName();
        if (appId.isEmpty()) {
            registered = true;
            createSession(forGeneration);
            return;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(Service, DesktopPath, RegistryInterface,
                                                           QStringLiteral("Register"));
        call.setArguments({appId, QVariantMap()});
        auto watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, watcher, forGeneration] {
            watcher->deleteLater();
            if (forGeneration != generation)
                return;
            const QDBusError error = QDBusPendingReply<>(*watcher).error();
            // No Registry (the usual case before xdg-desktop-portal 1.19) is fine;
            // no portal at all is not.
            if (error.type() == QDBusError::ServiceUnknown || error.type() == QDBusError::NoReply ||
                error.type() == QDBusError::TimedOut || error.type() == QDBusError::Timeout) {
                failCall(error);
                return;
            }
            registered = true;
            createSession(forGeneration);
        });
    }

    void createSession(int forGeneration)
    {
        request(DesktopPath, ShortcutsInterface, QStringLiteral("CreateSession"), {QVariantMap()},
                Step::CreateSession, forGeneration);
    }

    void bindShortcuts(int forGeneration)
    {
        const QList<PortalShortcut> shortcuts{
            {ShortcutId,
             {{QStringLiteral("description"), QStringLiteral("Show the Tolvane window")},
              {QStringLiteral("preferred_trigger"), trigger}}}};
        request(DesktopPath, ShortcutsInterface, QStringLiteral("BindShortcuts"),
                {QVariant::fromValue(QDBusObjectPath(session)), QVariant::fromValue(shortcuts), QString(),
                 QVariantMap()},
                Step::Bind, forGeneration);
    }

    void closeSession()
    {
        if (!pendingRequest.isEmpty()) {
            bus.disconnect(Service, pendingRequest, RequestInterface, QStringLiteral("Response"), this,
                           SLOT(onResponse(QDBusMessage)));
            pendingRequest.clear();
        }
        if (!session.isEmpty() && bus.isConnected())
            bus.asyncCall(
                QDBusMessage::createMethodCall(Service, session, SessionInterface, QStringLiteral("Close")));
        session.clear();
        step = Step::Idle;
    }

    void failCall(const QDBusError &error) { fail(reasonOf(error)); }

    void fail(const QString &reason)
    {
        timeout.stop();
        closeSession();
        available = false;
        emit changed(GlobalShortcut::Status::Failed, QString(), reason);
    }

    QDBusConnection bus;
    QTimer timeout;
    QString trigger;
    QString session;
    QString pendingRequest;
    Step step = Step::Idle;
    int generation = 0;
    int tokens = 0;
    bool registered = false;
    bool available = true;
};

ShortcutBackend *ShortcutBackends::createPortal(QObject *parent)
{
    return new PortalShortcutBackend(parent);
}

#include "globalshortcut_portal.moc"
