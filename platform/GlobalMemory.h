// Global memory blocks: the allocation that pixel buffers travel in between the module and its host.
#pragma once

#include "platform/WinTypes.h"

constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;

// Blocks are always fixed: the handle is the address. Returns null when the memory is not there.
KIV_RUNTIME_API HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
// Releases a block from GlobalAlloc (null is allowed); returns null as the system call does on success.
KIV_RUNTIME_API HGLOBAL GlobalFree(HGLOBAL block);
