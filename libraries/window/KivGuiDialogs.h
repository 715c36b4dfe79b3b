// The GUI library's dialog base and combo box: the base of the module's dialogs, created from a module's
// template as a hidden child or run modally, and the combo box its dialogs bind by data exchange.
#pragma once

#include "libraries/window/ZoZEDov.h"

class KIV_RUNTIME_API CKivAquaBaseDlg : public CKvDialog {
  public:
    explicit CKivAquaBaseDlg(UINT templateId, CWnd* parent = nullptr) : CKvDialog(templateId, parent) {}

    // Creates the dialog from template templateId of resources as a hidden child window of parent,
    // whatever the template's own style; the host places and shows it. Nonzero on success.
    BOOL DlgCreate(HINSTANCE resources, CWnd* parent, UINT templateId);
    // Runs the dialog's template of resources modally, whatever DoModal a derived class gives itself; the
    // modal result (IDOK, IDCANCEL), -1 when the dialog could not be made.
    INT_PTR DlgDoModal(HINSTANCE resources);
};

class KIV_RUNTIME_API CKivAquaComboBox : public CComboBox {};
