#pragma once
// The plots the program draws, and one table with a row per plot for what
// each place that names a plot needs of it: the command line's word, the
// main window's selector entry and scroll bar, the name of its track in the
// explorer and the overview, the decimals its values are told with, its
// value axis, and what a values file of it holds. The drawing itself is
// DrawMap (maps/gcmap.h), the explorer's tracks and the overview's rows.
#include "analysis/calcwindows.h"

#include <QLatin1String>
#include <QString>
#include <QStringView>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace quillet {

enum class Plot { GCContent = 0, Skew = 1, Cumulative = 2 };
constexpr int kPlotCount = 3;

struct PlotTraits {
    Plot plot;
    // quillet-map's --plot WORD.
    QLatin1String word;
    // The main window's plot selector: the entry's index and text; -1 for a
    // plot it does not offer.
    int selectorIndex;
    QLatin1String selectorText;
    // The name with its unit that the explorer's track, the overview's plot
    // box, header, status line and description give it.
    QLatin1String trackName;
    // Decimals of a value in the explorer's status line and description,
    // and in the overview's.
    int explorerDecimals, overviewDecimals;
    // A value axis fitted to the values spans at least this much; a plot
    // whose values have a sign gets a line at 0 where its axis crosses it.
    double leastSpan;
    bool signedValues;
    // The main window's scroll bar for this map: positions 0 ..
    // scrollPositions - 1, the position a map is first drawn at, and the
    // shift of the G+C band (percentage points) or the scale of the
    // G-C/G+C axis (tenths of value from bottom to top) each position
    // draws. None for a map whose axis is fitted to its values.
    int16_t scrollPositions, scrollStart;
    std::array<int16_t, 5> scrollSettings;
    // A bedGraph or bigWig of this plot, which holds the plot's own value of
    // each window: the track's name (PlotName), also that of the explorer's
    // Export values entry, and the plot its description names.
    QLatin1String valuesName, valuesDescription;
};

constexpr std::array<PlotTraits, kPlotCount> kPlots{{
    {.plot = Plot::GCContent,
     .word = QLatin1String("gc"),
     .selectorIndex = 0,
     .selectorText = QLatin1String("G+C content"),
     .trackName = QLatin1String("G+C (%)"),
     .explorerDecimals = 1,
     .overviewDecimals = 1,
     .leastSpan = 1.0,
     .signedValues = false,
     .scrollPositions = 5,
     .scrollStart = 2,
     .scrollSettings = {-20, -10, 0, 10, 20},
     .valuesName = QLatin1String("G+C content"),
     .valuesDescription = QLatin1String("G+C content (%)")},
    {.plot = Plot::Skew,
     .word = QLatin1String("skew"),
     .selectorIndex = 1,
     .selectorText = QLatin1String("G-C/G+C"),
     .trackName = QLatin1String("G-C/G+C"),
     .explorerDecimals = 2,
     .overviewDecimals = 3,
     .leastSpan = 0.02,
     .signedValues = true,
     .scrollPositions = 2,
     .scrollStart = 0,
     .scrollSettings = {20, 10},
     .valuesName = QLatin1String("G-C/G+C"),
     .valuesDescription = QLatin1String("G-C/G+C")},
    // Not in the selector: quillet-map, the explorer and the overview draw
    // it. Its bedGraph and bigWig hold the running sum, the TSV's last
    // column.
    {.plot = Plot::Cumulative,
     .word = QLatin1String("cumulative"),
     .selectorIndex = -1,
     .selectorText = QLatin1String(),
     .trackName = QLatin1String("Cumulative G-C/G+C"),
     .explorerDecimals = 2,
     .overviewDecimals = 2,
     .leastSpan = 1.0,
     .signedValues = true,
     .scrollPositions = 0,
     .scrollStart = 0,
     .scrollSettings = {},
     .valuesName = QLatin1String("Cumulative G-C/G+C"),
     .valuesDescription = QLatin1String("cumulative G-C/G+C (the running sum over the record's windows)")},
}};

constexpr const PlotTraits& TraitsOf(Plot plot)
{
    return kPlots[std::size_t(plot)];
}

// The plot of a --plot word, and of a selector index; none for another.
std::optional<Plot> PlotOfWord(QStringView word);
std::optional<Plot> PlotAtSelectorIndex(int index);

// The track's name (see PlotTraits::trackName).
QString TrackName(Plot plot);
// The track line's plot name of a bedGraph ("G+C content", "G-C/G+C").
QString PlotName(Plot plot);

// The shift or scale that scroll position `position` draws the map of
// `plot` at; none for a position its scroll bar does not have. StartSetting
// is that of the position a map is first drawn at.
std::optional<int16_t> ScrollSetting(Plot plot, int position);
int16_t StartSetting(Plot plot);

} // namespace quillet
