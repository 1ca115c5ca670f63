# shellcheck shell=bash
# A private X session to run and test the program in: Xvfb on a display of
# its own choosing, the openbox window manager, and the trayer notification
# area. Source this file, then:
#
#   [XSESSION_SCREEN=WxHxD] xsession_start [--no-tray] [tray-ready-helper]
#   ... DISPLAY now points at the session ...
#   xsession_stop
#
# Every process it starts is ended by PID in xsession_stop, and so is every
# process still running that was started from inside the session after
# xsession_start (it carries the session's mark in its environment), even
# one that detached itself: anything the caller leaves running is killed.

XSESSION_PIDS=()
XSESSION_DIR=""

_xsession_wait_for() {
    local what=$1
    shift
    local tries=0
    until "$@" >/dev/null 2>&1; do
        tries=$((tries + 1))
        if [ "$tries" -ge 300 ]; then
            echo "xsession: $what did not come up" >&2
            [ -n "$XSESSION_DIR" ] && tail -n 20 "$XSESSION_DIR"/*.log >&2 2>/dev/null
            return 1
        fi
        sleep 0.05
    done
}

_xsession_has_display() {
    [ "$(wc -l <"$XSESSION_DIR/display")" -ge 1 ]
}

_xsession_has_wm() {
    xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'
}

# Whether the screen's notification area is there: the selection
# _NET_SYSTEM_TRAY_S<screen> has an owner, which is what Qt asks too. No X
# tool prints a selection's owner, so libX11 is asked through ctypes.
_xsession_has_tray() {
    python3 -c '
import ctypes, sys
x11 = ctypes.CDLL("libX11.so.6")
x11.XOpenDisplay.restype = ctypes.c_void_p
x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
x11.XDefaultScreen.argtypes = [ctypes.c_void_p]
x11.XInternAtom.restype = ctypes.c_ulong
x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x11.XGetSelectionOwner.restype = ctypes.c_ulong
x11.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
display = x11.XOpenDisplay(None)
if not display:
    sys.exit(2)
name = "_NET_SYSTEM_TRAY_S%d" % x11.XDefaultScreen(display)
sys.exit(0 if x11.XGetSelectionOwner(display, x11.XInternAtom(display, name.encode(), 0)) else 1)
'
}

xsession_start() {
    local with_tray=1
    if [ "${1:-}" = "--no-tray" ]; then
        with_tray=0
        shift
    fi
    local tray_ready=${1:-}

    XSESSION_DIR=$(mktemp -d "${TMPDIR:-/tmp}/kestrune-xsession.XXXXXX")
    export KESTRUNE_XSESSION=$XSESSION_DIR
    # -displayfd: the server picks a free display and writes its number once
    # it accepts connections, the digits and the newline in two writes: a
    # number is whole only with its newline (":1" may be the start of ":10").
    Xvfb -displayfd 3 -screen 0 "${XSESSION_SCREEN:-1280x800x24}" -nolisten tcp -noreset \
        3>"$XSESSION_DIR/display" >"$XSESSION_DIR/xvfb.log" 2>&1 &
    XSESSION_PIDS+=($!)
    _xsession_wait_for "the X server" _xsession_has_display || return 1
    DISPLAY=":$(head -n 1 "$XSESSION_DIR/display")"
    export DISPLAY

    openbox >"$XSESSION_DIR/openbox.log" 2>&1 &
    XSESSION_PIDS+=($!)
    _xsession_wait_for "the window manager" _xsession_has_wm || return 1

    if [ "$with_tray" = 1 ]; then
        # A fixed width, so that the panel does not move as icons dock.
        trayer --edge bottom --align right --widthtype pixel --width 96 --height 24 \
            --SetDockType true --SetPartialStrut true --expand true \
            --transparent false --tint 0x303840 >"$XSESSION_DIR/trayer.log" 2>&1 &
        XSESSION_PIDS+=($!)
        # A helper of the tests' own may be given to ask (tests/harness/TrayReady.cpp).
        if [ -n "$tray_ready" ]; then
            _xsession_wait_for "the notification area" timeout 10 "$tray_ready" || return 1
        else
            _xsession_wait_for "the notification area" _xsession_has_tray || return 1
        fi
    fi
}

# Ends a program started in the session, and waits for it.
xsession_end_program() {
    if [ -n "${1:-}" ]; then
        kill "$1" 2>/dev/null || true
        wait "$1" 2>/dev/null || true
    fi
}

# Ends what outlived its starter: a child that a test's program started and
# that detached from it (an URL opener forked through setsid, a wineserver).
# Read with builtins only, so that the sweep itself forks nothing that
# carries the mark.
_xsession_end_strays() {
    local environ pid var vars killed pass
    # Again while a pass finds any: a stray may fork during one.
    for ((pass = 0; pass < 5; pass++)); do
        killed=0
        for environ in /proc/[0-9]*/environ; do
            pid=${environ#/proc/}
            pid=${pid%/environ}
            [ "$pid" = "$$" ] || [ "$pid" = "$BASHPID" ] && continue
            mapfile -d '' vars 2>/dev/null <"$environ" || continue
            for var in "${vars[@]}"; do
                if [ "$var" = "KESTRUNE_XSESSION=$XSESSION_DIR" ]; then
                    kill -KILL "$pid" 2>/dev/null && killed=1
                    break
                fi
            done
        done
        [ "$killed" = 0 ] && break
    done
}

xsession_stop() {
    local pid
    for ((i = ${#XSESSION_PIDS[@]} - 1; i >= 0; i--)); do
        pid=${XSESSION_PIDS[i]}
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    XSESSION_PIDS=()
    [ -n "$XSESSION_DIR" ] && _xsession_end_strays
    [ -n "$XSESSION_DIR" ] && rm -rf "$XSESSION_DIR"
    XSESSION_DIR=""
    unset KESTRUNE_XSESSION
}
