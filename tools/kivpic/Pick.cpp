// kivpic pick: the selection entry and the save prompt at a terminal, for scripts and for trying the
// dialogs by hand.

#include <KivPictureUi.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>

#include <algorithm>

#include "Commands.h"
#include "platform/window/WindowSystem.h"

namespace {

// How long the dialog must have been the only window before its picture is taken: Qt's file dialog reads
// its folder in the background, and a folder search may show a progress window first. Past the longest
// wait the picture is taken as it is, so that an unattended run always ends.
constexpr int kSettledMs = 700;
constexpr int kLongestWaitMs = 20000;
constexpr int kPollMs = 50;

// Whether any window other than dialog and its owners shows.
bool OtherWindowShows(const QWidget* dialog) {
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(), [dialog](const QWidget* window) {
        if (!window->isVisible() || window == dialog) return false;
        for (const QWidget* owner = dialog->parentWidget(); owner != nullptr; owner = owner->parentWidget())
            if (owner->window() == window) return false;
        return true;
    });
}

// The picture of the dialog the run shows, taken from the running dialog itself: the first modal window
// that is no progress window, once it has been alone for a moment; then it is closed, which cancels it.
bool PhotographDialog(const std::string& file, const std::function<void()>& run) {
    QPointer<QWidget> dialog;
    QElapsedTimer alone, waited;
    bool saved = false;
    QTimer poll;
    poll.setInterval(kPollMs);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (dialog == nullptr) {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal == nullptr || modal->findChild<QProgressBar*>() != nullptr) return;  // no dialog yet
            dialog = modal;
            alone.start();
            waited.start();
        }
        if (QApplication::activeModalWidget() != dialog || OtherWindowShows(dialog)) alone.restart();
        if (alone.elapsed() < kSettledMs && waited.elapsed() < kLongestWaitMs) return;
        poll.stop();
        saved = dialog->grab().save(QFile::decodeName(file.c_str()), "PNG");
        dialog->close();
    });
    poll.start();
    run();
    return saved;
}

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

// The dialog's part of a run: the save prompt with a picture, else the selection entry and its output.
int ChooseOrSave(const PickOptions& options, const PickEntries& entries, std::FILE* out) {
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
        &PhotographDialog,
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
    if (options.screenshot.empty()) return ChooseOrSave(options, entries, out);
    // A photographed dialog is cancelled: the run chooses nothing and prints nothing.
    if (entries.photograph(options.screenshot, [&] { ChooseOrSave(options, entries, out); })) return 0;
    return Fail(options.screenshot, "no picture of a dialog was saved");
}
