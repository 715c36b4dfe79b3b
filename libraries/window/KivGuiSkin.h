// The GUI library's look: the palette its windows share, the shared font of lists and information
// lines, the skin a dialog is handed to, and the clipping of child windows out of a parent's painting.
//
// The palette is a family of neutral greys around the picture panel's own fills (panel 0x9C9EA1, folder
// tree 0xB8B8B8, preview frame 0x5A5A5C / 0xBFC1C4): light fields with near-black text for lists and
// inputs, darker flat buttons with white text, and a slate blue-grey for the current cell, on which a
// highlighted title shows white.
#pragma once

#include "platform/window/DeviceContext.h"

namespace kivgui {
// Colours as COLORREF (0x00BBGGRR).
constexpr COLORREF kPanel = 0x9C9EA1;         // dialog and panel background
constexpr COLORREF kField = 0xB8B8B8;         // lists and trees
constexpr COLORREF kText = 0x101010;          // text on panels and fields
constexpr COLORREF kSunkenDark = 0x5A5A5C;    // top-left edge of a sunken frame
constexpr COLORREF kSunkenLight = 0xBFC1C4;   // bottom-right edge of a sunken frame
constexpr COLORREF kSelection = 0x806C5C;     // the current cell (RGB 92, 108, 128)
constexpr COLORREF kSelectionEdge = 0x4A3C30; // its outline
constexpr COLORREF kButton = 0x7E7A78;        // flat buttons (RGB 120, 122, 126)
constexpr COLORREF kButtonText = 0xFFFFFF;
}  // namespace kivgui

// The one font of lists and information lines, made on first use (a window system must exist) and
// released with the application object.
class KIV_RUNTIME_API CKivGuiFont {
  public:
    static CFont* GetFont();
};

// Clips every visible child window of window out of dc, so that a parent's painting never covers them.
KIV_RUNTIME_API void KivGuiExcludeChildWndFromDC(CWnd* window, CDC* dc);

// The skin of a dialog: handed the dialog at the start of its OnInitDialog, it gives the dialog and its
// controls the palette above through a Qt style sheet. Control captions are left as they stand.
class KIV_RUNTIME_API CKivAquaAutoMaker {
  public:
    CKivAquaAutoMaker() = default;
    CKivAquaAutoMaker(const CKivAquaAutoMaker&) = delete;
    CKivAquaAutoMaker& operator=(const CKivAquaAutoMaker&) = delete;
    // Applies the skin to dialog's window; nothing without a window.
    virtual void Attach(CWnd* dialog);
    virtual ~CKivAquaAutoMaker() = default;

    // The style sheet Attach applies.
    static const char* StyleSheet();
};
