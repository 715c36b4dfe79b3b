// The simple picture dialog: the window system's file dialog with the module's preview panel (template
// 225) below it: the picture, its path, file size and picture size, a check box that makes the next
// selection use the detailed dialog, and the shared "Read Original Position Picture" choice.
#pragma once

#include "libraries/window/KivGuiSkin.h"
#include "libraries/window/ZoZEDov.h"

class CKivSimplePicDlg : public CKvFileDialog {
  public:
    // Everything but bMulti goes to the file dialog; bMulti allows several files at once.
    CKivSimplePicDlg(int bOpen, int bMulti, LPCWSTR defaultExtension, LPCWSTR fileName, DWORD flags,
                     LPCWSTR filter, CWnd* pParent);

    // Runs with the module's panel and the must-exist flags; the original-position choice is copied into
    // the dialog before and back after, whatever the result.
    INT_PTR DoModal() override;

    CKivAquaAutoMaker m_autoMaker;
    CString m_strFilePath;   // control 1010
    CString m_strFileSize;   // control 1000
    CString m_strImageSize;  // control 1001
    CKvStatic m_stFilePath, m_stFileSize, m_stImageSize;
    int m_bOrgPicPos = 0;       // check box 4006
    int m_bUseDetailedDlg = 0;  // check box 4005
    int m_bMultiSelect;

  protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    // Open mode: a name that does not exist (504) or does not load as a picture (671) keeps the dialog open.
    BOOL OnFileNameOK() override;
    void OnLBSelChangedNotify(UINT box, UINT current, UINT code) override;
    void OnInitDone() override;
    void OnFileNameChange() override;
    void OnFolderChange() override;
    void OnTypeChange() override;
    UINT OnShareViolation(LPCWSTR path) override;
    void OnClickOrgPicPos();
    void OnClickUseDetailedDlg();

    // Draws the current file into the preview frame and, with texts, refreshes and shows the three lines.
    void UpdatePreview(BOOL texts);

    DECLARE_MESSAGE_MAP()
};
