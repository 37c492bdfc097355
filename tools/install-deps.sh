#!/usr/bin/env bash
# Installs the Debian packages that building and running Tolvane need, with
# --package also what building its Debian package needs (dpkg-shlibdeps, and
# file, with which cpack tells the programs to hand to dpkg-shlibdeps), with
# --test also what its tests and screenshots need (an X server with a tray and a
# compositing manager, headless Wayland compositors, a headless KDE Plasma session
# with its portal and System Settings, a headless GNOME Shell with its shortcut
# daemon and a GTK program, a private D-Bus bus, and the package tools, since a
# test builds and checks the package), and with --bench what the benchmarks need
# (an X server and headless Wayland compositors for the process figures, fzf for
# the comparison).
# Does nothing when everything is present.
set -euo pipefail

build_pkgs=(cmake g++ make pkg-config qt6-base-dev libqt6sql6-sqlite libsqlite3-dev
            libglib2.0-dev libxcb1-dev libqt6svg6 qt6-wayland shared-mime-info
            qt6-base-private-dev libwayland-dev libwayland-bin wayland-protocols)
package_pkgs=(dpkg-dev file)
# KDE Plasma as Debian ships it: KWin (its shortcut daemon inside), the desktop
# portal and its KDE backend, System Settings and what opens it from the portal
# (xdg-open, kde-open5, the Plasma platform theme), and the protocol files and
# tools for the tests' key presser (KWin's fake input).
kde_pkgs=(kwin-wayland xdg-desktop-portal xdg-desktop-portal-kde qtwayland5 systemsettings xdg-utils
          kde-cli-tools plasma-integration plasma-wayland-protocols libwayland-dev libwayland-bin dbus-bin)
# GNOME as Debian ships it: the shell, the daemon that runs custom shortcuts, dconf,
# and a GTK program that the tests launch twice.
gnome_pkgs=(gnome-shell gnome-settings-daemon dconf-service dconf-gsettings-backend libglib2.0-bin python3-gi
            gir1.2-gtk-4.0)
test_pkgs=(xvfb xauth xdotool trayer xcompmgr x11-utils imagemagick sqlite3 fonts-dejavu-core
           sway grim wtype dbus-daemon "${package_pkgs[@]}" desktop-file-utils
           libsm-dev gsettings-desktop-schemas "${kde_pkgs[@]}" "${gnome_pkgs[@]}")
bench_pkgs=(fzf xvfb xauth xdotool x11-utils fonts-dejavu-core sway wtype "${kde_pkgs[@]}" "${gnome_pkgs[@]}")

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
