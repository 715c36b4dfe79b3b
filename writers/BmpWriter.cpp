// Windows bitmap writer: an uncompressed 32-bit file of a region of a pixel buffer, alpha kept.

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "writers/Writers.h"
#include "readers/BmpLayout.h"
#include "platform/ReplacementFile.h"
#include "writers/WriterRegion.h"

namespace {

constexpr UINT kHeadersBytes = bmp::kFileHeaderBytes + bmp::kInfoHeaderBytes;
// Rows are gathered into writes of about this size instead of one system call per row. Each write also
// stamps the file's modification time, which costs a journal entry on ext4, so a megabyte at a time is
// markedly cheaper than a few hundred kilobytes.
constexpr size_t kWriteChunkBytes = 1024 * 1024;

std::array<BYTE, kHeadersBytes> MakeHeaders(DWORD width, DWORD height) {
    std::array<BYTE, kHeadersBytes> bytes{};
    const DWORD pixelBytes = 4 * width * height;
    BYTE* file = bytes.data();
    WriteLE16(file + bmp::kFileTypeOffset, bmp::kSignature);
    WriteLE32(file + bmp::kFileSizeOffset, kHeadersBytes + pixelBytes);
    WriteLE32(file + bmp::kPixelDataOffsetOffset, kHeadersBytes);
    BYTE* info = file + bmp::kFileHeaderBytes;
    WriteLE32(info + bmp::kHeaderSizeOffset, bmp::kInfoHeaderBytes);
    WriteLE32(info + bmp::kWidthOffset, width);
    WriteLE32(info + bmp::kHeightOffset, height);  // positive: rows stored bottom-up
    WriteLE16(info + bmp::kPlanesOffset, 1);
    WriteLE16(info + bmp::kBitCountOffset, 32);
    WriteLE32(info + bmp::kCompressionOffset, bmp::kRgb);
    WriteLE32(info + bmp::kImageSizeOffset, pixelBytes);
    // The resolution fields carry the region's size in pixels, which readers of these files expect.
    WriteLE32(info + bmp::kXResolutionOffset, width);
    WriteLE32(info + bmp::kYResolutionOffset, height);
    return bytes;
}

}  // namespace

int WriteBmpFile(CString path, DWORD* buffer, CSize size, CRect rect) {
    const CRect region = CutRegionToBuffer(rect, size);
    if (!buffer || region.IsRectEmpty()) return 0;
    const auto width = static_cast<DWORD>(region.Width());
    const auto height = static_cast<DWORD>(region.Height());
    // The file-size field is 32 bits: a region whose file would not fit cannot be written truthfully.
    if (4ull * width * height + kHeadersBytes > 0xFFFFFFFFull) return 0;

    ReplacementFile output;
    if (!output.Create(path)) return 0;
    try {
        CFile& file = output.File();
        const auto headers = MakeHeaders(width, height);
        file.Write(headers.data(), kHeadersBytes);

        const size_t rowBytes = 4 * static_cast<size_t>(width);
        const size_t rowsPerChunk = std::max<size_t>(1, kWriteChunkBytes / rowBytes);
        std::vector<BYTE> chunk(rowBytes * std::min<size_t>(rowsPerChunk, height));
        size_t filled = 0;
        for (long long y = region.bottom - 1; y >= region.top; --y) {
            const DWORD* row = buffer + static_cast<size_t>(y) * static_cast<size_t>(size.cx) + region.left;
            // The pixel words go out in their memory order: blue, green, red, alpha.
            std::memcpy(chunk.data() + filled, row, rowBytes);
            filled += rowBytes;
            if (filled == chunk.size() || y == region.top) {
                file.Write(chunk.data(), static_cast<UINT>(filled));
                filled = 0;
            }
        }
        return output.Commit() ? 1 : 0;
    } catch (const CException&) {
        return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}
