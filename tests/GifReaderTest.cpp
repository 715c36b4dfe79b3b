// The GIF reader on files built byte by byte, for what the corpus (ReaderCorpusTest) does not show: colour
// tables across images, interlaced rows of every height, hand-written LZW codes, where the block walk ends,
// and the refusals.

#include "GifEncoder.h"
#include "readers/Readers.h"

using namespace giftest;

namespace {

using S = KivLoadStatus;
constexpr DWORD kBlack = 0xFF000000, n = 0;  // n: a pixel no row delivery wrote

// Sixteen distinct colours, entry i read back as C(i).
constexpr DWORD C(unsigned i) {
    return 0xFF000000u | (i * 0x100000u + 0x0800u + (0xF0u - i * 0x0Fu));
}
GifBuilder G(std::vector<std::uint32_t> table = {}) {
    for (unsigned i = table.empty() ? 0 : 16; i < 16; ++i) table.push_back(C(i) & 0xFFFFFF);
    return GifBuilder(table);
}
GifImage Image(unsigned width, unsigned height, const Indices& indices, unsigned minCodeSize = 4) {
    return {width, height, {}, false, minCodeSize, LzwEncode(indices, minCodeSize)};
}
// A file of one image of hand-written codes; of minimum code size 2: clear 4, end 5, first free code 6, and
// 3-bit codes until the decoder's table reaches code 8, then 4 bits.
Bytes Coded(unsigned width, unsigned height, const std::vector<Code>& codes, unsigned minCodeSize = 2,
            const std::vector<std::uint32_t>& table = {}) {
    return G(table).Image({width, height, {}, false, minCodeSize, PackCodes(codes)}).Trailer().Build();
}

TEST(GifReader, FilesBuiltByteByByte) {
    const GifImage first = Image(2, 1, {1, 2}), third = Image(1, 1, {3}), good = Image(2, 2, {0, 1, 2, 3});
    GifImage local = first, huge = good, endEarly = first, withLocal = good, codeSize12 = good;
    local.localTable = {0x0000FF, 0x00FF00};
    huge.width = huge.height = 65535;
    endEarly.data.resize(255 + 10, 0x55);
    withLocal.localTable = std::vector<std::uint32_t>(16);
    codeSize12.minCodeSize = 12;
    const Bytes afterFirst = G().Image(first).Build(), header = G().Build();  // the header: 61 bytes
    const Bytes big = G().Image(Image(64, 64, Indices(4096, 1))).Build();
    // The first image, these bytes, then an image of pixel C(3).
    const auto then = [&](const Bytes& more) {
        return G().Image(first).Raw(more).Image(third).Trailer().Build();
    };
    std::vector<std::uint32_t> wide(256);
    wide[0] = 0x0A0B0C, wide[255] = 0xF0E0D0;
    const std::vector<DWORD> c12 = {C(1), C(2)};  // the first image's pixels
    std::vector<FileCase> cases = {
        // clang-format off
        {"a local table overrides the global one; an index past it is black", G().Image(local).Build(), S::ok,
         2, 1, {0xFF00FF00, kBlack}},
        {"an image without a local table takes the global one, not the local one of the image before",
         G().Image(local).Image(first).Build(), S::ok, 2, 1, c12},
        {"no table at all: opaque black; the first image's table is not borrowed",
         GifBuilder().Image(local).Image(first).Build(), S::ok, 2, 1, {kBlack, kBlack}},
        {"a code equal to the next free slot is the old string and its own first index",
         Coded(7, 1, {{4, 3}, {1, 3}, {2, 3}, {6, 3}, {8, 4}, {5, 4}}), S::ok, 7, 1,
         {C(1), C(2), C(1), C(2), C(1), C(2), C(1)}},
        {"a code past the next free slot is taken like the next free slot",
         Coded(3, 1, {{4, 3}, {1, 3}, {7, 3}, {5, 3}}), S::ok, 3, 1, {C(1), C(1), C(1)}},
        {"after a clear code (repeated ones are skipped), a code at or past the next free slot is index 0",
         Coded(1, 1, {{4, 3}, {4, 3}, {7, 3}, {5, 3}}), S::ok, 1, 1, {C(0)}},
        {"a clear code brings the code width back to 3 bits",
         Coded(5, 1, {{4, 3}, {1, 3}, {2, 3}, {6, 3}, {4, 4}, {3, 3}, {5, 3}}), S::ok, 5, 1,
         {C(1), C(2), C(1), C(2), C(3)}},
        {"without a clear code first, the first code makes no entry: code 6 is then 1, 2",
         Coded(4, 1, {{1, 3}, {2, 3}, {6, 3}, {5, 4}}), S::ok, 4, 1, {C(1), C(2), C(1), C(2)}},
        {"data ending without an end code keeps the rows it completed",
         Coded(3, 2, {{4, 3}, {1, 3}, {2, 3}, {1, 3}, {3, 4}}), S::ok, 3, 2, {C(1), C(2), C(1), n, n, n}},
        {"code 7 past the free slot, then code 1, make entry 7 its own prefix: unwinding it stops",
         Coded(4, 4, {{4, 3}, {0, 3}, {7, 3}, {1, 3}, {7, 4}, {5, 4}}), S::corrupt},
        {"minimum code size 1: clear 2, end 3; the code after the first is 3 bits wide",
         Coded(4, 1, {{2, 2}, {1, 2}, {0, 3}, {4, 3}, {3, 3}}, 1), S::ok, 4, 1, {C(1), C(0), C(1), C(0)}},
        {"codes after the last row are not read: a table made cyclic there fails nothing",
         Coded(1, 1, {{4, 3}, {0, 3}, {7, 3}, {1, 3}, {7, 4}, {5, 4}}), S::ok, 1, 1, {C(0)}},
        {"minimum code size 9: root codes 511 and 256 are indices 255 and 0",
         Coded(2, 1, {{512, 10}, {511, 10}, {256, 10}, {513, 10}}, 9, wide), S::ok, 2, 1,
         {0xFFF0E0D0, 0xFF0A0B0C}},
        {"bytes after the trailer are not read", then({0x3B}), S::ok, 2, 1, c12},
        {"an unknown introducer ends the walk", then({0x00}), S::ok, 2, 1, c12},
        {"a graphic control block of 3 bytes ends the walk (read on, the image after it would follow)",
         then({0x21, 0xF9, 3, 0, 0, 0, 0, 0}), S::ok, 2, 1, c12},
        {"the file ends inside an extension", G().Image(first).Raw({0x21, 0xFE, 9, 9}).Build(), S::ok,
         2, 1, c12},
        {"the file ends after the end code, before the zero count", Head(afterFirst, -1),
         S::ok, 2, 1, c12},
        {"after the end code the data is skipped up to its zero count, and the next image read",
         G().Image(endEarly).Image(third).Build(), S::ok, 1, 1, {C(3)}},
        {"an empty file", {}, S::notThisFormat},
        {"the global table cut short", Head(header, -1), S::truncated},
        {"the local table cut short", Head(G().Image(withLocal).Build(), 61 + 15), S::truncated},
        {"no minimum code size", Head(afterFirst, 61 + 10), S::truncated},
        {"the file ends inside the image data", Head(big, -6), S::truncated},
        {"minimum code size 12", G().Image(codeSize12).Build(), S::corrupt},
        {"65535 x 65535 pixels do not fit in 4 GiB", G().Image(huge).Build(), S::tooLarge},
        {"a graphic control block of 5 bytes ends the walk before the only image",
         G().Raw({0x21, 0xF9, 5, 0, 0, 0, 0, 0}).Image(good).Build(), S::corrupt},
        {"a failed last image fails the file", G().Image(good).Image(codeSize12).Build(), S::corrupt},
        {"a failed earlier image fails the file", G().Image(codeSize12).Image(good).Build(), S::corrupt},
        // clang-format on
    };
    // A 1 x h interlaced image whose k-th stored row has colour k: the rows go to the passes' places, and a
    // pass starting below the picture is skipped.
    for (const unsigned height : {16u, 5u, 3u, 2u, 1u}) {
        Indices rows(height);
        for (unsigned k = 0; k < height; ++k) rows[k] = static_cast<std::uint8_t>(k);
        GifImage image = Image(1, height, rows);
        std::vector<DWORD> expected(height);
        unsigned k = 0;
        for (const auto& [row, step] : {std::pair{0u, 8u}, {4u, 8u}, {2u, 4u}, {1u, 2u}})
            for (unsigned y = row; y < height; y += step) expected[y] = C(k++);
        image.interlaced = true;
        cases.push_back(
            {"interlaced rows", G().Image(image).Build(), S::ok, 1, static_cast<int>(height), expected});
    }
    ExpectCases(cases, {ReadGifFile, KivPictureLoadGIFFile});
}

}  // namespace
