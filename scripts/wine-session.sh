# shellcheck shell=bash
# A private X session (Xvfb, openbox, trayer; scripts/xsession.sh) and a
# private Wine prefix, with a home folder of its own, to run IP.exe and the
# Windows tests in. Source this file, then:
#
#   wine_session_start
#   ... DISPLAY, WINEPREFIX and HOME now point into the session ...
#   wine_session_stop
#
# KESTRUNE_WINE_SESSION names the session while it runs, so that what runs
# inside it (scripts/wine-run.sh) uses it instead of making its own.

# shellcheck source=xsession.sh
. "$(dirname "${BASH_SOURCE[0]}")/xsession.sh"

wine_scratch=""

wine_session_start() {
    wine_scratch=$(mktemp -d "${TMPDIR:-/tmp}/kestrune-wine.XXXXXX")
    trap wine_session_stop EXIT
    # Waits for trayer's notification area: Wine's docks into it once a
    # program adds an icon. A small screen, for the screenshot.
    # shellcheck disable=SC2119
    XSESSION_SCREEN=${XSESSION_SCREEN:-640x400x24} xsession_start
    echo "Private X session on $DISPLAY"

    export WINEPREFIX=$wine_scratch/prefix
    export WINEARCH=win64
    export WINEDEBUG=-all
    # No Mono or Gecko: they would have to be downloaded. No menu builder:
    # it writes launchers and MIME types into the home folder.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    # And a home of its own all the same, so that nothing of Wine's reaches
    # the user's.
    export HOME=$wine_scratch/home
    export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
    mkdir -p "$HOME"
    local started=$SECONDS
    wineboot -i </dev/null
    wineserver -w
    echo "Wine prefix ready in $((SECONDS - started)) s: $WINEPREFIX"
    export KESTRUNE_WINE_SESSION=$wine_scratch
}

wine_session_stop() {
    if [ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX" ]; then
        wineserver -k 2>/dev/null || true
    fi
    xsession_stop
    [ -n "$wine_scratch" ] && rm -rf "$wine_scratch"
    wine_scratch=""
    unset KESTRUNE_WINE_SESSION
}
