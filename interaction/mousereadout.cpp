// The cursor line and the position readout that follow the mouse over the
// map. They are separate controls over the picture, so the map itself is
// never redrawn and they are not part of what Save and Copy take.
#include "analysis/numtext.h"
#include "maps/readout.h"
#include "window/quillet.h"

namespace quillet {

void Quillet::Picture1_MouseMove(int16_t /*button*/, int16_t /*shift*/, float x, float y)
{
    const auto position = ReadoutPosition(x, y, Picture1->Width(), Picture1->Height(), Label6->Caption());
    if (position) {
        const QString caption = FormatInteger(*position);
        // Beside the line on the right; on its left where the map's edge
        // would cut the number (its caption background reaches 2 pixels out).
        const float textWidth = float(Label_move->fontMetrics().horizontalAdvance(caption) + 2) * tk::kTwipsPerPixel;
        const float edge = float(Picture1->Inside()->width()) * tk::kTwipsPerPixel;
        Label_move->SetLeft(x + 100 + textWidth <= edge ? x + 100 : x - 100 - textWidth);
        Label_move->SetTop(y - 350);
        Label_move->SetCaption(caption);
        Line3->SetDrawMode(13);
        Line3->SetX1(x);
        Line3->SetX2(x);
    } else {
        clearReadout();
    }
}

void Quillet::clearReadout()
{
    Line3->SetDrawMode(11);
    Label_move->SetCaption(QString());
}

} // namespace quillet
