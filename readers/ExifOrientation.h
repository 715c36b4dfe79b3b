// The EXIF orientation of a picture (tag 0x0112 of the first image file directory of an "Exif" APP1
// segment), and the turn or mirror that makes a decoded picture upright by it. Values, as the tag names
// them: 1 upright, 2 mirrored left to right, 3 turned half round, 4 mirrored top to bottom, 5 transposed
// (mirrored about the top-left diagonal), 6 to be turned a quarter clockwise, 7 transversed (mirrored
// about the top-right diagonal), 8 to be turned a quarter anticlockwise.
#pragma once

#include <cstddef>

#include "readers/PixelBuffer.h"

constexpr int kUpright = 1;

// The orientation an APP1 segment's data (after its length field) states: kUpright when the segment is no
// EXIF block, or when it is cut short, names no orientation or one outside 1 to 8. Reads only inside
// data[0, size).
int ExifOrientation(const BYTE* data, size_t size);

// Orientations 5 to 8 swap the picture's width and height.
constexpr bool OrientationSwapsSides(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

// Makes a decoded picture upright: a new buffer of the same pixels, its sides swapped for 5 to 8, and its
// rectangle to match. Orientation 1 and values outside 1 to 8 leave it as it is. outOfMemory when the new
// buffer cannot be had (the picture is then unchanged).
KivLoadStatus MakeUpright(DecodedPicture& picture, int orientation);
