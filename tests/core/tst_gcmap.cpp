// The two maps on a recording surface: layout to the twip, sequence axis
// units and ticks, header, curve placement and failures.
#include "analysis/failure.h"
#include "analysis/numtext.h"
#include "maps/axisticks.h"
#include "maps/gcmap.h"
#include "recordingsurface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

using namespace quillet;
using quillet::test::DrawCall;
using quillet::test::RecordingSurface;

namespace {

constexpr float kW = 10575, kH = 4695;
constexpr ColorValue kCurve = 0x000000FF;

// Windows 1 .. values.size() in elements 1 .. K, spare elements 0 and K + 1.
std::vector<float> Windows(std::vector<float> values)
{
    values.insert(values.begin(), 0.0f);
    values.push_back(0.0f);
    return values;
}
std::vector<float> Windows(int K, float value)
{
    return Windows(std::vector<float>(size_t(K), value));
}

MapInputs Inputs(const QString& total = "4641652", const QString& step = "1000", float avg = 45)
{
    return MapInputs{avg, total, step, "1000", kCurve};
}

// Decimal text in the user's number format ("4.64" or "4,64").
QString Dec(QString s)
{
    return s.replace(u'.', NumberLocale::system().decimalPoint).replace(u'-', NumberLocale::system().minusSign);
}

// Sequence-axis tick labels in drawing order.
std::vector<QString> TickLabels(const RecordingSurface& s)
{
    std::vector<QString> out;
    for (const auto& c : s.Prints())
        if (c.fontSize == 9 && (c.text.endsWith("Mb") || c.text.endsWith("Kb") || c.text.endsWith("bp")))
            out.push_back(c.text);
    return out;
}

// Sequence ticks: foreground lines 80 twips straight down.
std::vector<float> TickXs(const RecordingSurface& s)
{
    std::vector<float> out;
    for (const auto& c : s.Lines(true))
        if (c.x1 == c.x2 && c.y2 - c.y1 == 80)
            out.push_back(c.x1);
    return out;
}

void ExpectLine(const DrawCall& c, float x1, float y1, float x2, float y2)
{
    EXPECT_NEAR(c.x1, x1, 0.005);
    EXPECT_NEAR(c.y1, y1, 0.005);
    EXPECT_NEAR(c.x2, x2, 0.005);
    EXPECT_NEAR(c.y2, y2, 0.005);
}

} // namespace

TEST(GCMap, WorkedExample)
{
    RecordingSurface s(kW, kH);
    DrawGCMap(s, Windows(4641, 50), 0, Inputs());
    EXPECT_EQ(s.calls.front().kind, DrawCall::Cls);

    const float lines[][4] = {
        {600, 2347, 10275, 2347}, // reference line
        {600, 200, 600, 4495},    // value axis
        {600, 3779.17f, 500, 3779.17f},
        {600, 3063.33f, 500, 3063.33f},
        {600, 2347.5f, 500, 2347.5f},
        {600, 1631.67f, 500, 1631.67f},
        {600, 915.83f, 500, 915.83f},     // value ticks
        {600, 1273.75f, 10275, 1273.75f}, // sequence axis
        {2684, 1273.75f, 2684, 1353.75f},
        {4768, 1273.75f, 4768, 1353.75f},
        {6852, 1273.75f, 6852, 1353.75f},
        {8936, 1273.75f, 8936, 1353.75f}, // its ticks
    };
    const auto fore = s.Lines(true);
    ASSERT_EQ(fore.size(), std::size(lines));
    for (size_t k = 0; k < fore.size(); ++k)
        ExpectLine(fore[k], lines[k][0], lines[k][1], lines[k][2], lines[k][3]);

    const float header = 250, second = 250 + 11 * RecordingSurface::kLineHeightPerPoint;
    struct Text {
        QString text;
        float x, y, size;
    } texts[] = {
        {"30%", 100, 3689.17f, 9},
        {"70%", 100, 825.83f, 9},
        {"1Mb", 2504, 1033.75f, 9},
        {"4Mb", 8756, 1033.75f, 9},
        {"    Avg G+C: 45 %", 7931, header, 11},
        {"Total bases: " + Dec("4.64") + "Mb", 7931, second, 11},
        {"Window: 1000bp", 6042, header, 11},
        {"      Step: 1000bp", 6042, second, 11},
    };
    for (const auto& t : texts) {
        const DrawCall* p = s.FindPrint(t.text);
        ASSERT_TRUE(p) << t.text.toStdString();
        EXPECT_EQ(p->x, t.x);
        EXPECT_NEAR(p->y, t.y, 0.005);
        EXPECT_EQ(p->fontName, "Arial");
        EXPECT_EQ(p->fontSize, t.size);
    }
    EXPECT_EQ(TickLabels(s), (std::vector<QString>{"1Mb", "2Mb", "3Mb", "4Mb"}));

    const auto curve = s.Lines(false); // one segment per pair of windows
    ASSERT_EQ(curve.size(), 4640u);
    EXPECT_EQ(curve[0].color, kCurve);
    EXPECT_EQ(curve[0].x1, 600);
    EXPECT_NEAR(curve.back().x2, 10271.557, 0.01);
    EXPECT_EQ(s.calls.back().kind, DrawCall::Line);
    EXPECT_EQ(s.FontName(), "Arial");
    EXPECT_EQ(s.FontSize(), 9);
}

// The shift moves labels and curve, never the axes; the average puts the
// sequence axis high (labels above) or, from exactly 50, low (labels below).
// A window of value g lies where the value axis puts g: O - (g - 20 - shift) u.
TEST(GCMap, VerticalPlacement)
{
    struct Case {
        int16_t shift;
        float avg, value, curveY;
        QString lowLabel, highLabel;
        float axisY, tickLabelY;
    } cases[] = {
        {-20, 49.9f, 30, 2347.5f, "10%", "50%", 1273.75f, 1033.75f},
        {20, 50, 40, 4495, "50%", "90%", 3421.25f, 3551.25f},
        {0, 72.5f, 95, -873.75f, "30%", "70%", 3421.25f, 3551.25f}, // beyond the axis, drawn all the same
        {-10, 0, 0, 5210.83f, "20%", "60%", 1273.75f, 1033.75f},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shift);
        RecordingSurface s(kW, kH);
        DrawGCMap(s, Windows(3, c.value), c.shift, Inputs("3000", "1000", c.avg));
        const auto fore = s.Lines(true);
        ExpectLine(fore[2], 600, 3779.17f, 500, 3779.17f);
        ExpectLine(fore[7], 600, c.axisY, 10275, c.axisY);
        const auto prints = s.Prints();
        EXPECT_EQ(prints[0].text, c.lowLabel);
        EXPECT_EQ(prints[4].text, c.highLabel);
        EXPECT_EQ(s.FindPrint("1Kb")->y, c.tickLabelY);
        for (const auto& seg : s.Lines(false))
            EXPECT_NEAR(seg.y1, c.curveY, 0.01);
    }
}

// The unit and ticks follow the span S x K, not the total; totals in Kb and
// Mb are rounded to two places, halves to even.
TEST(GCMap, SequenceAxisUnits)
{
    struct Case {
        int K;
        QString step, total;
        std::vector<QString> labels;
        QString totalLine;
        float firstTickX;
    } cases[] = {
        {0, "1000", "500", {}, "Total bases: 500bp", 0},
        {999,
         "1",
         "1200",
         {"100bp", "200bp", "300bp", "400bp", "500bp", "600bp", "700bp", "800bp", "900bp"},
         "Total bases: 1200bp",
         1406},
        {1, "1000", "5000", {"1Kb"}, "Total bases: 5Kb", 2535},
        {1, "1000", "1125", {"1Kb"}, "Total bases: " + Dec("1.12") + "Kb", 9200},
        {12, "100", "1250", {"1Kb"}, "Total bases: " + Dec("1.25") + "Kb", 8340},
        // The computation used a typed fraction rounded to whole bases; so does the map.
        {12, "100.5", "1250", {"1Kb"}, "      Step: 100.5bp", 8340},
        {9,
         "111111",
         "1000000",
         {"100Kb", "200Kb", "300Kb", "400Kb", "500Kb", "600Kb", "700Kb", "800Kb", "900Kb"},
         "Total bases: 1000Kb",
         1567},
        {1, "1000000", "1000000", {"1Mb"}, "Total bases: 1Mb", 10275},
        {45000, "1000", "45000999", {"10Mb", "20Mb", "30Mb", "40Mb"}, "Total bases: 45Mb", 2749},
        // Large steps: width x 10^6 bases passes 2^31 though the spacing is small.
        {3, "1000000", "3500000", {"1Mb", "2Mb", "3Mb"}, "Total bases: " + Dec("3.5") + "Mb", 3364},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.totalLine.toStdString());
        RecordingSurface s(kW, kH);
        DrawGCMap(s, Windows(c.K, 40), 0, Inputs(c.total, c.step));
        EXPECT_EQ(TickLabels(s), c.labels);
        EXPECT_TRUE(s.FindPrint(c.totalLine));
        const auto xs = TickXs(s);
        ASSERT_EQ(xs.size(), c.labels.size());
        for (size_t r = 0; r < xs.size(); ++r)
            EXPECT_EQ(xs[r], 600 + (r + 1) * (c.firstTickX - 600));
        EXPECT_EQ(s.Lines(false).size(), size_t(std::max(c.K - 1, 0)));
    }
}

TEST(SkewMap, WorkedExample)
{
    struct Case {
        int16_t q;
        float t;
        std::vector<QString> labels;
        float curveY[3]; // values 1, -1 and 0.5
    } cases[] = {
        {20, 184.75f, {"-1.0", "-0.5", "0.0", "0.5", "1.0"}, {499.5f, 4194.5f, 1423.25f}},
        {10, 369.5f, {"-0.5", "0.0", "0.5"}, {-1348, 6042, 499.5f}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.q);
        RecordingSurface s(kW, kH);
        DrawSkewMap(s, Windows({1, -1, 0.5f}), c.q, Inputs("3000"));
        const auto fore = s.Lines(true);
        ASSERT_EQ(fore.size(), size_t(c.q) + 1 + 2 + 1 + 3);
        ExpectLine(fore[0], 600, 2347, 10275, 2347); // zero line
        ExpectLine(fore[1], 600, 500, 600, 4195);    // value axis
        for (int r = 0; r <= c.q; ++r)               // long ticks every fifth
            ExpectLine(fore[2 + r], 600, 4195 - r * c.t, r % 5 == 0 ? 500 : 550, 4195 - r * c.t);
        ExpectLine(fore[3 + c.q], 600, 3640.25f, 10275, 3640.25f); // sequence axis
        EXPECT_EQ(s.FindPrint("1Kb")->y, 3640.25f + 130);

        const auto prints = s.Prints();
        for (size_t k = 0; k < c.labels.size(); ++k) {
            EXPECT_EQ(prints[k].text, Dec(c.labels[k]));
            EXPECT_EQ(prints[k].x, 120);
            EXPECT_NEAR(prints[k].y, 4195 - 5 * k * c.t - 90, 0.005);
        }
        EXPECT_TRUE(s.FindPrint("    Avg G+C: 45 %"));
        const auto curve = s.Lines(false);
        ASSERT_EQ(curve.size(), 2u);
        EXPECT_NEAR(curve[0].y1, c.curveY[0], 0.01);
        EXPECT_NEAR(curve[1].y1, c.curveY[1], 0.01);
        EXPECT_NEAR(curve[1].y2, c.curveY[2], 0.01);
        EXPECT_EQ(s.FontSize(), 9);
    }
}

// A failure leaves what was drawn before it: the cleared picture and the
// two first lines (a never-computed array stops the G-C/G+C map at once).
TEST(Maps, Failures)
{
    struct Case {
        const char* name;
        bool skew;
        std::vector<float> values;
        QString total, step;
        int16_t q;
    } cases[] = {
        {"step 0", false, Windows(9, 40), "1000", "0", 0},
        {"step rounds to 0", false, Windows(9, 40), "1000", "0.4", 0},
        {"step no number", false, Windows(9, 40), "1000", "abc", 0},
        {"negative step", false, Windows(9, 40), "1000", "-10", 0},
        {"total no number", false, Windows(9, 40), "abc", "10", 0},
        {"total 0", false, Windows(9, 40), "0", "10", 0},
        {"never computed", false, {}, "1000", "10", 0},
        {"never computed", true, {}, "1000", "10", 20},
        {"scale 0", true, Windows(9, 0), "1000", "10", 0},
        {"step 0", true, Windows(9, 0), "1000", "0", 20},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.skew ? " (G-C/G+C)" : " (G+C)"));
        RecordingSurface s(kW, kH);
        if (c.skew)
            EXPECT_THROW(DrawSkewMap(s, c.values, c.q, Inputs(c.total, c.step)), Failure);
        else
            EXPECT_THROW(DrawGCMap(s, c.values, c.q, Inputs(c.total, c.step)), Failure);
        if (c.skew && c.values.empty()) {
            EXPECT_TRUE(s.calls.empty());
            continue;
        }
        ASSERT_EQ(s.calls.size(), 3u);
        EXPECT_EQ(s.calls[0].kind, DrawCall::Cls);
    }
}

TEST(AxisTicks, StepsOfOneTwoFiveValuesAndPositions)
{
    for (const auto& [span, most, step] :
         {std::tuple{10.0, 5, 2.0}, std::tuple{1.0, 5, 0.2}, std::tuple{7.0, 5, 2.0}, std::tuple{100.0, 5, 20.0},
          std::tuple{3.2, 8, 0.5}, std::tuple{0.0, 5, 1.0}, std::tuple{-1.0, 5, 1.0}})
        EXPECT_DOUBLE_EQ(NiceStep(span, most), step) << span << " in " << most;

    const ValueTicks t = NiceValueTicks(-0.3, 1.33, 5);
    EXPECT_EQ(t.step, 0.5);
    EXPECT_EQ(t.values, (std::vector<double>{-0.5, 0, 0.5, 1, 1.5}));
    EXPECT_EQ(NiceValueTicks(2, 2, 5).values.size(), 2u); // a flat curve still gets a range
    EXPECT_EQ(ValueLabel(0.1 + 0.2, 0.1), Dec("0.3"));
    EXPECT_EQ(ValueLabel(-12, 2), Dec("-12"));
    EXPECT_EQ(ValueLabel(0.25, 0.05), Dec("0.25"));

    struct Case {
        int64_t first, last;
        int most;
        std::vector<QString> labels;
        int64_t firstPosition;
    } cases[] = {
        {5001, 20000, 8, {"6Kb", "8Kb", "10Kb", "12Kb", "14Kb", "16Kb", "18Kb", "20Kb"}, 6000},
        {1, 900, 9, {"100bp", "200bp", "300bp", "400bp", "500bp", "600bp", "700bp", "800bp", "900bp"}, 100},
        // Every label in the unit of the largest, with the decimals the step needs.
        {1000001,
         1004000,
         4,
         {Dec("1.001") + "Mb", Dec("1.002") + "Mb", Dec("1.003") + "Mb", Dec("1.004") + "Mb"},
         1001000},
        {7, 7, 5, {"7bp"}, 7},
        {9, 8, 5, {}, 0},
    };
    for (const Case& c : cases) {
        std::vector<QString> labels;
        for (const PositionTick& tick : NicePositionTicks(c.first, c.last, c.most))
            labels.push_back(tick.label);
        EXPECT_EQ(labels, c.labels) << c.first;
        if (!c.labels.empty()) {
            EXPECT_EQ(NicePositionTicks(c.first, c.last, c.most)[0].position, c.firstPosition);
        }
    }
}

// A map of a stretch labels record positions at round positions; the
// stretch's first base is at the value axis.
TEST(GCMap, SequenceAxisOfAStretch)
{
    RecordingSurface s(kW, kH);
    MapInputs in = Inputs("15000", "500");
    in.firstPosition = 5001;
    DrawGCMap(s, Windows(29, 40), 0, in);
    EXPECT_EQ(TickLabels(s), (std::vector<QString>{"6Kb", "8Kb", "10Kb", "12Kb", "14Kb", "16Kb", "18Kb"}));
    const auto xs = TickXs(s);
    ASSERT_EQ(xs.size(), 7u);
    EXPECT_NEAR(xs[0], 600 + 999.0 / 500 * 322.5, 0.01);
    EXPECT_NEAR(xs[6], 600 + 12999.0 / 500 * 322.5, 0.01);
    EXPECT_TRUE(s.FindPrint("Total bases: 15Kb"));
}

TEST(CumulativeMap, FittedAxisAndMarkedExtremes)
{
    // The running sum in hundredths, as the values table's last column.
    EXPECT_EQ(CumulativeSkew(Windows({0.1f, 0.2f, -0.07f})), (std::vector<double>{0, 0.1, 0.3, 0.23, 0}));

    struct Case {
        QString total;
        float w;         // twips per step
        float terminusX; // where its label starts: right of the line, or left at the edge
    } cases[] = {{"4000", 2418.75f, 7856.25f + 40}, {"3100", 9675.0f / 3.1f, 600 + 3 * 9675.0f / 3.1f - 1340}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.total.toStdString());
        RecordingSurface s(kW, kH);
        // Sums 0.5, -0.5, -0.25, 0.75: lowest at window 2, highest at window 4.
        DrawCumulativeMap(s, Windows({0.5f, -1, 0.25f, 1}), Inputs(c.total, "1000"));
        const auto prints = s.Prints();
        ASSERT_GE(prints.size(), 4u);
        const char* labels[] = {"-0.5", "0", "0.5", "1"};
        for (int k = 0; k < 4; ++k) {
            EXPECT_EQ(prints[size_t(k)].text, Dec(labels[k]));
            EXPECT_NEAR(prints[size_t(k)].y, 4195 - k * 0.5f * 2330 - 90, 0.01);
        }
        EXPECT_TRUE(s.FindPrint("Total bases: " + Dec(c.total == "4000" ? "4" : "3.1") + "Kb"));

        std::vector<DrawCall> marks; // coloured vertical lines over the whole plot
        for (const DrawCall& l : s.Lines(false))
            if (l.x1 == l.x2 && l.y1 == 700 && l.y2 == 4195)
                marks.push_back(l);
        ASSERT_EQ(marks.size(), 2u);
        EXPECT_NEAR(marks[0].x1, 600 + c.w, 0.01);
        EXPECT_NEAR(marks[1].x1, 600 + 3 * c.w, 0.01);
        EXPECT_NE(marks[0].color, marks[1].color);
        const DrawCall* origin = s.FindPrint("origin 1500"); // the window's middle base
        const DrawCall* terminus = s.FindPrint("terminus 3500");
        ASSERT_TRUE(origin && terminus);
        EXPECT_NEAR(origin->x, 600 + c.w + 40, 0.01);
        EXPECT_NEAR(terminus->x, c.terminusX, 0.01);
        // The curve: window 1 at its sum 0.5, on the axis fitted from -0.5 to 1.
        const auto curve = s.Lines(false);
        EXPECT_NEAR(curve[0].y1, 4195 - 1.0f * 2330, 0.01);
    }

    // Ties: the first window to reach an extreme, as the summary's origin and terminus.
    RecordingSurface tied(kW, kH);
    DrawCumulativeMap(tied, Windows({1, 0, -1, 0}), Inputs("4000", "1000")); // sums 1, 1, 0, 0
    EXPECT_TRUE(tied.FindPrint("terminus 500") && tied.FindPrint("origin 2500"));

    // No window: the frame and axes, nothing marked; a step of 0 fails as on the other maps.
    RecordingSurface empty(kW, kH);
    DrawCumulativeMap(empty, Windows({}), Inputs("500"));
    EXPECT_TRUE(empty.Lines(false).empty());
    EXPECT_THROW(DrawCumulativeMap(empty, Windows({1}), Inputs("500", "0")), Failure);
}
