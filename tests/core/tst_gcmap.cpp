// The two maps drawn onto a recording surface: layout to the twip, the
// sequence axis units and ticks, the header, the curve and the failures.
#include "analysis/numtext.h"
#include "maps/gcmap.h"
#include "recordingsurface.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace quillet;
using quillet::test::DrawCall;
using quillet::test::RecordingSurface;

namespace {

constexpr float kW = 10575, kH = 4695;
constexpr ColorValue kCurve = 0x000000FF;

// Per-window array of K windows (elements 1 .. K), spare elements 0 and K + 1.
std::vector<float> Windows(int K, float value)
{
    std::vector<float> v(size_t(K) + 2, 0.0f);
    for (int i = 1; i <= K; ++i)
        v[size_t(i)] = value;
    return v;
}

MapInputs Inputs(const QString& total = "4641652", const QString& step = "1000", const QString& window = "1000",
                 float avg = 45)
{
    MapInputs in;
    in.AvgGC = avg;
    in.totalBases = total;
    in.stepText = step;
    in.windowText = window;
    in.curveColor = kCurve;
    return in;
}

// Decimal text in the user's number format ("4.64" or "4,64").
QString Dec(const char* text)
{
    QString s = QString::fromLatin1(text);
    s.replace(u'.', NumberLocale::system().decimalPoint);
    s.replace(u'-', NumberLocale::system().minusSign);
    return s;
}

// Sequence-axis tick labels: prints that end in a unit, in drawing order.
std::vector<QString> TickLabels(const RecordingSurface& s)
{
    std::vector<QString> out;
    for (const auto& c : s.Of(DrawCall::Print))
        if (c.fontSize == 9 && (c.text.endsWith("Mb") || c.text.endsWith("Kb") || c.text.endsWith("bp")))
            out.push_back(c.text);
    return out;
}

// Foreground lines 80 twips long straight down: the sequence ticks.
std::vector<DrawCall> SequenceTicks(const RecordingSurface& s)
{
    std::vector<DrawCall> out;
    for (const auto& c : s.ForegroundLines())
        if (c.x1 == c.x2 && c.y2 - c.y1 == 80)
            out.push_back(c);
    return out;
}

void ExpectLine(const DrawCall& c, float x1, float y1, float x2, float y2, double tol = 0.005)
{
    EXPECT_EQ(c.kind, DrawCall::Line);
    EXPECT_NEAR(c.x1, x1, tol);
    EXPECT_NEAR(c.y1, y1, tol);
    EXPECT_NEAR(c.x2, x2, tol);
    EXPECT_NEAR(c.y2, y2, tol);
}

const float kValueTickY[] = {3779.17f, 3063.33f, 2347.5f, 1631.67f, 915.83f};

} // namespace

TEST(GCMap, WorkedExampleLayout)
{
    RecordingSurface s(kW, kH);
    DrawGCMap(s, Windows(4641, 50), 0, Inputs());

    ASSERT_FALSE(s.calls.empty());
    EXPECT_EQ(s.calls.front().kind, DrawCall::Cls);
    const auto fore = s.ForegroundLines();
    ASSERT_GE(fore.size(), 2u + 5 + 1 + 4);
    ExpectLine(fore[0], 600, 2347, 10275, 2347); // reference line
    ExpectLine(fore[1], 600, 200, 600, 4495);    // value axis
    for (int k = 0; k < 5; ++k)
        ExpectLine(fore[2 + k], 600, kValueTickY[k], 500, kValueTickY[k]);
    ExpectLine(fore[7], 600, 1273.75, 10275, 1273.75); // sequence axis, AvgGC < 50

    const float tickX[] = {2684, 4768, 6852, 8936};
    const auto ticks = SequenceTicks(s);
    ASSERT_EQ(ticks.size(), 4u);
    for (int r = 0; r < 4; ++r)
        ExpectLine(ticks[r], tickX[r], 1273.75, tickX[r], 1353.75);
    EXPECT_EQ(TickLabels(s), (std::vector<QString>{"1Mb", "2Mb", "3Mb", "4Mb"}));
    const DrawCall* mb1 = s.FindPrint("1Mb");
    ASSERT_TRUE(mb1);
    EXPECT_FLOAT_EQ(mb1->x, 2504);
    EXPECT_FLOAT_EQ(mb1->y, 1033.75); // 240 above the axis

    // Value labels at x = 100, 90 above their ticks, in Arial 9.
    const char* labels[] = {"30%", "40%", "50%", "60%", "70%"};
    for (int k = 0; k < 5; ++k) {
        const DrawCall* p = s.FindPrint(labels[k]);
        ASSERT_TRUE(p) << labels[k];
        EXPECT_FLOAT_EQ(p->x, 100);
        EXPECT_NEAR(p->y, kValueTickY[k] - 90, 0.005);
        EXPECT_EQ(p->fontName, "Arial");
        EXPECT_EQ(p->fontSize, 9);
    }

    // Header: two columns of two lines in Arial 11.
    const float line = 11 * RecordingSurface::kLineHeightPerPoint;
    struct HeaderLine {
        QString text;
        float x, y;
    } header[] = {
        {"    Avg G+C: 45 %", 7931, 250},
        {"Total bases: " + Dec("4.64") + "Mb", 7931, 250 + line},
        {"Window: 1000bp", 6042, 250},
        {"      Step: 1000bp", 6042, 250 + line},
    };
    for (const auto& h : header) {
        const DrawCall* p = s.FindPrint(h.text);
        ASSERT_TRUE(p) << h.text.toStdString();
        EXPECT_FLOAT_EQ(p->x, h.x);
        EXPECT_FLOAT_EQ(p->y, h.y);
        EXPECT_EQ(p->fontName, "Arial");
        EXPECT_EQ(p->fontSize, 11);
    }

    // One segment per pair of neighbouring windows, the last window just
    // left of the end of the axis.
    const auto curve = s.CurveLines();
    ASSERT_EQ(curve.size(), 4640u);
    EXPECT_EQ(curve.front().color, kCurve);
    EXPECT_FLOAT_EQ(curve.front().x1, 600);
    EXPECT_NEAR(curve.front().x2, 602.0843873, 1e-3);
    EXPECT_NEAR(curve.back().x2, 10271.557, 1e-2);
    EXPECT_EQ(s.calls.back().kind, DrawCall::Line); // the curve comes last

    EXPECT_EQ(s.FontName(), "Arial");
    EXPECT_EQ(s.FontSize(), 9);
}

// Window value g at shift s lies at y = O - (g - 20 - s) u, the height that
// the value axis gives it (O = 4495, u = 71.583336).
TEST(GCMap, CurveFollowsTheValueAxis)
{
    struct Case {
        int16_t shift;
        float value;
        float y;
    } cases[] = {
        {0, 50, 2347.5f},   // level with the reference line and the 50% tick
        {0, 20, 4495},      // bottom of the axis
        {0, 80, 200},       // top of the axis
        {-20, 30, 2347.5f}, // middle of the band 0 .. 60
        {20, 40, 4495},     // bottom of the band 40 .. 100
        {0, 95, -873.75f},  // beyond the axis: drawn all the same
        {10, 0, 6642.5f},
    };
    for (const auto& c : cases) {
        RecordingSurface s(kW, kH);
        DrawGCMap(s, Windows(3, c.value), c.shift, Inputs("3000"));
        const auto curve = s.CurveLines();
        ASSERT_EQ(curve.size(), 2u);
        EXPECT_NEAR(curve[0].y1, c.y, 0.01) << "shift " << c.shift << " value " << c.value;
        EXPECT_NEAR(curve[1].y2, c.y, 0.01) << "shift " << c.shift << " value " << c.value;
    }
}

TEST(GCMap, ShiftMovesLabelsOnly)
{
    struct Case {
        int16_t shift;
        std::vector<QString> labels;
    } cases[] = {
        {-20, {"10%", "20%", "30%", "40%", "50%"}}, {-10, {"20%", "30%", "40%", "50%", "60%"}},
        {0, {"30%", "40%", "50%", "60%", "70%"}},   {10, {"40%", "50%", "60%", "70%", "80%"}},
        {20, {"50%", "60%", "70%", "80%", "90%"}},
    };
    for (const auto& c : cases) {
        RecordingSurface s(kW, kH);
        DrawGCMap(s, Windows(4641, 50), c.shift, Inputs());
        std::vector<QString> labels;
        for (const auto& p : s.Of(DrawCall::Print))
            if (p.text.endsWith('%') && !p.text.contains("Avg"))
                labels.push_back(p.text);
        EXPECT_EQ(labels, c.labels) << "shift " << c.shift;
        const auto fore = s.ForegroundLines();
        ExpectLine(fore[0], 600, 2347, 10275, 2347);
        for (int k = 0; k < 5; ++k)
            ExpectLine(fore[2 + k], 600, kValueTickY[k], 500, kValueTickY[k]);
        ExpectLine(fore[7], 600, 1273.75, 10275, 1273.75);
    }
}

TEST(GCMap, SequenceAxisPlacedByAverage)
{
    struct Case {
        float avg;
        float axisY;
        float labelY;
    } cases[] = {
        {0, 1273.75f, 1033.75f},
        {49.9f, 1273.75f, 1033.75f},
        {50, 3421.25f, 3551.25f}, // exactly 50: low, labels below
        {72.5f, 3421.25f, 3551.25f},
    };
    for (const auto& c : cases) {
        RecordingSurface s(kW, kH);
        DrawGCMap(s, Windows(4641, 50), 0, Inputs("4641652", "1000", "1000", c.avg));
        ExpectLine(s.ForegroundLines()[7], 600, c.axisY, 10275, c.axisY);
        const DrawCall* p = s.FindPrint("1Mb");
        ASSERT_TRUE(p);
        EXPECT_FLOAT_EQ(p->y, c.labelY) << "AvgGC " << c.avg;
    }
}

// The unit and the ticks follow the span S x K (window 1 to one step past
// window K); the header total follows the unit.
TEST(GCMap, SequenceAxisUnits)
{
    struct Case {
        const char* name;
        int K;
        QString step, total;
        std::vector<QString> labels;
        QString totalLine;
        float firstTickX; // 0: not checked
    } cases[] = {
        {"span 999", 999, "1", "1200",
         {"100bp", "200bp", "300bp", "400bp", "500bp", "600bp", "700bp", "800bp", "900bp"},
         "Total bases: 1200bp", 600 + 806},
        {"span 1000", 1, "1000", "5000", {"1Kb"}, "Total bases: 5Kb", 600 + 1935},
        {"span 999999", 9, "111111", "1000000",
         {"100Kb", "200Kb", "300Kb", "400Kb", "500Kb", "600Kb", "700Kb", "800Kb", "900Kb"},
         "Total bases: 1000Kb", 600 + 967},
        {"span 1000000", 1, "1000000", "1000000", {"1Mb"}, "Total bases: 1Mb", 600 + 9675},
        {"span 45000000", 45000, "1000", "45000999", {"10Mb", "20Mb", "30Mb", "40Mb"}, "Total bases: 45Mb",
         600 + 2149},
        {"unit from span, not total", 12, "100", "1250", {"1Kb"}, "Total bases: " + Dec("1.25") + "Kb",
         600 + 7740},
        {"total rounded half to even", 1, "1000", "1125", {"1Kb"}, "Total bases: " + Dec("1.12") + "Kb", 600 + 8600},
        {"megabase total", 4641, "1000", "4641652", {"1Mb", "2Mb", "3Mb", "4Mb"},
         "Total bases: " + Dec("4.64") + "Mb", 2684},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSurface s(kW, kH);
        DrawGCMap(s, Windows(c.K, 40), 0, Inputs(c.total, c.step, "10"));
        EXPECT_EQ(TickLabels(s), c.labels);
        EXPECT_TRUE(s.FindPrint(c.totalLine)) << c.totalLine.toStdString();
        const auto ticks = SequenceTicks(s);
        ASSERT_EQ(ticks.size(), c.labels.size());
        if (c.firstTickX != 0)
            EXPECT_FLOAT_EQ(ticks[0].x1, c.firstTickX);
        for (size_t r = 1; r < ticks.size(); ++r) // evenly spaced
            EXPECT_FLOAT_EQ(ticks[r].x1 - ticks[r - 1].x1, ticks[0].x1 - 600);
    }
}

TEST(GCMap, FewWindows)
{
    struct Case {
        int K;
        size_t ticks;
        QString total;
    } cases[] = {
        {0, 0, "Total bases: 500bp"}, // no span: no ticks, bases shown as given
        {1, 1, "Total bases: " + Dec("0.5") + "Kb"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.K);
        RecordingSurface s(kW, kH);
        DrawGCMap(s, Windows(c.K, 40), 0, Inputs("500", "1000", "1000"));
        EXPECT_TRUE(s.CurveLines().empty());
        EXPECT_EQ(SequenceTicks(s).size(), c.ticks);
        EXPECT_EQ(s.ForegroundLines().size(), 2u + 5 + 1 + c.ticks);
        EXPECT_TRUE(s.FindPrint(c.total));
        EXPECT_TRUE(s.FindPrint("Window: 1000bp"));
        EXPECT_EQ(s.FontSize(), 9);
    }
}

// A step typed with a fraction was used by the computation as the nearest
// whole number of bases; the windows are drawn at that step, and the
// header shows the text as typed.
TEST(GCMap, FractionalStepDrawnAtTheStepComputed)
{
    RecordingSurface typed(kW, kH), whole(kW, kH);
    DrawGCMap(typed, Windows(12, 40), 0, Inputs("1250", "100.5", "200"));
    DrawGCMap(whole, Windows(12, 40), 0, Inputs("1250", "100", "200"));
    EXPECT_TRUE(typed.FindPrint("      Step: 100.5bp"));
    EXPECT_EQ(TickLabels(typed), TickLabels(whole));
    const auto a = typed.CurveLines(), b = whole.CurveLines();
    ASSERT_EQ(a.size(), b.size());
    EXPECT_FLOAT_EQ(a.back().x2, b.back().x2);
    EXPECT_FLOAT_EQ(SequenceTicks(typed)[0].x1, SequenceTicks(whole)[0].x1);
}

// Large steps: the tick arithmetic (width x 10^6 bases) passes 2^31 twips
// although the tick spacing itself is small.
TEST(GCMap, LargeStepTicks)
{
    RecordingSurface s(kW, kH);
    ASSERT_NO_THROW(DrawGCMap(s, Windows(3, 40), 0, Inputs("3500000", "1000000", "1000000")));
    EXPECT_EQ(TickLabels(s), (std::vector<QString>{"1Mb", "2Mb", "3Mb"}));
    const auto ticks = SequenceTicks(s);
    ASSERT_EQ(ticks.size(), 3u);
    EXPECT_FLOAT_EQ(ticks[0].x1, 600 + 2764);
    EXPECT_FLOAT_EQ(ticks[2].x1, 600 + 3 * 2764);
}

// Failures leave what was drawn before them: the G+C map has cleared the
// picture and drawn the reference line and the value axis when it meets
// the inputs; the sequence axis line precedes the tick spacing.
TEST(GCMap, Failures)
{
    struct Case {
        const char* name;
        std::vector<float> values;
        QString total, step;
        size_t linesBefore;
    } cases[] = {
        {"step 0", Windows(10, 40), "1000", "0", 2},
        {"step rounds to 0", Windows(10, 40), "1000", "0.4", 2},
        {"step no number", Windows(10, 40), "1000", "abc", 2},
        {"step empty", Windows(10, 40), "1000", "", 2},
        {"negative step", Windows(10, 40), "1000", "-10", 2},
        {"total no number", Windows(10, 40), "abc", "10", 2},
        {"total 0", Windows(10, 40), "0", "10", 2},
        {"never computed", {}, "1000", "10", 2},
        {"not a window array", {0.0f}, "1000", "10", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSurface s(kW, kH);
        EXPECT_THROW(DrawGCMap(s, c.values, 0, Inputs(c.total, c.step)), Failure);
        ASSERT_FALSE(s.calls.empty());
        EXPECT_EQ(s.calls.front().kind, DrawCall::Cls);
        EXPECT_EQ(s.ForegroundLines().size(), c.linesBefore);
        EXPECT_TRUE(s.Of(DrawCall::Print).empty());
    }
}

TEST(SkewMap, WorkedExample)
{
    struct Case {
        int16_t q;
        float t;
        std::vector<QString> labels;
    } cases[] = {
        {20, 184.75f, {Dec("-1.0"), Dec("-0.5"), Dec("0.0"), Dec("0.5"), Dec("1.0")}},
        {10, 369.5f, {Dec("-0.5"), Dec("0.0"), Dec("0.5")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.q);
        RecordingSurface s(kW, kH);
        DrawSkewMap(s, Windows(4641, 0), c.q, Inputs());
        EXPECT_EQ(s.calls.front().kind, DrawCall::Cls);
        const auto fore = s.ForegroundLines();
        ExpectLine(fore[0], 600, 2347, 10275, 2347); // zero line at M
        ExpectLine(fore[1], 600, 500, 600, 4195);    // value axis to B

        // q + 1 ticks from B upwards, long at every fifth.
        for (int r = 0; r <= c.q; ++r) {
            const float y = 4195 - r * c.t;
            ExpectLine(fore[2 + r], 600, y, r % 5 == 0 ? 500 : 550, y);
        }
        std::vector<QString> labels;
        for (const auto& p : s.Of(DrawCall::Print))
            if (p.fontSize == 9 && !p.text.endsWith('b'))
                labels.push_back(p.text);
        EXPECT_EQ(labels, c.labels);
        const DrawCall* bottom = s.FindPrint(c.labels.front());
        ASSERT_TRUE(bottom);
        EXPECT_FLOAT_EQ(bottom->x, 120);
        EXPECT_FLOAT_EQ(bottom->y, 4195 - 90);

        // Sequence axis 0.35 (H - 1000) below the middle, labels below.
        ExpectLine(fore[3 + c.q], 600, 3640.25, 10275, 3640.25);
        const DrawCall* mb1 = s.FindPrint("1Mb");
        ASSERT_TRUE(mb1);
        EXPECT_FLOAT_EQ(mb1->y, 3640.25f + 130);
        EXPECT_TRUE(s.FindPrint("Total bases: " + Dec("4.64") + "Mb"));
        EXPECT_TRUE(s.FindPrint("    Avg G+C: 45 %"));

        // Windows of value 0 lie on the zero line.
        const auto curve = s.CurveLines();
        ASSERT_EQ(curve.size(), 4640u);
        EXPECT_FLOAT_EQ(curve[0].y1, 2347);
        EXPECT_NEAR(curve.back().x2, 10271.557, 1e-2);
        EXPECT_EQ(s.FontSize(), 9);
    }
}

TEST(SkewMap, CurveScale)
{
    struct Case {
        int16_t q;
        float value, y;
    } cases[] = {
        {20, 1, 499.5f}, {20, -1, 4194.5f}, {20, -0.7f, 3640.25f}, {10, 1, 2347 - 3695}, {10, 0.5f, 499.5f},
        {10, -2, 2347 + 7390},
    };
    for (const auto& c : cases) {
        RecordingSurface s(kW, kH);
        DrawSkewMap(s, Windows(2, c.value), c.q, Inputs("2000"));
        const auto curve = s.CurveLines();
        ASSERT_EQ(curve.size(), 1u);
        EXPECT_NEAR(curve[0].y1, c.y, 0.01) << "q " << c.q << " value " << c.value;
    }
}

TEST(SkewMap, Failures)
{
    {
        SCOPED_TRACE("never computed: nothing drawn");
        RecordingSurface s(kW, kH);
        EXPECT_THROW(DrawSkewMap(s, {}, 20, Inputs()), Failure);
        EXPECT_TRUE(s.calls.empty());
    }
    struct Case {
        const char* name;
        int16_t q;
        QString step;
        size_t linesBefore;
    } cases[] = {
        {"scale 0", 0, "1000", 2},
        {"step 0", 20, "0", 2},
        {"step no number", 20, "x", 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSurface s(kW, kH);
        EXPECT_THROW(DrawSkewMap(s, Windows(5, 0), c.q, Inputs("4641652", c.step)), Failure);
        EXPECT_EQ(s.calls.front().kind, DrawCall::Cls);
        EXPECT_EQ(s.ForegroundLines().size(), c.linesBefore);
    }
    {
        SCOPED_TRACE("K = 1: no segment");
        RecordingSurface s(kW, kH);
        DrawSkewMap(s, Windows(1, 0.5f), 20, Inputs());
        EXPECT_TRUE(s.CurveLines().empty());
        EXPECT_TRUE(s.FindPrint("Window: 1000bp"));
    }
}
