// The GUI library's progress window: a small modeless window over its parent that shows what is being
// done while the caller works on the user-interface thread, and a bar once the caller gives counts. It
// takes no keyboard focus: the keys stay in the window the user works in.
#pragma once

#include "platform/window/Window.h"

class KIV_RUNTIME_API CKivGuiProgressDlg : public CWnd {
  public:
    CKivGuiProgressDlg() = default;
    ~CKivGuiProgressDlg() override;

    // Shows the window centred over parent (or the screen) with text, and title as its caption (either
    // may be null). When total is positive the bar shows done of total at once. reserved is kept for
    // the callers' signatures (0). Paints before returning, since the caller usually blocks next.
    // Fails when the window already exists or no window system can be opened.
    BOOL Create(LPCWSTR title, LPCWSTR text, int done, int total, int reserved, CWnd* parent);
    // Shows the bar at done of total (total <= 0 hides it) and repaints at once.
    void SetProgress(int done, int total);
    // Replaces the text and repaints at once.
    void SetText(LPCWSTR text);
    // Removes the window; harmless when it was never created or is already gone.
    void Close();

  private:
    using CWnd::Create;  // a plain window is no progress window
};
