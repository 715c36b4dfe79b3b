// Dialogs of the window layer: `CDialog` builds its window and controls from a dialog template, in
// dialog units turned into pixels by the dialog font, runs modally or lives as a modeless window, routes
// its controls' notifications through its message map, and moves values between its members and its
// controls by data exchange.
//
// Which module's template: a dialog keeps the module handle it is given; with none it looks the template
// up along the resource chain, most recently attached module first, as the class library finds a dialog's
// resources.
//
// Keys: Enter presses the focused push button (one of a dialog inside this one too), else sends the
// default push button's command (the template's BS_DEFPUSHBUTTON, else IDOK), and Escape sends IDCANCEL;
// a dialog inside another dialog (a child window) leaves both keys to the dialog around it.
#pragma once

#include <memory>

#include "platform/DialogTemplate.h"
#include "platform/Exceptions.h"
#include "platform/MessageBox.h"
#include "platform/window/DeviceContext.h"
#include "platform/window/MessageMap.h"
#include "platform/window/Window.h"

class CDialog;
class QEventLoop;

// Thrown by CDataExchange::Fail when a value does not validate; UpdateData catches it.
class KIV_RUNTIME_API CUserException : public CException {
  public:
    const char* what() const noexcept override { return "the user has been told what was wrong"; }
};

// One data exchange between a dialog's members and its controls.
class KIV_RUNTIME_API CDataExchange {
  public:
    CDataExchange(CDialog* dialog, BOOL saveAndValidate) : m_bSaveAndValidate(saveAndValidate), m_pDlgWnd(dialog) {}
    BOOL m_bSaveAndValidate;  // TRUE: controls to members; FALSE: members to controls
    CDialog* m_pDlgWnd;

    // The dialog's control with that ID, remembered as the one to focus when the exchange fails; null when
    // the dialog has none (the exchange of that member is then skipped).
    QWidget* PrepareCtrl(int id);
    // Ends the exchange as failed, with the focus on the last prepared control.
    [[noreturn]] void Fail();

  private:
    QWidget* lastControl_ = nullptr;
};

// Attaches control to the dialog's control id on the first exchange; control keeps its own class.
KIV_RUNTIME_API void DDX_Control(CDataExchange* pDX, int id, CWnd& control);
KIV_RUNTIME_API void DDX_Text(CDataExchange* pDX, int id, CString& value);
// A decimal integer; text that is not one is reported in a message box and fails the exchange.
KIV_RUNTIME_API void DDX_Text(CDataExchange* pDX, int id, int& value);
// A check box's state: 0 unchecked, 1 checked, 2 indeterminate.
KIV_RUNTIME_API void DDX_Check(CDataExchange* pDX, int id, int& value);
// A combo box's selected index, -1 for none.
KIV_RUNTIME_API void DDX_CBIndex(CDataExchange* pDX, int id, int& value);

class KIV_RUNTIME_API CDialog : public CWnd {
  public:
    CDialog();
    explicit CDialog(UINT templateId, CWnd* parent = nullptr, HINSTANCE resources = nullptr);
    ~CDialog() override;

    using CWnd::Create;
    // A modeless dialog from the template: a child window of parent when the template says WS_CHILD,
    // else a top-level window owned by parent; visible when the template says WS_VISIBLE.
    virtual BOOL Create(UINT templateId, CWnd* parent = nullptr);
    BOOL CreateIndirect(const DialogTemplate& dialogTemplate, CWnd* parent = nullptr);
    // DoModal builds the dialog from this template instead of loading one.
    void InitModalIndirect(const DialogTemplate& dialogTemplate);
    // Shows the dialog modally and returns what EndDialog was given (IDOK from OnOK, IDCANCEL from
    // OnCancel), or -1 when the dialog could not be made. Without a parent the active window owns it.
    virtual INT_PTR DoModal();
    // Ends a modal run with result; a modeless dialog is hidden. Safe inside the dialog's handlers.
    void EndDialog(int result);
    // Also safe inside the dialog's handlers: the widgets then go once the handler has returned.
    BOOL DestroyWindow() override;

    // After the controls exist and before the dialog shows: shows the members (UpdateData(FALSE)).
    // TRUE puts the focus on the first control that takes it.
    virtual BOOL OnInitDialog();
    // Takes the members from the controls and ends with IDOK; stays when a value does not validate.
    virtual void OnOK();
    virtual void OnCancel();
    // TRUE: controls to members (with validation); FALSE: members to controls. FALSE when a value failed.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    // Dialog units to pixels through the dialog font's base units.
    void MapDialogRect(LPRECT rect) const;
    // Horizontal and vertical base units of the dialog font (4 and 8 dialog units).
    CSize GetDialogBaseUnits() const { return baseUnits_; }
    // The dialog units of the font of a template (the application's font when it names none).
    static CSize BaseUnitsOf(const DialogTemplate& dialogTemplate);

    void GotoDlgCtrl(CWnd* control);
    // Centres a top-level dialog on its owner (or on alternateOwner), else on the screen.
    void CenterWindow(CWnd* alternateOwner = nullptr);
    int GetDlgItemTextW(int id, CString& text) const;
    void SetDlgItemTextW(int id, LPCWSTR text);
    void CheckDlgButton(int id, UINT check);
    UINT IsDlgButtonChecked(int id) const;

    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    CWnd* m_pParentWnd = nullptr;
    HINSTANCE m_hResources = nullptr;  // null: along the resource chain
    UINT m_nIDTemplate = 0;

  protected:
    virtual void DoDataExchange(CDataExchange* /*pDX*/) {}
    // Template id of m_hResources (or of the resource chain).
    BOOL LoadTemplate(UINT templateId, DialogTemplate& out) const;

    static const AFX_MSGMAP* GetThisMessageMap();
    virtual const AFX_MSGMAP* GetMessageMap() const;

  private:
    friend class DialogWidget;
    void MakeControls(const DialogTemplate& dialogTemplate);
    void RouteNotifications(QWidget* control, int id);
    void FocusFirstControl();

    CFont font_;
    CSize baseUnits_{1, 1};
    int defaultButtonId_ = IDOK;
    std::unique_ptr<DialogTemplate> modalTemplate_;
    QEventLoop* modalLoop_ = nullptr;
    int modalResult_ = -1;
    bool ended_ = false;
    bool focusOnShow_ = false;  // OnInitDialog left the focus to the dialog
    bool inUpdateData_ = false;  // control notifications are not dispatched while data is exchanged
    int dispatching_ = 0;        // handlers running now
};
