#pragma once

#include "globalshortcut.h"

#include <QString>

// What the program tells the user about the hotkey and about bringing the window
// back, from the hotkey's state on the desktop at hand: an X11 key grab, the
// desktop's global-shortcuts portal (which names its own trigger), a shortcut kept
// in the desktop's keyboard settings, or none at all (then the desktop has to bind
// a key to the program's command). Plain functions of a plain state, so every
// desktop's texts can be checked without that desktop.
struct HotkeyState
{
    GlobalShortcut::Mechanism mechanism = GlobalShortcut::Mechanism::None;
    GlobalShortcut::Status status = GlobalShortcut::Status::Inactive;
    // Whether the session lets the program register system-wide keys at all.
    bool available = false;
    // The hotkey text asked for (config.ini, the settings), such as CTRL+ALT+Q.
    QString key;
    // The trigger in force as the desktop names it; empty when it is `key` itself.
    QString trigger;
    // Why no hotkey is in force, in a few words.
    QString error;
    // Whether the tray icon exists.
    bool tray = false;
    // The command a desktop binds a key to (the program's absolute path).
    QString command;

    static HotkeyState of(const GlobalShortcut *shortcut, const QString &key, bool tray,
                          const QString &command);

    bool inForce() const { return status == GlobalShortcut::Status::Active; }
    // Whether a key can be had here at all; if not, the desktop must bind one.
    bool canRegister() const { return mechanism != GlobalShortcut::Mechanism::None && available; }
    // The key that summons the window, as the user presses it; empty when none is in force.
    QString keyInForce() const;
};

namespace HotkeyMessages {

// The hotkey line (rich text): the caption, then the key in green where it is in
// force, else what holds, not in green.
QString line(const HotkeyState &state);
// The hotkey line's tool tip: how the hotkey works here, or why there is none and
// how the window comes back instead.
QString toolTip(const HotkeyState &state);
// Why no hotkey is in force and what to do, in full; empty while one is in force
// or the desktop's answer is awaited.
QString problem(const HotkeyState &state);
// How the window comes back without a hotkey: the tray, or a second start.
QString wayBack(const HotkeyState &state);
// The settings' answer when the key `refused` cannot be had for `reason`, with
// `previous` asked for before it and in force or not.
QString refusal(const QString &refused, const QString &reason, const QString &previous, bool previousInForce,
                const HotkeyState &now);
// The settings' answer to a new key on a desktop that lets no program register one.
QString bindElsewhere(const HotkeyState &state);

} // namespace HotkeyMessages
