// The simple selection dialog and the save prompt, driven through their exported entries: Qt's file dialog
// is found once it shows, a name is typed and accepted, and the message-box hook answers every question.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#include <functional>
#include <vector>

#include "KivPictureUi.h"
#include "TestFiles.h"
#include "MessageBoxAnswers.h"

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
