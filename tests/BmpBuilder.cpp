#include "BmpBuilder.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

constexpr std::uint32_t kFileHeaderBytes = 14;

}  // namespace

Bytes BmpFile::Build() const {
    const std::uint32_t dataStart =
        kFileHeaderBytes + headerSize + static_cast<std::uint32_t>(4 * palette.size() + filler.size());
    Bytes out;
    PutU8(out, 'B');
    PutU8(out, 'M');
    PutU32(out, dataStart + static_cast<std::uint32_t>(pixelData.size()));
    PutU32(out, 0);  // both reserved fields
    PutU32(out, dataOffset.value_or(dataStart));

    Bytes info;
    PutU32(info, headerSize);
    PutU32(info, static_cast<std::uint32_t>(width));
    PutU32(info, static_cast<std::uint32_t>(height));
    PutU16(info, 1);
    PutU16(info, bitsPerPixel);
    PutU32(info, compression);
    PutU32(info, static_cast<std::uint32_t>(pixelData.size()));
    PutU32(info, 2835);  // 72 dots per inch, unread
    PutU32(info, 2835);
    PutU32(info, colorsUsed);
    PutU32(info, 0);
    info.resize(headerSize);  // a shorter header is cut, a longer one zero-filled
    out.insert(out.end(), info.begin(), info.end());

    for (const std::uint32_t entry : palette) PutU32(out, entry);
    out.insert(out.end(), filler.begin(), filler.end());
    out.insert(out.end(), pixelData.begin(), pixelData.end());
    return out;
}

Bytes StoredRow(const std::vector<std::uint32_t>& values, unsigned bitsPerPixel) {
    Bytes row;
    if (bitsPerPixel < 8) {
        const unsigned perByte = 8 / bitsPerPixel;
        for (size_t i = 0; i < values.size(); i += perByte) {
            unsigned byte = 0;
            for (unsigned k = 0; k < perByte; ++k) {
                const unsigned value = i + k < values.size() ? values[i + k] : 0;
                byte |= value << (8 - bitsPerPixel * (k + 1));
            }
            PutU8(row, byte & 0xFF);
        }
    } else {
        for (const std::uint32_t value : values) {
            switch (bitsPerPixel) {
                case 8:
                    PutU8(row, value);
                    break;
                case 16:
                    PutU16(row, value);
                    break;
                case 24:
                    PutU8(row, value & 0xFF);
                    PutU8(row, (value >> 8) & 0xFF);
                    PutU8(row, (value >> 16) & 0xFF);
                    break;
                default:
                    PutU32(row, value);
                    break;
            }
        }
    }
    while (row.size() % 4) row.push_back(0);
    return row;
}

Bytes StoredRows(const std::vector<std::vector<std::uint32_t>>& rows, unsigned bitsPerPixel) {
    Bytes out;
    for (const auto& values : rows) {
        const Bytes row = StoredRow(values, bitsPerPixel);
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

Decoded LoadPicture(const std::string& path) {
    Decoded result;
    const CRect untouched(11, 22, 33, 44);
    result.rect = untouched;
    DWORD* pixels = KivPictureLoadPicFileEx(Wide(path), result.rect, &result.status);
    CRect direct = untouched;
    DWORD* again = KivPictureLoadBMPFile(Wide(path), direct);
    EXPECT_EQ(pixels != nullptr, again != nullptr) << "the BMP reader and the dispatch disagree on " << path;
    GlobalFree(again);
    result.loaded = pixels != nullptr;
    if (!pixels) {
        EXPECT_EQ(result.rect, untouched) << "a failed load wrote the rectangle";
        EXPECT_EQ(direct, untouched) << "a failed load wrote the rectangle";
        return result;
    }
    EXPECT_EQ(result.status, KivLoadStatus::ok);
    const size_t count = static_cast<size_t>(result.rect.Width()) * static_cast<size_t>(result.rect.Height());
    result.pixels.assign(pixels, pixels + count);
    GlobalFree(pixels);
    return result;
}

std::uint32_t FieldLE32(const Bytes& bytes, size_t offset) {
    return static_cast<std::uint32_t>(bytes.at(offset)) |
           static_cast<std::uint32_t>(bytes.at(offset + 1)) << 8 |
           static_cast<std::uint32_t>(bytes.at(offset + 2)) << 16 |
           static_cast<std::uint32_t>(bytes.at(offset + 3)) << 24;
}

unsigned FieldLE16(const Bytes& bytes, size_t offset) {
    return bytes.at(offset) | bytes.at(offset + 1) << 8;
}

std::vector<DWORD> PixelsOfWrittenBmp(const Bytes& file, int& width, int& height) {
    width = height = 0;
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M' || FieldLE16(file, 28) != 32) return {};
    width = static_cast<int>(FieldLE32(file, 18));
    height = static_cast<int>(FieldLE32(file, 22));
    const size_t offset = FieldLE32(file, 10);
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (width <= 0 || height <= 0 || file.size() != offset + 4 * count) return {};
    std::vector<DWORD> pixels(count);
    for (int stored = 0; stored < height; ++stored) {
        const int row = height - 1 - stored;  // bottom-up
        std::memcpy(&pixels[static_cast<size_t>(row) * width],
                    &file[offset + 4 * static_cast<size_t>(stored) * width], 4 * static_cast<size_t>(width));
    }
    return pixels;
}
