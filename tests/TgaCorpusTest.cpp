// The TGA reader on the public test corpus (tests/data/tga and tests/data/hostile/tga; sources and licences
// in tests/data/ATTRIBUTION.tsv): every file loads or is refused as the table says, hostile files never
// crash the process, and accepted files match stb_image pixel for pixel once the rules in which our reader
// and stb_image differ are applied. The ten Truevision samples may not be copied into the repository;
// when the shared corpus is found beside the repository they are checked in place as well.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "readers/Readers.h"
#include "readers/TgaFileInfo.h"

// stb_image's functions are made static here, so this file's copy cannot clash with another test's.
#include <stb/stb_image.h>  // built once, in StbImage.cpp

namespace {

using S = KivLoadStatus;

enum class Check {
    stb,       // stb_image's picture under our reader's rules (see ExpectedFromStb)
    sameAs,    // stb_image refuses it: the same picture as the reference file
    opaque,    // no independent reference: every pixel opaque, and not all of them black
    allBlack,  // the file holds no pixel data: every pixel opaque black
    sizeOnly,  // cut short: only the size is checked (the rows it lacks are checked in TgaReaderTest)
    refused,
};

struct CorpusFile {
    const char* path;
    S expected;
    Check check;
    const char* why;
    const char* reference = nullptr;  // for sameAs
};

const CorpusFile kCorpus[] = {
    {"tga/1x1_l_bl_raw.tga", S::ok, Check::stb, "1x1 grey"},
    {"tga/200x32_la_bl_raw.tga", S::ok, Check::stb, "16-bit grey plus alpha read as the grey level"},
    {"tga/200x32_la_tl_rle.tga", S::ok, Check::stb, "the same, run-length, top-left"},
    {"tga/200x32_p_tl_rle.tga", S::ok, Check::stb, "colour-mapped run-length"},
    {"tga/200x32_rgb_bl_raw.tga", S::ok, Check::stb, "24-bit bottom-left"},
    {"tga/200x32_rgba_bl_raw.tga", S::ok, Check::stb, "32-bit keeps its alpha"},
    {"tga/200x32_rgba_tl_rle.tga", S::ok, Check::stb, "32-bit run-length top-left"},
    {"tga/b5-attrib.tga", S::ok, Check::stb, "16-bit: the attribute bit is dropped"},
    {"tga/b5-cmap.tga", S::ok, Check::stb, "15-bit colour-map entries"},
    {"tga/b5-noattrib.tga", S::ok, Check::stb, "16-bit without attribute bits"},
    {"tga/b5-unused-cmap.tga", S::ok, Check::sameAs, "true colour stepping over a colour map",
     "tga/b5-noattrib.tga"},
    {"tga/bottom_left.tga", S::ok, Check::stb, "packets span rows"},
    {"tga/bottom_right.tga", S::ok, Check::stb, "right origin: not mirrored"},
    {"tga/bricks-gray.tga", S::ok, Check::stb, "run-length grey photo"},
    {"tga/bricks-nodither.tga", S::ok, Check::stb, "256-entry 24-bit colour map"},
    {"tga/bwa.tga", S::ok, Check::stb, "run-length 16-bit grey plus alpha"},
    {"tga/cmap_offset.tga", S::ok, Check::opaque, "first index 39: stb_image misreads the offset"},
    {"tga/colormapped.tga", S::ok, Check::stb, "32-bit entries: their alpha is not kept"},
    {"tga/cross_scan_line.tga", S::ok, Check::stb, "a packet crossing the row end"},
    {"tga/devarea.tga", S::ok, Check::stb, "developer area ignored"},
    {"tga/extarea.tga", S::ok, Check::stb, "extension area and image ID ignored"},
    {"tga/image_id.tga", S::ok, Check::stb, "image ID skipped"},
    {"tga/issue_216_compressed.tga", S::ok, Check::stb, "run-length 32-bit"},
    {"tga/logo_type2_24bpp_br.tga", S::ok, Check::stb, "bottom-right origin"},
    {"tga/logo_type2_24bpp_tr.tga", S::ok, Check::stb, "top-right origin read bottom-up"},
    {"tga/rgb16.tga", S::ok, Check::stb, "16-bit colour"},
    {"tga/rgb32rle_top_right.tga", S::ok, Check::stb, "top-right run-length read bottom-up"},
    {"tga/rgba.tga", S::ok, Check::stb, "32-bit with 4 attribute bits keeps all alpha"},
    {"tga/rgba16.tga", S::ok, Check::stb, "16-bit declaring 8 attribute bits"},
    {"tga/sample.tga", S::ok, Check::stb, "odd size run-length"},
    {"tga/tga_id_field.tga", S::ok, Check::stb, "6-byte image ID"},
    {"tga/top_left.tga", S::ok, Check::stb, "packets span rows, top-left"},
    {"tga/top_right.tga", S::ok, Check::stb, "top-right read bottom-up"},
    {"tga/type10_16bpp_bl.tga", S::ok, Check::stb, "type 10, 16-bit"},
    {"tga/type10_16bpp_tl.tga", S::ok, Check::stb, "type 10, 16-bit, top-left"},
    {"tga/type10_24bpp_bl.tga", S::ok, Check::stb, "type 10, 24-bit"},
    {"tga/type10_24bpp_tl.tga", S::ok, Check::stb, "type 10, 24-bit, top-left"},
    {"tga/type11_bl.tga", S::ok, Check::stb, "type 11"},
    {"tga/type11_tl.tga", S::ok, Check::stb, "type 11, top-left"},
    {"tga/type1_16bpp_bl.tga", S::ok, Check::stb, "type 1, 16-bit entries"},
    {"tga/type1_16bpp_tl.tga", S::ok, Check::stb, "type 1, 16-bit entries, top-left"},
    {"tga/type1_24bpp_bl.tga", S::ok, Check::stb, "type 1, 24-bit entries"},
    {"tga/type1_24bpp_tl.tga", S::ok, Check::stb, "type 1, 24-bit entries, top-left"},
    {"tga/type2_16bpp_bl.tga", S::ok, Check::stb, "type 2, 16-bit"},
    {"tga/type2_16bpp_tl.tga", S::ok, Check::stb, "type 2, 16-bit, top-left"},
    {"tga/type2_24bpp_bl.tga", S::ok, Check::stb, "type 2, 24-bit"},
    {"tga/type2_24bpp_tl.tga", S::ok, Check::stb, "type 2, 24-bit, top-left"},
    {"tga/type3_bl.tga", S::ok, Check::stb, "type 3"},
    {"tga/type3_tl.tga", S::ok, Check::stb, "type 3, top-left"},
    {"tga/type9_16bpp_bl.tga", S::ok, Check::stb, "type 9, 16-bit entries"},
    {"tga/type9_16bpp_tl.tga", S::ok, Check::stb, "type 9, 16-bit entries, top-left"},
    {"tga/type9_24bpp_bl.tga", S::ok, Check::stb, "type 9, 24-bit entries"},
    {"tga/type9_24bpp_tl.tga", S::ok, Check::stb, "type 9, 24-bit entries, top-left"},

    {"hostile/tga/bad-color-map.tga", S::corrupt, Check::refused, "width and height 0"},
    {"hostile/tga/cross_scan_line_truncated.tga", S::ok, Check::sizeOnly, "cut off inside a packet"},
    {"hostile/tga/error_color_map.tga", S::corrupt, Check::refused, "65535 map entries overflow the table"},
    {"hostile/tga/error_no_image_data.tga", S::ok, Check::allBlack, "header only"},
    {"hostile/tga/error_truncated_image_data.tga", S::ok, Check::sizeOnly, "pixel data cut short"},
    {"hostile/tga/flip-zero-height.tga", S::corrupt, Check::refused, "height 0"},
    {"hostile/tga/flip-zero-height2.tga", S::corrupt, Check::refused, "width and height 0"},
    {"hostile/tga/orientation-zero-width.tga", S::corrupt, Check::refused, "width 0"},
    {"hostile/tga/overfull-image.tga", S::ok, Check::sizeOnly, "packets past the last pixel are ignored"},
    {"hostile/tga/p_8.tga", S::ok, Check::allBlack, "header only: no image ID, map or pixels"},
    {"hostile/tga/sixteen-bit-gray-colormap.tga", S::notThisFormat, Check::refused, "image type 0"},
    {"hostile/tga/sixteen-bit-gray-colormap2.tga", S::ok, Check::sizeOnly, "32-bit grey, four bytes kept"},
    {"hostile/tga/slice-copy-length.tga", S::tooLarge, Check::refused, "8224 pixels wide"},
};

// The ten Truevision samples: checked only where the shared corpus lies beside the repository.
const CorpusFile kTruevisionSamples[] = {
    {"tga/cbw8.tga", S::ok, Check::stb, "run-length grey"},
    {"tga/ccm8.tga", S::ok, Check::stb, "run-length colour-mapped, 16-bit entries"},
    {"tga/ctc16.tga", S::ok, Check::stb, "run-length 16-bit"},
    {"tga/ctc24.tga", S::ok, Check::stb, "run-length 24-bit"},
    {"tga/ctc32.tga", S::ok, Check::stb, "run-length 32-bit"},
    {"tga/ubw8.tga", S::ok, Check::stb, "grey"},
    {"tga/ucm8.tga", S::ok, Check::stb, "colour-mapped, 16-bit entries"},
    {"tga/utc16.tga", S::ok, Check::stb, "16-bit"},
    {"tga/utc24.tga", S::ok, Check::stb, "24-bit"},
    {"tga/utc32.tga", S::ok, Check::stb, "32-bit"},
};

constexpr DWORD kOpaqueBlack = 0xFF000000u;

struct Decoded {
    S status = S::ok;
    CRect rect;
    std::vector<DWORD> pixels;
};

Decoded LoadTga(const std::string& path) {
    DecodedPicture picture = ReadTgaFile(Wide(path));
    Decoded decoded;
    decoded.status = picture.status;
    if (!picture.ok()) return decoded;
    decoded.rect = picture.rect;
    const DWORD* pixels = picture.pixels.get();
    decoded.pixels.assign(pixels, pixels + static_cast<size_t>(decoded.rect.Width()) * decoded.rect.Height());
    return decoded;
}

TgaFileInfo HeaderOf(const std::string& path) {
    const Bytes bytes = ReadFileBytes(path);
    BYTE raw[tga::kHeaderBytes] = {};
    std::copy_n(bytes.begin(), std::min<size_t>(bytes.size(), tga::kHeaderBytes), raw);
    TgaFileInfo info{};
    tga::DecodeHeader(raw, info);
    return info;
}

// stb_image widens a 5-bit component c to c x 255 / 31; our reader to c x 8, with the low three bits set
// when c is not 0. Recovers c from stb_image's byte and widens it our way.
BYTE WidenLikePart17(BYTE stbByte) {
    const unsigned c = (stbByte * 31u + 127u) / 255u;
    return static_cast<BYTE>(c == 0 ? 0 : (c << 3) | 7);
}

// stb_image's decode, turned into what our reader gives for the same file:
// - only a top-left origin (descriptor bits 5-4 = 10) is top-down; stb_image reads top-right files
//   top-down too, so their rows are reversed here;
// - the alpha of a picture whose pixel depth is not 32 is 255 (stb_image keeps 32-bit map entries' alpha
//   and the attribute byte of 16-bit grey);
// - 5-5-5 pixels and colour-map entries are widened by our reader's rule.
std::vector<DWORD> ExpectedFromStb(const std::string& path, int& width, int& height) {
    int channels = 0;
    unsigned char* rgba = stbi_load(path.c_str(), &width, &height, &channels, 4);
    if (!rgba) return {};
    const TgaFileInfo info = HeaderOf(path);
    const bool mapped = info.imageType == tga::kColorMapped || info.imageType == tga::kRleColorMapped;
    const bool grey = info.imageType == tga::kGrey || info.imageType == tga::kRleGrey;
    const unsigned bits = mapped ? info.colorMapEntrySize : info.pixelDepth;
    const bool fiveBits = !grey && (bits == 15 || bits == 16);
    const bool reverseRows = (info.imageDescriptor & tga::kOriginMask) == tga::kOriginMask;
    std::vector<DWORD> pixels(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = rgba + (static_cast<size_t>(y) * width + x) * 4;
            BYTE r = p[0], g = p[1], b = p[2];
            if (fiveBits) {
                r = WidenLikePart17(r);
                g = WidenLikePart17(g);
                b = WidenLikePart17(b);
            }
            const DWORD alpha = info.pixelDepth == 32 ? p[3] : 0xFF;
            const int row = reverseRows ? height - 1 - y : y;
            pixels[static_cast<size_t>(row) * width + x] =
                alpha << 24 | static_cast<DWORD>(r) << 16 | static_cast<DWORD>(g) << 8 | b;
        }
    }
    stbi_image_free(rgba);
    return pixels;
}

void CheckAccepted(const CorpusFile& entry, const std::string& path, const Decoded& ours) {
    const TgaFileInfo info = HeaderOf(path);
    EXPECT_EQ(ours.rect,
              CRect(info.xOrigin, info.yOrigin, info.xOrigin + info.width, info.yOrigin + info.height));
    switch (entry.check) {
        case Check::stb: {
            int width = 0, height = 0;
            const std::vector<DWORD> expected = ExpectedFromStb(path, width, height);
            ASSERT_FALSE(expected.empty()) << "stb_image refuses it: " << stbi_failure_reason();
            ASSERT_EQ(CSize(width, height), ours.rect.Size());
            size_t differ = 0;
            size_t first = expected.size();
            for (size_t i = 0; i < expected.size(); ++i) {
                if (ours.pixels[i] == expected[i]) continue;
                if (differ++ == 0) first = i;
            }
            EXPECT_EQ(differ, 0u) << "first at pixel " << first << ": ours " << std::hex
                                  << (first < expected.size() ? ours.pixels[first] : 0) << ", expected "
                                  << (first < expected.size() ? expected[first] : 0);
            break;
        }
        case Check::sameAs: {
            const Decoded reference = LoadTga(TestDataPath(entry.reference));
            ASSERT_EQ(reference.status, S::ok) << entry.reference;
            EXPECT_EQ(reference.rect.Size(), ours.rect.Size());
            EXPECT_EQ(reference.pixels, ours.pixels) << "against " << entry.reference;
            break;
        }
        case Check::opaque:
            EXPECT_TRUE(
                std::all_of(ours.pixels.begin(), ours.pixels.end(), [](DWORD p) { return p >> 24 == 0xFF; }));
            EXPECT_FALSE(std::all_of(ours.pixels.begin(), ours.pixels.end(),
                                     [](DWORD p) { return p == kOpaqueBlack; }));
            break;
        case Check::allBlack:
            EXPECT_TRUE(std::all_of(ours.pixels.begin(), ours.pixels.end(),
                                    [](DWORD p) { return p == kOpaqueBlack; }));
            break;
        default:
            break;
    }
}

void CheckFile(const CorpusFile& entry, const std::string& path) {
    SCOPED_TRACE(std::string(entry.path) + " (" + entry.why + ")");
    const Decoded ours = LoadTga(path);
    EXPECT_EQ(ours.status, entry.expected) << KivLoadStatusText(ours.status);
    if (ours.status != S::ok || entry.expected != S::ok) return;
    CheckAccepted(entry, path, ours);
}

}  // namespace

TEST(TgaCorpus, TableCoversEveryFile) {
    std::set<std::string> listed;
    for (const CorpusFile& entry : kCorpus) listed.insert(entry.path);
    std::set<std::string> present;
    for (const char* folder : {"tga", "hostile/tga"})
        for (const auto& file : std::filesystem::directory_iterator(TestDataPath(folder)))
            present.insert(std::string(folder) + "/" + file.path().filename().string());
    EXPECT_EQ(listed, present);
}

TEST(TgaCorpus, EachFileLoadsOrIsRefusedAsExpected) {
    for (const CorpusFile& entry : kCorpus) CheckFile(entry, TestDataPath(entry.path));
}

TEST(TgaCorpus, TruevisionSamplesInTheSharedCorpus) {
    const std::string folder = SharedCorpusFolder();
    if (folder.empty() || !std::filesystem::exists(folder + "/" + kTruevisionSamples[0].path))
        GTEST_SKIP() << "the shared corpus is not beside the repository (set KIV_CORPUS_DIR)";
    for (const CorpusFile& entry : kTruevisionSamples) CheckFile(entry, folder + "/" + entry.path);
}

// The load through the dispatch and the exported reader agree with the internal reader.
TEST(TgaCorpus, ExportedEntryPointsAgree) {
    const std::string path = TestDataPath("tga/bottom_left.tga");
    const Decoded internal = LoadTga(path);
    ASSERT_EQ(internal.status, S::ok);
    for (int entry = 0; entry < 2; ++entry) {
        CRect rect;
        DWORD* pixels =
            entry == 0 ? KivPictureLoadTGAFile(Wide(path), rect) : KivPictureLoadPicFile(Wide(path), rect);
        ASSERT_NE(pixels, nullptr);
        EXPECT_EQ(rect, internal.rect);
        EXPECT_TRUE(std::equal(internal.pixels.begin(), internal.pixels.end(), pixels));
        GlobalFree(pixels);
    }
}

// Each malformed file is read in a child process first, so a crash shows as a failure of that file
// instead of ending the whole run.
TEST(TgaCorpusDeathTest, HostileFilesNeverCrash) {
    for (const CorpusFile& entry : kCorpus) {
        if (std::string(entry.path).rfind("hostile/", 0) != 0) continue;
        const std::string path = TestDataPath(entry.path);
        EXPECT_EXIT(
            {
                CRect rect;
                GlobalFree(KivPictureLoadTGAFile(Wide(path), rect));
                std::exit(0);
            },
            ::testing::ExitedWithCode(0), "")
            << entry.path;
    }
}
