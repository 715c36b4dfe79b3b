// The BMP reader on files built byte by byte: every row format, palette counts and data offsets,
// run-length streams and their failures, refused headers, truncated files and bitmap resources.

#include <gtest/gtest.h>

#include <climits>
#include <functional>

#include "BmpBuilder.h"
#include "platform/ModuleResources.h"

extern const ModuleResourceTable kTestResources;

namespace {

constexpr DWORD kBlack = 0xFF000000u;
constexpr DWORD kWhite = 0xFFFFFFFFu;
constexpr DWORD kSkipped = 0;  // transparent black: what a run-length stream never writes

// Sixteen distinct colours; entry i is stored in the file without alpha and read back as Color(i).
constexpr DWORD Color(unsigned i) {
    return 0xFF000000u | (i * 0x10u + 1) << 16 | (0xF0u - i * 0x0Du) << 8 | (0x30u + i);
}
std::vector<std::uint32_t> SixteenColors() {
    std::vector<std::uint32_t> palette;
    for (unsigned i = 0; i < 16; ++i) palette.push_back(Color(i) & 0x00FFFFFFu);
    return palette;
}

BmpFile Picture(int width, int height, unsigned bits, Bytes data, std::vector<std::uint32_t> palette = {}) {
    BmpFile file;
    file.width = width;
    file.height = height;
    file.bitsPerPixel = bits;
    file.palette = std::move(palette);
    file.colorsUsed = static_cast<std::uint32_t>(file.palette.size());
    file.pixelData = std::move(data);
    return file;
}

void ExpectPixels(const Decoded& got, int width, int height, const std::vector<DWORD>& expected,
                  const std::string& reason) {
    ASSERT_TRUE(got.loaded) << reason << ": " << KivLoadStatusText(got.status);
    ASSERT_EQ(got.rect, CRect(0, 0, width, height)) << reason;
    ASSERT_EQ(got.pixels.size(), expected.size()) << reason;
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(got.pixels[i], expected[i])
            << reason << ": pixel (" << i % width << ", " << i / width << ")";
}

}  // namespace

TEST(BmpReader, LeftmostOneBitPixelIsTheHighBit) {
    const Decoded got = LoadBytes(Picture(8, 1, 1, {0x80, 0, 0, 0}, {0x000000, 0xFFFFFF}).Build());
    ExpectPixels(got, 8, 1, {kWhite, kBlack, kBlack, kBlack, kBlack, kBlack, kBlack, kBlack}, "byte 0x80");
}

struct RowCase {
    const char* reason;
    BmpFile file;
    std::vector<DWORD> expected;  // rows top to bottom, as many as the file declares
};

void ExpectCase(const RowCase& c) {
    ExpectPixels(LoadBytes(c.file.Build()), c.file.width, std::abs(c.file.height), c.expected, c.reason);
}

TEST(BmpReader, UncompressedRowFormats) {
    const auto p16 = SixteenColors();
    BmpFile compressedField24 = Picture(1, 1, 24, StoredRow({0x123456}, 24));
    compressedField24.compression = 1;
    BmpFile compressedField1 = Picture(2, 1, 1, StoredRow({1, 0}, 1), {0x000000, 0xFFFFFF});
    compressedField1.compression = 2;
    const RowCase cases[] = {
        {"1 bit, width 9: the ninth pixel is bit 7 of the second byte; bottom-up rows",
         Picture(9, 2, 1, StoredRows({{1, 0, 0, 0, 0, 0, 0, 0, 1}, {0, 1, 0, 1, 0, 1, 0, 1, 0}}, 1),
                 {0x102030, 0x405060}),
         {0xFF102030, 0xFF405060, 0xFF102030, 0xFF405060, 0xFF102030, 0xFF405060, 0xFF102030, 0xFF405060,
          0xFF102030, 0xFF405060, 0xFF102030, 0xFF102030, 0xFF102030, 0xFF102030, 0xFF102030, 0xFF102030,
          0xFF102030, 0xFF405060}},
        {"4 bits, odd width: the high nibble is the left pixel, rows padded to 4 bytes",
         Picture(3, 2, 4, StoredRows({{1, 2, 3}, {15, 0, 7}}, 4), p16),
         {Color(15), Color(0), Color(7), Color(1), Color(2), Color(3)}},
        {"8 bits, width 5: rows padded to 8 bytes",
         Picture(5, 2, 8, StoredRows({{0, 1, 2, 3, 4}, {9, 10, 11, 12, 13}}, 8), p16),
         {Color(9), Color(10), Color(11), Color(12), Color(13), Color(0), Color(1), Color(2), Color(3),
          Color(4)}},
        {"16 bits 5-5-5: each channel shifted left by 3, bit 15 ignored",
         Picture(6, 1, 16, StoredRow({0x7FFF, 0x8000, 0x7C00, 0x03E0, 0x001F, 0xFC21}, 16)),
         {0xFFF8F8F8, 0xFF000000, 0xFFF80000, 0xFF00F800, 0xFF0000F8, 0xFFF80808}},
        {"24 bits, width 3: nine pixel bytes and three filler bytes per row",
         Picture(3, 2, 24, StoredRows({{0x010203, 0x040506, 0x070809}, {0x0A0B0C, 0x0D0E0F, 0x101112}}, 24)),
         {0xFF0A0B0C, 0xFF0D0E0F, 0xFF101112, 0xFF010203, 0xFF040506, 0xFF070809}},
        {"24 bits, negative height: the first stored row is the top row",
         Picture(2, -2, 24, StoredRows({{0x111111, 0x222222}, {0x333333, 0x444444}}, 24)),
         {0xFF111111, 0xFF222222, 0xFF333333, 0xFF444444}},
        {"32 bits: the fourth byte (0 or not) is replaced by alpha 255",
         Picture(2, 2, 32, StoredRows({{0x00112233, 0x7F445566}, {0x00778899, 0xFFAABBCC}}, 32)),
         {0xFF778899, 0xFFAABBCC, 0xFF112233, 0xFF445566}},
        {"32 bits, negative height",
         Picture(1, -2, 32, StoredRows({{0x00010203}, {0x00040506}}, 32)),
         {0xFF010203, 0xFF040506}},
        {"8 bits, negative height",
         Picture(2, -2, 8, StoredRows({{1, 2}, {3, 4}}, 8), p16),
         {Color(1), Color(2), Color(3), Color(4)}},
        {"24 bits ignore the compression field", compressedField24, {0xFF123456}},
        {"1 bit ignores the compression field", compressedField1, {kWhite, kBlack}},
        {"the reserved byte of a palette entry is replaced by alpha 255",
         Picture(1, 1, 8, StoredRow({1}, 8), {0x7F000000, 0x7F123456}),
         {0xFF123456}},
        {"an index past the entries read is opaque black",
         Picture(3, 1, 8, StoredRow({1, 2, 200}, 8), {0x0000FF, 0x00FF00}),
         {0xFF00FF00, kBlack, kBlack}},
    };
    for (const RowCase& c : cases) ExpectCase(c);
}

TEST(BmpReader, PaletteCountAndDataOffset) {
    std::vector<std::uint32_t> grey256;
    for (unsigned i = 0; i < 256; ++i) grey256.push_back(i * 0x010101u);
    const auto p16 = SixteenColors();
    const Bytes row = StoredRow({15, 16, 255, 1}, 8);

    BmpFile all = Picture(4, 1, 8, row, grey256);
    all.colorsUsed = 0;
    BmpFile sixteenNoOffset = Picture(4, 1, 8, row, p16);
    sixteenNoOffset.dataOffset = 0;
    BmpFile sixteenWithFiller = Picture(4, 1, 8, row, p16);
    sixteenWithFiller.filler = Bytes(12, 0xEE);
    BmpFile fillerNoOffset = sixteenWithFiller;
    fillerNoOffset.dataOffset = 0;
    BmpFile twoOfOneBit = Picture(4, 1, 1, StoredRow({1, 0, 1, 1}, 1), {0x0000FF, 0xFF0000});
    twoOfOneBit.colorsUsed = 0;
    twoOfOneBit.dataOffset = 0;

    const RowCase cases[] = {
        {"colours-used 0 with 8 bits reads 256 entries",
         all,
         {0xFF0F0F0F, 0xFF101010, 0xFFFFFFFF, 0xFF010101}},
        {"colours-used 16 reads 16 entries and the rows follow them (offset 0)",
         sixteenNoOffset,
         {Color(15), kBlack, kBlack, Color(1)}},
        {"colours-used 16 with filler: the rows are at the file header's offset",
         sixteenWithFiller,
         {Color(15), kBlack, kBlack, Color(1)}},
        {"an offset of 0 reads the rows right after the palette, filler included",
         fillerNoOffset,
         {kBlack, kBlack, kBlack, kBlack}},
        {"colours-used 0 with 1 bit reads 2 entries",
         twoOfOneBit,
         {0xFFFF0000, 0xFF0000FF, 0xFFFF0000, 0xFFFF0000}},
    };
    for (const RowCase& c : cases) ExpectCase(c);
}

// Depth and size of a run-length picture; 8 bits is compression 1, 4 bits compression 2.
struct Shape {
    unsigned bits;
    int width, height;
};

BmpFile RunLength(Shape shape, Bytes stream) {
    BmpFile file = Picture(shape.width, shape.height, shape.bits, std::move(stream), SixteenColors());
    file.compression = shape.bits == 8 ? 1 : 2;
    return file;
}

struct RunLengthCase {
    const char* reason;
    Shape shape;
    Bytes stream;
    std::vector<DWORD> expected;  // rows top to bottom; 0 where the stream skips
};

TEST(BmpReader, RunLengthStreams) {
    const DWORD s = kSkipped;
    const RunLengthCase cases[] = {
        {"RLE8 encoded runs fill the bottom row first",
         {8, 4, 2},
         {4, 1, 0, 0, 2, 2, 2, 3, 0, 1},
         {Color(2), Color(2), Color(3), Color(3), Color(1), Color(1), Color(1), Color(1)}},
        {"RLE8 absolute run of 3 is padded to a 16-bit word",
         {8, 4, 1},
         {0, 3, 5, 6, 7, 0, 1, 4, 0, 1},
         {Color(5), Color(6), Color(7), Color(4)}},
        {"RLE8 end of line before the row is full skips the rest of it",
         {8, 4, 2},
         {2, 1, 0, 0, 4, 2, 0, 1},
         {Color(2), Color(2), Color(2), Color(2), Color(1), Color(1), s, s}},
        {"RLE8 delta skips pixels right and rows up",
         {8, 4, 3},
         {1, 1, 0, 2, 2, 1, 1, 3, 0, 1},
         {s, s, s, s, s, s, s, Color(3), Color(1), s, s, s}},
        {"RLE8 early end of bitmap leaves the rows above transparent",
         {8, 2, 2},
         {2, 5, 0, 1},
         {s, s, Color(5), Color(5)}},
        {"RLE8 end of line after the top row, then end of bitmap", {8, 1, 1}, {1, 4, 0, 0, 0, 1}, {Color(4)}},
        {"RLE4 encoded run alternates the high and the low nibble",
         {4, 5, 1},
         {5, 0x12, 0, 1},
         {Color(1), Color(2), Color(1), Color(2), Color(1)}},
        {"RLE4 absolute run of 5 nibbles is padded to 4 bytes",
         {4, 6, 1},
         {0, 5, 0x34, 0x56, 0x70, 0x00, 1, 0x99, 0, 1},
         {Color(3), Color(4), Color(5), Color(6), Color(7), Color(9)}},
        {"RLE4 absolute run of 3 nibbles takes 2 bytes",
         {4, 4, 1},
         {0, 3, 0xAB, 0xC0, 1, 0xDD, 0, 1},
         {Color(10), Color(11), Color(12), Color(13)}},
        {"RLE4 delta into the top row",
         {4, 4, 2},
         {0, 2, 3, 1, 1, 0xA0, 0, 1},
         {s, s, s, Color(10), s, s, s, s}},
    };
    for (const RunLengthCase& c : cases)
        ExpectPixels(LoadBytes(RunLength(c.shape, c.stream).Build()), c.shape.width, c.shape.height,
                     c.expected, c.reason);
}

struct RefusedStream {
    const char* reason;
    Shape shape;
    Bytes stream;
    KivLoadStatus expected;
};

TEST(BmpReader, RunLengthFailures) {
    using S = KivLoadStatus;
    const RefusedStream cases[] = {
        {"encoded run longer than the row", {8, 4, 1}, {5, 1, 0, 1}, S::corrupt},
        {"second encoded run passes the row's end", {8, 4, 1}, {2, 1, 3, 1, 0, 1}, S::corrupt},
        {"absolute run longer than the row", {8, 4, 1}, {0, 5, 1, 2, 3, 4, 5, 0, 0, 1}, S::corrupt},
        {"delta to the column after the last", {8, 4, 2}, {0, 2, 4, 0, 0, 1}, S::corrupt},
        {"delta past the top row", {8, 4, 2}, {0, 2, 0, 2, 0, 1}, S::corrupt},
        {"run after an end of line has moved past the top row",
         {8, 2, 1},
         {2, 1, 0, 0, 1, 1, 0, 1},
         S::corrupt},
        {"absolute run after an end of line past the top row",
         {8, 4, 1},
         {0, 0, 0, 3, 1, 2, 3, 0, 0, 1},
         S::corrupt},
        {"two ends of line in a one-row picture", {8, 2, 1}, {0, 0, 0, 0, 0, 1}, S::corrupt},
        {"data ends before the end of bitmap", {8, 2, 2}, {2, 1, 0, 0}, S::truncated},
        {"data ends inside a pair", {8, 2, 2}, {2, 1, 2}, S::truncated},
        {"data ends inside an absolute run", {8, 4, 1}, {0, 4, 1, 2}, S::truncated},
        {"data ends inside a delta", {8, 4, 2}, {0, 2, 1}, S::truncated},
        {"no data at all", {8, 4, 1}, {}, S::truncated},
        {"RLE4 encoded run longer than the row", {4, 3, 1}, {4, 0x11, 0, 1}, S::corrupt},
        {"RLE4 absolute run longer than the row", {4, 3, 1}, {0, 4, 0x12, 0x34, 0, 1}, S::corrupt},
        {"RLE4 delta past the right edge", {4, 3, 1}, {0, 2, 3, 0, 0, 1}, S::corrupt},
        {"RLE4 data ends before the end of bitmap", {4, 2, 1}, {2, 0x11}, S::truncated},
    };
    for (const RefusedStream& c : cases) {
        const Decoded got = LoadBytes(RunLength(c.shape, c.stream).Build());
        EXPECT_FALSE(got.loaded) << c.reason;
        EXPECT_EQ(got.status, c.expected) << c.reason << ": " << KivLoadStatusText(got.status);
    }
}

struct RefusedHeader {
    const char* reason;
    std::function<void(BmpFile&)> change;
    KivLoadStatus expected;
    std::function<void(Bytes&)> changeBytes = nullptr;
};

TEST(BmpReader, RefusedHeaders) {
    using S = KivLoadStatus;
    const auto bits = [](unsigned b, std::uint32_t compression = 0) {
        return [=](BmpFile& f) {
            f.bitsPerPixel = b;
            f.compression = compression;
        };
    };
    const auto size = [](std::int32_t w, std::int32_t h) {
        return [=](BmpFile& f) {
            f.width = w;
            f.height = h;
        };
    };
    const auto header = [](std::uint32_t bytes) { return [=](BmpFile& f) { f.headerSize = bytes; }; };
    const RefusedHeader cases[] = {
        {"a 12-byte OS/2 core header", header(12), S::unsupportedVariant},
        {"a 108-byte V4 header", header(108), S::unsupportedVariant},
        {"a 124-byte V5 header", header(124), S::unsupportedVariant},
        {"a header size no bitmap version uses", header(41), S::notThisFormat},
        {"bit fields (compression 3) with 16 bits", bits(16, 3), S::unsupportedVariant},
        {"bit fields (compression 3) with 32 bits", bits(32, 3), S::unsupportedVariant},
        {"run-length 8 with 4 bits", bits(4, 1), S::unsupportedVariant},
        {"run-length 4 with 8 bits", bits(8, 2), S::unsupportedVariant},
        {"a compressed 16-bit file", bits(16, 1), S::unsupportedVariant},
        {"2 bits per pixel", bits(2), S::unsupportedVariant},
        {"0 bits per pixel", bits(0), S::unsupportedVariant},
        {"64 bits per pixel", bits(64), S::unsupportedVariant},
        {"zero width", size(0, 2), S::corrupt},
        {"zero height", size(2, 0), S::corrupt},
        {"negative width", size(-2, 2), S::corrupt},
        {"width INT32_MIN", size(INT32_MIN, 2), S::corrupt},
        {"height INT32_MIN is 2^31 rows, too large for a 32-bit byte size", size(1, INT32_MIN), S::tooLarge},
        {"65536 x 16384 pixels are exactly 2^32 bytes", size(65536, 16384), S::tooLarge},
        {"the same, stored top-down", size(65536, -16384), S::tooLarge},
        {"width INT32_MAX", size(INT32_MAX, 1), S::tooLarge},
        {"colours-used 257 exceeds the 256-entry table", [](BmpFile& f) { f.colorsUsed = 257; }, S::corrupt},
        {"colours-used 0xFFFFFFFF", [](BmpFile& f) { f.colorsUsed = 0xFFFFFFFF; }, S::corrupt},
        {"run-length 8 stored top-down",
         [](BmpFile& f) {
             f.bitsPerPixel = 8;
             f.compression = 1;
             f.height = -2;
         },
         S::unsupportedVariant},
        {"run-length 4 stored top-down",
         [](BmpFile& f) {
             f.bitsPerPixel = 4;
             f.compression = 2;
             f.height = -2;
         },
         S::unsupportedVariant},
        {"signature BA instead of BM", [](BmpFile&) {}, S::notThisFormat, [](Bytes& b) { b[1] = 'A'; }},
        {"file header cut short", [](BmpFile&) {}, S::truncated, [](Bytes& b) { b.resize(10); }},
        {"information header cut short", [](BmpFile&) {}, S::truncated, [](Bytes& b) { b.resize(14 + 30); }},
    };
    for (const RefusedHeader& c : cases) {
        BmpFile file = Picture(2, 2, 8, Bytes(64, 1), SixteenColors());
        c.change(file);
        Bytes bytes = file.Build();
        if (c.changeBytes) c.changeBytes(bytes);
        const Decoded got = LoadBytes(bytes);
        EXPECT_FALSE(got.loaded) << c.reason;
        EXPECT_EQ(got.status, c.expected) << c.reason << ": " << KivLoadStatusText(got.status);
    }
}

TEST(BmpReader, FullPaletteOf256EntriesIsAccepted) {
    BmpFile file = Picture(1, 1, 8, StoredRow({255}, 8), std::vector<std::uint32_t>(256, 0x00ABCDEF));
    ASSERT_EQ(file.colorsUsed, 256u);
    ExpectPixels(LoadBytes(file.Build()), 1, 1, {0xFFABCDEF}, "colours-used 256");
}

TEST(BmpReader, TruncatedRowsAreZeroAndTheDecodeSucceeds) {
    const Bytes rows24 = StoredRows({{0x010203, 0x040506}, {0x070809, 0x0A0B0C}, {0x0D0E0F, 0x101112}}, 24);
    const Bytes rows32 = StoredRows({{0x00010203, 0x00040506}, {0x00070809, 0x000A0B0C}}, 32);
    const Bytes rows1 = StoredRows({{1, 0}, {0, 1}, {1, 1}}, 1);
    const RowCase cases[] = {
        {"24 bits: one whole stored row and two bytes of the next",
         Picture(2, 3, 24, Bytes(rows24.begin(), rows24.begin() + 10)),
         {0, 0, 0, 0, 0xFF010203, 0xFF040506}},
        {"32 bits: the file ends inside the second pixel",
         Picture(2, 2, 32, Bytes(rows32.begin(), rows32.begin() + 6)),
         {0, 0, 0xFF010203, 0}},
        {"1 bit, top-down: the missing rows are the bottom ones",
         Picture(2, -3, 1, Bytes(rows1.begin(), rows1.begin() + 4), {0x000000, 0xFFFFFF}),
         {kWhite, kBlack, 0, 0, 0, 0}},
        {"8 bits: no pixel data at all", Picture(2, 1, 8, {}, SixteenColors()), {0, 0}},
    };
    for (const RowCase& c : cases) ExpectCase(c);
}

TEST(BmpReader, MissingOrUnreadableFile) {
    ScratchFolder folder;
    const Decoded missing = LoadPicture(folder.File("absent.bmp"));
    EXPECT_FALSE(missing.loaded);
    EXPECT_EQ(missing.status, KivLoadStatus::fileNotFound);
    const Decoded empty = LoadBytes({});
    EXPECT_FALSE(empty.loaded);
}

// The resources of tests/data/resources/resources.list; the build keeps what follows the file header.
TEST(BmpReader, BitmapResources) {
    CRect rect;
    DWORD* pixels = KivPictureLoadBMPInRC(&kTestResources, MAKEINTRESOURCEW(7101), rect);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(rect, CRect(0, 0, 3, 2));
    const std::vector<DWORD> pal8(pixels, pixels + 6);
    EXPECT_EQ(pal8,
              (std::vector<DWORD>{0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF0000FF, 0xFF00FF00, 0xFFFF0000}));
    GlobalFree(pixels);

    pixels = KivPictureLoadBMPInRC(&kTestResources, L"kivtesttopdown24", rect);  // names ignore case
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(rect, CRect(0, 0, 2, 2));
    const std::vector<DWORD> topDown(pixels, pixels + 4);
    EXPECT_EQ(topDown, (std::vector<DWORD>{0xFF030201, 0xFF060504, 0xFF090807, 0xFF0C0B0A}));
    GlobalFree(pixels);

    // A resource is read with offset 0: the four filler bytes after its palette are taken as the row,
    // while the same file on disk is read from its data offset.
    pixels = KivPictureLoadBMPInRC(&kTestResources, MAKEINTRESOURCEW(7102), rect);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels[0], kWhite);
    EXPECT_EQ(pixels[1], kWhite);
    GlobalFree(pixels);
    ExpectPixels(LoadPicture(TestDataPath("resources/pal4-gap.bmp")), 2, 1, {kBlack, kBlack},
                 "the file form");

    CRect untouched(1, 2, 3, 4);
    EXPECT_EQ(KivPictureLoadBMPInRC(&kTestResources, MAKEINTRESOURCEW(7999), untouched), nullptr);
    EXPECT_EQ(untouched, CRect(1, 2, 3, 4));
}
