// The PSD reader on the public corpus (tests/data/psd and tests/data/hostile/psd; sources and licences in
// tests/data/psd/ATTRIBUTION.tsv): each file loads or is refused as its row says, and the pixels of loaded
// files follow, through the conversion of their mode, from the samples that stb_image decodes on its own.

#include "PsdFormulas.h"
#include "TestFiles.h"
#include "readers/Readers.h"

namespace {

using S = KivLoadStatus;
enum Check { samples, opaque, unchecked, refused };

const std::vector<CorpusRow<Check>> kCorpus = {
    {"psd",
     "16bit5x5.psd 1layer.psd 2layer_8ele_tblocks.psd 4x4_16bit_* 4x4_8bit_* argb16-* cmyk* "
     "five_channels.psd gray?.psd hopper*.psd indexed.psd issue397.psd laba_8bit.psd mch-8bits.psd "
     "negative_* "
     "north_america_newspaper.psd orientation6.psd rgb*.psd testcard_graya8.psd transparentbg-gimp.psd",
     S::ok, samples, "every colour mode, 8 and 16 bits, raw and PackBits, spot and alpha channels, layers"},
    {"psd", "16bit-rle.psd", S::ok, opaque, "16-bit PackBits, which stb_image decodes as 8-bit"},
    {"psd", "53alphas.psd", S::ok, unchecked, "57 channels: stb_image reads up to 16"},
    {"psd", "1layer.psb", S::unsupportedVariant, refused, "version 2, the large-document format"},
    {"psd", "32bit5x5.psd 4x4_32bit_* 4x4_1bit_bitmap.psd bitmap.psd transparentbg.psd",
     S::unsupportedVariant, refused, "1-bit and 32-bit samples"},
    {"hostile/psd", "psd-oob-write*.psd", S::ok, samples, "the faults are in layers"},
    {"hostile/psd", "combined_larger_than_size.psd", S::truncated, refused, "no image data"},
    {"hostile/psd", "timeout-*.psd", S::corrupt, refused, "compression 65535; resources past their section"},
};

// What the reader's conversion makes of one pixel's samples s[0..3]; an indexed file's colour table is
// its colour-mode data (every indexed file of the corpus has a table and a colour count).
DWORD Converted(unsigned mode, unsigned channels, const std::uint8_t* table, const unsigned* s) {
    switch (mode) {
        case 1:  // grey
        case 8:  // duotone
            return 0xFF000000u | s[0] * 0x010101u;
        case 2:
            return 0xFF000000u | DWORD{table[s[0]]} << 16 | DWORD{table[256 + s[0]]} << 8 | table[512 + s[0]];
        case 3:
            return (channels >= 4 ? s[3] : 255) << 24 | s[0] << 16 | s[1] << 8 | s[2];
        case 4:
        case 7:
            return psdtest::InkPixel(s[0], s[1], s[2], mode == 4 || channels == 4 ? psdtest::Key(s[3]) : 0.0);
        case 9:
            return psdtest::LabPixel(s[0], s[1], s[2]);
    }
    return 0;
}

// stb_image, told that the file is RGB so that it reads any mode, decodes the first four channels. It keeps
// a pixel's samples as they are unless the file has four or more channels and the fourth sample is neither
// 0 nor 255: it then mattes the first three against white, and only the fourth is known.
void CheckPixels(const CorpusRow<Check>& row, const std::string& path, const ReadResult& ours) {
    Bytes file = ReadFileBytes(path);
    const unsigned mode = file[25], channels = file[13];
    if (row.check == opaque) {
        for (DWORD pixel : ours.pixels) ASSERT_EQ(pixel >> 24, 0xFFu);
    }
    if (row.check != samples) return;
    const Bytes table(file.begin() + 30, file.begin() + 30 + (mode == 2 ? 768 : 0));
    file[25] = 3;
    const ReadResult theirs = DecodeWithStb(file);
    ASSERT_EQ(theirs.rect, ours.rect) << "stb_image";
    std::vector<DWORD> expected = ours.pixels;
    size_t matted = 0;
    for (size_t i = 0; i < expected.size(); ++i) {
        const DWORD w = theirs.pixels[i];
        const unsigned s[4] = {w >> 16 & 0xFF, w >> 8 & 0xFF, w & 0xFF, w >> 24};
        if (channels < 4 || s[3] == 0 || s[3] == 255)
            expected[i] = Converted(mode, channels, table.data(), s);
        else if (++matted && mode == 3)
            expected[i] = (expected[i] & 0xFFFFFF) | (w & 0xFF000000u);
    }
    EXPECT_LT(matted, expected.size()) << "no pixel compared in full";
    ExpectSamePixels(ours.pixels, expected, "stb_image's samples, converted");
}

TEST(PsdCorpus, EachFileLoadsOrIsRefusedAsItsRowSays) {
    CheckCorpus(kCorpus, {ReadPsdFile, KivPictureLoadPSDFile}, CheckPixels);
}

}  // namespace
