#include "platform/window/Controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "platform/window/QtConversions.h"
#include "platform/window/WindowWidgets.h"

int WidgetCheck(const QWidget* widget) {
    const auto* button = qobject_cast<const QAbstractButton*>(widget);
    if (button == nullptr) return BST_UNCHECKED;
    if (const auto* box = qobject_cast<const QCheckBox*>(widget); box && box->checkState() == Qt::PartiallyChecked)
        return BST_INDETERMINATE;
    return button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

void SetWidgetCheck(QWidget* widget, int check) {
    if (auto* box = qobject_cast<QCheckBox*>(widget)) {
        if (check == int(BST_INDETERMINATE)) box->setTristate(true);
        box->setCheckState(check == int(BST_INDETERMINATE) ? Qt::PartiallyChecked
                           : check != 0                     ? Qt::Checked
                                                            : Qt::Unchecked);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setChecked(check != 0);
    }
}

// ---- CButton ----------------------------------------------------------------------------------------------

int CButton::GetCheck() const { return m_hWnd ? WidgetCheck(m_hWnd) : int(BST_UNCHECKED); }

void CButton::SetCheck(int check) {
    if (m_hWnd != nullptr) SetWidgetCheck(m_hWnd, check);
}

// ---- CEdit ------------------------------------------------------------------------------------------------

void CEdit::SetSel(int start, int end, BOOL) {
    auto* edit = qobject_cast<QLineEdit*>(m_hWnd);
    if (edit == nullptr) return;
    if (start < 0) {
        edit->deselect();
        return;
    }
    const int length = int(edit->text().size());
    const int last = end < 0 || end > length ? length : end;
    edit->setSelection(std::min(start, length), last - std::min(start, length));
}

void CEdit::GetSel(int& start, int& end) const {
    const auto* edit = qobject_cast<const QLineEdit*>(m_hWnd);
    start = end = 0;
    if (edit == nullptr) return;
    if (!edit->hasSelectedText()) {
        start = end = edit->cursorPosition();
        return;
    }
    start = edit->selectionStart();
    end = edit->selectionEnd();
}

void CEdit::LimitText(int maxChars) {
    // The system's limit without one is far beyond any name; Qt's own is 32767.
    if (auto* edit = qobject_cast<QLineEdit*>(m_hWnd)) edit->setMaxLength(maxChars > 0 ? maxChars : 32767);
}

// ---- CComboBox --------------------------------------------------------------------------------------------

namespace {
QComboBox* Combo(HWND widget) { return qobject_cast<QComboBox*>(widget); }
}  // namespace

int CComboBox::AddString(LPCWSTR text) {
    QComboBox* combo = Combo(m_hWnd);
    if (combo == nullptr) return CB_ERR;
    combo->addItem(ToQString(CString(text)));
    return combo->count() - 1;
}

int CComboBox::InsertString(int index, LPCWSTR text) {
    QComboBox* combo = Combo(m_hWnd);
    if (combo == nullptr || index > combo->count()) return CB_ERR;
    const int at = index < 0 ? combo->count() : index;
    combo->insertItem(at, ToQString(CString(text)));
    return at;
}

int CComboBox::DeleteString(UINT index) {
    QComboBox* combo = Combo(m_hWnd);
    if (combo == nullptr || index >= UINT(combo->count())) return CB_ERR;
    combo->removeItem(int(index));
    return combo->count();
}

void CComboBox::ResetContent() {
    if (QComboBox* combo = Combo(m_hWnd)) combo->clear();
}

int CComboBox::GetCount() const {
    const QComboBox* combo = Combo(m_hWnd);
    return combo ? combo->count() : 0;
}

int CComboBox::GetCurSel() const {
    const QComboBox* combo = Combo(m_hWnd);
    return combo ? combo->currentIndex() : CB_ERR;
}

int CComboBox::SetCurSel(int index) {
    QComboBox* combo = Combo(m_hWnd);
    if (combo == nullptr) return CB_ERR;
    const bool valid = index >= 0 && index < combo->count();
    combo->setCurrentIndex(valid ? index : -1);
    return valid ? index : CB_ERR;
}

void CComboBox::GetLBText(int index, CString& text) const {
    const QComboBox* combo = Combo(m_hWnd);
    text = combo && index >= 0 && index < combo->count() ? FromQString(combo->itemText(index)) : CString();
}

int CComboBox::GetLBTextLen(int index) const {
    const QComboBox* combo = Combo(m_hWnd);
    return combo && index >= 0 && index < combo->count() ? int(combo->itemText(index).size()) : CB_ERR;
}

int CComboBox::SetItemData(int index, DWORD_PTR data) {
    QComboBox* combo = Combo(m_hWnd);
    if (combo == nullptr || index < 0 || index >= combo->count()) return CB_ERR;
    combo->setItemData(index, QVariant::fromValue<qulonglong>(data), Qt::UserRole);
    return 0;
}

DWORD_PTR CComboBox::GetItemData(int index) const {
    const QComboBox* combo = Combo(m_hWnd);
    if (combo == nullptr || index < 0 || index >= combo->count()) return DWORD_PTR(CB_ERR);
    return DWORD_PTR(combo->itemData(index, Qt::UserRole).toULongLong());
}

int CComboBox::FindFrom(int start, LPCWSTR text, bool whole) const {
    const QComboBox* combo = Combo(m_hWnd);
    if (combo == nullptr || text == nullptr) return CB_ERR;
    const QString wanted = ToQString(CString(text));
    const int count = combo->count();
    const int first = start < 0 || start >= count ? 0 : start + 1;
    for (int step = 0; step < count; ++step) {
        const int index = (first + step) % count;
        const QString item = combo->itemText(index);
        if (whole ? item.compare(wanted, Qt::CaseInsensitive) == 0 : item.startsWith(wanted, Qt::CaseInsensitive))
            return index;
    }
    return CB_ERR;
}

int CComboBox::FindStringExact(int start, LPCWSTR text) const { return FindFrom(start, text, true); }

int CComboBox::SelectString(int start, LPCWSTR text) {
    const int found = FindFrom(start, text, false);
    if (found != CB_ERR) SetCurSel(found);
    return found;
}
