// KivPicture: the still-picture module. Reads BMP, GIF, JPEG, PCX, PSD and TGA pictures into 32-bit pixel
// buffers, writes regions of pixel buffers as files, and keeps the module's few settings.
//
// Pixel buffers: one GlobalAlloc block of width x height words, rows top to bottom with no padding, each
// word a tagCOLOR32 (bytes blue, green, red, alpha; 0xAARRGGBB; straight alpha, 255 for formats without
// alpha). The caller owns every buffer a reader returns and releases it with GlobalFree.
// Results: functions return 1 for success and 0 for failure, or a pointer that is null on failure.
#pragma once

#include <functional>

#include "KivPictureBase.h"
#include "libraries/KivPublic.h"
#include "media/ClipMediaObj.h"
#include "platform/CString.h"
#include "platform/Geometry.h"
#include "platform/GlobalMemory.h"
#include "platform/WinTypes.h"

// ---- Module lifecycle and settings ----------------------------------------------------------------------

// Fills the product table, reads the open-dialog choice (OpenPicDlg in section COMMON_SETUP of
// KivClient.ini, default 1) and the user's JPEG choices (KivPictureReadJpegSettings). Returns 1.
KIV_API int KivPictureOpen();
// Writes the open-dialog choice back to KivClient.ini. Returns 1.
KIV_API int KivPictureClose();
// The "read original position" choice of the selection dialogs, held for the host.
KIV_API int GP_GetOrgPicPos();
KIV_API void GP_SetOrgPicPos(int value);
// Nonzero lets the selection dialogs offer the original-position check box.
KIV_API void GP_EnableOrgPicPos(int enable);
// The open-dialog choice (1 the simple selection dialog, 0 the detailed one) and the enable flag above,
// for the selection dialogs: they live in the window library, which reaches the module's state only
// through this interface. KivPictureClose persists the choice.
KIV_API int KivPictureGetOpenDialogChoice();
KIV_API void KivPictureSetOpenDialogChoice(int choice);
KIV_API int KivPictureGetOrgPicPosEnabled();

// The most pixels a picture may have to be loaded by any reader, scaled load or listing (status tooLarge
// past it): protection from files that declare gigabytes of pixels. Process-wide; 0 leaves only the 4 GiB
// limit of a buffer. Default 2^28 pixels (a 1 GiB buffer).
KIV_API void KivPictureSetPixelLimit(ULONGLONG count);
KIV_API ULONGLONG KivPictureGetPixelLimit();

// Two process-wide choices of the JPEG reader, 0 by default; set them before loading (after KivPictureOpen,
// which applies the user's own). Nonzero turns each on.
// Full colour: colour JPEG files load in full colour rather than quantised to 128 colours.
KIV_API void KivPictureSetJpegFullColour(int on);
KIV_API int KivPictureGetJpegFullColour();
// Auto-orient: a JPEG file's EXIF orientation is applied, so the readers, the probe, the scaled loads, the
// thumbnails and the catalogue all see the picture upright (sides swapped for the quarter turns).
KIV_API void KivPictureSetAutoOrient(int on);
KIV_API int KivPictureGetAutoOrient();
// Sets both choices from the user's KivClient.ini, section COMMON_SETUP, keys JpegFullColour and
// JpegAutoOrient (nonzero turns one on); a key that is missing leaves its choice as it is. For the
// dialogs, which offer the user these choices once; KivPictureOpen calls it too. Returns 1.
KIV_API int KivPictureReadJpegSettings();

// ---- Readers --------------------------------------------------------------------------------------------

// Loads any supported picture, choosing the reader by extension (.TGA .BMP .GIF .PCX .JPG .PSD, any case)
// and trying every reader for other extensions. On success rect holds the picture's position and size.
KIV_API DWORD* KivPictureLoadPicFile(const CString& path, CRect& rect);
// Loads a picture, resamples it by area averaging to size and combines it into the caller's target block
// of size.cx x size.cy pixels by mode. Returns 1, or 0 with the target untouched.
KIV_API BOOL KivPictureLoadPicFile(const CString& path, tagCOLOR32* target, CSize size, MIXMODE mode);

// Reads a Windows bitmap file (uncompressed 1, 4, 8, 16, 24, 32 bits; run-length 4 and 8 bits).
KIV_API DWORD* KivPictureLoadBMPFile(const CString& path, CRect& rect);
// Reads a bitmap resource (information header, palette, rows) of a module.
KIV_API DWORD* KivPictureLoadBMPInRC(HINSTANCE module, LPCWSTR resourceName, CRect& rect);
// Reads a TGA file (colour-mapped, true-colour and grey, uncompressed and run-length); rect.left and
// rect.top carry the origin stored in the file.
KIV_API DWORD* KivPictureLoadTGAFile(const CString& path, CRect& rect);
// Reads the last image of a GIF file.
KIV_API DWORD* KivPictureLoadGIFFile(const CString& path, CRect& rect);
// Reads a PCX file (1-bit, 4-bit planar, 8-bit palette, 24-bit three-plane).
KIV_API DWORD* KivPictureLoadPCXFile(const CString& path, CRect& rect);
// Reads a JPEG file; colour pictures are quantised to 128 colours unless full colour is chosen, and the
// EXIF orientation is applied when auto-orient is chosen.
KIV_API DWORD* KivPictureLoadJPGFile(const CString& path, CRect& rect);
// Reads the composite image of a PSD file.
KIV_API DWORD* KivPictureLoadPSDFile(const CString& path, CRect& rect);

// ---- Scaled load --------------------------------------------------------------------------------------
// Bilinear interpolation in 1/256 pixel with the product table: KivPictureOpen must have run first.

// Draws the picture scaled to size.cx x size.cy into the whole target, combining by mode. Returns 1, or 0
// when the file cannot be loaded.
KIV_API int KivPictureZoomPicFile(const CString& path, tagCOLOR32* target, CSize size, MIXMODE mode);
// Draws the picture, scaled to the target's size, into the part of the target inside both clip (cut to
// the target) and placement (the picture's own rectangle when empty, which places a TGA at its stored
// position). Returns 1, also when nothing lies inside both; 0 when the file cannot be loaded.
KIV_API int KivPictureZoomPicFile(const CString& path, CRect clip, CRect placement, CSize size, tagCOLOR32* target,
                                  MIXMODE mode);

// ---- Background fill --------------------------------------------------------------------------------

// Fills block with a background bitmap: "BackGray.bmp" when gray is nonzero, else "BackWhite.bmp", the
// "...HD.bmp" one when CKivVideoStd::IsVideoStdHD() (libraries/KivModuleRC.h), from the folder named by
// KIV_DATA_DIR or else the installation's data folder. Nonzero tile repeats it over the whole block; zero
// lays one copy at the top-left corner. Returns 1, or 0 with the block unchanged when the bitmap cannot be
// read or the block has no pixels.
KIV_API int KivPictureFillBack(CKivMemBlock* block, int gray, int tile);

// ---- Header probe -------------------------------------------------------------------------------------

// The position and size (rect) and the bits per pixel of a picture, read from its header alone by the
// probe of the format its extension names (.BMP .DIB .TGA .GIF .PCX .JPG .PSD). Returns 1, or 0 with
// nothing written. Either pointer may be null.
KIV_API int KivPictureGetPicInfo(const CString& path, RECT* rect, int* bits);

// ---- Writers --------------------------------------------------------------------------------------------
// Each writer saves the region rect (cut to the buffer of size.cx x size.cy) of buffer. The file is written
// beside the target and renamed over it only when complete, so a failed save leaves any earlier file as
// it was. Return 1 when the file was written completely, else 0.

// An uncompressed 32-bit bitmap, alpha kept.
KIV_API int KivPictureSaveBMPFile(CString path, DWORD* buffer, CSize size, CRect rect);
// An uncompressed 32-bit TGA (version 2) with the region's left and top as its origin, a 64 x 48
// postage stamp and the time of saving; alpha kept.
KIV_API int KivPictureSaveTGAFile(CString path, DWORD* buffer, CSize size, CRect rect);
// A 24-bit PCX of three run-length coded planes; alpha is not stored.
KIV_API int KivPictureSavePCXFile(CString path, DWORD* buffer, CSize size, CRect rect);
// A baseline JPEG of quality 30; alpha is not stored.
KIV_API int KivPictureSaveJPGFile(CString path, DWORD* buffer, CSize size, CRect rect);

// ---- Media catalogue -------------------------------------------------------------------------------------

// Lists the picture files of folder as media records (CKivClipMediaObj) into list, which is emptied first
// (its records deleted) and owns the new ones. extensions names the extensions to search, without dots,
// separated by commas ("bmp,tga,jpg"); letter case does not matter, and an empty piece (as after a trailing
// comma) lists the files without an extension. Records come in the order of the pieces, then of the names.
// cacheFile is the folder's cache (folder + "VudEvovi.pmf"): when it describes exactly the files listed
// (same paths, sizes and times, same order) its records are taken and no picture is read; otherwise it is
// deleted, every picture is read, the ones that cannot be read are left out, and a new cache is written.
// Returns 0 when the folder does not exist (list empty), else 1.
KIV_API int KivPictureFetchValidMediaFile(CKivObList* list, CString folder, CString cacheFile, CString extensions);

// Called while pictures are read: done of total pictures are read. May be called from the reading
// threads, one call at a time; it must not throw.
using KivMediaProgress = std::function<void(int done, int total)>;

// What a listing did.
struct KivMediaFetchReport {
    bool cacheTrusted = false;  // the cache was taken and no picture was read
    int picturesRead = 0;       // pictures read (records of an untrusted cache whose file is unchanged are not)
    int picturesDropped = 0;    // listed files that did not load as pictures
};

// KivPictureFetchValidMediaFile with progress reports and a report of what was done; either may be empty.
KIV_API int KivPictureFetchValidMediaFile(CKivObList* list, CString folder, CString cacheFile, CString extensions,
                                          const KivMediaProgress& progress, KivMediaFetchReport* report);

// ---- Why a load failed ----------------------------------------------------------------------------------
// The entry points above answer only null or 0; KivLoadStatus (KivPictureBase.h) says why.

// KivPictureLoadPicFile, also telling why it failed; status may be null.
KIV_API DWORD* KivPictureLoadPicFileEx(const CString& path, CRect& rect, KivLoadStatus* status);
