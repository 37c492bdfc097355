#!/usr/bin/env bash
# Runs one test under a private Xvfb server: run-xvfb.sh [--tray] TEST [ARGS...]
# With --tray, trayer provides a system tray (XEmbed) on that server.
set -u
tray=0
if [[ "${1:-}" == "--tray" ]]; then
    tray=1
    shift
fi

fdfile=$(mktemp)
exec 3>"$fdfile"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 1 200); do
    [[ -s "$fdfile" ]] && break
    sleep 0.05
done
display=$(head -n1 "$fdfile")
rm -f "$fdfile"
if [[ -z "$display" ]]; then
    echo "Xvfb did not start" >&2
    kill "$xvfb" 2>/dev/null
    exit 1
fi
export DISPLAY=":$display"
export QT_QPA_PLATFORM=xcb
# An X11 session, also when the tests are started from a Wayland desktop.
unset WAYLAND_DISPLAY XDG_SESSION_TYPE

pids=()
if [[ $tray -eq 1 ]]; then
    trayer --edge top --align right --widthtype request --height 32 --SetDockType true >/dev/null 2>&1 &
    pids+=($!)
    # Wait until the tray owns its selection, so the program under test sees it.
    for _ in $(seq 1 200); do
        xprop -root _NET_SUPPORTING_WM_CHECK >/dev/null 2>&1
        if xwininfo -root -tree 2>/dev/null | grep -qi trayer; then
            break
        fi
        sleep 0.05
    done
fi

"$@"
rc=$?

for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
kill "$xvfb" 2>/dev/null
wait 2>/dev/null
exit $rc
