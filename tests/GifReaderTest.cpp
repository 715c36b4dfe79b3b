// The GIF reader on files built byte by byte: colour tables, the last image, interlaced rows, hand-written
// LZW code streams, the block walk and its failures. Expected pixels are worked out by hand from the
// reader's rules: every pixel opaque, the image's own size, the last image only.

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "GifEncoder.h"
#include "readers/Readers.h"

using namespace giftest;

namespace {

using S = KivLoadStatus;

// Four colours stored as 0xRRGGBB and read back with alpha 255.
const std::vector<std::uint32_t> kFour = {0x102030, 0x405060, 0x708090, 0xA0B0C0};
constexpr DWORD kC0 = 0xFF102030, kC1 = 0xFF405060, kC2 = 0xFF708090, kC3 = 0xFFA0B0C0;
constexpr DWORD kBlack = 0xFF000000;  // a colour no table defines
constexpr DWORD kNever = 0;           // a pixel no row delivery wrote

// Sixteen distinct colours, entry i read back as Sixteen(i).
std::vector<std::uint32_t> SixteenTable() {
    std::vector<std::uint32_t> table;
    for (unsigned i = 0; i < 16; ++i) table.push_back(i * 0x100000u + 0x0800u + (0xF0u - i * 0x0Fu));
    return table;
}
DWORD Sixteen(unsigned i) {
    return 0xFF000000u | (i * 0x100000u + 0x0800u + (0xF0u - i * 0x0Fu));
}

struct Decoded {
    KivLoadStatus status = S::ok;
    CRect rect;
    std::vector<DWORD> pixels;
};

Decoded Load(const Bytes& file) {
    ScratchFolder folder;
    DecodedPicture picture = ReadGifFile(folder.Write("picture.gif", file));
    Decoded got;
    got.status = picture.ok() ? S::ok : picture.status;
    if (!picture.ok()) return got;
    got.rect = picture.rect;
    const DWORD* pixels = picture.pixels.get();
    got.pixels.assign(pixels, pixels + static_cast<size_t>(picture.rect.Width()) * picture.rect.Height());
    return got;
}

GifImage Image(unsigned width, unsigned height, const Indices& indices, unsigned minCodeSize = 2) {
    GifImage image;
    image.width = width;
    image.height = height;
    image.minCodeSize = minCodeSize;
    image.data = LzwEncode(indices, minCodeSize);
    return image;
}

GifImage CodedImage(unsigned width, unsigned height, const std::vector<Code>& codes,
                    unsigned minCodeSize = 2) {
    GifImage image = Image(width, height, {}, minCodeSize);
    image.data = PackCodes(codes);
    return image;
}

Bytes OneImage(const GifImage& image, const std::vector<std::uint32_t>& global = kFour) {
    return GifBuilder(global).Image(image).Trailer().Build();
}

void ExpectPixels(const Decoded& got, unsigned width, unsigned height, const std::vector<DWORD>& expected,
                  const std::string& reason) {
    ASSERT_EQ(got.status, S::ok) << reason << ": " << KivLoadStatusText(got.status);
    ASSERT_EQ(got.rect, CRect(0, 0, static_cast<int>(width), static_cast<int>(height))) << reason;
    ASSERT_EQ(got.pixels.size(), expected.size()) << reason;
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(got.pixels[i], expected[i])
            << reason << ": pixel (" << i % width << ", " << i / width << ")";
}

struct PixelCase {
    const char* reason;
    Bytes file;
    unsigned width, height;
    std::vector<DWORD> expected;  // rows top to bottom
};

void RunPixelCases(const std::vector<PixelCase>& cases) {
    for (const PixelCase& c : cases) ExpectPixels(Load(c.file), c.width, c.height, c.expected, c.reason);
}

}  // namespace

TEST(GifReader, ColorTables) {
    GifImage local = Image(2, 1, {0, 1});
    local.localTable = {0x0000FF, 0x00FF00};
    GifImage localAgain = local;
    GifImage noTable = Image(2, 1, {0, 1});
    GifImage pastTheTable = Image(3, 1, {1, 2, 3});
    RunPixelCases({
        {"the global table: red, green, blue bytes",
         OneImage(Image(2, 2, {0, 1, 2, 3})),
         2,
         2,
         {kC0, kC1, kC2, kC3}},
        {"a local table overrides the global one", OneImage(local), 2, 1, {0xFF0000FF, 0xFF00FF00}},
        {"an image without a local table takes the global table, not the local table of the image before",
         GifBuilder(kFour).Image(localAgain).Image(noTable).Trailer().Build(),
         2,
         1,
         {kC0, kC1}},
        {"no table at all: every index is opaque black", OneImage(noTable, {}), 2, 1, {kBlack, kBlack}},
        {"no global table and no local table in the last image: opaque black, not the first image's colours",
         GifBuilder().Image(local).Image(noTable).Trailer().Build(),
         2,
         1,
         {kBlack, kBlack}},
        {"indices past a two-entry table are opaque black",
         OneImage(pastTheTable, {0x112233, 0x445566}),
         3,
         1,
         {0xFF445566, kBlack, kBlack}},
        {"a transparent index is still opaque",
         GifBuilder(kFour).Transparent(1).Image(Image(2, 1, {0, 1})).Trailer().Build(),
         2,
         1,
         {kC0, kC1}},
    });
}

TEST(GifReader, Gif87aAndGif89aGiveTheSamePixels) {
    const GifImage image = Image(3, 2, {3, 2, 1, 0, 1, 2});
    const Decoded old = Load(GifBuilder(kFour, "GIF87a").Image(image).Trailer().Build());
    const Decoded current = Load(GifBuilder(kFour, "GIF89a").Image(image).Trailer().Build());
    ExpectPixels(old, 3, 2, {kC3, kC2, kC1, kC0, kC1, kC2}, "GIF87a");
    ExpectPixels(current, 3, 2, old.pixels, "GIF89a");
}

TEST(GifReader, PictureIsTheLastImageAtItsOwnSize) {
    GifImage placed = Image(2, 2, {1, 1, 2, 2});
    placed.left = 10;
    placed.top = 20;
    RunPixelCases({
        {"an image at (10, 20) on a 64 x 64 screen: the image's size at (0, 0)",
         GifBuilder(kFour, "GIF89a", 64, 64).Image(placed).Trailer().Build(),
         2,
         2,
         {kC1, kC1, kC2, kC2}},
        {"two images: the second one's picture and size",
         GifBuilder(kFour, "GIF89a", 8, 8).Image(Image(3, 1, {3, 3, 3})).Image(placed).Trailer().Build(),
         2,
         2,
         {kC1, kC1, kC2, kC2}},
    });
}

TEST(GifReader, RowsTheDataDoesNotReachStayTransparentBlack) {
    RunPixelCases({
        {"the end code after two of four rows",
         OneImage(Image(2, 4, {1, 2, 3, 1})),
         2,
         4,
         {kC1, kC2, kC3, kC1, kNever, kNever, kNever, kNever}},
        {"a row begun but not completed is not delivered",
         OneImage(Image(2, 2, {1, 2, 3})),
         2,
         2,
         {kC1, kC2, kNever, kNever}},
    });
}

TEST(GifReader, InterlacedRowsGoToTheirPlaces) {
    // A 1 x 16 picture whose row r has colour r, stored in the four passes.
    Indices topDown;
    for (std::uint8_t r = 0; r < 16; ++r) topDown.push_back(r);
    GifImage interlaced = Image(1, 16, InterlacedOrder(topDown, 1, 16), 4);
    interlaced.interlaced = true;
    std::vector<DWORD> rows;
    for (unsigned r = 0; r < 16; ++r) rows.push_back(Sixteen(r));
    ExpectPixels(Load(OneImage(interlaced, SixteenTable())), 1, 16, rows, "interlaced 1 x 16");
    ExpectPixels(Load(OneImage(Image(1, 16, topDown, 4), SixteenTable())), 1, 16, rows,
                 "the same not interlaced");

    // The stream's k-th row lands on the k-th row of the pass order, whatever the height.
    const struct {
        unsigned height;
        std::vector<unsigned> order;  // the picture row of each stored row
        const char* reason;
    } cases[] = {
        {16, {0, 8, 4, 12, 2, 6, 10, 14, 1, 3, 5, 7, 9, 11, 13, 15}, "16 rows: the four passes"},
        {5, {0, 4, 2, 1, 3}, "5 rows: each pass starts inside the picture"},
        {3, {0, 2, 1}, "3 rows: the pass starting at row 4 is skipped"},
        {2, {0, 1}, "2 rows: the passes from rows 4 and 2 are skipped"},
        {1, {0}, "1 row: only the first pass"},
    };
    for (const auto& c : cases) {
        Indices stored;
        for (unsigned k = 0; k < c.height; ++k) stored.push_back(static_cast<std::uint8_t>(k));
        GifImage image = Image(1, c.height, stored, 4);
        image.interlaced = true;
        std::vector<DWORD> expected(c.height);
        for (unsigned k = 0; k < c.height; ++k) expected[c.order[k]] = Sixteen(k);
        ExpectPixels(Load(OneImage(image, SixteenTable())), 1, c.height, expected, c.reason);
    }
}

TEST(GifReader, HandWrittenCodeStreams) {
    // Minimum code size 2: clear 4, end 5, first free code 6; 3-bit codes until the decoder's table
    // reaches code 8, then 4 bits.
    const std::vector<std::uint32_t> sixteen = SixteenTable();
    const auto coded = [&](unsigned width, unsigned height, const std::vector<Code>& codes) {
        return OneImage(CodedImage(width, height, codes), sixteen);
    };
    const DWORD c0 = Sixteen(0), c1 = Sixteen(1), c2 = Sixteen(2), c3 = Sixteen(3);
    RunPixelCases({
        {"a code equal to the next free slot is the old string plus its own first character",
         coded(7, 1, {{4, 3}, {1, 3}, {2, 3}, {6, 3}, {8, 4}, {5, 4}}),
         7,
         1,
         {c1, c2, c1, c2, c1, c2, c1}},
        {"a code past the next free slot is taken like the next free slot",
         coded(3, 1, {{4, 3}, {1, 3}, {7, 3}, {5, 3}}),
         3,
         1,
         {c1, c1, c1}},
        {"after a clear code, a code at or past the next free slot is index 0",
         coded(1, 1, {{4, 3}, {7, 3}, {5, 3}}),
         1,
         1,
         {c0}},
        {"repeated clear codes are skipped",
         coded(1, 1, {{4, 3}, {4, 3}, {4, 3}, {3, 3}, {5, 3}}),
         1,
         1,
         {c3}},
        {"a clear code brings the code width back to 3 bits",
         coded(5, 1, {{4, 3}, {1, 3}, {2, 3}, {6, 3}, {4, 4}, {3, 3}, {5, 3}}),
         5,
         1,
         {c1, c2, c1, c2, c3}},
        {"the end code right after a clear code: nothing delivered",
         coded(2, 1, {{4, 3}, {5, 3}}),
         2,
         1,
         {kNever, kNever}},
        {"without a clear code first, the first code makes no table entry: code 6 is then 1, 2",
         coded(4, 1, {{1, 3}, {2, 3}, {6, 3}, {5, 4}}),
         4,
         1,
         {c1, c2, c1, c2}},
        {"data that ends without an end code keeps the rows it completed",
         coded(3, 2, {{4, 3}, {1, 3}, {2, 3}, {1, 3}, {3, 4}}),
         3,
         2,
         {c1, c2, c1, kNever, kNever, kNever}},
    });
    EXPECT_EQ(Load(coded(16, 16, {{4, 3}, {0, 3}, {7, 3}, {1, 3}, {7, 4}, {5, 4}})).status, S::corrupt)
        << "code 7 past the free slot and then code 1 make entry 7 its own prefix: unwinding it must stop";

    // Minimum code size 9: clear 512, end 513, 10-bit codes. The string stack holds bytes, so root code
    // 511 is index 255 and root code 256 is index 0.
    std::vector<std::uint32_t> table(256, 0x000000);
    table[0] = 0x0A0B0C;
    table[255] = 0xF0E0D0;
    ExpectPixels(Load(OneImage(CodedImage(2, 1, {{512, 10}, {511, 10}, {256, 10}, {513, 10}}, 9), table)), 2,
                 1, {0xFFF0E0D0, 0xFF0A0B0C}, "root codes above 255");
}

TEST(GifReader, FullTablesAndTwelveBitCodes) {
    // Random indices fill the 4096-code table many times over; the encoder either clears it or goes on
    // with the full table, and code widths reach 12 bits either way.
    std::mt19937 random(7);
    for (const unsigned minCodeSize : {2u, 4u, 8u}) {
        for (const bool clearWhenFull : {true, false}) {
            const unsigned width = 300, height = 200;
            Indices indices(width * height);
            std::vector<DWORD> expected(indices.size());
            std::vector<std::uint32_t> table;
            for (unsigned i = 0; i < (1u << minCodeSize); ++i) table.push_back(i * 0x010101u);
            for (size_t i = 0; i < indices.size(); ++i) {
                // Runs of a few repeats give the table long strings as well as short ones.
                indices[i] = (i % 3 == 0) ? static_cast<std::uint8_t>(random() & ((1u << minCodeSize) - 1))
                                          : indices[i - 1];
                expected[i] = 0xFF000000u | indices[i] * 0x010101u;
            }
            GifImage image = Image(width, height, indices, minCodeSize);
            image.data = LzwEncode(indices, minCodeSize, clearWhenFull);
            ExpectPixels(Load(OneImage(image, table)), width, height, expected,
                         "minimum code size " + std::to_string(minCodeSize) +
                             (clearWhenFull ? ", cleared when full" : ", full table kept"));
        }
    }
}

TEST(GifReader, ExtensionsAreSkipped) {
    const Bytes file =
        GifBuilder(kFour)
            .Extension(0xFE, {{'h', 'i'}, Bytes(255, 'x')})  // comment
            .Extension(0xFF, {{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'}, {1, 0, 0}})
            .Extension(0x01, {Bytes(12, 0), {'t', 'e', 'x', 't'}})  // plain text
            .Extension(0x99, {})                                    // unknown
            .Extension(0xF9, {{0, 0, 0, 0}, {7, 7}})                // graphic control with a second sub-block
            .Image(Image(2, 1, {2, 3}))
            .Trailer()
            .Build();
    ExpectPixels(Load(file), 2, 1, {kC2, kC3}, "comment, application, plain text, unknown, graphic control");
}

TEST(GifReader, WhereTheBlockWalkEnds) {
    const GifImage first = Image(2, 1, {1, 2});
    const GifImage second = Image(1, 1, {3});
    const Bytes afterFirst = GifBuilder(kFour).Image(first).Build();
    const auto then = [&](const Bytes& more) { return GifBuilder::Continuing(afterFirst).Raw(more); };
    const Bytes secondImage = GifBuilder::Continuing({}).Image(second).Trailer().Build();
    const Bytes firstCutAfterEndCode = GifBuilder(kFour)
                                           .Raw({0x2C, 0, 0, 0, 0, 2, 0, 1, 0, 0, 2})
                                           .Raw({static_cast<std::uint8_t>(first.data.size())})
                                           .Raw(first.data)
                                           .Build();
    // Each file holds the first image and ends the walk after it, before the second image if it has one.
    const struct {
        const char* reason;
        Bytes file;
    } firstImageKept[] = {
        {"bytes after the trailer are not read", then({0x3B}).Raw(secondImage).Build()},
        {"an unknown introducer ends the walk like the trailer", then({0x00}).Raw(secondImage).Build()},
        {"a file ending after the image data, without a trailer", afterFirst},
        {"a file ending inside an extension after the image", then({0x21, 0xFE, 10, 'a', 'b'}).Build()},
        {"a file ending after the end code, before the data's zero count", firstCutAfterEndCode},
        {"a graphic control block of 3 bytes ends the walk (read on, the zero count after the 4 bytes taken "
         "would lead to the second image)",
         then({0x21, 0xF9, 3, 0, 0, 0, 0, 0}).Raw(secondImage).Build()},
    };
    for (const auto& c : firstImageKept) ExpectPixels(Load(c.file), 2, 1, {kC1, kC2}, c.reason);

    // The end code in the middle of the first of two sub-blocks: the rest is skipped up to the zero count.
    GifImage endEarly = first;
    endEarly.data.resize(255 + 10, 0x55);
    ExpectPixels(Load(GifBuilder(kFour).Image(endEarly).Raw(secondImage).Build()), 1, 1, {kC3},
                 "the image after data that goes on past the end code");
}

TEST(GifReader, RefusedFiles) {
    const GifImage good = Image(2, 2, {0, 1, 2, 3});
    const Bytes header = GifBuilder(kFour).Build();
    GifImage codeSize1 = good, codeSize10 = good;
    codeSize1.minCodeSize = 1;
    codeSize10.minCodeSize = 10;
    GifImage zeroWidth = good, zeroHeight = good, huge = good;
    zeroWidth.width = 0;
    zeroHeight.height = 0;
    huge.width = huge.height = 65535;
    GifImage cut = Image(64, 64, Indices(64 * 64, 1));
    Bytes cutFile = OneImage(cut);
    cutFile.resize(cutFile.size() - 6);
    GifImage withLocal = good;
    withLocal.localTable = kFour;
    Bytes cutLocal = OneImage(withLocal);
    cutLocal.resize(header.size() + 10 + 5);
    const Bytes descriptor = {0x2C, 0, 0, 0, 0, 2, 0, 2, 0, 0};

    const struct {
        const char* reason;
        Bytes file;
        S expected;
    } cases[] = {
        {"an empty file", {}, S::notThisFormat},
        {"GIF9 is not the signature",
         {'G', 'I', 'F', '9', '8', 'a', 1, 0, 1, 0, 0, 0, 0, 0x3B},
         S::notThisFormat},
        {"a bitmap", {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, S::notThisFormat},
        {"the screen descriptor cut short", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80}, S::truncated},
        {"the global table cut short", Bytes(header.begin(), header.end() - 1), S::truncated},
        {"the image descriptor cut short", GifBuilder(kFour).Raw({0x2C, 0, 0, 0, 0, 2}).Build(),
         S::truncated},
        {"the local table cut short", cutLocal, S::truncated},
        {"no minimum code size", GifBuilder(kFour).Raw(descriptor).Build(), S::truncated},
        {"the file ends inside the image data", cutFile, S::truncated},
        {"minimum code size 1", OneImage(codeSize1), S::corrupt},
        {"minimum code size 10", OneImage(codeSize10), S::corrupt},
        {"more rows of data than the picture has", OneImage(Image(2, 2, {0, 1, 2, 3, 0, 1})), S::corrupt},
        {"width 0", OneImage(zeroWidth), S::corrupt},
        {"height 0", OneImage(zeroHeight), S::corrupt},
        {"65535 x 65535 pixels do not fit in 4 GiB", OneImage(huge), S::tooLarge},
        {"no image, only the trailer", GifBuilder(kFour).Trailer().Build(), S::corrupt},
        {"a graphic control block of 5 bytes ends the walk before the only image (read on, the fifth byte "
         "would end it and the image follow)",
         GifBuilder(kFour).Raw({0x21, 0xF9, 5, 0, 0, 0, 0, 0}).Image(good).Trailer().Build(), S::corrupt},
        {"a failed last image fails the file though an earlier one decoded",
         GifBuilder(kFour).Image(good).Image(codeSize1).Trailer().Build(), S::corrupt},
        {"a failed earlier image fails the file though the last one decodes",
         GifBuilder(kFour).Image(codeSize10).Image(good).Trailer().Build(), S::corrupt},
    };
    for (const auto& c : cases) EXPECT_EQ(Load(c.file).status, c.expected) << c.reason;
}

TEST(GifReader, ExportedReader) {
    ScratchFolder folder;
    CRect rect(1, 2, 3, 4);
    DWORD* pixels = KivPictureLoadGIFFile(folder.Write("good.gif", OneImage(Image(2, 1, {3, 0}))), rect);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(rect, CRect(0, 0, 2, 1));
    EXPECT_EQ(pixels[0], kC3);
    EXPECT_EQ(pixels[1], kC0);
    GlobalFree(pixels);

    rect = CRect(1, 2, 3, 4);
    EXPECT_EQ(KivPictureLoadGIFFile(folder.Write("bad.gif", {'G', 'I', 'F', '8'}), rect), nullptr);
    EXPECT_EQ(rect, CRect(1, 2, 3, 4)) << "the rectangle is written only on success";
    EXPECT_EQ(ReadGifFile(Wide(folder.File("missing.gif"))).status, S::fileNotFound);
}
