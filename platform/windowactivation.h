#pragma once

#include <QString>

class QWidget;

// Bringing a window forward with the keyboard when the user asked for it through
// another process (a second start) or a desktop service (the shortcut portal).
// Desktops give the keyboard to a window only with proof of the user's request: a
// Wayland activation token (XDG_ACTIVATION_TOKEN) or an X11 startup id
// (DESKTOP_STARTUP_ID) that the launcher handed to the process it started.
namespace WindowActivation {

// The token this process was started with, as "NAME=value" (NAME being
// XDG_ACTIVATION_TOKEN or DESKTOP_STARTUP_ID); empty when there is none. Call it
// before the application object exists: Qt takes the variables out of the
// environment when it starts.
QString startupToken();

// The token carried by a Wayland compositor's or the portal's activation.
QString waylandToken(const QString &value);

// A token for a program this process is about to start, so the desktop lets that
// program's window (or the running copy it hands over to) take the keyboard: on
// Wayland one the compositor issues for the focused window and the user's latest
// key press or click (xdg-activation), on X11 a startup-notification id with the
// time of the user's latest input. "NAME=value" as startupToken(); empty where
// none can be had.
QString launchToken();

// Shows `window` raised and gives it the keyboard, with `token` (startupToken() of
// another process, or waylandToken()) where the window system asks for one. On
// Wayland a shown window that cannot be activated without a token is shown anew,
// which compositors give the keyboard like any new window.
void activate(QWidget *window, const QString &token);

} // namespace WindowActivation
