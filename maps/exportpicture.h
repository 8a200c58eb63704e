#pragma once
// The map as a file: PNG at 1x, 2x or 4x the on-screen size, SVG and PDF as
// vectors. Each draws the map through a PainterSurface with the caller's
// drawing procedure (DrawGCMap or DrawSkewMap with the window's inputs), so
// every format shows what the picture box shows.
#include "maps/paintersurface.h"

#include <QString>
#include <functional>

class QIODevice;

namespace quillet {

enum class PictureFormat { Png, Svg, Pdf };

struct PictureExport {
    PictureFormat format = PictureFormat::Png;
    int scale = 1; // PNG only: pixels per logical pixel of the screen picture
    // The picture box: outer size in twips, frame in pixels, colours.
    float outerWidth = 0, outerHeight = 0;
    int border = 2;
    ColorValue back = 0x8000000E, fore = 0x80000012;
    PainterSurface::ColorResolver resolve;
    QString title; // SVG title and PDF document title
};

// Draws with `draw` onto a surface for the format and writes the result to
// `out` (open for writing). False when the device could not be written;
// whatever `draw` throws (quillet::Failure) passes through.
bool WritePicture(QIODevice& out, const PictureExport& request, const std::function<void(PictureSurface&)>& draw);

} // namespace quillet
