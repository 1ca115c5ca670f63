#!/usr/bin/env bash
# Renders the application icon from its SVG source: PNG images at 16, 32
# and 48 pixels for Linux, and the Windows icon file with six images. The
# results are committed, so a build needs none of these tools.
#
# Needs: librsvg2-bin (rsvg-convert), imagemagick, python3.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

for size in 16 32 48; do
    rsvg-convert --width "$size" --height "$size" "$here/kestrune-ip.svg" \
        --output "$here/icons/kestrune-ip-$size.png"
done
python3 "$here/make-ico.py" "$here/icons" "$here/IP.ico"
identify "$here/IP.ico"

# The same images as pixels compiled into the program (ARGB, one 32-bit
# value a pixel, row by row), which it shows without reading any image file.
{
    echo "// The application icon's images as ARGB pixels, row by row."
    echo "// Made by resources/render-icons.sh from resources/icons/; do not edit."
    echo "#pragma once"
    echo
    echo "#include <cstdint>"
    echo
    echo "namespace AppIconPixels {"
    for size in 16 32 48; do
        echo
        echo "inline constexpr std::uint32_t k${size}[$((size * size))] = {"
        convert "$here/icons/kestrune-ip-$size.png" -depth 8 rgba:- | python3 -c '
import sys
data = sys.stdin.buffer.read()
values = ["0x%02x%02x%02x%02xu" % (data[i + 3], data[i], data[i + 1], data[i + 2])
          for i in range(0, len(data), 4)]
for i in range(0, len(values), 7):
    print("    " + ", ".join(values[i:i + 7]) + ",")
'
        echo "};"
    done
    echo
    echo "} // namespace AppIconPixels"
} >"$here/../src/ui/AppIconPixels.h"
