// GIF files built byte by byte for the tests: LZW codes and a builder of headers, colour tables and images.
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
// The indices (each below 2^minCodeSize) as packed LZW codes of minCodeSize + 1 bits: one code each, clear
// codes often enough that the width never grows, the end code last (real compression is the corpus's).
Bytes LzwEncode(const Indices& indices, unsigned minCodeSize);

struct GifImage {
    unsigned width = 1, height = 1;
    std::vector<std::uint32_t> localTable = {};  // 0xRRGGBB entries, a power of two from 2 to 256; or none
    bool interlaced = false;
    unsigned minCodeSize = 2;
    Bytes data = {};  // the packed codes, cut into sub-blocks when the image is added
};

// A file: "GIF89a", a 1 x 1 screen and the global table, then what is added.
class GifBuilder {
  public:
    explicit GifBuilder(const std::vector<std::uint32_t>& globalTable = {});
    GifBuilder& Image(const GifImage& image);
    GifBuilder& Raw(const Bytes& bytes);
    GifBuilder& Trailer() { return Raw({0x3B}); }
    const Bytes& Build() const { return bytes_; }

  private:
    Bytes bytes_;
};

}  // namespace giftest
