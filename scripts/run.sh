#!/usr/bin/env bash
# Builds the program (only the program: not the tests, whether the build
# folder has them or not) and starts it.
#
# On a desktop it simply runs. Without a display (DISPLAY and WAYLAND_DISPLAY
# both unset) it starts a private X session with a window manager and a
# notification area, starts the program there, saves a screenshot, says
# where it is, and ends everything it started.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}

bash "$root/scripts/deps.sh" run
BUILD_TARGET=IP bash "$root/scripts/build.sh"

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$build_dir/IP"
fi

# shellcheck source=xsession.sh
. "$root/scripts/xsession.sh"
program=""
cleanup() {
    xsession_end_program "$program"
    xsession_stop
}
trap cleanup EXIT

# No helper of the tests' to wait for the notification area with: the
# session asks the X server itself.
# shellcheck disable=SC2119
xsession_start
echo "Private X session on $DISPLAY"
unset DBUS_SESSION_BUS_ADDRESS
"$build_dir/IP" &
program=$!

# Until the main window is on screen and painted with the address.
tries=0
until xdotool search --onlyvisible --name "Kestrune's IP Tool" >/dev/null 2>&1; do
    tries=$((tries + 1))
    if [ "$tries" -ge 200 ] || ! kill -0 "$program" 2>/dev/null; then
        echo "The main window did not appear (or the settings keep it hidden)." >&2
        break
    fi
    sleep 0.05
done
xdotool sync >/dev/null 2>&1 || true

screenshot="$build_dir/screenshot.png"
import -window root "$screenshot"
echo "Screenshot: $screenshot"
