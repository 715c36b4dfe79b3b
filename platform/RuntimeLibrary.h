// The C runtime's wide-path helpers. Paths are split at both '/' and '\', so paths written on either
// system are understood. Their names begin with an underscore, which C++ reserves at global scope, so
// they live in the runtime's namespace; the module's sources bring them in with using-declarations.
#pragma once

#include <cstdio>
#include <cwctype>

#include "platform/WinTypes.h"

namespace kivrt {

// Buffer sizes for the parts of a split path, terminator included. Longer parts are cut to fit.
constexpr int _MAX_PATH = 4096;
constexpr int _MAX_DRIVE = 3;
constexpr int _MAX_DIR = 4096;
constexpr int _MAX_FNAME = 256 * 4;
constexpr int _MAX_EXT = 256 * 4;

// Splits a path into drive ("C:" only when the path starts with a letter and a colon), directory (with its
// trailing separator), file name, and extension (from the last dot of the last component, dot included).
// Any output may be null; each non-null output must hold its _MAX_ size.
KIV_RUNTIME_API void _wsplitpath(LPCWSTR path, LPWSTR drive, LPWSTR dir, LPWSTR fname, LPWSTR ext);

// A character in the one letter case that comparisons without regard to case use. Names are mostly
// ASCII, which is folded here without the library's locale lookup.
inline wchar_t FoldCase(wchar_t c) {
    if (c < 0x80) return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + (L'a' - L'A')) : c;
    return static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
}

// Compares two wide strings without regard to case; <0, 0 or >0.
KIV_RUNTIME_API int _wcsicmp(LPCWSTR a, LPCWSTR b);

// Opens a file by wide path and wide mode ("rb", "wb", ...).
KIV_RUNTIME_API std::FILE* _wfopen(LPCWSTR path, LPCWSTR mode);

}  // namespace kivrt
