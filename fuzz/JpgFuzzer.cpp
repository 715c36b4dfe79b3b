// Arbitrary bytes as a JPEG file, through the reader with its status and through the load dispatch by a
// name ending in .jpg (which picks the JPEG reader alone). The whole input is the file, so any JPEG file
// (tests/data/jpeg, the hostile files, a crash found here) is an input as it stands.
//
// Every picture handed over must have the frame's size at (0, 0); a colour picture quantised may use at
// most 128 colours, and every picture other than a four-component one is opaque but for zero rows at its
// bottom. LeakSanitizer checks that the library's memory is released on the jump back from its errors as
// on success.
//
// The reader's two choices come from the input's length, bit 0 full colour and bit 1 auto-orient: every
// byte of a JPEG file means something, but bytes after its end-of-image marker do not, so appending them
// reaches each combination. A picture made upright must hold the same pixels as the picture as stored,
// its sides the same or swapped, and the probe must report its size.
//
// The decode for a record's thumbnail, with the same choices, must refuse what the full decode refuses, with
// the same status, and what it gives must cover the 80 x 60 cell (or be the whole picture where smaller).

#include <unistd.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <string>
#include <vector>

#include <jerror.h>
#include <jpeglib.h>

#include "FuzzSupport.h"
#include "readers/Readers.h"

namespace {

// The reader decodes pictures of up to 4 GiB of pixels, as the library allows, and the library keeps
// buffers of the whole picture for progressive files and for the two-pass quantiser. One such execution
// would take seconds and gigabytes under the sanitizers, so inputs whose frame declares more than this are
// skipped; pictures too large for the pixel buffer are still read, as they are refused before decoding.
constexpr unsigned long long kMaxDecodedPixels = 1ull << 20;

struct Frame {
    bool read = false;
    unsigned width = 0;
    unsigned height = 0;
    bool grey = false;
    bool fourComponents = false;
    bool fullColourSpace = false;  // YCbCr or RGB, which the full-colour choice decodes to full colour
};

struct HeaderErrors {
    jpeg_error_mgr standard;
    std::jmp_buf jumpBack;
};

struct HeaderSession {
    jpeg_decompress_struct decompressor;
    HeaderErrors errors;
};

[[noreturn]] void JumpBack(j_common_ptr library) {
    std::longjmp(reinterpret_cast<HeaderErrors*>(library->err)->jumpBack, 1);
}
void Silent(j_common_ptr) {}

// The frame as the library reads it from the header, with the same error handling as the reader.
void ReadFrame(HeaderSession& session, const std::uint8_t* data, std::size_t size, Frame& frame) {
    jpeg_decompress_struct& d = session.decompressor;
    d.err = jpeg_std_error(&session.errors.standard);
    session.errors.standard.error_exit = JumpBack;
    session.errors.standard.output_message = Silent;
    if (setjmp(session.errors.jumpBack)) {
        jpeg_destroy_decompress(&d);
        return;
    }
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, data, static_cast<unsigned long>(size));
    jpeg_read_header(&d, TRUE);
    frame.read = true;
    frame.width = d.image_width;
    frame.height = d.image_height;
    frame.grey = d.jpeg_color_space == JCS_GRAYSCALE;
    frame.fourComponents = d.num_components == 4;
    frame.fullColourSpace = d.jpeg_color_space == JCS_YCbCr || d.jpeg_color_space == JCS_RGB;
    jpeg_destroy_decompress(&d);
}

void CheckJpgPicture(const DWORD* pixels, const CRect& rect, const Frame& frame, bool fullColour) {
    if (!pixels) return;
    if (!frame.read) FuzzFail("a picture was decoded from a header the library cannot read");
    if (rect != CRect(0, 0, static_cast<int>(frame.width), static_cast<int>(frame.height)))
        FuzzFail("the rectangle is not the frame's size");
    const std::size_t count = static_cast<std::size_t>(frame.width) * frame.height;
    if (frame.fourComponents) {
        volatile DWORD sink = 0;
        for (std::size_t i = 0; i < count; ++i) sink = sink ^ pixels[i];
        return;
    }
    // Data that ends early leaves whole rows at the bottom zero; every pixel above them is opaque.
    std::size_t coded = count;
    while (coded > 0 && pixels[coded - 1] == 0) --coded;
    coded = (coded + frame.width - 1) / frame.width * frame.width;
    const bool quantised = !frame.grey && !(fullColour && frame.fullColourSpace);
    std::vector<DWORD> colours;
    for (std::size_t i = 0; i < coded; ++i) {
        if (pixels[i] >> 24 != 0xFF) FuzzFail("a pixel is not opaque");
        if (!quantised || std::find(colours.begin(), colours.end(), pixels[i]) != colours.end()) continue;
        colours.push_back(pixels[i]);
        if (colours.size() > 128) FuzzFail("a colour picture uses more than 128 colours");
    }
}

void CheckThumbnailDecodeAgrees(const std::uint8_t* data, std::size_t size, const DecodedPicture& full) {
    constexpr CSize kCell{80, 60};
    ByteSource source(data, size);
    const DecodedPicture reduced = DecodeJpgForThumbnail(source, kCell);
    if (reduced.status != full.status) FuzzFail("the decode for a thumbnail disagrees with the full decode");
    if (full.ok() && (reduced.rect.Width() < std::min(full.rect.Width(), int{kCell.cx}) ||
                      reduced.rect.Height() < std::min(full.rect.Height(), int{kCell.cy})))
        FuzzFail("a reduced picture does not cover the thumbnail's cell");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzInputFile input(".jpg");
    Frame frame;
    HeaderSession session{};
    ReadFrame(session, data, size, frame);
    const unsigned long long declared = static_cast<unsigned long long>(frame.width) * frame.height;
    const bool fitsPixelBuffer = declared * 4 <= 0xFFFFFFFFull;
    if (declared > kMaxDecodedPixels && fitsPixelBuffer) return 0;
    input.Write(data, size);
    const bool fullColour = (size & 1) != 0, upright = (size & 2) != 0;
    SetJpegFullColour(fullColour);

    SetJpegAutoOrient(false);
    DecodedPicture stored = ReadJpgFile(input.PathWithExtension());
    if ((stored.pixels != nullptr) != (stored.status == KivLoadStatus::ok))
        FuzzFail("the status disagrees with the result");
    CheckJpgPicture(stored.pixels.get(), stored.rect, frame, fullColour);
    CheckThumbnailDecodeAgrees(data, size, stored);
    if (!upright) {
        CheckDispatchAgrees(input.PathWithExtension(), stored);
        return 0;
    }

    SetJpegAutoOrient(true);
    DecodedPicture picture = ReadJpgFile(input.PathWithExtension());
    if (picture.status != stored.status) FuzzFail("making a picture upright changed the status");
    CheckThumbnailDecodeAgrees(data, size, picture);
    if (picture.ok()) {
        const CRect& a = picture.rect;
        const CRect& b = stored.rect;
        if (a != b && !(a.Width() == b.Height() && a.Height() == b.Width()))
            FuzzFail("an upright picture's sides are not the stored ones");
        const std::size_t count = static_cast<std::size_t>(a.Width()) * a.Height();
        std::vector<DWORD> ours(picture.pixels.get(), picture.pixels.get() + count);
        std::vector<DWORD> theirs(stored.pixels.get(), stored.pixels.get() + count);
        std::sort(ours.begin(), ours.end());
        std::sort(theirs.begin(), theirs.end());
        if (ours != theirs) FuzzFail("an upright picture's pixels are not the stored ones");
        ByteSource source(data, size);
        PictureHeader probed;
        if (!ProbeJpg(source, probed) || CRect(probed.rect) != a)
            FuzzFail("the probe does not report the upright picture's size");
    }
    CheckDispatchAgrees(input.PathWithExtension(), picture);
    return 0;
}
