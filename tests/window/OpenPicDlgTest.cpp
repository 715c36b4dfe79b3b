// The detailed picture dialog run modally over a scratch volume of a mount table of our own: the start file
// selected, the open checks, every save-mode completion of the name, the overwrite question, the two check
// boxes, the selection entry choosing between the detailed and the simple dialog, and the keyboard (tab
// order, arrows in the tree and the list, Enter and Escape).
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "KivPicture.h"
#include "KivPictureUi.h"
#include "MessageBoxAnswers.h"
#include "TestFiles.h"
#include "WidgetPixels.h"
#include "dialogs/OpenPicDlg.h"
#include "platform/window/ShellNamespace.h"

namespace fs = std::filesystem;

namespace {

// The detailed dialog the entry runs, once it shows.
CKivOpenPicDlg* RunningDetailedDialog() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible())
            if (auto* dialog = dynamic_cast<CKivOpenPicDlg*>(CWnd::FromHandlePermanent(window)))
                return dialog;
    return nullptr;
}

// Runs body, which runs a detailed dialog, while act drives it once it shows; a dialog act leaves open
// ends with -2, so that no test hangs. True when the dialog showed.
bool Drive(const std::function<void(CKivOpenPicDlg&)>& act, const std::function<void()>& body) {
    bool shown = false;
    QTimer::singleShot(0, [&] {
        CKivOpenPicDlg* dialog = RunningDetailedDialog();
        if (dialog == nullptr) return;
        shown = true;
        act(*dialog);
        if (dialog->m_hWnd && dialog->m_hWnd->isVisible()) dialog->EndDialog(-2);
    });
    body();
    QApplication::processEvents();
    return shown;
}

// Runs the dialog modally while act drives it; a dialog act leaves open ends with -2.
INT_PTR RunModal(CKivOpenPicDlg& dialog, const std::function<void()>& act) {
    INT_PTR result = 0;
    EXPECT_TRUE(Drive([&](CKivOpenPicDlg&) { act(); }, [&] { result = dialog.DoModal(); }));
    return result;
}

void Click(CWnd& dialog, int id) {
    QTest::mouseClick(Control<QAbstractButton>(dialog, id), Qt::LeftButton);
}

// The control ID of the widget with the keyboard focus; 0 for none.
int Focused() {
    QWidget* focus = QApplication::focusWidget();
    return focus ? CWnd::FromHandle(focus)->GetDlgCtrlID() : 0;
}

// A key pressed where the focus is, as a user presses it.
void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    if (QWidget* focus = QApplication::focusWidget())
        QTest::keyClick(focus, key, modifiers);
    else
        ADD_FAILURE() << "no widget has the focus";
}

// Types a name into the panel and picks entry `entry` of its type box (-1: none).
void Choose(CKivOpenPicDlg& d, const char* name, int entry) {
    d.m_panel.m_cbFileType.SetCurSel(entry);
    Control<QLineEdit>(d.m_panel, 4002)->setText(QString::fromUtf8(name));
}

const CString kMissing = L"Current Selected File Does Not Exist, Please Select Again!";
const CString kInvalid = L"Unable To Open Current Selected File(Invalid Format), Please Select Again!";
const CString kOverwrite = L"Current Selected File Has Already Existed, Whether To Override?";

// vol/{red.bmp, notes.bmp (text), old.tga}, the only fixed volume; the current folder, home and the
// settings folder are the scratch folder's; the module's dialog state as a host leaves it.
class DetailedDialog : public testing::Test {
  protected:
    void SetUp() override {
        vol_ = folder_.Path() / "vol";
        fs::create_directories(vol_);
        std::vector<DWORD> red(4 * 3, 0xFFFF0000);
        ASSERT_TRUE(KivPictureSaveBMPFile(File("red.bmp"), red.data(), CSize(4, 3), CRect(0, 0, 4, 3)));
        WriteFileBytes((vol_ / "notes.bmp").string(), Bytes(300, 'x'));
        WriteFileBytes((vol_ / "old.tga").string(), Bytes(10, 0));
        std::ofstream(folder_.File("mountinfo"))
            << "27 1 8:1 / " << vol_.string() << " rw - ext4 /dev/sda1 rw\n";
        SetMountTableForTesting(folder_.File("mountinfo").c_str());
        baseBlocks_ = ShellAllocatorLiveBlocks();
        previousFolder_ = fs::current_path();
        fs::current_path(vol_);
        for (const char* name : {"HOME", "KIV_CONFIG_DIR"}) {
            const char* value = std::getenv(name);
            previous_.emplace_back(name, value ? std::optional<std::string>(value) : std::nullopt);
            setenv(name, name == std::string("HOME") ? vol_.c_str() : folder_.Path().c_str(), 1);
        }
        Reset();
    }
    void TearDown() override {
        EXPECT_EQ(ShellAllocatorLiveBlocks(), baseBlocks_) << "every tree record goes back";
        Reset();
        SetMountTableForTesting(nullptr);
        fs::current_path(previousFolder_);
        for (const auto& [name, value] : previous_)
            value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    }
    static void Reset() {
        KivPictureSetOpenDialogChoice(0);
        GP_EnableOrgPicPos(1);
        GP_SetOrgPicPos(0);
    }
    CString File(const char* name) const { return Wide((vol_ / name).string()); }

    ScratchFolder folder_;
    fs::path vol_, previousFolder_;
    long baseBlocks_ = 0;
    std::vector<std::pair<std::string, std::optional<std::string>>> previous_;
};

}  // namespace

TEST_F(DetailedDialog, OpenAcceptsOnlyAnExistingPicture) {
    struct Case {
        const char* typed;  // null: the start file, deleted before OK
        std::vector<CString> shown;
    } const cases[] = {
        {nullptr, {kMissing}},
        {"notes.bmp", {kInvalid}},
        {"red.bmp", {}},
    };
    for (const Case& c : cases) {
        const fs::path gone = vol_ / "gone.bmp";
        fs::copy_file(vol_ / "red.bmp", gone, fs::copy_options::overwrite_existing);
        CKivOpenPicDlg dialog(1, 0, Wide(gone.string()), nullptr);
        MessageBoxAnswers boxes(IDOK);
        const INT_PTR result = RunModal(dialog, [&] {
            EXPECT_EQ(dialog.m_panel.GetFileFullPath(), Wide(gone.string())) << "the start file is selected";
            EXPECT_EQ(dialog.m_hWnd->windowTitle(), "Open Image File");
            if (c.typed) Choose(dialog, c.typed, 0);
            fs::remove(gone);
            Click(dialog, IDOK);
        });
        EXPECT_EQ(boxes.shown, c.shown) << c.typed;
        EXPECT_EQ(result, c.shown.empty() ? IDOK : -2) << c.typed;
        EXPECT_EQ(dialog.m_strFile, c.shown.empty() ? File("red.bmp") : Wide(gone.string())) << c.typed;
    }
}

TEST_F(DetailedDialog, SaveCompletesTheNameAndAsksBeforeReplacing) {
    struct Case {
        int entry;  // of the save type box: TGA, BMP, PCX, JPG, PSD; -1 none
        const char* typed;
        const char* saved;  // null: the dialog stays open
        int answer;         // to the overwrite question; 0: none is asked
    } const cases[] = {
        {0, "pic", "pic.TGA", 0},
        {1, "pic", "pic.BMP", 0},
        {2, "pic", "pic.PCX", 0},
        {3, "pic", "pic.JPG", 0},
        {1, "pic.jpg", "pic.jpg", 0},        // a written extension in any case is kept
        {0, "anim.gif", "anim.gif.TGA", 0},  // one the module does not write is not
        {4, "pic", nullptr, 0},              // PSD is not written
        {4, "pic.Pcx", "pic.Pcx", 0},
        {-1, "pic.tga", nullptr, 0},
        {0, "", nullptr, 0},
        {0, "old.tga", nullptr, IDNO},
        {0, "old.tga", "old.tga", IDYES},
    };
    for (const Case& c : cases) {
        CKivOpenPicDlg dialog(0, 0, File(""), nullptr);
        MessageBoxAnswers boxes(c.answer);
        EXPECT_EQ(RunModal(dialog,
                           [&] {
                               EXPECT_EQ(dialog.m_hWnd->windowTitle(), "Save Image File");
                               Choose(dialog, c.typed, c.entry);
                               Click(dialog, IDOK);
                           }),
                  c.saved ? IDOK : -2)
            << c.typed << " " << c.entry;
        EXPECT_EQ(dialog.m_strFile, c.saved ? File(c.saved) : File("")) << c.typed << " " << c.entry;
        EXPECT_EQ(boxes.shown, std::vector<CString>(c.answer ? 1 : 0, kOverwrite)) << c.typed;
        EXPECT_EQ(boxes.types,
                  std::vector<UINT>(c.answer ? 1 : 0, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2))
            << "No first";
    }
}

TEST_F(DetailedDialog, CheckBoxesCarryTheOriginalPositionAndSwitchTheNextDialog) {
    struct Case {
        int enabled, before;
        bool clickOrgPicPos, clickSimple;
        int after, choice;
        const char* written;
    } const cases[] = {
        {1, 1, true, true, 0, 1, "OpenPicDlg=1"},  // both clicked, then cancelled: both still count
        {1, 0, true, false, 1, 0, "OpenPicDlg=0"},
        {0, 1, false, false, 1, 0, "OpenPicDlg=0"},  // hidden, still copied in and out
    };
    for (const Case& c : cases) {
        Reset();
        GP_EnableOrgPicPos(c.enabled);
        GP_SetOrgPicPos(c.before);
        CString path = File("red.bmp");
        EXPECT_TRUE(Drive(
            [&](CKivOpenPicDlg& d) {
                auto* orgPicPos = Control<QCheckBox>(d, 4006);
                ASSERT_NE(orgPicPos, nullptr);
                EXPECT_EQ(orgPicPos->isVisible(), c.enabled == 1);
                EXPECT_EQ(orgPicPos->isChecked(), c.before == 1) << "copied in";
                EXPECT_FALSE(Control<QCheckBox>(d, 4005)->isChecked());
                if (c.clickOrgPicPos) Click(d, 4006);
                if (c.clickSimple) Click(d, 4005);
                EXPECT_EQ(KivPictureGetOpenDialogChoice(), c.choice) << "at once";
                Click(d, IDCANCEL);
            },
            [&] { EXPECT_EQ(KivPictureSelectPicFile(1, 0, path, nullptr, nullptr, 0), 0); }));
        EXPECT_EQ(path, File("red.bmp")) << "a cancel changes no name";
        EXPECT_EQ(GP_GetOrgPicPos(), c.after) << c.enabled << c.before;
        EXPECT_EQ(KivPictureGetOpenDialogChoice(), c.choice);
        EXPECT_EQ(KivPictureClose(), 1);
        const Bytes ini = ReadFileBytes(folder_.File("KivClient.ini"));
        EXPECT_EQ(std::string(ini.begin(), ini.end()), std::string("[COMMON_SETUP]\n") + c.written + "\n");
    }
}

TEST_F(DetailedDialog, EntryRunsTheDialogTheChoiceNames) {
    for (int choice : {0, 1}) {
        KivPictureSetOpenDialogChoice(choice);
        CString path = File("red.bmp");
        CStringArray paths;
        bool simpleShown = false;
        QTimer::singleShot(0, [&] {
            for (QWidget* window : QApplication::topLevelWidgets())
                if (auto* simple = qobject_cast<QFileDialog*>(window); simple && simple->isVisible()) {
                    simpleShown = true;
                    simple->reject();
                }
        });
        const bool detailedShown =
            Drive([](CKivOpenPicDlg& d) { Click(d, IDOK); },
                  [&] { EXPECT_EQ(KivPictureSelectPicFile(1, 0, path, &paths, nullptr, 1), choice == 0); });
        EXPECT_EQ(detailedShown, choice == 0);
        EXPECT_EQ(simpleShown, choice == 1);
        EXPECT_EQ(path, choice == 0 ? File("red.bmp") : CString())
            << "the detailed dialog hands back its file";
        EXPECT_EQ(paths.GetSize(), 0) << "several names are the simple dialog's";
    }
}

TEST_F(DetailedDialog, KeyboardTabsThroughTheControlsMovesInTreeAndListAndEnds) {
    fs::create_directories(vol_ / "sub" / "deeper");
    fs::copy_file(vol_ / "red.bmp", vol_ / "sub" / "in.bmp");
    std::vector<DWORD> blue(40 * 30, 0xFF0000FF);
    ASSERT_TRUE(KivPictureSaveTGAFile(File("blue.tga"), blue.data(), CSize(40, 30), CRect(0, 0, 40, 30)));
    // The dialog's template order, the panel's controls (in their template's order) in its frame's place.
    const int cycle[] = {IDOK, IDCANCEL, 4005, 4006, 1002, 1003, 4001, 1006, 4002, 4004};
    const size_t n = std::size(cycle);
    struct End {
        Qt::Key key;
        INT_PTR result;
        const char* file;  // m_strFile afterwards
    } const ends[] = {{Qt::Key_Return, IDOK, "blue.tga"}, {Qt::Key_Escape, IDCANCEL, "red.bmp"}};
    for (const End& ending : ends) {
        CKivOpenPicDlg dialog(1, 0, File("red.bmp"), nullptr);
        CKivPicFilePanelDlg& panel = dialog.m_panel;
        CKivPicFileShellTree& tree = panel.Tree();
        // A search may end after the key that started it returns: wait until the list shows the folder
        // and the dialog has the keyboard again.
        const auto lists = [&](const char* folder, int cells) {
            return QTest::qWaitFor([&] {
                return panel.m_strFilePath == File(folder) && panel.m_listCtrl.GetCellCount() == cells &&
                       QApplication::activeWindow() == dialog.m_hWnd;
            });
        };
        const auto preview = [&] {
            CRect frame;
            panel.GetDlgItem(4003)->GetWindowRect(&frame);
            panel.ScreenToClient(&frame);
            return At(Grab(panel), (frame.left + frame.right) / 2, (frame.top + frame.bottom) / 2);
        };
        const INT_PTR ended = RunModal(dialog, [&] {
            ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.m_hWnd));
            EXPECT_EQ(Focused(), IDOK);
            for (size_t i = 1; i <= 2 * n; ++i) {  // once round forwards, then once backwards
                Press(Qt::Key_Tab, i <= n ? Qt::NoModifier : Qt::ShiftModifier);
                EXPECT_EQ(Focused(), cycle[i <= n ? i % n : 2 * n - i]) << i;
                if (i == n - 1) Press(Qt::Key_Return);  // on View, a button of the panel
            }
            EXPECT_EQ(panel.m_listCtrl.GetViewMode(), 1) << "Enter pressed the focused button";
            for (size_t i = 0; cycle[i] != 1003; ++i) Press(Qt::Key_Tab);
            Press(Qt::Key_Down);  // the folder below is selected and searched, as by a click
            EXPECT_TRUE(lists("sub/", 1));
            EXPECT_EQ(panel.m_strFileName.Text(), L"in.bmp");
            Press(Qt::Key_Right);
            EXPECT_EQ(tree.GetItemState(tree.GetSelectedItem(), TVIS_EXPANDED), UINT(TVIS_EXPANDED));
            Press(Qt::Key_Left);
            EXPECT_EQ(tree.GetItemState(tree.GetSelectedItem(), TVIS_EXPANDED), 0u);
            Press(Qt::Key_Left);  // up to the volume
            EXPECT_TRUE(lists("", 2));
            EXPECT_EQ(Focused(), 1003) << "the keys stay in the tree across searches";
            EXPECT_EQ(preview(), RGB(255, 0, 0));
            Press(Qt::Key_Tab);
            Press(Qt::Key_Right);  // the list's next cell, as a click on it
            EXPECT_EQ(panel.m_listCtrl.GetCurSel(), 1);
            EXPECT_EQ((panel.m_strFileName + L" " + panel.m_strImageSize).Text(), L"blue.tga 40 X 30 (32)");
            EXPECT_EQ(preview(), RGB(0, 0, 255));
            Press(ending.key);
        });
        EXPECT_EQ(ended, ending.result);
        EXPECT_EQ(dialog.m_strFile, File(ending.file));
    }
}
