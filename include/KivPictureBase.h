// The vocabulary the whole module shares, below every reader, writer and the catalogue: the export
// marker of the module's own interface and the reasons a load fails.
#pragma once

// Exported from libKivPicture; everything else in it stays hidden. The attribute is on every declaration,
// in the library and in its hosts alike, so that an exported class's type information is one shared copy.
#define KIV_API __attribute__((visibility("default")))

// Why a load failed. The entry points answer only null or 0; readers keep the reason for tools and tests.
enum class KivLoadStatus {
    ok,
    fileNotFound,        // no such file
    unreadable,          // the file could not be opened or read
    notThisFormat,       // the signature or header does not belong to the format
    unsupportedVariant,  // a valid file of a kind this reader does not handle
    corrupt,             // a field or a coded run is out of range
    truncated,           // the data ends before the picture does
    tooLarge,            // past the pixel limit, a byte size over 32 bits, or a side past the reader's limit
    outOfMemory,
    unknownFormat,       // no reader accepted the file
};

// A short English description of a status ("truncated data", ...).
KIV_API const char* KivLoadStatusText(KivLoadStatus status);
