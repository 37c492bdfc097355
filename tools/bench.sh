#!/usr/bin/env bash
# Builds Tolvane and its benchmarks in release mode, runs them all and prints one
# table: each figure's median, 95th percentile, number of runs, target and verdict.
#   tools/bench.sh [build-folder]      (default: build-bench in the repository)
# The process and window figures run under a private Xvfb server, and again under a
# headless sway, KWin and GNOME Shell for Wayland; every benchmark works in a
# temporary sandbox of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
build=${1:-build-bench}

tools/install-deps.sh --bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target tolvane bench_startup bench_keystroke bench_discovery bench_catalog bench_paint \
    bench_gnome

bin=$(cd "$build/bin" && pwd)
export TOLVANE_TEST_BIN_DIR="$bin" LANG=C.UTF-8 LC_ALL=C.UTF-8
xvfb="$repo/tests/support/run-xvfb.sh"
sway="$repo/tests/support/run-sway.sh"
gnome="$repo/tests/support/run-gnome.sh"
rows=$(mktemp)
trap 'rm -f "$rows"' EXIT

run() {
    echo "running $*" >&2
    "$@" | grep '^@row' >>"$rows" || { echo "benchmark failed: $*" >&2; exit 1; }
}
run "$xvfb" "$bin/bench_startup"
run "$xvfb" "$bin/bench_keystroke"
# The same window figures on Wayland (headless sway), in the same run.
run "$sway" "$bin/bench_startup"
run "$sway" "$bin/bench_keystroke"
# The portal's hotkey on KDE Plasma (headless KWin), in the same run.
run "$repo/tests/support/run-kwin.sh" "$bin/bench_startup"
# The hotkey (GNOME's custom shortcut) and launching a running program, in a
# headless GNOME Shell; the benchmark itself drives it from outside, offscreen.
QT_QPA_PLATFORM=offscreen run "$gnome" "$bin/bench_gnome"
QT_QPA_PLATFORM=offscreen run "$bin/bench_discovery" entries
QT_QPA_PLATFORM=offscreen run "$bin/bench_discovery" tree
QT_QPA_PLATFORM=offscreen run "$bin/bench_discovery" links
for scale in 1 1.5 2; do
    QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=$scale run "$bin/bench_paint"
done

echo
awk -F'\t' 'BEGIN { printf "| %-62s | %11s | %11s | %4s | %-14s | %-7s |\n", "figure", "median", "p95", "runs", "target", "verdict";
                    printf "|%s|%s|%s|%s|%s|%s|\n", "----------------------------------------------------------------", "------------:", "------------:", "-----:", "----------------", "---------" }
            { printf "| %-62s | %11s | %11s | %4s | %-14s | %-7s |\n", $2, $3, $4, $5, $6, $7 }' "$rows"
