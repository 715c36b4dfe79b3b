#include "platform/GlobalMemory.h"

#include <cstdlib>

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
    // A zero-byte request still yields a distinct block, as the system does.
    const SIZE_T size = bytes == 0 ? 1 : bytes;
    return (flags & GMEM_ZEROINIT) ? std::calloc(1, size) : std::malloc(size);
}

HGLOBAL GlobalFree(HGLOBAL block) {
    std::free(block);
    return nullptr;
}
