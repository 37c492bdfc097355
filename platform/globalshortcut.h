#pragma once

#include <QKeySequence>
#include <QObject>
#include <QString>

#include <memory>

class ShortcutBackend;

// A system-wide key combination that brings the program forward. The mechanism is
// chosen at run time: under X11 the key is grabbed on the root window (also with
// Caps Lock and Num Lock held); on a Wayland session the desktop's global-shortcuts
// portal binds it (its answer comes later); elsewhere (offscreen, or a Wayland
// session under XWayland without the portal) there is none, and the desktop has to
// bind a key to the program's command instead.
class GlobalShortcut : public QObject
{
    Q_OBJECT

public:
    // KeyGrab: the window system's own registration (an X11 grab, RegisterHotKey).
    enum class Mechanism { Automatic, KeyGrab, Portal, DesktopShortcut, None };
    enum class Status { Inactive, Pending, Active, Failed };

    explicit GlobalShortcut(QObject *parent = nullptr, Mechanism mechanism = Mechanism::Automatic);
    ~GlobalShortcut() override;

    // Releases the previous combination, then registers the new one. Returns false
    // when it is refused at once: an empty sequence, a key without Ctrl, Alt or Super
    // (function keys excepted), a key without a key code, a key another program
    // holds, a session without system-wide keys. With the portal the desktop answers
    // later: true, status() Pending, then statusChanged().
    bool setShortcut(const QKeySequence &shortcut);
    QKeySequence shortcut() const;

    Status status() const;
    bool isActive() const { return status() == Status::Active; }
    // The trigger in force as the desktop names it (the portal's description);
    // empty when the requested key itself is in force.
    QString trigger() const;
    // Why no hotkey is in force, in a few words ("held by another program"); empty
    // while one is in force or the answer is awaited.
    QString errorString() const;
    // Whether this session lets the program register system-wide keys at all. When
    // not (no X11, no usable portal), the desktop has to bind a key to the command.
    bool isAvailable() const;
    Mechanism mechanism() const;

    // A combination that may serve: it holds Ctrl, Alt or Super, or it is a
    // function key F1 to F24. A bare letter would take that key from every program.
    static bool isAllowed(const QKeySequence &shortcut);

signals:
    // The combination was pressed; the token, when the desktop sent one, lets the
    // window take the keyboard (see WindowActivation).
    void activated(const QString &activationToken = QString());
    // status(), trigger(), errorString() or isAvailable() changed later than the
    // call that asked for it (the portal's answer, its time-out, a new trigger).
    void statusChanged();

private:
    void apply(Status status, const QString &trigger, const QString &error);

    std::unique_ptr<ShortcutBackend> backend;
    Mechanism chosen = Mechanism::None;
    QKeySequence requested;
    Status current = Status::Inactive;
    QString currentTrigger;
    QString currentError;
};
