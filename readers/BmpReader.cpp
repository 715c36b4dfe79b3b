// Windows bitmap reader: every information header version, palette, and uncompressed, bit-field or
// run-length rows; and the bitmap header probe, which reads the same information header.

#include <algorithm>
#include <array>
#include <new>
#include <vector>

#include "platform/ModuleResources.h"
#include "readers/BmpLayout.h"
#include "readers/Readers.h"

namespace {

using Palette = std::array<DWORD, bmp::kMaxPaletteEntries>;

struct InfoHeader {
    DWORD headerSize;
    long long width;
    long long height;  // the stored value; negative means rows stored top-down
    UINT bitsPerPixel;
    DWORD compression;
    DWORD colorsUsed;
    std::array<DWORD, 4> masks;  // red, green, blue, alpha, as far as the header holds them
};

// Uncompressed rows are read in pieces of at most this many bytes, a multiple of 12 so that every piece
// starts on a whole pixel for every depth; a row of ordinary width is one piece and one read.
constexpr UINT kRowPieceBytes = 12 * 4096;

bool IsKnownHeaderSize(DWORD size) {
    switch (size) {
        case bmp::kCoreHeaderBytes:
        case bmp::kOs2ShortHeaderBytes:
        case bmp::kInfoHeaderBytes:
        case bmp::kInfoV2Bytes:
        case bmp::kInfoV3Bytes:
        case bmp::kOs2HeaderBytes:
        case bmp::kInfoV4Bytes:
        case bmp::kInfoV5Bytes: return true;
        default: return false;
    }
}

// The bytes at the start of a header that hold the fields read: up to the alpha mask; an OS/2 header's own
// fields and the colour-space data and profile places of versions 4 and 5 are skipped, since the picture is
// not colour-managed. A size of no version is read as 40 bytes, for the probe.
UINT FieldBytes(DWORD headerSize) {
    if (!IsKnownHeaderSize(headerSize) || headerSize == bmp::kOs2HeaderBytes) return bmp::kInfoHeaderBytes;
    return std::min(headerSize, bmp::kInfoV3Bytes);
}

// Whether the header's version has bit-field masks: in the header itself from 52 bytes on, in the words
// after a 40-byte header. The OS/2 headers have none: their compression 3 is a Huffman code.
bool HasMasks(DWORD headerSize) {
    return headerSize == bmp::kInfoHeaderBytes ||
           (headerSize >= bmp::kInfoV2Bytes && headerSize != bmp::kOs2HeaderBytes);
}

bool UsesBitFields(const InfoHeader& header) {
    return (header.bitsPerPixel == 16 || header.bitsPerPixel == 32) &&
           (header.compression == bmp::kBitFields || header.compression == bmp::kAlphaBitFields);
}

// Reads the fields of an information header of any version (FieldBytes of it), field by field; fields the
// version lacks read as 0. Returns how many bytes there were; the reader and the probe judge the fields
// each by their own rules.
size_t ReadInfoFields(ByteSource& source, InfoHeader& header) {
    BYTE raw[bmp::kInfoV3Bytes] = {};
    size_t got = source.Read(raw, 4);
    header.headerSize = ReadLE32(raw + bmp::kHeaderSizeOffset);
    const UINT fieldBytes = FieldBytes(header.headerSize);
    if (got == 4) got += source.Read(raw + 4, fieldBytes - 4);
    if (header.headerSize == bmp::kCoreHeaderBytes) {
        header.width = ReadLE16(raw + bmp::kCoreWidthOffset);
        header.height = ReadLE16(raw + bmp::kCoreHeightOffset);
        header.bitsPerPixel = ReadLE16(raw + bmp::kCoreBitCountOffset);
        return got;
    }
    header.width = static_cast<LONG>(ReadLE32(raw + bmp::kWidthOffset));
    header.height = static_cast<LONG>(ReadLE32(raw + bmp::kHeightOffset));
    header.bitsPerPixel = ReadLE16(raw + bmp::kBitCountOffset);
    header.compression = ReadLE32(raw + bmp::kCompressionOffset);
    header.colorsUsed = ReadLE32(raw + bmp::kColorsUsedOffset);
    for (UINT i = 0; bmp::kMasksOffset + 4 * i < fieldBytes; ++i)
        header.masks[i] = ReadLE32(raw + bmp::kMasksOffset + 4 * i);
    return got;
}

KivLoadStatus ReadInfoHeader(ByteSource& source, InfoHeader& header) {
    const size_t got = ReadInfoFields(source, header);
    if (got < 4) return KivLoadStatus::truncated;
    const DWORD headerSize = header.headerSize;
    if (!IsKnownHeaderSize(headerSize)) return KivLoadStatus::notThisFormat;
    if (got < FieldBytes(headerSize) || !source.Skip(headerSize - FieldBytes(headerSize)))
        return KivLoadStatus::truncated;
    // A negative width passes a nonzero test but can size nothing; refuse it with the zero sides.
    // The height is read in 64 bits, so negating INT32_MIN cannot overflow.
    if (header.width <= 0 || header.height == 0) return KivLoadStatus::corrupt;
    // The palette table has 256 entries; a larger count cannot be honoured without writing past it.
    // Depths of 16 bits and more read no palette, so the field does not matter to them.
    if (header.bitsPerPixel < 16 && header.colorsUsed > bmp::kMaxPaletteEntries) return KivLoadStatus::corrupt;
    return KivLoadStatus::ok;
}

KivLoadStatus CheckRowFormat(const InfoHeader& header) {
    const bool bottomUp = header.height > 0;
    // The 40-byte header's 1-bit and 24-bit rows have never consulted the compression field; the other
    // versions are held to it, since OS/2's Huffman and 24-bit run-length codes share its values.
    const bool anyCompression = header.headerSize == bmp::kInfoHeaderBytes;
    switch (header.bitsPerPixel) {
        case 1:
        case 24:
            if (anyCompression || header.compression == bmp::kRgb) return KivLoadStatus::ok;
            break;
        case 4:
            if (header.compression == bmp::kRgb || (header.compression == bmp::kRle4 && bottomUp))
                return KivLoadStatus::ok;
            break;
        case 8:
            if (header.compression == bmp::kRgb || (header.compression == bmp::kRle8 && bottomUp))
                return KivLoadStatus::ok;
            break;
        case 16:
        case 32:
            if (header.compression == bmp::kRgb || (UsesBitFields(header) && HasMasks(header.headerSize)))
                return KivLoadStatus::ok;
            break;
        default: break;
    }
    return KivLoadStatus::unsupportedVariant;
}

// The masks of bit-field rows: a 40-byte header is followed by three, or four with compression 6 (the
// last alpha); the longer versions hold them. Masks must be contiguous and inside the pixel word.
KivLoadStatus ReadBitFields(ByteSource& source, InfoHeader& header, BitFieldLayout& layout) {
    if (header.headerSize == bmp::kInfoHeaderBytes) {
        BYTE raw[16];
        const UINT bytes = header.compression == bmp::kAlphaBitFields ? 16 : 12;
        if (!source.ReadExact(raw, bytes)) return KivLoadStatus::truncated;
        for (UINT i = 0; i < bytes / 4; ++i) header.masks[i] = ReadLE32(raw + 4 * i);
    }
    const DWORD outside = header.bitsPerPixel == 16 ? 0xFFFF0000u : 0;
    for (const DWORD mask : header.masks)
        if (mask & outside) return KivLoadStatus::corrupt;
    return layout.Set(header.masks) ? KivLoadStatus::ok : KivLoadStatus::corrupt;
}

// Entries the file does not supply read as opaque black, so no index can reach an undefined colour.
void ReadPalette(ByteSource& source, const InfoHeader& header, Palette& palette) {
    palette.fill(kOpaqueBlack);
    if (header.bitsPerPixel >= 16) return;
    const UINT count = header.colorsUsed ? header.colorsUsed : 1u << header.bitsPerPixel;
    const UINT entryBytes =
        header.headerSize == bmp::kCoreHeaderBytes ? bmp::kCorePaletteEntryBytes : bmp::kPaletteEntryBytes;
    std::array<BYTE, bmp::kMaxPaletteEntries * bmp::kPaletteEntryBytes> raw{};
    const size_t got = source.Read(raw.data(), count * entryBytes) / entryBytes;
    for (size_t i = 0; i < got; ++i) palette[i] = PackBgrBytes(&raw[i * entryBytes]);
}

// Converts bytes of one stored row, beginning at pixel firstPixel, into pixels; stops at the row's end.
// 16-bit words are 5-5-5 unless bit fields (fields) say otherwise.
void ConvertRowPiece(const BYTE* bytes, UINT byteCount, UINT bitsPerPixel, const Palette& palette,
                     const BitFieldLayout* fields, DWORD* row, ULONGLONG firstPixel, ULONGLONG width) {
    if (firstPixel >= width) return;
    const ULONGLONG piecePixels = static_cast<ULONGLONG>(byteCount) * 8 / bitsPerPixel;
    const UINT count = static_cast<UINT>(std::min(piecePixels, width - firstPixel));
    DWORD* out = row + firstPixel;
    switch (bitsPerPixel) {
        case 1:
            for (UINT i = 0; i < count; ++i) out[i] = palette[(bytes[i >> 3] >> (7 - (i & 7))) & 1];
            break;
        case 4:
            for (UINT i = 0; i < count; ++i) out[i] = palette[(bytes[i >> 1] >> ((i & 1) ? 0 : 4)) & 0x0F];
            break;
        case 8:
            for (UINT i = 0; i < count; ++i) out[i] = palette[bytes[i]];
            break;
        case 16:
            for (UINT i = 0; i < count; ++i) {
                const WORD word = ReadLE16(bytes + 2 * i);
                out[i] = fields ? fields->Pack(word) : WidenBmp555(word);
            }
            break;
        case 24:
            PackBgrRow(bytes, out, count);
            break;
        default: break;
    }
}

// Rows missing from a truncated file keep the zero fill; the decode still succeeds. fields: the layout of
// bit-field rows, else null.
void DecodeUncompressedRows(ByteSource& source, const InfoHeader& header, const Palette& palette,
                            const BitFieldLayout* fields, DWORD* pixels) {
    const ULONGLONG width = static_cast<ULONGLONG>(header.width);
    const long long height = header.height > 0 ? header.height : -header.height;
    const ULONGLONG rowBytes = bmp::RowBytes(width, header.bitsPerPixel);
    std::vector<BYTE> piece(static_cast<size_t>(std::min<ULONGLONG>(rowBytes, kRowPieceBytes)));
    for (long long stored = 0; stored < height; ++stored) {
        const long long bufferRow = header.height > 0 ? height - 1 - stored : stored;
        DWORD* row = pixels + static_cast<ULONGLONG>(bufferRow) * width;
        if (header.bitsPerPixel == 32) {
            // Rows of 32-bit pixels have no filler: read them straight into place, then convert them in
            // place; without bit fields the fourth byte is ignored and every pixel opaque.
            const size_t got = source.Read(row, static_cast<size_t>(width * 4));
            for (size_t i = 0; i < got / 4; ++i) {
                const DWORD word = ReadLE32(reinterpret_cast<const BYTE*>(row + i));
                row[i] = fields ? fields->Pack(word) : kOpaqueAlpha | (word & 0x00FFFFFFu);
            }
            if (got % 4) row[got / 4] = 0;  // a cut-off last pixel
            if (got < width * 4) return;
            continue;
        }
        for (ULONGLONG done = 0; done < rowBytes;) {
            const UINT want = static_cast<UINT>(std::min<ULONGLONG>(rowBytes - done, piece.size()));
            const UINT got = static_cast<UINT>(source.Read(piece.data(), want));
            ConvertRowPiece(piece.data(), got, header.bitsPerPixel, palette, fields, row,
                            done * 8 / header.bitsPerPixel, width);
            if (got < want) return;
            done += want;
        }
    }
}

// Run-length rows, bottom-up only. Runs that would leave the picture, and data that ends before the
// end-of-bitmap code, fail the decode; pixels the stream skips keep the zero fill.
KivLoadStatus DecodeRunLengthRows(ByteSource& in, const InfoHeader& header, const Palette& palette, DWORD* pixels) {
    const long long width = header.width;
    const long long height = header.height;
    const bool fourBit = header.bitsPerPixel == 4;
    long long x = 0;
    long long y = 0;  // rows done, counted from the bottom
    const auto rowStart = [&]() { return pixels + static_cast<ULONGLONG>(height - 1 - y) * static_cast<ULONGLONG>(width); };
    for (;;) {
        const int first = in.NextByte();
        const int second = in.NextByte();
        if (second < 0) return KivLoadStatus::truncated;
        if (first > 0) {
            if (x + first > width || y >= height) return KivLoadStatus::corrupt;
            DWORD* out = rowStart() + x;
            for (int i = 0; i < first; ++i)
                out[i] = fourBit ? palette[(i & 1) ? (second & 0x0F) : (second >> 4)] : palette[second];
            x += first;
            continue;
        }
        switch (second) {
            case 0:  // end of line
                if (x > width) return KivLoadStatus::corrupt;
                x = 0;
                if (++y > height) return KivLoadStatus::corrupt;
                break;
            case 1:  // end of bitmap
                return KivLoadStatus::ok;
            case 2: {  // delta
                const int dx = in.NextByte();
                const int dy = in.NextByte();
                if (dy < 0) return KivLoadStatus::truncated;
                x += dx;
                y += dy;
                if (x > width - 1 || y > height - 1) return KivLoadStatus::corrupt;
                break;
            }
            default: {  // absolute run of `second` pixels, padded to 16 bits
                const int count = second;
                if (x + count > width || y >= height) return KivLoadStatus::corrupt;
                const int bytes = fourBit ? (count + 3) / 4 * 2 : (count + 1) / 2 * 2;
                DWORD* out = rowStart() + x;
                int value = 0;
                for (int i = 0, pixel = 0; i < bytes; ++i) {
                    if ((value = in.NextByte()) < 0) return KivLoadStatus::truncated;
                    if (fourBit) {
                        if (pixel < count) out[pixel++] = palette[value >> 4];
                        if (pixel < count) out[pixel++] = palette[value & 0x0F];
                    } else if (pixel < count) {
                        out[pixel++] = palette[value];
                    }
                }
                x += count;
                break;
            }
        }
    }
}

// The least pixel data a file may hold for its declared picture, so that a few bytes cannot size a huge
// buffer. Uncompressed rows: half of them; a file cut short by an interrupted copy still loads, its missing
// rows zero. Run-length rows: one two-byte run of 255 pixels for every 255 pixels, the best the encoding
// does. A stream that covers the picture with deltas or an early end of bitmap could be shorter, but no
// encoder writes a picture that is mostly never coded, and that shape is a bomb's. Sides within the pixel
// limit keep every product far inside 64 bits.
ULONGLONG LeastPixelDataBytes(const InfoHeader& header, bool runLength) {
    const ULONGLONG width = static_cast<ULONGLONG>(header.width);
    const ULONGLONG height = static_cast<ULONGLONG>(header.height > 0 ? header.height : -header.height);
    if (runLength) return (width * height + 254) / 255 * 2;
    return (bmp::RowBytes(width, header.bitsPerPixel) * height + 1) / 2;
}

// The decoder shared by files and resources. An offset of 0 reads the rows right after the palette.
DecodedPicture DecodeBitmap(ByteSource& source, DWORD pixelDataOffset) {
    InfoHeader header{};
    if (const KivLoadStatus status = ReadInfoHeader(source, header); status != KivLoadStatus::ok)
        return DecodedPicture::Failure(status);
    if (const KivLoadStatus status = CheckRowFormat(header); status != KivLoadStatus::ok)
        return DecodedPicture::Failure(status);
    BitFieldLayout fields;
    const bool bitFields = UsesBitFields(header);
    if (bitFields) {
        if (const KivLoadStatus status = ReadBitFields(source, header, fields); status != KivLoadStatus::ok)
            return DecodedPicture::Failure(status);
    }
    Palette palette;
    ReadPalette(source, header, palette);
    if (pixelDataOffset != 0) source.Seek(pixelDataOffset);

    const long long height = header.height > 0 ? header.height : -header.height;
    const bool runLength = (header.compression == bmp::kRle8 && header.bitsPerPixel == 8) ||
                           (header.compression == bmp::kRle4 && header.bitsPerPixel == 4);
    DecodedPicture picture;
    KivLoadStatus status = CheckPictureSize(header.width, height);
    if (status == KivLoadStatus::ok) status = CheckDataCanHold(source, LeastPixelDataBytes(header, runLength));
    if (status == KivLoadStatus::ok) status = AllocatePixelBuffer(header.width, height, picture.pixels);
    if (status != KivLoadStatus::ok) return DecodedPicture::Failure(status);
    if (runLength) {
        if (status = DecodeRunLengthRows(source, header, palette, picture.pixels.get()); status != KivLoadStatus::ok)
            return DecodedPicture::Failure(status);
    } else {
        DecodeUncompressedRows(source, header, palette, bitFields ? &fields : nullptr, picture.pixels.get());
    }
    picture.rect = CRect(0, 0, static_cast<int>(header.width), static_cast<int>(height));
    return picture;
}

// The file header: the signature, and where the rows start.
KivLoadStatus ReadFileHeader(ByteSource& source, DWORD& pixelDataOffset) {
    BYTE fileHeader[bmp::kFileHeaderBytes];
    const size_t got = source.Read(fileHeader, sizeof fileHeader);
    if (got < 2 || ReadLE16(fileHeader + bmp::kFileTypeOffset) != bmp::kSignature) return KivLoadStatus::notThisFormat;
    if (got < sizeof fileHeader) return KivLoadStatus::truncated;
    pixelDataOffset = ReadLE32(fileHeader + bmp::kPixelDataOffsetOffset);
    return KivLoadStatus::ok;
}

}  // namespace

DecodedPicture DecodeBmp(ByteSource& source) {
    DWORD pixelDataOffset = 0;
    if (const KivLoadStatus status = ReadFileHeader(source, pixelDataOffset); status != KivLoadStatus::ok)
        return DecodedPicture::Failure(status);
    return DecodeBitmap(source, pixelDataOffset);
}

// The probe looks at the signature and at the information header's sides and depth, read as the reader
// reads them for every version it knows; a header of another size is read as a 40-byte one.
bool ProbeBmp(ByteSource& source, PictureHeader& result) {
    BYTE signature[2];
    if (!source.ReadExact(signature, sizeof signature) || ReadLE16(signature) != bmp::kSignature) return false;
    source.Seek(bmp::kFileHeaderBytes);
    InfoHeader header{};
    const size_t got = ReadInfoFields(source, header);
    if (got < std::min(FieldBytes(header.headerSize), bmp::kInfoHeaderBytes)) return false;
    if (header.width <= 0 || header.height == 0) return false;
    const long long height = header.height > 0 ? header.height : -header.height;
    if (header.width > 0x7FFFFFFF || height > 0x7FFFFFFF) return false;
    result.bits = header.bitsPerPixel;
    result.rect = RECT{0, 0, static_cast<LONG>(header.width), static_cast<LONG>(height)};
    return true;
}

DecodedPicture ReadBmpResource(HINSTANCE module, LPCWSTR resourceName) {
    HRSRC found = FindResourceW(module, resourceName, RT_BITMAP);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    if (!loaded) return DecodedPicture::Failure(KivLoadStatus::fileNotFound);
    // The source only reads, so it may view the module's read-only bytes.
    ByteSource memory(static_cast<const BYTE*>(LockResource(loaded)), SizeofResource(module, found));
    DecodedPicture picture;
    try {
        picture = DecodeBitmap(memory, 0);
    } catch (const std::bad_alloc&) {
        picture = DecodedPicture::Failure(KivLoadStatus::outOfMemory);
    }
    FreeResource(loaded);
    return picture;
}
