#!/usr/bin/env bash
# Takes the README picture: the launcher under a private Xvfb with a few sample
# applications, after typing "Te". Usage: tools/screenshot.sh [OUTPUT.png]
# Needs a build (tools/run.sh or tools/test.sh) and the test packages.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ -z "${TOLVANE_IN_XVFB:-}" ]]; then
    TOLVANE_IN_XVFB=1 exec tests/support/run-xvfb.sh "$0" "$@"
fi
out=$(realpath -m "${1:-docs/screenshot.png}")
bin=${TOLVANE_BUILD_DIR:-build}/bin
work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT

cp "$bin/tolvane" "$bin/config.ini" "$bin/main.ico" "$work/"
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share" XDG_CONFIG_HOME="$work/home/.config"
export XDG_RUNTIME_DIR="$work/run" XDG_DATA_DIRS=/usr/share TOLVANE_REGISTRY_DIR="$work/registry"
mkdir -p "$XDG_DATA_HOME/applications" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
for name in "Text Editor" "Terminal" "Tetris" "Web Browser" "System Monitor" "Spreadsheet"; do
    file="$XDG_DATA_HOME/applications/$(echo "$name" | tr ' A-Z' '-a-z').desktop"
    printf '[Desktop Entry]\nType=Application\nName=%s\nExec=true\n' "$name" > "$file"
done

(cd "$work" && ./tolvane >/dev/null 2>&1 &)
window=""
for _ in $(seq 1 100); do
    window=$(xdotool search --onlyvisible --name '^Tolvane$' 2>/dev/null | head -n1 || true)
    [[ -n "$window" ]] && break
    sleep 0.1
done
sleep 0.5
xdotool windowmove "$window" 175 60
sleep 0.5
# Without a window manager the keyboard follows the pointer: rest it on the window.
xdotool mousemove 300 70 type --delay 120 "Te"
sleep 1.5
mkdir -p "$(dirname "$out")"
import -window root -crop 470x260+165+50 +repage "$out"
echo "wrote $out"
