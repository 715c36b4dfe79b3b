#include "platform/window/Window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGuiApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QWidget>

#include "platform/window/DeviceContext.h"
#include "platform/window/QtConversions.h"
#include "platform/window/WindowWidgets.h"

namespace {

constexpr DWORD kVisibleStyle = 0x10000000;  // WS_VISIBLE
constexpr const char* kLinkName = "kiv-window-link";
constexpr const char* kControlIdProperty = "kivControlId";

UINT MouseFlags(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers) {
    UINT flags = 0;
    if (buttons & Qt::LeftButton) flags |= MK_LBUTTON;
    if (buttons & Qt::RightButton) flags |= MK_RBUTTON;
    if (modifiers & Qt::ShiftModifier) flags |= MK_SHIFT;
    if (modifiers & Qt::ControlModifier) flags |= MK_CONTROL;
    return flags;
}

// The virtual key of a Qt key, 0 for one the handlers never see.
UINT VirtualKey(int key) {
    switch (key) {
        case Qt::Key_Backspace: return VK_BACK;
        case Qt::Key_Tab: return VK_TAB;
        case Qt::Key_Return:
        case Qt::Key_Enter: return VK_RETURN;
        case Qt::Key_Escape: return VK_ESCAPE;
        case Qt::Key_Space: return VK_SPACE;
        case Qt::Key_PageUp: return VK_PRIOR;
        case Qt::Key_PageDown: return VK_NEXT;
        case Qt::Key_End: return VK_END;
        case Qt::Key_Home: return VK_HOME;
        case Qt::Key_Left: return VK_LEFT;
        case Qt::Key_Up: return VK_UP;
        case Qt::Key_Right: return VK_RIGHT;
        case Qt::Key_Down: return VK_DOWN;
        case Qt::Key_Delete: return VK_DELETE;
        case Qt::Key_F2: return VK_F2;
        default: break;
    }
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) return UINT(key);
    return 0;
}

}  // namespace

// ---- The link between a widget and its CWnd ---------------------------------------------------------------

// A child object of the widget: it names the CWnd, and when the widget goes, it empties the CWnd (and
// deletes a wrapper that FromHandle made).
class WindowLink : public QObject {
  public:
    WindowLink(QWidget* widget, CWnd* window) : QObject(widget), window_(window) { setObjectName(kLinkName); }
    ~WindowLink() override {
        if (window_ == nullptr) return;
        window_->m_hWnd = nullptr;
        window_->ownsWidget_ = false;
        if (window_->isWrapper_) delete window_;
    }
    static WindowLink* Of(const QWidget* widget) {
        return widget ? widget->findChild<WindowLink*>(kLinkName, Qt::FindDirectChildrenOnly) : nullptr;
    }
    CWnd* Window() const { return window_; }
    void Release() { window_ = nullptr; }

  private:
    CWnd* window_;
};

// ---- The layer's own widgets --------------------------------------------------------------------------

WindowWidget::WindowWidget(CWnd* owner) : owner_(owner) {
    setFocusPolicy(Qt::StrongFocus);
}

WindowWidget::~WindowWidget() {
    if (owner_ != nullptr) owner_->OnDestroy();
}

void WindowWidget::paintEvent(QPaintEvent*) {
    if (owner_ != nullptr) owner_->OnPaint();
}

void WindowWidget::resizeEvent(QResizeEvent* event) {
    if (owner_ != nullptr) owner_->OnSize(0, event->size().width(), event->size().height());
}

void WindowWidget::mousePressEvent(QMouseEvent* event) {
    if (owner_ == nullptr) return;
    const CPoint point(int(event->position().x()), int(event->position().y()));
    const UINT flags = MouseFlags(event->buttons(), event->modifiers());
    if (event->button() == Qt::LeftButton) owner_->OnLButtonDown(flags, point);
    if (event->button() == Qt::RightButton) owner_->OnRButtonDown(flags, point);
}

void WindowWidget::mouseReleaseEvent(QMouseEvent* event) {
    if (owner_ == nullptr || event->button() != Qt::LeftButton) return;
    owner_->OnLButtonUp(MouseFlags(event->buttons(), event->modifiers()),
                        CPoint(int(event->position().x()), int(event->position().y())));
}

void WindowWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (owner_ == nullptr || event->button() != Qt::LeftButton) return;
    owner_->OnLButtonDblClk(MouseFlags(event->buttons(), event->modifiers()),
                            CPoint(int(event->position().x()), int(event->position().y())));
}

void WindowWidget::mouseMoveEvent(QMouseEvent* event) {
    if (owner_ == nullptr) return;
    owner_->OnMouseMove(MouseFlags(event->buttons(), event->modifiers()),
                        CPoint(int(event->position().x()), int(event->position().y())));
}

void WindowWidget::wheelEvent(QWheelEvent* event) {
    const QPoint global = event->globalPosition().toPoint();
    if (owner_ == nullptr ||
        !owner_->OnMouseWheel(MouseFlags(event->buttons(), event->modifiers()), short(event->angleDelta().y()),
                              CPoint(global.x(), global.y())))
        event->ignore();
}

void WindowWidget::keyPressEvent(QKeyEvent* event) {
    const UINT key = VirtualKey(event->key());
    // Tab, Enter and Escape belong to the dialog around the window (focus order, default and cancel).
    if (owner_ == nullptr || key == 0 || key == VK_TAB || key == VK_RETURN || key == VK_ESCAPE) {
        QWidget::keyPressEvent(event);
        return;
    }
    owner_->OnKeyDown(key, 1, event->isAutoRepeat() ? 0x4000 : 0);
}

void WindowWidget::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    if (owner_ != nullptr) owner_->OnSetFocus(nullptr);
}

void WindowWidget::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    if (owner_ != nullptr) owner_->OnKillFocus(nullptr);
}

// ---- The backing image of GetDC ---------------------------------------------------------------------------

BackingImage::BackingImage(QWidget* parent) : QWidget(parent) {
    setObjectName("kiv-backing-image");
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    Fit();
    lower();  // above the window's own painting, below its child windows
    show();
    parent->installEventFilter(this);
}

BackingImage* BackingImage::Of(QWidget* widget, bool create) {
    auto* found = widget->findChild<BackingImage*>("kiv-backing-image", Qt::FindDirectChildrenOnly);
    return found || !create ? found : new BackingImage(widget);
}

void BackingImage::Fit() {
    const QSize size = parentWidget()->size();
    setGeometry(0, 0, size.width(), size.height());
    if (image_.width() >= size.width() && image_.height() >= size.height()) return;
    // Grows and keeps what was drawn; a shrink keeps the pixels for when the window grows back.
    QImage grown(std::max(image_.width(), size.width()), std::max(image_.height(), size.height()),
                 QImage::Format_ARGB32_Premultiplied);
    grown.fill(Qt::transparent);
    if (!image_.isNull()) {
        QPainter painter(&grown);
        painter.drawImage(0, 0, image_);
    }
    image_ = std::move(grown);
}

bool BackingImage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) Fit();
    return false;
}

void BackingImage::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.drawImage(event->rect(), image_, event->rect());
}

namespace {

// A device context on a window's backing image; ReleaseDC shows what it drew.
class WindowDC : public CDC {
  public:
    explicit WindowDC(BackingImage* image) : image_(image) { Begin(&image->Image()); }
    ~WindowDC() override {
        End();
        if (image_) image_->update();
    }

  private:
    QPointer<BackingImage> image_;
};

}  // namespace

// ---- CWnd -------------------------------------------------------------------------------------------------

CWnd::CWnd() = default;

CWnd::~CWnd() {
    if (m_hWnd == nullptr) return;
    if (auto* link = WindowLink::Of(m_hWnd)) link->Release();
    if (auto* own = dynamic_cast<WindowWidget*>(m_hWnd)) own->Disown();
    if (ownsWidget_) delete m_hWnd;
    m_hWnd = nullptr;
}

CWnd* CWnd::FromHandle(HWND widget) {
    if (widget == nullptr) return nullptr;
    if (CWnd* window = FromHandlePermanent(widget)) return window;
    auto* wrapper = new CWnd;  // deleted by the link when the widget goes
    wrapper->isWrapper_ = true;
    wrapper->Attach(widget);
    return wrapper;
}

CWnd* CWnd::FromHandlePermanent(HWND widget) {
    const WindowLink* link = WindowLink::Of(widget);
    return link ? link->Window() : nullptr;
}

BOOL CWnd::Attach(HWND widget) {
    if (widget == nullptr || m_hWnd != nullptr || WindowLink::Of(widget) != nullptr) return FALSE;
    m_hWnd = widget;
    new WindowLink(widget, this);  // a child of the widget
    return TRUE;
}

HWND CWnd::Detach() {
    HWND widget = m_hWnd;
    if (widget == nullptr) return nullptr;
    if (auto* link = WindowLink::Of(widget)) {
        link->Release();
        delete link;
    }
    m_hWnd = nullptr;
    ownsWidget_ = false;
    return widget;
}

BOOL CWnd::SubclassWindow(HWND widget) {
    if (widget == nullptr || m_hWnd != nullptr) return FALSE;
    if (WindowLink* link = WindowLink::Of(widget)) {
        CWnd* current = link->Window();
        if (current == nullptr || !current->isWrapper_) return FALSE;  // another CWnd names it
        current->Detach();
        delete current;
    }
    return Attach(widget);
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
    CWnd* item = parent ? parent->GetDlgItem(int(id)) : nullptr;
    return item != nullptr && SubclassWindow(item->m_hWnd);
}

BOOL CWnd::Create(LPCWSTR /*className*/, LPCWSTR windowName, DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    auto* widget = new WindowWidget(this);
    if (windowName != nullptr) widget->setWindowTitle(QString::fromWCharArray(windowName));
    return CreateFromWidget(widget, style, rect, parent, id);
}

BOOL CWnd::CreateFromWidget(QWidget* widget, DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    if (widget == nullptr) return FALSE;
    if (m_hWnd != nullptr || (parent != nullptr && parent->m_hWnd == nullptr)) {
        delete widget;
        return FALSE;
    }
    widget->setParent(parent ? parent->m_hWnd : nullptr);
    widget->setGeometry(ToQRect(rect));
    widget->setProperty(kControlIdProperty, int(id));
    if (!Attach(widget)) {
        delete widget;
        return FALSE;
    }
    ownsWidget_ = true;
    widget->setVisible((style & kVisibleStyle) != 0);
    return TRUE;
}

BOOL CWnd::DestroyWindow() {
    if (m_hWnd == nullptr) return FALSE;
    const bool owned = ownsWidget_;
    if (auto* own = dynamic_cast<WindowWidget*>(m_hWnd); own && owned) {
        OnDestroy();  // the widget and its children are still there
        own->Disown();
    }
    HWND widget = Detach();
    if (owned) delete widget;
    return TRUE;
}

void CWnd::GetClientRect(LPRECT rect) const {
    *rect = m_hWnd ? CRect(0, 0, m_hWnd->width(), m_hWnd->height()) : CRect();
}

void CWnd::GetWindowRect(LPRECT rect) const {
    if (m_hWnd == nullptr) {
        *rect = CRect();
        return;
    }
    const QPoint origin = m_hWnd->mapToGlobal(QPoint(0, 0));
    *rect = CRect(CPoint(origin.x(), origin.y()), CSize(m_hWnd->width(), m_hWnd->height()));
}

void CWnd::ScreenToClient(LPRECT rect) const {
    ScreenToClient(reinterpret_cast<POINT*>(&rect->left));
    ScreenToClient(reinterpret_cast<POINT*>(&rect->right));
}

void CWnd::ScreenToClient(POINT* point) const {
    if (m_hWnd == nullptr) return;
    const QPoint local = m_hWnd->mapFromGlobal(QPoint(point->x, point->y));
    *point = POINT{local.x(), local.y()};
}

void CWnd::ClientToScreen(LPRECT rect) const {
    ClientToScreen(reinterpret_cast<POINT*>(&rect->left));
    ClientToScreen(reinterpret_cast<POINT*>(&rect->right));
}

void CWnd::ClientToScreen(POINT* point) const {
    if (m_hWnd == nullptr) return;
    const QPoint global = m_hWnd->mapToGlobal(QPoint(point->x, point->y));
    *point = POINT{global.x(), global.y()};
}

void CWnd::MoveWindow(int x, int y, int width, int height, BOOL repaint) {
    if (m_hWnd == nullptr) return;
    m_hWnd->setGeometry(x, y, std::max(width, 0), std::max(height, 0));
    if (repaint) m_hWnd->update();
}

void CWnd::MoveWindow(LPCRECT rect, BOOL repaint) {
    MoveWindow(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, repaint);
}

BOOL CWnd::ShowWindow(int command) {
    if (m_hWnd == nullptr) return FALSE;
    const BOOL wasVisible = m_hWnd->isVisible();
    m_hWnd->setVisible(command != SW_HIDE);
    return wasVisible;
}

BOOL CWnd::IsWindowVisible() const { return m_hWnd != nullptr && m_hWnd->isVisible(); }

BOOL CWnd::EnableWindow(BOOL enable) {
    if (m_hWnd == nullptr) return FALSE;
    const BOOL wasDisabled = !m_hWnd->isEnabled();
    m_hWnd->setEnabled(enable != FALSE);
    return wasDisabled;
}

BOOL CWnd::IsWindowEnabled() const { return m_hWnd != nullptr && m_hWnd->isEnabled(); }

QString WidgetText(const QWidget* widget) {
    if (const auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
    if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
    if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) return edit->text();
    if (const auto* combo = qobject_cast<const QComboBox*>(widget); combo && combo->isEditable())
        return combo->currentText();
    return widget->windowTitle();
}

void SetWidgetText(QWidget* widget, const QString& text) {
    if (auto* label = qobject_cast<QLabel*>(widget))
        label->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        button->setText(text);
    else if (auto* edit = qobject_cast<QLineEdit*>(widget))
        edit->setText(text);
    else if (auto* combo = qobject_cast<QComboBox*>(widget); combo && combo->isEditable())
        combo->setEditText(text);
    else
        widget->setWindowTitle(text);
}

void SetWidgetControlId(QWidget* widget, int id) { widget->setProperty(kControlIdProperty, id); }

void TakePlaceOf(QWidget* place, QWidget* widget) {
    widget->stackUnder(place);
    // Qt keeps no tab order through a widget without focus, so the placeholder takes tab focus for the move.
    place->setFocusPolicy(Qt::TabFocus);
    QWidget::setTabOrder(place, widget);
    delete place;  // its CWnd, if any, is left empty
}

void CWnd::SetWindowTextW(LPCWSTR text) {
    if (m_hWnd != nullptr) SetWidgetText(m_hWnd, ToQString(CString(text)));
}

void CWnd::GetWindowTextW(CString& text) const {
    text = m_hWnd ? FromQString(WidgetText(m_hWnd)) : CString();
}

CWnd* CWnd::GetParent() const { return m_hWnd ? FromHandle(m_hWnd->parentWidget()) : nullptr; }

CWnd* CWnd::GetDlgItem(int id) const {
    if (m_hWnd == nullptr) return nullptr;
    for (QWidget* child : m_hWnd->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        const QVariant value = child->property(kControlIdProperty);
        if (value.isValid() && value.toInt() == id) return FromHandle(child);
    }
    return nullptr;
}

int CWnd::GetDlgCtrlID() const {
    const QVariant value = m_hWnd ? m_hWnd->property(kControlIdProperty) : QVariant();
    return value.isValid() ? value.toInt() : 0;
}

int CWnd::SetDlgCtrlID(int id) {
    const int old = GetDlgCtrlID();
    if (m_hWnd != nullptr) m_hWnd->setProperty(kControlIdProperty, id);
    return old;
}

void CWnd::SetFont(CFont* font, BOOL redraw) {
    if (m_hWnd == nullptr || font == nullptr) return;
    m_hWnd->setFont(font->GetQFont());
    if (redraw) m_hWnd->update();
}

void CWnd::Invalidate(BOOL) {
    if (m_hWnd != nullptr) m_hWnd->update();
}

void CWnd::InvalidateRect(LPCRECT rect, BOOL) {
    if (m_hWnd == nullptr) return;
    if (rect == nullptr)
        m_hWnd->update();
    else
        m_hWnd->update(ToQRect(*rect));
}

void CWnd::UpdateWindow() {
    if (m_hWnd != nullptr) m_hWnd->repaint();
}

CWnd* CWnd::SetFocus() {
    CWnd* old = GetFocus();
    if (m_hWnd != nullptr) m_hWnd->setFocus(Qt::OtherFocusReason);
    return old;
}

CWnd* CWnd::GetFocus() { return FromHandle(QApplication::focusWidget()); }

CDC* CWnd::GetDC() {
    if (m_hWnd == nullptr) return nullptr;
    return new WindowDC(BackingImage::Of(m_hWnd, true));
}

int CWnd::ReleaseDC(CDC* dc) {
    delete dc;
    return dc != nullptr;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND) return OnCommand(wParam, lParam);
    if (message == WM_NOTIFY) {
        LRESULT result = 0;
        OnNotify(wParam, lParam, &result);
        return result;
    }
    return 0;
}

BOOL CWnd::OnCommand(WPARAM, LPARAM) { return FALSE; }

BOOL CWnd::OnNotify(WPARAM, LPARAM, LRESULT*) { return FALSE; }

short GetKeyState(int virtualKey) {
    const Qt::KeyboardModifiers modifiers = QGuiApplication::queryKeyboardModifiers();
    if (virtualKey == int(VK_SHIFT)) return (modifiers & Qt::ShiftModifier) ? short(-128) : 0;
    if (virtualKey == int(VK_CONTROL)) return (modifiers & Qt::ControlModifier) ? short(-128) : 0;
    return 0;
}
