#!/usr/bin/env python3
"""Writes the picture bombs of tests/data/hostile (and one of bench/bombs): files of at most 4 KiB whose headers declare about
256 million pixels (under the default pixel limit, so that only the readers' least-data bounds stand
between them and a gigabyte buffer), one per format and layout. Run from the repository root; the JPEG
files need Pillow and, for arithmetic coding, cjpeg (libjpeg-turbo-progs)."""

import io
import os
import struct
import subprocess
import tempfile

from PIL import Image

OUT = "tests/data/hostile"


def write(folder, name, data):
    assert len(data) <= 4096, name
    with open(os.path.join(folder if folder.startswith("bench") else os.path.join(OUT, folder), name), "wb") as f:
        f.write(data)


def bmp(width, height, bits, compression, palette_entries, pixels):
    palette = bytes(4 * palette_entries)
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, compression, 0, 0, 0, palette_entries, 0)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + info + palette + pixels


def tga(width, height, image_type, depth, pixels, map_entries=0):
    colour_map = bytes(3 * map_entries)
    header = struct.pack("<BBBHHBHHHHBB", 0, 1 if map_entries else 0, image_type, 0, map_entries,
                         24 if map_entries else 0, 0, 0, width, height, depth, 0x20)
    return header + colour_map + pixels


def gif(width, height):
    screen = b"GIF89a" + struct.pack("<HHBBB", width, height, 0x80, 0, 0) + bytes(6)
    image = b"," + struct.pack("<HHHHB", 0, 0, width, height, 0)
    data = bytes([2, 2, 0x4C, 0x01, 0])  # minimum code size 2: clear, one pixel, end
    return screen + image + data + b";"


def pcx(width, height):
    header = struct.pack("<BBBBHHHHHH", 10, 5, 1, 8, 0, 0, width - 1, height - 1, 72, 72)
    header += bytes(48) + struct.pack("<BBHH", 0, 3, width, 1) + bytes(58)
    return header + bytes([0xFF, 0x00]) * 512


def psd(width, height, compression):
    header = b"8BPS" + struct.pack(">H6xHIIHH", 1, 3, height, width, 8, 3)
    sections = struct.pack(">III", 0, 0, 0) + struct.pack(">H", compression)
    return header + sections + bytes(2048)


def jpeg(width, height, **options):
    buffer = io.BytesIO()
    Image.new("RGB", (16, 16), (51, 102, 153)).save(buffer, "JPEG", **options)
    return patch_frame(buffer.getvalue(), width, height)


def arithmetic_jpeg(width, height):
    with tempfile.TemporaryDirectory() as folder:
        source = os.path.join(folder, "in.ppm")
        Image.new("RGB", (16, 16), (51, 102, 153)).save(source)
        data = subprocess.run(["cjpeg", "-arithmetic", source], check=True, capture_output=True).stdout
    return patch_frame(data, width, height)


def patch_frame(data, width, height):
    at = 2
    while data[at + 1] not in (0xC0, 0xC1, 0xC2, 0xC9, 0xCA):
        at += 2 + struct.unpack(">H", data[at + 2:at + 4])[0]
    return data[:at + 5] + struct.pack(">HH", height, width) + data[at + 9:]


def main():
    side = 16000  # 256,000,000 pixels: a 1 GB buffer, just under the default limit
    write("bmp", "bomb-rgb24.bmp", bmp(side, side, 24, 0, 0, bytes(64)))
    write("bmp", "bomb-rle8.bmp", bmp(side, side, 8, 1, 2, bytes([0, 1])))
    write("bmp", "bomb-rle4.bmp", bmp(side, side, 4, 2, 2, bytes([0, 1])))
    write("tga", "bomb-rgb24.tga", tga(8000, 32000, 2, 24, bytes(64)))
    write("tga", "bomb-rle32.tga", tga(8000, 32000, 10, 32, bytes([0xFF, 1, 2, 3, 4]) * 16))
    write("tga", "bomb-mapped-rle.tga", tga(8000, 32000, 9, 8, bytes([0xFF, 1]) * 16, map_entries=2))
    write("gif", "bomb-lzw.gif", gif(65535, 3900))
    write("pcx", "bomb-rle.pcx", pcx(side, side))
    write("psd", "bomb-packbits.psd", psd(side, side, 1))
    write("psd", "bomb-raw.psd", psd(side, side, 0))
    write("jpeg", "bomb-baseline.jpg", jpeg(side, side))
    write("jpeg", "bomb-progressive.jpg", jpeg(side, side, progressive=True))
    # Not a bomb the readers can refuse: arithmetic coding lets data end early by convention (encoders drop
    # its trailing zero bytes), so this is a valid picture of one colour, bounded only by the pixel limit.
    write("bench/bombs", "bomb-arithmetic.jpg", arithmetic_jpeg(side, side))


if __name__ == "__main__":
    main()
