// Little-endian fields read from and written to byte arrays, independent of the host's byte order.
#pragma once

#include "platform/WinTypes.h"

inline WORD ReadLE16(const BYTE* p) { return static_cast<WORD>(p[0] | p[1] << 8); }
inline DWORD ReadLE32(const BYTE* p) {
    return static_cast<DWORD>(p[0]) | static_cast<DWORD>(p[1]) << 8 | static_cast<DWORD>(p[2]) << 16 |
           static_cast<DWORD>(p[3]) << 24;
}
inline void WriteLE16(BYTE* p, WORD v) {
    p[0] = static_cast<BYTE>(v);
    p[1] = static_cast<BYTE>(v >> 8);
}
inline void WriteLE32(BYTE* p, DWORD v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(v >> (8 * i));
}
