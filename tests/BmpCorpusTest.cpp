// The BMP reader on the public corpus (tests/data/bmp and tests/data/hostile/bmp; sources and licences in
// tests/data/ATTRIBUTION.tsv): each file loads or is refused as its row says, and what loads matches
// stb_image pixel for pixel under the row's rule, or the picture of the row's reference file.

#include "BmpBuilder.h"
#include "readers/Readers.h"

namespace {

using S = KivLoadStatus;
enum Check {
    stb,         // identical to stb_image
    stbOpaque,   // 32 bits: stb_image's colours; our alpha is 255 whatever the fourth bytes hold
    stb555,      // 5-5-5: stb_image scales 5 bits to 8, we shift them left by 3
    stbOrBlack,  // palette indices past the entries read: stb_image leaves them undefined, we give black
    stbShort,    // rows missing from the file: ours transparent black, stb_image's opaque black
    sameAs,      // the picture of the reference file
    runLength,   // the reference's picture, but pixels the stream skips are transparent black
    opaque,      // no reference: every pixel decoded
    unchecked,   // no reference
    refused,
};

const std::vector<CorpusRow<Check>> kCorpus = {
    {"bmp",
     "Info_[14R]* pal1.bmp pal1[bw]* pal4.bmp pal4gs.bmp pal8-0.bmp pal8.bmp pal8gs.bmp pal8nonsquare.bmp "
     "pal8topdown.bmp pal8w12?.bmp pal8os2v2-40sz.bmp rgb24.bmp vgl_*",
     S::ok, stb, "1, 4, 8 and 24 bits, both row orders, every row padding"},
    {"bmp", "Info_A8* rgb32.bmp rgb32fakealpha.bmp", S::ok, stbOpaque, "32 bits"},
    {"bmp", "Info_X1* rgb16.bmp rgb16faketrns.bmp", S::ok, stb555, "16 bits, bit 15 unused"},
    {"bmp", "pal1p1.bmp", S::ok, stbOrBlack, "one palette entry for two indices"},
    {"bmp", "hopper_rle8.bmp", S::ok, opaque, "RLE8 coding every pixel"},
    {"bmp", "pal4rle.bmp", S::ok, sameAs, "RLE4", "bmp/pal4.bmp"},
    {"bmp", "pal8rle.bmp pal8offs.bmp", S::ok, sameAs, "RLE8; rows at the data offset after a gap",
     "bmp/pal8.bmp"},
    {"bmp", "pal4rlecut.bmp pal4rletrns.bmp", S::ok, runLength, "RLE4 with skips", "bmp/pal4.bmp"},
    {"bmp", "pal8rlecut.bmp pal8rletrns.bmp", S::ok, runLength, "RLE8 with skips", "bmp/pal8.bmp"},
    {"bmp", "rgb24largepal.bmp rgb24pal.bmp", S::ok, sameAs, "a palette unused at 24 bits", "bmp/rgb24.bmp"},
    {"bmp",
     "Core_* V[345]_* bricks-gray.bmp hippopotamus.bmp hopper_rle8_grayscale.bmp pal1huffmsb.bmp pal8os2-* "
     "pal8os2.bmp pal8os2sp.bmp pal8os2v2-16.bmp pal8os2v2-sz.bmp pal8os2v2.bmp pal8v[45].bmp palette.bmp "
     "pillow-1.bmp pjw-thumbnail.bmp rgb24jpeg.bmp rgb24*prof* rgb24png.bmp rgb24rle24.bmp rgb32-xbgr.bmp "
     "rgb32bf-* rgb32h52.bmp rgba16-* rgba32-* rgba32h56.bmp simple_v4.bmp svg.bmp windows_rgba_v5.bmp",
     S::unsupportedVariant, refused, "information headers of 12, 16, 52, 56, 64, 108 and 124 bytes"},
    {"bmp",
     "rgb16-[235]* rgb16bfdef.bmp rgb32-[17]* rgb32bf.bmp rgb32bfdef.bmp rgba32abf.bmp pal2* rgba64.bmp",
     S::unsupportedVariant, refused, "bit fields (compression 3 and 6); 2 and 64 bits per pixel"},
    {"bmp", "ba-bm.bmp", S::notThisFormat, refused, "an OS/2 bitmap array (BA)"},
    {"bmp", "pal8oversizepal.bmp", S::corrupt, refused, "colours-used 300"},
    {"hostile/bmp", "badbitssize.bmp baddens?.bmp badfilesize.bmp", S::ok, stb,
     "the image size, resolutions and file size are not read"},
    {"hostile/bmp", "badplanes.bmp", S::ok, sameAs, "nor the planes", "bmp/pal1.bmp"},
    {"hostile/bmp", "pal8badindex.bmp", S::ok, stbOrBlack, "indices past the palette"},
    {"hostile/bmp", "shortfile.bmp", S::ok, stbShort, "rows missing"},
    {"hostile/bmp", "l2rgb_read.bmp mmap_error.bmp", S::ok, unchecked,
     "3158064 x 48 pixels in 57 bytes; a data offset into the palette and a byte short"},
    {"hostile/bmp", "Bad_clrsUsed.bmp badpalettesize.bmp", S::corrupt, refused, "colours-used past 256"},
    {"hostile/bmp", "Bad_unusual* badrle* hopper_rle8_row_overflow.bmp rle_overflow.bmp", S::corrupt, refused,
     "runs leaving the picture"},
    {"hostile/bmp", "badwidth.bmp", S::corrupt, refused, "negative width"},
    {"hostile/bmp", "Bad_height.bmp Bad_width.bmp reallybig.bmp", S::tooLarge, refused,
     "over 4 GiB of pixels"},
    {"hostile/bmp", "V5_* imagemagick_* badbitcount.bmp rgb16-880.bmp rletopdown.bmp", S::unsupportedVariant,
     refused, "124-byte headers, 30000 bits, bit fields, RLE8 top-down"},
    {"hostile/bmp", "badheadersize.bmp", S::notThisFormat, refused, "a 66-byte header"},
};

void CheckPixels(const CorpusRow<Check>& row, const std::string& path, const ReadResult& ours) {
    std::vector<DWORD> expected;
    if (row.check == opaque || row.check == unchecked) {
        for (DWORD pixel : ours.pixels) expected.push_back(row.check == opaque ? pixel | 0xFF000000u : pixel);
    } else if (row.reference) {
        expected =
            ReadWithBothEntries(Wide(TestDataPath(row.reference)), ReadBmpFile, KivPictureLoadBMPFile).pixels;
        size_t skipped = 0;
        for (size_t i = 0; row.check == runLength && i < expected.size() && i < ours.pixels.size(); ++i)
            if (ours.pixels[i] == 0 && ++skipped) expected[i] = 0;
        EXPECT_TRUE(row.check != runLength || skipped > 0) << "no pixel skipped";
    } else {
        const ReadResult theirs = DecodeWithStb(ReadFileBytes(path));
        ASSERT_EQ(theirs.rect, ours.rect) << "stb_image";
        expected = theirs.pixels;
        for (size_t i = 0; i < expected.size(); ++i) {
            const DWORD our = ours.pixels[i], their = expected[i];
            if (row.check == stbOpaque) expected[i] = their | 0xFF000000u;
            if (row.check == stb555) expected[i] = their & 0xFFF8F8F8u;
            if (row.check == stbOrBlack && our == 0xFF000000u) expected[i] = our;
            if (row.check == stbShort && our == 0 && their == 0xFF000000u) expected[i] = 0;
        }
    }
    ExpectSamePixels(ours.pixels, expected, row.reference ? row.reference : "stb_image");
}

TEST(BmpCorpus, EachFileLoadsOrIsRefusedAsItsRowSays) {
    CheckCorpus(kCorpus, {ReadBmpFile, KivPictureLoadBMPFile}, CheckPixels);
}

}  // namespace
