// The GIF reader on the public corpus (tests/data/gif and tests/data/hostile/gif; sources and licences in
// tests/data/gif/ATTRIBUTION.tsv): each file loads or is refused as its row says, and loaded pictures
// match an independent decoder.
//
// Our reader and stb_image agree on how an image's indices become colours, but not on what makes up the
// picture: stb_image returns the first image painted on the logical screen, with transparent pixels
// see-through, while we return the last image alone and opaque. So a file is compared as it stands only
// when it holds one image covering the screen without a transparent index; otherwise its last image is
// cut out into a file of its own (at (0, 0), on a screen of its size, without extensions) and that file
// is compared. stb_image refuses LZW data that does not begin with a clear code; those files are compared
// with Pillow, when it is installed.

#include "TestFiles.h"
#include "readers/Readers.h"

namespace {

using S = KivLoadStatus;
enum Check { stbFile, stbLastImage, pillowLastImage, black, noRows, refused };

const std::vector<CorpusRow<Check>> kCorpus = {
    {"gif",
     "255-codes.gif 2x2.gif 4095-codes* all-reds.gif bricks-gray.gif depth?.gif disabled-transparent.gif "
     "double-clears.gif extra-data.gif four-colors.gif gif87a.gif hippopotamus.interlaced.gif "
     "hippopotamus.regular.gif hopper*.gif icc-color-profile.gif imagers-interlaced.gif interlace*.gif "
     "invalid-*.gif large-*.gif local-color-table.gif loop-*.gif many-clears.gif max-height.gif "
     "max-width.gif "
     "no-eoi.gif no-global-color-table.gif palette.gif pixel-data-too-much-good-lzw.gif pjw-thumbnail.gif "
     "plain-text.gif test.colors.gif unknown-*.gif unset-transparent.gif xmp-data.gif",
     S::ok, stbFile,
     "one image covering the screen: 87a and 89a, interlaced, clear codes, full tables, extensions"},
    {"gif",
     "alpha_gif_a.gif anim*.gif any-disposal.gif background_outside_palette.gif dispose-*.gif "
     "first_frame_transparency.gif gif87a-animation.gif high-color.gif "
     "hippopotamus.masked-with-muybridge.gif "
     "image-*-bg.gif images-*.gif iss634.gif issue_1455_*.gif missing-pixels.gif missing_background.gif "
     "moon_impact.gif no_palette_with_background.gif oob.gif static_transparent.gif test_extents.gif "
     "transparent.gif transparent_dispose.gif",
     S::ok, stbLastImage, "the last image at its own size, local tables, transparent indices opaque"},
    {"gif",
     "background-color.gif frame-out-of-bounds.gif metadata-full.gif multiple-graphic-controls.gif "
     "muybridge.gif no-clear*.gif small-frame-interlaced.gif transparent-index.gif",
     S::ok, pillowLastImage, "LZW data without a clear code first"},
    {"gif", "empty-palette.gif no_palette.gif no_palette_after_rgb.gif", S::ok, black,
     "no table for the last image, none borrowed from an earlier one"},
    {"gif", "extra-pixels.gif image-zero-width.gif", S::corrupt, refused, "a row past the picture; width 0"},
    {"gif", "image-zero-height.gif image-zero-size.gif", S::truncated, refused,
     "the file ends inside the local table (peers show the screen)"},
    {"gif", "issue_2811.gif max-codes.gif set_hsts.gif", S::corrupt, refused, "minimum code sizes 11 and 1"},
    {"gif", "no-data.gif", S::corrupt, refused, "no image"},
    {"hostile/gif", "decompression_bomb_extents.gif", S::ok, stbLastImage, "an image at (65535, 65535)"},
    {"hostile/gif", "invalid-colors.gif", S::ok, black, "index 2 of a two-entry table"},
    {"hostile/gif", "pixel-data-n*.gif", S::ok, noRows, "the end code before the first row is complete"},
    {"hostile/gif", "hippopotamus.interlaced.truncated.gif", S::truncated, refused, "the data cut short"},
    {"hostile/gif", "decompression_bomb.gif issue-*.gif overflow-codes*.gif zero_width.gif", S::corrupt,
     refused, "minimum code sizes 0, 12, 143 and 255; height 0"},
    {"hostile/gif", "invalid-code.gif pixel-data-too-much-bad-lzw.gif zero-width-frame.gif", S::corrupt,
     refused, "more rows than the picture; width 0"},
    {"hostile/gif",
     "max-size.gif no-frames.gif zero-height.gif zero-loop-count.gif zero-size.gif zero-width.gif",
     S::corrupt, refused, "no image"},
};

// The offset after the sub-blocks starting at `at`, the zero count included.
size_t AfterSubBlocks(const Bytes& file, size_t at) {
    while (at < file.size() && file[at] != 0) at += file[at] + 1u;
    return std::min(at + 1, file.size());
}
size_t TableBytes(std::uint8_t packed) {
    return (packed & 0x80) ? 3u * (2u << (packed & 7)) : 0;
}

// The last image of a file as a file of its own: the header, a screen of the image's size, the global
// table, the image moved to (0, 0) and the trailer. No extension is kept, so no index is transparent.
Bytes LastImageAlone(const Bytes& file) {
    const size_t globalEnd = 13 + TableBytes(file[10]);
    size_t start = 0, end = 0;
    for (size_t at = globalEnd; at + 10 < file.size() && (file[at] == 0x2C || file[at] == 0x21);) {
        if (file[at] == 0x21)
            at = AfterSubBlocks(file, at + 2);
        else
            start = at, end = at = AfterSubBlocks(file, at + 10 + TableBytes(file[at + 9]) + 1);
    }
    Bytes alone(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(globalEnd));
    alone.insert(alone.end(), file.begin() + static_cast<std::ptrdiff_t>(start),
                 file.begin() + static_cast<std::ptrdiff_t>(end));
    std::copy_n(file.begin() + static_cast<std::ptrdiff_t>(start + 5), 4, alone.begin() + 6);  // screen size
    std::fill_n(alone.begin() + static_cast<std::ptrdiff_t>(globalEnd + 1), 4, 0);             // at (0, 0)
    alone.push_back(0x3B);
    return alone;
}

bool pillowMissing = false;

void CheckPixels(const CorpusRow<Check>& row, const std::string& path, const ReadResult& ours) {
    const Bytes file = ReadFileBytes(path);
    ReadResult theirs = DecodeWithStb(row.check == stbFile ? file : LastImageAlone(file));
    if (row.check == black || row.check == noRows)
        theirs.pixels.assign(ours.pixels.size(), row.check == black ? 0xFF000000u : 0),
            theirs.rect = ours.rect;
    if (row.check == pillowLastImage) {
        ScratchFolder folder;
        WriteFileBytes(folder.File("last.gif"), LastImageAlone(file));
        theirs.pixels = PixelsFromCommand(
            "PATH=$(getconf PATH) python3 -c \"import sys; from PIL import Image; "
            "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert('RGBA').tobytes())\" " +
            folder.File("last.gif"));
        theirs.rect = ours.rect;  // Pillow's pixels come without their size; their count is compared
        if (theirs.pixels.empty()) return void(pillowMissing = true);
    }
    EXPECT_EQ(theirs.rect, ours.rect);
    ExpectSamePixels(ours.pixels, theirs.pixels, row.check == pillowLastImage ? "Pillow" : "stb_image");
}

TEST(GifCorpus, EachFileLoadsOrIsRefusedAsItsRowSays) {
    CheckCorpus(kCorpus, {ReadGifFile, KivPictureLoadGIFFile}, CheckPixels);
    if (pillowMissing)
        GTEST_SKIP() << "Pillow is not installed: files without a leading clear code not compared";
}

}  // namespace
