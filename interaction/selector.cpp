// The plot selector and the vertical scroll bar: switching between the two
// maps, stepping the G+C band through five shifts and the G-C/G+C axis
// through two scales (the scroll positions of kPlots). They redraw from the
// values of the last successful run and never read the file.
#include "window/quillet.h"

namespace quillet {

void Quillet::Combo1_Change()
{
    Combo1->SetListIndex(0);
}

void Quillet::Combo1_Click()
{
    const std::optional<Plot> plot = ShownPlot();
    if (Label6->Caption().isEmpty() || !plot)
        return;
    scrollToStart(*plot);
    VScroll1_Scroll();
}

void Quillet::scrollToStart(Plot plot)
{
    VScroll1->SetMin(0);
    VScroll1->SetMax(int16_t(TraitsOf(plot).scrollPositions - 1));
    VScroll1->SetValue(TraitsOf(plot).scrollStart);
}

void Quillet::VScroll1_Change()
{
    VScroll1_Scroll();
}

void Quillet::VScroll1_Scroll()
{
    const std::optional<Plot> plot = ShownPlot();
    if (Label6->Caption().isEmpty() || !plot)
        return;
    try {
        // Nothing for a position the shown map's scroll bar does not have.
        const std::optional<int16_t> setting = ScrollSetting(*plot, VScroll1->Value());
        if (setting && *plot == Plot::GCContent)
            DrawGCMap(GCValues, *setting);
        else if (setting && *plot == Plot::Skew)
            DrawSkewMap(SkewValues, *setting);
    } catch (const std::exception&) {
        // A map that cannot be drawn (a step the computation took as 0)
        // keeps what was drawn; the handlers never fail.
    }
}

} // namespace quillet
