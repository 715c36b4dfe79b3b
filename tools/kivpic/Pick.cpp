// kivpic pick: the selection entry and the save prompt at a terminal, for scripts and for trying the
// dialogs by hand.

#include <KivPictureUi.h>

#include "Commands.h"
#include "platform/window/WindowSystem.h"

namespace {

// The open-dialog choice asked for on the command line holds for this run only: the tool never persists
// settings, and a caller of RunPick in the same process gets its own choice back.
class DialogChoiceForRun {
  public:
    explicit DialogChoiceForRun(std::optional<int> choice) : saved_(KivPictureGetOpenDialogChoice()) {
        if (choice) KivPictureSetOpenDialogChoice(*choice);
    }
    ~DialogChoiceForRun() { KivPictureSetOpenDialogChoice(saved_); }
    DialogChoiceForRun(const DialogChoiceForRun&) = delete;
    DialogChoiceForRun& operator=(const DialogChoiceForRun&) = delete;

  private:
    int saved_;
};

int SaveThroughPrompt(const PickOptions& options, const PickEntries& entries) {
    const DecodedPicture picture = LoadPicture(CString::FromFileSystem(options.saveBuffer));
    if (!picture.ok())
        return Fail(options.saveBuffer, std::string("cannot load: ") + KivLoadStatusText(picture.status));
    const CSize size = picture.rect.Size();
    // The prompt reports only whether it saved: a cancelled dialog and a failed save (which it shows in a
    // message box) both end in 1.
    return entries.promptSave(picture.pixels.get(), size, CRect(0, 0, size.cx, size.cy)) ? 0 : 1;
}

}  // namespace

PickEntries WindowPickEntries() {
    return {
        [] { return AfxEnsureWindowSystem() != FALSE; },
        [](int bOpen, int nType, CString& path, CStringArray* paths, int bMulti) {
            return KivPictureSelectPicFile(bOpen, nType, path, paths, nullptr, bMulti);
        },
        [](DWORD* buffer, CSize size, CRect rect) {
            return KivPicturePromptSavePicFile(buffer, size, rect, nullptr);
        },
    };
}

int RunPick(const PickOptions& options, const PickEntries& entries, std::FILE* out) {
    if (!entries.openWindowSystem()) {
        std::fprintf(stderr,
                     "kivpic: pick: no display to show the dialog on (set DISPLAY or WAYLAND_DISPLAY, or "
                     "QT_QPA_PLATFORM)\n");
        return 2;
    }
    const DialogChoiceForRun choice(options.dialogChoice);
    if (!options.saveBuffer.empty()) return SaveThroughPrompt(options, entries);

    CString path = CString::FromFileSystem(options.path);
    CStringArray paths;
    if (!entries.select(options.save ? 0 : 1, options.type, path, &paths, options.multi ? 1 : 0)) return 1;
    // Several names come in the array; a single one, and the detailed dialog's one even when several were
    // allowed, in the path.
    if (paths.GetSize() == 0 && !path.IsEmpty()) paths.Add(path);
    for (INT_PTR i = 0; i < paths.GetSize(); ++i) std::fprintf(out, "%s\n", PlainName(paths[i]).c_str());
    return 0;
}
