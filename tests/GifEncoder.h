// GIF files built byte by byte for the tests: an LZW encoder, hand-written code streams, and a builder of
// headers, colour tables, images and extensions.
#pragma once

#include <vector>

#include "TestFiles.h"

namespace giftest {

using Indices = std::vector<std::uint8_t>;

// One code of a hand-written stream and the number of bits it is written with.
struct Code {
    unsigned value, bits;
};
// Packs codes least significant bit first; the last byte is filled up with zero bits.
Bytes PackCodes(const std::vector<Code>& codes);
// The LZW codes of a picture's colour indices (each below 2^minCodeSize), packed: a clear code first, and
// again whenever the table holds 4096 codes; the end code last. Code widths grow as a decoder's table
// does: by one bit when its next free slot reaches 2^width, up to 12 bits.
Bytes LzwEncode(const Indices& indices, unsigned minCodeSize);

struct GifImage {
    unsigned width = 1, height = 1;
    std::vector<std::uint32_t> localTable = {};  // 0xRRGGBB entries, a power of two from 2 to 256; or none
    bool interlaced = false;
    unsigned minCodeSize = 2;
    Bytes data = {};  // the packed codes, cut into sub-blocks when the image is added
};

// A file: "GIF89a", a 1 x 1 screen and the global table; or bytes built before (Continuing).
class GifBuilder {
  public:
    explicit GifBuilder(const std::vector<std::uint32_t>& globalTable = {});
    static GifBuilder Continuing(const Bytes& start);
    GifBuilder& Image(const GifImage& image);
    // An extension of the label with these sub-blocks and the zero count after them.
    GifBuilder& Extension(unsigned label, const std::vector<Bytes>& subBlocks);
    GifBuilder& Raw(const Bytes& bytes);
    GifBuilder& Trailer() { return Raw({0x3B}); }
    const Bytes& Build() const { return bytes_; }

  private:
    Bytes bytes_;
};

}  // namespace giftest
