// The bilinear scaled load: fixed-point positions, product-table weights, clamping flags, and the
// clip and placement rectangles of the second form.

#include <gtest/gtest.h>

#include <vector>

#include "TestFiles.h"

namespace {

constexpr DWORD kUntouched = 0x12345678u;

// Saves opaque pixels as a picture the dispatch can read back unchanged.
CString SavePicture(const ScratchFolder& folder, int width, int height, std::vector<DWORD> pixels) {
    const CString path = Wide(folder.File("picture.bmp"));
    EXPECT_EQ(KivPictureSaveBMPFile(path, pixels.data(), CSize(width, height), CRect(0, 0, width, height)),
              1);
    return path;
}

std::vector<tagCOLOR32> Block(int width, int height, DWORD fill = kUntouched) {
    return std::vector<tagCOLOR32>(static_cast<size_t>(width) * height, tagCOLOR32::FromWord(fill));
}

// 65025 / 65536 of a channel, truncated: what a sample at a pixel's exact position gives.
BYTE Scaled(BYTE v) {
    return static_cast<BYTE>((v * 65025u) >> 16);
}

class Zoom : public testing::Test {
  protected:
    void SetUp() override { KivPictureOpen(); }
    ScratchFolder folder_;
};

TEST_F(Zoom, SameSizeSamplesEachPixelAtItsOwnPlace) {
    // xstep = 2 * 256 / 2 + 1 = 257 and x0 = 0: column 0 is sampled with fraction 0, column 1 with 1/256
    // towards a neighbour clamped onto itself.
    const std::vector<DWORD> pixels = {0xFF0000FFu, 0xFF00FF00u, 0xFFFF0000u, 0xFF808080u};
    const CString path = SavePicture(folder_, 2, 2, pixels);
    auto target = Block(2, 2);
    ASSERT_EQ(KivPictureZoomPicFile(path, target.data(), CSize(2, 2), 2), 1);
    for (int i = 0; i < 4; ++i) {
        const tagCOLOR32 source = tagCOLOR32::FromWord(pixels[i]);
        EXPECT_EQ(target[i], (tagCOLOR32{Scaled(source.blue), Scaled(source.green), Scaled(source.red), 253}))
            << "pixel " << i << ": channels come out as 253/255 of the source";
    }
}

TEST_F(Zoom, OnePixelFillsTheWholeBlock) {
    const CString path = SavePicture(folder_, 1, 1, {0xFFC86432u});
    auto target = Block(4, 4);
    ASSERT_EQ(KivPictureZoomPicFile(path, target.data(), CSize(4, 4), 2), 1);
    for (const tagCOLOR32& pixel : target)
        EXPECT_EQ(pixel, (tagCOLOR32{Scaled(0x32), Scaled(0x64), Scaled(0xC8), Scaled(0xFF)}));
}

TEST_F(Zoom, PositionsPastTheRightEdgeRepeatTheLastColumn) {
    // A 2 x 1 picture into 256 x 1: xstep = 3, x0 = -127. Column 212 (x = 509) still lies inside; from
    // column 213 on the sample lies past the last column, which raises flags 2 and 32, so the alpha counts
    // only the lower-left corner, whose weight is 0 on a one-row picture.
    const CString path = SavePicture(folder_, 2, 1, {0xFF102030u, 0xFFFFFFFFu});
    auto target = Block(256, 1);
    ASSERT_EQ(KivPictureZoomPicFile(path, target.data(), CSize(256, 1), 2), 1);
    EXPECT_EQ(target[212].Word(), 0xFDFDFDFDu) << "inside: colour and alpha 253";
    EXPECT_EQ(target[213].Word(), 0x00FDFDFDu) << "past the edge: colour of the last column, no alpha weight";
    EXPECT_EQ(target[255].Word(), 0x00FDFDFDu);
}

TEST_F(Zoom, MixModes) {
    // A half-transparent target under an opaque picture: mode 0 lays the sample over the target, mode 1
    // the target over the sample, mode 2 replaces it, alpha included.
    const CString path = SavePicture(folder_, 1, 1, {0xFFFFFFFFu});
    const tagCOLOR32 sample{253, 253, 253, 253};
    const tagCOLOR32 before = tagCOLOR32::FromWord(0x80000000u);
    for (const MIXMODE mode : {0, 1, 2}) {
        auto target = Block(1, 1, before.Word());
        ASSERT_EQ(KivPictureZoomPicFile(path, target.data(), CSize(1, 1), mode), 1);
        const tagCOLOR32 expected = mode == 0   ? KivPublicMixColor(sample, before, 1)
                                    : mode == 1 ? KivPublicMixColor(before, sample, 1)
                                                : sample;
        EXPECT_EQ(target[0], expected) << "mode " << mode;
    }
}

TEST_F(Zoom, FailuresLeaveTheTargetAlone) {
    auto target = Block(3, 3);
    const auto untouched = target;
    EXPECT_EQ(KivPictureZoomPicFile(Wide(folder_.File("missing.bmp")), target.data(), CSize(3, 3), 2), 0);
    WriteFileBytes(folder_.File("junk.bmp"), Bytes(100, 0x55));
    EXPECT_EQ(KivPictureZoomPicFile(Wide(folder_.File("junk.bmp")), target.data(), CSize(3, 3), 2), 0);
    const CString path = SavePicture(folder_, 1, 1, {0xFF000000u});
    EXPECT_EQ(KivPictureZoomPicFile(path, target.data(), CSize(0, 3), 2), 0) << "an empty block has no step";
    EXPECT_EQ(KivPictureZoomPicFile(path, nullptr, CSize(3, 3), 2), 0);
    EXPECT_EQ(target, untouched);
}

struct RegionCase {
    const char* reason;
    CRect clip;
    CRect placement;
    CRect updated;  // the target pixels expected to change
};

class ZoomRegion : public Zoom, public testing::WithParamInterface<RegionCase> {};

TEST_P(ZoomRegion, UpdatesOnlyInsideClipAndPlacement) {
    const RegionCase& c = GetParam();
    const CString path = SavePicture(folder_, 2, 2, std::vector<DWORD>(4, 0xFFFFFFFFu));
    auto target = Block(8, 6);
    ASSERT_EQ(KivPictureZoomPicFile(path, c.clip, c.placement, CSize(8, 6), target.data(), 2), 1) << c.reason;
    for (int y = 0; y < 6; ++y)
        for (int x = 0; x < 8; ++x) {
            const bool inside =
                x >= c.updated.left && x < c.updated.right && y >= c.updated.top && y < c.updated.bottom;
            const DWORD word = target[static_cast<size_t>(y) * 8 + x].Word();
            EXPECT_EQ(word != kUntouched, inside) << c.reason << " at (" << x << ", " << y << ")";
        }
}

INSTANTIATE_TEST_SUITE_P(Rectangles, ZoomRegion,
                         testing::Values(RegionCase{"the whole block", CRect(0, 0, 8, 6), CRect(0, 0, 8, 6),
                                                    CRect(0, 0, 8, 6)},
                                         RegionCase{"an empty placement takes the picture's own rectangle",
                                                    CRect(0, 0, 8, 6), CRect(), CRect(0, 0, 2, 2)},
                                         RegionCase{"the clip is cut to the block", CRect(-5, -5, 50, 50),
                                                    CRect(3, 1, 7, 4), CRect(3, 1, 7, 4)},
                                         RegionCase{"only the overlap of clip and placement",
                                                    CRect(1, 1, 5, 5), CRect(3, 2, 8, 6), CRect(3, 2, 5, 5)},
                                         RegionCase{"no overlap updates nothing and still succeeds",
                                                    CRect(0, 0, 2, 2), CRect(4, 4, 8, 6), CRect()}));

}  // namespace
