#!/usr/bin/env bash
# Runs one test program inside a private X session of its own (Xvfb,
# openbox and, unless --no-tray, trayer), with a scratch settings folder and
# no connection to the user's session bus, then ends the session.
#
#   run-in-xsession.sh [--no-tray] [--session-bus] [--panels] <tray-ready-helper> <program> [args...]
#
# --session-bus gives the program a private session bus of its own.
# --panels lays out the settings of the panels the program starts itself
# (xfce4-panel, tint2; see hosts/) in the scratch settings folder, and keeps
# the system's settings folders out of reach: they see nothing else. Their
# helpers (xfconfd) start on the program's session bus.
set -u

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../../scripts/xsession.sh
. "$here/../../scripts/xsession.sh"

tray_flag=()
bus=()
panels=0
while [ $# -gt 0 ]; do
    case "$1" in
    --no-tray) tray_flag=(--no-tray) ;;
    --session-bus) bus=(dbus-run-session --) ;;
    --panels) panels=1 ;;
    *) break ;;
    esac
    shift
done
tray_ready=$1
shift

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kestrune-test.XXXXXX")
trap 'xsession_stop; rm -rf "$scratch"' EXIT

unset DBUS_SESSION_BUS_ADDRESS WAYLAND_DISPLAY
export XDG_CONFIG_HOME="$scratch/config"
export XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -p "$XDG_CONFIG_HOME" && mkdir -m 700 "$XDG_RUNTIME_DIR"
if [ "$panels" = 1 ]; then
    cp -R "$here/hosts/." "$XDG_CONFIG_HOME/"
    export XDG_CONFIG_DIRS="$scratch/no-system-config"
    mkdir -p "$XDG_CONFIG_DIRS"
    # No accessibility bus for the panels to start.
    export NO_AT_BRIDGE=1
fi
export QT_QPA_PLATFORM=xcb

xsession_start "${tray_flag[@]}" "$tray_ready" || exit 1
"${bus[@]}" "$@"
