// The TGA reader on files built byte by byte: the header check and the decode limits, every
// image type and pixel size, row order, colour maps, run-length packets across rows, strips and read
// buffers, short files, and the layout codecs of TgaFileInfo.h.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "readers/Readers.h"
#include "readers/TgaFileInfo.h"
#include "readers/Readers.h"
#include "readers/TgaFileInfo.h"

namespace {

using S = KivLoadStatus;

constexpr DWORD kBlack = 0xFF000000u;

// One TGA file, written field by field as the format describes it (independently of TgaFileInfo.h).
struct TgaFile {
    unsigned colorMapType = 0;
    unsigned imageType = 2;
    unsigned firstIndex = 0;
    unsigned mapLength = 0;
    unsigned entrySize = 0;
    unsigned xOrigin = 0;
    unsigned yOrigin = 0;
    unsigned width = 1;
    unsigned height = 1;
    unsigned pixelDepth = 24;
    unsigned descriptor = 0;
    Bytes imageId;
    std::optional<unsigned> idLength;  // default: the size of imageId
    Bytes colorMap;
    Bytes pixelData;
    Bytes tail;  // anything after the pixel data

    Bytes Build() const {
        Bytes out;
        PutU8(out, idLength.value_or(static_cast<unsigned>(imageId.size())));
        PutU8(out, colorMapType);
        PutU8(out, imageType);
        PutU16(out, firstIndex);
        PutU16(out, mapLength);
        PutU8(out, entrySize);
        PutU16(out, xOrigin);
        PutU16(out, yOrigin);
        PutU16(out, width);
        PutU16(out, height);
        PutU8(out, pixelDepth);
        PutU8(out, descriptor);
        for (const Bytes* part : {&imageId, &colorMap, &pixelData, &tail})
            out.insert(out.end(), part->begin(), part->end());
        return out;
    }
};

// Pixel bytes of 0xAARRGGBB words: 3 bytes B, G, R or 4 bytes B, G, R, A.
Bytes PixelBytes(const std::vector<DWORD>& words, unsigned bytesPerPixel) {
    Bytes out;
    for (DWORD w : words)
        for (unsigned i = 0; i < bytesPerPixel; ++i) out.push_back(static_cast<std::uint8_t>(w >> (8 * i)));
    return out;
}

Bytes Words16(const std::vector<unsigned>& words) {
    Bytes out;
    for (unsigned w : words) PutU16(out, w);
    return out;
}

// A picture whose pixel (x, y) differs from every other of a small picture: 0xFFrrggbb.
DWORD Pattern(unsigned x, unsigned y) {
    return 0xFF000000u | (x * 7 + y * 13) % 256 << 16 | (x & 0xFF) << 8 | (y & 0xFF);
}

struct Decoded {
    S status = S::ok;
    CRect rect;
    std::vector<DWORD> pixels;
    DWORD At(int x, int y) const { return pixels[static_cast<size_t>(y) * rect.Width() + x]; }
};

Decoded Load(const Bytes& bytes, const std::string& name = "picture.tga") {
    ScratchFolder folder;
    DecodedPicture picture = ReadTgaFile(folder.Write(name, bytes));
    Decoded decoded;
    decoded.status = picture.status;
    if (!picture.ok()) return decoded;
    decoded.rect = picture.rect;
    decoded.pixels.assign(
        picture.pixels.get(),
        picture.pixels.get() + static_cast<size_t>(decoded.rect.Width()) * decoded.rect.Height());
    return decoded;
}

// ---- Pixel formats and row order
// ---------------------------------------------------------------------------

struct PixelCase {
    const char* why;
    TgaFile file;
    std::vector<DWORD> expected;  // output pixels, rows top to bottom
};

TgaFile TwoByTwo(unsigned imageType, unsigned depth, unsigned descriptor, Bytes pixels) {
    TgaFile file;
    file.imageType = imageType;
    file.width = 2;
    file.height = 2;
    file.pixelDepth = depth;
    file.descriptor = descriptor;
    file.pixelData = std::move(pixels);
    return file;
}

// File pixels in file order: a, b (first row), c, d (second row).
constexpr DWORD kA = 0x00112233u, kB = 0x00445566u, kC = 0x00778899u, kD = 0x00AABBCCu;

std::vector<PixelCase> PixelCases() {
    const Bytes abcd24 = PixelBytes({kA, kB, kC, kD}, 3);
    std::vector<PixelCase> cases = {
        {"24-bit bottom-left: the last file row is the top output row, alpha 255",
         TwoByTwo(2, 24, 0x00, abcd24),
         {kC | kBlack, kD | kBlack, kA | kBlack, kB | kBlack}},
        {"bottom-right (bits 5-4 = 01): bottom-up and not mirrored",
         TwoByTwo(2, 24, 0x10, abcd24),
         {kC | kBlack, kD | kBlack, kA | kBlack, kB | kBlack}},
        {"top-left (bits 5-4 = 10): row for row",
         TwoByTwo(2, 24, 0x20, abcd24),
         {kA | kBlack, kB | kBlack, kC | kBlack, kD | kBlack}},
        {"top-right (bits 5-4 = 11) is read as bottom-up, not mirrored",
         TwoByTwo(2, 24, 0x30, abcd24),
         {kC | kBlack, kD | kBlack, kA | kBlack, kB | kBlack}},
        {"32-bit top-left keeps each fourth byte as alpha though the attribute bits say 0",
         TwoByTwo(2, 32, 0x20, PixelBytes({0x80010203u, 0x00040506u, 0xFF070809u, 0x7F0A0B0Cu}, 4)),
         {0x80010203u, 0x00040506u, 0xFF070809u, 0x7F0A0B0Cu}},
        {"32-bit with 8 attribute bits, bottom-left",
         TwoByTwo(2, 32, 0x08, PixelBytes({0x80010203u, 0x00040506u, 0xFF070809u, 0x7F0A0B0Cu}, 4)),
         {0xFF070809u, 0x7F0A0B0Cu, 0x80010203u, 0x00040506u}},
        {"16-bit: 5-bit 0, 1, 31 become 0, 15, 255; 16 becomes 135; bit 15 is dropped",
         TwoByTwo(2, 16, 0x20,
                  Words16({0x0000 | 1 << 5 | 31 << 10, 0x8000 | 31, 16 | 16 << 5 | 16 << 10, 0x7FFF})),
         {0xFFFF0F00u, 0xFF0000FFu, 0xFF878787u, 0xFFFFFFFFu}},
        {"15-bit pixels are 2 bytes like 16-bit ones",
         TwoByTwo(2, 15, 0x20, Words16({1, 1 << 5, 1 << 10, 0})),
         {0xFF00000Fu, 0xFF000F00u, 0xFF0F0000u, kBlack}},
        {"8-bit grey: B = G = R = the level, alpha 255",
         TwoByTwo(3, 8, 0x20, {0x00, 0x80, 0xFF, 0x01}),
         {kBlack, 0xFF808080u, 0xFFFFFFFFu, 0xFF010101u}},
        {"16-bit grey is a level and an attribute byte: the level is used, alpha 255 (open point)",
         TwoByTwo(3, 16, 0x20, {0x10, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0x00, 0x01}),
         {0xFF101010u, 0xFF808080u, 0xFFFFFFFFu, kBlack}},
    };

    TgaFile mapped;
    mapped.colorMapType = 1;
    mapped.imageType = 1;
    mapped.firstIndex = 10;
    mapped.mapLength = 2;
    mapped.entrySize = 24;
    mapped.colorMap = PixelBytes({0x123456, 0xABCDEF}, 3);
    mapped.width = 4;
    mapped.pixelDepth = 8;
    mapped.pixelData = {10, 11, 9, 12};
    cases.push_back({"first index 10 maps index 10 to the first entry; indices outside the map are black",
                     mapped,
                     {0xFF123456u, 0xFFABCDEFu, kBlack, kBlack}});

    TgaFile mapped16 = mapped;
    mapped16.firstIndex = 0;
    mapped16.entrySize = 16;
    mapped16.colorMap = Words16({1 << 5 | 31 << 10, 31});
    mapped16.pixelData = {1, 0, 1, 2};
    cases.push_back({"16-bit map entries are widened like 16-bit pixels",
                     mapped16,
                     {0xFF0000FFu, 0xFFFF0F00u, 0xFF0000FFu, kBlack}});

    TgaFile mapped15 = mapped16;
    mapped15.entrySize = 15;
    cases.push_back({"15-bit map entries too", mapped15, {0xFF0000FFu, 0xFFFF0F00u, 0xFF0000FFu, kBlack}});

    TgaFile mapped32 = mapped;
    mapped32.firstIndex = 0;
    mapped32.entrySize = 32;
    mapped32.colorMap = PixelBytes({0x00123456, 0x80ABCDEF}, 4);
    mapped32.pixelData = {0, 1, 1, 0};
    cases.push_back({"32-bit map entries: the pixel depth is 8, so alpha is 255",
                     mapped32,
                     {0xFF123456u, 0xFFABCDEFu, 0xFFABCDEFu, 0xFF123456u}});

    TgaFile mapped8 = mapped;
    mapped8.firstIndex = 0;
    mapped8.entrySize = 8;
    mapped8.colorMap = {0x20, 0xE0};
    mapped8.pixelData = {0, 1, 0, 1};
    cases.push_back(
        {"8-bit map entries are grey levels", mapped8, {0xFF202020u, 0xFFE0E0E0u, 0xFF202020u, 0xFFE0E0E0u}});

    TgaFile emptyMap = mapped;
    emptyMap.mapLength = 0;
    emptyMap.colorMap.clear();
    emptyMap.pixelData = {0x00, 0x40, 0x80, 0xFF};
    cases.push_back({"a colour-mapped file with colour-map length 0 loads as grey",
                     emptyMap,
                     {kBlack, 0xFF404040u, 0xFF808080u, 0xFFFFFFFFu}});

    TgaFile unusedMap;
    unusedMap.colorMapType = 1;
    unusedMap.mapLength = 3;
    unusedMap.entrySize = 24;
    unusedMap.colorMap = Bytes(9, 0xEE);
    unusedMap.width = 2;
    unusedMap.descriptor = 0x20;
    unusedMap.pixelData = PixelBytes({kA, kB}, 3);
    cases.push_back({"a true-colour file skips its colour map and reads the pixels after it",
                     unusedMap,
                     {kA | kBlack, kB | kBlack}});

    TgaFile greyWithMap = unusedMap;
    greyWithMap.imageType = 3;
    greyWithMap.pixelDepth = 8;
    greyWithMap.entrySize = 15;
    greyWithMap.colorMap = Bytes(6, 0xEE);
    greyWithMap.pixelData = {0x11, 0x22};
    cases.push_back({"a grey file skips a map of 2-byte entries", greyWithMap, {0xFF111111u, 0xFF222222u}});

    TgaFile withId = unusedMap;
    withId.imageId = Bytes(255, 'x');
    cases.push_back({"a 255-byte image ID is skipped", withId, {kA | kBlack, kB | kBlack}});

    TgaFile rleGrey = TwoByTwo(11, 8, 0x20, {0x81, 0x40, 0x01, 0x10, 0x20});
    cases.push_back(
        {"type 11: a run then a raw packet", rleGrey, {0xFF404040u, 0xFF404040u, 0xFF101010u, 0xFF202020u}});

    TgaFile rleMapped = mapped;
    rleMapped.imageType = 9;
    rleMapped.pixelData = {0x82, 11, 0x00, 10};
    cases.push_back(
        {"type 9: indices from packets", rleMapped, {0xFFABCDEFu, 0xFFABCDEFu, 0xFFABCDEFu, 0xFF123456u}});

    TgaFile rle16 = TwoByTwo(10, 16, 0x00, {0x83, 0x1F, 0x00});
    cases.push_back({"type 10, 16-bit: one run over both rows",
                     rle16,
                     {0xFF0000FFu, 0xFF0000FFu, 0xFF0000FFu, 0xFF0000FFu}});

    TgaFile rle32 = TwoByTwo(10, 32, 0x28, {0x01, 1, 2, 3, 4, 5, 6, 7, 8, 0x81, 9, 10, 11, 0});
    cases.push_back({"type 10, 32-bit: alpha from the packets",
                     rle32,
                     {0x04030201u, 0x08070605u, 0x000B0A09u, 0x000B0A09u}});
    return cases;
}

TEST(TgaReader, PixelFormatsAndRowOrder) {
    for (const PixelCase& c : PixelCases()) {
        SCOPED_TRACE(c.why);
        const Decoded decoded = Load(c.file.Build());
        ASSERT_EQ(decoded.status, S::ok) << KivLoadStatusText(decoded.status);
        EXPECT_EQ(decoded.rect, CRect(0, 0, static_cast<int>(c.file.width), static_cast<int>(c.file.height)));
        EXPECT_EQ(decoded.pixels, c.expected);
    }
}

// ---- Refusals
// ----------------------------------------------------------------------------------------------

struct RefusalCase {
    const char* why;
    TgaFile file;
    S expected;
};

std::vector<RefusalCase> RefusalCases() {
    TgaFile good;
    good.pixelData = PixelBytes({kA}, 3);
    TgaFile goodMapped;
    goodMapped.colorMapType = 1;
    goodMapped.imageType = 1;
    goodMapped.mapLength = 1;
    goodMapped.entrySize = 24;
    goodMapped.pixelDepth = 8;
    goodMapped.colorMap = PixelBytes({kA}, 3);
    goodMapped.pixelData = {0};

    std::vector<RefusalCase> cases;
    const auto add = [&](const char* why, TgaFile file, S expected) {
        cases.push_back({why, std::move(file), expected});
    };
    TgaFile f;
    f = good, f.width = 0, add("width 0", f, S::corrupt);
    f = good, f.height = 0, add("height 0", f, S::corrupt);
    f = good, f.imageType = 1, add("image type 1 without a colour map", f, S::corrupt);
    f = good, f.imageType = 9, add("image type 9 without a colour map", f, S::corrupt);
    f = good, f.imageType = 0, add("image type 0 (no image data)", f, S::notThisFormat);
    f = good, f.imageType = 4, add("image type 4", f, S::notThisFormat);
    f = good, f.imageType = 32, add("image type 32 (Huffman)", f, S::notThisFormat);
    f = good, f.colorMapType = 2, add("colour-map type 2", f, S::notThisFormat);
    f = good, f.width = 8192, add("a row of 8192 pixels exceeds the 32767-byte work row", f, S::tooLarge);
    f = good, f.height = 32768, add("more rows than the signed 16-bit row counter holds", f, S::tooLarge);
    f = good, f.pixelDepth = 0, add("pixel depth 0", f, S::unsupportedVariant);
    f = good, f.pixelDepth = 33, add("pixel depth 33 needs 5 bytes", f, S::unsupportedVariant);
    f = good, f.pixelDepth = 64, add("pixel depth 64", f, S::unsupportedVariant);
    f = goodMapped, f.pixelDepth = 16, add("colour-mapped with 16-bit indices", f, S::unsupportedVariant);
    f = goodMapped, f.entrySize = 0, add("colour-map entries of 0 bits", f, S::unsupportedVariant);
    f = goodMapped, f.entrySize = 48, add("colour-map entries of 48 bits", f, S::unsupportedVariant);
    f = goodMapped, f.firstIndex = 512, add("first index 512 is past the 512-entry table", f, S::corrupt);
    f = goodMapped, f.mapLength = 513, add("513 entries overflow the table", f, S::corrupt);
    f = goodMapped, f.firstIndex = 65535, f.mapLength = 65535,
    add("16-bit fields that overflow when added", f, S::corrupt);
    return cases;
}

TEST(TgaReader, RefusesWhatItCannotDecode) {
    for (const RefusalCase& c : RefusalCases()) {
        SCOPED_TRACE(c.why);
        EXPECT_EQ(Load(c.file.Build()).status, c.expected);
    }
}

TEST(TgaReader, AcceptsTheLimits) {
    struct Case {
        const char* why;
        unsigned width, height, firstIndex, mapLength;
    } cases[] = {
        {"8191 pixels fill the work row", 8191, 1, 0, 1},
        {"32767 rows", 1, 32767, 0, 1},
        {"first index and length add up to 512 entries", 1, 1, 200, 312},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        TgaFile file;
        file.colorMapType = 1;
        file.imageType = 1;
        file.firstIndex = c.firstIndex;
        file.mapLength = c.mapLength;
        file.entrySize = 32;
        file.colorMap = Bytes(c.mapLength * 4, 0x55);
        file.pixelDepth = 8;
        file.width = c.width;
        file.height = c.height;
        file.pixelData = Bytes(c.width * c.height, static_cast<std::uint8_t>(c.firstIndex));
        const Decoded decoded = Load(file.Build());
        ASSERT_EQ(decoded.status, S::ok);
        EXPECT_EQ(decoded.pixels.front(), 0xFF555555u);
        EXPECT_EQ(decoded.pixels.back(), 0xFF555555u);
    }
}

TEST(TgaReader, FileProblems) {
    ScratchFolder folder;
    CRect rect(1, 2, 3, 4);
    EXPECT_EQ(ReadTgaFile(Wide(folder.File("missing.tga"))).status, S::fileNotFound);
    EXPECT_EQ(KivPictureLoadTGAFile(Wide(folder.File("missing.tga")), rect), nullptr);
    EXPECT_EQ(rect, CRect(1, 2, 3, 4)) << "a failure leaves the rectangle alone";

    TgaFile file;
    file.pixelData = PixelBytes({kA}, 3);
    const Bytes whole = file.Build();
    EXPECT_EQ(Load(Bytes(whole.begin(), whole.begin() + 17)).status, S::truncated)
        << "17 of the 18 header bytes";
    EXPECT_EQ(Load({}).status, S::truncated) << "an empty file";

    std::filesystem::create_directory(folder.Path() / "folder.tga");
    EXPECT_EQ(ReadTgaFile(Wide(folder.File("folder.tga"))).status, S::fileNotFound)
        << "a folder is not a file";
}

// ---- Position
// ----------------------------------------------------------------------------------------------

TEST(TgaReader, RectangleCarriesTheStoredOrigin) {
    TgaFile file;
    file.xOrigin = 100;
    file.yOrigin = 50;
    file.width = 320;
    file.height = 240;
    file.pixelData = Bytes(320 * 240 * 3, 0x7F);
    ScratchFolder folder;
    CRect rect;
    DWORD* pixels = KivPictureLoadTGAFile(folder.Write("origin.tga", file.Build()), rect);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(rect, CRect(100, 50, 420, 290));
    EXPECT_EQ(pixels[320 * 240 - 1], 0xFF7F7F7Fu);
    GlobalFree(pixels);

    file.xOrigin = 65535;
    file.yOrigin = 65535;
    EXPECT_EQ(Load(file.Build()).rect, CRect(65535, 65535, 65535 + 320, 65535 + 240))
        << "origins are unsigned";
}

// ---- Strips and packets
// ------------------------------------------------------------------------------------

// width x height pixels of Pattern, as file rows (bottom-up unless topDown).
Bytes PatternRows(unsigned width, unsigned height, bool topDown, unsigned bytesPerPixel) {
    std::vector<DWORD> words;
    for (unsigned fileRow = 0; fileRow < height; ++fileRow)
        for (unsigned x = 0; x < width; ++x)
            words.push_back(Pattern(x, topDown ? fileRow : height - 1 - fileRow));
    return PixelBytes(words, bytesPerPixel);
}

void ExpectPattern(const Decoded& decoded, unsigned width, unsigned height) {
    ASSERT_EQ(decoded.status, S::ok);
    ASSERT_EQ(decoded.rect.Size(), CSize(static_cast<int>(width), static_cast<int>(height)));
    size_t differ = 0;
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x)
            differ += decoded.At(static_cast<int>(x), static_cast<int>(y)) != Pattern(x, y);
    EXPECT_EQ(differ, 0u);
}

TEST(TgaReader, UnencodedPicturesSpanManyStrips) {
    // 1000 pixels make a 4000-byte work row, so a 32767-byte strip holds 8 rows: 21 rows take 3 strips, the
    // last one short. 8191 pixels leave room for one row per strip.
    for (const auto& [width, height, depth, topDown] :
         {std::tuple{1000u, 21u, 24u, false}, std::tuple{1000u, 21u, 32u, true},
          std::tuple{8191u, 3u, 24u, false}}) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height) + ", " + std::to_string(depth) +
                     " bits");
        TgaFile file;
        file.width = width;
        file.height = height;
        file.pixelDepth = depth;
        file.descriptor = topDown ? 0x20 : 0x00;
        file.pixelData = PatternRows(width, height, topDown, depth / 8);
        file.tail = Bytes(26, 0xEE);  // a footer-sized tail the last strip's read also takes in
        ExpectPattern(Load(file.Build()), width, height);
    }
}

// A run-length encoding of rows that alternates 128-pixel runs and raw packets of up to 128 pixels, with
// packets crossing row ends.
Bytes EncodeRuns(const Bytes& pixels, unsigned bytesPerPixel) {
    Bytes out;
    const size_t count = pixels.size() / bytesPerPixel;
    bool run = true;
    for (size_t at = 0; at < count;) {
        const size_t n = std::min<size_t>(run ? 128 : 97, count - at);
        const std::uint8_t* first = pixels.data() + at * bytesPerPixel;
        if (run) {
            PutU8(out, 0x80 | static_cast<unsigned>(n - 1));
            out.insert(out.end(), first, first + bytesPerPixel);
        } else {
            PutU8(out, static_cast<unsigned>(n - 1));
            out.insert(out.end(), first, first + n * bytesPerPixel);
        }
        at += n;
        run = !run;
    }
    return out;
}

TEST(TgaReader, EncodedFileLoadsLikeTheUnencodedOne) {
    // Runs repeat one value, so the pixels are a run's value where a run is, the pattern elsewhere.
    constexpr unsigned kWidth = 300, kHeight = 40;  // 12000 pixels of 24 bits: several 8192-byte refills
    TgaFile plain;
    plain.width = kWidth;
    plain.height = kHeight;
    Bytes rows = PatternRows(kWidth, kHeight, false, 3);
    Bytes encoded = EncodeRuns(rows, 3);
    // The run's value stands for every pixel of the run in the unencoded file too.
    for (size_t at = 0, run = 1; at < kWidth * kHeight; run = !run) {
        const size_t n = std::min<size_t>(run ? 128 : 97, kWidth * kHeight - at);
        if (run)
            for (size_t i = 1; i < n; ++i) std::copy_n(rows.begin() + at * 3, 3, rows.begin() + (at + i) * 3);
        at += n;
    }
    plain.pixelData = rows;
    TgaFile rle = plain;
    rle.imageType = 10;
    rle.pixelData = encoded;
    const Decoded a = Load(plain.Build());
    const Decoded b = Load(rle.Build());
    ASSERT_EQ(a.status, S::ok);
    ASSERT_EQ(b.status, S::ok);
    EXPECT_EQ(a.pixels, b.pixels);

    // A run packet that crosses the end of a row.
    TgaFile small = plain;
    small.width = 3;
    small.height = 2;
    small.pixelData = PixelBytes({kA, kB, kB, kB, kC, kD}, 3);
    TgaFile smallRle = small;
    smallRle.imageType = 10;
    smallRle.pixelData = {0x00};
    for (std::uint8_t byte : PixelBytes({kA}, 3)) smallRle.pixelData.push_back(byte);
    smallRle.pixelData.push_back(0x82);
    for (std::uint8_t byte : PixelBytes({kB}, 3)) smallRle.pixelData.push_back(byte);
    smallRle.pixelData.push_back(0x01);
    for (std::uint8_t byte : PixelBytes({kC, kD}, 3)) smallRle.pixelData.push_back(byte);
    EXPECT_EQ(Load(small.Build()).pixels, Load(smallRle.Build()).pixels);
}

TEST(TgaReader, PacketsPastThePictureAreIgnored) {
    TgaFile file = TwoByTwo(11, 8, 0x20, {0xFF, 0x33, 0xFF, 0x44});  // 256 pixels for 4
    EXPECT_EQ(Load(file.Build()).pixels, std::vector<DWORD>(4, 0xFF333333u));
}

// ---- Short files
// -------------------------------------------------------------------------------------------

// Our decision: pixels that a short file lacks are zero, so opaque black, or transparent black in a
// 32-bit picture; the load still succeeds.
TEST(TgaReader, RowsAShortFileLacksAreBlack) {
    struct Case {
        const char* why;
        TgaFile file;
        std::vector<DWORD> expected;
    };
    std::vector<Case> cases;
    cases.push_back({"24-bit top-left: the pixels after the cut",
                     TwoByTwo(2, 24, 0x20, PixelBytes({kA, kB, kC}, 3)),
                     {kA | kBlack, kB | kBlack, kC | kBlack, kBlack}});
    cases.push_back({"a cut inside a pixel loses that pixel",
                     TwoByTwo(2, 24, 0x20, {0x33, 0x22, 0x11, 0x66, 0x55}),
                     {kA | kBlack, kBlack, kBlack, kBlack}});
    cases.push_back({"bottom-up: the top output rows are the ones missing",
                     TwoByTwo(2, 24, 0x00, PixelBytes({kA, kB}, 3)),
                     {kBlack, kBlack, kA | kBlack, kB | kBlack}});
    cases.push_back({"32-bit: missing pixels are transparent black",
                     TwoByTwo(2, 32, 0x20, PixelBytes({0x80112233u}, 4)),
                     {0x80112233u, 0, 0, 0}});
    cases.push_back({"no pixel data at all", TwoByTwo(3, 8, 0x20, {}), {kBlack, kBlack, kBlack, kBlack}});
    cases.push_back({"run-length: the file ends inside a raw packet",
                     TwoByTwo(11, 8, 0x20, {0x03, 0x10, 0x20}),
                     {0xFF101010u, 0xFF202020u, kBlack, kBlack}});
    cases.push_back({"run-length: the file ends inside a run's value",
                     TwoByTwo(10, 24, 0x20, {0x80, 0x33, 0x22, 0x11, 0x81, 0x66}),
                     {kA | kBlack, kBlack, kBlack, kBlack}});
    cases.push_back({"run-length: the file ends after a packet header",
                     TwoByTwo(10, 24, 0x20, {0x80, 0x33, 0x22, 0x11, 0x01}),
                     {kA | kBlack, kBlack, kBlack, kBlack}});

    TgaFile mapped;
    mapped.colorMapType = 1;
    mapped.imageType = 1;
    mapped.mapLength = 2;
    mapped.entrySize = 24;
    mapped.colorMap = PixelBytes({0x123456, 0xABCDEF}, 3);
    mapped.width = 2;
    mapped.height = 2;
    mapped.pixelDepth = 8;
    mapped.descriptor = 0x20;
    mapped.pixelData = {1};
    cases.push_back({"colour-mapped: missing pixels are black, not entry 0",
                     mapped,
                     {0xFFABCDEFu, kBlack, kBlack, kBlack}});
    TgaFile shortMap = mapped;
    shortMap.colorMap.resize(4);
    shortMap.pixelData.clear();
    cases.push_back({"a colour map cut short: no pixels follow", shortMap, {kBlack, kBlack, kBlack, kBlack}});
    TgaFile shortId = TwoByTwo(2, 24, 0x20, {});
    shortId.idLength = 200;
    shortId.imageId = Bytes(10, 'x');
    cases.push_back({"an image ID cut short", shortId, {kBlack, kBlack, kBlack, kBlack}});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.why);
        const Decoded decoded = Load(c.file.Build());
        ASSERT_EQ(decoded.status, S::ok);
        EXPECT_EQ(decoded.pixels, c.expected);
    }
}

TEST(TgaReader, AShortFileOfManyStripsKeepsWhatItHas) {
    constexpr unsigned kWidth = 1000, kHeight = 30, kRowsPresent = 17;
    TgaFile file;
    file.width = kWidth;
    file.height = kHeight;
    file.descriptor = 0x20;
    file.pixelData = PatternRows(kWidth, kRowsPresent, true, 3);
    for (const unsigned type : {2u, 10u}) {
        SCOPED_TRACE(type == 2 ? "unencoded" : "run-length");
        TgaFile f = file;
        f.imageType = type;
        if (type == 10) f.pixelData = EncodeRuns(file.pixelData, 3);
        const Decoded decoded = Load(f.Build());
        ASSERT_EQ(decoded.status, S::ok);
        EXPECT_EQ(decoded.At(kWidth - 1, kRowsPresent - 1) == kBlack, false);
        for (unsigned y = kRowsPresent; y < kHeight; ++y)
            for (unsigned x = 0; x < kWidth; x += 111)
                ASSERT_EQ(decoded.At(static_cast<int>(x), static_cast<int>(y)), kBlack);
    }
}

// ---- Version 2 files
// ---------------------------------------------------------------------------------------

TEST(TgaReader, AVersion2FileLoadsLikeAVersion1File) {
    TgaFile v1 = TwoByTwo(2, 24, 0x00, PixelBytes({kA, kB, kC, kD}, 3));
    TgaFile v2 = v1;
    v2.imageId = Bytes(64, 0);
    std::memcpy(v2.imageId.data(), "Kivlumen-32Bit-TrueColor-TGA", 28);
    const Bytes withoutTail = v2.Build();
    // Postage stamp, extension area and footer, laid out with the shared codecs.
    Bytes stamp = {1, 1};
    for (std::uint8_t byte : PixelBytes({kA}, 3)) stamp.push_back(byte);
    TgaFileInfo info{};
    info.extensionSize = tga::kExtensionAreaBytes;
    info.stampYear = 2026;
    info.softwareVersionLetter = ' ';
    info.postageStampOffset = static_cast<DWORD>(withoutTail.size());
    info.extensionAreaOffset = static_cast<DWORD>(withoutTail.size() + stamp.size());
    std::memcpy(info.signature, tga::kSignature, tga::kSignatureBytes);
    BYTE extension[tga::kExtensionAreaBytes] = {};
    BYTE footer[tga::kFooterBytes] = {};
    tga::EncodeExtensionArea(info, extension);
    tga::EncodeFooter(info, footer);
    v2.tail = stamp;
    v2.tail.insert(v2.tail.end(), std::begin(extension), std::end(extension));
    v2.tail.insert(v2.tail.end(), std::begin(footer), std::end(footer));

    const Decoded a = Load(v1.Build());
    const Decoded b = Load(v2.Build());
    ASSERT_EQ(a.status, S::ok);
    ASSERT_EQ(b.status, S::ok);
    EXPECT_EQ(a.rect, b.rect);
    EXPECT_EQ(a.pixels, b.pixels);
}

// ---- Dispatch
// ----------------------------------------------------------------------------------------------

TEST(TgaReader, TheDispatchTriesTgaFirst) {
    ScratchFolder folder;
    TgaFile file = TwoByTwo(2, 24, 0x20, PixelBytes({kA, kB, kC, kD}, 3));
    for (const char* name : {"upper.TGA", "mixed.Tga", "other.dat", "noextension"}) {
        SCOPED_TRACE(name);
        CRect rect;
        KivLoadStatus status = S::unknownFormat;
        DWORD* pixels = KivPictureLoadPicFileEx(folder.Write(name, file.Build()), rect, &status);
        ASSERT_NE(pixels, nullptr) << KivLoadStatusText(status);
        EXPECT_EQ(pixels[0], kA | kBlack);
        GlobalFree(pixels);
    }
    // A bitmap under another extension: the TGA header check turns it away (its bytes 12 to 15 read as a
    // width of 0, and "BM" as colour-map type 0x4D), and the BMP reader takes it.
    const CString bitmap = folder.Write("bitmap.dat", ReadFileBytes(TestDataPath("bmp/rgb24.bmp")));
    EXPECT_EQ(ReadTgaFile(bitmap).status, S::corrupt);
    CRect rect;
    DWORD* pixels = KivPictureLoadPicFile(bitmap, rect);
    EXPECT_NE(pixels, nullptr);
    GlobalFree(pixels);
}

TEST(TgaFileInfoLayout, HeaderFieldsSitAtTheirOffsets) {
    TgaFile file;
    file.colorMapType = 1;
    file.imageType = 9;
    file.firstIndex = 0x0102;
    file.mapLength = 0x0304;
    file.entrySize = 24;
    file.xOrigin = 0x0506;
    file.yOrigin = 0x0708;
    file.width = 0x090A;
    file.height = 0x0B0C;
    file.pixelDepth = 8;
    file.descriptor = 0x28;
    file.idLength = 7;
    const Bytes bytes = file.Build();
    BYTE raw[tga::kHeaderBytes];
    std::copy_n(bytes.begin(), tga::kHeaderBytes, raw);
    TgaFileInfo info{};
    tga::DecodeHeader(raw, info);
    EXPECT_EQ(info.idLength, 7);
    EXPECT_EQ(info.colorMapType, 1);
    EXPECT_EQ(info.imageType, 9);
    EXPECT_EQ(info.colorMapFirstIndex, 0x0102);
    EXPECT_EQ(info.colorMapLength, 0x0304);
    EXPECT_EQ(info.colorMapEntrySize, 24);
    EXPECT_EQ(info.xOrigin, 0x0506);
    EXPECT_EQ(info.yOrigin, 0x0708);
    EXPECT_EQ(info.width, 0x090A);
    EXPECT_EQ(info.height, 0x0B0C);
    EXPECT_EQ(info.pixelDepth, 8);
    EXPECT_EQ(info.imageDescriptor, 0x28);
    BYTE again[tga::kHeaderBytes] = {};
    tga::EncodeHeader(info, again);
    EXPECT_TRUE(std::equal(std::begin(again), std::end(again), bytes.begin()));
}

TEST(TgaFileInfoLayout, ExtensionAreaAndFooter) {
    TgaFileInfo info{};
    info.extensionSize = tga::kExtensionAreaBytes;
    info.stampMonth = 12;
    info.stampDay = 6;
    info.stampYear = 2026;
    info.stampSecond = 59;
    info.softwareVersionLetter = ' ';
    info.postageStampOffset = 0x11223344;
    info.attributesType = 3;
    info.extensionAreaOffset = 0x01020304;
    std::memcpy(info.signature, tga::kSignature, tga::kSignatureBytes);
    BYTE extension[tga::kExtensionAreaBytes] = {};
    tga::EncodeExtensionArea(info, extension);
    EXPECT_EQ(extension[0] | extension[1] << 8, 495);
    EXPECT_EQ(extension[367], 12);
    EXPECT_EQ(extension[369], 6);
    EXPECT_EQ(extension[371] | extension[372] << 8, 2026);
    EXPECT_EQ(extension[377], 59);
    EXPECT_EQ(extension[469], ' ');
    EXPECT_EQ(extension[486], 0x44);
    EXPECT_EQ(extension[489], 0x11);
    EXPECT_EQ(extension[494], 3);
    TgaFileInfo back{};
    tga::DecodeExtensionArea(extension, back);
    EXPECT_EQ(back.stampYear, 2026);
    EXPECT_EQ(back.postageStampOffset, 0x11223344u);

    BYTE footer[tga::kFooterBytes] = {};
    tga::EncodeFooter(info, footer);
    EXPECT_EQ(footer[0], 0x04);
    EXPECT_EQ(footer[3], 0x01);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(footer + 8)), "TRUEVISION-XFILE.");
    EXPECT_EQ(footer[25], 0);
    TgaFileInfo footerBack{};
    tga::DecodeFooter(footer, footerBack);
    EXPECT_EQ(footerBack.extensionAreaOffset, 0x01020304u);
}

}  // namespace
