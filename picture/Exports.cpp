// The module's exported picture functions: each passes the call to the internal function that does the
// work and gives the caller the result in the exported shape (a handed-over buffer, 1 or 0).

#include "KivPicture.h"
#include "picture/ScaledLoad.h"
#include "readers/PictureFormats.h"

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
            return "the picture is too large (past the pixel limit, over 4 GiB, or past its reader's limit)";
        case KivLoadStatus::outOfMemory:
            return "out of memory";
        case KivLoadStatus::unknownFormat:
            return "not a picture in any supported format";
    }
    return "unknown failure";
}

void KivPictureSetPixelLimit(ULONGLONG count) { SetPixelLimit(count); }

ULONGLONG KivPictureGetPixelLimit() { return PixelLimit(); }

void KivPictureSetJpegFullColour(int on) { SetJpegFullColour(on != 0); }
int KivPictureGetJpegFullColour() { return JpegFullColour() ? 1 : 0; }
void KivPictureSetAutoOrient(int on) { SetJpegAutoOrient(on != 0); }
int KivPictureGetAutoOrient() { return JpegAutoOrient() ? 1 : 0; }

// ---- Readers

DWORD* KivPictureLoadPicFileEx(const CString& path, CRect& rect, KivLoadStatus* status) {
    return HandOverPicture(LoadPicture(path), rect, status);
}

DWORD* KivPictureLoadPicFile(const CString& path, CRect& rect) { return KivPictureLoadPicFileEx(path, rect, nullptr); }

DWORD* KivPictureLoadBMPFile(const CString& path, CRect& rect) { return HandOverPicture(ReadBmpFile(path), rect); }
DWORD* KivPictureLoadTGAFile(const CString& path, CRect& rect) { return HandOverPicture(ReadTgaFile(path), rect); }
DWORD* KivPictureLoadGIFFile(const CString& path, CRect& rect) { return HandOverPicture(ReadGifFile(path), rect); }
DWORD* KivPictureLoadPCXFile(const CString& path, CRect& rect) { return HandOverPicture(ReadPcxFile(path), rect); }
DWORD* KivPictureLoadJPGFile(const CString& path, CRect& rect) { return HandOverPicture(ReadJpgFile(path), rect); }
DWORD* KivPictureLoadPSDFile(const CString& path, CRect& rect) { return HandOverPicture(ReadPsdFile(path), rect); }

DWORD* KivPictureLoadBMPInRC(HINSTANCE module, LPCWSTR resourceName, CRect& rect) {
    return HandOverPicture(ReadBmpResource(module, resourceName), rect);
}

// ---- Header probe

int KivPictureGetPicInfo(const CString& path, RECT* rect, int* bits) {
    PictureHeader header;
    if (!ProbePicture(path, header)) return 0;
    if (rect) *rect = header.rect;
    if (bits) *bits = header.bits;
    return 1;
}

// ---- Scaled loads: a target without pixels or without size has nothing to draw into.

BOOL KivPictureLoadPicFile(const CString& path, tagCOLOR32* target, CSize size, MIXMODE mode) {
    if (!target || size.cx <= 0 || size.cy <= 0) return FALSE;
    return LoadAreaScaled(path, target, size, mode) == KivLoadStatus::ok;
}

int KivPictureZoomPicFile(const CString& path, tagCOLOR32* target, CSize size, MIXMODE mode) {
    if (!target || size.cx <= 0 || size.cy <= 0) return 0;
    return LoadBilinearScaled(path, target, size, mode) == KivLoadStatus::ok;
}

int KivPictureZoomPicFile(const CString& path, CRect clip, CRect placement, CSize size, tagCOLOR32* target,
                          MIXMODE mode) {
    if (!target || size.cx <= 0 || size.cy <= 0) return 0;
    return LoadBilinearScaled(path, clip, placement, size, target, mode) == KivLoadStatus::ok;
}

// ---- Writers

int KivPictureSaveBMPFile(CString path, DWORD* buffer, CSize size, CRect rect) {
    return WriteBmpFile(std::move(path), buffer, size, rect);
}
int KivPictureSaveTGAFile(CString path, DWORD* buffer, CSize size, CRect rect) {
    return WriteTgaFile(std::move(path), buffer, size, rect);
}
int KivPictureSavePCXFile(CString path, DWORD* buffer, CSize size, CRect rect) {
    return WritePcxFile(std::move(path), buffer, size, rect);
}
int KivPictureSaveJPGFile(CString path, DWORD* buffer, CSize size, CRect rect) {
    return WriteJpgFile(std::move(path), buffer, size, rect);
}
