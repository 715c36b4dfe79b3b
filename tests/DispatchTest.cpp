// The picture entry points, through the exported functions only: the load dispatch by extension, the header
// probe, and the scaled loads, with samples worked out by hand. Area: the average over [x, x + xs) x
// [y, y + ys), each source pixel weighted by the part of it covered, pixels past the right and bottom edges
// transparent black, channels truncated. Bilinear: positions in 1/256 pixel, channels through the product
// table, so a sample at a pixel's own place gives 65025 / 65536 of it, truncated (255 -> 253, 200 -> 198).

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>

#include "BmpBuilder.h"
#include "CoreTestSupport.h"
#include "JpegReference.h"

namespace {

constexpr DWORD kUntouched = 0x12345678u;

// Fields of the given widths in bytes, little-endian unless big, then zeros up to size.
Bytes Fields(std::initializer_list<std::pair<long long, int>> fields, size_t size = 0, bool big = false) {
    Bytes bytes;
    for (const auto& [value, width] : fields)
        for (int i = 0; i < width; ++i)
            bytes.push_back(static_cast<BYTE>(value >> 8 * (big ? width - 1 - i : i)));
    bytes.resize(std::max(size, bytes.size()), 0);
    return bytes;
}

// clang-format off
Bytes TgaHeader(int mapType, int imageType, int x, int y, int width, int height, int depth) {
    return Fields({{0, 1}, {mapType, 1}, {imageType, 1}, {0, 2}, {mapType ? 2 : 0, 2}, {mapType ? 24 : 0, 1},
                   {x, 2}, {y, 2}, {width, 2}, {height, 2}, {depth, 2}}, 82);
}
Bytes GifHeader(int width, int height, int packed) {  // "GIF89a", screen, flags, background, aspect, end
    return Fields({{0x613938464947, 6}, {width, 2}, {height, 2}, {packed, 1}, {0, 2}, {0x3B, 1}});
}
Bytes PcxHeader(int maker, int xMin, int yMin, int xMax, int yMax, int bits, int planes) {
    Bytes b = Fields({{maker, 1}, {5, 1}, {1, 1}, {bits, 1}, {xMin, 2}, {yMin, 2}, {xMax, 2}, {yMax, 2}},
                     128);
    b[65] = static_cast<BYTE>(planes);
    return b;
}
Bytes PsdHeader(const char* signature, int version, int reserved, int rows, int columns, int depth) {
    Bytes b(signature, signature + 4), rest = Fields({{version, 2}, {reserved, 1}, {0, 5}, {3, 2}, {rows, 4},
                                                      {columns, 4}, {depth, 2}, {3, 2}}, 0, true);
    b.insert(b.end(), rest.begin(), rest.end());
    return b;
}
// clang-format on
// A JPEG of the library's own making; colour spaces as the library numbers them: 1 grey, 2 RGB, 4 CMYK.
Bytes Jpeg(unsigned width, unsigned height, int components, int space, size_t keep = SIZE_MAX) {
    const Bytes bytes =
        CompressJpeg({width, height, components, space, -1, Bytes(width * height * components, 128)});
    return Bytes(bytes.begin(), bytes.begin() + static_cast<long>(std::min(keep, bytes.size())));
}

// The target after a load into it (area averaging) or a zoom (bilinear), which must return result; an empty
// target starts untouched.
std::vector<DWORD> Into(bool zoom, const CString& path, CSize size, MIXMODE mode, std::vector<DWORD> target,
                        int result = 1) {
    if (target.empty()) target.assign(static_cast<size_t>(size.cx) * size.cy, kUntouched);
    auto* block = reinterpret_cast<tagCOLOR32*>(target.data());
    EXPECT_EQ(zoom ? KivPictureZoomPicFile(path, block, size, mode)
                   : KivPictureLoadPicFile(path, block, size, mode),
              result);
    return target;
}

class ScaledLoad : public testing::Test {
  protected:
    void SetUp() override { KivPictureOpen(); }
    ScratchFolder folder_;
};

}  // namespace

TEST(LoadDispatch, ReaderChosenByExtension) {
    using S = KivLoadStatus;
    enum Content { bmp, garbage, nothing, folder, fifo };
    // clang-format off
    const std::tuple<const char*, Content, std::optional<S>> cases[] = {  // nothing: the reader's own refusal
        {"a.bmp", bmp, S::ok}, {"a.BmP", bmp, S::ok},  // extensions compare without regard to case
        // A known extension calls its own reader alone, which refuses a BMP.
        {"a.Jpg", bmp, {}}, {"a.tga", bmp, {}}, {"a.gif", bmp, {}}, {"a.pcx", bmp, {}}, {"a.psd", bmp, {}},
        // Other extensions, none, or a known one not last, try every reader: TGA refuses, BMP reads.
        {"a.dat", bmp, S::ok}, {"a.jpeg", bmp, S::ok}, {"a.dib", bmp, S::ok}, {"none", bmp, S::ok},
        {"a.bmp.x", bmp, S::ok}, {"a.dat", garbage, S::unknownFormat},
        {"a.bmp", garbage, S::notThisFormat},  // no fallback after a known extension
        {"absent.dat", nothing, S::fileNotFound}, {"folder.bmp", folder, S::fileNotFound},
        {"fifo.bmp", fifo, S::fileNotFound}};  // not a file; opening it must not wait for a writer
    // clang-format on
    for (const auto& [name, content, expected] : cases) {
        SCOPED_TRACE(name);
        ScratchFolder scratch;
        if (content == bmp) scratch.Write(name, Bmp24(1, 1, {0x336699}));
        if (content == garbage) scratch.Write(name, Bytes(100, 0x5A));
        if (content == folder) std::filesystem::create_directory(scratch.File(name));
        ASSERT_TRUE(content != fifo || ::mkfifo(scratch.File(name).c_str(), 0644) == 0);
        KivLoadStatus status = S::ok;
        LoadedPicture withStatus, plain;
        withStatus.rect = CRect(7, 7, 7, 7);
        withStatus.pixels = KivPictureLoadPicFileEx(Wide(scratch.File(name)), withStatus.rect, &status);
        plain.pixels = KivPictureLoadPicFile(Wide(scratch.File(name)), plain.rect);
        EXPECT_TRUE(expected ? status == *expected : status != S::ok) << KivLoadStatusText(status);
        const bool loads = expected == S::ok;
        ASSERT_TRUE(!!plain.pixels == loads && !!withStatus.pixels == loads);
        EXPECT_EQ(withStatus.rect, loads ? CRect(0, 0, 1, 1) : CRect(7, 7, 7, 7)) << "set only on success";
        EXPECT_EQ(loads ? withStatus.pixels[0] : 0xFF336699u, 0xFF336699u);
    }
}

// The probe of the format the extension names reads the header alone; a refusal writes nothing.
TEST(PictureInfo, ReportsHeaderFacts) {
    // clang-format off
    const CRect no;
    const Bytes bmp = BmpFile{4, 4, 24}.Build();
    const std::tuple<const char*, Bytes, CRect, int> cases[] = {  // no rectangle: refused
        {"a.bmp", BmpFile{40, 30, 24}.Build(), CRect(0, 0, 40, 30), 24},
        {"a.bmp", BmpFile{40, -30, 8}.Build(), CRect(0, 0, 40, 30), 8},  // top-down: the absolute height
        {"a.DIB", BmpFile{5, 6, 1}.Build(), CRect(0, 0, 5, 6), 1},
        {"a.tga", TgaHeader(0, 2, 7, 9, 100, 50, 32), CRect(7, 9, 107, 59), 32},  // the stored origin
        {"a.TGA", TgaHeader(1, 9, 0, 0, 3, 2, 8), CRect(0, 0, 3, 2), 8},         // run-length colour-mapped
        {"a.gif", GifHeader(320, 200, 0xF7), CRect(0, 0, 320, 200), 8},
        {"a.gif", GifHeader(1, 1, 0x80), CRect(0, 0, 1, 1), 1},
        {"a.pcx", PcxHeader(10, 10, 20, 109, 219, 8, 3), CRect(10, 20, 110, 220), 24},  // bits x planes
        {"a.psd", PsdHeader("8BPS", 1, 0, 30, 40, 16), CRect(0, 0, 40, 30), 16},
        {"a.psd", PsdHeader("8BPS", 2, 0, 300000, 7, 32), CRect(0, 0, 7, 300000), 32},  // large document
        {"a.jpg", Jpeg(17, 9, 1, 1), CRect(0, 0, 17, 9), 8},
        {"a.JPG", Jpeg(8, 3, 3, 2), CRect(0, 0, 8, 3), 24},
        {"a.jpg", Jpeg(4, 4, 4, 4), CRect(0, 0, 4, 4), 24},  // CMYK
        {"a.bmp", BmpFile{-4, 6, 24}.Build(), no, 0}, {"a.bmp", BmpFile{4, 0, 24}.Build(), no, 0},
        {"a.tga", bmp, no, 0}, {"a.jpg", bmp, no, 0},  // the extension names another format
        {"a.tga", TgaHeader(0, 1, 0, 0, 3, 2, 8), no, 0}, {"a.tga", TgaHeader(2, 2, 0, 0, 3, 2, 24), no, 0},
        {"a.tga", TgaHeader(0, 4, 0, 0, 3, 2, 8), no, 0}, {"a.tga", TgaHeader(0, 2, 0, 0, 0, 2, 24), no, 0},
        {"a.gif", GifHeader(10, 0, 0xF7), no, 0}, {"a.pcx", PcxHeader(11, 0, 0, 9, 9, 8, 1), no, 0},
        {"a.psd", PsdHeader("8BPS", 2, 0, 3, 300001, 8), no, 0}, {"a.pcx", Bytes{10, 5, 1, 8}, no, 0},
        {"a.psd", PsdHeader("8BPX", 1, 0, 3, 4, 8), no, 0}, {"a.gif", Bytes{}, no, 0},
        {"a.psd", PsdHeader("8BPS", 1, 1, 3, 4, 8), no, 0}, {"a.jpeg", Jpeg(4, 4, 1, 1), no, 0},
        {"a.jpg", Jpeg(16, 16, 3, 2, 20), no, 0}};
    // clang-format on
    for (const auto& [name, bytes, expected, expectedBits] : cases) {
        ScratchFolder folder;
        const CString path = folder.Write(name, bytes);
        RECT rect{-1, -1, -1, -1};
        int bits = -1;
        const bool ok = !expected.IsRectEmpty();
        ASSERT_EQ(KivPictureGetPicInfo(path, &rect, &bits), ok ? 1 : 0) << name << " " << bytes.size();
        EXPECT_EQ(CRect(rect), ok ? expected : CRect(-1, -1, -1, -1)) << name;
        EXPECT_EQ(bits, ok ? expectedBits : -1) << name;
        EXPECT_EQ(KivPictureGetPicInfo(path, nullptr, nullptr), ok ? 1 : 0) << name;
    }
    ScratchFolder folder;
    EXPECT_EQ(KivPictureGetPicInfo(Wide(folder.File("missing.bmp")), nullptr, nullptr), 0);
    EXPECT_EQ(KivPictureGetPicInfo(Wide(folder.Path().string()), nullptr, nullptr), 0) << "a folder";
}

TEST_F(ScaledLoad, AreaAveragingWorkedByHand) {
    const std::vector<std::uint32_t> three = {0x1E0000, 0x1E0078, 0x1E00F0};
    const std::vector<DWORD> four = {0xFF1E0000, 0xFF1E0050, 0xFF1E00A0, 0xFF1E00F0};
    // clang-format off
    const std::tuple<CSize, std::vector<std::uint32_t>, CSize, std::vector<DWORD>> cases[] = {
        // Halving: (0x10 + 0x20 + 0x30 + 0x40) / 4 = 0x28; (0x30 + 0x40 + 0x50 + 0x61) / 4 = 72.25;
        // 510 / 4 = 127.5; 3 / 4 = 0.75.
        {CSize(4, 4), {0x102030, 0x203040, 0xFF0000, 0x00FF00, 0x304050, 0x405061, 0x0000FF, 0xFFFFFF,
                       0x646464, 0x646464, 0x000000, 0x000000, 0x646464, 0x646464, 0x000000, 0x000003},
         CSize(2, 2), {0xFF283848, 0xFF7F7F7F, 0xFF646464, 0xFF000000}},
        {CSize(2, 2), {0x111111, 0x222222, 0x333333, 0x444444}, CSize(4, 2),  // a larger target repeats
         {0xFF111111, 0xFF111111, 0xFF222222, 0xFF222222, 0xFF333333, 0xFF333333, 0xFF444444, 0xFF444444}},
        // Steps of 0.75: the second takes .25 of pixel 0 and .5 of pixel 1, the third .5 of pixel 1 and .25
        // of pixel 2: blue 0, 120, 240 gives 0, 60 / .75 = 80, 120 / .75 = 160, 240; the same downwards.
        {CSize(3, 1), three, CSize(4, 1), four}, {CSize(1, 3), three, CSize(1, 4), four},
        // Eight steps of 1/9 in double precision put the last at [0.888..891, 1.000..0002): it touches the
        // pixel past the edge with a weight of 2.2e-16 that brings no colour, so 255 truncates to 254.
        {CSize(1, 1), {0xFFFFFF}, CSize(9, 1), {~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u, 0xFEFEFEFE}},
        {CSize(1, 1), {0xFFFFFF}, CSize(1, 9), {~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u, 0xFEFEFEFE}}};
    // clang-format on
    for (const auto& [source, pixels, target, expected] : cases) {
        const CString path = folder_.Write("p.bmp", Bmp24(source.cx, source.cy, pixels));
        EXPECT_EQ(Into(false, path, target, 2, {}), expected) << source.cx << " x " << source.cy;
    }
}

TEST_F(ScaledLoad, BilinearSamplesWorkedByHand) {
    // clang-format off
    const std::tuple<CSize, std::vector<std::uint32_t>, CSize, std::vector<std::pair<int, DWORD>>> cases[] = {
        // The same size: xstep = 2 * 256 / 2 + 1 = 257 and x0 = 0, so column 1 is sampled 1/256 towards a
        // neighbour clamped onto itself.
        {CSize(2, 2), {0x0000FF, 0x00FF00, 0xFF0000, 0x808080}, CSize(2, 2),
         {{0, 0xFD0000FD}, {1, 0xFD00FD00}, {2, 0xFDFD0000}, {3, 0xFD7F7F7F}}},
        {CSize(1, 1), {0xC86432}, CSize(4, 4), {{0, 0xFDC66331}, {5, 0xFDC66331}, {15, 0xFDC66331}}},
        // xstep = 3, x0 = -127: column 212 (x = 509) still lies inside; from 213 on the sample lies past the
        // last column, which raises flags 2 and 32: the alpha counts only the lower-left corner, of weight 0.
        {CSize(2, 1), {0x102030, 0xFFFFFF}, CSize(256, 1),
         {{212, 0xFDFDFDFD}, {213, 0x00FDFDFD}, {255, 0x00FDFDFD}}}};
    // clang-format on
    for (const auto& [source, pixels, target, samples] : cases) {
        const std::vector<DWORD> got =
            Into(true, folder_.Write("p.bmp", Bmp24(source.cx, source.cy, pixels)), target, 2, {});
        for (const auto& [index, word] : samples) EXPECT_EQ(got[index], word) << source.cx << ": " << index;
    }
}

// A red pixel and a transparent one onto two pixels, by the area load; a white pixel onto half-transparent
// black, by the zoom, sampled to 253 in every channel. Zoom mode 0, the sample over the target: weights
// 253 x 255 and 128 x 2 give (253 x 64515 + 32385) / 64771 = 252, alpha 64898 / 255 = 254. Mode 1, the target
// over the sample: weights 128 x 255 and 253 x 127 give 126, alpha 254.
TEST_F(ScaledLoad, MixModes) {
    BmpFile rle;  // 2 x 1: a red pixel, and one the run-length stream skips (transparent black)
    rle.width = 2, rle.bitsPerPixel = 8, rle.compression = 1, rle.colorsUsed = 1, rle.palette = {0xFF0000};
    rle.pixelData = {1, 0, 0, 1};
    const CString redAndClear = folder_.Write("rle.bmp", rle.Build());
    const CString white = folder_.Write("white.bmp", Bmp24(1, 1, {0xFFFFFF}));
    const DWORD red = 0xFFFF0000, green = 0xFF00FF00, clear = 0, half = 0x80000000u;
    // clang-format off
    const std::tuple<bool, MIXMODE, std::vector<DWORD>, std::vector<DWORD>> cases[] = {
        {false, 0, {green, green}, {red, green}},   // the sample over the target: clear shows the target
        {false, 1, {green, green}, {green, green}}, {false, 1, {clear, clear}, {red, clear}},  // target over
        {false, 2, {green, green}, {red, clear}}, {false, 7, {green, green}, {red, clear}},  // others replace
        {true, 0, {half}, {0xFEFCFCFC}}, {true, 1, {half}, {0xFE7E7E7E}}, {true, 2, {half}, {0xFDFDFDFD}}};
    // clang-format on
    for (const auto& [zoom, mode, initial, expected] : cases) {
        const CSize size(static_cast<int>(initial.size()), 1);
        EXPECT_EQ(Into(zoom, zoom ? white : redAndClear, size, mode, initial), expected) << zoom << mode;
    }
}

TEST_F(ScaledLoad, FailuresLeaveTheTargetAlone) {
    folder_.Write("garbage.bmp", Bytes(64, 0x33));
    folder_.Write("picture.Jpg", Bmp24(1, 1, {0xFFFFFF}));
    const CString good = folder_.Write("good.dat", Bmp24(1, 1, {0xFFFFFF}));
    const std::vector<DWORD> before(4, 0xDEADBEEF);
    for (const bool zoom : {false, true}) {
        SCOPED_TRACE(zoom ? "zoom" : "load");
        for (const char* name : {"absent.bmp", "garbage.bmp", "picture.Jpg"})
            EXPECT_EQ(Into(zoom, Wide(folder_.File(name)), CSize(2, 2), 2, before, 0), before) << name;
        EXPECT_EQ(Into(zoom, good, CSize(0, 2), 2, before, 0), before) << "a target without width";
        Into(zoom, good, CSize(2, 2), 2, {});  // the fallback serves the scaled loads too
    }
    EXPECT_FALSE(KivPictureLoadPicFile(good, nullptr, CSize(2, 2), 2) ||
                 KivPictureZoomPicFile(good, nullptr, CSize(2, 2), 2));
}

TEST_F(ScaledLoad, ZoomUpdatesOnlyInsideClipAndPlacement) {
    const CString path = folder_.Write("p.bmp", Bmp24(2, 2, std::vector<std::uint32_t>(4, 0xFFFFFF)));
    const std::tuple<CRect, CRect, CRect> cases[] = {
        // clip, placement, the pixels expected to change
        {CRect(0, 0, 8, 6), CRect(0, 0, 8, 6), CRect(0, 0, 8, 6)},
        {CRect(0, 0, 8, 6), CRect(), CRect(0, 0, 2, 2)},                // empty placement: the picture's own
        {CRect(-5, -5, 50, 50), CRect(3, 1, 7, 4), CRect(3, 1, 7, 4)},  // the clip is cut to the block
        {CRect(1, 1, 5, 5), CRect(3, 2, 8, 6), CRect(3, 2, 5, 5)},      // only the overlap
        {CRect(0, 0, 2, 2), CRect(4, 4, 8, 6), CRect()}};               // no overlap: nothing, and success
    for (const auto& [clip, placement, updated] : cases) {
        std::vector<DWORD> target(48, kUntouched);
        ASSERT_EQ(KivPictureZoomPicFile(path, clip, placement, CSize(8, 6),
                                        reinterpret_cast<tagCOLOR32*>(target.data()), 2),
                  1);
        for (int i = 0; i < 48; ++i)
            EXPECT_EQ(target[i] != kUntouched, i % 8 >= updated.left && i % 8 < updated.right &&
                                                   i / 8 >= updated.top && i / 8 < updated.bottom)
                << placement.left << ": " << i;
    }
}

// The process-wide pixel limit refuses a larger picture in every reader and in the scaled loads, before
// anything is decoded; 0 leaves only the 4 GiB limit.
TEST(PixelLimit, EveryReaderAndScaledLoadHonoursIt) {
    EXPECT_EQ(KivPictureGetPixelLimit(), 1ull << 28) << "the default: a 1 GiB buffer";
    std::vector<tagCOLOR32> target(4);
    for (const char* file : {"bmp/Info_4_Bit_Top_Down.bmp", "tga/200x32_la_tl_rle.tga", "gif/2x2.gif", "pcx/24bit.pcx",
                             "jpeg/flower2.jpg", "psd/4x4_16bit_cmyk.psd"}) {
        SCOPED_TRACE(file);
        const CString path = Wide(TestDataPath(file));
        KivPictureSetPixelLimit(0);
        LoadedPicture whole;
        whole.pixels = KivPictureLoadPicFile(path, whole.rect);
        ASSERT_TRUE(whole.pixels);
        const ULONGLONG pixels = 1ull * whole.rect.Width() * whole.rect.Height();
        for (const ULONGLONG limit : {pixels - 1, pixels}) {
            KivPictureSetPixelLimit(limit);
            KivLoadStatus status = KivLoadStatus::ok;
            LoadedPicture loaded;
            loaded.pixels = KivPictureLoadPicFileEx(path, loaded.rect, &status);
            EXPECT_EQ(status, limit < pixels ? KivLoadStatus::tooLarge : KivLoadStatus::ok);
            EXPECT_EQ(KivPictureZoomPicFile(path, target.data(), CSize(2, 2), 2), limit < pixels ? 0 : 1);
            EXPECT_EQ(KivPictureLoadPicFile(path, target.data(), CSize(2, 2), 2), limit < pixels ? 0 : 1);
        }
    }
    KivPictureSetPixelLimit(1ull << 28);
}
