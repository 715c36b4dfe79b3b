// The PCX reader on files built byte by byte: the four layouts, the run-length code, line padding, the
// 256-colour palette, and the failures.

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <vector>

#include "TestFiles.h"
#include "readers/Readers.h"

namespace {

// One PCX file: the header fields the reader looks at, then the coded image data as given.
struct PcxFile {
    unsigned version = 5;
    unsigned bitsPerPixel = 8;
    unsigned planes = 1;
    unsigned xMin = 0, yMin = 0, xMax = 0, yMax = 0;
    unsigned bytesPerLine = 1;
    std::array<std::uint32_t, 16> headerPalette{};  // 0xRRGGBB
    Bytes data;

    Bytes Build() const {
        Bytes out;
        PutU8(out, 10);
        PutU8(out, version);
        PutU8(out, 1);
        PutU8(out, bitsPerPixel);
        for (unsigned field : {xMin, yMin, xMax, yMax}) PutU16(out, field);
        PutU16(out, 72);
        PutU16(out, 72);
        for (std::uint32_t colour : headerPalette) {
            PutU8(out, colour >> 16 & 0xFF);
            PutU8(out, colour >> 8 & 0xFF);
            PutU8(out, colour & 0xFF);
        }
        PutU8(out, 0);
        PutU8(out, planes);
        PutU16(out, bytesPerLine);
        PutU16(out, 1);
        out.resize(128, 0);
        out.insert(out.end(), data.begin(), data.end());
        return out;
    }
};

// The marker byte and a 256-colour palette whose entry i is (i, 255 - i, 7).
Bytes GradientPalette() {
    Bytes out{12};
    for (unsigned i = 0; i < 256; ++i) out.insert(out.end(), {std::uint8_t(i), std::uint8_t(255 - i), 7});
    return out;
}
DWORD GradientColour(unsigned i) {
    return 0xFF000000u | i << 16 | (255 - i) << 8 | 7;
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

using Loaded = ReadResult;

Loaded Load(const PcxFile& file) {
    ScratchFolder folder;
    return ReadWithBothEntries(folder.Write("picture.pcx", file.Build()), ReadPcxFile, KivPictureLoadPCXFile);
}

TEST(PcxReader, TwentyFourBitRowsTakeRedGreenBlueFromTheirThreePlaneLines) {
    PcxFile file;
    file.planes = 3;
    file.xMax = 1;
    file.yMax = 1;
    file.bytesPerLine = 2;
    file.data = {0x10, 0x11, 0x20, 0x21, 0x30, 0x31,   // row 0: red, green, blue lines
                 0x40, 0x41, 0x50, 0x51, 0x60, 0x61};  // row 1
    const Loaded loaded = Load(file);
    ASSERT_EQ(loaded.status, KivLoadStatus::ok);
    EXPECT_EQ(loaded.rect, CRect(0, 0, 2, 2));
    EXPECT_EQ(loaded.At(0, 0), 0xFF102030u);
    EXPECT_EQ(loaded.At(1, 0), 0xFF112131u);
    EXPECT_EQ(loaded.At(0, 1), 0xFF405060u);
    EXPECT_EQ(loaded.At(1, 1), 0xFF415161u);
}

TEST(PcxReader, TwentyFourBitLinesLongerThanTheWidthSkipTheirPadding) {
    PcxFile file;
    file.planes = 3;
    file.xMax = 0;
    file.bytesPerLine = 2;  // one pixel, each line padded by one byte
    file.data = {0x01, 0xAA, 0x02, 0xAA, 0x03, 0xAA};
    const Loaded loaded = Load(file);
    ASSERT_EQ(loaded.status, KivLoadStatus::ok);
    EXPECT_EQ(loaded.At(0, 0), 0xFF010203u);
}

TEST(PcxReader, ByteC0IsALiteral) {
    PcxFile file;
    file.planes = 3;
    file.data = {0xC0, 0x05, 0x06};
    const Loaded loaded = Load(file);
    ASSERT_EQ(loaded.status, KivLoadStatus::ok);
    EXPECT_EQ(loaded.At(0, 0), 0xFFC00506u);
}

TEST(PcxReader, RunBytesC1AndFFRepeatOnceAndSixtyThreeTimes) {
    PcxFile file;
    file.xMax = 63;  // 64 pixels: one value 7, then 63 values 9, then the palette marker
    file.bytesPerLine = 64;
    file.data = Concat({0xC1, 7, 0xFF, 9}, GradientPalette());
    const Loaded loaded = Load(file);
    ASSERT_EQ(loaded.status, KivLoadStatus::ok);
    EXPECT_EQ(loaded.At(0, 0), GradientColour(7));
    for (int x = 1; x < 64; ++x) EXPECT_EQ(loaded.At(x, 0), GradientColour(9)) << x;
}

TEST(PcxReader, EightBitPixelsIndexThePaletteAfterTheMarker) {
    PcxFile file;
    file.xMax = 2;
    file.yMax = 1;
    file.bytesPerLine = 3;
    file.data = Concat({0, 1, 0xC1, 200, 0xC2, 200, 0xC1, 255}, GradientPalette());
    const Loaded loaded = Load(file);
    ASSERT_EQ(loaded.status, KivLoadStatus::ok);
    EXPECT_EQ(loaded.At(0, 0), GradientColour(0));
    EXPECT_EQ(loaded.At(1, 0), GradientColour(1));
    EXPECT_EQ(loaded.At(2, 0), GradientColour(200));
    EXPECT_EQ(loaded.At(0, 1), GradientColour(200));
    EXPECT_EQ(loaded.At(1, 1), GradientColour(200));
    EXPECT_EQ(loaded.At(2, 1), GradientColour(255));
}

TEST(PcxReader, PaletteEntriesAShortFileLacksAreOpaqueBlack) {
    PcxFile file;
    file.xMax = 1;
    file.bytesPerLine = 2;
    file.data = {0, 1, 12, 0x11, 0x22, 0x33};  // only entry 0 present
    const Loaded loaded = Load(file);
    ASSERT_EQ(loaded.status, KivLoadStatus::ok);
    EXPECT_EQ(loaded.At(0, 0), 0xFF112233u);
    EXPECT_EQ(loaded.At(1, 0), 0xFF000000u);
}

TEST(PcxReader, OneBitPixelsRunFromTheMostSignificantBitThroughTheHeaderPalette) {
    PcxFile file;
    file.bitsPerPixel = 1;
    file.xMax = 9;  // 10 pixels in 2 bytes
    file.yMax = 1;
    file.bytesPerLine = 2;
    file.headerPalette[0] = 0x102030;
    file.headerPalette[1] = 0xA0B0C0;
    file.data = {0x80, 0x40, 0x00, 0xC1, 0xFF};  // 0xFF must be coded as a run of one
    const Loaded loaded = Load(file);
    ASSERT_EQ(loaded.status, KivLoadStatus::ok);
    for (int x = 0; x < 10; ++x) {
        const bool set = x == 0 || x == 9;
        EXPECT_EQ(loaded.At(x, 0), set ? 0xFFA0B0C0u : 0xFF102030u) << x;
        EXPECT_EQ(loaded.At(x, 1), x >= 8 ? 0xFFA0B0C0u : 0xFF102030u) << x;
    }
}

TEST(PcxReader, OneBitLinesPaddedToAnEvenLengthAreSkippedNotSkewed) {
    PcxFile file;
    file.bitsPerPixel = 1;
    file.xMax = 7;  // 8 pixels in a line of 2 bytes
    file.yMax = 1;
    file.bytesPerLine = 2;
    file.headerPalette[1] = 0xFFFFFF;
    file.data = {0xC1, 0xF0, 0xC1, 0xFF, 0x0F, 0xC1, 0xFF};  // the second byte of each line is padding
    const Loaded loaded = Load(file);
    ASSERT_EQ(loaded.status, KivLoadStatus::ok);
    for (int x = 0; x < 8; ++x) {
        EXPECT_EQ(loaded.At(x, 0), x < 4 ? 0xFFFFFFFFu : 0xFF000000u) << x;
        EXPECT_EQ(loaded.At(x, 1), x < 4 ? 0xFF000000u : 0xFFFFFFFFu) << x;
    }
}

TEST(PcxReader, FourBitOddWidthUsesThreeNibblesOfEachRowAndSkipsTheFourth) {
    PcxFile file;
    file.bitsPerPixel = 4;
    file.xMax = 2;
    file.yMax = 1;
    file.bytesPerLine = 2;
    for (unsigned i = 0; i < 16; ++i) file.headerPalette[i] = 0x010101 * i;
    file.data = {0x12, 0x3F, 0x45, 0x6F};
    const Loaded loaded = Load(file);
    ASSERT_EQ(loaded.status, KivLoadStatus::ok);
    const DWORD expected[2][3] = {{0xFF010101u, 0xFF020202u, 0xFF030303u},
                                  {0xFF040404u, 0xFF050505u, 0xFF060606u}};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) EXPECT_EQ(loaded.At(x, y), expected[y][x]) << x << "," << y;
}

TEST(PcxReader, FourBitLinesPaddedBeyondTheRowAreSkipped) {
    PcxFile file;
    file.bitsPerPixel = 4;
    file.xMax = 3;
    file.yMax = 1;
    file.bytesPerLine = 4;  // two bytes of pixels, two of padding
    for (unsigned i = 0; i < 16; ++i) file.headerPalette[i] = 0x010101 * i;
    file.data = {0x12, 0x34, 0xC2, 0xEE, 0x56, 0x78, 0xC2, 0xEE};
    const Loaded loaded = Load(file);
    ASSERT_EQ(loaded.status, KivLoadStatus::ok);
    EXPECT_EQ(loaded.At(3, 0), 0xFF040404u);
    EXPECT_EQ(loaded.At(0, 1), 0xFF050505u);
    EXPECT_EQ(loaded.At(3, 1), 0xFF080808u);
}

TEST(PcxReader, ARunCrossingTheEndOfARowIsWrittenWholeAndTheNextRowCountsAfterIt) {
    PcxFile file;
    file.bitsPerPixel = 1;
    file.xMax = 15;
    file.yMax = 1;
    file.bytesPerLine = 2;
    file.headerPalette[1] = 0xFFFFFF;
    // Row 0 ends after the run of three 0xFF; row 1 then takes two more values. Row 1's line therefore
    // holds the run's third byte and the first 0x00; the second 0x00 is decoded but never shown.
    file.data = {0xC3, 0xFF, 0x00, 0x00};
    const Loaded loaded = Load(file);
    ASSERT_EQ(loaded.status, KivLoadStatus::ok);
    for (int x = 0; x < 16; ++x) {
        EXPECT_EQ(loaded.At(x, 0), 0xFFFFFFFFu) << x;
        EXPECT_EQ(loaded.At(x, 1), x < 8 ? 0xFFFFFFFFu : 0xFF000000u) << x;
    }
}

TEST(PcxReader, TheOriginIsNotReportedOnlyTheSize) {
    PcxFile file;
    file.planes = 3;
    file.xMin = 5;
    file.yMin = 7;
    file.xMax = 5;
    file.yMax = 7;
    file.data = {1, 2, 3};
    const Loaded loaded = Load(file);
    ASSERT_EQ(loaded.status, KivLoadStatus::ok);
    EXPECT_EQ(loaded.rect, CRect(0, 0, 1, 1));
}

struct FailureCase {
    const char* reason;
    PcxFile file;
    KivLoadStatus expected;
};

PcxFile With(std::initializer_list<std::function<void(PcxFile&)>> changes) {
    PcxFile file;
    file.planes = 3;
    file.xMax = 1;
    file.bytesPerLine = 2;
    file.data = {1, 2, 3, 4, 5, 6};  // a valid 2 x 1 24-bit picture until changed
    for (const auto& change : changes) change(file);
    return file;
}

TEST(PcxReader, RefusesWhatItCannotRead) {
    const FailureCase cases[] = {
        {"version 3 is refused even with valid data", With({[](PcxFile& f) { f.version = 3; }}),
         KivLoadStatus::unsupportedVariant},
        {"an 8-bit picture of odd width padded to an even line is narrower than its line",
         With({[](PcxFile& f) {
             f.planes = 1;
             f.xMax = 2;
             f.bytesPerLine = 4;
             f.data = Concat({1, 2, 3, 0, 1, 2, 3, 0}, GradientPalette());
         }}),
         KivLoadStatus::corrupt},
        {"a 1-bit picture narrower than its line bytes", With({[](PcxFile& f) {
             f.planes = 1;
             f.bitsPerPixel = 1;
             f.xMax = 0;
             f.bytesPerLine = 2;
             f.data = {0, 0};
         }}),
         KivLoadStatus::corrupt},
        {"a 1-bit line too short for its row", With({[](PcxFile& f) {
             f.planes = 1;
             f.bitsPerPixel = 1;
             f.xMax = 15;
             f.bytesPerLine = 1;
             f.data = {0};
         }}),
         KivLoadStatus::corrupt},
        {"a 24-bit line too short for its row", With({[](PcxFile& f) { f.bytesPerLine = 1; }}),
         KivLoadStatus::corrupt},
        {"four 1-bit planes (EGA)", With({[](PcxFile& f) {
             f.planes = 4;
             f.bitsPerPixel = 1;
         }}),
         KivLoadStatus::unsupportedVariant},
        {"four 8-bit planes", With({[](PcxFile& f) { f.planes = 4; }}), KivLoadStatus::unsupportedVariant},
        {"three 4-bit planes", With({[](PcxFile& f) { f.bitsPerPixel = 4; }}),
         KivLoadStatus::unsupportedVariant},
        {"2 bits per pixel", With({[](PcxFile& f) {
             f.planes = 1;
             f.bitsPerPixel = 2;
         }}),
         KivLoadStatus::unsupportedVariant},
        {"xmax below xmin", With({[](PcxFile& f) { f.xMin = 3; }}), KivLoadStatus::corrupt},
        {"coded data ends in the last row", With({[](PcxFile& f) { f.data.pop_back(); }}),
         KivLoadStatus::truncated},
        {"coded data ends between a run byte and its value",
         With({[](PcxFile& f) { f.data = {1, 2, 3, 4, 5, 0xC2}; }}), KivLoadStatus::truncated},
        {"a run past the end of the plane buffer",
         With({[](PcxFile& f) { f.data = {1, 2, 3, 4, 5, 0xC5, 6}; }}), KivLoadStatus::corrupt},
        {"an 8-bit picture without the palette marker", With({[](PcxFile& f) {
             f.planes = 1;
             f.data = {1, 2, 13, 0, 0, 0};
         }}),
         KivLoadStatus::corrupt},
        {"an 8-bit picture whose data ends where the marker should be", With({[](PcxFile& f) {
             f.planes = 1;
             f.data = {1, 2};
         }}),
         KivLoadStatus::truncated},
        {"65536 x 16385 pixels need more than 32 bits of bytes", With({[](PcxFile& f) {
             f.planes = 1;
             f.bitsPerPixel = 1;
             f.xMax = 0xFFFF;
             f.yMax = 16384;
             f.bytesPerLine = 0x2000;
             f.data.assign((0x2000 * 16385 / 63 + 1) * 2, 0xFF);  // runs enough for every row
         }}),
         KivLoadStatus::tooLarge},
    };
    for (const FailureCase& c : cases) {
        const Loaded loaded = Load(c.file);
        EXPECT_EQ(loaded.status, c.expected) << c.reason;
    }
}

TEST(PcxReader, AFileShorterThanTheHeaderIsTruncated) {
    ScratchFolder folder;
    EXPECT_EQ(ReadPcxFile(folder.Write("short.pcx", Bytes(127, 10))).status, KivLoadStatus::truncated);
}

TEST(PcxReader, AMissingFileIsNotFound) {
    ScratchFolder folder;
    EXPECT_EQ(ReadPcxFile(Wide(folder.File("absent.pcx"))).status, KivLoadStatus::fileNotFound);
}

}  // namespace
