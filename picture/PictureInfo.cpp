// The header probe: size, position and colour depth of a picture file from its header alone. The
// extension alone chooses the probe; a failing probe does not try another format.

#include <cstdlib>
#include <cstring>
#include <iterator>

#include "../include/KivPicture.h"
#include "../platform/File.h"
#include "../platform/RuntimeLibrary.h"
#include "../readers/BmpLayout.h"
#include "../readers/ByteOrder.h"
#include "../readers/JpegLibrary.h"
#include "../readers/PsdLayout.h"
#include "../readers/StdioFile.h"
#include "../readers/TgaFileInfo.h"

namespace {

struct ProbeResult {
    RECT rect;
    int bits;
};

using Probe = bool (*)(const CString& path, ProbeResult& result);

// A rectangle from a position and unsigned sizes; false when it cannot be held in a RECT.
bool MakeRect(long long left, long long top, long long width, long long height, RECT& rect) {
    constexpr long long kMax = 0x7FFFFFFF;
    if (left < 0 || top < 0 || width < 0 || height < 0 || left + width > kMax || top + height > kMax)
        return false;
    rect = RECT{static_cast<LONG>(left), static_cast<LONG>(top), static_cast<LONG>(left + width),
                static_cast<LONG>(top + height)};
    return true;
}

bool ProbeBmp(const CString& path, ProbeResult& result) {
    CFile file;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite)) return false;
    BYTE signature[2];
    if (file.Read(signature, sizeof signature) != sizeof signature || ReadLE16(signature) != bmp::kSignature)
        return false;
    file.Seek(bmp::kFileHeaderBytes, CFile::begin);
    BYTE info[bmp::kInfoHeaderBytes];
    if (file.Read(info, sizeof info) != sizeof info) return false;
    const long long width = static_cast<LONG>(ReadLE32(info + bmp::kWidthOffset));
    const long long height = static_cast<LONG>(ReadLE32(info + bmp::kHeightOffset));
    if (width <= 0 || height == 0) return false;
    result.bits = ReadLE16(info + bmp::kBitCountOffset);
    return MakeRect(0, 0, width, std::llabs(height), result.rect);
}

// The result depends on the 18-byte header only, so the image ID and the optional footer are not read.
bool ProbeTga(const CString& path, ProbeResult& result) {
    CFile file;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite)) return false;
    BYTE raw[tga::kHeaderBytes];
    if (file.Read(raw, sizeof raw) != sizeof raw) return false;
    TgaFileInfo header{};
    tga::DecodeHeader(raw, header);
    if (header.width == 0 || header.height == 0 || header.colorMapType > tga::kHasColorMap) return false;
    switch (header.imageType) {
        case tga::kColorMapped:
        case tga::kRleColorMapped:
            if (header.colorMapType != tga::kHasColorMap) return false;
            break;
        case tga::kTrueColor:
        case tga::kGrey:
        case tga::kRleTrueColor:
        case tga::kRleGrey:
            break;
        default:
            return false;
    }
    result.bits = header.pixelDepth;
    return MakeRect(header.xOrigin, header.yOrigin, header.width, header.height, result.rect);
}

// Signature, version and logical screen descriptor.
constexpr size_t kGifProbeBytes = 14;

bool ProbeGif(const CString& path, ProbeResult& result) {
    CFile file;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite)) return false;
    BYTE header[kGifProbeBytes];
    if (file.Read(header, sizeof header) != sizeof header || std::memcmp(header, "GIF8", 4) != 0)
        return false;
    const WORD width = ReadLE16(header + 6);
    const WORD height = ReadLE16(header + 8);
    if (width == 0 || height == 0) return false;
    result.bits = (header[10] & 7) + 1;
    return MakeRect(0, 0, width, height, result.rect);
}

constexpr size_t kPcxHeaderBytes = 128;
constexpr BYTE kPcxManufacturer = 10;

bool ProbePcx(const CString& path, ProbeResult& result) {
    CFile file;
    if (!file.Open(path, CFile::modeRead | CFile::shareDenyWrite)) return false;
    BYTE header[kPcxHeaderBytes];
    if (file.Read(header, sizeof header) != sizeof header || header[0] != kPcxManufacturer) return false;
    const long long xMin = ReadLE16(header + 4);
    const long long yMin = ReadLE16(header + 6);
    const long long xMax = ReadLE16(header + 8);
    const long long yMax = ReadLE16(header + 10);
    result.bits = header[3] * header[65];
    // The stored maxima are inclusive; the rectangle's right and bottom lie one past them.
    result.rect = RECT{static_cast<LONG>(xMin), static_cast<LONG>(yMin), static_cast<LONG>(xMax + 1),
                       static_cast<LONG>(yMax + 1)};
    return true;
}

// A decompression object of this call's own, so probes may run on several threads at once.
bool ReadJpegHeader(std::FILE* file, ProbeResult& result) {
    jpeg_decompress_struct info;
    std::memset(&info, 0, sizeof info);
    JpegErrorJump error;
    info.err = InstallJpegErrorJump(error);
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    result.bits = info.jpeg_color_space == JCS_GRAYSCALE ? 8 : 24;
    const bool fits = MakeRect(0, 0, info.image_width, info.image_height, result.rect);
    jpeg_destroy_decompress(&info);
    return fits;
}

bool ProbeJpg(const CString& path, ProbeResult& result) {
    StdioFile file = OpenForReading(path);
    return file && ReadJpegHeader(file.get(), result);
}

bool ProbePsd(const CString& path, ProbeResult& result) {
    StdioFile file = OpenForReading(path);
    PsdFileHeader header;
    if (!file || !ReadPsdHeader(file.get(), header)) return false;
    result.bits = header.depth;
    return MakeRect(0, 0, header.width, header.height, result.rect);
}

struct ProbeEntry {
    LPCWSTR extension;
    Probe probe;
};

constexpr ProbeEntry kProbes[] = {
    {L".BMP", ProbeBmp}, {L".DIB", ProbeBmp}, {L".TGA", ProbeTga}, {L".GIF", ProbeGif},
    {L".PCX", ProbePcx}, {L".JPG", ProbeJpg}, {L".PSD", ProbePsd},
};

}  // namespace

int KivPictureGetPicInfo(const CString& path, RECT* rect, int* bits) {
    if (!KivPublicDoesFileExist(path)) return 0;
    wchar_t extension[_MAX_EXT];
    _wsplitpath(path, nullptr, nullptr, nullptr, extension);
    for (const ProbeEntry& entry : kProbes) {
        if (_wcsicmp(extension, entry.extension) != 0) continue;
        ProbeResult result{};
        try {
            if (!entry.probe(path, result)) return 0;
        } catch (const CException&) {
            return 0;
        }
        if (rect) *rect = result.rect;
        if (bits) *bits = result.bits;
        return 1;
    }
    return 0;
}
