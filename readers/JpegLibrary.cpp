#include "readers/JpegLibrary.h"

#include <algorithm>

#include <jerror.h>  // the library's message codes, after its main header

namespace {

struct SourceManager {
    jpeg_source_mgr manager;  // first, so the library's pointer to it is a pointer to this
    ByteSource* source;
    const JpegHeightPatch* patch;
    bool startOfData;
};

constexpr JOCTET kEndOfImage[] = {0xFF, JPEG_EOI};
constexpr int kStartOfImage = 0xD8;

SourceManager& Manager(j_decompress_ptr decompressor) {
    return *reinterpret_cast<SourceManager*>(decompressor->src);
}

boolean FillInputBuffer(j_decompress_ptr decompressor) {
    SourceManager& self = Manager(decompressor);
    const JpegHeightPatch* patch = self.patch;
    const ULONGLONG at = self.source->Position();
    if (patch && at >= patch->offset && at < patch->offset + sizeof patch->height) {
        const size_t skipped = static_cast<size_t>(at - patch->offset);
        self.source->Skip(sizeof patch->height - skipped);
        self.manager.next_input_byte = patch->height + skipped;
        self.manager.bytes_in_buffer = sizeof patch->height - skipped;
        return TRUE;
    }
    size_t most = 64 * 1024;
    if (patch && at < patch->offset) most = static_cast<size_t>(std::min<ULONGLONG>(most, patch->offset - at));
    const BYTE* bytes = nullptr;
    const size_t taken = self.source->Take(bytes, most);
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

void UseByteSource(jpeg_decompress_struct& decompressor, ByteSource& source, const JpegHeightPatch* patch) {
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
    self.patch = patch && patch->offset != 0 ? patch : nullptr;
    self.startOfData = true;
}

ULONGLONG FindJpegHeightOffset(ByteSource& source) {
    if (!source.Seek(0) || source.NextByte() != 0xFF || source.NextByte() != kStartOfImage) return 0;
    for (;;) {
        int marker = source.NextByte();
        if (marker != 0xFF) return 0;
        while (marker == 0xFF) marker = source.NextByte();  // fill bytes
        if (marker < 0) return 0;
        if (marker == kStartOfImage || marker == 0x01 || (marker >= JPEG_RST0 && marker <= JPEG_RST0 + 7)) continue;
        // Start-of-frame markers are C0 to CF but for C4 (Huffman tables), C8 (reserved) and CC
        // (arithmetic conditioning); the frame header is length, precision, then the height.
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC)
            return source.Position() + 3;
        const int high = source.NextByte();
        const int low = source.NextByte();
        if (low < 0 || (high << 8 | low) < 2 || !source.Skip(static_cast<ULONGLONG>(high << 8 | low) - 2)) return 0;
    }
}
