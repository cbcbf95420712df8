#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the window's 16 x 16 icons as PNG files beside this script, and each at 32 x 32 as
name@2x.png for screens scaled to 200 %.

Each icon is a character map: every character names a colour of the palette, "." is transparent.
Run it after changing a map; the PNG files are checked in and compiled into the program.
"""
import os
import struct
import zlib

PALETTE = {
    ".": None,
    "k": (40, 40, 48),      # outline
    "w": (255, 255, 255),   # paper
    "g": (200, 200, 208),   # paper shade
    "y": (246, 200, 70),    # folder
    "Y": (214, 160, 40),    # folder shade
    "b": (52, 112, 200),    # blue
    "B": (24, 70, 150),     # dark blue
    "r": (210, 50, 40),     # red
    "R": (150, 24, 20),     # dark red
    "G": (40, 150, 60),     # green
    "D": (20, 100, 36),     # dark green
    "s": (150, 150, 160),   # steel
    "o": (236, 130, 30),    # orange
}

ICONS = {
    "new": [
        "..kkkkkkkk......",
        "..kwwwwwwkk.....",
        "..kwwwwwwkwk....",
        "..kwwwwwwkkkk...",
        "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...",
        "..kwwwwwwwwwk...",
        "..kwwwwwwwGGG...",
        "..kwwwwwwwGDG...",
        "..kwwwwwGGGDGGG.",
        "..kwwwwwGDDDDDG.",
        "..kkkkkkGGGDGGG.",
        "..........GDG...",
        "..........GGG...",
    ],
    "open": [
        "................",
        "................",
        ".kkkk...........",
        "kyyyyk..........",
        "kyyyyykkkkkk....",
        "kyyyyyyyyyyk....",
        "kyykkkkkkkkkkk..",
        "kyykYYYYYYYYYk..",
        "kyykYYYYYYYYk...",
        "kykYYYYYYYYYk...",
        "kykYYYYYYYYk....",
        "kkYYYYYYYYYk....",
        "kkYYYYYYYYk.....",
        "kkkkkkkkkkk.....",
        "................",
        "................",
    ],
    "add": [
        "................",
        "......GG........",
        "......GG........",
        "....GGGGGG......",
        "....GDDDDG......",
        "......GD........",
        "......GD........",
        "..kkkkkkkkkkkk..",
        "..kssssssssssk..",
        "..kkkkkkkkkkkk..",
        "...kbbbbbbbbk...",
        "...kbbBBBBbbk...",
        "...kbbbbbbbbk...",
        "...kbbbbbbbbk...",
        "...kkkkkkkkkk...",
        "................",
    ],
    "delete": [
        "................",
        "................",
        ".rr........rr...",
        ".rRr......rRr...",
        "..rRr....rRr....",
        "...rRr..rRr.....",
        "....rRrrRr......",
        ".....rRRr.......",
        ".....rRRr.......",
        "....rRrrRr......",
        "...rRr..rRr.....",
        "..rRr....rRr....",
        ".rRr......rRr...",
        ".rr........rr...",
        "................",
        "................",
    ],
    "view": [
        "................",
        "................",
        "..kkkkkkkk......",
        "..kwwwwwwk......",
        "..kwkkkkwk......",
        "..kwwwwwwk......",
        "..kwkkkkkkk.....",
        "..kwwwwkbbbk....",
        "..kwkkkbwbbbk...",
        "..kwwwwkbbbbk...",
        "..kwkkkkbbbk....",
        "..kwwwwwkkkkk...",
        "..kkkkkkkk..kk..",
        ".............kk.",
        "..............k.",
        "................",
    ],
    "extract": [
        "................",
        "......GG........",
        "......DG........",
        "......DG........",
        "....GGDGGG......",
        ".....GDGG.......",
        "......GG........",
        ".kkkk...........",
        "kyyyyk..........",
        "kyyyyykkkkkkk...",
        "kYYYYYYYYYYYk...",
        "kYYYYYYYYYYYk...",
        "kYYYYYYYYYYYk...",
        "kYYYYYYYYYYYk...",
        "kkkkkkkkkkkkk...",
        "................",
    ],
    "rebuild": [
        "................",
        ".....kkkkk......",
        "...kkoooook.....",
        "..kook...kok....",
        "..kok.....k.....",
        ".kok...........k",
        ".kok..........kok",
        "kkokk........kook",
        ".kook.........kok",
        "..k...........kok",
        "..............kok",
        ".....k.....kook.",
        "....kok...kook..",
        ".....kooooookk..",
        "......kkkkkk....",
        "................",
    ],
    "exit": [
        "................",
        "..kkkkkkkk......",
        "..ksssssskk.....",
        "..kssssssbk.....",
        "..kssssssbk.....",
        "..kssssssbk..r..",
        "..kssssssbk..rr.",
        "..ksssskrrrrrrRr",
        "..kssssksRRRRRRr",
        "..kssssssbk..rr.",
        "..kssssssbk..r..",
        "..kssssssbk.....",
        "..kssssssbk.....",
        "..kssssssbk.....",
        "..kkkkkkkkk.....",
        "................",
    ],
    "folder": [
        "................",
        "................",
        "................",
        ".kkkk...........",
        "kyyyyk..........",
        "kyyyyykkkkkkkk..",
        "kYYYYYYYYYYYYk..",
        "kyyyyyyyyyyyyk..",
        "kyyyyyyyyyyyyk..",
        "kyyyyyyyyyyyyk..",
        "kyyyyyyyyyyyyk..",
        "kyyyyyyyyyyyyk..",
        "kyyyyyyyyyyyyk..",
        "kkkkkkkkkkkkkk..",
        "................",
        "................",
    ],
    "folder-open": [
        "................",
        "................",
        "................",
        ".kkkk...........",
        "kyyyyk..........",
        "kyyyyykkkkkk....",
        "kyyyyyyyyyyk....",
        "kyykkkkkkkkkkk..",
        "kyykYYYYYYYYYk..",
        "kykYYYYYYYYYk...",
        "kykYYYYYYYYk....",
        "kkYYYYYYYYYk....",
        "kkYYYYYYYYk.....",
        "kkkkkkkkkkk.....",
        "................",
        "................",
    ],
    "file": [
        "................",
        "...kkkkkkk......",
        "...kwwwwwkk.....",
        "...kwwwwwkwk....",
        "...kwwwwwkkkk...",
        "...kwgggggwwk...",
        "...kwwwwwwwwk...",
        "...kwggggggwk...",
        "...kwwwwwwwwk...",
        "...kwggggggwk...",
        "...kwwwwwwwwk...",
        "...kwggggggwk...",
        "...kwwwwwwwwk...",
        "...kkkkkkkkkk...",
        "................",
        "................",
    ],
    "program": [
        "................",
        "................",
        ".kkkkkkkkkkkkkk.",
        ".kBBBBBBBBBBBBk.",
        ".kBwBwBwBBBBBBk.",
        ".kkkkkkkkkkkkkk.",
        ".kwwwwwwwwwwwwk.",
        ".kwbbbbwwwwwwwk.",
        ".kwbbbbwggggwwk.",
        ".kwbbbbwwwwwwwk.",
        ".kwbbbbwggggwwk.",
        ".kwwwwwwwwwwwwk.",
        ".kwwwwwwwwwwwwk.",
        ".kkkkkkkkkkkkkk.",
        "................",
        "................",
    ],
}


def png(rows, scale=1):
    """The map as an RGBA PNG, each map cell scale x scale pixels (nearest: the edges stay sharp)."""
    size = 16 * scale
    raw = b""
    for row in rows:
        line = row[:16].ljust(16, ".")
        pixels = b""
        for ch in line:
            c = PALETTE[ch]
            pixels += (bytes((0, 0, 0, 0)) if c is None else bytes((*c, 255))) * scale
        raw += (b"\x00" + pixels) * scale

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    for name, rows in ICONS.items():
        assert len(rows) == 16, name
        with open(os.path.join(here, name + ".png"), "wb") as f:
            f.write(png(rows))
        # Qt loads name@2x.png beside name.png on screens scaled to 200 %.
        with open(os.path.join(here, name + "@2x.png"), "wb") as f:
            f.write(png(rows, 2))


if __name__ == "__main__":
    main()
