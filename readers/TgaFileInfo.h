// The on-disk layout of a Truevision TGA file and TgaFileInfo, the in-memory description of one file,
// shared by the TGA reader and the TGA writer. Little-endian, no padding. The structure is never written
// or read as a block: the codecs below move it field by field to and from byte arrays.
#pragma once

#include <cstring>

#include "platform/WinTypes.h"
#include "readers/ByteOrder.h"

namespace tga {

// ---- File header: 18 bytes at the start of the file ----------------------------------------------------
constexpr UINT kHeaderBytes = 18;
constexpr UINT kIdLengthOffset = 0;            // 1 byte
constexpr UINT kColorMapTypeOffset = 1;        // 1 byte
constexpr UINT kImageTypeOffset = 2;           // 1 byte
constexpr UINT kColorMapFirstIndexOffset = 3;  // 2 bytes
constexpr UINT kColorMapLengthOffset = 5;      // 2 bytes
constexpr UINT kColorMapEntrySizeOffset = 7;   // 1 byte, bits per entry
constexpr UINT kXOriginOffset = 8;             // 2 bytes
constexpr UINT kYOriginOffset = 10;            // 2 bytes
constexpr UINT kWidthOffset = 12;              // 2 bytes
constexpr UINT kHeightOffset = 14;             // 2 bytes
constexpr UINT kPixelDepthOffset = 16;         // 1 byte, bits per pixel
constexpr UINT kImageDescriptorOffset = 17;    // 1 byte

// The image ID follows the header: up to 255 bytes of free text, held with a terminating zero.
constexpr UINT kImageIdBytes = 256;

enum ColorMapType : BYTE { kNoColorMap = 0, kHasColorMap = 1 };

enum ImageType : BYTE {
    kColorMapped = 1,
    kTrueColor = 2,
    kGrey = 3,
    kRleColorMapped = 9,
    kRleTrueColor = 10,
    kRleGrey = 11,
};

// Image descriptor bits.
constexpr BYTE kAttributeBitsMask = 0x0F;  // attribute (alpha) bits per pixel
constexpr BYTE kRightToLeft = 0x10;
constexpr BYTE kTopToBottom = 0x20;
constexpr BYTE kOriginMask = kRightToLeft | kTopToBottom;

// Bytes of one pixel or colour-map entry of the given bit count: 15 and 16 bits are 2 bytes.
constexpr UINT BytesForBits(UINT bits) {
    return (bits + 7) / 8;
}

// Run-length packets: bit 7 of the packet header marks a run, bits 0-6 plus 1 give the pixel count.
constexpr BYTE kRunPacketFlag = 0x80;
constexpr BYTE kPacketCountMask = 0x7F;
constexpr UINT kMaxPacketPixels = 128;

// 16-bit pixels and colour-map entries: 5-5-5 with blue in the low bits; bit 15 is the attribute bit.
constexpr UINT kFiveBitMask = 0x1F;
constexpr UINT kGreenShift = 5;
constexpr UINT kRedShift = 10;

// ---- Extension area (version 2): 495 bytes where the footer points -------------------------------------
constexpr UINT kExtensionAreaBytes = 495;
constexpr UINT kExtensionSizeOffset = 0;  // 2 bytes, always 495
constexpr UINT kAuthorNameOffset = 2;
constexpr UINT kAuthorNameBytes = 41;
constexpr UINT kAuthorCommentsOffset = 43;
constexpr UINT kAuthorCommentsBytes = 324;  // 4 lines of 81 bytes
constexpr UINT kDateTimeOffset = 367;       // 6 words: month, day, year, hour, minute, second
constexpr UINT kJobNameOffset = 379;
constexpr UINT kJobNameBytes = 41;
constexpr UINT kJobTimeOffset = 420;  // 3 words: hours, minutes, seconds
constexpr UINT kSoftwareIdOffset = 426;
constexpr UINT kSoftwareIdBytes = 41;
constexpr UINT kSoftwareVersionNumberOffset = 467;  // 2 bytes
constexpr UINT kSoftwareVersionLetterOffset = 469;  // 1 byte
constexpr UINT kKeyColorOffset = 470;               // 4 bytes
constexpr UINT kPixelAspectRatioOffset = 474;       // 2 words: numerator, denominator
constexpr UINT kGammaOffset = 478;                  // 2 words: numerator, denominator
constexpr UINT kColorCorrectionOffsetOffset = 482;  // 4 bytes
constexpr UINT kPostageStampOffsetOffset = 486;     // 4 bytes
constexpr UINT kScanLineOffsetOffset = 490;         // 4 bytes
constexpr UINT kAttributesTypeOffset = 494;         // 1 byte

// Postage stamp: 1 byte width, 1 byte height, then width x height pixels in the picture's own format.
constexpr UINT kPostageStampSizeBytes = 2;

// ---- Footer (version 2): the last 26 bytes of the file -------------------------------------------------
constexpr UINT kFooterBytes = 26;
constexpr UINT kExtensionAreaOffsetOffset = 0;       // 4 bytes
constexpr UINT kDeveloperDirectoryOffsetOffset = 4;  // 4 bytes
constexpr UINT kSignatureOffset = 8;
constexpr UINT kSignatureBytes = 18;  // the text and one zero byte
constexpr char kSignature[kSignatureBytes] = "TRUEVISION-XFILE.";
static_assert(sizeof kSignature == kSignatureBytes, "the signature is 17 characters and a zero byte");

}  // namespace tga

// One TGA file as the reader and the writer see it; zero-fill it ({}) before use.
struct TgaFileInfo {
    // The twelve header fields, in file order.
    BYTE idLength;
    BYTE colorMapType;
    BYTE imageType;
    WORD colorMapFirstIndex;
    WORD colorMapLength;
    BYTE colorMapEntrySize;
    WORD xOrigin;
    WORD yOrigin;
    WORD width;
    WORD height;
    BYTE pixelDepth;
    BYTE imageDescriptor;

    BYTE imageId[tga::kImageIdBytes];  // up to 255 bytes of text and its terminating zero

    // The extension area, in file order.
    WORD extensionSize;
    BYTE authorName[tga::kAuthorNameBytes];
    BYTE authorComments[tga::kAuthorCommentsBytes];
    WORD stampMonth;
    WORD stampDay;
    WORD stampYear;
    WORD stampHour;
    WORD stampMinute;
    WORD stampSecond;
    BYTE jobName[tga::kJobNameBytes];
    WORD jobHours;
    WORD jobMinutes;
    WORD jobSeconds;
    BYTE softwareId[tga::kSoftwareIdBytes];
    WORD softwareVersionNumber;
    BYTE softwareVersionLetter;
    DWORD keyColor;
    WORD pixelAspectNumerator;
    WORD pixelAspectDenominator;
    WORD gammaNumerator;
    WORD gammaDenominator;
    DWORD colorCorrectionOffset;
    DWORD postageStampOffset;
    DWORD scanLineOffset;
    BYTE attributesType;

    // The postage stamp's size.
    BYTE postageStampWidth;
    BYTE postageStampHeight;

    // The footer.
    DWORD extensionAreaOffset;
    DWORD developerDirectoryOffset;
    char signature[tga::kSignatureBytes];
};

namespace tga {

inline void DecodeHeader(const BYTE (&raw)[kHeaderBytes], TgaFileInfo& info) {
    info.idLength = raw[kIdLengthOffset];
    info.colorMapType = raw[kColorMapTypeOffset];
    info.imageType = raw[kImageTypeOffset];
    info.colorMapFirstIndex = ReadLE16(raw + kColorMapFirstIndexOffset);
    info.colorMapLength = ReadLE16(raw + kColorMapLengthOffset);
    info.colorMapEntrySize = raw[kColorMapEntrySizeOffset];
    info.xOrigin = ReadLE16(raw + kXOriginOffset);
    info.yOrigin = ReadLE16(raw + kYOriginOffset);
    info.width = ReadLE16(raw + kWidthOffset);
    info.height = ReadLE16(raw + kHeightOffset);
    info.pixelDepth = raw[kPixelDepthOffset];
    info.imageDescriptor = raw[kImageDescriptorOffset];
}

inline void EncodeHeader(const TgaFileInfo& info, BYTE (&raw)[kHeaderBytes]) {
    raw[kIdLengthOffset] = info.idLength;
    raw[kColorMapTypeOffset] = info.colorMapType;
    raw[kImageTypeOffset] = info.imageType;
    WriteLE16(raw + kColorMapFirstIndexOffset, info.colorMapFirstIndex);
    WriteLE16(raw + kColorMapLengthOffset, info.colorMapLength);
    raw[kColorMapEntrySizeOffset] = info.colorMapEntrySize;
    WriteLE16(raw + kXOriginOffset, info.xOrigin);
    WriteLE16(raw + kYOriginOffset, info.yOrigin);
    WriteLE16(raw + kWidthOffset, info.width);
    WriteLE16(raw + kHeightOffset, info.height);
    raw[kPixelDepthOffset] = info.pixelDepth;
    raw[kImageDescriptorOffset] = info.imageDescriptor;
}

inline void EncodeExtensionArea(const TgaFileInfo& info, BYTE (&raw)[kExtensionAreaBytes]) {
    WriteLE16(raw + kExtensionSizeOffset, info.extensionSize);
    std::memcpy(raw + kAuthorNameOffset, info.authorName, kAuthorNameBytes);
    std::memcpy(raw + kAuthorCommentsOffset, info.authorComments, kAuthorCommentsBytes);
    const WORD dateTime[] = {info.stampMonth, info.stampDay,    info.stampYear,
                             info.stampHour,  info.stampMinute, info.stampSecond};
    for (UINT i = 0; i < 6; ++i) WriteLE16(raw + kDateTimeOffset + 2 * i, dateTime[i]);
    std::memcpy(raw + kJobNameOffset, info.jobName, kJobNameBytes);
    WriteLE16(raw + kJobTimeOffset, info.jobHours);
    WriteLE16(raw + kJobTimeOffset + 2, info.jobMinutes);
    WriteLE16(raw + kJobTimeOffset + 4, info.jobSeconds);
    std::memcpy(raw + kSoftwareIdOffset, info.softwareId, kSoftwareIdBytes);
    WriteLE16(raw + kSoftwareVersionNumberOffset, info.softwareVersionNumber);
    raw[kSoftwareVersionLetterOffset] = info.softwareVersionLetter;
    WriteLE32(raw + kKeyColorOffset, info.keyColor);
    WriteLE16(raw + kPixelAspectRatioOffset, info.pixelAspectNumerator);
    WriteLE16(raw + kPixelAspectRatioOffset + 2, info.pixelAspectDenominator);
    WriteLE16(raw + kGammaOffset, info.gammaNumerator);
    WriteLE16(raw + kGammaOffset + 2, info.gammaDenominator);
    WriteLE32(raw + kColorCorrectionOffsetOffset, info.colorCorrectionOffset);
    WriteLE32(raw + kPostageStampOffsetOffset, info.postageStampOffset);
    WriteLE32(raw + kScanLineOffsetOffset, info.scanLineOffset);
    raw[kAttributesTypeOffset] = info.attributesType;
}

inline void DecodeExtensionArea(const BYTE (&raw)[kExtensionAreaBytes], TgaFileInfo& info) {
    info.extensionSize = ReadLE16(raw + kExtensionSizeOffset);
    std::memcpy(info.authorName, raw + kAuthorNameOffset, kAuthorNameBytes);
    std::memcpy(info.authorComments, raw + kAuthorCommentsOffset, kAuthorCommentsBytes);
    WORD* const dateTime[] = {&info.stampMonth, &info.stampDay,    &info.stampYear,
                              &info.stampHour,  &info.stampMinute, &info.stampSecond};
    for (UINT i = 0; i < 6; ++i) *dateTime[i] = ReadLE16(raw + kDateTimeOffset + 2 * i);
    std::memcpy(info.jobName, raw + kJobNameOffset, kJobNameBytes);
    info.jobHours = ReadLE16(raw + kJobTimeOffset);
    info.jobMinutes = ReadLE16(raw + kJobTimeOffset + 2);
    info.jobSeconds = ReadLE16(raw + kJobTimeOffset + 4);
    std::memcpy(info.softwareId, raw + kSoftwareIdOffset, kSoftwareIdBytes);
    info.softwareVersionNumber = ReadLE16(raw + kSoftwareVersionNumberOffset);
    info.softwareVersionLetter = raw[kSoftwareVersionLetterOffset];
    info.keyColor = ReadLE32(raw + kKeyColorOffset);
    info.pixelAspectNumerator = ReadLE16(raw + kPixelAspectRatioOffset);
    info.pixelAspectDenominator = ReadLE16(raw + kPixelAspectRatioOffset + 2);
    info.gammaNumerator = ReadLE16(raw + kGammaOffset);
    info.gammaDenominator = ReadLE16(raw + kGammaOffset + 2);
    info.colorCorrectionOffset = ReadLE32(raw + kColorCorrectionOffsetOffset);
    info.postageStampOffset = ReadLE32(raw + kPostageStampOffsetOffset);
    info.scanLineOffset = ReadLE32(raw + kScanLineOffsetOffset);
    info.attributesType = raw[kAttributesTypeOffset];
}

inline void EncodeFooter(const TgaFileInfo& info, BYTE (&raw)[kFooterBytes]) {
    WriteLE32(raw + kExtensionAreaOffsetOffset, info.extensionAreaOffset);
    WriteLE32(raw + kDeveloperDirectoryOffsetOffset, info.developerDirectoryOffset);
    std::memcpy(raw + kSignatureOffset, info.signature, kSignatureBytes);
}

inline void DecodeFooter(const BYTE (&raw)[kFooterBytes], TgaFileInfo& info) {
    info.extensionAreaOffset = ReadLE32(raw + kExtensionAreaOffsetOffset);
    info.developerDirectoryOffset = ReadLE32(raw + kDeveloperDirectoryOffsetOffset);
    std::memcpy(info.signature, raw + kSignatureOffset, kSignatureBytes);
}

}  // namespace tga
