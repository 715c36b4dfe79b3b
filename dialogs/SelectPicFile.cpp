// The selection entry: the detailed or the simple dialog, as the open-dialog choice says.
#include <iterator>

#include "KivPictureUi.h"
#include "dialogs/OpenPicDlg.h"
#include "dialogs/SimplePicDlg.h"
#include "libraries/KivModuleRC.h"
#include "picture/window/UiModule.h"

namespace {

constexpr UINT kOpenTitle = 400;
constexpr UINT kSaveTitle = 401;
// Hide read-only and overwrite prompt, as every selection asks.
constexpr DWORD kSelectionFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT;

// Filter and default extension per file type (0 all, 1 TGA, 2 BMP, 3 GIF, 4 PCX, 5 JPEG). All types
// offers every readable format for opening and the four writable ones for saving.
struct TypeStrings {
    UINT openFilter;
    UINT saveFilter;
    UINT defaultExtension;
};
constexpr TypeStrings kTypes[] = {
    {418, 670, 421}, {419, 419, 422}, {420, 420, 423}, {664, 664, 667}, {665, 665, 668}, {666, 666, 669},
};

int SelectWithSimpleDialog(int bOpen, int nType, CString& strPath, CStringArray* pPaths, CWnd* pParent,
                           int bMulti) {
    if (nType < 0 || nType >= int(std::size(kTypes))) return 0;
    const CString initialName = strPath;
    strPath.Empty();
    const HINSTANCE module = GetKivPictureUiModuleHandle();
    CString filter, extension, title;
    CKivModuleRC::LoadStringW(module, bOpen ? kTypes[nType].openFilter : kTypes[nType].saveFilter, filter);
    CKivModuleRC::LoadStringW(module, kTypes[nType].defaultExtension, extension);
    CKivModuleRC::LoadStringW(module, bOpen ? kOpenTitle : kSaveTitle, title);

    CKivSimplePicDlg dialog(bOpen, bMulti, extension, initialName, kSelectionFlags, filter, pParent);
    dialog.m_ofn.lpstrTitle = title;
    if (dialog.DoModal() != IDOK) return 0;
    if (bMulti) {
        for (POSITION position = dialog.GetStartPosition(); position != nullptr;) {
            const CString path = dialog.GetNextPathName(position);
            if (pPaths != nullptr) pPaths->Add(path);
        }
    } else {
        strPath = dialog.GetPathName();
    }
    return 1;
}

// The detailed dialog takes one name; several names are the simple dialog's.
int SelectWithDetailedDialog(int bOpen, int nType, CString& strPath, CWnd* pParent) {
    CKivOpenPicDlg dialog(bOpen, nType, strPath, pParent);
    if (dialog.DoModal() != IDOK) return 0;
    strPath = dialog.m_strFile;
    return 1;
}

}  // namespace

int KivPictureSelectPicFile(int bOpen, int nType, CString& strPath, CStringArray* pPaths, CWnd* pParent,
                            int bMulti) {
    if (KivPictureGetOpenDialogChoice() == 0)
        return SelectWithDetailedDialog(bOpen, nType, strPath, pParent);
    return SelectWithSimpleDialog(bOpen, nType, strPath, pPaths, pParent, bMulti);
}
