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
#include "platform/MessageBox.h"

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
        dialog->findChild<QLineEdit*>("fileNameEdit")->setFocus();
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

}  // namespace

void PrintTo(const CString& text, std::ostream* out) { *out << text.ToUtf8(); }

namespace {

QString Q(const CString& text) { return QString::fromStdWString(text.Text()); }

// Answers every message box with the current answer and keeps the texts shown.
class Answers {
  public:
    explicit Answers(int first) : answer(first) {
        previous_ = SetMessageBoxHandler([this](const CString& text, UINT) {
            shown.push_back(text);
            return this->answer;
        });
    }
    ~Answers() { SetMessageBoxHandler(previous_); }
    int answer;
    std::vector<CString> shown;

  private:
    MessageBoxHandler previous_;
};

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

// A TGA header of 640 x 480 at 24 bits: the probe reads no further.
Bytes TgaHeader() {
    Bytes b = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    PutU16(b, 640);
    PutU16(b, 480);
    PutU8(b, 24);
    PutU8(b, 0);
    return b;
}

}  // namespace

TEST_F(SimpleDialog, OffersTheTypesFiltersTitleAndDefaultExtension) {
    struct Case {
        int open, type;
        const char* title;
        qsizetype filters;
        const char* first;  // the first filter as Qt holds it (patterns free of letter case)
        const char* extension;
    } const cases[] = {
        {1, 0, "Open Image File", 7,
         "Image File(*.tga;*.bmp;*.gif;*.pcx;*.jpg;*.psd) (*.[tT][gG][aA] *.[bB][mM][pP] *.[gG][iI][fF] "
         "*.[pP][cC][xX] *.[jJ][pP][gG] *.[pP][sS][dD])",
         "tga"},
        {0, 0, "Save Image File", 4, "TGA File(*.tga) (*.[tT][gG][aA])", "tga"},  // the writable four
        {1, 1, "Open Image File", 1, "TGA File(*.tga) (*.[tT][gG][aA])", "tga"},
        {0, 2, "Save Image File", 1, "Bitmap File(*.bmp) (*.[bB][mM][pP])", "bmp"},
        {1, 3, "Open Image File", 1, "GIF File(*.gif) (*.[gG][iI][fF])", "gif"},
        {1, 4, "Open Image File", 1, "PCX File(*.pcx) (*.[pP][cC][xX])", "pcx"},
        {1, 5, "Open Image File", 1, "JPG File(*.jpg) (*.[jJ][pP][gG])", "jpg"},
    };
    for (const Case& c : cases) {
        CString path = L"start.tga";
        int result = -1;
        EXPECT_TRUE(Drive(
            [&](QFileDialog& d) {
                EXPECT_EQ(d.windowTitle(), c.title) << c.type;
                ASSERT_EQ(d.nameFilters().size(), c.filters) << c.type;
                EXPECT_EQ(d.nameFilters().first(), c.first) << c.type;
                EXPECT_EQ(d.defaultSuffix(), c.extension) << c.type;
                EXPECT_EQ(d.acceptMode(), c.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
            },
            [&] { result = KivPictureSelectPicFile(c.open, c.type, path, nullptr, nullptr, 0); }));
        EXPECT_EQ(result, 0) << "cancelled";
        EXPECT_TRUE(path.IsEmpty()) << "the initial name was taken";
    }
    CString path;
    EXPECT_FALSE(Drive([](QFileDialog&) {}, [&] { EXPECT_EQ(KivPictureSelectPicFile(1, 6, path, nullptr, nullptr, 0), 0); }))
        << "an unknown type shows no dialog";
}

TEST_F(SimpleDialog, OpenRefusesAMissingFileAndANonPictureAndStaysOpen) {
    const CString text = folder_.Write("notes.bmp", Bytes(300, 'x'));
    const std::string good = folder_.File("sunset.bmp");
    WriteFileBytes(good, ReadFileBytes(std::string(KIV_SAMPLES) + "/sunset-24bit.bmp"));
    Answers boxes(IDOK);
    CString path;
    int result = -1;
    Drive(
        [&](QFileDialog& d) {
            Accept(d, QString::fromStdString(folder_.File("missing.bmp")));
            EXPECT_TRUE(d.isVisible()) << "504";
            Accept(d, Q(text));
            EXPECT_TRUE(d.isVisible()) << "671";
            Accept(d, QString::fromStdString(good));
        },
        [&] { result = KivPictureSelectPicFile(1, 0, path, nullptr, nullptr, 0); });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(path, Wide(good));
    EXPECT_EQ(boxes.shown, (std::vector<CString>{L"Current Selected File Does Not Exist, Please Select Again!",
                                                 L"Unable To Open Current Selected File(Invalid Format), Please "
                                                 L"Select Again!"}));
}

TEST_F(SimpleDialog, MultipleSelectionAppendsEveryPath) {
    const Bytes picture = ReadFileBytes(std::string(KIV_SAMPLES) + "/sunset-24bit.bmp");
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) folder_.Write(name, picture);
    CString path = L"x.bmp";
    CStringArray paths;
    Drive(
        [&](QFileDialog& d) {
            d.setDirectory(QString::fromStdString(folder_.Path().string()));
            Accept(d, "\"a.bmp\" \"b.bmp\" \"c.bmp\"");
        },
        [&] { EXPECT_EQ(KivPictureSelectPicFile(1, 2, path, &paths, nullptr, 1), 1); });
    ASSERT_EQ(paths.GetSize(), 3);
    for (INT_PTR i = 0; i < 3; ++i) EXPECT_EQ(paths[i], Wide(folder_.File(std::string(1, char('a' + i)) + ".bmp")));
    EXPECT_TRUE(path.IsEmpty());
}

TEST_F(SimpleDialog, SaveAsksBeforeReplacingAFile) {
    const CString existing = folder_.Write("old.tga", Bytes(10, 0));
    Answers boxes(IDNO);
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
        {"header.tga", TgaHeader(), "0KB", "640 X 480 (24)"},
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
    DWORD pixels[16];
    for (DWORD& p : pixels) p = 0xFF3366CC;
    struct Case {
        const char* typed;
        const char* saved;  // the file written, empty for none
        CRect rect;
        int result;
        bool bmp;  // BMP bytes, else TGA
        size_t boxes;
    } const cases[] = {
        {"a.Bmp", "a.Bmp", CRect(0, 0, 4, 4), 1, true, 0},
        {"b.jpeg", "b.jpeg", CRect(0, 0, 4, 4), 1, false, 0},
        {"c", "c.tga", CRect(0, 0, 4, 4), 1, false, 0},      // the default extension
        {"d.bmp", "", CRect(100, 100, 200, 200), 0, true, 1},  // wholly outside the buffer: 350
        {nullptr, "", CRect(0, 0, 4, 4), 0, true, 0},        // cancelled
    };
    for (const Case& c : cases) {
        Answers boxes(IDOK);
        int result = -1;
        EXPECT_TRUE(Drive(
            [&](QFileDialog& d) {
                if (c.typed) Accept(d, QString::fromStdString(folder_.File(c.typed)));
            },
            [&] { result = KivPicturePromptSavePicFile(pixels, CSize(4, 4), c.rect, nullptr); }));
        EXPECT_EQ(result, c.result) << c.saved;
        ASSERT_EQ(boxes.shown.size(), c.boxes) << c.saved;
        if (c.boxes) {
            EXPECT_EQ(boxes.shown[0], CString(L"Due To Short Of Memory Or Memory Fault, Saving Image File Failed!"));
        }
        if (*c.saved == 0) continue;
        const Bytes saved = ReadFileBytes(folder_.File(c.saved));
        ASSERT_GE(saved.size(), 2u) << c.saved;
        EXPECT_EQ(saved[0] == 'B' && saved[1] == 'M', c.bmp) << c.saved;
        LoadedPicture tga;
        if (!c.bmp) {
            EXPECT_NE(tga.pixels = KivPictureLoadTGAFile(Wide(folder_.File(c.saved)), tga.rect), nullptr) << c.saved;
        }
    }
    Answers boxes(IDOK);
    EXPECT_FALSE(Drive([](QFileDialog&) {}, [&] {
        EXPECT_EQ(KivPicturePromptSavePicFile(pixels, CSize(4, 4), CRect(0, 0, 0, 0), nullptr), 0);
    })) << "an empty region asks nothing";
    EXPECT_TRUE(boxes.shown.empty());
}
