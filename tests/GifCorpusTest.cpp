// The GIF reader on the public test corpus (tests/data/gif and tests/data/hostile/gif; sources and licences
// in tests/data/gif/ATTRIBUTION.tsv): every file loads at the size of its last image or is refused as the
// table says, hostile files never crash the process, and loaded pictures match an independent decoder.
//
// Our reader and stb_image agree on how an image's indices become colours, but not on what makes up the
// picture: stb_image returns the first image painted on the logical screen, with transparent pixels
// see-through, while we return the last image alone and opaque. So a file is compared as it stands only
// when it holds one image covering the screen without a transparent index; otherwise its last image is
// cut out into a file of its own (at (0, 0), on a screen of its size, without extensions) and that file
// is compared. stb_image refuses LZW data that does not begin with a clear code; those files are compared
// with Pillow, when it is installed.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "GifEncoder.h"
#include "TestFiles.h"
#include "readers/Readers.h"

#include <stb/stb_image.h>  // built once, in StbImage.cpp

namespace {

using S = KivLoadStatus;

enum class Check {
    stbFile,          // one image covering the screen, no transparency: stb_image on the file as it stands
    stbLastImage,     // stb_image on the last image cut out
    pillowLastImage,  // LZW data without a clear code first, which stb_image refuses: Pillow on the last
                      // image
    allBlack,         // the last image has no colour table: every pixel opaque black
    noRows,           // the data ends before the first row is complete: every pixel transparent black
    refused,
};

struct CorpusFile {
    const char* path;
    S expected;
    int width, height;
    Check check;
    const char* why = "";
};

const CorpusFile kCorpus[] = {
    {"gif/255-codes.gif", S::ok, 100, 100, Check::stbFile, "a clear code whenever 8-bit codes run out"},
    {"gif/2x2.gif", S::ok, 2, 2, Check::stbFile},
    {"gif/4095-codes-clear.gif", S::ok, 100, 100, Check::stbFile, "the table fills, then a clear code"},
    {"gif/4095-codes.gif", S::ok, 100, 100, Check::stbFile, "the table fills and stays full"},
    {"gif/all-reds.gif", S::ok, 16, 16, Check::stbFile, "all 256 entries"},
    {"gif/alpha_gif_a.gif", S::ok, 256, 256, Check::stbLastImage, "a transparent index, not used"},
    {"gif/anim-gr.gif", S::ok, 100, 50, Check::stbLastImage, "the last of two images, with its local table"},
    {"gif/animated-red-blue.gif", S::ok, 49, 40, Check::stbLastImage,
     "the last image, smaller than the screen"},
    {"gif/animated_loop_interlaced.gif", S::ok, 30, 30, Check::stbLastImage,
     "the last of four interlaced images"},
    {"gif/animated_transparent_frame_restoreprev_loop.gif", S::ok, 30, 30, Check::stbLastImage,
     "disposal unused"},
    {"gif/animated_transparent_loop_frames_out_of_bounds.gif", S::ok, 50, 50, Check::stbLastImage,
     "images outside the screen: positions are not used"},
    {"gif/animation-multi-image.gif", S::ok, 1, 1, Check::stbLastImage, "the last of seven images"},
    {"gif/animation.gif", S::ok, 2, 2, Check::stbLastImage},
    {"gif/any-disposal.gif", S::ok, 16, 16, Check::stbLastImage},
    {"gif/background-color.gif", S::ok, 1, 1, Check::pillowLastImage},
    {"gif/background_outside_palette.gif", S::ok, 1, 1, Check::stbLastImage,
     "the second image's local table"},
    {"gif/bricks-gray.gif", S::ok, 160, 120, Check::stbFile},
    {"gif/depth1.gif", S::ok, 1, 1, Check::stbFile},
    {"gif/depth2.gif", S::ok, 1, 1, Check::stbFile},
    {"gif/depth4.gif", S::ok, 1, 1, Check::stbFile},
    {"gif/depth8.gif", S::ok, 1, 1, Check::stbFile},
    {"gif/disabled-transparent.gif", S::ok, 2, 2, Check::stbFile, "the transparency flag is off"},
    {"gif/dispose-restore-background.gif", S::ok, 1, 1, Check::stbLastImage},
    {"gif/dispose-restore-previous.gif", S::ok, 1, 1, Check::stbLastImage},
    {"gif/double-clears.gif", S::ok, 8, 8, Check::stbFile},
    {"gif/empty-palette.gif", S::ok, 1, 1, Check::allBlack,
     "no global table; the last image has no local table and does not borrow the first image's"},
    {"gif/extra-data.gif", S::ok, 1, 1, Check::stbFile, "bytes after the end code are skipped"},
    {"gif/extra-pixels.gif", S::corrupt, 0, 0, Check::refused,
     "a second row of data for a 1 x 1 image is a row outside the picture"},
    {"gif/first_frame_transparency.gif", S::ok, 50, 50, Check::stbLastImage, "interlaced, transparent index"},
    {"gif/four-colors.gif", S::ok, 2, 2, Check::stbFile},
    {"gif/frame-out-of-bounds.gif", S::ok, 4, 3, Check::pillowLastImage},
    {"gif/gif87a-animation.gif", S::ok, 2, 2, Check::stbLastImage},
    {"gif/gif87a.gif", S::ok, 1, 1, Check::stbFile},
    {"gif/high-color.gif", S::ok, 16, 16, Check::stbLastImage, "the last of four tiles"},
    {"gif/hippopotamus.interlaced.gif", S::ok, 36, 28, Check::stbFile},
    {"gif/hippopotamus.masked-with-muybridge.gif", S::ok, 36, 28, Check::stbLastImage, "a transparent index"},
    {"gif/hippopotamus.regular.gif", S::ok, 36, 28, Check::stbFile},
    {"gif/hopper.gif", S::ok, 128, 128, Check::stbFile},
    {"gif/hopper_zero_comment_subblocks.gif", S::ok, 128, 128, Check::stbFile, "GIF87a, interlaced"},
    {"gif/icc-color-profile.gif", S::ok, 1, 1, Check::stbFile},
    {"gif/image-inside-bg.gif", S::ok, 1, 1, Check::stbLastImage, "the image's own size, not the screen's"},
    {"gif/image-outside-bg.gif", S::ok, 2, 2, Check::stbLastImage},
    {"gif/image-overlap-bg.gif", S::ok, 2, 2, Check::stbLastImage},
    {"gif/image-zero-height.gif", S::truncated, 0, 0, Check::refused,
     "height 0, and the file ends inside the local table (peers show the screen)"},
    {"gif/image-zero-size.gif", S::truncated, 0, 0, Check::refused,
     "0 x 0, and the file ends inside the local table"},
    {"gif/image-zero-width.gif", S::corrupt, 0, 0, Check::refused, "an image of width 0 cannot be sized"},
    {"gif/imagers-interlaced.gif", S::ok, 32, 32, Check::stbFile},
    {"gif/images-combine.gif", S::ok, 1, 1, Check::stbLastImage, "the last of four 1 x 1 images"},
    {"gif/images-overlap.gif", S::ok, 1, 1, Check::stbLastImage},
    {"gif/interlace.gif", S::ok, 16, 16, Check::stbFile},
    {"gif/interlaced.gif", S::ok, 540, 330, Check::stbFile},
    {"gif/invalid-background.gif", S::ok, 1, 1, Check::stbFile, "the background index is not used"},
    {"gif/invalid-transparent.gif", S::ok, 2, 2, Check::stbFile},
    {"gif/iss634.gif", S::ok, 245, 212, Check::stbLastImage, "the last of 42 images"},
    {"gif/issue_1455_oversized.gif", S::ok, 16, 16, Check::stbLastImage, "larger than the screen"},
    {"gif/issue_1455_undersized.gif", S::ok, 50, 50, Check::stbLastImage},
    {"gif/issue_2811.gif", S::corrupt, 0, 0, Check::refused, "minimum code size 11 (peers accept it)"},
    {"gif/large-codes.gif", S::ok, 100, 100, Check::stbFile, "minimum code size 7 for 4-bit data"},
    {"gif/large-comment.gif", S::ok, 1, 1, Check::stbFile},
    {"gif/local-color-table.gif", S::ok, 1, 1, Check::stbFile},
    {"gif/loop-animexts.gif", S::ok, 1, 1, Check::stbFile},
    {"gif/loop-buffer_max.gif", S::ok, 1, 1, Check::stbFile},
    {"gif/many-clears.gif", S::ok, 8, 8, Check::stbFile},
    {"gif/max-codes.gif", S::corrupt, 0, 0, Check::refused, "minimum code size 11 (peers accept it)"},
    {"gif/max-height.gif", S::ok, 1, 65535, Check::stbFile},
    {"gif/max-width.gif", S::ok, 65535, 1, Check::stbFile},
    {"gif/metadata-full.gif", S::ok, 1, 1, Check::pillowLastImage},
    {"gif/missing-pixels.gif", S::ok, 1, 1, Check::stbLastImage},
    {"gif/missing_background.gif", S::ok, 27, 12, Check::stbLastImage},
    {"gif/moon_impact.gif", S::ok, 116, 100, Check::stbLastImage},
    {"gif/multiple-graphic-controls.gif", S::ok, 1, 1, Check::pillowLastImage},
    {"gif/muybridge.gif", S::ok, 30, 20, Check::pillowLastImage,
     "15 images, none starting with a clear code"},
    {"gif/no-clear-and-eoi.gif", S::ok, 2, 1, Check::pillowLastImage, "neither clear nor end code"},
    {"gif/no-clear.gif", S::ok, 1, 1, Check::pillowLastImage},
    {"gif/no-data.gif", S::corrupt, 0, 0, Check::refused, "no image at all"},
    {"gif/no-eoi.gif", S::ok, 1, 1, Check::stbFile, "the data's zero count ends the image"},
    {"gif/no-global-color-table.gif", S::ok, 1, 1, Check::stbFile},
    {"gif/no_palette.gif", S::ok, 1, 1, Check::allBlack, "no table anywhere"},
    {"gif/no_palette_after_rgb.gif", S::ok, 1, 1, Check::allBlack,
     "the last image has no table and there is no global one"},
    {"gif/no_palette_with_background.gif", S::ok, 1, 1, Check::stbLastImage},
    {"gif/oob.gif", S::ok, 16, 16, Check::stbLastImage},
    {"gif/palette.gif", S::ok, 23, 42, Check::stbFile},
    {"gif/pixel-data-too-much-good-lzw.gif", S::ok, 2, 2, Check::stbFile,
     "the fifth pixel starts a row that is never completed, so no row falls outside"},
    {"gif/pjw-thumbnail.gif", S::ok, 32, 32, Check::stbFile},
    {"gif/plain-text.gif", S::ok, 40, 8, Check::stbFile, "the plain text extension is skipped"},
    {"gif/set_hsts.gif", S::corrupt, 0, 0, Check::refused, "minimum code size 1 (peers accept it)"},
    {"gif/small-frame-interlaced.gif", S::ok, 1, 1, Check::pillowLastImage},
    {"gif/static_transparent.gif", S::ok, 100, 100, Check::stbLastImage},
    {"gif/test.colors.gif", S::ok, 807, 606, Check::stbFile},
    {"gif/test_extents.gif", S::ok, 100, 100, Check::stbLastImage},
    {"gif/transparent-index.gif", S::ok, 3, 1, Check::pillowLastImage},
    {"gif/transparent.gif", S::ok, 2, 2, Check::stbLastImage},
    {"gif/transparent_dispose.gif", S::ok, 1, 1, Check::stbLastImage},
    {"gif/unknown-application-extension.gif", S::ok, 1, 1, Check::stbFile},
    {"gif/unknown-extension.gif", S::ok, 1, 1, Check::stbFile},
    {"gif/unset-transparent.gif", S::ok, 1, 1, Check::stbFile},
    {"gif/xmp-data.gif", S::ok, 1, 1, Check::stbFile},

    {"hostile/gif/decompression_bomb.gif", S::corrupt, 0, 0, Check::refused, "minimum code size 143"},
    {"hostile/gif/decompression_bomb_extents.gif", S::ok, 100, 100, Check::stbLastImage,
     "the second image lies at (65535, 65535), which is not used"},
    {"hostile/gif/hippopotamus.interlaced.truncated.gif", S::truncated, 0, 0, Check::refused,
     "the file ends inside the image data"},
    {"hostile/gif/invalid-code.gif", S::corrupt, 0, 0, Check::refused,
     "codes past the next free slot, taken as repeats, make more rows than the picture has"},
    {"hostile/gif/invalid-colors.gif", S::ok, 1, 1, Check::allBlack, "index 2 of a two-entry table"},
    {"hostile/gif/issue-101-infinite-empty-loop.gif", S::corrupt, 0, 0, Check::refused,
     "minimum code size 0"},
    {"hostile/gif/issue-117-out-of-range.gif", S::corrupt, 0, 0, Check::refused, "minimum code size 0"},
    {"hostile/gif/issue-96-small-codesize-2.gif", S::corrupt, 0, 0, Check::refused, "minimum code size 0"},
    {"hostile/gif/issue-96-small-codesize.gif", S::corrupt, 0, 0, Check::refused, "height 0"},
    {"hostile/gif/max-size.gif", S::corrupt, 0, 0, Check::refused, "a 65535 x 65535 screen and no image"},
    {"hostile/gif/no-frames.gif", S::corrupt, 0, 0, Check::refused, "no image"},
    {"hostile/gif/overflow-codes-max.gif", S::corrupt, 0, 0, Check::refused, "minimum code size 255"},
    {"hostile/gif/overflow-codes.gif", S::corrupt, 0, 0, Check::refused, "minimum code size 12"},
    {"hostile/gif/pixel-data-none.gif", S::ok, 2, 2, Check::noRows, "the end code comes first"},
    {"hostile/gif/pixel-data-not-enough.gif", S::ok, 2, 2, Check::noRows, "one pixel, then the end code"},
    {"hostile/gif/pixel-data-too-much-bad-lzw.gif", S::corrupt, 0, 0, Check::refused,
     "more rows than the picture"},
    {"hostile/gif/zero-height.gif", S::corrupt, 0, 0, Check::refused, "no image"},
    {"hostile/gif/zero-loop-count.gif", S::corrupt, 0, 0, Check::refused, "no image"},
    {"hostile/gif/zero-size.gif", S::corrupt, 0, 0, Check::refused, "no image"},
    {"hostile/gif/zero-width-frame.gif", S::corrupt, 0, 0, Check::refused, "an image of width 0"},
    {"hostile/gif/zero-width.gif", S::corrupt, 0, 0, Check::refused, "no image"},
    {"hostile/gif/zero_width.gif", S::corrupt, 0, 0, Check::refused, "minimum code size 143"},
};

struct Picture {
    int width = 0, height = 0;
    std::vector<DWORD> pixels;  // 0xAARRGGBB
};

Picture FromStb(const Bytes& file) {
    Picture picture;
    int channels = 0;
    std::unique_ptr<stbi_uc, void (*)(void*)> rgba(
        stbi_load_from_memory(file.data(), static_cast<int>(file.size()), &picture.width, &picture.height,
                              &channels, 4),
        stbi_image_free);
    if (!rgba) return {};
    for (size_t i = 0; i < static_cast<size_t>(picture.width) * picture.height; ++i) {
        const stbi_uc* p = rgba.get() + 4 * i;
        picture.pixels.push_back(static_cast<DWORD>(p[3]) << 24 | static_cast<DWORD>(p[0]) << 16 |
                                 static_cast<DWORD>(p[1]) << 8 | p[2]);
    }
    return picture;
}

constexpr char kPillowScript[] =
    "import sys\n"
    "from PIL import Image\n"
    "image = Image.open(sys.argv[1]).convert('RGB')\n"
    "print(image.size[0], image.size[1])\n"
    "for r, g, b in image.getdata(): print(0xFF000000 | r << 16 | g << 8 | b)\n";

// Pillow's picture of a file; no pixels when Pillow is not there. The system's own PATH finds the
// system's Python, where the Debian package installs Pillow.
Picture FromPillow(const std::string& path) {
    ScratchFolder folder;
    WriteFileBytes(folder.File("decode.py"), Bytes(kPillowScript, kPillowScript + sizeof kPillowScript - 1));
    const std::string command =
        "PATH=$(getconf PATH) python3 '" + folder.File("decode.py") + "' '" + path + "' 2>/dev/null";
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(popen(command.c_str(), "r"), pclose);
    Picture picture;
    if (!out || std::fscanf(out.get(), "%d %d", &picture.width, &picture.height) != 2) return {};
    for (unsigned long word = 0; std::fscanf(out.get(), "%lu", &word) == 1;)
        picture.pixels.push_back(static_cast<DWORD>(word));
    return picture;
}

// The offset after the sub-blocks starting at at, the zero count included.
size_t AfterSubBlocks(const Bytes& file, size_t at) {
    while (at < file.size() && file[at] != 0) at += file[at] + 1u;
    return std::min(at + 1, file.size());
}

size_t ColorTableBytes(std::uint8_t packed) {
    return (packed & 0x80) ? 3u * (2u << (packed & 7)) : 0;
}

// The last image of a file as a file of its own: the header, a screen of the image's size, the global
// table, the image moved to (0, 0) and the trailer. No extension is kept, so no index is transparent.
Bytes LastImageAlone(const Bytes& file) {
    const size_t globalEnd = 13 + ColorTableBytes(file[10]);
    size_t imageStart = 0, imageEnd = 0;
    for (size_t at = globalEnd; at < file.size();) {
        const std::uint8_t introducer = file[at];
        if (introducer == 0x2C && at + 10 < file.size()) {
            imageStart = at;
            imageEnd = AfterSubBlocks(file, at + 10 + ColorTableBytes(file[at + 9]) + 1);
            at = imageEnd;
        } else if (introducer == 0x21) {
            at = AfterSubBlocks(file, at + 2);
        } else {
            break;
        }
    }
    Bytes alone(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(globalEnd));
    alone.insert(alone.end(), file.begin() + static_cast<std::ptrdiff_t>(imageStart),
                 file.begin() + static_cast<std::ptrdiff_t>(imageEnd));
    std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(imageStart + 5), 4,
                alone.begin() + 6);                                                 // screen size
    std::fill_n(alone.begin() + static_cast<std::ptrdiff_t>(globalEnd + 1), 4, 0);  // at (0, 0)
    alone.push_back(0x3B);
    return alone;
}

void ExpectSamePicture(const DecodedPicture& ours, const Picture& reference, const std::string& what) {
    ASSERT_EQ(reference.width, ours.rect.Width()) << what;
    ASSERT_EQ(reference.height, ours.rect.Height()) << what;
    size_t differing = 0;
    for (size_t i = 0; i < reference.pixels.size(); ++i) {
        if (ours.pixels.get()[i] == reference.pixels[i]) continue;
        if (++differing <= 3)
            ADD_FAILURE() << what << ": pixel (" << i % reference.width << ", " << i / reference.width
                          << ") is " << std::hex << ours.pixels.get()[i] << ", expected "
                          << reference.pixels[i];
    }
    EXPECT_EQ(differing, 0u) << what;
}

void ExpectEveryPixel(const DecodedPicture& ours, DWORD expected, const std::string& what) {
    const size_t count = static_cast<size_t>(ours.rect.Width()) * ours.rect.Height();
    for (size_t i = 0; i < count; ++i) ASSERT_EQ(ours.pixels.get()[i], expected) << what << ": pixel " << i;
}

}  // namespace

TEST(GifCorpus, EveryFileLoadsOrIsRefusedAsExpected) {
    bool pillowMissing = false;
    for (const CorpusFile& c : kCorpus) {
        SCOPED_TRACE(std::string(c.path) + (*c.why ? std::string(": ") + c.why : std::string()));
        const std::string path = TestDataPath(c.path);
        const DecodedPicture ours = ReadGifFile(Wide(path));
        const S status = ours.ok() ? S::ok : ours.status;
        EXPECT_EQ(status, c.expected) << KivLoadStatusText(status);
        if (status != c.expected || c.check == Check::refused) continue;
        ASSERT_EQ(ours.rect, CRect(0, 0, c.width, c.height));

        switch (c.check) {
            case Check::stbFile:
                ExpectSamePicture(ours, FromStb(ReadFileBytes(path)), "stb_image");
                break;
            case Check::stbLastImage:
                ExpectSamePicture(ours, FromStb(LastImageAlone(ReadFileBytes(path))),
                                  "stb_image, last image");
                break;
            case Check::pillowLastImage: {
                ScratchFolder folder;
                WriteFileBytes(folder.File("last.gif"), LastImageAlone(ReadFileBytes(path)));
                const Picture pillow = FromPillow(folder.File("last.gif"));
                if (pillow.pixels.empty()) {
                    pillowMissing = true;
                    break;
                }
                ExpectSamePicture(ours, pillow, "Pillow, last image");
                break;
            }
            case Check::allBlack:
                ExpectEveryPixel(ours, 0xFF000000u, "opaque black");
                break;
            case Check::noRows:
                ExpectEveryPixel(ours, 0u, "transparent black");
                break;
            case Check::refused:
                break;
        }
    }
    if (pillowMissing)
        GTEST_SKIP() << "Pillow is not installed: files without a leading clear code were not compared";
}

TEST(GifCorpus, TheTableNamesEveryCopiedFile) {
    std::vector<std::string> listed;
    for (const CorpusFile& c : kCorpus) listed.push_back(c.path);
    for (const char* folder : {"gif", "hostile/gif"}) {
        for (const auto& entry : std::filesystem::directory_iterator(TestDataPath(folder))) {
            if (entry.path().extension() != ".gif") continue;
            const std::string relative = std::string(folder) + "/" + entry.path().filename().string();
            EXPECT_NE(std::find(listed.begin(), listed.end(), relative), listed.end()) << relative;
        }
    }
}

// The test encoder's files decode in stb_image to the indices encoded, so the reader's tests rest on
// streams that another decoder reads the same way.
TEST(GifCorpus, TheTestEncoderAgreesWithStb) {
    for (const unsigned minCodeSize : {2u, 5u, 8u}) {
        const unsigned width = 257, height = 131;
        std::vector<std::uint32_t> table;
        for (unsigned i = 0; i < (1u << minCodeSize); ++i) table.push_back(i * 0x030507u & 0xFFFFFFu);
        giftest::Indices indices(width * height);
        for (size_t i = 0; i < indices.size(); ++i)
            indices[i] = static_cast<std::uint8_t>((i * i / 7 + i / 3) & ((1u << minCodeSize) - 1));
        giftest::GifImage image;
        image.width = width;
        image.height = height;
        image.minCodeSize = minCodeSize;
        image.data = giftest::LzwEncode(indices, minCodeSize);
        const Picture stb =
            FromStb(giftest::GifBuilder(table, "GIF89a", width, height).Image(image).Trailer().Build());
        ASSERT_EQ(stb.pixels.size(), indices.size()) << "minimum code size " << minCodeSize;
        for (size_t i = 0; i < indices.size(); ++i)
            ASSERT_EQ(stb.pixels[i], 0xFF000000u | table[indices[i]]) << "minimum code size " << minCodeSize;
    }
}
