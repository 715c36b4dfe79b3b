// The shape every reader delivers: a pixel buffer owned until it is handed to the caller, its rectangle,
// and the reason for a failure.
#pragma once

#include <memory>

#include "KivPictureBase.h"
#include "platform/Geometry.h"
#include "platform/GlobalMemory.h"
#include "readers/PixelPack.h"

using PixelBuffer = GlobalBlock<DWORD>;

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

// The process-wide limit on a picture's pixel count, which protects hosts from pictures that would take
// gigabytes; 0 leaves only the 4 GiB limit of a buffer's byte size.
constexpr unsigned long long kDefaultPixelLimit = 1ull << 28;  // a 1 GiB buffer
void SetPixelLimit(unsigned long long count);
unsigned long long PixelLimit();

// Whether a buffer of width x height pixels may be allocated: ok, corrupt (a side not positive) or
// tooLarge (past the pixel limit, or a byte size that does not fit in 32 bits). After ok, width x height
// is below 2^30, so readers may multiply it by small factors without overflow.
KivLoadStatus CheckPictureSize(long long width, long long height);

// Allocates a zeroed pixel buffer of width x height pixels. Every reader sizes its buffer here, so this
// is the one place that applies CheckPictureSize before anything is allocated. Returns its refusal, ok
// or outOfMemory.
KivLoadStatus AllocatePixelBuffer(long long width, long long height, PixelBuffer& pixels);

// Gives a finished decode to a caller of the exported interface: the buffer (null on failure), the
// rectangle written only on success, and the status when asked for.
DWORD* HandOverPicture(DecodedPicture&& picture, CRect& rect, KivLoadStatus* status = nullptr);
