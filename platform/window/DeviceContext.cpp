#include "platform/window/DeviceContext.h"

#include <QApplication>
#include <QFont>
#include <cmath>
#include <QFontMetrics>
#include <QImage>
#include <QPaintDevice>
#include <QPainter>
#include <QHash>
#include <QRegion>
#include <QStaticText>

#include "platform/window/QtConversions.h"
#include "platform/window/WindowWidgets.h"

namespace {

// The faces the module's documents name, drawn with installed faces of the same metrics. Registered once,
// before the first font is made; Qt falls back to an installed CJK face for Chinese text by itself.
void RegisterFaceSubstitutes() {
    static const bool registered = [] {
        QFont::insertSubstitution("Times New Roman", "Liberation Serif");
        QFont::insertSubstitution("Arial", "Liberation Sans");
        QFont::insertSubstitution("Courier New", "Liberation Mono");
        QFont::insertSubstitution("MS Shell Dlg", "Liberation Sans");
        QFont::insertSubstitution("MS Shell Dlg 2", "Liberation Sans");
        return true;
    }();
    (void)registered;
}

QString WithoutPrefixes(const QString& text) {
    // '&' marks the next character as a mnemonic; "&&" draws one '&'.
    QString plain;
    plain.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        plain += text[i];
    }
    return plain;
}

}  // namespace

// ---- Drawing objects --------------------------------------------------------------------------------------

BOOL CBrush::CreateSolidBrush(COLORREF colour) {
    solid_ = true;
    colour_ = colour;
    return TRUE;
}

BOOL CBrush::DeleteObject() {
    const BOOL had = solid_;
    solid_ = false;
    return had;
}

BOOL CPen::CreatePen(int style, int width, COLORREF colour) {
    style_ = style;
    width_ = width < 1 ? 1 : width;
    colour_ = colour;
    return TRUE;
}

BOOL CPen::DeleteObject() { return TRUE; }

CBitmap::CBitmap() = default;
CBitmap::~CBitmap() = default;

BOOL CBitmap::FromQImage(const QImage& image) {
    if (image_ != nullptr || image.isNull()) return FALSE;
    image_ = std::make_unique<QImage>(image);
    return TRUE;
}

int CBitmap::GetBitmap(BITMAP* info) const {
    if (image_ == nullptr || info == nullptr) return 0;
    *info = BITMAP{};
    info->bmWidth = image_->width();
    info->bmHeight = image_->height();
    info->bmWidthBytes = LONG(image_->bytesPerLine());
    info->bmBitsPixel = WORD(image_->depth());
    return int(sizeof(BITMAP));
}

BOOL CBitmap::DeleteObject() {
    const BOOL had = image_ != nullptr;
    image_.reset();
    return had;
}

// Shaped single lines of one font, by text. Bounded: a font that has drawn many different texts starts
// again rather than growing without end.
struct CFont::ShapedLines {
    static constexpr qsizetype kMostLines = 4096;
    explicit ShapedLines(const QFont& face) : font(face), metrics(face) {}
    const QStaticText& Line(const QString& text) {
        if (auto found = lines.constFind(text); found != lines.constEnd()) return *found;
        if (lines.size() >= kMostLines) lines.clear();
        QStaticText line(text);
        line.setTextFormat(Qt::PlainText);
        line.setPerformanceHint(QStaticText::AggressiveCaching);
        line.prepare(QTransform(), font);
        return *lines.insert(text, line);
    }
    // The line drawn once in a colour, as an image: drawing it again is one blend, not a glyph run.
    const QImage& Drawn(const QString& text, const QStaticText& line, QRgb colour) {
        QString key = text;
        key += QChar(0);
        key += QString::number(colour, 16);
        if (auto found = images.constFind(key); found != images.constEnd()) return *found;
        if (images.size() >= kMostLines) images.clear();
        const QSizeF size = line.size();
        QImage image(std::max(1, int(std::ceil(size.width()))) + 1, metrics.height(),
                     QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setFont(font);
        painter.setPen(QColor::fromRgb(colour));
        painter.drawStaticText(0, 0, line);
        painter.end();
        return *images.insert(key, image);
    }
    QFont font;
    QFontMetrics metrics;
    QHash<QString, QStaticText> lines;
    QHash<QString, QImage> images;
};

CFont::CFont() = default;
CFont::~CFont() = default;

CFont::ShapedLines& CFont::Shaped() const {
    if (shaped_ == nullptr) shaped_ = std::make_unique<ShapedLines>(GetQFont());
    return *shaped_;
}

BOOL CFont::CreatePointFont(int pointSize, LPCWSTR faceName, CDC*) {
    if (font_ != nullptr || pointSize <= 0) return FALSE;
    RegisterFaceSubstitutes();
    font_ = std::make_unique<QFont>(QString::fromWCharArray(faceName ? faceName : L""));
    font_->setPointSizeF(pointSize / 10.0);
    return TRUE;
}

BOOL CFont::CreateFontIndirect(const LOGFONTW* font) {
    if (font_ != nullptr || font == nullptr) return FALSE;
    RegisterFaceSubstitutes();
    WCHAR face[LF_FACESIZE + 1] = {};
    std::copy(font->lfFaceName, font->lfFaceName + LF_FACESIZE, face);
    font_ = std::make_unique<QFont>(QString::fromWCharArray(face));
    // Negative heights are the characters' own height in pixels, positive ones the cell's; Qt's pixel
    // size is the former, and a cell is about an eighth taller.
    if (font->lfHeight < 0) font_->setPixelSize(int(-font->lfHeight));
    if (font->lfHeight > 0) font_->setPixelSize(std::max(1, int(font->lfHeight * 7 / 8)));
    font_->setWeight(font->lfWeight >= FW_BOLD ? QFont::Bold : QFont::Normal);
    font_->setItalic(font->lfItalic != 0);
    font_->setUnderline(font->lfUnderline != 0);
    return TRUE;
}

BOOL CFont::DeleteObject() {
    const BOOL had = font_ != nullptr;
    font_.reset();
    shaped_.reset();
    return had;
}

QFont CFont::GetQFont() const { return font_ ? *font_ : QApplication::font(); }

BOOL CFont::FromQFont(const QFont& font) {
    if (font_ != nullptr) return FALSE;
    font_ = std::make_unique<QFont>(font);
    return TRUE;
}

// ---- CDC --------------------------------------------------------------------------------------------------

struct CDC::Clip {
    QRegion region;
};

CDC::CDC() = default;

CDC::CDC(QPaintDevice* device) { Begin(device); }

CDC::~CDC() { End(); }

void CDC::Begin(QPaintDevice* device) {
    End();
    if (device == nullptr) return;
    painter_ = std::make_unique<QPainter>();
    if (!painter_->begin(device)) {
        painter_.reset();
        return;
    }
    m_hDC = painter_.get();
    painter_->setFont(QApplication::font());
}

void CDC::End() {
    if (painter_ != nullptr && painter_->isActive()) painter_->end();
    painter_.reset();
    m_hDC = nullptr;
}

void CDC::FillRect(LPCRECT rect, CBrush* brush) {
    if (painter_ == nullptr || rect == nullptr || brush == nullptr || !brush->IsSolid()) return;
    painter_->fillRect(ToQRect(*rect), ToQColor(brush->GetColour()));
}

void CDC::FillSolidRect(LPCRECT rect, COLORREF colour) {
    if (painter_ == nullptr || rect == nullptr) return;
    painter_->fillRect(ToQRect(*rect), ToQColor(colour));
    backColour_ = colour;  // as the system does: the fill goes through the background colour
}

void CDC::FillSolidRect(int x, int y, int width, int height, COLORREF colour) {
    const CRect rect(CPoint(x, y), CSize(width, height));
    FillSolidRect(&rect, colour);
}

void CDC::Draw3dRect(LPCRECT rect, COLORREF topLeft, COLORREF bottomRight) {
    if (rect == nullptr) return;
    Draw3dRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, topLeft, bottomRight);
}

void CDC::Draw3dRect(int x, int y, int width, int height, COLORREF topLeft, COLORREF bottomRight) {
    if (painter_ == nullptr || width <= 0 || height <= 0) return;
    const COLORREF keep = backColour_;
    FillSolidRect(x, y, width - 1, 1, topLeft);
    FillSolidRect(x, y, 1, height - 1, topLeft);
    FillSolidRect(x + width - 1, y, 1, height, bottomRight);
    FillSolidRect(x, y + height - 1, width, 1, bottomRight);
    backColour_ = keep;
}

BOOL CDC::Rectangle(int left, int top, int right, int bottom) {
    if (painter_ == nullptr) return FALSE;
    const QRect rect(left, top, right - left, bottom - top);
    if (brush_ != nullptr && brush_->IsSolid()) painter_->fillRect(rect, ToQColor(brush_->GetColour()));
    const COLORREF pen = pen_ ? pen_->GetColour() : RGB(0, 0, 0);
    painter_->setPen(QPen(ToQColor(pen), pen_ ? pen_->GetWidth() : 1));
    painter_->drawRect(rect.adjusted(0, 0, -1, -1));
    return TRUE;
}

CPoint CDC::MoveTo(int x, int y) {
    const CPoint old = position_;
    position_ = CPoint(x, y);
    return old;
}

BOOL CDC::LineTo(int x, int y) {
    if (painter_ == nullptr) return FALSE;
    QPen pen(ToQColor(pen_ ? pen_->GetColour() : RGB(0, 0, 0)), pen_ ? pen_->GetWidth() : 1);
    if (pen_ && pen_->GetStyle() == PS_DOT) pen.setStyle(Qt::DotLine);
    painter_->setPen(pen);
    // The system leaves the end point out.
    const QPoint from(position_.x, position_.y), to(x, y);
    const QPoint step((to.x() > from.x()) - (to.x() < from.x()), (to.y() > from.y()) - (to.y() < from.y()));
    if (from != to) painter_->drawLine(from, to - step);
    position_ = CPoint(x, y);
    return TRUE;
}

int CDC::DrawText(const CString& text, LPRECT rect, UINT format) {
    if (rect == nullptr) return 0;
    constexpr UINT kShapedFormats = DT_LEFT | DT_CENTER | DT_RIGHT | DT_VCENTER | DT_BOTTOM | DT_SINGLELINE |
                                    DT_NOCLIP | DT_NOPREFIX;
    if (font_ != nullptr && painter_ != nullptr && (format & DT_SINGLELINE) && (format & ~kShapedFormats) == 0) {
        QString shown = ToQString(text);
        if (!(format & DT_NOPREFIX)) shown = WithoutPrefixes(shown);
        return DrawShapedLine(shown, *rect, format);
    }
    const QFont font = font_ ? font_->GetQFont() : (painter_ ? painter_->font() : QApplication::font());
    const QFontMetrics metrics(font);
    QString shown = ToQString(text);
    if (!(format & DT_NOPREFIX)) shown = WithoutPrefixes(shown);
    const QRect box = ToQRect(*rect);
    int flags = (format & DT_CENTER) ? Qt::AlignHCenter : (format & DT_RIGHT) ? Qt::AlignRight : Qt::AlignLeft;
    if (format & DT_SINGLELINE) {
        flags |= Qt::TextSingleLine;
        flags |= (format & DT_VCENTER) ? Qt::AlignVCenter : (format & DT_BOTTOM) ? Qt::AlignBottom : Qt::AlignTop;
        if (format & DT_END_ELLIPSIS) shown = metrics.elidedText(shown, Qt::ElideRight, box.width());
    } else {
        flags |= Qt::AlignTop;
        if (format & DT_WORDBREAK) flags |= Qt::TextWordWrap;
    }
    if (format & DT_CALCRECT) {
        if (format & DT_SINGLELINE) {
            rect->right = rect->left + metrics.horizontalAdvance(shown);
            rect->bottom = rect->top + metrics.height();
            return metrics.height();
        }
        const QRect needed = metrics.boundingRect(box.isEmpty() ? QRect(box.topLeft(), QSize(1 << 20, 1 << 20)) : box,
                                                  flags, shown);
        rect->right = rect->left + needed.width();
        rect->bottom = rect->top + needed.height();
        return needed.height();
    }
    if (painter_ == nullptr || shown.isEmpty()) return shown.isEmpty() ? 0 : metrics.height();
    painter_->save();
    painter_->setFont(font);
    if (!(format & DT_NOCLIP)) painter_->setClipRect(box, Qt::IntersectClip);
    const QRect drawn = metrics.boundingRect(box, flags, shown);
    if (backMode_ == OPAQUE) painter_->fillRect(drawn, ToQColor(backColour_));
    painter_->setPen(ToQColor(textColour_));
    painter_->drawText(box, flags, shown);
    painter_->restore();
    return drawn.height();
}

// One line in the selected font, placed as DrawText places it, from the font's shaped lines.
int CDC::DrawShapedLine(const QString& text, const RECT& rect, UINT format) {
    CFont::ShapedLines& shaped = font_->Shaped();
    const int height = shaped.metrics.height();
    if (text.isEmpty()) return 0;
    const QStaticText& line = shaped.Line(text);
    const int width = int(std::ceil(line.size().width()));
    const int boxWidth = rect.right - rect.left, boxHeight = rect.bottom - rect.top;
    const int x = (format & DT_CENTER) ? rect.left + (boxWidth - width) / 2
                  : (format & DT_RIGHT) ? rect.right - width
                                        : rect.left;
    const int y = (format & DT_VCENTER) ? rect.top + (boxHeight - height) / 2
                  : (format & DT_BOTTOM) ? rect.bottom - height
                                         : rect.top;
    const QRect drawn(x, y, width, height);
    const QRect box = ToQRect(rect);
    const bool clip = !(format & DT_NOCLIP) && !box.contains(drawn);
    if (clip) {
        painter_->save();
        painter_->setClipRect(box, Qt::IntersectClip);
    }
    if (backMode_ == OPAQUE) painter_->fillRect(drawn, ToQColor(backColour_));
    painter_->setPen(ToQColor(textColour_));
    // Without a transform the prepared image matches the glyphs the painter would draw; otherwise draw them.
    if (painter_->transform().isIdentity())
        painter_->drawImage(x, y, shaped.Drawn(text, line, ToQColor(textColour_).rgb()));
    else
        painter_->drawStaticText(x, y, line);
    if (clip) painter_->restore();
    return height;
}

BOOL CDC::TextOut(int x, int y, const CString& text) {
    const CSize size = GetTextExtent(text);
    CRect rect(CPoint(x, y), size);
    DrawText(text, &rect, DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_NOCLIP);
    return painter_ != nullptr;
}

CSize CDC::GetTextExtent(const CString& text) const {
    const QFontMetrics metrics(font_ ? font_->GetQFont() : (painter_ ? painter_->font() : QApplication::font()));
    return CSize(metrics.horizontalAdvance(ToQString(text)), metrics.height());
}

CFont* CDC::SelectObject(CFont* font) {
    CFont* old = font_;
    font_ = font;
    if (painter_ != nullptr) painter_->setFont(font ? font->GetQFont() : QApplication::font());
    return old;
}

CBrush* CDC::SelectObject(CBrush* brush) {
    CBrush* old = brush_;
    brush_ = brush;
    return old;
}

CPen* CDC::SelectObject(CPen* pen) {
    CPen* old = pen_;
    pen_ = pen;
    return old;
}

COLORREF CDC::SetTextColor(COLORREF colour) {
    const COLORREF old = textColour_;
    textColour_ = colour;
    return old;
}

COLORREF CDC::SetBkColor(COLORREF colour) {
    const COLORREF old = backColour_;
    backColour_ = colour;
    return old;
}

int CDC::SetBkMode(int mode) {
    const int old = backMode_;
    if (mode == TRANSPARENT || mode == OPAQUE) backMode_ = mode;
    return old;
}

void CDC::ApplyClip() {
    if (painter_ == nullptr) return;
    if (clip_ == nullptr)
        painter_->setClipping(false);
    else
        painter_->setClipRegion(clip_->region);
}

int CDC::ExcludeClipRect(LPCRECT rect) {
    if (painter_ == nullptr || rect == nullptr) return 0;
    if (clip_ == nullptr) {
        const QPaintDevice* device = painter_->device();
        clip_ = std::make_unique<Clip>(Clip{QRegion(0, 0, device->width(), device->height())});
    }
    clip_->region -= QRegion(ToQRect(*rect));
    ApplyClip();
    return clip_->region.isEmpty() ? 1 : 2;  // NULLREGION, SIMPLEREGION or more
}

int CDC::IntersectClipRect(LPCRECT rect) {
    if (painter_ == nullptr || rect == nullptr) return 0;
    if (clip_ == nullptr) {
        const QPaintDevice* device = painter_->device();
        clip_ = std::make_unique<Clip>(Clip{QRegion(0, 0, device->width(), device->height())});
    }
    clip_->region &= QRegion(ToQRect(*rect));
    ApplyClip();
    return clip_->region.isEmpty() ? 1 : 2;
}

int CDC::SelectClipRgn(std::nullptr_t) {
    clip_.reset();
    ApplyClip();
    return 2;
}

CPaintDC::CPaintDC(CWnd* window) { Begin(window ? window->m_hWnd : nullptr); }
