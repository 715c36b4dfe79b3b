// The block fills and the pixel work behind the window fills: the background bitmap fill (which file, how it
// tiles, what a missing file leaves), the public library's stretch and background pattern, and the colour
// library's bar. Expected pixels are worked out by hand.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

#include "CoreTestSupport.h"
#include "libraries/KivColor.h"
#include "libraries/KivModuleRC.h"

namespace {

constexpr DWORD kUntouched = 0x12345678u;

// Points KIV_DATA_DIR at a folder and chooses the video standard for one test, restoring both after it.
class FillSettings {
  public:
    FillSettings(const std::string& folder, bool hd) {
        if (const char* before = std::getenv("KIV_DATA_DIR")) before_ = before;
        ::setenv("KIV_DATA_DIR", folder.c_str(), 1);
        CKivVideoStd::SetVideoStdHD(hd);
    }
    ~FillSettings() {
        if (before_) ::setenv("KIV_DATA_DIR", before_->c_str(), 1);
        else ::unsetenv("KIV_DATA_DIR");
        CKivVideoStd::SetVideoStdHD(FALSE);
    }

  private:
    std::optional<std::string> before_;
};

// A block viewing pixels of its own, every one kUntouched at the start.
struct Block {
    int cx;
    std::vector<DWORD> pixels;
    CKivMemBlock block;
    Block(int width, int height) : cx(width), pixels(static_cast<size_t>(width) * height, kUntouched) {
        block.InitBlock(CSize(width, height), reinterpret_cast<tagCOLOR32*>(pixels.data()), 0);
    }
    DWORD At(int x, int y) const { return pixels[static_cast<size_t>(y) * cx + x]; }
};

// A square bitmap of one colour, or (colour 0) of colours naming each pixel's place.
Bytes Tile(int side, std::uint32_t colour = 0) {
    std::vector<std::uint32_t> pixels;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) pixels.push_back(colour ? colour : 0x400000u | (x << 8 | y));
    return Bmp24(side, side, pixels);
}

}  // namespace

// 100 x 50 with a 32 x 32 tile: 4 x 2 tiles, the fourth column 4 pixels wide and the second row 18 high;
// without tiling one copy at the top-left corner and the rest untouched.
TEST(FillBack, TilesOrLaysOneCopy) {
    ScratchFolder folder;
    folder.Write("BackGray.bmp", Tile(32));
    FillSettings settings(folder.Path(), false);
    for (const int tile : {1, 0}) {
        Block target(100, 50);
        ASSERT_EQ(KivPictureFillBack(&target.block, 1, tile), 1);
        for (int y = 0; y < 50; ++y)
            for (int x = 0; x < 100; ++x) {
                const bool covered = tile || (x < 32 && y < 32);
                const DWORD expected = covered ? 0xFF400000u | ((x % 32) << 8 | (y % 32)) : kUntouched;
                ASSERT_EQ(target.At(x, y), expected) << "tile " << tile << " at " << x << ", " << y;
            }
    }
}

// The grey and white bitmaps, each in its high-definition form when the host's standard is HD; a missing one
// leaves the block alone; the shipped bitmaps are the 32 x 32 and 64 x 64 tiles.
TEST(FillBack, ChoosesTheFileByGreyAndStandard) {
    ScratchFolder folder, empty;
    const std::vector<std::pair<const char*, std::uint32_t>> files = {
        {"BackGray.bmp", 0x101010}, {"BackWhite.bmp", 0x202020}, {"BackGrayHD.bmp", 0x303030},
        {"BackWhiteHD.bmp", 0x404040}};
    for (const auto& [name, colour] : files) folder.Write(name, Tile(2, colour));
    const std::string shipped = TestDataPath("../../data");  // the project's data folder
    struct Case {
        std::string folder;
        int gray;
        bool hd;
        int result;
        DWORD corner;  // pixel (0, 0), and (1, 1) in the no-tile fill
        int side;      // how far one copy reaches: kUntouched from there on
    };
    const Case cases[] = {
        {folder.Path(), 1, false, 1, 0xFF101010u, 2},  // gray, standard definition
        {folder.Path(), 0, false, 1, 0xFF202020u, 2},  // white
        {folder.Path(), 7, true, 1, 0xFF303030u, 2},   // any nonzero is gray; HD
        {folder.Path(), 0, true, 1, 0xFF404040u, 2},   // white HD
        {empty.Path(), 1, false, 0, kUntouched, 0},    // no bitmap: 0, block unchanged
        {shipped, 1, false, 1, 0xFF808080u, 32},       // the shipped grey tile: light square first
        {shipped, 0, true, 1, 0xFFFFFFFFu, 64},        // the shipped white HD tile
    };
    for (const Case& c : cases) {
        FillSettings settings(c.folder, c.hd);
        Block target(70, 70);
        EXPECT_EQ(KivPictureFillBack(&target.block, c.gray, 0), c.result) << c.folder << " " << c.gray << c.hd;
        EXPECT_EQ(target.At(0, 0), c.corner) << c.folder << " " << c.gray << c.hd;
        EXPECT_EQ(target.At(c.side, c.side), kUntouched) << c.folder << " " << c.gray << c.hd;
        if (c.side > 0) {
            EXPECT_NE(target.At(c.side - 1, c.side - 1), kUntouched);
        }
    }
    FillSettings settings(folder.Path(), false);
    CKivMemBlock unset;
    EXPECT_EQ(KivPictureFillBack(nullptr, 1, 1), 0);
    EXPECT_EQ(KivPictureFillBack(&unset, 1, 1), 0) << "a block without pixels";
}

namespace {

tagCOLOR32 Grey(int level, int alpha = 255) {
    const auto v = static_cast<BYTE>(level);
    return tagCOLOR32{v, v, v, static_cast<BYTE>(alpha)};
}

}  // namespace

TEST(KivPublic, MemZoomAveragesShrinksAndInterpolatesGrowths) {
    const tagCOLOR32 red{0, 0, 255, 255}, clearGreen{0, 255, 0, 0};
    struct Case {
        const char* reason;
        std::vector<tagCOLOR32> source;
        CSize from, to;
        std::vector<tagCOLOR32> expected;
    };
    const Case cases[] = {
        {"the same size copies, half alpha included", {Grey(10, 128), Grey(200, 3)}, {2, 1}, {2, 1},
         {Grey(10, 128), Grey(200, 3)}},
        {"halving averages each 2 x 2 square",
         {Grey(10), Grey(30), Grey(50), Grey(70), Grey(20), Grey(40), Grey(60), Grey(80)}, {4, 2}, {2, 1},
         {Grey(25), Grey(65)}},
        {"a third of a pixel's share where a target pixel ends inside it", {Grey(0), Grey(90), Grey(180)},
         {3, 1}, {2, 1}, {Grey(30), Grey(150)}},
        {"growing interpolates between centres and holds the edges", {Grey(0), Grey(200)}, {2, 1}, {4, 1},
         {Grey(0), Grey(50), Grey(150), Grey(200)}},
        {"growing down a column as along a row", {Grey(0), Grey(200)}, {1, 2}, {1, 4},
         {Grey(0), Grey(50), Grey(150), Grey(200)}},
        {"a transparent pixel lends no colour, only its absence", {red, clearGreen}, {2, 1}, {1, 1},
         {tagCOLOR32{0, 0, 255, 128}}},
    };
    for (const Case& c : cases) {
        std::vector<tagCOLOR32> out(static_cast<size_t>(c.to.cx) * c.to.cy, Grey(1, 1));
        ASSERT_TRUE(KivPublicMemZoom(c.source.data(), c.from, out.data(), c.to)) << c.reason;
        EXPECT_EQ(out, c.expected) << c.reason;
    }
    std::vector<tagCOLOR32> out(4, Grey(1, 1));
    const tagCOLOR32 one = Grey(9);
    for (const auto& [src, from, to] : {std::tuple{&one, CSize(1, 1), CSize(0, 4)},
                                        std::tuple{&one, CSize(-1, 1), CSize(2, 2)},
                                        std::tuple{static_cast<const tagCOLOR32*>(nullptr), CSize(1, 1), CSize(2, 2)},
                                        std::tuple{&one, CSize(1, 1), CSize(65536, 16384)}})
        EXPECT_FALSE(KivPublicMemZoom(src, from, out.data(), to)) << to.cx << " x " << to.cy;
    EXPECT_EQ(out, std::vector<tagCOLOR32>(4, Grey(1, 1))) << "a refused stretch writes nothing";
}

// 8-pixel squares, light grey at the top-left, opaque, over the whole block whatever its size.
TEST(KivPublic, GenBackColorBarDrawsTheChecker) {
    Block target(17, 9);
    ASSERT_TRUE(KivPublicGenBackColorBar(&target.block));
    for (const auto& [x, y, level] : {std::tuple{0, 0, 204}, {7, 7, 204}, {8, 0, 153}, {0, 8, 153},
                                      {8, 8, 204}, {16, 0, 204}, {16, 8, 153}})
        EXPECT_EQ(target.At(x, y), Grey(level).Word()) << x << ", " << y;
    CKivMemBlock unset;
    EXPECT_FALSE(KivPublicGenBackColorBar(&unset));
    EXPECT_FALSE(KivPublicGenBackColorBar(nullptr));
}

// The stops spread from the left column to the right one, every channel (alpha too) running straight
// between them, the same on every row.
TEST(KivColor, ProcessSpreadsTheStopsAcrossTheWidth) {
    const tagCOLOR32 a{0, 100, 200, 255}, b{200, 100, 0, 55}, c{7, 7, 7, 7};
    struct Case {
        const char* reason;
        CKivColor32Array bar;
        int width;
        std::vector<tagCOLOR32> row;
    };
    const Case cases[] = {
        {"one stop is one colour", {a}, 3, {a, a, a}},
        {"two stops over five columns, in steps of a quarter",
         {a, b},
         5,
         {a, {50, 100, 150, 205}, {100, 100, 100, 155}, {150, 100, 50, 105}, b}},
        {"three stops meet in the middle column", {a, b, a}, 3, {a, b, a}},
        {"more stops than columns: the later stop takes a shared column", {a, b, c}, 2, {a, c}},
    };
    for (const Case& k : cases) {
        std::vector<tagCOLOR32> pixels(static_cast<size_t>(k.width) * 2);
        ASSERT_TRUE(k.bar.Process(pixels.data(), CSize(k.width, 2))) << k.reason;
        std::vector<tagCOLOR32> expected = k.row;
        expected.insert(expected.end(), k.row.begin(), k.row.end());
        EXPECT_EQ(pixels, expected) << k.reason;
    }
    std::vector<tagCOLOR32> pixels(2, c);
    EXPECT_FALSE(CKivColor32Array{}.Process(pixels.data(), CSize(2, 1))) << "no stops";
    EXPECT_FALSE(CKivColor32Array{a}.Process(pixels.data(), CSize(0, 1)));
    EXPECT_EQ(pixels, std::vector<tagCOLOR32>(2, c));
}
