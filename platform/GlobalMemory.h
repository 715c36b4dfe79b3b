// Global memory blocks: the allocation that pixel buffers travel in between the module and its host.
#pragma once

#include <memory>

#include "platform/WinTypes.h"

constexpr UINT GMEM_FIXED = 0x0000;
constexpr UINT GMEM_ZEROINIT = 0x0040;
constexpr UINT GPTR = GMEM_FIXED | GMEM_ZEROINIT;

// Blocks of at least this size are mapped on their own where the system offers transparent huge pages, each
// starting on a 2 MiB boundary, so that filling one costs a page fault per 2 MiB rather than per 4 KiB;
// smaller blocks, and all blocks where huge pages are off, come from the heap.
constexpr SIZE_T kGlobalMappedBytes = SIZE_T{2} << 20;
// Whether large blocks are mapped apart here: huge pages are offered, and the build is not one under
// AddressSanitizer, which watches heap blocks only (fuzzing must still see an overflow of a large buffer).
KIV_RUNTIME_API bool GlobalAllocMapsLargeBlocks();

// Blocks are always fixed: the handle is the address, aligned to at least 16 bytes. Returns null when the
// memory is not there.
KIV_RUNTIME_API HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes);
// Releases a block from GlobalAlloc (null is allowed), on any thread; returns null as the system call does
// on success.
KIV_RUNTIME_API HGLOBAL GlobalFree(HGLOBAL block);

// Owns a block from GlobalAlloc: GlobalBlock<BYTE[]> for bytes, GlobalBlock<DWORD> for a pixel buffer.
struct GlobalFreeDeleter {
    void operator()(void* block) const { GlobalFree(block); }
};
template <class T>
using GlobalBlock = std::unique_ptr<T, GlobalFreeDeleter>;
