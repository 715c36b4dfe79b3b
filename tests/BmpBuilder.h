// Bitmap files built byte by byte for the reader, writer and tool tests, and the loads that go with them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "TestFiles.h"

// One bitmap file: a 14-byte file header, an information header of headerSize bytes (the fields of the
// 40-byte header, then the masks, zero-filled beyond them; a 12-byte core header has 16-bit sides and
// 3-byte palette entries), the masks after a 40-byte header, the palette, optional filler and the pixel
// data as given.
struct BmpFile {
    std::int32_t width = 1, height = 1;
    unsigned bitsPerPixel = 24;
    std::uint32_t compression = 0, colorsUsed = 0, headerSize = 40;
    std::vector<std::uint32_t> masks = {};         // bit fields: red, green, blue and alpha, as many as given
    std::vector<std::uint32_t> palette = {};       // entries as 0xXXRRGGBB; the top byte is the reserved byte
    Bytes filler = {};                             // bytes between the palette and the pixel data
    Bytes pixelData = {};                          // stored rows, or a run-length stream
    std::optional<std::uint32_t> dataOffset = {};  // default: where the pixel data really starts

    Bytes Build() const;
};

// One stored row of values: palette indices packed from the most significant bits (1, 4, 8 bits), 16-bit
// words, 0xRRGGBB colours as blue, green, red bytes (24 bits) or words (32 bits); padded to 32-bit words.
Bytes StoredRow(const std::vector<std::uint32_t>& values, unsigned bitsPerPixel);
// Stored rows one after another, in the order given.
Bytes StoredRows(const std::vector<std::vector<std::uint32_t>>& rows, unsigned bitsPerPixel);

// The result of a load: the status, the rectangle, and the pixels copied out of the buffer.
struct Decoded {
    KivLoadStatus status = KivLoadStatus::ok;
    bool loaded = false;
    CRect rect;
    std::vector<DWORD> pixels;
    DWORD At(int x, int y) const { return pixels[static_cast<size_t>(y) * rect.Width() + x]; }
};

// Loads a file through KivPictureLoadPicFileEx (for the reason) and checks that KivPictureLoadBMPFile agrees
// and that a failed load leaves the rectangle alone.
Decoded LoadPicture(const std::string& path);

// The pixels of an uncompressed 32-bit bitmap as the BMP writer writes it, top row first; none for others.
std::vector<DWORD> PixelsOfWrittenBmp(const Bytes& file, int& width, int& height);

// A little-endian field of a byte vector.
std::uint32_t FieldLE32(const Bytes& bytes, size_t offset);
unsigned FieldLE16(const Bytes& bytes, size_t offset);
