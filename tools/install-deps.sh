#!/usr/bin/env bash
# Installs the Debian packages that building Tolvane needs, and with --test also
# what its tests and screenshots need. Does nothing when everything is present.
set -euo pipefail

build_pkgs=(cmake g++ make pkg-config qt6-base-dev libqt6sql6-sqlite libsqlite3-dev
            libglib2.0-dev libxcb1-dev)
test_pkgs=(xvfb xauth xdotool trayer x11-utils imagemagick sqlite3 fonts-dejavu-core)

want=("${build_pkgs[@]}")
if [[ "${1:-}" == "--test" ]]; then
    want+=("${test_pkgs[@]}")
fi

missing=()
for p in "${want[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [[ $(id -u) -ne 0 ]]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
