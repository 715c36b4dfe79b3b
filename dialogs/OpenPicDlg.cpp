#include "dialogs/OpenPicDlg.h"

#include <array>

#include "KivPicture.h"
#include "KivPictureUi.h"
#include "libraries/KivModuleRC.h"
#include "libraries/KivPublic.h"
#include "libraries/window/KivModuleRCWindow.h"
#include "picture/window/UiModule.h"
#include "platform/GlobalMemory.h"
#include "platform/RuntimeLibrary.h"

using kivrt::_MAX_EXT;
using kivrt::_wsplitpath;

namespace {

constexpr UINT kDialogTemplate = 224;
constexpr UINT kOpenTitle = 400;
constexpr UINT kSaveTitle = 401;
constexpr UINT kFileMissingMessage = 504;
constexpr UINT kOverwriteQuestion = 505;
constexpr UINT kInvalidFormatMessage = 671;
constexpr UINT kOverwriteStyle = MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2;  // No is the default

constexpr int kUseSimpleDlg = 4005;
constexpr int kOrgPicPos = 4006;
constexpr int kPanelPlace = 4009;
constexpr int kPanelName = 4002;

// The extension a saved name is completed with, per panel type; null for a type the module does not write.
LPCWSTR SaveExtension(int type) {
    switch (type) {
        case CKivPicFilePanelDlg::kTga: return L".TGA";
        case CKivPicFilePanelDlg::kBmp: return L".BMP";
        case CKivPicFilePanelDlg::kPcx: return L".PCX";
        case CKivPicFilePanelDlg::kJpg: return L".JPG";
        default: return nullptr;
    }
}

// A name already ending in a written extension, in any letter case, is kept as typed.
bool HasSaveExtension(const CString& name) {
    wchar_t extension[_MAX_EXT] = {};
    _wsplitpath(name, nullptr, nullptr, nullptr, extension);
    for (int type : {CKivPicFilePanelDlg::kTga, CKivPicFilePanelDlg::kBmp, CKivPicFilePanelDlg::kPcx,
                     CKivPicFilePanelDlg::kJpg})
        if (CString(extension).CompareNoCase(SaveExtension(type)) == 0) return true;
    return false;
}

}  // namespace

BEGIN_MESSAGE_MAP(CKivOpenPicDlg, CKivAquaBaseDlg)
    ON_BN_CLICKED(kOrgPicPos, &CKivOpenPicDlg::OnClickOrgPicPos)
    ON_BN_CLICKED(kUseSimpleDlg, &CKivOpenPicDlg::OnClickUseSimpleDlg)
END_MESSAGE_MAP()

CKivOpenPicDlg::CKivOpenPicDlg(int bOpen, int nFileType, CString strPath, CWnd* pParent)
    : CKivAquaBaseDlg(kDialogTemplate, pParent), m_nFileType(nFileType), m_bOpen(bOpen), m_strFile(strPath) {
    const HINSTANCE module = GetKivPictureUiModuleHandle();
    CKivModuleRC::LoadStringW(module, kOpenTitle, m_strOpenTitle);
    CKivModuleRC::LoadStringW(module, kSaveTitle, m_strSaveTitle);
}

CKivOpenPicDlg::~CKivOpenPicDlg() = default;

INT_PTR CKivOpenPicDlg::DoModal() {
    m_bOrgPicPos = GP_GetOrgPicPos();
    const INT_PTR result = DlgDoModal(GetKivPictureUiModuleHandle());
    GP_SetOrgPicPos(m_bOrgPicPos);
    return result;
}

void CKivOpenPicDlg::DoDataExchange(CDataExchange* pDX) {
    CKivAquaBaseDlg::DoDataExchange(pDX);
    DDX_Check(pDX, kOrgPicPos, m_bOrgPicPos);
    DDX_Check(pDX, kUseSimpleDlg, m_bUseSimpleDlg);
}

BOOL CKivOpenPicDlg::OnInitDialog() {
    m_autoMaker.Attach(this);
    CKivAquaBaseDlg::OnInitDialog();
    SetWindowTextW(m_bOpen ? m_strOpenTitle : m_strSaveTitle);
    m_panel.Create(m_bOpen, m_nFileType, m_strFile, this);
    if (CWnd* place = GetDlgItem(kPanelPlace)) {
        CRect rect;
        place->GetWindowRect(&rect);
        ScreenToClient(&rect);
        m_panel.MoveWindow(&rect, TRUE);
    }
    m_panel.ShowWindow(SW_SHOW);
    if (!KivPictureGetOrgPicPosEnabled())
        if (CWnd* box = GetDlgItem(kOrgPicPos)) box->ShowWindow(SW_HIDE);
    CenterWindow();
    return TRUE;
}

void CKivOpenPicDlg::OnOK() {
    UpdateData(TRUE);
    const CString path = m_bOpen ? OpenChoice() : SaveChoice();
    if (path.IsEmpty()) return;
    m_strFile = path;
    UpdateData(FALSE);
    EndDialog(IDOK);
}

// The panel's file when it exists and loads as a picture with a size; otherwise the user is told why.
CString CKivOpenPicDlg::OpenChoice() {
    const CString path = m_panel.GetFileFullPath();
    const HINSTANCE module = GetKivPictureUiModuleHandle();
    if (!KivPublicDoesFileExist(path)) {
        CKivModuleRC::MessageBoxW(module, kFileMissingMessage, MB_OK);
        return CString();
    }
    CRect rect;
    const GlobalBlock<DWORD> picture(KivPictureLoadPicFile(path, rect));
    if (picture && rect.Width() > 0 && rect.Height() > 0) return path;
    CKivModuleRC::MessageBoxW(module, kInvalidFormatMessage, MB_OK);
    return CString();
}

// The panel's folder and typed name, completed with the selected type's extension unless it already ends
// in a written one; an existing file only when the user agrees to replace it.
CString CKivOpenPicDlg::SaveChoice() {
    const int type = m_panel.SelectedFileType();
    if (type < 0) return CString();
    CString name;
    m_panel.GetDlgItemTextW(kPanelName, name);
    if (name.IsEmpty()) return CString();
    if (!HasSaveExtension(name)) {
        const LPCWSTR extension = SaveExtension(type);
        if (extension == nullptr) return CString();
        name = name + extension;
    }
    const CString path = m_panel.m_strFilePath + name;
    if (KivPublicDoesFileExist(path) &&
        CKivModuleRC::MessageBoxW(GetKivPictureUiModuleHandle(), kOverwriteQuestion, kOverwriteStyle) != IDYES)
        return CString();
    return path;
}

void CKivOpenPicDlg::OnCancel() { EndDialog(IDCANCEL); }

void CKivOpenPicDlg::OnClickOrgPicPos() { UpdateData(TRUE); }

// Takes effect with the next selection; KivPictureClose persists it.
void CKivOpenPicDlg::OnClickUseSimpleDlg() {
    UpdateData(TRUE);
    KivPictureSetOpenDialogChoice(m_bUseSimpleDlg ? 1 : 0);
}
