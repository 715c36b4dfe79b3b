#include "libraries/window/KivPublicDraw.h"

#include <QImage>
#include <QPainter>

#include <bit>

#include "platform/window/QtConversions.h"

// tagCOLOR32's bytes blue, green, red, alpha are Qt's ARGB32 word only on a little-endian machine.
static_assert(std::endian::native == std::endian::little, "32-bit pixels are drawn as Qt's ARGB32");

BOOL KivPublicDrawIcon(CDC* dc, CRect rect, const void* image, CSize size, int bits) {
    if (!dc || !dc->GetPainter() || !image || rect.IsRectEmpty() || size.cx <= 0 || size.cy <= 0) return FALSE;
    if (bits != 24 && bits != 32) return FALSE;
    const ULONGLONG rowBytes = static_cast<ULONGLONG>(size.cx) * static_cast<ULONGLONG>(bits / 8);
    if (rowBytes * static_cast<ULONGLONG>(size.cy) > 0xFFFFFFFFull) return FALSE;
    // A view of the caller's bytes, no copy: 24-bit rows are unpadded blue, green, red bytes; 32-bit pixels
    // are the words 0xAARRGGBB with straight alpha, which is Qt's ARGB32 on this byte order.
    const QImage view(static_cast<const uchar*>(image), size.cx, size.cy, static_cast<qsizetype>(rowBytes),
                      bits == 24 ? QImage::Format_BGR888 : QImage::Format_ARGB32);
    QPainter* painter = dc->GetPainter();
    painter->save();
    painter->setRenderHint(QPainter::SmoothPixmapTransform, rect.Size() != size);
    painter->drawImage(ToQRect(rect), view);
    painter->restore();
    return TRUE;
}
