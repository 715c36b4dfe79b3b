#include "platform/GlobalMemory.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <new>
#include <string>

// A mapping's bookkeeping, at its first byte. A mapping holds one large block or, as a slab, many small
// ones; it goes back to the system when nothing holds it any more.
struct GlobalSlabMapping {
    std::atomic<std::size_t> holds;  // blocks not yet freed, and the slab while it still carves
    std::size_t bytes;               // the whole mapping
};

namespace {

// Every block is preceded by this header, so GlobalFree tells a mapped block from a heap block without a
// table. A large block starts on a huge-page boundary, its header at the end of the one ordinary page
// before it (the mapping's bookkeeping at that page's start): the block's bytes fill whole huge pages from
// its first byte, so a block of 2 or 4 MiB (a 1024 x 512 or 1024 x 1024 picture) takes exactly one or two
// of them, at the cost of one small page for the header. A slab's blocks follow one another, each after
// its header.
struct alignas(16) BlockHeader {
    GlobalSlabMapping* mapping;  // null: a heap block
};
static_assert(sizeof(BlockHeader) == 16 && sizeof(GlobalSlabMapping) <= sizeof(BlockHeader));

constexpr SIZE_T kHugePage = kGlobalMappedBytes;
// A slab is sized by what its load may still ask for, up to this; a larger load takes several.
constexpr SIZE_T kMaxSlabBytes = SIZE_T{64} << 20;

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

SIZE_T PageBytes() {
    static const auto page = static_cast<SIZE_T>(sysconf(_SC_PAGESIZE));
    return page;
}

SIZE_T RoundUp(SIZE_T bytes, SIZE_T unit) {
    return (bytes + unit - 1) & ~(unit - 1);
}

// Maps lead + length zeroed bytes so that the byte at lead starts a huge page, advised for huge pages,
// with its bookkeeping at its first byte holding `holds`; null when the system refuses. lead is a whole
// number of ordinary pages.
GlobalSlabMapping* MapHugeAligned(SIZE_T lead, SIZE_T length, std::size_t holds) {
    // Map a huge page more than needed, then trim to the lead and the aligned part.
    const SIZE_T reserved = lead + length + kHugePage;
    void* raw = mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + lead + kHugePage - 1) & ~(std::uintptr_t{kHugePage} - 1);
    const std::uintptr_t base = aligned - lead;
    if (base > start) munmap(raw, base - start);
    if (const std::uintptr_t tail = start + reserved - (aligned + length); tail > 0)
        munmap(reinterpret_cast<void*>(aligned + length), tail);
    madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);  // refused: ordinary pages still work
    return new (reinterpret_cast<void*>(base)) GlobalSlabMapping{{holds}, lead + length};
}

// One large block on huge pages of its own, or null when the system refuses.
void* MapHugeBlock(SIZE_T bytes) {
    const SIZE_T page = PageBytes();
    GlobalSlabMapping* mapping = MapHugeAligned(page, RoundUp(bytes, kHugePage), 1);
    if (!mapping) return nullptr;
    auto* header = reinterpret_cast<BlockHeader*>(reinterpret_cast<BYTE*>(mapping) + page) - 1;
    header->mapping = mapping;
    return header + 1;
}

// A block freed, or a slab done carving, lets go of its mapping; the last to let go unmaps it.
void Drop(GlobalSlabMapping* mapping) {
    if (mapping->holds.fetch_sub(1, std::memory_order_acq_rel) == 1) munmap(mapping, mapping->bytes);
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
        if (void* block = MapHugeBlock(bytes)) return block;
    // A zero-byte request still yields a distinct block, as the system does.
    const SIZE_T size = sizeof(BlockHeader) + (bytes == 0 ? 1 : bytes);
    auto* header =
        static_cast<BlockHeader*>((flags & GMEM_ZEROINIT) ? std::calloc(1, size) : std::malloc(size));
    if (!header) return nullptr;
    header->mapping = nullptr;
    return header + 1;
}

HGLOBAL GlobalFree(HGLOBAL block) {
    if (!block) return nullptr;
    BlockHeader* header = static_cast<BlockHeader*>(block) - 1;
    if (header->mapping)
        Drop(header->mapping);
    else
        std::free(header);
    return nullptr;
}

GlobalSlab::~GlobalSlab() {
    LetGo();
}

void GlobalSlab::LetGo() {
    if (mapping_) Drop(mapping_);
    mapping_ = nullptr;
    next_ = end_ = nullptr;
}

HGLOBAL GlobalSlab::Alloc(UINT flags, SIZE_T bytes, SIZE_T upcoming) {
    if (bytes >= kGlobalMappedBytes || !GlobalAllocMapsLargeBlocks()) return GlobalAlloc(flags, bytes);
    const SIZE_T need = sizeof(BlockHeader) + RoundUp(bytes == 0 ? 1 : bytes, alignof(BlockHeader));
    if (static_cast<SIZE_T>(end_ - next_) < need) {
        LetGo();
        // Whole huge pages: a load fills nearly all it said it might, and a tail of ordinary pages would
        // cost a fault per 4 KiB again. A last huge page the load does not reach is never touched.
        const SIZE_T wanted = sizeof(GlobalSlabMapping) + need + std::min(upcoming, kMaxSlabBytes);
        if (wanted < kHugePage) return GlobalAlloc(flags, bytes);
        const SIZE_T length = RoundUp(std::min(wanted, kMaxSlabBytes), kHugePage);
        mapping_ = MapHugeAligned(0, length, 1);
        if (!mapping_) return GlobalAlloc(flags, bytes);
        next_ = reinterpret_cast<BYTE*>(mapping_) + RoundUp(sizeof(GlobalSlabMapping), alignof(BlockHeader));
        end_ = reinterpret_cast<BYTE*>(mapping_) + length;
    }
    // Fresh mapped bytes are zero and never handed out twice, so GMEM_ZEROINIT costs nothing.
    auto* header = reinterpret_cast<BlockHeader*>(next_);
    header->mapping = mapping_;
    mapping_->holds.fetch_add(1, std::memory_order_relaxed);
    next_ += need;
    return header + 1;
}
