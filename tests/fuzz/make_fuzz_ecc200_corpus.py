#!/usr/bin/env python3
"""Regenerates the seed corpus of the ECC 200 fuzzer (tests/fuzz/fuzz_ecc200/)
from a few real symbols of tests/data/ecc200/symbols.txt and a few codeword
sequences of every encodation. The input format is described at the top of
tests/fuzz/fuzz_ecc200.cpp.

Run from anywhere: python3 tests/fuzz/make_fuzz_ecc200_corpus.py
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "..", "data", "ecc200", "symbols.txt")
OUT = os.path.join(HERE, "fuzz_ecc200")

# (rows, cols) in the order of the stage's size table.
SIZES = [
    (10, 10), (12, 12), (14, 14), (16, 16), (18, 18), (20, 20), (22, 22), (24, 24),
    (26, 26), (32, 32), (36, 36), (40, 40), (44, 44), (48, 48), (52, 52), (64, 64),
    (72, 72), (80, 80), (88, 88), (96, 96), (104, 104), (120, 120), (132, 132),
    (144, 144), (8, 18), (8, 32), (12, 26), (12, 36), (16, 36), (16, 48),
]
CODEWORD_MODE = 0x80

MATRIX_SEEDS = [
    "zint-10x10", "zint-32x32", "zint-144x144", "zint-8x18", "dmtx-c40", "dmtx-text",
    "dmtx-x12", "dmtx-edifact", "dmtx-base256-short", "dmtx-upper-shift", "dmtx-edifact-rect",
]

# (size, data codewords): the encodations, their latches and ends.
CODEWORD_SEEDS = [
    ((10, 10), [66, 67, 142]),
    ((14, 14), [230, 89, 233, 254, 66, 235, 66]),
    ((14, 14), [239, 89, 233, 254, 66, 129]),
    ((14, 14), [238, 0, 55, 254, 66]),
    ((14, 14), [240, 4, 32, 223, 66, 240, 5, 0xF3]),
    ((16, 16), [231, 47, 57, 208, 102, 66, 254, 231, 1]),
    ((16, 16), [230, 10, 255, 254, 254, 240, 4, 32, 196]),
    ((12, 12), [232, 66]),
]


def read_fixtures():
    symbols = {}
    with open(FIXTURES) as f:
        lines = iter(f.read().splitlines())
    for line in lines:
        if line.startswith("symbol "):
            name = line.split()[1]
        elif line.startswith("size "):
            rows, cols = map(int, line.split()[1:])
            symbols[name] = (rows, cols, [next(lines) for _ in range(rows)])
    return symbols


def pack(rows):
    bits = "".join(rows)
    out = bytearray()
    for i in range(0, len(bits), 8):
        out.append(int(bits[i:i + 8].ljust(8, "0"), 2))
    return bytes(out)


def main():
    os.makedirs(OUT, exist_ok=True)
    for old in os.listdir(OUT):
        os.remove(os.path.join(OUT, old))
    symbols = read_fixtures()
    for name in MATRIX_SEEDS:
        rows, cols, matrix = symbols[name]
        seed = bytes([SIZES.index((rows, cols))]) + pack(matrix)
        with open(os.path.join(OUT, "matrix-" + name), "wb") as f:
            f.write(seed)
    for i, (size, codewords) in enumerate(CODEWORD_SEEDS):
        seed = bytes([CODEWORD_MODE | SIZES.index(size)] + codewords)
        with open(os.path.join(OUT, "codewords-%d" % i), "wb") as f:
            f.write(seed)


if __name__ == "__main__":
    main()
