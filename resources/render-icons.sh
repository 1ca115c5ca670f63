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
