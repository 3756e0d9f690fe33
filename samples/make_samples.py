#!/usr/bin/env python3
"""Makes the sample frames in samples/: camera-like gray pictures of real ECC 200
symbols from zint and dmtxwrite, in different sizes, encodations and
rotations, some with several symbols, and samples/samples.txt with the lines
kelvrane-read prints for them.

Run from anywhere: python3 samples/make_samples.py [OUTPUT_DIR]
Needs: zint, dmtxwrite (scripts/install-deps.sh installs both). Plain Python:
the frames are rendered and written as PNG here, so the output is the same
on every machine.

The renderer (symbol(), Frame) is also used by tools/peer-bench/make_bench_frames.py.
"""
import math
import os
import random
import struct
import subprocess
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
# The fixture script's dmtxwrite call and PGM reader serve the samples too.
sys.path.insert(0, os.path.join(HERE, "..", "tests", "data"))
import make_ecc200_fixtures  # noqa: E402

# Gray levels of a printed label under even light; the frame's lighting
# gradient and noise come on top.
PAPER = 232
INK = 28
QUIET_MODULES = 2    # light margin printed around each symbol
SUPERSAMPLING = 3    # samples per pixel and axis, for soft camera-like edges


# ------------------------------------------------------------------ symbols

def dmtxwrite(message, encoding="a", size="s"):
    """Module rows (lists of 0/1) from dmtxwrite with a forced encodation."""
    _, rows = make_ecc200_fixtures.dmtxwrite(message, encoding, size)
    return [[int(module) for module in row] for row in rows]


# Widths of zint's rectangular versions 25..30.
RECTANGLE_COLS = {25: 18, 26: 32, 27: 26, 28: 36, 29: 36, 30: 48}


def zint_rows(message, version=None):
    """Module rows from zint's dump; version 1..24 square, 25..30
    rectangular, None for the smallest square that holds the message."""
    args = ["zint", "-b", "DATAMATRIX", "--binary", "--dump", "-i", "-"]
    args.insert(3, "--vers=%d" % version if version else "--square")
    out = subprocess.run(args, input=message, check=True, capture_output=True).stdout.decode()
    rows_hex = [line.replace(" ", "") for line in out.splitlines() if line.strip()]
    cols = RECTANGLE_COLS.get(version, len(rows_hex))
    # Each dumped row is padded to whole hex digits.
    return [[int(bit) for bit in "".join(format(int(ch, 16), "04b") for ch in line)[:cols]]
            for line in rows_hex]


# -------------------------------------------------------------- rendering

def _solve(a, b):
    """Gaussian elimination for a small dense system."""
    n = len(b)
    m = [row[:] + [b[i]] for i, row in enumerate(a)]
    for col in range(n):
        pivot = max(range(col, n), key=lambda r: abs(m[r][col]))
        m[col], m[pivot] = m[pivot], m[col]
        for r in range(n):
            if r != col:
                f = m[r][col] / m[col][col]
                for c in range(col, n + 1):
                    m[r][c] -= f * m[col][c]
    return [m[i][n] / m[i][i] for i in range(n)]


def homography(src, dst):
    """3x3 matrix (row-major list of 9) taking the four src points to dst."""
    a, b = [], []
    for (x, y), (u, v) in zip(src, dst):
        a.append([x, y, 1, 0, 0, 0, -u * x, -u * y]); b.append(u)
        a.append([0, 0, 0, x, y, 1, -v * x, -v * y]); b.append(v)
    h = _solve(a, b)
    return h + [1.0]


class Frame:
    """A gray camera-like frame: lighting gradient, symbols, then noise."""

    def __init__(self, width, height, seed, light=(190, 225), noise=0.0):
        self.width, self.height = width, height
        self.rng = random.Random(seed)
        self.noise = noise
        lo, hi = light
        # Light falls off from the top-left corner, as under a desk lamp.
        self.gain = [[1.0] * width for _ in range(height)]
        self.pixels = bytearray(width * height)
        diag = math.hypot(width, height)
        for y in range(height):
            row = y * width
            for x in range(width):
                t = math.hypot(x, y) / diag
                self.pixels[row + x] = int(hi - (hi - lo) * t)
        self.truth = []  # (text bytes, corner points) per symbol

    def background_at(self, x, y):
        return self.pixels[y * self.width + x]

    def add_box(self, x0, y0, x1, y1, level):
        """Clutter: a plain filled rectangle."""
        for y in range(max(0, y0), min(self.height, y1)):
            for x in range(max(0, x0), min(self.width, x1)):
                self.pixels[y * self.width + x] = level

    def add_symbol(self, text, rows, centre, module, angle_deg, tilt=0.0):
        """Prints a symbol of module rows with its centre at centre, module
        pixels per module, turned by angle_deg (counter-clockwise on screen)
        and with tilt giving a perspective view (0: none; 0.1: the far side
        10 % shorter)."""
        nrows, ncols = len(rows), len(rows[0])
        q = QUIET_MODULES
        # Corners of the printed label (quiet zone included) in module units.
        src = [(-q, -q), (ncols + q, -q), (ncols + q, nrows + q), (-q, nrows + q)]
        cx, cy = centre
        a = math.radians(angle_deg)
        ca, sa = math.cos(a), math.sin(a)
        dst = []
        for i, (u, v) in enumerate(src):
            du = (u - ncols / 2.0) * module
            dv = (v - nrows / 2.0) * module
            if tilt and i < 2:  # the top edge is farther away
                du *= 1.0 - tilt
            dst.append((cx + du * ca + dv * sa, cy - du * sa + dv * ca))
        to_modules = homography(dst, src)
        to_pixels = homography(src, dst)

        def project(h, x, y):
            w = h[6] * x + h[7] * y + h[8]
            return (h[0] * x + h[1] * y + h[2]) / w, (h[3] * x + h[4] * y + h[5]) / w

        x0 = max(0, int(min(p[0] for p in dst)) - 1)
        x1 = min(self.width, int(max(p[0] for p in dst)) + 2)
        y0 = max(0, int(min(p[1] for p in dst)) - 1)
        y1 = min(self.height, int(max(p[1] for p in dst)) + 2)
        n = SUPERSAMPLING
        offsets = [(i + 0.5) / n for i in range(n)]
        h = to_modules
        for y in range(y0, y1):
            for x in range(x0, x1):
                covered = dark = 0
                for oy in offsets:
                    for ox in offsets:
                        px, py = x + ox, y + oy
                        w = h[6] * px + h[7] * py + h[8]
                        u = (h[0] * px + h[1] * py + h[2]) / w
                        v = (h[3] * px + h[4] * py + h[5]) / w
                        if -q <= u < ncols + q and -q <= v < nrows + q:
                            covered += 1
                            if 0 <= u < ncols and 0 <= v < nrows and rows[int(v)][int(u)]:
                                dark += 1
                if not covered:
                    continue
                index = y * self.width + x
                light = self.pixels[index] / 225.0  # the frame's lighting
                ink = INK * light + (PAPER - INK) * light * (covered - dark) / covered
                # Blend the label's edge with what lies behind it.
                self.pixels[index] = int(round(
                    (ink * covered + self.pixels[index] * (n * n - covered)) / (n * n)))
        # The symbol's own corners (without quiet zone), top-left first.
        corners = [project(to_pixels, u, v) for u, v in
                   [(0, 0), (ncols, 0), (ncols, nrows), (0, nrows)]]
        self.truth.append((text, corners))

    def finish(self):
        """Adds sensor noise (once, after everything is drawn)."""
        if self.noise <= 0:
            return
        g = self.rng.gauss
        s = self.noise
        for i in range(len(self.pixels)):
            self.pixels[i] = min(255, max(0, int(round(self.pixels[i] + g(0, s)))))

    def write_png(self, path):
        write_gray_png(path, self.width, self.height, self.pixels)


def write_gray_png(path, width, height, pixels):
    """8-bit gray PNG; each row takes the filter (none, sub, up) that leaves
    the smallest residuals, which keeps smooth frames small."""
    raw = bytearray()
    previous = bytes(width)
    for y in range(height):
        row = pixels[y * width:(y + 1) * width]
        sub = bytes((row[x] - (row[x - 1] if x else 0)) & 255 for x in range(width))
        up = bytes((row[x] - previous[x]) & 255 for x in range(width))

        def cost(data):
            return sum(b if b < 128 else 256 - b for b in data)
        best = min(((0, bytes(row)), (1, sub), (2, up)), key=lambda fc: cost(fc[1]))
        raw.append(best[0])
        raw += best[1]
        previous = bytes(row)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xffffffff))
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 0, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def escape_text(data):
    """The TEXT column of kelvrane-read."""
    out = []
    for b in data:
        if b == 0x5c:
            out.append("\\\\")
        elif b == 0x0a:
            out.append("\\n")
        elif b == 0x0d:
            out.append("\\r")
        elif b == 0x09:
            out.append("\\t")
        elif 0x20 <= b <= 0x7e:
            out.append(chr(b))
        else:
            out.append("\\x%02X" % b)
    return "".join(out)


# ---------------------------------------------------------------- samples

def samples():
    """(file name, Frame) of every sample frame."""
    out = []

    f = Frame(640, 480, seed=1)
    text = b"Kelvrane sample 1: ASCII, upright"
    f.add_symbol(text, dmtxwrite(text, "a"), (320, 240), 6, 0)
    out.append(("01-ascii-upright.png", f))

    f = Frame(640, 480, seed=2)
    text = b"C40 LABEL 2026-12-11 LOT 4711"
    f.add_symbol(text, dmtxwrite(text, "c"), (300, 250), 5, 27)
    out.append(("02-c40-turned.png", f))

    f = Frame(640, 480, seed=3)
    t1 = b"text mode: lower case words"
    t2 = b"EDIFACT @ ROW 7 [BIN 12]"
    f.add_symbol(t1, dmtxwrite(t1, "t"), (180, 220), 5, -12)
    f.add_symbol(t2, dmtxwrite(t2, "e"), (470, 270), 5, 75)
    out.append(("03-text-and-edifact.png", f))

    f = Frame(640, 480, seed=4)
    t1 = b"caf\xe9 \\ back\tslash"
    t2 = b"X12*PART>0042\rLINE 2"
    f.add_symbol(t1, dmtxwrite(t1, "8"), (190, 250), 6, 180)
    f.add_symbol(t2, dmtxwrite(t2, "x"), (460, 230), 6, 90)
    out.append(("04-base256-and-x12.png", f))

    f = Frame(640, 480, seed=5)
    t1 = b"RECT 12X36 ZINT"
    t2 = b"zint 32x32 seen at a slant, 1234567890 and more text to fill it"
    f.add_symbol(t1, zint_rows(t1, version=28), (320, 130), 5, 3)
    f.add_symbol(t2, zint_rows(t2, version=10), (320, 330), 5, -20, tilt=0.08)
    out.append(("05-rectangle-and-slant.png", f))

    f = Frame(640, 480, seed=6)
    t1 = b"10x10"
    t2 = b"a 24x24 symbol from zint"
    t3 = b"three sizes in one frame: 10x10, 24x24 and 40x40 (zint, auto)"
    f.add_symbol(t1, zint_rows(t1, version=1), (100, 390), 8, 200)
    f.add_symbol(t2, zint_rows(t2, version=8), (270, 300), 5, 315)
    f.add_symbol(t3, zint_rows(t3, version=12), (480, 260), 4, 10)
    out.append(("06-three-sizes.png", f))
    return out


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else HERE
    os.makedirs(out_dir, exist_ok=True)
    lines = ["# Generated by samples/make_samples.py; do not edit.",
             "# The lines kelvrane-read prints for these frames (any order)."]
    for name, frame in samples():
        frame.finish()
        frame.write_png(os.path.join(out_dir, name))
        for text, _ in frame.truth:
            lines.append("%s\t%s" % (name, escape_text(text)))
        print("wrote", os.path.join(out_dir, name))
    with open(os.path.join(out_dir, "samples.txt"), "w") as f:
        f.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    main()
