// The TGA reader on the public corpus (tests/data/tga and tests/data/hostile/tga; sources and licences in
// tests/data/ATTRIBUTION.tsv): each file loads or is refused as its row says, and what loads matches
// stb_image pixel for pixel once the rules in which the two differ are applied. The ten Truevision samples
// may not be copied into the repository; they are checked in the shared corpus when it is there.

#include "TestFiles.h"
#include "readers/Readers.h"

namespace {

using S = KivLoadStatus;
enum Check { stb, sameAs, opaque, black, unchecked, refused };

const std::vector<CorpusRow<Check>> kCorpus = {
    {"tga",
     "1x1_l_bl_raw.tga 200x32_la_bl_raw.tga 200x32_la_tl_rle.tga bricks-gray.tga bwa.tga type3_bl.tga "
     "type3_tl.tga type11_bl.tga type11_tl.tga",
     S::ok, stb, "grey of 8 bits, and of 16 bits read as the level; raw and run-length"},
    {"tga",
     "200x32_p_tl_rle.tga b5-cmap.tga bricks-nodither.tga colormapped.tga type1_16bpp_bl.tga "
     "type1_16bpp_tl.tga type1_24bpp_bl.tga type1_24bpp_tl.tga type9_16bpp_bl.tga type9_16bpp_tl.tga "
     "type9_24bpp_bl.tga type9_24bpp_tl.tga",
     S::ok, stb, "colour maps of 15, 16, 24 and 32-bit entries (their alpha not kept), raw and run-length"},
    {"tga",
     "b5-attrib.tga b5-noattrib.tga rgb16.tga rgba16.tga type2_16bpp_bl.tga type2_16bpp_tl.tga "
     "type10_16bpp_bl.tga type10_16bpp_tl.tga",
     S::ok, stb, "16-bit colour: the attribute bit dropped"},
    {"tga",
     "200x32_rgb_bl_raw.tga 200x32_rgba_bl_raw.tga 200x32_rgba_tl_rle.tga issue_216_compressed.tga "
     "rgba.tga sample.tga type2_24bpp_bl.tga type2_24bpp_tl.tga type10_24bpp_bl.tga type10_24bpp_tl.tga",
     S::ok, stb, "24 and 32 bits, the 32-bit alpha kept; raw and run-length"},
    {"tga",
     "bottom_left.tga bottom_right.tga top_left.tga top_right.tga cross_scan_line.tga "
     "logo_type2_24bpp_br.tga logo_type2_24bpp_tr.tga rgb32rle_top_right.tga",
     S::ok, stb, "every origin: none mirrored, top-right read bottom-up; packets across rows"},
    {"tga", "devarea.tga extarea.tga image_id.tga tga_id_field.tga", S::ok, stb,
     "image IDs, developer and extension areas stepped over"},
    {"tga", "b5-unused-cmap.tga", S::ok, sameAs, "true colour steps over a colour map",
     "tga/b5-noattrib.tga"},
    {"tga", "cmap_offset.tga", S::ok, opaque, "first index 39, which stb_image misreads"},
    {"hostile/tga", "bad-color-map.tga flip-zero-height.tga flip-zero-height2.tga orientation-zero-width.tga",
     S::corrupt, refused, "width or height 0"},
    {"hostile/tga", "error_color_map.tga", S::corrupt, refused, "65535 map entries overflow the table"},
    {"hostile/tga", "error_no_image_data.tga p_8.tga", S::ok, black, "a header and nothing else"},
    {"hostile/tga",
     "cross_scan_line_truncated.tga error_truncated_image_data.tga overfull-image.tga "
     "sixteen-bit-gray-colormap2.tga",
     S::ok, unchecked, "cut short; packets past the last pixel; 32-bit grey"},
    {"hostile/tga", "sixteen-bit-gray-colormap.tga", S::notThisFormat, refused, "image type 0"},
    {"hostile/tga", "slice-copy-length.tga", S::tooLarge, refused, "8224 pixels wide"},
};

// stb_image's picture under our reader's rules: only a top-left origin is top-down (stb_image reads
// top-right files top-down too); alpha is 255 unless the pixel depth is 32; a 5-bit component c becomes
// c x 8 with the low three bits set when c is not 0 (stb_image: c x 255 / 31).
std::vector<DWORD> ExpectedFromStb(const Bytes& file, const ReadResult& theirs) {
    const bool mapped = file[2] == 1 || file[2] == 9, grey = file[2] == 3 || file[2] == 11;
    const unsigned bits = mapped ? file[7] : file[16];
    const bool fiveBits = !grey && (bits == 15 || bits == 16), reverse = (file[17] & 0x30) == 0x30;
    const int width = theirs.rect.Width(), height = theirs.rect.Height();
    std::vector<DWORD> pixels(theirs.pixels.size());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            DWORD word = theirs.At(x, reverse ? height - 1 - y : y) | (file[16] == 32 ? 0 : 0xFF000000u);
            for (int shift = 0; fiveBits && shift < 24; shift += 8) {
                const DWORD c = ((word >> shift & 0xFF) * 31 + 127) / 255;
                word = (word & ~(0xFFu << shift)) | (c ? c << 3 | 7 : 0) << shift;
            }
            pixels[static_cast<size_t>(y) * width + x] = word;
        }
    return pixels;
}

void CheckPixels(const CorpusRow<Check>& row, const std::string& path, const ReadResult& ours) {
    const Bytes file = ReadFileBytes(path);
    const auto field = [&](size_t at) { return static_cast<int>(file[at] | file[at + 1] << 8); };
    EXPECT_EQ(ours.rect, CRect(field(8), field(10), field(8) + field(12), field(10) + field(14)));
    std::vector<DWORD> expected = ours.pixels;
    for (DWORD& pixel : expected)
        pixel = row.check == black ? 0xFF000000u : row.check == opaque ? pixel | 0xFF000000u : pixel;
    if (row.check == sameAs)
        expected =
            ReadWithBothEntries(Wide(TestDataPath(row.reference)), ReadTgaFile, KivPictureLoadTGAFile).pixels;
    if (row.check == opaque) {
        EXPECT_NE(expected, std::vector<DWORD>(expected.size(), 0xFF000000u)) << "all black";
    }
    if (row.check == stb) {
        const ReadResult theirs = DecodeWithStb(file);
        ASSERT_EQ(theirs.rect.Size(), ours.rect.Size()) << "stb_image";
        expected = ExpectedFromStb(file, theirs);
    }
    ExpectSamePixels(ours.pixels, expected, row.reference ? row.reference : "stb_image");
}

TEST(TgaCorpus, EachFileLoadsOrIsRefusedAsItsRowSays) {
    CheckCorpus(kCorpus, {ReadTgaFile, KivPictureLoadTGAFile}, CheckPixels);
}

TEST(TgaCorpus, TruevisionSamplesInTheSharedCorpus) {
    const std::string root = SharedCorpusFolder();
    if (root.empty() || !std::filesystem::exists(root + "/tga/cbw8.tga"))
        GTEST_SKIP() << "the shared corpus is not beside the repository (set KIV_CORPUS_DIR)";
    CheckCorpus<Check>(
        {{"tga",
          "cbw8.tga ccm8.tga ctc16.tga ctc24.tga ctc32.tga ubw8.tga ucm8.tga utc16.tga "
          "utc24.tga utc32.tga",
          S::ok, stb, "grey, colour-mapped with 16-bit entries, 16, 24 and 32 bits; raw and run-length"}},
        {ReadTgaFile, KivPictureLoadTGAFile}, CheckPixels, root, false);
}

}  // namespace
