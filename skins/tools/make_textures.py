#!/usr/bin/env python3
"""Draws the skins' tiled textures as PNG files, at 1x and 2x.

The textures are light overlays (white or dark with low alpha) laid over the
section's own colours, so a skin's colours stay in its skin.json. Standard
library only; run from anywhere: python3 skins/tools/make_textures.py
"""
import os
import random
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
DATA = os.path.join(HERE, "..", "data")


def write_png(path, size, pixels):
    """pixels: list of rows of (r, g, b, a)."""
    raw = b"".join(b"\0" + b"".join(struct.pack("BBBB", *p) for p in row) for row in pixels)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def gauze(scale):
    """Woven threads: a light warp every 4 px, a fainter weft across it."""
    n = 8 * scale
    rows = []
    for y in range(n):
        row = []
        for x in range(n):
            warp = (x // scale) % 4 == 0
            weft = (y // scale) % 4 == 0
            if warp and weft:
                row.append((255, 255, 255, 80))
            elif warp:
                row.append((255, 255, 255, 45))
            elif weft:
                row.append((90, 140, 200, 14))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return n, rows


def frog(scale):
    """A frog's skin: scattered soft spots, lighter and darker."""
    n = 24 * scale
    rnd = random.Random(7)
    rows = [[(0, 0, 0, 0)] * n for _ in range(n)]
    for _ in range(9):
        cx, cy = rnd.randrange(24), rnd.randrange(24)
        light = rnd.random() < 0.6
        r = 1.6 if light else 1.2
        for y in range(n):
            for x in range(n):
                # distance on the torus, so the tile repeats seamlessly
                dx = min(abs(x / scale - cx), 24 - abs(x / scale - cx))
                dy = min(abs(y / scale - cy), 24 - abs(y / scale - cy))
                d = (dx * dx + dy * dy) ** 0.5
                if d < r:
                    a = int((1 - d / r) * (60 if light else 30))
                    old = rows[y][x][3]
                    if a > old:
                        rows[y][x] = (255, 255, 240, a) if light else (20, 70, 10, a)
    return n, rows


for folder, name, make in (("BlueGauze", "gauze", gauze), ("TheFrog", "frog", frog)):
    for scale, suffix in ((1, ""), (2, "@2x")):
        size, pixels = make(scale)
        write_png(os.path.join(DATA, folder, name + suffix + ".png"), size, pixels)
