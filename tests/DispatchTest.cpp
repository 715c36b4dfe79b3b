// The load dispatch (reader chosen by extension, every reader tried for other extensions) and the load
// into a caller's block by area sampling. Expected samples are worked out by hand from the definition:
// the average over [x, x + xs) x [y, y + ys), each source pixel weighted by the part of it covered,
// pixels past the right and bottom edges counting as transparent black, channels truncated.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "BmpBuilder.h"

namespace {

// A top-down 24-bit file of 0xRRGGBB pixels, rows top to bottom.
Bytes Bmp24(int width, int height, const std::vector<std::uint32_t>& pixels) {
    std::vector<std::vector<std::uint32_t>> rows;
    for (int y = 0; y < height; ++y)
        rows.emplace_back(pixels.begin() + y * width, pixels.begin() + (y + 1) * width);
    BmpFile file;
    file.width = width;
    file.height = -height;
    file.bitsPerPixel = 24;
    file.pixelData = StoredRows(rows, 24);
    return file.Build();
}

struct Target {
    BOOL result = FALSE;
    std::vector<DWORD> pixels;
};

Target LoadInto(const CString& path, int cx, int cy, MIXMODE mode, std::vector<DWORD> initial = {}) {
    Target target;
    target.pixels = initial.empty() ? std::vector<DWORD>(static_cast<size_t>(cx) * cy, 0x12345678u) : initial;
    target.result =
        KivPictureLoadPicFile(path, reinterpret_cast<tagCOLOR32*>(target.pixels.data()), CSize(cx, cy), mode);
    return target;
}

}  // namespace

struct DispatchCase {
    const char* name;
    enum Content { validBmp, garbage, nothing, folder } content;
    std::optional<KivLoadStatus> expected;  // nothing: refused, for whatever reason the format's reader gives
    const char* reason;
};

TEST(LoadDispatch, ReaderChosenByExtension) {
    using S = KivLoadStatus;
    const DispatchCase cases[] = {
        {"a.bmp", DispatchCase::validBmp, S::ok, "the BMP reader"},
        {"a.BmP", DispatchCase::validBmp, S::ok, "extensions compare without regard to case"},
        // A known extension calls its own reader alone (or none, while the format's reader is not built),
        // which refuses a BMP; the BMP reader is not tried after it.
        {"a.Jpg", DispatchCase::validBmp, std::nullopt, "a .Jpg file goes to the JPEG reader only"},
        {"a.tga", DispatchCase::validBmp, std::nullopt, "the same for TGA"},
        {"a.gif", DispatchCase::validBmp, std::nullopt, "the same for GIF"},
        {"a.pcx", DispatchCase::validBmp, std::nullopt, "the same for PCX"},
        {"a.psd", DispatchCase::validBmp, std::nullopt, "the same for PSD"},
        {"a.dat", DispatchCase::validBmp, S::ok,
         "an unknown extension tries every reader: TGA refuses it, BMP reads it"},
        {"a.jpeg", DispatchCase::validBmp, S::ok, ".jpeg is not a recognised extension"},
        {"a.dib", DispatchCase::validBmp, S::ok, ".dib is not a recognised extension"},
        {"noextension", DispatchCase::validBmp, S::ok, "no extension tries every reader"},
        {"dotted.dir.bmp.x", DispatchCase::validBmp, S::ok, "only the last extension counts"},
        {"a.dat", DispatchCase::garbage, S::unknownFormat, "no reader accepts it"},
        {"a.bmp", DispatchCase::garbage, S::notThisFormat, "the BMP reader's own refusal, no fallback"},
        {"absent.bmp", DispatchCase::nothing, S::fileNotFound, "a missing file"},
        {"absent.dat", DispatchCase::nothing, S::fileNotFound, "a missing file with an unknown extension"},
        {"folder.bmp", DispatchCase::folder, S::fileNotFound, "a folder is not a file"},
    };
    const Bytes bmp = Bmp24(1, 1, {0x336699});
    for (const DispatchCase& c : cases) {
        ScratchFolder folder;
        if (c.content == DispatchCase::validBmp) folder.Write(c.name, bmp);
        if (c.content == DispatchCase::garbage) folder.Write(c.name, Bytes(100, 0x5A));
        if (c.content == DispatchCase::folder) std::filesystem::create_directory(folder.File(c.name));
        CRect rect(7, 7, 7, 7);
        KivLoadStatus status = KivLoadStatus::ok;
        DWORD* pixels = KivPictureLoadPicFileEx(Wide(folder.File(c.name)), rect, &status);
        if (c.expected) {
            EXPECT_EQ(status, *c.expected)
                << c.name << ": " << c.reason << " (" << KivLoadStatusText(status) << ")";
        } else {
            EXPECT_NE(status, S::ok) << c.name << ": " << c.reason;
        }
        CRect plainRect;
        DWORD* plain = KivPictureLoadPicFile(Wide(folder.File(c.name)), plainRect);
        const bool loads = c.expected == S::ok;
        EXPECT_EQ(plain != nullptr, loads) << c.name << ": " << c.reason;
        if (loads) {
            ASSERT_NE(pixels, nullptr) << c.name;
            EXPECT_EQ(rect, CRect(0, 0, 1, 1));
            EXPECT_EQ(pixels[0], 0xFF336699u);
        } else {
            EXPECT_EQ(pixels, nullptr) << c.name;
            EXPECT_EQ(rect, CRect(7, 7, 7, 7)) << c.name << ": the rectangle is written only on success";
        }
        GlobalFree(pixels);
        GlobalFree(plain);
    }
}

TEST(LoadIntoTarget, SameSizeCopiesEveryPixel) {
    ScratchFolder folder;
    const CString path =
        folder.Write("p.bmp", Bmp24(3, 2, {0x010203, 0x040506, 0x070809, 0x0A0B0C, 0x0D0E0F, 0x101112}));
    const Target got = LoadInto(path, 3, 2, 2);
    EXPECT_TRUE(got.result);
    EXPECT_EQ(got.pixels,
              (std::vector<DWORD>{0xFF010203, 0xFF040506, 0xFF070809, 0xFF0A0B0C, 0xFF0D0E0F, 0xFF101112}));
}

TEST(LoadIntoTarget, HalvingAveragesEachSquare) {
    // Four 2 x 2 squares; each target pixel is their plain average, each channel truncated.
    ScratchFolder folder;
    const CString path = folder.Write("p.bmp", Bmp24(4, 4,
                                                     {
                                                         0x102030, 0x203040, 0xFF0000, 0x00FF00,  //
                                                         0x304050, 0x405061, 0x0000FF, 0xFFFFFF,  //
                                                         0x646464, 0x646464, 0x000000, 0x000000,  //
                                                         0x646464, 0x646464, 0x000000, 0x000003,  //
                                                     }));
    const Target got = LoadInto(path, 2, 2, 2);
    EXPECT_TRUE(got.result);
    // (0x10 + 0x20 + 0x30 + 0x40) / 4 = 0x28, (0x20 + ... + 0x50) / 4 = 0x38, (0x30 + 0x40 + 0x50 + 0x61) / 4
    // = 72.25; (255 + 0 + 0 + 255) / 4 = 127.5 in each channel; 3 / 4 = 0.75.
    EXPECT_EQ(got.pixels, (std::vector<DWORD>{0xFF283848, 0xFF7F7F7F, 0xFF646464, 0xFF000000}));
}

TEST(LoadIntoTarget, LargerTargetRepeatsPixels) {
    ScratchFolder folder;
    const CString path = folder.Write("p.bmp", Bmp24(2, 2, {0x111111, 0x222222, 0x333333, 0x444444}));
    const Target got = LoadInto(path, 4, 4, 2);
    EXPECT_TRUE(got.result);
    const DWORD a = 0xFF111111, b = 0xFF222222, c = 0xFF333333, d = 0xFF444444;
    EXPECT_EQ(got.pixels, (std::vector<DWORD>{a, a, b, b, a, a, b, b, c, c, d, d, c, c, d, d}));
}

TEST(LoadIntoTarget, StepsAcrossABoundaryAverageTheNeighbours) {
    // Three pixels into four: steps of 0.75 cover [0, .75), [.75, 1.5), [1.5, 2.25), [2.25, 3). The
    // second takes .25 of pixel 0 and .5 of pixel 1, the third .5 of pixel 1 and .25 of pixel 2.
    // Blue 0, 120, 240 gives 0, (0 + 60) / .75 = 80, (60 + 60) / .75 = 160, 240; red 30 stays 30.
    const std::vector<std::uint32_t> source = {0x1E0000, 0x1E0078, 0x1E00F0};
    const std::vector<DWORD> expected = {0xFF1E0000, 0xFF1E0050, 0xFF1E00A0, 0xFF1E00F0};
    ScratchFolder folder;
    const Target across = LoadInto(folder.Write("row.bmp", Bmp24(3, 1, source)), 4, 1, 2);
    EXPECT_TRUE(across.result);
    EXPECT_EQ(across.pixels, expected);
    const Target down = LoadInto(folder.Write("column.bmp", Bmp24(1, 3, source)), 1, 4, 2);
    EXPECT_TRUE(down.result);
    EXPECT_EQ(down.pixels, expected);
}

TEST(LoadIntoTarget, WeightPastTheEdgeCountsAsTransparentBlack) {
    // One white pixel into nine: eight steps of 1/9 added in double precision put the last step at
    // [0.8888888888888891, 1.0000000000000002). It touches column 1, outside the picture, with a weight
    // of 2.2e-16 that joins the total weight but brings no colour: 255 x 0.111 / (0.111 + 2.2e-16) is
    // just under 255 and truncates to 254, alpha included. The same holds downwards.
    ScratchFolder folder;
    const CString path = folder.Write("white.bmp", Bmp24(1, 1, {0xFFFFFF}));
    std::vector<DWORD> expected(9, 0xFFFFFFFF);
    expected[8] = 0xFEFEFEFE;
    const Target across = LoadInto(path, 9, 1, 2);
    EXPECT_TRUE(across.result);
    EXPECT_EQ(across.pixels, expected);
    const Target down = LoadInto(path, 1, 9, 2);
    EXPECT_TRUE(down.result);
    EXPECT_EQ(down.pixels, expected);
}

struct ModeCase {
    MIXMODE mode;
    std::vector<DWORD> initial;
    std::vector<DWORD> expected;
    const char* reason;
};

TEST(LoadIntoTarget, MixModes) {
    // A red pixel and a pixel the run-length stream skips (transparent black).
    BmpFile file;
    file.width = 2;
    file.height = 1;
    file.bitsPerPixel = 8;
    file.compression = 1;
    file.palette = {0xFF0000};
    file.colorsUsed = 1;
    file.pixelData = {1, 0, 0, 1};
    ScratchFolder folder;
    const CString path = folder.Write("rle.bmp", file.Build());
    const DWORD red = 0xFFFF0000, green = 0xFF00FF00, clear = 0;
    const ModeCase cases[] = {
        {0,
         {green, green},
         {red, green},
         "mode 0 lays the sample over the target: opaque covers, clear shows through"},
        {0, {clear, clear}, {red, clear}, "mode 0 over a clear target"},
        {1, {green, green}, {green, green}, "mode 1 lays the target over the sample: an opaque target stays"},
        {1, {clear, clear}, {red, clear}, "mode 1 under a clear target shows the sample"},
        {2, {green, green}, {red, clear}, "mode 2 replaces every pixel, alpha included"},
        {7, {green, green}, {red, clear}, "any other mode replaces too"},
    };
    for (const ModeCase& c : cases) {
        const Target got = LoadInto(path, 2, 1, c.mode, c.initial);
        EXPECT_TRUE(got.result) << c.reason;
        EXPECT_EQ(got.pixels, c.expected) << c.reason;
    }
}

TEST(LoadIntoTarget, FailureLeavesTheTargetUntouched) {
    ScratchFolder folder;
    folder.Write("garbage.bmp", Bytes(64, 0x33));
    folder.Write("picture.Jpg", Bmp24(1, 1, {0xFFFFFF}));
    const std::vector<DWORD> before(4, 0xDEADBEEF);
    for (const char* name : {"absent.bmp", "garbage.bmp", "picture.Jpg"}) {
        const Target got = LoadInto(Wide(folder.File(name)), 2, 2, 2, before);
        EXPECT_FALSE(got.result) << name;
        EXPECT_EQ(got.pixels, before) << name;
    }
    const CString good = folder.Write("good.dat", Bmp24(1, 1, {0xFFFFFF}));
    EXPECT_FALSE(KivPictureLoadPicFile(good, nullptr, CSize(2, 2), 2)) << "no target block";
    const Target empty = LoadInto(good, 0, 2, 2, before);
    EXPECT_FALSE(empty.result) << "a target without width";
    EXPECT_EQ(empty.pixels, before);
    EXPECT_TRUE(LoadInto(good, 2, 2, 2).result) << "the fallback serves the load into a target too";
}
