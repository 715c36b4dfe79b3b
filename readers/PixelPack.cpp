// Whole rows packed at once: the inner loops of the uncompressed readers, where a 12 MP picture spends
// most of its time once its bytes are read.
#include "readers/PixelPack.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define KIV_PACK_SSSE3 1
#endif

namespace {

void PackBgrPixels(const BYTE* bgr, DWORD* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) out[i] = PackBgrBytes(bgr + 3 * i);
}

#ifdef KIV_PACK_SSSE3
// The build targets every x86-64 processor, so the byte shuffle is compiled for this function alone and
// called only where the processor has it.
bool HasSsse3() {
    static const bool has = __builtin_cpu_supports("ssse3");
    return has;
}

// Sixteen pixels from 48 bytes, read as three 16-byte loads: each group of four pixels (12 bytes) is
// moved into place by one shuffle that also clears its alpha byte, which is then set.
__attribute__((target("ssse3"))) std::size_t PackBgrSixteens(const BYTE* bgr, DWORD* out, std::size_t count) {
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i opaque = _mm_set1_epi32(static_cast<int>(kOpaqueAlpha));
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const BYTE* in = bgr + 3 * i;
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 32));
        auto* to = reinterpret_cast<__m128i*>(out + i);
        _mm_storeu_si128(to, _mm_or_si128(_mm_shuffle_epi8(a, spread), opaque));
        _mm_storeu_si128(to + 1, _mm_or_si128(_mm_shuffle_epi8(_mm_alignr_epi8(b, a, 12), spread), opaque));
        _mm_storeu_si128(to + 2, _mm_or_si128(_mm_shuffle_epi8(_mm_alignr_epi8(c, b, 8), spread), opaque));
        _mm_storeu_si128(to + 3, _mm_or_si128(_mm_shuffle_epi8(_mm_srli_si128(c, 4), spread), opaque));
    }
    return i;
}
#endif

}  // namespace

void PackBgrRow(const BYTE* bgr, DWORD* out, std::size_t count) {
    std::size_t done = 0;
#ifdef KIV_PACK_SSSE3
    if (HasSsse3()) done = PackBgrSixteens(bgr, out, count);
#endif
    PackBgrPixels(bgr + 3 * done, out + done, count - done);
}
