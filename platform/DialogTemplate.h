// Dialog templates: a dialog's frame and controls as compiled into a module (resource type RT_DIALOG), in
// dialog units. One template file carries every language's texts beside one set of IDs, classes, styles
// and rectangles, so the languages cannot drift apart; loading picks the texts of the thread's language.
#pragma once

#include <vector>

#include "platform/CString.h"
#include "platform/Geometry.h"
#include "platform/WinTypes.h"
#include "platform/WindowStyles.h"

struct DialogItemTemplate {
    int id = 0;         // -1 for a control that nothing addresses (a label)
    CString className;  // "BUTTON", "STATIC", "EDIT", "COMBOBOX", "SysTreeView32"
    CString text;       // in the thread's language; push buttons end in "@p", check boxes in "@c"
    DWORD style = 0;    // WS_..., and the class's own BS_, SS_, ES_, CBS_, TVS_ bits
    DWORD exStyle = 0;  // WS_EX_...
    CRect rect;         // dialog units: left = x, top = y, right = x + w, bottom = y + h
};

struct DialogTemplate {
    DWORD style = 0;   // WS_..., DS_...
    CString caption;   // empty for a dialog without caption
    CString fontName;  // with DS_SETFONT
    int pointSize = 0;
    CRect rect;                             // position and size in dialog units, as for the items
    std::vector<DialogItemTemplate> items;  // in template order, which is the tab order
};

// Loads template id of the module in the thread's user-interface language (texts a language lacks are
// the US English ones). Returns nonzero on success; out is left unchanged on failure.
KIV_RUNTIME_API BOOL LoadDialogTemplate(HINSTANCE module, UINT id, DialogTemplate& out);

// The text without a trailing "@p" (push button) or "@c" (check box): the suffixes mark the control kind
// for skinning and are never shown.
KIV_RUNTIME_API CString StripCaptionSuffix(const CString& text);
