// The window half's own module: its resource table (dialog templates, string table, bitmaps) joins the
// host's resource chain when the library loads, as the core's does.
#pragma once

#include "platform/WinTypes.h"

// The handle the dialogs pass to the resource library and the dialog base; null before the library has
// attached.
HINSTANCE GetKivPictureUiModuleHandle();
