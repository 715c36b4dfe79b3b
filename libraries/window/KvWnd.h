// ZoZEDov's window base: the class-library window that its skinned windows and the GUI library's windows
// derive from. It adds nothing yet; it is the seam where a window-wide skin would go.
#pragma once

#include "platform/window/Window.h"

class KIV_RUNTIME_API CKvWnd : public CWnd {
  public:
    CKvWnd() = default;
};
