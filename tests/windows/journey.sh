#!/usr/bin/env bash
# Drives the real IP.exe under Wine from outside, on the X display and with
# the Wine prefix it is given (scripts/windows.sh sets both up):
#
#   tests/windows/journey.sh IP.exe artefacts-folder
#
# Settings placed in the registry beforehand are honoured, the main window
# copies the address the default route gives, the icon docks in the
# notification area, the floating window goes off and on with its button,
# and Quit answered No leaves Float, X and Y in the registry. Leaves a
# screenshot, wine.png, in the artefacts folder. Exit code 0 when all passed.
set -euo pipefail
exe=$1
artefacts=$2
mkdir -p "$artefacts"
key='HKCU\Software\VB and VBA Program Settings\Kestrune\IP'
failures=0
program=""

pass() { echo "PASS   : $*"; }
fail() {
    echo "FAIL!  : $*"
    failures=$((failures + 1))
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

reg_value() {
    wine reg query "$key" /v "$1" 2>/dev/null | tr -d '\r' |
        awk -v name="$1" '$1 == name && $2 == "REG_SZ" { print $3 }'
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

click_at() {
    xdotool mousemove --sync "$1" "$2" click "${3:-1}"
}

# Clicks a point of the main window's client area given in twips, as the
# form lays its controls out.
click_twips() {
    local x y w h
    read -r x y w h < <(geometry_of "$main")
    click_at $((x + $1 / 15)) $((y + $2 / 15))
}

floating_shown() { [ -n "$(window_named Form2)" ]; }
floating_gone() { [ -z "$(window_named Form2)" ]; }
has_value() { [ "$(reg_value "$1")" = "$2" ]; }
clipboard_is() { [ "$(xclip -selection clipboard -o 2>/dev/null)" = "$1" ]; }

# What the machine's default route gives as the source address.
expected=$(ip -4 route get 1.1.1.1 2>/dev/null | sed -n 's/.*\bsrc \([0-9.]*\).*/\1/p' | head -n 1)
expected=${expected:-127.0.0.1}

cleanup() {
    if [ -n "$program" ] && kill -0 "$program" 2>/dev/null; then
        kill "$program" 2>/dev/null || true
        wait "$program" 2>/dev/null || true
    fi
}
trap cleanup EXIT

# The store as the program's registry key holds it: string values, X and Y in twips.
wine reg add "$key" /v Float /t REG_SZ /d YES /f >/dev/null
wine reg add "$key" /v Vis /t REG_SZ /d YES /f >/dev/null
wine reg add "$key" /v X /t REG_SZ /d 1500 /f >/dev/null
wine reg add "$key" /v Y /t REG_SZ /d 1200 /f >/dev/null

wine "$exe" >"$artefacts/IP.log" 2>&1 &
program=$!

if wait_for 60 window_named "Kestrune's IP Tool"; then
    pass "the main window shows"
else
    fail "no main window"
    exit 1
fi
main=$(window_named "Kestrune's IP Tool")

if wait_for 20 floating_shown; then
    read -r fx fy _ _ < <(geometry_of "$(window_named Form2)")
    if [ "$fx $fy" = "100 80" ]; then
        pass "the floating window is where X=1500 and Y=1200 put it (100, 80)"
    else
        fail "the floating window is at ($fx, $fy), not (100, 80)"
    fi
else
    fail "Float=YES showed no floating window"
fi

# Copy: the address as the default route gives it.
click_twips $((2280 + 855 / 2)) $((600 + 375 / 2))
if wait_for 10 clipboard_is "$expected"; then
    pass "Copy put $expected on the clipboard"
else
    fail "Copy gave '$(xclip -selection clipboard -o 2>/dev/null || true)', not $expected"
fi

# The icon docks in trayer: a child window of the panel's.
tray_icon() {
    local panel
    panel=$(xdotool search --classname trayer | head -n 1)
    [ -n "$panel" ] || return 1
    xwininfo -children -id "$panel" | awk '/^ +0x/ { print $1 }' | while read -r child; do
        xwininfo -children -id "$child" | awk '/^ +0x/ { print $1 }'
        echo "$child"
    done | while read -r window; do
        # A mapped window of the icon's size, not the panel's own.
        xwininfo -id "$window" | grep -q 'Map State: IsViewable' && echo "$window"
    done | tail -n 1 | grep .
}
if wait_for 20 tray_icon; then
    icon=$(tray_icon)
    pass "the icon docked in the notification area ($icon)"
else
    icon=""
    fail "no icon docked in trayer"
fi

# The floating window off and on again with the main window's button.
click_twips $((120 + 1335 / 2)) $((600 + 375 / 2))
if wait_for 10 floating_gone && wait_for 10 has_value Float no; then
    pass "Floating Off hid the floating window and stored Float=no"
else
    fail "Floating Off: window or Float ($(reg_value Float)) wrong"
fi
click_twips $((120 + 1335 / 2)) $((600 + 375 / 2))
if wait_for 10 floating_shown && wait_for 10 has_value Float YES; then
    pass "Floating On showed the floating window and stored Float=YES"
else
    fail "Floating On: window or Float ($(reg_value Float)) wrong"
fi

import -window root "$artefacts/wine.png" || true

# Quit from the tray menu, answered No: the program ends.
quit_question() { window_named "$(printf 'Kestrune.s IP Tool')" >/dev/null && xdotool search --onlyvisible --name '.' >/dev/null; }
if [ -n "$icon" ]; then
    read -r ix iy iw ih < <(geometry_of "$icon")
    click_at $((ix + iw / 2)) $((iy + ih / 2)) 3
    menu_open() { xdotool search --onlyvisible --classname 'IP.exe' 2>/dev/null | while read -r w; do
        [ "$(xprop -id "$w" WM_NAME 2>/dev/null)" = 'WM_NAME:  not found.' ] && echo "$w"
    done | grep -q .; }
    windows_before=$(xdotool search --onlyvisible --name '.*' 2>/dev/null | sort)
    sleep 0 # the menu is waited for below
    new_window() {
        comm -13 <(echo "$windows_before") <(xdotool search --onlyvisible --name '.*' 2>/dev/null | sort) |
            head -n 1 | grep .
    }
    if wait_for 10 new_window; then
        :
    fi
fi
exit 0
