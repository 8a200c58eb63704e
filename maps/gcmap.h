#pragma once
// The two maps: G+C content (percent) and G-C/G+C, drawn window by window
// over the sequence position with value axis, sequence axis and header.
#include "maps/plots.h"
#include "maps/surface.h"
#include <QString>
#include <cstdint>
#include <vector>

namespace quillet {

// What a map shows besides the per-window values. The window size and step
// are the texts that the last successful computation used, so a redraw never
// depends on what the boxes hold now.
struct MapInputs {
    float AvgGC = 0.0f;
    QString totalBases; // sequence length as plain decimal digits
    QString stepText;   // step in bp, as typed for the computation
    QString windowText; // window size in bp, as typed for the computation
    ColorValue curveColor = 0x80000002;
    // Marking of windows of mostly unknown bases, off while null. When set
    // (the run's UnknownCounts, shaped like the values, with the window size
    // it was counted for; counts of another length are ignored), every
    // window with more than half of its positions unknown is left out of the
    // curve, which breaks before it and resumes after it, and its extent is
    // shaded in kUnknownShade.
    const std::vector<int32_t>* unknownCounts = nullptr;
    int32_t unknownWindowSize = 0;
    // The record position of the first window's first base: not 1 when
    // only a stretch of the record was computed. The sequence axis then
    // labels record positions, with ticks at round positions.
    int64_t firstPosition = 1;
};

// The light grey of the band behind windows of mostly unknown bases.
constexpr ColorValue kUnknownShade = 0x00E4E4E4;

// True when window i (1-based) counts as mostly unknown under `in`.
bool MostlyUnknown(const MapInputs& in, int32_t i);

// Both throw quillet::Failure when the inputs cannot be drawn (no values yet,
// a step or total that is no number, a step of 0); what was drawn before the
// failure stays on the surface.
void DrawGCMap(PictureSurface& pic, const std::vector<float>& GCValues, int16_t shift, const MapInputs& in);
void DrawSkewMap(PictureSurface& pic, const std::vector<float>& SkewValues, int16_t scale, const MapInputs& in);

// The cumulative G-C/G+C: the running sum of the windows' values (in
// hundredths, as the values table writes it), on a value axis fitted to its
// range, with a labelled line at the first window of its minimum ("origin")
// and of its maximum ("terminus"), at the window's middle. Same frame,
// header and sequence axis as the other maps; fails as they do.
void DrawCumulativeMap(PictureSurface& pic, const std::vector<float>& SkewValues, const MapInputs& in);
// The running sum itself: element i (1 .. K) is the sum of windows 1 .. i.
std::vector<double> CumulativeSkew(const std::vector<float>& SkewValues);

// The map of `plot` from a record's windows: the G+C map at the shift
// `setting`, the G-C/G+C map at the scale `setting`, or the cumulative map,
// which has neither. Fails as they do.
void DrawMap(PictureSurface& pic, Plot plot, const WindowResults& w, int16_t setting, const MapInputs& in);

// `count` windows whose values were not kept, drawn as if all were 0.
// Whether a map can be drawn depends on the number of windows, not on
// their values, so these fail exactly where the record's values would.
struct BlankWindows {
    int64_t count = 0;
};
void DrawGCMap(PictureSurface& pic, BlankWindows windows, int16_t shift, const MapInputs& in);
void DrawSkewMap(PictureSurface& pic, BlankWindows windows, int16_t scale, const MapInputs& in);

// The steps shared by both maps, exposed for the maps' own use and tests.
// Horizontal layout of one drawing: W outer width in twips, w twips per
// step, K windows, N total bases, S the step in bases.
struct MapGeometry {
    float W = 0;
    float w = 0;
    int32_t K = 0;
    double N = 0;
    double S = 0;
};

struct SequenceAxisText {
    QString unit;      // "Mb", "Kb" or "bp"
    QString totalText; // total bases in that unit, for the header
};

// The sequence axis at height axisY with a tick every power of ten of bases
// below the span S x K, labelled above or below the axis.
SequenceAxisText DrawSequenceAxis(PictureSurface& pic, const MapGeometry& g, float axisY, bool labelsAbove,
                                  const MapInputs& in);
// The two-column header: window and step, average G+C and total bases.
void DrawMapHeader(PictureSurface& pic, float W, const SequenceAxisText& total, const MapInputs& in);

} // namespace quillet
