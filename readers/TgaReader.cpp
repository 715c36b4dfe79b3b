// Truevision TGA reader: colour-mapped, true-colour and grey pictures, uncompressed and
// run-length encoded, decoded strip by strip through one work buffer into a 32-bit pixel buffer.

#include "TgaReader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "../libraries/KivPublic.h"
#include "Readers.h"

namespace {

using ColorMapTable = std::array<BYTE, tga::kColorMapTableBytes>;

bool IsRunLengthEncoded(BYTE imageType) {
    return imageType == tga::kRleColorMapped || imageType == tga::kRleTrueColor || imageType == tga::kRleGrey;
}

bool IsGreyType(BYTE imageType) {
    return imageType == tga::kGrey || imageType == tga::kRleGrey;
}

// What one decode needs to know about its file, worked out once from the header.
struct DecodePlan {
    UINT width;
    UINT height;
    UINT sourcePixelBytes;  // s
    UINT entryBytes;        // m
    bool mapped;
    bool encoded;
    bool topDown;
    // Our decision: a 16-bit grey pixel is a grey level and an attribute byte, so it is read
    // as the level (as other readers do) rather than converted as a 5-5-5 colour.
    bool greyPixels;
    bool keepsAlpha;
};

DecodePlan MakePlan(const TgaFileInfo& info) {
    DecodePlan plan{};
    plan.width = info.width;
    plan.height = info.height;
    plan.sourcePixelBytes = tga::BytesForBits(info.pixelDepth);
    plan.entryBytes = tga::BytesForBits(info.colorMapEntrySize);
    plan.mapped = IsTgaColorMapped(info);
    plan.encoded = IsRunLengthEncoded(info.imageType);
    // Only a top-left origin (bits 5-4 = 10) is stored top-down; every other origin, top-right included,
    // is read bottom-up, and no row is mirrored.
    plan.topDown = (info.imageDescriptor & tga::kOriginMask) == tga::kTopToBottom;
    plan.greyPixels = IsGreyType(info.imageType) && plan.sourcePixelBytes == 2;
    plan.keepsAlpha = info.pixelDepth == tga::kMaxBitsPerPixel;
    return plan;
}

// The colour map: a mapped picture reads its entries into the table at first index x m and widens them
// to 4 bytes; any other picture steps over them. Entries the file does not supply, below the first index,
// past the length or cut off by the end of the file, stay zero and so read as black.
void LoadColorMap(std::FILE* file, const TgaFileInfo& info, const DecodePlan& plan, ColorMapTable& table) {
    if (info.colorMapType != tga::kHasColorMap || info.colorMapLength == 0) return;
    const long mapBytes = static_cast<long>(info.colorMapLength) * static_cast<long>(plan.entryBytes);
    if (!plan.mapped) {
        std::fseek(file, mapBytes, SEEK_CUR);
        return;
    }
    // CheckTgaDecodeLimits keeps (first index + length) x m within the table.
    std::fread(table.data() + static_cast<size_t>(info.colorMapFirstIndex) * plan.entryBytes, 1,
               static_cast<size_t>(mapBytes), file);
    if (plan.entryBytes != tga::kWorkPixelBytes)
        ConvertTgaPixels(table.data(), static_cast<size_t>(info.colorMapFirstIndex) + info.colorMapLength,
                         plan.entryBytes, false);
}

// The work buffer of whole rows of 4-byte pixels that each strip is read and widened in.
class StripBuffer {
  public:
    // Encoded pictures get exactly one row, because the packet reader buffers the file itself; others get
    // up to kStripBufferBytes, halved (rounding up) while the allocation fails and a row still fits.
    bool Allocate(UINT rowBytes, bool oneRow) {
        for (UINT size = oneRow ? rowBytes : tga::kStripBufferBytes; size >= rowBytes;
             size = (size + 1) / 2) {
            bytes_.reset(new (std::nothrow) BYTE[size]);
            if (bytes_) {
                rows_ = size / rowBytes;
                return true;
            }
            if (size == 1) break;
        }
        return false;
    }
    BYTE* Data() const { return bytes_.get(); }
    UINT Rows() const { return rows_; }

  private:
    std::unique_ptr<BYTE[]> bytes_;
    UINT rows_ = 0;
};

// Replaces each one-byte index by its 4-byte table entry, from the last pixel backwards so that the
// widened pixels can share the buffer with the indices still to come.
void ExpandIndices(BYTE* strip, size_t count, const ColorMapTable& table) {
    for (size_t i = count; i-- > 0;) {
        const BYTE index = strip[i];
        std::memcpy(strip + i * tga::kWorkPixelBytes, table.data() + index * tga::kWorkPixelBytes,
                    tga::kWorkPixelBytes);
    }
}

// The output row that file row `fileRow` goes to.
UINT OutputRow(UINT fileRow, const DecodePlan& plan) {
    return plan.topDown ? fileRow : plan.height - 1 - fileRow;
}

// Copies rowCount widened rows of the strip, the first being file row firstRow, to their output rows. A
// picture without alpha (pixel depth other than 32) has its alpha made 255 on the way, so that the
// output is not walked a second time for it.
void CopyStripRows(const BYTE* strip, UINT firstRow, UINT rowCount, const DecodePlan& plan, DWORD* pixels) {
    const size_t rowBytes = static_cast<size_t>(plan.width) * tga::kWorkPixelBytes;
    for (UINT i = 0; i < rowCount; ++i) {
        DWORD* out = pixels + static_cast<size_t>(OutputRow(firstRow + i, plan)) * plan.width;
        const BYTE* in = strip + i * rowBytes;
        if (plan.keepsAlpha) {
            std::memcpy(out, in, rowBytes);
            continue;
        }
        for (UINT x = 0; x < plan.width; ++x) {
            DWORD word;
            std::memcpy(&word, in + static_cast<size_t>(x) * tga::kWorkPixelBytes, sizeof word);
            out[x] = word | kOpaqueAlpha;
        }
    }
}

// Decodes the pixel data strip by strip. The rows a short file lacks stay zero: the decode stops at the
// first strip the file cannot fill, after zeroing the part of that strip the file did not supply. Returns
// how many file rows, counted from the first, were stored.
UINT DecodeStrips(std::FILE* file, TgaRleReader* packets, const DecodePlan& plan, const ColorMapTable& table,
                  StripBuffer& strip, DWORD* pixels) {
    const UINT rowsPerStrip = strip.Rows();
    const size_t stripPixels = static_cast<size_t>(rowsPerStrip) * plan.width;
    BYTE* const work = strip.Data();
    for (UINT row = 0; row < plan.height; row += rowsPerStrip) {
        // The last strip asks for a whole strip even when fewer rows remain.
        const size_t got = packets ? packets->Read(work, stripPixels)
                                   : std::fread(work, plan.sourcePixelBytes, stripPixels, file);
        if (plan.mapped)
            ExpandIndices(work, got, table);
        else if (plan.sourcePixelBytes != tga::kWorkPixelBytes)
            ConvertTgaPixels(work, got, plan.sourcePixelBytes, plan.greyPixels);
        std::memset(work + got * tga::kWorkPixelBytes, 0, (stripPixels - got) * tga::kWorkPixelBytes);
        const UINT rows = std::min(rowsPerStrip, plan.height - row);
        CopyStripRows(work, row, rows, plan, pixels);
        if (got < stripPixels) return row + rows;
    }
    return plan.height;
}

// The rows a short file did not reach keep the zero fill, which for a picture without alpha still gets
// alpha 255, as every other pixel of it does.
void MakeMissingRowsOpaque(UINT storedRows, const DecodePlan& plan, DWORD* pixels) {
    for (UINT fileRow = storedRows; fileRow < plan.height; ++fileRow) {
        DWORD* out = pixels + static_cast<size_t>(OutputRow(fileRow, plan)) * plan.width;
        std::fill(out, out + plan.width, kOpaqueAlpha);
    }
}

DecodedPicture DecodeTga(std::FILE* file, const TgaFileInfo& info) {
    const DecodePlan plan = MakePlan(info);
    DecodedPicture picture;
    if (const KivLoadStatus status = AllocatePixelBuffer(plan.width, plan.height, picture.pixels);
        status != KivLoadStatus::ok)
        return DecodedPicture::Failure(status);

    ColorMapTable table{};
    LoadColorMap(file, info, plan, table);

    const UINT rowBytes = std::max(tga::kWorkPixelBytes, plan.sourcePixelBytes) * plan.width;
    StripBuffer strip;
    if (!strip.Allocate(rowBytes, plan.encoded)) return DecodedPicture::Failure(KivLoadStatus::outOfMemory);
    TgaRleReader packets;
    if (plan.encoded && !packets.Start(file, plan.sourcePixelBytes))
        return DecodedPicture::Failure(KivLoadStatus::outOfMemory);

    const UINT storedRows =
        DecodeStrips(file, plan.encoded ? &packets : nullptr, plan, table, strip, picture.pixels.get());
    if (!plan.keepsAlpha) MakeMissingRowsOpaque(storedRows, plan, picture.pixels.get());
    picture.rect = CRect(info.xOrigin, info.yOrigin, info.xOrigin + info.width, info.yOrigin + info.height);
    return picture;
}

}  // namespace

// ---- Header
// ------------------------------------------------------------------------------------------------

KivLoadStatus ReadTgaHeader(const CString& path, StdioFile& file, TgaFileInfo& info) {
    if (!KivPublicDoesFileExist(path)) return KivLoadStatus::fileNotFound;
    file = OpenForReading(path);
    if (!file) return KivLoadStatus::unreadable;
    BYTE raw[tga::kHeaderBytes];
    if (!ReadExact(file.get(), raw, sizeof raw)) return KivLoadStatus::truncated;
    tga::DecodeHeader(raw, info);
    std::memset(info.imageId, 0, sizeof info.imageId);
    std::fread(info.imageId, 1, info.idLength, file.get());
    std::fseek(file.get(), static_cast<long>(tga::kHeaderBytes) + info.idLength, SEEK_SET);
    return KivLoadStatus::ok;
}

KivLoadStatus CheckTgaHeader(const TgaFileInfo& info) {
    if (info.width == 0 || info.height == 0) return KivLoadStatus::corrupt;
    if (info.colorMapType != tga::kNoColorMap && info.colorMapType != tga::kHasColorMap)
        return KivLoadStatus::notThisFormat;
    switch (info.imageType) {
        case tga::kColorMapped:
        case tga::kRleColorMapped:
            return info.colorMapType == tga::kHasColorMap ? KivLoadStatus::ok : KivLoadStatus::corrupt;
        case tga::kTrueColor:
        case tga::kGrey:
        case tga::kRleTrueColor:
        case tga::kRleGrey:
            return KivLoadStatus::ok;
        default:
            return KivLoadStatus::notThisFormat;
    }
}

bool IsTgaColorMapped(const TgaFileInfo& info) {
    return (info.imageType == tga::kColorMapped || info.imageType == tga::kRleColorMapped) &&
           info.colorMapType == tga::kHasColorMap && info.colorMapLength != 0;
}

KivLoadStatus CheckTgaDecodeLimits(const TgaFileInfo& info) {
    if (info.width > tga::kMaxWidth || info.height > tga::kMaxHeight) return KivLoadStatus::tooLarge;
    if (info.pixelDepth == 0 || info.pixelDepth > tga::kMaxBitsPerPixel)
        return KivLoadStatus::unsupportedVariant;
    if (!IsTgaColorMapped(info)) return KivLoadStatus::ok;
    if (info.pixelDepth != tga::kMappedPixelDepth) return KivLoadStatus::unsupportedVariant;
    if (info.colorMapEntrySize == 0 || info.colorMapEntrySize > tga::kMaxBitsPerPixel)
        return KivLoadStatus::unsupportedVariant;
    // With entries of at most 4 bytes, 512 entries are also within the table's bytes before widening.
    if (static_cast<UINT>(info.colorMapFirstIndex) + info.colorMapLength > tga::kColorMapTableEntries)
        return KivLoadStatus::corrupt;
    return KivLoadStatus::ok;
}

// ---- Pixel conversion
// --------------------------------------------------------------------------------------

namespace {

// A 5-bit component to 8 bits: c x 8 with the low three bits set when c is not 0, so 0 stays 0 and 31
// becomes 255.
BYTE WidenFiveBits(UINT c) {
    return static_cast<BYTE>(c == 0 ? 0 : (c << 3) | 7);
}

}  // namespace

void ConvertTgaPixels(BYTE* pixels, size_t count, UINT sourceBytes, bool grey) {
    if (sourceBytes == 0 || sourceBytes >= tga::kWorkPixelBytes) return;  // 4 bytes are already B, G, R, A
    // Back to front: pixel i's source bytes end at (i + 1) x sourceBytes <= (i + 1) x 4, so widening it
    // never overwrites the source of a pixel not yet converted. Each source is read before it is written.
    for (size_t i = count; i-- > 0;) {
        const BYTE* source = pixels + i * sourceBytes;
        BYTE* target = pixels + i * tga::kWorkPixelBytes;
        BYTE blue = 0, green = 0, red = 0;
        switch (sourceBytes) {
            case 1:
                blue = green = red = source[0];
                break;
            case 2:
                if (grey) {
                    blue = green = red = source[0];  // the second byte is the attribute byte
                } else {
                    const UINT word = ReadLE16(source);
                    blue = WidenFiveBits(word & tga::kFiveBitMask);
                    green = WidenFiveBits((word >> tga::kGreenShift) & tga::kFiveBitMask);
                    red = WidenFiveBits((word >> tga::kRedShift) & tga::kFiveBitMask);
                }
                break;
            default:  // 3 bytes
                blue = source[0];
                green = source[1];
                red = source[2];
                break;
        }
        target[0] = blue;
        target[1] = green;
        target[2] = red;
        target[3] = 0;
    }
}

// ---- Packet reader
// -----------------------------------------------------------------------------------------

bool TgaRleReader::Start(std::FILE* file, UINT pixelBytes, UINT maxBufferBytes) {
    Stop();
    for (UINT size = maxBufferBytes; size >= tga::kRleMinReadBufferBytes; size /= 2) {
        buffer_.reset(new (std::nothrow) BYTE[size]);
        if (buffer_) {
            bufferBytes_ = size;
            break;
        }
    }
    if (!buffer_) return false;
    file_ = file;
    pixelBytes_ = pixelBytes;
    pending_ = 0;
    run_ = false;
    ended_ = false;
    next_ = end_ = 0;  // exhausted: the first byte wanted refills
    return true;
}

void TgaRleReader::Stop() {
    buffer_.reset();
    bufferBytes_ = 0;
    next_ = end_ = 0;
}

namespace {

// count copies of a run value of pixelBytes bytes. The usual sizes get a copy of fixed size each, which
// the compiler turns into a store, rather than a library call per pixel.
void FillRun(BYTE* out, size_t count, const BYTE* value, UINT pixelBytes) {
    switch (pixelBytes) {
        case 1:
            std::memset(out, value[0], count);
            break;
        case 2:
            for (size_t i = 0; i < count; ++i) std::memcpy(out + 2 * i, value, 2);
            break;
        case 3:
            for (size_t i = 0; i < count; ++i) std::memcpy(out + 3 * i, value, 3);
            break;
        case 4:
            for (size_t i = 0; i < count; ++i) std::memcpy(out + 4 * i, value, 4);
            break;
        default:
            for (size_t i = 0; i < count; ++i) std::memcpy(out + i * pixelBytes, value, pixelBytes);
            break;
    }
}

}  // namespace

bool TgaRleReader::Refill() {
    if (ended_ || !buffer_) return false;
    next_ = 0;
    end_ = static_cast<UINT>(std::fread(buffer_.get(), 1, bufferBytes_, file_));
    ended_ = end_ == 0;
    return !ended_;
}

bool TgaRleReader::NextByte(BYTE& byte) {
    if (next_ == end_ && !Refill()) return false;
    byte = buffer_[next_++];
    return true;
}

bool TgaRleReader::StartPacket() {
    // Most packets start well inside the read buffer: their header and run value are then taken without
    // a refill check per byte.
    if (end_ - next_ > pixelBytes_) {
        const BYTE header = buffer_[next_++];
        run_ = (header & tga::kRunPacketFlag) != 0;
        if (run_) {
            std::memcpy(runValue_, buffer_.get() + next_, pixelBytes_);
            next_ += pixelBytes_;
        }
        pending_ = static_cast<WORD>((header & tga::kPacketCountMask) + 1);
        return true;
    }
    BYTE header = 0;
    if (!NextByte(header)) return false;
    run_ = (header & tga::kRunPacketFlag) != 0;
    if (run_) {
        for (UINT b = 0; b < pixelBytes_; ++b)
            if (!NextByte(runValue_[b])) return false;
    }
    pending_ = static_cast<WORD>((header & tga::kPacketCountMask) + 1);
    return true;
}

size_t TgaRleReader::CopyRaw(BYTE* destination, size_t bytes) {
    size_t copied = 0;
    while (copied < bytes) {
        if (next_ == end_ && !Refill()) break;
        const size_t piece = std::min<size_t>(end_ - next_, bytes - copied);
        std::memcpy(destination + copied, buffer_.get() + next_, piece);
        next_ += static_cast<UINT>(piece);
        copied += piece;
    }
    return copied;
}

size_t TgaRleReader::Read(BYTE* destination, size_t count) {
    size_t delivered = 0;
    while (delivered < count) {
        if (pending_ == 0 && !StartPacket()) break;
        const size_t take = std::min<size_t>(count - delivered, pending_);
        BYTE* out = destination + delivered * pixelBytes_;
        if (run_) {
            FillRun(out, take, runValue_, pixelBytes_);
        } else {
            const size_t wanted = take * pixelBytes_;
            const size_t copied = CopyRaw(out, wanted);
            if (copied < wanted) {  // the file ended inside the packet: only whole pixels count
                pending_ = 0;
                return delivered + copied / pixelBytes_;
            }
        }
        delivered += take;
        pending_ = static_cast<WORD>(pending_ - take);
    }
    return delivered;
}

// ---- Entry points
// ------------------------------------------------------------------------------------------

DecodedPicture ReadTgaFile(const CString& path) {
    TgaFileInfo info{};
    StdioFile file;
    if (const KivLoadStatus status = ReadTgaHeader(path, file, info); status != KivLoadStatus::ok)
        return DecodedPicture::Failure(status);
    if (const KivLoadStatus status = CheckTgaHeader(info); status != KivLoadStatus::ok)
        return DecodedPicture::Failure(status);
    if (const KivLoadStatus status = CheckTgaDecodeLimits(info); status != KivLoadStatus::ok)
        return DecodedPicture::Failure(status);
    return DecodeTga(file.get(), info);
}

DWORD* KivPictureLoadTGAFile(const CString& path, CRect& rect) {
    return HandOverPicture(ReadTgaFile(path), rect);
}
