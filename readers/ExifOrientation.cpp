#include "readers/ExifOrientation.h"

#include <algorithm>
#include <cstring>

namespace {

// The block: "Exif", two zero bytes, then a TIFF header ("II" or "MM", 42, the offset of the first
// directory from the header's start); a directory is an entry count, then 12-byte entries of tag, type,
// count and a 4-byte value field, which holds a short value in its first two bytes.
constexpr BYTE kExifSignature[] = {'E', 'x', 'i', 'f', 0, 0};
constexpr size_t kTiffHeaderBytes = 8;
constexpr size_t kEntryBytes = 12;
constexpr unsigned kTiffMagic = 42;
constexpr unsigned kOrientationTag = 0x0112;
constexpr unsigned kShortType = 3;

// The TIFF block's integers, in the byte order its header names.
class TiffReader {
  public:
    TiffReader(const BYTE* data, size_t size, bool bigEndian) : data_(data), size_(size), bigEndian_(bigEndian) {}

    // False when the field does not lie wholly inside the block.
    bool Read16(size_t at, unsigned& value) const {
        if (at > size_ || size_ - at < 2) return false;
        value = bigEndian_ ? data_[at] << 8 | data_[at + 1] : data_[at] | data_[at + 1] << 8;
        return true;
    }
    bool Read32(size_t at, size_t& value) const {
        unsigned first = 0, second = 0;
        if (!Read16(at, first) || !Read16(at + 2, second)) return false;
        value = bigEndian_ ? size_t{first} << 16 | second : size_t{second} << 16 | first;
        return true;
    }

  private:
    const BYTE* data_;
    size_t size_;
    bool bigEndian_;
};

// Display pixel (x, y) of a picture made upright is stored pixel first + x * alongRow + y * downColumn.
struct Mapping {
    ptrdiff_t first, alongRow, downColumn;
};

Mapping MappingOf(int orientation, ptrdiff_t width, ptrdiff_t height) {
    const ptrdiff_t lastRow = (height - 1) * width, lastColumn = width - 1;
    switch (orientation) {
        case 2: return {lastColumn, -1, width};
        case 3: return {lastRow + lastColumn, -1, -width};
        case 4: return {lastRow, 1, -width};
        case 5: return {0, width, 1};
        case 6: return {lastRow, -width, 1};
        case 7: return {lastRow + lastColumn, -width, -1};
        case 8: return {lastColumn, width, -1};
        default: return {0, 1, width};
    }
}

}  // namespace

int ExifOrientation(const BYTE* data, size_t size) {
    if (!data || size < sizeof kExifSignature + kTiffHeaderBytes ||
        std::memcmp(data, kExifSignature, sizeof kExifSignature) != 0)
        return kUpright;
    const BYTE* tiff = data + sizeof kExifSignature;
    const size_t tiffSize = size - sizeof kExifSignature;
    if (tiff[0] != tiff[1] || (tiff[0] != 'I' && tiff[0] != 'M')) return kUpright;
    const TiffReader reader(tiff, tiffSize, tiff[0] == 'M');
    unsigned magic = 0, entries = 0;
    size_t directory = 0;
    if (!reader.Read16(2, magic) || magic != kTiffMagic || !reader.Read32(4, directory) ||
        !reader.Read16(directory, entries))
        return kUpright;
    for (size_t i = 0; i < entries; ++i) {
        const size_t entry = directory + 2 + i * kEntryBytes;
        unsigned tag = 0, type = 0, value = 0;
        if (!reader.Read16(entry, tag) || !reader.Read16(entry + 2, type)) return kUpright;
        if (tag != kOrientationTag) continue;
        if (type != kShortType || !reader.Read16(entry + 8, value) || value < 1 || value > 8) return kUpright;
        return static_cast<int>(value);
    }
    return kUpright;
}

KivLoadStatus MakeUpright(DecodedPicture& picture, int orientation) {
    if (orientation <= kUpright || orientation > 8 || !picture.pixels) return KivLoadStatus::ok;
    const long long width = picture.rect.Width(), height = picture.rect.Height();
    const bool swaps = OrientationSwapsSides(orientation);
    const long long uprightWidth = swaps ? height : width, uprightHeight = swaps ? width : height;
    PixelBuffer upright;
    if (const KivLoadStatus status = AllocatePixelBuffer(uprightWidth, uprightHeight, upright);
        status != KivLoadStatus::ok)
        return status;
    const Mapping map = MappingOf(orientation, width, height);
    const DWORD* stored = picture.pixels.get();
    DWORD* out = upright.get();
    // In square tiles, so that a quarter turn reads and writes memory a few cache lines at a time.
    constexpr long long kTile = 64;
    for (long long tileY = 0; tileY < uprightHeight; tileY += kTile)
        for (long long tileX = 0; tileX < uprightWidth; tileX += kTile)
            for (long long y = tileY; y < std::min(tileY + kTile, uprightHeight); ++y) {
                ptrdiff_t from = map.first + y * map.downColumn + tileX * map.alongRow;
                DWORD* to = out + y * uprightWidth + tileX;
                for (long long x = tileX; x < std::min(tileX + kTile, uprightWidth); ++x, from += map.alongRow)
                    *to++ = stored[from];
            }
    picture.pixels = std::move(upright);
    picture.rect = CRect(picture.rect.left, picture.rect.top, picture.rect.left + static_cast<int>(uprightWidth),
                         picture.rect.top + static_cast<int>(uprightHeight));
    return KivLoadStatus::ok;
}
