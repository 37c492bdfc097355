// The system-wide hotkey through the XDG desktop portal's GlobalShortcuts
// interface (KDE Plasma, GNOME 48 and later, Hyprland), and the window shown on its
// Activated signal. Every call is asynchronous: the portal may show the user a
// dialog before it answers, or never answer at all.
//
// What the desktops do decides the order of the calls. Plasma 5.27 registers only
// the shortcuts given in CreateSession's options, names their component after the
// session_handle_token (so the token is the same at every start: the key the user
// set in System Settings stays), and opens System Settings at every BindShortcuts.
// Newer portals ignore those options, keep what the user bound for the application
// and ask the user on BindShortcuts. So: the shortcut goes into CreateSession's
// options, the session's answer or ListShortcuts tells whether it is bound, and
// BindShortcuts is called only for a shortcut the session does not hold, once.
#include "globalshortcut_p.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <functional>

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
// Response codes of org.freedesktop.portal.Request.
constexpr uint ResponseCancelled = 1;

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

// The session_handle_token: the same at every start for the same key (Plasma 5.27
// names the shortcut's component after it), another one for another key (Plasma
// keeps a component's stored key over a new preferred trigger). Only the
// characters an object path element allows.
QString sessionToken(const QString &appId, const QKeySequence &shortcut)
{
    QString token = QStringLiteral("tolvane");
    for (const QString &part : {appId, preferredTrigger(shortcut)}) {
        if (part.isEmpty())
            continue;
        token += QLatin1Char('_');
        for (const QChar c : part)
            token += (c.isLetterOrNumber() && c.unicode() < 128) ? c : QLatin1Char('_');
    }
    return token;
}

// Whether the desktop's name of a trigger ("Ctrl+Alt+Q") is the key asked for.
bool describes(const QString &description, const QKeySequence &shortcut)
{
    for (const auto format : {QKeySequence::PortableText, QKeySequence::NativeText})
        if (QKeySequence::fromString(description, format) == shortcut)
            return true;
    return false;
}

// Keys that the desktop was asked to bind and did not (the user declined its
// dialog, or it bound nothing), with the reason: a later start does not ask again,
// so that no dialog or settings window opens at every start.
QString unboundFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/tolvane/desktop-shortcuts.ini");
}

QString unboundReason(const QString &token)
{
    return QSettings(unboundFile(), QSettings::IniFormat)
        .value(QStringLiteral("unbound/") + token)
        .toString();
}

void setUnbound(const QString &token, const QString &reason)
{
    QSettings settings(unboundFile(), QSettings::IniFormat);
    const QString key = QStringLiteral("unbound/") + token;
    if (!reason.isEmpty())
        settings.setValue(key, reason);
    else if (settings.contains(key))
        settings.remove(key);
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
        : ShortcutBackend(parent), bus(QDBusConnection::sessionBus()),
          watcher(Service, bus, QDBusServiceWatcher::WatchForOwnerChange, this)
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
        connect(&watcher, &QDBusServiceWatcher::serviceOwnerChanged, this,
                [this](const QString &, const QString &, const QString &owner) { portalRestarted(owner); });
        bus.connect(Service, DesktopPath, ShortcutsInterface, QStringLiteral("Activated"), this,
                    SLOT(onActivated(QDBusMessage)));
        bus.connect(Service, DesktopPath, ShortcutsInterface, QStringLiteral("ShortcutsChanged"), this,
                    SLOT(onShortcutsChanged(QDBusMessage)));
    }

    ~PortalShortcutBackend() override
    {
        forgetRequests();
        if (opening != live)
            closeSession(opening);
        closeSession(live);
    }

    Outcome bind(const QKeySequence &shortcut) override
    {
        ++generation;
        forgetRequests();
        timeout.stop();
        if (opening != live)
            closeSession(opening);
        opening.clear();
        Outcome outcome;
        wanted = shortcut;
        if (shortcut.isEmpty()) {
            closeSession(live);
            return outcome;
        }
        if (!bus.isConnected()) {
            available = false;
            outcome.error = QStringLiteral("no D-Bus session bus");
            return outcome;
        }
        // A key asked for after the first one comes from the user's settings: the
        // desktop may ask the user about it.
        changing = bound;
        bound = true;
        available = true;
        start();
        outcome.status = GlobalShortcut::Status::Pending;
        return outcome;
    }

    bool isAvailable() const override { return available; }

private slots:
    void onActivated(const QDBusMessage &message)
    {
        const QVariantList args = message.arguments();
        if (args.size() < 2 || args.at(1).toString() != ShortcutId)
            return;
        const QString path = pathOf(args.at(0));
        if (path.isEmpty() || (path != live && path != opening))
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
        if (args.size() < 2 || live.isEmpty() || pathOf(args.at(0)) != live)
            return;
        const Listed listed = listedIn(args.at(1));
        if (listed.found)
            report(listed);
    }

    void onResponse(const QDBusMessage &message)
    {
        const auto handler = handlers.take(message.path());
        if (!handler)
            return;
        unlisten(message.path());
        const QVariantList args = message.arguments();
        const uint response = args.value(0).toUInt();
        const QVariantMap results = args.size() > 1 ? qdbus_cast<QVariantMap>(args.at(1)) : QVariantMap();
        handler(response, results);
    }

private:
    using Handler = std::function<void(uint response, const QVariantMap &results)>;

    // Our shortcut in a portal's a(sa{sv}) list.
    struct Listed
    {
        bool found = false;
        bool hasDescription = false;
        QString description;
    };

    static Listed listedIn(const QVariant &value)
    {
        QList<PortalShortcut> shortcuts;
        if (value.canConvert<QDBusArgument>())
            value.value<QDBusArgument>() >> shortcuts;
        else
            shortcuts = value.value<QList<PortalShortcut>>();
        Listed listed;
        for (const PortalShortcut &shortcut : std::as_const(shortcuts)) {
            if (shortcut.id != ShortcutId)
                continue;
            listed.found = true;
            listed.hasDescription = shortcut.options.contains(QStringLiteral("trigger_description"));
            listed.description = shortcut.options.value(QStringLiteral("trigger_description")).toString();
        }
        return listed;
    }

    QList<PortalShortcut> ourShortcut() const
    {
        return {{ShortcutId,
                 {{QStringLiteral("description"), QStringLiteral("Show the Tolvane window")},
                  {QStringLiteral("preferred_trigger"), preferredTrigger(wanted)}}}};
    }

    QString token() const { return sessionToken(QGuiApplication::desktopFileName(), wanted); }

    // What the desktop made of the shortcut it holds: the trigger it names, or no
    // key at all (Plasma registers a key that another program holds without one).
    void report(const Listed &listed)
    {
        timeout.stop();
        available = true;
        if (listed.hasDescription && listed.description.isEmpty()) {
            emit changed(GlobalShortcut::Status::Failed, QString(),
                         QStringLiteral("the desktop gave it no key"));
            return;
        }
        setUnbound(token(), QString());
        confirmWithKGlobalAccel(listed.description);
    }

    // Plasma 5.27's portal names the preferred trigger even where its shortcut
    // daemon gave the key to no one because another shortcut holds it (the action
    // keeps it only as its default). Where that daemon runs, its own word on the
    // action's key decides; it is never started by this question.
    void confirmWithKGlobalAccel(const QString &description)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/kglobalaccel"),
            QStringLiteral("org.kde.KGlobalAccel"), QStringLiteral("shortcut"));
        call.setArguments({QStringList{token(), ShortcutId, QString(), QString()}});
        call.setAutoStartService(false);
        auto callWatcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
        const int forGeneration = generation;
        connect(callWatcher, &QDBusPendingCallWatcher::finished, this,
                [this, callWatcher, forGeneration, description] {
                    callWatcher->deleteLater();
                    if (forGeneration != generation)
                        return;
                    const QDBusPendingReply<QList<int>> reply = *callWatcher;
                    // No daemon, or an action it does not know (a desktop that keeps
                    // the binding elsewhere): the portal's word stands.
                    const QList<int> keys = reply.isError() ? QList<int>() : reply.value();
                    const bool noKey = !keys.isEmpty() && std::all_of(keys.cbegin(), keys.cend(),
                                                                      [](int key) { return key == 0; });
                    if (noKey)
                        emit changed(GlobalShortcut::Status::Failed, QString(),
                                     QStringLiteral("another shortcut of the desktop holds it"));
                    else
                        emit changed(GlobalShortcut::Status::Active, description, QString());
                });
    }

    void start()
    {
        if (!registered) {
            registerApplication(generation);
        } else if (!live.isEmpty() && live.endsWith(QLatin1Char('/') + token())) {
            // The key of the session in force (the settings went back to it): that
            // session is asked again, as another one of the same token cannot exist.
            opening = live;
            timeout.start();
            listShortcuts(generation);
        } else {
            createSession(generation);
        }
    }

    // Calls a portal method whose answer comes as a Request's Response signal; the
    // signal is subscribed to before the call, on the path the portal will use.
    void request(const QString &method, QVariantList args, int forGeneration, Handler handler)
    {
        const QString handleToken = QStringLiteral("tolvane%1").arg(++requests);
        QVariantMap options = args.takeLast().toMap();
        options.insert(QStringLiteral("handle_token"), handleToken);
        args << options;
        QString sender = bus.baseService().mid(1);
        sender.replace(QLatin1Char('.'), QLatin1Char('_'));
        const QString expected =
            DesktopPath + QStringLiteral("/request/") + sender + QLatin1Char('/') + handleToken;
        const Handler guarded = [this, forGeneration, handler](uint response, const QVariantMap &results) {
            if (forGeneration == generation)
                handler(response, results);
        };
        listen(expected, guarded);

        QDBusMessage call = QDBusMessage::createMethodCall(Service, DesktopPath, ShortcutsInterface, method);
        call.setArguments(args);
        auto callWatcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
        connect(callWatcher, &QDBusPendingCallWatcher::finished, this,
                [this, callWatcher, forGeneration, expected, guarded] {
                    callWatcher->deleteLater();
                    if (forGeneration != generation)
                        return;
                    QDBusPendingReply<QDBusObjectPath> reply = *callWatcher;
                    if (reply.isError()) {
                        forgetRequests();
                        failCall(reply.error());
                        return;
                    }
                    // An older portal picks its own request path.
                    const QString handle = reply.value().path();
                    if (handle != expected && handlers.contains(expected)) {
                        handlers.remove(expected);
                        unlisten(expected);
                        listen(handle, guarded);
                    }
                });
    }

    void listen(const QString &path, const Handler &handler)
    {
        handlers.insert(path, handler);
        bus.connect(Service, path, RequestInterface, QStringLiteral("Response"), this,
                    SLOT(onResponse(QDBusMessage)));
    }

    void unlisten(const QString &path)
    {
        bus.disconnect(Service, path, RequestInterface, QStringLiteral("Response"), this,
                       SLOT(onResponse(QDBusMessage)));
    }

    void forgetRequests()
    {
        for (auto it = handlers.cbegin(); it != handlers.cend(); ++it)
            unlisten(it.key());
        handlers.clear();
    }

    // Where the bus offers the host Registry, the application id must be
    // registered before any other portal call, so the desktop knows who asks.
    void registerApplication(int forGeneration)
    {
        const QString appId = QGuiApplication::desktopFileName();
        if (appId.isEmpty()) {
            registered = true;
            createSession(forGeneration);
            return;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(Service, DesktopPath, RegistryInterface,
                                                           QStringLiteral("Register"));
        call.setArguments({appId, QVariantMap()});
        auto callWatcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
        connect(callWatcher, &QDBusPendingCallWatcher::finished, this, [this, callWatcher, forGeneration] {
            callWatcher->deleteLater();
            if (forGeneration != generation)
                return;
            const QDBusError error = QDBusPendingReply<>(*callWatcher).error();
            // No Registry (the usual case before xdg-desktop-portal 1.19) is fine;
            // no portal at all is not.
            if (error.type() == QDBusError::ServiceUnknown || error.type() == QDBusError::NoReply ||
                error.type() == QDBusError::TimedOut || error.type() == QDBusError::Timeout) {
                failCall(error);
                return;
            }
            registered = true;
            hostRegistry = !error.isValid();
            createSession(forGeneration);
        });
    }

    void createSession(int forGeneration)
    {
        timeout.start();
        const QVariantMap options{{QStringLiteral("session_handle_token"), token()},
                                  {QStringLiteral("shortcuts"), QVariant::fromValue(ourShortcut())}};
        request(QStringLiteral("CreateSession"), {options}, forGeneration,
                [this, forGeneration](uint response, const QVariantMap &results) {
                    if (response != 0) {
                        fail(QStringLiteral("the desktop refused it"));
                        return;
                    }
                    const QString session = pathOf(results.value(QStringLiteral("session_handle")));
                    if (session.isEmpty()) {
                        fail(QStringLiteral("the desktop portal gave no session"));
                        return;
                    }
                    opening = session;
                    const Listed listed = listedIn(results.value(QStringLiteral("shortcuts")));
                    if (listed.found)
                        settle(listed, forGeneration);
                    else
                        listShortcuts(forGeneration);
                });
    }

    void listShortcuts(int forGeneration)
    {
        request(QStringLiteral("ListShortcuts"),
                {QVariant::fromValue(QDBusObjectPath(opening)), QVariantMap()}, forGeneration,
                [this, forGeneration](uint response, const QVariantMap &results) {
                    const Listed listed =
                        response == 0 ? listedIn(results.value(QStringLiteral("shortcuts"))) : Listed();
                    if (listed.found) {
                        settle(listed, forGeneration);
                        return;
                    }
                    adopt();
                    // Asked once: what the desktop did not bind at an earlier start is
                    // not asked for again, unless the user chose the key anew.
                    const QString before = unboundReason(token());
                    if (!before.isEmpty() && !changing) {
                        fail(before);
                        return;
                    }
                    bindShortcuts(forGeneration);
                });
    }

    // The session holds the shortcut. A new key from the settings that a newer
    // portal kept as it was (it stores the user's binding per application) goes to
    // the desktop's dialog; Plasma 5.27 has already bound it to the new session.
    void settle(const Listed &listed, int forGeneration)
    {
        adopt();
        if (changing && hostRegistry && !(listed.hasDescription && describes(listed.description, wanted))) {
            bindShortcuts(forGeneration);
            return;
        }
        report(listed);
    }

    void bindShortcuts(int forGeneration)
    {
        timeout.stop();
        request(QStringLiteral("BindShortcuts"),
                {QVariant::fromValue(QDBusObjectPath(live)), QVariant::fromValue(ourShortcut()), QString(),
                 QVariantMap()},
                forGeneration, [this](uint response, const QVariantMap &results) {
                    if (response == ResponseCancelled) {
                        const QString reason = QStringLiteral("declined in the desktop's dialog");
                        setUnbound(token(), reason);
                        fail(reason);
                        return;
                    }
                    if (response != 0) {
                        fail(QStringLiteral("the desktop refused it"));
                        return;
                    }
                    const Listed listed = listedIn(results.value(QStringLiteral("shortcuts")));
                    if (!listed.found) {
                        const QString reason = QStringLiteral("the desktop bound no key");
                        setUnbound(token(), reason);
                        fail(reason);
                        return;
                    }
                    report(listed);
                });
    }

    // The new session replaces the one that held the previous key.
    void adopt()
    {
        if (opening.isEmpty())
            return;
        if (opening != live && !live.isEmpty()) {
            const QString previousToken = live.section(QLatin1Char('/'), -1);
            closeSession(live);
            releaseWithKGlobalAccel(previousToken);
        }
        live = opening;
        opening.clear();
    }

    // Plasma 5.27 keeps the key of a closed session's component, and so keeps it
    // from every other program: where KDE's shortcut daemon runs, the previous
    // key's shortcut goes with its session (never starting the daemon for that).
    void releaseWithKGlobalAccel(const QString &previousToken)
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.kde.kglobalaccel"), QStringLiteral("/kglobalaccel"),
            QStringLiteral("org.kde.KGlobalAccel"), QStringLiteral("unregister"));
        call.setArguments({previousToken, ShortcutId});
        call.setAutoStartService(false);
        bus.asyncCall(call);
    }

    void closeSession(QString &session)
    {
        if (!session.isEmpty() && bus.isConnected())
            bus.asyncCall(
                QDBusMessage::createMethodCall(Service, session, SessionInterface, QStringLiteral("Close")));
        session.clear();
    }

    // The portal service ended (its sessions with it) or started again: a new
    // session with the same token gets the same binding back, without asking.
    void portalRestarted(const QString &owner)
    {
        if (wanted.isEmpty() || !bound)
            return;
        ++generation;
        forgetRequests();
        timeout.stop();
        live.clear();
        opening.clear();
        registered = false;
        if (owner.isEmpty()) {
            emit changed(GlobalShortcut::Status::Failed, QString(),
                         QStringLiteral("the desktop portal stopped"));
            return;
        }
        changing = false;
        available = true;
        emit changed(GlobalShortcut::Status::Pending, QString(), QString());
        start();
    }

    void failCall(const QDBusError &error)
    {
        // Without a portal, or one without global shortcuts, the desktop has to
        // bind a key to the program's command instead.
        switch (error.type()) {
        case QDBusError::ServiceUnknown:
        case QDBusError::UnknownInterface:
        case QDBusError::UnknownMethod:
        case QDBusError::UnknownObject:
        case QDBusError::NoReply:
        case QDBusError::Timeout:
        case QDBusError::TimedOut:
            available = false;
            break;
        default:
            break;
        }
        timeout.stop();
        emit changed(GlobalShortcut::Status::Failed, QString(), reasonOf(error));
    }

    // The session stays open: a key the user sets later in the desktop's settings
    // comes through ShortcutsChanged.
    void fail(const QString &reason)
    {
        timeout.stop();
        emit changed(GlobalShortcut::Status::Failed, QString(), reason);
    }

    QDBusConnection bus;
    QDBusServiceWatcher watcher;
    QTimer timeout;
    QKeySequence wanted;
    QString live;    // the session that holds the binding in force
    QString opening; // the session being created for a new key
    QHash<QString, Handler> handlers;
    int generation = 0;
    int requests = 0;
    bool registered = false;
    bool hostRegistry = false;
    bool bound = false;
    bool changing = false;
    bool available = true;
};

ShortcutBackend *ShortcutBackends::createPortal(QObject *parent)
{
    return new PortalShortcutBackend(parent);
}

#include "globalshortcut_portal.moc"
