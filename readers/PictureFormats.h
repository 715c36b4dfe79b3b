// The table of formats: each extension with its reader, its header probe and its writer. The load
// dispatch, the probe, the catalogue's picture test and the tool all choose by it.
#pragma once

#include <span>

#include "readers/Readers.h"
#include "writers/Writers.h"

struct PictureFormat {
    LPCWSTR extension;      // with its dot, upper case
    const char* name;       // for messages: "TGA", "JPEG"
    PictureDecoder decode;  // null when the extension does not choose a reader (.DIB)
    PictureProbe probe;
    PictureWriter write;    // null when the format is not written
    PictureThumbnailDecoder decodeForThumbnail;  // null when the full decode serves thumbnails
};

// TGA, BMP, GIF, PCX, JPG, PSD: the order in which the dispatch compares extensions and, for any other
// extension, tries every reader; then DIB, which only the probe knows (as a bitmap).
std::span<const PictureFormat> PictureFormats();

// The format named by path's extension, letter case aside; null for any other extension.
const PictureFormat* FindPictureFormat(const CString& path);

// The internal load: the file opened once, its reader chosen by extension; any other extension tries
// every reader in table order and keeps the first success (unknownFormat when none succeeds).
DecodedPicture LoadPicture(const CString& path);

// The load behind a media record's thumbnail of cell's size: as LoadPicture, through the format's thumbnail
// decode where it has one, so the picture may come reduced, never below the cell in either direction.
DecodedPicture LoadPictureForThumbnail(const CString& path, CSize cell);

// The probe: the header of the format its extension names, read from the file opened once. False for
// any other extension, a file that is not there, or a header the format's probe refuses.
bool ProbePicture(const CString& path, PictureHeader& header);
