// The circular map: where its circles and rings go, what the pointer is
// over, windows around the origin, gaps, and labels that never meet.
#include "analysis/explorerdata.h"
#include "analysis/numtext.h"
#include "maps/circularmap.h"
#include "maps/explorertracks.h"
#include "maps/plottext.h"
#include "recordingsurface.h"

#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

namespace quillet {
namespace {

// A record of `length` bases at the fitted window and step, G+C rising
// from 40 to 60 around it, G-C/G+C positive in its first half, the windows
// from `gapFrom` to `gapTo` (0-based) mostly unknown.
CircleRecord Circle(const char* id, int64_t length, bool wrapped, std::size_t gapFrom = 1, std::size_t gapTo = 0)
{
    CircleRecord c;
    c.id = QString::fromLatin1(id);
    c.length = length;
    c.wrapped = wrapped;
    std::tie(c.window, c.step) = ChooseWindowAndStep(1, length);
    const std::size_t n =
        wrapped ? std::size_t((length - 1) / c.step + 1) : std::size_t(WindowCountFor(length, c.window, c.step));
    for (std::size_t k = 0; k < n; ++k) {
        c.gc.push_back(40.0f + 20.0f * float(k) / float(n));
        c.skew.push_back(k < n / 2 ? 0.1f : -0.1f);
        c.gap.push_back(k >= gapFrom && k <= gapTo);
    }
    c.cumulative = CumulativeOf(c.skew);
    c.gcLow = 40, c.gcHigh = 60, c.skewLow = -0.1f, c.skewHigh = 0.1f;
    c.meanGC = 50;
    c.origin = 1 + (c.window - 1) / 2;
    c.terminus = length / 2;
    return c;
}

CircularPicture Picture()
{
    CircularPicture p;
    p.title = QStringLiteral("g.fa");
    p.records = 3;
    p.circles = {Circle("chr", 1'200'000, true, 300, 320), Circle("pA", 60'000, true), Circle("pB", 8'000, false)};
    return p;
}

constexpr float kA4Width = 794 * kTwipsPerPixel, kA4Height = 1123 * kTwipsPerPixel;

TEST(CircularMap, CirclesRingsAndWhatThePointerIsOver)
{
    const CircularPicture p = Picture();
    const CircularLayout l = LayOutCircular(kA4Width, kA4Height, p);
    ASSERT_EQ(l.circles.size(), 3u);
    EXPECT_TRUE(l.circles[0].large);
    EXPECT_GT(l.circles[0].radius, 2 * l.circles[1].radius);
    EXPECT_EQ(l.circles[1].radius, l.circles[2].radius);
    for (std::size_t i = 0; i < 3; ++i) {
        const CircleGeometry& g = l.circles[i];
        EXPECT_GE(g.cellLeft, 0);
        EXPECT_LE(g.cellRight, kA4Width);
        EXPECT_LE(g.cellBottom, l.legendTop);
        for (std::size_t j = i + 1; j < 3; ++j) {
            const CircleGeometry& o = l.circles[j];
            EXPECT_TRUE(g.cellRight <= o.cellLeft || o.cellRight <= g.cellLeft || g.cellBottom <= o.cellTop ||
                        o.cellBottom <= g.cellTop)
                << i << " and " << j;
        }
    }
    const CircleGeometry& g = l.circles[0];
    // Positions clockwise from the top: x, y as shares of the radius.
    struct Point {
        float dx, dy;
        double position;
    };
    const double L = 1'200'000;
    for (const Point& pt : {Point{0, -0.5f, 0}, {0.5f, 0, L / 4}, {0, 0.5f, L / 2}, {-0.5f, 0, 3 * L / 4}}) {
        const float x = g.cx + pt.dx * g.radius, y = g.cy + pt.dy * g.radius;
        EXPECT_EQ(CircleAt(l, x, y), 0);
        EXPECT_NEAR(CirclePositionAt(l, p, 0, x, y), pt.position, 1);
    }
    EXPECT_EQ(CircleAt(l, 0, 0), -1);
    EXPECT_EQ(CircleAt(l, l.circles[2].cx, l.circles[2].cy), 2);
    // Each ring's middle, from the outside in; nothing between two rings.
    for (const Ring ring : {Ring::Scale, Ring::GCContent, Ring::Skew, Ring::Cumulative}) {
        const float r = (g.inner[int(ring)] + g.outer[int(ring)]) / 2;
        EXPECT_EQ(RingAt(l, 0, g.cx, g.cy - r), ring) << int(ring);
    }
    EXPECT_FALSE(RingAt(l, 0, g.cx, g.cy - g.inner[int(Ring::GCContent)] + kTwipsPerPixel));
    EXPECT_FALSE(RingAt(l, 0, g.cx, g.cy)); // the middle, where the labels are
    // Without features the feature rings take no room.
    EXPECT_EQ(g.inner[int(Ring::Plus)], g.outer[int(Ring::Plus)]);

    // The hover: the window nearest around the origin of a circle, a gap.
    const CircleRecord& chr = p.circles[0];
    EXPECT_EQ(chr.windowAt(L - 1), int64_t(chr.gc.size()) - 1);
    EXPECT_EQ(chr.windowAt(0.2), 0);
    EXPECT_EQ(p.circles[2].windowAt(-5), 0);
    EXPECT_EQ(CircleReadout(p, 0, 0.5), QStringLiteral("chr, position 1: G+C 40.00 %, G-C/G+C 0.10, cumulative 0.10"));
    EXPECT_EQ(CircleReadout(p, 0, chr.positionOf(310)),
              QStringLiteral("chr, position %1: a window of mostly unknown bases")
                  .arg(GroupedInteger(int64_t(chr.positionOf(310)) + 1)));
}

TEST(CircularMap, GapsInEveryRingAndLabelsThatNeverMeet)
{
    const CircularPicture p = Picture();
    const CircularLayout l = LayOutCircular(kA4Width, kA4Height, p);
    test::RecordingSurface surface(kA4Width, kA4Height);
    DrawCircular(surface, p);
    const CircleGeometry& g = l.circles[0];
    const CircleRecord& chr = p.circles[0];
    // No line inside the G+C, G-C/G+C and cumulative rings at the angle of
    // the gap's windows; lines at the others'. The rings' grey reference
    // circles (the mean, zero) are drawn in short segments, one of which
    // may meet that angle wherever the fonts put the rings.
    const auto linesAt = [&](double position) {
        int n = 0;
        const double angle = 2 * std::numbers::pi * position / double(chr.length);
        for (const test::DrawCall& c : surface.calls) {
            if (c.kind != test::DrawCall::Line || (!c.foreground && c.color == 0x00A0A0A0))
                continue;
            const float mx = (c.x1 + c.x2) / 2 - g.cx, my = (c.y1 + c.y2) / 2 - g.cy;
            const float r = std::hypot(mx, my);
            double a = std::atan2(double(mx), double(-my));
            a += a < 0 ? 2 * std::numbers::pi : 0;
            if (r > g.inner[int(Ring::Cumulative)] && r < g.outer[int(Ring::GCContent)] &&
                std::abs(a - angle) * r < kTwipsPerPixel / 2)
                ++n;
        }
        return n;
    };
    EXPECT_EQ(linesAt(chr.positionOf(310)), 0);
    EXPECT_GE(linesAt(chr.positionOf(100)), 2);
    EXPECT_TRUE(surface.FindPrint(QStringLiteral("ter 600,000")));

    // Every text drawn, legend and captions included, meets no other.
    std::vector<std::array<float, 4>> boxes;
    for (const test::DrawCall& c : surface.calls)
        if (c.kind == test::DrawCall::Print) {
            const float w = TextWidth(c.fontName, c.fontSize, c.text), h = TextHeight(c.fontSize) - kTwipsPerPixel;
            for (const auto& b : boxes)
                EXPECT_FALSE(c.x < b[2] && b[0] < c.x + w && c.y < b[3] && b[1] < c.y + h)
                    << c.text.toStdString() << " meets another label";
            boxes.push_back({c.x, c.y, c.x + w, c.y + h});
            EXPECT_GE(c.x, 0) << c.text.toStdString();
            EXPECT_LE(c.x + w, kA4Width) << c.text.toStdString();
        }
    EXPECT_GT(boxes.size(), 20u);
    EXPECT_EQ(DescribeCircular(p).count(QStringLiteral("origin ")), 3);
}

} // namespace
} // namespace quillet
