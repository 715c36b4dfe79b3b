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

// Blocks of the GlobalAlloc kind carved from shared huge-page mappings ("slabs"), for a load that makes many
// small blocks at once (a cache's thumbnails): filling them costs a page fault per 2 MiB rather than one
// per 4 KiB page. Each block is a block of its own in every other respect: GlobalFree releases it alone, on
// any thread, and a slab goes back to the system when its last block is freed and the GlobalSlab that
// carved it has moved on or gone. Where GlobalAlloc keeps large blocks on the heap (no huge pages, or a
// build under AddressSanitizer) every block comes from GlobalAlloc, so a sanitizer still sees each one.
// One thread carves from a GlobalSlab at a time.
struct GlobalSlabMapping;
class KIV_RUNTIME_API GlobalSlab {
  public:
    GlobalSlab() = default;
    GlobalSlab(const GlobalSlab&) = delete;
    GlobalSlab& operator=(const GlobalSlab&) = delete;
    ~GlobalSlab();

    // A block as GlobalAlloc(flags, bytes) gives it (always zeroed here). upcoming: at most how many bytes
    // of blocks may still be asked for after this one (for a load, the bytes its data has left); it sizes
    // a new slab, and when this block and those would not fill a huge page, the block comes from
    // GlobalAlloc. Blocks of 2 MiB or more are always GlobalAlloc's own.
    HGLOBAL Alloc(UINT flags, SIZE_T bytes, SIZE_T upcoming);

  private:
    void LetGo();

    GlobalSlabMapping* mapping_ = nullptr;
    BYTE* next_ = nullptr;  // where the next block's header goes
    BYTE* end_ = nullptr;
};

// Owns a block from GlobalAlloc: GlobalBlock<BYTE[]> for bytes, GlobalBlock<DWORD> for a pixel buffer.
struct GlobalFreeDeleter {
    void operator()(void* block) const { GlobalFree(block); }
};
template <class T>
using GlobalBlock = std::unique_ptr<T, GlobalFreeDeleter>;
