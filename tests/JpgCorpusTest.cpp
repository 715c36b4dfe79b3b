// The JPEG reader on the public corpus (tests/data/jpeg and tests/data/hostile/jpeg; sources and licences
// in tests/data/jpeg/ATTRIBUTION.tsv): each file loads or is refused as its row says, and loaded pictures
// equal the library's own decodings. Truncated files and files with stray bytes load: the library
// tolerates them with a warning.

#include "JpegReference.h"
#include "readers/Readers.h"

namespace {

using S = KivLoadStatus;
enum Check { library, refused };

const std::vector<CorpusRow<Check>> kCorpus = {
    {"jpeg", "*", S::ok, library,
     "baseline and progressive, grey, colour, CMYK, odd sizes, subsampling, restarts"},
    {"jpeg", "jpeg_lossless_sel1.jpg", S::unsupportedVariant, refused, "the lossless process"},
    {"jpeg", "monkey12.jpg", S::unsupportedVariant, refused, "12-bit samples"},
    {"hostile/jpeg", "*", S::ok, library,
     "truncated, stray bytes, bad comment lengths, missing scans' parts"},
    {"hostile/jpeg", "afl-004143-splice.jpg derive-huffman-codes-overflow.jpg oss-fuzz-36829.jpeg",
     S::corrupt, refused, "a corrupt scan header, Huffman table, sampling factors"},
    {"hostile/jpeg", "invalid-dimensions.jpg null_height.jpg missing-*", S::corrupt, refused,
     "a side of 0; no frame header, no scan"},
    {"hostile/jpeg", "empty.jpg", S::truncated, refused, "no bytes at all"},
    {"hostile/jpeg", "invalid-prediction-shift.jpg", S::unsupportedVariant, refused, "the lossless process"},
    {"hostile/jpeg", "jpg-size-6x6.jpg", S::notThisFormat, refused, "PNG data"},
    {"hostile/jpeg", "max_size.jpg", S::tooLarge, refused, "65535 x 65535 pixels"},
};

TEST(JpgCorpus, EachFileLoadsOrIsRefusedAsItsRowSays) {
    CheckCorpus(kCorpus, {ReadJpgFile, KivPictureLoadJPGFile},
                [](const CorpusRow<Check>&, const std::string& path, const ReadResult& ours) {
                    const ReadResult expected = ExpectedJpegPixels(ReadFileBytes(path));
                    EXPECT_EQ(ours.rect, expected.rect);
                    ExpectSamePixels(ours.pixels, expected.pixels, "the library's decoding");
                });
}

}  // namespace
