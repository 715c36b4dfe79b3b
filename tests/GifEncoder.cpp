#include "GifEncoder.h"

namespace giftest {

namespace {

void PutColorTable(Bytes& out, const std::vector<std::uint32_t>& table) {  // red, green, blue bytes
    for (const std::uint32_t rgb : table)
        for (const int shift : {16, 8, 0}) PutU8(out, (rgb >> shift) & 0xFF);
}

// The packed-byte bits of a table: present flag and the exponent n of its 2^(n+1) entries.
unsigned ColorTableBits(const std::vector<std::uint32_t>& table) {
    unsigned n = 0;
    while ((2u << n) < table.size()) ++n;
    return table.empty() ? 0 : 0x80u | n;
}

}  // namespace

Bytes PackCodes(const std::vector<Code>& codes) {
    Bytes out;
    std::uint32_t pending = 0;
    unsigned held = 0;
    for (const Code& code : codes) {
        pending |= (code.value & ((1u << code.bits) - 1)) << held;
        for (held += code.bits; held >= 8; held -= 8, pending >>= 8) PutU8(out, pending & 0xFF);
    }
    if (held > 0) PutU8(out, pending & 0xFF);
    return out;
}

Bytes LzwEncode(const Indices& indices, unsigned minCodeSize) {
    // After a clear code the decoder's next free slot is clear + 2, and every code but the first adds an
    // entry; the width grows when the slot reaches 2 x clear. A clear code every clear - 2 codes keeps it.
    const unsigned clearCode = 1u << minCodeSize, bits = minCodeSize + 1;
    std::vector<Code> codes;
    for (size_t i = 0; i < indices.size(); ++i) {
        if (i % (clearCode - 2) == 0) codes.push_back({clearCode, bits});
        codes.push_back({indices[i], bits});
    }
    codes.push_back({clearCode + 1, bits});
    return PackCodes(codes);
}

GifBuilder::GifBuilder(const std::vector<std::uint32_t>& globalTable) : bytes_{'G', 'I', 'F', '8', '9', 'a'} {
    PutU32(bytes_, 0x00010001);  // a 1 x 1 screen
    PutU8(bytes_, ColorTableBits(globalTable));
    PutU16(bytes_, 0);  // background index and aspect ratio
    PutColorTable(bytes_, globalTable);
}

GifBuilder& GifBuilder::Image(const GifImage& image) {
    PutU8(bytes_, 0x2C);
    for (unsigned field : {0u, 0u, image.width, image.height}) PutU16(bytes_, field);
    PutU8(bytes_, ColorTableBits(image.localTable) | (image.interlaced ? 0x40u : 0u));
    PutColorTable(bytes_, image.localTable);
    PutU8(bytes_, image.minCodeSize);
    for (size_t at = 0; at < image.data.size(); at += 255) {
        const size_t count = std::min<size_t>(255, image.data.size() - at);
        PutU8(bytes_, static_cast<unsigned>(count));
        bytes_.insert(bytes_.end(), image.data.begin() + at, image.data.begin() + at + count);
    }
    return Raw({0});
}

GifBuilder& GifBuilder::Raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

}  // namespace giftest
