// The four writers: the bytes each format fixes, region cutting, round trips through our readers and peers,
// and the file system: a failed save changes nothing, a good one keeps what the replaced file had.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/xattr.h>

#include <sstream>

#include "BmpBuilder.h"
#include "CoreTestSupport.h"

namespace fs = std::filesystem;

namespace {

// What a peer must see of the alpha; a 32-bit BMP's fourth byte is unnamed, and peers disagree on it.
enum class Alpha { kept, opaque, unknown };

struct Writer {
    const char* name;
    const char* extension;
    int (*save)(CString, DWORD*, CSize, CRect);
    Bytes start;  // the first bytes of every file it makes
    Alpha alpha;
};

const Writer kWriters[] = {
    {"BMP", "bmp", KivPictureSaveBMPFile, {'B', 'M'}, Alpha::unknown},
    {"TGA", "tga", KivPictureSaveTGAFile, {64, 0, 2}, Alpha::kept},
    {"PCX", "pcx", KivPictureSavePCXFile, {10, 5, 1, 8}, Alpha::opaque},
    {"JPEG", "jpg", KivPictureSaveJPGFile, {0xFF, 0xD8, 0xFF}, Alpha::opaque},
};
const Writer &kBmp = kWriters[0], &kTga = kWriters[1], &kPcx = kWriters[2], &kJpeg = kWriters[3];

DWORD Argb(int a, int r, int g, int b) {
    return DWORD(a & 0xFF) << 24 | DWORD(r & 0xFF) << 16 | DWORD(g & 0xFF) << 8 | DWORD(b & 0xFF);
}

// Distinct pixels and every kind of alpha: red = 3x + 1, green = 5y + 2, blue = x ^ y, alpha = 7x + 13y. Or,
// for the lossy writer, ramps of 5 to 7 levels per pixel.
std::vector<DWORD> Distinct(int cx, int cy, bool ramps = false) {
    std::vector<DWORD> pixels;
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x)
            pixels.push_back(
                ramps ? Argb(x * 3 + y, x * 255 / (cx - 1), y * 255 / (cy - 1), (x + y) * 255 / (cx + cy - 2))
                      : Argb(7 * x + 13 * y, 3 * x + 1, 5 * y + 2, x ^ y));
    return pixels;
}

int Save(const Writer& writer, const std::string& path, std::vector<DWORD>& pixels, CSize size,
         CRect region) {
    return writer.save(Wide(path), pixels.data(), size, region);
}

// The file a save makes; empty when it failed.
Bytes SaveAndRead(const Writer& writer, std::vector<DWORD>& pixels, CSize size, CRect region) {
    ScratchFolder folder;
    const std::string path = folder.File(std::string("p.") + writer.extension);
    return Save(writer, path, pixels, size, region) == 1 ? ReadFileBytes(path) : Bytes();
}

// count bytes from from, or all from there on; empty when the file is shorter.
Bytes Part(const Bytes& bytes, size_t from, size_t count = 0) {
    if (!count) count = bytes.size() > from ? bytes.size() - from : 0;
    return from + count <= bytes.size() ? Bytes(bytes.begin() + from, bytes.begin() + from + count) : Bytes();
}

void Put(Bytes& bytes, const std::string& text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
}

int SaveWhole(const Writer& writer, const std::string& path) {
    auto pixels = Distinct(16, 16);
    return Save(writer, path, pixels, CSize(16, 16), CRect(0, 0, 16, 16));
}

const Bytes kOld(300, 0x5C);  // an earlier file

unsigned Mode(const std::string& path) {
    return static_cast<unsigned>(fs::status(path).permissions() & fs::perms::mask);
}

}  // namespace

TEST(Writer, HeaderBytes) {
    auto pixels = Distinct(9, 6);
    const CRect region(2, 1, 7, 4);  // 5 x 3 at (2, 1)
    const Bytes bmp = SaveAndRead(kBmp, pixels, CSize(9, 6), region);
    const Bytes tga = SaveAndRead(kTga, pixels, CSize(9, 6), region);
    const Bytes pcx = SaveAndRead(kPcx, pixels, CSize(9, 6), region);

    // BMP: file size, reserved, data offset, header size, width, height (positive: bottom-up), one plane of
    // 32 bits, no compression, the image's bytes, the resolution given as the size in pixels, no palette.
    Bytes expected = {'B', 'M'};
    for (std::uint32_t v : {54u + 60, 0u, 54u, 40u, 5u, 3u, 0x200001u, 0u, 60u, 5u, 3u, 0u, 0u})
        PutU32(expected, v);
    EXPECT_EQ(Part(bmp, 0, 54), expected) << "BMP header";

    // TGA: an ID of 64 bytes, no colour map, uncompressed true colour, the region's corner as origin, its
    // size, 32 bits, rows from the top; the ID is the signature and zeros. Then the pixels, the 64 x 48
    // stamp (2 + 12 288 bytes), the 495-byte extension area (saving time) and the footer pointing at it.
    expected = {64, 0, 2, 0, 0, 0, 0, 0, 2, 0, 1, 0, 5, 0, 3, 0, 32, 0x20};
    Put(expected, "Kivlumen-32Bit-TrueColor-TGA");
    expected.resize(18 + 64, 0);
    const size_t extension = 82 + 4 * 15 + 2 + 64 * 48 * 4;
    ASSERT_EQ(tga.size(), extension + 495 + 26);
    EXPECT_EQ(Part(tga, 0, 82), expected) << "TGA header and image ID";
    EXPECT_EQ(Part(tga, 82 + 60, 2), (Bytes{64, 48})) << "stamp size";
    expected.clear();
    for (std::uint32_t v : {static_cast<std::uint32_t>(extension), 0u}) PutU32(expected, v);
    Put(expected, std::string("TRUEVISION-XFILE.", 18));
    EXPECT_EQ(Part(tga, tga.size() - 26, 26), expected) << "TGA footer";

    // PCX: maker 10, version 5, run-length coded, 8 bits in each of 3 planes, corner (0, 0) whatever the
    // region's, inclusive maxima, resolution as the size, bytes per line the width (odd, not rounded up).
    expected.assign(128, 0);
    const std::pair<int, int> fields[] = {{0, 10}, {1, 5},  {2, 1},  {3, 8},  {8, 4}, {10, 2},
                                          {12, 5}, {14, 3}, {65, 3}, {66, 5}, {68, 1}};
    for (const auto& [at, value] : fields) expected[at] = static_cast<BYTE>(value);
    EXPECT_EQ(Part(pcx, 0, 128), expected) << "PCX header";
}

// One baseline frame of quality 30: the standard tables scaled by 5000 / 30 = 166 percent, rounded.
TEST(Writer, JpegIsBaselineOfQuality30) {
    auto pixels = Distinct(48, 40, true);
    const Bytes file = SaveAndRead(kJpeg, pixels, CSize(48, 40), CRect(0, 0, 48, 40));
    std::vector<int> frames, tables[4];  // the frame markers and the 8-bit quantiser tables, up to the scan
    for (size_t at = 2, length = 0; at + 4 <= file.size() && file[at] == 0xFF && file[at + 1] != 0xDA;
         at += 2 + length) {
        const int marker = file[at + 1];
        length = static_cast<size_t>(file[at + 2]) << 8 | file[at + 3];
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            frames.push_back(marker);
        for (size_t t = at + 4; marker == 0xDB && t + 65 <= at + 2 + length; t += 65)
            tables[file[t] & 3].assign(file.begin() + t + 1, file.begin() + t + 65);
    }
    EXPECT_EQ(frames, std::vector<int>{0xC0});
    ASSERT_EQ(tables[0].size() + tables[1].size(), 128u);
    EXPECT_EQ((std::vector<int>{tables[0][0], tables[0][1], tables[1][0]}), (std::vector<int>{27, 18, 28}))
        << "luminance DC and first AC, chrominance DC: 16, 11 and 17 x 1.66";
}

// Region (1, 1)-(3, 3) of a white 4 x 4 buffer. BMP: rows from the bottom, blue, green, red, alpha. PCX: each
// row as a red, a green and a blue line, no alpha, and 0xCC, which looks like a count, gets one.
TEST(Writer, PixelBytesAndOrder) {
    std::vector<DWORD> pixels(16, 0xFFFFFFFFu);
    pixels[5] = 0x00112233, pixels[6] = 0x80445566, pixels[9] = 0x7F778899, pixels[10] = 0x01AABBCC;
    EXPECT_EQ(Part(SaveAndRead(kBmp, pixels, CSize(4, 4), CRect(1, 1, 3, 3)), 54),
              (Bytes{0x99, 0x88, 0x77, 0x7F, 0xCC, 0xBB, 0xAA, 0x01, 0x33, 0x22, 0x11, 0x00, 0x66, 0x55, 0x44,
                     0x80}));
    EXPECT_EQ(Part(SaveAndRead(kPcx, pixels, CSize(4, 4), CRect(1, 1, 3, 3)), 128),
              (Bytes{0x11, 0x44, 0x22, 0x55, 0x33, 0x66, 0x77, 0xAA, 0x88, 0xBB, 0x99, 0xC1, 0xCC}));
}

// One row of grey puts the same line into all three planes; the alphas vary and never reach the file.
TEST(Writer, PcxPlaneLineCoding) {
    // clang-format off
    const std::pair<Bytes, Bytes> cases[] = {
        {Bytes(100, 7), {0xFF, 0x07, 0xE5, 0x07}},  // a run of 100 is split into 63 and 37
        {Bytes(64, 9), {0xFF, 0x09, 0x09}},         // the longest run, then a single byte
        {{0xC0}, {0xC1, 0xC0}}, {{0xBF}, {0xBF}},   // a byte that looks like a count byte gets a count of 1
        {{1, 2, 2, 3, 0xC7, 0xC7, 0xC7}, {0x01, 0xC2, 0x02, 0x03, 0xC3, 0xC7}}};
    // clang-format on
    for (const auto& [line, code] : cases) {
        std::vector<DWORD> row;
        for (size_t i = 0; i < line.size(); ++i)
            row.push_back(static_cast<DWORD>(i * 37 & 0xFF) << 24 | line[i] * 0x010101u);
        const int width = static_cast<int>(row.size());
        Bytes three;
        for (int plane = 0; plane < 3; ++plane) three.insert(three.end(), code.begin(), code.end());
        EXPECT_EQ(Part(SaveAndRead(kPcx, row, CSize(width, 1), CRect(0, 0, width, 1)), 128), three) << width;
    }
}

// Each writer's region read back by our dispatch, and for the lossless writers its pixels (a TGA at the
// region's position, alpha kept; BMP and PCX at (0, 0), alpha 255). Empty regions make no file.
TEST(Writer, RegionIsCutToTheBufferAndReadsBack) {
    // clang-format off
    const std::pair<CRect, CRect> cases[] = {  // the region, and what is left of it (empty: the save fails)
        {CRect(-10, -10, 20, 20), CRect(0, 0, 16, 16)}, {CRect(3, 2, 14, 11), CRect(3, 2, 14, 11)},
        {CRect(12, 14, 40, 15), CRect(12, 14, 16, 15)}, {CRect(5, -3, 7, 2), CRect(5, 0, 7, 2)},
        {CRect(16, 0, 20, 16), CRect()}, {CRect(-5, -5, 0, 0), CRect()}, {CRect(3, 3, 3, 9), CRect()},
        {CRect(3, 3, 9, 3), CRect()}, {CRect(8, 8, 2, 2), CRect()}};
    // clang-format on
    for (const Writer& writer : kWriters)
        for (const auto& [region, cut] : cases) {
            SCOPED_TRACE(testing::Message() << writer.name << " " << region.left << "," << region.top);
            ScratchFolder folder;
            const std::string path = folder.File(std::string("c.") + writer.extension);
            auto pixels = Distinct(16, 16);
            const int result = Save(writer, path, pixels, CSize(16, 16), region);
            if (cut.IsRectEmpty()) {
                EXPECT_TRUE(result == 0 && fs::is_empty(folder.Path())) << "refused, and no file is made";
                continue;
            }
            LoadedPicture back;
            back.pixels = KivPictureLoadPicFile(Wide(path), back.rect);
            ASSERT_TRUE(result == 1 && back.pixels);
            const bool tga = &writer == &kTga;
            EXPECT_EQ(back.rect, tga ? cut : CRect(0, 0, cut.Width(), cut.Height()));
            int wrong = 0;
            for (int y = 0; y < cut.Height() && &writer != &kJpeg; ++y)
                for (int x = 0; x < cut.Width(); ++x) {
                    const DWORD source = pixels[static_cast<size_t>(cut.top + y) * 16 + cut.left + x];
                    wrong += back.At(x, y) != (tga ? source : source | 0xFF000000u);
                }
            EXPECT_EQ(wrong, 0);
        }
}

namespace {

enum class Peer { stb, imageMagick, pillow };
const char* const kPeerNames[] = {"stb", "ImageMagick", "Pillow"};
const std::string kSystemPath = "PATH=$(getconf PATH) ";  // the system's programs, not the test environment's

bool Installed(const std::string& check) {
    std::string ignored;
    return Capture(kSystemPath + check + " >/dev/null 2>&1", ignored) == 0;
}

// Pillow prints "width height" on one line, then the pixels as RGBA, as the ImageMagick command does.
constexpr char kPillowScript[] =
    "import sys\nfrom PIL import Image\nim = Image.open(sys.argv[1])\n"
    "sys.stdout.write(\"%d %d\\n\" % im.size)\nsys.stdout.flush()\n"
    "sys.stdout.buffer.write(im.convert(\"RGBA\").tobytes())\n";

// What a peer read of a file: its size and pixels; status ok when it read the file.
ReadResult ReadWith(Peer peer, const std::string& path) {
    if (peer == Peer::stb) return DecodeWithStb(ReadFileBytes(path));
    const std::string command =
        peer == Peer::imageMagick ? "convert '" + path + "' -depth 8 -format '%w %h\\n' -write info:- rgba:-"
                                  : "python3 -c '" + std::string(kPillowScript) + "' '" + path + "'";
    std::string output;
    ReadResult read{KivLoadStatus::corrupt, {}, {}};
    if (Capture(kSystemPath + command + " 2>/dev/null", output) || output.find('\n') == std::string::npos)
        return read;
    const size_t line = output.find('\n');
    std::istringstream(output.substr(0, line)) >> read.rect.right >> read.rect.bottom;
    read.status = KivLoadStatus::ok;
    for (size_t at = line + 1; at + 4 <= output.size(); at += 4)  // R, G, B, A bytes from the top row
        read.pixels.push_back(DWORD(BYTE(output[at + 3])) << 24 | DWORD(BYTE(output[at])) << 16 |
                              DWORD(BYTE(output[at + 1])) << 8 | BYTE(output[at + 2]));
    return read;
}

}  // namespace

// Each peer must see each writer's region: exactly from the lossless writers, within quality 30's loss from
// JPEG (ramps lose 2 to 3.5 levels per channel on average; a swapped channel, a shifted row, a wrong region
// or mixed-in alpha costs tens). A peer not installed is left out, and the test then reports itself skipped.
TEST(Interop, PeersReadTheRegionsPixels) {
    const bool installed[] = {true, Installed("command -v convert"),
                              Installed("python3 -c 'import PIL.Image'")};
    for (const Writer& writer : kWriters)
        for (const Peer peer : {Peer::stb, Peer::imageMagick, Peer::pillow}) {
            if (!installed[static_cast<int>(peer)] || (peer == Peer::stb && &writer == &kPcx)) continue;
            SCOPED_TRACE(std::string(writer.name) + " read by " + kPeerNames[static_cast<int>(peer)]);
            const bool lossy = &writer == &kJpeg;
            const int cx = lossy ? 48 : 15, cy = lossy ? 40 : 11;
            const CRect region = lossy ? CRect(4, 6, 44, 38) : CRect(1, 2, 14, 11);  // lossless: of odd width
            auto pixels = Distinct(cx, cy, lossy);
            pixels[static_cast<size_t>(2 * cx + 1)] = 0x00C08040;  // alpha 0 under a colour that is not black
            ScratchFolder folder;
            const std::string path = folder.File(std::string("picture.") + writer.extension);
            ASSERT_EQ(Save(writer, path, pixels, CSize(cx, cy), region), 1);
            const ReadResult read = ReadWith(peer, path);
            ASSERT_EQ(read.status, KivLoadStatus::ok) << "the peer refused the file";
            ASSERT_EQ(read.rect.Size(), region.Size());
            const int w = region.Width(), area = w * region.Height();
            ASSERT_EQ(read.pixels.size(), static_cast<size_t>(area));
            double totalError = 0;
            int worst = 0, wrongAlpha = 0;
            for (int i = 0; i < area; ++i) {
                const DWORD source = pixels[size_t(region.top + i / w) * cx + region.left + i % w],
                            got = read.pixels[i];
                for (int shift = 0; shift < 24; shift += 8) {
                    const int difference = std::abs(int(got >> shift & 0xFF) - int(source >> shift & 0xFF));
                    totalError += difference, worst = std::max(worst, difference);
                }
                if (writer.alpha != Alpha::unknown)
                    wrongAlpha += got >> 24 != (writer.alpha == Alpha::kept ? source >> 24 : 255);
            }
            EXPECT_LT(totalError / (3.0 * area), lossy ? 6.0 : 1e-9) << "mean error";
            EXPECT_LE(worst, lossy ? 23 : 0);
            EXPECT_EQ(wrongAlpha, 0);
        }
    if (!installed[1] || !installed[2]) GTEST_SKIP() << "ImageMagick or Pillow is not installed: not asked";
}

// A full disk, made by a file-size limit in a child process (SIGXFSZ ignored, so a write past it fails with
// EFBIG): the save returns 0, the old file keeps every byte and the temporary file is gone.
TEST(Writer, FullDiskLeavesTheOldFileAsItWas) {
    for (const Writer& writer : kWriters) {
        ScratchFolder reference;
        ASSERT_EQ(SaveWhole(writer, reference.File("whole")), 1);
        const rlim_t whole = fs::file_size(reference.File("whole"));
        ASSERT_GT(whole, 200u) << writer.name;
        for (const rlim_t limit : {rlim_t{0}, rlim_t{200}, whole - 1, whole}) {
            SCOPED_TRACE(std::string(writer.name) + ", limit " + std::to_string(limit));
            ScratchFolder folder;
            WriteFileBytes(folder.File("kept"), kOld);
            const int saved = InChild([&] {
                signal(SIGXFSZ, SIG_IGN);
                const rlimit bound{limit, limit};
                return setrlimit(RLIMIT_FSIZE, &bound) == 0 ? SaveWhole(writer, folder.File("kept")) : 100;
            });
            EXPECT_EQ(saved, limit == whole ? 1 : 0) << "only a file that fits is saved";
            EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"kept"});
            EXPECT_EQ(limit < whole ? ReadFileBytes(folder.File("kept")) : kOld, kOld)
                << "the last byte too must be written before the rename";
        }
    }
    // A picture wider than the JPEG library's 65 500 columns: its fatal error must come back as 0.
    ScratchFolder folder;
    WriteFileBytes(folder.File("wide.jpg"), kOld);
    std::vector<DWORD> pixels(65501, 0xFF808080u);
    EXPECT_EQ(Save(kJpeg, folder.File("wide.jpg"), pixels, CSize(65501, 1), CRect(0, 0, 65501, 1)), 0);
    EXPECT_EQ(ReadFileBytes(folder.File("wide.jpg")), kOld);
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"wide.jpg"});
}

// An access-control list that leaves the mode 0666 as it is: owner, user 1234, group, mask and others rw.
Bytes ReadWriteForAllAcl() {
    Bytes acl;
    PutU32(acl, 2);  // the list's version
    for (const auto& [tag, id] :
         {std::pair{0x01u, ~0u}, {0x02u, 1234u}, {0x04u, ~0u}, {0x10u, ~0u}, {0x20u, ~0u}})
        PutU16(acl, tag), PutU16(acl, 6), PutU32(acl, id);
    return acl;
}

std::string Attribute(const std::string& path, const char* name) {
    char value[256];
    const ssize_t size = ::getxattr(path.c_str(), name, value, sizeof value);
    return size < 0 ? std::string("none") : std::string(value, static_cast<size_t>(size));
}

// A replaced file keeps its permissions (even wider ones than new files get), owner, group and extended
// attributes (an access-control list too); links are written through, also along a chain to a file not yet
// there, and stay links; a file with a second hard link is written in place, so both names see the change.
TEST(Writer, ReplacementKeepsWhatTheFileHadAndLinks) {
    const bool root = ::geteuid() == 0;
    for (const Writer& writer : kWriters) {
        SCOPED_TRACE(writer.name);
        ScratchFolder folder;
        fs::create_directory(folder.Path() / "real");
        const std::pair<const char*, unsigned> modes[] = {{"plain", 0666u}, {"real/picture", 0604u}};
        for (const auto& [name, mode] : modes) {
            WriteFileBytes(folder.File(name), Bytes(5000, 0xAB));
            ASSERT_EQ(::chmod(folder.File(name).c_str(), mode), 0);
        }
        const std::string plain = folder.File("plain");
        ASSERT_TRUE(!root || ::chown(plain.c_str(), 65534, 65534) == 0);
        const Bytes acl = ReadWriteForAllAcl();
        const bool attributes =
            ::setxattr(plain.c_str(), "user.kiv", "kept", 4, 0) == 0 &&
            ::setxattr(plain.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) == 0;
        const std::string aclBefore = Attribute(plain, "system.posix_acl_access");
        WriteFileBytes(folder.File("real/linked"), Bytes(5000, 0xAB));
        fs::create_hard_link(folder.File("real/linked"), folder.File("real/alias"));
        fs::create_symlink("real/picture", folder.File("link"));
        fs::create_symlink("real/new", folder.File("second"));
        fs::create_symlink("second", folder.File("first"));
        for (const char* name : {"plain", "link", "first", "real/alias"})
            ASSERT_EQ(SaveWhole(writer, folder.File(name)), 1) << name;
        for (const char* name : {"plain", "real/picture", "real/new", "real/linked"}) {
            const Bytes written = ReadFileBytes(folder.File(name));
            EXPECT_TRUE(Part(written, 0, writer.start.size()) == writer.start && written.size() != 5000u)
                << name;
        }
        EXPECT_EQ(ReadFileBytes(folder.File("real/alias")), ReadFileBytes(folder.File("real/linked")));
        for (const auto& [name, mode] : modes) EXPECT_EQ(Mode(folder.File(name)), mode) << name;
        struct stat facts {};
        EXPECT_TRUE(::stat(plain.c_str(), &facts) == 0 &&
                    (!root || (facts.st_uid == 65534 && facts.st_gid == 65534)));
        if (attributes) {
            EXPECT_EQ(Attribute(plain, "user.kiv"), "kept");
            EXPECT_EQ(Attribute(plain, "system.posix_acl_access"), aclBefore);
        }
        EXPECT_EQ(fs::read_symlink(folder.File("link")), "real/picture");
        EXPECT_EQ(fs::read_symlink(folder.File("first")), "second");
        EXPECT_EQ(FolderEntries(folder.Path()),
                  (std::vector<std::string>{"first", "link", "plain", "real", "second"}));
        EXPECT_EQ(FolderEntries(folder.Path() / "real"),
                  (std::vector<std::string>{"alias", "linked", "new", "picture"}));
    }
}

// Refused saves change nothing: a folder is never replaced, a missing folder or buffer makes no file. As a
// user bound by permissions, a file the user may not write stays although its folder takes new files; one in
// a folder that takes none is written in place, as opening it would, and the longer old content cut off.
TEST(Writer, RefusedSavesChangeNothingAndClosedFoldersAreWrittenInPlace) {
    const bool root = ::geteuid() == 0;
    for (const Writer& writer : kWriters) {
        SCOPED_TRACE(writer.name);
        ScratchFolder open, closed, reference;
        ASSERT_EQ(SaveWhole(writer, reference.File("whole")), 1);
        fs::permissions(open.Path(), fs::perms::all);
        fs::create_directory(open.Path() / "folder.x");
        WriteFileBytes(open.File("locked"), kOld);
        WriteFileBytes(closed.File("mine"), Bytes(20000, 0xAB));
        ASSERT_EQ(::chmod(open.File("locked").c_str(), 0444) + ::chmod(closed.Path().c_str(), 0755), 0);
        ASSERT_TRUE(!root || ::chown(closed.File("mine").c_str(), 65534, 65534) == 0);
        EXPECT_EQ(SaveWhole(writer, open.File("folder.x")), 0);
        EXPECT_EQ(SaveWhole(writer, open.File("missing/x")), 0);
        EXPECT_EQ(writer.save(Wide(open.File("x")), nullptr, CSize(2, 2), CRect(0, 0, 2, 2)), 0);
        for (const auto& [path, saved] : {std::pair{open.File("locked"), 0}, {closed.File("mine"), 1}})
            EXPECT_EQ(InChild([&, p = path] { return ActAsNobody() ? SaveWhole(writer, p) : 100; }), saved);
        EXPECT_EQ(ReadFileBytes(open.File("locked")), kOld);
        EXPECT_EQ(Mode(open.File("locked")), 0444u);
        EXPECT_EQ(FolderEntries(open.Path()), (std::vector<std::string>{"folder.x", "locked"}));
        const Bytes written = ReadFileBytes(closed.File("mine"));
        EXPECT_EQ(written.size(), fs::file_size(reference.File("whole")));
        EXPECT_EQ(Part(written, 0, writer.start.size()), writer.start);
        EXPECT_EQ(FolderEntries(closed.Path()), std::vector<std::string>{"mine"});
    }
}
