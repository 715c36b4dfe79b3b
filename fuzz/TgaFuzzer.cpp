// Arbitrary bytes as a TGA file, through the reader's entry point, through the load dispatch by a name
// without extension (which tries the TGA reader first), and through the header probe read from memory.
//
// The whole input is the file, so any TGA file (tests/data/tga, the hostile files, a crash found here) is
// an input as it stands. The route is taken from the file's last byte, which in a TGA file is a pixel or
// the footer's zero byte:
//   bits 0-1   0 KivPictureLoadTGAFile, 1 ReadTgaFile with its status, 2 KivPictureLoadPicFile by the
//              name without extension, 3 the header probe

#include <algorithm>
#include <vector>

#include "FuzzSupport.h"
#include "readers/Readers.h"
#include "readers/TgaFileInfo.h"

namespace {

// The reader allows pictures of up to 65535 x 65535 pixels within the pixel limit (1 GiB by default) and
// touches every pixel; one such execution would take seconds under the sanitizers, so inputs that declare
// more than this take the probe route instead.
constexpr unsigned long long kMaxDecodedPixels = 1ull << 20;

struct DeclaredHeader {
    bool complete = false;
    TgaFileInfo info{};
};

DeclaredHeader HeaderOf(const std::uint8_t* data, std::size_t size) {
    DeclaredHeader header;
    if (size < tga::kHeaderBytes) return header;
    BYTE raw[tga::kHeaderBytes];
    std::copy_n(data, tga::kHeaderBytes, raw);
    tga::DecodeHeader(raw, header.info);
    header.complete = true;
    return header;
}

// A picture the TGA reader handed over: its rectangle is the header's origin and size, every pixel can be
// read, and a picture whose pixel depth is not 32 is opaque throughout. Frees the pixels.
void CheckTgaPicture(DWORD* pixels, const CRect& rect, const DeclaredHeader& header) {
    if (!pixels) return;
    const TgaFileInfo& info = header.info;
    if (!header.complete) FuzzFail("a picture was decoded from less than a header");
    if (rect != CRect(info.xOrigin, info.yOrigin, info.xOrigin + info.width, info.yOrigin + info.height))
        FuzzFail("the rectangle is not the header's origin and size");
    const std::size_t count = static_cast<std::size_t>(info.width) * info.height;
    const bool opaque = info.pixelDepth != 32;
    for (std::size_t i = 0; i < count; ++i)
        if (opaque && pixels[i] >> 24 != 0xFF)
            FuzzFail("a picture without 32-bit pixels has a pixel that is not opaque");
    GlobalFree(pixels);
}

void LoadByReader(const FuzzInputFile& input, const DeclaredHeader& header) {
    CRect rect;
    DWORD* pixels = KivPictureLoadTGAFile(input.PathWithExtension(), rect);
    CheckTgaPicture(pixels, rect, header);
}

void LoadWithStatus(const FuzzInputFile& input, const DeclaredHeader& header) {
    DecodedPicture picture = ReadTgaFile(input.PathWithExtension());
    if ((picture.pixels != nullptr) != (picture.status == KivLoadStatus::ok))
        FuzzFail("the status disagrees with the result");
    CheckTgaPicture(picture.pixels.release(), picture.rect, header);
}

// Another reader may take what the TGA reader refuses, so only the shape of the result is checked.
void LoadByDispatch(const FuzzInputFile& input) {
    CRect rect;
    CheckHandedOverPicture(KivPictureLoadPicFile(input.PathWithoutExtension(), rect), rect,
                           PictureOrigin::any);
}

// The probe reads the whole input from memory: what it accepts is the header's own rectangle and depth.
void Probe(const std::uint8_t* data, std::size_t size, const DeclaredHeader& header) {
    ByteSource source(data, size);
    PictureHeader probed;
    if (!ProbeTga(source, probed)) return;
    const TgaFileInfo& info = header.info;
    if (probed.bits != info.pixelDepth || probed.rect.left != info.xOrigin || probed.rect.top != info.yOrigin ||
        probed.rect.right - probed.rect.left != info.width || probed.rect.bottom - probed.rect.top != info.height)
        FuzzFail("the probe reported what the header does not say");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzInputFile input(".tga");
    input.Write(data, size);
    const DeclaredHeader header = HeaderOf(data, size);
    const std::uint8_t route = size >= 1 ? data[size - 1] : 0;
    const unsigned long long declared =
        static_cast<unsigned long long>(header.info.width) * header.info.height;
    if (declared > kMaxDecodedPixels) {
        Probe(data, size, header);
        return 0;
    }
    switch (route & 3) {
        case 0:
            LoadByReader(input, header);
            break;
        case 1:
            LoadWithStatus(input, header);
            break;
        case 2:
            LoadByDispatch(input);
            break;
        default:
            Probe(data, size, header);
            break;
    }
    return 0;
}
