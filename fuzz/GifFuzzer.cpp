// Arbitrary bytes as a GIF file, read by the GIF reader's entry point and by the load dispatch through a
// name ending in .gif. Both reads must hand over a sound picture (or none), and two reads of the same
// bytes the same picture: a decode keeps no state between calls.

#include <cstring>
#include <vector>

#include "FuzzSupport.h"

namespace {

// Two pictures of the same bytes must agree; pictures too large to read whole are compared by size only,
// so that comparing does not touch gigabytes of untouched zero pages.
void ExpectSamePicture(const DWORD* a, const CRect& aRect, const DWORD* b, const CRect& bRect) {
    if (!a || !b) return;
    if (!(aRect == bRect)) FuzzFail("two reads of the same file gave different sizes");
    const std::size_t count =
        static_cast<std::size_t>(aRect.Width()) * static_cast<std::size_t>(aRect.Height());
    if (count <= kReadPixels && std::memcmp(a, b, count * sizeof(DWORD)) != 0)
        FuzzFail("two reads of the same file gave different pixels");
}

// Under AddressSanitizer a picture of gigabytes takes seconds to allocate and free, and once allocated the
// reader treats it no differently from a small one; the sizing limits are tested in GifReaderTest. So
// before the read, every image declaring more than this many pixels has its width and height halved
// until it fits. The walk below follows the blocks the way the reader does closely enough for that.
constexpr unsigned long long kMaxFuzzPixels = 1ull << 20;

std::size_t AfterSubBlocks(const std::vector<std::uint8_t>& file, std::size_t at) {
    while (at < file.size() && file[at] != 0) at += file[at] + 1u;
    return at + 1;
}

void ShrinkLargeImages(std::vector<std::uint8_t>& file) {
    if (file.size() < 13) return;
    const auto tableBytes = [](std::uint8_t packed) -> std::size_t {
        return (packed & 0x80) ? 3u * (2u << (packed & 7)) : 0;
    };
    for (std::size_t at = 13 + tableBytes(file[10]); at < file.size();) {
        if (file[at] == 0x2C && at + 10 <= file.size()) {
            unsigned width = file[at + 5] | file[at + 6] << 8;
            unsigned height = file[at + 7] | file[at + 8] << 8;
            while (static_cast<unsigned long long>(width) * height > kMaxFuzzPixels) {
                width = (width + 1) / 2;
                height = (height + 1) / 2;
            }
            file[at + 5] = static_cast<std::uint8_t>(width);
            file[at + 6] = static_cast<std::uint8_t>(width >> 8);
            file[at + 7] = static_cast<std::uint8_t>(height);
            file[at + 8] = static_cast<std::uint8_t>(height >> 8);
            at = AfterSubBlocks(file, at + 10 + tableBytes(file[at + 9]) + 1);
        } else if (file[at] == 0x21) {
            at = AfterSubBlocks(file, at + 2);
        } else {
            break;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzInputFile input(".gif");
    std::vector<std::uint8_t> file(data, data + size);
    ShrinkLargeImages(file);
    input.Write(file.data(), file.size());

    CRect readerRect;
    DWORD* byReader = KivPictureLoadGIFFile(input.PathWithExtension(), readerRect);
    CRect dispatchRect;
    KivLoadStatus status = KivLoadStatus::ok;
    DWORD* byDispatch = KivPictureLoadPicFileEx(input.PathWithExtension(), dispatchRect, &status);
    if ((byDispatch != nullptr) != (status == KivLoadStatus::ok))
        FuzzFail("the status disagrees with the result");
    if ((byReader != nullptr) != (byDispatch != nullptr)) FuzzFail("the reader and the dispatch disagree");
    ExpectSamePicture(byReader, readerRect, byDispatch, dispatchRect);

    CheckHandedOverPicture(byReader, readerRect, PictureOrigin::zero);
    CheckHandedOverPicture(byDispatch, dispatchRect, PictureOrigin::zero);
    return 0;
}
