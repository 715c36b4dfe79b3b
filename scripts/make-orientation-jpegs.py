#!/usr/bin/python3
"""Writes tests/data/jpeg/exif-orientation-N.jpg, N = 1 to 8, with Pillow (python3-pil): the same upright
24 x 16 picture of six flat 8 x 8 blocks, stored turned or mirrored the way EXIF orientation N undoes,
with the orientation tag in an EXIF block, little-endian for odd N and big-endian for even N; 4:4:4 at
quality 100, so a full-colour decode gives each block's colour within a step or two.
Run from the repository root: /usr/bin/python3 scripts/make-orientation-jpegs.py"""
import os

from PIL import Image

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "data", "jpeg")
# Row by row, the blocks' colours as (r, g, b); tests/JpgReaderTest.cpp holds the same table.
BLOCKS = [[(200, 30, 30), (30, 200, 30), (30, 30, 200)],
          [(220, 220, 40), (40, 220, 220), (220, 40, 220)]]
# What turns the upright picture into the one stored with orientation N (the inverse of what N asks for).
STORED = {1: None, 2: Image.Transpose.FLIP_LEFT_RIGHT, 3: Image.Transpose.ROTATE_180,
          4: Image.Transpose.FLIP_TOP_BOTTOM, 5: Image.Transpose.TRANSPOSE, 6: Image.Transpose.ROTATE_90,
          7: Image.Transpose.TRANSVERSE, 8: Image.Transpose.ROTATE_270}

upright = Image.new("RGB", (24, 16))
for y in range(16):
    for x in range(24):
        upright.putpixel((x, y), BLOCKS[y // 8][x // 8])
for n, turn in STORED.items():
    stored = upright.transpose(turn) if turn is not None else upright
    exif = Image.Exif()
    exif.endian = "<" if n % 2 else ">"
    exif[0x0112] = n
    stored.save(os.path.join(OUT, "exif-orientation-%d.jpg" % n), quality=100, subsampling=0, exif=exif)
