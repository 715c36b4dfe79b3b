// The four writers: the bytes each format fixes, pixel order and run-length coding, region cutting, round
// trips through our readers and the JPEG library, and what a save promises the file system: a failed save
// (full disk, library error, read-only file) leaves the earlier file byte for byte and no temporary file; a
// successful one keeps the file's permissions and writes through symbolic links.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cmath>
#include <ctime>

#include "BmpBuilder.h"
#include "CoreTestSupport.h"
#include "JpegReference.h"

namespace fs = std::filesystem;

namespace {

struct Writer {
    const char* name;
    const char* extension;
    int (*save)(CString, DWORD*, CSize, CRect);
    Bytes start;  // the first bytes of every file it makes
};

const Writer kWriters[] = {
    {"BMP", "bmp", KivPictureSaveBMPFile, {'B', 'M'}},
    {"TGA", "tga", KivPictureSaveTGAFile, {64, 0, 2}},
    {"PCX", "pcx", KivPictureSavePCXFile, {10, 5, 1, 8}},
    {"JPEG", "jpg", KivPictureSaveJPGFile, {0xFF, 0xD8, 0xFF}},
};
const Writer& kBmp = kWriters[0];
const Writer& kTga = kWriters[1];
const Writer& kPcx = kWriters[2];
const Writer& kJpeg = kWriters[3];

// Distinct pixels and every kind of alpha: red = 3x + 1, green = 5y + 2, blue = x ^ y, alpha = 7x + 13y.
std::vector<DWORD> Distinct(int cx, int cy) {
    std::vector<DWORD> pixels;
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x)
            pixels.push_back(static_cast<DWORD>((7 * x + 13 * y) & 0xFF) << 24 |
                             static_cast<DWORD>((3 * x + 1) & 0xFF) << 16 |
                             static_cast<DWORD>((5 * y + 2) & 0xFF) << 8 |
                             static_cast<DWORD>((x ^ y) & 0xFF));
    return pixels;
}

std::string Name(const Writer& writer, const std::string& stem) {
    return stem + "." + writer.extension;
}

int Save(const Writer& writer, const std::string& path, std::vector<DWORD>& pixels, CSize size,
         CRect region) {
    return writer.save(Wide(path), pixels.data(), size, region);
}

// The file a save makes; empty when it failed.
Bytes SaveAndRead(const Writer& writer, std::vector<DWORD>& pixels, CSize size, CRect region) {
    ScratchFolder folder;
    const std::string path = folder.File(Name(writer, "p"));
    return Save(writer, path, pixels, size, region) == 1 ? ReadFileBytes(path) : Bytes();
}

// count bytes from from, or all from there on; empty when the file is shorter.
Bytes Part(const Bytes& bytes, size_t from, size_t count = 0) {
    if (!count) count = bytes.size() > from ? bytes.size() - from : 0;
    return from + count <= bytes.size() ? Bytes(bytes.begin() + from, bytes.begin() + from + count) : Bytes();
}

// A save of 16 x 16 distinct pixels, as the file-system tests make it.
int SaveWhole(const Writer& writer, const std::string& path) {
    auto pixels = Distinct(16, 16);
    return Save(writer, path, pixels, CSize(16, 16), CRect(0, 0, 16, 16));
}

Bytes OldContents() {
    Bytes old(300);
    for (size_t i = 0; i < old.size(); ++i) old[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return old;
}

unsigned Mode(const std::string& path) {
    struct stat facts {};
    return ::stat(path.c_str(), &facts) == 0 ? facts.st_mode & 07777 : ~0u;
}

bool StartsWith(const Bytes& bytes, const Bytes& start) {
    return bytes.size() >= start.size() && std::equal(start.begin(), start.end(), bytes.begin());
}

}  // namespace

// ---- The bytes each format fixes ----------------------------------------------------------------------

TEST(Writer, HeaderBytes) {
    // A 5 x 3 region at (2, 1) of a 9 x 6 buffer.
    auto pixels = Distinct(9, 6);
    const CRect region(2, 1, 7, 4);
    const std::time_t before = std::time(nullptr);
    const Bytes bmp = SaveAndRead(kBmp, pixels, CSize(9, 6), region);
    const Bytes tga = SaveAndRead(kTga, pixels, CSize(9, 6), region);
    const Bytes pcx = SaveAndRead(kPcx, pixels, CSize(9, 6), region);
    const std::time_t after = std::time(nullptr);

    // BMP: file size, reserved, data offset, header size, width, height (positive: bottom-up), one plane of
    // 32 bits, no compression, the image's bytes, the resolution given as the size in pixels, no palette.
    Bytes expected = {'B', 'M'};
    for (std::uint32_t v : {54u + 60, 0u, 54u, 40u, 5u, 3u}) PutU32(expected, v);
    PutU16(expected, 1);
    PutU16(expected, 32);
    for (std::uint32_t v : {0u, 60u, 5u, 3u, 0u, 0u}) PutU32(expected, v);
    EXPECT_EQ(bmp.size(), 54u + 60);
    EXPECT_EQ(Part(bmp, 0, 54), expected) << "BMP header";

    // TGA: an ID of 64 bytes, no colour map, uncompressed true colour, the region's corner as origin, its
    // size, 32 bits, rows from the top; the ID is the signature text and zeros. Then the pixels, the 64 x 48
    // stamp (2 + 12 288 bytes), the 495-byte extension area and the footer pointing at it.
    expected = {64, 0, 2, 0, 0, 0, 0, 0};
    for (unsigned v : {2u, 1u, 5u, 3u}) PutU16(expected, v);
    expected.push_back(32);
    expected.push_back(0x20);
    for (const char c : std::string("Kivlumen-32Bit-TrueColor-TGA")) expected.push_back(static_cast<BYTE>(c));
    expected.resize(18 + 64, 0);
    const size_t extension = 82 + 4 * 15 + 2 + 64 * 48 * 4;
    ASSERT_EQ(tga.size(), extension + 495 + 26);
    EXPECT_EQ(Part(tga, 0, 82), expected) << "TGA header and image ID";
    EXPECT_EQ(Part(tga, 82 + 60, 2), (Bytes{64, 48})) << "stamp size";
    expected.clear();
    PutU32(expected, static_cast<std::uint32_t>(extension));
    PutU32(expected, 0);
    for (const char c : std::string("TRUEVISION-XFILE.")) expected.push_back(static_cast<BYTE>(c));
    expected.push_back(0);
    EXPECT_EQ(Part(tga, tga.size() - 26, 26), expected) << "TGA footer";
    // Extension area: zero but for its size, the time of saving (month, day, year, hour, minute, second at
    // 367), the version letter (a space) and the stamp's offset.
    Bytes area = Part(tga, extension, 495);
    std::tm saved{};
    int* parts[] = {&saved.tm_mon,  &saved.tm_mday, &saved.tm_year,
                    &saved.tm_hour, &saved.tm_min,  &saved.tm_sec};
    for (int i = 0; i < 6; ++i) *parts[i] = static_cast<int>(FieldLE16(area, 367 + 2 * i));
    saved.tm_mon -= 1;
    saved.tm_year -= 1900;
    saved.tm_isdst = -1;
    EXPECT_GE(std::mktime(&saved), before);
    EXPECT_LE(std::mktime(&saved), after);
    std::fill(area.begin() + 367, area.begin() + 379, 0);
    expected.assign(495, 0);
    expected[0] = 495 & 0xFF;
    expected[1] = 495 >> 8;
    expected[469] = 0x20;
    expected[486] = 82 + 60;
    EXPECT_EQ(area, expected) << "TGA extension area";

    // PCX: maker 10, version 5, run-length coded, 8 bits in each of 3 planes, corner (0, 0) whatever the
    // region's, inclusive maxima, resolution as the size, bytes per line the width (odd, not rounded up).
    expected.assign(128, 0);
    const std::pair<int, int> fields[] = {{0, 10}, {1, 5},  {2, 1},  {3, 8},  {8, 4}, {10, 2},
                                          {12, 5}, {14, 3}, {65, 3}, {66, 5}, {68, 1}};
    for (const auto& [at, value] : fields) expected[at] = static_cast<BYTE>(value);
    EXPECT_EQ(Part(pcx, 0, 128), expected) << "PCX header";
}

// ---- Pixels ---------------------------------------------------------------------------------------------

TEST(Writer, PixelBytesAndOrder) {
    // Region (1, 1)-(3, 3) of a white 4 x 4 buffer.
    std::vector<DWORD> pixels(16, 0xFFFFFFFFu);
    pixels[5] = 0x00112233;
    pixels[6] = 0x80445566;
    pixels[9] = 0x7F778899;
    pixels[10] = 0x01AABBCC;
    const Bytes top = {0x33, 0x22, 0x11, 0x00, 0x66, 0x55, 0x44, 0x80};
    const Bytes bottom = {0x99, 0x88, 0x77, 0x7F, 0xCC, 0xBB, 0xAA, 0x01};
    const auto join = [](Bytes a, const Bytes& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const CRect region(1, 1, 3, 3);
    EXPECT_EQ(Part(SaveAndRead(kBmp, pixels, CSize(4, 4), region), 54, 16), join(bottom, top))
        << "BMP: bottom row first, blue green red alpha";
    EXPECT_EQ(Part(SaveAndRead(kTga, pixels, CSize(4, 4), region), 82, 16), join(top, bottom))
        << "TGA: top row first";
    // PCX: each row as a red, a green and a blue line; no alpha; 0xCC looks like a count and gets one.
    const Bytes pcx = SaveAndRead(kPcx, pixels, CSize(4, 4), region);
    EXPECT_EQ(Part(pcx, 128),
              (Bytes{0x11, 0x44, 0x22, 0x55, 0x33, 0x66, 0x77, 0xAA, 0x88, 0xBB, 0x99, 0xC1, 0xCC}));
}

// One row of grey puts the same line into all three planes; the alphas vary and never reach the file.
TEST(Writer, PcxPlaneLineCoding) {
    const struct {
        Bytes line;
        Bytes code;
        const char* reason;
    } cases[] = {
        {Bytes(100, 7), {0xFF, 0x07, 0xE5, 0x07}, "a run of 100 is split into 63 and 37"},
        {Bytes(64, 9), {0xFF, 0x09, 0x09}, "the longest run, then a single byte"},
        {{0xC0}, {0xC1, 0xC0}, "a single byte that looks like a count byte gets a count of 1"},
        {{0xBF}, {0xBF}, "the highest byte that stands for itself"},
        {{1, 2, 2, 3, 0xC7, 0xC7, 0xC7}, {0x01, 0xC2, 0x02, 0x03, 0xC3, 0xC7}, "literals and runs mixed"},
    };
    for (const auto& c : cases) {
        std::vector<DWORD> row;
        for (size_t i = 0; i < c.line.size(); ++i)
            row.push_back(static_cast<DWORD>(i * 37 & 0xFF) << 24 | c.line[i] * 0x010101u);
        const int width = static_cast<int>(row.size());
        const Bytes file = SaveAndRead(kPcx, row, CSize(width, 1), CRect(0, 0, width, 1));
        Bytes three;
        for (int plane = 0; plane < 3; ++plane) three.insert(three.end(), c.code.begin(), c.code.end());
        EXPECT_EQ(Part(file, 128), three) << c.reason;
    }
    // 4 x 2 of one grey: six lines of a run of 4, although all 24 bytes are equal.
    std::vector<DWORD> grey(8, 0xFF050505u);
    const Bytes file = SaveAndRead(kPcx, grey, CSize(4, 2), CRect(0, 0, 4, 2));
    EXPECT_EQ(Part(file, 128), (Bytes{0xC4, 5, 0xC4, 5, 0xC4, 5, 0xC4, 5, 0xC4, 5, 0xC4, 5}))
        << "no run crosses a line or a row";
}

// The stamp's pixel (i, j) is the region's (i W / 64, j H / 48): the sizes are chosen so that the product's
// single-precision steps add up exactly.
TEST(Writer, TgaPostageStampSamplesTheRegion) {
    for (const CSize size : {CSize(128, 96), CSize(16, 12), CSize(3, 96), CSize(200, 144), CSize(1, 3)}) {
        // The region sits at (1, 2) of a larger buffer, so the stamp must count from the region's corner.
        const int cx = size.cx + 3, cy = size.cy + 4;
        auto pixels = Distinct(cx, cy);
        const Bytes file = SaveAndRead(kTga, pixels, CSize(cx, cy), CRect(1, 2, 1 + size.cx, 2 + size.cy));
        const size_t stamp = 82 + 4 * static_cast<size_t>(size.cx) * size.cy + 2;
        ASSERT_GE(file.size(), stamp + 64 * 48 * 4) << size.cx;
        int wrong = 0;
        for (int j = 0; j < 48; ++j)
            for (int i = 0; i < 64; ++i) {
                const DWORD source =
                    pixels[static_cast<size_t>(2 + j * size.cy / 48) * cx + 1 + i * size.cx / 64];
                wrong += FieldLE32(file, stamp + 4 * (static_cast<size_t>(j) * 64 + i)) != source;
            }
        EXPECT_EQ(wrong, 0) << size.cx << " x " << size.cy;
    }
}

// Each lossless writer's region, read back by our dispatch: the cut region's size and pixels (a TGA at the
// region's position, alpha kept; BMP and PCX at (0, 0), alpha 255). Empty regions make no file.
TEST(Writer, RegionIsCutToTheBufferAndReadsBack) {
    const struct {
        CRect region;
        CRect cut;  // empty: the save fails
        const char* reason;
    } cases[] = {
        {CRect(-10, -10, 20, 20), CRect(0, 0, 16, 16), "past every side: the whole buffer"},
        {CRect(3, 2, 14, 11), CRect(3, 2, 14, 11), "inside, of odd width"},
        {CRect(12, 14, 40, 15), CRect(12, 14, 16, 15), "cut on the right"},
        {CRect(5, -3, 7, 2), CRect(5, 0, 7, 2), "cut at the top"},
        {CRect(16, 0, 20, 16), CRect(), "wholly to the right"},
        {CRect(-5, -5, 0, 0), CRect(), "wholly above and left"},
        {CRect(3, 3, 3, 9), CRect(), "no width"},
        {CRect(3, 3, 9, 3), CRect(), "no height"},
        {CRect(8, 8, 2, 2), CRect(), "right before left"},
    };
    for (const Writer& writer : kWriters)
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(writer.name) + ": " + c.reason);
            ScratchFolder folder;
            const std::string path = folder.File(Name(writer, "c"));
            auto pixels = Distinct(16, 16);
            const int result = Save(writer, path, pixels, CSize(16, 16), c.region);
            if (c.cut.IsRectEmpty()) {
                EXPECT_EQ(result, 0);
                EXPECT_TRUE(fs::is_empty(folder.Path())) << "no file is made";
                continue;
            }
            ASSERT_EQ(result, 1);
            LoadedPicture back;
            back.pixels = KivPictureLoadPicFile(Wide(path), back.rect);
            ASSERT_NE(back.pixels, nullptr);
            const bool tga = &writer == &kTga;
            EXPECT_EQ(back.rect, tga ? c.cut : CRect(0, 0, c.cut.Width(), c.cut.Height()));
            if (&writer == &kJpeg) continue;
            int wrong = 0;
            for (int y = 0; y < c.cut.Height(); ++y)
                for (int x = 0; x < c.cut.Width(); ++x) {
                    const DWORD source = pixels[static_cast<size_t>(c.cut.top + y) * 16 + c.cut.left + x];
                    wrong += back.At(x, y) != (tga ? source : source | 0xFF000000u);
                }
            EXPECT_EQ(wrong, 0);
        }
}

// One baseline frame of quality 30: the standard tables scaled by 5000 / 30 = 166 percent, rounded. Decoded
// by the JPEG library, ramps of 5 to 7 levels per pixel keep their DC and first AC terms and lose higher
// ones, about 2 to 3.5 levels per channel on average; a swapped channel, a shifted row, a wrong region or
// alpha mixed in costs tens of levels.
TEST(Writer, JpegIsBaselineOfQuality30WithinItsLoss) {
    std::vector<DWORD> pixels;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 48; ++x)
            pixels.push_back(static_cast<DWORD>(x * 3 + y) << 24 | static_cast<DWORD>(x * 255 / 47) << 16 |
                             static_cast<DWORD>(y * 255 / 39) << 8 | static_cast<DWORD>((x + y) * 255 / 85));
    const CRect region(4, 6, 44, 38);
    ScratchFolder folder;
    ASSERT_EQ(Save(kJpeg, folder.File("g.jpg"), pixels, CSize(48, 40), region), 1);
    const Bytes file = ReadFileBytes(folder.File("g.jpg"));
    std::vector<int> frames;
    std::vector<std::vector<int>> tables(4);
    for (size_t at = 2; at + 4 <= file.size() && file[at] == 0xFF;) {
        const int marker = file[at + 1];
        const size_t length = static_cast<size_t>(file[at + 2]) << 8 | file[at + 3];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            frames.push_back(marker);
        for (size_t t = at + 4; marker == 0xDB && t + 65 <= at + 2 + length; t += 65)  // 8-bit tables
            tables[file[t] & 3].assign(file.begin() + t + 1, file.begin() + t + 65);
        if (marker == 0xDA) break;
        at += 2 + length;
    }
    EXPECT_EQ(frames, std::vector<int>{0xC0});
    ASSERT_EQ(tables[0].size() + tables[1].size(), 128u);
    EXPECT_EQ(tables[0][0], 27) << "luminance DC: 16 x 1.66";
    EXPECT_EQ(tables[0][1], 18) << "luminance first AC: 11 x 1.66";
    EXPECT_EQ(tables[1][0], 28) << "chrominance DC: 17 x 1.66";

    const JpegReference decoded = DecodeWithLibjpeg(folder.File("g.jpg"), JpegReferenceMode::plain);
    ASSERT_TRUE(decoded.ok);
    ASSERT_EQ(decoded.width, 40u);
    ASSERT_EQ(decoded.height, 32u);
    ASSERT_EQ(decoded.components, 3);
    double error[3] = {0, 0, 0};
    int worst = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 40; ++x) {
            const DWORD source = pixels[static_cast<size_t>(region.top + y) * 48 + region.left + x];
            for (int c = 0; c < 3; ++c) {
                const int difference = std::abs(decoded.samples[(static_cast<size_t>(y) * 40 + x) * 3 + c] -
                                                static_cast<int>(source >> (16 - 8 * c) & 0xFF));
                error[c] += difference;
                worst = std::max(worst, difference);
            }
        }
    for (int c = 0; c < 3; ++c) EXPECT_LT(error[c] / (40 * 32), 6.0) << "mean error of channel " << c;
    EXPECT_LT(worst, 24);
}

// ---- The file system ------------------------------------------------------------------------------------

// A full disk, made by a file-size limit in a child process (SIGXFSZ ignored, so a write past it fails with
// EFBIG): the save returns 0, the old file keeps every byte and the temporary file is gone.
TEST(Writer, FullDiskLeavesTheOldFileAsItWas) {
    for (const Writer& writer : kWriters) {
        ScratchFolder reference;
        ASSERT_EQ(SaveWhole(writer, reference.File(Name(writer, "whole"))), 1);
        const rlim_t whole = fs::file_size(reference.File(Name(writer, "whole")));
        ASSERT_GT(whole, 200u) << writer.name;
        for (const rlim_t limit : {rlim_t{0}, rlim_t{200}, whole - 1, whole}) {
            SCOPED_TRACE(std::string(writer.name) + ", limit " + std::to_string(limit));
            ScratchFolder folder;
            const std::string path = folder.File(Name(writer, "kept"));
            WriteFileBytes(path, OldContents());
            const int result = InChild([&] {
                signal(SIGXFSZ, SIG_IGN);
                const rlimit bound{limit, limit};
                return setrlimit(RLIMIT_FSIZE, &bound) == 0 ? SaveWhole(writer, path) : 100;
            });
            EXPECT_EQ(result, limit == whole ? 1 : 0) << "only a file that fits is saved";
            EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{Name(writer, "kept")});
            if (limit == whole)
                EXPECT_TRUE(StartsWith(ReadFileBytes(path), writer.start));
            else
                EXPECT_EQ(ReadFileBytes(path), OldContents())
                    << "the last byte too must be written before the rename";
        }
    }
}

// A picture wider than the JPEG library's 65 500 columns: its fatal error must come back as 0.
TEST(Writer, JpegLibraryErrorLeavesTheOldFile) {
    ScratchFolder folder;
    const std::string path = folder.File("wide.jpg");
    WriteFileBytes(path, OldContents());
    std::vector<DWORD> pixels(65501, 0xFF808080u);
    EXPECT_EQ(Save(kJpeg, path, pixels, CSize(65501, 1), CRect(0, 0, 65501, 1)), 0);
    EXPECT_EQ(ReadFileBytes(path), OldContents());
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"wide.jpg"});
}

// A replaced file keeps its permissions, even wider ones than new files get; a link is written through to the
// file it names (the temporary file made beside that file), also along a chain of links to a file not yet
// there; links stay links.
TEST(Writer, ReplacementKeepsPermissionsAndLinks) {
    for (const Writer& writer : kWriters) {
        SCOPED_TRACE(writer.name);
        ScratchFolder folder;
        fs::create_directory(folder.Path() / "real");
        for (const auto& [name, mode] : {std::pair{"plain", 0666u}, {"real/picture", 0604u}}) {
            WriteFileBytes(folder.File(name), Bytes(5000, 0xAB));
            ASSERT_EQ(::chmod(folder.File(name).c_str(), mode), 0);
        }
        fs::create_symlink("real/picture", folder.File("link"));
        fs::create_symlink("real/new", folder.File("second"));
        fs::create_symlink("second", folder.File("first"));
        for (const char* name : {"plain", "link", "first"})
            ASSERT_EQ(SaveWhole(writer, folder.File(name)), 1) << name;
        for (const char* name : {"plain", "real/picture", "real/new"}) {
            const Bytes written = ReadFileBytes(folder.File(name));
            EXPECT_TRUE(StartsWith(written, writer.start) && written.size() != 5000u) << name;
        }
        EXPECT_EQ(Mode(folder.File("plain")), 0666u);
        EXPECT_EQ(Mode(folder.File("real/picture")), 0604u);
        EXPECT_EQ(fs::read_symlink(folder.File("link")), "real/picture");
        EXPECT_EQ(fs::read_symlink(folder.File("first")), "second");
        EXPECT_EQ(FolderEntries(folder.Path()),
                  (std::vector<std::string>{"first", "link", "plain", "real", "second"}));
        EXPECT_EQ(FolderEntries(folder.Path() / "real"), (std::vector<std::string>{"new", "picture"}));
    }
}

// Refused saves change nothing: a folder is never replaced, a missing folder or buffer makes no file, and a
// file the user may not write stays as it is although the folder would let a new file take its name (the save
// runs in a child that gives up root's right to write anything).
TEST(Writer, RefusedSavesLeaveEverythingAsItWas) {
    for (const Writer& writer : kWriters) {
        ScratchFolder folder;
        fs::permissions(folder.Path(), fs::perms::all);
        fs::create_directory(folder.Path() / "folder.x");
        WriteFileBytes(folder.File("locked"), OldContents());
        ASSERT_EQ(::chmod(folder.File("locked").c_str(), 0444), 0);
        EXPECT_EQ(SaveWhole(writer, folder.File("folder.x")), 0) << writer.name;
        EXPECT_EQ(SaveWhole(writer, folder.File("missing/x")), 0) << writer.name;
        EXPECT_EQ(writer.save(Wide(folder.File("x")), nullptr, CSize(2, 2), CRect(0, 0, 2, 2)), 0)
            << writer.name;
        EXPECT_EQ(InChild([&] { return ActAsNobody() ? SaveWhole(writer, folder.File("locked")) : 100; }), 0)
            << writer.name;
        EXPECT_EQ(ReadFileBytes(folder.File("locked")), OldContents()) << writer.name;
        EXPECT_EQ(Mode(folder.File("locked")), 0444u) << writer.name;
        EXPECT_EQ(FolderEntries(folder.Path()), (std::vector<std::string>{"folder.x", "locked"}))
            << writer.name;
    }
}
