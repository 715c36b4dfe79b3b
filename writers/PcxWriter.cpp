// PCX writer: a region of a pixel buffer as a 24-bit file of three run-length coded planes (red, green,
// blue) of 8 bits. Alpha is not stored.

#include <algorithm>
#include <vector>

#include "writers/Writers.h"
#include "readers/PcxLayout.h"
#include "platform/ReplacementFile.h"
#include "writers/WriterRegion.h"

namespace {

constexpr BYTE kBitsPerPlane = 8;
constexpr BYTE kPlanes = 3;
constexpr WORD kPaletteInfo = 1;
// Coded rows are gathered into writes of about a megabyte: each write also stamps the file's times.
constexpr size_t kWriteChunkBytes = 1024 * 1024;

void WriteHeader(CFile& file, WORD width, WORD height) {
    BYTE header[pcx::kHeaderBytes] = {};  // the 16-colour palette, reserved byte and filler stay zero
    header[pcx::kManufacturerOffset] = pcx::kManufacturer;
    header[pcx::kVersionOffset] = pcx::kVersion30;
    header[pcx::kEncodingOffset] = pcx::kRunLengthEncoding;
    header[pcx::kBitsPerPixelOffset] = kBitsPerPlane;
    WriteLE16(header + pcx::kXMaxOffset, static_cast<WORD>(width - 1));
    WriteLE16(header + pcx::kYMaxOffset, static_cast<WORD>(height - 1));
    // The resolution fields carry the region's size in pixels, as readers of these files expect.
    WriteLE16(header + pcx::kHorizontalResolutionOffset, width);
    WriteLE16(header + pcx::kVerticalResolutionOffset, height);
    header[pcx::kPlanesOffset] = kPlanes;
    WriteLE16(header + pcx::kBytesPerLineOffset, width);  // not rounded up to an even count
    WriteLE16(header + pcx::kPaletteInfoOffset, kPaletteInfo);
    file.Write(header, sizeof header);
}

// Run-length codes one plane line: runs of up to 63 equal bytes become a count byte and the value; a
// single byte stands for itself unless it could be mistaken for a count byte.
BYTE* EncodePlaneLine(const BYTE* line, size_t width, BYTE* out) {
    for (size_t i = 0; i < width;) {
        const BYTE value = line[i];
        size_t run = 1;
        while (i + run < width && run < pcx::kMaxRunLength && line[i + run] == value) ++run;
        if (run > 1 || value >= pcx::kRunBase) *out++ = static_cast<BYTE>(pcx::kRunBase + run);
        *out++ = value;
        i += run;
    }
    return out;
}

void WriteImageData(CFile& file, const DWORD* buffer, CSize size, const CRect& region) {
    const size_t width = static_cast<size_t>(region.Width());
    std::vector<BYTE> planes(3 * width);
    // The encoder's worst case is two bytes for every input byte; rows are gathered into large writes.
    const size_t worstRow = 2 * planes.size();
    std::vector<BYTE> encoded(std::max(worstRow, kWriteChunkBytes) + worstRow);
    BYTE* out = encoded.data();
    for (int y = region.top; y < region.bottom; ++y) {
        const DWORD* row = buffer + static_cast<size_t>(y) * static_cast<size_t>(size.cx) + region.left;
        for (size_t x = 0; x < width; ++x) {
            planes[x] = static_cast<BYTE>(row[x] >> 16);
            planes[width + x] = static_cast<BYTE>(row[x] >> 8);
            planes[2 * width + x] = static_cast<BYTE>(row[x]);
        }
        for (int plane = 0; plane < kPlanes; ++plane)
            out = EncodePlaneLine(planes.data() + plane * width, width, out);
        if (static_cast<size_t>(out - encoded.data()) >= kWriteChunkBytes || y + 1 == region.bottom) {
            file.Write(encoded.data(), static_cast<UINT>(out - encoded.data()));
            out = encoded.data();
        }
    }
}

}  // namespace

int WritePcxFile(CString path, DWORD* buffer, CSize size, CRect rect) {
    const CRect region = CutRegionToBuffer(rect, size);
    // An empty region would give a file no reader can load (its maxima would be 0xFFFF): refuse it, as
    // the other writers do. The header's 16-bit fields bound the sides.
    if (!buffer || region.IsRectEmpty() || region.Width() > 0xFFFF || region.Height() > 0xFFFF) return 0;
    ReplacementFile output;
    if (!output.Create(path)) return 0;
    try {
        WriteHeader(output.File(), static_cast<WORD>(region.Width()), static_cast<WORD>(region.Height()));
        WriteImageData(output.File(), buffer, size, region);
        return output.Commit() ? 1 : 0;
    } catch (const CException&) {
        return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}
