#include "libraries/window/KivGuiDialogs.h"

BOOL CKivAquaBaseDlg::DlgCreate(HINSTANCE resources, CWnd* parent, UINT templateId) {
    m_hResources = resources;
    m_nIDTemplate = templateId;
    DialogTemplate dialogTemplate;
    if (!LoadTemplate(templateId, dialogTemplate)) return FALSE;
    dialogTemplate.style = (dialogTemplate.style & ~(WS_POPUP | WS_VISIBLE)) | WS_CHILD;
    return CreateIndirect(dialogTemplate, parent);
}

INT_PTR CKivAquaBaseDlg::DlgDoModal(HINSTANCE resources) {
    m_hResources = resources;
    return CDialog::DoModal();  // not the virtual one: a derived DoModal runs the dialog through here
}
