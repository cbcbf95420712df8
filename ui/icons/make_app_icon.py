#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the application icon: a parcel of papers tied with a blue strap, in the toolbar's palette.

The icon is a list of filled rectangles on a 32 x 32 grid, painted in order. From that one list
this script writes the scalable SVG and the 48 and 256 pixel PNG files beside it (each PNG pixel
is the average of a grid of samples, so the 48 pixel icon is smoothed and the 256 one is sharp).
Run it after changing a shape; the files are checked in, compiled into the program and installed.
"""
import os
import struct
import sys
import zlib

sys.dont_write_bytecode = True  # importing the toolbar script must leave no cache beside it
from make_icons import PALETTE  # noqa: E402

GRID = 32

# (x, y, width, height, colour) in grid units, back to front; colours name PALETTE entries.
SHAPES = [
    # two sheets of paper sticking out of the parcel
    (7, 2, 13, 12, "k"), (8, 3, 11, 11, "w"),
    (10, 5, 7, 1, "g"), (10, 7, 7, 1, "g"), (10, 9, 5, 1, "g"),
    (13, 5, 13, 10, "k"), (14, 6, 11, 9, "w"),
    (16, 8, 7, 1, "g"), (16, 10, 7, 1, "g"), (16, 12, 4, 1, "g"),
    # the parcel: lid and body
    (2, 12, 28, 18, "k"), (3, 13, 26, 16, "y"),
    (3, 13, 26, 4, "Y"), (3, 17, 26, 1, "k"),
    # the strap and its buckle
    (13, 12, 6, 18, "k"), (14, 13, 4, 16, "B"), (15, 13, 2, 16, "b"),
    (11, 19, 10, 7, "k"), (12, 20, 8, 5, "s"), (14, 21, 4, 3, "k"), (15, 22, 2, 1, "s"),
]

NAME = "winoru"


def hex_colour(key):
    r, g, b = PALETTE[key]
    return "#%02x%02x%02x" % (r, g, b)


def svg():
    lines = ['<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 %d %d"'
             ' shape-rendering="crispEdges">' % (GRID, GRID)]
    for x, y, w, h, colour in SHAPES:
        lines.append('  <rect x="%d" y="%d" width="%d" height="%d" fill="%s"/>'
                     % (x, y, w, h, hex_colour(colour)))
    lines.append("</svg>")
    return "\n".join(lines) + "\n"


def colour_at(u, v):
    """The colour of the topmost shape under grid point (u, v); None where nothing is drawn."""
    for x, y, w, h, colour in reversed(SHAPES):
        if x <= u < x + w and y <= v < y + h:
            return PALETTE[colour]
    return None


def render(size, samples=6):
    """RGBA rows of the icon at size x size pixels, each pixel averaged over samples^2 points."""
    rows = []
    scale = GRID / size
    for py in range(size):
        row = bytearray()
        for px in range(size):
            r = g = b = a = 0
            for sy in range(samples):
                for sx in range(samples):
                    c = colour_at((px + (sx + 0.5) / samples) * scale, (py + (sy + 0.5) / samples) * scale)
                    if c is not None:
                        r, g, b, a = r + c[0], g + c[1], b + c[2], a + 1
            if a:
                row += bytes((round(r / a), round(g / a), round(b / a), round(255 * a / samples ** 2)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows


def png(rows):
    width, height = len(rows[0]) // 4, len(rows)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    raw = b"".join(b"\x00" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, NAME + ".svg"), "w") as f:
        f.write(svg())
    for size in (48, 256):
        # 256 is a whole multiple of the grid: one sample per pixel keeps the edges sharp.
        rows = render(size, samples=1 if size % GRID == 0 else 6)
        with open(os.path.join(here, "%s-%d.png" % (NAME, size)), "wb") as f:
            f.write(png(rows))


if __name__ == "__main__":
    main()
