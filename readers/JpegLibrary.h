// The JPEG library's interface, the source that feeds it from a ByteSource, and the error exit that the
// reader, the probe and the writer share: the library
// reports a fatal error by calling error_exit, which must not return, so it jumps back to the setjmp of
// the caller. A frame that calls setjmp must hold no object with a destructor across the jump.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include "readers/ByteSource.h"

struct JpegErrorJump {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

// Installs the jump-back exit and silences the library's messages (the module prints nothing).
// Returns the manager for the object's err field.
inline jpeg_error_mgr* InstallJpegErrorJump(JpegErrorJump& error) {
    jpeg_std_error(&error.manager);
    error.manager.error_exit = [](j_common_ptr info) {
        std::longjmp(reinterpret_cast<JpegErrorJump*>(info->err)->jump, 1);
    };
    error.manager.output_message = [](j_common_ptr) {};
    return &error.manager;
}

// A frame height that the source delivers in place of the file's: for a second decode of only the rows a
// first decode found data for.
struct JpegHeightPatch {
    ULONGLONG offset = 0;  // of the frame header's height field in the data; 0 for no patch
    JOCTET height[2] = {};
};

// Feeds the decompressor from source, in the source's own buffered bytes. As the library's stdio source
// does, data that ends early gets an end-of-image marker and a warning, so a cut-off picture decodes with
// what it has, and data that is empty from the start is an error. The source and the patch must outlive
// the decode.
void UseByteSource(jpeg_decompress_struct& decompressor, ByteSource& source, const JpegHeightPatch* patch = nullptr);

// The offset of the frame header's height field, found by walking the marker segments from the start of
// the data; 0 when there is no frame header.
ULONGLONG FindJpegHeightOffset(ByteSource& source);
