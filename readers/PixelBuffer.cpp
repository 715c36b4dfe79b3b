#include "readers/PixelBuffer.h"

#include <atomic>

namespace {

// Hosts set it once, before loading, from any thread; loads on several threads read it.
std::atomic<unsigned long long> pixelLimit{kDefaultPixelLimit};

}  // namespace

void SetPixelLimit(unsigned long long count) { pixelLimit.store(count, std::memory_order_relaxed); }

unsigned long long PixelLimit() { return pixelLimit.load(std::memory_order_relaxed); }

KivLoadStatus CheckPictureSize(long long width, long long height) {
    if (width <= 0 || height <= 0) return KivLoadStatus::corrupt;
    constexpr long long kMaxBytes = 0xFFFFFFFFll;
    if (width > kMaxBytes / 4 || height > kMaxBytes / (width * 4)) return KivLoadStatus::tooLarge;
    const unsigned long long limit = PixelLimit();
    if (limit != 0 && static_cast<unsigned long long>(width) * static_cast<unsigned long long>(height) > limit)
        return KivLoadStatus::tooLarge;
    return KivLoadStatus::ok;
}

KivLoadStatus AllocatePixelBuffer(long long width, long long height, PixelBuffer& pixels) {
    pixels.reset();
    if (const KivLoadStatus status = CheckPictureSize(width, height); status != KivLoadStatus::ok) return status;
    pixels.reset(static_cast<DWORD*>(GlobalAlloc(GPTR, static_cast<SIZE_T>(width * height * 4))));
    return pixels ? KivLoadStatus::ok : KivLoadStatus::outOfMemory;
}

DWORD* HandOverPicture(DecodedPicture&& picture, CRect& rect, KivLoadStatus* status) {
    if (status) *status = picture.ok() ? KivLoadStatus::ok : picture.status;
    if (!picture.ok()) return nullptr;
    rect = picture.rect;
    return picture.pixels.release();
}
