#include "platform/GlobalMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// Every block is preceded by this header, so GlobalFree tells a mapping from a heap block without a table.
// A mapped block starts on a huge-page boundary, its header at the end of the one ordinary page before it:
// the block's bytes fill whole huge pages from its first byte, so a block of 2 or 4 MiB (a 1024 x 512 or
// 1024 x 1024 picture) takes exactly one or two of them, at the cost of one small page for the header.
struct alignas(16) BlockHeader {
    void* mapping;  // null: a heap block
    std::size_t mappedBytes;
};
static_assert(sizeof(BlockHeader) == 16);

constexpr SIZE_T kHugePage = kGlobalMappedBytes;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif


// A zeroed block of bytes on huge pages, or null when the system refuses.
void* MapHuge(SIZE_T bytes) {
    static const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const SIZE_T length = (bytes + kHugePage - 1) & ~(kHugePage - 1);
    // Map a huge page more than needed, then trim to the header's page and the aligned block.
    const SIZE_T reserved = page + length + kHugePage;
    void* raw = mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t block = (start + page + kHugePage - 1) & ~(std::uintptr_t{kHugePage} - 1);
    const std::uintptr_t base = block - page;
    if (base > start) munmap(raw, base - start);
    if (const std::uintptr_t tail = start + reserved - (block + length); tail > 0)
        munmap(reinterpret_cast<void*>(block + length), tail);
    madvise(reinterpret_cast<void*>(block), length, MADV_HUGEPAGE);  // refused: ordinary pages still work
    auto* header = reinterpret_cast<BlockHeader*>(block) - 1;
    *header = {reinterpret_cast<void*>(base), page + length};
    return header + 1;
}

}  // namespace

// Read once: whether the kernel backs advised mappings with huge pages. Where it does not, a mapping of our
// own gains nothing over the heap's.
bool GlobalAllocMapsLargeBlocks() {
    static const bool maps = [] {
        if (kAddressSanitizer) return false;
        std::string modes;
        std::getline(std::ifstream("/sys/kernel/mm/transparent_hugepage/enabled"), modes);
        return modes.find("[always]") != std::string::npos || modes.find("[madvise]") != std::string::npos;
    }();
    return maps;
}

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
    if (bytes > SIZE_MAX - 4 * kHugePage) return nullptr;
    // The kernel zeroes a fresh mapping, so GMEM_ZEROINIT costs nothing more there.
    if (bytes >= kGlobalMappedBytes && GlobalAllocMapsLargeBlocks())
        if (void* block = MapHuge(bytes)) return block;
    // A zero-byte request still yields a distinct block, as the system does.
    const SIZE_T size = sizeof(BlockHeader) + (bytes == 0 ? 1 : bytes);
    auto* header =
        static_cast<BlockHeader*>((flags & GMEM_ZEROINIT) ? std::calloc(1, size) : std::malloc(size));
    if (!header) return nullptr;
    *header = {nullptr, 0};
    return header + 1;
}

HGLOBAL GlobalFree(HGLOBAL block) {
    if (!block) return nullptr;
    BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
    if (header->mapping)
        munmap(header->mapping, header->mappedBytes);
    else
        std::free(header);
    return nullptr;
}
