#include "globalshortcut_p.h"

#include <QGuiApplication>

GlobalShortcut::Mechanism ShortcutBackends::automatic()
{
    const QString platform = QGuiApplication::platformName();
    // GNOME's own custom shortcuts work on every GNOME version and ask the user
    // nothing; its portal has global shortcuts only from GNOME 48 on.
    if (platform.startsWith(QLatin1String("wayland")))
        return isGnomeSession() ? GlobalShortcut::Mechanism::DesktopShortcut
                                : GlobalShortcut::Mechanism::Portal;
    if (platform == QLatin1String("xcb")) {
        // Under XWayland an X11 grab "succeeds" but sees only keys pressed over
        // X11 windows: on a Wayland session the desktop's portal is the way.
        const bool waylandSession = qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland") ||
                                    !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
        if (!waylandSession)
            return GlobalShortcut::Mechanism::KeyGrab;
        return isGnomeSession() ? GlobalShortcut::Mechanism::DesktopShortcut
                                : GlobalShortcut::Mechanism::Portal;
    }
    return GlobalShortcut::Mechanism::None;
}

ShortcutBackend *ShortcutBackends::create(GlobalShortcut::Mechanism mechanism, QObject *parent)
{
    switch (mechanism) {
    case GlobalShortcut::Mechanism::KeyGrab:
        return createKeyGrab(parent);
    case GlobalShortcut::Mechanism::Portal:
        return createPortal(parent);
    case GlobalShortcut::Mechanism::DesktopShortcut:
        return createDesktopShortcut(parent);
    case GlobalShortcut::Mechanism::Automatic:
        return create(automatic(), parent);
    case GlobalShortcut::Mechanism::None:
        break;
    }
    return nullptr;
}
