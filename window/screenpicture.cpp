#include "window/screenpicture.h"

#include "maps/paintersurface.h"
#include "maps/units.h"

#include <QPainter>
#include <QWidget>

namespace quillet {

QImage ScreenPicture(const QWidget& widget, const QRect& area, const std::function<void(PictureSurface&)>& draw)
{
    const qreal dpr = widget.devicePixelRatioF();
    QImage image(area.size() * dpr, QImage::Format_RGB32);
    image.setDotsPerMeterX(kDotsPerMetre);
    image.setDotsPerMeterY(kDotsPerMetre);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.scale(dpr, dpr);
        painter.translate(-area.topLeft());
        PainterSurface surface(painter, float(widget.width()) * kTwipsPerPixel, float(widget.height()) * kTwipsPerPixel,
                               0, nullptr, 0x00FFFFFF, 0x00000000);
        surface.SetVectorOutput(false);
        draw(surface);
    }
    image.setDevicePixelRatio(dpr);
    return image;
}

} // namespace quillet
