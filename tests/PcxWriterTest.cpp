// The PCX writer: the 128-byte header, the run-length coding of each plane line, alpha left out, the
// region rule, and a round trip through the PCX reader.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "BmpBuilder.h"
#include "TestFiles.h"

namespace {

constexpr size_t kHeaderBytes = 128;

int Save(const std::string& path, std::vector<DWORD>& pixels, int cx, int cy, CRect region) {
    return KivPictureSavePCXFile(Wide(path), pixels.data(), CSize(cx, cy), region);
}

Bytes SaveAndRead(std::vector<DWORD>& pixels, int cx, int cy, CRect region) {
    ScratchFolder folder;
    if (Save(folder.File("p.pcx"), pixels, cx, cy, region) != 1) return {};
    return ReadFileBytes(folder.File("p.pcx"));
}

Bytes ImageData(const Bytes& file) {
    return file.size() < kHeaderBytes ? Bytes() : Bytes(file.begin() + kHeaderBytes, file.end());
}

// Distinct opaque pixels: red = 3x + 1, green = 5y + 2, blue = x * y.
std::vector<DWORD> Distinct(int cx, int cy) {
    std::vector<DWORD> pixels;
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x)
            pixels.push_back(0xFF000000u | static_cast<DWORD>((3 * x + 1) & 0xFF) << 16 |
                             static_cast<DWORD>((5 * y + 2) & 0xFF) << 8 |
                             static_cast<DWORD>((x * y) & 0xFF));
    return pixels;
}

Bytes Repeat(size_t count, std::uint8_t value) {
    return Bytes(count, value);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

}  // namespace

TEST(PcxWriter, HeaderFields) {
    // Region (2, 1)-(9, 4) of a 12 x 6 buffer: 7 x 3 pixels, an odd width.
    auto pixels = Distinct(12, 6);
    const Bytes file = SaveAndRead(pixels, 12, 6, CRect(2, 1, 9, 4));
    ASSERT_GT(file.size(), kHeaderBytes);
    struct Field {
        size_t offset, bytes;
        unsigned value;
        const char* reason;
    };
    const Field fields[] = {
        {0, 1, 10, "manufacturer"},
        {1, 1, 5, "version 3.0"},
        {2, 1, 1, "run-length encoding"},
        {3, 1, 8, "bits per pixel per plane"},
        {4, 2, 0, "X min: 0 whatever the region's left"},
        {6, 2, 0, "Y min: 0 whatever the region's top"},
        {8, 2, 6, "X max: W - 1"},
        {10, 2, 2, "Y max: H - 1"},
        {12, 2, 7, "horizontal resolution: the width in pixels"},
        {14, 2, 3, "vertical resolution: the height in pixels"},
        {64, 1, 0, "reserved"},
        {65, 1, 3, "planes: red, green, blue"},
        {66, 2, 7, "bytes per line: W, not rounded up to an even count"},
        {68, 2, 1, "palette information"},
    };
    for (const Field& f : fields)
        EXPECT_EQ(f.bytes == 1 ? file[f.offset] : FieldLE16(file, f.offset), f.value) << f.reason;
    EXPECT_EQ(Bytes(file.begin() + 16, file.begin() + 64), Repeat(48, 0)) << "16-colour palette";
    EXPECT_EQ(Bytes(file.begin() + 70, file.begin() + 128), Repeat(58, 0)) << "filler";
}

// One row of grey pixels puts the same line into all three planes, so the image data is the line's
// code three times. The alphas vary to show that they never reach the file.
TEST(PcxWriter, PlaneLineCoding) {
    struct CodeCase {
        Bytes line;
        Bytes code;
        const char* reason;
    };
    const CodeCase cases[] = {
        {Repeat(100, 7), {0xFF, 0x07, 0xE5, 0x07}, "a run of 100 is split into 63 and 37"},
        {{0xC5}, {0xC1, 0xC5}, "a single byte that looks like a count byte gets a count of 1"},
        {{0xC0}, {0xC1, 0xC0}, "0xC0 is the lowest such byte"},
        {{0xBF}, {0xBF}, "the highest byte that stands for itself"},
        {{0xD0, 0xD0}, {0xC2, 0xD0}, "two equal bytes are a run"},
        {Repeat(63, 9), {0xFF, 0x09}, "the longest run fits one count byte"},
        {Repeat(64, 9), {0xFF, 0x09, 0x09}, "one more: a single byte left over"},
        {Repeat(126, 0xEE), {0xFF, 0xEE, 0xFF, 0xEE}, "two whole runs"},
        {{1, 2, 2, 3, 0xC7, 0xC7, 0xC7}, {0x01, 0xC2, 0x02, 0x03, 0xC3, 0xC7}, "literals and runs mixed"},
    };
    for (const CodeCase& c : cases) {
        std::vector<DWORD> row;
        for (size_t i = 0; i < c.line.size(); ++i)
            row.push_back(static_cast<DWORD>(i * 37 & 0xFF) << 24 |
                          static_cast<DWORD>(c.line[i]) * 0x010101u);
        const int width = static_cast<int>(row.size());
        const Bytes file = SaveAndRead(row, width, 1, CRect(0, 0, width, 1));
        EXPECT_EQ(ImageData(file), Concat({c.code, c.code, c.code})) << c.reason;
    }
}

TEST(PcxWriter, PlanesInOrderRedGreenBlue) {
    std::vector<DWORD> pixels = {0x00FF0000, 0x0000FF00, 0x000000FF};
    const Bytes file = SaveAndRead(pixels, 3, 1, CRect(0, 0, 3, 1));
    EXPECT_EQ(ImageData(file), (Bytes{0xC1, 0xFF, 0xC2, 0x00,     // red: FF 00 00
                                      0x00, 0xC1, 0xFF, 0x00,     // green: 00 FF 00
                                      0xC2, 0x00, 0xC1, 0xFF}));  // blue: 00 00 FF
}

TEST(PcxWriter, NoRunCrossesALineOrARow) {
    // A 4 x 2 region of one grey: six plane lines of a run of 4 each, although all 24 bytes are equal.
    std::vector<DWORD> pixels(8, 0xFF050505u);
    const Bytes file = SaveAndRead(pixels, 4, 2, CRect(0, 0, 4, 2));
    const Bytes expected = {0xC4, 0x05, 0xC4, 0x05, 0xC4, 0x05, 0xC4, 0x05, 0xC4, 0x05, 0xC4, 0x05};
    EXPECT_EQ(ImageData(file), expected);
}

TEST(PcxWriter, RegionRowsTopFirst) {
    // Region (1, 1)-(3, 3) of a 4 x 4 buffer: rows 1 and 2, columns 1 and 2.
    std::vector<DWORD> pixels(16, 0xFFFFFFFFu);
    pixels[1 * 4 + 1] = 0xFF102030;
    pixels[1 * 4 + 2] = 0xFF405060;
    pixels[2 * 4 + 1] = 0xFF708090;
    pixels[2 * 4 + 2] = 0xFFA0B0C0;
    const Bytes file = SaveAndRead(pixels, 4, 4, CRect(1, 1, 3, 3));
    EXPECT_EQ(ImageData(file), (Bytes{0x10, 0x40, 0x20, 0x50, 0x30, 0x60,           // top row
                                      0x70, 0xA0, 0x80, 0xB0, 0x90, 0xC1, 0xC0}));  // bottom row
}

TEST(PcxWriter, AlphaIsNotStored) {
    auto opaque = Distinct(9, 5);
    auto varied = opaque;
    for (size_t i = 0; i < varied.size(); ++i)
        varied[i] = (varied[i] & 0x00FFFFFF) | static_cast<DWORD>(i * 29 % 256) << 24;
    const Bytes a = SaveAndRead(opaque, 9, 5, CRect(0, 0, 9, 5));
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(SaveAndRead(varied, 9, 5, CRect(0, 0, 9, 5)), a);
}

TEST(PcxWriter, RoundTripThroughTheReader) {
    struct RoundTrip {
        CSize buffer;
        CRect region;
        const char* reason;
    };
    const RoundTrip cases[] = {
        {CSize(40, 30), CRect(0, 0, 40, 30), "the whole buffer, even width"},
        {CSize(40, 30), CRect(3, 4, 20, 11), "an inner region of odd width 17"},
        {CSize(200, 3), CRect(0, 0, 200, 3), "long lines whose runs split"},
        {CSize(8, 8), CRect(-3, -3, 5, 4), "a region cut to 5 x 4"},
    };
    for (const RoundTrip& c : cases) {
        ScratchFolder folder;
        auto pixels = Distinct(c.buffer.cx, c.buffer.cy);
        for (DWORD& p : pixels) p &= 0x7FFFFFFF;  // alpha 127: the file has none, the reader gives 255
        if (c.buffer.cx == 200)
            for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = (i / 70 % 4) * 0x00404040u;  // runs of 70
        ASSERT_EQ(Save(folder.File("r.pcx"), pixels, c.buffer.cx, c.buffer.cy, c.region), 1) << c.reason;
        CRect cut;
        cut.IntersectRect(c.region, CRect(0, 0, c.buffer.cx, c.buffer.cy));
        LoadedPicture back;
        back.pixels = KivPictureLoadPCXFile(Wide(folder.File("r.pcx")), back.rect);
        ASSERT_NE(back.pixels, nullptr) << c.reason;
        EXPECT_EQ(back.rect, CRect(0, 0, cut.Width(), cut.Height())) << c.reason;
        int wrong = 0;
        for (int y = 0; y < cut.Height(); ++y)
            for (int x = 0; x < cut.Width(); ++x) {
                const DWORD source = pixels[static_cast<size_t>(cut.top + y) * c.buffer.cx + cut.left + x];
                wrong += back.At(x, y) != (source | 0xFF000000u);
            }
        EXPECT_EQ(wrong, 0) << c.reason;
    }
}

TEST(PcxWriter, EmptyRegionWritesNothing) {
    struct EmptyCase {
        CRect region;
        const char* reason;
    };
    const EmptyCase cases[] = {
        {CRect(16, 0, 20, 16), "wholly to the right"},
        {CRect(-5, -5, 0, 0), "wholly above and left"},
        {CRect(3, 3, 3, 9), "no width"},
        {CRect(3, 3, 9, 3), "no height"},
        {CRect(8, 8, 2, 2), "right before left"},
        {CRect(0, 0, 0, 0), "the null rectangle"},
    };
    for (const EmptyCase& c : cases) {
        ScratchFolder folder;
        auto pixels = Distinct(16, 16);
        EXPECT_EQ(Save(folder.File("e.pcx"), pixels, 16, 16, c.region), 0) << c.reason;
        EXPECT_TRUE(std::filesystem::is_empty(folder.Path())) << c.reason << ": no file is created";
    }
}
