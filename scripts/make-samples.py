#!/usr/bin/env python3
"""Writes the bundled sample pictures in samples/ (standard library only, so the pictures are the
project's own). Run from the repository root: python3 scripts/make-samples.py"""
import math
import os
import struct

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "samples")


def bmp(path, width, height, bits, rows, palette=(), compression=0, top_down=False, data=None):
    """rows: stored rows of raw pixel bytes (unpadded); data: ready pixel data (for run-length files)."""
    if data is None:
        stride = (width * bits + 31) // 32 * 4
        data = b"".join(r + bytes(stride - len(r)) for r in rows)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in palette)
    offset = 14 + 40 + len(pal)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, -height if top_down else height, 1, bits, compression,
                       len(data), 2835, 2835, len(palette), 0)
    with open(os.path.join(OUT, path), "wb") as f:
        f.write(header + info + pal + data)


def sunset(x, y, w, h):
    """A smooth sky-and-sun picture, as (r, g, b)."""
    t = y / (h - 1)
    r, g, b = int(255 * (1 - 0.5 * t)), int(120 + 100 * t), int(60 + 180 * t)
    d = math.hypot(x - w * 0.7, y - h * 0.35)
    if d < h * 0.18:
        r, g, b = 255, 220, 90
    return r, g, b


def main():
    os.makedirs(OUT, exist_ok=True)
    w, h = 320, 180
    # 24-bit, bottom-up: stored rows run from the bottom of the picture.
    rows = [bytes(c for x in range(w) for c in reversed(sunset(x, y, w, h))) for y in reversed(range(h))]
    bmp("sunset-24bit.bmp", w, h, 24, rows)

    # 32-bit, top-down.
    rows = [bytes(c for x in range(w) for c in (*reversed(sunset(x, y, w, h)), 255)) for y in range(h)]
    bmp("sunset-32bit-topdown.bmp", w, h, 32, rows, top_down=True)

    # 16-bit 5-5-5.
    def pack555(r, g, b):
        return struct.pack("<H", (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3))
    rows = [b"".join(pack555(*sunset(x, y, w, h)) for x in range(w)) for y in reversed(range(h))]
    bmp("sunset-16bit.bmp", w, h, 16, rows)

    # 8-bit with a 6x6x6 colour cube palette.
    cube = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    def index(r, g, b):
        return (r * 6 // 256) * 36 + (g * 6 // 256) * 6 + (b * 6 // 256)
    rows = [bytes(index(*sunset(x, y, w, h)) for x in range(w)) for y in reversed(range(h))]
    bmp("sunset-8bit-palette.bmp", w, h, 8, rows, palette=cube)

    # 8-bit run-length: horizontal bands of the palette.
    bands = [(35 * i, 255 - 30 * i, 128) for i in range(8)]
    data = bytearray()
    for y in range(h):
        x = 0
        while x < w:
            run = min(255, w - x)
            data += bytes([run, (y * 8 // h + x // 80) % 8])
            x += run
        data += b"\x00\x00"
    data += b"\x00\x01"
    bmp("bands-rle8.bmp", w, h, 8, None, palette=bands, compression=1, data=bytes(data))

    # 1-bit checkerboard.
    rows = []
    for y in reversed(range(64)):
        bits = [((x // 8) + (y // 8)) % 2 for x in range(64)]
        rows.append(bytes(sum(bits[i + k] << (7 - k) for k in range(8)) for i in range(0, 64, 8)))
    bmp("checker-1bit.bmp", 64, 64, 1, rows, palette=[(20, 20, 60), (240, 240, 200)])


if __name__ == "__main__":
    main()
