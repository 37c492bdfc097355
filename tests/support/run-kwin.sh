#!/usr/bin/env bash
# Runs one test in a private headless KDE Plasma session: KWin (its virtual
# output, with the global shortcut daemon inside it) and the desktop portal with
# its KDE backend, on a D-Bus session bus of their own:
#   run-kwin.sh TEST [ARGS...]
# The test runs in that session with WAYLAND_DISPLAY (an absolute path), DBUS_SESSION_BUS_ADDRESS,
# XDG_CURRENT_DESKTOP=KDE and TOLVANE_KWIN_RUNTIME (the session's runtime folder,
# which holds kwin.log and portal.log) set. KWin lets clients use its fake-input
# protocol (keys for the tests). As root the whole session, test included, runs in
# a user namespace as user 1000, as Plasma would not run as root. With
# TOLVANE_KWIN_SHORTCUTS naming a file, the session starts with it as its
# kglobalshortcutsrc.
set -u
if [[ $(id -u) -eq 0 && -z "${TOLVANE_KWIN_INNER:-}" ]]; then
    TOLVANE_KWIN_INNER=1 exec unshare -U --map-user=1000 --map-group=1000 "$0" "$@"
fi
if [[ -z "${TOLVANE_KWIN_BUS:-}" ]]; then
    TOLVANE_KWIN_BUS=1 exec dbus-run-session -- "$0" "$@"
fi

runtime=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-kwin-XXXXXX")
chmod 700 "$runtime"
# A copy of the compositor without its file capability, which a user namespace
# refuses to execute (EPERM).
kwin=/usr/bin/kwin_wayland
cp "$kwin" "$runtime/kwin_wayland"
kwin="$runtime/kwin_wayland"

export XDG_RUNTIME_DIR="$runtime" XDG_CURRENT_DESKTOP=KDE XDG_SESSION_TYPE=wayland KDE_FULL_SESSION=true
export XDG_SESSION_DESKTOP=KDE KDE_SESSION_VERSION=5
# A home of the session's own, so that KDE's settings (kglobalshortcutsrc) of one
# run never reach the next.
export HOME="$runtime/home" XDG_CONFIG_HOME="$runtime/home/.config" XDG_DATA_HOME="$runtime/home/.local/share"
export XDG_CACHE_HOME="$runtime/home/.cache"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
# The desktop's shortcut settings as an earlier session left them, when given.
if [[ -n "${TOLVANE_KWIN_SHORTCUTS:-}" ]]; then
    cp "$TOLVANE_KWIN_SHORTCUTS" "$XDG_CONFIG_HOME/kglobalshortcutsrc"
fi
unset DISPLAY WAYLAND_DISPLAY SWAYSOCK QT_QPA_PLATFORM

owned() {
    dbus-send --session --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner "string:$1" 2>/dev/null | grep -q true
}

stop() {
    for p in "$@"; do kill "$p" 2>/dev/null; done
    for p in "$@"; do wait "$p" 2>/dev/null; done
}

KWIN_WAYLAND_NO_PERMISSION_CHECKS=1 "$kwin" --virtual --width 1280 --height 800 \
    --socket wayland-kwin --no-lockscreen --no-kactivities >"$runtime/kwin.log" 2>&1 &
kwin_pid=$!
for _ in $(seq 1 400); do
    [[ -S "$runtime/wayland-kwin" ]] && owned org.kde.kglobalaccel && break
    sleep 0.05
done
if [[ ! -S "$runtime/wayland-kwin" ]]; then
    echo "kwin_wayland did not start:" >&2
    cat "$runtime/kwin.log" >&2
    stop "$kwin_pid"
    rm -rf "$runtime"
    exit 1
fi
export WAYLAND_DISPLAY=wayland-kwin
export QT_QPA_PLATFORM=wayland
# What the bus starts on demand (System Settings, for one) joins the session too.
dbus-update-activation-environment WAYLAND_DISPLAY XDG_RUNTIME_DIR XDG_CURRENT_DESKTOP HOME \
    XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME QT_QPA_PLATFORM >/dev/null 2>&1

kde_backend=$(ls /usr/lib/*/libexec/xdg-desktop-portal-kde /usr/libexec/xdg-desktop-portal-kde 2>/dev/null | head -n1)
"$kde_backend" >"$runtime/portal-kde.log" 2>&1 &
kde_pid=$!
for _ in $(seq 1 400); do
    owned org.freedesktop.impl.portal.desktop.kde && break
    sleep 0.05
done
/usr/libexec/xdg-desktop-portal -r >"$runtime/portal.log" 2>&1 &
portal_pid=$!
for _ in $(seq 1 400); do
    owned org.freedesktop.portal.Desktop && break
    sleep 0.05
done

# An absolute socket path, so that clients with another XDG_RUNTIME_DIR (the
# tests' sandboxes) find it.
export TOLVANE_KWIN_RUNTIME="$runtime" WAYLAND_DISPLAY="$runtime/wayland-kwin"
"$@"
rc=$?

stop "$portal_pid" "$kde_pid" "$kwin_pid"
rm -rf "$runtime"
exit $rc
