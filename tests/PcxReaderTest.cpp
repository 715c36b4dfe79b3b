// The PCX reader on files built byte by byte, for what the corpus (ReaderCorpusTest) does not show: line
// padding, runs across rows, short palettes, the 2-bit and two-plane layouts, and the refusals.

#include <type_traits>

#include "TestFiles.h"
#include "readers/Readers.h"

namespace {

using S = KivLoadStatus;
constexpr DWORD k0 = 0xFF102030, k1 = 0xFFA0B0C0, kBlack = 0xFF000000;  // header palette entries 0 and 1

// A PCX file: the header fields the reader looks at (entries 0 and 1 of the header palette are k0 and k1,
// entry i > 1 is grey i), then the coded data.
Bytes Pcx(unsigned bits, unsigned planes, unsigned width, unsigned height, unsigned bytesPerLine, Bytes data,
          unsigned version = 5, unsigned xMin = 0) {
    Bytes out{10, static_cast<std::uint8_t>(version), 1, static_cast<std::uint8_t>(bits)};
    for (unsigned field : {xMin, 0u, xMin + width - 1, height - 1, 72u, 72u}) PutU16(out, field);
    for (unsigned i = 0; i < 16; ++i)
        for (int shift : {16, 8, 0}) PutU8(out, ((i > 1 ? i * 0x010101u : i ? k1 : k0) >> shift) & 0xFF);
    out.insert(out.end(), {0, static_cast<std::uint8_t>(planes)});
    PutU16(out, bytesPerLine);
    out.resize(128);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}
// Coded data, the palette marker and a 256-colour palette whose entry i is P(i).
constexpr DWORD P(unsigned i) {
    return 0xFF000000u | i << 16 | (255 - i) << 8 | 7;
}
Bytes WithPalette(Bytes data, unsigned entries = 256) {
    data.push_back(12);
    for (unsigned i = 0; i < entries; ++i)
        data.insert(data.end(), {Bytes::value_type(i), Bytes::value_type(~i), 7});
    return data;
}

template <class T>
std::vector<T> Plus(std::vector<T> head, const std::type_identity_t<std::vector<T>>& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

TEST(PcxReader, FilesBuiltByteByByte) {
    const Bytes rgb = {1, 2, 3, 4, 5, 6};  // a 2 x 1 24-bit row: red, green and blue lines
    const DWORD g2 = 0xFF020202, g3 = 0xFF030303, g4 = 0xFF040404, g5 = 0xFF050505, g6 = 0xFF060606;  // grey
    const auto bits = [](const char* row) {  // a 1-bit row, '1' for entry 1
        std::vector<DWORD> pixels;
        for (; *row; ++row) pixels.push_back(*row == '1' ? k1 : k0);
        return pixels;
    };
    const std::vector<FileCase> cases = {
        // clang-format off
        {"byte C0 is a literal", Pcx(8, 3, 1, 1, 1, {0xC0, 5, 6}), S::ok, 1, 1, {0xFFC00506}},
        {"8 bits, an odd width in a line padded to even: the pad byte is skipped",
         Pcx(8, 1, 3, 2, 4, WithPalette({0, 1, 2, 99, 3, 4, 5, 99})), S::ok, 3, 2,
         {P(0), P(1), P(2), P(3), P(4), P(5)}},
        {"entries a short palette lacks are black", Pcx(8, 1, 2, 1, 2, WithPalette({0, 1}, 1)), S::ok, 2, 1,
         {P(0), kBlack}},
        {"1 bit: lines padded to an even length are skipped, not read as the next row",
         Pcx(1, 1, 8, 2, 2, {0xC1, 0xF0, 0xC1, 0xFF, 0x0F, 0xC1, 0xFF}), S::ok, 8, 2,
         bits("1111000000001111")},
        {"4 bits, width 3: the high nibble first; each row's fourth nibble skipped",
         Pcx(4, 1, 3, 2, 2, {0x12, 0x3F, 0x45, 0x6F}), S::ok, 3, 2, {k1, g2, g3, g4, g5, g6}},
        {"2 bits (CGA): the header palette's first four entries",
         Pcx(2, 1, 5, 1, 2, {0x1B, 0x40}), S::ok, 5, 1, {k0, k1, g2, g3, k1}},
        {"two 1-bit planes: plane 1 gives the index's high bit", Pcx(1, 2, 4, 1, 2, {0x50, 0, 0x30, 0}),
         S::ok, 4, 1, {k0, k1, g2, g3}},
        {"a run crossing a row's end is written whole; the next row counts after it",
         Pcx(1, 1, 16, 2, 2, {0xC3, 0xFF, 0x00, 0x00}), S::ok, 16, 2,
         bits("11111111111111111111111100000000")},
        {"version 3", Pcx(8, 3, 2, 1, 2, rgb, 3), S::unsupportedVariant},
        {"a 1-bit line too short for its row", Pcx(1, 1, 16, 1, 1, {0}), S::corrupt},
        {"a 24-bit line too short for its row", Pcx(8, 3, 2, 1, 1, rgb), S::corrupt},
        {"2 bits in two planes, which other readers do not agree on", Pcx(2, 2, 2, 1, 2, rgb),
         S::unsupportedVariant},
        {"the last x below the first", Pcx(8, 3, 0, 1, 2, rgb, 5, 3), S::corrupt},
        {"coded data ending in the last row", Pcx(8, 3, 2, 1, 2, {1, 2, 3, 4, 5}), S::truncated},
        {"a run past the end of the plane buffer", Pcx(8, 3, 2, 1, 2, {1, 2, 3, 4, 5, 0xC5, 6}), S::corrupt},
        {"8 bits without the palette marker", Pcx(8, 1, 2, 1, 2, {1, 2, 13, 0, 0, 0}), S::corrupt},
        {"8 bits whose data ends where the marker should be", Pcx(8, 1, 2, 1, 2, {1, 2}), S::truncated},
        {"a file shorter than the header", Bytes(127, 10), S::truncated},
        // Sixteen or more coded bytes at hand (a palette or unused bytes follow): sixteen-byte steps.
        {"a run of 63 and a literal, sixteen bytes at hand", Pcx(8, 1, 64, 1, 64, WithPalette({0xFF, 9, 10})),
         S::ok, 64, 1, Plus(std::vector<DWORD>(63, P(9)), {P(10)})},
        {"a run across a row's end, sixteen bytes at hand (the last fourteen unused)",
         Pcx(1, 1, 16, 2, 2, Plus(Bytes{0xC3, 0xFF}, Bytes(16))), S::ok, 16, 2,
         bits("11111111111111111111111100000000")},
        {"a literal past the plane buffer after a run across rows",
         Pcx(8, 1, 2, 2, 2, WithPalette({0xC3, 5})), S::corrupt},
        {"a run code as the sixteenth and last coded byte",
         Pcx(8, 3, 16, 1, 16, Plus(Bytes(15, 1), Bytes{0xC5})), S::truncated},
        {"65536 x 16385 pixels need more than 32 bits of bytes",
         Pcx(1, 1, 0x10000, 16385, 0x2000, Bytes((0x2000 * 16385 / 63 + 1) * 2, 0xFF)), S::tooLarge},
        // clang-format on
    };
    ExpectCases(cases, {ReadPcxFile, KivPictureLoadPCXFile});
}

}  // namespace
