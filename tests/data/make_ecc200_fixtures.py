#!/usr/bin/env python3
"""Regenerates tests/data/ecc200/symbols.txt: real ECC 200 symbols made by the
Debian generators dmtxwrite (dmtx-utils) and zint, as module matrices.

Run from anywhere: python3 tests/data/make_ecc200_fixtures.py
Needs: dmtxwrite, zint (scripts/install-deps.sh installs both).

File format, one block per symbol:
    symbol NAME
    generator COMMAND LINE
    text HEX BYTES OF THE ENCODED MESSAGE
    size ROWS COLS
    ROWS lines of COLS characters, '1' dark, '0' light
    end
"""
import os
import random
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "ecc200", "symbols.txt")

# (rows, cols, data codewords) in the standard's order; zint's --vers numbers
# follow the same order (1..24 square, 25..30 rectangular).
SIZES = [
    (10, 10, 3), (12, 12, 5), (14, 14, 8), (16, 16, 12), (18, 18, 18), (20, 20, 22),
    (22, 22, 30), (24, 24, 36), (26, 26, 44), (32, 32, 62), (36, 36, 86), (40, 40, 114),
    (44, 44, 144), (48, 48, 174), (52, 52, 204), (64, 64, 280), (72, 72, 368),
    (80, 80, 456), (88, 88, 576), (96, 96, 696), (104, 104, 816), (120, 120, 1050),
    (132, 132, 1304), (144, 144, 1558),
    (8, 18, 5), (8, 32, 10), (12, 26, 16), (12, 36, 22), (16, 36, 32), (16, 48, 49),
]


def read_pgm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = []
    pos = 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            while data[pos:pos + 1] != b"\n":
                pos += 1
            continue
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    assert fields[0] == b"P5", fields
    width, height = int(fields[1]), int(fields[2])
    pixels = data[pos + 1:pos + 1 + width * height]
    return width, height, pixels


def dmtxwrite(message, encoding, size):
    """Symbol from dmtxwrite at one pixel per module with a one-pixel margin."""
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "symbol.pgm")
        args = ["dmtxwrite", "-e", encoding, "-s", size, "-d", "1", "-m", "1", "-o", path]
        subprocess.run(args, input=message, check=True, capture_output=True)
        width, height, pixels = read_pgm(path)
    rows = []
    for y in range(1, height - 1):
        rows.append("".join("1" if pixels[y * width + x] < 128 else "0"
                            for x in range(1, width - 1)))
    return " ".join(args[:-2]), rows


def zint(message, version):
    """Symbol from zint's module dump (hex nibbles per row)."""
    args = ["zint", "-b", "DATAMATRIX", "--vers=%d" % version, "--binary", "--dump", "-i", "-"]
    out = subprocess.run(args, input=message, check=True, capture_output=True).stdout.decode()
    rows_hex = [line.replace(" ", "") for line in out.splitlines() if line.strip()]
    nrows, ncols, _ = SIZES[version - 1]
    assert len(rows_hex) == nrows, (version, len(rows_hex))
    rows = []
    for line in rows_hex:
        bits = "".join(format(int(ch, 16), "04b") for ch in line)
        rows.append(bits[:ncols])
    return " ".join(args[:-2]), rows


def sample_text(rng, length):
    """Mixed text: words, capitals and digit runs, so that encoders change modes."""
    words = ["kelvrane", "DATA", "matrix", "Reader", "ECC200", "label", "2026", "0042",
             "frame", "LOT", "12345678", "serial", "A-B/C", "x", "quiet zone"]
    out = ""
    while len(out) < length:
        out += rng.choice(words) + rng.choice([" ", "-", ".", ":", "/", ""])
    return out[:length].encode("ascii")


def symbols():
    rng = random.Random(20261211)
    out = []
    # Every size from both generators.
    for index, (rows, cols, data) in enumerate(SIZES):
        size = "%dx%d" % (rows, cols)
        # ASCII: letters take one codeword, digit pairs one per two digits.
        text = sample_text(rng, max(1, data * 3 // 4))
        out.append(("dmtx-ascii-" + size, text) + dmtxwrite(text, "a", size))
        text = sample_text(rng, max(1, data * 3 // 4))
        out.append(("zint-" + size, text) + zint(text, index + 1))

    # Every encodation, forced through dmtxwrite.
    cases = [
        ("dmtx-digits", b"0123456789" * 4, "a", "s"),
        ("dmtx-upper-shift", b"caf\xe9 na\xefve \xff\x80\xa0 end", "a", "s"),
        ("dmtx-c40", b"KELVRANE 2026 DATAMATRIX READER", "c", "s"),
        ("dmtx-c40-shifts", b"PART#4711/B: OK! (A+B)", "c", "s"),
        ("dmtx-text", b"the quick brown fox jumps over the lazy dog 42", "t", "s"),
        ("dmtx-text-capitals", b"Mixed Case In Text Mode", "t", "s"),
        ("dmtx-x12", b"ABC*123>XYZ 789\r0 *>", "x", "s"),
        ("dmtx-edifact", b"EDIFACT TEST @ 2026 ^? [ABC]", "e", "s"),
        ("dmtx-base256-short", bytes(range(0x80, 0xa0)), "8", "s"),
        ("dmtx-base256-long", bytes(rng.randrange(1, 256) for _ in range(300)), "8", "s"),
        ("dmtx-c40-rect", b"RECTANGULAR 12", "c", "r"),
        ("dmtx-edifact-rect", b"EDI@RECT", "e", "r"),
    ]
    for name, text, encoding, size in cases:
        out.append((name, text) + dmtxwrite(text, encoding, size))
    # zint picks its own encodation mix.
    for i, text in enumerate([b"Hello World 12345 HELLO world", b"lower case text here",
                              b"UPPER CASE C40 TEXT 0987", b"\x01\x02 binary \xfe\xfd"]):
        out.append(("zint-auto-%d" % i, text) + zint_auto(text))
    return out


def zint_auto(message):
    args = ["zint", "-b", "DATAMATRIX", "--square", "--binary", "--dump", "-i", "-"]
    out = subprocess.run(args, input=message, check=True, capture_output=True).stdout.decode()
    rows_hex = [line.replace(" ", "") for line in out.splitlines() if line.strip()]
    n = len(rows_hex)
    rows = ["".join(format(int(ch, 16), "04b") for ch in line)[:n] for line in rows_hex]
    return " ".join(args[:-2]), rows


def main():
    blocks = []
    for name, text, generator, rows in symbols():
        blocks.append("symbol %s\ngenerator %s\ntext %s\nsize %d %d\n%s\nend\n" % (
            name, generator, text.hex(), len(rows), len(rows[0]), "\n".join(rows)))
    with open(OUT, "w") as f:
        f.write("# Generated by tests/data/make_ecc200_fixtures.py; do not edit.\n")
        f.write("".join(blocks))
    print("wrote %d symbols to %s" % (len(blocks), OUT))


if __name__ == "__main__":
    main()
