#!/usr/bin/env python3
"""Writes the bundled sample pictures in samples/ (standard library only, so the pictures are the
project's own; the two JPEG samples are test pictures of other projects, listed in samples/ATTRIBUTION.tsv).
Run from the repository root: python3 scripts/make-samples.py"""
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


def tga(path, w, h, pixels_bgra, depth=24, rle=False, origin=(0, 0)):
    """pixels_bgra: rows top to bottom of (b, g, r, a); stored top-down (descriptor bit 5)."""
    step = depth // 8
    rows = [b"".join(bytes(p[:step]) for p in row) for row in pixels_bgra]
    if rle:
        data = bytearray()
        for row in rows:
            x = 0
            while x < w:
                run = 1
                while x + run < w and run < 128 and row[(x + run) * step:(x + run + 1) * step] == row[x * step:(x + 1) * step]:
                    run += 1
                data += bytes([0x80 | (run - 1)]) + row[x * step:(x + 1) * step]
                x += run
    else:
        data = b"".join(rows)
    header = struct.pack("<BBBHHBHHHHBB", 0, 0, 10 if rle else 2, 0, 0, 0, origin[0], origin[1], w, h, depth,
                         0x20 | (8 if depth == 32 else 0))
    with open(os.path.join(OUT, path), "wb") as f:
        f.write(header + bytes(data))


def pcx24(path, w, h, rgb_rows):
    def encode(line):
        out, i = bytearray(), 0
        while i < len(line):
            run = 1
            while i + run < len(line) and run < 63 and line[i + run] == line[i]:
                run += 1
            if run > 1 or line[i] >= 0xC0:
                out.append(0xC0 | run)
            out.append(line[i])
            i += run
        return bytes(out)
    line_bytes = w + (w & 1)
    header = bytearray(128)
    header[0:4] = bytes([10, 5, 1, 8])
    struct.pack_into("<HHHHHH", header, 4, 0, 0, w - 1, h - 1, 72, 72)
    header[65] = 3
    struct.pack_into("<HH", header, 66, line_bytes, 1)
    data = bytearray()
    for row in rgb_rows:
        for channel in range(3):
            data += encode(bytes(p[channel] for p in row) + bytes(line_bytes - w))
    with open(os.path.join(OUT, path), "wb") as f:
        f.write(bytes(header) + bytes(data))


def psd_rgb(path, w, h, rgb_rows):
    """Raw (uncompressed) RGB, 8 bits per channel, no layers."""
    header = b"8BPS" + struct.pack(">H6xHIIHH", 1, 3, h, w, 8, 3)
    planes = b"".join(bytes(row[x][c] for row in rgb_rows for x in range(w)) for c in range(3))
    with open(os.path.join(OUT, path), "wb") as f:
        f.write(header + struct.pack(">III", 0, 0, 0) + struct.pack(">H", 0) + planes)


def lzw(indices, min_code_size):
    """GIF LZW: a clear code, then codes, growing the code size as the table fills; reset when full."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    out, bits, nbits = bytearray(), 0, 0
    size = min_code_size + 1

    def emit(code):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8

    table = {(i,): i for i in range(clear)}
    next_code = end + 1
    emit(clear)
    current = ()
    for index in indices:
        candidate = current + (index,)
        if candidate in table:
            current = candidate
            continue
        emit(table[current])
        if next_code < 4096:
            table[candidate] = next_code
            next_code += 1
            if next_code > (1 << size) and size < 12:
                size += 1
        else:
            emit(clear)
            table = {(i,): i for i in range(clear)}
            next_code, size = end + 1, min_code_size + 1
        current = (index,)
    emit(table[current])
    emit(end)
    if nbits:
        out.append(bits & 0xFF)
    return bytes(out)


def gif(path, w, h, palette, indices, interlaced=False):
    rows = [indices[y * w:(y + 1) * w] for y in range(h)]
    if interlaced:
        order = list(range(0, h, 8)) + list(range(4, h, 8)) + list(range(2, h, 4)) + list(range(1, h, 2))
        rows = [rows[y] for y in order]
    data = lzw([i for row in rows for i in row], 8)
    blocks = b"".join(bytes([len(data[i:i + 255])]) + data[i:i + 255] for i in range(0, len(data), 255))
    table = b"".join(bytes(c) for c in palette) + bytes(3 * (256 - len(palette)))
    out = b"GIF89a" + struct.pack("<HHBBB", w, h, 0xF7, 0, 0) + table
    out += b"," + struct.pack("<HHHHB", 0, 0, w, h, 0x40 if interlaced else 0) + bytes([8]) + blocks + b"\x00;"
    with open(os.path.join(OUT, path), "wb") as f:
        f.write(out)


def more_formats():
    w, h = 320, 180
    rgb = [[sunset(x, y, w, h) for x in range(w)] for y in range(h)]
    bgra = [[(b, g, r, 255) for (r, g, b) in row] for row in rgb]
    tga("sunset-24bit-rle.tga", w, h, bgra, rle=True, origin=(16, 8))
    # 32-bit with alpha fading from left to right.
    fading = [[(b, g, r, x * 255 // (w - 1)) for x, (b, g, r, _) in enumerate(row)] for row in bgra]
    tga("sunset-32bit-alpha.tga", w, h, fading, depth=32)
    pcx24("sunset-24bit.pcx", w, h, rgb)
    psd_rgb("sunset-rgb.psd", w, h, rgb)
    cube = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    indices = [(r * 6 // 256) * 36 + (g * 6 // 256) * 6 + (b * 6 // 256) for row in rgb for (r, g, b) in row]
    gif("sunset.gif", w, h, cube, indices)
    gif("sunset-interlaced.gif", w, h, cube, indices, interlaced=True)


if __name__ == "__main__":
    main()
    more_formats()
