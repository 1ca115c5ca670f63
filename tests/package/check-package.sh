#!/usr/bin/env bash
# Installs the program of the build folder it is given into a scratch
# prefix and checks the desktop files with the freedesktop validators; then
# makes the Debian package of that same build with CPack, unpacks it into a
# scratch root and checks its files, its version and dependencies, and runs
# lintian over it.
#
#   check-package.sh <build folder>
set -euo pipefail
build=$1
scratch=$(mktemp -d "${TMPDIR:-/tmp}/kestrune-package.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

echo "== cmake --install"
cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
for f in bin/IP \
    share/applications/com.kestrune.IP.desktop \
    share/metainfo/com.kestrune.IP.metainfo.xml \
    share/icons/hicolor/16x16/apps/com.kestrune.IP.png \
    share/icons/hicolor/32x32/apps/com.kestrune.IP.png \
    share/icons/hicolor/48x48/apps/com.kestrune.IP.png \
    share/icons/hicolor/scalable/apps/com.kestrune.IP.svg; do
    [ -f "$scratch/prefix/$f" ] || fail "not installed: $f"
done
[ -x "$scratch/prefix/bin/IP" ] || fail "bin/IP is not executable"

echo "== desktop-file-validate"
desktop-file-validate "$scratch/prefix/share/applications/com.kestrune.IP.desktop"
desktop=$scratch/prefix/share/applications/com.kestrune.IP.desktop
grep -qx 'Name=Kestrunes IP Tool' "$desktop" || fail "desktop Name"
grep -qx 'Comment=Useful utility to give your IP Address.' "$desktop" || fail "desktop Comment"
grep -qx 'Icon=com.kestrune.IP' "$desktop" || fail "desktop Icon"
grep -qx 'Terminal=false' "$desktop" || fail "desktop Terminal"
grep -qx 'Categories=Network;' "$desktop" || fail "desktop Categories"

echo "== appstreamcli validate"
appstreamcli validate --no-net "$scratch/prefix/share/metainfo/com.kestrune.IP.metainfo.xml"

echo "== icons"
for size in 16 32 48; do
    got=$(identify -format '%wx%h' "$scratch/prefix/share/icons/hicolor/${size}x${size}/apps/com.kestrune.IP.png")
    [ "$got" = "${size}x${size}" ] || fail "icon ${size}: $got"
done

echo "== cpack -G DEB, from this build"
# What the build installs is what the package holds; the tests install nothing.
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/cpack" >/dev/null
deb=$(ls "$scratch"/cpack/*.deb)
echo "$deb"
dpkg-deb --info "$deb" >/dev/null
depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libc6 libstdc++6 fonts-liberation2; do
    echo "$depends" | grep -q "$lib" || fail "Depends lacks $lib"
done
[ "$(dpkg-deb --field "$deb" Package)" = kestrune-ip-tool ] || fail "package name"
[ "$(dpkg-deb --field "$deb" Version)" = 1.0.0 ] || fail "package version"

dpkg -x "$deb" "$scratch/root"
# The manual page is made with the version; the changelog and the AppStream
# releases are history, kept by hand, and name it as their newest entry.
version=$(dpkg-deb --field "$deb" Version)
title=$(zcat "$scratch/root/usr/share/man/man1/IP.1.gz" | sed -n 1p)
[[ "$title" == *"\"Kestrunes IP Tool $version\""* ]] || fail "the manual page's title: $title"
newest=$(zcat "$scratch/root/usr/share/doc/kestrune-ip-tool/changelog.gz" |
    sed -n '1s/^kestrune-ip-tool (\([^)]*\)).*/\1/p')
[ "$newest" = "$version" ] || fail "the changelog's newest entry is '$newest', not $version"
newest=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' \
    "$scratch/root/usr/share/metainfo/com.kestrune.IP.metainfo.xml" | head -n 1)
[ "$newest" = "$version" ] || fail "the metainfo's newest release is '$newest', not $version"
(cd "$scratch/root" && find . -type f | sort) >"$scratch/files"
cat >"$scratch/expected" <<'LIST'
./usr/bin/IP
./usr/share/applications/com.kestrune.IP.desktop
./usr/share/doc/kestrune-ip-tool/changelog.gz
./usr/share/doc/kestrune-ip-tool/copyright
./usr/share/icons/hicolor/16x16/apps/com.kestrune.IP.png
./usr/share/icons/hicolor/32x32/apps/com.kestrune.IP.png
./usr/share/icons/hicolor/48x48/apps/com.kestrune.IP.png
./usr/share/icons/hicolor/scalable/apps/com.kestrune.IP.svg
./usr/share/man/man1/IP.1.gz
./usr/share/metainfo/com.kestrune.IP.metainfo.xml
LIST
diff -u "$scratch/expected" "$scratch/files" || fail "package file list"
[ "$(dpkg-deb --field "$deb" Suggests)" = "qt6-wayland, wl-clipboard" ] || fail "Suggests"

if command -v lintian >/dev/null; then
    echo "== lintian"
    # Errors and warnings fail; what lintian only mentions does not.
    lintian --fail-on error,warning "$deb"
else
    echo "lintian is not installed: not run"
fi
echo "package ok"
