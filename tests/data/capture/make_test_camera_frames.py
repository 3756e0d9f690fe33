#!/usr/bin/env python3
"""Writes the test camera's frames: small PNG images whose colours tell
orientation and byte order apart. Standard library only.

  quadrants.png  64 x 48: top left red, top right green,
                 bottom left blue, bottom right white
  frames/        two 32 x 24 frames in name order: a.png black, b.png grey
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def write_png(path, width, height, pixel):
    """pixel(x, y) -> (r, g, b); rows from the top."""
    raw = b"".join(
        b"\x00" + b"".join(bytes(pixel(x, y)) for x in range(width)) for y in range(height)
    )

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
                  + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def quadrant(x, y):
    top, left = y < 24, x < 32
    if top:
        return (255, 0, 0) if left else (0, 255, 0)
    return (0, 0, 255) if left else (255, 255, 255)


write_png(os.path.join(HERE, "quadrants.png"), 64, 48, quadrant)
os.makedirs(os.path.join(HERE, "frames"), exist_ok=True)
write_png(os.path.join(HERE, "frames", "a.png"), 32, 24, lambda x, y: (0, 0, 0))
write_png(os.path.join(HERE, "frames", "b.png"), 32, 24, lambda x, y: (128, 128, 128))
