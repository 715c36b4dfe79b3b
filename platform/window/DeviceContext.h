// Device contexts and drawing objects of the window layer: `CDC` as a painter, with the class library's
// state (selected font, brush and pen, text and background colours, background mode, clipping) and the
// drawing calls the module makes.
#pragma once

#include <memory>

#include "platform/CString.h"
#include "platform/Geometry.h"
#include "platform/WinTypes.h"
#include "platform/window/Window.h"

class QFont;
class QImage;
class QPaintDevice;
class QPainter;

// A colour as the system keeps it: 0x00BBGGRR.
using COLORREF = DWORD;
constexpr COLORREF RGB(BYTE red, BYTE green, BYTE blue) {
    return COLORREF(red) | (COLORREF(green) << 8) | (COLORREF(blue) << 16);
}
constexpr BYTE GetRValue(COLORREF colour) { return BYTE(colour & 0xFF); }
constexpr BYTE GetGValue(COLORREF colour) { return BYTE((colour >> 8) & 0xFF); }
constexpr BYTE GetBValue(COLORREF colour) { return BYTE((colour >> 16) & 0xFF); }

// DrawText formats.
constexpr UINT DT_LEFT = 0x0, DT_CENTER = 0x1, DT_RIGHT = 0x2, DT_VCENTER = 0x4, DT_BOTTOM = 0x8,
               DT_WORDBREAK = 0x10, DT_SINGLELINE = 0x20, DT_NOCLIP = 0x100, DT_CALCRECT = 0x400,
               DT_NOPREFIX = 0x800, DT_END_ELLIPSIS = 0x8000;
// Background modes.
constexpr int TRANSPARENT = 1;
constexpr int OPAQUE = 2;
// Pen styles.
constexpr int PS_SOLID = 0;
constexpr int PS_DOT = 2;
// Font weights.
constexpr LONG FW_NORMAL = 400;
constexpr LONG FW_BOLD = 700;

constexpr int LF_FACESIZE = 32;
struct LOGFONTW {
    LONG lfHeight = 0;  // negative: character height in pixels; positive: cell height
    LONG lfWidth = 0;
    LONG lfWeight = FW_NORMAL;
    BYTE lfItalic = 0;
    BYTE lfUnderline = 0;
    WCHAR lfFaceName[LF_FACESIZE] = {};
};

class KIV_RUNTIME_API CBrush {
  public:
    CBrush() = default;
    explicit CBrush(COLORREF colour) { CreateSolidBrush(colour); }
    BOOL CreateSolidBrush(COLORREF colour);
    BOOL DeleteObject();
    bool IsSolid() const { return solid_; }
    COLORREF GetColour() const { return colour_; }

  private:
    bool solid_ = false;
    COLORREF colour_ = 0;
};

class KIV_RUNTIME_API CPen {
  public:
    CPen() = default;
    CPen(int style, int width, COLORREF colour) { CreatePen(style, width, colour); }
    BOOL CreatePen(int style, int width, COLORREF colour);
    BOOL DeleteObject();
    int GetStyle() const { return style_; }
    int GetWidth() const { return width_; }
    COLORREF GetColour() const { return colour_; }

  private:
    int style_ = PS_SOLID;
    int width_ = 1;
    COLORREF colour_ = 0;
};

// A font. Face names the system's documents use resolve to installed metric-compatible faces ("Times New
// Roman" draws with Liberation Serif); Chinese text falls back to an installed CJK face.
class KIV_RUNTIME_API CFont {
  public:
    CFont();
    CFont(const CFont&) = delete;
    CFont& operator=(const CFont&) = delete;
    ~CFont();
    // pointSize in tenths of a point, as the class library takes it.
    BOOL CreatePointFont(int pointSize, LPCWSTR faceName, CDC* dc = nullptr);
    BOOL CreateFontIndirect(const LOGFONTW* font);
    BOOL DeleteObject();
    BOOL IsCreated() const { return font_ != nullptr; }
    // The font to draw with (the application's font for one never created).
    QFont GetQFont() const;
    // A font from a Qt font (what a host or a widget already uses).
    BOOL FromQFont(const QFont& font);

  private:
    std::unique_ptr<QFont> font_;
};

class KIV_RUNTIME_API CDC {
  public:
    // A device context drawing nowhere until it is given a device.
    CDC();
    // Draws on device from now until the CDC is destroyed.
    explicit CDC(QPaintDevice* device);
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;
    virtual ~CDC();

    // The painter beneath, for library code that paints with Qt directly; null without a device.
    QPainter* GetPainter() const { return painter_.get(); }
    QPainter* m_hDC = nullptr;

    void FillRect(LPCRECT rect, CBrush* brush);
    void FillSolidRect(LPCRECT rect, COLORREF colour);
    void FillSolidRect(int x, int y, int width, int height, COLORREF colour);
    // A one-pixel frame just inside rect: top and left in topLeft, right and bottom in bottomRight.
    void Draw3dRect(LPCRECT rect, COLORREF topLeft, COLORREF bottomRight);
    void Draw3dRect(int x, int y, int width, int height, COLORREF topLeft, COLORREF bottomRight);
    // Frames rect with the selected pen and fills it with the selected brush (none: no fill).
    BOOL Rectangle(int left, int top, int right, int bottom);
    CPoint MoveTo(int x, int y);
    BOOL LineTo(int x, int y);
    // Draws text into rect in the selected font and text colour, behind it the background colour in
    // OPAQUE mode. With DT_CALCRECT nothing is drawn and rect's right and bottom are set to fit the text.
    // Returns the height of the text.
    int DrawText(const CString& text, LPRECT rect, UINT format);
    BOOL TextOut(int x, int y, const CString& text);
    CSize GetTextExtent(const CString& text) const;

    // Each returns what it replaces (null for the default).
    CFont* SelectObject(CFont* font);
    CBrush* SelectObject(CBrush* brush);
    CPen* SelectObject(CPen* pen);
    COLORREF SetTextColor(COLORREF colour);
    COLORREF GetTextColor() const { return textColour_; }
    COLORREF SetBkColor(COLORREF colour);
    COLORREF GetBkColor() const { return backColour_; }
    int SetBkMode(int mode);

    // Clipping, in the device's coordinates; each returns nonzero while something is left to draw.
    int ExcludeClipRect(LPCRECT rect);
    int IntersectClipRect(LPCRECT rect);
    // Removes all clipping.
    int SelectClipRgn(std::nullptr_t);

  protected:
    // Starts drawing on device (for device contexts made by the window layer).
    void Begin(QPaintDevice* device);
    void End();

  private:
    void ApplyClip();
    struct Clip;

    std::unique_ptr<QPainter> painter_;
    std::unique_ptr<Clip> clip_;
    CFont* font_ = nullptr;
    CBrush* brush_ = nullptr;
    CPen* pen_ = nullptr;
    CPoint position_;
    COLORREF textColour_ = RGB(0, 0, 0);
    COLORREF backColour_ = RGB(255, 255, 255);
    int backMode_ = OPAQUE;
};

// The device context of a paint handler: draws on the window itself, only inside OnPaint.
class KIV_RUNTIME_API CPaintDC : public CDC {
  public:
    explicit CPaintDC(CWnd* window);
};
