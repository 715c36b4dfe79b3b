// The shape every reader delivers: a pixel buffer owned until it is handed to the caller, its rectangle,
// and the reason for a failure.
#pragma once

#include <memory>

#include "KivPictureBase.h"
#include "platform/Geometry.h"
#include "platform/GlobalMemory.h"
#include "readers/PixelPack.h"

struct GlobalFreeDeleter {
    void operator()(DWORD* pixels) const { GlobalFree(pixels); }
};
using PixelBuffer = std::unique_ptr<DWORD, GlobalFreeDeleter>;

struct DecodedPicture {
    PixelBuffer pixels;
    CRect rect;
    KivLoadStatus status = KivLoadStatus::ok;

    static DecodedPicture Failure(KivLoadStatus why) {
        DecodedPicture failed;
        failed.status = why;
        return failed;
    }
    bool ok() const { return status == KivLoadStatus::ok && pixels != nullptr; }
};

// Allocates a zeroed pixel buffer of width x height pixels. Every reader sizes its buffer here, so this
// is the one place that refuses a picture whose byte size (width x height x 4) does not fit in 32 bits,
// before anything is allocated. Returns ok, tooLarge, corrupt (a side not positive) or outOfMemory.
KivLoadStatus AllocatePixelBuffer(long long width, long long height, PixelBuffer& pixels);

// Gives a finished decode to a caller of the exported interface: the buffer (null on failure), the
// rectangle written only on success, and the status when asked for.
DWORD* HandOverPicture(DecodedPicture&& picture, CRect& rect, KivLoadStatus* status = nullptr);
