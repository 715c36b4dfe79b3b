#include "JpegReference.h"

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <stdexcept>

#include <jpeglib.h>

namespace {

// The library's error exit jumps back; its messages are not printed. Only trivially destructible locals
// live between a jump point and the library's calls.
struct Session {
    jpeg_error_mgr errors;
    std::jmp_buf jumpBack;
};
jpeg_error_mgr* Errors(Session& session) {
    jpeg_std_error(&session.errors);
    session.errors.error_exit = [](j_common_ptr library) {
        std::longjmp(reinterpret_cast<Session*>(library->err)->jumpBack, 1);
    };
    session.errors.output_message = [](j_common_ptr) {};
    return &session.errors;
}

bool Compress(Session& session, jpeg_compress_struct& c, const JpegSource& source, unsigned char*& buffer,
              unsigned long& size) {
    c.err = Errors(session);
    if (setjmp(session.jumpBack)) return jpeg_destroy_compress(&c), false;
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = source.width, c.image_height = source.height, c.input_components = source.components;
    c.in_color_space = static_cast<J_COLOR_SPACE>(source.inputColourSpace);
    jpeg_set_defaults(&c);
    if (source.fileColourSpace >= 0)
        jpeg_set_colorspace(&c, static_cast<J_COLOR_SPACE>(source.fileColourSpace));
    jpeg_set_quality(&c, 100, TRUE);
    jpeg_start_compress(&c, TRUE);
    for (JSAMPROW row; c.next_scanline < c.image_height; jpeg_write_scanlines(&c, &row, 1))
        row = const_cast<JSAMPROW>(&source.samples[c.next_scanline * source.width * source.components]);
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return true;
}

// Decodes a file plainly or quantised to 128 colours; a quantised decoding has a colour map.
struct Decoding {
    unsigned width = 0, height = 0;
    int fileComponents = 0;
    bool grey = false;
    bool fullColour = false;  // YCbCr or RGB, which the reader may decode to full colour
    std::vector<std::uint8_t> samples;
    std::vector<std::vector<std::uint8_t>> map;
};
bool Decompress(Session& session, jpeg_decompress_struct& d, const Bytes& file, bool quantise,
                unsigned reduction, Decoding& out) {
    d.err = Errors(session);
    if (setjmp(session.jumpBack)) return jpeg_destroy_decompress(&d), false;
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&d, TRUE);
    out.fileComponents = d.num_components, out.grey = d.jpeg_color_space == JCS_GRAYSCALE;
    out.fullColour = d.jpeg_color_space == JCS_YCbCr || d.jpeg_color_space == JCS_RGB;
    d.quantize_colors = quantise, d.desired_number_of_colors = 128;
    d.scale_num = 1, d.scale_denom = reduction;
    jpeg_start_decompress(&d);
    out.width = d.output_width, out.height = d.output_height;
    const size_t stride = static_cast<size_t>(d.output_width) * d.output_components;
    out.samples.resize(stride * d.output_height);
    for (JSAMPROW row; d.output_scanline < d.output_height; jpeg_read_scanlines(&d, &row, 1))
        row = &out.samples[d.output_scanline * stride];
    for (int c = 0; quantise && c < d.out_color_components; ++c)
        out.map.emplace_back(d.colormap[c], d.colormap[c] + d.actual_number_of_colors);
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return true;
}

bool Decode(const Bytes& file, bool quantise, unsigned reduction, Decoding& out) {
    Session session{};
    jpeg_decompress_struct d{};
    return Decompress(session, d, file, quantise, reduction, out);
}

}  // namespace

Bytes CompressJpeg(const JpegSource& source) {
    Session session{};
    jpeg_compress_struct c{};
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (!Compress(session, c, source, buffer, size)) throw std::runtime_error("the JPEG compressor failed");
    const Bytes bytes(buffer, buffer + size);
    std::free(buffer);
    return bytes;
}

ReadResult ExpectedJpegPixels(const Bytes& whole, unsigned rows, bool fullColour, unsigned reduction) {
    Bytes file = whole;
    unsigned height = 0;
    for (size_t at = 2; rows && at + 8 < file.size(); at += 2 + (file[at + 2] << 8 | file[at + 3])) {
        if (file[at + 1] != 0xC0 && file[at + 1] != 0xC1 && file[at + 1] != 0xC2) continue;
        height = file[at + 5] << 8 | file[at + 6];
        file[at + 5] = static_cast<std::uint8_t>(rows >> 8), file[at + 6] = static_cast<std::uint8_t>(rows);
        break;
    }
    Decoding plain, quantised;
    if (!Decode(file, false, reduction, plain)) return {KivLoadStatus::corrupt, {}, {}};
    const bool indexed = !plain.grey && plain.fileComponents != 4 && !(fullColour && plain.fullColour);
    if (indexed && !Decode(file, true, reduction, quantised)) return {KivLoadStatus::corrupt, {}, {}};
    height = (height + reduction - 1) / reduction;  // the library rounds reduced sides up
    const int width = static_cast<int>(plain.width);
    ReadResult out{KivLoadStatus::ok, CRect(0, 0, width, static_cast<int>(plain.height)),
                   std::vector<DWORD>(static_cast<size_t>(plain.width) * plain.height)};
    const auto& map = quantised.map;
    for (size_t i = 0; i < out.pixels.size(); ++i) {
        const std::uint8_t* s = &plain.samples[plain.fileComponents * i];
        const auto row = [&](size_t c) {
            return DWORD{map[std::min(c, map.size() - 1)][quantised.samples[i]]};
        };
        if (plain.grey)
            out.pixels[i] = 0xFF000000u | 0x010101u * s[0];
        else if (indexed)
            out.pixels[i] = 0xFF000000u | row(0) << 16 | row(1) << 8 | row(2);
        else if (plain.fileComponents == 3)
            out.pixels[i] = 0xFF000000u | DWORD{s[0]} << 16 | DWORD{s[1]} << 8 | s[2];
        else  // four components, scaled by the fourth
            out.pixels[i] =
                DWORD{s[3]} << 24 | (s[0] * s[3] / 255) << 16 | (s[1] * s[3] / 255) << 8 | s[2] * s[3] / 255;
    }
    if (height > plain.height) {
        out.rect.bottom = static_cast<int>(height);
        out.pixels.resize(static_cast<size_t>(plain.width) * height);
    }
    return out;
}

unsigned RowsAboveZeroRows(const DWORD* pixels, const CRect& rect) {
    const auto width = static_cast<size_t>(rect.Width()), height = static_cast<size_t>(rect.Height());
    size_t rows = height;
    while (rows > 0 &&
           std::all_of(pixels + (rows - 1) * width, pixels + rows * width, [](DWORD p) { return !p; }))
        --rows;
    return rows == height ? 0 : static_cast<unsigned>(rows);
}
