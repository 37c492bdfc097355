#!/usr/bin/env bash
# Installs what the build needs, builds, and starts the launcher.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2 --target tolvane
# From its own folder, where the window icon file main.ico is.
cd build/bin
exec ./tolvane "$@"
