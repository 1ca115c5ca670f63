#!/usr/bin/env bash
# Cross-builds the program for 64-bit Windows with mingw-w64 and runs it
# under Wine, all on Debian:
#
#   deps   installs the cross compilers, Wine, and the private X session's tools
#   qt     builds a static Qt for Windows from Debian's qt6-base source, once,
#          into a cache outside the tree (KESTRUNE_CACHE, ~/.cache/kestrune)
#   build  configures and builds the program, its installer and its tests
#          into build-windows/
#   test   runs the tests the build registered with ctest: IP.exe's
#          resources, the test executables under Wine (the toolchain's
#          emulator, scripts/wine-run.sh), a journey through IP.exe and the
#          installer's round trip, in a private Wine prefix and a private X
#          session (Xvfb, openbox, trayer); then checks that nothing of
#          Wine's reached the user's home. Fails when any failed
#
#   scripts/windows.sh [deps|qt|build|test|all] [extra CMake arguments for build]
#
# The tests are built unless KESTRUNE_WINDOWS_TESTS=OFF. Heavy work runs
# under `nice` with KESTRUNE_JOBS (2) jobs.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=wine-session.sh
. "$root/scripts/wine-session.sh"
build_dir=${WINDOWS_BUILD_DIR:-$root/build-windows}
toolchain=$root/cmake/mingw-w64-x86_64.cmake
jobs=${KESTRUNE_JOBS:-2}

qt_version=6.4.2
cache=${KESTRUNE_CACHE:-$HOME/.cache/kestrune}
qt_prefix=${KESTRUNE_QT_WINDOWS_PREFIX:-$cache/qt6-mingw-$qt_version}
# Written last: a prefix without it is an interrupted build and is redone.
qt_stamp=$qt_prefix/.complete

deb_src_file=/etc/apt/sources.list.d/kestrune-deb-src.sources

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    sudo=(sudo)
fi

heavy() {
    nice -n 19 "$@"
}

apt_get() {
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get -o DPkg::Lock::Timeout=900 "$@" </dev/null
}

stage_deps() {
    local wanted=(mingw-w64 wine wine64 ninja-build qt6-base-dev-tools cmake dpkg-dev patch nsis
        xvfb openbox trayer x11-utils xdotool xclip imagemagick iproute2 python3
        # What Wine's X11 driver and fonts want, without the rest of its recommends.
        fonts-wine libxrender1 libxrandr2 libxcursor1 libxi6 libxinerama1 libxcomposite1
        libxfixes3)
    local missing=() package status
    for package in "${wanted[@]}"; do
        status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
        [ "$status" = "installed" ] || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    echo "Installing: ${missing[*]}"
    apt_get update -q
    apt_get install -y -q --no-install-recommends "${missing[@]}"
}

# Source packages come from the archives the machine already uses: each
# Debian deb entry apt has configured (whatever mirror or proxy it names,
# with the keys it is signed with) is repeated as a deb-src entry.
# $(SOURCESENTRY) is apt's own placeholder, for apt to fill in.
# shellcheck disable=SC2016
deb_src_entries() {
    local entries
    entries=$(apt-get indextargets --format '$(SOURCESENTRY)' \
        'Target-Of: deb' 'Identifier: Packages' 'Origin: Debian' | sort -u)
    [ -n "$entries" ] || entries=$(apt-get indextargets --format '$(SOURCESENTRY)' \
        'Target-Of: deb' 'Identifier: Packages' | sort -u)
    local entry file line
    while IFS= read -r entry; do
        file=${entry%:*}
        line=${entry##*:}
        case "$file" in
        *.sources)
            # apt counts the stanzas of a .sources file, not its lines.
            awk -v n="$line" 'BEGIN { RS = ""; FS = "\n" }
                NR == n { for (i = 1; i <= NF; i++) if ($i !~ /^#/)
                    print ($i ~ /^Types:/ ? "Types: deb-src" : $i); print "" }' "$file"
            ;;
        *) sed -n "${line}s/^[[:space:]]*deb[[:space:]]/deb-src /p" "$file" ;;
        esac
    done <<<"$entries"
}

deb_src() {
    local wanted
    wanted=$(deb_src_entries)
    if [ -z "$wanted" ]; then
        echo "apt has no deb entries to take source entries from" >&2
        exit 1
    fi
    if [ -f "$deb_src_file" ] && [ "$(cat "$deb_src_file")" = "$wanted" ]; then
        return 0
    fi
    echo "Adding $deb_src_file"
    printf '%s\n' "$wanted" | "${sudo[@]}" tee "$deb_src_file" >/dev/null
    apt_get update -q
}

qt_configure_args() {
    local args=(
        -DCMAKE_BUILD_TYPE=Release
        # -Os: the program ships as one static file, and none of it is hot.
        -DFEATURE_optimize_size=ON
        -DQT_HOST_PATH=/usr
        -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
        -DBUILD_SHARED_LIBS=OFF
        -DFEATURE_static_runtime=ON
        -DQT_BUILD_EXAMPLES=OFF
        -DQT_BUILD_TESTS=OFF
        -DQT_BUILD_BENCHMARKS=OFF
        -DFEATURE_gui=ON
        -DFEATURE_widgets=ON
        -DFEATURE_network=ON
        -DFEATURE_testlib=ON
        -DFEATURE_sql=OFF
        -DFEATURE_dbus=OFF
        -DFEATURE_xml=OFF
        -DFEATURE_concurrent=OFF
        -DFEATURE_printsupport=OFF
        -DFEATURE_vulkan=OFF
        # Qt's own copies of these, not the system's (there is none for Windows).
        -DFEATURE_system_zlib=OFF
        -DFEATURE_system_pcre2=OFF
        -DFEATURE_system_png=OFF
        -DFEATURE_system_harfbuzz=OFF
        -DFEATURE_system_doubleconversion=OFF
        -DFEATURE_jpeg=OFF
        -DFEATURE_gif=OFF
        -DFEATURE_freetype=OFF
        -DFEATURE_zstd=OFF
        -DFEATURE_brotli=OFF
        -DFEATURE_icu=OFF
        # Turning the feature off still leaves dynamic OpenGL on, which does
        # not build; only the input switch removes it.
        -DINPUT_opengl=no
        -DFEATURE_opengl=OFF
        -DFEATURE_opengl_dynamic=OFF
        -DFEATURE_dynamicgl=OFF
        # No TLS: the schannel backend is built even without the ssl feature.
        -DFEATURE_ssl=OFF
        -DFEATURE_schannel=OFF
        # GDI fonts: DirectWrite 3 without Direct2D leaves an undefined symbol.
        -DFEATURE_direct2d=OFF
        -DFEATURE_directwrite3=OFF
        # Debian's source has no Wintab headers.
        -DFEATURE_tabletevent=OFF
        # What the program never uses, so that the static IP.exe does not
        # carry it: the style sheet engine, the widgets, dialogs and
        # document formats it has no use for, and the network beyond the
        # local socket between copies.
        -DFEATURE_style_stylesheet=OFF
        -DFEATURE_style_fusion=OFF
        -DFEATURE_calendarwidget=OFF
        -DFEATURE_colordialog=OFF
        -DFEATURE_columnview=OFF
        -DFEATURE_commandlinkbutton=OFF
        -DFEATURE_datawidgetmapper=OFF
        -DFEATURE_datetimeedit=OFF
        -DFEATURE_dial=OFF
        -DFEATURE_dockwidget=OFF
        -DFEATURE_errormessage=OFF
        -DFEATURE_filedialog=OFF
        -DFEATURE_fontcombobox=OFF
        -DFEATURE_fontdialog=OFF
        -DFEATURE_graphicseffect=OFF
        -DFEATURE_graphicsview=OFF
        -DFEATURE_keysequenceedit=OFF
        -DFEATURE_lcdnumber=OFF
        -DFEATURE_listwidget=OFF
        -DFEATURE_mdiarea=OFF
        -DFEATURE_progressdialog=OFF
        -DFEATURE_splashscreen=OFF
        -DFEATURE_syntaxhighlighter=OFF
        -DFEATURE_tablewidget=OFF
        -DFEATURE_textbrowser=OFF
        -DFEATURE_toolbox=OFF
        -DFEATURE_treewidget=OFF
        -DFEATURE_undoview=OFF
        -DFEATURE_wizard=OFF
        -DFEATURE_pdf=OFF
        -DFEATURE_picture=OFF
        -DFEATURE_movie=OFF
        -DFEATURE_sessionmanager=OFF
        -DFEATURE_textodfwriter=OFF
        -DFEATURE_textmarkdownreader=OFF
        -DFEATURE_textmarkdownwriter=OFF
        -DFEATURE_undocommand=OFF
        -DFEATURE_imageformat_ppm=OFF
        -DFEATURE_imageformat_xbm=OFF
        -DFEATURE_sharedmemory=OFF
        -DFEATURE_systemsemaphore=OFF
        -DFEATURE_http=OFF
        -DFEATURE_dnslookup=OFF
        -DFEATURE_networkdiskcache=OFF
        -DFEATURE_networklistmanager=OFF
        -DFEATURE_topleveldomain=OFF
    )
    printf '%s\n' "${args[@]}"
}

# Our changes to Qt's source: each says why.
qt_patches=("$root"/scripts/qt-windows/*.patch)

# What the cached Qt was configured and patched with, as a short fingerprint.
qt_configuration() {
    { qt_configure_args; cat "${qt_patches[@]}"; } | sha256sum | cut -c1-16
}

stage_qt() {
    local configuration
    configuration=$(qt_configuration)
    if [ -f "$qt_stamp" ] && grep -qx "configuration $configuration" "$qt_stamp"; then
        echo "Qt $qt_version for Windows: $qt_prefix"
        return 0
    fi
    [ ! -f "$qt_stamp" ] || echo "Qt $qt_version for Windows in $qt_prefix was configured otherwise: building it again"
    stage_deps
    deb_src

    # The same Debian revision as the host tools (moc, rcc, uic).
    local debian_version upstream
    debian_version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
    upstream=${debian_version%%+*}
    if [ "$upstream" != "$qt_version" ]; then
        echo "qt6-base-dev-tools is $debian_version, not Qt $qt_version" >&2
        exit 1
    fi

    local work=$cache/qt6-mingw-$qt_version.work
    rm -rf "$work" "$qt_prefix"
    mkdir -p "$work"
    local started=$SECONDS

    echo "== Fetching qt6-base $debian_version"
    if ! (cd "$work" && apt-get -o DPkg::Lock::Timeout=900 source -q "qt6-base=$debian_version" </dev/null); then
        # The source entry may predate the last update of the package lists.
        apt_get update -q
        (cd "$work" && apt-get -o DPkg::Lock::Timeout=900 source -q "qt6-base=$debian_version" </dev/null)
    fi
    local src_dir
    src_dir=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
    [ -n "$src_dir" ] || { echo "no qt6-base source in $work" >&2; exit 1; }
    local patch
    for patch in "${qt_patches[@]}"; do
        echo "== Applying $(basename "$patch")"
        patch -d "$src_dir" -p1 --forward --batch <"$patch"
    done

    echo "== Configuring Qt for Windows into $qt_prefix"
    local args
    mapfile -t args < <(qt_configure_args)
    heavy cmake -S "$src_dir" -B "$work/build" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DKESTRUNE_QT_WINDOWS_PREFIX="$qt_prefix" \
        -DCMAKE_INSTALL_PREFIX="$qt_prefix" \
        "${args[@]}"

    echo "== Building Qt ($jobs jobs)"
    heavy cmake --build "$work/build" --parallel "$jobs"
    heavy cmake --install "$work/build"

    printf 'qt6-base %s\nconfiguration %s\nbuilt %s in %s s\n' "$debian_version" \
        "$configuration" "$(date -u +%FT%TZ)" "$((SECONDS - started))" >"$qt_stamp"
    rm -rf "$work"
    echo "Qt $qt_version for Windows ready in $qt_prefix ($((SECONDS - started)) s)"
}

# What ships: IP.exe built for size, without symbols, and its installer
# (cmake/Install.cmake makes it with makensis).
stage_build() {
    stage_deps
    stage_qt
    heavy cmake -S "$root" -B "$build_dir" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DKESTRUNE_QT_WINDOWS_PREFIX="$qt_prefix" \
        -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-MinSizeRel}" \
        -DKESTRUNE_BUILD_TESTS="${KESTRUNE_WINDOWS_TESTS:-ON}" \
        "$@"
    heavy cmake --build "$build_dir" --parallel "$jobs"
    echo "IP.exe: $(stat -c %s "$build_dir/IP.exe") bytes; installer:" "$build_dir"/KestrunesIPTool-*-setup.exe
}

# What Wine would write into a home folder: none of it may appear in the
# user's own.
home_traces() {
    local place
    for place in .config/menus .local/share/mime .local/share/applications/wine \
        .local/share/desktop-directories; do
        [ -e "$1/$place" ] && find "$1/$place" -printf '%p %T@\n'
    done
    true
}

# Every test the build registered, in one private X session and Wine prefix
# (scripts/wine-session.sh), one after the other: they share the display.
stage_test() {
    stage_deps
    local started=$SECONDS rc=0
    local user_home=$HOME traces
    traces=$(home_traces "$user_home")
    wine_session_start
    ctest --test-dir "$build_dir" --output-on-failure --no-tests=error </dev/null || rc=$?
    wine_session_stop
    # KESTRUNE_UPDATE_DOCS=1: the journey's screenshot becomes the README's.
    if [ "${KESTRUNE_UPDATE_DOCS:-0}" = 1 ] && [ -f "$build_dir/journey/wine.png" ]; then
        cp "$build_dir/journey/wine.png" "$root/docs/wine.png"
        echo "Updated docs/wine.png"
    fi
    echo "== the user's home"
    if [ "$(home_traces "$user_home")" != "$traces" ]; then
        echo "FAIL!  : Wine wrote into $user_home:"
        diff <(echo "$traces") <(home_traces "$user_home") || true
        rc=1
    else
        echo "PASS   : nothing of Wine's in $user_home"
    fi
    echo "Windows suite under Wine in $((SECONDS - started)) s"
    return "$rc"
}

# Sourced (by bench/wine.sh), it only defines the stages.
[[ "${BASH_SOURCE[0]}" == "$0" ]] || return 0

stage=${1:-all}
[ $# -gt 0 ] && shift
case "$stage" in
deps) stage_deps ;;
qt) stage_qt ;;
build) stage_build "$@" ;;
test) stage_test ;;
all)
    stage_build "$@"
    stage_test
    ;;
*)
    echo "usage: $0 [deps|qt|build|test|all] [CMake arguments for build]" >&2
    exit 2
    ;;
esac
