// Windows of the window layer: `CWnd` is a handle over a Qt widget, in the class library's shape.
//
// A window is either created here (Create, CreateEx, CreateFromWidget), when the CWnd owns its widget and
// the widget's events reach the CWnd's virtual handlers, or attached to a widget someone else made (a Qt
// host's own window, a dialog's control), when the CWnd only names it. FromHandle finds the CWnd of any
// widget, making a wrapper that lives as long as the widget when there is none.
//
// Drawing outside a paint handler (GetDC, ReleaseDC) goes into a backing image kept with the widget and
// shown above the widget's own painting and below its children, as a parent's drawing shows under child
// windows; it stays on screen through exposes and grows with the window.
#pragma once

#include "platform/CString.h"
#include "platform/Geometry.h"
#include "platform/WinTypes.h"

class QWidget;
class CDC;
class CFont;

using HWND = QWidget*;
using WPARAM = ULONGLONG;
using LPARAM = LONGLONG;
using LRESULT = LONGLONG;
using LPRECT = RECT*;
using LPCRECT = const RECT*;

// ShowWindow commands.
constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;
constexpr int SW_SHOWNORMAL = 1;

// Messages that travel between windows through SendMessage.
constexpr UINT WM_COMMAND = 0x0111;
constexpr UINT WM_NOTIFY = 0x004E;

constexpr WPARAM MAKEWPARAM(UINT low, UINT high) { return (WPARAM(high & 0xFFFF) << 16) | (low & 0xFFFF); }
constexpr UINT LOWORD(ULONGLONG value) { return UINT(value & 0xFFFF); }
constexpr UINT HIWORD(ULONGLONG value) { return UINT((value >> 16) & 0xFFFF); }

// The header every WM_NOTIFY carries (longer notifications begin with it).
struct NMHDR {
    HWND hwndFrom;
    ULONGLONG idFrom;
    UINT code;
};

// Mouse key flags of the mouse handlers.
constexpr UINT MK_LBUTTON = 0x1;
constexpr UINT MK_RBUTTON = 0x2;
constexpr UINT MK_SHIFT = 0x4;
constexpr UINT MK_CONTROL = 0x8;

// Virtual keys of the keyboard handler; letters and digits are their upper-case characters.
constexpr UINT VK_BACK = 0x08, VK_TAB = 0x09, VK_RETURN = 0x0D, VK_SHIFT = 0x10, VK_CONTROL = 0x11,
               VK_ESCAPE = 0x1B, VK_SPACE = 0x20, VK_PRIOR = 0x21, VK_NEXT = 0x22, VK_END = 0x23,
               VK_HOME = 0x24, VK_LEFT = 0x25, VK_UP = 0x26, VK_RIGHT = 0x27, VK_DOWN = 0x28,
               VK_DELETE = 0x2E, VK_F2 = 0x71;
// Negative (high bit set) while the key is down: VK_SHIFT and VK_CONTROL.
KIV_RUNTIME_API short GetKeyState(int virtualKey);

class KIV_RUNTIME_API CWnd {
  public:
    CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    // Destroys the widget when this CWnd created it; otherwise only lets go of it.
    virtual ~CWnd();

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }

    // The CWnd of a widget: the one attached to it, else a wrapper that lives as long as the widget.
    // Null for a null widget.
    static CWnd* FromHandle(HWND widget);
    // The CWnd attached to the widget, or null.
    static CWnd* FromHandlePermanent(HWND widget);
    // Names a widget made elsewhere; fails when this CWnd already has one or the widget has a CWnd.
    BOOL Attach(HWND widget);
    HWND Detach();

    // Creates a plain window of this layer, a child of parent (a top-level window without one) at rect
    // in the parent's client coordinates, with the control ID id; its events reach the handlers below.
    // Visible when style has WS_VISIBLE (0x10000000).
    virtual BOOL Create(LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect, CWnd* parent,
                        UINT id);
    // Takes widget (made by a derived class, unparented or not) as this window: placed like Create and
    // owned from now on. Its events reach the handlers when it is one of this layer's widgets.
    BOOL CreateFromWidget(QWidget* widget, DWORD style, const RECT& rect, CWnd* parent, UINT id);
    // Destroys the widget (and its children); the CWnd stays, empty.
    virtual BOOL DestroyWindow();

    // Geometry: the client area from (0, 0); the window in screen coordinates.
    void GetClientRect(LPRECT rect) const;
    void GetWindowRect(LPRECT rect) const;
    void ScreenToClient(LPRECT rect) const;
    void ScreenToClient(POINT* point) const;
    void ClientToScreen(LPRECT rect) const;
    void ClientToScreen(POINT* point) const;
    // In the parent's client coordinates (the screen's for a top-level window).
    void MoveWindow(int x, int y, int width, int height, BOOL repaint = TRUE);
    void MoveWindow(LPCRECT rect, BOOL repaint = TRUE);

    BOOL ShowWindow(int command);
    BOOL IsWindowVisible() const;
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;
    // The caption of a window, the text of a control.
    virtual void SetWindowTextW(LPCWSTR text);
    virtual void GetWindowTextW(CString& text) const;

    CWnd* GetParent() const;
    // The child window with that control ID (searched among the direct children), or null.
    CWnd* GetDlgItem(int id) const;
    int GetDlgCtrlID() const;
    int SetDlgCtrlID(int id);
    void SetFont(CFont* font, BOOL redraw = TRUE);

    void Invalidate(BOOL erase = TRUE);
    void InvalidateRect(LPCRECT rect, BOOL erase = TRUE);
    void UpdateWindow();
    CWnd* SetFocus();
    static CWnd* GetFocus();

    // A device context drawing into the window's backing image, or null without a window; give it back
    // with ReleaseDC, which shows what was drawn.
    CDC* GetDC();
    int ReleaseDC(CDC* dc);

    // WM_COMMAND goes to OnCommand, WM_NOTIFY to OnNotify (lParam an NMHDR*); others answer 0.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    // A command from a child: LOWORD(wParam) its ID, HIWORD(wParam) the notification code, lParam the
    // child's HWND. Nonzero when handled; this base handles none.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    // A notification from a child: wParam its ID, lParam its NMHDR. Nonzero when handled.
    virtual BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result);

    // The handlers of a window created by this layer. Paint handlers draw through a CPaintDC.
    virtual void OnPaint() {}
    virtual void OnSize(UINT /*type*/, int /*width*/, int /*height*/) {}
    virtual void OnLButtonDown(UINT /*flags*/, CPoint /*point*/) {}
    virtual void OnLButtonUp(UINT /*flags*/, CPoint /*point*/) {}
    virtual void OnLButtonDblClk(UINT /*flags*/, CPoint /*point*/) {}
    virtual void OnRButtonDown(UINT /*flags*/, CPoint /*point*/) {}
    virtual void OnMouseMove(UINT /*flags*/, CPoint /*point*/) {}
    // delta in steps of 120 per notch, point in screen coordinates. Nonzero when handled.
    virtual BOOL OnMouseWheel(UINT /*flags*/, short /*delta*/, CPoint /*point*/) { return FALSE; }
    virtual void OnKeyDown(UINT /*key*/, UINT /*repeat*/, UINT /*flags*/) {}
    virtual void OnSetFocus(CWnd* /*old*/) {}
    virtual void OnKillFocus(CWnd* /*next*/) {}
    // Called while the widget is going away, before its children are gone.
    virtual void OnDestroy() {}

  private:
    friend class WindowLink;
    bool ownsWidget_ = false;
    bool isWrapper_ = false;
};
