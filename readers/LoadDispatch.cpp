// The load dispatch: picks the reader by extension, and the area-averaging load into a caller's block.

#include <cmath>
#include <iterator>

#include "../libraries/KivPublic.h"
#include "../platform/RuntimeLibrary.h"
#include "Readers.h"

namespace {

using FileReader = DecodedPicture (*)(const CString& path);

struct ReaderEntry {
    LPCWSTR extension;
    FileReader read;
};

// Known extensions in the order they are compared, which is also the order in which every reader is
// tried for a file with any other extension.
constexpr ReaderEntry kReaders[] = {
    {L".TGA", ReadTgaFile}, {L".BMP", ReadBmpFile}, {L".GIF", ReadGifFile},
    {L".PCX", ReadPcxFile}, {L".JPG", ReadJpgFile}, {L".PSD", ReadPsdFile},
};

DecodedPicture LoadPicture(const CString& path) {
    if (!KivPublicDoesFileExist(path)) return DecodedPicture::Failure(KivLoadStatus::fileNotFound);
    wchar_t extension[_MAX_EXT];
    _wsplitpath(path, nullptr, nullptr, nullptr, extension);
    for (const ReaderEntry& entry : kReaders) {
        if (_wcsicmp(extension, entry.extension) != 0) continue;
        // A known extension uses its reader alone: a failure is not followed by a try of the others.
        return entry.read(path);
    }
    for (const ReaderEntry& entry : kReaders) {
        DecodedPicture picture = entry.read(path);
        if (picture.ok()) return picture;
    }
    return DecodedPicture::Failure(KivLoadStatus::unknownFormat);
}

// The average of the source over [x, x + xs) x [y, y + ys), each covered pixel weighted by the part of it
// that the rectangle covers; pixels beyond the right and bottom edges count as transparent black.
tagCOLOR32 AreaSample(const CKivMemBlock& source, double x, double xs, double y, double ys) {
    const CSize size = source.GetSize();
    const long long ix = static_cast<long long>(x);
    const long long iy = static_cast<long long>(y);
    if (ix < 0 || ix >= size.cx || iy < 0 || iy >= size.cy) return tagCOLOR32{0, 0, 0, 0};
    const long long kx = static_cast<long long>(x + xs) - ix;
    const long long ky = static_cast<long long>(y + ys) - iy;
    if (kx == 0 && ky == 0) return *source.GetPixelAddress(static_cast<int>(ix), static_cast<int>(iy));

    const auto frac = [](double v) { return v - std::trunc(v); };
    const auto factor = [&](long long offset, long long last, double start, double end) {
        if (last == 0) return 1.0;
        if (offset == 0) return 1.0 - frac(start);
        if (offset == last) return frac(end);
        return 1.0;
    };
    double total = 0;
    double blue = 0, green = 0, red = 0, alpha = 0;
    for (long long b = 0; b <= ky; ++b) {
        const double rowFactor = factor(b, ky, y, y + ys);
        for (long long a = 0; a <= kx; ++a) {
            const double weight = factor(a, kx, x, x + xs) * rowFactor;
            total += weight;
            if (ix + a >= size.cx || iy + b >= size.cy) continue;
            const tagCOLOR32 pixel =
                *source.GetPixelAddress(static_cast<int>(ix + a), static_cast<int>(iy + b));
            blue += weight * pixel.blue;
            green += weight * pixel.green;
            red += weight * pixel.red;
            alpha += weight * pixel.alpha;
        }
    }
    // A rectangle that covers no area (a weight of 0) cannot be averaged; it samples as transparent black.
    if (total <= 0) return tagCOLOR32{0, 0, 0, 0};
    const auto channel = [&](double sum) { return static_cast<BYTE>(std::min(sum / total, 255.0)); };
    return tagCOLOR32{channel(blue), channel(green), channel(red), channel(alpha)};
}

}  // namespace

const char* KivLoadStatusText(KivLoadStatus status) {
    switch (status) {
        case KivLoadStatus::ok:
            return "loaded";
        case KivLoadStatus::fileNotFound:
            return "no such file";
        case KivLoadStatus::unreadable:
            return "the file cannot be read";
        case KivLoadStatus::notThisFormat:
            return "not a picture of the format its extension names";
        case KivLoadStatus::unsupportedVariant:
            return "a variant of the format that is not supported";
        case KivLoadStatus::corrupt:
            return "corrupt picture data";
        case KivLoadStatus::truncated:
            return "the data ends before the picture does";
        case KivLoadStatus::tooLarge:
            return "the picture is too large (over 4 GiB, or past its reader's limit)";
        case KivLoadStatus::outOfMemory:
            return "out of memory";
        case KivLoadStatus::unknownFormat:
            return "not a picture in any supported format";
    }
    return "unknown failure";
}

DWORD* KivPictureLoadPicFileEx(const CString& path, CRect& rect, KivLoadStatus* status) {
    return HandOverPicture(LoadPicture(path), rect, status);
}

DWORD* KivPictureLoadPicFile(const CString& path, CRect& rect) {
    return KivPictureLoadPicFileEx(path, rect, nullptr);
}

BOOL KivPictureLoadPicFile(const CString& path, tagCOLOR32* target, CSize size, MIXMODE mode) {
    // The target must be a real block: without pixels or with no size there is nothing to write.
    if (!target || size.cx <= 0 || size.cy <= 0) return FALSE;
    DecodedPicture picture = LoadPicture(path);
    if (!picture.ok()) return FALSE;
    CKivMemBlock source;
    if (!source.InitBlock(picture.rect.Size(), reinterpret_cast<tagCOLOR32*>(picture.pixels.get()), 0))
        return FALSE;

    const double xs = static_cast<double>(picture.rect.Width()) / size.cx;
    const double ys = static_cast<double>(picture.rect.Height()) / size.cy;
    double y = 0.0;
    for (int j = 0; j < size.cy; ++j, y += ys) {
        tagCOLOR32* row = target + static_cast<SIZE_T>(j) * static_cast<SIZE_T>(size.cx);
        double x = 0.0;
        for (int i = 0; i < size.cx; ++i, x += xs)
            row[i] = KivMixByMode(AreaSample(source, x, xs, y, ys), row[i], mode);
    }
    return TRUE;
}
