#include "maps/plottext.h"

#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <cmath>

namespace quillet {

float TextWidth(const QString& fontName, float fontSize, const QString& text)
{
    static const QImage device = [] {
        QImage im(1, 1, QImage::Format_RGB32);
        im.setDotsPerMeterX(3780);
        im.setDotsPerMeterY(3780);
        return im;
    }();
    QFont font(fontName);
    font.setPointSizeF(double(fontSize));
    return float(QFontMetricsF(font, &device).horizontalAdvance(text)) * kTwipsPerPixel;
}

float TextHeight(float fontSize)
{
    return (fontSize * 96.0f / 72.0f + 3.0f) * kTwipsPerPixel;
}

float Snap(float twips)
{
    return std::floor(twips / kTwipsPerPixel) * kTwipsPerPixel;
}

void PrintAt(PictureSurface& pic, float x, float y, const QString& text)
{
    pic.SetCurrentX(x);
    pic.SetCurrentY(y);
    pic.Print(text);
}

} // namespace quillet
