// The still-picture module's window interface: fills into windows and device contexts, the thumbnail
// list, the picture selection dialogs and the save prompt. Link KivPictureUi (and Qt 6 Widgets).
#pragma once

#include "KivPicture.h"

#include "libraries/KivColor.h"
#include "media/window/ClipMediaListCtrl.h"
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
