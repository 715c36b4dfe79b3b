// Arbitrary bytes as a bitmap file, through the reader's own entry point and through the load dispatch,
// by a name with and without the .bmp extension and into a caller's block.
//
// The whole input is the file, so any bitmap (tests/data/bmp, the hostile files, a crash found here) is
// an input as it stands. The route is taken from the file's last two bytes, which in a bitmap are pixels:
//   last byte, bits 0-2   0-2 KivPictureLoadBMPFile, 3-4 KivPictureLoadPicFileEx by the .bmp name,
//                         5 KivPictureLoadPicFile by the name without extension, 6-7 the load into a block
//   last byte, bits 3-4   the block load's mode: 0, 1, 2 or 3 (the last two both "replace")
//   byte before the last  the block's width (low four bits) and height (high four bits), each 1 to 16
// The name without extension has the dispatch try every reader before ours, and the other formats' readers
// take much of the time on such inputs, so that route gets one input in eight.

#include <cstring>
#include <vector>

#include "FuzzSupport.h"

namespace {

// The block load averages every pixel of the picture; a picture declared larger than this would make one
// execution take seconds under the sanitizers, so such inputs take the plain dispatch instead.
constexpr long long kMaxBlockLoadPixels = 1ll << 22;

// The size the information header declares (16-bit sides in a 12-byte core header), or 0 when the input is
// too short to say.
long long DeclaredPixels(const std::uint8_t* data, std::size_t size) {
    constexpr std::size_t kHeaderSizeAt = 14;
    constexpr std::size_t kWidthAt = 14 + 4;
    constexpr std::size_t kHeightAt = 14 + 8;
    if (size < kHeightAt + 4) return 0;
    const auto field16 = [&](std::size_t at) { return data[at] | data[at + 1] << 8; };
    const auto field = [&](std::size_t at) {
        const std::uint32_t bits =
            static_cast<std::uint32_t>(field16(at)) | static_cast<std::uint32_t>(field16(at + 2)) << 16;
        return std::llabs(static_cast<long long>(static_cast<std::int32_t>(bits)));
    };
    if (field(kHeaderSizeAt) == 12) return static_cast<long long>(field16(kWidthAt)) * field16(kWidthAt + 2);
    return field(kWidthAt) * field(kHeightAt);
}

void LoadByReader(const FuzzInputFile& input) {
    CRect rect;
    CheckHandedOverPicture(KivPictureLoadBMPFile(input.PathWithExtension(), rect), rect, PictureOrigin::zero);
}

void LoadByDispatchEx(const FuzzInputFile& input) {
    CRect rect;
    KivLoadStatus status = KivLoadStatus::ok;
    DWORD* pixels = KivPictureLoadPicFileEx(input.PathWithExtension(), rect, &status);
    if ((pixels != nullptr) != (status == KivLoadStatus::ok))
        FuzzFail("the status disagrees with the result");
    CheckHandedOverPicture(pixels, rect, PictureOrigin::zero);  // by the .bmp name, the bitmap reader alone
}

void LoadByDispatchWithoutExtension(const FuzzInputFile& input) {
    CRect rect;
    CheckHandedOverPicture(KivPictureLoadPicFile(input.PathWithoutExtension(), rect), rect,
                           PictureOrigin::any);
}

// A failed block load must leave the block as it was, and the block load must succeed exactly when the
// plain load does.
void LoadIntoBlock(const FuzzInputFile& input, MIXMODE mode, CSize size) {
    std::vector<tagCOLOR32> block(static_cast<std::size_t>(size.cx) * static_cast<std::size_t>(size.cy));
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = tagCOLOR32{static_cast<BYTE>(i * 7), static_cast<BYTE>(i * 13), static_cast<BYTE>(i * 29),
                              static_cast<BYTE>(i * 53)};
    const std::vector<tagCOLOR32> before = block;
    const BOOL loaded = KivPictureLoadPicFile(input.PathWithExtension(), block.data(), size, mode);
    if (!loaded && std::memcmp(before.data(), block.data(), block.size() * sizeof block[0]) != 0)
        FuzzFail("a failed block load changed the block");
    CRect rect;
    DWORD* pixels = KivPictureLoadPicFile(input.PathWithExtension(), rect);
    if ((loaded != FALSE) != (pixels != nullptr)) FuzzFail("the block load and the plain load disagree");
    CheckHandedOverPicture(pixels, rect, PictureOrigin::zero);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzInputFile input;
    input.Write(data, size);
    const std::uint8_t last = size >= 1 ? data[size - 1] : 0;
    const std::uint8_t blockSize = size >= 2 ? data[size - 2] : 0;
    switch (last & 7) {
        case 0:
        case 1:
        case 2:
            LoadByReader(input);
            break;
        case 3:
        case 4:
            LoadByDispatchEx(input);
            break;
        case 5:
            LoadByDispatchWithoutExtension(input);
            break;
        default:
            if (DeclaredPixels(data, size) > kMaxBlockLoadPixels) {
                LoadByDispatchEx(input);
                break;
            }
            LoadIntoBlock(input, static_cast<MIXMODE>((last >> 3) & 3),
                          CSize(1 + (blockSize & 15), 1 + (blockSize >> 4)));
            break;
    }
    return 0;
}
