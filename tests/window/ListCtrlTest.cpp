// The GUI library's list, progress window and skin, and the media list drawn from records made in memory
// (their paths name no file: painting must never need one).
#include <gtest/gtest.h>

// Before Qt's headers, whose global begin() and end() the file layer's seek names would shadow.
#include "KivPicture.h"
#include "WidgetPixels.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <memory>
#include <utility>
#include <vector>

#include "libraries/window/KivGuiProgress.h"
#include "libraries/window/KivGuiSkin.h"
#include "media/ClipMediaObj.h"
#include "media/window/ClipMediaListCtrl.h"
#include "platform/GlobalMemory.h"

namespace {

constexpr UINT kListId = 4001;
constexpr DWORD kVisible = 0x10000000;

// A top-level window that records the commands its children send.
class Parent : public CWnd {
  public:
    std::vector<std::pair<UINT, UINT>> commands;  // (ID, code)
    explicit Parent(CSize size = CSize(400, 300)) {
        Create(nullptr, L"", kVisible, CRect(CPoint(0, 0), size), nullptr, 0);
    }
    BOOL OnCommand(WPARAM wParam, LPARAM) override {
        commands.emplace_back(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    }
};

// A record of one colour thumbnail of size (none for an empty size), with a path that names no file.
CKivClipMediaObj* Record(const wchar_t* title, CSize size, COLORREF colour) {
    auto* record = new CKivClipMediaObj;
    record->m_strMediaFile = L"/nonexistent/folder/picture.bmp";
    record->m_strShowName = title;
    if (size.cx > 0) {
        auto* bits = static_cast<BYTE*>(GlobalAlloc(GPTR, size_t(size.cx * size.cy * 3)));
        for (LONG i = 0; i < size.cx * size.cy * 3; ++i) bits[i] = BYTE(colour >> (16 - i % 3 * 8));  // B, G, R
        record->m_Icon.SetIcon(bits, size);
    }
    return record;
}

struct ListFixture {
    Parent parent;
    CKivClipMediaListCtrl list;
    CKivObList records;
    ListFixture(CSize size, CSize icon, int cells) : parent(size) {
        EXPECT_TRUE(list.Create(&parent, kListId, kVisible));
        list.MoveWindow(0, 0, size.cx, size.cy);
        list.SetIconAttr(icon, 1, 1, 1);
        list.SetCellCount(cells, 0, 1);
    }
};

// The cell's icon area in view mode 0: centred, 4 pixels below the cell's top.
CRect IconArea(const CKivAquaListCtrl& list, int index, CSize icon) {
    const CRect cell = list.GetCellRect(index);
    const int left = cell.left + (cell.Width() - icon.cx) / 2;
    return CRect(CPoint(left, cell.top + 4), icon);
}

}  // namespace

TEST(ListCtrl, CreateTakesThePlacementAndIdOfThePlaceholder) {
    Parent parent;
    auto* before = new QLabel(parent.m_hWnd);
    auto* placeholder = new QLabel("Static", parent.m_hWnd);
    auto* after = new QLabel(parent.m_hWnd);
    for (QLabel* label : {before, placeholder, after}) label->show();  // in this focus order, as created
    for (QLabel* label : {before, after}) label->setFocusPolicy(Qt::StrongFocus);  // the static takes none
    placeholder->setGeometry(109, 1, 289, 211);
    CWnd::FromHandle(placeholder)->SetDlgCtrlID(int(kListId));
    QPointer<QLabel> watch(placeholder);

    CKivAquaListCtrl list;
    ASSERT_TRUE(list.Create(&parent, kListId, 0));
    EXPECT_TRUE(watch.isNull()) << "the placeholder is destroyed";
    EXPECT_EQ(parent.GetDlgItem(int(kListId)), &list);
    EXPECT_EQ(list.m_hWnd->geometry(), QRect(109, 1, 289, 211));
    EXPECT_TRUE(list.IsWindowVisible()) << "visible as the placeholder was";
    EXPECT_EQ(before->nextInFocusChain(), list.m_hWnd) << "in the placeholder's place in the tab order";
    EXPECT_EQ(list.GetCurSel(), -1);
}

TEST(ListCtrl, KeysMoveTheCurrentCellAndEachChangeSendsOneCommand) {
    ListFixture f(CSize(250, 200), CSize(64, 48), 100);  // three columns with the scroll bar
    const int page = 200 / f.list.GetCellRect(0).Height() * 3;
    struct Case {
        int mode, start;
        Qt::Key key;
        int expected;
        const char* why;
    } cases[] = {
        {0, -1, Qt::Key_Right, 0, "no current cell: keys start at the first"},
        {0, -1, Qt::Key_End, 99, "no current cell: End starts at the last"},
        {0, 0, Qt::Key_Right, 1, "next cell"},
        {0, 0, Qt::Key_Left, 0, "nothing before the first: no change, no command"},
        {0, 4, Qt::Key_Down, 7, "one row is three columns"},
        {0, 4, Qt::Key_Up, 1, "row above"},
        {0, 1, Qt::Key_Up, 1, "no row above"},
        {0, 97, Qt::Key_Down, 99, "into the shorter last row: its last cell"},
        {0, 99, Qt::Key_Down, 99, "no row below"},
        {0, 50, Qt::Key_Home, 0, "Home"},
        {0, 50, Qt::Key_End, 99, "End"},
        {0, 0, Qt::Key_PageDown, page, "a page is the rows in view"},
        {0, 2, Qt::Key_PageUp, 0, "a page up stops at the first"},
        {1, 5, Qt::Key_Down, 6, "a list of rows: Down is the next cell"},
        {1, 5, Qt::Key_Right, 6, "a list of rows: Right too"},
        {1, 5, Qt::Key_Up, 4, "a list of rows: Up is the previous cell"},
    };
    f.list.SetFocus();
    for (const Case& c : cases) {
        f.list.SetViewMode(c.mode, 1);
        f.list.SetCurSel(c.start, 1);
        f.parent.commands.clear();
        QTest::keyClick(f.list.m_hWnd, c.key);
        EXPECT_EQ(f.list.GetCurSel(), c.expected) << c.why;
        const auto expected = c.expected == c.start ? std::vector<std::pair<UINT, UINT>>{}
                                                    : std::vector<std::pair<UINT, UINT>>{{kListId, 1}};
        EXPECT_EQ(f.parent.commands, expected) << c.why;
        const CRect cell = f.list.GetCellRect(c.expected);
        EXPECT_TRUE(cell.top >= 0 && cell.bottom <= 200) << c.why << ": scrolled into view";
    }
}

TEST(ListCtrl, MouseSelectsDoubleClickNotifiesAndAHundredThousandCellsScroll) {
    ListFixture f(CSize(250, 200), CSize(64, 48), 5);
    const CRect cell = f.list.GetCellRect(4);
    const QPoint centre((cell.left + cell.right) / 2, (cell.top + cell.bottom) / 2);
    QTest::mouseClick(f.list.m_hWnd, Qt::LeftButton, Qt::NoModifier, centre);
    EXPECT_EQ(f.list.GetCurSel(), 4);
    QTest::mouseClick(f.list.m_hWnd, Qt::LeftButton, Qt::NoModifier, QPoint(240, 190));
    EXPECT_EQ(f.list.GetCurSel(), 4) << "a click past the last cell keeps the selection";
    QTest::mouseDClick(f.list.m_hWnd, Qt::LeftButton, Qt::NoModifier, centre);
    EXPECT_EQ(f.parent.commands, (std::vector<std::pair<UINT, UINT>>{{kListId, 1}, {kListId, 2}}));

    f.list.SetCellCount(100000, 0, 1);
    EXPECT_EQ(f.list.GetCurSel(), -1) << "a new count clears the current cell";
    f.list.SetCurSel(99999, 1);
    EXPECT_GE(f.list.GetCellRect(99999).top, 0);
    EXPECT_LE(f.list.GetCellRect(99999).bottom, 200);
    Grab(f.list);  // paints one screen of cells
    QTest::mouseClick(f.list.m_hWnd, Qt::LeftButton, Qt::NoModifier, QPoint(2, 2));
    const int top = f.list.GetCurSel();
    EXPECT_EQ(top % 3, 0);
    EXPECT_GT(top, 99000);
    QWheelEvent up(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, 120), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
    QApplication::sendEvent(f.list.m_hWnd, &up);
    EXPECT_EQ(f.list.GetCellRect(top).top, f.list.GetCellRect(0).Height()) << "a notch scrolls one grid row";
}

TEST(ListCtrl, ViewModeOneIsAListOfRows) {
    ListFixture f(CSize(300, 400), CSize(64, 48), 3);
    f.list.SetViewMode(1, 1);
    f.list.SetViewMode(5, 1);
    EXPECT_EQ(f.list.GetViewMode(), 1) << "an unknown mode is ignored";
    const CRect first = f.list.GetCellRect(0), second = f.list.GetCellRect(1);
    EXPECT_EQ(second.top, first.bottom);
    EXPECT_EQ(first.Width(), 300);
    EXPECT_EQ(first.Height(), 48 + 8) << "a row is the icon and its margins";
}

TEST(ListCtrl, MediaCellsPaintFromTheRecordsOnly) {
    ListFixture f(CSize(300, 200), CSize(64, 64), 3);
    const CRect icon0 = IconArea(f.list, 0, CSize(64, 64));
    const CRect icon2 = IconArea(f.list, 2, CSize(64, 64));
    QImage shown = Grab(f.list);
    EXPECT_EQ(At(shown, icon0.left + 32, icon0.top + 32), kivgui::kField) << "no list yet: empty cells";

    f.records.AddTail(Record(L"wide", CSize(80, 30), RGB(255, 0, 0)));
    f.records.AddTail(Record(L"none", CSize(), 0));
    f.list.SetClipMediaList(&f.records);  // two records for three cells
    f.list.Invalidate();
    shown = Grab(f.list);
    struct Probe {
        int x, y;
        COLORREF expected;
        const char* why;
    } probes[] = {
        {icon0.left + 32, icon0.top + 32, RGB(255, 0, 0), "the thumbnail, from memory"},
        {icon0.left, icon0.top + 32, RGB(255, 0, 0), "fitted to the cell's width"},
        {icon0.left + 32, icon0.top + 19, kivgui::kField, "letterboxed: 80 x 30 in 64 x 64 is 64 x 24"},
        {icon0.left + 32, icon0.top + 20, RGB(255, 0, 0), "the band is centred"},
        {icon0.left + 32, icon0.top + 43, RGB(255, 0, 0), "its last row"},
        {icon0.left + 32, icon0.top + 44, kivgui::kField, "the bar below"},
        {IconArea(f.list, 1, CSize(64, 64)).left, IconArea(f.list, 1, CSize(64, 64)).top, kivgui::kSunkenDark,
         "an empty icon: a sunken frame"},
        {icon2.left, icon2.top, kivgui::kField, "the cell at the list's count draws nothing"},
    };
    for (const Probe& p : probes) EXPECT_EQ(At(shown, p.x, p.y), p.expected) << p.why;

    std::unique_ptr<CKivClipMediaObj> blue(Record(L"", CSize(80, 30), RGB(0, 0, 255)));
    static_cast<CKivClipMediaObj*>(f.records.GetHead())->m_Icon = blue->m_Icon;
    f.list.Invalidate();
    EXPECT_EQ(At(Grab(f.list), icon0.left + 32, icon0.top + 32), RGB(0, 0, 255)) << "new pixels, not a stale copy";
}

TEST(ListCtrl, AHighlightedTitleIsWhiteOverTheNormalOneLowerRight) {
    CKivClipMediaListCtrl list;
    CKivObList records;
    records.AddTail(Record(L"HIMW", CSize(), 0));
    list.SetClipMediaList(&records);
    const CRect rect(10, 4, 90, 30);
    QImage blank(100, 34, QImage::Format_RGB32);
    blank.fill(Qt::gray);
    const auto paint = [&](int index, int state) {
        QImage image = blank.copy();
        CDC dc(&image);
        dc.SetBkMode(TRANSPARENT);
        dc.SetTextColor(RGB(0, 0, 0));
        list.OnDrawText(&dc, index, rect, state);
        EXPECT_EQ(dc.GetTextColor(), RGB(0, 0, 0)) << "the text colour is given back";
        return image;
    };
    QImage expected = blank.copy();
    {
        CDC dc(&expected);
        dc.SetBkMode(TRANSPARENT);
        dc.SelectObject(CKivGuiFont::GetFont());
        CRect normal = rect, raised(9, 3, 89, 29);
        dc.DrawText(L"HIMW", &normal, DT_SINGLELINE | DT_VCENTER);
        dc.SetTextColor(RGB(255, 255, 255));
        dc.DrawText(L"HIMW", &raised, DT_SINGLELINE | DT_VCENTER);
    }
    EXPECT_EQ(paint(0, 1), expected);
    EXPECT_NE(paint(0, 0), expected);
    EXPECT_EQ(paint(1, 1), blank) << "an index equal to the count draws nothing";
    EXPECT_EQ(paint(-1, 1), blank);
}

TEST(GuiLibrary, ProgressWindowSkinAndChildClipping) {
    CKivGuiProgressDlg never;
    never.Close();  // never created: nothing to do

    Parent parent;
    CKivGuiProgressDlg progress;
    ASSERT_TRUE(progress.Create(nullptr, L"Opening Image Materials In This Directory...", 3, 10, 0, &parent));
    EXPECT_FALSE(progress.Create(nullptr, L"again", 0, 0, 0, &parent));
    auto* bar = progress.m_hWnd->findChild<QProgressBar*>();
    EXPECT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->value(), 3);
    progress.SetProgress(0, 0);
    EXPECT_FALSE(bar->isVisible()) << "no counts, no bar";
    progress.Close();
    progress.Close();
    EXPECT_EQ(progress.m_hWnd, nullptr);

    auto* button = new QPushButton("View@p", parent.m_hWnd);
    button->setGeometry(20, 20, 60, 20);
    button->show();
    CKivAquaAutoMaker skin;
    skin.Attach(&parent);
    const QImage shown = Grab(parent);
    EXPECT_EQ(At(shown, 5, 5), kivgui::kPanel);
    EXPECT_EQ(At(shown, 30, 25), kivgui::kButton) << "a flat button";
    EXPECT_EQ(button->text(), "View@p") << "captions are left as they stand";

    parent.ReleaseDC(parent.GetDC());  // a backing image, which is no child to clip
    QImage image(400, 300, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        CDC dc(&image);
        KivGuiExcludeChildWndFromDC(&parent, &dc);
        const CRect all(0, 0, 400, 300);
        dc.FillSolidRect(&all, RGB(0, 0, 0));
    }
    EXPECT_EQ(At(image, 30, 25), RGB(255, 255, 255)) << "the child is clipped out";
    EXPECT_EQ(At(image, 10, 10), RGB(0, 0, 0));
}
