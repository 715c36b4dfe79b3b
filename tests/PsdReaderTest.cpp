// The PSD reader on files built byte by byte: every colour mode at 8 and 16 bits, raw and PackBits
// samples, the resource walk, refused headers and sections, truncated and oversized files.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "PsdFormulas.h"
#include "TestFiles.h"
#include "readers/PsdLayout.h"
#include "readers/Readers.h"

namespace {

using S = KivLoadStatus;

void PutBE16(Bytes& out, unsigned value) {
    PutU8(out, (value >> 8) & 0xFF);
    PutU8(out, value & 0xFF);
}
void PutBE32(Bytes& out, std::uint32_t value) {
    PutBE16(out, value >> 16);
    PutBE16(out, value & 0xFFFF);
}
void Append(Bytes& out, const Bytes& more) {
    out.insert(out.end(), more.begin(), more.end());
}

enum Mode : unsigned {
    kBitmap = 0,
    kGrey = 1,
    kIndexed = 2,
    kRgb = 3,
    kCmyk = 4,
    kMulti = 7,
    kDuotone = 8,
    kLab = 9
};

// One PSD file: header, the three length-prefixed sections, the compression code and the image data.
struct PsdFile {
    std::string signature = "8BPS";
    unsigned version = 1;
    unsigned reservedByte = 0;  // written into the last reserved byte
    unsigned channels = 3;
    std::uint32_t width = 1;
    std::uint32_t height = 1;
    unsigned depth = 8;
    unsigned mode = kRgb;
    Bytes colorModeData;
    Bytes resources;
    Bytes layers;
    unsigned compression = 0;
    Bytes imageData;

    Bytes Build() const {
        Bytes out(signature.begin(), signature.end());
        PutBE16(out, version);
        for (int i = 0; i < 5; ++i) PutU8(out, 0);
        PutU8(out, reservedByte);
        PutBE16(out, channels);
        PutBE32(out, height);
        PutBE32(out, width);
        PutBE16(out, depth);
        PutBE16(out, mode);
        for (const Bytes* section : {&colorModeData, &resources, &layers}) {
            PutBE32(out, static_cast<std::uint32_t>(section->size()));
            Append(out, *section);
        }
        PutBE16(out, compression);
        Append(out, imageData);
        return out;
    }
};

// An image resource block: the name padded so that its length byte and it are even, the data padded to
// an even size.
Bytes Resource(unsigned id, const std::string& name, const Bytes& data, const char* signature = "8BIM") {
    Bytes out(signature, signature + 4);
    PutBE16(out, id);
    PutU8(out, static_cast<unsigned>(name.size()));
    out.insert(out.end(), name.begin(), name.end());
    if (name.size() % 2 == 0) PutU8(out, 0);
    PutBE32(out, static_cast<std::uint32_t>(data.size()));
    Append(out, data);
    if (data.size() % 2 == 1) PutU8(out, 0);
    return out;
}

Bytes IndexedColorCount(unsigned count) {
    Bytes data;
    PutBE16(data, count);
    return Resource(1046, "", data);
}

// A colour table whose entry i is red i, green 255 - i, blue i ^ 0x55.
Bytes ColorTable() {
    Bytes table(768);
    for (unsigned i = 0; i < 256; ++i) {
        table[i] = static_cast<std::uint8_t>(i);
        table[256 + i] = static_cast<std::uint8_t>(255 - i);
        table[512 + i] = static_cast<std::uint8_t>(i ^ 0x55);
    }
    return table;
}

// A picture of one row of raw 8-bit samples, given channel after channel.
PsdFile Raw(unsigned mode, std::uint32_t width, std::vector<Bytes> channels, unsigned depth = 8) {
    PsdFile file;
    file.mode = mode;
    file.width = width;
    file.depth = depth;
    file.channels = static_cast<unsigned>(channels.size());
    for (const Bytes& channel : channels) Append(file.imageData, channel);
    return file;
}

// A row-length table of height x channels entries (the reader skips it) followed by PackBits data.
Bytes PackBits(unsigned entries, const Bytes& data) {
    Bytes out;
    for (unsigned i = 0; i < entries; ++i) PutBE16(out, 0x7777);  // nonsense: the table is not consulted
    Append(out, data);
    return out;
}

struct Decoded {
    KivLoadStatus status = S::ok;
    CRect rect;
    std::vector<DWORD> pixels;
};

Decoded Load(const Bytes& bytes) {
    ScratchFolder folder;
    DecodedPicture picture = ReadPsdFile(folder.Write("picture.psd", bytes));
    Decoded decoded;
    decoded.status = picture.status;
    if (!picture.ok()) return decoded;
    decoded.rect = picture.rect;
    const DWORD* pixels = picture.pixels.get();
    decoded.pixels.assign(pixels, pixels + static_cast<size_t>(picture.rect.Width()) * picture.rect.Height());
    return decoded;
}

void ExpectPixels(const PsdFile& file, const std::vector<DWORD>& expected, const std::string& reason) {
    const Decoded got = Load(file.Build());
    ASSERT_EQ(got.status, S::ok) << reason << ": " << KivLoadStatusText(got.status);
    EXPECT_EQ(got.rect, CRect(0, 0, static_cast<int>(file.width), static_cast<int>(file.height))) << reason;
    EXPECT_EQ(got.pixels, expected) << reason;
}

struct PixelCase {
    const char* reason;
    PsdFile file;
    std::vector<DWORD> expected;
};

PsdFile WithColorModeData(PsdFile file, Bytes data) {
    file.colorModeData = std::move(data);
    return file;
}
PsdFile WithResources(PsdFile file, Bytes resources) {
    file.resources = std::move(resources);
    return file;
}
PsdFile Indexed(Bytes colorModeData, Bytes resources) {
    return WithResources(WithColorModeData(Raw(kIndexed, 3, {{0, 2, 255}}), std::move(colorModeData)),
                         std::move(resources));
}

}  // namespace

TEST(PsdReader, ConvertsEveryColourMode) {
    const PixelCase cases[] = {
        {"grey: blue, green and red are the sample", Raw(kGrey, 2, {{0x5A, 0xFF}}), {0xFF5A5A5A, 0xFFFFFFFF}},
        {"duotone reads as grey; its colour-mode data is not used",
         WithColorModeData(Raw(kDuotone, 1, {{0x80}}), Bytes(10, 0x33)),
         {0xFF808080}},
        {"grey with an alpha channel steps by two samples and ignores the alpha",
         Raw(kGrey, 2, {{10, 20}, {200, 100}}),
         {0xFF0A0A0A, 0xFF141414}},
        {"RGB of three channels is opaque", Raw(kRgb, 1, {{1}, {2}, {3}}), {0xFF010203}},
        {"RGB's fourth channel is alpha", Raw(kRgb, 1, {{1}, {2}, {3}, {0x40}}), {0x40010203}},
        {"RGB's channels past the fourth are not read",
         Raw(kRgb, 1, {{1}, {2}, {3}, {0x40}, {0x99}}),
         {0x40010203}},
        {"RGB with two channels stays all zero", Raw(kRgb, 1, {{1}, {2}}), {0}},
        {"CMYK with no ink gives 253: the divisor is 256",
         Raw(kCmyk, 1, {{255}, {255}, {255}, {255}}),
         {0xFFFDFDFD}},
        {"CMYK with full ink gives black", Raw(kCmyk, 1, {{0}, {0}, {0}, {0}}), {0xFF000000}},
        // 128 x 200 x 255 / 65536 = 99.6, 64 x 200 x 255 / 65536 = 49.8, 255 x 200 x 255 / 65536 = 198.4
        {"CMYK mixes each ink with the key", Raw(kCmyk, 1, {{128}, {64}, {255}, {200}}), {0xFF6331C6}},
        {"CMYK spot channels past the fourth are not read",
         Raw(kCmyk, 1, {{255}, {255}, {255}, {255}, {0}}),
         {0xFFFDFDFD}},
        {"CMYK with three channels stays all zero", Raw(kCmyk, 1, {{1}, {2}, {3}}), {0}},
        // k = 0: 255 x 255 / 256 = 254.0, 128 x 255 / 256 = 127.5
        {"multichannel of three channels has no key", Raw(kMulti, 1, {{255}, {128}, {0}}), {0xFFFE7F00}},
        // 255 x 128 x 255 / 65536 = 127.0
        {"multichannel of four channels takes the key from the fourth",
         Raw(kMulti, 1, {{255}, {255}, {255}, {128}}),
         {0xFF7F7F7F}},
        {"multichannel of five channels has no key",
         Raw(kMulti, 1, {{255}, {128}, {0}, {0}, {0}}),
         {0xFFFE7F00}},
        {"multichannel of two channels stays all zero", Raw(kMulti, 1, {{255}, {128}}), {0}},
        // L = 99, 50, 53, 53 and a, b = (0, 0), (0, 0), (80, 67), (-128, 127)
        {"Lab: white, mid grey, red beyond the gamut, green",
         Raw(kLab, 4, {{255, 128, 138, 138}, {128, 128, 208, 0}, {128, 128, 195, 255}}),
         {0xFFFDFDFD, 0xFF777777, 0xFFFF0000, 0xFF00A100}},
        {"Lab's alpha channel is not read", Raw(kLab, 1, {{0}, {128}, {128}, {77}}), {0xFF000000}},
        {"indexed: red, green and blue from the three thirds of the table",
         Indexed(ColorTable(), IndexedColorCount(3)),
         {0xFF00FF55, 0xFF02FD57, 0xFFFF00AA}},
        {"indexed: the count limits no index",
         Indexed(ColorTable(), IndexedColorCount(1)),
         {0xFF00FF55, 0xFF02FD57, 0xFFFF00AA}},
        {"indexed without resource 1046 stays all zero", Indexed(ColorTable(), {}), {0, 0, 0}},
        {"indexed with a count of 0 stays all zero", Indexed(ColorTable(), IndexedColorCount(0)), {0, 0, 0}},
        {"indexed with a negative count stays all zero",
         Indexed(ColorTable(), IndexedColorCount(0x8000)),
         {0, 0, 0}},
        {"indexed with a table of 767 bytes stays all zero",
         Indexed(Bytes(767, 9), IndexedColorCount(3)),
         {0, 0, 0}},
        {"bitmap mode at 8 bits is not converted: transparent black", Raw(kBitmap, 1, {{0xFF}}), {0}},
        {"an unknown mode is not converted", Raw(5, 1, {{1}, {2}, {3}}), {0}},
        {"16-bit grey keeps the high byte",
         Raw(kGrey, 2, {{0x12, 0x34, 0xFF, 0x01}}, 16),
         {0xFF121212, 0xFFFFFFFF}},
        {"16-bit RGB keeps the high byte of each sample",
         Raw(kRgb, 1, {{0xAB, 0x01}, {0xCD, 0x02}, {0xEF, 0x03}}, 16),
         {0xFFABCDEF}},
        {"16-bit RGBA keeps the high byte of the alpha",
         Raw(kRgb, 1, {{0xAB, 0x01}, {0xCD, 0x02}, {0xEF, 0x03}, {0x80, 0xFF}}, 16),
         {0x80ABCDEF}},
        {"16-bit CMYK uses the high bytes against 256",
         Raw(kCmyk, 1, {{255, 255}, {255, 0}, {255, 9}, {255, 255}}, 16),
         {0xFFFDFDFD}},
        {"16-bit Lab uses the high bytes", Raw(kLab, 1, {{255, 255}, {128, 1}, {128, 2}}, 16), {0xFFFDFDFD}},
    };
    for (const PixelCase& c : cases) ExpectPixels(c.file, c.expected, c.reason);
}

TEST(PsdReader, InkConversionMatchesTheFormulaForEverySampleAndKey) {
    std::vector<BYTE> pixels(256 * 256 * 4);
    for (unsigned key = 0; key < 256; ++key)
        for (unsigned s = 0; s < 256; ++s) {
            BYTE* p = &pixels[(key * 256 + s) * 4];
            p[0] = p[1] = p[2] = static_cast<BYTE>(s);
            p[3] = static_cast<BYTE>(key);
        }
    ConvertPsdPixels(pixels.data(), 256 * 256, PsdConversion{kCmyk, 4, nullptr});
    for (unsigned key = 0; key < 256; ++key)
        for (unsigned s = 0; s < 256; ++s) {
            const BYTE expected = psdtest::Ink(s, psdtest::Key(key));
            const BYTE* p = &pixels[(key * 256 + s) * 4];
            ASSERT_TRUE(p[0] == expected && p[1] == expected && p[2] == expected && p[3] == 255)
                << "sample " << s << " key " << key;
        }
}

TEST(PsdReader, LabConversionMatchesTheFormula) {
    std::vector<BYTE> pixels;
    std::vector<DWORD> expected;
    for (unsigned l = 0; l < 256; l += 3)
        for (unsigned a = 0; a < 256; a += 5)
            for (unsigned b = 1; b < 256; b += 7) {
                pixels.insert(pixels.end(),
                              {static_cast<BYTE>(l), static_cast<BYTE>(a), static_cast<BYTE>(b), 0});
                expected.push_back(psdtest::LabPixel(l, a, b));
            }
    ConvertPsdPixels(pixels.data(), expected.size(), PsdConversion{kLab, 3, nullptr});
    for (size_t i = 0; i < expected.size(); ++i) {
        const DWORD got = pixels[i * 4] | pixels[i * 4 + 1] << 8 | pixels[i * 4 + 2] << 16 |
                          static_cast<DWORD>(pixels[i * 4 + 3]) << 24;
        ASSERT_EQ(got, expected[i]) << "pixel " << i;
    }
}

TEST(PsdReader, DecodesPackBits) {
    const auto packed = [](unsigned mode, unsigned channels, std::uint32_t width, Bytes data,
                           unsigned depth = 8) {
        PsdFile file;
        file.mode = mode;
        file.channels = channels;
        file.width = width;
        file.depth = depth;
        file.compression = 1;
        file.imageData = PackBits(channels * file.height, data);
        return file;
    };
    const PixelCase cases[] = {
        {"a header of 128 does nothing; then a literal of two and a run of two",
         packed(kGrey, 1, 4, {0x80, 0x01, 0x0A, 0x0B, 0xFF, 0x0C}),
         {0xFF0A0A0A, 0xFF0B0B0B, 0xFF0C0C0C, 0xFF0C0C0C}},
        {"a run crossing the end of a channel is clipped; the next channel starts at the next header",
         packed(kRgb, 3, 2, {0xFD, 0x11, 0x01, 0x22, 0x33, 0x01, 0x44, 0x55}),
         {0xFF112244, 0xFF113355}},
        {"a literal crossing the end of a channel is clipped and its bytes passed over",
         packed(kRgb, 3, 1, {0x02, 0x11, 0xEE, 0xEE, 0x00, 0x22, 0x00, 0x33}),
         {0xFF112233}},
        {"a run of 128 past the end of the picture is clipped",
         packed(kGrey, 1, 2, {0x81, 0x77}),
         {0xFF777777, 0xFF777777}},
        {"16-bit samples keep their high bytes",
         packed(kGrey, 1, 2, {0x03, 0x12, 0x34, 0x56, 0x78, 0xFF}, 16),
         {0xFF121212, 0xFF565656}},
        {"16-bit runs repeat a byte into high and low halves",
         packed(kRgb, 3, 1, {0xFF, 0xAA, 0xFF, 0xBB, 0xFF, 0xCC}, 16),
         {0xFFAABBCC}},
        {"the channels past the converted ones are not decoded",
         packed(kRgb, 5, 1, {0x00, 1, 0x00, 2, 0x00, 3, 0x00, 4, 0xFF}),
         {0x04010203}},
    };
    for (const PixelCase& c : cases) ExpectPixels(c.file, c.expected, c.reason);
}

TEST(PsdReader, WalksImageResources) {
    Bytes oddAndEven = Resource(1005, "ab", {1, 2, 3});
    ASSERT_EQ(oddAndEven.size(), 4u + 2 + (1 + 2 + 1) + 4 + (3 + 1));
    Append(oddAndEven, IndexedColorCount(3));
    Bytes oddName = Resource(1033, "a", Bytes(5, 0));  // an odd name length has no pad
    Append(oddName, IndexedColorCount(3));
    Bytes junkFirst{'M', 'e', 'S', 'a'};  // only "8BIM" is looked for, four bytes at a time
    Append(junkFirst, IndexedColorCount(3));
    Bytes emptyThenCount = Resource(1000, "", {});
    Append(emptyThenCount, IndexedColorCount(3));
    Bytes countLast = IndexedColorCount(0);
    Append(countLast, IndexedColorCount(2));
    const std::vector<DWORD> converted{0xFF00FF55, 0xFF02FD57, 0xFFFF00AA};
    const PixelCase cases[] = {
        {"an odd data size and an even name length both take their pad byte",
         Indexed(ColorTable(), oddAndEven), converted},
        {"an odd name length takes no pad byte", Indexed(ColorTable(), oddName), converted},
        {"four bytes that are not a signature are passed over", Indexed(ColorTable(), junkFirst), converted},
        {"a block of size 0 has no data", Indexed(ColorTable(), emptyThenCount), converted},
        {"the last count resource counts", Indexed(ColorTable(), countLast), converted},
        {"a count resource of one byte leaves the count unknown",
         Indexed(ColorTable(), Resource(1046, "", {5})),
         {0, 0, 0}},
    };
    for (const PixelCase& c : cases) ExpectPixels(c.file, c.expected, c.reason);
}

struct RefusalCase {
    const char* reason;
    Bytes bytes;
    KivLoadStatus expected;
};

Bytes Cut(Bytes bytes, size_t count) {
    bytes.resize(bytes.size() - count);
    return bytes;
}

Bytes WithField32(Bytes bytes, size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    return bytes;
}

TEST(PsdReader, RefusesBrokenFiles) {
    const PsdFile rgb = Raw(kRgb, 2, {{1, 2}, {3, 4}, {5, 6}});
    const auto with = [&](auto change) {
        PsdFile file = rgb;
        change(file);
        return file.Build();
    };
    PsdFile huge = Raw(kGrey, 1, {{0}});
    huge.width = 65535;
    huge.height = 65535;
    Bytes overrun = Resource(1005, "", Bytes(8, 0));
    overrun.resize(overrun.size() - 2);  // the block's data runs past its section
    const RefusalCase cases[] = {
        {"another signature", with([](PsdFile& f) { f.signature = "8BPX"; }), S::notThisFormat},
        {"the large-document version", with([](PsdFile& f) { f.version = 2; }), S::unsupportedVariant},
        {"an unknown version", with([](PsdFile& f) { f.version = 3; }), S::corrupt},
        {"a reserved byte not zero", with([](PsdFile& f) { f.reservedByte = 1; }), S::corrupt},
        {"a header cut short", Bytes{'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0}, S::truncated},
        {"1-bit samples", with([](PsdFile& f) { f.depth = 1; }), S::unsupportedVariant},
        {"32-bit samples", with([](PsdFile& f) { f.depth = 32; }), S::unsupportedVariant},
        {"zip compression", with([](PsdFile& f) { f.compression = 2; }), S::unsupportedVariant},
        {"zip compression with prediction", with([](PsdFile& f) { f.compression = 3; }),
         S::unsupportedVariant},
        {"an unknown compression", with([](PsdFile& f) { f.compression = 4; }), S::corrupt},
        {"no channel", with([](PsdFile& f) { f.channels = 0; }), S::corrupt},
        {"a negative channel count", with([](PsdFile& f) { f.channels = 0x8000; }), S::corrupt},
        {"no column", with([](PsdFile& f) { f.width = 0; }), S::corrupt},
        {"raw samples a byte short", Cut(rgb.Build(), 1), S::truncated},
        {"PackBits data that ends early", with([](PsdFile& f) {
             f.compression = 1, f.imageData = PackBits(3, {0x01, 1, 2, 0x01, 3});
         }),
         S::truncated},
        {"a row-length table cut short", with([](PsdFile& f) {
             f.compression = 1, f.imageData = {0, 0};
         }),
         S::truncated},
        {"no compression code", Cut(rgb.Build(), 8), S::truncated},
        {"colour-mode data longer than the file", WithField32(rgb.Build(), 26, 1000), S::truncated},
        {"resources longer than the file", WithField32(rgb.Build(), 30, 1000), S::truncated},
        {"layers longer than the file", WithField32(rgb.Build(), 34, 1000), S::truncated},
        {"a resource block running past its section", with([&](PsdFile& f) { f.resources = overrun; }),
         S::corrupt},
        {"a section ending inside a block header",
         with([](PsdFile& f) { f.resources = {'8', 'B', 'I', 'M', 0, 0}; }), S::corrupt},
        {"a section ending inside a signature", with([](PsdFile& f) {
             f.resources = {'8', 'B'};
         }),
         S::corrupt},
        {"65535 x 65535 pixels claimed by a few bytes", huge.Build(), S::truncated},
    };
    for (const RefusalCase& c : cases) EXPECT_EQ(Load(c.bytes).status, c.expected) << c.reason;
}

TEST(PsdReader, RefusesPicturesWhoseByteSizeDoesNotFit) {
    // 32768 x 32768 pixels need 2^32 bytes; 16 MiB of PackBits data could hold their samples.
    PsdFile file = Raw(kGrey, 1, {{}});
    file.width = 32768;
    file.height = 32768;
    file.compression = 1;
    file.imageData = Bytes(32768 * 2 + 16 * 1024 * 1024, 0x81);
    EXPECT_EQ(Load(file.Build()).status, S::tooLarge);
}

TEST(PsdReader, ExportedLoadSetsTheRectangleOnlyOnSuccess) {
    ScratchFolder folder;
    PsdFile file = Raw(kGrey, 3, {{1, 2, 3, 4, 5, 6}});
    file.height = 2;
    CRect rect(7, 7, 7, 7);
    DWORD* pixels = KivPictureLoadPSDFile(folder.Write("a.psd", file.Build()), rect);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(rect, CRect(0, 0, 3, 2));
    EXPECT_EQ(pixels[5], 0xFF060606u);  // rows top to bottom
    GlobalFree(pixels);

    CRect untouched(7, 7, 7, 7);
    EXPECT_EQ(KivPictureLoadPSDFile(folder.Write("b.psd", Cut(file.Build(), 1)), untouched), nullptr);
    EXPECT_EQ(untouched, CRect(7, 7, 7, 7));
    EXPECT_EQ(KivPictureLoadPSDFile(Wide(folder.File("missing.psd")), untouched), nullptr);
    EXPECT_EQ(ReadPsdFile(Wide(folder.File("missing.psd"))).status, S::fileNotFound);
}

