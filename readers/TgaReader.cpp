// Truevision TGA reader: colour-mapped, true-colour and grey pictures, uncompressed and
// run-length encoded, decoded strip by strip through one work buffer into a 32-bit pixel buffer.

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "readers/Readers.h"
#include "readers/TgaFileInfo.h"

namespace tga {

// Limits of the decode's data model, our decisions where the format leaves them open. The sides are the
// format's own 16-bit ones, up to 65535 x 65535, as the writer saves them: the work rows and row counters
// are sized in 32 and 64 bits, and what bounds a picture is the pixel limit and the least-data check.
constexpr UINT kWorkPixelBytes = 4;       // every pixel is widened to B, G, R, A in the strip buffer
constexpr UINT kMaxSourcePixelBytes = 4;  // the run value and the conversion know 1 to 4 bytes
constexpr UINT kMaxBitsPerPixel = 32;
constexpr UINT kColorMapTableBytes = 2048;
constexpr UINT kColorMapTableEntries = kColorMapTableBytes / kWorkPixelBytes;  // 512
constexpr UINT kMappedPixelDepth = 8;                                          // indices are one byte

}  // namespace tga

namespace {

// Unencoded pixels are read a strip of whole rows at a time, about this many bytes.
constexpr size_t kStripBytes = 64 * 1024;

using ColorMapTable = std::array<BYTE, tga::kColorMapTableBytes>;

// ---- Header ----------------------------------------------------------------------------------------------

// The 18 header bytes field by field, then the image ID, leaving the source at the colour map. A short
// image ID is not a failure: like every short read after the header it leaves zeros behind.
KivLoadStatus ReadTgaHeader(ByteSource& source, TgaFileInfo& info) {
    BYTE raw[tga::kHeaderBytes];
    if (!source.ReadExact(raw, sizeof raw)) return KivLoadStatus::truncated;
    tga::DecodeHeader(raw, info);
    std::memset(info.imageId, 0, sizeof info.imageId);
    source.Read(info.imageId, info.idLength);
    source.Seek(tga::kHeaderBytes + info.idLength);
    return KivLoadStatus::ok;
}

// TGA has no signature: nonzero sides (else corrupt), colour-map type 0 or 1 and a known image type
// (else notThisFormat) are what turn away other files, and the colour-mapped types need a colour map
// (else corrupt).
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

// A colour-mapped type with a colour map of at least one entry; one whose map is empty reads as grey.
bool IsTgaColorMapped(const TgaFileInfo& info) {
    return (info.imageType == tga::kColorMapped || info.imageType == tga::kRleColorMapped) &&
           info.colorMapType == tga::kHasColorMap && info.colorMapLength != 0;
}

// The decode's own limits beyond the header check: pixel depths of 0 or over 32 bits
// (unsupportedVariant), and for a picture that is really colour-mapped a pixel depth other than 8 or an
// entry size of 0 or over 32 bits (unsupportedVariant), and a first index plus length over the table's
// 512 entries (corrupt). Any size the header can state is decoded, within the pixel limit.
KivLoadStatus CheckTgaDecodeLimits(const TgaFileInfo& info) {
    if (info.pixelDepth == 0 || info.pixelDepth > tga::kMaxBitsPerPixel) return KivLoadStatus::unsupportedVariant;
    if (!IsTgaColorMapped(info)) return KivLoadStatus::ok;
    if (info.pixelDepth != tga::kMappedPixelDepth) return KivLoadStatus::unsupportedVariant;
    if (info.colorMapEntrySize == 0 || info.colorMapEntrySize > tga::kMaxBitsPerPixel)
        return KivLoadStatus::unsupportedVariant;
    // With entries of at most 4 bytes, 512 entries are also within the table's bytes before widening.
    if (static_cast<UINT>(info.colorMapFirstIndex) + info.colorMapLength > tga::kColorMapTableEntries)
        return KivLoadStatus::corrupt;
    return KivLoadStatus::ok;
}

// ---- Pixel conversion ------------------------------------------------------------------------------------

// Widens count pixels of sourceBytes (1 to 3) each, stored from the start of pixels, to 4 bytes B, G, R, A
// in place, from the last pixel backwards: pixel i's source ends at (i + 1) x sourceBytes <= (i + 1) x 4,
// so widening it never overwrites a source not yet read. One byte is a grey level; two bytes a 5-5-5 word
// (or, when grey is true, a grey level and an attribute byte); three bytes B, G, R. The alpha written is 0;
// the decode makes it 255 for every picture whose pixel depth is not 32.
void ConvertTgaPixels(BYTE* pixels, size_t count, UINT sourceBytes, bool grey) {
    if (sourceBytes == 0 || sourceBytes >= tga::kWorkPixelBytes) return;  // 4 bytes are already B, G, R, A
    for (size_t i = count; i-- > 0;) {
        const BYTE* source = pixels + i * sourceBytes;
        DWORD blue = 0, green = 0, red = 0;
        if (sourceBytes == 1 || (sourceBytes == 2 && grey)) {
            blue = green = red = source[0];  // a 16-bit grey pixel's second byte is its attribute byte
        } else if (sourceBytes == 2) {
            const UINT word = ReadLE16(source);
            blue = WidenTgaFiveBits(word & tga::kFiveBitMask);
            green = WidenTgaFiveBits(word >> tga::kGreenShift & tga::kFiveBitMask);
            red = WidenTgaFiveBits(word >> tga::kRedShift & tga::kFiveBitMask);
        } else {
            blue = source[0];
            green = source[1];
            red = source[2];
        }
        const DWORD word = PackBgra(red, green, blue, 0);
        std::memcpy(pixels + i * tga::kWorkPixelBytes, &word, sizeof word);
    }
}

// ---- Run-length packets ----------------------------------------------------------------------------------

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

// The run-length packets of one decode, read in place from the source's buffered bytes. Packets may span
// rows and buffer refills: what is still due from a packet carries over from one Read to the next.
class TgaRleReader {
  public:
    TgaRleReader(ByteSource& source, UINT pixelBytes) : source_(source), pixelBytes_(pixelBytes) {}

    // Delivers up to count pixels into destination (count x pixelBytes bytes). Returns the number of whole
    // pixels delivered: count, or fewer once the data has ended.
    size_t Read(BYTE* destination, size_t count) {
        size_t delivered = 0;
        while (delivered < count) {
            if (pending_ == 0 && !StartPacket()) break;
            const size_t take = std::min<size_t>(count - delivered, pending_);
            BYTE* out = destination + delivered * pixelBytes_;
            if (run_) {
                FillRun(out, take, runValue_, pixelBytes_);
            } else {
                const size_t wanted = take * pixelBytes_;
                const size_t copied = source_.Read(out, wanted);
                if (copied < wanted) {  // the data ended inside the packet: only whole pixels count
                    pending_ = 0;
                    return delivered + copied / pixelBytes_;
                }
            }
            delivered += take;
            pending_ = static_cast<WORD>(pending_ - take);
        }
        return delivered;
    }

  private:
    bool StartPacket() {
        // Most packets lie whole inside the buffered bytes: their header and run value are taken in place.
        const BYTE* bytes = nullptr;
        if (source_.Peek(bytes) > pixelBytes_) {
            run_ = (bytes[0] & tga::kRunPacketFlag) != 0;
            if (run_) std::memcpy(runValue_, bytes + 1, pixelBytes_);
            pending_ = static_cast<WORD>((bytes[0] & tga::kPacketCountMask) + 1);
            source_.Advance(run_ ? 1 + pixelBytes_ : 1);
            return true;
        }
        const int header = source_.NextByte();
        if (header < 0) return false;
        run_ = (header & tga::kRunPacketFlag) != 0;
        if (run_ && !source_.ReadExact(runValue_, pixelBytes_)) return false;
        pending_ = static_cast<WORD>((header & tga::kPacketCountMask) + 1);
        return true;
    }

    ByteSource& source_;
    UINT pixelBytes_;
    WORD pending_ = 0;  // pixels still due from the current packet
    bool run_ = false;
    BYTE runValue_[tga::kMaxSourcePixelBytes] = {};
};

// ---- Decode ----------------------------------------------------------------------------------------------

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
    // Colour pixels of three bytes B, G, R, the common case: packed from the strip straight into the
    // output rows rather than widened in place and copied.
    bool colourBytes;
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
    plan.colourBytes = !plan.mapped && plan.sourcePixelBytes == 3;
    return plan;
}

// The colour map: a mapped picture reads its entries into the table at first index x m and widens them
// to 4 bytes; any other picture steps over them. Entries the file does not supply, below the first index,
// past the length or cut off by the end of the file, stay zero and so read as black.
void LoadColorMap(ByteSource& source, const TgaFileInfo& info, const DecodePlan& plan, ColorMapTable& table) {
    if (info.colorMapType != tga::kHasColorMap || info.colorMapLength == 0) return;
    const size_t mapBytes = static_cast<size_t>(info.colorMapLength) * plan.entryBytes;
    if (!plan.mapped) {
        source.Skip(mapBytes);
        return;
    }
    // CheckTgaDecodeLimits keeps (first index + length) x m within the table.
    source.Read(table.data() + static_cast<size_t>(info.colorMapFirstIndex) * plan.entryBytes, mapBytes);
    if (plan.entryBytes != tga::kWorkPixelBytes)
        ConvertTgaPixels(table.data(), static_cast<size_t>(info.colorMapFirstIndex) + info.colorMapLength,
                         plan.entryBytes, false);
}

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

// Packs rowCount rows of 3-byte pixels of the strip, of which the file supplied got, straight into their
// output rows; the pixels it did not supply are opaque black, as every pixel of a picture without alpha.
void PackStripRows(const BYTE* strip, size_t got, UINT firstRow, UINT rowCount, const DecodePlan& plan,
                   DWORD* pixels) {
    for (UINT i = 0; i < rowCount; ++i) {
        DWORD* out = pixels + static_cast<size_t>(OutputRow(firstRow + i, plan)) * plan.width;
        const size_t before = static_cast<size_t>(i) * plan.width;
        const size_t supplied = got > before ? std::min<size_t>(got - before, plan.width) : 0;
        PackBgrRow(strip + before * 3, out, supplied);
        std::fill(out + supplied, out + plan.width, kOpaqueAlpha);
    }
}

// Decodes the pixel data strip by strip. The rows a short file lacks stay zero: the decode stops at the
// first strip the file cannot fill, after zeroing the part of that strip the file did not supply. Returns
// how many file rows, counted from the first, were stored.
UINT DecodeStrips(ByteSource& source, TgaRleReader* packets, const DecodePlan& plan, const ColorMapTable& table,
                  BYTE* work, UINT rowsPerStrip, DWORD* pixels) {
    const size_t stripPixels = static_cast<size_t>(rowsPerStrip) * plan.width;
    for (UINT row = 0; row < plan.height; row += rowsPerStrip) {
        // The last strip asks for a whole strip even when fewer rows remain.
        const size_t got = packets ? packets->Read(work, stripPixels)
                                   : source.Read(work, stripPixels * plan.sourcePixelBytes) / plan.sourcePixelBytes;
        const UINT rows = std::min(rowsPerStrip, plan.height - row);
        if (plan.colourBytes) {
            PackStripRows(work, got, row, rows, plan, pixels);
        } else {
            if (plan.mapped)
                ExpandIndices(work, got, table);
            else if (plan.sourcePixelBytes != tga::kWorkPixelBytes)
                ConvertTgaPixels(work, got, plan.sourcePixelBytes, plan.greyPixels);
            std::memset(work + got * tga::kWorkPixelBytes, 0, (stripPixels - got) * tga::kWorkPixelBytes);
            CopyStripRows(work, row, rows, plan, pixels);
        }
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

// The least pixel data a file may hold for its declared picture, so that a few bytes cannot size a huge
// buffer. Uncompressed pixels: half of them; a file cut short by an interrupted copy still loads, its
// missing rows zero. Run-length packets: at best one header byte and one pixel value for 128 pixels.
ULONGLONG LeastPixelDataBytes(const DecodePlan& plan) {
    const ULONGLONG pixels = static_cast<ULONGLONG>(plan.width) * plan.height;
    if (plan.encoded) return (pixels + 127) / 128 * (1 + plan.sourcePixelBytes);
    return (pixels * plan.sourcePixelBytes + 1) / 2;
}

DecodedPicture DecodePixels(ByteSource& source, const TgaFileInfo& info) {
    const DecodePlan plan = MakePlan(info);
    ColorMapTable table{};
    LoadColorMap(source, info, plan, table);

    DecodedPicture picture;
    KivLoadStatus status = CheckPictureSize(plan.width, plan.height);
    if (status == KivLoadStatus::ok) status = CheckDataCanHold(source, LeastPixelDataBytes(plan));
    if (status == KivLoadStatus::ok) status = AllocatePixelBuffer(plan.width, plan.height, picture.pixels);
    if (status != KivLoadStatus::ok) return DecodedPicture::Failure(status);

    // Encoded pictures take one row per strip, as the packets are read in place from the source's buffer.
    const size_t rowBytes = static_cast<size_t>(std::max(tga::kWorkPixelBytes, plan.sourcePixelBytes)) * plan.width;
    const UINT rowsPerStrip = plan.encoded ? 1 : static_cast<UINT>(std::max<size_t>(1, kStripBytes / rowBytes));
    const std::unique_ptr<BYTE[]> work(new BYTE[rowBytes * rowsPerStrip]);
    TgaRleReader packets(source, plan.sourcePixelBytes);
    const UINT storedRows = DecodeStrips(source, plan.encoded ? &packets : nullptr, plan, table, work.get(),
                                         rowsPerStrip, picture.pixels.get());
    if (!plan.keepsAlpha) MakeMissingRowsOpaque(storedRows, plan, picture.pixels.get());
    picture.rect = CRect(info.xOrigin, info.yOrigin, info.xOrigin + info.width, info.yOrigin + info.height);
    return picture;
}

}  // namespace

DecodedPicture DecodeTga(ByteSource& source) {
    TgaFileInfo info{};
    KivLoadStatus status = ReadTgaHeader(source, info);
    if (status == KivLoadStatus::ok) status = CheckTgaHeader(info);
    if (status == KivLoadStatus::ok) status = CheckTgaDecodeLimits(info);
    if (status != KivLoadStatus::ok) return DecodedPicture::Failure(status);
    return DecodePixels(source, info);
}

// The probe accepts what the header check accepts; the decode's own limits are not its business, so it
// describes pictures the reader refuses as too large.
bool ProbeTga(ByteSource& source, PictureHeader& header) {
    TgaFileInfo info{};
    if (ReadTgaHeader(source, info) != KivLoadStatus::ok || CheckTgaHeader(info) != KivLoadStatus::ok) return false;
    header.bits = info.pixelDepth;
    header.rect = RECT{info.xOrigin, info.yOrigin, info.xOrigin + info.width, info.yOrigin + info.height};
    return true;
}
