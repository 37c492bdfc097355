#!/usr/bin/env bash
# Runs one test inside a private headless GNOME Shell (mutter, Wayland only):
#   run-gnome.sh TEST [ARGS...]
# The shell runs as an unprivileged user (uid 1000 in a user namespace when
# started as root) with a private HOME, XDG_RUNTIME_DIR, session bus and a
# permissive private system bus. Without logind the shell dies at start when
# /run/systemd/seats exists, so a private mount namespace hides that folder. A
# small extension of the test's own turns on the shell's unsafe mode, which opens
# org.gnome.Shell.Eval and org.gnome.Shell.Screenshot to the test; gsd-media-keys
# runs GNOME's custom shortcuts. The test gets WAYLAND_DISPLAY, XDG_CURRENT_DESKTOP
# and the session bus; TOLVANE_GNOME_RUNTIME names the runtime folder.
set -u
here=$(cd "$(dirname "$0")" && pwd)

# Stage 3, inside the session bus: the shell, the shortcut daemon, the test.
if [[ ${1:-} == --session ]]; then
    shift
    runtime=$TOLVANE_GNOME_RUNTIME
    gsettings set org.gnome.shell enabled-extensions "['unsafe@tolvane.test']"
    gsettings set org.gnome.shell disable-user-extensions false
    gsettings set org.gnome.shell welcome-dialog-last-shown-version '99'
    gnome-shell --headless --wayland --no-x11 --virtual-monitor 1280x800 >"$runtime/shell.log" 2>&1 &
    shell=$!
    ok=""
    for _ in $(seq 1 600); do
        if [[ -S $XDG_RUNTIME_DIR/wayland-0 ]] &&
            gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
                --method org.gnome.Shell.Eval 'Main.layoutManager._startingUp === false' 2>/dev/null |
            grep -q "(true, 'true')"; then
            ok=1
            break
        fi
        kill -0 $shell 2>/dev/null || break
        sleep 0.1
    done
    if [[ -z $ok ]]; then
        echo "GNOME Shell did not start:" >&2
        tail -n 40 "$runtime/shell.log" >&2
        kill $shell 2>/dev/null
        exit 1
    fi
    # The shell starts in the overview; the test wants the desktop.
    gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
        --method org.gnome.Shell.Eval 'Main.overview.hide()' >/dev/null
    export WAYLAND_DISPLAY=$XDG_RUNTIME_DIR/wayland-0 TOLVANE_GNOME_HOME=$HOME \
        TOLVANE_GNOME_XDG_RUNTIME_DIR=$XDG_RUNTIME_DIR
    /usr/libexec/gsd-media-keys >"$runtime/media-keys.log" 2>&1 &
    keys=$!
    "$@"
    rc=$?
    kill $keys $shell 2>/dev/null
    wait $keys $shell 2>/dev/null
    exit $rc
fi

# Stage 2, the unprivileged user: a private system bus, then a session bus.
if [[ ${1:-} == --user ]]; then
    shift
    runtime=$TOLVANE_GNOME_RUNTIME
    dbus-daemon --config-file="$runtime/system.conf" --fork --print-pid=3 3>"$runtime/system-bus.pid"
    export DBUS_SYSTEM_BUS_ADDRESS="unix:path=$runtime/system_bus"
    dbus-run-session -- "$here/run-gnome.sh" --session "$@"
    rc=$?
    kill "$(cat "$runtime/system-bus.pid")" 2>/dev/null
    exit $rc
fi

# Stage 1b, root of the private mount namespace: hide logind's seats, become the user.
if [[ ${1:-} == --mounts ]]; then
    shift
    [[ -d /run/systemd/seats ]] && mount -t tmpfs tmpfs /run/systemd/seats
    exec unshare -U --map-user="$TOLVANE_GNOME_UID" --map-group="$TOLVANE_GNOME_GID" \
        "$here/run-gnome.sh" --user "$@"
fi

# Stage 1a: the private folders.
runtime=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-gnome-XXXXXX")
chmod 755 "$runtime"
mkdir -p "$runtime/home" "$runtime/run"
chmod 700 "$runtime/run"
ext="$runtime/home/.local/share/gnome-shell/extensions/unsafe@tolvane.test"
mkdir -p "$ext"
cat >"$ext/metadata.json" <<'JSON'
{"uuid": "unsafe@tolvane.test", "name": "Unsafe mode for tests", "description": "Opens Eval and Screenshot to tests", "shell-version": ["43", "44", "45", "46", "47", "48"]}
JSON
cat >"$ext/extension.js" <<'JS'
function init() {
    return {
        enable() { global.context.unsafe_mode = true; },
        disable() { global.context.unsafe_mode = false; },
    };
}
JS
cat >"$runtime/system.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$runtime/system_bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <allow own="*"/>
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
  </policy>
</busconfig>
CONF

uid=$(id -u)
gid=$(id -g)
if [[ $uid -eq 0 ]]; then
    uid=1000
    gid=1000
fi
env -u DISPLAY -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS -u XDG_CONFIG_HOME -u XDG_DATA_HOME \
    -u XDG_CACHE_HOME -u XDG_STATE_HOME \
    HOME="$runtime/home" XDG_RUNTIME_DIR="$runtime/run" XDG_CURRENT_DESKTOP=GNOME \
    XDG_SESSION_TYPE=wayland XDG_SESSION_DESKTOP=gnome GDK_BACKEND=wayland QT_QPA_PLATFORM=wayland \
    TOLVANE_GNOME_RUNTIME="$runtime" TOLVANE_GNOME_UID=$uid TOLVANE_GNOME_GID=$gid \
    unshare -U -m --map-root-user "$here/run-gnome.sh" --mounts "$@"
rc=$?
rm -rf "$runtime"
exit $rc
