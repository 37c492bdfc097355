#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
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
// documented GlobalShortcuts calls, the Request and Session objects, the host
// Registry, and the Activated signal; it records the calls it receives.
class FakePortal : public QDBusVirtualObject
{
    Q_OBJECT

public:
    enum class Answer { Accept, Refuse, Silent };

    // Connects to the bus at `address` and takes the portal's name there.
    explicit FakePortal(const QString &address, QObject *parent = nullptr);
    ~FakePortal() override;

    bool isRegistered() const { return m_registered; }

    bool offerRegistry = false;
    bool offerShortcuts = true;
    Answer answer = Answer::Accept;
    // The trigger the "desktop" assigns (trigger_description); empty: none said.
    QString assignedTrigger = QStringLiteral("Ctrl+Alt+Q");

    // Every call received, as "Method argument" lines ("BindShortcuts CTRL+ALT+q").
    QStringList calls;
    // The sessions created and not closed.
    QStringList openSessions;

    // Emits Activated for the last session's shortcut, with an activation token.
    void activate(const QString &token = QString());

    QString introspect(const QString &path) const override;
    bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override;

private:
    void respond(const QString &requestPath, uint code, const QVariantMap &results);

    QDBusConnection m_bus;
    bool m_registered = false;
};
