# shellcheck shell=bash
# What the scripts that drive programs under Wine share: reporting, waiting,
# the registry, and finding windows on the X display. Set "artefacts" first.
# shellcheck disable=SC2154 # artefacts: the folder the sourcing script was given

failures=0

pass() { echo "PASS   : $*"; }
fail() {
    echo "FAIL!  : $*"
    failures=$((failures + 1))
    import -window root "$artefacts/failure-$failures.png" 2>/dev/null || true
}

# Polls a command until it succeeds, for at most $1 seconds.
wait_for() {
    local seconds=$1
    shift
    local deadline=$((SECONDS + seconds))
    until "$@" >/dev/null 2>&1; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

# The string value $2 under the registry key $1, or nothing.
registry_value() {
    wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
        awk -v prefix="    $2    REG_SZ    " 'index($0, prefix) == 1 { print substr($0, length(prefix) + 1) }'
}

# The one visible top-level window whose title is exactly $1.
window_named() {
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1
}

# x y width height of a window on the screen, as the X server has it.
geometry_of() {
    xwininfo -id "$1" | awk '
        /Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
        /Width:/ { w = $NF } /Height:/ { h = $NF } END { print x, y, w, h }'
}

# The icon docked in trayer: Wine's icon window inside the panel's socket.
tray_icon() {
    local panel
    for panel in $(xdotool search --class '^trayer$' 2>/dev/null); do
        xwininfo -tree -id "$panel" | awk '/"explorer.exe"/ { print $1; exit }'
    done | head -n 1 | grep .
}
