// The window layer on real widgets: drawing through GetDC shows and stays, device-context state and
// clipping, text, and the handlers of the layer's own windows.
#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <QWidget>

#include <memory>
#include <vector>

#include "WidgetPixels.h"
#include "platform/window/DeviceContext.h"

namespace {

// Records what reaches the handlers of a window the layer created.
class Recorder : public CWnd {
  public:
    std::vector<CString> events;
    void OnLButtonDown(UINT flags, CPoint point) override {
        events.push_back(L"down " + std::to_wstring(point.x) + L"," + std::to_wstring(point.y) +
                         ((flags & MK_SHIFT) ? L" shift" : L""));
    }
    void OnKeyDown(UINT key, UINT, UINT) override { events.push_back(L"key " + std::to_wstring(key)); }
    void OnSize(UINT, int width, int height) override {
        events.push_back(L"size " + std::to_wstring(width) + L"x" + std::to_wstring(height));
    }
    void OnDestroy() override { events.push_back(L"destroy"); }
};

}  // namespace

TEST(WindowLayer, DrawingThroughGetDCShowsSurvivesResizeAndStaysUnderChildren) {
    auto host = HostWindow(120, 80);
    const auto child = HostWindow(20, 20, host.get(), Qt::blue);
    child->move(60, 0);

    CWnd* window = CWnd::FromHandle(host.get());
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(CWnd::FromHandle(host.get()), window) << "one wrapper per widget";
    CDC* dc = window->GetDC();
    ASSERT_NE(dc, nullptr);
    const CRect area(10, 10, 100, 30);
    dc->FillSolidRect(&area, RGB(200, 10, 20));
    window->ReleaseDC(dc);

    QImage shown = Grab(host.get());
    EXPECT_EQ(At(shown, 10, 10), RGB(200, 10, 20));
    EXPECT_EQ(At(shown, 99, 29), RGB(200, 10, 20));
    EXPECT_EQ(At(shown, 100, 30), RGB(255, 255, 255));
    EXPECT_EQ(At(shown, 65, 15), RGB(0, 0, 255)) << "a child window covers its parent's drawing";

    host->resize(200, 150);
    shown = Grab(host.get());
    EXPECT_EQ(At(shown, 50, 20), RGB(200, 10, 20)) << "the drawing survives a resize";
    dc = window->GetDC();
    const CRect grown(150, 120, 190, 140);
    dc->FillSolidRect(&grown, RGB(0, 128, 0));
    window->ReleaseDC(dc);
    EXPECT_EQ(At(Grab(host.get()), 180, 130), RGB(0, 128, 0)) << "the backing image grew with the window";
}

TEST(WindowLayer, DeviceContextStateFramesClippingAndText) {
    QImage image(60, 40, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        CDC dc(&image);
        const CRect frame(0, 0, 10, 8);
        dc.Draw3dRect(&frame, RGB(255, 0, 0), RGB(0, 0, 255));
        const CRect hole(22, 0, 30, 40);
        dc.ExcludeClipRect(&hole);
        const CRect band(20, 0, 40, 10);
        dc.FillSolidRect(&band, RGB(0, 0, 0));
        dc.SelectClipRgn(nullptr);

        CFont font;
        ASSERT_TRUE(font.CreatePointFont(120, L"Times New Roman"));
        EXPECT_EQ(dc.SelectObject(&font), nullptr);
        EXPECT_EQ(dc.SetTextColor(RGB(0, 160, 0)), RGB(0, 0, 0));
        dc.SetBkMode(TRANSPARENT);
        CRect text(0, 14, 60, 40);
        EXPECT_GT(dc.DrawText(L"MW", &text, DT_SINGLELINE | DT_VCENTER | DT_CENTER), 0);
        CRect needed(0, 0, 0, 0);
        dc.DrawText(L"MW", &needed, DT_SINGLELINE | DT_CALCRECT);
        EXPECT_EQ(needed.Width(), dc.GetTextExtent(L"MW").cx);
        EXPECT_GT(needed.Height(), 8);
    }
    EXPECT_EQ(At(image, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(At(image, 9, 0), RGB(0, 0, 255)) << "the top-right corner is the bottom-right colour";
    EXPECT_EQ(At(image, 0, 7), RGB(0, 0, 255));
    EXPECT_EQ(At(image, 5, 4), RGB(255, 255, 255));
    EXPECT_EQ(At(image, 21, 5), RGB(0, 0, 0));
    EXPECT_EQ(At(image, 25, 5), RGB(255, 255, 255)) << "excluded from the clip";
    int green = 0;
    for (int y = 14; y < 40; ++y)
        for (int x = 0; x < 60; ++x) {
            const COLORREF c = At(image, x, y);  // antialiased edges blend into the white
            green += GetGValue(c) > GetRValue(c) + 60 && GetGValue(c) > GetBValue(c) + 60;
        }
    EXPECT_GT(green, 10) << "the text is drawn in the selected colour";
}

TEST(WindowLayer, OwnWindowsReceiveInputAndFindChildrenById) {
    auto host = HostWindow(200, 100);
    CWnd* parent = CWnd::FromHandle(host.get());
    Recorder window;
    ASSERT_TRUE(window.Create(nullptr, L"", 0x10000000, CRect(10, 10, 110, 60), parent, 4001));
    EXPECT_EQ(parent->GetDlgItem(4001), &window);
    EXPECT_EQ(window.GetParent(), parent);
    CRect client;
    window.GetClientRect(&client);
    EXPECT_EQ(client, CRect(0, 0, 100, 50));

    window.SetFocus();
    window.events.clear();
    QTest::mouseClick(window.m_hWnd, Qt::LeftButton, Qt::ShiftModifier, QPoint(7, 9));
    QTest::keyClick(window.m_hWnd, Qt::Key_PageDown);
    window.MoveWindow(0, 0, 70, 20);
    EXPECT_EQ(window.events, (std::vector<CString>{L"down 7,9 shift", L"key 34", L"size 70x20"}));

    window.events.clear();
    window.DestroyWindow();
    EXPECT_EQ(window.events, std::vector<CString>{L"destroy"});
    EXPECT_EQ(window.m_hWnd, nullptr);
    EXPECT_EQ(parent->GetDlgItem(4001), nullptr);
}

TEST(WindowLayer, AWindowWhoseWidgetGoesFirstIsLeftEmpty) {
    auto host = HostWindow(100, 100);
    Recorder window;
    ASSERT_TRUE(window.Create(nullptr, L"", 0, CRect(0, 0, 10, 10), CWnd::FromHandle(host.get()), 7));
    host.reset();  // the parent takes its children with it
    EXPECT_EQ(window.m_hWnd, nullptr);
    EXPECT_EQ(window.events, std::vector<CString>{L"destroy"});
}
