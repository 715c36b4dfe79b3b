// Arbitrary bytes as a PCX file, through the reader with its status and through the load dispatch by a
// name ending in .pcx (which picks the PCX reader alone). The whole input is the file, so any PCX file
// (tests/data/pcx, the hostile files, a crash found here) is an input as it stands.
//
// Every picture handed over must have the header's size at (0, 0), and every pixel must be opaque: every
// layout (header palette, 256 colours, 24 bits) delivers alpha 255.

#include <unistd.h>

#include <algorithm>
#include <string>

#include "FuzzSupport.h"
#include "readers/PcxLayout.h"
#include "readers/Readers.h"

namespace {

// The rectangle the header declares, or an empty one for an input shorter than a header.
CRect DeclaredRect(const std::uint8_t* data, std::size_t size) {
    if (size < pcx::kHeaderBytes) return CRect();
    const int width = ReadLE16(data + pcx::kXMaxOffset) - ReadLE16(data + pcx::kXMinOffset) + 1;
    const int height = ReadLE16(data + pcx::kYMaxOffset) - ReadLE16(data + pcx::kYMinOffset) + 1;
    return CRect(0, 0, width, height);
}

void CheckPcxPicture(const DWORD* pixels, const CRect& rect, const CRect& declared) {
    if (!pixels) return;
    if (rect != declared || declared.IsRectEmpty()) FuzzFail("the rectangle is not the header's size");
    const std::size_t count =
        static_cast<std::size_t>(rect.Width()) * static_cast<std::size_t>(rect.Height());
    for (std::size_t i = 0; i < count; ++i)
        if (pixels[i] >> 24 != 0xFF) FuzzFail("a pixel is not opaque");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzInputFile input(".pcx");
    input.Write(data, size);
    const CRect declared = DeclaredRect(data, size);

    DecodedPicture picture = ReadPcxFile(input.PathWithExtension());
    if ((picture.pixels != nullptr) != (picture.status == KivLoadStatus::ok))
        FuzzFail("the status disagrees with the result");
    CheckPcxPicture(picture.pixels.get(), picture.rect, declared);

    CheckDispatchAgrees(input.PathWithExtension(), picture);
    return 0;
}
