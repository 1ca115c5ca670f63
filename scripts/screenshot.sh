#!/usr/bin/env bash
# Takes the pictures in docs/ under a private X session: the main window
# with the floating window over it and the icon in the tray, the tray menu
# open, and the installed launcher entry as an application launcher (rofi)
# shows it. Build first (scripts/build.sh).
#
#   scripts/screenshot.sh [output folder]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}
out=${1:-$root/docs}
mkdir -p "$out"
bash "$root/scripts/deps.sh" docs

# shellcheck source=xsession.sh
. "$root/scripts/xsession.sh"
scratch=$(mktemp -d "${TMPDIR:-/tmp}/kestrune-shot.XXXXXX")
program=""
cleanup() {
    xsession_end_program "$program"
    xsession_stop
    rm -rf "$scratch"
}
trap cleanup EXIT

wait_for() {
    local tries=0
    until "$@" >/dev/null 2>&1; do
        tries=$((tries + 1))
        [ "$tries" -lt 200 ] || { echo "gave up waiting for: $*" >&2; exit 1; }
        sleep 0.05
    done
}

XSESSION_SCREEN=480x300x24 xsession_start "$build_dir/tests/tray-ready"
unset DBUS_SESSION_BUS_ADDRESS
export XDG_CONFIG_HOME=$scratch
printf '[IP]\nFloat=YES\n' >"$scratch/Kestrune.conf"
"$build_dir/IP" &
program=$!

wait_for xdotool search --onlyvisible --name "^Kestrune's IP Tool\$"
wait_for xdotool search --onlyvisible --name '^Form2$'
main=$(xdotool search --onlyvisible --name "^Kestrune's IP Tool\$" | head -n 1)
floating=$(xdotool search --onlyvisible --name '^Form2$' | head -n 1)

# The floating window half over the main window's lower right corner.
eval "$(xdotool getwindowgeometry --shell "$main")"
target_x=$((X + WIDTH - 90))
target_y=$((Y + HEIGHT - 34))
xdotool windowmove "$floating" "$target_x" "$target_y"
wait_for sh -c "xdotool getwindowgeometry --shell $floating | grep -qx X=$target_x"

# The icon: a 22x22 window named after the program, docked in the tray.
wait_for sh -c "xwininfo -root -tree | grep -q '(\"IP\" \"IP\")  22x22'"
icon=$(xwininfo -root -tree | grep '("IP" "IP")  22x22' | head -n 1 | awk '{print $NF}')
icon_x=$(echo "$icon" | cut -d+ -f2)
icon_y=$(echo "$icon" | cut -d+ -f3)
xdotool mousemove 0 0
xdotool sync 2>/dev/null || true
import -window root "$out/screenshot.png"

before=$(xdotool search --onlyvisible --class '^IP$' | wc -l)
xdotool mousemove $((icon_x + 11)) $((icon_y + 11)) mousedown 3
wait_for sh -c "[ \$(xdotool search --onlyvisible --class '^IP\$' | wc -l) -gt $before ]"
import -window root "$out/tray-menu.png"
xdotool mouseup 3 key Escape
xsession_end_program "$program"
program=""

# The launcher entry, installed into a scratch prefix.
cmake --install "$build_dir" --prefix "$scratch/prefix" >/dev/null
XDG_DATA_DIRS=$scratch/prefix/share:/usr/share XDG_CACHE_HOME=$scratch/cache \
    rofi -show drun -show-icons -filter Kestrune \
    -theme-str 'window { width: 300px; height: 96px; } listview { lines: 1; }' >/dev/null 2>&1 &
program=$!
wait_for xdotool search --onlyvisible --class rofi
# rofi loads icons in the background and says nothing when it is done.
sleep 1
import -window root "$out/launcher.png"
echo "Pictures in $out: screenshot.png, tray-menu.png, launcher.png"
