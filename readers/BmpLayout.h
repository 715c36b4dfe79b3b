// The on-disk layout of a Windows bitmap, shared by the BMP reader and writer. Little-endian, no padding.
#pragma once

#include "platform/WinTypes.h"
#include "readers/ByteOrder.h"

namespace bmp {

constexpr WORD kSignature = 0x4D42;  // "BM"
constexpr UINT kFileHeaderBytes = 14;
// The information header's versions, known by their sizes. All but the core header begin with the fields
// of the 40-byte header, as far as they reach.
constexpr UINT kInfoHeaderBytes = 40;
constexpr UINT kCoreHeaderBytes = 12;      // OS/2 1.x: 16-bit sides, no compression, 3-byte palette entries
constexpr UINT kOs2ShortHeaderBytes = 16;  // OS/2 2.x cut after the bit count
constexpr UINT kOs2HeaderBytes = 64;       // OS/2 2.x: its own fields after the 40 bytes, no masks
constexpr UINT kInfoV2Bytes = 52;          // red, green and blue masks after the 40 bytes
constexpr UINT kInfoV3Bytes = 56;          // and the alpha mask
constexpr UINT kInfoV4Bytes = 108;         // and colour-space data, not read
constexpr UINT kInfoV5Bytes = 124;         // and a profile's place, not read
constexpr UINT kPaletteEntryBytes = 4;     // blue, green, red, reserved
constexpr UINT kCorePaletteEntryBytes = 3;  // blue, green, red
constexpr UINT kMaxPaletteEntries = 256;

// Compression 3 is also OS/2 2.x's Huffman coding and 4 its 24-bit run-length coding.
enum Compression : DWORD {
    kRgb = 0,
    kRle8 = 1,
    kRle4 = 2,
    kBitFields = 3,
    kJpeg = 4,
    kPng = 5,
    kAlphaBitFields = 6,  // bit fields with an alpha mask
};

// Offsets inside the file header.
constexpr UINT kFileTypeOffset = 0;
constexpr UINT kFileSizeOffset = 2;
constexpr UINT kPixelDataOffsetOffset = 10;

// Offsets inside the information header.
constexpr UINT kHeaderSizeOffset = 0;
constexpr UINT kWidthOffset = 4;
constexpr UINT kHeightOffset = 8;
constexpr UINT kPlanesOffset = 12;
constexpr UINT kBitCountOffset = 14;
constexpr UINT kCompressionOffset = 16;
constexpr UINT kImageSizeOffset = 20;
constexpr UINT kXResolutionOffset = 24;
constexpr UINT kYResolutionOffset = 28;
constexpr UINT kColorsUsedOffset = 32;
constexpr UINT kColorsImportantOffset = 36;
constexpr UINT kMasksOffset = 40;  // red, green, blue, alpha; 4 bytes each, as far as the header reaches

// Offsets inside the core header.
constexpr UINT kCoreWidthOffset = 4;  // unsigned 16 bits, as the height: rows always stored bottom-up
constexpr UINT kCoreHeightOffset = 6;
constexpr UINT kCoreBitCountOffset = 10;

// Bytes of one stored row: whole 32-bit words.
constexpr ULONGLONG RowBytes(ULONGLONG width, ULONGLONG bitsPerPixel) { return (width * bitsPerPixel + 31) / 32 * 4; }

}  // namespace bmp
