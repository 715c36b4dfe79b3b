// Not a check: renders the window foundation for people to look at (scripts/screenshots.sh runs it under
// a virtual display). The samples' records in the thumbnail list, the module's dialog templates and the
// save prompt's progress window in each language, the folder tree opened on a temporary folder, and the
// fills. The running selection dialogs are kivpic pick's pictures (--screenshot).
#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>

#include <cstdlib>
#include <filesystem>

#include "KivPictureUi.h"
#include "TestFiles.h"
#include "TreeHost.h"
#include "dialogs/ShellTree.h"
#include "media/window/ClipMediaListCtrl.h"
#include "libraries/KivColor.h"
#include "libraries/window/KivGuiDialogs.h"
#include "libraries/window/KivGuiSkin.h"
#include "platform/Language.h"
#include "platform/window/WindowWidgets.h"

extern const ModuleResourceTable kKivPictureUiResources;

namespace {

void Save(const QPixmap& picture, const QString& name) {
    EXPECT_TRUE(picture.save(QString::fromUtf8(std::getenv("KIV_SCREENSHOTS")) + "/" + name)) << name.toStdString();
}

void Save(QWidget* widget, const QString& name) {
    widget->show();
    for (int i = 0; i < 5; ++i) QApplication::processEvents();
    Save(widget->grab(), name);
}

// The save prompt's progress window over its owner, taken when it shows, just before the writer runs:
// both windows as they render themselves, where they stand on the screen. The prompt asks for a name
// first, and only the tests answer a dialog in a person's place, so this picture is taken here.
class ProgressOverOwner : public QObject {
  public:
    ProgressOverOwner(QWidget* owner, QString name) : owner_(owner), name_(std::move(name)) {
        qApp->installEventFilter(this);
    }
    ~ProgressOverOwner() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* window = qobject_cast<QWidget*>(object);
        if (event->type() != QEvent::Show || !window || !window->isWindow() || !window->findChild<QProgressBar*>())
            return false;
        const QRect area = owner_->geometry() | window->geometry();
        QPixmap shot(area.size());
        shot.fill(Qt::black);
        QPainter painter(&shot);
        painter.drawPixmap(owner_->geometry().topLeft() - area.topLeft(), owner_->grab());
        painter.drawPixmap(window->geometry().topLeft() - area.topLeft(), window->grab());
        painter.end();
        Save(shot, name_);
        return false;
    }

  private:
    QWidget* owner_;
    QString name_;
};

}  // namespace

TEST(Screenshots, DISABLED_Foundation) {
    if (std::getenv("KIV_SCREENSHOTS") == nullptr) GTEST_SKIP() << "KIV_SCREENSHOTS names no folder";
    ScratchFolder samples;  // the gathering writes its cache beside the pictures, never into samples/
    for (const auto& entry : std::filesystem::directory_iterator(KIV_SAMPLES))
        if (entry.is_regular_file()) std::filesystem::copy(entry.path(), samples.Path() / entry.path().filename());
    const CString dir = CString::FromFileSystem(samples.Path().string() + "/");
    CKivObList records;
    ASSERT_TRUE(KivPictureFetchValidMediaFile(&records, dir, dir + L"VudEvovi.pmf", L"bmp,tga,jpg,gif,pcx,psd"));
    CKivClipMediaListCtrl list;
    ASSERT_TRUE(list.Create(nullptr, L"", WS_VISIBLE, CRect(0, 0, 560, 420), nullptr, 4001));
    list.SetClipMediaList(&records);
    list.SetCellCount(int(records.GetCount()), 0, 1);
    list.SetCurSel(1, 1);
    for (const int mode : {0, 1}) {
        list.SetIconAttr(CSize(64, 48), 1, 1, 1);
        list.SetViewMode(mode, 1);
        Save(list.m_hWnd, QString("list-mode%1.png").arg(mode));
    }
    // The module's templates in each language, as a host would see them, and the save prompt's progress
    // over a host window showing the picture it saves (the simple dialog, answered with a name, asks).
    LoadedPicture sunset;
    sunset.pixels = KivPictureLoadPicFile(CString::FromFileSystem(KIV_SAMPLES "/sunset-24bit.bmp"), sunset.rect);
    ASSERT_NE(sunset.pixels, nullptr);
    QLabel owner;
    owner.setPixmap(QPixmap::fromImage(QImage(reinterpret_cast<const uchar*>(sunset.pixels), sunset.rect.Width(),
                                              sunset.rect.Height(), QImage::Format_ARGB32)));
    owner.setScaledContents(true);
    owner.setFixedSize(560, 315);
    const int dialogChoice = KivPictureGetOpenDialogChoice();
    KivPictureSetOpenDialogChoice(1);
    for (const auto& [id, suffix] : {std::pair{LANG_ENGLISH_US, "en"}, std::pair{LANG_CHINESE_SIMPLIFIED, "zh_CN"},
                                     std::pair{LANG_CHINESE_TRADITIONAL, "zh_TW"}}) {
        SetThreadUILanguage(id);
        for (const UINT templateId : {224u, 225u, 226u}) {
            QWidget host;
            CKivAquaBaseDlg dialog(templateId);
            ASSERT_TRUE(dialog.DlgCreate(&kKivPictureUiResources, CWnd::FromHandle(&host), templateId));
            CKivAquaAutoMaker skin;
            skin.Attach(&dialog);
            dialog.CheckDlgButton(4006, BST_CHECKED);
            dialog.ShowWindow(SW_SHOW);
            dialog.m_hWnd->adjustSize();
            Save(dialog.m_hWnd, QString("dialog%1-%2.png").arg(templateId).arg(suffix));
        }
        owner.show();
        ProgressOverOwner progress(&owner, QString("save-progress-%1.png").arg(suffix));
        const auto saved = samples.Path() / (std::string("saved-") + suffix + ".bmp");
        QTimer::singleShot(0, [&] {
            if (auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                files->selectFile(QString::fromStdString(saved.string()));
                static_cast<QDialog*>(files)->accept();
            }
        });
        EXPECT_TRUE(KivPicturePromptSavePicFile(sunset.pixels, sunset.rect.Size(), sunset.rect,
                                                CWnd::FromHandle(&owner)));
    }
    KivPictureSetOpenDialogChoice(dialogChoice);
    SetThreadUILanguage(0);

    // The folder tree, opened from the computer folder down to a temporary folder.
    ScratchFolder folder;
    for (const char* name : {"Holiday 2026/Beach", "Holiday 2026/Mountains", "Studio/Titles", "Studio/Stills",
                             "Archive", ".hidden"})
        std::filesystem::create_directories(folder.Path() / name);
    TreeHost host(WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS, CSize(320, 480));
    host.tree.AttachSystemImageList();
    host.tree.FillFromSpecialFolder(CSIDL_DRIVES);
    HTREEITEM item = host.Open(TVI_ROOT, L"(/)");
    for (const auto& part : folder.Path().relative_path())
        if (item != nullptr) item = host.Open(item, part.wstring());
    if (item != nullptr) host.Open(item, L"Holiday 2026");
    Save(host.m_hWnd, "tree.png");

    // The fills: a colour, a colour bar, and a picture over black and over the checker.
    QWidget board;
    board.resize(4 * 170 + 10, 140);
    CWnd areas[4];
    for (int i = 0; i < 4; ++i) {
        auto* area = new QWidget(&board);
        area->setGeometry(10 + i * 170, 10, 160, 120);
        areas[i].Attach(area);
    }
    board.show();
    QApplication::processEvents();
    tagCOLOR32 colour{200, 120, 40, 255};
    KivPictureColorFillWnd(&areas[0], &colour);
    CKivColor32Array bar{{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}};
    KivPictureCSPDFillWnd(&areas[1], &bar);
    const CString picture = CString::FromFileSystem(KIV_SAMPLES "/hat.jpg");
    KivPictureFileFillWnd(&areas[2], picture, 0);
    KivPictureFileFillWnd(&areas[3], picture, 1);
    Save(&board, "fills.png");
    for (CWnd& area : areas) area.Detach();
}
