// The GUI library's owner-drawn list: a virtual grid of uniform cells that derived classes paint from
// their own data through a few hooks. The control holds no items, only their count, so layout is
// arithmetic and a paint visits the visible cells alone, however many there are.
//
// View modes:
//   0  a grid of large cells, each the icon above its title (and no information line);
//   1  a list of rows the width of the window, each the icon at the left, the title to its right and
//      an information line under the title.
// The icon size comes from SetIconAttr; a cell adds a margin around the icon and room for the text.
//
// Notifications to the parent, as commands with the control's ID (lParam the control's window):
//   kNotifySelChange (1)  the user moved the current cell (mouse or keyboard); programmatic changes
//                         (SetCurSel, SetCellCount) never notify, so a parent that sets the selection
//                         itself decides whether to act on it.
//   kNotifyDblClk (2)     a double click on a cell (it is the current cell by then).
#pragma once

#include "libraries/window/KvWnd.h"
#include "platform/window/DeviceContext.h"

class QScrollBar;

// The GUI library's window base: what its skinned windows share.
class KIV_RUNTIME_API CKivAquaBaseWnd : public CKvWnd {
  public:
    CKivAquaBaseWnd() = default;
};

class KIV_RUNTIME_API CKivAquaListCtrl : public CKivAquaBaseWnd {
  public:
    static constexpr UINT kNotifySelChange = 1;
    static constexpr UINT kNotifyDblClk = 2;

    CKivAquaListCtrl();
    ~CKivAquaListCtrl() override;

    // Creates the list as a child of parent with the control ID id. When parent has a child of that ID
    // (a dialog template's placeholder), the list takes its rectangle, visibility and place in the tab
    // order, and the placeholder is destroyed; otherwise the list starts empty-sized and shows when style
    // has WS_VISIBLE (0x10000000).
    BOOL Create(CWnd* parent, UINT id, DWORD style);
    // Creates the list at rect in parent's client coordinates, the class library's way.
    BOOL Create(LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect, CWnd* parent,
                UINT id) override;

    // The icon area of every cell; showTitle and showInfo reserve room for the title and (view mode 1)
    // the information line. Lays the cells out again; repaints when redraw is nonzero.
    void SetIconAttr(CSize iconSize, int showTitle, int showInfo, int redraw);
    // The number of cells. keepCurrent nonzero keeps the current cell (when still inside the count) and
    // the scroll position; 0 clears the current cell and scrolls to the top, as after a new listing.
    void SetCellCount(int count, int keepCurrent, int redraw);
    int GetCellCount() const { return count_; }
    // Computes columns, rows and the scroll range for the window's size; keepCurrentVisible scrolls
    // the current cell into view.
    void RecalcLayout(int keepCurrentVisible, int redraw);

    // Makes index (-1 for none) the current cell, scrolled into view when ensureVisible is nonzero.
    // An index outside -1..count-1 is ignored. Returns the previous current cell. Sends no command.
    int SetCurSel(int index, int ensureVisible);
    int GetCurSel() const { return current_; }

    int GetViewMode() const { return viewMode_; }
    // Modes 0 and 1 (above); any other is ignored. The current cell stays in view.
    void SetViewMode(int mode, int redraw);

    // The cell at a client point, or -1 (between cells, past the last one, over the scroll bar).
    int HitTest(CPoint point) const;
    // A cell's rectangle in client coordinates at the current scroll position (empty for no cell).
    CRect GetCellRect(int index) const;

    // ---- Painting hooks, called for each visible cell; state is 1 for the current cell, else 0 ----
    // Paints one cell: its background, then the icon, the title, the text over the icon and the
    // information line through the hooks below, each given its part of rect.
    virtual void DrawCell(CDC* dc, int index, CRect rect);
    virtual void OnDrawIcon(CDC* dc, int index, CRect rect, int state);
    // The title; dc holds the list's title colour, transparent background and the shared font.
    virtual void OnDrawText(CDC* dc, int index, CRect rect, int state);
    // Over the icon (a badge, a duration); called after the icon.
    virtual void OnDrawIconText(CDC* dc, int index, CRect rect, int state);
    // The information line of view mode 1.
    virtual void OnDrawInfo(CDC* dc, int index, CRect rect, int state);

    // ---- Dragging ----
    // A press on a cell followed by a move beyond the system's drag distance calls DragSelection for
    // that cell. The default asks OnDragCreateObject for what is dragged: null (the default) means the
    // cells are not draggable and nothing more happens. Otherwise OnDragCreateCursor is called once,
    // OnDragGetCursor for every move (the cell under the pointer, -1 for none; it returns a
    // Qt::CursorShape), and at the release OnMouseDropCell with the cell under the pointer, then
    // OnDragDeleteObject. Escape or losing the mouse ends a drag without a drop.
    virtual BOOL DragSelection(int index);
    virtual void* OnDragCreateObject(int index);
    virtual void OnDragDeleteObject(void* object);
    virtual void OnMouseDropCell(int index, void* object);
    virtual void OnDragCreateCursor(void* object);
    virtual int OnDragGetCursor(int index, void* object);

    // Window handlers.
    void OnPaint() override;
    void OnSize(UINT type, int width, int height) override;
    void OnLButtonDown(UINT flags, CPoint point) override;
    void OnLButtonUp(UINT flags, CPoint point) override;
    void OnLButtonDblClk(UINT flags, CPoint point) override;
    void OnMouseMove(UINT flags, CPoint point) override;
    BOOL OnMouseWheel(UINT flags, short delta, CPoint point) override;
    void OnKeyDown(UINT key, UINT repeat, UINT flags) override;
    void OnKillFocus(CWnd* next) override;

  private:
    struct Layout {
        CSize cell;       // one cell, margins included
        int columns = 1;  // cells per row
        int rows = 0;     // rows of cells in all
        int viewWidth = 0;
        int viewHeight = 0;
    };

    Layout ComputeLayout() const;
    int ScrollOffset() const;
    void ScrollTo(int offset);
    void EnsureVisible(int index);
    // Moves the current cell as the user did: scrolls it into view, repaints and notifies the parent.
    void UserSelect(int index);
    void Notify(UINT code);
    void EndDrag(bool drop, CPoint point);

    QScrollBar* scrollBar_ = nullptr;  // a child of the window, gone with it
    Layout layout_;
    CSize iconSize_{64, 48};
    bool showTitle_ = true;
    bool showInfo_ = true;
    int viewMode_ = 0;
    int count_ = 0;
    int current_ = -1;

    // A press that may become a drag, and the drag under way.
    int pressedCell_ = -1;
    CPoint pressPoint_;
    void* dragObject_ = nullptr;
};
