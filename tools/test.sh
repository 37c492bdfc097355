#!/usr/bin/env bash
# Installs what the build and the tests need, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh --test
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLVANE_BUILD_TESTS=ON >/dev/null
cmake --build build -j2
cd build
ctest --output-on-failure -j2 "$@"
