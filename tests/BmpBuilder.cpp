#include "BmpBuilder.h"

Bytes BmpFile::Build() const {
    const bool core = headerSize == 12, masksAfter = headerSize == 40;
    const auto dataStart = static_cast<std::uint32_t>(14 + headerSize + (masksAfter ? 4 * masks.size() : 0) +
                                                      (core ? 3 : 4) * palette.size());
    const auto dataBytes = static_cast<std::uint32_t>(pixelData.size());
    Bytes out{'B', 'M'}, info;
    for (const std::uint32_t field : {dataStart + dataBytes, 0u, dataStart}) PutU32(out, field);
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
    out.insert(out.end(), info.begin(), info.end());
    out.insert(out.end(), pixelData.begin(), pixelData.end());
    return out;
}

Bytes StoredRows(const std::vector<std::vector<std::uint32_t>>& rows, unsigned bitsPerPixel) {
    Bytes out;
    for (const auto& values : rows) {
        for (const std::uint32_t value : values)
            for (unsigned byte = 0; byte < bitsPerPixel / 8; ++byte) PutU8(out, value >> (8 * byte));
        while (out.size() % 4) out.push_back(0);
    }
    return out;
}
