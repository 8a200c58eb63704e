#pragma once
// Text as the drawing surfaces set it: the font for a name and size, and the
// device fonts are measured on, at 96 logical dots per inch whatever the
// screen, so that the picture box, the exported files and the pictures that
// lay out their own text measure text alike.
#include <QFont>
#include <QImage>
#include <QString>

namespace quillet {

// The font `name` at `points` points; a size that is not a positive finite
// number is taken as 1 point.
QFont SurfaceFont(const QString& name, float points);
// A 1 x 1 image at kDotsPerInch to take font metrics on.
const QImage& TextMetricsDevice();

} // namespace quillet
