// The JPEG reader on files written by the library's compressor: grey, quantised colour, four-component
// output, and the failures, which must print nothing and leave no file open.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "JpegReference.h"
#include "TestFiles.h"
#include "readers/Readers.h"

namespace {

constexpr int kGrey = 1, kRgb = 2, kCmyk = 4, kYcck = 5, kUnknown = 0;  // J_COLOR_SPACE values

JpegSource Gradient(unsigned width, unsigned height, int components, int colourSpace) {
    JpegSource source;
    source.width = width;
    source.height = height;
    source.components = components;
    source.inputColourSpace = colourSpace;
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x)
            for (int c = 0; c < components; ++c)
                source.samples.push_back(
                    static_cast<std::uint8_t>((x * 7 + y * 3 + c * 60 + x * y * c) & 0xFF));
    return source;
}

using Loaded = ReadResult;

Loaded Load(const CString& path) {
    return ReadWithBothEntries(path, ReadJpgFile, KivPictureLoadJPGFile);
}

// Loads a file written from source and checks it against the library's own decodings.
Loaded LoadAndCompare(const JpegSource& source, const std::string& name = "picture.jpg") {
    ScratchFolder folder;
    const CString path = folder.Write(name, CompressJpeg(source));
    Loaded loaded = Load(path);
    EXPECT_EQ(loaded.status, KivLoadStatus::ok);
    unsigned width = 0, height = 0;
    const std::vector<DWORD> expected = ExpectedJpegPixels(folder.File(name), width, height);
    EXPECT_EQ(loaded.rect, CRect(0, 0, static_cast<int>(source.width), static_cast<int>(source.height)));
    EXPECT_EQ(loaded.pixels, expected);
    return loaded;
}

size_t OpenFileCount() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

TEST(JpgReader, GreyPixelsAreTheLibrarysSamplesThroughAGreyRamp) {
    const Loaded loaded = LoadAndCompare(Gradient(37, 21, 1, kGrey));
    ASSERT_FALSE(loaded.pixels.empty());
    for (DWORD pixel : loaded.pixels) {
        EXPECT_EQ(pixel >> 24, 0xFFu);
        EXPECT_EQ(pixel & 0xFF, (pixel >> 8) & 0xFF);
        EXPECT_EQ(pixel & 0xFF, (pixel >> 16) & 0xFF);
    }
}

TEST(JpgReader, ColourPicturesAreTheLibrarysQuantisationToAtMost128Colours) {
    const Loaded loaded = LoadAndCompare(Gradient(64, 48, 3, kRgb));
    const std::set<DWORD> colours(loaded.pixels.begin(), loaded.pixels.end());
    EXPECT_LE(colours.size(), 128u);
    EXPECT_GT(colours.size(), 32u);  // a varied picture uses many of them
    for (DWORD colour : colours) EXPECT_EQ(colour >> 24, 0xFFu);
}

TEST(JpgReader, ProgressiveColourPicturesAreQuantisedToo) {
    JpegSource source = Gradient(40, 30, 3, kRgb);
    source.progressive = true;
    const Loaded loaded = LoadAndCompare(source);
    EXPECT_LE(std::set<DWORD>(loaded.pixels.begin(), loaded.pixels.end()).size(), 128u);
}

TEST(JpgReader, CmykColoursAreScaledByTheFourthComponentWhichIsTheAlpha) {
    JpegSource source = Gradient(32, 16, 4, kCmyk);
    source.quality = 100;
    for (size_t i = 0; i < source.samples.size(); i += 4) {
        const size_t x = (i / 4) % 32;
        source.samples[i + 3] = x < 16 ? 255 : 0;  // the right half has a fourth component of 0
    }
    const Loaded loaded = LoadAndCompare(source);
    ASSERT_EQ(loaded.pixels.size(), 32u * 16u);
    EXPECT_EQ(loaded.pixels[31], 0u) << "a fourth component of 0 gives transparent black";
    EXPECT_EQ(loaded.pixels[0] >> 24, 0xFFu);
}

TEST(JpgReader, YcckPicturesComeOutAsTheLibrarysCmykSamplesScaledTheSameWay) {
    JpegSource source = Gradient(24, 24, 4, kCmyk);
    source.fileColourSpace = kYcck;
    LoadAndCompare(source);
}

TEST(JpgReader, TwoComponentPicturesRepeatTheColourMapsLastRowForBlue) {
    JpegSource source = Gradient(20, 20, 2, kUnknown);
    const Loaded loaded = LoadAndCompare(source);
    for (DWORD pixel : loaded.pixels) EXPECT_EQ(pixel & 0xFF, (pixel >> 8) & 0xFF);
}

TEST(JpgReader, ATruncatedFileStillYieldsThePictureTheLibraryToleratesSilently) {
    const Bytes whole = CompressJpeg(Gradient(64, 64, 3, kRgb));
    const Bytes half(whole.begin(), whole.begin() + static_cast<long>(whole.size() / 2));
    ScratchFolder folder;
    const CString path = folder.Write("half.jpg", half);
    testing::internal::CaptureStderr();
    const Loaded loaded = Load(path);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(loaded.status, KivLoadStatus::ok);
    unsigned width = 0, height = 0;
    EXPECT_EQ(loaded.pixels, ExpectedJpegPixels(folder.File("half.jpg"), width, height));
}

TEST(JpgReader, AFileWithoutJpegDataFailsSilentlyAndLeavesNoFileOpen) {
    ScratchFolder folder;
    Bytes bitmap(200, 0);
    bitmap[0] = 'B';
    bitmap[1] = 'M';
    const CString path = folder.Write("bitmap.jpg", bitmap);
    const size_t openBefore = OpenFileCount();
    testing::internal::CaptureStderr();
    EXPECT_EQ(Load(path).status, KivLoadStatus::notThisFormat);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(OpenFileCount(), openBefore);
}

TEST(JpgReader, AnEmptyFileIsTruncated) {
    ScratchFolder folder;
    EXPECT_EQ(Load(folder.Write("empty.jpg", {})).status, KivLoadStatus::truncated);
}

TEST(JpgReader, APictureTooLargeForThePixelBufferIsRefusedBeforeDecoding) {
    Bytes file = CompressJpeg(Gradient(8, 8, 3, kRgb));
    // The frame header: FF C0, length, precision, then height and width, big-endian.
    for (size_t i = 0; i + 8 < file.size(); ++i) {
        if (file[i] != 0xFF || file[i + 1] != 0xC0) continue;
        for (size_t b = i + 5; b < i + 9; ++b) file[b] = 0xFF;  // 65535 x 65535
        break;
    }
    ScratchFolder folder;
    EXPECT_EQ(Load(folder.Write("huge.jpg", file)).status, KivLoadStatus::tooLarge);
}

TEST(JpgReader, AMissingFileIsNotFound) {
    ScratchFolder folder;
    EXPECT_EQ(ReadJpgFile(Wide(folder.File("absent.jpg"))).status, KivLoadStatus::fileNotFound);
}

TEST(JpgReader, DecodesOnSeveralThreadsAtOnceAgree) {
    ScratchFolder folder;
    const CString colour = folder.Write("colour.jpg", CompressJpeg(Gradient(96, 64, 3, kRgb)));
    Bytes broken = {0xFF, 0xD8, 0xFF, 0xC0, 0x00};  // a frame header cut short
    const CString corrupt = folder.Write("broken.jpg", broken);
    const DecodedPicture first = ReadJpgFile(colour);
    ASSERT_TRUE(first.ok());
    const std::vector<DWORD> expected(first.pixels.get(), first.pixels.get() + 96 * 64);
    std::vector<int> agreed(8, 0);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < agreed.size(); ++t)
        threads.emplace_back([&, t]() {
            for (int round = 0; round < 5; ++round) {
                const DecodedPicture picture = ReadJpgFile(t % 2 ? corrupt : colour);
                if (t % 2) {
                    agreed[t] += !picture.ok();
                } else {
                    agreed[t] +=
                        picture.ok() && std::equal(expected.begin(), expected.end(), picture.pixels.get());
                }
            }
        });
    for (std::thread& thread : threads) thread.join();
    for (int count : agreed) EXPECT_EQ(count, 5);
}

}  // namespace
