#pragma once
// The two maps: G+C content (percent) and G-C/G+C, drawn window by window
// over the sequence position with value axis, sequence axis and header.
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
    QString totalBases;   // sequence length as plain decimal digits
    QString stepText;     // step in bp, as typed for the computation
    QString windowText;   // window size in bp, as typed for the computation
    ColorValue curveColor = 0x80000002;
};

// Both throw quillet::Failure when the inputs cannot be drawn (no values yet,
// a step or total that is no number, a step of 0); what was drawn before the
// failure stays on the surface.
void DrawGCMap(PictureSurface& pic, const std::vector<float>& GCValues, int16_t shift, const MapInputs& in);
void DrawSkewMap(PictureSurface& pic, const std::vector<float>& SkewValues, int16_t scale, const MapInputs& in);

} // namespace quillet
