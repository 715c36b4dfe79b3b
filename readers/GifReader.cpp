// GIF reader: walks the blocks of a GIF file, skips every extension, decodes each image with a
// variable-length LZW decoder of at most 12 bits and keeps the picture of the last image. Transparency
// and the image's place on the logical screen are not used: every pixel is opaque and the picture has
// the image's own size.

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "readers/ByteOrder.h"
#include "readers/GifLayout.h"
#include "readers/Readers.h"

namespace {

using ColorTable = std::array<DWORD, gif::kMaxColorTableEntries>;

// A colour table as the file stores it; no entries when the file has none.
struct StoredColorTable {
    UINT entries = 0;
    std::array<BYTE, gif::kMaxColorTableEntries * gif::kColorTableEntryBytes> rgb{};
};

// The LZW string table and the stack a string is unwound onto, last character first.
struct LzwTables {
    std::array<WORD, gif::kMaxCodes> prefix;
    std::array<BYTE, gif::kMaxCodes> suffix;
    std::array<BYTE, gif::kMaxCodes> stack;
};

// Reads sub-blocks up to and including the zero count that ends them; false when the file ends first.
bool SkipSubBlocks(ByteSource& in) {
    for (;;) {
        const int count = in.NextByte();
        if (count < 0) return false;
        if (count == 0) return true;
        if (!in.Skip(static_cast<size_t>(count))) return false;
    }
}

// Codes of the image data, least significant bit first, taken from the data sub-blocks.
class CodeReader {
  public:
    static constexpr int kDataEnded = -1;  // the zero count ending the sub-blocks came first
    static constexpr int kFileEnded = -2;

    explicit CodeReader(ByteSource& in) : in_(in) {}

    int Next(UINT bits) {
        while (held_ < bits) {
            if (blockLeft_ == 0) {
                const int count = in_.NextByte();
                if (count < 0) return kFileEnded;
                if (count == 0) {
                    terminatorRead_ = true;
                    return kDataEnded;
                }
                blockLeft_ = static_cast<UINT>(count);
            }
            const int byte = in_.NextByte();
            if (byte < 0) return kFileEnded;
            --blockLeft_;
            bits_ |= static_cast<DWORD>(byte) << held_;
            held_ += 8;
        }
        const int code = static_cast<int>(bits_ & ((1u << bits) - 1));
        bits_ >>= bits;
        held_ -= bits;
        return code;
    }

    // Moves the file to the byte after the data's terminating zero count. The image is complete by
    // then, so a file that ends here only ends the block walk (its next read finds the end too).
    void SkipRest() {
        if (terminatorRead_) return;
        if (in_.Skip(blockLeft_)) SkipSubBlocks(in_);
    }

  private:
    ByteSource& in_;
    DWORD bits_ = 0;
    UINT held_ = 0;
    UINT blockLeft_ = 0;
    bool terminatorRead_ = false;
};

// Collects decoded indices into a line and delivers each full line to its row of the picture, in the
// row order of a plain or an interlaced image.
class RowWriter {
  public:
    RowWriter(DWORD* pixels, UINT width, UINT height, bool interlaced, const ColorTable& colors)
        : pixels_(pixels),
          width_(width),
          height_(height),
          interlaced_(interlaced),
          colors_(colors),
          line_(width) {}

    // Pops the string on the stack (its first character on top) into the line. Characters past the
    // picture's last row are dropped, as other readers drop them.
    void Take(const BYTE* bottom, const BYTE* top) {
        while (top != bottom && !Full()) {
            const size_t take = std::min<size_t>(static_cast<size_t>(top - bottom), width_ - filled_);
            BYTE* out = line_.data() + filled_;
            for (size_t i = 0; i < take; ++i) out[i] = *--top;
            filled_ += static_cast<UINT>(take);
            if (filled_ == width_) {
                Deliver();
                filled_ = 0;
            }
        }
    }

    // Every row delivered: after the last one the row stays at or past the height.
    bool Full() const { return row_ >= height_; }

  private:
    void Deliver() {
        DWORD* out = pixels_ + static_cast<size_t>(row_) * width_;
        const BYTE* indices = line_.data();
        for (UINT x = 0; x < width_; ++x) out[x] = colors_[indices[x]];
        AdvanceRow();
    }

    void AdvanceRow() {
        if (!interlaced_) {
            ++row_;
            return;
        }
        row_ += gif::kPassRowStep[pass_];
        // A pass whose first row lies outside the picture is skipped.
        while (row_ >= height_ && ++pass_ < gif::kInterlacePasses) row_ = gif::kPassFirstRow[pass_];
    }

    DWORD* pixels_;
    UINT width_;
    UINT height_;
    bool interlaced_;
    const ColorTable& colors_;
    std::vector<BYTE> line_;
    UINT filled_ = 0;
    UINT row_ = 0;
    UINT pass_ = 0;
};

// Decodes the LZW data of one image into rows. Success at the end code, and also when the data's
// sub-blocks end before it: rows not delivered keep the buffer's zero fill either way. Once the last row
// is delivered the rest of the data is passed over unread, so codes after it (more pixels, or codes no
// table holds) do not matter, as for other readers.
KivLoadStatus DecodeImageData(ByteSource& in, UINT minCodeSize, LzwTables& lzw, RowWriter& rows) {
    const UINT clearCode = 1u << minCodeSize;
    const UINT endCode = clearCode + 1;
    const UINT firstFree = endCode + 1;
    UINT codeSize = minCodeSize + 1;
    UINT nextSlot = firstFree;
    UINT slotLimit = 1u << codeSize;
    UINT oldCode = 0;
    BYTE firstChar = 0;
    // The data's first code is taken like the code after a clear code even when no clear code precedes
    // it: output as it stands, without a table entry built on an old code that does not exist yet.
    bool startsAfresh = true;

    BYTE* const stackBottom = lzw.stack.data();
    // One place is kept for the code that ends a chain. Only a table made cyclic by codes beyond the next
    // free slot can unwind further than any real string, and that fails the image.
    BYTE* const stackChainEnd = stackBottom + lzw.stack.size() - 1;

    CodeReader codes(in);
    for (;;) {
        const int next = codes.Next(codeSize);
        if (next == CodeReader::kFileEnded) return KivLoadStatus::truncated;
        // Data without an end code ends the image where its sub-blocks end, as the end code would.
        if (next == CodeReader::kDataEnded) return KivLoadStatus::ok;
        UINT code = static_cast<UINT>(next);
        if (code == clearCode) {
            codeSize = minCodeSize + 1;
            nextSlot = firstFree;
            slotLimit = 1u << codeSize;
            startsAfresh = true;  // further clear codes just repeat this
            continue;
        }
        if (code == endCode) {
            codes.SkipRest();
            return KivLoadStatus::ok;
        }

        BYTE* top = stackBottom;
        if (startsAfresh) {
            if (code >= nextSlot) code = 0;
            oldCode = code;
            // The stack holds bytes, so a root code above 255 (minimum code sizes 9 to 11) keeps its low
            // byte.
            firstChar = static_cast<BYTE>(code);
            *top++ = firstChar;
            startsAfresh = false;
        } else {
            UINT walk = code;
            if (code >= nextSlot) {
                *top++ = firstChar;
                walk = oldCode;
            }
            while (walk >= firstFree) {
                if (top == stackChainEnd) return KivLoadStatus::corrupt;
                *top++ = lzw.suffix[walk];
                walk = lzw.prefix[walk];
            }
            firstChar = static_cast<BYTE>(walk);
            *top++ = firstChar;
            if (nextSlot < slotLimit) {
                lzw.suffix[nextSlot] = firstChar;
                lzw.prefix[nextSlot] = static_cast<WORD>(oldCode);
                ++nextSlot;
            }
            oldCode = code;
        }
        // With a minimum code size of 1 the first free slot (4) is already past 2-bit codes, so the code
        // after the first one is 3 bits wide, as giflib reads it; larger sizes only grow here after a
        // table entry.
        if (nextSlot >= slotLimit && codeSize < gif::kMaxCodeBits) {
            slotLimit <<= 1;
            ++codeSize;
        }
        rows.Take(stackBottom, top);
        if (rows.Full()) {
            codes.SkipRest();
            return KivLoadStatus::ok;
        }
    }
}

// The most pixels that LZW data of `bytes` bytes can spell, so that a few bytes cannot size a huge buffer.
// After a clear, the k-th code (from 0) spells at most k + 1 pixels: each code adds one table entry at most
// one pixel longer than the longest before it. Codes start minCodeSize + 1 bits wide and widen as the
// table fills; once it is full, no string grows and none is longer than the decode's stack. Clear codes
// and sub-block counts only cost bits, so data made of nothing else is the best case.
ULONGLONG MostLzwPixels(UINT minCodeSize, ULONGLONG bytes) {
    ULONGLONG bits = std::min<ULONGLONG>(bytes, 1ull << 48) * 8;  // no file is longer; no overflow below
    UINT codeSize = minCodeSize + 1;
    UINT slotLimit = 1u << codeSize;
    ULONGLONG pixels = 0;
    ULONGLONG longest = 0;
    for (UINT nextSlot = (1u << minCodeSize) + 1; nextSlot < gif::kMaxCodes && bits >= codeSize; ++nextSlot) {
        bits -= codeSize;
        pixels += ++longest;
        if (nextSlot + 1 >= slotLimit && codeSize < gif::kMaxCodeBits) {
            slotLimit <<= 1;
            ++codeSize;
        }
    }
    return pixels + bits / codeSize * std::min<ULONGLONG>(longest + 1, gif::kMaxCodes);
}

bool ReadColorTable(ByteSource& in, BYTE packed, StoredColorTable& table) {
    table.entries = gif::ColorTableEntries(packed);
    const size_t bytes = table.entries * gif::kColorTableEntryBytes;
    return in.Read(table.rgb.data(), bytes) == bytes;
}

// Entries past the stored table, and every entry when the image has no table at all, are opaque black.
ColorTable PixelColors(const StoredColorTable& stored) {
    ColorTable colors;
    colors.fill(kOpaqueBlack);
    for (UINT i = 0; i < stored.entries; ++i) {
        const BYTE* rgb = &stored.rgb[i * gif::kColorTableEntryBytes];
        colors[i] = PackRgbBytes(rgb);
    }
    return colors;
}

// Reads one image, from its descriptor to the end of its data, into picture, replacing an earlier one.
KivLoadStatus ReadImage(ByteSource& in, const StoredColorTable& global, LzwTables& lzw,
                        DecodedPicture& picture) {
    BYTE descriptor[gif::kImageDescriptorBytes];
    if (in.Read(descriptor, sizeof descriptor) != sizeof descriptor) return KivLoadStatus::truncated;
    const UINT width = ReadLE16(descriptor + gif::kImageWidthOffset);
    const UINT height = ReadLE16(descriptor + gif::kImageHeightOffset);
    const BYTE packed = descriptor[gif::kImagePackedOffset];
    StoredColorTable local;
    if ((packed & gif::kColorTableFlag) && !ReadColorTable(in, packed, local))
        return KivLoadStatus::truncated;
    // An image without a local table takes the global one, never the local table of an earlier image.
    const ColorTable colors = PixelColors(local.entries ? local : global);

    // The earlier image's picture is given up before this one is sized: whatever follows replaces it.
    picture.pixels.reset();
    if (const KivLoadStatus status = CheckPictureSize(width, height); status != KivLoadStatus::ok) return status;
    const int minCodeSize = in.NextByte();
    if (minCodeSize < 0) return KivLoadStatus::truncated;
    if (minCodeSize < static_cast<int>(gif::kMinLzwCodeSize) ||
        minCodeSize > static_cast<int>(gif::kMaxLzwCodeSize))
        return KivLoadStatus::corrupt;
    if (MostLzwPixels(static_cast<UINT>(minCodeSize), in.Remaining()) < static_cast<ULONGLONG>(width) * height)
        return KivLoadStatus::truncated;
    if (const KivLoadStatus status = AllocatePixelBuffer(width, height, picture.pixels);
        status != KivLoadStatus::ok)
        return status;

    // Each image starts from empty tables, so no entry of an earlier image can leak into this one.
    lzw.prefix.fill(0);
    lzw.suffix.fill(0);
    RowWriter rows(picture.pixels.get(), width, height, (packed & gif::kInterlacedFlag) != 0, colors);
    if (const KivLoadStatus status = DecodeImageData(in, static_cast<UINT>(minCodeSize), lzw, rows);
        status != KivLoadStatus::ok)
        return status;
    picture.rect = CRect(0, 0, static_cast<int>(width), static_cast<int>(height));
    return KivLoadStatus::ok;
}

// Moves past an extension. False ends the block walk: a graphic control extension whose first sub-block
// is not 4 bytes long, or a file that ends inside the extension (treated like the end of the file
// before an introducer, so an image decoded earlier is kept).
bool SkipExtension(ByteSource& in) {
    const int label = in.NextByte();
    if (label < 0) return false;
    if (label == gif::kGraphicControlLabel) {
        const int count = in.NextByte();
        BYTE fields[gif::kGraphicControlBytes];  // read whatever the count says, and not used
        if (in.Read(fields, sizeof fields) != sizeof fields) return false;
        if (count != static_cast<int>(gif::kGraphicControlBytes)) return false;
    }
    return SkipSubBlocks(in);
}

}  // namespace

DecodedPicture DecodeGif(ByteSource& in) {
        BYTE header[gif::kHeaderAndScreenBytes];
    const size_t got = in.Read(header, sizeof header);
    if (got < gif::kSignatureBytes || std::memcmp(header, gif::kSignature, gif::kSignatureBytes) != 0)
        return DecodedPicture::Failure(KivLoadStatus::notThisFormat);
    if (got < sizeof header) return DecodedPicture::Failure(KivLoadStatus::truncated);
    StoredColorTable global;
    const BYTE screenPacked = header[gif::kScreenPackedOffset];
    if ((screenPacked & gif::kColorTableFlag) && !ReadColorTable(in, screenPacked, global))
        return DecodedPicture::Failure(KivLoadStatus::truncated);

    const auto lzw = std::make_unique<LzwTables>();
    DecodedPicture picture;
    for (bool walking = true; walking;) {
        switch (in.NextByte()) {
            case gif::kImageIntroducer:
                // A failed image fails the file, even when an earlier image decoded.
                if (const KivLoadStatus status = ReadImage(in, global, *lzw, picture);
                    status != KivLoadStatus::ok)
                    return DecodedPicture::Failure(status);
                break;
            case gif::kExtensionIntroducer:
                walking = SkipExtension(in);
                break;
            default:
                walking = false;
                break;  // the trailer, any other byte, or the end of the file
        }
    }
    if (!picture.pixels) return DecodedPicture::Failure(KivLoadStatus::corrupt);  // no image in the file
    return picture;
}


// The probe and the reader deliberately report different sizes: the probe reads no further than the
// logical screen descriptor and reports the screen's size and its colour table's depth, while the reader
// decodes the last image, whose own size is the picture's.
bool ProbeGif(ByteSource& source, PictureHeader& header) {
    // The header, the screen descriptor, and one byte more, which the probe asks for as well.
    BYTE raw[gif::kHeaderAndScreenBytes + 1];
    if (!source.ReadExact(raw, sizeof raw) || std::memcmp(raw, gif::kSignature, gif::kSignatureBytes) != 0)
        return false;
    const WORD width = ReadLE16(raw + gif::kScreenWidthOffset);
    const WORD height = ReadLE16(raw + gif::kScreenHeightOffset);
    if (width == 0 || height == 0) return false;
    header.bits = (raw[gif::kScreenPackedOffset] & gif::kColorTableSizeMask) + 1;
    header.rect = RECT{0, 0, width, height};
    return true;
}
