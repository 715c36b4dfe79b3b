#include "JpegReference.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <jerror.h>
#include <jpeglib.h>

namespace {

struct TestErrorManager {
    jpeg_error_mgr standard;
    std::jmp_buf jumpBack;
};

[[noreturn]] void JumpBack(j_common_ptr library) {
    std::longjmp(reinterpret_cast<TestErrorManager*>(library->err)->jumpBack, 1);
}
void Silent(j_common_ptr) {}

struct CompressSession {
    jpeg_compress_struct compressor;
    TestErrorManager errors;
    unsigned char* buffer;
    unsigned long size;
};

// Only trivially destructible locals between the jump point and the library's calls.
bool Compress(CompressSession& session, const JpegSource& source) {
    jpeg_compress_struct& c = session.compressor;
    c.err = jpeg_std_error(&session.errors.standard);
    session.errors.standard.error_exit = JumpBack;
    session.errors.standard.output_message = Silent;
    if (setjmp(session.errors.jumpBack)) {
        jpeg_destroy_compress(&c);
        return false;
    }
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &session.buffer, &session.size);
    c.image_width = source.width;
    c.image_height = source.height;
    c.input_components = source.components;
    c.in_color_space = static_cast<J_COLOR_SPACE>(source.inputColourSpace);
    jpeg_set_defaults(&c);
    if (source.fileColourSpace >= 0)
        jpeg_set_colorspace(&c, static_cast<J_COLOR_SPACE>(source.fileColourSpace));
    jpeg_set_quality(&c, source.quality, TRUE);
    if (source.progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    const size_t stride = static_cast<size_t>(source.width) * static_cast<size_t>(source.components);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(source.samples.data() + c.next_scanline * stride);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    return true;
}

struct DecompressSession {
    jpeg_decompress_struct decompressor;
    TestErrorManager errors;
};

bool Decompress(DecompressSession& session, std::FILE* file, JpegReferenceMode mode, JpegReference& out) {
    jpeg_decompress_struct& d = session.decompressor;
    d.err = jpeg_std_error(&session.errors.standard);
    session.errors.standard.error_exit = JumpBack;
    session.errors.standard.output_message = Silent;
    if (setjmp(session.errors.jumpBack)) {
        out.messageCode = session.errors.standard.msg_code;
        jpeg_destroy_decompress(&d);
        return false;
    }
    jpeg_create_decompress(&d);
    jpeg_stdio_src(&d, file);
    jpeg_read_header(&d, TRUE);
    out.fileComponents = d.num_components;
    out.fileIsGrey = d.jpeg_color_space == JCS_GRAYSCALE;
    if (mode == JpegReferenceMode::quantised128) {
        d.quantize_colors = TRUE;
        d.desired_number_of_colors = 128;
    }
    // Refuse what no test needs before the library sizes its buffers.
    if (static_cast<unsigned long long>(d.image_width) * d.image_height > 64ull * 1024 * 1024) {
        jpeg_destroy_decompress(&d);
        return false;
    }
    jpeg_start_decompress(&d);
    out.width = d.output_width;
    out.height = d.output_height;
    out.components = d.output_components;
    const size_t stride = static_cast<size_t>(d.output_width) * static_cast<size_t>(d.output_components);
    out.samples.resize(stride * d.output_height);
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = out.samples.data() + d.output_scanline * stride;
        jpeg_read_scanlines(&d, &row, 1);
    }
    if (d.quantize_colors) {
        out.colourMap.resize(static_cast<size_t>(d.out_color_components));
        for (int c = 0; c < d.out_color_components; ++c)
            out.colourMap[static_cast<size_t>(c)].assign(d.colormap[c],
                                                         d.colormap[c] + d.actual_number_of_colors);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return true;
}

}  // namespace

Bytes CompressJpeg(const JpegSource& source) {
    CompressSession session{};
    if (!Compress(session, source)) throw std::runtime_error("the JPEG compressor failed");
    Bytes bytes(session.buffer, session.buffer + session.size);
    std::free(session.buffer);
    return bytes;
}

JpegReference DecodeWithLibjpeg(const std::string& path, JpegReferenceMode mode) {
    JpegReference out;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return out;
    DecompressSession session{};
    out.ok = Decompress(session, file, mode, out);
    std::fclose(file);
    return out;
}

std::vector<DWORD> ExpectedJpegPixels(const std::string& path, unsigned& width, unsigned& height) {
    const JpegReference plain = DecodeWithLibjpeg(path, JpegReferenceMode::plain);
    if (!plain.ok) return {};
    width = plain.width;
    height = plain.height;
    const size_t count = static_cast<size_t>(width) * height;
    std::vector<DWORD> pixels(count);
    if (plain.fileIsGrey) {
        for (size_t i = 0; i < count; ++i) pixels[i] = 0xFF000000u | 0x010101u * plain.samples[i];
        return pixels;
    }
    if (plain.fileComponents == 4) {
        for (size_t i = 0; i < count; ++i) {
            const std::uint8_t* s = &plain.samples[4 * i];
            const DWORD k = s[3];
            pixels[i] = k << 24 | (s[0] * k / 255) << 16 | (s[1] * k / 255) << 8 | (s[2] * k / 255);
        }
        return pixels;
    }
    const JpegReference quantised = DecodeWithLibjpeg(path, JpegReferenceMode::quantised128);
    if (!quantised.ok) return {};
    // A map of fewer than three rows repeats its last row for the missing colours.
    const auto& map = quantised.colourMap;
    const auto& red = map[0];
    const auto& green = map.size() > 1 ? map[1] : red;
    const auto& blue = map.size() > 2 ? map[2] : green;
    for (size_t i = 0; i < count; ++i) {
        const std::uint8_t index = quantised.samples[i];
        pixels[i] = 0xFF000000u | DWORD{red[index]} << 16 | DWORD{green[index]} << 8 | blue[index];
    }
    return pixels;
}
