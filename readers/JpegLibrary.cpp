#include "readers/JpegLibrary.h"

#include <jerror.h>  // the library's message codes, after its main header

namespace {

struct SourceManager {
    jpeg_source_mgr manager;  // first, so the library's pointer to it is a pointer to this
    ByteSource* source;
    bool startOfData;
};

constexpr JOCTET kEndOfImage[] = {0xFF, JPEG_EOI};

SourceManager& Manager(j_decompress_ptr decompressor) {
    return *reinterpret_cast<SourceManager*>(decompressor->src);
}

boolean FillInputBuffer(j_decompress_ptr decompressor) {
    SourceManager& self = Manager(decompressor);
    const BYTE* bytes = nullptr;
    const size_t taken = self.source->Take(bytes, 64 * 1024);
    if (taken == 0) {
        if (self.startOfData) ERREXIT(decompressor, JERR_INPUT_EMPTY);
        WARNMS(decompressor, JWRN_JPEG_EOF);
        self.manager.next_input_byte = kEndOfImage;
        self.manager.bytes_in_buffer = sizeof kEndOfImage;
        return TRUE;
    }
    self.manager.next_input_byte = bytes;
    self.manager.bytes_in_buffer = taken;
    self.startOfData = false;
    return TRUE;
}

void SkipInputData(j_decompress_ptr decompressor, long count) {
    SourceManager& self = Manager(decompressor);
    if (count <= 0) return;
    while (count > static_cast<long>(self.manager.bytes_in_buffer)) {
        count -= static_cast<long>(self.manager.bytes_in_buffer);
        FillInputBuffer(decompressor);  // never suspends
    }
    self.manager.next_input_byte += count;
    self.manager.bytes_in_buffer -= static_cast<size_t>(count);
}

}  // namespace

void UseByteSource(jpeg_decompress_struct& decompressor, ByteSource& source) {
    if (!decompressor.src) {
        decompressor.src = static_cast<jpeg_source_mgr*>((*decompressor.mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(&decompressor), JPOOL_PERMANENT, sizeof(SourceManager)));
    }
    SourceManager& self = Manager(&decompressor);
    self.manager.init_source = [](j_decompress_ptr) {};
    self.manager.fill_input_buffer = FillInputBuffer;
    self.manager.skip_input_data = SkipInputData;
    self.manager.resync_to_restart = jpeg_resync_to_restart;
    self.manager.term_source = [](j_decompress_ptr) {};
    self.manager.next_input_byte = nullptr;
    self.manager.bytes_in_buffer = 0;
    self.source = &source;
    self.startOfData = true;
}
