// Decode speed of our readers beside two independent decoders, stb_image and FreeImage, and beside the floor
// of any reader: a fresh pixel buffer of the same size filled by one copy (see Floors below).
//
// Each row's file is written the first time one of its benchmarks runs, into the scratch folder: large
// (4000 x 3000) photo-like pictures, written byte by byte here, through libjpeg's compressor, or with our
// own writer where it produces the variant (24-bit PCX). The row then decodes the file once with every
// library and notes whether the peers see the same colours as ours, so that a fast figure is never the
// figure of a wrong decode. Each benchmark times one decode from the file's path to 32-bit pixels: ours by
// design, stb_image asked for four channels, FreeImage through FreeImage_ConvertTo32Bits. A library that
// does not read a variant has no column for it.
//
// Our JPEG reader quantises colour pictures to 128 colours with the library's quantiser (its default
// settings: two passes, Floyd-Steinberg dithering), while the peers decode to full colour, FreeImage by
// default with the library's fast integer transform and plain upsampling. The colour JPEG row therefore
// also times libjpeg's own quantised decode of the same file with the same settings, stopping at the
// library's rows of colour indices: the floor under anything built on that library call.
//
// The colour JPEG file has a second row for the reader's full-colour choice, beside libjpeg's own
// full-colour decode of it to 32-bit B, G, R, A rows of one whole-picture buffer (its fastest path, with
// the same default transform and upsampling as ours): the floor for that choice, where the peers are the
// same as for the quantised row.

#include <FreeImage.h>
#include <stb/stb_image.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>  // after <cstdio>, which it needs
#include <sys/mman.h>

#include "BenchSupport.h"
#include "KivPicture.h"

namespace bench {
namespace {

constexpr int kWidth = kLargeWidth;
constexpr int kHeight = kLargeHeight;
constexpr int kQuantisedColours = 128;

// ---- BMP files ------------------------------------------------------------------------------------------

struct BitmapFile {
    int width = 0;
    int height = 0;  // positive: rows stored bottom-up
    unsigned bitsPerPixel = 0;
    unsigned compression = 0;  // 0 = none, 1 = run-length 8 bits
    std::vector<Rgb> palette;
    Bytes pixelData;  // the rows as stored, padding included
};

// A file header, a 40-byte information header, the palette and the rows.
Bytes EncodeBitmap(const BitmapFile& bitmap) {
    constexpr unsigned kHeadersBytes = 14 + 40;
    const auto paletteBytes = static_cast<unsigned>(bitmap.palette.size() * 4);
    const unsigned dataOffset = kHeadersBytes + paletteBytes;
    const auto dataBytes = static_cast<unsigned>(bitmap.pixelData.size());
    Bytes out;
    out.reserve(dataOffset + dataBytes);
    out.push_back('B');
    out.push_back('M');
    PutLE32(out, dataOffset + dataBytes);
    PutLE32(out, 0);
    PutLE32(out, dataOffset);
    PutLE32(out, 40);
    PutLE32(out, static_cast<unsigned>(bitmap.width));
    PutLE32(out, static_cast<unsigned>(bitmap.height));
    PutLE16(out, 1);
    PutLE16(out, bitmap.bitsPerPixel);
    PutLE32(out, bitmap.compression);
    PutLE32(out, dataBytes);
    PutLE32(out, 2835);  // 72 dots per inch
    PutLE32(out, 2835);
    PutLE32(out, static_cast<unsigned>(bitmap.palette.size()));
    PutLE32(out, 0);
    for (const Rgb& c : bitmap.palette) {
        out.push_back(c.blue);
        out.push_back(c.green);
        out.push_back(c.red);
        out.push_back(0);
    }
    out.insert(out.end(), bitmap.pixelData.begin(), bitmap.pixelData.end());
    return out;
}

size_t StoredRowBytes(int width, unsigned bitsPerPixel) {
    return (static_cast<size_t>(width) * bitsPerPixel + 31) / 32 * 4;
}

Bytes BitmapTrueColour(unsigned bitsPerPixel) {
    BitmapFile bitmap{kWidth, kHeight, bitsPerPixel, 0, {}, {}};
    const size_t rowBytes = StoredRowBytes(kWidth, bitsPerPixel);
    bitmap.pixelData.assign(rowBytes * kHeight, 0);
    const auto& photo = Photo(kWidth, kHeight);
    for (int stored = 0; stored < kHeight; ++stored) {
        unsigned char* row = bitmap.pixelData.data() + rowBytes * static_cast<size_t>(stored);
        const std::uint32_t* in = photo.data() + static_cast<size_t>(kHeight - 1 - stored) * kWidth;
        for (int x = 0; x < kWidth; ++x) {
            unsigned char* p = row + static_cast<size_t>(x) * (bitsPerPixel / 8);
            p[0] = static_cast<unsigned char>(in[x]);
            p[1] = static_cast<unsigned char>(in[x] >> 8);
            p[2] = static_cast<unsigned char>(in[x] >> 16);  // a fourth byte stays 0 as most writers leave it
        }
    }
    return EncodeBitmap(bitmap);
}

Bytes BitmapPaletted() {
    const IndexedPicture& picture = IndexedPhoto(kWidth, kHeight);
    BitmapFile bitmap{kWidth, kHeight, 8, 0, picture.palette, {}};
    const size_t rowBytes = StoredRowBytes(kWidth, 8);
    bitmap.pixelData.assign(rowBytes * kHeight, 0);
    for (int stored = 0; stored < kHeight; ++stored)
        std::copy_n(picture.indices.data() + static_cast<size_t>(kHeight - 1 - stored) * kWidth, kWidth,
                    bitmap.pixelData.data() + rowBytes * static_cast<size_t>(stored));
    return EncodeBitmap(bitmap);
}

// Flat bands of colour (long runs) with boxes of fine detail (literal stretches) and thin stripes (short
// runs), the mix a drawing or a screenshot gives a run-length coder.
unsigned char DrawingIndex(int x, int y, Noise& noise) {
    if ((x / 200 + y / 150) % 7 == 0) return static_cast<unsigned char>(noise.Next(127) + 128);
    if ((x / 400 + y / 300) % 5 == 1 && x % 37 < 3) return 250;
    const double field = std::sin(x * 0.002) * std::cos(y * 0.003) + std::sin((x + y) * 0.0011);
    return static_cast<unsigned char>(static_cast<int>((field + 2) * 6) * 8);
}

// Codes one row, without its end code, the usual way: repeats of three or more as coded runs, other
// stretches of three or more as literal runs, anything shorter as coded runs of one or two.
void EncodeBitmapRunLengthRow(const unsigned char* row, int width, Bytes& out) {
    const auto repeatAt = [&](int i) {
        int n = 1;
        while (i + n < width && n < 255 && row[i + n] == row[i]) ++n;
        return n;
    };
    for (int i = 0; i < width;) {
        if (const int run = repeatAt(i); run >= 3) {
            out.push_back(static_cast<unsigned char>(run));
            out.push_back(row[i]);
            i += run;
            continue;
        }
        int end = i;
        while (end < width && end - i < 255 && (end == i || repeatAt(end) < 3)) ++end;
        const int count = end - i;
        if (count >= 3) {
            out.push_back(0);
            out.push_back(static_cast<unsigned char>(count));
            out.insert(out.end(), row + i, row + end);
            if (count % 2) out.push_back(0);
        } else {
            for (int k = i; k < end; ++k) {
                out.push_back(1);
                out.push_back(row[k]);
            }
        }
        i = end;
    }
}

Bytes BitmapRunLength() {
    BitmapFile bitmap{kWidth, kHeight, 8, 1, {}, {}};
    for (int i = 0; i < 256; ++i)
        bitmap.palette.push_back({Clamp(255 - i), Clamp(i * 0.9), Clamp(64 + 96 * std::cos(i * 0.04))});
    Noise noise;
    std::vector<unsigned char> row(kWidth);
    for (int stored = 0; stored < kHeight; ++stored) {
        const int y = kHeight - 1 - stored;
        for (int x = 0; x < kWidth; ++x) row[static_cast<size_t>(x)] = DrawingIndex(x, y, noise);
        EncodeBitmapRunLengthRow(row.data(), kWidth, bitmap.pixelData);
        // The last row ends with the end-of-bitmap code alone, as FreeImage needs.
        bitmap.pixelData.push_back(0);
        bitmap.pixelData.push_back(stored == kHeight - 1 ? 1 : 0);
    }
    return EncodeBitmap(bitmap);
}

// ---- TGA files ------------------------------------------------------------------------------------------

enum class TgaKind { trueColour24, trueColour32, colourMapped8 };

// Run-length packets of one row of pixels of pixelBytes each, the usual way: two or more equal pixels as a
// run packet, other stretches as raw packets, no packet longer than 128 pixels or crossing the row's end.
void EncodeTgaRow(const unsigned char* row, int width, unsigned pixelBytes, Bytes& out) {
    const auto same = [&](int a, int b) {
        return std::equal(row + static_cast<size_t>(a) * pixelBytes,
                          row + static_cast<size_t>(a + 1) * pixelBytes,
                          row + static_cast<size_t>(b) * pixelBytes);
    };
    for (int i = 0; i < width;) {
        int run = 1;
        while (i + run < width && run < 128 && same(i, i + run)) ++run;
        if (run >= 2) {
            out.push_back(static_cast<unsigned char>(0x80 | (run - 1)));
            out.insert(out.end(), row + static_cast<size_t>(i) * pixelBytes,
                       row + static_cast<size_t>(i + 1) * pixelBytes);
            i += run;
            continue;
        }
        int end = i + 1;
        while (end < width && end - i < 128 && !(end + 1 < width && same(end, end + 1))) ++end;
        out.push_back(static_cast<unsigned char>(end - i - 1));
        out.insert(out.end(), row + static_cast<size_t>(i) * pixelBytes,
                   row + static_cast<size_t>(end) * pixelBytes);
        i = end;
    }
}

// A version 1 file stored bottom-up, as most writers store it: 24-bit and 32-bit true colour (the 32-bit
// one with a smooth alpha ramp and 8 attribute bits), or 8-bit indices into a 256-entry 24-bit colour map.
Bytes TgaFile(TgaKind kind, bool runLength) {
    const bool mapped = kind == TgaKind::colourMapped8;
    const unsigned pixelBytes = kind == TgaKind::trueColour24 ? 3 : kind == TgaKind::trueColour32 ? 4 : 1;
    Bytes out;
    out.push_back(0);               // ID length
    out.push_back(mapped ? 1 : 0);  // colour-map type
    out.push_back(static_cast<unsigned char>((mapped ? 1 : 2) + (runLength ? 8 : 0)));
    PutLE16(out, 0);                 // first colour-map index
    PutLE16(out, mapped ? 256 : 0);  // colour-map length
    out.push_back(mapped ? 24 : 0);  // colour-map entry size
    PutLE16(out, 0);                 // origin
    PutLE16(out, 0);
    PutLE16(out, kWidth);
    PutLE16(out, kHeight);
    out.push_back(static_cast<unsigned char>(pixelBytes * 8));
    out.push_back(kind == TgaKind::trueColour32 ? 8 : 0);  // attribute bits; bottom-up
    const IndexedPicture* indexed = mapped ? &IndexedPhoto(kWidth, kHeight) : nullptr;
    if (indexed)
        for (const Rgb& c : indexed->palette) out.insert(out.end(), {c.blue, c.green, c.red});

    const auto& photo = Photo(kWidth, kHeight);
    std::vector<unsigned char> row(static_cast<size_t>(kWidth) * pixelBytes);
    for (int stored = 0; stored < kHeight; ++stored) {
        const size_t y = static_cast<size_t>(kHeight - 1 - stored);
        if (indexed) {
            std::copy_n(indexed->indices.data() + y * kWidth, kWidth, row.data());
        } else {
            for (int x = 0; x < kWidth; ++x) {
                const std::uint32_t word = photo[y * kWidth + static_cast<size_t>(x)];
                unsigned char* p = row.data() + static_cast<size_t>(x) * pixelBytes;
                p[0] = static_cast<unsigned char>(word);
                p[1] = static_cast<unsigned char>(word >> 8);
                p[2] = static_cast<unsigned char>(word >> 16);
                if (pixelBytes == 4) p[3] = static_cast<unsigned char>(64 + 191 * x / kWidth);
            }
        }
        if (runLength)
            EncodeTgaRow(row.data(), kWidth, pixelBytes, out);
        else
            out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

// ---- GIF files ------------------------------------------------------------------------------------------

// The 3-3-2 photo as a GIF89a file with a 256-entry global colour table, plain or interlaced.
Bytes GifFile(bool interlaced) {
    const IndexedPicture& picture = IndexedPhoto(kWidth, kHeight);
    Bytes indices;
    indices.reserve(picture.indices.size());
    const auto addRow = [&](int y) {
        const auto* row = picture.indices.data() + static_cast<size_t>(y) * kWidth;
        indices.insert(indices.end(), row, row + kWidth);
    };
    if (interlaced) {
        constexpr int kFirst[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int y = kFirst[pass]; y < kHeight; y += kStep[pass]) addRow(y);
    } else {
        for (int y = 0; y < kHeight; ++y) addRow(y);
    }
    return ::bench::GifFile(kWidth, kHeight, picture.palette, indices, interlaced);
}

// ---- JPEG files -----------------------------------------------------------------------------------------

// The large photo, or its grey levels, as a camera would write it.
void WriteJpegFile(const std::string& path, bool grey) {
    WritePhotoJpeg(path, kWidth, kHeight, grey);
}

// ---- PCX files ------------------------------------------------------------------------------------------

// 24-bit files come from our own writer, which writes exactly that layout.
void WritePcx24File(const std::string& path) {
    std::vector<DWORD> pixels(Photo(kWidth, kHeight).begin(), Photo(kWidth, kHeight).end());
    if (!KivPictureSavePCXFile(CString::FromUtf8(path), pixels.data(), CSize(kWidth, kHeight),
                               CRect(0, 0, kWidth, kHeight)))
        Fail("our PCX writer failed on " + path);
}

// The 3-3-2 photo as an 8-bit file with the 256-entry palette after the image data.
Bytes Pcx8File() {
    const IndexedPicture& picture = IndexedPhoto(kWidth, kHeight);
    Bytes out(128, 0);
    out[0] = 10;  // manufacturer
    out[1] = 5;   // version
    out[2] = 1;   // run-length coded
    out[3] = 8;   // bits per pixel
    const auto put16 = [&](size_t at, unsigned value) {
        out[at] = static_cast<unsigned char>(value);
        out[at + 1] = static_cast<unsigned char>(value >> 8);
    };
    put16(8, kWidth - 1);
    put16(10, kHeight - 1);
    put16(12, 72);
    put16(14, 72);
    out[65] = 1;        // planes
    put16(66, kWidth);  // bytes per line (even)
    put16(68, 1);       // colour palette
    for (int y = 0; y < kHeight; ++y) {
        const unsigned char* row = picture.indices.data() + static_cast<size_t>(y) * kWidth;
        for (int x = 0; x < kWidth;) {
            int run = 1;
            while (x + run < kWidth && run < 63 && row[x + run] == row[x]) ++run;
            if (run > 1 || row[x] >= 0xC0) out.push_back(static_cast<unsigned char>(0xC0 + run));
            out.push_back(row[x]);
            x += run;
        }
    }
    out.push_back(12);
    for (const Rgb& c : picture.palette) out.insert(out.end(), {c.red, c.green, c.blue});
    return out;
}

// ---- PSD files ------------------------------------------------------------------------------------------

// The photo as an 8-bit RGB or CMYK file, composite image in PackBits, no resources and no layers. CMYK
// samples store 255 for no ink, as the format does.
Bytes PsdFile(bool cmyk) {
    const unsigned channels = cmyk ? 4 : 3;
    const auto& photo = Photo(kWidth, kHeight);
    std::vector<Bytes> planes(channels, Bytes(photo.size()));
    for (size_t i = 0; i < photo.size(); ++i) {
        const unsigned red = photo[i] >> 16 & 0xFF, green = photo[i] >> 8 & 0xFF, blue = photo[i] & 0xFF;
        if (!cmyk) {
            planes[0][i] = static_cast<unsigned char>(red);
            planes[1][i] = static_cast<unsigned char>(green);
            planes[2][i] = static_cast<unsigned char>(blue);
            continue;
        }
        const unsigned most = std::max({red, green, blue});
        const auto ink = [&](unsigned c) { return most ? (most - c) * 255 / most : 0; };
        planes[0][i] = static_cast<unsigned char>(255 - ink(red));
        planes[1][i] = static_cast<unsigned char>(255 - ink(green));
        planes[2][i] = static_cast<unsigned char>(255 - ink(blue));
        planes[3][i] = static_cast<unsigned char>(most);  // 255 - key
    }
    Bytes out{'8', 'B', 'P', 'S'};
    PutBE16(out, 1);
    out.insert(out.end(), 6, 0);
    PutBE16(out, channels);
    PutBE32(out, kHeight);
    PutBE32(out, kWidth);
    PutBE16(out, 8);
    PutBE16(out, cmyk ? 4 : 3);
    PutBE32(out, 0);  // colour-mode data
    PutBE32(out, 0);  // image resources
    PutBE32(out, 0);  // layers and masks
    PutBE16(out, 1);  // PackBits
    Bytes data, lengths;
    for (const Bytes& plane : planes)
        for (int y = 0; y < kHeight; ++y) {
            const size_t before = data.size();
            PackBitsRow(plane.data() + static_cast<size_t>(y) * kWidth, kWidth, data);
            PutBE16(lengths, static_cast<unsigned>(data.size() - before));
        }
    out.insert(out.end(), lengths.begin(), lengths.end());
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

// ---- The libraries, each from a path to 32-bit pixels ---------------------------------------------------

// Top-down rows of 0x00RRGGBB, alpha left out: the libraries disagree about the alpha of files that store
// none, and that is not what is compared.
using Colours = std::vector<std::uint32_t>;
using OurLoad = DWORD* (*)(const CString&, CRect&);

bool DecodeOurs(OurLoad load, const CString& path, Colours* colours) {
    CRect rect;
    DWORD* pixels = load(path, rect);
    if (!pixels) return false;
    if (colours) {
        const size_t count = static_cast<size_t>(rect.Width()) * static_cast<size_t>(rect.Height());
        colours->resize(count);
        for (size_t i = 0; i < count; ++i) (*colours)[i] = pixels[i] & 0x00FFFFFFu;
    }
    benchmark::DoNotOptimize(pixels);
    GlobalFree(pixels);
    return true;
}

bool DecodeStb(const std::string& path, Colours* colours) {
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load(path.c_str(), &width, &height, &channels, 4);
    if (!pixels) return false;
    if (colours) {
        colours->resize(static_cast<size_t>(width) * static_cast<size_t>(height));
        for (size_t i = 0; i < colours->size(); ++i) {
            const stbi_uc* p = pixels + 4 * i;
            (*colours)[i] =
                static_cast<std::uint32_t>(p[0]) << 16 | static_cast<std::uint32_t>(p[1]) << 8 | p[2];
        }
    }
    benchmark::DoNotOptimize(pixels);
    stbi_image_free(pixels);
    return true;
}

bool DecodeFreeImage(FREE_IMAGE_FORMAT format, const std::string& path, Colours* colours) {
    FIBITMAP* loaded = FreeImage_Load(format, path.c_str(), 0);
    if (!loaded) return false;
    FIBITMAP* converted = FreeImage_ConvertTo32Bits(loaded);
    FreeImage_Unload(loaded);
    if (!converted) return false;
    if (colours) {
        const unsigned width = FreeImage_GetWidth(converted);
        const unsigned height = FreeImage_GetHeight(converted);
        colours->resize(static_cast<size_t>(width) * height);
        for (unsigned y = 0; y < height; ++y) {
            const BYTE* row =
                FreeImage_GetScanLine(converted, static_cast<int>(height - 1 - y));  // bottom-up
            for (unsigned x = 0; x < width; ++x) {
                const BYTE* p = row + 4 * x;
                (*colours)[static_cast<size_t>(y) * width + x] =
                    static_cast<std::uint32_t>(p[FI_RGBA_RED]) << 16 |
                    static_cast<std::uint32_t>(p[FI_RGBA_GREEN]) << 8 | p[FI_RGBA_BLUE];
            }
        }
    }
    benchmark::DoNotOptimize(converted);
    FreeImage_Unload(converted);
    return true;
}

// libjpeg's quantised decode with the settings our reader uses, one row at a time into one row buffer.
// With colours, also expands the indices through the colour map, for the check.
bool DecodeLibjpegQuantised(const std::string& path, Colours* colours) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);  // the standard error exit ends the program
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    info.quantize_colors = TRUE;
    info.desired_number_of_colors = kQuantisedColours;
    jpeg_start_decompress(&info);
    JSAMPARRAY row =
        (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                  info.output_width * static_cast<JDIMENSION>(info.output_components), 1);
    if (colours) colours->resize(static_cast<size_t>(info.output_width) * info.output_height);
    while (info.output_scanline < info.output_height) {
        const size_t y = info.output_scanline;
        jpeg_read_scanlines(&info, row, 1);
        if (colours)
            for (size_t x = 0; x < info.output_width; ++x) {
                const JSAMPLE index = row[0][x];
                (*colours)[y * info.output_width + x] =
                    static_cast<std::uint32_t>(info.colormap[0][index]) << 16 |
                    static_cast<std::uint32_t>(info.colormap[1][index]) << 8 | info.colormap[2][index];
            }
        benchmark::DoNotOptimize(row[0][0]);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return true;
}

// libjpeg's own full-colour decode: B, G, R, A rows straight into one buffer for the whole picture.
bool DecodeLibjpegFullColour(const std::string& path, Colours* colours) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return false;
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);  // the standard error exit ends the program
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_EXT_BGRA;
    jpeg_start_decompress(&info);
    std::vector<std::uint32_t> pixels(static_cast<size_t>(info.output_width) * info.output_height);
    while (info.output_scanline < info.output_height) {
        JSAMPROW rows[16];
        const JDIMENSION first = info.output_scanline;
        const JDIMENSION count = std::min<JDIMENSION>(16, info.output_height - first);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = reinterpret_cast<JSAMPROW>(pixels.data() + static_cast<size_t>(first + i) * info.output_width);
        jpeg_read_scanlines(&info, rows, count);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    if (colours) {
        colours->resize(pixels.size());
        for (size_t i = 0; i < pixels.size(); ++i) (*colours)[i] = pixels[i] & 0x00FFFFFFu;
    }
    benchmark::DoNotOptimize(pixels.data());
    return true;
}

// Our JPEG reader with the full-colour choice.
DWORD* LoadJpgFullColour(const CString& path, CRect& rect) {
    KivPictureSetJpegFullColour(1);
    DWORD* pixels = KivPictureLoadJPGFile(path, rect);
    KivPictureSetJpegFullColour(0);
    return pixels;
}

// ---- Rows -----------------------------------------------------------------------------------------------

struct ReaderCase {
    const char* name;
    const char* file;
    std::function<void(const std::string& path)> write;
    OurLoad ours;
    FREE_IMAGE_FORMAT freeImage;  // FIF_UNKNOWN: FreeImage does not read the variant
    unsigned traits;              // of the flags below
};
constexpr unsigned kStbReads = 1;      // stb_image reads the variant
constexpr unsigned kLossy = 2;         // the peers decode to full colour what ours quantises
constexpr unsigned kLibjpegFloor = 4;  // also time libjpeg's quantised decode
constexpr unsigned kLibjpegFullColour = 8;  // also time libjpeg's own full-colour decode

std::function<void(const std::string&)> Writes(std::function<Bytes()> make) {
    return [make = std::move(make)](const std::string& path) { WriteBytes(path, make()); };
}

// How far another decode's colours are from ours.
std::string Compare(const Colours& ours, const Colours& theirs) {
    if (theirs.size() != ours.size()) return "a different size";
    size_t differing = 0;
    unsigned largest = 0;
    for (size_t i = 0; i < ours.size(); ++i) {
        if (ours[i] == theirs[i]) continue;
        ++differing;
        for (int shift = 0; shift < 24; shift += 8) {
            const int a = static_cast<int>(ours[i] >> shift & 0xFF),
                      b = static_cast<int>(theirs[i] >> shift & 0xFF);
            largest = std::max(largest, static_cast<unsigned>(std::abs(a - b)));
        }
    }
    if (differing == 0) return "same colours";
    char text[96];
    std::snprintf(text, sizeof text, "%.1f%% of pixels differ, by up to %u",
                  100.0 * static_cast<double>(differing) / static_cast<double>(ours.size()), largest);
    return text;
}

// Writes the file, then decodes it once with every library and notes how the others compare with ours.
void PrepareReaderRow(const ReaderCase& c, const std::string& path, ComparisonRow& row) {
    c.write(path);
    Colours ours;
    if (!DecodeOurs(c.ours, CString::FromUtf8(path), &ours))
        Fail(std::string(c.name) + ": our reader refused " + path);
    std::string note = std::to_string(FileBytes(path)) + " bytes";
    const auto check = [&](const char* library, bool reads, const std::function<bool(Colours*)>& decode) {
        if (!reads) return;
        Colours theirs;
        note +=
            std::string("; ") + library + ": " + (decode(&theirs) ? Compare(ours, theirs) : "cannot read");
    };
    check("stb_image", (c.traits & kStbReads) != 0,
          [&](Colours* colours) { return DecodeStb(path, colours); });
    check("FreeImage", c.freeImage != FIF_UNKNOWN,
          [&](Colours* colours) { return DecodeFreeImage(c.freeImage, path, colours); });
    check("libjpeg q128", (c.traits & kLibjpegFloor) != 0,
          [&](Colours* colours) { return DecodeLibjpegQuantised(path, colours); });
    check("libjpeg BGRA", (c.traits & kLibjpegFullColour) != 0,
          [&](Colours* colours) { return DecodeLibjpegFullColour(path, colours); });
    if (c.traits & kLossy) note += "; stb_image and FreeImage decode to full colour, ours to 128 colours";
    row.Note(note);
}

// ---- Floors ---------------------------------------------------------------------------------------------

// What any reader pays to hand over a fresh pixel buffer of the large size: the allocation, its page
// faults and one pass of writes. Two ways to get the memory: the heap's (a fresh zeroed mapping of 4 KiB
// pages) and a mapping aligned and advised for transparent huge pages.
bool CopyIntoCalloc(const std::vector<std::uint32_t>& source) {
    const size_t bytes = source.size() * sizeof source[0];
    void* block = std::calloc(1, bytes);
    if (!block) return false;
    std::memcpy(block, source.data(), bytes);
    benchmark::DoNotOptimize(block);
    std::free(block);
    return true;
}

bool CopyIntoHugePages(const std::vector<std::uint32_t>& source) {
    constexpr size_t kHuge = size_t{2} << 20;
    const size_t bytes = source.size() * sizeof source[0];
    const size_t length = (bytes + kHuge - 1) & ~(kHuge - 1);
    void* raw = mmap(nullptr, length + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return false;
    auto* block = reinterpret_cast<void*>((reinterpret_cast<std::uintptr_t>(raw) + kHuge - 1) & ~(kHuge - 1));
    madvise(block, length, MADV_HUGEPAGE);
    std::memcpy(block, source.data(), bytes);
    benchmark::DoNotOptimize(block);
    munmap(raw, length + kHuge);
    return true;
}

// Each reader's median beside both floors.
void PrintFloorRatios(const RunMedians& medians, const std::vector<std::string>& rows) {
    const double heap = medians.CpuMs("floor/12MP/calloc+copy"), huge = medians.CpuMs("floor/12MP/huge+copy");
    if (heap <= 0 || huge <= 0) return;
    std::printf("\nReaders beside the floors (calloc+copy %.1f ms, huge+copy %.1f ms)\n", heap, huge);
    std::printf("%-18s %9s %13s %12s\n", "row", "ours ms", "ours/calloc", "ours/huge");
    for (const std::string& row : rows) {
        const double ours = medians.CpuMs("read/" + row + "/ours");
        if (ours > 0) std::printf("%-18s %9.1f %13.2f %12.2f\n", row.c_str(), ours, ours / heap, ours / huge);
    }
}

}  // namespace

void RegisterReaderBenchmarks() {
    const std::vector<ReaderCase> cases = {
        {"bmp-rgb24", "rgb24.bmp", Writes([] { return BitmapTrueColour(24); }), KivPictureLoadBMPFile,
         FIF_BMP, kStbReads},
        {"bmp-rgb32", "rgb32.bmp", Writes([] { return BitmapTrueColour(32); }), KivPictureLoadBMPFile,
         FIF_BMP, kStbReads},
        {"bmp-pal8", "pal8.bmp", Writes(BitmapPaletted), KivPictureLoadBMPFile, FIF_BMP, kStbReads},
        {"bmp-rle8", "rle8.bmp", Writes(BitmapRunLength), KivPictureLoadBMPFile, FIF_BMP, 0},
        {"tga-rgb24", "rgb24.tga", Writes([] { return TgaFile(TgaKind::trueColour24, false); }),
         KivPictureLoadTGAFile, FIF_TARGA, kStbReads},
        {"tga-rgb24-rle", "rgb24-rle.tga", Writes([] { return TgaFile(TgaKind::trueColour24, true); }),
         KivPictureLoadTGAFile, FIF_TARGA, kStbReads},
        {"tga-rgb32", "rgb32.tga", Writes([] { return TgaFile(TgaKind::trueColour32, false); }),
         KivPictureLoadTGAFile, FIF_TARGA, kStbReads},
        {"tga-rgb32-rle", "rgb32-rle.tga", Writes([] { return TgaFile(TgaKind::trueColour32, true); }),
         KivPictureLoadTGAFile, FIF_TARGA, kStbReads},
        {"tga-map8", "map8.tga", Writes([] { return TgaFile(TgaKind::colourMapped8, false); }),
         KivPictureLoadTGAFile, FIF_TARGA, kStbReads},
        {"tga-map8-rle", "map8-rle.tga", Writes([] { return TgaFile(TgaKind::colourMapped8, true); }),
         KivPictureLoadTGAFile, FIF_TARGA, kStbReads},
        {"gif", "plain.gif", Writes([] { return GifFile(false); }), KivPictureLoadGIFFile, FIF_GIF,
         kStbReads},
        {"gif-interlaced", "interlaced.gif", Writes([] { return GifFile(true); }), KivPictureLoadGIFFile,
         FIF_GIF, kStbReads},
        {"jpeg-colour", "colour.jpg", [](const std::string& path) { WriteJpegFile(path, false); },
         KivPictureLoadJPGFile, FIF_JPEG, kStbReads | kLossy | kLibjpegFloor},
        {"jpeg-colour-full", "colour.jpg", [](const std::string& path) { WriteJpegFile(path, false); },
         LoadJpgFullColour, FIF_JPEG, kStbReads | kLibjpegFullColour},
        {"jpeg-grey", "grey.jpg", [](const std::string& path) { WriteJpegFile(path, true); },
         KivPictureLoadJPGFile, FIF_JPEG, kStbReads},
        {"pcx-rgb24", "rgb24.pcx", WritePcx24File, KivPictureLoadPCXFile, FIF_PCX, 0},
        {"pcx-pal8", "pal8.pcx", Writes(Pcx8File), KivPictureLoadPCXFile, FIF_PCX, 0},
        {"psd-rgb", "rgb.psd", Writes([] { return PsdFile(false); }), KivPictureLoadPSDFile, FIF_PSD,
         kStbReads},
        {"psd-cmyk", "cmyk.psd", Writes([] { return PsdFile(true); }), KivPictureLoadPSDFile, FIF_PSD, 0},
    };
    ComparisonTable& table = AddTable("read", "Readers: file path to 32-bit pixels, " +
                                                  std::to_string(kWidth) + "x" + std::to_string(kHeight));
    for (const ReaderCase& c : cases) {
        const std::string path = ScratchPath(c.file);
        ComparisonRow& row = table.Row(c.name, [c, path](ComparisonRow& r) { PrepareReaderRow(c, path, r); });
        const CString widePath = CString::FromUtf8(path);
        row.Time("ours", Role::ours,
                 [load = c.ours, widePath] { return DecodeOurs(load, widePath, nullptr); });
        if (c.traits & kStbReads)
            row.Time("stb_image", Role::peer, [path] { return DecodeStb(path, nullptr); });
        if (c.freeImage != FIF_UNKNOWN)
            row.Time("FreeImage", Role::peer,
                     [format = c.freeImage, path] { return DecodeFreeImage(format, path, nullptr); });
        if (c.traits & kLibjpegFloor)
            row.Time("libjpeg q128", Role::floor, [path] { return DecodeLibjpegQuantised(path, nullptr); });
        if (c.traits & kLibjpegFullColour)
            row.Time("libjpeg BGRA", Role::floor, [path] { return DecodeLibjpegFullColour(path, nullptr); });
    }

    ComparisonTable& floors =
        AddTable("floor", "Floors: a fresh " + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                              " pixel buffer filled by one copy");
    ComparisonRow& floor = floors.Row("12MP", [](ComparisonRow&) { Photo(kWidth, kHeight); });
    floor.Time("calloc+copy", Role::floor, [] { return CopyIntoCalloc(Photo(kWidth, kHeight)); });
    floor.Time("huge+copy", Role::floor, [] { return CopyIntoHugePages(Photo(kWidth, kHeight)); });
    std::vector<std::string> rows;
    for (const ReaderCase& c : cases) rows.push_back(c.name);
    AddSummary([rows](const RunMedians& medians) { PrintFloorRatios(medians, rows); });
}

}  // namespace bench
