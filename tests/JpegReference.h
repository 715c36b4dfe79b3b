// JPEG files written with the IJG library, and its decodings of a file, which the reader's pixels must equal.
#pragma once

#include <vector>

#include "TestFiles.h"

// A picture to compress: width x height pixels of `components` interleaved samples, in the library's
// colour space numbering (J_COLOR_SPACE): 0 unknown, 1 grey, 2 RGB, 4 CMYK, 5 YCCK.
struct JpegSource {
    unsigned width = 1, height = 1;
    int components = 3, inputColourSpace = 2;
    int fileColourSpace = -1;  // the colour space stored in the file; -1 keeps the library's choice
    std::vector<std::uint8_t> samples = {};
};

Bytes CompressJpeg(const JpegSource& source);

// The pixels the reader must deliver for a file, from the library's decodings (status not ok when it refuses
// the file): grey samples through a grey ramp; four components scaled by the fourth (also the alpha); other
// colours quantised to 128 by default settings, through the colour map (one of fewer than three rows repeats
// its last), or with fullColour, a YCbCr or RGB file's own full-colour decoding, alpha 255. With rows, a file
// whose data ends early: the decoding of its first rows alone (the frame's height patched), the rows below 0.
// With a reduction of 2, 4 or 8, the library's reduced decoding (sides divided by it, rounded up).
ReadResult ExpectedJpegPixels(const Bytes& file, unsigned rows = 0, bool fullColour = false,
                              unsigned reduction = 1);
// The rows of a picture above its last rows that are wholly zero, which a file whose data ends early leaves;
// 0 when there are none.
unsigned RowsAboveZeroRows(const DWORD* pixels, const CRect& rect);
