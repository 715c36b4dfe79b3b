// JPEG reader, driving the IJG library (interface version 62) from the byte source. Colour pictures are
// not decoded to full colour by default: the library quantises them to at most 128 colours and the colour
// map is expanded into pixels. Grey pictures go through a grey ramp; four-component pictures (CMYK, YCCK)
// are scaled by their fourth component, which also becomes the alpha.
//
// Two process-wide choices change that for hosts that want photographs as they are: full colour, where
// the library converts colour pictures to B, G, R, A itself, straight into the pixel buffer's rows; and
// upright pictures, where the EXIF orientation of the file is applied after the decode (and by the probe).
//
// For a thumbnail the same decode may ask the library for a reduced picture (its scaled inverse DCT), which
// saves most of the work on a photograph; every check and choice of the full decode runs as it stands.
//
// The library reports errors by calling the error manager's error exit, which must not return; ours jumps
// back to the reader with longjmp. The function that sets the jump point therefore owns nothing with a
// destructor: the file, the pixel buffer and the library's objects are owned by its caller, and the
// library's own memory is released by jpeg_destroy_decompress on both paths.

#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <cstring>

#include "readers/ExifOrientation.h"
#include "readers/JpegLibrary.h"
#include "readers/Readers.h"

#include <jerror.h>  // the library's message codes, after its main header

#ifndef JCS_EXTENSIONS
#error "the JPEG reader's full-colour output needs the library's extended colour spaces (libjpeg-turbo)"
#endif

namespace {

constexpr int kQuantisedColours = 128;
constexpr int kColourTableEntries = 256;
// Full-colour rows are asked for this many at a time, each straight into its row of the pixel buffer.
constexpr JDIMENSION kRowsPerRead = 16;
// The longest marker segment: an EXIF block is kept whole.
constexpr unsigned kLongestMarker = 0xFFFF;

// Hosts set them once, before loading, from any thread; loads on several threads read them.
std::atomic<bool> fullColourChoice{false};
std::atomic<bool> autoOrientChoice{false};

// What one decode was asked for, read once so that both decodes of a file that ends early agree.
struct JpegChoices {
    bool fullColour = false;
    bool autoOrient = false;
    CSize thumbnail;  // the cell a reduced picture must still cover; (0, 0) for the picture at full size
};

// The reductions the library makes with its fast reduced transforms, largest first.
constexpr unsigned kReductions[] = {8, 4, 2};

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
    int orientation = kUpright;  // from the file's EXIF block, when the choices ask for it
    unsigned reduction = 1;      // the picture's sides are divided by it (rounded up) in the output
};

// Keeps the APP1 segments, where an EXIF block lives, for OrientationOf; before the header is read.
void KeepExifSegments(jpeg_decompress_struct& decompressor) {
    jpeg_save_markers(&decompressor, JPEG_APP0 + 1, kLongestMarker);
}

// The orientation the first EXIF block that states one gives; upright when none does.
int OrientationOf(const jpeg_decompress_struct& decompressor) {
    for (jpeg_saved_marker_ptr marker = decompressor.marker_list; marker; marker = marker->next) {
        if (marker->marker != JPEG_APP0 + 1) continue;
        const int orientation = ExifOrientation(marker->data, marker->data_length);
        if (orientation != kUpright) return orientation;
    }
    return kUpright;
}

// The reduction for a thumbnail of cell's size: the largest that still leaves the picture at least as large
// as the cell in both directions. The thumbnail stretches the whole picture over the cell, each of its
// pixels the nearest picture pixel, so a reduced picture of at least the cell's columns and rows is only
// ever shrunk further, never enlarged; a picture less than twice the cell in either direction is decoded
// whole. The library rounds a reduced side up, so width / reduction >= cell width is enough. A picture
// that will be turned a quarter covers the cell with its sides swapped.
unsigned ThumbnailReduction(const jpeg_decompress_struct& decompressor, CSize cell, int orientation) {
    if (cell.cx <= 0 || cell.cy <= 0) return 1;
    const bool swaps = OrientationSwapsSides(orientation);
    const ULONGLONG columns = static_cast<ULONGLONG>(swaps ? cell.cy : cell.cx);
    const ULONGLONG rows = static_cast<ULONGLONG>(swaps ? cell.cx : cell.cy);
    for (const unsigned reduction : kReductions)
        if (decompressor.image_width >= columns * reduction && decompressor.image_height >= rows * reduction)
            return reduction;
    return 1;
}

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

enum class Output { quantised, fullColour, grey, fourComponent };

Output ChooseOutput(jpeg_decompress_struct& decompressor, const JpegChoices& choices) {
    if (decompressor.jpeg_color_space == JCS_GRAYSCALE) return Output::grey;
    if (decompressor.num_components == 4) return Output::fourComponent;
    // The library converts YCbCr and RGB files to the pixel buffer's byte order, alpha 255, itself; other
    // three-component files (of no known colour space) and two-component ones stay quantised.
    if (choices.fullColour && (decompressor.jpeg_color_space == JCS_YCbCr || decompressor.jpeg_color_space == JCS_RGB)) {
        decompressor.out_color_space = JCS_EXT_BGRA;
        return Output::fullColour;
    }
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

// Reads the full-colour rows straight into the pixel buffer's rows of width pixels, a few rows a call.
// False when the library gives no row, which a source that never suspends cannot wait out.
bool ReadFullColourRows(jpeg_decompress_struct& decompressor, DWORD* pixels, JDIMENSION width) {
    JSAMPROW rows[kRowsPerRead];
    while (decompressor.output_scanline < decompressor.output_height) {
        const JDIMENSION first = decompressor.output_scanline;
        const JDIMENSION count = std::min(kRowsPerRead, decompressor.output_height - first);
        for (JDIMENSION i = 0; i < count; ++i)
            rows[i] = reinterpret_cast<JSAMPROW>(pixels + static_cast<size_t>(first + i) * width);
        if (jpeg_read_scanlines(&decompressor, rows, count) == 0) return false;
    }
    return true;
}

// Decodes the file into pixels. The first decode chooses the reduction, allocates the pixels at the output's
// size and sets rect to it; a second decode, of only the rows the data covers (the height patched), at the
// first one's reduction, writes those rows into the same buffer of rect's width. The size checks are of the
// picture as the file declares it, so a reduced decode refuses what the full one does. Holds nothing with
// a destructor between the jump point and the library's calls; on an error exit it destroys the
// decompressor and returns, leaving the file and the pixel buffer to the caller's owners.
KivLoadStatus Decompress(JpegSession& session, ByteSource& source, const JpegHeightPatch& patch,
                         const JpegChoices& choices, PixelBuffer& pixels, CRect& rect) {
    jpeg_decompress_struct& decompressor = session.decompressor;
    decompressor.err = InstallJpegErrorJump(session.errors.jump);
    decompressor.err->emit_message = StopWhereDataEnds;
    if (setjmp(session.errors.jump.jump)) {
        jpeg_destroy_decompress(&decompressor);
        return StatusOfLibraryError(session.errors.jump.manager.msg_code);
    }

    jpeg_create_decompress(&decompressor);
    UseByteSource(decompressor, source, &patch);
    const bool firstDecode = !pixels;
    if (firstDecode && choices.autoOrient) KeepExifSegments(decompressor);
    jpeg_read_header(&decompressor, TRUE);
    const Output output = ChooseOutput(decompressor, choices);
    if (firstDecode) {
        if (choices.autoOrient) session.orientation = OrientationOf(decompressor);
        session.reduction = ThumbnailReduction(decompressor, choices.thumbnail, session.orientation);
    }
    decompressor.scale_num = 1;
    decompressor.scale_denom = session.reduction;
    jpeg_calc_output_dimensions(&decompressor);
    if (firstDecode) {
        // The pixel buffer is sized before decompression starts, so a picture too large for it, or one its
        // data cannot hold, is refused before the library allocates its own buffers for the whole picture.
        KivLoadStatus status = CheckPictureSize(decompressor.image_width, decompressor.image_height);
        if (status == KivLoadStatus::ok && !decompressor.arith_code &&
            source.Size() < LeastHuffmanBytes(decompressor))
            status = KivLoadStatus::truncated;
        if (status == KivLoadStatus::ok)
            status = AllocatePixelBuffer(decompressor.output_width, decompressor.output_height, pixels);
        if (status != KivLoadStatus::ok) {
            jpeg_destroy_decompress(&decompressor);
            return status;
        }
        rect = CRect(0, 0, static_cast<int>(decompressor.output_width),
                     static_cast<int>(decompressor.output_height));
        session.errors.stopEarly = true;
    }
    jpeg_start_decompress(&decompressor);
    // Both decodes have the same output width, the buffer's; a second decode's rows are fewer.
    const JDIMENSION width = static_cast<JDIMENSION>(rect.Width());
    if (output == Output::fullColour) {
        const bool read = ReadFullColourRows(decompressor, pixels.get(), width);
        if (read) jpeg_finish_decompress(&decompressor);
        jpeg_destroy_decompress(&decompressor);
        return read ? KivLoadStatus::ok : KivLoadStatus::corrupt;
    }

    DWORD table[kColourTableEntries];
    std::fill(table, table + kColourTableEntries, kOpaqueBlack);  // entries past the library's colours
    if (output != Output::fourComponent) FillColourTable(decompressor, output, table);
    const JDIMENSION stride =
        decompressor.output_width * static_cast<JDIMENSION>(decompressor.output_components);
    JSAMPARRAY row = (*decompressor.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&decompressor),
                                                       JPOOL_IMAGE, stride, 1);
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

// Data that ends early stops the first decode where it ends. A second decode then reads the file as a
// picture of only the rows its data covers (the frame's height patched on the way in), into the same
// buffer: the rows below stay zero and untouched, and the colours are chosen from the rows there are.
// An upright picture is turned once the pixels are all there, by either path.
DecodedPicture DecodeJpeg(ByteSource& source, const JpegChoices& choices) {
    DecodedPicture picture;
    JpegHeightPatch patch;
    JDIMENSION rowsCovered = 0;
    int orientation = kUpright;
    unsigned reduction = 1;
    bool stopped = false;
    KivLoadStatus status = KivLoadStatus::ok;
    {
        JpegSession session{};
        status = Decompress(session, source, patch, choices, picture.pixels, picture.rect);
        orientation = session.orientation;
        reduction = session.reduction;
        stopped = session.errors.stopped;
        rowsCovered = session.errors.rowsCovered;
    }
    if (!stopped && status != KivLoadStatus::ok) return DecodedPicture::Failure(status);
    if (stopped) {
        patch.offset = rowsCovered > 0 ? FindJpegHeightOffset(source) : 0;
        if (patch.offset == 0 || !source.Seek(0)) return DecodedPicture::Failure(KivLoadStatus::truncated);
        patch.height[0] = static_cast<JOCTET>(rowsCovered >> 8);
        patch.height[1] = static_cast<JOCTET>(rowsCovered & 0xFF);
        JpegSession session{};
        session.reduction = reduction;
        status = Decompress(session, source, patch, choices, picture.pixels, picture.rect);
        if (status != KivLoadStatus::ok) return DecodedPicture::Failure(status);
    }
    status = MakeUpright(picture, orientation);
    if (status != KivLoadStatus::ok) return DecodedPicture::Failure(status);
    return picture;
}

}  // namespace

DecodedPicture DecodeJpg(ByteSource& source) {
    return DecodeJpeg(source, {JpegFullColour(), JpegAutoOrient(), CSize()});
}

DecodedPicture DecodeJpgForThumbnail(ByteSource& source, CSize cell) {
    return DecodeJpeg(source, {JpegFullColour(), JpegAutoOrient(), cell});
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
    const bool upright = JpegAutoOrient();
    if (upright) KeepExifSegments(info);
    jpeg_read_header(&info, TRUE);
    header.bits = info.jpeg_color_space == JCS_GRAYSCALE ? 8 : 24;
    const bool fits = info.image_width <= 0x7FFFFFFF && info.image_height <= 0x7FFFFFFF;
    const bool swaps = upright && OrientationSwapsSides(OrientationOf(info));
    const JDIMENSION width = swaps ? info.image_height : info.image_width;
    const JDIMENSION height = swaps ? info.image_width : info.image_height;
    header.rect = RECT{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
    jpeg_destroy_decompress(&info);
    return fits;
}

void SetJpegFullColour(bool on) { fullColourChoice.store(on, std::memory_order_relaxed); }
bool JpegFullColour() { return fullColourChoice.load(std::memory_order_relaxed); }
void SetJpegAutoOrient(bool on) { autoOrientChoice.store(on, std::memory_order_relaxed); }
bool JpegAutoOrient() { return autoOrientChoice.load(std::memory_order_relaxed); }
