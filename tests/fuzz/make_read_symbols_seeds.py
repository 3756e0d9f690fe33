#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_read_symbols (tests/fuzz/fuzz_read_symbols/):
small gray images in the fuzzer's input layout (width - 1, pass, level, then
the pixels row by row), made of real symbols from tests/data/ecc200/symbols.txt
drawn upright and turned, with a quiet zone, plus an empty and a noisy image.
Standard library only; run from anywhere."""
import math
import os
import random

HERE = os.path.dirname(os.path.abspath(__file__))
SYMBOLS = os.path.join(HERE, "..", "data", "ecc200", "symbols.txt")
OUT = os.path.join(HERE, "fuzz_read_symbols")
DARK, LIGHT = 40, 210


def load(name):
    rows, grid, current = None, [], None
    with open(SYMBOLS) as f:
        lines = iter(f.read().splitlines())
    for line in lines:
        fields = line.split()
        if fields[:1] == ["symbol"]:
            current = fields[1]
        elif fields[:1] == ["size"] and current == name:
            rows = int(fields[1])
            grid = [next(lines) for _ in range(rows)]
            return grid
    raise SystemExit("no symbol " + name)


def render(grid, module, angle, quiet=2):
    rows, cols = len(grid), len(grid[0])
    half = math.hypot(rows + 2 * quiet, cols + 2 * quiet) * module / 2
    side = int(2 * half) + 2
    c, s = math.cos(math.radians(angle)), math.sin(math.radians(angle))
    pixels = bytearray()
    for y in range(side):
        for x in range(side):
            dx, dy = x + 0.5 - side / 2, y + 0.5 - side / 2
            u = (c * dx + s * dy) / module + cols / 2
            v = (-s * dx + c * dy) / module + rows / 2
            r, k = int(math.floor(v)), int(math.floor(u))
            dark = 0 <= r < rows and 0 <= k < cols and grid[r][k] == "1"
            pixels.append(DARK if dark else LIGHT)
    return side, pixels


def write(name, width, pass_byte, level, pixels):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(bytes([width - 1, pass_byte, level]) + bytes(pixels))


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, module, angle, pass_byte in [("dmtx-ascii-10x10", 3, 0, 0),
                                           ("zint-10x10", 3, 30, 1),
                                           ("zint-12x12", 3, 200, 0),
                                           ("zint-8x18", 3, 75, 1)]:
        side, pixels = render(load(name), module, angle)
        write("%s-%d" % (name, angle), side, pass_byte, 15, pixels)
    write("empty", 32, 0, 0, bytes([LIGHT]) * 32 * 32)
    rng = random.Random(1)
    write("noise", 40, 2, 7, bytes(rng.randrange(256) for _ in range(40 * 40)))


if __name__ == "__main__":
    main()
