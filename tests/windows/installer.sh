#!/usr/bin/env bash
# The installer's round trip under Wine, on the X display and in the Wine
# prefix it is given (scripts/windows.sh sets both up):
#
#   tests/windows/installer.sh setup.exe artefacts-folder
#
# Installed silently and asked to start the program at logon, the program
# is in Program Files, on the Start menu, at logon, and among the programs
# that can be uninstalled, with its icon, version and publisher; started
# from its shortcut, its icon docks; uninstalled silently, all of that goes
# and the user's settings stay. Exit code 0 when all passed.
set -euo pipefail
setup=$1
artefacts=$2
mkdir -p "$artefacts"
# shellcheck source=common.sh
. "$(dirname "${BASH_SOURCE[0]}")/common.sh"

settings='HKCU\Software\VB and VBA Program Settings\Kestrune\IP'
uninstall='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\KestrunesIPTool'
run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
program_dir='C:\Program Files\Kestrune\Kestrunes IP Tool'
shortcut='C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Kestrunes IP Tool.lnk'
unix_program_dir=$(winepath -u "$program_dir")
unix_shortcut=$(winepath -u "$shortcut")

has() { registry_value "$1" "$2" | grep -qxF "$3"; }
installed() { [ -f "$unix_program_dir/IP.exe" ]; }
uninstalled() { [ ! -e "$unix_program_dir" ]; }
shortcut_gone() { [ ! -e "$unix_shortcut" ]; }
entries_gone() {
    [ -z "$(registry_value "$run" "Kestrunes IP Tool")" ] &&
        ! wine reg query "$uninstall" >/dev/null 2>&1
}

# The settings of an earlier run, which an uninstall leaves alone.
wine reg add "$settings" /v Float /t REG_SZ /d YES /f >/dev/null

wine "$setup" /S /STARTATLOGON >"$artefacts/setup.log" 2>&1 || true
if wait_for 60 installed; then
    pass "installed IP.exe into $program_dir"
else
    fail "nothing in $program_dir after the silent install"
    exit 1
fi
if [ -f "$unix_shortcut" ]; then
    pass "a Start-menu shortcut named \"Kestrunes IP Tool\""
else
    fail "no shortcut at $shortcut"
fi
if has "$run" "Kestrunes IP Tool" "\"$program_dir\\IP.exe\""; then
    pass "asked to, it starts at logon"
else
    fail "no logon entry: '$(registry_value "$run" "Kestrunes IP Tool")'"
fi
for entry in "DisplayName=Kestrunes IP Tool" "DisplayVersion=1.00" "Publisher=Kestrune" \
    "DisplayIcon=$program_dir\\IP.exe,0"; do
    if has "$uninstall" "${entry%%=*}" "${entry#*=}"; then
        pass "uninstall entry: $entry"
    else
        fail "uninstall entry ${entry%%=*} is '$(registry_value "$uninstall" "${entry%%=*}")'"
    fi
done

# Started as a user starts it, from the shortcut.
wine start "$shortcut" >"$artefacts/IP.log" 2>&1 || true
if wait_for 60 tray_icon && wait_for 30 window_named Form2; then
    pass "started from its shortcut: the icon docked and Float=YES brought the floating window"
else
    fail "started from its shortcut, no icon docked or no floating window"
fi
import -window root "$artefacts/installed.png" 2>/dev/null || true
wineserver -k 2>/dev/null || true

wine "C:\\Program Files\\Kestrune\\Kestrunes IP Tool\\Uninstall.exe" /S >"$artefacts/uninstall.log" 2>&1 || true
# The uninstaller runs on from a copy of itself: wait for each part of its
# work, which it does in an order of its own.
if wait_for 60 uninstalled; then
    pass "uninstalled: the program's folder is gone"
else
    fail "$program_dir is still there after the silent uninstall"
fi
if wait_for 30 shortcut_gone; then
    pass "the shortcut is gone"
else
    fail "the shortcut is still there"
fi
if wait_for 30 entries_gone; then
    pass "the logon entry and the uninstall entry are gone"
else
    fail "the logon entry or the uninstall entry is still there"
fi
if has "$settings" Float YES; then
    pass "the user's settings stay"
else
    fail "the user's settings went with the program"
fi

echo "installer: $failures failed"
[ "$failures" -eq 0 ]
