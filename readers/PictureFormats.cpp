#include "readers/PictureFormats.h"

#include <iterator>

#include "platform/Exceptions.h"
#include "platform/RuntimeLibrary.h"

using kivrt::_MAX_EXT;
using kivrt::_wcsicmp;
using kivrt::_wsplitpath;

namespace {

constexpr PictureFormat kFormats[] = {
    {L".TGA", "TGA", DecodeTga, ProbeTga, WriteTgaFile, nullptr},
    {L".BMP", "BMP", DecodeBmp, ProbeBmp, WriteBmpFile, nullptr},
    {L".GIF", "GIF", DecodeGif, ProbeGif, nullptr, nullptr},
    {L".PCX", "PCX", DecodePcx, ProbePcx, WritePcxFile, nullptr},
    {L".JPG", "JPEG", DecodeJpg, ProbeJpg, WriteJpgFile, DecodeJpgForThumbnail},
    {L".PSD", "PSD", DecodePsd, ProbePsd, nullptr, nullptr},
    {L".DIB", "BMP", nullptr, ProbeBmp, nullptr, nullptr},
};

// Runs a decoder, turning the class library's exceptions and a failed allocation into a status.
template <typename Work>
DecodedPicture Guarded(Work&& work) {
    try {
        return work();
    } catch (const CMemoryException&) {
        return DecodedPicture::Failure(KivLoadStatus::outOfMemory);
    } catch (const CException&) {
        return DecodedPicture::Failure(KivLoadStatus::unreadable);
    } catch (const std::bad_alloc&) {
        return DecodedPicture::Failure(KivLoadStatus::outOfMemory);
    }
}

// The load of both entries; a cell of (0, 0) asks for the picture at full size.
DecodedPicture Load(const CString& path, CSize cell) {
    ByteSource source;
    if (const KivLoadStatus status = source.Open(path); status != KivLoadStatus::ok)
        return DecodedPicture::Failure(status);
    const PictureFormat* named = FindPictureFormat(path);
    // A known extension uses its reader alone: a failure is not followed by a try of the others.
    if (named && named->decode) {
        if (named->decodeForThumbnail && cell.cx > 0 && cell.cy > 0)
            return Guarded([&]() { return named->decodeForThumbnail(source, cell); });
        return Guarded([&]() { return named->decode(source); });
    }
    for (const PictureFormat& format : kFormats) {
        if (!format.decode) continue;
        source.Seek(0);
        DecodedPicture picture = Guarded([&]() { return format.decode(source); });
        if (picture.ok()) return picture;
    }
    return DecodedPicture::Failure(KivLoadStatus::unknownFormat);
}

}  // namespace

std::span<const PictureFormat> PictureFormats() { return kFormats; }

const PictureFormat* FindPictureFormat(const CString& path) {
    wchar_t extension[_MAX_EXT];
    _wsplitpath(path, nullptr, nullptr, nullptr, extension);
    for (const PictureFormat& format : kFormats)
        if (_wcsicmp(extension, format.extension) == 0) return &format;
    return nullptr;
}

DecodedPicture ReadPictureFile(const CString& path, PictureDecoder decode) {
    ByteSource source;
    if (const KivLoadStatus status = source.Open(path); status != KivLoadStatus::ok)
        return DecodedPicture::Failure(status);
    return Guarded([&]() { return decode(source); });
}

DecodedPicture LoadPicture(const CString& path) { return Load(path, CSize()); }

DecodedPicture LoadPictureForThumbnail(const CString& path, CSize cell) { return Load(path, cell); }

bool ProbePicture(const CString& path, PictureHeader& header) {
    const PictureFormat* format = FindPictureFormat(path);
    if (!format) return false;
    ByteSource source;
    if (source.Open(path) != KivLoadStatus::ok) return false;
    try {
        return format->probe(source, header);
    } catch (const CException&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
