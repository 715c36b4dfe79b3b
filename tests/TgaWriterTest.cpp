// The TGA writer: header, image ID, pixel rows, the 64 x 48 postage stamp, the extension area with the
// time of saving, the footer, the region rule, and a round trip through the TGA reader with the region's
// position.

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "BmpBuilder.h"
#include "TestFiles.h"

namespace {

// The parts of a written file, in file order.
constexpr size_t kHeaderBytes = 18;
constexpr size_t kImageIdBytes = 64;
constexpr size_t kPixelsStart = kHeaderBytes + kImageIdBytes;  // 82
constexpr size_t kStampBytes = 2 + 64 * 48 * 4;                // 12 290
constexpr size_t kExtensionBytes = 495;
constexpr size_t kFooterBytes = 26;

// Distinct pixels: red = x, green = y, blue = x ^ y, alpha = (x * 7 + y * 13) & 0xFF (0 at the origin).
std::vector<DWORD> Distinct(int cx, int cy) {
    std::vector<DWORD> pixels;
    pixels.reserve(static_cast<size_t>(cx) * cy);
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x)
            pixels.push_back(static_cast<DWORD>((x * 7 + y * 13) & 0xFF) << 24 |
                             static_cast<DWORD>(x & 0xFF) << 16 | static_cast<DWORD>(y & 0xFF) << 8 |
                             static_cast<DWORD>((x ^ y) & 0xFF));
    return pixels;
}

int Save(const std::string& path, std::vector<DWORD>& pixels, int cx, int cy, CRect region) {
    return KivPictureSaveTGAFile(Wide(path), pixels.data(), CSize(cx, cy), region);
}

DWORD WordAt(const Bytes& file, size_t offset) {
    return FieldLE32(file, offset);
}

size_t StampOffset(size_t width, size_t height) {
    return kPixelsStart + 4 * width * height;
}

size_t FileSize(size_t width, size_t height) {
    return StampOffset(width, height) + kStampBytes + kExtensionBytes + kFooterBytes;
}

// Saves a region and returns the file; empty when the save failed.
Bytes SaveAndRead(std::vector<DWORD>& pixels, int cx, int cy, CRect region) {
    ScratchFolder folder;
    if (Save(folder.File("p.tga"), pixels, cx, cy, region) != 1) return {};
    return ReadFileBytes(folder.File("p.tga"));
}

bool FolderIsEmpty(const std::filesystem::path& folder) {
    return std::filesystem::directory_iterator(folder) == std::filesystem::directory_iterator();
}

}  // namespace

TEST(TgaWriter, HeaderFields) {
    // Region (3, 2)-(8, 6) of a 10 x 8 buffer: 5 x 4 pixels placed at (3, 2).
    auto pixels = Distinct(10, 8);
    const Bytes file = SaveAndRead(pixels, 10, 8, CRect(3, 2, 8, 6));
    ASSERT_EQ(file.size(), FileSize(5, 4));
    struct Field {
        size_t offset, bytes;
        unsigned value;
        const char* reason;
    };
    const Field fields[] = {
        {0, 1, 64, "ID length: the 64-byte image ID follows"},
        {1, 1, 0, "colour-map type: none"},
        {2, 1, 2, "image type: uncompressed true colour"},
        {3, 2, 0, "first colour-map index"},
        {5, 2, 0, "colour-map length"},
        {7, 1, 0, "colour-map entry size"},
        {8, 2, 3, "X origin: the region's left"},
        {10, 2, 2, "Y origin: the region's top"},
        {12, 2, 5, "width"},
        {14, 2, 4, "height"},
        {16, 1, 32, "pixel depth"},
        {17, 1, 0x20, "descriptor: top-left origin, no attribute-bit count"},
    };
    for (const Field& f : fields)
        EXPECT_EQ(f.bytes == 1 ? file[f.offset] : FieldLE16(file, f.offset), f.value) << f.reason;
}

TEST(TgaWriter, ImageIdIsTheSignatureThenZeros) {
    auto pixels = Distinct(4, 4);
    const Bytes file = SaveAndRead(pixels, 4, 4, CRect(0, 0, 4, 4));
    ASSERT_EQ(file.size(), FileSize(4, 4));
    const std::string text(file.begin() + 18, file.begin() + 46);
    EXPECT_EQ(text, "Kivlumen-32Bit-TrueColor-TGA");
    EXPECT_EQ(Bytes(file.begin() + 46, file.begin() + 82), Bytes(36, 0));
}

TEST(TgaWriter, PixelsTopRowFirstWithAlpha) {
    std::vector<DWORD> pixels(4 * 4, 0xFFFFFFFFu);
    pixels[1 * 4 + 1] = 0x00112233;  // the region's top-left, alpha 0
    pixels[1 * 4 + 2] = 0x80445566;
    pixels[2 * 4 + 1] = 0x7F778899;  // the region's bottom-left
    pixels[2 * 4 + 2] = 0x01AABBCC;
    const Bytes file = SaveAndRead(pixels, 4, 4, CRect(1, 1, 3, 3));
    ASSERT_EQ(file.size(), FileSize(2, 2));
    EXPECT_EQ(Bytes(file.begin() + kPixelsStart, file.begin() + kPixelsStart + 16),
              (Bytes{0x33, 0x22, 0x11, 0x00, 0x66, 0x55, 0x44, 0x80, 0x99, 0x88, 0x77, 0x7F, 0xCC, 0xBB, 0xAA,
                     0x01}));
}

TEST(TgaWriter, OneByOneRegionFillsTheStampWithItsPixel) {
    auto pixels = Distinct(3, 3);
    const Bytes file = SaveAndRead(pixels, 3, 3, CRect(2, 1, 3, 2));
    ASSERT_EQ(file.size(), 12897u) << "18 + 64 + 4 + 12 290 + 495 + 26";
    const size_t stamp = StampOffset(1, 1);
    EXPECT_EQ(file[stamp], 64);
    EXPECT_EQ(file[stamp + 1], 48);
    const DWORD pixel = pixels[1 * 3 + 2];
    int copies = 0;
    for (size_t i = 0; i < 64 * 48; ++i) copies += WordAt(file, stamp + 2 + 4 * i) == pixel;
    EXPECT_EQ(copies, 3072);
}

// Stamp pixel (i, j) is region pixel (trunc(i * W / 64), trunc(j * H / 48)) where the steps add up exactly.
// W / 64 is a binary fraction, so columns are always exact; H / 48 is one only when H is a multiple of 3,
// and for other heights the single-precision sum can fall just below a whole row at some j: those rows
// are listed, worked out by adding H / 48 rounded to single precision step by step.
TEST(TgaWriter, PostageStampSampling) {
    struct StampCase {
        int width, height;
        std::vector<std::pair<int, int>> lowerRows;  // (stamp row j, source row taken)
        const char* reason;
    };
    const StampCase cases[] = {
        {128, 96, {}, "twice the stamp's size: every second column and row from the top-left"},
        {64, 48, {}, "the stamp's own size: one to one"},
        {16, 12, {}, "a quarter of the stamp: each pixel repeated four times either way"},
        {3, 96, {}, "narrow: columns 0, 1, 2 repeated; steps of 3/64 add up exactly"},
        {200, 144, {}, "wider than the stamp by a non-whole factor 3.125 (exact in binary)"},
        {1, 4, {{12, 0}, {36, 2}}, "4/48 in single precision: rows 12 and 36 sum to just below 1 and 3"},
        {64, 14, {{24, 6}}, "14/48 in single precision: row 24 sums to just below 7"},
    };
    for (const StampCase& c : cases) {
        // The region sits at (1, 2) of a larger buffer, so the stamp must count from the region's corner.
        const int cx = c.width + 3, cy = c.height + 4;
        auto pixels = Distinct(cx, cy);
        const Bytes file = SaveAndRead(pixels, cx, cy, CRect(1, 2, 1 + c.width, 2 + c.height));
        ASSERT_EQ(file.size(), FileSize(c.width, c.height)) << c.reason;
        const size_t stamp = StampOffset(c.width, c.height) + 2;
        int wrong = 0;
        for (int j = 0; j < 48; ++j) {
            int y = j * c.height / 48;
            for (const auto& [row, taken] : c.lowerRows)
                if (row == j) y = taken;
            for (int i = 0; i < 64; ++i) {
                const int x = i * c.width / 64;
                const DWORD expected = pixels[static_cast<size_t>(2 + y) * cx + 1 + x];
                const DWORD got = WordAt(file, stamp + 4 * (static_cast<size_t>(j) * 64 + i));
                if (got != expected && ++wrong <= 3)
                    ADD_FAILURE() << c.reason << ": stamp (" << i << ", " << j << ") is " << std::hex << got
                                  << ", expected region pixel (" << std::dec << x << ", " << y << ")";
            }
        }
        EXPECT_EQ(wrong, 0) << c.reason;
    }
}

TEST(TgaWriter, ExtensionArea) {
    auto pixels = Distinct(6, 5);
    ScratchFolder folder;
    const std::time_t before = std::time(nullptr);
    ASSERT_EQ(Save(folder.File("e.tga"), pixels, 6, 5, CRect(0, 0, 6, 5)), 1);
    const std::time_t after = std::time(nullptr);
    const Bytes file = ReadFileBytes(folder.File("e.tga"));
    ASSERT_EQ(file.size(), FileSize(6, 5));
    const size_t area = StampOffset(6, 5) + kStampBytes;

    struct Field {
        size_t offset, bytes;
        DWORD value;
        const char* reason;
    };
    const Field fields[] = {
        {0, 2, 495, "extension size"},
        {420, 2, 0, "job hours"},
        {422, 2, 0, "job minutes"},
        {424, 2, 0, "job seconds"},
        {467, 2, 0, "software version number"},
        {469, 1, 0x20, "software version letter: a space"},
        {470, 4, 0, "key colour"},
        {474, 2, 0, "pixel aspect numerator"},
        {476, 2, 0, "pixel aspect denominator"},
        {478, 2, 0, "gamma numerator"},
        {480, 2, 0, "gamma denominator"},
        {482, 4, 0, "colour correction offset"},
        {486, 4, static_cast<DWORD>(18 + 64 + 4 * 6 * 5), "postage stamp offset: 18 + 64 + 4 W H"},
        {490, 4, 0, "scan line offset"},
        {494, 1, 0, "attributes type"},
    };
    for (const Field& f : fields) {
        const size_t at = area + f.offset;
        const DWORD got = f.bytes == 1 ? file[at] : f.bytes == 2 ? FieldLE16(file, at) : WordAt(file, at);
        EXPECT_EQ(got, f.value) << f.reason;
    }
    struct Text {
        size_t offset, bytes;
        const char* name;
    };
    for (const Text& t : {Text{2, 41, "author name"}, Text{43, 324, "author comments"},
                          Text{379, 41, "job name"}, Text{426, 41, "software ID"}})
        EXPECT_EQ(Bytes(file.begin() + area + t.offset, file.begin() + area + t.offset + t.bytes),
                  Bytes(t.bytes, 0))
            << t.name;

    // Month, day, year, hour, minute, second of the local time: between the moments before and after.
    std::tm stamp{};
    stamp.tm_mon = static_cast<int>(FieldLE16(file, area + 367)) - 1;
    stamp.tm_mday = static_cast<int>(FieldLE16(file, area + 369));
    stamp.tm_year = static_cast<int>(FieldLE16(file, area + 371)) - 1900;
    stamp.tm_hour = static_cast<int>(FieldLE16(file, area + 373));
    stamp.tm_min = static_cast<int>(FieldLE16(file, area + 375));
    stamp.tm_sec = static_cast<int>(FieldLE16(file, area + 377));
    stamp.tm_isdst = -1;
    const std::time_t saved = std::mktime(&stamp);
    EXPECT_GE(saved, before);
    EXPECT_LE(saved, after);
}

TEST(TgaWriter, FooterPointsAtTheExtensionArea) {
    // Two sizes: the offsets move with the pixel data.
    for (const CSize size : {CSize(1, 1), CSize(33, 7)}) {
        auto pixels = Distinct(size.cx, size.cy);
        const Bytes file = SaveAndRead(pixels, size.cx, size.cy, CRect(0, 0, size.cx, size.cy));
        ASSERT_EQ(file.size(), FileSize(size.cx, size.cy));
        const size_t footer = file.size() - kFooterBytes;
        EXPECT_EQ(WordAt(file, footer), StampOffset(size.cx, size.cy) + kStampBytes)
            << "extension area offset";
        EXPECT_EQ(WordAt(file, footer + 4), 0u) << "developer directory offset";
        const char signature[] = "TRUEVISION-XFILE.";
        EXPECT_EQ(Bytes(file.begin() + footer + 8, file.end()),
                  Bytes(signature, signature + sizeof signature))
            << "the signature and its zero byte";
    }
}

TEST(TgaWriter, RegionRoundTripsThroughTheReaderWithItsPosition) {
    ScratchFolder folder;
    auto pixels = Distinct(640, 480);
    pixels[50 * 640 + 100] &= 0x00FFFFFF;  // the region's first pixel with alpha 0
    const CRect region(100, 50, 420, 290);
    ASSERT_EQ(Save(folder.File("r.tga"), pixels, 640, 480, region), 1);
    LoadedPicture back;
    back.pixels = KivPictureLoadTGAFile(Wide(folder.File("r.tga")), back.rect);
    ASSERT_NE(back.pixels, nullptr);
    EXPECT_EQ(back.rect, region);
    int wrong = 0;
    for (int y = 0; y < region.Height(); ++y)
        for (int x = 0; x < region.Width(); ++x)
            wrong += back.At(x, y) != pixels[static_cast<size_t>(region.top + y) * 640 + region.left + x];
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(back.At(0, 0) >> 24, 0u) << "alpha 0 is kept, not made opaque";
}

TEST(TgaWriter, RegionIsCutToTheBuffer) {
    struct RegionCase {
        CRect region;
        CRect written;  // origin and size in the file; empty: nothing is written
        const char* reason;
    };
    const RegionCase cases[] = {
        {CRect(-10, -10, 20, 20), CRect(0, 0, 16, 16), "reaching past every side: the whole buffer"},
        {CRect(12, 14, 40, 15), CRect(12, 14, 16, 15), "cut on the right, origin kept"},
        {CRect(5, -3, 7, 2), CRect(5, 0, 7, 2), "cut at the top"},
        {CRect(16, 0, 20, 16), CRect(), "wholly to the right"},
        {CRect(-5, -5, 0, 0), CRect(), "wholly above and left"},
        {CRect(3, 3, 3, 9), CRect(), "no width"},
        {CRect(8, 8, 2, 2), CRect(), "right before left"},
    };
    for (const RegionCase& c : cases) {
        ScratchFolder folder;
        auto pixels = Distinct(16, 16);
        const int result = Save(folder.File("c.tga"), pixels, 16, 16, c.region);
        if (c.written.IsRectEmpty()) {
            EXPECT_EQ(result, 0) << c.reason;
            EXPECT_TRUE(FolderIsEmpty(folder.Path())) << c.reason << ": no file is created";
            continue;
        }
        ASSERT_EQ(result, 1) << c.reason;
        const Bytes file = ReadFileBytes(folder.File("c.tga"));
        ASSERT_EQ(file.size(), FileSize(c.written.Width(), c.written.Height())) << c.reason;
        EXPECT_EQ(CRect(static_cast<int>(FieldLE16(file, 8)), static_cast<int>(FieldLE16(file, 10)),
                        static_cast<int>(FieldLE16(file, 8) + FieldLE16(file, 12)),
                        static_cast<int>(FieldLE16(file, 10) + FieldLE16(file, 14))),
                  c.written)
            << c.reason;
        EXPECT_EQ(WordAt(file, kPixelsStart),
                  pixels[static_cast<size_t>(c.written.top) * 16 + c.written.left])
            << c.reason << ": the first pixel is the cut region's top-left";
    }
}
