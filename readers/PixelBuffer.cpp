#include "readers/PixelBuffer.h"

KivLoadStatus AllocatePixelBuffer(long long width, long long height, PixelBuffer& pixels) {
    pixels.reset();
    if (width <= 0 || height <= 0) return KivLoadStatus::corrupt;
    constexpr long long kMaxBytes = 0xFFFFFFFFll;
    if (width > kMaxBytes / 4 || height > kMaxBytes / (width * 4)) return KivLoadStatus::tooLarge;
    pixels.reset(static_cast<DWORD*>(GlobalAlloc(GPTR, static_cast<SIZE_T>(width * height * 4))));
    return pixels ? KivLoadStatus::ok : KivLoadStatus::outOfMemory;
}

DWORD* HandOverPicture(DecodedPicture&& picture, CRect& rect, KivLoadStatus* status) {
    if (status) *status = picture.ok() ? KivLoadStatus::ok : picture.status;
    if (!picture.ok()) return nullptr;
    rect = picture.rect;
    return picture.pixels.release();
}
