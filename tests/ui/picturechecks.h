#pragma once
// Checks on drawn pictures shared by the window tests.
#include <QColor>
#include <QImage>

namespace quillet::test {

// True when every pixel has the colour of the top-left one.
inline bool IsBlank(const QImage& img)
{
    const QRgb bg = img.pixel(0, 0);
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) != bg)
                return false;
    return true;
}

inline bool Contains(const QImage& img, QRgb c)
{
    for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
            if (img.pixel(x, y) == c)
                return true;
    return false;
}

inline bool Contains(const QImage& img, const QColor& c)
{
    return Contains(img, c.rgb());
}

} // namespace quillet::test
