// The thumbnail icon's drawing: the one member of the public library's icon that needs the window
// system, so it lives in the window runtime and the core runtime stays free of it.
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <memory>

#include "libraries/KivPublic.h"
#include "libraries/window/KivGuiSkin.h"
#include "platform/window/DeviceContext.h"

namespace {

// The icon fitted at the size last drawn, in the painter's native pixel format: a list repaints its cells
// at one size, and a blit of this costs a fraction of converting and scaling the icon every time.
struct FittedIcon {
    QImage image;
};

}  // namespace

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
    const QSize fitted{int(fitWidth), int(fitHeight)};
    auto* cache = static_cast<FittedIcon*>(drawCache_.get());
    if (cache == nullptr || cache->image.size() != fitted) {
        // The icon's bytes are blue, green, red per pixel, rows without padding: viewed, not copied.
        const QImage view(bits_, int(cx), int(cy), int(cx * 3), QImage::Format_BGR888);
        QImage image = view.convertToFormat(QImage::Format_RGB32);
        if (image.size() != fitted) image = image.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        auto made = std::make_shared<FittedIcon>(FittedIcon{std::move(image)});
        cache = made.get();
        drawCache_ = std::move(made);
    }
    painter->drawImage(QPoint(int(rect.left + (width - fitWidth) / 2), int(rect.top + (height - fitHeight) / 2)),
                       cache->image);
}
