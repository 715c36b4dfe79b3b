// Files from each writer read by independent programs: ImageMagick's convert and Python's Pillow, the
// copies the system installed (the search path is the system's own, from getconf). Each must see the
// region's size and pixels: exactly for TGA, BMP and PCX, within the loss of quality 30 for JPEG. A test
// is skipped when its program is not installed.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "TestFiles.h"

namespace {

// Commands run with the system's own search path, not whatever the test's environment put first.
const std::string kSystemPath = "PATH=$(getconf PATH) ";

// The whole standard output of a shell command; false when it could not run or failed.
bool Capture(const std::string& command, std::string& output) {
    output.clear();
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return false;
    char chunk[4096];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) output.append(chunk, got);
    return ::pclose(pipe) == 0;
}

bool Installed(const std::string& check) {
    std::string ignored;
    return Capture(kSystemPath + check + " >/dev/null 2>&1", ignored);
}

bool HaveImageMagick() {
    return Installed("command -v convert") && Installed("command -v identify");
}

bool HavePillow() {
    return Installed("python3 -c 'import PIL.Image'");
}

// What a peer read: the size and the pixels as R, G, B, A bytes, rows top to bottom.
struct PeerPicture {
    int width = 0, height = 0;
    std::string mode;     // Pillow's mode: whether it took a fourth channel from the file
    std::string imageId;  // Pillow's TGA image ID, in hexadecimal
    std::string rgba;
};

bool ReadWithImageMagick(const std::string& path, PeerPicture& picture) {
    std::string size;
    if (!Capture(kSystemPath + "identify -format '%w %h' '" + path + "' 2>/dev/null", size)) return false;
    std::istringstream(size) >> picture.width >> picture.height;
    return Capture(kSystemPath + "convert '" + path + "' -depth 8 rgba:- 2>/dev/null", picture.rgba);
}

// Prints "mode width height image-ID-in-hex" on one line, then the pixels converted to RGBA.
constexpr char kPillowScript[] =
    "import sys\n"
    "from PIL import Image\n"
    "im = Image.open(sys.argv[1])\n"
    "ident = im.info.get(\"id_section\", b\"\").hex() or \"-\"\n"
    "sys.stdout.write(\"%s %d %d %s\\n\" % (im.mode, im.size[0], im.size[1], ident))\n"
    "sys.stdout.flush()\n"
    "sys.stdout.buffer.write(im.convert(\"RGBA\").tobytes())\n";

bool ReadWithPillow(const std::string& path, PeerPicture& picture) {
    std::string output;
    if (!Capture(kSystemPath + "python3 -c '" + kPillowScript + "' '" + path + "' 2>/dev/null", output))
        return false;
    const size_t line = output.find('\n');
    if (line == std::string::npos) return false;
    std::istringstream(output.substr(0, line)) >> picture.mode >> picture.width >> picture.height >>
        picture.imageId;
    picture.rgba = output.substr(line + 1);
    return true;
}

// Distinct colours and every kind of alpha: red = 19x, green = 27y, blue = x ^ 5y, alpha from 0 to 255.
std::vector<DWORD> Distinct(int cx, int cy) {
    std::vector<DWORD> pixels;
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x)
            pixels.push_back(
                static_cast<DWORD>((x * 41 + y * 23) % 256) << 24 | static_cast<DWORD>(x * 19 & 0xFF) << 16 |
                static_cast<DWORD>(y * 27 & 0xFF) << 8 | static_cast<DWORD>((x ^ (5 * y)) & 0xFF));
    pixels[0] = 0x00C08040;  // alpha 0 under a colour that is not black
    pixels[1] = 0xFF0A0B0C;
    return pixels;
}

// A smooth picture for the lossy writer: ramps of 5 to 7 levels per pixel.
std::vector<DWORD> Gradient(int cx, int cy) {
    std::vector<DWORD> pixels;
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x)
            pixels.push_back(0x40000000u | static_cast<DWORD>(x * 255 / (cx - 1)) << 16 |
                             static_cast<DWORD>(y * 255 / (cy - 1)) << 8 |
                             static_cast<DWORD>((x + y) * 255 / (cx + cy - 2)));
    return pixels;
}

enum class Alpha {
    kept,    // the peer must give the buffer's alpha
    opaque,  // the file has none: the peer must give 255
    notCompared,
};

struct WriterCase {
    const char* name;
    const char* extension;
    int (*save)(CString, DWORD*, CSize, CRect);
    bool lossy;
    Alpha imageMagickAlpha, pillowAlpha;
};

// BMP: a 32-bit file with the 40-byte header and no bit masks does not say what its fourth byte is.
// ImageMagick takes it as alpha when it is not zero throughout, Pillow reads the rows as B, G, R and a
// byte to skip, so only the colours are the file's meaning that both agree on.
const WriterCase kWriterCases[] = {
    {"TGA", "tga", KivPictureSaveTGAFile, false, Alpha::kept, Alpha::kept},
    {"BMP", "bmp", KivPictureSaveBMPFile, false, Alpha::notCompared, Alpha::notCompared},
    {"PCX", "pcx", KivPictureSavePCXFile, false, Alpha::opaque, Alpha::opaque},
    {"JPEG", "jpg", KivPictureSaveJPGFile, true, Alpha::opaque, Alpha::opaque},
};

enum class Peer { imageMagick, pillow };

struct InteropCase {
    WriterCase writer;
    Peer peer;
};

std::string CaseName(const testing::TestParamInfo<InteropCase>& info) {
    return std::string(info.param.writer.name) +
           (info.param.peer == Peer::imageMagick ? "_ImageMagick" : "_Pillow");
}

std::vector<InteropCase> AllCases() {
    std::vector<InteropCase> cases;
    for (const WriterCase& writer : kWriterCases)
        for (Peer peer : {Peer::imageMagick, Peer::pillow}) cases.push_back({writer, peer});
    return cases;
}

class PeerReads : public testing::TestWithParam<InteropCase> {};

}  // namespace

TEST_P(PeerReads, TheRegionsPixels) {
    const InteropCase& c = GetParam();
    const bool imageMagick = c.peer == Peer::imageMagick;
    if (imageMagick ? !HaveImageMagick() : !HavePillow())
        GTEST_SKIP() << (imageMagick ? "ImageMagick" : "Pillow") << " is not installed";

    // A region inside a larger buffer with an odd width, so that the peer must see the cut rows.
    const int cx = c.writer.lossy ? 48 : 15, cy = c.writer.lossy ? 40 : 11;
    const CRect region = c.writer.lossy ? CRect(4, 6, 44, 38) : CRect(1, 2, 14, 11);
    auto pixels = c.writer.lossy ? Gradient(cx, cy) : Distinct(cx, cy);
    ScratchFolder folder;
    const std::string path = folder.File(std::string("picture.") + c.writer.extension);
    ASSERT_EQ(c.writer.save(Wide(path), pixels.data(), CSize(cx, cy), region), 1);

    PeerPicture read;
    ASSERT_TRUE(imageMagick ? ReadWithImageMagick(path, read) : ReadWithPillow(path, read))
        << "the peer refused the file";
    ASSERT_EQ(read.width, region.Width());
    ASSERT_EQ(read.height, region.Height());
    ASSERT_EQ(read.rgba.size(), 4u * region.Width() * region.Height());

    const Alpha alpha = imageMagick ? c.writer.imageMagickAlpha : c.writer.pillowAlpha;
    double totalError = 0;
    int worst = 0, wrongAlpha = 0;
    for (int y = 0; y < region.Height(); ++y)
        for (int x = 0; x < region.Width(); ++x) {
            const tagCOLOR32 source =
                tagCOLOR32::FromWord(pixels[static_cast<size_t>(region.top + y) * cx + region.left + x]);
            const auto* got = reinterpret_cast<const std::uint8_t*>(read.rgba.data()) +
                              4 * (static_cast<size_t>(y) * region.Width() + x);
            for (const int difference : {std::abs(got[0] - source.red), std::abs(got[1] - source.green),
                                         std::abs(got[2] - source.blue)}) {
                totalError += difference;
                worst = std::max(worst, difference);
            }
            if (alpha == Alpha::kept) wrongAlpha += got[3] != source.alpha;
            if (alpha == Alpha::opaque) wrongAlpha += got[3] != 255;
        }
    if (c.writer.lossy) {
        // The bounds of the JPEG writer's own test: quality 30 costs a smooth ramp 2 to 3.5 levels on
        // average.
        EXPECT_LT(totalError / (3.0 * region.Width() * region.Height()), 6.0) << "mean absolute error";
        EXPECT_LT(worst, 24);
    } else {
        EXPECT_EQ(worst, 0) << "a lossless file must read back exactly";
    }
    EXPECT_EQ(wrongAlpha, 0);
}

INSTANTIATE_TEST_SUITE_P(Interop, PeerReads, testing::ValuesIn(AllCases()), CaseName);

TEST(Interop, PillowSeesTheTgaImageIdAndAlpha) {
    if (!HavePillow()) GTEST_SKIP() << "Pillow is not installed";
    ScratchFolder folder;
    auto pixels = Distinct(4, 3);
    const std::string path = folder.File("id.tga");
    ASSERT_EQ(KivPictureSaveTGAFile(Wide(path), pixels.data(), CSize(4, 3), CRect(0, 0, 4, 3)), 1);
    PeerPicture read;
    ASSERT_TRUE(ReadWithPillow(path, read));
    EXPECT_EQ(read.mode, "RGBA") << "32 bits with a fourth channel";
    std::string expected;
    for (const char ch : std::string("Kivlumen-32Bit-TrueColor-TGA")) {
        char hex[3];
        std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(ch));
        expected += hex;
    }
    expected += std::string(2 * 36, '0');
    EXPECT_EQ(read.imageId, expected) << "the 64-byte image ID: the signature text and 36 zero bytes";
}

// The TGA origin through ImageMagick's page offset. Whether this ImageMagick reads a TGA's origin at all
// is asked first with a file made here byte by byte; Pillow does not report it.
TEST(Interop, ImageMagickSeesTheTgaOrigin) {
    if (!HaveImageMagick()) GTEST_SKIP() << "ImageMagick is not installed";
    ScratchFolder folder;
    Bytes reference;
    for (const unsigned byte : {0u, 0u, 2u}) PutU8(reference, byte);
    for (const unsigned word : {0u, 0u}) PutU16(reference, word);
    PutU8(reference, 0);
    for (const unsigned word : {7u, 3u, 1u, 1u}) PutU16(reference, word);  // origin (7, 3), 1 x 1
    PutU8(reference, 24);
    PutU8(reference, 0x20);
    for (const unsigned byte : {1u, 2u, 3u}) PutU8(reference, byte);
    WriteFileBytes(folder.File("reference.tga"), reference);
    std::string offset;
    ASSERT_TRUE(
        Capture(kSystemPath + "identify -format '%X,%Y' '" + folder.File("reference.tga") + "'", offset));
    if (offset != "+7,+3")
        GTEST_SKIP() << "this ImageMagick does not report a TGA's origin (it said " << offset << ")";

    auto pixels = Distinct(40, 30);
    ASSERT_EQ(
        KivPictureSaveTGAFile(Wide(folder.File("o.tga")), pixels.data(), CSize(40, 30), CRect(10, 5, 17, 10)),
        1);
    ASSERT_TRUE(Capture(kSystemPath + "identify -format '%X,%Y' '" + folder.File("o.tga") + "'", offset));
    EXPECT_EQ(offset, "+10,+5");
}
