#pragma once
// The explorer's picture: up to three tracks stacked over one position axis
// (G+C %, G-C/G+C and the running sum of G-C/G+C over the view), each with
// its own value axis whose ticks follow the values shown (maps/axisticks.h
// gives the ticks of both axes), and labelled
// lines at the record's origin and terminus when they fall in the view.
//
// Positions: base p covers [p - 1, p) on a continuous axis, so a view of
// bases from .. to spans [from - 1, to) and a window's point sits at its
// middle, from - 1 + k * step + window / 2 for window k (0-based).
#include "analysis/islands.h"
#include "analysis/numtext.h"
#include "maps/featuretrack.h"
#include "maps/plots.h"
#include "maps/surface.h"

#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace quillet {

// A track for each plot, in the order of kPlots. Colours of the curves
// and of the origin and terminus lines.
constexpr ColorValue kExplorerTrackColors[kPlotCount] = {0x00A05010, 0x002020C0, 0x00308018};
constexpr ColorValue kExplorerMarkColor = 0x000080E0;
constexpr ColorValue kExplorerGridColor = 0x00ECECEC;
constexpr ColorValue kExplorerZeroColor = 0x00A0A0A0;
// The shades of the record's composition islands on the G+C track: above
// the mean and below it.
constexpr ColorValue kExplorerHighIslandShade = 0x00C8E4FF; // light orange
constexpr ColorValue kExplorerLowIslandShade = 0x00FFE6CC;  // light blue

// What the picture shows.
struct ExplorerPicture {
    int64_t from = 1, to = 1;     // the view, 1-based and inclusive
    int32_t window = 1, step = 1; // the view's windows start at `from`
    // One value per window of the view, in order (all three the same length).
    std::vector<float> gc, skew;
    std::vector<double> cumulative;
    std::array<bool, kPlotCount> shown{true, true, true};
    // Where the whole record's cumulative G-C/G+C is lowest and highest.
    std::optional<int64_t> origin, terminus;
    // The record's features, drawn in a track under the curves when there
    // are any and it is shown.
    TrackFeatures features;
    bool featuresShown = true;
    // What the origin's and terminus's labels add: how far they lie from
    // the record's dnaA and dif (see DistanceNote).
    QString originNote, terminusNote;
    // The record's composition islands (see analysis/islands.h), shaded on
    // the G+C track where they fall in the view.
    std::vector<Island> islands;
    QString fontName = QStringLiteral("Sans Serif");
    float fontSize = 8.0f;
};

class ExplorerData;
// The composition islands of the record of `data`, at the window and step
// of the run (per record, with the default settings): its windows exact,
// as quillet-map --islands finds them on a linear record. None when the
// window or step is missing or the bases cannot be read again.
std::vector<Island> RecordIslands(const ExplorerData& data, std::optional<int32_t> window, std::optional<int32_t> step);

// Running sum of `skew`, one value per window, in hundredths as the values
// table's cumulative column adds it.
std::vector<double> CumulativeOf(const std::vector<float>& skew);

// Where things go on a picture of outer size width x height twips.
struct ExplorerBand {
    Plot track;
    float top, bottom; // the track's box
};
struct ExplorerLayout {
    float left = 0, right = 0; // the plot's horizontal extent
    float axisY = 0;           // the position axis under the last box
    std::vector<ExplorerBand> bands;
    std::optional<FeatureBand> features; // the features track, under the curves
};
ExplorerLayout LayOutExplorer(float width, float height, const ExplorerPicture& p);

// The continuous position at x twips, and back (see the header comment).
double ExplorerPositionAt(const ExplorerLayout& layout, const ExplorerPicture& p, float x);
float ExplorerXOf(const ExplorerLayout& layout, const ExplorerPicture& p, double position);
// The window (0-based) whose middle is nearest to `position`; -1 without windows.
int64_t ExplorerWindowAt(const ExplorerPicture& p, double position);
// The value of `track` in window k.
double ExplorerValue(const ExplorerPicture& p, Plot track, int64_t k);

// Draws the whole picture; nothing but the frame without windows.
void DrawExplorer(PictureSurface& pic, const ExplorerPicture& p);

} // namespace quillet
