#include "GifEncoder.h"

#include <map>
#include <utility>

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
    const unsigned clearCode = 1u << minCodeSize, firstFree = clearCode + 2;
    std::vector<Code> codes;
    // The decoder's view: its code width, its next free slot, and whether the last code was a clear code
    // (the code after one makes no entry).
    unsigned bits = minCodeSize + 1, slot = firstFree;
    bool afterClear = true;
    const auto send = [&](unsigned code) {
        codes.push_back({code, bits});
        if (code == clearCode) {
            bits = minCodeSize + 1, slot = firstFree, afterClear = true;
        } else if (!std::exchange(afterClear, false)) {
            if (slot < (1u << bits)) ++slot;
            if (slot >= (1u << bits) && bits < 12) ++bits;
        }
    };
    std::map<std::pair<unsigned, std::uint8_t>, unsigned> table;  // (string code, next index) -> code
    unsigned nextCode = firstFree;
    send(clearCode);
    if (!indices.empty()) {
        unsigned string = indices[0];
        for (size_t i = 1; i < indices.size(); ++i) {
            const auto found = table.find({string, indices[i]});
            if (found != table.end()) {
                string = found->second;
                continue;
            }
            send(string);
            if (nextCode < 4096) {
                table[{string, indices[i]}] = nextCode++;
            } else {
                send(clearCode);
                table.clear();
                nextCode = firstFree;
            }
            string = indices[i];
        }
        send(string);
    }
    send(clearCode + 1);
    return PackCodes(codes);
}

GifBuilder::GifBuilder(const std::vector<std::uint32_t>& globalTable) : bytes_{'G', 'I', 'F', '8', '9', 'a'} {
    PutU32(bytes_, 0x00010001);  // a 1 x 1 screen
    PutU8(bytes_, ColorTableBits(globalTable));
    PutU16(bytes_, 0);  // background index and aspect ratio
    PutColorTable(bytes_, globalTable);
}

GifBuilder GifBuilder::Continuing(const Bytes& start) {
    GifBuilder builder;
    builder.bytes_ = start;
    return builder;
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

GifBuilder& GifBuilder::Extension(unsigned label, const std::vector<Bytes>& subBlocks) {
    Raw({0x21, static_cast<std::uint8_t>(label)});
    for (const Bytes& block : subBlocks) Raw({static_cast<std::uint8_t>(block.size())}).Raw(block);
    return Raw({0});
}

GifBuilder& GifBuilder::Raw(const Bytes& bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

}  // namespace giftest
