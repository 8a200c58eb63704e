#pragma once
// Text and line placement shared by the pictures that lay out their own
// text (the explorer's tracks, the genome overview): widths measured at the
// 96 logical dpi the surfaces lay text out at, in twips.
#include "maps/surface.h"
#include "maps/units.h"

#include <QString>

namespace quillet {

float TextWidth(const QString& fontName, float fontSize, const QString& text);
// The height of a line of text in the font size, with a little room.
float TextHeight(float fontSize);
// Lines and boxes on whole pixels stay one sharp pixel wide.
float Snap(float twips);
// Prints `text` with its top-left corner at (x, y).
void PrintAt(PictureSurface& pic, float x, float y, const QString& text);

} // namespace quillet
