// The thumbnail icon's drawing: the one member of the public library's icon that needs the window
// system, so it lives in the window runtime and the core runtime stays free of it.
#include <QImage>
#include <QPainter>

#include <algorithm>

#include "libraries/KivPublic.h"
#include "libraries/window/KivGuiSkin.h"
#include "platform/window/DeviceContext.h"

void CKivIconObj::DrawIcon(CDC* dc, CRect rect) const {
    QPainter* painter = dc ? dc->GetPainter() : nullptr;
    if (painter == nullptr || rect.IsRectEmpty()) return;
    if (IsEmpty()) {
        dc->Draw3dRect(&rect, kivgui::kSunkenDark, kivgui::kSunkenLight);
        return;
    }
    // The largest rectangle of the icon's shape inside rect, centred: bars on the two spare sides.
    const long long width = rect.Width(), height = rect.Height(), cx = size_.cx, cy = size_.cy;
    long long fitWidth = width, fitHeight = height;
    if (width * cy <= height * cx)
        fitHeight = std::max(1LL, (width * cy + cx / 2) / cx);
    else
        fitWidth = std::max(1LL, (height * cx + cy / 2) / cy);
    const QRect target(int(rect.left + (width - fitWidth) / 2), int(rect.top + (height - fitHeight) / 2),
                       int(fitWidth), int(fitHeight));
    // The icon's bytes are blue, green, red per pixel, rows without padding: viewed, not copied.
    const QImage image(bits_, int(cx), int(cy), int(cx * 3), QImage::Format_BGR888);
    const bool scaled = target.size() != image.size();
    if (scaled) {
        painter->save();
        painter->setRenderHint(QPainter::SmoothPixmapTransform);
    }
    painter->drawImage(target, image);
    if (scaled) painter->restore();
}
