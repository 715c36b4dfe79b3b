// The window fills on real widgets, read back from the screen: what each paints inside the one-pixel frame,
// the frame left alone, the drawn width in steps of 4, a missing file's black, the checker behind
// transparency, and the drawing kept through a resize.
#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include <cstdlib>
#include <memory>

#include "KivPictureUi.h"
#include "TestFiles.h"
#include "WidgetPixels.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255), kBlack = RGB(0, 0, 0), kRed = RGB(255, 0, 0);
constexpr COLORREF kLight = RGB(204, 204, 204), kDark = RGB(153, 153, 153);  // the checker's squares

// A TGA picture of 0xAARRGGBB words, rows top to bottom.
CString Picture(const ScratchFolder& folder, const std::string& name, int width, std::vector<DWORD> pixels) {
    const CString path = Wide(folder.File(name));
    const int height = static_cast<int>(pixels.size()) / width;
    EXPECT_EQ(KivPictureSaveTGAFile(path, pixels.data(), CSize(width, height), CRect(0, 0, width, height)), 1);
    return path;
}

// Whether two colours differ by at most tolerance in every channel.
bool Near(COLORREF a, COLORREF b, int tolerance) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance && std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

}  // namespace

// Colour (blue 10, green 20, red 30) and a red-to-blue bar fill inside the frame, which stays the host's; the
// drawing survives a resize.
TEST(WindowFills, ColourAndColourBarFillInsideTheFrame) {
    auto host = HostWindow(40, 30);
    CWnd* window = CWnd::FromHandle(host.get());
    tagCOLOR32 colour{10, 20, 30, 0};
    ASSERT_EQ(KivPictureColorFillWnd(window, &colour), 1);
    for (const bool resized : {false, true}) {
        if (resized) host->resize(60, 50);
        const QImage shown = Grab(host.get());
        EXPECT_EQ(At(shown, 1, 1), RGB(30, 20, 10)) << resized;
        EXPECT_EQ(At(shown, 38, 28), RGB(30, 20, 10)) << resized;
        for (const auto& [x, y] : {std::pair{0, 0}, {39, 15}, {20, 29}})
            EXPECT_EQ(At(shown, x, y), kWhite) << x << ", " << y << (resized ? " after a resize" : "");
    }
    EXPECT_EQ(At(Grab(host.get()), 45, 40), kWhite) << "the grown part is the host's";

    CKivColor32Array bar{{0, 0, 255, 255}, {255, 0, 0, 255}};
    ASSERT_EQ(KivPictureCSPDFillWnd(window, &bar), 1);
    const QImage shown = Grab(host.get());
    EXPECT_TRUE(Near(At(shown, 1, 25), kRed, 12)) << std::hex << At(shown, 1, 25);
    EXPECT_TRUE(Near(At(shown, 58, 25), RGB(0, 0, 255), 12)) << std::hex << At(shown, 58, 25);
    EXPECT_TRUE(Near(At(shown, 29, 25), RGB(128, 0, 127), 12)) << std::hex << At(shown, 29, 25);
    EXPECT_EQ(At(shown, 59, 25), kWhite);

    EXPECT_EQ(KivPictureColorFillWnd(nullptr, &colour), 0);
    EXPECT_EQ(KivPictureColorFillWnd(window, nullptr), 0);
    EXPECT_EQ(KivPictureCSPDFillWnd(window, nullptr), 0);
}

TEST(WindowFills, FileFillDrawsInStepsOfFourOverBlackOrTheChecker) {
    ScratchFolder folder;
    constexpr DWORD kGreen = 0xFF00C000u, kClear = 0x00000000u, kOpaqueRed = 0xFFFF0000u;
    const CString green = Picture(folder, "green.tga", 2, {kGreen, kGreen, kGreen, kGreen});
    const CString halfClear = Picture(folder, "half.tga", 4, {kClear, kClear, kOpaqueRed, kOpaqueRed});
    const CString missing = Wide(folder.File("missing.bmp"));
    struct Case {
        const char* reason;
        int width;
        CString path;
        int background, result;
        std::vector<std::tuple<int, int, COLORREF>> pixels;  // x, y, colour on the screen
    };
    const Case cases[] = {
        {"103 wide: 101 inside the frame, 100 drawn, the last column black", 103, green, 0, 1,
         {{1, 1, RGB(0, 192, 0)}, {100, 28, RGB(0, 192, 0)}, {101, 10, kBlack}, {102, 10, kWhite}, {0, 10, kWhite}}},
        {"a missing file leaves the rectangle black", 103, missing, 0, 0,
         {{1, 1, kBlack}, {101, 28, kBlack}, {102, 10, kWhite}, {50, 29, kWhite}}},
        {"transparent pixels show the checker, opaque ones cover it", 82, halfClear, 1, 1,
         {{1, 1, kLight}, {9, 1, kDark}, {1, 9, kDark}, {9, 9, kLight}, {80, 15, kRed}, {81, 15, kWhite}}},
        {"without the background the picture covers the rectangle", 82, halfClear, 0, 1,
         {{1, 1, kBlack}, {80, 15, kRed}}},
    };
    for (const Case& c : cases) {
        auto host = HostWindow(c.width, 30);
        CWnd* window = CWnd::FromHandle(host.get());
        EXPECT_EQ(KivPictureFileFillWnd(window, c.path, c.background), c.result) << c.reason;
        for (const bool resized : {false, true}) {
            if (resized) host->resize(c.width + 30, 60);
            const QImage shown = Grab(host.get());
            for (const auto& [x, y, colour] : c.pixels)
                EXPECT_EQ(At(shown, x, y), colour)
                    << c.reason << " at " << x << ", " << y << (resized ? " after a resize" : "");
        }
    }
    EXPECT_EQ(KivPictureFileFillWnd(static_cast<CDC*>(nullptr), CRect(0, 0, 8, 8), green, 0), 0);
}
