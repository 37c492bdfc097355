#pragma once

#include <QObject>
#include <QStringList>

// The test's side of a KDE Plasma session started by tests/support/run-kwin.sh:
// keys pressed through KWin's fake-input protocol, and KWin's own word (through a
// KWin script that calls this object over D-Bus) on which window is active and
// which windows appear. A window is named "app id|caption|pid|popup" (the last
// field empty for other windows).
class KWinSession : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tolvane.KWinProbe")

public:
    explicit KWinSession(QObject *parent = nullptr);
    ~KWinSession() override;

    // Whether the probe is registered and KWin runs its script.
    bool isReady() const { return m_ready; }
    QString error() const { return m_error; }

    // The active window as KWin last reported it; empty when none.
    QString activeWindow() const { return m_active; }
    // The app id of the active window.
    QString activeAppId() const { return m_active.section(QLatin1Char('|'), 0, 0); }
    // Every window KWin mapped since the probe started, in order.
    QStringList addedWindows() const { return m_added; }

    // Presses the combinations in turn ("ctrl+alt+q", "escape", "type:mark");
    // returns whether the key client succeeded.
    static bool press(const QStringList &combinations);
    // The session's runtime folder (kwin.log, portal.log, home/).
    static QString runtime();
    // The KDE shortcut settings file of the session (kglobalshortcutsrc).
    static QString shortcutSettings();

public slots:
    Q_SCRIPTABLE void active(const QString &window);
    Q_SCRIPTABLE void added(const QString &window);

signals:
    void activeChanged(const QString &window);
    void windowAdded(const QString &window);

private:
    bool m_ready = false;
    bool m_reported = false;
    QString m_error;
    QString m_active;
    QStringList m_added;
    QString m_scriptName;
};
