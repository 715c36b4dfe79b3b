// JPEG writer: a region of a pixel buffer as a baseline JPEG of quality 30, through the JPEG library's
// compressor and its stdio destination. Alpha is not stored.

#include <cstring>

#include "writers/Writers.h"
#include "readers/JpegLibrary.h"
#include "platform/ReplacementFile.h"
#include "writers/WriterRegion.h"

namespace {

constexpr int kQuality = 30;

// One row of pixel words as the red, green and blue samples the compressor takes. Each word is read once
// into a local: the byte stores could otherwise alias the words and force them to be read again.
void SplitIntoRgb(const DWORD* __restrict in, size_t count, JSAMPLE* __restrict out) {
    for (size_t x = 0; x < count; ++x) {
        const DWORD word = in[x];
        out[3 * x] = static_cast<JSAMPLE>(word >> 16);
        out[3 * x + 1] = static_cast<JSAMPLE>(word >> 8);
        out[3 * x + 2] = static_cast<JSAMPLE>(word);
    }
}

// Runs the compressor over the region. The library's fatal errors (an oversized picture, a failed
// write, lack of memory) jump back here; this frame holds no object with a destructor across the jump.
bool CompressRegion(std::FILE* stream, const DWORD* buffer, CSize size, const CRect& region) {
    jpeg_compress_struct info;
    std::memset(&info, 0, sizeof info);
    JpegErrorJump error;
    info.err = InstallJpegErrorJump(error);
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, stream);
    info.image_width = static_cast<JDIMENSION>(region.Width());
    info.image_height = static_cast<JDIMENSION>(region.Height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, kQuality, TRUE);
    jpeg_start_compress(&info, TRUE);
    // One row of R, G, B from the library's own memory, released with the compression object.
    JSAMPARRAY row = (*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                               info.image_width * 3, 1);
    for (int y = region.top; y < region.bottom; ++y) {
        SplitIntoRgb(buffer + static_cast<size_t>(y) * static_cast<size_t>(size.cx) + region.left,
                     info.image_width, row[0]);
        jpeg_write_scanlines(&info, row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

int WriteJpgFile(CString path, DWORD* buffer, CSize size, CRect rect) {
    const CRect region = CutRegionToBuffer(rect, size);
    // The library refuses an empty picture; refusing it here ends the same way without creating a file.
    if (!buffer || region.IsRectEmpty()) return 0;
    ReplacementFile output;
    if (!output.Create(path)) return 0;
    std::FILE* stream = output.StdioStream();
    if (!stream || !CompressRegion(stream, buffer, size, region)) return 0;
    return output.Commit() ? 1 : 0;
}
