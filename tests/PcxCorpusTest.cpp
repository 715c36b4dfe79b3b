// The PCX reader on the public corpus (tests/data/pcx and tests/data/hostile/pcx): each file loads or is
// refused as its row says, and loaded pictures match ImageMagick's decoding pixel for pixel.

#include "TestFiles.h"
#include "readers/Readers.h"

namespace {

using S = KivLoadStatus;
// 1-bit files: ImageMagick shows a set bit as black whatever the header palette holds, while our pixels
// take the header palette's first two entries (mono.pcx's are both black): ImageMagick's black pixels must
// come out in entry 1's colour, its white ones in entry 0's.
enum Check { imageMagick, imageMagickBits, refused };

const std::vector<CorpusRow<Check>> kCorpus = {
    {"pcx", "24bit.pcx bw.pcx rgb.pcx sample.pcx", S::ok, imageMagick, "24 bits, lines odd and padded"},
    {"pcx", "indexed4.pcx indexed8.pcx odd_stride.pcx", S::ok, imageMagick, "4 and 8 bits, an odd line"},
    {"pcx", "pil184.pcx mono.pcx", S::ok, imageMagickBits, "1 bit: widths not a multiple of 8, padded lines"},
    {"pcx", "256-palette.pcx", S::corrupt, refused, "an odd width below its padded line"},
    {"pcx", "16color.pcx p_4_planes.pcx", S::unsupportedVariant, refused, "four 1-bit planes"},
    {"hostile/pcx", "01r_00.pcx pcx_overrun.pcx", S::corrupt, refused, "lines shorter than their rows"},
    {"hostile/pcx", "ossfuzz-*.pcx pcx_overrun2.pcx", S::unsupportedVariant, refused, "two 1-bit planes"},
};

bool imageMagickMissing = false;

void CheckPixels(const CorpusRow<Check>& row, const std::string& path, const ReadResult& ours) {
    std::vector<DWORD> theirs = PixelsFromCommand("convert '" + path + "' -depth 8 rgba:-");
    if (theirs.empty()) return void(imageMagickMissing = true);
    const Bytes file = ReadFileBytes(path);
    const auto entry = [&](size_t at) {
        return DWORD{0xFF000000u} | file[at] << 16 | file[at + 1] << 8 | file[at + 2];
    };
    for (DWORD& pixel : theirs)
        if (row.check == imageMagickBits) pixel = pixel == 0xFF000000u ? entry(16 + 3) : entry(16);
    ExpectSamePixels(ours.pixels, theirs, "ImageMagick");
}

TEST(PcxCorpus, EachFileLoadsOrIsRefusedAsItsRowSays) {
    CheckCorpus(kCorpus, {ReadPcxFile, KivPictureLoadPCXFile}, CheckPixels);
    if (imageMagickMissing) GTEST_SKIP() << "ImageMagick's convert is not installed: pixels not compared";
}

}  // namespace
