#!/usr/bin/env python3
"""Draws the background bitmaps of the block fill into data/: tiles of a neutral checker, each square
shaded by a faint vertical gradient so that tiled rows read as a surface rather than a flat grid.
"Gray" is mid grey for dark hosts, "White" near white for light ones; the HD tiles are twice the size
with squares twice as large, so the pattern keeps its look on a high-definition frame. Deterministic:
the same files every run. Run from anywhere: python3 scripts/make-backgrounds.py (needs Pillow)."""
import os

from PIL import Image

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data")

# name: (tile side, square side, light level, dark level)
TILES = {
    "BackGray.bmp": (32, 8, 128, 104),
    "BackWhite.bmp": (32, 8, 255, 230),
    "BackGrayHD.bmp": (64, 16, 128, 104),
    "BackWhiteHD.bmp": (64, 16, 255, 230),
}


def tile(side, square, light, dark):
    picture = Image.new("RGB", (side, side))
    for y in range(side):
        # Up to 6 levels darker towards the bottom of each square; a square count per tile that is even
        # keeps the checker seamless from tile to tile.
        shade = (y % square) * 6 // square
        for x in range(side):
            level = light if (x // square + y // square) % 2 == 0 else dark
            v = max(0, level - shade)
            picture.putpixel((x, y), (v, v, v))
    return picture


def main():
    os.makedirs(OUT, exist_ok=True)
    for name, (side, square, light, dark) in TILES.items():
        assert side % (2 * square) == 0, name
        tile(side, square, light, dark).save(os.path.join(OUT, name), format="BMP")


if __name__ == "__main__":
    main()
