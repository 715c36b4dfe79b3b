#include "BmpBuilder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

Bytes BmpFile::Build() const {
    const bool core = headerSize == 12, masksAfter = headerSize == 40;
    const auto dataStart = static_cast<std::uint32_t>(14 + headerSize + (masksAfter ? 4 * masks.size() : 0) +
                                                      (core ? 3 : 4) * palette.size() + filler.size());
    const auto dataBytes = static_cast<std::uint32_t>(pixelData.size());
    Bytes out{'B', 'M'}, info;
    for (const std::uint32_t field : {dataStart + dataBytes, 0u, dataOffset.value_or(dataStart)})
        PutU32(out, field);
    PutU32(info, headerSize);
    for (const int side : {width, height})  // 16 bits in a core header
        core ? PutU16(info, static_cast<unsigned>(side)) : PutU32(info, static_cast<std::uint32_t>(side));
    PutU16(info, 1);
    PutU16(info, bitsPerPixel);
    // Compression, image size, 72 dots per inch both ways (not read), colours used and important.
    for (const std::uint32_t field : {compression, dataBytes, 2835u, 2835u, colorsUsed, 0u})
        if (!core) PutU32(info, field);
    for (const std::uint32_t mask : masks)
        if (!core && !masksAfter) PutU32(info, mask);
    info.resize(headerSize);  // a shorter header is cut, a longer one zero-filled
    for (const std::uint32_t mask : masks)
        if (masksAfter) PutU32(info, mask);
    for (const std::uint32_t entry : palette)
        for (int byte = 0; byte < (core ? 3 : 4); ++byte) PutU8(info, entry >> 8 * byte);
    for (const Bytes* part : {&std::as_const(info), &filler, &pixelData})
        out.insert(out.end(), part->begin(), part->end());
    return out;
}

Bytes StoredRow(const std::vector<std::uint32_t>& values, unsigned bitsPerPixel) {
    Bytes row;
    for (size_t i = 0; i < values.size(); ++i) {
        const unsigned shift = 8 - bitsPerPixel - i * bitsPerPixel % 8;  // below 8 bits: from the top bits
        if (bitsPerPixel < 8 && i * bitsPerPixel % 8 == 0) row.push_back(0);
        if (bitsPerPixel < 8) row.back() = static_cast<std::uint8_t>(row.back() | values[i] << shift);
        for (unsigned byte = 0; byte < bitsPerPixel / 8; ++byte) PutU8(row, values[i] >> (8 * byte));
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
    const CRect untouched(11, 22, 33, 44);
    Decoded result{KivLoadStatus::ok, false, untouched, {}};
    LoadedPicture viaDispatch, viaReader;
    viaDispatch.pixels = KivPictureLoadPicFileEx(Wide(path), result.rect, &result.status);
    viaReader.rect = untouched;
    viaReader.pixels = KivPictureLoadBMPFile(Wide(path), viaReader.rect);
    result.loaded = viaDispatch.pixels != nullptr;
    EXPECT_EQ(result.loaded, viaReader.pixels != nullptr)
        << "the BMP reader and the dispatch disagree on " << path;
    EXPECT_EQ(result.loaded, result.status == KivLoadStatus::ok) << path;
    EXPECT_TRUE(result.loaded || (result.rect == untouched && viaReader.rect == untouched))
        << "a failed load wrote the rectangle";
    const size_t count = result.loaded ? static_cast<size_t>(result.rect.Width()) * result.rect.Height() : 0;
    result.pixels.assign(viaDispatch.pixels, viaDispatch.pixels + count);
    return result;
}

std::uint32_t FieldLE32(const Bytes& bytes, size_t offset) {
    return FieldLE16(bytes, offset) | static_cast<std::uint32_t>(FieldLE16(bytes, offset + 2)) << 16;
}

unsigned FieldLE16(const Bytes& bytes, size_t offset) {
    return bytes.at(offset) | bytes.at(offset + 1) << 8;
}

std::vector<DWORD> PixelsOfWrittenBmp(const Bytes& file, int& width, int& height) {
    width = height = 0;
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M' || FieldLE16(file, 28) != 32) return {};
    width = static_cast<int>(FieldLE32(file, 18));
    height = static_cast<int>(FieldLE32(file, 22));
    const size_t offset = FieldLE32(file, 10),
                 count = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (width <= 0 || height <= 0 || file.size() != offset + 4 * count) return {};
    std::vector<DWORD> pixels(count);
    for (int stored = 0; stored < height; ++stored)  // bottom-up
        std::memcpy(&pixels[static_cast<size_t>(height - 1 - stored) * width],
                    &file[offset + 4 * static_cast<size_t>(stored) * width], 4 * static_cast<size_t>(width));
    return pixels;
}
