#include "maps/surfacefont.h"

#include "maps/units.h"

#include <cmath>

namespace quillet {

QFont SurfaceFont(const QString& name, float points)
{
    QFont f(name);
    f.setPointSizeF(points > 0 && std::isfinite(points) ? double(points) : 1.0);
    return f;
}

const QImage& TextMetricsDevice()
{
    static const QImage device = [] {
        QImage im(1, 1, QImage::Format_RGB32);
        im.setDotsPerMeterX(kDotsPerMetre);
        im.setDotsPerMeterY(kDotsPerMetre);
        return im;
    }();
    return device;
}

} // namespace quillet
