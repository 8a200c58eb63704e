#include "maps/plots.h"

namespace quillet {

namespace {
constexpr bool RowsInOrder()
{
    for (int i = 0; i < kPlotCount; ++i)
        if (kPlots[std::size_t(i)].plot != Plot(i))
            return false;
    return true;
}
static_assert(RowsInOrder(), "kPlots holds the plots in the order of their values");
} // namespace

std::optional<Plot> PlotOfWord(QStringView word)
{
    for (const PlotTraits& t : kPlots)
        if (word == t.word)
            return t.plot;
    return std::nullopt;
}

std::optional<Plot> PlotAtSelectorIndex(int index)
{
    for (const PlotTraits& t : kPlots)
        if (t.selectorIndex >= 0 && t.selectorIndex == index)
            return t.plot;
    return std::nullopt;
}

QString TrackName(Plot plot)
{
    return QString(TraitsOf(plot).trackName);
}

QString PlotName(Plot plot)
{
    return QString(TraitsOf(plot).valuesName);
}

std::optional<int16_t> ScrollSetting(Plot plot, int position)
{
    const PlotTraits& t = TraitsOf(plot);
    if (position < 0 || position >= t.scrollPositions)
        return std::nullopt;
    return t.scrollSettings[std::size_t(position)];
}

int16_t StartSetting(Plot plot)
{
    return ScrollSetting(plot, TraitsOf(plot).scrollStart).value_or(0);
}

} // namespace quillet
