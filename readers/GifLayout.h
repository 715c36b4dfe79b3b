// The on-disk layout of a GIF file (87a and 89a) as the GIF reader walks it. Little-endian, no padding.
#pragma once

#include "platform/WinTypes.h"

namespace gif {

// Header and logical screen descriptor, read together.
constexpr BYTE kSignature[] = {'G', 'I', 'F', '8'};  // the version letters after it are not checked
constexpr UINT kSignatureBytes = 4;
constexpr UINT kHeaderBytes = 6;
constexpr UINT kScreenDescriptorBytes = 7;
constexpr UINT kHeaderAndScreenBytes = kHeaderBytes + kScreenDescriptorBytes;
constexpr UINT kScreenWidthOffset = 6;  // reported by the probe; the picture has the image's own size
constexpr UINT kScreenHeightOffset = 8;
constexpr UINT kScreenPackedOffset = 10;
constexpr UINT kBackgroundIndexOffset = 11;  // not used
constexpr UINT kAspectRatioOffset = 12;      // not used

// The packed bytes of the screen and image descriptors: a colour table flag and its size exponent.
constexpr BYTE kColorTableFlag = 0x80;
constexpr BYTE kColorTableSizeMask = 0x07;
constexpr UINT kColorTableEntryBytes = 3;  // red, green, blue
constexpr UINT kMaxColorTableEntries = 256;
constexpr UINT ColorTableEntries(BYTE packed) {
    return 2u << (packed & kColorTableSizeMask);
}

// Block introducers.
constexpr BYTE kImageIntroducer = 0x2C;
constexpr BYTE kExtensionIntroducer = 0x21;
constexpr BYTE kTrailer = 0x3B;  // ends the walk like any other unknown introducer

// Image descriptor, the 9 bytes after its introducer.
constexpr UINT kImageDescriptorBytes = 9;
constexpr UINT kImageLeftOffset = 0;  // not used: the picture is the image alone
constexpr UINT kImageTopOffset = 2;   // not used
constexpr UINT kImageWidthOffset = 4;
constexpr UINT kImageHeightOffset = 6;
constexpr UINT kImagePackedOffset = 8;
constexpr BYTE kInterlacedFlag = 0x40;

// Extensions: a label byte, then data sub-blocks. A graphic control extension's first sub-block holds
// 4 bytes (flags, delay, transparent index), none of which the reader uses.
constexpr BYTE kGraphicControlLabel = 0xF9;
constexpr UINT kGraphicControlBytes = 4;

// Image data: the LZW minimum code size, then sub-blocks of 1 to 255 bytes ended by a count of 0. Sizes 1
// and 10 to 11 occur in files that other readers show; 0 leaves no room for the clear and end codes among
// the first codes, and 12 or more for any code of the table.
constexpr UINT kMinLzwCodeSize = 1;
constexpr UINT kMaxLzwCodeSize = 11;
constexpr UINT kMaxCodeBits = 12;
constexpr UINT kMaxCodes = 1u << kMaxCodeBits;

// Interlaced images store every 8th row from 0, every 8th from 4, every 4th from 2, every 2nd from 1.
constexpr UINT kInterlacePasses = 4;
constexpr UINT kPassFirstRow[kInterlacePasses] = {0, 4, 2, 1};
constexpr UINT kPassRowStep[kInterlacePasses] = {8, 8, 4, 2};

}  // namespace gif
