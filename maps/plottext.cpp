#include "maps/plottext.h"

#include "maps/surfacefont.h"

#include <QFont>
#include <QFontMetricsF>
#include <cmath>

namespace quillet {

float TextWidth(const QString& fontName, float fontSize, const QString& text)
{
    QFont font(fontName);
    font.setPointSizeF(double(fontSize));
    return float(QFontMetricsF(font, &TextMetricsDevice()).horizontalAdvance(text)) * kTwipsPerPixel;
}

float TextHeight(float fontSize)
{
    return (fontSize * float(kDotsPerInch) / 72.0f + 3.0f) * kTwipsPerPixel;
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
