#!/usr/bin/python3
"""Writes the four 16 x 16 drive bitmaps of the file panel's drive box into resources/window:
drive-optical.bmp (resource 129), drive-fixed.bmp (130), drive-removable.bmp (131) and
drive-remote.bmp (132), 24-bit, on white, which the panel takes as the transparent colour (so no
drawing uses pure white). Every pixel is computed here from rectangles and distances, so the files
do not depend on a drawing library's rasteriser; Pillow (python3-pil) only writes them.
Run from the repository root: /usr/bin/python3 scripts/make-drive-bitmaps.py"""

import os

from PIL import Image

OUT = "resources/window"
SIZE = 16

WHITE = (255, 255, 255)
OUTLINE = (64, 64, 72)
BODY = (192, 196, 204)
SHADE = (150, 154, 162)
LIGHT = (232, 234, 238)
SLOT = (40, 40, 48)
LED = (40, 190, 60)
CABLE = (40, 120, 200)


def canvas():
    return [[WHITE] * SIZE for _ in range(SIZE)]


def fill(pixels, left, top, right, bottom, colour):
    """Fills the rectangle [left, right] x [top, bottom], both ends included."""
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            pixels[y][x] = colour


def box(pixels, left, top, right, bottom, face):
    """A face with a one-pixel outline and a light top edge."""
    fill(pixels, left, top, right, bottom, OUTLINE)
    fill(pixels, left + 1, top + 1, right - 1, bottom - 1, face)
    fill(pixels, left + 1, top + 1, right - 1, top + 1, LIGHT)


def drive_body(pixels, top):
    """The front of a drive seen from slightly above: a lid, a face and a green light."""
    box(pixels, 1, top, 14, top + 6, BODY)
    fill(pixels, 2, top + 4, 13, top + 5, SHADE)
    fill(pixels, 11, top + 3, 12, top + 3, LED)


def fixed():
    pixels = canvas()
    drive_body(pixels, 5)
    return pixels


def removable():
    # A memory stick: a body with a label and a metal plug to the right.
    pixels = canvas()
    box(pixels, 1, 4, 11, 11, BODY)
    fill(pixels, 3, 6, 8, 9, LIGHT)
    fill(pixels, 3, 9, 8, 9, SHADE)
    fill(pixels, 12, 5, 15, 10, OUTLINE)
    fill(pixels, 12, 6, 14, 9, SHADE)
    fill(pixels, 13, 7, 13, 8, SLOT)
    return pixels


def remote():
    # A drive on a network cable: the drive above, the cable below and across.
    pixels = canvas()
    drive_body(pixels, 1)
    fill(pixels, 7, 8, 8, 11, CABLE)
    fill(pixels, 1, 12, 14, 13, CABLE)
    fill(pixels, 6, 11, 9, 14, OUTLINE)
    fill(pixels, 7, 12, 8, 13, LED)
    return pixels


def optical():
    # A disc: a silver ring with a coloured sheen, an outline and a hole in the middle.
    pixels = canvas()
    centre = 7.5
    sheen = [(230, 120, 200), (120, 170, 240), (150, 220, 160), (240, 210, 120)]
    for y in range(SIZE):
        for x in range(SIZE):
            dx, dy = x - centre, y - centre
            d2 = dx * dx + dy * dy
            if d2 > 7.6 * 7.6 or d2 < 1.0:
                continue  # outside the disc, or its hole
            if d2 > 6.6 * 6.6 or d2 < 2.0 * 2.0:
                pixels[y][x] = OUTLINE
            elif 3.5 * 3.5 < d2 < 5.0 * 5.0:
                pixels[y][x] = sheen[(0 if dx < 0 else 1) + (0 if dy < 0 else 2)]
            else:
                pixels[y][x] = (208, 212, 220)
    return pixels


def save(name, pixels):
    image = Image.new("RGB", (SIZE, SIZE))
    image.putdata([colour for row in pixels for colour in row])
    image.save(os.path.join(OUT, name), format="BMP")


def main():
    save("drive-optical.bmp", optical())
    save("drive-fixed.bmp", fixed())
    save("drive-removable.bmp", removable())
    save("drive-remote.bmp", remote())


if __name__ == "__main__":
    main()
