#include "dialogs/SimplePicDlg.h"

#include <cwchar>

#include "KivPictureUi.h"
#include "libraries/window/KivModuleRCWindow.h"
#include "picture/window/UiModule.h"
#include "platform/File.h"

namespace {

// Template 225 and its controls.
constexpr UINT kPanelTemplate = 225;
constexpr int kPreview = 4003;
constexpr int kFilePath = 1010;
constexpr int kFileSize = 1000;
constexpr int kImageSize = 1001;
constexpr int kUseDetailedDlg = 4005;
constexpr int kOrgPicPos = 4006;

constexpr UINT kFileMissingMessage = 504;
constexpr UINT kInvalidFormatMessage = 671;
constexpr UINT kUnknownSizeText = 672;

// Added to the caller's flags: the panel, and names that must exist.
constexpr DWORD kPanelFlags = OFN_ENABLETEMPLATE | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;

CString Printed(const wchar_t* format, long long a, long long b = 0, long long c = 0) {
    wchar_t text[96];
    std::swprintf(text, std::size(text), format, a, b, c);
    return CString(text);
}

// The open check: the file exists and loads as a picture with a size. Every buffer is released.
UINT RefusalOf(const CString& path) {
    if (!KivPublicDoesFileExist(path)) return kFileMissingMessage;
    CRect rect;
    const GlobalBlock<DWORD> picture(KivPictureLoadPicFile(path, rect));
    return picture && !rect.IsRectEmpty() ? 0 : kInvalidFormatMessage;
}

}  // namespace

BEGIN_MESSAGE_MAP(CKivSimplePicDlg, CKvFileDialog)
    ON_BN_CLICKED(kOrgPicPos, &CKivSimplePicDlg::OnClickOrgPicPos)
    ON_BN_CLICKED(kUseDetailedDlg, &CKivSimplePicDlg::OnClickUseDetailedDlg)
END_MESSAGE_MAP()

CKivSimplePicDlg::CKivSimplePicDlg(int bOpen, int bMulti, LPCWSTR defaultExtension, LPCWSTR fileName, DWORD flags,
                                   LPCWSTR filter, CWnd* pParent)
    : CKvFileDialog(bOpen, defaultExtension, fileName, flags, filter, pParent), m_bMultiSelect(bMulti) {}

INT_PTR CKivSimplePicDlg::DoModal() {
    m_bOrgPicPos = GP_GetOrgPicPos();
    m_ofn.hInstance = GetKivPictureUiModuleHandle();
    m_ofn.lpTemplateName = MAKEINTRESOURCEW(kPanelTemplate);
    m_ofn.Flags |= kPanelFlags | (m_bMultiSelect ? OFN_ALLOWMULTISELECT : 0);
    const INT_PTR result = CKvFileDialog::DoModal();
    GP_SetOrgPicPos(m_bOrgPicPos);
    return result;
}

void CKivSimplePicDlg::DoDataExchange(CDataExchange* pDX) {
    CKvFileDialog::DoDataExchange(pDX);
    DDX_Control(pDX, kFilePath, m_stFilePath);
    DDX_Control(pDX, kFileSize, m_stFileSize);
    DDX_Control(pDX, kImageSize, m_stImageSize);
    DDX_Text(pDX, kFilePath, m_strFilePath);
    DDX_Text(pDX, kFileSize, m_strFileSize);
    DDX_Text(pDX, kImageSize, m_strImageSize);
    DDX_Check(pDX, kOrgPicPos, m_bOrgPicPos);
    DDX_Check(pDX, kUseDetailedDlg, m_bUseDetailedDlg);
}

BOOL CKivSimplePicDlg::OnInitDialog() {
    m_autoMaker.Attach(this);
    CKvFileDialog::OnInitDialog();
    if (!KivPictureGetOrgPicPosEnabled())
        if (CWnd* box = GetDlgItem(kOrgPicPos)) box->ShowWindow(SW_HIDE);
    return TRUE;
}

// A save takes any name. Every name of an open is checked; the first refused one is reported.
BOOL CKivSimplePicDlg::OnFileNameOK() {
    if (!IsOpenDialog()) return FALSE;
    for (POSITION position = GetStartPosition(); position != nullptr;) {
        if (const UINT message = RefusalOf(GetNextPathName(position))) {
            CKivModuleRC::MessageBoxW(GetKivPictureUiModuleHandle(), message, MB_OK);
            return TRUE;
        }
    }
    return FALSE;
}

// The preview is drawn into the frame's backing image, which keeps it through exposes; so, unlike a
// system window, the panel does not redraw it on every paint (which would load the picture each time).
void CKivSimplePicDlg::UpdatePreview(BOOL texts) {
    const CString path = GetPathName();
    if (CWnd* preview = GetDlgItem(kPreview)) KivPictureFileFillWnd(preview, path, 0);
    if (!texts) return;
    CFileStatus status;
    if (!path.IsEmpty() && CFile::GetStatus(path, status)) {
        m_strFilePath = path;
        m_strFileSize = Printed(L"%lldKB", static_cast<long long>(status.m_size / 1024));
        CRect rect;
        int bits = 0;
        if (KivPictureGetPicInfo(path, &rect, &bits))
            m_strImageSize = Printed(L"%lld X %lld (%lld)", rect.Width(), rect.Height(), bits);
        else
            CKivModuleRC::LoadStringW(GetKivPictureUiModuleHandle(), kUnknownSizeText, m_strImageSize);
    } else {
        m_strFilePath.Empty();
        m_strFileSize.Empty();
        m_strImageSize.Empty();
    }
    UpdateData(FALSE);
}

void CKivSimplePicDlg::OnLBSelChangedNotify(UINT, UINT, UINT) { UpdatePreview(TRUE); }

void CKivSimplePicDlg::OnInitDone() {
    CenterFileDialog();
    UpdatePreview(TRUE);
}

void CKivSimplePicDlg::OnFileNameChange() { UpdatePreview(TRUE); }
void CKivSimplePicDlg::OnFolderChange() { UpdatePreview(TRUE); }
void CKivSimplePicDlg::OnTypeChange() { UpdatePreview(TRUE); }

UINT CKivSimplePicDlg::OnShareViolation(LPCWSTR) { return 0; }

void CKivSimplePicDlg::OnClickOrgPicPos() { UpdateData(TRUE); }

// Takes effect with the next selection; KivPictureClose persists it.
void CKivSimplePicDlg::OnClickUseDetailedDlg() {
    UpdateData(TRUE);
    KivPictureSetOpenDialogChoice(m_bUseDetailedDlg ? 0 : 1);
}
