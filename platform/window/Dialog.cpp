#include "platform/window/Dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QEventLoop>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>

#include "platform/ExtensionModule.h"
#include "platform/window/QtConversions.h"
#include "platform/window/WindowMessageBox.h"
#include "platform/window/WindowSystem.h"
#include "platform/window/WindowWidgets.h"

namespace {

// The text whose average width is the horizontal base unit, as the system measures a dialog font.
constexpr const char* kBaseUnitAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

// number * numerator / denominator, rounded half away from zero, as the system's MulDiv.
int MulDiv(int number, int numerator, int denominator) {
    const long long product = static_cast<long long>(number) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator : (product - half) / denominator);
}

// Twice the average width, plus one, halved: the system's rounding of the alphabet's width over 26.
// Measured without kerning, as the system measures text extents.
CSize BaseUnits(QFont font) {
    font.setKerning(false);
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(QString::fromLatin1(kBaseUnitAlphabet));
    return CSize((width / 26 + 1) / 2, metrics.height());
}

bool IsClass(const CString& className, LPCWSTR name) { return className.CompareNoCase(name) == 0; }

QWidget* MakeStatic(const DialogItemTemplate& item, QWidget* parent) {
    auto* label = new QLabel(parent);
    const DWORD kind = item.style & SS_TYPEMASK;
    if (kind == SS_BLACKFRAME) {
        // A frame in the window-frame colour, black, and no text.
        label->setFrameStyle(QFrame::Box | QFrame::Plain);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, Qt::black);
        label->setPalette(palette);
        return label;
    }
    if (kind == SS_BLACKRECT) {
        label->setAutoFillBackground(true);
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, Qt::black);
        label->setPalette(palette);
        return label;
    }
    if (item.style & SS_SUNKEN) {
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setProperty("kivSunken", true);  // for skins, which replace the style's frame
    }
    else if (item.style & WS_BORDER)
        label->setFrameStyle(QFrame::Box | QFrame::Plain);
    const Qt::Alignment horizontal = kind == SS_CENTER  ? Qt::AlignHCenter
                                     : kind == SS_RIGHT ? Qt::AlignRight
                                                        : Qt::AlignLeft;
    // The system draws a static's text from the top unless asked to centre it.
    label->setAlignment(horizontal | ((item.style & SS_CENTERIMAGE) ? Qt::AlignVCenter : Qt::AlignTop));
    label->setWordWrap(kind != SS_LEFTNOWORDWRAP && !(item.style & SS_CENTERIMAGE));
    label->setTextFormat(Qt::PlainText);
    label->setText(ToQString(item.text));
    return label;
}

QWidget* MakeButton(const DialogItemTemplate& item, QWidget* parent) {
    const DWORD kind = item.style & BS_TYPEMASK;
    QAbstractButton* button = nullptr;
    if (kind == BS_CHECKBOX || kind == BS_AUTOCHECKBOX) {
        button = new QCheckBox(parent);
    } else {
        auto* push = new QPushButton(parent);
        push->setDefault(kind == BS_DEFPUSHBUTTON);
        button = push;
    }
    button->setText(ToQString(item.text));
    return button;
}

QWidget* MakeEdit(const DialogItemTemplate& item, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    // A line edit always scrolls sideways, which is what ES_AUTOHSCROLL asks for.
    edit->setFrame((item.style & WS_BORDER) || (item.exStyle & WS_EX_CLIENTEDGE));
    edit->setReadOnly(item.style & ES_READONLY);
    if (item.style & ES_CENTER) edit->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    if (item.style & ES_RIGHT) edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    edit->setText(ToQString(item.text));
    return edit;
}

QWidget* MakeComboBox(const DialogItemTemplate& item, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setEditable((item.style & 0x3) == CBS_DROPDOWN);
    return combo;
}

QWidget* MakeTree(const DialogItemTemplate& item, QWidget* parent) {
    // The folder tree's control class takes this widget over; here it gets the template's look.
    auto* tree = new QTreeWidget(parent);
    tree->setHeaderHidden(true);
    tree->setRootIsDecorated((item.style & TVS_LINESATROOT) && (item.style & TVS_HASBUTTONS));
    tree->setEditTriggers((item.style & TVS_EDITLABELS) ? QAbstractItemView::SelectedClicked
                                                         : QAbstractItemView::NoEditTriggers);
    return tree;
}

QWidget* MakeControl(const DialogItemTemplate& item, QWidget* parent) {
    if (IsClass(item.className, L"STATIC")) return MakeStatic(item, parent);
    if (IsClass(item.className, L"BUTTON")) return MakeButton(item, parent);
    if (IsClass(item.className, L"EDIT")) return MakeEdit(item, parent);
    if (IsClass(item.className, L"COMBOBOX")) return MakeComboBox(item, parent);
    if (IsClass(item.className, L"SysTreeView32")) return MakeTree(item, parent);
    // A class this layer does not know holds its place and ID for the code that replaces it.
    return new QWidget(parent);
}

// Counts a running handler (or data exchange) for as long as it runs, exceptions included.
class Counting {
  public:
    explicit Counting(int& count) : count_(count) { ++count_; }
    ~Counting() { --count_; }
    Counting(const Counting&) = delete;
    Counting& operator=(const Counting&) = delete;

  private:
    int& count_;
};

}  // namespace

// ---- The dialog's widget ----------------------------------------------------------------------------------

class DialogWidget : public WindowWidget {
  public:
    explicit DialogWidget(CDialog* owner) : WindowWidget(owner) { setFocusPolicy(Qt::NoFocus); }
    ~DialogWidget() override {
        // The controls go after this widget's own part; none of their last signals reaches the dialog.
        for (QObject* child : findChildren<QObject*>()) QObject::disconnect(child, nullptr, this, nullptr);
    }
    CDialog* Dialog() const { return static_cast<CDialog*>(Owner()); }

  protected:
    void keyPressEvent(QKeyEvent* event) override {
        const int key = event->key();
        const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
        if (Dialog() == nullptr || !(enter || key == Qt::Key_Escape) ||
            (event->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier) {
            WindowWidget::keyPressEvent(event);
            return;
        }
        if (!isWindow() && InsideAnotherDialog()) {
            event->ignore();  // the dialog around this one answers Enter and Escape
            return;
        }
        // The focused button is pressed where it sits, so a panel's own button reaches the panel.
        auto* focused = qobject_cast<QPushButton*>(QApplication::focusWidget());
        if (enter && focused != nullptr && isAncestorOf(focused)) {
            focused->click();
            return;
        }
        const int id = enter ? Dialog()->defaultButtonId_ : IDCANCEL;
        Dialog()->SendMessage(WM_COMMAND, MAKEWPARAM(UINT(id), BN_CLICKED), 0);
    }

    // The window's close button cancels, as Escape does; the dialog decides whether it goes.
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        if (Dialog() != nullptr) Dialog()->SendMessage(WM_COMMAND, MAKEWPARAM(UINT(IDCANCEL), BN_CLICKED), 0);
    }

  private:
    bool InsideAnotherDialog() const {
        for (QWidget* up = parentWidget(); up != nullptr; up = up->parentWidget())
            if (dynamic_cast<DialogWidget*>(up) != nullptr) return true;
        return false;
    }
};

// ---- Data exchange ----------------------------------------------------------------------------------------

QWidget* CDataExchange::PrepareCtrl(int id) {
    CWnd* item = m_pDlgWnd ? m_pDlgWnd->GetDlgItem(id) : nullptr;
    if (item != nullptr) lastControl_ = item->m_hWnd;
    return item ? item->m_hWnd : nullptr;
}

void CDataExchange::Fail() {
    if (lastControl_ != nullptr) {
        lastControl_->setFocus(Qt::OtherFocusReason);
        if (auto* edit = qobject_cast<QLineEdit*>(lastControl_)) edit->selectAll();
    }
    throw CUserException();
}

void DDX_Control(CDataExchange* pDX, int id, CWnd& control) {
    if (control.m_hWnd != nullptr) return;  // attached on an earlier exchange
    if (QWidget* widget = pDX->PrepareCtrl(id)) control.SubclassWindow(widget);
}

void DDX_Text(CDataExchange* pDX, int id, CString& value) {
    QWidget* control = pDX->PrepareCtrl(id);
    if (control == nullptr) return;
    if (pDX->m_bSaveAndValidate)
        value = FromQString(WidgetText(control));
    else
        SetWidgetText(control, ToQString(value));
}

void DDX_Text(CDataExchange* pDX, int id, int& value) {
    QWidget* control = pDX->PrepareCtrl(id);
    if (control == nullptr) return;
    if (!pDX->m_bSaveAndValidate) {
        SetWidgetText(control, QString::number(value));
        return;
    }
    bool ok = false;
    const int read = WidgetText(control).trimmed().toInt(&ok);
    if (!ok) {
        MessageBoxW(pDX->m_pDlgWnd->m_hWnd, L"Please enter an integer.", nullptr, MB_OK | MB_ICONEXCLAMATION);
        pDX->Fail();
    }
    value = read;
}

void DDX_Check(CDataExchange* pDX, int id, int& value) {
    QWidget* control = pDX->PrepareCtrl(id);
    if (control == nullptr) return;
    if (pDX->m_bSaveAndValidate)
        value = WidgetCheck(control);
    else
        SetWidgetCheck(control, value);
}

void DDX_CBIndex(CDataExchange* pDX, int id, int& value) {
    auto* combo = qobject_cast<QComboBox*>(pDX->PrepareCtrl(id));
    if (combo == nullptr) return;
    if (pDX->m_bSaveAndValidate)
        value = combo->currentIndex();
    else
        combo->setCurrentIndex(value >= 0 && value < combo->count() ? value : -1);
}

// ---- The dialog -------------------------------------------------------------------------------------------

CDialog::CDialog() = default;

CDialog::CDialog(UINT templateId, CWnd* parent, HINSTANCE resources)
    : m_pParentWnd(parent), m_hResources(resources), m_nIDTemplate(templateId) {}

CDialog::~CDialog() = default;

BOOL CDialog::LoadTemplate(UINT templateId, DialogTemplate& out) const {
    if (m_hResources != nullptr) return LoadDialogTemplate(m_hResources, templateId, out);
    for (SIZE_T index = 0; HMODULE module = AfxGetResourceChainModule(index); ++index)
        if (LoadDialogTemplate(module, templateId, out)) return TRUE;
    return FALSE;
}

BOOL CDialog::Create(UINT templateId, CWnd* parent) {
    m_nIDTemplate = templateId;
    DialogTemplate dialogTemplate;
    return LoadTemplate(templateId, dialogTemplate) && CreateIndirect(dialogTemplate, parent);
}

CSize CDialog::BaseUnitsOf(const DialogTemplate& dialogTemplate) {
    CFont font;
    if ((dialogTemplate.style & DS_SETFONT) && !dialogTemplate.fontName.IsEmpty())
        font.CreatePointFont(dialogTemplate.pointSize * 10, dialogTemplate.fontName);
    return BaseUnits(font.GetQFont());
}

BOOL CDialog::CreateIndirect(const DialogTemplate& dialogTemplate, CWnd* parent) {
    if (m_hWnd != nullptr || (parent != nullptr && parent->m_hWnd == nullptr) || !AfxEnsureWindowSystem())
        return FALSE;
    if (parent != nullptr) m_pParentWnd = parent;
    font_.DeleteObject();
    if ((dialogTemplate.style & DS_SETFONT) && !dialogTemplate.fontName.IsEmpty())
        font_.CreatePointFont(dialogTemplate.pointSize * 10, dialogTemplate.fontName);
    baseUnits_ = BaseUnits(font_.GetQFont());
    ended_ = false;

    CRect frame = dialogTemplate.rect;
    MapDialogRect(&frame);
    auto* widget = new DialogWidget(this);
    widget->setFont(font_.GetQFont());
    const bool child = (dialogTemplate.style & WS_CHILD) != 0;
    if (!CreateFromWidget(widget, 0, frame, child ? parent : nullptr, 0)) return FALSE;
    if (!child) {
        // A top-level window owned by parent, placed from the owner's client origin.
        QWidget* owner = parent ? parent->m_hWnd : nullptr;
        widget->setParent(owner, Qt::Dialog);
        const QPoint origin = owner ? owner->mapToGlobal(QPoint(0, 0)) : QPoint(0, 0);
        widget->setGeometry(ToQRect(frame).translated(origin));
        if (!(dialogTemplate.style & WS_THICKFRAME)) widget->setFixedSize(widget->size());
    }
    widget->setWindowTitle(ToQString(StripCaptionSuffix(dialogTemplate.caption)));
    MakeControls(dialogTemplate);

    const BOOL focusFirst = OnInitDialog();
    if (m_hWnd != nullptr && (dialogTemplate.style & WS_VISIBLE)) {
        m_hWnd->show();
        if (focusFirst) FocusFirstControl();
    }
    focusOnShow_ = focusFirst != FALSE;
    return m_hWnd != nullptr;
}

void CDialog::MakeControls(const DialogTemplate& dialogTemplate) {
    defaultButtonId_ = IDOK;
    for (const DialogItemTemplate& item : dialogTemplate.items) {
        DialogItemTemplate shown = item;
        shown.text = StripCaptionSuffix(item.text);
        QWidget* control = MakeControl(shown, m_hWnd);
        CRect place = item.rect;
        MapDialogRect(&place);
        // A combo box's template height is that of its open list; closed it is one line high.
        if (qobject_cast<QComboBox*>(control)) place.bottom = place.top + control->sizeHint().height();
        control->setGeometry(ToQRect(place));
        SetWidgetControlId(control, item.id);
        control->setHidden(!(item.style & WS_VISIBLE));
        control->setEnabled(!(item.style & WS_DISABLED));
        if (IsClass(item.className, L"BUTTON") && (item.style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            defaultButtonId_ = item.id;
        RouteNotifications(control, item.id);
    }
}

// The controls' signals become the notifications the system sends to a dialog; each reaches the dialog
// only while it has its widget.
void CDialog::RouteNotifications(QWidget* control, int id) {
    auto* dialog = static_cast<DialogWidget*>(m_hWnd);
    const auto send = [dialog, control, id](UINT code) {
        if (CDialog* owner = dialog->Dialog())
            owner->SendMessage(WM_COMMAND, MAKEWPARAM(UINT(id), code), reinterpret_cast<LPARAM>(control));
    };
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        QObject::connect(button, &QAbstractButton::clicked, dialog, [send] { send(BN_CLICKED); });
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        // The user's choice only: the system sends no notification when the program selects.
        QObject::connect(combo, &QComboBox::activated, dialog, [send] { send(CBN_SELCHANGE); });
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        // Every change, the program's included, as the system does (data exchange is locked out).
        QObject::connect(edit, &QLineEdit::textChanged, dialog, [send] { send(EN_CHANGE); });
    }
}

void CDialog::InitModalIndirect(const DialogTemplate& dialogTemplate) {
    modalTemplate_ = std::make_unique<DialogTemplate>(dialogTemplate);
}

INT_PTR CDialog::DoModal() {
    DialogTemplate dialogTemplate;
    if (modalTemplate_ != nullptr)
        dialogTemplate = *modalTemplate_;
    else if (!LoadTemplate(m_nIDTemplate, dialogTemplate))
        return -1;
    dialogTemplate.style = (dialogTemplate.style & ~(WS_CHILD | WS_VISIBLE)) | WS_POPUP;
    modalResult_ = -1;
    // Without a parent the active window owns the dialog, as the class library picks the main window.
    CWnd* const parent = m_pParentWnd;
    QWidget* active = parent ? nullptr : QApplication::activeWindow();
    const BOOL created = CreateIndirect(dialogTemplate, parent ? parent : CWnd::FromHandle(active));
    m_pParentWnd = parent;
    if (!created) return -1;
    if (m_hWnd != nullptr && !ended_) {
        m_hWnd->setWindowModality(Qt::ApplicationModal);
        m_hWnd->show();
        m_hWnd->activateWindow();
        if (focusOnShow_) FocusFirstControl();
        QEventLoop loop;
        modalLoop_ = &loop;
        loop.exec(QEventLoop::DialogExec);
        modalLoop_ = nullptr;
    }
    if (m_hWnd != nullptr) DestroyWindow();
    return modalResult_;
}

void CDialog::EndDialog(int result) {
    modalResult_ = result;
    ended_ = true;
    if (modalLoop_ != nullptr) modalLoop_->exit();
    if (m_hWnd != nullptr) m_hWnd->hide();
}

BOOL CDialog::DestroyWindow() {
    if (m_hWnd == nullptr) return FALSE;
    if (modalLoop_ != nullptr) modalLoop_->exit();
    auto* widget = dynamic_cast<DialogWidget*>(m_hWnd);
    if (dispatching_ == 0 || widget == nullptr) return CWnd::DestroyWindow();
    // A handler runs inside a signal of one of the controls, which must outlive its signal.
    widget->hide();
    OnDestroy();
    widget->Disown();
    Detach();
    widget->deleteLater();
    return TRUE;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
    if (m_hWnd == nullptr) return FALSE;
    CDataExchange exchange(this, saveAndValidate);
    const bool outer = !inUpdateData_;
    inUpdateData_ = true;
    try {
        DoDataExchange(&exchange);
    } catch (const CUserException&) {
        if (outer) inUpdateData_ = false;
        return FALSE;
    } catch (...) {
        if (outer) inUpdateData_ = false;
        throw;
    }
    if (outer) inUpdateData_ = false;
    return TRUE;
}

void CDialog::MapDialogRect(LPRECT rect) const {
    rect->left = MulDiv(rect->left, baseUnits_.cx, 4);
    rect->right = MulDiv(rect->right, baseUnits_.cx, 4);
    rect->top = MulDiv(rect->top, baseUnits_.cy, 8);
    rect->bottom = MulDiv(rect->bottom, baseUnits_.cy, 8);
}

void CDialog::FocusFirstControl() {
    if (m_hWnd == nullptr) return;
    for (QObject* object : m_hWnd->children()) {  // in creation order, which is the template's
        auto* control = qobject_cast<QWidget*>(object);
        if (control && (control->focusPolicy() & Qt::TabFocus) && control->isEnabled() && !control->isHidden()) {
            control->setFocus(Qt::TabFocusReason);
            return;
        }
    }
}

void CDialog::GotoDlgCtrl(CWnd* control) {
    if (control == nullptr || control->m_hWnd == nullptr) return;
    control->m_hWnd->setFocus(Qt::TabFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(control->m_hWnd)) edit->selectAll();
}

void CDialog::CenterWindow(CWnd* alternateOwner) {
    QWidget* widget = m_hWnd;
    if (widget == nullptr) return;
    QRect area;
    QWidget* owner = alternateOwner && alternateOwner->m_hWnd ? alternateOwner->m_hWnd : widget->parentWidget();
    if (!widget->isWindow())
        area = QRect(QPoint(0, 0), widget->parentWidget()->size());
    else if (owner != nullptr)
        area = QRect(owner->mapToGlobal(QPoint(0, 0)), owner->size());
    else if (const QScreen* screen = widget->screen())
        area = screen->availableGeometry();
    const QPoint centre = area.topLeft() + QPoint(area.width() / 2, area.height() / 2);
    widget->move(centre - QPoint(widget->width() / 2, widget->height() / 2));
}

int CDialog::GetDlgItemTextW(int id, CString& text) const {
    const CWnd* item = GetDlgItem(id);
    text = item ? FromQString(WidgetText(item->m_hWnd)) : CString();
    return text.GetLength();
}

void CDialog::SetDlgItemTextW(int id, LPCWSTR text) {
    if (CWnd* item = GetDlgItem(id)) item->SetWindowTextW(text);
}

void CDialog::CheckDlgButton(int id, UINT check) {
    if (CWnd* item = GetDlgItem(id)) SetWidgetCheck(item->m_hWnd, int(check));
}

UINT CDialog::IsDlgButtonChecked(int id) const {
    const CWnd* item = GetDlgItem(id);
    return item ? UINT(WidgetCheck(item->m_hWnd)) : 0;
}

BOOL CDialog::OnCommand(WPARAM wParam, LPARAM) {
    if (inUpdateData_) return TRUE;  // a control changed by the exchange itself notifies no handler
    const AFX_MSGMAP_ENTRY* entry = AfxFindMessageEntry(GetMessageMap(), WM_COMMAND, HIWORD(wParam), LOWORD(wParam));
    if (entry == nullptr) return FALSE;
    const Counting running(dispatching_);
    entry->command(this);
    return TRUE;
}

BOOL CDialog::OnNotify(WPARAM, LPARAM lParam, LRESULT* result) {
    auto* header = reinterpret_cast<NMHDR*>(lParam);
    if (header == nullptr) return FALSE;
    const AFX_MSGMAP_ENTRY* entry = AfxFindMessageEntry(GetMessageMap(), WM_NOTIFY, header->code, UINT(header->idFrom));
    if (entry == nullptr) return FALSE;
    const Counting running(dispatching_);
    LRESULT ignored = 0;
    entry->notify(this, header, result ? result : &ignored);
    return TRUE;
}

const AFX_MSGMAP* CDialog::GetMessageMap() const { return GetThisMessageMap(); }

const AFX_MSGMAP* CDialog::GetThisMessageMap() {
    using ThisClass = CDialog;
    static const AFX_MSGMAP_ENTRY entries[] = {
        ON_COMMAND(IDOK, &CDialog::OnOK)
        ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
        {0, 0, 0, nullptr, nullptr}};
    static const AFX_MSGMAP map = {nullptr, entries};
    return &map;
}
