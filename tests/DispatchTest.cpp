// The load dispatch (the reader chosen by extension, every reader tried for other extensions), the load into
// a caller's block by area averaging, and the bilinear scaled load, all through the exported functions.
// Expected samples are worked out by hand. Area: the average over [x, x + xs) x [y, y + ys), each source
// pixel weighted by the part of it covered, pixels past the right and bottom edges counting as transparent
// black, channels truncated. Bilinear: positions in 1/256 pixel and channels through the product table, so a
// sample at a pixel's own place gives 65025 / 65536 of it, truncated (255 -> 253, 128 -> 127, 200 -> 198).

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "BmpBuilder.h"

namespace {

constexpr DWORD kUntouched = 0x12345678u;

// A top-down 24-bit file of 0xRRGGBB pixels, rows top to bottom.
Bytes Bmp24(int width, int height, const std::vector<std::uint32_t>& pixels) {
    std::vector<std::vector<std::uint32_t>> rows;
    for (int y = 0; y < height; ++y)
        rows.emplace_back(pixels.begin() + y * width, pixels.begin() + (y + 1) * width);
    BmpFile file;
    file.width = width;
    file.height = -height;
    file.pixelData = StoredRows(rows, 24);
    return file.Build();
}

// A 2 x 1 run-length file: a red pixel and one the stream skips (transparent black).
Bytes RedAndClear() {
    BmpFile file;
    file.width = 2;
    file.bitsPerPixel = 8;
    file.compression = 1;
    file.palette = {0xFF0000};
    file.colorsUsed = 1;
    file.pixelData = {1, 0, 0, 1};
    return file.Build();
}

std::vector<DWORD> Then(std::vector<DWORD> words, DWORD last) {
    words.push_back(last);
    return words;
}

// The target after a load into it (area averaging) or a zoom (bilinear); an empty target starts untouched.
std::vector<DWORD> Into(bool zoom, const CString& path, CSize size, MIXMODE mode, std::vector<DWORD> target,
                        int& result) {
    if (target.empty()) target.assign(static_cast<size_t>(size.cx) * size.cy, kUntouched);
    auto* block = reinterpret_cast<tagCOLOR32*>(target.data());
    result = zoom ? KivPictureZoomPicFile(path, block, size, mode)
                  : KivPictureLoadPicFile(path, block, size, mode);
    return target;
}

}  // namespace

TEST(LoadDispatch, ReaderChosenByExtension) {
    using S = KivLoadStatus;
    enum Content { bmp, garbage, nothing, folder };
    const struct {
        const char* name;
        Content content;
        std::optional<S> expected;  // nothing: refused, for whatever reason the format's reader gives
        const char* reason;
    } cases[] = {
        {"a.bmp", bmp, S::ok, "the BMP reader"},
        {"a.BmP", bmp, S::ok, "extensions compare without regard to case"},
        {"a.Jpg", bmp, std::nullopt, "a known extension calls its own reader alone: JPEG"},
        {"a.tga", bmp, std::nullopt, "TGA alone"},
        {"a.gif", bmp, std::nullopt, "GIF alone"},
        {"a.pcx", bmp, std::nullopt, "PCX alone"},
        {"a.psd", bmp, std::nullopt, "PSD alone"},
        {"a.dat", bmp, S::ok, "an unknown extension tries every reader: TGA refuses it, BMP reads it"},
        {"a.jpeg", bmp, S::ok, ".jpeg is not a recognised extension"},
        {"a.dib", bmp, S::ok, ".dib is not a recognised extension"},
        {"noextension", bmp, S::ok, "no extension tries every reader"},
        {"dotted.dir.bmp.x", bmp, S::ok, "only the last extension counts"},
        {"a.dat", garbage, S::unknownFormat, "no reader accepts it"},
        {"a.bmp", garbage, S::notThisFormat, "the BMP reader's own refusal, no fallback"},
        {"absent.dat", nothing, S::fileNotFound, "a missing file"},
        {"folder.bmp", folder, S::fileNotFound, "a folder is not a file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + ": " + c.reason);
        ScratchFolder scratch;
        if (c.content == bmp) scratch.Write(c.name, Bmp24(1, 1, {0x336699}));
        if (c.content == garbage) scratch.Write(c.name, Bytes(100, 0x5A));
        if (c.content == folder) std::filesystem::create_directory(scratch.File(c.name));
        CRect rect(7, 7, 7, 7), plainRect;
        KivLoadStatus status = S::ok;
        LoadedPicture withStatus, plain;
        withStatus.pixels = KivPictureLoadPicFileEx(Wide(scratch.File(c.name)), rect, &status);
        plain.pixels = KivPictureLoadPicFile(Wide(scratch.File(c.name)), plainRect);
        if (c.expected)
            EXPECT_EQ(status, *c.expected) << KivLoadStatusText(status);
        else
            EXPECT_NE(status, S::ok);
        const bool loads = c.expected == S::ok;
        EXPECT_EQ(plain.pixels != nullptr, loads);
        ASSERT_EQ(withStatus.pixels != nullptr, loads);
        EXPECT_EQ(rect, loads ? CRect(0, 0, 1, 1) : CRect(7, 7, 7, 7))
            << "the rectangle is written only on success";
        if (loads) EXPECT_EQ(withStatus.pixels[0], 0xFF336699u);
    }
}

class ScaledLoad : public testing::Test {
  protected:
    void SetUp() override { KivPictureOpen(); }
    ScratchFolder folder_;
};

TEST_F(ScaledLoad, AreaAveragingWorkedByHand) {
    const struct {
        CSize source;
        std::vector<std::uint32_t> pixels;
        CSize target;
        std::vector<DWORD> expected;
        const char* reason;
    } cases[] = {
        // clang-format off
        {CSize(3, 2), {0x010203, 0x040506, 0x070809, 0x0A0B0C, 0x0D0E0F, 0x101112}, CSize(3, 2),
         {0xFF010203, 0xFF040506, 0xFF070809, 0xFF0A0B0C, 0xFF0D0E0F, 0xFF101112}, "the same size copies"},
        // (0x10 + 0x20 + 0x30 + 0x40) / 4 = 0x28; (0x30 + 0x40 + 0x50 + 0x61) / 4 = 72.25; 510 / 4 = 127.5;
        // 3 / 4 = 0.75.
        {CSize(4, 4), {0x102030, 0x203040, 0xFF0000, 0x00FF00, 0x304050, 0x405061, 0x0000FF, 0xFFFFFF,
                       0x646464, 0x646464, 0x000000, 0x000000, 0x646464, 0x646464, 0x000000, 0x000003},
         CSize(2, 2), {0xFF283848, 0xFF7F7F7F, 0xFF646464, 0xFF000000}, "halving averages each square"},
        {CSize(2, 2), {0x111111, 0x222222, 0x333333, 0x444444}, CSize(4, 4),
         {0xFF111111, 0xFF111111, 0xFF222222, 0xFF222222, 0xFF111111, 0xFF111111, 0xFF222222, 0xFF222222,
          0xFF333333, 0xFF333333, 0xFF444444, 0xFF444444, 0xFF333333, 0xFF333333, 0xFF444444, 0xFF444444},
         "a larger target repeats pixels"},
        // Steps of 0.75: the second takes .25 of pixel 0 and .5 of pixel 1, the third .5 of pixel 1 and .25
        // of pixel 2: blue 0, 120, 240 gives 0, 60 / .75 = 80, 120 / .75 = 160, 240.
        {CSize(3, 1), {0x1E0000, 0x1E0078, 0x1E00F0}, CSize(4, 1),
         {0xFF1E0000, 0xFF1E0050, 0xFF1E00A0, 0xFF1E00F0}, "steps across a pixel boundary average neighbours"},
        {CSize(1, 3), {0x1E0000, 0x1E0078, 0x1E00F0}, CSize(1, 4),
         {0xFF1E0000, 0xFF1E0050, 0xFF1E00A0, 0xFF1E00F0}, "the same downwards"},
        // Eight steps of 1/9 in double precision put the last at [0.888..891, 1.000..0002): it touches
        // column 1, outside, with a weight of 2.2e-16 that brings no colour, so 255 truncates to 254.
        {CSize(1, 1), {0xFFFFFF}, CSize(9, 1), Then(std::vector<DWORD>(8, 0xFFFFFFFF), 0xFEFEFEFE),
         "weight past the right edge is transparent black"},
        {CSize(1, 1), {0xFFFFFF}, CSize(1, 9), Then(std::vector<DWORD>(8, 0xFFFFFFFF), 0xFEFEFEFE),
         "and past the bottom edge"},
        // clang-format on
    };
    for (const auto& c : cases) {
        ScratchFolder folder;
        const CString path = folder.Write("p.bmp", Bmp24(c.source.cx, c.source.cy, c.pixels));
        int result = 0;
        EXPECT_EQ(Into(false, path, c.target, 2, {}, result), c.expected) << c.reason;
        EXPECT_TRUE(result) << c.reason;
    }
}

TEST_F(ScaledLoad, BilinearSamplesWorkedByHand) {
    const struct {
        CSize source;
        std::vector<std::uint32_t> pixels;
        CSize target;
        std::vector<std::pair<int, DWORD>> samples;  // target index, expected word
        const char* reason;
    } cases[] = {
        // clang-format off
        // xstep = 2 * 256 / 2 + 1 = 257 and x0 = 0: column 1 is sampled 1/256 towards a neighbour clamped
        // onto itself.
        {CSize(2, 2), {0x0000FF, 0x00FF00, 0xFF0000, 0x808080}, CSize(2, 2),
         {{0, 0xFD0000FD}, {1, 0xFD00FD00}, {2, 0xFDFD0000}, {3, 0xFD7F7F7F}}, "the same size: each at its place"},
        {CSize(1, 1), {0xC86432}, CSize(4, 4), {{0, 0xFDC66331}, {5, 0xFDC66331}, {15, 0xFDC66331}},
         "one pixel fills the whole block"},
        // xstep = 3, x0 = -127: column 212 (x = 509) still lies inside; from 213 on the sample lies past the
        // last column, which raises flags 2 and 32: the alpha counts only the lower-left corner, of weight 0.
        {CSize(2, 1), {0x102030, 0xFFFFFF}, CSize(256, 1), {{212, 0xFDFDFDFD}, {213, 0x00FDFDFD}, {255, 0x00FDFDFD}},
         "past the right edge: the last column's colour without alpha weight"},
        // clang-format on
    };
    for (const auto& c : cases) {
        const CString path = folder_.Write("p.bmp", Bmp24(c.source.cx, c.source.cy, c.pixels));
        int result = 0;
        const std::vector<DWORD> target = Into(true, path, c.target, 2, {}, result);
        EXPECT_EQ(result, 1) << c.reason;
        for (const auto& [index, word] : c.samples)
            EXPECT_EQ(target[index], word) << c.reason << ": " << index;
    }
}

// A red pixel and a transparent one onto two pixels, by the area load; a white pixel onto half-transparent
// black, by the zoom, sampled to 253 in every channel. Zoom mode 0, the sample over the target: weights
// 253 x 255 and 128 x 2 give (253 x 64515 + 32385) / 64771 = 252, alpha 64898 / 255 = 254. Mode 1, the target
// over the sample: weights 128 x 255 and 253 x 127 give 126, alpha 254.
TEST_F(ScaledLoad, MixModes) {
    const CString redAndClear = folder_.Write("rle.bmp", RedAndClear());
    const CString white = folder_.Write("white.bmp", Bmp24(1, 1, {0xFFFFFF}));
    const DWORD red = 0xFFFF0000, green = 0xFF00FF00, clear = 0;
    const struct {
        bool zoom;
        MIXMODE mode;
        std::vector<DWORD> initial, expected;
        const char* reason;
    } cases[] = {
        {false, 0, {green, green}, {red, green}, "mode 0 lays the sample over the target: clear shows it"},
        {false, 1, {green, green}, {green, green}, "mode 1 lays the target over the sample: opaque stays"},
        {false, 1, {clear, clear}, {red, clear}, "mode 1 under a clear target shows the sample"},
        {false, 2, {green, green}, {red, clear}, "mode 2 replaces every pixel, alpha included"},
        {false, 7, {green, green}, {red, clear}, "any other mode replaces too"},
        {true, 0, {0x80000000u}, {0xFEFCFCFCu}, "zoom, mode 0"},
        {true, 1, {0x80000000u}, {0xFE7E7E7Eu}, "zoom, mode 1"},
        {true, 2, {0x80000000u}, {0xFDFDFDFDu}, "zoom, mode 2"},
    };
    for (const auto& c : cases) {
        int result = 0;
        const CSize size(static_cast<int>(c.initial.size()), 1);
        EXPECT_EQ(Into(c.zoom, c.zoom ? white : redAndClear, size, c.mode, c.initial, result), c.expected)
            << c.reason;
        EXPECT_EQ(result, 1) << c.reason;
    }
}

TEST_F(ScaledLoad, FailuresLeaveTheTargetAlone) {
    folder_.Write("garbage.bmp", Bytes(64, 0x33));
    folder_.Write("picture.Jpg", Bmp24(1, 1, {0xFFFFFF}));
    const CString good = folder_.Write("good.dat", Bmp24(1, 1, {0xFFFFFF}));
    const std::vector<DWORD> before(4, 0xDEADBEEF);
    int result = 0;
    for (const bool zoom : {false, true}) {
        for (const char* name : {"absent.bmp", "garbage.bmp", "picture.Jpg"}) {
            EXPECT_EQ(Into(zoom, Wide(folder_.File(name)), CSize(2, 2), 2, before, result), before) << name;
            EXPECT_EQ(result, 0) << name;
        }
        EXPECT_EQ(Into(zoom, good, CSize(0, 2), 2, before, result), before) << "a target without width";
        EXPECT_EQ(result, 0) << zoom;
        Into(zoom, good, CSize(2, 2), 2, {}, result);
        EXPECT_EQ(result, 1) << zoom << ": the fallback serves the scaled loads too";
    }
    EXPECT_FALSE(KivPictureLoadPicFile(good, nullptr, CSize(2, 2), 2)) << "no target block";
    EXPECT_EQ(KivPictureZoomPicFile(good, nullptr, CSize(2, 2), 2), 0);
}

TEST_F(ScaledLoad, UpdatesOnlyInsideClipAndPlacement) {
    const CString path = folder_.Write("p.bmp", Bmp24(2, 2, std::vector<std::uint32_t>(4, 0xFFFFFF)));
    const struct {
        CRect clip, placement, updated;
        const char* reason;
    } cases[] = {
        {CRect(0, 0, 8, 6), CRect(0, 0, 8, 6), CRect(0, 0, 8, 6), "the whole block"},
        {CRect(0, 0, 8, 6), CRect(), CRect(0, 0, 2, 2),
         "an empty placement takes the picture's own rectangle"},
        {CRect(-5, -5, 50, 50), CRect(3, 1, 7, 4), CRect(3, 1, 7, 4), "the clip is cut to the block"},
        {CRect(1, 1, 5, 5), CRect(3, 2, 8, 6), CRect(3, 2, 5, 5), "only the overlap of clip and placement"},
        {CRect(0, 0, 2, 2), CRect(4, 4, 8, 6), CRect(), "no overlap updates nothing and still succeeds"},
    };
    for (const auto& c : cases) {
        std::vector<DWORD> target(48, kUntouched);
        ASSERT_EQ(KivPictureZoomPicFile(path, c.clip, c.placement, CSize(8, 6),
                                        reinterpret_cast<tagCOLOR32*>(target.data()), 2),
                  1)
            << c.reason;
        const CRect& u = c.updated;
        for (int i = 0; i < 48; ++i)
            EXPECT_EQ(target[i] != kUntouched,
                      i % 8 >= u.left && i % 8 < u.right && i / 8 >= u.top && i / 8 < u.bottom)
                << c.reason << ": " << i;
    }
}
