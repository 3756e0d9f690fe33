#!/usr/bin/env python3
"""Makes peer-bench's frames and their manifest in OUTPUT_DIR:
  live    640 x 480, one 20 x 20 symbol at about 5 pixels per module, as a
          camera at a desk sees a label (light gradient, clutter, noise)
  empty   640 x 480, the same scene without a symbol
  ten     1280 x 720, ten symbols of several sizes and turns
  samples the committed frames in samples/ with their texts
The frames are made anew on each run and not committed (the noise makes them
large). Run: python3 tools/peer-bench/make_bench_frames.py OUTPUT_DIR
"""
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "samples"))
import make_samples as render  # noqa: E402

SENSOR_NOISE = 2.5  # standard deviation, gray levels


def desk_clutter(frame, boxes):
    for x0, y0, x1, y1, level in boxes:
        frame.add_box(x0, y0, x1, y1, level)


CLUTTER_640 = [(20, 330, 180, 470, 120), (470, 20, 620, 90, 90), (540, 300, 600, 460, 160)]


def live():
    f = render.Frame(640, 480, seed=101, noise=SENSOR_NOISE)
    desk_clutter(f, CLUTTER_640)
    text = b"KELVRANE LIVE 20x20 #1"
    f.add_symbol(text, render.zint_rows(text, version=6), (330, 230), 5, 8)
    return f


def empty():
    f = render.Frame(640, 480, seed=102, noise=SENSOR_NOISE)
    desk_clutter(f, CLUTTER_640)
    return f


def ten():
    f = render.Frame(1280, 720, seed=103, noise=SENSOR_NOISE)
    layout = [  # text, zint version (size), centre, pixels per module, turn
        (b"T1-42", 2, (120, 120), 6, 5),                                       # 12x12
        (b"ten-2 label", 4, (380, 130), 5, -15),                               # 16x16
        (b"TEN-3 C40 TEXT 0042", 5, (650, 140), 5, 30),                        # 18x18
        (b"ten-4 label 2026-12-11", 6, (930, 130), 5, 180),                    # 20x20
        (b"ten-5 at 90 degrees", 6, (1160, 180), 5, 90),                       # 20x20
        (b"ten-6 22x22 symbol with text", 7, (150, 450), 4, 45),               # 22x22
        (b"ten-7 24x24 symbol, 1234567890123456", 8, (430, 470), 4, -30),      # 24x24
        (b"R-8", 25, (680, 400), 6, 0),                                        # 8x18
        (b"ten-9 12x36 rectangle", 28, (900, 560), 5, 12),                     # 12x36
        (b"ten-10 26x26 symbol and text to fill it up", 9, (1120, 520), 4, 200),  # 26x26
    ]
    for text, version, centre, module, angle in layout:
        f.add_symbol(text, render.zint_rows(text, version=version), centre, module, angle)
    return f


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_bench_frames.py OUTPUT_DIR")
    out = os.path.abspath(sys.argv[1])
    os.makedirs(out, exist_ok=True)
    lines = []
    for name, make in (("live", live), ("empty", empty), ("ten", ten)):
        frame = make()
        frame.finish()
        path = os.path.join(out, name + ".png")
        frame.write_png(path)
        lines.append("\t".join([name, path] + [t.hex() for t, _ in frame.truth]))
    samples_dir = os.path.join(ROOT, "samples")
    expected = {}
    with open(os.path.join(samples_dir, "samples.txt")) as f:
        for line in f:
            if line.startswith("#") or not line.strip():
                continue
            file, _ = line.rstrip("\n").split("\t", 1)
            expected.setdefault(file, [])
    # The manifest needs raw bytes; samples.txt holds the escaped form, so the
    # texts come from the renderer's own record of each sample.
    for name, frame in render.samples():
        assert name in expected, name
        lines.append("\t".join(["samples", os.path.join(samples_dir, name)] +
                               [t.hex() for t, _ in frame.truth]))
    with open(os.path.join(out, "frames.txt"), "w") as f:
        f.write("# SET<TAB>FILE<TAB>HEX TEXT per symbol; made by make_bench_frames.py\n")
        f.write("\n".join(lines) + "\n")
    print("wrote %d frames and %s" % (len(lines), os.path.join(out, "frames.txt")))


if __name__ == "__main__":
    main()
