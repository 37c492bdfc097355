#pragma once

#include "globalshortcut.h"

#include <QObject>

// One way of registering a system-wide key (X11 grab, desktop portal, Windows).
class ShortcutBackend : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    struct Outcome
    {
        GlobalShortcut::Status status = GlobalShortcut::Status::Failed;
        QString trigger;
        QString error;
    };

    // Releases the previous combination, then asks for this one (never empty, and
    // already allowed); an empty sequence only releases. Pending outcomes are
    // completed later through changed().
    virtual Outcome bind(const QKeySequence &shortcut) = 0;
    // Whether system-wide keys can work at all here (see GlobalShortcut::isAvailable).
    virtual bool isAvailable() const = 0;

signals:
    void activated(const QString &activationToken);
    void changed(GlobalShortcut::Status status, const QString &trigger, const QString &error);
};

namespace ShortcutBackends {

// The mechanism that `Automatic` stands for in this session.
GlobalShortcut::Mechanism automatic();
// A backend for the mechanism; null for None.
ShortcutBackend *create(GlobalShortcut::Mechanism mechanism, QObject *parent);

// Backends of this platform (defined in the per-backend files).
ShortcutBackend *createKeyGrab(QObject *parent);
ShortcutBackend *createPortal(QObject *parent);
// DesktopShortcut: a shortcut of the program's own in GNOME's keyboard settings,
// which runs the program's command (the second start hands over to this copy).
ShortcutBackend *createDesktopShortcut(QObject *parent);
// Whether this is a GNOME session with GNOME's keyboard settings installed.
bool isGnomeSession();

} // namespace ShortcutBackends
