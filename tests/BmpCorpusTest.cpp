// The BMP reader on the public test corpus (tests/data/bmp and tests/data/hostile/bmp; sources and licences
// in tests/data/ATTRIBUTION.tsv): every file loads or is refused as the table says, hostile files never
// crash the process, and accepted files match stb_image pixel for pixel where the two agree on meaning.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>

#include "BmpBuilder.h"

#include <stb/stb_image.h>  // built once, in StbImage.cpp

namespace {

using S = KivLoadStatus;

// How an accepted file is checked.
enum class Check {
    stb,            // identical to stb_image, alpha included (255 everywhere)
    stbColour,      // 32-bit file: colours as stb_image, our alpha 255 whatever the fourth bytes hold
    stb555,         // 16-bit 5-5-5: stb_image widens 5 bits to 8 by scaling, we shift left by 3
    stbOrBlack,     // palette indices past the entries read: stb_image leaves them undefined, we give black
    stbTruncated,   // rows missing from the file: ours are transparent black, stb_image's opaque black
    sameAs,         // stb_image refuses it; the same picture as another corpus file
    runLength,      // stb_image cannot decode run-length files: the same picture as `reference`
    runLengthGaps,  // the same, with pixels the stream skips left transparent black
    opaque,         // no reference: every pixel decoded (alpha 255)
    noReference,    // loads; there is nothing to compare it with
    refused,
};

struct CorpusFile {
    const char* path;
    S expected;
    Check check;
    const char* reference;  // for sameAs and runLength
};

const CorpusFile kCorpus[] = {
    // Well-formed and unusual files.
    {"bmp/Core_1_Bit.bmp", S::unsupportedVariant, Check::refused, nullptr},  // 12-byte OS/2 header
    {"bmp/Core_4_Bit.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/Core_8_Bit.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/Info_1_Bit_Top_Down.bmp", S::ok, Check::stb, nullptr},
    {"bmp/Info_4_Bit_Top_Down.bmp", S::ok, Check::stb, nullptr},
    {"bmp/Info_A8_R8_G8_B8_Top_Down.bmp", S::ok, Check::stbColour, nullptr},
    {"bmp/Info_R8_G8_B8_Top_Down.bmp", S::ok, Check::stb, nullptr},
    {"bmp/Info_X1_R5_G5_B5_Top_Down.bmp", S::ok, Check::stb555, nullptr},
    {"bmp/V3_A1_R5_G5_B5.bmp", S::unsupportedVariant, Check::refused, nullptr},  // 56-byte header
    {"bmp/V3_A1_R5_G5_B5_Top_Down.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/V3_A4_R4_G4_B4.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/V3_R5_G6_B5.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/V3_X4_R4_G4_B4.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/V3_X8_R8_G8_B8.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/V4_A8_R8_G8_B8.bmp", S::unsupportedVariant, Check::refused, nullptr},  // 108-byte header
    {"bmp/V4_R5_G6_B5.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/V5_A1_R5_G5_B5.bmp", S::unsupportedVariant, Check::refused, nullptr},  // 124-byte header
    {"bmp/V5_A8_R8_G8_B8_Rgb.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/ba-bm.bmp", S::notThisFormat, Check::refused, nullptr},  // "BA" bitmap array
    {"bmp/bricks-gray.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/hippopotamus.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/hopper_rle8.bmp", S::ok, Check::opaque, nullptr},  // every pixel is coded
    {"bmp/hopper_rle8_grayscale.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/pal1.bmp", S::ok, Check::stb, nullptr},
    {"bmp/pal1bg.bmp", S::ok, Check::stb, nullptr},
    {"bmp/pal1huffmsb.bmp", S::unsupportedVariant, Check::refused, nullptr},  // 64-byte OS/2 header
    {"bmp/pal1p1.bmp", S::ok, Check::stbOrBlack, nullptr},  // one palette entry for two indices
    {"bmp/pal1wb.bmp", S::ok, Check::stb, nullptr},
    {"bmp/pal2.bmp", S::unsupportedVariant, Check::refused, nullptr},  // 2 bits per pixel
    {"bmp/pal2color.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/pal4.bmp", S::ok, Check::stb, nullptr},
    {"bmp/pal4gs.bmp", S::ok, Check::stb, nullptr},
    {"bmp/pal4rle.bmp", S::ok, Check::runLength, "bmp/pal4.bmp"},
    {"bmp/pal4rlecut.bmp", S::ok, Check::runLengthGaps, "bmp/pal4.bmp"},
    {"bmp/pal4rletrns.bmp", S::ok, Check::runLengthGaps, "bmp/pal4.bmp"},
    {"bmp/pal8-0.bmp", S::ok, Check::stb, nullptr},
    {"bmp/pal8.bmp", S::ok, Check::stb, nullptr},
    {"bmp/pal8gs.bmp", S::ok, Check::stb, nullptr},
    {"bmp/pal8nonsquare.bmp", S::ok, Check::stb, nullptr},
    {"bmp/pal8offs.bmp", S::ok, Check::sameAs, "bmp/pal8.bmp"},  // rows at the data offset, after a gap
    {"bmp/pal8os2-hs.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/pal8os2-sz.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/pal8os2.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/pal8os2sp.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/pal8os2v2-16.bmp", S::unsupportedVariant, Check::refused, nullptr},  // 16-byte header
    {"bmp/pal8os2v2-40sz.bmp", S::ok, Check::stb, nullptr},
    {"bmp/pal8os2v2-sz.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/pal8os2v2.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/pal8oversizepal.bmp", S::corrupt, Check::refused, nullptr},  // colours-used 300
    {"bmp/pal8rle.bmp", S::ok, Check::runLength, "bmp/pal8.bmp"},
    {"bmp/pal8rlecut.bmp", S::ok, Check::runLengthGaps, "bmp/pal8.bmp"},
    {"bmp/pal8rletrns.bmp", S::ok, Check::runLengthGaps, "bmp/pal8.bmp"},
    {"bmp/pal8topdown.bmp", S::ok, Check::stb, nullptr},
    {"bmp/pal8v4.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/pal8v5.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/pal8w124.bmp", S::ok, Check::stb, nullptr},
    {"bmp/pal8w125.bmp", S::ok, Check::stb, nullptr},
    {"bmp/pal8w126.bmp", S::ok, Check::stb, nullptr},
    {"bmp/palette.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/pillow-1.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/pjw-thumbnail.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgb16-231.bmp", S::unsupportedVariant, Check::refused, nullptr},  // bit fields
    {"bmp/rgb16-3103.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgb16-565.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgb16-565pal.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgb16.bmp", S::ok, Check::stb555, nullptr},
    {"bmp/rgb16bfdef.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgb16faketrns.bmp", S::ok, Check::stb555, nullptr},  // bit 15 set on some pixels, ignored
    {"bmp/rgb24.bmp", S::ok, Check::stb, nullptr},
    {"bmp/rgb24jpeg.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgb24largepal.bmp", S::ok, Check::sameAs, "bmp/rgb24.bmp"},  // colours-used 300, unused at 24 bits
    {"bmp/rgb24lprof.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgb24pal.bmp", S::ok, Check::sameAs, "bmp/rgb24.bmp"},  // an unused palette before the rows
    {"bmp/rgb24png.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgb24prof.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgb24prof2.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgb24rle24.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgb32-111110.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgb32-7187.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgb32-xbgr.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgb32.bmp", S::ok, Check::stbColour, nullptr},
    {"bmp/rgb32bf-abgr.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgb32bf-rgba.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgb32bf.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgb32bfdef.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgb32fakealpha.bmp", S::ok, Check::stbColour, nullptr},  // nonzero fourth bytes, alpha still 255
    {"bmp/rgb32h52.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgba16-1924.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgba16-4444.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgba16-5551.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgba32-1.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgba32-1010102.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgba32-2.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgba32-61754.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgba32-81284.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgba32abf.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgba32h56.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/rgba64.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/simple_v4.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/svg.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"bmp/vgl_6434_0018a.bmp", S::ok, Check::stb, nullptr},
    {"bmp/windows_rgba_v5.bmp", S::unsupportedVariant, Check::refused, nullptr},
    // Malformed files.
    {"hostile/bmp/Bad_clrsUsed.bmp", S::corrupt, Check::refused, nullptr},
    {"hostile/bmp/Bad_height.bmp", S::tooLarge, Check::refused, nullptr},
    {"hostile/bmp/Bad_unusual_extend_buffer_usage.bmp", S::corrupt, Check::refused, nullptr},
    {"hostile/bmp/Bad_width.bmp", S::tooLarge, Check::refused, nullptr},
    {"hostile/bmp/V5_A8_R8_G8_B8_Rgb_BadMask.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"hostile/bmp/badbitcount.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"hostile/bmp/badbitssize.bmp", S::ok, Check::stb, nullptr},  // the image-size field is not read
    {"hostile/bmp/baddens1.bmp", S::ok, Check::stb, nullptr},     // nor the resolutions
    {"hostile/bmp/baddens2.bmp", S::ok, Check::stb, nullptr},
    {"hostile/bmp/badfilesize.bmp", S::ok, Check::stb, nullptr},                   // nor the file size
    {"hostile/bmp/badheadersize.bmp", S::notThisFormat, Check::refused, nullptr},  // 66 bytes
    {"hostile/bmp/badpalettesize.bmp", S::corrupt, Check::refused, nullptr},
    {"hostile/bmp/badplanes.bmp", S::ok, Check::sameAs, "bmp/pal1.bmp"},  // nor the planes
    {"hostile/bmp/badrle.bmp", S::corrupt, Check::refused, nullptr},
    {"hostile/bmp/badrle4.bmp", S::corrupt, Check::refused, nullptr},
    {"hostile/bmp/badrle4bis.bmp", S::corrupt, Check::refused, nullptr},
    {"hostile/bmp/badrle4ter.bmp", S::corrupt, Check::refused, nullptr},
    {"hostile/bmp/badrlebis.bmp", S::corrupt, Check::refused, nullptr},
    {"hostile/bmp/badrleter.bmp", S::corrupt, Check::refused, nullptr},
    {"hostile/bmp/badwidth.bmp", S::corrupt, Check::refused, nullptr},
    {"hostile/bmp/hopper_rle8_row_overflow.bmp", S::corrupt, Check::refused, nullptr},
    {"hostile/bmp/imagemagick_invalid_run_length_issue_2321.bmp", S::unsupportedVariant, Check::refused,
     nullptr},
    {"hostile/bmp/l2rgb_read.bmp", S::ok, Check::noReference,
     nullptr},  // 3158064 x 48 pixels in 57 bytes: rows missing
    // The data offset (54) points into the palette, which is then read as rows; the file is a byte short.
    {"hostile/bmp/mmap_error.bmp", S::ok, Check::noReference, nullptr},
    {"hostile/bmp/pal8badindex.bmp", S::ok, Check::stbOrBlack, nullptr},
    {"hostile/bmp/reallybig.bmp", S::tooLarge, Check::refused, nullptr},
    {"hostile/bmp/rgb16-880.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"hostile/bmp/rle_overflow.bmp", S::corrupt, Check::refused, nullptr},
    {"hostile/bmp/rletopdown.bmp", S::unsupportedVariant, Check::refused, nullptr},
    {"hostile/bmp/shortfile.bmp", S::ok, Check::stbTruncated, nullptr},
};

constexpr DWORD kOpaqueBlack = 0xFF000000u;

// stb_image's RGBA bytes as our pixel word.
DWORD StbWord(const unsigned char* rgba) {
    return static_cast<DWORD>(rgba[3]) << 24 | static_cast<DWORD>(rgba[0]) << 16 |
           static_cast<DWORD>(rgba[1]) << 8 | rgba[2];
}

struct StbPicture {
    int width = 0, height = 0;
    std::vector<DWORD> pixels;
};

StbPicture LoadWithStb(const std::string& path) {
    StbPicture picture;
    int channels = 0;
    unsigned char* rgba = stbi_load(path.c_str(), &picture.width, &picture.height, &channels, 4);
    if (!rgba) return picture;
    const size_t count = static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height);
    for (size_t i = 0; i < count; ++i) picture.pixels.push_back(StbWord(rgba + 4 * i));
    stbi_image_free(rgba);
    return picture;
}

// Compares our pixels with stb_image's under the check's rule; returns the number of pixels that differ.
size_t CountDifferences(const Decoded& ours, const StbPicture& stb, Check check) {
    size_t differ = 0;
    for (size_t i = 0; i < ours.pixels.size(); ++i) {
        const DWORD our = ours.pixels[i];
        const DWORD their = stb.pixels[i];
        bool same = false;
        switch (check) {
            case Check::stb:
                same = our == their;
                break;
            case Check::stbColour:
                same = our == (their | kOpaqueBlack);
                break;
            case Check::stb555:
                same = our == (their & 0xFFF8F8F8u);
                break;
            case Check::stbOrBlack:
                same = our == their || our == kOpaqueBlack;
                break;
            case Check::stbTruncated:
                same = our == their || (our == 0 && their == kOpaqueBlack);
                break;
            default:
                break;
        }
        if (!same) ++differ;
    }
    return differ;
}

void CheckAccepted(const CorpusFile& entry, const Decoded& ours) {
    const std::string path = TestDataPath(entry.path);
    switch (entry.check) {
        case Check::stb:
        case Check::stbColour:
        case Check::stb555:
        case Check::stbOrBlack:
        case Check::stbTruncated: {
            const StbPicture stb = LoadWithStb(path);
            ASSERT_FALSE(stb.pixels.empty())
                << entry.path << ": stb_image refuses it: " << stbi_failure_reason();
            ASSERT_EQ(CSize(stb.width, stb.height), ours.rect.Size()) << entry.path;
            EXPECT_EQ(CountDifferences(ours, stb, entry.check), 0u) << entry.path;
            break;
        }
        case Check::sameAs:
        case Check::runLength:
        case Check::runLengthGaps: {
            const Decoded reference = LoadPicture(TestDataPath(entry.reference));
            ASSERT_TRUE(reference.loaded) << entry.reference;
            ASSERT_EQ(reference.rect, ours.rect) << entry.path;
            size_t differ = 0;
            size_t skipped = 0;
            for (size_t i = 0; i < ours.pixels.size(); ++i) {
                if (ours.pixels[i] == reference.pixels[i]) continue;
                // The gaps of a run-length stream keep the zero fill.
                if (ours.pixels[i] == 0 && entry.check != Check::runLength) {
                    ++skipped;
                } else {
                    ++differ;
                }
            }
            EXPECT_EQ(differ, 0u) << entry.path << " against " << entry.reference;
            if (entry.check == Check::runLengthGaps) {
                EXPECT_GT(skipped, 0u) << entry.path << ": no skipped pixel";
            }
            break;
        }
        case Check::opaque:
            EXPECT_TRUE(std::all_of(ours.pixels.begin(), ours.pixels.end(), [](DWORD p) {
                return p >> 24 == 0xFF;
            })) << entry.path;
            break;
        default:
            break;
    }
}

}  // namespace

TEST(BmpCorpus, TableCoversEveryFile) {
    std::set<std::string> listed;
    for (const CorpusFile& entry : kCorpus) listed.insert(entry.path);
    std::set<std::string> present;
    for (const char* folder : {"bmp", "hostile/bmp"})
        for (const auto& file : std::filesystem::directory_iterator(TestDataPath(folder)))
            present.insert(std::string(folder) + "/" + file.path().filename().string());
    EXPECT_EQ(listed, present);
}

TEST(BmpCorpus, EachFileLoadsOrIsRefusedAsExpected) {
    for (const CorpusFile& entry : kCorpus) {
        SCOPED_TRACE(entry.path);
        const Decoded ours = LoadPicture(TestDataPath(entry.path));
        EXPECT_EQ(ours.status, entry.expected) << KivLoadStatusText(ours.status);
        EXPECT_EQ(ours.loaded, entry.expected == S::ok);
        if (!ours.loaded || entry.expected != S::ok) continue;
        CheckAccepted(entry, ours);
    }
}

// Each malformed file is read in a child process first, so a crash shows as a failure of that file
// instead of ending the whole run.
TEST(BmpCorpusDeathTest, HostileFilesNeverCrash) {
    for (const CorpusFile& entry : kCorpus) {
        if (std::string(entry.path).rfind("hostile/", 0) != 0) continue;
        const std::string path = TestDataPath(entry.path);
        EXPECT_EXIT(
            {
                CRect rect;
                GlobalFree(KivPictureLoadBMPFile(Wide(path), rect));
                std::exit(0);
            },
            ::testing::ExitedWithCode(0), "")
            << entry.path;
    }
}
