// The on-disk layout of a PSD file (version 1) and of the large-document format (version 2) as the reader
// walks it, and the pixel conversion. Every number in the file is big-endian and unsigned; a sample of 32
// bits is an IEEE single-precision float.
#pragma once

#include <cstddef>

#include "platform/WinTypes.h"

namespace psd {

// ---- File header: 26 bytes at the start of the file ----------------------------------------------------
constexpr UINT kHeaderBytes = 26;
constexpr UINT kSignatureOffset = 0;  // 4 bytes, "8BPS"
constexpr UINT kSignatureBytes = 4;
constexpr UINT kVersionOffset = 4;   // 2 bytes
constexpr UINT kReservedOffset = 6;  // 6 bytes, all zero
constexpr UINT kReservedBytes = 6;
constexpr UINT kChannelsOffset = 12;   // 2 bytes
constexpr UINT kHeightOffset = 14;     // 4 bytes, rows
constexpr UINT kWidthOffset = 18;      // 4 bytes, columns
constexpr UINT kDepthOffset = 22;      // 2 bytes, bits per channel sample
constexpr UINT kColorModeOffset = 24;  // 2 bytes

constexpr BYTE kSignature[kSignatureBytes] = {'8', 'B', 'P', 'S'};
constexpr WORD kVersion = 1;
// The large-document format: sides up to 300,000, an 8-byte layer and mask length, 4-byte PackBits row
// lengths; everything else as in version 1.
constexpr WORD kLargeDocumentVersion = 2;
constexpr DWORD kLargeDocumentMaxSide = 300000;

enum ColorMode : WORD {
    kBitmap = 0,
    kGrey = 1,
    kIndexed = 2,
    kRgb = 3,
    kCmyk = 4,
    kMultichannel = 7,
    kDuotone = 8,
    kLab = 9,
};

// ---- Sections after the header -------------------------------------------------------------------------
// The colour-mode data, the image resources and the layer and mask information each start with a length;
// the layer and mask length takes 8 bytes in the large-document format.
constexpr UINT kSectionLengthBytes = 4;
constexpr UINT kLargeSectionLengthBytes = 8;

// The colour table of an indexed picture: 256 reds, then 256 greens, then 256 blues.
constexpr UINT kColorTableEntries = 256;
constexpr UINT kColorTableBytes = 3 * kColorTableEntries;
constexpr UINT kColorTableRedOffset = 0;
constexpr UINT kColorTableGreenOffset = kColorTableEntries;
constexpr UINT kColorTableBlueOffset = 2 * kColorTableEntries;

// One image resource block: signature, ID, name (length byte, then the name, padded so that length
// byte and name together are even), data size, data (padded to an even size).
constexpr UINT kResourceSignatureBytes = 4;
constexpr BYTE kResourceSignature[kResourceSignatureBytes] = {'8', 'B', 'I', 'M'};
constexpr UINT kResourceIdBytes = 2;
constexpr UINT kResourceNameLengthBytes = 1;
constexpr UINT kResourceSizeBytes = 4;
constexpr WORD kIndexedColorCountId = 1046;  // data: a 2-byte count of the colour table's entries
constexpr UINT kIndexedColorCountBytes = 2;

// ---- Image data: the composite picture, channel after channel -----------------------------------------
constexpr UINT kCompressionBytes = 2;
enum Compression : WORD { kRaw = 0, kPackBits = 1, kZip = 2, kZipWithPrediction = 3 };
// One entry of the PackBits row-length table per row of each channel: 2 bytes, 4 in the large-document
// format.
constexpr UINT kRowLengthBytes = 2;
constexpr UINT kLargeRowLengthBytes = 4;

// Sample depths in bits: a bitmap's packed bit, whole bytes, and floating point (nominally 0 to 1).
constexpr WORD kBitmapDepth = 1;
constexpr WORD kFloatDepth = 32;

// PackBits header bytes: below 128 copy header + 1 bytes, above 128 repeat the next byte 257 - header
// times, 128 does nothing.
constexpr int kPackBitsNoOp = 128;
constexpr int kPackBitsRepeatBase = 257;
constexpr UINT kPackBitsMaxRun = 128;

// The conversion reads at most four channels of a pixel.
constexpr int kMaxChannelsConverted = 4;

inline WORD ReadBE16(const BYTE* p) {
    return static_cast<WORD>(p[0] << 8 | p[1]);
}
inline DWORD ReadBE32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) << 24 | static_cast<DWORD>(p[1]) << 16 | static_cast<DWORD>(p[2]) << 8 |
           p[3];
}

}  // namespace psd

// The header fields the reader keeps; all ones until the header has been read.
struct PsdFileHeader {
    WORD version = 0xFFFF;  // psd::kVersion or psd::kLargeDocumentVersion
    short channels = -1;    // a signed count
    DWORD height = 0xFFFFFFFFu;
    DWORD width = 0xFFFFFFFFu;
    WORD depth = 0xFFFF;
    WORD colorMode = 0xFFFF;
};

// What the conversion needs to know of a picture.
struct PsdConversion {
    WORD colorMode = 0;
    int channels = 0;                  // the file's channel count
    const BYTE* colorTable = nullptr;  // kColorTableBytes, for an indexed picture that has a usable table
    size_t bitmapWidth = 0;            // a bitmap picture of one bit per pixel: its width; else 0
};

// How many leading channels the conversion of such a picture reads (at most kMaxChannelsConverted);
// 0 when the picture stays all zero (a mode not converted, an indexed picture without a usable table,
// fewer channels than the mode needs).
int PsdChannelsConverted(const PsdConversion& conversion);

// Converts count pixels in place. Before: byte c of each pixel holds the sample of channel c (one byte;
// a 16-bit sample's high byte, a float sample scaled to a byte) for every c below
// PsdChannelsConverted, the other bytes 0; for a bitmap picture, byte 0 of pixel j holds byte j of its
// packed rows. After: each pixel is blue, green, red, alpha.
// Pixels of a picture that converts no channel are left as they are.
void ConvertPsdPixels(BYTE* pixels, size_t count, const PsdConversion& conversion);
