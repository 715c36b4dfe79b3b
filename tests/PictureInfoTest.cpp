// The header probe: each format's acceptance rule, the rectangle and bits it reports, and the extension
// deciding which probe runs.

#include <gtest/gtest.h>

#include "JpegReference.h"
#include "TestFiles.h"

namespace {

Bytes Bmp(int width, int height, int bits) {
    Bytes b = {'B', 'M'};
    for (int v : {0, 0, 54, 40, width, height}) PutU32(b, static_cast<std::uint32_t>(v));
    PutU16(b, 1);
    PutU16(b, static_cast<unsigned>(bits));
    b.resize(58, 0);  // the rest of the header and one row
    return b;
}

Bytes Tga(int mapType, int imageType, int x, int y, int width, int height, int depth) {
    Bytes b = {0, static_cast<std::uint8_t>(mapType), static_cast<std::uint8_t>(imageType), 0, 0};
    PutU16(b, mapType ? 2 : 0);
    PutU8(b, mapType ? 24 : 0);
    for (int v : {x, y, width, height}) PutU16(b, static_cast<unsigned>(v));
    PutU16(b, static_cast<unsigned>(depth));
    b.resize(b.size() + 64, 0);  // colour map and pixels, which the probe does not read
    return b;
}

Bytes Gif(int width, int height, int packed) {
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    PutU16(b, static_cast<unsigned>(width));
    PutU16(b, static_cast<unsigned>(height));
    for (int v : {packed, 0, 0, 0x3B}) PutU8(b, static_cast<unsigned>(v));
    return b;
}

Bytes Pcx(int manufacturer, int xMin, int yMin, int xMax, int yMax, int bits, int planes) {
    Bytes b = {static_cast<std::uint8_t>(manufacturer), 5, 1, static_cast<std::uint8_t>(bits)};
    for (int v : {xMin, yMin, xMax, yMax}) PutU16(b, static_cast<unsigned>(v));
    b.resize(128, 0);
    b[65] = static_cast<std::uint8_t>(planes);
    return b;
}

Bytes Psd(const char* signature, int version, int reserved, int rows, int columns, int depth) {
    Bytes b(signature, signature + 4);
    for (int v : {version >> 8, version, reserved, 0, 0, 0, 0, 0, 0, 3})
        b.push_back(static_cast<std::uint8_t>(v));
    for (int v : {rows, columns})
        for (int shift : {24, 16, 8, 0}) b.push_back(static_cast<std::uint8_t>(v >> shift));
    for (int v : {0, depth, 0, 3}) b.push_back(static_cast<std::uint8_t>(v));
    return b;
}

// A JPEG of the library's own making; colour spaces as the library numbers them: 1 grey, 2 RGB, 4 CMYK.
Bytes Jpeg(unsigned width, unsigned height, int components, int space) {
    JpegSource source;
    source.width = width;
    source.height = height;
    source.components = components;
    source.inputColourSpace = space;
    source.samples.assign(static_cast<size_t>(width) * height * components, 128);
    return CompressJpeg(source);
}

Bytes Cut(Bytes bytes, size_t length) {
    bytes.resize(length);
    return bytes;
}

}  // namespace

TEST(PictureInfo, ReportsHeaderFacts) {
    const struct {
        const char* name;
        Bytes bytes;
        CRect rect;  // empty: refused
        int bits;
        const char* reason;
    } cases[] = {
        {"a.bmp", Bmp(40, 30, 24), CRect(0, 0, 40, 30), 24, "bottom-up BMP"},
        {"a.bmp", Bmp(40, -30, 8), CRect(0, 0, 40, 30), 8, "top-down BMP: its absolute height"},
        {"a.DIB", Bmp(5, 6, 1), CRect(0, 0, 5, 6), 1, ".DIB is probed as BMP"},
        {"a.bmp", Bmp(-4, 6, 24), CRect(), 0, "negative BMP width"},
        {"a.bmp", Bmp(4, 0, 24), CRect(), 0, "zero BMP height"},
        {"a.tga", Bmp(4, 4, 24), CRect(), 0, "the extension decides: a BMP named .tga fails the TGA probe"},
        {"a.tga", Tga(0, 2, 7, 9, 100, 50, 32), CRect(7, 9, 107, 59), 32, "TGA: its stored origin"},
        {"a.TGA", Tga(1, 9, 0, 0, 3, 2, 8), CRect(0, 0, 3, 2), 8, "run-length colour-mapped TGA"},
        {"a.tga", Tga(0, 1, 0, 0, 3, 2, 8), CRect(), 0, "colour-mapped TGA without a map"},
        {"a.tga", Tga(0, 4, 0, 0, 3, 2, 8), CRect(), 0, "TGA image type 4"},
        {"a.tga", Tga(2, 2, 0, 0, 3, 2, 24), CRect(), 0, "TGA colour-map type 2"},
        {"a.tga", Tga(0, 2, 0, 0, 0, 2, 24), CRect(), 0, "TGA of zero width"},
        {"a.gif", Gif(320, 200, 0xF7), CRect(0, 0, 320, 200), 8, "GIF packed 0xF7: 8 bits, the screen size"},
        {"a.gif", Gif(1, 1, 0x80), CRect(0, 0, 1, 1), 1, "GIF packed 0x80: 1 bit"},
        {"a.gif", Gif(10, 0, 0xF7), CRect(), 0, "GIF of zero screen height"},
        {"a.pcx", Pcx(10, 10, 20, 109, 219, 8, 3), CRect(10, 20, 110, 220), 24,
         "PCX: inclusive maxima plus one, bits times planes"},
        {"a.pcx", Pcx(11, 0, 0, 9, 9, 8, 1), CRect(), 0, "PCX manufacturer other than 10"},
        {"a.psd", Psd("8BPS", 1, 0, 30, 40, 16), CRect(0, 0, 40, 30), 16,
         "PSD: columns, rows, channel depth"},
        {"a.psd", Psd("8BPS", 2, 0, 30, 40, 8), CRect(), 0, "PSD version 2"},
        {"a.psd", Psd("8BPS", 1, 1, 30, 40, 8), CRect(), 0, "PSD with a reserved byte set"},
        {"a.psd", Psd("8BPX", 1, 0, 30, 40, 8), CRect(), 0, "PSD with a wrong signature"},
        {"a.jpg", Jpeg(17, 9, 1, 1), CRect(0, 0, 17, 9), 8, "grey JPEG: 8 bits"},
        {"a.JPG", Jpeg(8, 33, 3, 2), CRect(0, 0, 8, 33), 24, "colour JPEG: 24 bits"},
        {"a.jpg", Jpeg(4, 4, 4, 4), CRect(0, 0, 4, 4), 24, "CMYK JPEG: 24 bits"},
        {"a.jpg", Cut(Jpeg(16, 16, 3, 2), 20), CRect(), 0, "a JPEG cut inside its header"},
        {"a.jpeg", Jpeg(4, 4, 1, 1), CRect(), 0, ".JPEG is not a known extension"},
        {"a.jpg", Bmp(4, 4, 24), CRect(), 0, "a BMP named .jpg"},
        {"a.pcx", Bytes{10, 5, 1, 8}, CRect(), 0, "a header cut short"},
        {"a.gif", Bytes{}, CRect(), 0, "an empty file"},
    };
    for (const auto& c : cases) {
        ScratchFolder folder;
        const CString path = folder.Write(c.name, c.bytes);
        RECT rect{-1, -1, -1, -1};
        int bits = -1;
        ASSERT_EQ(KivPictureGetPicInfo(path, &rect, &bits), c.rect.IsRectEmpty() ? 0 : 1) << c.reason;
        EXPECT_EQ(CRect(rect), c.rect.IsRectEmpty() ? CRect(-1, -1, -1, -1) : c.rect) << c.reason;
        EXPECT_EQ(bits, c.rect.IsRectEmpty() ? -1 : c.bits) << c.reason << ": nothing is written on failure";
        EXPECT_EQ(KivPictureGetPicInfo(path, nullptr, nullptr), c.rect.IsRectEmpty() ? 0 : 1) << c.reason;
    }
    ScratchFolder folder;
    EXPECT_EQ(KivPictureGetPicInfo(Wide(folder.File("missing.bmp")), nullptr, nullptr), 0);
    EXPECT_EQ(KivPictureGetPicInfo(Wide(folder.Path().string()), nullptr, nullptr), 0) << "a folder";
}
