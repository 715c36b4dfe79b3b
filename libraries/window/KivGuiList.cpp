#include "libraries/window/KivGuiList.h"

#include <QApplication>
#include <QFontMetrics>
#include <QScrollBar>
#include <QWidget>

#include <algorithm>

#include "libraries/window/KivGuiSkin.h"
#include "platform/window/QtConversions.h"
#include "platform/window/WindowWidgets.h"

namespace {

constexpr DWORD kVisibleStyle = 0x10000000;  // WS_VISIBLE
constexpr int kMargin = 4;                    // around the icon inside a cell
constexpr int kWheelNotch = 120;
constexpr int kRowsPerNotchInList = 3;       // list rows are short: a notch moves about a grid row

int LineHeight() {
    const CFont* font = CKivGuiFont::GetFont();
    return QFontMetrics(font ? font->GetQFont() : QApplication::font()).height() + 2;
}

}  // namespace

CKivAquaListCtrl::CKivAquaListCtrl() = default;

CKivAquaListCtrl::~CKivAquaListCtrl() = default;

BOOL CKivAquaListCtrl::Create(CWnd* parent, UINT id, DWORD style) {
    if (parent == nullptr || parent->m_hWnd == nullptr || m_hWnd != nullptr) return FALSE;
    CWnd* placeholder = parent->GetDlgItem(int(id));
    QWidget* place = placeholder ? placeholder->m_hWnd : nullptr;
    CRect rect;
    if (place != nullptr) {
        rect = FromQRect(place->geometry());
        if (!place->isHidden()) style |= kVisibleStyle;
        placeholder->SetDlgCtrlID(0);  // from now on the ID names the list
    }
    if (!Create(nullptr, L"", style, rect, parent, id)) return FALSE;
    if (place != nullptr) TakePlaceOf(place, m_hWnd);
    return TRUE;
}

BOOL CKivAquaListCtrl::Create(LPCWSTR className, LPCWSTR windowName, DWORD style, const RECT& rect, CWnd* parent,
                              UINT id) {
    if (!CWnd::Create(className, windowName, style, rect, parent, id)) return FALSE;
    m_hWnd->setAttribute(Qt::WA_OpaquePaintEvent);
    scrollBar_ = new QScrollBar(Qt::Vertical, m_hWnd);
    scrollBar_->setFocusPolicy(Qt::NoFocus);
    scrollBar_->hide();
    QObject::connect(scrollBar_, &QScrollBar::valueChanged, scrollBar_, [this] { Invalidate(FALSE); });
    RecalcLayout(FALSE, TRUE);
    return TRUE;
}

void CKivAquaListCtrl::SetIconAttr(CSize iconSize, int showTitle, int showInfo, int redraw) {
    iconSize_ = CSize(std::max(1, int(iconSize.cx)), std::max(1, int(iconSize.cy)));
    showTitle_ = showTitle != 0;
    showInfo_ = showInfo != 0;
    RecalcLayout(TRUE, redraw);
}

void CKivAquaListCtrl::SetCellCount(int count, int keepCurrent, int redraw) {
    count_ = std::max(0, count);
    if (!keepCurrent || current_ >= count_) current_ = -1;
    RecalcLayout(FALSE, redraw);
    if (!keepCurrent) ScrollTo(0);
}

CKivAquaListCtrl::Layout CKivAquaListCtrl::ComputeLayout() const {
    CRect client;
    GetClientRect(&client);
    const int line = LineHeight();
    const auto fit = [&](int width) {
        Layout layout;
        layout.viewWidth = std::max(0, width);
        layout.viewHeight = client.Height();
        if (viewMode_ == 0) {
            const int natural = int(iconSize_.cx) + 2 * kMargin;
            layout.columns = std::max(1, layout.viewWidth / natural);
            // The width left over is shared among the columns, so the grid fills the window.
            layout.cell = CSize(std::max(natural, layout.viewWidth / layout.columns),
                                int(iconSize_.cy) + 2 * kMargin + (showTitle_ ? line : 0));
        } else {
            const int lines = (showTitle_ ? 1 : 0) + (showInfo_ ? 1 : 0);
            layout.columns = 1;
            layout.cell = CSize(std::max(1, layout.viewWidth), std::max(int(iconSize_.cy), lines * line) + 2 * kMargin);
        }
        layout.rows = (count_ + layout.columns - 1) / layout.columns;
        return layout;
    };
    Layout layout = fit(client.Width());
    // Room for the scroll bar only when the cells need it.
    if (scrollBar_ != nullptr && layout.rows * layout.cell.cy > client.Height())
        layout = fit(client.Width() - scrollBar_->sizeHint().width());
    return layout;
}

void CKivAquaListCtrl::RecalcLayout(int keepCurrentVisible, int redraw) {
    if (m_hWnd == nullptr || scrollBar_ == nullptr) return;
    layout_ = ComputeLayout();
    const int overflow = std::max(0, layout_.rows * int(layout_.cell.cy) - layout_.viewHeight);
    scrollBar_->setRange(0, overflow);
    scrollBar_->setPageStep(std::max(1, layout_.viewHeight));
    scrollBar_->setSingleStep(std::max(1, int(layout_.cell.cy)));
    scrollBar_->setGeometry(layout_.viewWidth, 0, m_hWnd->width() - layout_.viewWidth, m_hWnd->height());
    scrollBar_->setVisible(overflow > 0);
    if (keepCurrentVisible) EnsureVisible(current_);
    if (redraw) Invalidate(FALSE);
}

int CKivAquaListCtrl::SetCurSel(int index, int ensureVisible) {
    const int previous = current_;
    if (index < -1 || index >= count_) return previous;
    current_ = index;
    if (ensureVisible) EnsureVisible(index);
    if (index != previous) Invalidate(FALSE);
    return previous;
}

void CKivAquaListCtrl::SetViewMode(int mode, int redraw) {
    if (mode != 0 && mode != 1) return;
    viewMode_ = mode;
    RecalcLayout(TRUE, redraw);
}

int CKivAquaListCtrl::ScrollOffset() const { return scrollBar_ ? scrollBar_->value() : 0; }

void CKivAquaListCtrl::ScrollTo(int offset) {
    if (scrollBar_ != nullptr) scrollBar_->setValue(offset);  // the bar keeps it inside its range
}

void CKivAquaListCtrl::EnsureVisible(int index) {
    if (index < 0 || index >= count_ || layout_.cell.cy <= 0) return;
    const int top = index / layout_.columns * int(layout_.cell.cy);
    const int bottom = top + int(layout_.cell.cy);
    if (top < ScrollOffset())
        ScrollTo(top);
    else if (bottom > ScrollOffset() + layout_.viewHeight)
        ScrollTo(bottom - layout_.viewHeight);
}

int CKivAquaListCtrl::HitTest(CPoint point) const {
    if (point.x < 0 || point.y < 0 || point.x >= layout_.viewWidth || point.y >= layout_.viewHeight ||
        layout_.cell.cx <= 0 || layout_.cell.cy <= 0)
        return -1;
    const int column = point.x / int(layout_.cell.cx);
    const int row = (point.y + ScrollOffset()) / int(layout_.cell.cy);
    if (column >= layout_.columns) return -1;
    const long long index = (long long)row * layout_.columns + column;
    return index < count_ ? int(index) : -1;
}

CRect CKivAquaListCtrl::GetCellRect(int index) const {
    if (index < 0 || index >= count_) return CRect();
    const int left = index % layout_.columns * int(layout_.cell.cx);
    const int top = index / layout_.columns * int(layout_.cell.cy) - ScrollOffset();
    return CRect(CPoint(left, top), layout_.cell);
}

// ---- Painting ---------------------------------------------------------------------------------------------

void CKivAquaListCtrl::OnPaint() {
    CPaintDC dc(this);
    CRect client;
    GetClientRect(&client);
    dc.FillSolidRect(&client, kivgui::kField);
    if (count_ == 0 || layout_.cell.cy <= 0) return;
    const CRect view(0, 0, layout_.viewWidth, layout_.viewHeight);
    dc.IntersectClipRect(&view);
    CFont* oldFont = dc.SelectObject(CKivGuiFont::GetFont());
    dc.SetTextColor(kivgui::kText);
    dc.SetBkMode(TRANSPARENT);
    // Only the rows in view: a list of any length costs one screen of cells.
    const int offset = ScrollOffset();
    const int firstRow = offset / int(layout_.cell.cy);
    const int lastRow = (offset + layout_.viewHeight - 1) / int(layout_.cell.cy);
    const int first = firstRow * layout_.columns;
    const int end = int(std::min<long long>(count_, (long long)(lastRow + 1) * layout_.columns));
    for (int index = first; index < end; ++index) DrawCell(&dc, index, GetCellRect(index));
    dc.SelectObject(oldFont);
}

void CKivAquaListCtrl::DrawCell(CDC* dc, int index, CRect rect) {
    const int state = index == current_ ? 1 : 0;
    if (state) {
        const CRect inner(rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1);
        dc->FillSolidRect(&inner, kivgui::kSelection);
        dc->Draw3dRect(&inner, kivgui::kSelectionEdge, kivgui::kSelectionEdge);
    }
    CRect icon, title, info;
    if (viewMode_ == 0) {
        const int left = rect.left + (rect.Width() - int(iconSize_.cx)) / 2;
        icon = CRect(CPoint(left, rect.top + kMargin), iconSize_);
        title = CRect(rect.left + kMargin, icon.bottom + 1, rect.right - kMargin, rect.bottom - 1);
    } else {
        icon = CRect(CPoint(rect.left + kMargin, rect.top + (rect.Height() - int(iconSize_.cy)) / 2), iconSize_);
        const int textLeft = icon.right + 2 * kMargin;
        const int middle = showTitle_ && showInfo_ ? rect.top + rect.Height() / 2 : rect.bottom;
        title = CRect(textLeft, rect.top, rect.right - kMargin, middle);
        info = CRect(textLeft, showTitle_ ? middle : rect.top, rect.right - kMargin, rect.bottom);
    }
    OnDrawIcon(dc, index, icon, state);
    OnDrawIconText(dc, index, icon, state);
    if (showTitle_) OnDrawText(dc, index, title, state);
    if (viewMode_ == 1 && showInfo_) OnDrawInfo(dc, index, info, state);
}

// The list holds no data: derived classes paint the parts.
void CKivAquaListCtrl::OnDrawIcon(CDC*, int, CRect, int) {}
void CKivAquaListCtrl::OnDrawText(CDC*, int, CRect, int) {}
void CKivAquaListCtrl::OnDrawIconText(CDC*, int, CRect, int) {}
void CKivAquaListCtrl::OnDrawInfo(CDC*, int, CRect, int) {}

// ---- Input ------------------------------------------------------------------------------------------------

void CKivAquaListCtrl::Notify(UINT code) {
    if (CWnd* parent = GetParent())
        parent->SendMessage(WM_COMMAND, MAKEWPARAM(UINT(GetDlgCtrlID()), code), reinterpret_cast<LPARAM>(m_hWnd));
}

void CKivAquaListCtrl::UserSelect(int index) {
    if (index == current_) {
        EnsureVisible(index);
        return;
    }
    SetCurSel(index, TRUE);
    Notify(kNotifySelChange);
}

void CKivAquaListCtrl::OnSize(UINT, int, int) { RecalcLayout(FALSE, TRUE); }

void CKivAquaListCtrl::OnLButtonDown(UINT, CPoint point) {
    SetFocus();
    const int cell = HitTest(point);
    pressedCell_ = cell;
    pressPoint_ = point;
    if (cell >= 0) UserSelect(cell);
}

void CKivAquaListCtrl::OnLButtonUp(UINT, CPoint point) {
    pressedCell_ = -1;
    if (dragObject_ != nullptr) EndDrag(true, point);
}

void CKivAquaListCtrl::OnLButtonDblClk(UINT, CPoint point) {
    const int cell = HitTest(point);
    if (cell < 0) return;
    UserSelect(cell);
    Notify(kNotifyDblClk);
}

void CKivAquaListCtrl::OnMouseMove(UINT flags, CPoint point) {
    if (dragObject_ != nullptr) {
        m_hWnd->setCursor(Qt::CursorShape(OnDragGetCursor(HitTest(point), dragObject_)));
        return;
    }
    if (pressedCell_ < 0 || !(flags & MK_LBUTTON)) return;
    const int distance = std::abs(int(point.x - pressPoint_.x)) + std::abs(int(point.y - pressPoint_.y));
    if (distance < QApplication::startDragDistance()) return;
    const int cell = pressedCell_;
    pressedCell_ = -1;
    DragSelection(cell);
}

BOOL CKivAquaListCtrl::OnMouseWheel(UINT, short delta, CPoint) {
    if (scrollBar_ == nullptr || !scrollBar_->isVisible()) return FALSE;
    const int step = scrollBar_->singleStep() * (viewMode_ == 1 ? kRowsPerNotchInList : 1);
    ScrollTo(ScrollOffset() - delta * step / kWheelNotch);
    return TRUE;
}

void CKivAquaListCtrl::OnKeyDown(UINT key, UINT, UINT) {
    if (count_ == 0) return;
    const int columns = layout_.columns;
    const int page = std::max(1, layout_.viewHeight / std::max(1, int(layout_.cell.cy))) * columns;
    const int last = count_ - 1;
    const int at = current_;
    int target = at;
    switch (key) {
        case VK_HOME: target = 0; break;
        case VK_END: target = last; break;
        case VK_LEFT: target = at - 1; break;
        case VK_RIGHT: target = at + 1; break;
        case VK_PRIOR: target = at - page; break;
        case VK_NEXT: target = at + page; break;
        case VK_UP:
            if (at - columns >= 0) target = at - columns;
            break;
        case VK_DOWN:
            // Into a shorter last row: its last cell.
            if (at / columns < layout_.rows - 1) target = std::min(at + columns, last);
            break;
        default: return;
    }
    if (at < 0) target = key == VK_END ? last : 0;  // no current cell yet: the keys start at an end
    UserSelect(std::clamp(target, 0, last));
}

void CKivAquaListCtrl::OnKillFocus(CWnd*) {
    pressedCell_ = -1;
    if (dragObject_ != nullptr) EndDrag(false, CPoint());
}

// ---- Dragging ---------------------------------------------------------------------------------------------

BOOL CKivAquaListCtrl::DragSelection(int index) {
    void* object = OnDragCreateObject(index);
    if (object == nullptr) return FALSE;
    dragObject_ = object;
    OnDragCreateCursor(object);
    return TRUE;
}

void CKivAquaListCtrl::EndDrag(bool drop, CPoint point) {
    void* object = dragObject_;
    dragObject_ = nullptr;
    if (m_hWnd != nullptr) m_hWnd->unsetCursor();
    if (drop) OnMouseDropCell(HitTest(point), object);
    OnDragDeleteObject(object);
}

void* CKivAquaListCtrl::OnDragCreateObject(int) { return nullptr; }
void CKivAquaListCtrl::OnDragDeleteObject(void*) {}
void CKivAquaListCtrl::OnMouseDropCell(int, void*) {}
void CKivAquaListCtrl::OnDragCreateCursor(void*) {}
int CKivAquaListCtrl::OnDragGetCursor(int index, void*) { return index >= 0 ? Qt::DragMoveCursor : Qt::ForbiddenCursor; }
