// The save prompt: a name from the selection entry, the writer its extension names, a progress window
// while it writes, and one message for any failure.
#include <string>

#include "KivPictureUi.h"
#include "libraries/KivModuleRC.h"
#include "libraries/window/KivGuiProgress.h"
#include "libraries/window/KivModuleRCWindow.h"
#include "picture/window/UiModule.h"
#include "platform/RuntimeLibrary.h"

using kivrt::_MAX_EXT;
using kivrt::_wcsicmp;
using kivrt::_wsplitpath;

namespace {

constexpr UINT kSaveFailedMessage = 350;
constexpr UINT kSavingText = 351;

using Writer = int (*)(CString path, DWORD* buffer, CSize size, CRect rect);

// By extension, without regard to case; TGA for any other extension and for none.
Writer WriterFor(const CString& path) {
    struct Entry {
        LPCWSTR extension;
        Writer writer;
    };
    static constexpr Entry kWriters[] = {{L".TGA", &KivPictureSaveTGAFile},
                                         {L".BMP", &KivPictureSaveBMPFile},
                                         {L".PCX", &KivPictureSavePCXFile},
                                         {L".JPG", &KivPictureSaveJPGFile}};
    wchar_t extension[_MAX_EXT] = {};
    _wsplitpath(path, nullptr, nullptr, nullptr, extension);
    for (const Entry& entry : kWriters)
        if (_wcsicmp(extension, entry.extension) == 0) return entry.writer;
    return &KivPictureSaveTGAFile;
}

// The progress text with the path in place of its "%s".
CString SavingText(const CString& format, const CString& path) {
    std::wstring text = format.Text();
    if (const size_t at = text.find(L"%s"); at != std::wstring::npos) text.replace(at, 2, path.Text());
    return CString(text);
}

}  // namespace

int KivPicturePromptSavePicFile(DWORD* buffer, CSize size, CRect rect, CWnd* pParent) {
    if (rect.IsRectEmpty()) return 0;  // an all-zero region included
    CString path;
    CStringArray unused;
    if (!KivPictureSelectPicFile(0, 0, path, &unused, pParent, 0)) return 0;

    const HINSTANCE module = GetKivPictureUiModuleHandle();
    CString format;
    CKivModuleRC::LoadStringW(module, kSavingText, format);
    CKivGuiProgressDlg progress;
    progress.Create(nullptr, SavingText(format, path), 0, 0, 0, pParent);
    const int saved = WriterFor(path)(path, buffer, size, rect);
    progress.Close();
    if (!saved) CKivModuleRC::MessageBoxW(module, kSaveFailedMessage, MB_OK);
    return saved;
}
