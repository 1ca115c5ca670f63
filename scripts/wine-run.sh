#!/usr/bin/env bash
# The emulator of the Windows cross-build (cmake/mingw-w64-x86_64.cmake):
# ctest runs each Windows test program through it under Wine, and the
# scripts that drive IP.exe under Wine themselves (tests/windows/) too. It
# uses the private X session and Wine prefix that scripts/windows.sh set up
# for the whole suite (scripts/wine-session.sh), or, without one (ctest run
# on its own in the build folder), makes one for this one test.
#
#   wine-run.sh program.exe [arguments]   a Qt Test program: its log is
#                                         written to a file (Qt Test's output
#                                         does not reach the terminal under
#                                         Wine) and printed when it ends
#   wine-run.sh command [arguments]       any other command, e.g. bash journey.sh
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

if [ -z "${KESTRUNE_WINE_SESSION:-}" ]; then
    # shellcheck source=wine-session.sh
    . "$here/wine-session.sh"
    wine_session_start >&2 || exit 1
fi

rc=0
case "$1" in
*.exe)
    log=$(mktemp "${TMPDIR:-/tmp}/kestrune-wine-log.XXXXXX")
    wine "$@" -o "Z:$log,txt" </dev/null >/dev/null 2>&1 || rc=$?
    wineserver -w
    if [ -s "$log" ]; then
        tr -d '\r' <"$log"
    else
        echo "(no log written)"
        [ "$rc" -ne 0 ] || rc=1
    fi
    rm -f "$log"
    ;;
*)
    "$@" || rc=$?
    # What it left running in the prefix ends with it.
    wineserver -k 2>/dev/null || true
    ;;
esac
exit "$rc"
