// The plot selector and the vertical scroll bar: switching between the two
// maps, stepping the G+C band through five shifts and the G-C/G+C axis
// through two scales. They redraw from the values of the last successful
// run and never read the file.
#include "window/quillet.h"

namespace quillet {

namespace {
// Scroll position -> G+C shift; nothing outside the table.
std::optional<int16_t> ShiftAt(int16_t position)
{
    if (position < 0 || position > 4)
        return std::nullopt;
    return int16_t(10 * (position - 2));
}

// Scroll position -> G-C/G+C scale number.
std::optional<int16_t> ScaleAt(int16_t position)
{
    if (position == 0)
        return int16_t(20);
    if (position == 1)
        return int16_t(10);
    return std::nullopt;
}
} // namespace

void Quillet::Combo1_Change()
{
    Combo1->SetListIndex(0);
}

void Quillet::Combo1_Click()
{
    const int16_t index = Combo1->ListIndex();
    if (Label6->Caption().isEmpty())
        return;
    if (index == 0) {
        VScroll1->SetMin(0);
        VScroll1->SetMax(4);
        VScroll1->SetValue(2);
    } else if (index == 1) {
        VScroll1->SetMin(0);
        VScroll1->SetMax(1);
        VScroll1->SetValue(0);
    } else {
        return;
    }
    VScroll1_Scroll();
}

void Quillet::VScroll1_Change()
{
    VScroll1_Scroll();
}

void Quillet::VScroll1_Scroll()
{
    if (Label6->Caption().isEmpty())
        return;
    try {
        if (Combo1->ListIndex() == 0) {
            if (const auto shift = ShiftAt(VScroll1->Value()))
                DrawGCMap(GCValues, *shift);
        } else if (Combo1->ListIndex() == 1) {
            if (const auto scale = ScaleAt(VScroll1->Value()))
                DrawSkewMap(SkewValues, *scale);
        }
    } catch (const std::exception&) {
        // A map that cannot be drawn (a step the computation took as 0)
        // keeps what was drawn; the handlers never fail.
    }
}

} // namespace quillet
