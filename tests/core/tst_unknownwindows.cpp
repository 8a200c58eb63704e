// Marking windows of mostly unknown bases: the curve breaks around every
// window with more than half of its positions unknown and the window's
// extent is shaded; with marking off, or nothing mostly unknown, the map is
// exactly as before.
#include "maps/gcmap.h"
#include "maps/imagesurface.h"
#include "maps/syscolors.h"
#include "recordingsurface.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>

using namespace quillet;
using quillet::test::DrawCall;
using quillet::test::RecordingSurface;

namespace {

constexpr float kW = 10575, kH = 4695;
constexpr ColorValue kRed = 0x000000FF;

// K windows with values 30, 35, 40, ... and the unknown counts given for
// windows 1 .. K.
struct Marked {
    std::vector<float> values;
    std::vector<int32_t> unknown;
    Marked(const std::vector<int32_t>& counts)
    {
        values.push_back(0);
        unknown.push_back(0);
        for (size_t i = 0; i < counts.size(); ++i) {
            values.push_back(30.0f + 5.0f * float(i));
            unknown.push_back(counts[i]);
        }
        values.push_back(0);
        unknown.push_back(0);
    }
};

MapInputs Inputs(int K, int32_t window, int32_t step, const std::vector<int32_t>* unknown)
{
    MapInputs in{45, QString::number(int64_t(K) * step), QString::number(step), QString::number(window), kRed};
    in.unknownCounts = unknown;
    in.unknownWindowSize = window;
    return in;
}

// The curve segments a surface draws: both ends finite.
std::vector<std::pair<int, int>> Segments(const RecordingSurface& s, float w)
{
    std::vector<std::pair<int, int>> out;
    for (const auto& c : s.Lines(false))
        if (std::isfinite(c.x1) && std::isfinite(c.y1) && std::isfinite(c.x2) && std::isfinite(c.y2))
            out.push_back({int(std::lround((c.x1 - 600) / w)) + 1, int(std::lround((c.x2 - 600) / w)) + 1});
    return out;
}

} // namespace

TEST(UnknownWindows, CurveBreaksAroundMostlyUnknownWindowsWhichAreShaded)
{
    struct Case {
        const char* name;
        int32_t window, step;
        std::vector<int32_t> unknown;              // windows 1 .. 8
        std::vector<std::pair<int, int>> segments; // windows joined by the curve
        std::vector<std::pair<int, int>> bands;    // first and last window of each band
    } cases[] = {
        {"nothing unknown",
         10,
         10,
         {0, 0, 0, 0, 0, 0, 0, 0},
         {{1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}, {7, 8}},
         {}},
        {"exactly half is not mostly",
         10,
         10,
         {5, 5, 5, 5, 5, 5, 5, 5},
         {{1, 2}, {2, 3}, {3, 4}, {4, 5}, {5, 6}, {6, 7}, {7, 8}},
         {}},
        {"one in the middle", 10, 10, {0, 0, 0, 6, 0, 0, 0, 0}, {{1, 2}, {2, 3}, {5, 6}, {6, 7}, {7, 8}}, {{4, 4}}},
        {"runs at both ends", 10, 10, {10, 9, 0, 1, 2, 3, 4, 7}, {{3, 4}, {4, 5}, {5, 6}, {6, 7}}, {{1, 2}, {8, 8}}},
        {"a lone window between gaps", 10, 10, {0, 0, 8, 0, 8, 0, 0, 0}, {{1, 2}, {6, 7}, {7, 8}}, {{3, 3}, {5, 5}}},
        {"every window", 10, 10, {10, 10, 10, 10, 10, 10, 10, 10}, {}, {{1, 8}}},
        {"windows twice the step",
         20,
         10,
         {0, 11, 0, 0, 0, 0, 0, 0},
         {{3, 4}, {4, 5}, {5, 6}, {6, 7}, {7, 8}},
         {{2, 2}}},
        // 51 of 101 is more than half (50.5 %), 50 of 101 is not.
        {"odd window", 101, 101, {0, 51, 0, 50, 0, 0, 0, 0}, {{3, 4}, {4, 5}, {5, 6}, {6, 7}, {7, 8}}, {{2, 2}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Marked m(c.unknown);
        const MapInputs in = Inputs(8, c.window, c.step, &m.unknown);
        for (bool skew : {false, true}) {
            RecordingSurface s(kW, kH);
            if (skew)
                DrawSkewMap(s, std::vector<float>(m.values.size(), 0.5f), 20, in);
            else
                DrawGCMap(s, m.values, 0, in);
            const float w = (kW - 900) / 8; // twips per step: the span is 8 steps
            EXPECT_EQ(Segments(s, w), c.segments);
            const auto shades = s.Shades();
            ASSERT_EQ(shades.size(), c.bands.size());
            for (size_t b = 0; b < shades.size(); ++b) {
                const auto [first, last] = c.bands[b];
                EXPECT_NEAR(shades[b].x1, 600 + (first - 1) * w, 0.01);
                EXPECT_NEAR(shades[b].x2, 600 + (last - 1) * w + w * float(c.window) / float(c.step), 0.01);
                EXPECT_EQ(shades[b].y1, skew ? 500 : 200); // the extent of the value axis
                EXPECT_EQ(shades[b].y2, skew ? kH - 500 : kH - 200);
                EXPECT_EQ(shades[b].color, kUnknownShade);
            }
            // Bands come first, under the axes and the curve.
            if (!shades.empty()) {
                EXPECT_EQ(s.calls[1].kind, DrawCall::Shade);
            }
        }
        // The cumulative map's bands too, under every line and label.
        RecordingSurface s(kW, kH);
        DrawCumulativeMap(s, std::vector<float>(m.values.size(), 0.5f), in);
        EXPECT_EQ(s.Shades().size(), c.bands.size());
        const auto firstOther = std::find_if(s.calls.begin() + 1, s.calls.end(),
                                             [](const DrawCall& d) { return d.kind != DrawCall::Shade; });
        EXPECT_TRUE(
            std::none_of(firstOther, s.calls.end(), [](const DrawCall& d) { return d.kind == DrawCall::Shade; }));
    }
}

// Off (no counts) the map is the one drawn before marking existed; with
// counts but nothing mostly unknown it is the same picture to the pixel.
TEST(UnknownWindows, NothingMarkedLeavesThePictureAlone)
{
    const Marked m({0, 3, 5, 0, 1, 0, 2, 0});
    ImageSurface off(kW, kH), on(kW, kH);
    DrawGCMap(off, m.values, 0, Inputs(8, 10, 10, nullptr));
    DrawGCMap(on, m.values, 0, Inputs(8, 10, 10, &m.unknown));
    EXPECT_EQ(off.Image(), on.Image());
}

TEST(UnknownWindows, BandAndGapOnTheScreenPicture)
{
    const Marked m({0, 0, 0, 10, 0, 0, 0, 0});
    ImageSurface s(kW, kH);
    DrawGCMap(s, m.values, 0, Inputs(8, 10, 10, &m.unknown));
    const QImage& img = s.Image();
    // Window 4 spans x = 600 + 3w .. 600 + 4w twips; look inside it.
    const float w = (kW - 900) / 8;
    const int left = int((600 + 3 * w) / 15) + 2, right = int((600 + 4 * w) / 15) - 2;
    const QRgb shade = ResolveColor(kUnknownShade).rgb(), curve = ResolveColor(kRed).rgb();
    int shaded = 0;
    for (int x = left; x <= right; ++x)
        for (int y = 0; y < img.height(); ++y) {
            EXPECT_NE(img.pixel(x, y), curve) << x << "," << y;
            shaded += img.pixel(x, y) == shade;
        }
    EXPECT_GT(shaded, (right - left) * 200);
    EXPECT_EQ(img.pixel(5, 5), ResolveColor(kSysHighlightText).rgb()); // outside the band
}
