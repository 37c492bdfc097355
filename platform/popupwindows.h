#pragma once

#include <Qt>

class QPoint;
class QWidget;

// The small windows that stand beside a main window (the result list, the edit
// button, the alias editor). Under X11 they are tool-tip windows at screen
// positions. A Wayland client cannot place a window on the screen: there they
// are popups of the main window's surface, placed relative to it, which the
// compositor keeps with it.
namespace PopupWindows {

// Makes `popup`'s window a popup of the window that holds `owner`; call it before
// the popup is shown (its place is fixed when it appears on Wayland).
void attach(QWidget *popup, QWidget *owner);

// Moves a popup to a screen position (computed from its owner with mapToGlobal).
// A Wayland popup that is already shown cannot move: it is shown again there.
void move(QWidget *popup, const QPoint &globalPos);

// The window flags of a popup that takes the keyboard (the alias editor): a tool
// tip under X11; on Wayland a popup that grabs the keyboard, since the compositor
// gives a non-grabbing popup no keyboard.
Qt::WindowFlags keyboardPopupFlags();

// True on a Wayland session (Qt's Wayland platform): windows cannot place
// themselves, stay on top or take the keyboard without the compositor's consent.
bool isWayland();

} // namespace PopupWindows
