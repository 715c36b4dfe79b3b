// JPEG reader, driving the IJG library (interface version 62) from the byte source. Colour pictures are
// not decoded to full colour: the library quantises them to at most 128 colours and the colour map is
// expanded into pixels. Grey pictures go through a grey ramp; four-component pictures (CMYK, YCCK) are
// scaled by their fourth component, which also becomes the alpha.
//
// The library reports errors by calling the error manager's error exit, which must not return; ours jumps
// back to the reader with longjmp. The function that sets the jump point therefore owns nothing with a
// destructor: the file, the pixel buffer and the library's objects are owned by its caller, and the
// library's own memory is released by jpeg_destroy_decompress on both paths.

#include <algorithm>
#include <csetjmp>
#include <cstring>

#include "readers/JpegLibrary.h"
#include "readers/Readers.h"

#include <jerror.h>  // the library's message codes, after its main header

namespace {

constexpr int kQuantisedColours = 128;
constexpr int kColourTableEntries = 256;

// The error manager of a decode, with the reader's rule for data that ends early: once decompression has
// started, data that ends (or reaches a marker) before the first scan has coded the picture's last row of
// MCUs stops the decode, rather than letting the library code the missing rows as grey, which would touch
// the memory of the whole picture that a few bytes may declare. The last row itself is let through: its
// data may be all there, only read ahead of, as in a file that ends without its end-of-image marker.
struct DecodeErrors {
    JpegErrorJump jump;  // first: the library's err pointer is a pointer to this
    bool stopEarly = false;
    bool stopped = false;        // the decode was stopped so
    JDIMENSION rowsCovered = 0;  // picture rows whose data was complete when it stopped
};

void StopWhereDataEnds(j_common_ptr info, int level) {
    DecodeErrors& errors = *reinterpret_cast<DecodeErrors*>(info->err);
    const int code = info->err->msg_code;
    if (level >= 0 || !errors.stopEarly || (code != JWRN_JPEG_EOF && code != JWRN_HIT_MARKER)) return;
    const j_decompress_ptr decompressor = reinterpret_cast<j_decompress_ptr>(info);
    if (decompressor->input_scan_number > 1 || decompressor->input_iMCU_row + 1 >= decompressor->total_iMCU_rows)
        return;
    errors.stopped = true;
    const JDIMENSION rowsPerMcuRow = static_cast<JDIMENSION>(decompressor->max_v_samp_factor) * DCTSIZE;
    errors.rowsCovered = std::min(decompressor->input_iMCU_row * rowsPerMcuRow, decompressor->image_height);
    std::longjmp(errors.jump.jump, 1);
}

// Everything one decode shares with the library. It lives in the caller of the function that sets the jump
// point, so nothing the library changes before an error exit is a local variable of that function.
struct JpegSession {
    jpeg_decompress_struct decompressor;
    DecodeErrors errors;
};

KivLoadStatus StatusOfLibraryError(int messageCode) {
    switch (messageCode) {
        case JERR_NO_SOI:
            return KivLoadStatus::notThisFormat;
        case JERR_INPUT_EMPTY:
        case JERR_INPUT_EOF:
            return KivLoadStatus::truncated;
        case JERR_OUT_OF_MEMORY:
            return KivLoadStatus::outOfMemory;
        case JERR_IMAGE_TOO_BIG:
            return KivLoadStatus::tooLarge;
        case JERR_BAD_PRECISION:    // 12-bit samples
        case JERR_SOF_UNSUPPORTED:  // lossless and hierarchical processes
        case JERR_ARITH_NOTIMPL:
        case JERR_NOT_COMPILED:
        case JERR_NOTIMPL:
        case JERR_CONVERSION_NOTIMPL:
            return KivLoadStatus::unsupportedVariant;
        default:
            return KivLoadStatus::corrupt;
    }
}

enum class Output { quantised, grey, fourComponent };

Output ChooseOutput(jpeg_decompress_struct& decompressor) {
    if (decompressor.jpeg_color_space == JCS_GRAYSCALE) return Output::grey;
    if (decompressor.num_components == 4) return Output::fourComponent;
    // Only the colour count is changed: the quantiser's other settings keep the library's defaults.
    decompressor.quantize_colors = TRUE;
    decompressor.desired_number_of_colors = kQuantisedColours;
    return Output::quantised;
}

void FillColourTable(const jpeg_decompress_struct& decompressor, Output output, DWORD* table) {
    if (output == Output::grey) {
        for (DWORD i = 0; i < kColourTableEntries; ++i) table[i] = PackBgra(i, i, i);
        return;
    }
    // A colour map of fewer than three rows (a two-component picture) repeats its last row.
    const JSAMPARRAY map = decompressor.colormap;
    const int rows = decompressor.out_color_components;
    const JSAMPROW red = map[0];
    const JSAMPROW green = rows > 1 ? map[1] : red;
    const JSAMPROW blue = rows > 2 ? map[2] : green;
    for (int i = 0; i < decompressor.actual_number_of_colors && i < kColourTableEntries; ++i)
        table[i] = PackBgra(red[i], green[i], blue[i]);
}

void ConvertIndexedRow(const JSAMPLE* samples, JDIMENSION count, const DWORD* table, DWORD* out) {
    for (JDIMENSION i = 0; i < count; ++i) out[i] = table[samples[i]];
}

// Samples as the library delivers them, without inverting Adobe's stored inks: each colour is scaled by the
// fourth component, which is also the alpha, so a fourth component of 0 gives transparent black.
void ConvertFourComponentRow(const JSAMPLE* samples, JDIMENSION count, DWORD* out) {
    for (JDIMENSION i = 0; i < count; ++i, samples += 4) {
        const DWORD k = samples[3];
        out[i] = PackBgra(samples[0] * k / 255, samples[1] * k / 255, samples[2] * k / 255, k);
    }
}

// The least data a Huffman-coded picture needs: every block of every component codes its DC difference
// and, in a sequential scan, the end of its AC coefficients, each with a code of at least one bit; a
// progressive file may send the AC coefficients of many blocks in one end-of-band run, so only its first
// DC scan counts. Arithmetic coding can code a block in a small fraction of a bit, so no bound holds for
// it; a file that ends early is stopped at its end instead (DecodeErrors).
ULONGLONG LeastHuffmanBytes(const jpeg_decompress_struct& decompressor) {
    ULONGLONG blocks = 0;
    for (int i = 0; i < decompressor.num_components; ++i) {
        const jpeg_component_info& component = decompressor.comp_info[i];
        blocks += static_cast<ULONGLONG>(component.width_in_blocks) * component.height_in_blocks;
    }
    const ULONGLONG bitsPerBlock = decompressor.progressive_mode ? 1 : 2;
    return (blocks * bitsPerBlock + 7) / 8;
}

// Decodes the file into pixels. The first decode allocates them and sets rect; a second decode, of only
// the rows the data covers (the height patched), writes those rows into the same buffer. Holds nothing
// with a destructor between the jump point and the library's calls; on an error exit it destroys the
// decompressor and returns, leaving the file and the pixel buffer to the caller's owners.
KivLoadStatus Decompress(JpegSession& session, ByteSource& source, const JpegHeightPatch& patch,
                         PixelBuffer& pixels, CRect& rect) {
    jpeg_decompress_struct& decompressor = session.decompressor;
    decompressor.err = InstallJpegErrorJump(session.errors.jump);
    decompressor.err->emit_message = StopWhereDataEnds;
    if (setjmp(session.errors.jump.jump)) {
        jpeg_destroy_decompress(&decompressor);
        return StatusOfLibraryError(session.errors.jump.manager.msg_code);
    }

    jpeg_create_decompress(&decompressor);
    UseByteSource(decompressor, source, &patch);
    jpeg_read_header(&decompressor, TRUE);
    const Output output = ChooseOutput(decompressor);
    if (!pixels) {
        // The pixel buffer is sized before decompression starts, so a picture too large for it, or one its
        // data cannot hold, is refused before the library allocates its own buffers for the whole picture.
        KivLoadStatus status = CheckPictureSize(decompressor.image_width, decompressor.image_height);
        if (status == KivLoadStatus::ok && !decompressor.arith_code &&
            source.Size() < LeastHuffmanBytes(decompressor))
            status = KivLoadStatus::truncated;
        if (status == KivLoadStatus::ok)
            status = AllocatePixelBuffer(decompressor.image_width, decompressor.image_height, pixels);
        if (status != KivLoadStatus::ok) {
            jpeg_destroy_decompress(&decompressor);
            return status;
        }
        rect = CRect(0, 0, static_cast<int>(decompressor.image_width), static_cast<int>(decompressor.image_height));
        session.errors.stopEarly = true;
    }
    jpeg_start_decompress(&decompressor);

    DWORD table[kColourTableEntries];
    std::fill(table, table + kColourTableEntries, kOpaqueBlack);  // entries past the library's colours
    if (output != Output::fourComponent) FillColourTable(decompressor, output, table);
    const JDIMENSION stride =
        decompressor.output_width * static_cast<JDIMENSION>(decompressor.output_components);
    JSAMPARRAY row = (*decompressor.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&decompressor),
                                                       JPOOL_IMAGE, stride, 1);
    // At the default scale the output is exactly the picture's width, so each output row fills one buffer row.
    const JDIMENSION width = decompressor.image_width;
    while (decompressor.output_scanline < decompressor.output_height) {
        DWORD* out = pixels.get() + static_cast<size_t>(decompressor.output_scanline) * width;
        // The source never suspends, so a read that returns no row cannot be waited out.
        if (jpeg_read_scanlines(&decompressor, row, 1) != 1) {
            jpeg_destroy_decompress(&decompressor);
            return KivLoadStatus::corrupt;
        }
        if (output == Output::fourComponent)
            ConvertFourComponentRow(row[0], std::min(decompressor.output_width, width), out);
        else
            ConvertIndexedRow(row[0], std::min(stride, width), table, out);
    }
    jpeg_finish_decompress(&decompressor);
    jpeg_destroy_decompress(&decompressor);
    return KivLoadStatus::ok;
}

}  // namespace

// Data that ends early stops the first decode where it ends. A second decode then reads the file as a
// picture of only the rows its data covers (the frame's height patched on the way in), into the same
// buffer: the rows below stay zero and untouched, and the colours are chosen from the rows there are.
DecodedPicture DecodeJpg(ByteSource& source) {
    DecodedPicture picture;
    JpegHeightPatch patch;
    JDIMENSION rowsCovered = 0;
    KivLoadStatus status = KivLoadStatus::ok;
    {
        JpegSession session{};
        status = Decompress(session, source, patch, picture.pixels, picture.rect);
        if (!session.errors.stopped) return status == KivLoadStatus::ok ? std::move(picture) : DecodedPicture::Failure(status);
        rowsCovered = session.errors.rowsCovered;
    }
    patch.offset = rowsCovered > 0 ? FindJpegHeightOffset(source) : 0;
    if (patch.offset == 0 || !source.Seek(0)) return DecodedPicture::Failure(KivLoadStatus::truncated);
    patch.height[0] = static_cast<JOCTET>(rowsCovered >> 8);
    patch.height[1] = static_cast<JOCTET>(rowsCovered & 0xFF);
    JpegSession session{};
    CRect unused;
    status = Decompress(session, source, patch, picture.pixels, unused);
    if (status != KivLoadStatus::ok) return DecodedPicture::Failure(status);
    return picture;
}

// A decompression object of this call's own, so probes may run on several threads at once. The function
// that sets the jump point holds nothing with a destructor.
bool ProbeJpg(ByteSource& source, PictureHeader& header) {
    jpeg_decompress_struct info;
    std::memset(&info, 0, sizeof info);
    JpegErrorJump error;
    info.err = InstallJpegErrorJump(error);
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    UseByteSource(info, source);
    jpeg_read_header(&info, TRUE);
    header.bits = info.jpeg_color_space == JCS_GRAYSCALE ? 8 : 24;
    const bool fits = info.image_width <= 0x7FFFFFFF && info.image_height <= 0x7FFFFFFF;
    header.rect = RECT{0, 0, static_cast<LONG>(info.image_width), static_cast<LONG>(info.image_height)};
    jpeg_destroy_decompress(&info);
    return fits;
}
