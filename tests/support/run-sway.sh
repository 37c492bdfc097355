#!/usr/bin/env bash
# Runs one test under a private headless sway (a real Wayland compositor):
#   run-sway.sh TEST [ARGS...]
# Exports WAYLAND_DISPLAY (an absolute socket path, so clients with another
# XDG_RUNTIME_DIR find it), SWAYSOCK (its IPC socket for swaymsg) and
# TOLVANE_SWAY_RUNTIME (sway's runtime folder). sway refuses to run as root: as
# root it runs in a user namespace as user 1000, and the programs it starts
# (swaymsg exec, bindsym) run there too.
set -u
runtime=$(mktemp -d "${TMPDIR:-/tmp}/tolvane-sway-XXXXXX")
chmod 700 "$runtime"
config="$runtime/config"
cat >"$config" <<'CONF'
output HEADLESS-1 resolution 1280x800 position 0 0
default_border none
CONF

wrap=()
if [[ $(id -u) -eq 0 ]]; then
    wrap=(unshare -U --map-user=1000 --map-group=1000)
fi
env -u DISPLAY -u WAYLAND_DISPLAY -u SWAYSOCK XDG_RUNTIME_DIR="$runtime" WLR_BACKENDS=headless \
    WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman "${wrap[@]}" sway -c "$config" >"$runtime/sway.log" 2>&1 &
sway=$!
sock=""
for _ in $(seq 1 200); do
    sock=$(ls "$runtime"/sway-ipc.*.sock 2>/dev/null | head -n1)
    [[ -S "$runtime/wayland-1" && -n "$sock" ]] && break
    sleep 0.05
done
if [[ ! -S "$runtime/wayland-1" || -z "$sock" ]]; then
    echo "sway did not start:" >&2
    cat "$runtime/sway.log" >&2
    kill "$sway" 2>/dev/null
    rm -rf "$runtime"
    exit 1
fi
export WAYLAND_DISPLAY="$runtime/wayland-1" SWAYSOCK="$sock" TOLVANE_SWAY_RUNTIME="$runtime"
export QT_QPA_PLATFORM=wayland
unset DISPLAY

"$@"
rc=$?

kill "$sway" 2>/dev/null
wait "$sway" 2>/dev/null
rm -rf "$runtime"
exit $rc
