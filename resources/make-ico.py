#!/usr/bin/env python3
"""Builds the Windows icon file from the rendered PNG images.

Six images, as Windows expects of a classic application icon: 16x16, 32x32
and 48x48 pixels, each in 16 colours (4 bits a pixel, the standard VGA
palette) and in 256 colours (8 bits a pixel, a palette of the image's own).
Transparency is the icon's AND mask. ImageMagick does the colour reduction;
this script only lays out the bytes, which ImageMagick's own ICO writer will
not do for palette images with transparency.

    make-ico.py <folder with kestrune-ip-<size>.png> <output.ico>
"""
import struct
import subprocess
import sys

VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def magick(*args):
    return subprocess.run(["convert", *args], check=True, stdout=subprocess.PIPE).stdout


def vga_palette_image(path):
    colours = ["xc:rgb(%d,%d,%d)" % c for c in VGA]
    subprocess.run(["convert", *colours, "+append", path], check=True)


def pixels(png, size, colours, palette_image):
    """Quantised RGB pixels (top row first) and the opacity of each."""
    reduce = ["-remap", palette_image] if colours == 16 else ["-colors", str(colours)]
    rgb = magick(png, "-background", "black", "-alpha", "remove", "-dither", "None",
                 *reduce, "-depth", "8", "rgb:-")
    alpha = magick(png, "-alpha", "extract", "-depth", "8", "gray:-")
    assert len(rgb) == size * size * 3 and len(alpha) == size * size
    rows = [[tuple(rgb[(y * size + x) * 3:(y * size + x) * 3 + 3]) for x in range(size)]
            for y in range(size)]
    opaque = [[alpha[y * size + x] >= 128 for x in range(size)] for y in range(size)]
    return rows, opaque


def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def image_entry(png, size, bits, palette_image):
    colours = 1 << bits
    rows, opaque = pixels(png, size, colours, palette_image)
    if bits == 4:
        palette = list(VGA)
    else:
        palette = sorted({c for row in rows for c in row})
        assert len(palette) <= 256
        palette += [(0, 0, 0)] * (256 - len(palette))
    index = {c: i for i, c in reversed(list(enumerate(palette)))}
    black = index[(0, 0, 0)] if (0, 0, 0) in index else 0

    xor = b""
    mask = b""
    for y in reversed(range(size)):  # bottom-up, as in every BMP
        indices = [index[rows[y][x]] if opaque[y][x] else black for x in range(size)]
        if bits == 4:
            line = bytes((indices[x] << 4) | indices[x + 1] for x in range(0, size, 2))
        else:
            line = bytes(indices)
        xor += padded(line)
        bits_row = 0
        mask_line = b""
        for x in range(size):
            bits_row = (bits_row << 1) | (0 if opaque[y][x] else 1)
            if x % 8 == 7:
                mask_line += bytes([bits_row])
                bits_row = 0
        mask += padded(mask_line)

    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, len(xor) + len(mask),
                         0, 0, colours, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    return header + table + xor + mask


def main():
    folder, output = sys.argv[1], sys.argv[2]
    palette_image = output + ".vga.png"
    vga_palette_image(palette_image)
    entries = []
    try:
        for size in (16, 32, 48):
            png = "%s/kestrune-ip-%d.png" % (folder, size)
            for bits in (4, 8):
                entries.append((size, bits, image_entry(png, size, bits, palette_image)))
    finally:
        subprocess.run(["rm", "-f", palette_image], check=True)

    offset = 6 + 16 * len(entries)
    directory = struct.pack("<HHH", 0, 1, len(entries))
    data = b""
    for size, bits, image in entries:
        colour_count = 16 if bits == 4 else 0
        directory += struct.pack("<BBBBHHII", size, size, colour_count, 0, 1, bits, len(image),
                                 offset + len(data))
        data += image
    with open(output, "wb") as f:
        f.write(directory + data)


if __name__ == "__main__":
    main()
