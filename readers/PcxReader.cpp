// PCX reader: the whole file is read into memory, the run-length coded scan lines are expanded into a plane
// buffer, and the planes are converted into pixels for three kinds of layout: indices into the 16-colour
// header palette (1, 2 or 4 bits in one plane, or one bit in each of two to four planes), 8 bits with the
// 256-colour palette, and 24-bit colour as three 8-bit planes.

#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>

#include "readers/PcxLayout.h"
#include "readers/Readers.h"

namespace {

using Palette16 = std::array<DWORD, pcx::kHeaderPaletteEntries>;
using Palette256 = std::array<DWORD, pcx::kPaletteEntries>;

enum class Layout { rgb24, headerPalette, indexed8 };

struct Header {
    long long width;
    long long height;
    UINT bitsPerPixel;
    UINT planes;
    ULONGLONG bytesPerLine;
    Layout layout;
};

// The file and the planes are fresh per call and as large as the picture: global blocks, so that large ones
// come on huge pages.
using ByteBlock = GlobalBlock<BYTE[]>;

struct FileImage {
    ByteBlock bytes;
    size_t size = 0;
};

// Like the pixel buffer, the plane buffer's size must fit in 32 bits. It is checked apart: 24-bit lines may
// be far longer than the width, so it can be the larger of the two.
constexpr ULONGLONG kMaxPlaneBytes = 0xFFFFFFFFull;

KivLoadStatus ReadWholeFile(ByteSource& source, FileImage& file) {
    if (source.Size() < pcx::kHeaderBytes) return KivLoadStatus::truncated;
    if (source.Size() > SIZE_MAX) return KivLoadStatus::outOfMemory;
    file.size = static_cast<size_t>(source.Size());
    file.bytes.reset(static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, file.size)));  // no fill: all of it is read
    if (!file.bytes) return KivLoadStatus::outOfMemory;
    return source.ReadExact(file.bytes.get(), file.size) ? KivLoadStatus::ok : KivLoadStatus::unreadable;
}

// The header palette serves every layout of at most 16 colours that other readers agree on: 1, 2 (CGA) or
// 4 bits in one plane, and one bit in each of two to four planes (EGA), plane 0 the least significant bit of
// the index. CGA files are read with the header palette's first four entries as they stand, as other
// readers read them, not through the background and palette codes some writers keep there instead. Two
// bits in two planes, and 8 bits in four planes (colour with alpha), are not read.
KivLoadStatus ChooseLayout(UINT bitsPerPixel, UINT planes, Layout& layout) {
    if (bitsPerPixel == 8 && (planes == 1 || planes == 3)) {
        layout = planes == 3 ? Layout::rgb24 : Layout::indexed8;
        return KivLoadStatus::ok;
    }
    const bool packed = planes == 1 && (bitsPerPixel == 1 || bitsPerPixel == 2 || bitsPerPixel == 4);
    const bool bitPlanes = bitsPerPixel == 1 && planes >= 2 && planes <= 4;
    if (!packed && !bitPlanes) return KivLoadStatus::unsupportedVariant;
    layout = Layout::headerPalette;
    return KivLoadStatus::ok;
}

KivLoadStatus ReadHeader(const BYTE* raw, Header& header) {
    if (raw[pcx::kVersionOffset] == pcx::kVersionWithoutPalette) return KivLoadStatus::unsupportedVariant;
    header.width =
        static_cast<long long>(ReadLE16(raw + pcx::kXMaxOffset)) - ReadLE16(raw + pcx::kXMinOffset) + 1;
    header.height =
        static_cast<long long>(ReadLE16(raw + pcx::kYMaxOffset)) - ReadLE16(raw + pcx::kYMinOffset) + 1;
    header.bitsPerPixel = raw[pcx::kBitsPerPixelOffset];
    header.planes = raw[pcx::kPlanesOffset];
    header.bytesPerLine = ReadLE16(raw + pcx::kBytesPerLineOffset);
    if (header.width <= 0 || header.height <= 0) return KivLoadStatus::corrupt;
    if (const KivLoadStatus status = ChooseLayout(header.bitsPerPixel, header.planes, header.layout);
        status != KivLoadStatus::ok)
        return status;
    // A line too short for its row would leave the row's last pixels to be read from the next line, or
    // from past the plane buffer. Refusing it also keeps tiny files from claiming huge pictures. A longer
    // line (padded to an even length, or beyond) is read for its first bytes; the rest is skipped.
    const ULONGLONG rowBytes = (static_cast<ULONGLONG>(header.width) * header.bitsPerPixel + 7) / 8;
    if (header.bytesPerLine < rowBytes) return KivLoadStatus::corrupt;
    return KivLoadStatus::ok;
}

// The bytes the plane buffer must have room for: every plane's line of every row, and at least a byte per
// pixel. The slack of the 1-bit to 4-bit layouts holds a last run that crosses its row's end, which is
// written whole as every other crossing run is.
ULONGLONG PlaneBytes(const Header& header) {
    const ULONGLONG rowValues = header.bytesPerLine * header.planes;
    return std::max<ULONGLONG>(rowValues, static_cast<ULONGLONG>(header.width)) *
           static_cast<ULONGLONG>(header.height);
}

// The most values that count coded bytes can produce: 63 for every two bytes, and one for a last odd byte.
ULONGLONG MostValues(ULONGLONG codedBytes) {
    return codedBytes / 2 * pcx::kMaxRunLength + codedBytes % 2;
}

// Room the plane buffer keeps past its planeBytes, so that ExpandRuns may store sixteen bytes at once.
constexpr size_t kPlaneSlack = 16;

// Expands the coded stream at `in` into the plane buffer. Each row takes bytes until it has produced
// rowValues values; a run that crosses the row's end is written whole and the next row starts after it.
// Data that ends before the last row, or a run past the buffer, fails. `in` is left where decoding stopped.
//
// Where sixteen coded bytes are at hand, a step copies the literals before the first run code among them
// and then expands that run, each with one sixteen-byte store: in photographs a run code comes every few
// bytes at random, and a branch per byte mispredicts on many of them. A store may write up to fifteen
// bytes past the values it stands for, into the slack or into values a later step writes; nothing reads
// them.
KivLoadStatus ExpandRuns(const BYTE*& in, const BYTE* end, BYTE* planes, size_t planeBytes, long long rows,
                         size_t rowValues) {
    const __m128i lastLiteral = _mm_set1_epi8(static_cast<char>(pcx::kRunBase));
    size_t at = 0;
    for (long long row = 0; row < rows; ++row) {
        const size_t rowEnd = at + rowValues;
        while (at < rowEnd) {
            if (end - in >= 16) {
                const __m128i coded = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
                // Run codes are the bytes above kRunBase: those that max(byte, kRunBase) changes.
                const unsigned literalMask = static_cast<unsigned>(
                    _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(coded, lastLiteral), lastLiteral)));
                const auto firstCode = static_cast<size_t>(std::countr_zero(~literalMask));  // 16 when none
                const size_t literals = std::min({firstCode, rowEnd - at, planeBytes - at});
                _mm_storeu_si128(reinterpret_cast<__m128i*>(planes + at), coded);
                at += literals;
                in += literals;
                if (at == rowEnd) break;
                if (literals < firstCode) return KivLoadStatus::corrupt;  // a literal past the buffer
                if (firstCode == 16 || end - in < 2) continue;            // no run here, or its value beyond
                const size_t count = *in - pcx::kRunBase;
                if (count > planeBytes - at) return KivLoadStatus::corrupt;
                const __m128i value = _mm_set1_epi8(static_cast<char>(in[1]));
                for (size_t done = 0; done < count; done += 16)
                    _mm_storeu_si128(reinterpret_cast<__m128i*>(planes + at + done), value);
                at += count;
                in += 2;
                continue;
            }
            if (in == end) return KivLoadStatus::truncated;
            const BYTE code = *in++;
            if (code <= pcx::kRunBase) {
                if (at == planeBytes) return KivLoadStatus::corrupt;
                planes[at++] = code;
                continue;
            }
            if (in == end) return KivLoadStatus::truncated;
            const size_t count = code - pcx::kRunBase;
            if (count > planeBytes - at) return KivLoadStatus::corrupt;
            std::memset(planes + at, *in++, count);
            at += count;
        }
    }
    return KivLoadStatus::ok;
}

void ConvertRgb24(const Header& header, const BYTE* planes, DWORD* pixels) {
    const size_t width = static_cast<size_t>(header.width);
    const size_t line = static_cast<size_t>(header.bytesPerLine);
    for (long long y = 0; y < header.height; ++y) {
        const BYTE* red = planes + static_cast<size_t>(y) * line * 3;
        const BYTE* green = red + line;
        const BYTE* blue = green + line;
        DWORD* out = pixels + static_cast<size_t>(y) * width;
        for (size_t x = 0; x < width; ++x) out[x] = PackBgra(red[x], green[x], blue[x]);
    }
}

Palette16 HeaderPalette(const BYTE* raw) {
    Palette16 palette;
    for (UINT i = 0; i < pcx::kHeaderPaletteEntries; ++i)
        palette[i] = PackRgbBytes(raw + pcx::kHeaderPaletteOffset + i * pcx::kPaletteEntryBytes);
    return palette;
}

// Indices of 1, 2 or 4 bits, the most significant first in each byte; with several planes, plane p gives
// bit p of the index. Row y's lines start at byte y x bytes-per-line x planes of the plane buffer: lines
// padded beyond the row's bits are skipped rather than read as the start of the next row. Files whose lines
// hold exactly the row's bits, rounded up to whole bytes, come out the same either way.
void ConvertHeaderPalette(const Header& header, const Palette16& palette, const BYTE* planes, DWORD* pixels) {
    const size_t width = static_cast<size_t>(header.width);
    const size_t line = static_cast<size_t>(header.bytesPerLine);
    const UINT bits = header.bitsPerPixel;
    const UINT perByte = 8 / bits;
    const UINT mask = (1u << bits) - 1;
    for (long long y = 0; y < header.height; ++y) {
        const BYTE* row = planes + static_cast<size_t>(y) * line * header.planes;
        DWORD* out = pixels + static_cast<size_t>(y) * width;
        for (size_t x = 0; x < width; ++x) {
            const size_t at = x / perByte;
            const UINT shift = 8 - bits * (1 + static_cast<UINT>(x % perByte));
            UINT index = 0;
            for (UINT p = 0; p < header.planes; ++p) index |= (row[p * line + at] >> shift & mask) << p;
            out[x] = palette[index];
        }
    }
}

// The palette follows the marker byte where the image data ended. Entries a short file does not hold
// read as opaque black.
KivLoadStatus ReadPalette256(const BYTE* at, const BYTE* end, Palette256& palette) {
    if (at == end) return KivLoadStatus::truncated;
    if (*at++ != pcx::kPaletteMarker) return KivLoadStatus::corrupt;
    palette.fill(kOpaqueBlack);
    const size_t entries =
        std::min<size_t>(pcx::kPaletteEntries, static_cast<size_t>(end - at) / pcx::kPaletteEntryBytes);
    for (size_t i = 0; i < entries; ++i) palette[i] = PackRgbBytes(at + i * pcx::kPaletteEntryBytes);
    return KivLoadStatus::ok;
}

// Each row starts at its own line; the bytes of a line longer than the width are skipped.
void ConvertIndexed8(const Header& header, const Palette256& palette, const BYTE* planes, DWORD* pixels) {
    const size_t width = static_cast<size_t>(header.width);
    for (long long y = 0; y < header.height; ++y) {
        const BYTE* line = planes + static_cast<size_t>(y) * header.bytesPerLine;
        DWORD* out = pixels + static_cast<size_t>(y) * width;
        for (size_t x = 0; x < width; ++x) out[x] = palette[line[x]];
    }
}

DecodedPicture DecodeFile(const FileImage& file) {
    const BYTE* raw = file.bytes.get();
    Header header{};
    if (const KivLoadStatus status = ReadHeader(raw, header); status != KivLoadStatus::ok)
        return DecodedPicture::Failure(status);

    // Every row needs at least its lines' values. Data that cannot produce that many is refused before any
    // buffer is sized from the header's claims.
    const ULONGLONG rowValues = header.bytesPerLine * header.planes;
    const ULONGLONG codedBytes = file.size - pcx::kHeaderBytes;
    if (static_cast<ULONGLONG>(header.height) * rowValues > MostValues(codedBytes))
        return DecodedPicture::Failure(KivLoadStatus::truncated);

    const ULONGLONG planeBytes = PlaneBytes(header);
    if (planeBytes > kMaxPlaneBytes) return DecodedPicture::Failure(KivLoadStatus::tooLarge);
    DecodedPicture picture;
    if (const KivLoadStatus status = AllocatePixelBuffer(header.width, header.height, picture.pixels);
        status != KivLoadStatus::ok)
        return DecodedPicture::Failure(status);
    // The conversions read only decoded values; zeroing costs nothing for large blocks, which come zeroed
    // from the system, and keeps any slip from reading undefined memory.
    const ByteBlock planes(
        static_cast<BYTE*>(GlobalAlloc(GPTR, static_cast<SIZE_T>(planeBytes) + kPlaneSlack)));
    if (!planes) return DecodedPicture::Failure(KivLoadStatus::outOfMemory);

    const BYTE* in = raw + pcx::kHeaderBytes;
    const BYTE* const end = raw + file.size;
    if (const KivLoadStatus status = ExpandRuns(in, end, planes.get(), static_cast<size_t>(planeBytes),
                                                header.height, static_cast<size_t>(rowValues));
        status != KivLoadStatus::ok)
        return DecodedPicture::Failure(status);

    DWORD* pixels = picture.pixels.get();
    switch (header.layout) {
        case Layout::rgb24:
            ConvertRgb24(header, planes.get(), pixels);
            break;
        case Layout::headerPalette:
            ConvertHeaderPalette(header, HeaderPalette(raw), planes.get(), pixels);
            break;
        case Layout::indexed8: {
            Palette256 palette;
            if (const KivLoadStatus status = ReadPalette256(in, end, palette); status != KivLoadStatus::ok)
                return DecodedPicture::Failure(status);
            ConvertIndexed8(header, palette, planes.get(), pixels);
            break;
        }
    }
    picture.rect = CRect(0, 0, static_cast<int>(header.width), static_cast<int>(header.height));
    return picture;
}

}  // namespace

DecodedPicture DecodePcx(ByteSource& source) {
    FileImage file;
    if (const KivLoadStatus status = ReadWholeFile(source, file); status != KivLoadStatus::ok)
        return DecodedPicture::Failure(status);
    return DecodeFile(file);
}

// The probe asks only for the manufacturer byte and reports the header's window and depth as they stand,
// also for layouts the reader refuses.
bool ProbePcx(ByteSource& source, PictureHeader& header) {
    BYTE raw[pcx::kHeaderBytes];
    if (!source.ReadExact(raw, sizeof raw) || raw[pcx::kManufacturerOffset] != pcx::kManufacturer)
        return false;
    header.bits = raw[pcx::kBitsPerPixelOffset] * raw[pcx::kPlanesOffset];
    // The stored maxima are inclusive; the rectangle's right and bottom lie one past them.
    header.rect = RECT{ReadLE16(raw + pcx::kXMinOffset), ReadLE16(raw + pcx::kYMinOffset),
                       ReadLE16(raw + pcx::kXMaxOffset) + 1, ReadLE16(raw + pcx::kYMaxOffset) + 1};
    return true;
}
