// The readers' internal entry points. Each format's reader decodes a whole picture from a byte source and
// probes its header (size, position and depth from the header alone) with the same header read; the
// format table (picture/PictureFormats.h) puts them beside the extension and the writer.
#pragma once

#include "readers/ByteSource.h"
#include "readers/PixelBuffer.h"

// What a header probe reports.
struct PictureHeader {
    RECT rect{};
    int bits = 0;
};

// A reader's defence against picture bombs, checked before the pixel buffer is allocated: truncated when the
// data left in source is shorter than leastBytes, the smallest that could hold the declared picture.
inline KivLoadStatus CheckDataCanHold(const ByteSource& source, ULONGLONG leastBytes) {
    return source.Remaining() < leastBytes ? KivLoadStatus::truncated : KivLoadStatus::ok;
}

using PictureDecoder = DecodedPicture (*)(ByteSource& source);
using PictureProbe = bool (*)(ByteSource& source, PictureHeader& header);
// A decode for a thumbnail of cell's size: the picture, or a reduction of it that is at least as large as
// the cell in both directions where the reader can make one for less work. It refuses exactly what the
// full decode refuses, and honours the same choices (the JPEG reader's colour and orientation).
using PictureThumbnailDecoder = DecodedPicture (*)(ByteSource& source, CSize cell);

DecodedPicture DecodeBmp(ByteSource& source);
DecodedPicture DecodeTga(ByteSource& source);
DecodedPicture DecodeGif(ByteSource& source);
DecodedPicture DecodePcx(ByteSource& source);
DecodedPicture DecodeJpg(ByteSource& source);
DecodedPicture DecodePsd(ByteSource& source);

DecodedPicture DecodeJpgForThumbnail(ByteSource& source, CSize cell);

bool ProbeBmp(ByteSource& source, PictureHeader& header);
bool ProbeTga(ByteSource& source, PictureHeader& header);
bool ProbeGif(ByteSource& source, PictureHeader& header);
bool ProbePcx(ByteSource& source, PictureHeader& header);
bool ProbeJpg(ByteSource& source, PictureHeader& header);
bool ProbePsd(ByteSource& source, PictureHeader& header);

// The JPEG reader's two process-wide choices, both off by default; hosts set them before loading, and
// loads on any thread read them. Full colour: colour files decode to full colour rather than to 128
// quantised colours. Auto-orient: a file's EXIF orientation is applied, so the reader, the probe and
// everything built on them (scaled loads, thumbnails, the catalogue) see the picture upright.
void SetJpegFullColour(bool on);
bool JpegFullColour();
void SetJpegAutoOrient(bool on);
bool JpegAutoOrient();

// A bitmap resource of a module: the information header, palette and rows without the file header.
DecodedPicture ReadBmpResource(HINSTANCE module, LPCWSTR resourceName);

// Opens path once and decodes it: fileNotFound or unreadable when it cannot be opened. Class-library and
// allocation exceptions raised inside a decoder become outOfMemory or unreadable here.
DecodedPicture ReadPictureFile(const CString& path, PictureDecoder decode);

inline DecodedPicture ReadBmpFile(const CString& path) { return ReadPictureFile(path, DecodeBmp); }
inline DecodedPicture ReadTgaFile(const CString& path) { return ReadPictureFile(path, DecodeTga); }
inline DecodedPicture ReadGifFile(const CString& path) { return ReadPictureFile(path, DecodeGif); }
inline DecodedPicture ReadPcxFile(const CString& path) { return ReadPictureFile(path, DecodePcx); }
inline DecodedPicture ReadJpgFile(const CString& path) { return ReadPictureFile(path, DecodeJpg); }
inline DecodedPicture ReadPsdFile(const CString& path) { return ReadPictureFile(path, DecodePsd); }
