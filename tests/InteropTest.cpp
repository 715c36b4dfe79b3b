// Files from each writer read by independent decoders: stb_image (built in, so always there), and the
// system's ImageMagick and Pillow when installed (found on the system's own search path, from getconf).
// Each must see the region's size and pixels: exactly for TGA, BMP and PCX, within the loss of quality 30
// for JPEG.

#include <gtest/gtest.h>
#include <stb/stb_image.h>  // built once, in StbImage.cpp

#include <cstdio>
#include <sstream>

#include "TestFiles.h"

namespace {

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

enum class Peer { stb, imageMagick, pillow };
const char* const kPeerNames[] = {"stb", "ImageMagick", "Pillow"};

// What a peer read: the size, the pixels as R, G, B, A bytes from the top row, and Pillow's TGA image ID.
struct PeerPicture {
    int width = 0, height = 0;
    std::string rgba, imageId;
};

// Prints "width height image-ID-in-hex" on one line, then the pixels converted to RGBA.
constexpr char kPillowScript[] =
    "import sys\n"
    "from PIL import Image\n"
    "im = Image.open(sys.argv[1])\n"
    "ident = im.info.get(\"id_section\", b\"\").hex() or \"-\"\n"
    "sys.stdout.write(\"%d %d %s\\n\" % (im.size[0], im.size[1], ident))\n"
    "sys.stdout.flush()\n"
    "sys.stdout.buffer.write(im.convert(\"RGBA\").tobytes())\n";

bool ReadWith(Peer peer, const std::string& path, PeerPicture& picture) {
    if (peer == Peer::stb) {
        int components = 0;
        stbi_uc* rgba = stbi_load(path.c_str(), &picture.width, &picture.height, &components, 4);
        if (!rgba) return false;
        picture.rgba.assign(reinterpret_cast<const char*>(rgba), 4u * picture.width * picture.height);
        stbi_image_free(rgba);
        return true;
    }
    std::string output;
    if (peer == Peer::imageMagick) {
        if (!Capture(kSystemPath + "identify -format '%w %h' '" + path + "' 2>/dev/null", output))
            return false;
        std::istringstream(output) >> picture.width >> picture.height;
        return Capture(kSystemPath + "convert '" + path + "' -depth 8 rgba:- 2>/dev/null", picture.rgba);
    }
    if (!Capture(kSystemPath + "python3 -c '" + kPillowScript + "' '" + path + "' 2>/dev/null", output))
        return false;
    const size_t line = output.find('\n');
    if (line == std::string::npos) return false;
    std::istringstream(output.substr(0, line)) >> picture.width >> picture.height >> picture.imageId;
    picture.rgba = output.substr(line + 1);
    return true;
}

enum class Alpha { kept, opaque, notCompared };

// BMP: a 32-bit file with the 40-byte header and no bit masks does not say what its fourth byte is, and the
// peers disagree on it, so only the colours are compared. stb_image does not read PCX.
struct WriterCase {
    const char* name;
    const char* extension;
    int (*save)(CString, DWORD*, CSize, CRect);
    bool lossy, stbReads;
    Alpha alpha;
};

const WriterCase kWriterCases[] = {
    {"TGA", "tga", KivPictureSaveTGAFile, false, true, Alpha::kept},
    {"BMP", "bmp", KivPictureSaveBMPFile, false, true, Alpha::notCompared},
    {"PCX", "pcx", KivPictureSavePCXFile, false, false, Alpha::opaque},
    {"JPEG", "jpg", KivPictureSaveJPGFile, true, true, Alpha::opaque},
};

struct InteropCase {
    WriterCase writer;
    Peer peer;
};

std::vector<InteropCase> AllCases() {
    std::vector<InteropCase> cases;
    for (const WriterCase& writer : kWriterCases)
        for (Peer peer : {Peer::stb, Peer::imageMagick, Peer::pillow})
            if (peer != Peer::stb || writer.stbReads) cases.push_back({writer, peer});
    return cases;
}

std::string CaseName(const testing::TestParamInfo<InteropCase>& info) {
    return std::string(info.param.writer.name) + "_" + kPeerNames[static_cast<int>(info.param.peer)];
}

// Lossless: distinct colours and every alpha (0 under a colour that is not black at the corner). Lossy: ramps
// of 5 to 7 levels per pixel, as in the JPEG writer's own test.
std::vector<DWORD> Pixels(bool lossy, int cx, int cy) {
    std::vector<DWORD> pixels;
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x)
            pixels.push_back(lossy ? 0x40000000u | static_cast<DWORD>(x * 255 / (cx - 1)) << 16 |
                                         static_cast<DWORD>(y * 255 / (cy - 1)) << 8 |
                                         static_cast<DWORD>((x + y) * 255 / (cx + cy - 2))
                                   : static_cast<DWORD>((x * 41 + y * 23) % 256) << 24 |
                                         static_cast<DWORD>(x * 19 & 0xFF) << 16 |
                                         static_cast<DWORD>(y * 27 & 0xFF) << 8 |
                                         static_cast<DWORD>((x ^ (5 * y)) & 0xFF));
    pixels[static_cast<size_t>(2 * cx + 1)] = 0x00C08040;
    return pixels;
}

class PeerReads : public testing::TestWithParam<InteropCase> {};

}  // namespace

TEST_P(PeerReads, TheRegionsPixels) {
    const InteropCase& c = GetParam();
    if (c.peer == Peer::imageMagick && !(Installed("command -v convert") && Installed("command -v identify")))
        GTEST_SKIP() << "ImageMagick is not installed";
    if (c.peer == Peer::pillow && !Installed("python3 -c 'import PIL.Image'")) GTEST_SKIP() << "no Pillow";

    // A region inside a larger buffer, of odd width for the lossless ones, so the peer must see the cut rows.
    const bool lossy = c.writer.lossy;
    const int cx = lossy ? 48 : 15, cy = lossy ? 40 : 11;
    const CRect region = lossy ? CRect(4, 6, 44, 38) : CRect(1, 2, 14, 11);
    auto pixels = Pixels(lossy, cx, cy);
    ScratchFolder folder;
    const std::string path = folder.File(std::string("picture.") + c.writer.extension);
    ASSERT_EQ(c.writer.save(Wide(path), pixels.data(), CSize(cx, cy), region), 1);

    PeerPicture read;
    ASSERT_TRUE(ReadWith(c.peer, path, read)) << "the peer refused the file";
    ASSERT_EQ(read.width, region.Width());
    ASSERT_EQ(read.height, region.Height());
    ASSERT_EQ(read.rgba.size(), 4u * region.Width() * region.Height());
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
            if (c.writer.alpha == Alpha::kept) wrongAlpha += got[3] != source.alpha;
            if (c.writer.alpha == Alpha::opaque) wrongAlpha += got[3] != 255;
        }
    if (lossy) {
        EXPECT_LT(totalError / (3.0 * region.Width() * region.Height()), 6.0) << "mean absolute error";
        EXPECT_LT(worst, 24);
    } else {
        EXPECT_EQ(worst, 0) << "a lossless file must read back exactly";
    }
    EXPECT_EQ(wrongAlpha, 0);
    if (c.peer == Peer::pillow && std::string(c.writer.name) == "TGA") {
        std::string expected;
        for (const char ch : std::string("Kivlumen-32Bit-TrueColor-TGA")) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(ch));
            expected += hex;
        }
        EXPECT_EQ(read.imageId, expected + std::string(2 * 36, '0')) << "the 64-byte image ID";
    }
}

INSTANTIATE_TEST_SUITE_P(Interop, PeerReads, testing::ValuesIn(AllCases()), CaseName);

// The TGA origin through ImageMagick's page offset. Whether this ImageMagick reads a TGA's origin at all is
// asked first with a file made here byte by byte: origin (7, 3), 1 x 1, 24 bits, top-left.
TEST(Interop, ImageMagickSeesTheTgaOrigin) {
    if (!Installed("command -v identify")) GTEST_SKIP() << "ImageMagick is not installed";
    ScratchFolder folder;
    const std::string identify = kSystemPath + "identify -format '%X,%Y' ";
    WriteFileBytes(folder.File("reference.tga"),
                   {0, 0, 2, 0, 0, 0, 0, 0, 7, 0, 3, 0, 1, 0, 1, 0, 24, 0x20, 1, 2, 3});
    std::string offset;
    ASSERT_TRUE(Capture(identify + "'" + folder.File("reference.tga") + "'", offset));
    if (offset != "+7,+3")
        GTEST_SKIP() << "this ImageMagick does not report a TGA's origin (" << offset << ")";
    auto pixels = Pixels(false, 40, 30);
    const CString path = Wide(folder.File("o.tga"));
    ASSERT_EQ(KivPictureSaveTGAFile(path, pixels.data(), CSize(40, 30), CRect(10, 5, 17, 10)), 1);
    ASSERT_TRUE(Capture(identify + "'" + folder.File("o.tga") + "'", offset));
    EXPECT_EQ(offset, "+10,+5");
}
