// The JPEG library's interface, and the error exit that the reader and the probe share: the library
// reports a fatal error by calling error_exit, which must not return, so it jumps back to the setjmp of
// the caller. A frame that calls setjmp must hold no object with a destructor across the jump.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

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
