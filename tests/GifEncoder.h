// GIF files built byte by byte for the tests: an LZW encoder, hand-written code streams, and a builder of
// headers, colour tables, images and extensions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "TestFiles.h"

namespace giftest {

using Indices = std::vector<std::uint8_t>;

// One code of a hand-written stream and the number of bits it is written with.
struct Code {
    unsigned value;
    unsigned bits;
};

// Packs codes least significant bit first; the last byte is filled up with zero bits.
Bytes PackCodes(const std::vector<Code>& codes);

// The LZW codes of a picture's colour indices (each below 2^minCodeSize), packed: a clear code first, the
// end code last. When the table holds 4096 codes the encoder sends a clear code, or with clearWhenFull
// false goes on with the full table. Code widths grow as a decoder's table does: by one bit when its next
// free slot reaches 2^width, up to 12 bits.
Bytes LzwEncode(const Indices& indices, unsigned minCodeSize, bool clearWhenFull = true);

// Data cut into sub-blocks of at most blockBytes bytes, with the zero count after them when terminated.
Bytes SubBlocks(const Bytes& data, size_t blockBytes = 255, bool terminated = true);

struct GifImage {
    unsigned left = 0, top = 0;
    unsigned width = 1, height = 1;
    std::vector<std::uint32_t> localTable;  // 0xRRGGBB entries, 2 to 256 and a power of two; empty: none
    bool interlaced = false;
    unsigned minCodeSize = 2;
    Bytes data;  // the packed codes, cut into sub-blocks when the image is added
};

class GifBuilder {
  public:
    // The header ("GIF87a" or "GIF89a" or anything else) and the logical screen descriptor.
    explicit GifBuilder(const std::vector<std::uint32_t>& globalTable = {},
                        const std::string& signature = "GIF89a", unsigned screenWidth = 1,
                        unsigned screenHeight = 1);

    // Goes on from bytes built before (a header and blocks) without writing a header of its own.
    static GifBuilder Continuing(const Bytes& start);

    GifBuilder& Image(const GifImage& image);
    // An extension of the label with these sub-blocks and the zero count after them.
    GifBuilder& Extension(unsigned label, const std::vector<Bytes>& subBlocks);
    // A graphic control extension naming a transparent index.
    GifBuilder& Transparent(unsigned index);
    GifBuilder& Raw(const Bytes& bytes);
    GifBuilder& Trailer();

    const Bytes& Build() const { return bytes_; }

  private:
    Bytes bytes_;
};

// The indices of a picture given row by row, in the order an interlaced image stores its rows.
Indices InterlacedOrder(const Indices& rowsTopDown, unsigned width, unsigned height);

}  // namespace giftest
