#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Makes the Windows edition's pictures from the artwork in ../art.

Run by hand after a change of the artwork (needs ImageMagick's `convert`
to read the pictures); its output in art/ is kept in the source tree, so an
ordinary build needs neither.

  - every picture as a 32-bit bitmap with premultiplied alpha, bottom-up,
    as the window's alpha blending takes it;
  - the program icon: the 16, 32, 48 and 256 pixel images of the artwork,
    each stored as PNG inside the .ico file.
"""
import os
import struct
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ART = os.path.join(HERE, "..", "art")
OUT = os.path.join(HERE, "art")

PICTURES = [("frame/Image%d.png" % i, "Image%d.bmp" % i) for i in range(1, 11)] + [
    ("frame/Minimise.png", "Minimise.bmp"),
    ("logo.jpg", "logo.bmp"),
    ("logo2.jpg", "logo2.bmp"),
    ("feed.png", "feed.bmp"),
]
ICON_SIZES = [16, 32, 48, 256]


def rgba(path):
    size = subprocess.run(["convert", path, "-format", "%w %h", "info:"], check=True,
                          capture_output=True, text=True).stdout.split()
    width, height = int(size[0]), int(size[1])
    pixels = subprocess.run(["convert", path, "-depth", "8", "rgba:-"], check=True,
                            capture_output=True).stdout
    if len(pixels) != width * height * 4:
        sys.exit("make-art: unexpected pixel data from " + path)
    return width, height, pixels


def bitmap(width, height, pixels):
    rows = []
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b, a = pixels[(y * width + x) * 4:(y * width + x) * 4 + 4]
            row += bytes(((b * a + 127) // 255, (g * a + 127) // 255, (r * a + 127) // 255, a))
        rows.append(bytes(row))
    data = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 32, 0, len(data), 3780, 3780, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
    return header + info + data


def icon(sizes):
    images = []
    for size in sizes:
        with open(os.path.join(ART, "icon%d.png" % size), "rb") as f:
            images.append((size, f.read()))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        side = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def main():
    os.makedirs(OUT, exist_ok=True)
    for source, target in PICTURES:
        with open(os.path.join(OUT, target), "wb") as f:
            f.write(bitmap(*rgba(os.path.join(ART, source))))
    with open(os.path.join(OUT, "gui-vonk.ico"), "wb") as f:
        f.write(icon(ICON_SIZES))


if __name__ == "__main__":
    main()
