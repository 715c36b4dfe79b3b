// The readers on the corpus under tests/data (sources and licences in the ATTRIBUTION.tsv files), a table per
// format: every file loads or is refused as its row says, and what loads matches an independent decoder or a
// reference file under the row's rule. The fuzz targets' replay (fuzz/CMakeLists.txt) reads them for crashes.

#include <fnmatch.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>

#include "JpegReference.h"
#include "readers/PictureFormats.h"
#include "readers/Readers.h"

namespace {

using S = KivLoadStatus;
// How a loaded file's pixels are checked. Without a reference: unchecked, opaque, black (opaque), noRows
// (transparent black). Against the row's reference file: sameAs, runLength (transparent where the stream
// skips). Against stb_image: stb, stbOpaque (our alpha 255), stb555 (5 bits shifted, not scaled), stbOrBlack
// (indices past the palette black), tgaStb (TgaRules), gifLast (LastImageAlone), psdSamples (PsdConverted).
// library: the JPEG library's decoding. Other programs: pillow, gifPillow (on the last image: no leading
// clear code, which stb_image refuses), magick (ImageMagick's first image: a PSD file's composite), magickBits
// (its black and white are header palette entries 1 and 0), magickFields (its bit-field components widened
// as ours: FieldsWidened), magickUnblended (it unblends a partly transparent PSD colour from white, so of
// such pixels only alpha is compared).
// clang-format off
enum Check { refused, unchecked, opaque, black, noRows, sameAs, runLength, stb, stbOpaque, stb555, stbOrBlack,
             tgaStb, gifLast, psdSamples, library, pillow, gifPillow, magick, magickBits, magickFields,
             magickUnblended };
// clang-format on

// One row of a table: files of a folder (names or shell patterns separated by spaces; "*" alone: the files
// no other row names), the status each must get, how the pixels of those that load are checked, and why.
struct Row {
    const char *folder, *names;
    S status;
    Check check;
    const char *reason, *reference = nullptr;  // the reference: a file under tests/data
};

// clang-format off
const std::vector<Row> kBmp = {
    {"bmp", "Info_[14R]* pal1.bmp pal1[bw]* pal4.bmp pal4gs.bmp pal8-0.bmp pal8.bmp pal8gs.bmp pal8non* "
     "pal8topdown.bmp pal8w12?.bmp pal8os2v2-40sz.bmp rgb24.bmp vgl_*", S::ok, stb,
     "1, 4, 8 and 24 bits, both row orders, every row padding"},
    {"bmp", "pal8v[45].bmp palette.bmp pillow-1.bmp pjw-* simple_v4.bmp hippopotamus.bmp rgb24*prof*", S::ok,
     stb, "headers of 108 and 124 bytes, profiles skipped"},
    {"bmp", "Core_* pal8os2.bmp pal8os2sp.bmp pal8os2v2-16.bmp", S::ok, magick,
     "core headers with 3-byte entries, a short palette; a 16-byte header"},
    {"bmp", "rgb16-231.bmp rgb16-565.bmp rgb16bfdef.bmp rgb32-x* rgb32bf* rgba16-[45]* rgba32-[12].bmp V4_* "
     "V5_A1* svg.bmp windows_*", S::ok, stb, "bit fields of 1 to 8 bits in every order, alpha from the mask"},
    {"bmp", "rgb16-3103.bmp rgb16-565pal.bmp rgb32-[17]* rgba16-1* rgba32-[168]?[0-9]* V3_* rgb32h52.bmp "
     "rgba32h56.bmp", S::ok, magickFields,
     "bit fields of up to 18 bits; masks in headers of 52 and 56 bytes"},
    {"bmp", "pal8os2-??.bmp pal8os2v2.bmp pal8os2v2-sz.bmp", S::ok, pillow,
     "a hot spot or the headers' size in the file header (ImageMagick complains); headers of 64 bytes"},
    {"bmp", "Info_A8* rgb32.bmp rgb32fakealpha.bmp V5_A8*", S::ok, stbOpaque, "32 bits without bit fields"},
    {"bmp", "Info_X1* rgb16.bmp rgb16faketrns.bmp", S::ok, stb555, "16 bits, bit 15 unused"},
    {"bmp", "pal1p1.bmp", S::ok, stbOrBlack, "one palette entry for two indices"},
    {"bmp", "hopper_rle8*", S::ok, opaque, "RLE8 coding every pixel, after headers of 40 and 108 bytes"},
    {"bmp", "bricks-gray.bmp", S::ok, pillow, "RLE8 after a 108-byte header"},
    {"bmp", "pal4rle*", S::ok, runLength, "RLE4, some with skips", "bmp/pal4.bmp"},
    {"bmp", "pal8rle*", S::ok, runLength, "RLE8, some with skips", "bmp/pal8.bmp"},
    {"bmp", "pal8offs.bmp", S::ok, sameAs, "rows at the data offset, after a gap", "bmp/pal8.bmp"},
    {"bmp", "rgb24largepal.bmp rgb24pal.bmp", S::ok, sameAs, "a palette unused at 24 bits", "bmp/rgb24.bmp"},
    {"bmp", "rgba32abf.bmp", S::ok, sameAs, "compression 6: four masks after 40 bytes", "bmp/rgba32h56.bmp"},
    {"bmp", "*", S::unsupportedVariant, refused,
     "OS/2 Huffman and 24-bit run-length codes; embedded JPEG and PNG data; 2 and 64 bits"},
    {"bmp", "ba-bm.bmp", S::notThisFormat, refused, "an OS/2 bitmap array (BA)"},
    {"bmp", "pal8oversizepal.bmp", S::corrupt, refused, "colours-used 300"},
    {"hostile/bmp", "badbitssize.bmp baddens?.bmp badfilesize.bmp", S::ok, stb,
     "the image size, resolutions and file size are not read"},
    {"hostile/bmp", "badplanes.bmp", S::ok, sameAs, "nor the planes", "bmp/pal1.bmp"},
    {"hostile/bmp", "pal8badindex.bmp", S::ok, stbOrBlack, "indices past the palette"},
    {"hostile/bmp", "mmap_error.bmp", S::ok, unchecked, "a data offset into the palette and a byte short"},
    {"hostile/bmp", "V5_*", S::ok, stbOpaque, "masks in a header without bit fields are not read"},
    {"hostile/bmp", "rgb16-880.bmp", S::ok, magickFields, "bit fields without blue"},
    {"hostile/bmp", "l2rgb_read.bmp shortfile.bmp Bad_unusual_extend* bomb-*", S::truncated, refused,
     "3158064 x 48 pixels in 57 bytes; less than half the rows; RLE too short for its picture"},
    {"hostile/bmp", "Bad_clrsUsed.bmp badpalettesize.bmp Bad_unusual_mod_r* badrle* hopper_rle8_row_overflow.bmp "
     "rle_overflow.bmp badwidth.bmp imagemagick_*", S::corrupt, refused,
     "colours-used past 256; runs leaving the picture; a negative width"},
    {"hostile/bmp", "Bad_height.bmp Bad_width.bmp reallybig.bmp", S::tooLarge, refused, "over 4 GiB"},
    {"hostile/bmp", "badbitcount.bmp rletopdown.bmp", S::unsupportedVariant, refused,
     "30000 bits, RLE8 top-down"},
    {"hostile/bmp", "badheadersize.bmp", S::notThisFormat, refused, "a 66-byte header"},
};

const std::vector<Row> kTga = {
    {"tga", "*", S::ok, tgaStb,
     "every image type, 8 to 32 bits, maps of 15 to 32-bit entries, every origin, IDs and extension areas"},
    {"tga", "b5-unused-cmap.tga", S::ok, sameAs, "true colour steps over a map", "tga/b5-noattrib.tga"},
    {"tga", "cmap_offset.tga", S::ok, opaque, "first index 39, which stb_image misreads"},
    {"hostile/tga", "bad-color-map.tga flip-zero-height*.tga orientation-zero-width.tga error_color_map.tga",
     S::corrupt, refused, "width or height 0; 65535 map entries overflow the table"},
    {"hostile/tga", "error_no_image_data.tga p_8.tga overfull-image.tga error_truncated_image_data.tga bomb-* "
     "slice-copy-length.tga", S::truncated, refused,
     "a header and nothing else; less than half the pixels; too few packets (8224 pixels wide)"},
    {"hostile/tga", "*", S::ok, unchecked, "cut short; packets past the last pixel; 32-bit grey"},
    {"hostile/tga", "sixteen-bit-gray-colormap.tga", S::notThisFormat, refused, "image type 0"},
};

const std::vector<Row> kGif = {
    {"gif", "*", S::ok, gifLast,
     "87a, 89a, interlaced, clear codes, full tables, extensions; the last image alone, transparency unused"},
    {"gif", "background-color.gif frame-out-of-bounds.gif metadata-full.gif multiple-graphic-controls.gif "
     "muybridge.gif no-clear*.gif small-frame-interlaced.gif transparent-index.gif", S::ok, gifPillow,
     "LZW data without a clear code first"},
    {"gif", "empty-palette.gif no_palette.gif no_palette_after_rgb.gif", S::ok, black,
     "no table for the last image, none borrowed from an earlier one"},
    {"gif", "extra-pixels.gif issue_2811.gif max-codes.gif set_hsts.gif", S::ok, gifPillow,
     "minimum code sizes 11 (the table full at once) and 1; codes past the last row not read"},
    {"gif", "image-zero-width.gif no-data.gif", S::corrupt, refused, "width 0; no image"},
    {"gif", "image-zero-height.gif image-zero-size.gif", S::truncated, refused,
     "the file ends inside the local table (peers show the screen)"},
    {"hostile/gif", "decompression_bomb_extents.gif", S::ok, gifLast, "an image at (65535, 65535)"},
    {"hostile/gif", "invalid-colors.gif", S::ok, black, "index 2 of a two-entry table"},
    {"hostile/gif", "pixel-data-n*.gif", S::ok, noRows, "the end code before the first row is complete"},
    {"hostile/gif", "pixel-data-too-much-bad-lzw.gif", S::ok, gifPillow,
     "a code no table holds, past the last row"},
    {"hostile/gif", "invalid-code.gif", S::ok, black,
     "first codes past the free slot are index 0 (ImageMagick shows this black too, with an error)"},
    {"hostile/gif", "hippopotamus.interlaced.truncated.gif bomb-*", S::truncated, refused,
     "the data cut short; too few codes for the pixels declared"},
    {"hostile/gif", "*", S::corrupt, refused,
     "no image; minimum code sizes 0, 12, 143 and 255; sides of 0"},
};

const std::vector<Row> kPcx = {
    {"pcx", "24bit.pcx bw.pcx rgb.pcx sample.pcx", S::ok, magick, "24 bits, lines odd and padded"},
    {"pcx", "indexed4.pcx indexed8.pcx odd_stride.pcx 256-palette.pcx", S::ok, magick,
     "4 and 8 bits, an odd line, a line longer than its row"},
    {"pcx", "16color.pcx p_4_planes.pcx", S::ok, magick, "four 1-bit planes, the index's bits"},
    {"pcx", "pil184.pcx mono.pcx", S::ok, magickBits, "1 bit: widths not a multiple of 8; a black palette"},
    {"hostile/pcx", "*", S::corrupt, refused, "lines shorter than their rows"},
    {"hostile/pcx", "bomb-*", S::truncated, refused, "too few runs for the lines declared"},
};

const std::vector<Row> kPsd = {
    {"psd", "*", S::ok, psdSamples, "every colour mode, 8 and 16 bits, raw and PackBits, extra channels"},
    {"psd", "16bit-rle.psd", S::ok, opaque, "16-bit PackBits, which stb_image decodes as 8-bit"},
    {"psd", "53alphas.psd", S::ok, unchecked, "57 channels: stb_image reads up to 16"},
    {"psd", "4x4_1bit_bitmap.psd bitmap.psd", S::ok, magick,
     "bitmap pictures, raw and PackBits: 0 white, 1 black"},
    {"psd", "1layer.psb 32bit5x5.psd 4x4_32bit_* transparentbg.psd", S::ok, magickUnblended,
     "version 2, the large-document format; 32-bit floating-point samples, trunc(f x 255) clamped to 0-255"},
    {"hostile/psd", "psd-oob-write*.psd", S::ok, psdSamples, "the faults are in layers"},
    {"hostile/psd", "combined_larger_than_size.psd bomb-*", S::truncated, refused, "no image data; too little"},
    {"hostile/psd", "timeout-1ee2* timeout-5988* timeout-c8ef*", S::corrupt, refused,
     "compression 65535; resources past their section"},
    {"hostile/psd", "timeout-dedc7*", S::ok, magick, "zero bytes after the last resource, the last 2 too few for a signature"},
};

const std::vector<Row> kJpg = {
    {"jpeg", "*", S::ok, library, "baseline, progressive, grey, colour, CMYK, odd sizes, subsampling"},
    {"jpeg", "jpeg_lossless_sel1.jpg monkey12.jpg", S::unsupportedVariant, refused,
     "the lossless process; 12-bit samples"},
    {"hostile/jpeg", "*", S::ok, library, "cut short, stray bytes, bad comment lengths, lacking scans"},
    {"hostile/jpeg", "afl-004143-splice.jpg derive-huffman-codes-overflow.jpg "
     "invalid-dimensions.jpg null_height.jpg missing-*", S::corrupt, refused,
     "a bad scan header, Huffman table or sampling factors; a side of 0; no frame; no scan"},
    {"hostile/jpeg", "empty.jpg oss-fuzz-36829.jpeg ultrahdr.jpg bomb-* afl-004675-flip1.jpg", S::truncated,
     refused, "no bytes at all; too few for the blocks declared; no scan data; a marker in the first row"},
    {"hostile/jpeg", "invalid-prediction-shift.jpg", S::unsupportedVariant, refused, "the lossless process"},
    {"hostile/jpeg", "jpg-size-6x6.jpg", S::notThisFormat, refused, "PNG data"},
    {"hostile/jpeg", "max_size.jpg", S::tooLarge, refused, "65535 x 65535 pixels"},
};
// clang-format on

// stb_image's TGA picture under our rules: only a top-left origin is top-down (stb_image reads top-right
// files top-down too); alpha 255 unless the pixel depth is 32; a 5-bit component c becomes c x 8 with the
// low three bits set when c is not 0 (stb_image: c x 255 / 31).
std::vector<DWORD> TgaRules(const Bytes& file, const ReadResult& theirs) {
    const unsigned bits = file[2] % 8 == 1 ? file[7] : file[16];  // colour-mapped types 1 and 9: the entries'
    const bool fiveBits = file[2] % 8 != 3 && (bits == 15 || bits == 16);  // not grey (types 3 and 11)
    const int width = theirs.rect.Width(), height = theirs.rect.Height();
    std::vector<DWORD> pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            DWORD word = theirs.At(x, (file[17] & 0x30) == 0x30 ? height - 1 - y : y);
            for (int shift = 0; fiveBits && shift < 24; shift += 8) {
                const DWORD c = ((word >> shift & 0xFF) * 31 + 127) / 255;
                word = (word & ~(0xFFu << shift)) | (c ? c << 3 | 7 : 0) << shift;
            }
            pixels.push_back(word | (file[16] == 32 ? 0 : 0xFF000000u));
        }
    return pixels;
}

// The last image of a GIF file as a file of its own: the header, a screen of the image's size, the global
// table, the image moved to (0, 0) and the trailer. No extension is kept, so no index is transparent.
Bytes LastImageAlone(const Bytes& file) {
    const auto table = [&](size_t packed) {
        return file[packed] & 0x80 ? 3u * (2u << (file[packed] & 7)) : 0;
    };
    const auto afterSubBlocks = [&](size_t at) {
        while (at < file.size() && file[at] != 0) at += file[at] + 1u;
        return std::min(at + 1, file.size());
    };
    const long globalEnd = 13 + table(10);
    size_t start = 0, end = 0;
    for (size_t at = globalEnd; at + 10 < file.size() && (file[at] == 0x2C || file[at] == 0x21);)
        at = file[at] == 0x21 ? afterSubBlocks(at + 2)
                              : (start = at, end = afterSubBlocks(at + 11 + table(at + 9)));
    Bytes alone(file.begin(), file.begin() + globalEnd);
    alone.insert(alone.end(), file.begin() + static_cast<long>(start), file.begin() + static_cast<long>(end));
    std::copy_n(file.begin() + static_cast<long>(start + 5), 4, alone.begin() + 6);  // the screen's size
    std::fill_n(alone.begin() + globalEnd + 1, 4, 0);                                // the image at (0, 0)
    alone.push_back(0x3B);
    return alone;
}

// What the PSD reader's conversion makes of one pixel's samples s[0..3] (high bytes), by the formulas of its
// design in double precision; an indexed file's colour table is its colour-mode data.
DWORD PsdConverted(const Bytes& file, const unsigned* s) {
    const unsigned mode = file[25], channels = file[13];
    const auto clamp = [](double value) {
        return static_cast<DWORD>(std::clamp(std::trunc(value), 0.0, 255.0));
    };
    const auto table = [&](unsigned third) { return DWORD{file[30 + 256 * third + s[0]]}; };
    DWORD word = 0xFF000000u;
    if (mode == 1 || mode == 8) return word | s[0] * 0x010101u;  // grey and duotone
    if (mode == 2) return word | table(0) << 16 | table(1) << 8 | table(2);
    if (mode == 3) return (channels >= 4 ? s[3] : 255) << 24 | s[0] << 16 | s[1] << 8 | s[2];
    // CMYK and multichannel: c = 1 - s / 256, k = 1 - key / 256 (or 0); the colour (1 - (c (1 - k) + k)) 255.
    const double k = mode == 4 || channels == 4 ? 1 - s[3] / 256.0 : 0;
    for (int i = 0; i < 3 && (mode == 4 || mode == 7); ++i)
        word = word << 8 | clamp((1 - ((1 - s[i] / 256.0) * (1 - k) + k)) * 255);
    if (mode != 9) return mode == 4 || mode == 7 ? word | 0xFF000000u : 0;
    // Lab through XYZ (D65) to sRGB.
    const int l = static_cast<int>(s[0] / 2.56), a = static_cast<int>(s[1] - 128.0),
              b = static_cast<int>(s[2] - 128.0);
    const double fy = (l + 16) / 116.0, fx = a / 500.0 + fy, fz = fy - b / 200.0;
    const auto t = [](double f) { return f * f * f > 0.008856 ? f * f * f : (f - 16.0 / 116) / 7.787; };
    const double x = 95.047 * t(fx) / 100, y = 100 * t(fy) / 100, z = 108.883 * t(fz) / 100;
    for (const double u : {3.2406 * x - 1.5372 * y - 0.4986 * z, -0.9689 * x + 1.8758 * y + 0.0415 * z,
                           0.0557 * x - 0.2040 * y + 1.0570 * z})
        word = word << 8 | clamp((u > 0.0031308 ? 1.055 * std::pow(u, 1 / 2.4) - 0.055 : 12.92 * u) * 256);
    return word | 0xFF000000u;
}

// ImageMagick's pixel word of a bit-field BMP (each component's bits at the top of its byte, cut to 8) with
// the components widened as we widen them: a mask's bits repeated down the byte when it has fewer than 8.
DWORD FieldsWidened(const Bytes& file, DWORD word) {
    const auto field = [&](size_t at) {
        return std::uint32_t{file[at]} | file[at + 1] << 8 | file[at + 2] << 16 |
               std::uint32_t{file[at + 3]} << 24;
    };
    const bool alpha = field(14) >= 56 || field(30) == 6;  // a mask in the header, or a fourth after 40 bytes
    const std::uint32_t masks[4] = {alpha ? field(66) : 0, field(54), field(58), field(62)};  // A, R, G, B
    for (int c = 0, shift = 24; c < 4; ++c, shift -= 8) {
        DWORD top = word >> shift & 0xFF;
        for (int bits = std::popcount(masks[c]); bits > 0 && bits < 8; bits *= 2) top |= top >> bits;
        word = (word & ~(0xFFu << shift)) | top << shift;
    }
    return word;
}

// The pixels (no size) another program writes to its standard output as R, G, B, A samples of sampleBytes
// bytes, the most significant kept; none when the program fails or is not installed.
ReadResult FromProgram(const std::string& command, size_t sampleBytes = 1) {
    std::FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
    ReadResult result;
    const size_t s = sampleBytes;
    for (std::uint8_t p[8]; pipe && std::fread(p, s, 4, pipe) == 4;)
        result.pixels.push_back(DWORD{p[3 * s]} << 24 | DWORD{p[0]} << 16 | DWORD{p[s]} << 8 | p[2 * s]);
    if (!pipe || pclose(pipe) != 0) result.pixels.clear();
    return result;
}

// The reference picture of a file that loaded, as its row's check says.
ReadResult Reference(const Row& row, Bytes file, const std::string& path, const ReadResult& ours, Reader reader) {
    const Check check = row.check;
    if (check == sameAs || check == runLength)
        return ReadWithBothEntries(Wide(TestDataPath(row.reference)), reader.read, reader.exported);
    if (check == magick || check == magickBits || check == magickUnblended)
        return FromProgram("convert '" + path + "[0]' -depth 8 rgba:-");
    if (check == magickFields) return FromProgram("convert '" + path + "' -depth 16 -endian MSB rgba:-", 2);
    if (check == library) return ExpectedJpegPixels(file, RowsAboveZeroRows(ours.pixels.data(), ours.rect));
    if (check == psdSamples) file[25] = 3;  // as RGB, stb_image reads the first four channels of any mode
    if (check != gifPillow && check != pillow)
        return DecodeWithStb(check == gifLast ? LastImageAlone(file) : file);
    ScratchFolder folder;
    WriteFileBytes(folder.File("picture"), check == gifPillow ? LastImageAlone(file) : file);
    return FromProgram(
        "PATH=$(getconf PATH) python3 -c \"import sys; from PIL import Image; "
        "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert('RGBA').tobytes())\" " +
        folder.File("picture"));
}

int notCompared = 0;  // files whose reference program (Pillow, ImageMagick) is not installed

void CheckPixels(const Row& row, const std::string& path, const ReadResult& ours, Reader reader) {
    const Bytes file = ReadFileBytes(path);
    const Check check = row.check;
    ReadResult theirs = check < sameAs ? ours : Reference(row, file, path, ours, reader);
    if (check >= pillow) {  // another program's
        if (theirs.pixels.empty()) return void(++notCompared);
        theirs.rect = ours.rect;  // their count is compared
    }
    ASSERT_EQ(theirs.rect.Size(), ours.rect.Size()) << "the reference's size";
    ASSERT_EQ(theirs.pixels.size(), ours.pixels.size()) << "the reference's pixels";
    if (check == tgaStb) {
        const auto field = [&](size_t at) { return file[at] | file[at + 1] << 8; };
        EXPECT_EQ(ours.rect, CRect(field(8), field(10), field(8) + field(12), field(10) + field(14)));
        theirs.pixels = TgaRules(file, theirs);
    }
    size_t matted = 0;
    for (size_t i = 0; i < ours.pixels.size(); ++i) {
        const DWORD our = ours.pixels[i];
        DWORD& their = theirs.pixels[i];
        const unsigned s[4] = {their >> 16 & 0xFF, their >> 8 & 0xFF, their & 0xFF, their >> 24};
        const size_t entry = their == 0xFF000000u ? 16 + 3 : 16;  // PCX header palette entry 1 or 0
        if (check == opaque || check == stbOpaque) their |= 0xFF000000u;
        if (check == black || check == noRows) their = check == black ? 0xFF000000u : 0;
        if (check == stb555) their &= 0xFFF8F8F8u;
        if (check == magickFields) their = FieldsWidened(file, their);
        if (check == runLength && our == 0) their = 0;
        if (check == stbOrBlack && our == 0xFF000000u) their = our;
        if (check == magickBits)
            their = 0xFF000000u | DWORD{file[entry]} << 16 | DWORD{file[entry + 1]} << 8 | file[entry + 2];
        // stb_image mattes the colours of a pixel whose fourth of four or more channels is neither 0 nor 255:
        // only the fourth sample, an RGB picture's alpha, is known.
        if (check == psdSamples && (file[13] < 4 || s[3] == 0 || s[3] == 255))
            their = PsdConverted(file, s);
        else if (check == psdSamples && ++matted)
            their = file[25] == 3 ? (our & 0xFFFFFFu) | (their & 0xFF000000u) : our;
        if (check == magickUnblended && s[3] != 0 && s[3] != 255 && ++matted)
            their = (our & 0xFFFFFFu) | (their & 0xFF000000u);
    }
    EXPECT_TRUE(matted == 0 || matted < ours.pixels.size()) << "no pixel compared in full";
    ExpectSamePixels(ours.pixels, theirs.pixels, row.reference ? row.reference : "the reference decoding");
}

// The probe of a file that loads must report the reader's rectangle and the bit count its header stores (in a
// 12-byte header at offset 10, else at 14).
void ExpectBmpProbeAgrees(const std::string& path, const ReadResult& ours) {
    const Bytes file = ReadFileBytes(path);
    ByteSource source(file.data(), file.size());
    PictureHeader header;
    ASSERT_TRUE(ProbeBmp(source, header)) << "the probe refuses what the reader reads";
    EXPECT_EQ(CRect(header.rect), ours.rect) << "the probe's rectangle";
    const size_t bitCount = 14 + (file[14] == 12 ? 10 : 14);
    EXPECT_EQ(header.bits, file[bitCount] | file[bitCount + 1] << 8) << "the probe's bits";
}

// Reads every file of the rows' folders, each of which one row must name, with both entry points of the
// reader; checks its status, the pixels of those that load and what the probe (when given) says of them.
void CheckFormat(const std::vector<Row>& rows, Reader reader,
                 void (*probe)(const std::string&, const ReadResult&)) {
    std::set<std::string> folders;
    for (const Row& row : rows) folders.insert(row.folder);
    notCompared = 0;
    for (const std::string& folder : folders)
        for (const auto& entry : std::filesystem::directory_iterator(TestDataPath(folder))) {
            const std::string name = entry.path().filename().string(), path = entry.path().string();
            std::vector<const Row*> naming, rest;  // the rows naming the file by name or pattern; by "*"
            for (const Row& row : rows) {
                std::istringstream patterns(row.names);
                for (std::string p; row.folder == folder && patterns >> p;)
                    if (p == "*" || fnmatch(p.c_str(), name.c_str(), 0) == 0)
                        (p == "*" ? rest : naming).push_back(&row);
            }
            if (name == "ATTRIBUTION.tsv") continue;
            if (naming.empty()) naming = rest;
            SCOPED_TRACE(folder + "/" + name + (naming.empty() ? "" : std::string(": ") + naming[0]->reason));
            ASSERT_EQ(naming.size(), 1u) << "rows naming the file";
            const ReadResult result = ReadWithBothEntries(Wide(path), reader.read, reader.exported);
            EXPECT_EQ(result.status, naming[0]->status);
            if (result.status == S::ok && naming[0]->status == S::ok)
                CheckPixels(*naming[0], path, result, reader);
            if (result.status == S::ok && probe) probe(path, result);
        }
    if (notCompared)
        GTEST_SKIP() << notCompared << " files not compared: Pillow or ImageMagick is not installed";
}

}  // namespace

// clang-format off
TEST(ReaderCorpus, Bmp) { CheckFormat(kBmp, {ReadBmpFile, KivPictureLoadBMPFile}, ExpectBmpProbeAgrees); }
TEST(ReaderCorpus, Tga) { CheckFormat(kTga, {ReadTgaFile, KivPictureLoadTGAFile}, nullptr); }
TEST(ReaderCorpus, Gif) { CheckFormat(kGif, {ReadGifFile, KivPictureLoadGIFFile}, nullptr); }
TEST(ReaderCorpus, Pcx) { CheckFormat(kPcx, {ReadPcxFile, KivPictureLoadPCXFile}, nullptr); }
TEST(ReaderCorpus, Psd) { CheckFormat(kPsd, {ReadPsdFile, KivPictureLoadPSDFile}, nullptr); }
TEST(ReaderCorpus, Jpg) { CheckFormat(kJpg, {ReadJpgFile, KivPictureLoadJPGFile}, nullptr); }
// clang-format on

// The most compressible pictures that independent encoders write, one colour over 4000 x 4000 pixels, must
// pass every reader's least-data bound: the bounds refuse only files that cannot hold their picture.
TEST(ReaderBounds, MostCompressibleFilesLoad) {
    ScratchFolder folder;
    notCompared = 0;
    const std::string magick = "convert -size 4000x4000 xc:#336699 ", pillow = "python3 -c \"from PIL import Image; "
        "im = Image.new('RGB', (4000, 4000), (0x33, 0x66, 0x99)); im.save(";
    const std::pair<const char*, std::string> files[] = {
        {"rle.tga", magick + "-compress RLE rle.tga"}, {"runs.pcx", magick + "runs.pcx"},
        {"rle8.bmp", magick + "-type Palette -compress RLE BMP3:rle8.bmp"}, {"lzw.gif", magick + "lzw.gif"},
        {"packbits.psd", magick + "-compress RLE packbits.psd"},
        {"baseline.jpg", pillow + "'baseline.jpg')\""},
        {"optimised.jpg", pillow + "'optimised.jpg', optimize=True)\""},
        {"progressive.jpg", pillow + "'progressive.jpg', progressive=True, optimize=True)\""},
        {"grey.jpg", pillow + "'grey.jpg'); im.convert('L').save('grey.jpg', optimize=True)\""}};
    for (const auto& [name, command] : files) {
        SCOPED_TRACE(name);
        const std::string run = "cd '" + folder.Path().string() + "' && PATH=$(getconf PATH) " + command;
        if (std::system((run + " 2>/dev/null").c_str()) != 0 && ++notCompared) continue;
        const DecodedPicture picture = LoadPicture(Wide(folder.File(name)));
        ASSERT_TRUE(picture.ok()) << KivLoadStatusText(picture.status);
        EXPECT_EQ(picture.rect, CRect(0, 0, 4000, 4000));
        const DWORD first = picture.pixels.get()[0], last = picture.pixels.get()[4000 * 4000 - 1];
        EXPECT_EQ(first, last) << "one colour, coded to the last pixel";
        EXPECT_EQ(first, std::string_view(name).ends_with(".jpg") ? first : 0xFF336699u) << "the colour";
    }
    if (notCompared) GTEST_SKIP() << "ImageMagick or Pillow is not installed";
}
