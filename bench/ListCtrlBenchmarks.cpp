// Speed of the media list's painting: one frame of a 1920 x 1080 list of 1000 records (the cells in view,
// each its 80 x 60 thumbnail fitted into a 64 x 48 icon area with its title below, as the picture panel
// starts) rendered into an image, beside the floor of the same number of plain QPainter::drawImage blits
// of 80 x 60 images into an image of that size. Two rows: the first screen of the list and the last one,
// where each cell's record is found furthest down the record list.
//
// The target: a frame of cells within 2x the plain blits (the ours/floor column). Every frame after the
// first finds each thumbnail already fitted to its cell (the icon's drawing cache), as a list repainting
// or scrolling back does; the first paint of a cell also converts and scales its thumbnail.
//
// The window system is Qt's offscreen platform unless QT_QPA_PLATFORM names another; the records are made
// in memory (a painting reads no file).

#include <QImage>
#include <QPainter>
#include <QWidget>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "KivPicture.h"
#include "KivPictureUi.h"
#include "platform/GlobalMemory.h"

namespace bench {
namespace {

constexpr int kRecords = 1000;
constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;
constexpr int kThumbWidth = 80;
constexpr int kThumbHeight = 60;
constexpr int kListId = 4001;

// The list in its window, its records and the blits' pictures; made once, on first use.
struct Scene {
    std::unique_ptr<CWnd> parent = std::make_unique<CWnd>();
    CKivClipMediaListCtrl list;
    CKivObList records;
    QImage frame{kScreenWidth, kScreenHeight, QImage::Format_ARGB32_Premultiplied};
    std::vector<QImage> thumbnails;  // the blits' pictures, one per visible cell
    int visibleCells = 0;

    Scene() {
        EnsureWindowSystem();
        Noise noise;
        for (int i = 0; i < kRecords; ++i) {
            auto* record = new CKivClipMediaObj;
            record->m_strMediaFile = CString(L"/nonexistent/picture") + CString(std::to_wstring(i)) + L".jpg";
            record->m_strShowName = CString(L"picture") + CString(std::to_wstring(i)) + L".jpg";
            auto* bits = static_cast<BYTE*>(GlobalAlloc(GPTR, kThumbWidth * kThumbHeight * 3));
            for (int p = 0; p < kThumbWidth * kThumbHeight * 3; ++p) bits[p] = BYTE(128 + noise.Next(100));
            record->m_Icon.SetIcon(bits, CSize(kThumbWidth, kThumbHeight));
            records.AddTail(record);
        }
        if (!parent->Create(nullptr, L"", 0, CRect(0, 0, kScreenWidth, kScreenHeight), nullptr, 0) ||
            !list.Create(parent.get(), kListId, 0x10000000))
            Fail("the list window could not be made");
        list.MoveWindow(0, 0, kScreenWidth, kScreenHeight);
        list.SetIconAttr(CSize(64, 48), 1, 1, 1);
        list.SetClipMediaList(&records);
        list.SetCellCount(kRecords, 0, 1);
        list.RecalcLayout(1, 1);
        for (int i = 0; i < kRecords; ++i) {
            const CRect cell = list.GetCellRect(i);
            if (cell.top >= 0 && cell.top < kScreenHeight) ++visibleCells;
        }
        const std::vector<std::uint32_t>& photo = Photo(kThumbWidth * 4, kThumbHeight * 4);
        for (int i = 0; i < visibleCells; ++i) {
            QImage thumbnail(kThumbWidth, kThumbHeight, QImage::Format_RGB32);
            for (int y = 0; y < kThumbHeight; ++y)
                for (int x = 0; x < kThumbWidth; ++x)
                    thumbnail.setPixel(x, y, photo[(y + i % 3 * kThumbHeight) * kThumbWidth * 4 + x + i % 4 * kThumbWidth]);
            thumbnails.push_back(thumbnail);
        }
    }
};

// Never destroyed, like the application object its windows belong to.
Scene& TheScene() {
    static Scene* scene = new Scene;
    return *scene;
}

bool RenderList(int scrollToCell) {
    Scene& scene = TheScene();
    scene.list.SetCurSel(scrollToCell, 1);
    scene.frame.fill(Qt::transparent);
    scene.list.m_hWnd->render(&scene.frame);
    return true;
}

bool Blits() {
    Scene& scene = TheScene();
    scene.frame.fill(Qt::transparent);
    QPainter painter(&scene.frame);
    const int columns = kScreenWidth / kThumbWidth;
    for (int i = 0; i < scene.visibleCells; ++i)
        painter.drawImage(i % columns * kThumbWidth, i / columns * kThumbHeight % kScreenHeight,
                          scene.thumbnails[size_t(i)]);
    return true;
}

}  // namespace

void RegisterListCtrlBenchmarks() {
    ComparisonTable& table =
        AddTable("list", "Media list: one 1920x1080 frame of cells from 1000 records beside as many 80x60 blits");
    const auto note = [](ComparisonRow& row) {
        row.Note(std::to_string(TheScene().visibleCells) + " cells in view; target ours/floor <= 2");
    };
    ComparisonRow& first = table.Row("first screen", note);
    first.Time("cells", Role::ours, [] { return RenderList(0); });
    first.Time("blits", Role::floor, Blits);
    ComparisonRow& last = table.Row("last screen", {});
    last.Time("cells", Role::ours, [] { return RenderList(kRecords - 1); });
    last.Time("blits", Role::floor, Blits);
}

}  // namespace bench
