// The standard controls of a dialog as the class library wraps them: a CWnd attached (usually by
// DDX_Control) to the widget the dialog made from its template. Each call does nothing, or answers as for
// an empty control, while the CWnd has no widget of that kind.
#pragma once

#include "platform/CString.h"
#include "platform/WinTypes.h"
#include "platform/window/Window.h"

constexpr int CB_ERR = -1;
constexpr UINT BST_UNCHECKED = 0;
constexpr UINT BST_CHECKED = 1;
constexpr UINT BST_INDETERMINATE = 2;

// Push buttons and check boxes.
class KIV_RUNTIME_API CButton : public CWnd {
  public:
    int GetCheck() const;
    void SetCheck(int check);
};

// Labels and frames.
class KIV_RUNTIME_API CStatic : public CWnd {};

// A single-line edit.
class KIV_RUNTIME_API CEdit : public CWnd {
  public:
    // Selects characters start to end (exclusive); (0, -1) selects all, (-1, ...) removes the selection.
    void SetSel(int start, int end, BOOL noScroll = FALSE);
    void GetSel(int& start, int& end) const;
    // At most maxChars characters; 0 lifts the limit.
    void LimitText(int maxChars = 0);
};

// A combo box's list: indices from 0; texts compared without regard to case where the system does so.
class KIV_RUNTIME_API CComboBox : public CWnd {
  public:
    int AddString(LPCWSTR text);
    // At index (-1: at the end); returns the index, CB_ERR for one past the end.
    int InsertString(int index, LPCWSTR text);
    // Returns the count left, CB_ERR for a bad index.
    int DeleteString(UINT index);
    void ResetContent();
    int GetCount() const;
    int GetCurSel() const;
    // -1 clears the selection; returns CB_ERR for a bad index.
    int SetCurSel(int index);
    void GetLBText(int index, CString& text) const;
    int GetLBTextLen(int index) const;
    int SetItemData(int index, DWORD_PTR data);
    DWORD_PTR GetItemData(int index) const;
    // The first item after start (-1: from the beginning), wrapping round, whose text is text without
    // regard to case; CB_ERR for none.
    int FindStringExact(int start, LPCWSTR text) const;
    // Like FindStringExact for an item whose text begins with text, and selects it.
    int SelectString(int start, LPCWSTR text);

  private:
    int FindFrom(int start, LPCWSTR text, bool whole) const;
};
