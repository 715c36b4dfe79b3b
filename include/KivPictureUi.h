// The still-picture module's window interface: fills into windows and device contexts, the thumbnail
// list, the picture selection dialogs and the save prompt. Link KivPictureUi (and Qt 6 Widgets).
#pragma once

#include "KivPicture.h"

#include "libraries/KivColor.h"
#include "media/window/ClipMediaListCtrl.h"
#include "platform/StringArray.h"
#include "platform/window/DeviceContext.h"
#include "platform/window/Window.h"

// ---- Window fills ---------------------------------------------------------------------------------------
// Each draws through a device context of the window (or the caller's) and leaves a one-pixel frame of the
// rectangle untouched; each returns 1 on success and 0 on failure and shows nothing.

// Fills the window's client area with colour (alpha ignored).
KIV_API int KivPictureColorFillWnd(CWnd* window, tagCOLOR32* colour);
// Fills the window's client area with the colour bar the array computes for the whole client size, drawn
// into the area inside the frame.
KIV_API int KivPictureCSPDFillWnd(CWnd* window, CKivColor32Array* colours);
// Fills rect of dc black, then draws the picture file stretched to it (its width rounded down to a
// multiple of 4 pixels), with background nonzero over the transparency checker of
// KivPublicGenBackColorBar. 0 when the file is missing or does not load, leaving the rectangle black.
KIV_API int KivPictureFileFillWnd(CDC* dc, CRect rect, CString path, int background);
// The same into the window's client area.
KIV_API int KivPictureFileFillWnd(CWnd* window, CString path, int background);

// ---- Selection and saving ----------------------------------------------------------------------------------

// Lets the user choose picture files to open (bOpen nonzero) or a name to save to, in the detailed or the
// simple dialog as the open-dialog choice says. nType: 0 all types, 1 TGA, 2 BMP, 3 GIF, 4 PCX, 5 JPEG.
// strPath: in, the initial name; out, the chosen path (single selection; empty with bMulti). pPaths: the
// chosen paths are appended when bMulti is nonzero (simple dialog only). 1 when the user confirmed a
// choice, 0 otherwise (also for an unknown nType).
KIV_API int KivPictureSelectPicFile(int bOpen, int nType, CString& strPath, CStringArray* pPaths, CWnd* pParent,
                                    int bMulti);
// Asks for a name through KivPictureSelectPicFile and saves rect of the buffer (size.cx x size.cy) there,
// by the writer its extension names (.tga .bmp .pcx .jpg, any case; TGA for any other), while a progress
// window shows. A failed save is reported in a message box. The writer's result; 0 without a message for
// an empty region or a cancelled dialog.
KIV_API int KivPicturePromptSavePicFile(DWORD* buffer, CSize size, CRect rect, CWnd* pParent);
