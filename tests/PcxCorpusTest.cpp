// The PCX reader on the public corpus: every file's outcome, and pixel-for-pixel agreement with ImageMagick
// where the two read a file the same way.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <set>
#include <string>

#include "TestFiles.h"
#include "readers/Readers.h"

namespace {

enum class Reference {
    none,
    imageMagick,  // ImageMagick's decoding, converted to pixel words
    // For 1-bit files: ImageMagick shows a set bit as black whatever the header palette holds, while our
    // pixels take the header palette's colours. The file's palette is replaced by two distinct colours,
    // and ImageMagick's black pixels must come out in the colour of entry 1, its white ones in entry 0.
    imageMagickBits,
};

struct CorpusCase {
    const char* file;  // under tests/data
    KivLoadStatus expected;
    int width = 0;
    int height = 0;
    Reference reference = Reference::none;
    const char* reason = "";
};

const CorpusCase kCases[] = {
    {"pcx/24bit.pcx", KivLoadStatus::ok, 435, 353, Reference::imageMagick, "24-bit, odd line length"},
    {"pcx/bw.pcx", KivLoadStatus::ok, 32, 32, Reference::imageMagick, "24-bit, grey content"},
    {"pcx/rgb.pcx", KivLoadStatus::ok, 32, 32, Reference::imageMagick, "24-bit"},
    {"pcx/sample.pcx", KivLoadStatus::ok, 23, 42, Reference::imageMagick,
     "24-bit, line padded beyond the width"},
    {"pcx/indexed8.pcx", KivLoadStatus::ok, 32, 32, Reference::imageMagick,
     "8-bit with the 256-colour palette"},
    {"pcx/odd_stride.pcx", KivLoadStatus::ok, 371, 150, Reference::imageMagick,
     "8-bit, odd line equal to the width"},
    {"pcx/indexed4.pcx", KivLoadStatus::ok, 32, 32, Reference::imageMagick, "4-bit with the header palette"},
    {"pcx/pil184.pcx", KivLoadStatus::ok, 447, 144, Reference::imageMagickBits,
     "1-bit, width not a multiple of 8"},
    {"pcx/mono.pcx", KivLoadStatus::ok, 581, 400, Reference::imageMagickBits,
     "1-bit, lines padded beyond the row"},
    {"pcx/256-palette.pcx", KivLoadStatus::corrupt, 0, 0, Reference::none, "odd width below the padded line"},
    {"pcx/16color.pcx", KivLoadStatus::unsupportedVariant, 0, 0, Reference::none, "four 1-bit planes"},
    {"pcx/p_4_planes.pcx", KivLoadStatus::unsupportedVariant, 0, 0, Reference::none, "four 1-bit planes"},
    {"hostile/pcx/01r_00.pcx", KivLoadStatus::corrupt, 0, 0, Reference::none,
     "8-bit line shorter than the row"},
    {"hostile/pcx/ossfuzz-4836216264589312.pcx", KivLoadStatus::unsupportedVariant, 0, 0, Reference::none,
     "two 1-bit planes"},
    {"hostile/pcx/pcx_overrun.pcx", KivLoadStatus::corrupt, 0, 0, Reference::none,
     "1-bit line shorter than the row"},
    {"hostile/pcx/pcx_overrun2.pcx", KivLoadStatus::unsupportedVariant, 0, 0, Reference::none,
     "two 1-bit planes"},
};

bool HaveImageMagick() {
    return std::system("command -v convert >/dev/null 2>&1") == 0;
}

// ImageMagick's decoding of a file as pixel words, or nothing when it fails.
std::optional<std::vector<DWORD>> ImageMagickPixels(const std::string& path) {
    const std::string command = "convert '" + path + "' -depth 8 rgba:- 2>/dev/null";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return std::nullopt;
    Bytes rgba;
    std::uint8_t chunk[65536];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;)
        rgba.insert(rgba.end(), chunk, chunk + got);
    if (pclose(pipe) != 0 || rgba.size() % 4 != 0) return std::nullopt;
    std::vector<DWORD> pixels(rgba.size() / 4);
    for (size_t i = 0; i < pixels.size(); ++i) {
        const std::uint8_t* p = &rgba[4 * i];
        pixels[i] = DWORD{p[3]} << 24 | DWORD{p[0]} << 16 | DWORD{p[1]} << 8 | p[2];
    }
    return pixels;
}

void ExpectSamePixels(const DecodedPicture& picture, const std::vector<DWORD>& reference,
                      const std::string& name) {
    const size_t count = static_cast<size_t>(picture.rect.Width()) * picture.rect.Height();
    ASSERT_EQ(reference.size(), count) << name;
    size_t differing = 0;
    for (size_t i = 0; i < count; ++i) {
        if (picture.pixels.get()[i] == reference[i]) continue;
        if (differing++ == 0)
            ADD_FAILURE() << name << ": first difference at pixel " << i << ": " << std::hex
                          << picture.pixels.get()[i] << " against " << reference[i];
    }
    EXPECT_EQ(differing, 0u) << name;
}

TEST(PcxCorpus, EveryFileLoadsOrIsRefusedAsExpected) {
    for (const CorpusCase& c : kCases) {
        const DecodedPicture picture = ReadPcxFile(Wide(TestDataPath(c.file)));
        EXPECT_EQ(picture.status, c.expected) << c.file << " (" << c.reason << ")";
        if (c.expected == KivLoadStatus::ok && picture.ok()) {
            EXPECT_EQ(picture.rect, CRect(0, 0, c.width, c.height)) << c.file;
        }
    }
}

TEST(PcxCorpus, EveryCorpusFileIsListed) {
    std::set<std::string> listed;
    for (const CorpusCase& c : kCases) listed.insert(c.file);
    for (const char* folder : {"pcx", "hostile/pcx"})
        for (const auto& entry : std::filesystem::directory_iterator(TestDataPath(folder)))
            if (entry.path().extension() == ".pcx") {
                EXPECT_TRUE(listed.count(std::string(folder) + "/" + entry.path().filename().string()))
                    << entry.path() << " has no expected outcome";
            }
}

TEST(PcxCorpus, PixelsMatchImageMagickWhereTheReadingsAgree) {
    if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick's convert is not installed";
    for (const CorpusCase& c : kCases) {
        if (c.reference == Reference::none) continue;
        const std::string path = TestDataPath(c.file);
        const std::optional<std::vector<DWORD>> reference = ImageMagickPixels(path);
        ASSERT_TRUE(reference) << "ImageMagick cannot read " << c.file;
        if (c.reference == Reference::imageMagick) {
            const DecodedPicture picture = ReadPcxFile(Wide(path));
            ASSERT_TRUE(picture.ok()) << c.file;
            ExpectSamePixels(picture, *reference, c.file);
            continue;
        }
        constexpr DWORD kZero = 0xFF102030u;
        constexpr DWORD kOne = 0xFFA0B0C0u;
        Bytes patched = ReadFileBytes(path);
        const std::uint8_t twoColours[6] = {0x10, 0x20, 0x30, 0xA0, 0xB0, 0xC0};
        std::copy(twoColours, twoColours + 6, patched.begin() + 16);
        ScratchFolder folder;
        const DecodedPicture picture = ReadPcxFile(folder.Write("patched.pcx", patched));
        ASSERT_TRUE(picture.ok()) << c.file;
        std::vector<DWORD> expected(reference->size());
        for (size_t i = 0; i < expected.size(); ++i)
            expected[i] = (*reference)[i] == 0xFF000000u ? kOne : kZero;
        ExpectSamePixels(picture, expected, c.file);
    }
}

// mono.pcx's header palette is all black, and 1-bit pixels take their colours from it.
TEST(PcxCorpus, OneBitPixelsTakeTheHeaderPaletteEvenWhenItIsAllBlack) {
    const DecodedPicture picture = ReadPcxFile(Wide(TestDataPath("pcx/mono.pcx")));
    ASSERT_TRUE(picture.ok());
    const size_t count = static_cast<size_t>(picture.rect.Width()) * picture.rect.Height();
    for (size_t i = 0; i < count; ++i) ASSERT_EQ(picture.pixels.get()[i], 0xFF000000u) << i;
}

}  // namespace
