// The JPEG writer: a baseline file of quality 30 that our reader and the JPEG library itself decode to
// the region's colours within the loss of that quality; alpha has no effect; an empty region and a
// missing folder fail without a file.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "readers/JpegLibrary.h"

namespace {

int Save(const std::string& path, std::vector<DWORD>& pixels, int cx, int cy, CRect region) {
    return KivPictureSaveJPGFile(Wide(path), pixels.data(), CSize(cx, cy), region);
}

// A file decoded by the JPEG library alone, to RGB, without the reader's colour quantisation.
struct PlainDecode {
    JDIMENSION width = 0, height = 0;
    int components = 0;
    bool progressive = false, arithmetic = false;
    unsigned lumaDc = 0, lumaFirstAc = 0, chromaDc = 0;  // quantiser steps of the first tables, natural order
    std::vector<std::uint8_t> rgb;
};

// The library reports errors by jumping back: nothing in this frame has a destructor.
bool DecodeWithLibrary(const char* path, PlainDecode& out) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return false;
    jpeg_decompress_struct info;
    JpegErrorJump error;
    info.err = InstallJpegErrorJump(error);
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        std::fclose(file);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    out.width = info.image_width;
    out.height = info.image_height;
    out.components = info.num_components;
    out.progressive = info.progressive_mode;
    out.arithmetic = info.arith_code;
    if (info.quant_tbl_ptrs[0]) {
        out.lumaDc = info.quant_tbl_ptrs[0]->quantval[0];
        out.lumaFirstAc = info.quant_tbl_ptrs[0]->quantval[1];
    }
    if (info.quant_tbl_ptrs[1]) out.chromaDc = info.quant_tbl_ptrs[1]->quantval[0];
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    out.rgb.assign(static_cast<size_t>(info.output_width) * info.output_height * 3, 0);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = out.rgb.data() + static_cast<size_t>(info.output_scanline) * info.output_width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return true;
}

// The start-of-frame markers in the file, found by walking the marker segments up to the first scan.
std::vector<int> FrameMarkers(const Bytes& file) {
    std::vector<int> frames;
    size_t at = 2;  // after SOI
    while (at + 4 <= file.size() && file[at] == 0xFF) {
        const int marker = file[at + 1];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            frames.push_back(marker);
        if (marker == 0xDA) break;  // start of scan: entropy-coded data follows
        at += 2 + (static_cast<size_t>(file[at + 2]) << 8 | file[at + 3]);
    }
    return frames;
}

// A smooth picture: red rises to the right, green downwards, blue along the diagonal; alpha varies.
std::vector<DWORD> Gradient(int cx, int cy) {
    std::vector<DWORD> pixels;
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x)
            pixels.push_back(static_cast<DWORD>((x * 3 + y) & 0xFF) << 24 |
                             static_cast<DWORD>(x * 255 / (cx - 1)) << 16 |
                             static_cast<DWORD>(y * 255 / (cy - 1)) << 8 |
                             static_cast<DWORD>((x + y) * 255 / (cx + cy - 2)));
    return pixels;
}

}  // namespace

TEST(JpgWriter, PureRedLoadsBackRedThroughTheReader) {
    ScratchFolder folder;
    std::vector<DWORD> pixels(24 * 16, 0xFFFF0000u);
    ASSERT_EQ(Save(folder.File("red.jpg"), pixels, 24, 16, CRect(0, 0, 24, 16)), 1);
    LoadedPicture back;
    back.pixels = KivPictureLoadJPGFile(Wide(folder.File("red.jpg")), back.rect);
    ASSERT_NE(back.pixels, nullptr);
    ASSERT_EQ(back.rect, CRect(0, 0, 24, 16));
    // A flat block keeps only its DC term, off by at most half a quantiser step; the reader's 128-colour
    // palette then picks the nearest entry to one colour, which is that colour. 16 levels is generous.
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x) {
            const tagCOLOR32 p = tagCOLOR32::FromWord(back.At(x, y));
            ASSERT_GE(p.red, 255 - 16) << x << "," << y;
            ASSERT_LE(p.green, 16) << x << "," << y;
            ASSERT_LE(p.blue, 16) << x << "," << y;
            ASSERT_EQ(p.alpha, 255) << x << "," << y;
        }
}

TEST(JpgWriter, BaselineQuality30ThreeComponents) {
    ScratchFolder folder;
    auto pixels = Gradient(40, 30);
    ASSERT_EQ(Save(folder.File("g.jpg"), pixels, 40, 30, CRect(5, 3, 38, 28)), 1);
    const Bytes file = ReadFileBytes(folder.File("g.jpg"));
    EXPECT_EQ(FrameMarkers(file), std::vector<int>{0xC0}) << "one frame, baseline (SOF0)";
    PlainDecode decoded;
    ASSERT_TRUE(DecodeWithLibrary(folder.File("g.jpg").c_str(), decoded));
    EXPECT_EQ(decoded.width, 33u) << "the region's width";
    EXPECT_EQ(decoded.height, 25u) << "the region's height";
    EXPECT_EQ(decoded.components, 3);
    EXPECT_FALSE(decoded.progressive);
    EXPECT_FALSE(decoded.arithmetic);
    // Quality 30 scales the standard tables by 5000 / 30 = 166 percent, rounded: (q * 166 + 50) / 100.
    EXPECT_EQ(decoded.lumaDc, 27u) << "luminance DC step 16 at quality 30";
    EXPECT_EQ(decoded.lumaFirstAc, 18u) << "luminance first AC step 11 at quality 30";
    EXPECT_EQ(decoded.chromaDc, 28u) << "chrominance DC step 17 at quality 30";
}

// The library's own decode against the source region. The ramps climb 5 to 7 levels per pixel, so an
// 8 x 8 block spans about 40 levels: its DC and first AC terms survive quality 30 (steps 27 and 17-18,
// rounding each by one or two levels), but its small higher odd terms fall under steps of 40 to 100 and
// are dropped, which bends the ramp by a few levels inside each block; chroma is coded at half resolution
// with steps from 28. That costs about 2 to 3.5 levels per channel on average. Bounds of 6 levels mean
// and 24 for the worst pixel leave room for that, while a swapped channel, a shifted row or a wrong region
// costs tens of levels.
TEST(JpgWriter, PixelsWithinTheLossOfQuality30) {
    ScratchFolder folder;
    auto pixels = Gradient(48, 40);
    const CRect region(4, 6, 44, 38);
    ASSERT_EQ(Save(folder.File("g.jpg"), pixels, 48, 40, region), 1);
    PlainDecode decoded;
    ASSERT_TRUE(DecodeWithLibrary(folder.File("g.jpg").c_str(), decoded));
    ASSERT_EQ(decoded.width, 40u);
    ASSERT_EQ(decoded.height, 32u);
    double error[3] = {0, 0, 0};
    int worst = 0;
    for (int y = 0; y < region.Height(); ++y)
        for (int x = 0; x < region.Width(); ++x) {
            const tagCOLOR32 source =
                tagCOLOR32::FromWord(pixels[static_cast<size_t>(region.top + y) * 48 + region.left + x]);
            const std::uint8_t* got = &decoded.rgb[(static_cast<size_t>(y) * 40 + x) * 3];
            const int differences[3] = {std::abs(got[0] - source.red), std::abs(got[1] - source.green),
                                        std::abs(got[2] - source.blue)};
            for (int c = 0; c < 3; ++c) {
                error[c] += differences[c];
                worst = std::max(worst, differences[c]);
            }
        }
    const char* names[3] = {"red", "green", "blue"};
    for (int c = 0; c < 3; ++c) EXPECT_LT(error[c] / (40 * 32), 6.0) << names[c] << " mean absolute error";
    EXPECT_LT(worst, 24) << "the largest error of one channel of one pixel";
}

TEST(JpgWriter, AlphaHasNoEffect) {
    ScratchFolder folder;
    auto opaque = Gradient(20, 12);
    auto varied = opaque;
    for (size_t i = 0; i < varied.size(); ++i) {
        opaque[i] |= 0xFF000000u;
        varied[i] = (varied[i] & 0x00FFFFFFu) | static_cast<DWORD>(i * 53 % 256) << 24;
    }
    ASSERT_EQ(Save(folder.File("a.jpg"), opaque, 20, 12, CRect(0, 0, 20, 12)), 1);
    ASSERT_EQ(Save(folder.File("b.jpg"), varied, 20, 12, CRect(0, 0, 20, 12)), 1);
    EXPECT_EQ(ReadFileBytes(folder.File("a.jpg")), ReadFileBytes(folder.File("b.jpg")));
}

TEST(JpgWriter, FailuresWriteNothing) {
    struct FailCase {
        std::string name;
        CRect region;
        const char* reason;
    };
    const FailCase cases[] = {
        {"e.jpg", CRect(16, 0, 20, 16), "a region wholly outside the buffer"},
        {"e.jpg", CRect(3, 3, 3, 9), "a region of no width"},
        {"e.jpg", CRect(8, 8, 2, 2), "right before left"},
        {"no/such/folder/e.jpg", CRect(0, 0, 16, 16), "a folder that does not exist"},
    };
    for (const FailCase& c : cases) {
        ScratchFolder folder;
        auto pixels = Gradient(16, 16);
        EXPECT_EQ(Save(folder.File(c.name), pixels, 16, 16, c.region), 0) << c.reason;
        EXPECT_TRUE(std::filesystem::is_empty(folder.Path())) << c.reason << ": no file is left";
    }
}

// A picture wider than the library's limit of 65 500 columns: the library stops the compression with a
// fatal error, which must come back as a result of 0 with the earlier file untouched and no temporary
// file left.
TEST(JpgWriter, LibraryErrorLeavesTheOldFile) {
    ScratchFolder folder;
    const std::string path = folder.File("wide.jpg");
    const Bytes old(100, 0x5C);
    WriteFileBytes(path, old);
    std::vector<DWORD> pixels(65501, 0xFF808080u);
    EXPECT_EQ(Save(path, pixels, 65501, 1, CRect(0, 0, 65501, 1)), 0);
    EXPECT_EQ(ReadFileBytes(path), old);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()),
                            std::filesystem::directory_iterator()),
              1);
}
