// The BMP reader on files built byte by byte, for what the corpus (ReaderCorpusTest) does not show:
// run-length deltas and failures, header versions and bit fields, short files, header limits; and bitmap
// resources.

#include <climits>

#include "BmpBuilder.h"
#include "platform/ModuleResources.h"
#include "readers/Readers.h"

extern const ModuleResourceTable kTestResources;

namespace {

using S = KivLoadStatus;
constexpr DWORD kBlack = 0xFF000000u, kWhite = 0xFFFFFFFFu, s = 0;  // s: a pixel nothing wrote

// Sixteen distinct colours; entry i is stored without alpha and read back as C(i).
constexpr DWORD C(unsigned i) {
    return 0xFF000000u | (i * 0x10u + 1) << 16 | (0xF0u - i * 0x0Du) << 8 | (0x30u + i);
}

// A bitmap whose palette entries (none, or the sixteen colours) are its colours used, changed by edit.
Bytes Bmp(int width, int height, unsigned bits, Bytes data, bool palette = false,
          std::uint32_t compression = 0, void (*edit)(BmpFile&) = nullptr) {
    BmpFile file;
    file.width = width, file.height = height, file.bitsPerPixel = bits, file.compression = compression;
    file.colorsUsed = palette ? 16 : 0, file.pixelData = std::move(data);
    for (unsigned i = 0; palette && i < 16; ++i) file.palette.push_back(C(i) & 0xFFFFFFu);
    if (edit) edit(file);
    return file.Build();
}
// A run-length bitmap: 8 bits with compression 1, 4 bits with compression 2.
Bytes Rle(unsigned bits, int width, int height, Bytes stream) {
    return Bmp(width, height, bits, std::move(stream), true, bits == 8 ? 1 : 2);
}
// A 2 x 2 8-bit bitmap changed by edit.
Bytes Edited(void (*edit)(BmpFile&)) {
    return Bmp(2, 2, 8, Bytes(8, 1), true, 0, edit);
}

TEST(BmpReader, FilesBuiltByteByByte) {
    const std::vector<FileCase> cases = {
        // clang-format off
        {"24 bits ignore the compression field", Bmp(1, 1, 24, {1, 2, 3, 0}, false, 1), S::ok, 1, 1,
         {0xFF030201}},
        {"the reserved byte is replaced by alpha; indices past the entries are black",
         Bmp(2, 1, 8, {1, 16, 0, 0}, true, 0, [](BmpFile& f) { f.palette[1] |= 0x7F000000; }), S::ok, 2, 1,
         {C(1), kBlack}},
        {"32 bits, top-down: the file ends inside the third pixel, past half the rows; the rest stays empty",
         Bmp(2, -2, 32, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}), S::ok, 2, 2, {0xFF030201, 0xFF070605, s, s}},
        {"less than half the rows", Bmp(2, -2, 32, {1, 2, 3, 4, 5, 6, 7}), S::truncated},
        {"RLE8: fewer bytes than one two-byte run per 255 pixels", Rle(8, 255, 3, {255, 1, 0, 1}), S::truncated},
        {"RLE8: a delta skips pixels right and rows up", Rle(8, 4, 3, {1, 1, 0, 2, 2, 1, 1, 3, 0, 1}), S::ok,
         4, 3, {s, s, s, s, s, s, s, C(3), C(1), s, s, s}},
        {"RLE8: an encoded run past the row's end", Rle(8, 4, 1, {2, 1, 3, 1, 0, 1}), S::corrupt},
        {"RLE8: an absolute run past the row's end", Rle(8, 4, 1, {0, 5, 1, 2, 3, 4, 5, 0, 1}), S::corrupt},
        {"RLE8: a delta to the column after the last", Rle(8, 4, 2, {0, 2, 4, 0, 0, 1}), S::corrupt},
        {"RLE8: a delta past the top row", Rle(8, 4, 2, {0, 2, 0, 2, 0, 1}), S::corrupt},
        {"RLE8: two ends of line in a one-row picture", Rle(8, 2, 1, {0, 0, 0, 0, 0, 1}), S::corrupt},
        {"RLE: data ending before the end of bitmap", Rle(8, 2, 2, {2, 1, 0, 0}), S::truncated},
        {"RLE: data ending inside an absolute run", Rle(8, 4, 1, {0, 4, 1, 2}), S::truncated},
        {"RLE8 compression with 4 bits", Bmp(2, 1, 4, {0x11, 0, 0, 0}, true, 1), S::unsupportedVariant},
        {"a core header: 16-bit sides, 3-byte palette entries",
         Bmp(2, 1, 8, {1, 2, 0, 0}, true, 0, [](BmpFile& f) { f.headerSize = 12; }), S::ok, 2, 1,
         {C(1), C(2)}},
        {"a core header at 24 bits",
         Bmp(1, 1, 24, {1, 2, 3, 0}, false, 0, [](BmpFile& f) { f.headerSize = 12; }), S::ok, 1, 1, {0xFF030201}},
        {"5-6-5 masks after 40 bytes: 5 and 6 bits repeated down the byte",
         Bmp(2, 1, 16, {0xFF, 0xFF, 0x10, 0x84}, false, 3,
             [](BmpFile& f) { f.masks = {0xF800, 0x7E0, 0x1F}; }), S::ok, 2, 1, {kWhite, 0xFF848284}},
        {"a 124-byte header's masks: 10 bits keep their top 8, 2 bits of alpha repeated",
         Bmp(1, 1, 32, {0xFF, 0x54, 0xB5, 0x6A}, false, 3,
             [](BmpFile& f) { f.headerSize = 124, f.masks = {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}; }),
         S::ok, 1, 1, {0x55AA553F}},
        {"compression 6 after 40 bytes: a fourth mask, alpha",
         Bmp(1, 1, 32, {0x33, 0x22, 0x11, 0x80}, false, 6,
             [](BmpFile& f) { f.masks = {0xFF0000, 0xFF00, 0xFF, 0xFF000000}; }), S::ok, 1, 1, {0x80112233}},
        {"a 52-byte header has no alpha mask: opaque",
         Bmp(1, 1, 32, {0x33, 0x22, 0x11, 0x80}, false, 3,
             [](BmpFile& f) { f.headerSize = 52, f.masks = {0xFF0000, 0xFF00, 0xFF}; }), S::ok, 1, 1,
         {0xFF112233}},
        {"a mask in two runs", Bmp(1, 1, 16, {0, 0, 0, 0}, false, 3,
         [](BmpFile& f) { f.masks = {0xF00F, 0xF0, 0xF00}; }), S::corrupt},
        {"a mask past a 16-bit word", Bmp(1, 1, 16, {0, 0, 0, 0}, false, 3,
         [](BmpFile& f) { f.masks = {0x1F0000, 0x7E0, 0x1F}; }), S::corrupt},
        {"the masks cut short",
         Head(Bmp(1, 1, 16, {}, false, 3, [](BmpFile& f) { f.masks = {0xF800}; }), 14 + 44), S::truncated},
        {"a 64-byte header's compression 3 is a Huffman code", Bmp(8, 1, 1, {0, 0, 0, 0}, false, 3,
         [](BmpFile& f) { f.headerSize = 64; }), S::unsupportedVariant},
        {"a 124-byte header cut inside its colour-space data",
         Head(Edited([](BmpFile& f) { f.headerSize = 124; }), 14 + 80), S::truncated},
        {"16000 x 16000 pixels in a few bytes after a 124-byte header",
         Bmp(16000, 16000, 32, {1, 2, 3, 4}, false, 3,
             [](BmpFile& f) { f.headerSize = 124, f.masks = {0xFF0000, 0xFF00, 0xFF}; }), S::truncated},
        {"a core header's sides are unsigned: 65535 x 65535", Edited([](BmpFile& f) {
             f.headerSize = 12, f.width = f.height = 65535; }), S::tooLarge},
        {"a header size of no version", Edited([](BmpFile& f) { f.headerSize = 41; }), S::notThisFormat},
        {"width INT32_MIN", Edited([](BmpFile& f) { f.width = INT32_MIN; }), S::corrupt},
        {"height INT32_MIN: 2^31 rows", Edited([](BmpFile& f) { f.height = INT32_MIN; }), S::tooLarge},
        {"65536 x 16384 pixels: 2^32 bytes", Edited([](BmpFile& f) { f.width = 65536, f.height = -16384; }),
         S::tooLarge},
        {"colours-used 257 exceeds the table", Edited([](BmpFile& f) { f.colorsUsed = 257; }), S::corrupt},
        {"the file header cut short", Head(Edited(nullptr), 10), S::truncated},
        {"the information header cut short", Head(Edited(nullptr), 14 + 30), S::truncated},
        // clang-format on
    };
    ExpectCases(cases, {ReadBmpFile, KivPictureLoadBMPFile});
}

// The resources of tests/data/resources/resources.list; the build keeps what follows the file header. A
// resource is read with offset 0, so the four filler bytes after 7102's palette are its row (white); the
// file is read from its data offset (black).
TEST(BmpReader, BitmapResources) {
    const auto load = [](LPCWSTR name) {
        ReadResult got{S::ok, CRect(1, 2, 3, 4), {}};
        LoadedPicture picture;
        picture.pixels = KivPictureLoadBMPInRC(&kTestResources, name, got.rect);
        if (picture.pixels)
            got.pixels.assign(picture.pixels, picture.pixels + got.rect.Width() * got.rect.Height());
        return got;
    };
    EXPECT_EQ(load(MAKEINTRESOURCEW(7999)).rect, CRect(1, 2, 3, 4))
        << "a missing resource leaves the rectangle";
    EXPECT_EQ(load(MAKEINTRESOURCEW(7101)).rect, CRect(0, 0, 3, 2));
    EXPECT_EQ(load(MAKEINTRESOURCEW(7101)).pixels,
              (std::vector<DWORD>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF0000FF, 0xFF00FF00, 0xFFFF0000}));
    EXPECT_EQ(load(L"kivtesttopdown24").pixels,
              (std::vector<DWORD>{0xFF030201, 0xFF060504, 0xFF090807, 0xFF0C0B0A}))
        << "names ignore case";
    EXPECT_EQ(load(MAKEINTRESOURCEW(7102)).pixels, (std::vector<DWORD>{kWhite, kWhite}));
    EXPECT_EQ(
        ReadWithBothEntries(Wide(TestDataPath("resources/pal4-gap.bmp")), ReadBmpFile, KivPictureLoadBMPFile)
            .pixels,
        (std::vector<DWORD>{kBlack, kBlack}));
}

}  // namespace
