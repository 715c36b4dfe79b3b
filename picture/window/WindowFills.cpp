// The fills of windows and device contexts: a colour, a colour bar, a picture file (alone or over the
// transparency checker). The pixel work is the public and colour libraries'; these fix what they are given.

#include "KivPictureUi.h"
#include "libraries/window/KivPublicDraw.h"
#include "platform/GlobalMemory.h"

#include <new>
#include <vector>

namespace {

// A window's device context, released when the fill ends.
class WindowDC {
  public:
    explicit WindowDC(CWnd* window) : window_(window), dc_(window ? window->GetDC() : nullptr) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC() {
        if (dc_) window_->ReleaseDC(dc_);
    }
    CDC* get() const { return dc_; }

  private:
    CWnd* window_;
    CDC* dc_;
};

CRect ClientRect(CWnd* window) {
    CRect rect;
    window->GetClientRect(&rect);
    return rect;
}

// The drawn width: the rectangle's, rounded down to a multiple of 4 pixels.
int DrawnWidth(int width) { return width / 4 * 4; }

// Makes the 24-bit image of pixels' source rectangle at the drawn size and draws it at the rectangle's
// top-left corner; false when the image cannot be made.
bool DrawStretched(CDC* dc, const CRect& rect, const tagCOLOR32* pixels, CSize pixelsSize) {
    const CSize drawn(DrawnWidth(rect.Width()), rect.Height());
    GlobalBlock<BYTE> image(KivPublicMakeIcon(pixels, pixelsSize, CRect(0, 0, pixelsSize.cx, pixelsSize.cy),
                                              drawn, 24));
    if (!image) return false;
    KivPublicDrawIcon(dc, CRect(rect.TopLeft(), drawn), image.get(), drawn, 24);
    return true;
}

}  // namespace

int KivPictureColorFillWnd(CWnd* window, tagCOLOR32* colour) {
    if (!colour) return 0;
    WindowDC dc(window);
    if (!dc.get()) return 0;
    CRect rect = ClientRect(window);
    rect.InflateRect(-1, -1);
    CBrush brush(RGB(colour->red, colour->green, colour->blue));
    dc.get()->FillRect(&rect, &brush);
    brush.DeleteObject();
    return 1;
}

int KivPictureCSPDFillWnd(CWnd* window, CKivColor32Array* colours) {
    if (!colours) return 0;
    WindowDC dc(window);
    if (!dc.get()) return 0;
    CRect rect = ClientRect(window);
    const CSize size = rect.Size();
    if (size.cx <= 0 || size.cy <= 0) return 0;
    std::vector<tagCOLOR32> pixels;
    try {
        pixels.resize(static_cast<size_t>(size.cx) * static_cast<size_t>(size.cy));
    } catch (const std::bad_alloc&) {
        return 0;
    }
    // An array without stops leaves the pixels transparent, so the window shows through.
    colours->Process(pixels.data(), size);
    rect.InflateRect(-1, -1);
    return KivPublicDrawIcon(dc.get(), rect, pixels.data(), size, 32);
}

int KivPictureFileFillWnd(CDC* dc, CRect rect, CString path, int background) {
    if (!dc) return 0;
    rect.InflateRect(-1, -1);
    dc->FillSolidRect(&rect, 0);
    if (!KivPublicDoesFileExist(path)) return 0;
    // Through the module's exported load: the window half reaches the core only by its interface.
    CRect pictureRect;
    const GlobalBlock<DWORD> picture(KivPictureLoadPicFile(path, pictureRect));
    if (!picture) return 0;
    const int w = rect.Width(), h = rect.Height();
    const CSize pictureSize = pictureRect.Size();
    const auto* pixels = reinterpret_cast<const tagCOLOR32*>(picture.get());
    if (!background) return DrawStretched(dc, rect, pixels, pictureSize) ? 1 : 0;

    // The picture stretched to the rectangle and laid over the checker, then drawn as one image.
    CKivMemBlock back, front;
    if (!back.InitBlock(CSize(w, h), nullptr, 0) || !front.InitBlock(CSize(w, h), nullptr, 0) ||
        !KivPublicGenBackColorBar(&back))
        return 0;
    if (!KivPublicMemZoom(pixels, pictureSize, front.GetAddress(), CSize(w, h))) return 0;
    back.Copy(CPoint(0, 0), front, front.GetRect(), 0, 1, KIV_FIELD_FRAME);
    return DrawStretched(dc, rect, back.GetAddress(), CSize(w, h)) ? 1 : 0;
}

int KivPictureFileFillWnd(CWnd* window, CString path, int background) {
    WindowDC dc(window);
    if (!dc.get()) return 0;
    return KivPictureFileFillWnd(dc.get(), ClientRect(window), std::move(path), background);
}
