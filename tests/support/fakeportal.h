#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QMap>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

// A private D-Bus bus of the test's own (dbus-daemon). Programs in a user
// namespace (the ones sway starts when the tests run as root) connect to it too.
class PrivateBus
{
public:
    PrivateBus();
    ~PrivateBus();

    bool isRunning() const { return !m_address.isEmpty(); }
    QString address() const { return m_address; }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};

// A stand-in for the desktop portal (org.freedesktop.portal.Desktop) with the
// GlobalShortcuts calls, the Request and Session objects, the host Registry, and
// the Activated signal, answering as the real desktops do; it records the calls it
// receives. For what the real portal cannot show: one that never answers, fails,
// or leaves the bus and comes back.
class FakePortal : public QDBusVirtualObject
{
    Q_OBJECT

public:
    // Plasma 5.27 (xdg-desktop-portal 1.16): CreateSession registers the shortcuts
    // of its options under a component named after the session token, and answers
    // with them; BindShortcuts opens System Settings and answers with what the
    // session holds. Newer: CreateSession ignores those options; the bindings are
    // kept per application; BindShortcuts asks the user in a dialog.
    enum class Kind { Plasma527, Newer };
    // Accept; Refuse: every request answers "failed" (2); Silent: no answer ever;
    // Decline: the user cancels the dialog (1); FailBind: BindShortcuts fails (2);
    // BindNothing: BindShortcuts succeeds with no shortcut bound.
    enum class Answer { Accept, Refuse, Silent, Decline, FailBind, BindNothing };

    // Connects to the bus at `address` and takes the portal's name there.
    explicit FakePortal(const QString &address, QObject *parent = nullptr);
    ~FakePortal() override;

    bool isRegistered() const { return m_registered; }

    Kind kind = Kind::Plasma527;
    bool offerRegistry = false;
    bool offerShortcuts = true;
    Answer answer = Answer::Accept;
    // The trigger the "desktop" gives instead of the preferred one; empty: the
    // preferred one.
    QString assignedTrigger;
    // Whether the answers name the trigger (trigger_description).
    bool describeTrigger = true;

    // Every call received, as "Method argument" lines: "CreateSession TOKEN
    // CTRL+ALT+q", "ListShortcuts", "BindShortcuts CTRL+ALT+q" (Plasma 5.27 opens
    // System Settings then; a newer portal shows its dialog), "Close PATH".
    QStringList calls;
    // The sessions created and not closed.
    QStringList openSessions;
    // The keys stored by the "desktop" (its kglobalshortcutsrc): component and
    // shortcut id to the trigger's description. Kept across sessions.
    QMap<QString, QString> stored;

    // Emits Activated for the shortcut `id` of the last session, with an
    // activation token where one is given.
    void activate(const QString &token = QString(), const QString &id = QStringLiteral("show-window"));
    // The portal's service leaves the bus (its sessions end with it), and comes back.
    void vanish();
    bool comeBack();

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

private:
    void respond(const QString &requestPath, uint code, const QVariantMap &results);
    QVariant shortcutsOf(const QString &session) const;
    QString componentOf(const QString &session) const;

    QMap<QString, QString> m_tokens;         // session path to its token
    QMap<QString, QStringList> m_sessionIds; // session path to the shortcut ids it holds
    QString m_appId;

    QDBusConnection m_bus;
    bool m_registered = false;
};
