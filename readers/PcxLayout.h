// The on-disk layout of a PCX file, shared by the PCX reader and writer. Little-endian 16-bit fields, no
// padding: a 128-byte header, run-length coded scan lines, and for 8-bit pictures a 256-colour palette
// after the image data.
#pragma once

#include "platform/WinTypes.h"
#include "readers/ByteOrder.h"

namespace pcx {

constexpr UINT kHeaderBytes = 128;

// Offsets and sizes inside the header.
constexpr UINT kManufacturerOffset = 0;
constexpr UINT kVersionOffset = 1;
constexpr UINT kEncodingOffset = 2;
constexpr UINT kBitsPerPixelOffset = 3;  // bits per pixel in each plane
constexpr UINT kXMinOffset = 4;
constexpr UINT kYMinOffset = 6;
constexpr UINT kXMaxOffset = 8;
constexpr UINT kYMaxOffset = 10;
constexpr UINT kHorizontalResolutionOffset = 12;
constexpr UINT kVerticalResolutionOffset = 14;
constexpr UINT kHeaderPaletteOffset = 16;
constexpr UINT kReservedOffset = 64;
constexpr UINT kPlanesOffset = 65;
constexpr UINT kBytesPerLineOffset = 66;  // bytes of one plane's scan line
constexpr UINT kPaletteInfoOffset = 68;
constexpr UINT kFillerOffset = 70;
constexpr UINT kFillerBytes = 58;

// Field values.
constexpr BYTE kManufacturer = 10;
constexpr BYTE kVersionWithoutPalette = 3;  // version 2.8 without a palette: refused by the reader
constexpr BYTE kVersion30 = 5;              // version 3.0, with the 256-colour palette
constexpr BYTE kRunLengthEncoding = 1;

// The 16-entry palette of the header: red, green, blue per entry.
constexpr UINT kHeaderPaletteEntries = 16;
constexpr UINT kPaletteEntryBytes = 3;

// The 256-colour palette: a marker byte directly after the image data, then 256 entries of red, green,
// blue.
constexpr BYTE kPaletteMarker = 12;
constexpr UINT kPaletteEntries = 256;

// Run-length code: a byte above kRunBase repeats the next byte (byte - kRunBase) times; any other byte,
// kRunBase included, is a literal. A count byte holds at most kMaxRunLength.
constexpr BYTE kRunBase = 0xC0;
constexpr UINT kMaxRunLength = 63;

}  // namespace pcx
