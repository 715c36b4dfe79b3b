// The simple selection dialog and the save prompt, driven through their exported entries: Qt's file dialog
// is found once it shows, a name is typed and accepted, and the message-box hook answers every question.
// Also kivpic pick, which runs them for a script.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <functional>
#include <vector>

#include "KivPictureUi.h"
#include "TestFiles.h"
#include "MessageBoxAnswers.h"
#include "tools/kivpic/Commands.h"

void PrintTo(const CString& text, std::ostream* out) { *out << text.ToUtf8(); }

namespace {

QFileDialog* RunningFileDialog() {
    for (QWidget* window : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QFileDialog*>(window); dialog && dialog->isVisible()) return dialog;
    return nullptr;
}

QLineEdit* NameEdit(QFileDialog& dialog) { return dialog.findChild<QLineEdit*>("fileNameEdit"); }

// Runs body, which opens a file dialog, while act drives the dialog once it shows; a dialog act leaves
// open is cancelled, so that no test hangs. True when a dialog showed.
bool Drive(const std::function<void(QFileDialog&)>& act, const std::function<void()>& body) {
    bool shown = false;
    QTimer::singleShot(0, [&] {
        QFileDialog* dialog = RunningFileDialog();
        if (dialog == nullptr) return;
        shown = true;
        // The name has the focus, as when the user types: Qt's dialog then follows the typed name alone.
        dialog->activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog));
        NameEdit(*dialog)->setFocus();
        act(*dialog);
        if (dialog->isVisible()) dialog->reject();
    });
    body();
    QApplication::processEvents();  // a timer no dialog took must not act in a later test
    return shown;
}

// Types text as the name and accepts it as the Open or Save button would.
void Accept(QFileDialog& dialog, const QString& text) {
    NameEdit(dialog)->setText(text);
    static_cast<QDialog&>(dialog).accept();
}

// A control of the module's panel inside the file dialog.
template <class T>
T* PanelControl(QFileDialog& dialog, int id) {
    for (T* control : dialog.findChildren<T*>())
        if (CWnd::FromHandle(control)->GetDlgCtrlID() == id) return control;
    return nullptr;
}

QString Q(const CString& text) { return QString::fromStdWString(text.Text()); }

// What RunPick printed and returned.
struct PickRun {
    int status = -1;
    std::string out;
};

PickRun Pick(const PickOptions& options, const PickEntries& entries) {
    char* text = nullptr;
    std::size_t length = 0;
    std::FILE* out = open_memstream(&text, &length);
    PickRun run;
    run.status = RunPick(options, entries, out);
    std::fclose(out);
    run.out.assign(text, length);
    std::free(text);
    return run;
}

// The module's process-wide dialog state, as a host leaves it: simple dialog, check box offered, unset.
class SimpleDialog : public testing::Test {
  protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        KivPictureSetOpenDialogChoice(1);
        GP_EnableOrgPicPos(1);
        GP_SetOrgPicPos(0);
    }
    ScratchFolder folder_;
};

}  // namespace

TEST_F(SimpleDialog, OffersTheTypesFiltersTitleAndDefaultExtension) {
    struct Case {
        int open, type;
        qsizetype count;
        const char* first;  // shown name of the first filter
        const char* last;   // the last filter as Qt holds it: patterns free of letter case
        const char* extension;
    } const cases[] = {
        {1, 0, 7, "Image File(*.tga;*.bmp;*.gif;*.pcx;*.jpg;*.psd)", "PSD File(*.psd) (*.[pP][sS][dD])", "tga"},
        {0, 0, 4, "TGA File(*.tga)", "JPG File(*.jpg) (*.[jJ][pP][gG])", "tga"},  // the writable four
        {1, 1, 1, "TGA File(*.tga)", "TGA File(*.tga) (*.[tT][gG][aA])", "tga"},
        {0, 2, 1, "Bitmap File(*.bmp)", "Bitmap File(*.bmp) (*.[bB][mM][pP])", "bmp"},
        {1, 3, 1, "GIF File(*.gif)", "GIF File(*.gif) (*.[gG][iI][fF])", "gif"},
        {1, 4, 1, "PCX File(*.pcx)", "PCX File(*.pcx) (*.[pP][cC][xX])", "pcx"},
        {1, 5, 1, "JPG File(*.jpg)", "JPG File(*.jpg) (*.[jJ][pP][gG])", "jpg"},
    };
    for (const Case& c : cases) {
        CString path = L"start.tga";
        int result = -1;
        EXPECT_TRUE(Drive(
            [&](QFileDialog& d) {
                EXPECT_EQ(d.windowTitle(), c.open ? "Open Image File" : "Save Image File") << c.type;
                EXPECT_EQ(d.acceptMode(), c.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
                ASSERT_EQ(d.nameFilters().size(), c.count) << c.type;
                EXPECT_EQ(d.nameFilters().first().section(" (", 0, 0), c.first) << c.type;
                EXPECT_EQ(d.nameFilters().last(), c.last) << c.type;
                EXPECT_EQ(d.defaultSuffix(), c.extension) << c.type;
            },
            [&] { result = KivPictureSelectPicFile(c.open, c.type, path, nullptr, nullptr, 0); }));
        EXPECT_EQ(result, 0) << "cancelled";
        EXPECT_TRUE(path.IsEmpty()) << "the initial name was taken";
    }
    CString path;
    EXPECT_FALSE(Drive([](QFileDialog&) {}, [&] { EXPECT_EQ(KivPictureSelectPicFile(1, 6, path, nullptr, nullptr, 0), 0); }))
        << "an unknown type shows no dialog";
}

TEST_F(SimpleDialog, OpenChecksEveryNameAndStaysOpenUntilAllArePictures) {
    const Bytes picture = ReadFileBytes(std::string(KIV_SAMPLES) + "/sunset-24bit.bmp");
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) folder_.Write(name, picture);
    folder_.Write("notes.bmp", Bytes(300, 'x'));
    MessageBoxAnswers boxes(IDOK);
    CString path = L"x.bmp";
    CStringArray paths;
    Drive(
        [&](QFileDialog& d) {
            d.setDirectory(QString::fromStdString(folder_.Path().string()));
            Accept(d, "missing.bmp");
            EXPECT_TRUE(d.isVisible()) << "504";
            Accept(d, "\"a.bmp\" \"notes.bmp\"");
            EXPECT_TRUE(d.isVisible()) << "671 for the second name";
            Accept(d, "\"a.bmp\" \"b.bmp\" \"c.bmp\"");
        },
        [&] { EXPECT_EQ(KivPictureSelectPicFile(1, 2, path, &paths, nullptr, 1), 1); });
    EXPECT_EQ(boxes.shown, (std::vector<CString>{L"Current Selected File Does Not Exist, Please Select Again!",
                                                 L"Unable To Open Current Selected File(Invalid Format), Please "
                                                 L"Select Again!"}));
    ASSERT_EQ(paths.GetSize(), 3);
    for (INT_PTR i = 0; i < 3; ++i) EXPECT_EQ(paths[i], Wide(folder_.File(std::string(1, char('a' + i)) + ".bmp")));
    EXPECT_TRUE(path.IsEmpty());
}

TEST_F(SimpleDialog, SaveAsksBeforeReplacingAFile) {
    const CString existing = folder_.Write("old.tga", Bytes(10, 0));
    MessageBoxAnswers boxes(IDNO);
    CString path;
    Drive(
        [&](QFileDialog& d) {
            NameEdit(d)->setText(Q(existing));
            QTest::keyClick(NameEdit(d), Qt::Key_Return);
            EXPECT_TRUE(d.isVisible()) << "answered No";
            boxes.answer = IDYES;
            QTest::keyClick(NameEdit(d), Qt::Key_Return);
        },
        [&] { EXPECT_EQ(KivPictureSelectPicFile(0, 0, path, nullptr, nullptr, 0), 1); });
    EXPECT_EQ(path, existing);
    ASSERT_EQ(boxes.shown.size(), 2u);
    EXPECT_NE(boxes.shown[0].Text().find(L"old.tga already exists"), std::wstring::npos);
}

TEST_F(SimpleDialog, CheckBoxesSwitchTheDialogAndCarryTheOriginalPosition) {
    struct Case {
        int enabled, before;
        bool clickOrgPicPos, clickDetailed;
        int after, choice;
    } const cases[] = {
        {1, 1, true, true, 0, 0},    // both clicked, then cancelled: both still count
        {1, 0, false, false, 0, 1},
        {0, 1, false, false, 1, 1},  // hidden, still copied in and out
    };
    for (const Case& c : cases) {
        Reset();
        GP_EnableOrgPicPos(c.enabled);
        GP_SetOrgPicPos(c.before);
        CString path;
        Drive(
            [&](QFileDialog& d) {
                auto* orgPicPos = PanelControl<QCheckBox>(d, 4006);
                ASSERT_NE(orgPicPos, nullptr);
                EXPECT_EQ(orgPicPos->isVisible(), c.enabled == 1);
                EXPECT_EQ(orgPicPos->isChecked(), c.before == 1) << "copied in";
                if (c.clickOrgPicPos) QTest::mouseClick(orgPicPos, Qt::LeftButton);
                if (c.clickDetailed) QTest::mouseClick(PanelControl<QCheckBox>(d, 4005), Qt::LeftButton);
            },
            [&] { EXPECT_EQ(KivPictureSelectPicFile(1, 0, path, nullptr, nullptr, 0), 0); });
        EXPECT_EQ(GP_GetOrgPicPos(), c.after) << c.enabled << c.before;
        EXPECT_EQ(KivPictureGetOpenDialogChoice(), c.choice) << c.enabled << c.before;
    }
}

TEST_F(SimpleDialog, TabReachesThePanelsCheckBoxesAndEscapeThereCancels) {
    CString path = L"start.tga";
    std::vector<int> reached;  // the panel's controls, in the order Tab reaches them from the name
    EXPECT_TRUE(Drive(
        [&](QFileDialog& d) {
            for (int i = 0; i < 40 && reached.size() < 2 && QApplication::focusWidget(); ++i) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                if (QWidget* focus = QApplication::focusWidget(); focus && d.isAncestorOf(focus))
                    if (const int id = CWnd::FromHandle(focus)->GetDlgCtrlID(); id > 0) reached.push_back(id);
            }
            if (!reached.empty()) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            EXPECT_FALSE(d.isVisible());
        },
        [&] { EXPECT_EQ(KivPictureSelectPicFile(1, 0, path, nullptr, nullptr, 0), 0); }));
    EXPECT_EQ(reached, (std::vector<int>{4005, 4006}));
}

TEST_F(SimpleDialog, SizeLinesDescribeTheCurrentFile) {
    struct Case {
        const char* name;
        Bytes bytes;
        const char* size;
        const char* image;
    } const cases[] = {
        // A 640 x 480 24-bit TGA header: the probe reads no further.
        {"header.tga", {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 2, 0xE0, 1, 24, 0}, "0KB", "640 X 480 (24)"},
        {"text.bmp", Bytes(1536, 'x'), "1KB", "Unkonwn(Invalid Format)"},
    };
    for (const Case& c : cases) {
        const CString file = folder_.Write(c.name, c.bytes);
        CString path;
        Drive(
            [&](QFileDialog& d) {
                d.setDirectory(QString::fromStdString(folder_.Path().string()));
                NameEdit(d)->clear();
                QTest::keyClicks(NameEdit(d), c.name);  // typing notifies, as the user's would
                EXPECT_EQ(PanelControl<QLabel>(d, 1010)->text(), Q(file));
                EXPECT_EQ(PanelControl<QLabel>(d, 1000)->text(), c.size);
                EXPECT_EQ(PanelControl<QLabel>(d, 1001)->text(), c.image);
            },
            [&] { KivPictureSelectPicFile(1, 0, path, nullptr, nullptr, 0); });
    }
}

TEST_F(SimpleDialog, SavePromptPicksTheWriterByExtensionAndReportsFailure) {
    DWORD pixels[16] = {};
    struct Case {
        const char* typed;  // null: cancelled
        const char* saved;  // the file written, null for none
        CRect rect;
        bool bmp;  // BMP bytes, else a TGA
    } const cases[] = {
        {"a.Bmp", "a.Bmp", CRect(0, 0, 4, 4), true},
        {"b.jpeg", "b.jpeg", CRect(0, 0, 4, 4), false},
        {"c", "c.tga", CRect(0, 0, 4, 4), false},             // the default extension
        {"d.bmp", nullptr, CRect(100, 100, 200, 200), true},  // wholly outside the buffer: 350
        {nullptr, nullptr, CRect(0, 0, 4, 4), true},
    };
    for (const Case& c : cases) {
        MessageBoxAnswers boxes(IDOK);
        int result = -1;
        EXPECT_TRUE(Drive([&](QFileDialog& d) { if (c.typed) Accept(d, QString::fromStdString(folder_.File(c.typed))); },
                          [&] { result = KivPicturePromptSavePicFile(pixels, CSize(4, 4), c.rect, nullptr); }));
        EXPECT_EQ(result, c.saved != nullptr) << c.typed;
        const auto failed = c.typed && !c.saved
            ? std::vector<CString>{L"Due To Short Of Memory Or Memory Fault, Saving Image File Failed!"}
            : std::vector<CString>{};
        EXPECT_EQ(boxes.shown, failed) << c.typed;
        if (c.saved == nullptr) continue;
        const Bytes saved = ReadFileBytes(folder_.File(c.saved));
        ASSERT_GE(saved.size(), 2u) << c.saved;
        EXPECT_EQ(saved[0] == 'B' && saved[1] == 'M', c.bmp) << c.saved;
        LoadedPicture tga;
        tga.pixels = KivPictureLoadTGAFile(Wide(folder_.File(c.saved)), tga.rect);
        EXPECT_EQ(tga.pixels != nullptr, !c.bmp) << c.saved;
    }
    MessageBoxAnswers boxes(IDOK);
    EXPECT_FALSE(Drive([](QFileDialog&) {}, [&] {
        EXPECT_EQ(KivPicturePromptSavePicFile(pixels, CSize(4, 4), CRect(0, 0, 0, 0), nullptr), 0);
    })) << "an empty region asks nothing";
    EXPECT_TRUE(boxes.shown.empty());
}

// The pick command's logic, with the entry answering as a dialog would: what it asks the entry, what it
// prints, how it ends.
TEST_F(SimpleDialog, PickAsksTheEntryAndPrintsEveryChosenPath) {
    struct Case {
        const char* why;
        PickOptions options;
        int answer;                        // the entry's result
        CString answerPath;                // the path it leaves
        std::vector<CString> answerPaths;  // the paths it appends
        int open, type, multi, choice;     // what the entry was asked, and the dialog choice in force
        int status;
        std::string out;
    } const cases[] = {
        {"one picture", {.path = "/p/start.tga"}, 1, L"/p/a.jpg", {}, 1, 0, 0, 1, 0, "/p/a.jpg\n"},
        {"a name to save", {.save = true, .type = 2}, 1, L"/p/b.bmp", {}, 0, 2, 0, 1, 0, "/p/b.bmp\n"},
        {"several", {.multi = true}, 1, L"", {L"/p/1.gif", L"/p/2.gif"}, 1, 0, 1, 1, 0, "/p/1.gif\n/p/2.gif\n"},
        {"the detailed dialog chooses one even when several are allowed",
         {.type = 6, .multi = true, .dialogChoice = 0}, 1, L"/p/c.psd", {}, 1, 6, 1, 0, 0, "/p/c.psd\n"},
        {"cancelled", {.dialogChoice = 1}, 0, L"", {}, 1, 0, 0, 1, 1, ""},
        {"a name keeps to its line", {}, 1, L"/p/a\nb.jpg", {}, 1, 0, 0, 1, 0, "/p/a\\nb.jpg\n"},
    };
    for (const Case& c : cases) {
        int calls = 0;
        PickEntries entries{
            [] { return true; },
            [&](int open, int type, CString& path, CStringArray* paths, int multi) {
                ++calls;
                EXPECT_EQ(std::tuple(open, type, multi, KivPictureGetOpenDialogChoice()),
                          std::tuple(c.open, c.type, c.multi, c.choice))
                    << c.why;
                EXPECT_EQ(path, CString::FromFileSystem(c.options.path)) << c.why << ": the start path";
                path = c.answerPath;
                for (const CString& chosen : c.answerPaths) paths->Add(chosen);
                return c.answer;
            },
            [](DWORD*, CSize, CRect) {
                ADD_FAILURE() << "no save prompt";
                return 0;
            },
        };
        KivPictureSetOpenDialogChoice(1);
        const PickRun run = Pick(c.options, entries);
        EXPECT_EQ(calls, 1) << c.why;
        EXPECT_EQ(run.status, c.status) << c.why;
        EXPECT_EQ(run.out, c.out) << c.why;
        EXPECT_EQ(KivPictureGetOpenDialogChoice(), 1) << c.why << ": the choice holds for the run only";
    }

    // Without a display nothing is asked.
    const PickEntries noDisplay{[] { return false; }, nullptr, nullptr};  // calling either would throw
    EXPECT_EQ(Pick({}, noDisplay).status, 2);
    EXPECT_EQ(Pick({.saveBuffer = "/p/any.tga"}, noDisplay).status, 2);
}

TEST_F(SimpleDialog, PickSavesAWholePictureThroughThePrompt) {
    DWORD pixels[6] = {0xFF102030, 0xFF405060, 0x80708090, 0xFFA0B0C0, 0xFFD0E0F0, 0x00000000};
    ASSERT_TRUE(KivPictureSaveTGAFile(Wide(folder_.File("in.tga")), pixels, CSize(3, 2), CRect(0, 0, 3, 2)));
    for (const int answer : {1, 0}) {
        int calls = 0;
        const PickRun run = Pick({.saveBuffer = folder_.File("in.tga")},
                                 {[] { return true; }, nullptr,
                                  [&](DWORD* buffer, CSize size, CRect rect) {
                                      ++calls;
                                      EXPECT_EQ(size, CSize(3, 2));
                                      EXPECT_EQ(rect, CRect(0, 0, 3, 2)) << "the whole picture";
                                      EXPECT_TRUE(std::equal(pixels, pixels + 6, buffer));
                                      return answer;
                                  }});
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(run.status, answer ? 0 : 1) << "saved, or cancelled";
    }
    EXPECT_EQ(Pick({.saveBuffer = folder_.File("missing.tga")}, WindowPickEntries()).status, 1)
        << "a picture that does not load shows no prompt";
}

// The command's own entries: the real dialog, answered as a user would.
TEST_F(SimpleDialog, PickRunsTheEntryItself) {
    const CString picture = folder_.Write("a.bmp", ReadFileBytes(std::string(KIV_SAMPLES) + "/sunset-24bit.bmp"));
    PickRun run;
    EXPECT_TRUE(Drive([&](QFileDialog& d) { Accept(d, Q(picture)); },
                      [&] { run = Pick({.dialogChoice = 1}, WindowPickEntries()); }));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, folder_.File("a.bmp") + "\n");
    EXPECT_TRUE(Drive([](QFileDialog&) {}, [&] { run = Pick({.save = true}, WindowPickEntries()); }));
    EXPECT_EQ(std::tuple(run.status, run.out), std::tuple(1, std::string())) << "cancelled";
    const std::string shot = folder_.File("dialog.png");
    run = Pick({.save = true, .dialogChoice = 1, .screenshot = shot}, WindowPickEntries());
    EXPECT_EQ(std::tuple(run.status, run.out), std::tuple(0, std::string())) << "photographed, then cancelled";
    EXPECT_GT(QImage(QString::fromStdString(shot)).height(), 300) << "the dialog with the module's panel";
}
