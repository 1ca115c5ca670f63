#!/usr/bin/env bash
# Installs the Debian packages the build needs ("build"), and what running
# it in a private X session, testing it and taking the pictures in docs/
# need on top ("run", "test", "docs"), and what the benchmarks need ("bench").
# Does nothing when everything is already there.
#
#   scripts/deps.sh build|run|test|docs|bench
set -euo pipefail

build=(cmake g++ make dpkg-dev pkg-config qt6-base-dev libgl-dev libxcb1-dev libdbus-1-dev)
session=(xvfb openbox trayer x11-utils xdotool python3 imagemagick fonts-dejavu-core fonts-liberation2)
pictures=(rofi)
benchmarks=(libxcb-damage0-dev dbus-daemon)
testing=(clang-format shellcheck dbus-daemon at-spi2-core python3-pyatspi git lintian xclip wmctrl iproute2 desktop-file-utils appstream dpkg-dev clang libclang-rt-14-dev pkg-config xfce4-panel xfconf tint2 lxqt-panel python3-gi icewm fluxbox jwm xfwm4 i3-wm awesome kwin-x11 kwin-wayland qtwayland5 plasma-workspace plasma-desktop weston qt6-wayland gnome-shell gnome-shell-extension-appindicator sway wtype mate-panel marco mate-settings-daemon-common xapp-sn-watcher gir1.2-xapp-1.0 wl-clipboard waybar libwayland-dev cinnamon budgie-core)

case "${1:-test}" in
build) wanted=("${build[@]}") ;;
run) wanted=("${build[@]}" "${session[@]}") ;;
test) wanted=("${build[@]}" "${session[@]}" "${testing[@]}") ;;
docs) wanted=("${build[@]}" "${session[@]}" "${pictures[@]}") ;;
bench) wanted=("${build[@]}" "${session[@]}" "${benchmarks[@]}") ;;
*)
    echo "usage: $0 build|run|test|docs|bench" >&2
    exit 2
    ;;
esac

missing=()
for package in "${wanted[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [ "$status" = "installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q </dev/null
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
