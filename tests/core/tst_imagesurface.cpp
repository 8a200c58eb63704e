// The picture surface over a QImage: geometry, where lines land in pixels,
// clipping, text placement, and the column-merged curve against drawing
// every segment.
#include "maps/gcmap.h"
#include "maps/imagesurface.h"
#include "window/syscolors.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

using namespace quillet;

namespace {

constexpr float kW = 10575, kH = 4695;
constexpr ColorValue kRed = 0x000000FF;

QRgb Rgb(ColorValue v)
{
    return ResolveColor(v).rgb();
}

QRgb Pixel(const ImageSurface& s, int x, int y)
{
    return s.Image().pixel(x, y);
}

struct Px {
    int x, y;
};

} // namespace

TEST(ImageSurface, InnerAreaAtDeviceResolution)
{
    struct Case {
        float w, h;
        int border;
        qreal dpr;
        int imageW, imageH;
    } cases[] = {
        {kW, kH, 2, 1.0, 701, 309},
        {kW, kH, 2, 2.0, 1402, 618},
        {kW, kH, 0, 1.0, 705, 313},
        {kW, kH, 2, 1.5, 1052, 464}, // partial device pixels are covered
        {60, 60, 2, 1.0, 0, 0},       // no inside left
    };
    for (const auto& c : cases) {
        ImageSurface s(c.w, c.h, c.border, c.dpr);
        EXPECT_EQ(s.Width(), c.w);
        EXPECT_EQ(s.Height(), c.h);
        EXPECT_EQ(s.Image().width(), c.imageW) << c.dpr;
        EXPECT_EQ(s.Image().height(), c.imageH) << c.dpr;
        if (c.imageW > 0)
            EXPECT_EQ(s.Image().devicePixelRatio(), c.dpr);
    }
}

TEST(ImageSurface, EmptyInsideDrawsNothingAndKeepsState)
{
    ImageSurface s(60, 60);
    s.Line(0, 0, 1000, 1000);
    s.SetFontName("Arial");
    s.SetFontSize(9);
    s.Print("x");
    EXPECT_EQ(s.CurrentX(), 0);
    EXPECT_GT(s.CurrentY(), 0);
    s.BeginCurve(kRed);
    s.CurveTo(0, 0);
    s.CurveTo(10, 10);
    s.EndCurve();
    EXPECT_TRUE(s.Image().isNull());
}

TEST(ImageSurface, ClsFillsWithBackground)
{
    ImageSurface s(kW, kH);
    s.SetBackColor(0x0000FF00);
    s.SetCurrentX(100);
    s.SetCurrentY(200);
    s.Cls();
    EXPECT_EQ(s.CurrentX(), 0);
    EXPECT_EQ(s.CurrentY(), 0);
    const QImage& im = s.Image();
    for (const Px p : {Px{0, 0}, Px{700, 308}, Px{350, 150}})
        EXPECT_EQ(im.pixel(p.x, p.y), qRgb(0, 255, 0));
}

// A point at (x, y) twips is in device pixel floor(x dpr / 15); the pen is
// one logical pixel: round(dpr) device pixels, right and down of the point.
TEST(ImageSurface, LinesLandWhereTheTwipsPutThem)
{
    struct Case {
        const char* name;
        qreal dpr;
        float x1, y1, x2, y2;
        std::vector<Px> on, off;
    } cases[] = {
        {"reference line", 1, 600, 2347, 10275, 2347, {{40, 156}, {685, 156}, {300, 156}}, {{39, 156}, {686, 156}, {300, 155}, {300, 157}}},
        {"reference line x2", 2, 600, 2347, 10275, 2347, {{80, 312}, {80, 313}, {1371, 313}}, {{79, 312}, {1372, 312}, {300, 311}, {300, 314}}},
        {"value axis", 1, 600, 200, 600, 4495, {{40, 13}, {40, 299}}, {{40, 12}, {40, 300}, {39, 100}, {41, 100}}},
        {"value axis x2", 2, 600, 200, 600, 4495, {{80, 26}, {81, 26}, {81, 600}}, {{79, 100}, {82, 100}, {80, 25}, {80, 601}}},
        {"value tick", 1, 600, 3779.17f, 500, 3779.17f, {{33, 251}, {40, 251}}, {{32, 251}, {41, 251}, {36, 250}, {36, 252}}},
        {"sequence tick", 1, 2684, 1273.75f, 2684, 1353.75f, {{178, 84}, {178, 90}}, {{178, 83}, {178, 91}, {177, 86}, {179, 86}}},
        {"diagonal, both ends", 1, 0, 0, 150, 75, {{0, 0}, {1, 1}, {2, 1}, {10, 5}}, {{1, 0}, {11, 5}, {0, 1}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ImageSurface s(kW, kH, 2, c.dpr);
        s.Cls();
        s.Line(c.x1, c.y1, c.x2, c.y2);
        EXPECT_EQ(s.CurrentX(), c.x2);
        EXPECT_EQ(s.CurrentY(), c.y2);
        for (const Px p : c.on)
            EXPECT_EQ(Pixel(s, p.x, p.y), Rgb(kSysButtonText)) << p.x << "," << p.y;
        for (const Px p : c.off)
            EXPECT_EQ(Pixel(s, p.x, p.y), Rgb(kSysHighlightText)) << p.x << "," << p.y;
    }
}

TEST(ImageSurface, LineColours)
{
    ImageSurface s(kW, kH);
    s.Cls();
    s.Line(0, 15, 150, 15, kRed);
    s.Line(0, 30, 150, 30, 0x00FF0000);
    s.SetForeColor(0x00808080);
    s.Line(0, 45, 150, 45);
    EXPECT_EQ(Pixel(s, 5, 1), qRgb(255, 0, 0));
    EXPECT_EQ(Pixel(s, 5, 2), qRgb(0, 0, 255));
    EXPECT_EQ(Pixel(s, 5, 3), qRgb(128, 128, 128));
}

// Far-off and partly outside lines give exactly the pixels of the same line
// on a larger picture, and absurd or missing coordinates neither hang nor
// draw stray pixels.
TEST(ImageSurface, ClippingKeepsTheLinesPixels)
{
    constexpr int kOffsetPx = 400;
    constexpr float kOffset = kOffsetPx * 15.0f;
    std::mt19937 rng(7);
    // Whole twips, so that the offset moves every point by whole pixels.
    std::uniform_int_distribution<int> xs(-6000, int(kW) + 6000), ys(-6000, int(kH) + 6000);
    for (qreal dpr : {1.0, 2.0}) {
        ImageSurface small(kW, kH, 0, dpr), big(kW + 2 * kOffset, kH + 2 * kOffset, 0, dpr);
        small.Cls();
        big.Cls();
        for (int i = 0; i < 300; ++i) {
            const float x1 = float(xs(rng)), y1 = float(ys(rng)), x2 = float(xs(rng)), y2 = float(ys(rng));
            small.Line(x1, y1, x2, y2);
            big.Line(x1 + kOffset, y1 + kOffset, x2 + kOffset, y2 + kOffset);
        }
        const QImage& a = small.Image();
        const QImage inner = big.Image().copy(int(kOffsetPx * dpr), int(kOffsetPx * dpr), a.width(), a.height());
        EXPECT_TRUE(a.convertToFormat(QImage::Format_RGB32) == inner.convertToFormat(QImage::Format_RGB32))
            << "dpr " << dpr;
    }

    ImageSurface s(kW, kH);
    s.Cls();
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    s.Line(-1e30f, 150, 1e30f, 150); // the whole of row 10
    for (int x = 0; x < s.Image().width(); ++x)
        ASSERT_EQ(Pixel(s, x, 10), Rgb(kSysButtonText)) << x;
    QImage before = s.Image().copy();
    s.Line(nan, 0, 1000, 1000);
    s.Line(0, 0, 1000, nan);
    s.Line(-inf, -inf, -inf, 3000); // off to the left
    EXPECT_TRUE(s.Image() == before);
    EXPECT_EQ(s.CurrentX(), -inf);
    EXPECT_EQ(s.CurrentY(), 3000);
}

TEST(ImageSurface, PrintPlacesTextAndAdvancesOneLine)
{
    float lineHeight[2] = {};
    int k = 0;
    for (qreal dpr : {1.0, 2.0}) {
        ImageSurface s(kW, kH, 2, dpr);
        s.Cls();
        s.SetFontName("Arial");
        s.SetFontSize(11);
        s.SetCurrentX(1500);
        s.SetCurrentY(1500);
        s.Print("Total bases: 4.64Mb");
        EXPECT_EQ(s.CurrentX(), 0);
        lineHeight[k++] = s.CurrentY() - 1500;

        // Ink inside the text box, none above or left of its corner.
        const QImage& im = s.Image();
        const int x0 = int(100 * dpr), y0 = int(100 * dpr), lh = int(lineHeight[k - 1] / 15 * dpr);
        bool inkInside = false, inkOutside = false;
        for (int y = 0; y < im.height(); ++y)
            for (int x = 0; x < im.width(); ++x) {
                if (im.pixel(x, y) == Rgb(kSysHighlightText))
                    continue;
                if (x >= x0 && y >= y0 && y < y0 + lh && x < x0 + int(200 * dpr))
                    inkInside = true;
                else
                    inkOutside = true;
            }
        EXPECT_TRUE(inkInside) << "dpr " << dpr;
        EXPECT_FALSE(inkOutside) << "dpr " << dpr;
    }
    // 11 points at 96 dpi: a line of text is about 17 pixels, whatever the
    // screen, so the header looks the same on every screen.
    EXPECT_GE(lineHeight[0], 15 * 15);
    EXPECT_LE(lineHeight[0], 20 * 15);
    EXPECT_EQ(lineHeight[0], lineHeight[1]);
}

// The column-merged curve against one Line per segment, pixel for pixel.
TEST(ImageSurface, FastCurveEqualsSegmentBySegment)
{
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        int K;
        qreal dpr;
        float xStart, xEnd;
        bool walk;    // random walk (like real data) rather than noise
        bool oddities; // NaN, infinities and far-off points sprinkled in
    } cases[] = {
        {"many per column", 200000, 1, 600, 10271.6f, false, false},
        {"many per column, random walk", 200000, 1, 600, 10271.6f, true, false},
        {"many per column, high DPI", 200000, 2, 600, 10271.6f, false, false},
        {"a few per column", 2500, 1, 600, 10271.6f, true, false},
        {"a few per column, high DPI", 2500, 2, 600, 10271.6f, false, false},
        {"fractional DPI", 20000, 1.5, 600, 10271.6f, true, false},
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
        std::uniform_int_distribution<int> oddPick(0, 499);
        std::vector<std::pair<float, float>> pts(size_t(c.K));
        const double w = c.K > 1 ? (double(c.xEnd) - c.xStart) / (c.K - 1) : 0;
        float y = 2300;
        for (int i = 0; i < c.K; ++i) {
            y = c.walk ? y + step(rng) : noise(rng);
            float yy = y;
            if (c.oddities) {
                const int o = oddPick(rng);
                if (o == 0)
                    yy = nan;
                else if (o == 1)
                    yy = inf;
                else if (o == 2)
                    yy = -1e9f;
            }
            pts[size_t(i)] = {float(c.xStart + i * w), yy};
        }
        if (c.oddities) { // a lone point between gaps, and a NaN x
            pts[100] = {nan, 100};
            pts[102].second = nan;
            pts[size_t(c.K - 1)].second = nan;
        }

        // Point by point, and in batches of random sizes.
        ImageSurface fast(kW, kH, 2, c.dpr), batched(kW, kH, 2, c.dpr), plain(kW, kH, 2, c.dpr);
        plain.SetFastCurve(false);
        for (ImageSurface* s : {&fast, &plain}) {
            s->Cls();
            s->BeginCurve(kRed);
            for (const auto& [px, py] : pts)
                s->CurveTo(px, py);
            s->EndCurve();
        }
        std::vector<PictureSurface::CurvePoint> batch;
        for (const auto& [px, py] : pts)
            batch.push_back({px, py});
        std::uniform_int_distribution<size_t> batchSize(1, 3000);
        batched.Cls();
        batched.BeginCurve(kRed);
        for (size_t i = 0; i < batch.size();) {
            const size_t n = std::min(batchSize(rng), batch.size() - i);
            batched.CurveToMany(batch.data() + i, n);
            i += n;
        }
        batched.EndCurve();
        EXPECT_TRUE(fast.Image() == plain.Image());
        EXPECT_TRUE(batched.Image() == plain.Image());
        if (!c.oddities) {
            EXPECT_EQ(fast.CurrentX(), plain.CurrentX());
            EXPECT_EQ(fast.CurrentY(), plain.CurrentY());
            EXPECT_EQ(batched.CurrentX(), plain.CurrentX());
            EXPECT_EQ(batched.CurrentY(), plain.CurrentY());
        }
        // Not trivially equal: the curve did reach the picture.
        int red = 0;
        for (int x = 0; x < fast.Image().width(); x += 7)
            for (int yy = 0; yy < fast.Image().height(); ++yy)
                red += fast.Image().pixel(x, yy) == qRgb(255, 0, 0);
        EXPECT_GT(red, 0);
    }
}

TEST(ImageSurface, CurveOfFewPointsAndCurrentPoint)
{
    for (bool fastCurve : {true, false}) {
        SCOPED_TRACE(fastCurve);
        ImageSurface s(kW, kH);
        s.SetFastCurve(fastCurve);
        s.Cls();
        s.SetCurrentX(7);
        s.SetCurrentY(8);
        s.BeginCurve(kRed);
        s.CurveTo(1500, 1500); // one point: no segment, nothing drawn
        s.EndCurve();
        EXPECT_EQ(Pixel(s, 100, 100), Rgb(kSysHighlightText));
        EXPECT_EQ(s.CurrentX(), 7);
        s.BeginCurve(kRed);
        s.CurveTo(1500, 1500);
        s.CurveTo(1501, 1600); // same column
        s.EndCurve();
        EXPECT_EQ(Pixel(s, 100, 100), qRgb(255, 0, 0));
        EXPECT_EQ(Pixel(s, 100, 106), qRgb(255, 0, 0));
        EXPECT_EQ(Pixel(s, 100, 107), Rgb(kSysHighlightText));
        EXPECT_EQ(s.CurrentX(), 1501);
        EXPECT_EQ(s.CurrentY(), 1600);
    }
}

// The whole map on the production surface: elements by colour where the
// twips put them, and the same picture with either curve strategy.
TEST(ImageSurface, MapPixels)
{
    std::vector<float> values(4641 + 2, 60.0f); // 60%: y = 1631.67, row 108
    MapInputs in;
    in.AvgGC = 45;
    in.totalBases = "4641652";
    in.stepText = "1000";
    in.windowText = "1000";
    in.curveColor = kRed;
    for (qreal dpr : {1.0, 2.0}) {
        SCOPED_TRACE(dpr);
        ImageSurface fast(kW, kH, 2, dpr), plain(kW, kH, 2, dpr);
        plain.SetFastCurve(false);
        DrawGCMap(fast, values, 0, in);
        DrawGCMap(plain, values, 0, in);
        EXPECT_TRUE(fast.Image() == plain.Image());

        const QRgb fg = Rgb(kSysButtonText), bg = Rgb(kSysHighlightText), red = qRgb(255, 0, 0);
        const float curveY = 1631.67f;
        struct Spot {
            float x, y; // twips
            QRgb colour;
        } spots[] = {
            {600, 3000, fg},      // value axis
            {4500, 2347, fg},     // reference line
            {520, 3779.17f, fg},  // 30% tick
            {4500, 1273.75f, fg}, // sequence axis
            {2684, 1320, fg},     // 1Mb tick
            {4500, curveY, red},  {10271, curveY, red},
            {4500, curveY + 15, bg}, {4500, curveY - 15, bg}, {10290, curveY, bg},
        };
        for (const auto& sp : spots)
            EXPECT_EQ(fast.Image().pixel(int(fast.DevicePixel(sp.x)), int(fast.DevicePixel(sp.y))), sp.colour)
                << sp.x << "," << sp.y;
    }
}
