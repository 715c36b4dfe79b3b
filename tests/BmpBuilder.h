// Bitmap files built byte by byte for the reader, writer and tool tests.
#pragma once

#include <cstdint>
#include <vector>

#include "TestFiles.h"

// One bitmap file: a 14-byte file header, an information header of headerSize bytes (the fields of the
// 40-byte header, then the masks, zero-filled beyond them; a 12-byte core header has 16-bit sides and
// 3-byte palette entries), the masks after a 40-byte header, the palette and the pixel data as given.
struct BmpFile {
    std::int32_t width = 1, height = 1;
    unsigned bitsPerPixel = 24;
    std::uint32_t compression = 0, colorsUsed = 0, headerSize = 40;
    std::vector<std::uint32_t> masks = {};    // bit fields: red, green, blue and alpha, as many as given
    std::vector<std::uint32_t> palette = {};  // entries as 0xXXRRGGBB; the top byte is the reserved byte
    Bytes pixelData = {};                     // stored rows, or a run-length stream

    Bytes Build() const;
};

// Rows of values of 8 to 32 bits (0xRRGGBB colours as blue, green, red bytes at 24 bits) stored one after
// another in the order given, each padded to 32-bit words.
Bytes StoredRows(const std::vector<std::vector<std::uint32_t>>& rows, unsigned bitsPerPixel);
