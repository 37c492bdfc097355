#!/usr/bin/env bash
# Installs the Debian packages that building and running Tolvane need, with
# --package also what building its Debian package needs (dpkg-shlibdeps, and
# file, with which cpack tells the programs to hand to dpkg-shlibdeps), with
# --test also what its tests and screenshots need (an X server with a tray and a
# compositing manager, a headless Wayland compositor, a private D-Bus bus, and the
# package tools, since a test builds and checks the package, and a headless GNOME
# Shell with its shortcut daemon and a GTK program), and with --bench
# what the benchmarks need (an X server and a headless Wayland compositor for the
# process figures, fzf for the comparison).
# Does nothing when everything is present.
set -euo pipefail

build_pkgs=(cmake g++ make pkg-config qt6-base-dev libqt6sql6-sqlite libsqlite3-dev
            libglib2.0-dev libxcb1-dev libqt6svg6 qt6-wayland shared-mime-info
            qt6-base-private-dev libwayland-dev libwayland-bin wayland-protocols)
package_pkgs=(dpkg-dev file)
test_pkgs=(xvfb xauth xdotool trayer xcompmgr x11-utils imagemagick sqlite3 fonts-dejavu-core
           sway grim wtype dbus-daemon "${package_pkgs[@]}" desktop-file-utils
           libsm-dev gsettings-desktop-schemas gnome-shell gnome-settings-daemon dconf-service
           dconf-gsettings-backend libglib2.0-bin python3-gi gir1.2-gtk-4.0)
bench_pkgs=(fzf xvfb xauth xdotool x11-utils fonts-dejavu-core sway wtype gnome-shell gnome-settings-daemon
            dconf-service dconf-gsettings-backend libglib2.0-bin python3-gi gir1.2-gtk-4.0)

want=("${build_pkgs[@]}")
case "${1:-}" in
--package) want+=("${package_pkgs[@]}") ;;
--test) want+=("${test_pkgs[@]}") ;;
--bench) want+=("${bench_pkgs[@]}") ;;
esac

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
