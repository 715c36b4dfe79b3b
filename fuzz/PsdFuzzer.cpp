// Arbitrary bytes as a PSD file, through the reader's entry point, its status-keeping form, the load
// dispatch by a .psd name, and the header probe alone.
//
// The whole input is the file, so any PSD file (tests/data/psd, the hostile files, a crash found here) is
// an input as it stands. The route is taken from the file's last byte, which in a PSD file is image data:
//   bits 0-1   0 KivPictureLoadPSDFile, 1 ReadPsdFile with its status, 2 KivPictureLoadPicFile by the
//              .psd name, 3 the header probe

#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "FuzzSupport.h"
#include "readers/PsdLayout.h"
#include "readers/Readers.h"

namespace {

// Inputs that declare more pixels than this and hold enough bytes to back them would take seconds under the
// sanitizers; they are read by the header reader alone. A byte of PackBits can back 64 samples, and a
// bitmap's sample holds 8 pixels.
constexpr unsigned long long kMaxDecodedPixels = 1ull << 22;
constexpr unsigned long long kMostPixelsPerByte = 64 * 8;

struct Declared {
    bool complete = false;
    unsigned long long width = 0;
    unsigned long long height = 0;
    unsigned channels = 0;
    unsigned depth = 0;
    unsigned mode = 0;
};

Declared DeclaredHeader(const std::uint8_t* data, std::size_t size) {
    Declared header;
    if (size < psd::kHeaderBytes) return header;
    header.complete = true;
    header.channels = psd::ReadBE16(data + psd::kChannelsOffset);
    header.height = psd::ReadBE32(data + psd::kHeightOffset);
    header.width = psd::ReadBE32(data + psd::kWidthOffset);
    header.depth = psd::ReadBE16(data + psd::kDepthOffset);
    header.mode = psd::ReadBE16(data + psd::kColorModeOffset);
    return header;
}

// A picture the PSD reader handed over: its rectangle is (0, 0, width, height) of the header, the header
// probe reports that rectangle and the header's depth (version 1 or 2 alike), every pixel can be read,
// and the modes that convert without an alpha channel give opaque pixels. Frees the pixels.
void CheckPsdPicture(DWORD* pixels, const CRect& rect, const Declared& header, const std::uint8_t* data,
                     std::size_t size) {
    if (!pixels) return;
    if (!header.complete) FuzzFail("a picture was decoded from less than a header");
    if (rect != CRect(0, 0, static_cast<int>(header.width), static_cast<int>(header.height)))
        FuzzFail("the rectangle is not the header's size");
    ByteSource source(data, size);
    PictureHeader probed;
    if (!ProbePsd(source, probed) || CRect(probed.rect) != rect ||
        probed.bits != static_cast<int>(header.depth))
        FuzzFail("the header probe does not report the picture the reader decoded");
    const bool opaque = header.mode == psd::kGrey || header.mode == psd::kDuotone ||
                        (header.mode == psd::kBitmap && header.depth == 1) ||
                        (header.mode == psd::kLab && header.channels >= 3) ||
                        (header.mode == psd::kCmyk && header.channels >= 4) ||
                        (header.mode == psd::kMultichannel && header.channels >= 3) ||
                        (header.mode == psd::kRgb && header.channels == 3);
    const std::size_t count = static_cast<std::size_t>(header.width * header.height);
    for (std::size_t i = 0; i < count; ++i)
        if (opaque && pixels[i] >> 24 != 0xFF) FuzzFail("a pixel of an opaque mode is not opaque");
    CheckHandedOverPicture(pixels, rect, PictureOrigin::zero);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzInputFile input(".psd");
    input.Write(data, size);
    const Declared header = DeclaredHeader(data, size);
    const std::uint8_t last = size >= 1 ? data[size - 1] : 0;
    unsigned route = last & 3;
    if (header.width * header.height > kMaxDecodedPixels &&
        header.width * header.height / kMostPixelsPerByte <= size)
        route = 3;
    CRect rect;
    switch (route) {
        case 0:
            CheckPsdPicture(KivPictureLoadPSDFile(input.PathWithExtension(), rect), rect, header, data, size);
            break;
        case 1: {
            DecodedPicture picture = ReadPsdFile(input.PathWithExtension());
            if (picture.ok() != (picture.status == KivLoadStatus::ok))
                FuzzFail("the status disagrees with the result");
            if (picture.ok()) CheckPsdPicture(picture.pixels.release(), picture.rect, header, data, size);
            break;
        }
        case 2:
            CheckPsdPicture(KivPictureLoadPicFile(input.PathWithExtension(), rect), rect, header, data, size);
            break;
        default: {
            ByteSource source(data, size);
            PictureHeader fields;
            const bool accepted = ProbePsd(source, fields);
            if (accepted && (!header.complete || static_cast<DWORD>(fields.rect.right) != header.width ||
                             static_cast<DWORD>(fields.rect.bottom) != header.height))
                FuzzFail("the header probe accepted fields that are not the file's");
            break;
        }
    }
    return 0;
}
