#!/usr/bin/env bash
# Drives the real IP.exe under Wine from outside, on the X display and with
# the Wine prefix it is given (scripts/windows.sh sets both up):
#
#   tests/windows/journey.sh IP.exe artefacts-folder
#
# Settings placed in the registry beforehand are honoured (Float, Vis, X and
# Y), the icon docks in the notification area, its menu's Visible > Yes
# shows the main window, Copy puts the address the default route gives on
# the clipboard, the floating window goes off and on with its button, and
# Quit answered No leaves Float, X and Y in the registry. Leaves a
# screenshot, wine.png, in the artefacts folder (and one per failure).
# Exit code 0 when all passed.
set -euo pipefail
exe=$1
artefacts=$2
mkdir -p "$artefacts"
key='HKCU\Software\VB and VBA Program Settings\Kestrune\IP'
program=""
# shellcheck source=common.sh
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

reg_value() {
    registry_value "$key" "$1"
}

click_at() {
    xdotool mousemove --sync "$1" "$2" click "${3:-1}"
}

# Clicks a point of the main window's client area given in twips, as the
# form lays its controls out.
click_twips() {
    local x y
    read -r x y _ _ < <(geometry_of "$main")
    click_at $((x + $1 / 15)) $((y + $2 / 15))
}

floating_shown() { [ -n "$(window_named Form2)" ]; }
floating_gone() { [ -z "$(window_named Form2)" ]; }
has_value() { [ "$(reg_value "$1")" = "$2" ]; }
clipboard_is() { [ "$(xclip -selection clipboard -o 2>/dev/null)" = "$1" ]; }

# What the machine's default route gives as the source address.
expected=$(ip -4 route get 1.1.1.1 2>/dev/null | sed -n 's/.*\bsrc \([0-9.]*\).*/\1/p' | head -n 1)

cleanup() {
    if [ -n "$program" ] && kill -0 "$program" 2>/dev/null; then
        kill "$program" 2>/dev/null || true
        wait "$program" 2>/dev/null || true
    fi
}
trap cleanup EXIT

# The store as the program's registry key holds it: string values, X and Y
# in twips. Vis=NO: the main window waits in the tray.
wine reg add "$key" /v Float /t REG_SZ /d YES /f >/dev/null
wine reg add "$key" /v Vis /t REG_SZ /d NO /f >/dev/null
wine reg add "$key" /v X /t REG_SZ /d 1500 /f >/dev/null
wine reg add "$key" /v Y /t REG_SZ /d 1200 /f >/dev/null

wine "$exe" >"$artefacts/IP.log" 2>&1 &
program=$!

if wait_for 60 floating_shown; then
    read -r fx fy _ _ < <(geometry_of "$(window_named Form2)")
    if [ "$fx $fy" = "100 80" ]; then
        pass "Float=YES: the floating window is where X=1500, Y=1200 put it (100, 80)"
    else
        fail "the floating window is at ($fx, $fy), not (100, 80)"
    fi
else
    fail "Float=YES showed no floating window"
fi

if wait_for 30 tray_icon; then
    icon=$(tray_icon)
    pass "the icon docked in the notification area ($icon)"
else
    fail "no icon docked in trayer"
    exit 1
fi

if [ -z "$(window_named "Kestrune's IP Tool")" ]; then
    pass "Vis=NO: the main window stays hidden"
else
    fail "Vis=NO, yet the main window shows"
fi

# The tray menu, opened with a right press on the icon. Its rows as Qt lays
# them out with Wine's default font: 3 pixels of frame, items 22 high,
# separators 9: Copy, -, Visible >, Floating >, -, Quit; a submenu Yes, No.
menu_window() { xdotool search --onlyvisible --name '^IP$' 2>/dev/null | head -n 1; }
# The right button's press opens it, before the release.
open_tray_menu() {
    local ix iy iw ih opened=1
    read -r ix iy iw ih < <(geometry_of "$icon")
    xdotool mousemove --sync $((ix + iw / 2)) $((iy + ih / 2)) mousedown 3
    wait_for 10 menu_window || opened=0
    xdotool mouseup 3
    [ "$opened" = 1 ]
}
# Clicks a point until the condition after it holds: a menu takes a click
# only once it has seen the pointer arrive.
click_until() {
    local x=$1 y=$2 attempt
    shift 2
    xdotool mousemove --sync "$x" "$y"
    for attempt in 1 2 3 4 5 6 7 8 9 10; do
        xdotool click 1
        wait_for 1 "$@" && return 0
    done
    echo "gave up clicking at ($x, $y) after $attempt clicks" >&2
    return 1
}
two_menus() { [ "$(xdotool search --onlyvisible --name '^IP$' 2>/dev/null | wc -l)" -ge 2 ]; }
no_menu() { [ -z "$(menu_window)" ]; }
# A window's geometry once two reads a moment apart agree (Qt may move a
# menu just after showing it).
settled_geometry() {
    local before after=""
    until [ -n "$after" ] && [ "$before" = "$after" ]; do
        before=$after
        after=$(geometry_of "$1") || return 1
        [ "$before" = "$after" ] || sleep 0.1
    done
    echo "$after"
}
# choose_from_menu ROW [SUBMENU-ROW] -- CONDITION...: chooses a row (its
# centre from the menu's top; negative: from its bottom), opening the menu
# again until the condition holds.
choose_from_menu() {
    local row=$1 subrow="" attempt mx my mw mh submenu
    shift
    if [ "$1" != "--" ]; then
        subrow=$1
        shift
    fi
    shift
    for attempt in 1 2 3; do
        [ "$attempt" = 1 ] || echo "the menu closed without its item; opening it again" >&2
        wait_for 5 no_menu || xdotool key Escape
        open_tray_menu || continue
        read -r mx my mw mh < <(settled_geometry "$(menu_window)")
        [ "$row" -ge 0 ] || row=$((mh + row))
        if [ -n "$subrow" ]; then
            click_until $((mx + mw / 2)) $((my + row)) two_menus || continue
            for submenu in $(xdotool search --onlyvisible --name '^IP$'); do
                read -r mx my mw mh < <(settled_geometry "$submenu")
                [ "$mh" -lt 80 ] && break
            done
            click_until $((mx + mw / 2)) $((my + subrow)) no_menu || continue
        else
            click_until $((mx + mw / 2)) $((my + row)) no_menu || continue
        fi
        wait_for 10 "$@" && return 0
    done
    return 1
}
menu_visible=45 menu_quit=-14 submenu_yes=14

main_shown() { [ -n "$(window_named "Kestrune's IP Tool")" ]; }
if choose_from_menu "$menu_visible" "$submenu_yes" -- main_shown && wait_for 10 has_value Vis YES; then
    pass "tray menu > Visible > Yes showed the main window and stored Vis=YES"
else
    fail "tray menu > Visible > Yes: no main window, or Vis is '$(reg_value Vis)'"
    exit 1
fi
main=$(window_named "Kestrune's IP Tool")

# Copy: the address as the default route gives it.
click_twips $((2280 + 855 / 2)) $((600 + 375 / 2))
if [ -z "$expected" ]; then
    echo "SKIP   : Copy: this machine has no route to 1.1.1.1 whose source to compare with"
elif wait_for 10 clipboard_is "$expected"; then
    pass "Copy put $expected, the default route's source, on the clipboard"
else
    fail "Copy gave '$(xclip -selection clipboard -o 2>/dev/null || true)', not $expected"
fi

# The floating window off and on again with the main window's button.
click_twips $((120 + 1335 / 2)) $((600 + 375 / 2))
if wait_for 10 floating_gone && wait_for 10 has_value Float no; then
    pass "Floating Off hid the floating window and stored Float=no"
else
    fail "Floating Off: window or Float ('$(reg_value Float)') wrong"
fi
click_twips $((120 + 1335 / 2)) $((600 + 375 / 2))
if wait_for 10 floating_shown && wait_for 10 has_value Float YES; then
    pass "Floating On showed the floating window and stored Float=YES"
else
    fail "Floating On: window or Float ('$(reg_value Float)') wrong"
fi

import -window root "$artefacts/wine.png" || true

# Tray menu > Quit, and the question answered No with its key: the program ends.
question() { window_named 'Are you sure.'; }
question_open() { [ -n "$(question)" ]; }
question_focused() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$(question)" ]; }
program_ended() { ! kill -0 "$program" 2>/dev/null; }
if choose_from_menu "$menu_quit" -- question_open; then
    wait_for 5 question_focused || xdotool windowactivate --sync "$(question)" 2>/dev/null || true
    wait_for 5 question_focused && xdotool key n
else
    fail "tray menu > Quit asked no question"
fi
if wait_for 20 program_ended; then
    pass "Quit answered No ended the program"
else
    fail "Quit answered No did not end the program"
fi
for expected_value in Float=YES X=1500 Y=1200; do
    name=${expected_value%%=*}
    if [ "$(reg_value "$name")" = "${expected_value#*=}" ]; then
        pass "after Quit the registry holds $expected_value"
    else
        fail "after Quit $name is '$(reg_value "$name")', not ${expected_value#*=}"
    fi
done

echo "journey: $failures failed"
[ "$failures" -eq 0 ]
