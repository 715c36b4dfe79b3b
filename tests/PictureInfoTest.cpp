// The header probe: each format's acceptance rule, the rectangle and bits it reports, and the extension
// deciding which probe runs.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "TestFiles.h"
#include "readers/JpegLibrary.h"

namespace {

Bytes BmpHeader(int width, int height, int bits) {
    Bytes b = {'B', 'M'};
    PutU32(b, 0);
    PutU32(b, 0);
    PutU32(b, 54);
    PutU32(b, 40);
    PutU32(b, static_cast<std::uint32_t>(width));
    PutU32(b, static_cast<std::uint32_t>(height));
    PutU16(b, 1);
    PutU16(b, static_cast<unsigned>(bits));
    for (int i = 0; i < 6; ++i) PutU32(b, 0);
    PutU32(b, 0);  // first pixel row bytes
    return b;
}

Bytes TgaHeader(int mapType, int imageType, int x, int y, int width, int height, int depth) {
    Bytes b = {0, static_cast<std::uint8_t>(mapType), static_cast<std::uint8_t>(imageType)};
    PutU16(b, 0);
    PutU16(b, mapType ? 2 : 0);
    PutU8(b, mapType ? 24 : 0);
    PutU16(b, static_cast<unsigned>(x));
    PutU16(b, static_cast<unsigned>(y));
    PutU16(b, static_cast<unsigned>(width));
    PutU16(b, static_cast<unsigned>(height));
    PutU8(b, static_cast<unsigned>(depth));
    PutU8(b, 0);
    b.resize(b.size() + 64, 0);  // colour map and pixels; the probe does not read them
    return b;
}

Bytes GifHeader(int width, int height, int packed) {
    Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
    PutU16(b, static_cast<unsigned>(width));
    PutU16(b, static_cast<unsigned>(height));
    PutU8(b, static_cast<unsigned>(packed));
    PutU8(b, 0);
    PutU8(b, 0);
    PutU8(b, 0x3B);
    return b;
}

Bytes PcxHeader(int manufacturer, int xMin, int yMin, int xMax, int yMax, int bits, int planes) {
    Bytes b(128, 0);
    b[0] = static_cast<std::uint8_t>(manufacturer);
    b[1] = 5;
    b[2] = 1;
    b[3] = static_cast<std::uint8_t>(bits);
    const int fields[] = {xMin, yMin, xMax, yMax};
    for (int i = 0; i < 4; ++i) {
        b[4 + 2 * i] = static_cast<std::uint8_t>(fields[i]);
        b[5 + 2 * i] = static_cast<std::uint8_t>(fields[i] >> 8);
    }
    b[65] = static_cast<std::uint8_t>(planes);
    return b;
}

Bytes PsdHeader(const char* signature, int version, int reservedByte, std::uint32_t rows,
                std::uint32_t columns, int depth) {
    Bytes b(signature, signature + 4);
    const auto be16 = [&](unsigned v) {
        b.push_back(static_cast<std::uint8_t>(v >> 8));
        b.push_back(static_cast<std::uint8_t>(v));
    };
    const auto be32 = [&](std::uint32_t v) {
        be16(v >> 16);
        be16(v & 0xFFFF);
    };
    be16(static_cast<unsigned>(version));
    b.insert(b.end(), 6, 0);
    b[8] = static_cast<std::uint8_t>(reservedByte);
    be16(3);
    be32(rows);
    be32(columns);
    be16(static_cast<unsigned>(depth));
    be16(3);
    return b;
}

// A small JPEG written with the JPEG library.
Bytes Jpeg(int width, int height, int components, J_COLOR_SPACE space) {
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(width);
    info.image_height = static_cast<JDIMENSION>(height);
    info.input_components = components;
    info.in_color_space = space;
    jpeg_set_defaults(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<JSAMPLE> row(static_cast<size_t>(width * components), 128);
    while (info.next_scanline < info.image_height) {
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    Bytes out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

struct ProbeCase {
    const char* reason;
    const char* name;
    Bytes bytes;
    bool ok;
    CRect rect;
    int bits;
};

class PictureInfo : public testing::TestWithParam<ProbeCase> {};

TEST_P(PictureInfo, ReportsHeaderFacts) {
    const ProbeCase& c = GetParam();
    ScratchFolder folder;
    const CString path = folder.Write(c.name, c.bytes);
    RECT rect{-1, -1, -1, -1};
    int bits = -1;
    ASSERT_EQ(KivPictureGetPicInfo(path, &rect, &bits), c.ok ? 1 : 0) << c.reason;
    if (c.ok) {
        EXPECT_EQ(CRect(rect), c.rect) << c.reason;
        EXPECT_EQ(bits, c.bits) << c.reason;
    } else {
        EXPECT_EQ(rect.left, -1) << "nothing is written on failure";
        EXPECT_EQ(bits, -1) << "nothing is written on failure";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Formats, PictureInfo,
    testing::Values(
        ProbeCase{"bottom-up BMP", "a.bmp", BmpHeader(40, 30, 24), true, CRect(0, 0, 40, 30), 24},
        ProbeCase{"top-down BMP reports its absolute height", "a.bmp", BmpHeader(40, -30, 8), true,
                  CRect(0, 0, 40, 30), 8},
        ProbeCase{".DIB is probed as BMP", "a.DIB", BmpHeader(5, 6, 1), true, CRect(0, 0, 5, 6), 1},
        ProbeCase{"negative BMP width fails", "a.bmp", BmpHeader(-4, 6, 24), false, {}, 0},
        ProbeCase{"zero BMP height fails", "a.bmp", BmpHeader(4, 0, 24), false, {}, 0},
        ProbeCase{"the extension decides: a BMP named .tga fails the TGA probe",
                  "a.tga",
                  BmpHeader(4, 4, 24),
                  false,
                  {},
                  0},
        ProbeCase{"TGA reports its stored origin", "a.tga", TgaHeader(0, 2, 7, 9, 100, 50, 32), true,
                  CRect(7, 9, 107, 59), 32},
        ProbeCase{"run-length colour-mapped TGA", "a.TGA", TgaHeader(1, 9, 0, 0, 3, 2, 8), true,
                  CRect(0, 0, 3, 2), 8},
        ProbeCase{
            "colour-mapped TGA without a map fails", "a.tga", TgaHeader(0, 1, 0, 0, 3, 2, 8), false, {}, 0},
        ProbeCase{"TGA image type 4 fails", "a.tga", TgaHeader(0, 4, 0, 0, 3, 2, 8), false, {}, 0},
        ProbeCase{"TGA colour-map type 2 fails", "a.tga", TgaHeader(2, 2, 0, 0, 3, 2, 24), false, {}, 0},
        ProbeCase{"TGA zero width fails", "a.tga", TgaHeader(0, 2, 0, 0, 0, 2, 24), false, {}, 0},
        ProbeCase{"GIF packed 0xF7 reports 8 bits and the screen size", "a.gif", GifHeader(320, 200, 0xF7),
                  true, CRect(0, 0, 320, 200), 8},
        ProbeCase{"GIF packed 0x80 reports 1 bit", "a.gif", GifHeader(1, 1, 0x80), true, CRect(0, 0, 1, 1),
                  1},
        ProbeCase{"GIF zero screen height fails", "a.gif", GifHeader(10, 0, 0xF7), false, {}, 0},
        ProbeCase{"PCX reports inclusive maxima plus one and bits times planes", "a.pcx",
                  PcxHeader(10, 10, 20, 109, 219, 8, 3), true, CRect(10, 20, 110, 220), 24},
        ProbeCase{
            "PCX manufacturer other than 10 fails", "a.pcx", PcxHeader(11, 0, 0, 9, 9, 8, 1), false, {}, 0},
        ProbeCase{"PSD reports columns and rows and the channel depth", "a.psd",
                  PsdHeader("8BPS", 1, 0, 30, 40, 16), true, CRect(0, 0, 40, 30), 16},
        ProbeCase{"PSD version 2 fails", "a.psd", PsdHeader("8BPS", 2, 0, 30, 40, 8), false, {}, 0},
        ProbeCase{
            "PSD nonzero reserved byte fails", "a.psd", PsdHeader("8BPS", 1, 1, 30, 40, 8), false, {}, 0},
        ProbeCase{"PSD wrong signature fails", "a.psd", PsdHeader("8BPX", 1, 0, 30, 40, 8), false, {}, 0},
        ProbeCase{"grey JPEG reports 8 bits", "a.jpg", Jpeg(17, 9, 1, JCS_GRAYSCALE), true,
                  CRect(0, 0, 17, 9), 8},
        ProbeCase{"colour JPEG reports 24 bits", "a.JPG", Jpeg(8, 33, 3, JCS_RGB), true, CRect(0, 0, 8, 33),
                  24},
        ProbeCase{"CMYK JPEG reports 24 bits", "a.jpg", Jpeg(4, 4, 4, JCS_CMYK), true, CRect(0, 0, 4, 4), 24},
        ProbeCase{".JPEG is not a known extension", "a.jpeg", Jpeg(4, 4, 1, JCS_GRAYSCALE), false, {}, 0},
        ProbeCase{"a BMP header in a JPEG-named file fails", "a.jpg", BmpHeader(4, 4, 24), false, {}, 0},
        ProbeCase{"a header cut short fails", "a.pcx", Bytes{10, 5, 1, 8}, false, {}, 0},
        ProbeCase{"an empty file fails", "a.gif", Bytes{}, false, {}, 0}));

TEST(PictureInfoCalls, NullOutputsStillAnswer) {
    ScratchFolder folder;
    const CString path = folder.Write("a.bmp", BmpHeader(2, 2, 32));
    EXPECT_EQ(KivPictureGetPicInfo(path, nullptr, nullptr), 1);
    EXPECT_EQ(KivPictureGetPicInfo(Wide(folder.File("missing.bmp")), nullptr, nullptr), 0);
    EXPECT_EQ(KivPictureGetPicInfo(Wide(folder.Path().string()), nullptr, nullptr), 0)
        << "a folder is not a file";
}

TEST(PictureInfoCalls, TruncatedJpegFailsAndLeavesOutputsAlone) {
    ScratchFolder folder;
    Bytes jpeg = Jpeg(16, 16, 3, JCS_RGB);
    jpeg.resize(20);
    RECT rect{1, 2, 3, 4};
    EXPECT_EQ(KivPictureGetPicInfo(folder.Write("cut.jpg", jpeg), &rect, nullptr), 0);
    EXPECT_EQ(CRect(rect), CRect(1, 2, 3, 4));
}

}  // namespace
