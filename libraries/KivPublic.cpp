#include "libraries/KivPublic.h"

#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "platform/GlobalMemory.h"

namespace {

bool StatMode(LPCWSTR path, mode_t& mode) {
    if (!path || !*path) return false;
    struct stat status {};
    if (::stat(CString(path).ToFileSystem().c_str(), &status) != 0) return false;
    mode = status.st_mode;
    return true;
}

}  // namespace

BOOL KivPublicDoesFileExist(LPCWSTR path) {
    mode_t mode = 0;
    return StatMode(path, mode) && S_ISREG(mode);
}

BOOL KivPublicDoesDirExist(LPCWSTR path) {
    mode_t mode = 0;
    return StatMode(path, mode) && S_ISDIR(mode);
}

tagCOLOR32 KivPublicMixColor(tagCOLOR32 a, tagCOLOR32 b, int mode) {
    if (mode != 1) return a;
    // Weights scaled by 255: a covers a.alpha of the pixel, b what a leaves of b's own coverage.
    const unsigned weightA = a.alpha * 255u;
    const unsigned weightB = b.alpha * (255u - a.alpha);
    const unsigned total = weightA + weightB;
    if (total == 0) return tagCOLOR32{0, 0, 0, 0};
    const auto channel = [&](BYTE ca, BYTE cb) {
        return static_cast<BYTE>((ca * weightA + cb * weightB + total / 2) / total);
    };
    return tagCOLOR32{channel(a.blue, b.blue), channel(a.green, b.green), channel(a.red, b.red),
                      static_cast<BYTE>((total + 127) / 255)};
}

BOOL CKivMemBlock::InitBlock(CSize size, tagCOLOR32* pixels, int) {
    Close();
    if (size.cx <= 0 || size.cy <= 0) return FALSE;
    const ULONGLONG bytes = static_cast<ULONGLONG>(size.cx) * static_cast<ULONGLONG>(size.cy) * 4u;
    if (bytes > 0xFFFFFFFFull) return FALSE;
    if (!pixels) {
        pixels = static_cast<tagCOLOR32*>(GlobalAlloc(GPTR, static_cast<SIZE_T>(bytes)));
        if (!pixels) return FALSE;
        owns_ = true;
    }
    pixels_ = pixels;
    size_ = size;
    return TRUE;
}

void CKivMemBlock::Close() {
    if (owns_) GlobalFree(pixels_);
    pixels_ = nullptr;
    size_ = CSize();
    owns_ = false;
}

tagCOLOR32* CKivMemBlock::GetPixelAddress(int x, int y) const {
    if (!pixels_ || x < 0 || y < 0 || x >= size_.cx || y >= size_.cy) return nullptr;
    return pixels_ + static_cast<SIZE_T>(y) * static_cast<SIZE_T>(size_.cx) + static_cast<SIZE_T>(x);
}

BOOL CKivMemBlock::Copy(CPoint point, const CKivMemBlock& source, CRect sourceRect, MIXMODE mode, int,
                        KIV_ENUM_FIELD_TYPE) {
    if (!pixels_ || !source.pixels_) return FALSE;
    CRect from;
    if (!from.IntersectRect(sourceRect, source.GetRect())) return FALSE;
    // Where the cut source lands, in 64 bits: a far point must not wrap around into the block.
    const long long shiftX = static_cast<long long>(point.x) - sourceRect.left;
    const long long shiftY = static_cast<long long>(point.y) - sourceRect.top;
    const long long left = std::max<long long>(from.left + shiftX, 0);
    const long long top = std::max<long long>(from.top + shiftY, 0);
    const long long right = std::min<long long>(from.right + shiftX, size_.cx);
    const long long bottom = std::min<long long>(from.bottom + shiftY, size_.cy);
    if (left >= right || top >= bottom) return FALSE;
    for (long long y = top; y < bottom; ++y) {
        const tagCOLOR32* in =
            source.GetPixelAddress(static_cast<int>(left - shiftX), static_cast<int>(y - shiftY));
        tagCOLOR32* out = GetPixelAddress(static_cast<int>(left), static_cast<int>(y));
        for (long long x = left; x < right; ++x, ++in, ++out) *out = KivMixByMode(*in, *out, mode);
    }
    return TRUE;
}

BOOL KivPublicGenBackColorBar(CKivMemBlock* block) {
    if (!block || !block->GetAddress()) return FALSE;
    constexpr int kSquare = 8;
    constexpr tagCOLOR32 kLight{204, 204, 204, 255}, kDark{153, 153, 153, 255};
    const CSize size = block->GetSize();
    tagCOLOR32* out = block->GetAddress();
    for (int y = 0; y < size.cy; ++y)
        for (int x = 0; x < size.cx; ++x) *out++ = ((x / kSquare + y / kSquare) % 2 == 0) ? kLight : kDark;
    return TRUE;
}

void KivPublicInsLine(int first, int last, int count, int* table) {
    if (count < 1 || !table) return;
    if (count == 1) {
        table[0] = first;
        return;
    }
    const long long span = static_cast<long long>(last) - first;
    const long long steps = count - 1;
    for (long long i = 0; i < count; ++i) {
        // Rounded to the nearest, halves away from zero, in integers so both ends come out exactly.
        const long long scaled = span * i;
        const long long offset = (scaled >= 0 ? scaled + steps / 2 : scaled - steps / 2) / steps;
        table[i] = static_cast<int>(first + offset);
    }
}

CString KivPublicToUnicode(const char* text) {
    std::wstring wide;
    for (const char* c = text ? text : ""; *c; ++c)
        wide += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    return CString(std::move(wide));
}

BYTE* KivPublicMakeIcon(const tagCOLOR32* pixels, CSize srcSize, CRect srcRect, CSize dstSize, int bits) {
    if (!pixels || bits != 24 || srcSize.cx <= 0 || srcSize.cy <= 0 || dstSize.cx <= 0 || dstSize.cy <= 0)
        return nullptr;
    CRect from;
    if (!from.IntersectRect(srcRect, CRect(0, 0, srcSize.cx, srcSize.cy))) return nullptr;
    const ULONGLONG bytes = 3ull * static_cast<ULONGLONG>(dstSize.cx) * static_cast<ULONGLONG>(dstSize.cy);
    if (bytes > 0xFFFFFFFFull) return nullptr;
    std::vector<int> columns(static_cast<size_t>(dstSize.cx));
    std::vector<int> rows(static_cast<size_t>(dstSize.cy));
    KivPublicInsLine(from.left, from.right - 1, dstSize.cx, columns.data());
    KivPublicInsLine(from.top, from.bottom - 1, dstSize.cy, rows.data());
    auto* icon = static_cast<BYTE*>(GlobalAlloc(GPTR, static_cast<SIZE_T>(bytes)));
    if (!icon) return nullptr;
    BYTE* out = icon;
    for (const int row : rows) {
        const tagCOLOR32* source = pixels + static_cast<size_t>(row) * static_cast<size_t>(srcSize.cx);
        for (const int column : columns) {
            *out++ = source[column].blue;
            *out++ = source[column].green;
            *out++ = source[column].red;
        }
    }
    return icon;
}
