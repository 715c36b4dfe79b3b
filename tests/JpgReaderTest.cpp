// The JPEG reader on files written by the library's compressor, against the library's own decodings:
// grey, quantised and full colour, four components and two; EXIF orientations on files Pillow wrote; and
// failures that print nothing, leave no file open and do not disturb decodes on other threads.

#include <array>
#include <cstdlib>
#include <memory>
#include <thread>

#include "JpegReference.h"
#include "media/ClipMediaObj.h"
#include "picture/ScaledLoad.h"
#include "readers/ExifOrientation.h"
#include "readers/PictureFormats.h"
#include "readers/Readers.h"

namespace {

using S = KivLoadStatus;

// Sets the reader's two process-wide choices for the guard's life, and turns them off after it.
std::shared_ptr<void> JpegChoices(bool fullColour, bool autoOrient) {
    SetJpegFullColour(fullColour);
    SetJpegAutoOrient(autoOrient);
    return {nullptr, [](void*) { SetJpegFullColour(false), SetJpegAutoOrient(false); }};
}

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

// "Exif", two zero bytes, a little-endian TIFF header with its directory at 8, one entry: orientation 6.
const Bytes kExifOrientation6 = {'E', 'x', 'i',  'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
                                 1,   0,   0x12, 1,   3, 0, 1,   0,   0,  0, 6, 0, 0, 0};

// The corpus has grey, colour, progressive, CMYK and cut-short files; these are what it lacks. Each is read
// quantised and in full colour, which must be the library's own full-colour decoding where it applies.
TEST(JpgReader, FilesWrittenByTheLibrary) {
    const auto corpus = [](const char* name) { return ReadFileBytes(TestDataPath(std::string("jpeg/") + name)); };
    for (const bool fullColour : {false, true}) {
        SCOPED_TRACE(fullColour ? "full colour" : "quantised");
        const auto choices = JpegChoices(fullColour, false);
        std::vector<FileCase> cases = {
            {"CMYK: a fourth component of 0 is transparent black", Gradient(32, 16, 4, 4), S::ok},
            {"YCCK: the library's CMYK samples", Gradient(24, 24, 4, 4, 5), S::ok},
            {"two components: the colour map's last row stands for blue", Gradient(20, 20, 2, 0), S::ok},
            {"YCbCr 4:2:0, odd sides", Gradient(37, 21, 3, 2), S::ok},
            {"stored as RGB", Gradient(24, 24, 3, 2, 2), S::ok},
            {"grey", Gradient(9, 9, 1, 1), S::ok},
            {"progressive", corpus("peacock.progressive.jpeg"), S::ok},
            {"4:1:1 with restart markers", corpus("restarts.jpg"), S::ok}};
        for (FileCase& c : cases) {
            const ReadResult expected = ExpectedJpegPixels(c.file, 0, fullColour);
            c.width = expected.rect.Width(), c.height = expected.rect.Height(), c.pixels = expected.pixels;
        }
        ExpectCases(cases, {ReadJpgFile, KivPictureLoadJPGFile});
    }
}

// Files Pillow wrote with each EXIF orientation (both byte orders) of one upright picture of six flat
// blocks: made upright, in full colour, they give the blocks where they belong; the probe, the record and
// the scaled load see the upright size; without the choice the pictures load as stored.
TEST(JpgReader, ExifOrientations) {
    const DWORD blocks[2][3] = {{0xC81E1E, 0x1EC81E, 0x1E1EC8}, {0xDCDC28, 0x28DCDC, 0xDC28DC}};
    for (int orientation = 1; orientation <= 8; ++orientation)
        for (const bool upright : {false, true}) {
            SCOPED_TRACE(testing::Message() << "orientation " << orientation << (upright ? ", upright" : ""));
            const auto choices = JpegChoices(true, upright);
            const CString path = Wide(TestDataPath("jpeg/exif-orientation-" + std::to_string(orientation) + ".jpg"));
            const bool sideways = !upright && orientation >= 5;
            const CRect size = sideways ? CRect(0, 0, 16, 24) : CRect(0, 0, 24, 16);
            const DecodedPicture got = ReadJpgFile(path);
            ASSERT_EQ(got.status, S::ok);
            ASSERT_EQ(got.rect, size);
            PictureHeader probed;
            ASSERT_TRUE(ProbePicture(path, probed));
            EXPECT_EQ(CRect(probed.rect), size);
            CKivClipMediaObj record;
            record.m_strMediaFile = path;
            ASSERT_EQ(record.MakeExtInfo(), 1);
            EXPECT_EQ(record.m_szMedia, size.Size());
            std::vector<tagCOLOR32> block(24 * 16);  // the same size: the area samples are the pixels
            ASSERT_EQ(KivPictureLoadPicFile(path, block.data(), CSize(24, 16), 2), 1);
            if (!upright) continue;
            EXPECT_TRUE(std::equal(block.begin(), block.end(), got.pixels.get(),
                                   [](tagCOLOR32 a, DWORD b) { return a.Word() == b; }));
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 24; ++x) {
                    const DWORD pixel = got.pixels.get()[y * 24 + x], want = blocks[y / 8][x / 8];
                    for (int shift = 0; shift < 24; shift += 8)
                        ASSERT_NEAR(pixel >> shift & 0xFF, want >> shift & 0xFF, 3) << x << ", " << y;
                }
        }
}

// EXIF blocks that state no orientation the reader may use: each reads as upright.
TEST(JpgReader, ExifBlocksWithoutAUsableOrientation) {
    const Bytes& good = kExifOrientation6;
    const auto edited = [&](size_t at, std::uint8_t value) { Bytes b = good; b[at] = value; return b; };
    const std::pair<const char*, Bytes> cases[] = {
        {"cut inside the value", Head(good, 25)},
        {"a directory past the end", edited(10, 200)},
        {"a directory offset near 2^32", edited(13, 0xFF)},
        {"mixed byte-order marks", edited(7, 'M')},
        {"not 42", edited(8, 43)},
        {"a long rather than a short", edited(18, 4)},
        {"orientation 9", edited(24, 9)},
        {"orientation 0", edited(24, 0)},
        {"no signature", edited(0, 'e')},
        {"no entries", edited(14, 0)}};
    ASSERT_EQ(ExifOrientation(good.data(), good.size()), 6) << "the block the cases edit";
    for (const auto& [reason, block] : cases)
        EXPECT_EQ(ExifOrientation(block.data(), block.size()), kUpright) << reason;
}

// Data that ends early stops the decode, quantised and in full colour: rows whose data is complete are the
// library's decoding of them alone, the rows below stay zero; data ending before the first row is refused.
TEST(JpgReader, DataEndingEarly) {
    ScratchFolder folder;
    for (const auto& [components, space, fullColour] :
         {std::tuple{3, 2, false}, std::tuple{1, 1, false}, std::tuple{3, 2, true}}) {
        const auto choices = JpegChoices(fullColour, false);
        const Bytes whole = Gradient(48, 64, components, space);  // rows of MCUs 16 or 8 high
        size_t scan = 0;
        while (!(whole[scan] == 0xFF && whole[scan + 1] == 0xDA)) ++scan;
        // A frame one row of MCUs high is decoded whole however short its data (the stop lets the last row
        // through), so only the least-data bound keeps 65,280 columns from being sized and coded as grey.
        Bytes wide = Gradient(16, 8, components, space);
        for (size_t at = 0; at + 9 < wide.size(); ++at)
            if (wide[at] == 0xFF && wide[at + 1] == 0xC0) wide[at + 7] = 0xFF, wide[at + 8] = 0;
        const std::pair<Bytes, S> cases[] = {{Head(whole, -2), S::ok},
                                             {Head(whole, static_cast<long>(scan + whole.size()) / 2), S::ok},
                                             {Head(whole, static_cast<long>(scan) + 14), S::truncated},
                                             {wide, S::truncated}};
        for (const auto& [file, status] : cases) {
            SCOPED_TRACE(testing::Message() << components << " components, " << file.size() << " bytes"
                                            << (fullColour ? ", full colour" : ""));
            const DecodedPicture got = ReadJpgFile(folder.Write("cut.jpg", file));
            ASSERT_EQ(got.status, status);
            if (status != S::ok) continue;
            const unsigned rows = RowsAboveZeroRows(got.pixels.get(), got.rect);
            const bool ended = file.size() < whole.size() - 2;
            EXPECT_TRUE(ended ? rows > 0 && rows % (components == 3 ? 16 : 8) == 0 : rows == 0);
            const ReadResult expected = ExpectedJpegPixels(file, rows, fullColour);
            EXPECT_TRUE(std::equal(got.pixels.get(), got.pixels.get() + 48 * 64, expected.pixels.begin()));
        }
    }
}

// A record's thumbnail of a picture, as the record makes it: each pixel the picture's nearest.
using Thumbnail = std::vector<BYTE>;
constexpr CSize kCell = CKivClipMediaObj::kPictureIconSize;
constexpr int kCellBytes = kCell.cx * kCell.cy * 3;
Thumbnail NearestThumbnail(const DecodedPicture& picture) {
    BYTE* icon = KivPublicMakeIcon(reinterpret_cast<const tagCOLOR32*>(picture.pixels.get()),
                                   picture.rect.Size(), picture.rect, kCell, 24);
    Thumbnail thumbnail(icon, icon + kCellBytes);
    GlobalFree(icon);
    return thumbnail;
}
// What a thumbnail should show: the average of the full decode under each thumbnail pixel.
Thumbnail AveragedThumbnail(const CString& path) {
    std::vector<tagCOLOR32> block(kCell.cx * kCell.cy);
    EXPECT_EQ(LoadAreaScaled(path, block.data(), kCell, 2), S::ok);
    Thumbnail thumbnail;
    for (const tagCOLOR32 pixel : block)
        thumbnail.insert(thumbnail.end(), {pixel.blue, pixel.green, pixel.red});
    return thumbnail;
}
// The mean absolute difference of two thumbnails, per channel (blue, green, red).
std::array<double, 3> MeanDifference(const Thumbnail& a, const Thumbnail& b) {
    std::array<double, 3> sums{};
    for (int i = 0; i < kCellBytes; ++i) sums[i % 3] += std::abs(a[i] - b[i]);
    for (double& sum : sums) sum /= kCell.cx * kCell.cy;
    return sums;
}

// A record's thumbnail of a large JPEG picture comes from a reduced decode. For every JPEG file of the
// corpus and the samples, in each colour and orientation choice, the reduced decode refuses what the full
// one refuses, still covers the cell, and gives the record's thumbnail, which is about as faithful as the
// full decode's: its mean distance per channel from the full decode's area averages is at most two levels
// above that of the full decode's thumbnail (1.8 above in red on the library's own test picture at a half;
// below on most files). Nearest-pixel thumbnails themselves differ by up to 14 levels on photographs.
TEST(JpgReader, ThumbnailsFromReducedDecodesOfTheCorpus) {
    std::vector<std::filesystem::path> files;
    for (const char* root : {KIV_TEST_DATA, KIV_TEST_DATA "/../../samples"})
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root))
            if (entry.path().extension() == ".jpg" || entry.path().extension() == ".jpeg")
                files.push_back(entry.path());
    int reduced = 0;
    for (const bool fullColour : {false, true})
        for (const bool upright : {false, true}) {
            const auto choices = JpegChoices(fullColour, upright);
            for (const auto& file : files) {
                SCOPED_TRACE(file.string() + (fullColour ? ", full colour" : "") +
                             (upright ? ", upright" : ""));
                const CString path = Wide(file.string());
                ByteSource forThumbnail;
                ASSERT_EQ(forThumbnail.Open(path), S::ok);
                const DecodedPicture full = ReadJpgFile(path);
                const DecodedPicture small = DecodeJpgForThumbnail(forThumbnail, kCell);
                ASSERT_EQ(small.status, full.status);
                if (!full.ok()) continue;
                ASSERT_GE(small.rect.Width(), std::min(full.rect.Width(), int{kCell.cx}));
                ASSERT_GE(small.rect.Height(), std::min(full.rect.Height(), int{kCell.cy}));
                reduced += small.rect != full.rect;
                const Thumbnail averages = AveragedThumbnail(path), got = NearestThumbnail(small);
                const auto ours = MeanDifference(got, averages);
                const auto before = MeanDifference(NearestThumbnail(full), averages);
                for (int c = 0; c < 3; ++c) EXPECT_LE(ours[c], before[c] + 2.0) << "channel " << c;
                if (file.extension() != ".jpg") continue;
                CKivClipMediaObj record;
                record.m_strMediaFile = path;
                ASSERT_EQ(record.MakeExtInfo(), 1);
                EXPECT_EQ(Thumbnail(record.m_Icon.GetBits(), record.m_Icon.GetBits() + kCellBytes), got);
            }
        }
    EXPECT_GE(reduced, 4 * 15) << "files large enough to be reduced";
}

// The reduced decode is the library's own reduced decoding, through the colour path of the full decode, of
// data that ends early as of whole data; a picture to be turned a quarter covers the cell upright.
TEST(JpgReader, ReducedDecodes) {
    const Bytes colour = Gradient(400, 300, 3, 2), grey = Gradient(330, 230, 1, 1);
    const auto cut = [](const Bytes& file) { return Head(file, static_cast<long>(file.size() * 2 / 3)); };
    // clang-format off
    // file, full colour, reduction, whether its data ends early
    const std::tuple<const char*, Bytes, bool, unsigned, bool> cases[] = {
        {"colour, quantised: 400 / 4 >= 80, 300 / 4 >= 60", colour, false, 4, false},
        {"colour, full colour", colour, true, 4, false},
        {"colour, cut short", cut(colour), false, 4, true},
        {"grey: 230 / 4 < 60", grey, false, 2, false},
        {"grey, cut short, full colour", cut(grey), true, 2, true},
        {"twice the cell less a column: whole", Gradient(159, 120, 3, 2), false, 1, false}};
    // clang-format on
    for (const auto& [reason, file, fullColour, reduction, endsEarly] : cases) {
        SCOPED_TRACE(reason);
        const auto choices = JpegChoices(fullColour, false);
        ByteSource source(file.data(), file.size());
        const DecodedPicture got = DecodeJpgForThumbnail(source, kCell);
        ASSERT_EQ(got.status, S::ok);
        const unsigned rows = RowsAboveZeroRows(got.pixels.get(), got.rect);
        EXPECT_EQ(rows > 0, endsEarly);
        const ReadResult expected = ExpectedJpegPixels(file, rows * reduction, fullColour, reduction);
        ASSERT_EQ(got.rect, expected.rect);
        EXPECT_TRUE(std::equal(expected.pixels.begin(), expected.pixels.end(), got.pixels.get()));
    }
    // An EXIF block stating orientation 6 after the start of the data: upright, the picture is 300 x 400,
    // which covers the cell at a half but not at a quarter; its pixels are those of the stored picture at a
    // half (a cell of swapped sides asks for it), turned.
    Bytes turned = colour;
    turned.insert(turned.begin() + 2, kExifOrientation6.begin(), kExifOrientation6.end());
    turned.insert(turned.begin() + 2, {0xFF, 0xE1, 0, 30});  // an APP1 segment of 28 bytes
    const auto decode = [&](bool upright, CSize cell) {
        const auto choices = JpegChoices(false, upright);
        ByteSource source(turned.data(), turned.size());
        return DecodeJpgForThumbnail(source, cell);
    };
    const DecodedPicture upright = decode(true, kCell);
    DecodedPicture stored = decode(false, CSize(kCell.cy, kCell.cx));
    ASSERT_EQ(decode(false, kCell).rect, CRect(0, 0, 100, 75));
    ASSERT_EQ(upright.rect, CRect(0, 0, 150, 200));
    ASSERT_EQ(MakeUpright(stored, 6), S::ok);
    ASSERT_EQ(stored.rect, upright.rect);
    EXPECT_TRUE(std::equal(upright.pixels.get(), upright.pixels.get() + 150 * 200, stored.pixels.get()));
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
