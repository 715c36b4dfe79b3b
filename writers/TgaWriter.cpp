// TGA writer: a region of a pixel buffer as an uncompressed 32-bit true-colour file of version 2, with
// the module's image ID, a 64 x 48 postage stamp, an extension area stamped with the local time of saving,
// and the footer. Alpha is kept.

#include <algorithm>
#include <cstring>
#include <ctime>
#include <vector>

#include "writers/Writers.h"
#include "readers/TgaFileInfo.h"
#include "platform/ReplacementFile.h"
#include "writers/WriterRegion.h"

namespace {

constexpr char kImageIdText[] = "Kivlumen-32Bit-TrueColor-TGA";
constexpr BYTE kImageIdLength = 64;
constexpr BYTE kStampWidth = 64;
constexpr BYTE kStampHeight = 48;
constexpr UINT kStampBytes = tga::kPostageStampSizeBytes + 4u * kStampWidth * kStampHeight;  // 12 290
constexpr BYTE kTopLeftOrigin = tga::kTopToBottom;
// Rows are gathered into writes of about a megabyte: each write also stamps the file's times.
constexpr size_t kWriteChunkBytes = 1024 * 1024;

TgaFileInfo DescribeFile(const CRect& region) {
    TgaFileInfo info{};
    info.idLength = kImageIdLength;
    info.colorMapType = tga::kNoColorMap;
    info.imageType = tga::kTrueColor;
    // The origin fields hold 16 bits; a region further out keeps the low bits, as the format allows no more.
    info.xOrigin = static_cast<WORD>(region.left);
    info.yOrigin = static_cast<WORD>(region.top);
    info.width = static_cast<WORD>(region.Width());
    info.height = static_cast<WORD>(region.Height());
    info.pixelDepth = 32;
    info.imageDescriptor = kTopLeftOrigin;
    std::memcpy(info.imageId, kImageIdText, sizeof kImageIdText - 1);

    info.extensionSize = tga::kExtensionAreaBytes;
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    info.stampMonth = static_cast<WORD>(local.tm_mon + 1);
    info.stampDay = static_cast<WORD>(local.tm_mday);
    info.stampYear = static_cast<WORD>(local.tm_year + 1900);
    info.stampHour = static_cast<WORD>(local.tm_hour);
    info.stampMinute = static_cast<WORD>(local.tm_min);
    info.stampSecond = static_cast<WORD>(local.tm_sec);
    info.softwareVersionLetter = ' ';
    info.postageStampWidth = kStampWidth;
    info.postageStampHeight = kStampHeight;
    info.postageStampOffset = tga::kHeaderBytes + kImageIdLength + 4u * info.width * info.height;
    info.extensionAreaOffset = info.postageStampOffset + kStampBytes;
    std::memcpy(info.signature, tga::kSignature, tga::kSignatureBytes);
    return info;
}

// The rows of the region, top row first, gathered into large writes. A region as wide as the buffer is
// one run of memory already and is written from the buffer itself.
void WritePixels(CFile& file, const DWORD* buffer, CSize size, const CRect& region) {
    const size_t rowBytes = 4 * static_cast<size_t>(region.Width());
    if (region.left == 0 && region.Width() == size.cx) {
        const BYTE* bytes = reinterpret_cast<const BYTE*>(buffer + static_cast<size_t>(region.top) *
                                                                       static_cast<size_t>(size.cx));
        for (size_t left = rowBytes * static_cast<size_t>(region.Height()); left > 0;) {
            const size_t piece = std::min(left, kWriteChunkBytes);
            file.Write(bytes, static_cast<UINT>(piece));
            bytes += piece;
            left -= piece;
        }
        return;
    }
    const size_t rowsPerChunk = std::max<size_t>(1, kWriteChunkBytes / rowBytes);
    std::vector<BYTE> chunk(rowBytes * std::min<size_t>(rowsPerChunk, static_cast<size_t>(region.Height())));
    size_t filled = 0;
    for (int y = region.top; y < region.bottom; ++y) {
        std::memcpy(chunk.data() + filled,
                    buffer + static_cast<size_t>(y) * static_cast<size_t>(size.cx) + region.left, rowBytes);
        filled += rowBytes;
        if (filled == chunk.size() || y + 1 == region.bottom) {
            file.Write(chunk.data(), static_cast<UINT>(filled));
            filled = 0;
        }
    }
}

// 64 x 48 pixels sampled from the region in single-precision steps; a small region repeats pixels.
void WritePostageStamp(CFile& file, const DWORD* buffer, CSize size, const CRect& region) {
    std::vector<BYTE> stamp(kStampBytes);
    stamp[0] = kStampWidth;
    stamp[1] = kStampHeight;
    BYTE* out = stamp.data() + tga::kPostageStampSizeBytes;
    const int width = region.Width();
    const int height = region.Height();
    const float stepX = static_cast<float>(width) / kStampWidth;
    const float stepY = static_cast<float>(height) / kStampHeight;
    float fy = 0.0f;
    for (int j = 0; j < kStampHeight; ++j, fy += stepY) {
        const int y = std::min(static_cast<int>(fy), height - 1);
        const DWORD* row =
            buffer + static_cast<size_t>(region.top + y) * static_cast<size_t>(size.cx) + region.left;
        float fx = 0.0f;
        for (int i = 0; i < kStampWidth; ++i, fx += stepX, out += 4) {
            const int x = std::min(static_cast<int>(fx), width - 1);  // single-precision sums may round up
            std::memcpy(out, row + x, 4);
        }
    }
    file.Write(stamp.data(), kStampBytes);
}

}  // namespace

int WriteTgaFile(CString path, DWORD* buffer, CSize size, CRect rect) {
    const CRect region = CutRegionToBuffer(rect, size);
    if (!buffer || region.IsRectEmpty()) return 0;
    // The header holds 16-bit sides and the footer 32-bit offsets; a larger region cannot be described.
    if (region.Width() > 0xFFFF || region.Height() > 0xFFFF ||
        4ull * region.Width() * region.Height() + tga::kHeaderBytes + kImageIdLength + kStampBytes >
            0xFFFFFFFFull)
        return 0;

    ReplacementFile output;
    if (!output.Create(path)) return 0;
    try {
        CFile& file = output.File();
        const TgaFileInfo info = DescribeFile(region);
        BYTE header[tga::kHeaderBytes];
        tga::EncodeHeader(info, header);
        file.Write(header, sizeof header);
        file.Write(info.imageId, kImageIdLength);
        WritePixels(file, buffer, size, region);
        WritePostageStamp(file, buffer, size, region);
        BYTE extension[tga::kExtensionAreaBytes];
        tga::EncodeExtensionArea(info, extension);
        file.Write(extension, sizeof extension);
        BYTE footer[tga::kFooterBytes];
        tga::EncodeFooter(info, footer);
        file.Write(footer, sizeof footer);
        return output.Commit() ? 1 : 0;
    } catch (const CException&) {
        return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}
