// The JPEG reader on the public corpus: every file's outcome, and agreement with the library's own
// decodings of the same file: plain for grey and four-component files, quantised to 128 colours with the
// same settings for colour files.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "JpegReference.h"
#include "TestFiles.h"
#include "readers/Readers.h"

namespace {

struct CorpusCase {
    const char* file;  // under tests/data
    KivLoadStatus expected;
    int width;
    int height;
    const char* reason = "";  // why a file is refused
};

// Truncated files and files with extra or stray bytes load: the library tolerates them with a warning.
const CorpusCase kCases[] = {
    {"jpeg/16bit-qtables.jpg", KivLoadStatus::ok, 1, 1},
    {"jpeg/app13.jpg", KivLoadStatus::ok, 4, 4},
    {"jpeg/blank_800x280.jpg", KivLoadStatus::ok, 800, 280},
    {"jpeg/bricks-gray.jpeg", KivLoadStatus::ok, 160, 120},
    {"jpeg/flower2.jpg", KivLoadStatus::ok, 300, 225},
    {"jpeg/grayscale_16x24_sampling2x2.jpg", KivLoadStatus::ok, 16, 24},
    {"jpeg/grayscale_large.jpg", KivLoadStatus::ok, 1000, 1},
    {"jpeg/grayscale_long.jpg", KivLoadStatus::ok, 1, 1000},
    {"jpeg/hat.jpeg", KivLoadStatus::ok, 90, 112},
    {"jpeg/hippopotamus-sof-dht-swap.jpeg", KivLoadStatus::ok, 36, 28},
    {"jpeg/hippopotamus.jpeg", KivLoadStatus::ok, 36, 28},
    {"jpeg/hopper_16bit_qtables.jpg", KivLoadStatus::ok, 128, 128},
    {"jpeg/hopper_orientation_6.jpg", KivLoadStatus::ok, 128, 128},
    {"jpeg/icc-after-SOF.jpg", KivLoadStatus::ok, 10, 10},
    {"jpeg/icc_profile_big.jpg", KivLoadStatus::ok, 425, 250},
    {"jpeg/iptc.jpg", KivLoadStatus::ok, 640, 480},
    {"jpeg/jpeg_ff00_header.jpg", KivLoadStatus::ok, 300, 225},
    {"jpeg/jpeg_lossless_sel1.jpg", KivLoadStatus::unsupportedVariant, 0, 0,
     "lossless process, not in the library"},
    {"jpeg/jpg-cmyk-1.jpg", KivLoadStatus::ok, 32, 32},
    {"jpeg/jpg-cmyk-2.jpg", KivLoadStatus::ok, 256, 256},
    {"jpeg/jpg-gray.jpg", KivLoadStatus::ok, 32, 32},
    {"jpeg/jpg-size-15x15.jpg", KivLoadStatus::ok, 15, 15},
    {"jpeg/jpg-size-16x16.jpg", KivLoadStatus::ok, 16, 16},
    {"jpeg/jpg-size-17x17.jpg", KivLoadStatus::ok, 17, 17},
    {"jpeg/jpg-size-1x1.jpg", KivLoadStatus::ok, 1, 1},
    {"jpeg/jpg-size-2x2.jpg", KivLoadStatus::ok, 2, 2},
    {"jpeg/jpg-size-31x31.jpg", KivLoadStatus::ok, 31, 31},
    {"jpeg/jpg-size-33x33.jpg", KivLoadStatus::ok, 33, 33},
    {"jpeg/jpg-size-3x3.jpg", KivLoadStatus::ok, 3, 3},
    {"jpeg/jpg-size-7x7.jpg", KivLoadStatus::ok, 7, 7},
    {"jpeg/jpg-size-8x8.jpg", KivLoadStatus::ok, 8, 8},
    {"jpeg/jpg-size-9x9.jpg", KivLoadStatus::ok, 9, 9},
    {"jpeg/jpg-srgb-icc.jpg", KivLoadStatus::ok, 1, 1},
    {"jpeg/junk_jpeg_header.jpg", KivLoadStatus::ok, 1024, 768},
    {"jpeg/mona-lisa.21x32.q50.jpeg", KivLoadStatus::ok, 21, 32},
    {"jpeg/monkey12.jpg", KivLoadStatus::unsupportedVariant, 0, 0,
     "12-bit samples, not in the 8-bit library"},
    {"jpeg/non-interleaved-mcu.jpg", KivLoadStatus::ok, 64, 16},
    {"jpeg/orientation_rectangle.jpg", KivLoadStatus::ok, 2, 1},
    {"jpeg/partial_progressive.jpg", KivLoadStatus::ok, 4, 4},
    {"jpeg/peacock.default.jpeg", KivLoadStatus::ok, 100, 75},
    {"jpeg/peacock.grayscale.jpeg", KivLoadStatus::ok, 100, 75},
    {"jpeg/peacock.optimize.jpeg", KivLoadStatus::ok, 100, 75},
    {"jpeg/peacock.progressive.jpeg", KivLoadStatus::ok, 100, 75},
    {"jpeg/peacock.progressive.scan000.jpeg", KivLoadStatus::ok, 100, 75},
    {"jpeg/peacock.progressive.scan004.jpeg", KivLoadStatus::ok, 100, 75},
    {"jpeg/peacock.q99.jpeg", KivLoadStatus::ok, 100, 75},
    {"jpeg/peacock.s-very-weird.jpeg", KivLoadStatus::ok, 100, 75},
    {"jpeg/peacock.s-weird.jpeg", KivLoadStatus::ok, 100, 75},
    {"jpeg/peacock.s1x1-444.jpeg", KivLoadStatus::ok, 100, 75},
    {"jpeg/peacock.s1x3.jpeg", KivLoadStatus::ok, 100, 75},
    {"jpeg/peacock.s2x1-422.jpeg", KivLoadStatus::ok, 100, 75},
    {"jpeg/photoshop-200dpi.jpg", KivLoadStatus::ok, 200, 200},
    {"jpeg/pil_sample_cmyk.jpg", KivLoadStatus::ok, 100, 100},
    {"jpeg/pil_sample_rgb.jpg", KivLoadStatus::ok, 100, 100},
    {"jpeg/pjw-thumbnail.jpeg", KivLoadStatus::ok, 32, 32},
    {"jpeg/portrait_2.jpg", KivLoadStatus::ok, 113, 150},
    {"jpeg/restarts.jpg", KivLoadStatus::ok, 33, 33},
    {"jpeg/sample.jpg", KivLoadStatus::ok, 23, 42},
    {"jpeg/subsampling_410.jpg", KivLoadStatus::ok, 32, 32},
    {"jpeg/subsampling_411.jpg", KivLoadStatus::ok, 32, 32},
    {"jpeg/subsampling_440.jpg", KivLoadStatus::ok, 32, 32},
    {"jpeg/test.jpg", KivLoadStatus::ok, 32, 23},
    {"jpeg/testimgari.jpg", KivLoadStatus::ok, 227, 149},
    {"jpeg/testimgint.jpg", KivLoadStatus::ok, 227, 149},
    {"jpeg/testorig.jpg", KivLoadStatus::ok, 227, 149},
    {"jpeg/tuba_restart_prog.jpg", KivLoadStatus::ok, 512, 512},
    {"hostile/jpeg/afl-004143-splice.jpg", KivLoadStatus::corrupt, 0, 0, "corrupt scan header"},
    {"hostile/jpeg/afl-004675-flip1.jpg", KivLoadStatus::ok, 16, 48},
    {"hostile/jpeg/dc-predictor-overflow.jpg", KivLoadStatus::ok, 144, 144},
    {"hostile/jpeg/derive-huffman-codes-overflow.jpg", KivLoadStatus::corrupt, 0, 0, "bad Huffman table"},
    {"hostile/jpeg/empty.jpg", KivLoadStatus::truncated, 0, 0, "no bytes at all"},
    {"hostile/jpeg/extraneous-bytes-after-sos.jpg", KivLoadStatus::ok, 1744, 2464},
    {"hostile/jpeg/extraneous-data.jpg", KivLoadStatus::ok, 16, 16},
    {"hostile/jpeg/hippopotamus-bad-comment-length.jpeg", KivLoadStatus::ok, 36, 28},
    {"hostile/jpeg/invalid-dimensions.jpg", KivLoadStatus::corrupt, 0, 0, "frame height 0"},
    {"hostile/jpeg/invalid-prediction-shift.jpg", KivLoadStatus::unsupportedVariant, 0, 0,
     "lossless process"},
    {"hostile/jpeg/jpg-size-6x6.jpg", KivLoadStatus::notThisFormat, 0, 0, "PNG data"},
    {"hostile/jpeg/max_size.jpg", KivLoadStatus::tooLarge, 0, 0,
     "65535 x 65535 pixels exceed the pixel buffer"},
    {"hostile/jpeg/missing-frame-image-1410.jpg", KivLoadStatus::corrupt, 0, 0, "no frame header"},
    {"hostile/jpeg/missing-sof.jpg", KivLoadStatus::corrupt, 0, 0, "no frame header"},
    {"hostile/jpeg/missing-sos.jpg", KivLoadStatus::corrupt, 0, 0, "no scan"},
    {"hostile/jpeg/multiple-0xff-before-eoi.jpg", KivLoadStatus::ok, 640, 480},
    {"hostile/jpeg/null_height.jpg", KivLoadStatus::corrupt, 0, 0, "frame width 0"},
    {"hostile/jpeg/oss-fuzz-36829.jpeg", KivLoadStatus::corrupt, 0, 0,
     "sampling factors the library refuses"},
    {"hostile/jpeg/peacock.default.truncated.jpeg", KivLoadStatus::ok, 100, 75},
    {"hostile/jpeg/peacock.progressive.truncated.jpeg", KivLoadStatus::ok, 100, 75},
    {"hostile/jpeg/progressive-missing-ac.jpg", KivLoadStatus::ok, 8, 8},
    {"hostile/jpeg/progressive-missing-dc.jpg", KivLoadStatus::ok, 8, 8},
    {"hostile/jpeg/subtract-with-overflow.jpg", KivLoadStatus::ok, 546, 340},
    {"hostile/jpeg/sugarshack_bad_mpo_header.jpg", KivLoadStatus::ok, 640, 480},
    {"hostile/jpeg/truncated_app14.jpg", KivLoadStatus::ok, 100, 100},
    {"hostile/jpeg/truncated_exif_dpi.jpg", KivLoadStatus::ok, 480, 640},
    {"hostile/jpeg/truncated_jpeg.jpg", KivLoadStatus::ok, 100, 100},
    {"hostile/jpeg/ultrahdr.jpg", KivLoadStatus::ok, 1512, 2688},
};

TEST(JpgCorpus, EveryFileLoadsOrIsRefusedAsExpected) {
    for (const CorpusCase& c : kCases) {
        const DecodedPicture picture = ReadJpgFile(Wide(TestDataPath(c.file)));
        EXPECT_EQ(picture.status, c.expected) << c.file << " " << c.reason;
        if (c.expected == KivLoadStatus::ok) {
            EXPECT_EQ(picture.rect, CRect(0, 0, c.width, c.height)) << c.file;
        }
    }
}

TEST(JpgCorpus, EveryCorpusFileIsListed) {
    std::set<std::string> listed;
    for (const CorpusCase& c : kCases) listed.insert(c.file);
    for (const char* folder : {"jpeg", "hostile/jpeg"})
        for (const auto& entry : std::filesystem::directory_iterator(TestDataPath(folder))) {
            const std::string extension = entry.path().extension().string();
            if (extension == ".jpg" || extension == ".jpeg") {
                EXPECT_TRUE(listed.count(std::string(folder) + "/" + entry.path().filename().string()))
                    << entry.path() << " has no expected outcome";
            }
        }
}

TEST(JpgCorpus, PixelsMatchTheLibrarysOwnDecodings) {
    for (const CorpusCase& c : kCases) {
        if (c.expected != KivLoadStatus::ok) continue;
        const std::string path = TestDataPath(c.file);
        const DecodedPicture picture = ReadJpgFile(Wide(path));
        ASSERT_TRUE(picture.ok()) << c.file;
        unsigned width = 0, height = 0;
        const std::vector<DWORD> expected = ExpectedJpegPixels(path, width, height);
        ASSERT_EQ(expected.size(), static_cast<size_t>(c.width) * c.height) << c.file;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), picture.pixels.get())) << c.file;

        const JpegReference plain = DecodeWithLibjpeg(path, JpegReferenceMode::plain);
        if (!plain.fileIsGrey && plain.fileComponents != 4) {
            const std::set<DWORD> colours(picture.pixels.get(), picture.pixels.get() + expected.size());
            EXPECT_LE(colours.size(), 128u) << c.file;
        }
    }
}

}  // namespace
