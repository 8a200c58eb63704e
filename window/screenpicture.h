#pragma once
// The picture a window's canvas shows, drawn through a painter surface.
#include "maps/surface.h"

#include <QImage>
#include <QRect>
#include <functional>

class QWidget;

namespace quillet {

// What `draw` draws on a surface the size of `widget`, for the part `area`
// of it (the whole widget, or what a scroll area shows), as an image at the
// widget's device pixel ratio. The image says 96 dpi, which keeps the font
// sizes the surfaces lay text out with.
QImage ScreenPicture(const QWidget& widget, const QRect& area, const std::function<void(PictureSurface&)>& draw);

} // namespace quillet
