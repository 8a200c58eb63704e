// The production surface: where lines land in pixels, clipping, text, and
// the column-merged curve against drawing every segment.
#include "maps/gcmap.h"
#include "maps/imagesurface.h"
#include "maps/syscolors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

using namespace quillet;

namespace {
constexpr float kW = 10575, kH = 4695;
constexpr ColorValue kRed = 0x000000FF;
const QRgb kFore = ResolveColor(kSysButtonText).rgb(), kBack = ResolveColor(kSysHighlightText).rgb();
} // namespace

// The image covers the inside of the border; a point at (x, y) twips is in
// device pixel floor(x dpr / 15) and the pen, one logical pixel, extends
// right and down from it.
TEST(ImageSurface, LinesLandWhereTheTwipsPutThem)
{
    struct Px {
        int x, y;
    };
    struct Case {
        const char* name;
        qreal dpr;
        float x1, y1, x2, y2;
        std::vector<Px> on, off;
    } cases[] = {
        {"reference line",
         1,
         600,
         2347,
         10275,
         2347,
         {{40, 156}, {685, 156}},
         {{39, 156}, {686, 156}, {300, 155}, {300, 157}}},
        {"reference line, dpr 2",
         2,
         600,
         2347,
         10275,
         2347,
         {{80, 312}, {1371, 313}},
         {{79, 312}, {1372, 312}, {300, 311}, {300, 314}}},
        {"value axis, dpr 2",
         2,
         600,
         200,
         600,
         4495,
         {{80, 26}, {81, 600}},
         {{79, 100}, {82, 100}, {80, 25}, {80, 601}}},
        {"value tick",
         1,
         600,
         3779.17f,
         500,
         3779.17f,
         {{33, 251}, {40, 251}},
         {{32, 251}, {41, 251}, {36, 250}, {36, 252}}},
        {"diagonal, both ends", 1, 0, 0, 150, 75, {{0, 0}, {1, 1}, {2, 1}, {10, 5}}, {{1, 0}, {11, 5}, {0, 1}}},
        {"fractional dpr",
         1.5,
         600,
         2347,
         10275,
         2347,
         {{60, 234}, {1028, 235}},
         {{59, 234}, {1029, 234}, {300, 233}, {300, 236}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImageSurface s(kW, kH, 2, c.dpr);
        EXPECT_EQ(s.Image().width(), int(std::ceil(701 * c.dpr)));
        EXPECT_EQ(s.Image().height(), int(std::ceil(309 * c.dpr)));
        EXPECT_EQ(s.Image().devicePixelRatio(), c.dpr);
        s.Line(c.x1, c.y1, c.x2, c.y2);
        EXPECT_EQ(s.CurrentX(), c.x2);
        EXPECT_EQ(s.CurrentY(), c.y2);
        for (const Px p : c.on)
            EXPECT_EQ(s.Image().pixel(p.x, p.y), kFore) << p.x << "," << p.y;
        for (const Px p : c.off)
            EXPECT_EQ(s.Image().pixel(p.x, p.y), kBack) << p.x << "," << p.y;
    }
}

// Lines partly or far outside keep exactly the pixels the same line has on
// a larger picture; absurd or missing coordinates neither hang nor draw.
TEST(ImageSurface, Clipping)
{
    constexpr int kOffsetPx = 400;
    constexpr float kOffset = kOffsetPx * 15.0f;
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> xs(-6000, int(kW) + 6000), ys(-6000, int(kH) + 6000); // whole twips
    for (qreal dpr : {1.0, 2.0}) {
        ImageSurface small(kW, kH, 0, dpr), big(kW + 2 * kOffset, kH + 2 * kOffset, 0, dpr);
        for (int i = 0; i < 300; ++i) {
            const float x1 = float(xs(rng)), y1 = float(ys(rng)), x2 = float(xs(rng)), y2 = float(ys(rng));
            small.Line(x1, y1, x2, y2);
            big.Line(x1 + kOffset, y1 + kOffset, x2 + kOffset, y2 + kOffset);
        }
        const QImage& a = small.Image();
        EXPECT_TRUE(a == big.Image().copy(int(kOffsetPx * dpr), int(kOffsetPx * dpr), a.width(), a.height()));
    }

    ImageSurface s(kW, kH);
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    s.Line(-1e30f, 150, 1e30f, 150);
    for (int x = 0; x < s.Image().width(); ++x)
        ASSERT_EQ(s.Image().pixel(x, 10), kFore) << x;
    const QImage before = s.Image().copy();
    s.Line(nan, 0, 1000, 1000);
    s.Line(-inf, -inf, -inf, 3000);
    EXPECT_TRUE(s.Image() == before);
    EXPECT_EQ(s.CurrentY(), 3000);
}

// Text hangs from the current point; a line of text advances the same
// number of twips on every screen (11 points at 96 dpi: about 17 pixels).
TEST(ImageSurface, Print)
{
    float advance[2];
    for (int dpr : {1, 2}) {
        ImageSurface s(kW, kH, 2, dpr);
        s.SetFontName("Arial");
        s.SetFontSize(11);
        s.SetCurrentX(1500);
        s.SetCurrentY(1500);
        s.Print("Total bases: 4.64Mb");
        EXPECT_EQ(s.CurrentX(), 0);
        advance[dpr - 1] = s.CurrentY() - 1500;
        const QRect box(100 * dpr, 100 * dpr, 200 * dpr, int(advance[dpr - 1] / 15) * dpr);
        int inside = 0, outside = 0;
        for (int y = 0; y < s.Image().height(); ++y)
            for (int x = 0; x < s.Image().width(); ++x)
                if (s.Image().pixel(x, y) != kBack)
                    ++(box.contains(x, y) ? inside : outside);
        EXPECT_GT(inside, 50 * dpr * dpr);
        EXPECT_EQ(outside, 0);
    }
    EXPECT_TRUE(advance[0] >= 15 * 15 && advance[0] <= 20 * 15) << advance[0];
    EXPECT_EQ(advance[0], advance[1]);
}

// The column-merged curve, point by point and in batches, against one Line
// per segment: the same pixels and the same current point.
TEST(ImageSurface, FastCurveEqualsSegmentBySegment)
{
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        int K;
        qreal dpr;
        float xStart, xEnd;
        bool walk, oddities; // random walk rather than noise; NaN, inf, far-off values
    } cases[] = {
        {"many per column", 200000, 1, 600, 10271.6f, false, false},
        {"many per column, walk", 200000, 1, 600, 10271.6f, true, false},
        {"many per column, dpr 2", 200000, 2, 600, 10271.6f, false, false},
        {"few per column", 2500, 1, 600, 10271.6f, true, false},
        {"few per column, dpr 2", 2500, 2, 600, 10271.6f, false, false},
        {"dpr 1.5", 20000, 1.5, 600, 10271.6f, true, false},
        {"fewer windows than columns", 300, 1, 600, 10271.6f, false, false},
        {"right to left", 50000, 2, 10271.6f, 600, true, false},
        {"beyond the edges", 50000, 1, -3000, 14000, false, false},
        {"odd values", 50000, 2, 600, 10271.6f, true, true},
    };
    std::mt19937 rng(2024);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::uniform_real_distribution<float> noise(-1500, 6500);
        std::normal_distribution<float> step(0, 40);
        std::uniform_int_distribution<int> odd(0, 499);
        std::vector<PictureSurface::CurvePoint> pts(size_t(c.K));
        float y = 2300;
        for (int i = 0; i < c.K; ++i) {
            y = c.walk ? y + step(rng) : noise(rng);
            const int o = c.oddities ? odd(rng) : -1;
            pts[size_t(i)] = {float(c.xStart + i * ((double(c.xEnd) - c.xStart) / (c.K - 1))), o == 0   ? nan
                                                                                               : o == 1 ? inf
                                                                                               : o == 2 ? -1e9f
                                                                                                        : y};
        }
        if (c.oddities) { // a lone point between gaps, a NaN x, a NaN last point
            pts[100].x = nan;
            pts[102].y = nan;
            pts.back().y = nan;
        }

        ImageSurface fast(kW, kH, 2, c.dpr), batched(kW, kH, 2, c.dpr), plain(kW, kH, 2, c.dpr);
        plain.SetFastCurve(false);
        for (ImageSurface* s : {&fast, &plain}) {
            s->BeginCurve(kRed);
            for (const auto& p : pts)
                s->CurveTo(p.x, p.y);
            s->EndCurve();
        }
        std::uniform_int_distribution<size_t> batchSize(1, 3000);
        batched.BeginCurve(kRed);
        for (size_t i = 0; i < pts.size();) {
            const size_t n = std::min(batchSize(rng), pts.size() - i);
            batched.CurveToMany(pts.data() + i, n);
            i += n;
        }
        batched.EndCurve();

        EXPECT_TRUE(fast.Image() == plain.Image());
        EXPECT_TRUE(batched.Image() == plain.Image());
        EXPECT_FALSE(fast.Image() == ImageSurface(kW, kH, 2, c.dpr).Image()); // the curve is on the picture
        for (const ImageSurface* s : {&fast, &batched}) {
            EXPECT_EQ(s->CurrentX(), plain.CurrentX());
            if (!c.oddities) {
                EXPECT_EQ(s->CurrentY(), plain.CurrentY());
            }
        }
    }
}

// The whole map: elements by colour where their twips put them, at both
// pixel ratios, and the same picture with either curve strategy.
TEST(ImageSurface, MapPixels)
{
    const std::vector<float> values(4641 + 2, 60.0f); // 60% lies at y = 1631.67
    const MapInputs in{45, "4641652", "1000", "1000", kRed};
    const QRgb red = qRgb(255, 0, 0);
    for (qreal dpr : {1.0, 2.0}) {
        SCOPED_TRACE(dpr);
        ImageSurface fast(kW, kH, 2, dpr), plain(kW, kH, 2, dpr);
        plain.SetFastCurve(false);
        DrawGCMap(fast, values, 0, in);
        DrawGCMap(plain, values, 0, in);
        EXPECT_TRUE(fast.Image() == plain.Image());
        const struct {
            float x, y;
            QRgb colour;
        } spots[] = {
            {600, 3000, kFore},      {4500, 2347, kFore},     {520, 3779.17f, kFore}, // value axis, reference, 30% tick
            {4500, 1273.75f, kFore}, {2684, 1320, kFore},                             // sequence axis, 1Mb tick
            {4500, 1631.67f, red},   {10271, 1631.67f, red},                          // curve
            {4500, 1646.67f, kBack}, {4500, 1616.67f, kBack}, {10290, 1631.67f, kBack},
        };
        for (const auto& sp : spots)
            EXPECT_EQ(fast.Image().pixel(int(fast.DevicePixel(sp.x)), int(fast.DevicePixel(sp.y))), sp.colour)
                << sp.x << "," << sp.y;
    }
}
