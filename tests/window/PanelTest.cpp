// The picture file panel in a Qt host of its own, over a scratch volume of a mount table of our own: the
// start file selected and previewed, the information lines, the type box per mode, searches on type and
// folder changes, the volume box, the layout on a resize, the view toggle, and every tree record given
// back to the shell allocator.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QProgressBar>
#include <QTimer>
#include <QWidget>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "KivPicture.h"
#include "TestFiles.h"
#include "dialogs/PicFilePanelDlg.h"
#include "media/ClipMediaObj.h"

namespace fs = std::filesystem;

namespace {

// While it lives, this thread and the threads it starts lose root's right to read and search every folder,
// so that a folder's permissions apply to them as to any user.
class PermissionsApply {
  public:
    PermissionsApply() {
        if (syscall(SYS_capget, &header_, saved_) != 0) return;
        __user_cap_data_struct reduced[2] = {saved_[0], saved_[1]};
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
        dropped_ = syscall(SYS_capset, &header_, reduced) == 0;
    }
    ~PermissionsApply() {
        if (dropped_) syscall(SYS_capset, &header_, saved_);
    }
    PermissionsApply(const PermissionsApply&) = delete;
    PermissionsApply& operator=(const PermissionsApply&) = delete;

  private:
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct saved_[2] = {};
    bool dropped_ = false;
};

// A picture of one colour (0xAARRGGBB) written by the module's writers.
void WritePicture(const fs::path& path, int width, int height, DWORD colour) {
    std::vector<DWORD> pixels(size_t(width) * size_t(height), colour);
    const CString file = CString::FromFileSystem(path.string());
    const CSize size(width, height);
    const CRect all(0, 0, width, height);
    const fs::path extension = path.extension();
    ASSERT_TRUE(extension == ".tga"   ? KivPictureSaveTGAFile(file, pixels.data(), size, all)
                : extension == ".jpg" ? KivPictureSaveJPGFile(file, pixels.data(), size, all)
                                      : KivPictureSaveBMPFile(file, pixels.data(), size, all));
}

// vol/{red.bmp 640x480, blue.tga, empty.bmp (0 bytes), sub/{green.bmp 10x10, photo.jpg 640x480, deeper}}, the only fixed volume of
// a table that also lists the root and a share; the panel lives in a host widget.
class Panel : public testing::Test {
  protected:
    void SetUp() override {
        vol_ = folder_.Path() / "vol";
        fs::create_directories(vol_ / "sub" / "deeper");
        WritePicture(vol_ / "red.bmp", 640, 480, 0xFFFF0000);
        WritePicture(vol_ / "blue.tga", 40, 30, 0xFF0000FF);
        WritePicture(vol_ / "sub" / "green.bmp", 10, 10, 0xFF00FF00);
        WritePicture(vol_ / "sub" / "photo.jpg", 640, 480, 0xFF808080);
        std::ofstream(vol_ / "empty.bmp").close();
        std::ofstream table(folder_.File("mountinfo"));
        table << "1 0 8:2 / / rw - ext4 /dev/sda2 rw\n"
              << "22 1 0:21 / /proc rw - proc proc rw\n"
              << "27 1 8:1 / " << vol_.string() << " rw - ext4 /dev/sda1 rw\n"
              << "28 1 0:50 / /net/server rw - nfs4 server:/export rw\n";
        table.close();
        SetMountTableForTesting(folder_.File("mountinfo").c_str());
        baseBlocks_ = ShellAllocatorLiveBlocks();
        // The current folder and the home folder are the scratch volume's: no search ever leaves it.
        previousFolder_ = fs::current_path();
        fs::current_path(vol_ / "sub");
        const char* home = std::getenv("HOME");
        previousHome_ = home ? home : "";
        setenv("HOME", (vol_ / "sub").c_str(), 1);
        host_ = std::make_unique<QWidget>();
        host_->resize(800, 600);
    }
    void TearDown() override {
        panel_.reset();
        EXPECT_EQ(ShellAllocatorLiveBlocks(), baseBlocks_) << "every tree record goes back";
        host_.reset();
        SetMountTableForTesting(nullptr);
        fs::current_path(previousFolder_);
        setenv("HOME", previousHome_.c_str(), 1);
    }

    CKivPicFilePanelDlg& Open(int bOpen, int type, const fs::path& start) {
        panel_ = std::make_unique<CKivPicFilePanelDlg>();
        EXPECT_TRUE(panel_->Create(bOpen, type, CString::FromFileSystem(start.string()), CWnd::FromHandle(host_.get())));
        panel_->ShowWindow(SW_SHOW);
        host_->show();
        QApplication::processEvents();
        return *panel_;
    }
    std::vector<std::wstring> Names() const {
        std::vector<std::wstring> names;
        for (POSITION p = panel_->m_mediaList.GetHeadPosition(); p;)
            names.push_back(static_cast<CKivClipMediaObj*>(panel_->m_mediaList.GetNext(p))->GetPureFileName().Text());
        std::sort(names.begin(), names.end());
        return names;
    }
    std::vector<std::wstring> BoxTexts(const CComboBox& box) const {
        std::vector<std::wstring> texts;
        for (int i = 0; i < box.GetCount(); ++i) {
            CString text;
            box.GetLBText(i, text);
            texts.push_back(text.Text());
        }
        return texts;
    }
    CRect RectOf(int id) const {
        CRect rect;
        panel_->GetDlgItem(id)->GetWindowRect(&rect);
        panel_->ScreenToClient(&rect);
        return rect;
    }
    CString Folder(const fs::path& path) const { return CString::FromFileSystem(path.string() + "/"); }

    ScratchFolder folder_;
    fs::path vol_;
    fs::path previousFolder_;
    std::string previousHome_;
    long baseBlocks_ = 0;
    std::unique_ptr<QWidget> host_;
    std::unique_ptr<CKivPicFilePanelDlg> panel_;
};

TEST_F(Panel, StartFileIsSelectedAndPreviewedWithoutInformationLines) {
    CKivPicFilePanelDlg& panel = Open(1, 0, vol_ / "RED.BMP");  // missing: the current folder instead
    EXPECT_EQ(panel.GetFileFullPath(), Folder(vol_ / "sub"));
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"green.bmp", L"photo.jpg"}));
    panel_.reset();

    CKivPicFilePanelDlg& started = Open(1, 0, vol_ / "red.bmp");
    EXPECT_EQ(started.m_strFilePath, Folder(vol_));
    EXPECT_EQ(started.GetFileFullPath(), Folder(vol_) + L"red.bmp");
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"blue.tga", L"red.bmp"})) << "an empty file is no picture";
    ASSERT_GE(started.m_listCtrl.GetCurSel(), 0);
    POSITION at = started.m_mediaList.FindIndex(started.m_listCtrl.GetCurSel());
    EXPECT_EQ(static_cast<CKivClipMediaObj*>(started.m_mediaList.GetAt(at))->GetPureFileName().Text(), L"red.bmp");
    EXPECT_EQ(started.m_strFileSize.Text(), L"");
    EXPECT_EQ(started.m_strImageSize.Text(), L"");
    EXPECT_EQ(BoxTexts(started.m_cbDriveType),
              (std::vector<std::wstring>{L"Local Hard Disk(/)",
                                          L"Local Hard Disk(" + CString::FromFileSystem(vol_.string()).Text() + L")",
                                          L"Network Mapping Disk(/net/server)"}));
    EXPECT_EQ(started.m_cbDriveType.GetCurSel(), 1);

    // The preview: red inside the frame, dark top-left and light bottom-right edges.
    QApplication::processEvents();
    const QImage shot = started.m_hWnd->grab().toImage();
    const CRect preview = RectOf(4003);
    EXPECT_EQ(QColor(shot.pixel((preview.left + preview.right) / 2, (preview.top + preview.bottom) / 2)).rgb(), qRgb(255, 0, 0));
    EXPECT_EQ(QColor(shot.pixel(preview.left + 1, preview.top + 1)).rgb(), qRgb(0x5C, 0x5A, 0x5A));
    EXPECT_EQ(QColor(shot.pixel(preview.right - 2, preview.bottom - 2)).rgb(), qRgb(0xC4, 0xC1, 0xBF));
}

TEST_F(Panel, SelectionFillsSizeTexts) {
    fs::resize_file(vol_ / "blue.tga", 5000000);  // a large file: still read, size shown in whole KiB
    CKivPicFilePanelDlg& panel = Open(1, 0, vol_ / "red.bmp");
    struct Case {
        const char* folder;
        const wchar_t* name;
        const wchar_t* size;
        const wchar_t* image;
    };
    const Case cases[] = {{"", L"red.bmp", L"1200KB", L"640 X 480 (32)"},
                          {"", L"blue.tga", L"4882KB", L"40 X 30 (32)"},
                          {"sub", L"green.bmp", L"0KB", L"10 X 10 (32)"},  // 454 bytes
                          {"sub", L"photo.jpg", nullptr, L"640 X 480 (24)"}};
    for (const Case& c : cases) {
        panel.InitSelectDirectory(Folder(vol_ / c.folder).GetString());
        int index = 0;
        for (POSITION p = panel.m_mediaList.GetHeadPosition(); p; ++index)
            if (static_cast<CKivClipMediaObj*>(panel.m_mediaList.GetNext(p))->GetPureFileName().Text() == c.name) break;
        panel.m_listCtrl.SetCurSel(index, 1);
        panel.OnSelchangeListFile();
        EXPECT_EQ(panel.m_strFileName.Text(), c.name);
        if (c.size) {
            EXPECT_EQ(panel.m_strFileSize.Text(), c.size) << c.name;
        }
        EXPECT_EQ(panel.m_strImageSize.Text(), c.image) << c.name;
    }
}

TEST_F(Panel, TypeBoxPerModeAndTypeChangesRefilter) {
    struct Case {
        int open, type;
        size_t entries;
        std::vector<std::wstring> names;
    };
    const Case cases[] = {
        {1, 0, 7, {L"blue.tga", L"red.bmp"}},
        {0, 0, 5, {L"blue.tga"}},  // save mode starts at TGA
        {1, 2, 1, {L"red.bmp"}},
        {1, 9, 0, {}},
    };
    for (const Case& c : cases) {
        CKivPicFilePanelDlg& panel = Open(c.open, c.type, vol_ / "");
        EXPECT_EQ(size_t(panel.m_cbFileType.GetCount()), c.entries) << c.open << " " << c.type;
        EXPECT_EQ(Names(), c.names) << c.open << " " << c.type;
        EXPECT_EQ(panel.m_listCtrl.GetCellCount(), int(c.names.size()));
    }
    CKivPicFilePanelDlg& panel = Open(1, 0, vol_ / "");
    EXPECT_EQ(BoxTexts(panel.m_cbFileType)[5], L"JPG File(*.jpg)");
    panel.m_cbFileType.SetCurSel(2);  // BMP
    panel.OnSelchangeComboFileType();
    EXPECT_EQ(Names(), std::vector<std::wstring>{L"red.bmp"});
    EXPECT_EQ(panel.m_strFileName.Text(), L"red.bmp") << "the first record becomes the current file";
}

TEST_F(Panel, TreeWalksToTheStartFolderAndSelectionsSearch) {
    CKivPicFilePanelDlg& walked = Open(1, 0, vol_ / "sub");  // a folder without separator names a file "sub"
    EXPECT_EQ(walked.m_strFilePath, Folder(vol_));
    // Files are no tree items: the walk stops at the folder above.
    walked.InitSelectDirectory((Folder(vol_) + L"sub/green.bmp").GetString());
    HTREEITEM sub = walked.Tree().GetSelectedItem();
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(walked.Tree().GetItemText(sub).Text(), L"sub") << "the walk stops at the first missing folder";
    EXPECT_EQ(walked.m_strFilePath, Folder(vol_ / "sub"));
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"green.bmp", L"photo.jpg"})) << "a ready panel searches on a tree selection";

    walked.m_bAutoSearch = 0;
    walked.Tree().SelectItem(walked.Tree().GetRootItem());
    EXPECT_EQ(walked.m_strFilePath, Folder(vol_));
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"green.bmp", L"photo.jpg"})) << "no search without m_bAutoSearch";

    walked.m_bAutoSearch = 1;
    walked.InitSelectDirectory(L"/no/such/folder");  // the home folder's volume, at its root
    EXPECT_EQ(walked.m_cbDriveType.GetCurSel(), 1);
    EXPECT_EQ(walked.m_strFilePath, Folder(vol_));
    EXPECT_EQ(Names(), (std::vector<std::wstring>{L"blue.tga", L"red.bmp"}));
}

TEST_F(Panel, LayoutFollowsTheSizeAndTheViewToggles) {
    CKivPicFilePanelDlg& panel = Open(1, 0, vol_ / "");
    panel.MoveWindow(0, 0, 600, 450);
    QApplication::processEvents();
    const int ids[] = {1003, 4003, 4001, 4004, 4017, 1006, 4016, 4002, 4015, 1010, 4013, 1000, 4014, 1001, 1002};
    std::vector<CRect> before;
    for (int id : ids) before.push_back(RectOf(id));
    panel.MoveWindow(0, 0, 650, 500);
    QApplication::processEvents();
    // dx, dy of the top-left corner; growth of width and height.
    struct Change { int dx, dy, dw, dh; };
    const Change expected[] = {{0, 0, 0, 50},  {0, 50, 0, 0},  {0, 0, 50, 50}, {50, 50, 0, 0}, {0, 50, 0, 0},
                               {0, 50, 50, 0}, {0, 50, 0, 0},  {0, 50, 0, 0},  {0, 50, 0, 0},  {0, 50, 50, 0},
                               {0, 50, 0, 0},  {0, 50, 50, 0}, {0, 50, 0, 0},  {0, 50, 50, 0}, {0, 0, 0, 0}};
    for (size_t i = 0; i < std::size(ids); ++i) {
        const auto [dx, dy, dw, dh] = expected[i];
        const CRect& b = before[i];
        EXPECT_EQ(RectOf(ids[i]), CRect(b.left + dx, b.top + dy, b.right + dx + dw, b.bottom + dy + dh))
            << ids[i];
    }
    EXPECT_EQ(RectOf(4004).right, 650 - 5);
    EXPECT_EQ(RectOf(1006).right, std::min(650 - 65, RectOf(4004).left - 4)) << "beside the view button, not under it";
    EXPECT_LE(RectOf(1001).bottom, 500 - 2) << "the lowest line stays inside";

    MINMAXINFO limits{};
    panel.OnGetMinMaxInfo(&limits);
    EXPECT_EQ(limits.ptMinTrackSize.x * 10000 + limits.ptMaxTrackSize.y, 100 * 10000 + 900);

    for (int mode : {1, 0, 1}) {
        panel.OnBtnView();
        EXPECT_EQ(panel.m_listCtrl.GetViewMode(), mode);
    }
}

}  // namespace

// A ready panel reads a folder off the window thread: timers run and the progress window counts while the
// search runs, and the records and cache are the blocking listing's. A folder changing under the search
// leaves a list that matches its records, which the next search puts right; an unreadable folder lists none.
TEST_F(Panel, SearchesRunBesideTheWindowAndSurviveTheFolderChanging) {
    constexpr int kPictures = 150;
    const fs::path many = vol_ / "many";
    auto Numbered = [](int i) { return "p" + std::to_string(1000 + i).substr(1) + ".jpg"; };
    auto names = [](const fs::path& folder) {
        std::vector<std::wstring> found;
        for (const auto& entry : fs::directory_iterator(folder)) found.push_back(entry.path().filename().wstring());
        std::sort(found.begin(), found.end());
        return found;
    };
    CKivPicFilePanelDlg& panel = Open(1, 0, vol_);
    enum Change { kNone, kFilesRemoved, kFolderRemoved, kUnreadable };
    for (const Change change : {kNone, kFilesRemoved, kFolderRemoved, kUnreadable}) {
        SCOPED_TRACE(change);
        fs::create_directories(many);
        std::vector<DWORD> noise(1920 * 1080);  // grain, so that every picture takes a while to decode
        for (size_t i = 0; i < noise.size(); ++i) noise[i] = 0xFF000000 | DWORD(i * 2654435761u >> 8);
        ASSERT_TRUE(KivPictureSaveJPGFile(Folder(many) + L"p000.jpg", noise.data(), CSize(1920, 1080), CRect(0, 0, 1920, 1080)));
        for (int i = 1; i < kPictures; ++i) fs::copy_file(many / "p000.jpg", many / Numbered(i));
        const std::vector<std::wstring> before = names(many);
        int ticks = 0;
        QString counted;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (!panel.m_bSearching) return;
            if (ticks++ == 0 && change == kFilesRemoved)
                for (int i = 50; i < kPictures; ++i) fs::remove(many / Numbered(i));
            if (ticks == 1 && change == kFolderRemoved) fs::remove_all(many);
            for (QWidget* window : QApplication::topLevelWidgets())
                if (auto* bar = window->findChild<QProgressBar*>("bar"); bar && bar->isVisible()) counted = bar->text();
        });
        timer.start(2);
        const auto search = [&] {
            panel.m_strFilePath = Folder(many);
            panel.UpdateData(FALSE);  // the path line is read back before the information lines are shown
            panel.SelectFileType(0);
            return panel.m_listCtrl.GetCellCount() == int(panel.m_mediaList.GetCount());
        };
        if (change == kUnreadable) {
            fs::permissions(many, fs::perms::none);
            {
                const PermissionsApply asUser;
                std::error_code refused;
                fs::directory_iterator(many, refused);
                EXPECT_TRUE(refused) << "the folder is closed to this thread";
                EXPECT_TRUE(search());
            }
            EXPECT_TRUE(Names().empty());
            fs::permissions(many, fs::perms::owner_all);
            fs::remove_all(many);
            continue;
        }
        const auto started = std::chrono::steady_clock::now();
        ASSERT_TRUE(search());
        timer.stop();
        // What a search shows depends on how long it ran: a fast machine may read the folder within the
        // quiet first 40 ms, or before the progress window's 150 ms.
        const auto ran = std::chrono::steady_clock::now() - started;
        if (ran > std::chrono::milliseconds(80)) EXPECT_GT(ticks, 0) << "timers run while the folder is read";
        if (change == kNone) {
            if (ran > std::chrono::milliseconds(300)) EXPECT_TRUE(counted.endsWith(" / 150")) << counted.toStdString();
            EXPECT_EQ(Names(), before);
            CKivObList listed;
            KivMediaFetchReport report;
            ASSERT_TRUE(KivPictureFetchValidMediaFile(&listed, Folder(many), Folder(many) + L"VudEvovi.pmf", L"bmp,tga,jpg,gif,pcx,psd", {}, &report));
            EXPECT_TRUE(report.cacheTrusted) << "the search wrote the cache a blocking listing trusts";
        }
        std::vector<std::wstring> shown = Names();
        EXPECT_TRUE(std::includes(before.begin(), before.end(), shown.begin(), shown.end()));
        if (!fs::exists(many)) fs::create_directories(many);
        ASSERT_TRUE(search());
        std::vector<std::wstring> now = names(many);
        now.erase(std::remove(now.begin(), now.end(), L"VudEvovi.pmf"), now.end());
        EXPECT_EQ(Names(), now) << "the next search lists what is there";
        fs::remove_all(many);
    }
}
