// The JPEG reader on files written by the library's compressor, against the library's own decodings:
// grey, quantised colour, four components and two; and failures that print nothing, leave no file open
// and do not disturb decodes on other threads.

#include <thread>

#include "JpegReference.h"
#include "readers/Readers.h"

namespace {

using S = KivLoadStatus;

// A picture of the size and colour spaces (see JpegSource) whose samples vary in every direction, and
// whose fourth component (if any) is 0 on the right half.
Bytes Gradient(unsigned width, unsigned height, int components, int space, int fileSpace = -1) {
    JpegSource source{width, height, components, space, fileSpace};
    for (unsigned i = 0; i < width * height * components; ++i) {
        const unsigned x = i / components % width, y = i / components / width, c = i % components;
        source.samples.push_back(
            static_cast<std::uint8_t>(c == 3 && x >= width / 2 ? 0 : x * 7 + y * 3 + c * 60 + x * y * c));
    }
    return CompressJpeg(source);
}

// The corpus has grey, colour, progressive, CMYK and cut-short files; these are what it lacks.
TEST(JpgReader, FilesWrittenByTheLibrary) {
    std::vector<FileCase> cases = {
        {"CMYK: a fourth component of 0 is transparent black", Gradient(32, 16, 4, 4), S::ok},
        {"YCCK: the library's CMYK samples", Gradient(24, 24, 4, 4, 5), S::ok},
        {"two components: the colour map's last row stands for blue", Gradient(20, 20, 2, 0), S::ok}};
    for (FileCase& c : cases) {
        const ReadResult expected = ExpectedJpegPixels(c.file);
        c.width = expected.rect.Width(), c.height = expected.rect.Height(), c.pixels = expected.pixels;
    }
    ExpectCases(cases, {ReadJpgFile, KivPictureLoadJPGFile});
}

// Data that ends early stops the decode: the rows whose data is complete are the library's decoding of
// them alone, and the rows below stay zero; a file too short for its blocks is refused before decoding.
TEST(JpgReader, DataEndingEarly) {
    ScratchFolder folder;
    for (const auto& [components, space] : {std::pair{3, 2}, std::pair{1, 1}}) {
        const Bytes whole = Gradient(48, 64, components, space);  // rows of MCUs 16 or 8 high
        size_t scan = 0;
        while (!(whole[scan] == 0xFF && whole[scan + 1] == 0xDA)) ++scan;
        Bytes bomb = whole;
        for (size_t at = 0; at + 9 < bomb.size(); ++at)
            if (bomb[at] == 0xFF && bomb[at + 1] == 0xC0) bomb[at + 5] = bomb[at + 7] = 0x10;  // 4144 x 4144
        const std::pair<Bytes, S> cases[] = {{Bytes(whole.begin(), whole.end() - 2), S::ok},
                                             {Bytes(whole.begin(), whole.begin() + (scan + whole.size()) / 2), S::ok},
                                             {Bytes(whole.begin(), whole.begin() + scan + 14), S::truncated},
                                             {bomb, S::truncated}};
        for (const auto& [file, status] : cases) {
            SCOPED_TRACE(testing::Message() << components << " components, " << file.size() << " bytes");
            const DecodedPicture got = ReadJpgFile(folder.Write("cut.jpg", file));
            ASSERT_EQ(got.status, status);
            if (status != S::ok) continue;
            const DWORD* pixels = got.pixels.get();
            unsigned rows = 64;
            while (rows > 0 && std::all_of(pixels + (rows - 1) * 48, pixels + rows * 48, [](DWORD p) { return !p; }))
                --rows;
            const bool ended = file.size() < whole.size() - 2;
            EXPECT_TRUE(ended ? rows > 0 && rows < 64 && rows % (components == 3 ? 16 : 8) == 0 : rows == 64);
            const ReadResult expected = ExpectedJpegPixels(file, ended ? rows : 0);
            EXPECT_TRUE(std::equal(pixels, pixels + 48 * 64, expected.pixels.begin()));
        }
    }
}

TEST(JpgReader, FailuresPrintNothingLeaveNoFileOpenAndDisturbNoOtherDecode) {
    ScratchFolder folder;
    const CString colour = folder.Write("colour.jpg", Gradient(96, 64, 3, 2));
    const CString broken = folder.Write("broken.jpg", {0xFF, 0xD8, 0xFF, 0xC0, 0x00});  // a frame header cut
    const DecodedPicture first = ReadJpgFile(colour);
    const auto openFiles = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {});
    };
    const auto before = openFiles();
    testing::internal::CaptureStderr();
    std::vector<int> agreed(8, 0);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < agreed.size(); ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 5; ++round) {
                const DecodedPicture got = ReadJpgFile(t % 2 ? broken : colour);
                agreed[t] += t % 2 ? got.status == S::corrupt
                                   : got.ok() && std::equal(got.pixels.get(), got.pixels.get() + 96 * 64,
                                                            first.pixels.get());
            }
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(openFiles(), before);
    EXPECT_EQ(agreed, std::vector<int>(8, 5));
}

}  // namespace
