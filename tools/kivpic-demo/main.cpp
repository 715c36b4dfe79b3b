// kivpic-demo: a small host of the module's window half, built as any host would be, against the
// installed interface only. A main window embeds the picture file panel beside a 720 x 576 frame; the
// panel's current picture, or the one chosen in the selection dialog, is drawn into the frame by the
// scaled load, and the frame's pixels can be saved through the save prompt.

#include <KivPictureUi.h>
#include <dialogs/PicFilePanelDlg.h>
#include <platform/Language.h>

#include <QActionGroup>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMainWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr CSize kFrameSize(720, 576);

class DemoWindow : public QMainWindow {
  public:
    explicit DemoWindow(const CString& startPath) : block_(std::size_t(kFrameSize.cx) * kFrameSize.cy) {
        setWindowTitle("KivPicture demo");
        auto* central = new QWidget(this);
        auto* row = new QHBoxLayout(central);
        panelHost_ = new QWidget(central);
        row->addWidget(panelHost_, 0, Qt::AlignTop);

        auto* column = new QVBoxLayout;
        frame_ = new QLabel(central);
        frame_->setFixedSize(kFrameSize.cx, kFrameSize.cy);
        frame_->setStyleSheet("background: black");
        column->addWidget(frame_);
        auto* buttons = new QHBoxLayout;
        for (auto [text, slot] : {std::pair{"Open…", &DemoWindow::OpenOne},
                                  std::pair{"Open several…", &DemoWindow::OpenSeveral},
                                  std::pair{"Save as…", &DemoWindow::SaveFrame}}) {
            auto* button = new QPushButton(QString::fromUtf8(text), central);
            connect(button, &QPushButton::clicked, this, slot);
            buttons->addWidget(button);
        }
        buttons->addStretch();
        column->addLayout(buttons);
        column->addStretch();
        row->addLayout(column);
        setCentralWidget(central);

        BuildLanguageMenu();
        CreatePanel(startPath);
        // The panel tells its host nothing: the host looks at its current file now and then.
        auto* poll = new QTimer(this);
        connect(poll, &QTimer::timeout, this, [this] {
            if (panel_ && panel_->GetFileFullPath() != shown_) Show(panel_->GetFileFullPath());
        });
        poll->start(250);
    }

    // Chooses entry index of the Language menu, as the user would.
    void ChooseLanguage(int index) {
        if (index >= 0 && index < int(languageActions_.size())) languageActions_[index]->trigger();
    }

  private:
    void BuildLanguageMenu() {
        QMenu* menu = menuBar()->addMenu("&Language");
        auto* group = new QActionGroup(this);
        for (auto [name, language] : {std::pair{"English", LANG_ENGLISH_US},
                                      std::pair{"简体中文", LANG_CHINESE_SIMPLIFIED},
                                      std::pair{"繁體中文", LANG_CHINESE_TRADITIONAL}}) {
            QAction* action = menu->addAction(QString::fromUtf8(name));
            action->setCheckable(true);
            action->setChecked(GetThreadUILanguage() == language);
            group->addAction(action);
            languageActions_.push_back(action);
            connect(action, &QAction::triggered, this, [this, chosen = language] { SetLanguage(chosen); });
        }
    }

    // The panel's texts come from the module's resources of the thread's language when it is created,
    // so a new language takes a new panel, at the folder the old one showed.
    void SetLanguage(LANGID language) {
        SetThreadUILanguage(language);
        const CString path = panel_ ? panel_->GetFileFullPath() : CString();
        CreatePanel(path);
    }

    void CreatePanel(const CString& path) {
        panel_.reset();  // its destructor takes its window and tree down while it is whole
        panel_ = std::make_unique<CKivPicFilePanelDlg>();
        if (!panel_->Create(1, CKivPicFilePanelDlg::kAllTypes, path, CWnd::FromHandle(panelHost_))) {
            panel_.reset();
            return;
        }
        CRect rect;
        panel_->GetWindowRect(&rect);
        panelHost_->setFixedSize(rect.Width(), rect.Height());
        panel_->MoveWindow(0, 0, rect.Width(), rect.Height());
        panel_->ShowWindow(SW_SHOW);
    }

    // Draws the picture scaled into the frame's block, as a host draws into a video frame.
    void Show(const CString& path) {
        shown_ = path;
        std::fill(block_.begin(), block_.end(), tagCOLOR32{});
        if (!path.IsEmpty()) KivPictureZoomPicFile(path, block_.data(), kFrameSize, 2);
        static_assert(sizeof(tagCOLOR32) == 4);  // bytes blue, green, red, alpha: Qt's ARGB32 word
        QImage image(kFrameSize.cx, kFrameSize.cy, QImage::Format_ARGB32);
        std::memcpy(image.bits(), block_.data(), block_.size() * sizeof(tagCOLOR32));
        frame_->setPixmap(QPixmap::fromImage(image));
    }

    void OpenOne() {
        CString path = shown_;
        CStringArray paths;
        if (KivPictureSelectPicFile(1, 0, path, &paths, CWnd::FromHandle(this), 0)) Show(path);
    }

    // Several pictures are drawn one after another into the frame; the last one stays.
    void OpenSeveral() {
        CString path = shown_;
        CStringArray paths;
        if (!KivPictureSelectPicFile(1, 0, path, &paths, CWnd::FromHandle(this), 1)) return;
        if (paths.GetSize() == 0 && !path.IsEmpty()) paths.Add(path);  // the detailed dialog chooses one
        for (INT_PTR i = 0; i < paths.GetSize(); ++i) Show(paths[i]);
    }

    void SaveFrame() {
        KivPicturePromptSavePicFile(reinterpret_cast<DWORD*>(block_.data()), kFrameSize,
                                    CRect(0, 0, kFrameSize.cx, kFrameSize.cy), CWnd::FromHandle(this));
    }

    QWidget* panelHost_ = nullptr;
    QLabel* frame_ = nullptr;
    std::vector<QAction*> languageActions_;
    std::unique_ptr<CKivPicFilePanelDlg> panel_;
    std::vector<tagCOLOR32> block_;
    CString shown_;
};

}  // namespace

// kivpic-demo [PATH] [--language N] [--screenshot FILE]: PATH is where the panel starts; --language chooses
// entry N of the Language menu (0 English, 1 Simplified, 2 Traditional Chinese); --screenshot renders the
// window once into FILE (PNG) and exits, for the screenshots script.
int main(int argc, char** argv) {
    QApplication application(argc, argv);
    KivPictureOpen();
    QString screenshot;
    CString start;
    int language = -1;
    const QStringList arguments = QApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--screenshot" && i + 1 < arguments.size())
            screenshot = arguments[++i];
        else if (arguments[i] == "--language" && i + 1 < arguments.size())
            language = arguments[++i].toInt();
        else
            start = CString::FromFileSystem(argv[i]);
    }
    int status = 0;
    {
        DemoWindow window(start);
        window.ChooseLanguage(language);
        window.show();
        if (screenshot.isEmpty()) {
            status = QApplication::exec();
        } else {
            // The panel's search and the first poll run before the picture is taken.
            QTimer::singleShot(600, &window, [&] {
                status = window.grab().save(screenshot) ? 0 : 1;
                QApplication::quit();
            });
            QApplication::exec();
        }
    }
    KivPictureClose();
    return status;
}
