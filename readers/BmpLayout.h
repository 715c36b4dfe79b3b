// The on-disk layout of a Windows bitmap, shared by the BMP reader and writer. Little-endian, no padding.
#pragma once

#include "platform/WinTypes.h"
#include "readers/ByteOrder.h"

namespace bmp {

constexpr WORD kSignature = 0x4D42;  // "BM"
constexpr UINT kFileHeaderBytes = 14;
constexpr UINT kInfoHeaderBytes = 40;
constexpr UINT kCoreHeaderBytes = 12;   // OS/2 1.x, not read
constexpr UINT kInfoV4Bytes = 108;      // not read
constexpr UINT kInfoV5Bytes = 124;      // not read
constexpr UINT kPaletteEntryBytes = 4;  // blue, green, red, reserved
constexpr UINT kMaxPaletteEntries = 256;

enum Compression : DWORD { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3 };

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

// Bytes of one stored row: whole 32-bit words.
constexpr ULONGLONG RowBytes(ULONGLONG width, ULONGLONG bitsPerPixel) { return (width * bitsPerPixel + 31) / 32 * 4; }

}  // namespace bmp
