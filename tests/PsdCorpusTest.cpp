// The PSD reader on the public test corpus (tests/data/psd and tests/data/hostile/psd; sources and
// licences in tests/data/psd/ATTRIBUTION.tsv): every file loads or is refused as the table says, hostile
// files never crash the process, and the pixels of accepted files follow from the samples that stb_image
// decodes independently, through the colour conversion of their mode.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "PsdFormulas.h"
#include "TestFiles.h"
#include "readers/Readers.h"

// A private copy of stb_image's PSD decoder: the shared copy in the test program is built for BMP alone.
#include <stb/stb_image.h>  // built once, in StbImage.cpp

namespace {

using S = KivLoadStatus;

enum class Check {
    samples,   // the conversion of the samples stb_image decodes
    opaque,    // no independent decoder: every pixel is opaque
    sizeOnly,  // no independent decoder, alpha from a channel: only the size
    refused,
};

struct CorpusFile {
    const char* path;
    S expected;
    Check check;
    int width = 0;
    int height = 0;
};

const CorpusFile kCorpus[] = {
    {"psd/16bit-rle.psd", S::ok, Check::opaque, 485, 484},  // stb_image decodes 16-bit PackBits as 8-bit
    {"psd/16bit5x5.psd", S::ok, Check::samples, 5, 5},
    {"psd/1layer.psb", S::unsupportedVariant, Check::refused},  // version 2, the large-document format
    {"psd/1layer.psd", S::ok, Check::samples, 101, 55},
    {"psd/2layer_8ele_tblocks.psd", S::ok, Check::samples, 1, 1},
    {"psd/32bit5x5.psd", S::unsupportedVariant, Check::refused},  // 32-bit floating-point samples
    {"psd/4x4_16bit_cmyk.psd", S::ok, Check::samples, 4, 4},
    {"psd/4x4_16bit_grayscale.psd", S::ok, Check::samples, 4, 4},
    {"psd/4x4_16bit_lab.psd", S::ok, Check::samples, 4, 4},
    {"psd/4x4_16bit_multichannel.psd", S::ok, Check::samples, 4, 4},
    {"psd/4x4_16bit_rgb.psd", S::ok, Check::samples, 4, 4},
    {"psd/4x4_1bit_bitmap.psd", S::unsupportedVariant, Check::refused},  // 1-bit samples
    {"psd/4x4_32bit_grayscale.psd", S::unsupportedVariant, Check::refused},
    {"psd/4x4_32bit_rgb.psd", S::unsupportedVariant, Check::refused},
    {"psd/4x4_8bit_cmyk.psd", S::ok, Check::samples, 4, 4},
    {"psd/4x4_8bit_duotone.psd", S::ok, Check::samples, 4, 4},
    {"psd/4x4_8bit_grayscale.psd", S::ok, Check::samples, 4, 4},
    {"psd/4x4_8bit_index_color.psd", S::ok, Check::samples, 4, 4},
    {"psd/4x4_8bit_lab.psd", S::ok, Check::samples, 4, 4},
    {"psd/4x4_8bit_rgb.psd", S::ok, Check::samples, 4, 4},
    {"psd/4x4_8bit_rgba.psd", S::ok, Check::samples, 4, 4},
    {"psd/53alphas.psd", S::ok, Check::sizeOnly, 256, 256},  // 57 channels: stb_image reads up to 16
    {"psd/argb16-raw-affinityphoto-1.8.5.psd", S::ok, Check::samples, 32, 32},
    {"psd/bitmap.psd", S::unsupportedVariant, Check::refused},
    {"psd/cmyk-spot.psd", S::ok, Check::samples, 640, 637},
    {"psd/cmyk8_testcard.psd", S::ok, Check::samples, 256, 256},
    {"psd/five_channels.psd", S::ok, Check::samples, 1, 1},
    {"psd/gray0.psd", S::ok, Check::samples, 400, 359},
    {"psd/gray1.psd", S::ok, Check::samples, 1800, 1200},
    {"psd/hopper.psd", S::ok, Check::samples, 128, 128},
    {"psd/hopper_merged.psd", S::ok, Check::samples, 128, 128},
    {"psd/indexed.psd", S::ok, Check::samples, 300, 300},
    {"psd/issue397.psd", S::ok, Check::samples, 240, 186},
    {"psd/laba_8bit.psd", S::ok, Check::samples, 300, 300},
    {"psd/mch-8bits.psd", S::ok, Check::samples, 300, 300},
    {"psd/negative_layer_count.psd", S::ok, Check::samples, 100, 100},
    {"psd/negative_top_left_layer.psd", S::ok, Check::samples, 100, 100},
    {"psd/north_america_newspaper.psd", S::ok, Check::samples, 4, 4},
    {"psd/orientation6.psd", S::ok, Check::samples, 160, 480},  // the stored orientation is not applied
    {"psd/rgb-gimp-2.8.10.psd", S::ok, Check::samples, 32, 32},
    {"psd/rgb16-raw-affinityphoto-1.8.5.psd", S::ok, Check::samples, 32, 32},
    {"psd/rgba.psd", S::ok, Check::samples, 100, 100},
    {"psd/testcard_graya8.psd", S::ok, Check::samples, 256, 256},
    {"psd/transparentbg-gimp.psd", S::ok, Check::samples, 40, 40},
    {"psd/transparentbg.psd", S::unsupportedVariant, Check::refused},  // 32-bit
    // Malformed files.
    {"hostile/psd/combined_larger_than_size.psd", S::truncated, Check::refused},  // no image data at all
    {"hostile/psd/psd-oob-write-overflow.psd", S::ok, Check::samples, 10, 10},    // the faults are in layers
    {"hostile/psd/psd-oob-write-x.psd", S::ok, Check::samples, 1, 1},
    {"hostile/psd/psd-oob-write-y.psd", S::ok, Check::samples, 1, 1},
    {"hostile/psd/psd-oob-write.psd", S::ok, Check::samples, 100, 100},
    {"hostile/psd/timeout-1ee28a249896e05b83840ae8140622de8e648ba9.psd", S::corrupt,
     Check::refused},  // code 65535
    {"hostile/psd/timeout-598843abc37fc080ec36a2699ebbd44f795d3a6f.psd", S::corrupt,
     Check::refused},  // resources
    {"hostile/psd/timeout-c8efc3fded6426986ba867a399791bae544f59bc.psd", S::corrupt, Check::refused},
    {"hostile/psd/timeout-dedc7a4ebd856d79b4359bbcc79e8ef231ce38f6.psd", S::corrupt, Check::refused},
};

struct Decoded {
    KivLoadStatus status = S::ok;
    CRect rect;
    std::vector<DWORD> pixels;
};

Decoded Load(const std::string& path) {
    DecodedPicture picture = ReadPsdFile(Wide(path));
    Decoded decoded;
    decoded.status = picture.status;
    if (!picture.ok()) return decoded;
    decoded.rect = picture.rect;
    const DWORD* pixels = picture.pixels.get();
    decoded.pixels.assign(pixels, pixels + static_cast<size_t>(picture.rect.Width()) * picture.rect.Height());
    return decoded;
}

unsigned FieldBE16(const Bytes& bytes, size_t offset) {
    return bytes[offset] << 8 | bytes[offset + 1];
}

// What the reader's conversion makes of one pixel's samples s[0..3].
struct Conversion {
    unsigned mode;
    unsigned channels;
    const std::uint8_t* colorTable;  // the indexed files of the corpus all have a table and a colour count

    DWORD Convert(const unsigned char* s) const {
        switch (mode) {
            case 1:  // grey
            case 8:  // duotone
                return 0xFF000000u | s[0] * 0x010101u;
            case 2:
                return 0xFF000000u | static_cast<DWORD>(colorTable[s[0]]) << 16 |
                       static_cast<DWORD>(colorTable[256 + s[0]]) << 8 | colorTable[512 + s[0]];
            case 3:
                return static_cast<DWORD>(channels >= 4 ? s[3] : 255) << 24 | static_cast<DWORD>(s[0]) << 16 |
                       static_cast<DWORD>(s[1]) << 8 | s[2];
            case 4:
                return psdtest::InkPixel(s[0], s[1], s[2], psdtest::Key(s[3]));
            case 7:
                return psdtest::InkPixel(s[0], s[1], s[2], channels == 4 ? psdtest::Key(s[3]) : 0.0);
            case 9:
                return psdtest::LabPixel(s[0], s[1], s[2]);
            default:
                return 0;
        }
    }
};

// Decodes the file's first four channels with stb_image, told that the file is RGB so that it reads any
// mode. stb_image keeps a pixel's samples as they are unless the file has four or more channels and the
// fourth sample is neither 0 nor 255: it then takes the first three for colours matted against white,
// and only the fourth is known.
void CheckSamples(const CorpusFile& entry, const Decoded& ours) {
    Bytes bytes = ReadFileBytes(TestDataPath(entry.path));
    const unsigned mode = FieldBE16(bytes, 24);
    const unsigned channels = FieldBE16(bytes, 12);
    const Conversion conversion{mode, channels, mode == 2 ? bytes.data() + 30 : nullptr};
    bytes[24] = 0;
    bytes[25] = 3;
    int width = 0, height = 0, components = 0;
    unsigned char* samples =
        stbi_load_from_memory(bytes.data(), static_cast<int>(bytes.size()), &width, &height, &components, 4);
    ASSERT_NE(samples, nullptr) << "stb_image refuses it: " << stbi_failure_reason();
    ASSERT_EQ(CSize(width, height), ours.rect.Size());
    size_t differ = 0, matted = 0;
    for (size_t i = 0; i < ours.pixels.size(); ++i) {
        const unsigned char* s = samples + 4 * i;
        if (channels >= 4 && s[3] != 0 && s[3] != 255) {
            ++matted;
            if (mode == 3 && ours.pixels[i] >> 24 != s[3]) ++differ;
            continue;
        }
        if (ours.pixels[i] != conversion.Convert(s)) ++differ;
    }
    stbi_image_free(samples);
    EXPECT_EQ(differ, 0u);
    EXPECT_LT(matted, ours.pixels.size()) << "no pixel compared in full";
}

}  // namespace

TEST(PsdCorpus, TableCoversEveryFile) {
    std::set<std::string> listed;
    for (const CorpusFile& entry : kCorpus) listed.insert(entry.path);
    std::set<std::string> present;
    for (const char* folder : {"psd", "hostile/psd"})
        for (const auto& file : std::filesystem::directory_iterator(TestDataPath(folder)))
            if (file.path().filename() != "ATTRIBUTION.tsv")
                present.insert(std::string(folder) + "/" + file.path().filename().string());
    EXPECT_EQ(listed, present);
}

TEST(PsdCorpus, EachFileLoadsOrIsRefusedAsExpected) {
    for (const CorpusFile& entry : kCorpus) {
        SCOPED_TRACE(entry.path);
        const Decoded ours = Load(TestDataPath(entry.path));
        ASSERT_EQ(ours.status, entry.expected) << KivLoadStatusText(ours.status);
        if (entry.expected != S::ok) continue;
        ASSERT_EQ(ours.rect, CRect(0, 0, entry.width, entry.height));
        switch (entry.check) {
            case Check::samples:
                CheckSamples(entry, ours);
                break;
            case Check::opaque:
                EXPECT_TRUE(std::all_of(ours.pixels.begin(), ours.pixels.end(),
                                        [](DWORD p) { return p >> 24 == 0xFF; }));
                break;
            default:
                break;
        }
    }
}

// Each file is read in a child process first, so a crash shows as a failure of that file instead of
// ending the whole run.
TEST(PsdCorpusDeathTest, HostileFilesNeverCrash) {
    for (const CorpusFile& entry : kCorpus) {
        if (std::string(entry.path).rfind("hostile/", 0) != 0) continue;
        const std::string path = TestDataPath(entry.path);
        EXPECT_EXIT(
            {
                CRect rect;
                GlobalFree(KivPictureLoadPSDFile(Wide(path), rect));
                std::exit(0);
            },
            ::testing::ExitedWithCode(0), "")
            << entry.path;
    }
}
