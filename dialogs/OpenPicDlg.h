// The detailed picture dialog (template 224): the picture file panel with OK, Cancel and two check boxes,
// one that makes the next selection use the simple dialog and the shared "Read Original Position Picture"
// choice. It opens (the file must exist and load as a picture) or saves (the name is completed with the
// selected type's extension and an existing file must be confirmed); after IDOK m_strFile is the full path.
#pragma once

#include "dialogs/PicFilePanelDlg.h"
#include "libraries/window/KivGuiDialogs.h"
#include "libraries/window/KivGuiSkin.h"

class CKivOpenPicDlg : public CKivAquaBaseDlg {
  public:
    // bOpen nonzero: open, else save; nFileType as the panel takes it; strPath the start file or folder.
    CKivOpenPicDlg(int bOpen, int nFileType, CString strPath, CWnd* pParent);
    ~CKivOpenPicDlg() override;

    // Runs modally; the original-position choice is copied in before and out after, whatever the result.
    INT_PTR DoModal() override;

    int m_bUseSimpleDlg = 0;  // check box 4005
    int m_bOrgPicPos = 0;     // check box 4006
    int m_nFileType;
    int m_bOpen;
    CString m_strFile;  // the start path; the chosen full path after IDOK
    CString m_strOpenTitle;
    CString m_strSaveTitle;
    CKivAquaAutoMaker m_autoMaker;
    CKivPicFilePanelDlg m_panel;

    void OnClickOrgPicPos();
    void OnClickUseSimpleDlg();

  protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

  private:
    // The checked path to hand back, or empty when the dialog stays open (a message may have been shown).
    CString OpenChoice();
    CString SaveChoice();

    DECLARE_MESSAGE_MAP()
};
