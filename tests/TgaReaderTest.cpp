// The TGA reader on files built byte by byte, for what the corpus (ReaderCorpusTest) does not show: first
// indices and map lengths, packets past the picture, short files, the limits and the refusals.

#include "TestFiles.h"
#include "readers/Readers.h"

namespace {

using S = KivLoadStatus;
constexpr DWORD k = 0xFF000000u;  // opaque black

// One TGA file, written field by field as the format describes it.
struct TgaFile {
    unsigned colorMapType = 0, imageType = 2, firstIndex = 0, mapLength = 0, entrySize = 0;
    unsigned xOrigin = 0, yOrigin = 0, width = 2, height = 2, pixelDepth = 24, descriptor = 0;
    Bytes pixelData = {}, colorMap = {};
    unsigned idLength = 0;  // the image ID's bytes, which the file does not hold

    Bytes Build() const {
        Bytes out;
        PutU8(out, idLength);
        for (unsigned byte : {colorMapType, imageType}) PutU8(out, byte);
        for (unsigned field : {firstIndex, mapLength}) PutU16(out, field);
        PutU8(out, entrySize);
        for (unsigned field : {xOrigin, yOrigin, width, height}) PutU16(out, field);
        for (unsigned byte : {pixelDepth, descriptor}) PutU8(out, byte);
        out.insert(out.end(), colorMap.begin(), colorMap.end());
        out.insert(out.end(), pixelData.begin(), pixelData.end());
        return out;
    }
};

using Edit = void (*)(TgaFile&);
Bytes Built(TgaFile file, Edit edit = nullptr) {
    if (edit) edit(file);
    return file.Build();
}
// A 2 x 2 picture of the type, depth and descriptor.
Bytes Square(unsigned type, unsigned depth, unsigned descriptor, Bytes pixels, Edit edit = nullptr) {
    return Built({0, type, 0, 0, 0, 0, 0, 2, 2, depth, descriptor, pixels}, edit);
}
// A 2 x 2 colour-mapped picture, top-left.
Bytes Mapped(unsigned first, unsigned length, unsigned entrySize, Bytes map, Bytes pixels,
             unsigned depth = 8) {
    return Built({1, 1, first, length, entrySize, 0, 0, 2, 2, depth, 0x20, pixels, map});
}
// A top-left picture of width x height zero pixels, of type 2 (or 3, grey).
Bytes Sized(unsigned width, unsigned height, unsigned depth = 24, unsigned type = 2, Edit edit = nullptr) {
    return Built({0, type, 0, 0, 0, 0, 0, width, height, depth, 0x20, Bytes(width * height * depth / 8)},
                 edit);
}

TEST(TgaReader, FilesBuiltByteByByte) {
    const Bytes abcd(12, 1), map24 = {0x56, 0x34, 0x12, 0xEF, 0xCD, 0xAB};
    const DWORD e0 = 0xFF123456, e1 = 0xFFABCDEF, a = 0xFF112233;  // the entries of map24; pixel 33 22 11
    const std::vector<FileCase> cases = {
        // clang-format off
        {"first index 10 maps index 10 to entry 0; indices outside the map are black",
         Mapped(10, 2, 24, map24, {10, 11, 9, 12}), S::ok, 2, 2, {e0, e1, k, k}},
        {"8-bit map entries are grey levels", Mapped(0, 2, 8, {0x20, 0xE0}, {0, 1, 1, 0}), S::ok, 2, 2,
         {0xFF202020, 0xFFE0E0E0, 0xFFE0E0E0, 0xFF202020}},
        {"a map of length 0: the indices are grey levels", Mapped(0, 0, 24, {}, {0, 0x40, 0x80, 0xFF}), S::ok,
         2, 2, {k, 0xFF404040, 0xFF808080, 0xFFFFFFFF}},
        {"packets past the last pixel are ignored", Square(11, 8, 0x20, {0xFF, 0x33, 0xFF, 0x44}), S::ok, 2,
         2, std::vector<DWORD>(4, 0xFF333333)},
        {"a cut inside a pixel loses that pixel; bottom-up, the top row is missing",
         Square(2, 24, 0, {0x33, 0x22, 0x11, 0x66, 0x55, 0x44, 0x77}), S::ok, 2, 2, {k, k, a, 0xFF445566}},
        {"less than half the pixels", Square(2, 24, 0, {0x33, 0x22, 0x11, 0x66, 0x55}), S::truncated},
        {"fewer bytes than one run packet per 128 pixels",
         Built({0, 10, 0, 0, 0, 0, 0, 129, 1, 24, 0x20, {0xFF, 1, 2, 3, 0x80, 1, 2}}), S::truncated},
        {"32 bits: missing pixels are transparent black",
         Square(2, 32, 0x20, {3, 2, 1, 0x80, 6, 5, 4, 0x40}), S::ok, 2, 2, {0x80010203, 0x40040506, 0, 0}},
        {"the file ends inside a raw packet", Square(11, 8, 0x20, {0x03, 0x10, 0x20}), S::ok, 2, 2,
         {0xFF101010, 0xFF202020, k, k}},
        {"the file ends inside a run's value", Square(10, 24, 0x20, {0x80, 0x33, 0x22, 0x11, 0x81, 0x66}),
         S::ok, 2, 2, {a, k, k, k}},
        {"colour-mapped: missing pixels are black, not entry 0", Mapped(0, 2, 24, map24, {1, 1}), S::ok, 2, 2,
         {e1, e1, k, k}},
        {"a colour map cut short leaves no pixels", Head(Mapped(0, 2, 24, map24, {}), 18 + 4), S::truncated},
        {"an image ID cut short", Square(2, 24, 0x20, {}, [](TgaFile& f) { f.idLength = 200; }), S::truncated},
        {"17 of the 18 header bytes", Head(Square(2, 24, 0, abcd), 17), S::truncated},
        {"type 1 without a colour map", Square(1, 8, 0, {0, 0, 0, 0}), S::corrupt},
        {"colour-map type 2", Square(2, 24, 0, abcd, [](TgaFile& f) { f.colorMapType = 2; }),
         S::notThisFormat},
        {"the widest row the format states", Sized(65535, 1), S::ok, 65535, 1},
        {"the rectangle is at the stored origin, which is unsigned",
         Sized(3, 2, 24, 2, [](TgaFile& f) { f.xOrigin = 65535, f.yOrigin = 50; }), S::ok, 3, 2, {}, 65535,
         50},
        {"the most rows the format states", Sized(1, 65535, 8, 3), S::ok, 1, 65535},
        {"65535 x 65535 is past the pixel limit before its data is looked for",
         Sized(1, 1, 24, 2, [](TgaFile& f) { f.width = f.height = 65535; }), S::tooLarge},
        {"pixel depth 33 needs 5 bytes", Square(2, 33, 0, abcd), S::unsupportedVariant},
        {"16-bit indices", Mapped(0, 1, 24, map24, Bytes(8), 16), S::unsupportedVariant},
        {"colour-map entries of 48 bits", Mapped(0, 1, 48, Bytes(6), {0, 0, 0, 0}), S::unsupportedVariant},
        {"first index 512 is past the 512-entry table", Mapped(512, 1, 24, map24, {0, 0, 0, 0}), S::corrupt},
        {"513 entries overflow the table", Mapped(0, 513, 24, Bytes(513 * 3), {0, 0, 0, 0}), S::corrupt},
        {"first index and length add to 512", Mapped(200, 312, 32, Bytes(312 * 4, 0x55), Bytes(4, 200)),
         S::ok, 2, 2, std::vector<DWORD>(4, 0xFF555555)},
        // clang-format on
    };
    ExpectCases(cases, {ReadTgaFile, KivPictureLoadTGAFile});
}

// Every side the writer saves loads back, pixel for pixel: rows past 8191 pixels and more than 32767 rows.
TEST(TgaReader, WhatTheWriterSavesLoadsBack) {
    ScratchFolder folder;
    for (const auto& [width, height] : {std::pair{9000, 1}, std::pair{1, 40000}, std::pair{65535, 2}}) {
        std::vector<DWORD> pixels(static_cast<size_t>(width) * height);
        for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<DWORD>(i * 2654435761u);
        const CString path = Wide(folder.File("saved.tga"));
        ASSERT_EQ(KivPictureSaveTGAFile(path, pixels.data(), CSize(width, height), CRect(0, 0, width, height)), 1);
        const DecodedPicture got = ReadTgaFile(path);
        ASSERT_EQ(got.status, S::ok) << width << " x " << height;
        EXPECT_EQ(got.rect, CRect(0, 0, width, height));
        EXPECT_TRUE(std::equal(pixels.begin(), pixels.end(), got.pixels.get())) << width << " x " << height;
    }
}

}  // namespace
