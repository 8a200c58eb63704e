#include "maps/gcmap.h"

#include "analysis/failure.h"
#include "analysis/numtext.h"
#include "maps/axisticks.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace quillet {

namespace {

// Fixed layout in twips.
constexpr float kAxisX = 600;       // value axis, left end of horizontal lines, window 1
constexpr float kRightMargin = 300; // horizontal lines end at W - 300
constexpr float kSpanMargin = 900;  // the sequence spans W - 900 twips

// Arithmetic note: O, u, w, t, d and the point coordinates are 32-bit
// floats and are computed in float where all operands are floats, so that
// positions match the layout to the twip; N, S and the span are doubles.

double ReadOrFail(const QString& text, const char* what)
{
    const std::optional<double> v = ReadNumber(text);
    if (!v)
        throw Failure(std::string(what) + " is not a number");
    return *v;
}

// The values of windows that were only counted: size() as an array of
// `count` windows, every value 0.
struct BlankValues {
    int64_t count;
    std::size_t size() const { return count < 0 ? 0 : std::size_t(count) + 2; }
    float operator[](std::size_t) const { return 0.0f; }
};

// Number of windows of a per-window array: elements 1 .. K hold the windows,
// element 0 and element K + 1 are spare, so K = size - 2. An array that was
// never filled by a computation has no window count.
template <typename Values>
int32_t WindowCount(const Values& values)
{
    if (values.size() < 2)
        throw Failure("no computed windows to draw");
    if (values.size() - 2 > size_t(std::numeric_limits<int32_t>::max()))
        throw Failure("too many windows to draw");
    return int32_t(values.size() - 2);
}

// Total bases N, step S and the step width w for outer width W. The step is
// taken as the whole number of bases the computation used (the text rounded
// to the nearest integer, halves to even), so that the windows are drawn at
// the positions they were computed at even if the text has a fraction.
MapGeometry Geometry(float W, int32_t K, const MapInputs& in)
{
    MapGeometry g;
    g.W = W;
    g.K = K;
    g.N = ReadOrFail(in.totalBases, "total bases");
    g.S = double(ToInt32(ReadOrFail(in.stepText, "step")));
    if (g.S <= 0)
        throw Failure("step is not a positive number of bases");
    const double stepsInSequence = g.N / g.S;
    if (stepsInSequence == 0)
        throw Failure("division by zero: no bases");
    const double w = double(W - kSpanMargin) / stepsInSequence;
    if (!std::isfinite(w) || std::fabs(w) > double(std::numeric_limits<float>::max()))
        throw Failure("step width out of range");
    g.w = float(w);
    return g;
}

// nearest(a) \ nearest(b) on 64-bit integers: halves to even, quotient
// truncated towards zero. The tick arithmetic multiplies a width by a power
// of ten of bases, which exceeds 32 bits for large steps (1,000,000 on a few
// megabases) although the quotient is small.
int64_t Nearest64(double x)
{
    if (!std::isfinite(x) || std::fabs(x) > 9.0e15)
        throw Failure("number out of range");
    return int64_t(std::nearbyint(x));
}

int64_t Quotient64(double a, double b)
{
    const int64_t ra = Nearest64(a), rb = Nearest64(b);
    if (rb == 0)
        throw Failure("division by zero");
    return ra / rb;
}

// A value-axis label sum as a 16-bit signed integer.
int16_t Sum16(int a, int b)
{
    const int s = a + b;
    if (s < std::numeric_limits<int16_t>::min() || s > std::numeric_limits<int16_t>::max())
        throw Failure("overflow");
    return int16_t(s);
}

// The curve through windows 1 .. K, window i at x = 600 + (i - 1) w and at
// y = yOf(i), handed to the surface in batches. With marking on, a mostly
// unknown window goes to the surface as a point with no height (NaN), which
// every surface takes as a break in the curve.
template <typename YOf>
void DrawCurvePoints(PictureSurface& pic, ColorValue color, const MapGeometry& g, int32_t K, YOf yOf);

// Marking applies only to counts of the very windows drawn.
template <typename Values>
bool Marking(const MapInputs& in, const Values& values)
{
    return in.unknownCounts && in.unknownCounts->size() == values.size();
}

template <typename YOf>
void DrawCurve(PictureSurface& pic, const MapInputs& in, bool marking, const MapGeometry& g, int32_t K, YOf yOf)
{
    if (!marking) {
        DrawCurvePoints(pic, in.curveColor, g, K, yOf);
        return;
    }
    DrawCurvePoints(pic, in.curveColor, g, K,
                    [&](int32_t i) { return MostlyUnknown(in, i) ? std::numeric_limits<float>::quiet_NaN() : yOf(i); });
}

// Shades the extent of every run of mostly unknown windows between the
// heights top and bottom: from the start of its first window to the end of
// its last (window size / step steps after that window's start).
void ShadeUnknownWindows(PictureSurface& pic, const MapGeometry& g, const MapInputs& in, float top, float bottom)
{
    const double width = double(in.unknownWindowSize) / g.S * double(g.w);
    for (int32_t i = 1; i <= g.K; ++i) {
        if (!MostlyUnknown(in, i))
            continue;
        int32_t last = i;
        while (last < g.K && MostlyUnknown(in, last + 1))
            ++last;
        const double start = double(kAxisX) + double(i - 1) * double(g.w);
        const double end = double(kAxisX) + double(last - 1) * double(g.w) + width;
        pic.Shade(float(start), top, float(end), bottom, kUnknownShade);
        i = last;
    }
}

template <typename YOf>
void DrawCurvePoints(PictureSurface& pic, ColorValue color, const MapGeometry& g, int32_t K, YOf yOf)
{
    constexpr int32_t kBatch = 1024;
    PictureSurface::CurvePoint batch[kBatch];
    pic.BeginCurve(color);
    for (int64_t first = 1; first <= K; first += kBatch) {
        const int32_t n = int32_t(std::min<int64_t>(kBatch, K - first + 1));
        for (int32_t k = 0; k < n; ++k) {
            const int32_t i = int32_t(first + k);
            batch[k] = {float(double(kAxisX) + double(i - 1) * double(g.w)), yOf(i)};
        }
        pic.CurveToMany(batch, size_t(n));
    }
    pic.EndCurve();
}

// Ticks at round record positions on the sequence axis of a map that
// starts at record position `first`, where window i starts at
// first + (i - 1) S.
void DrawPositionTicks(PictureSurface& pic, const MapGeometry& g, float axisY, bool labelsAbove, int64_t first)
{
    const int64_t last = first - 1 + int64_t(g.S * double(g.K));
    for (const PositionTick& t : NicePositionTicks(first, last, 8)) {
        const float x = float(double(kAxisX) + double(t.position - first) / g.S * double(g.w));
        pic.LineStep(x, axisY, 0, 80);
        pic.SetCurrentX(x - 180);
        pic.SetCurrentY(labelsAbove ? (axisY + 80) - 320 : (axisY + 80) + 50);
        pic.Print(t.label);
    }
}

void StartPicture(PictureSurface& pic)
{
    pic.Cls();
    pic.SetFontName(QStringLiteral("Arial"));
    pic.SetFontSize(9);
}

} // namespace

bool MostlyUnknown(const MapInputs& in, int32_t i)
{
    if (!in.unknownCounts || i < 0 || size_t(i) >= in.unknownCounts->size())
        return false;
    return MostlyUnknownWindow((*in.unknownCounts)[size_t(i)], in.unknownWindowSize);
}

SequenceAxisText DrawSequenceAxis(PictureSurface& pic, const MapGeometry& g, float axisY, bool labelsAbove,
                                  const MapInputs& in)
{
    pic.Line(kAxisX, axisY, g.W - kRightMargin, axisY);

    // A tick every T bases, T the largest power of ten not above the span
    // from window 1 to one step beyond window K; n is the number of digits
    // of the span.
    const double span = g.S * double(g.K);
    const int n = int(FormatGeneral(span).size());
    const double T = std::pow(10.0, n - 1);
    const int64_t count = Quotient64(span, T);

    SequenceAxisText text;
    float d = 0;          // twips per T bases, a whole number
    double labelUnit = 1; // label of tick r is r * labelUnit
    if (n > 6) {
        text.unit = QStringLiteral("Mb");
        d = float(Quotient64(double(g.w) * std::pow(10.0, n - 4) * 1000.0, g.S));
        labelUnit = std::pow(10.0, n - 7);
        text.totalText = FormatGeneral(RoundHalfEven(g.N / 1000000.0, 2));
    } else if (n >= 4) {
        text.unit = QStringLiteral("Kb");
        d = float(Quotient64(double(g.w) * T, g.S));
        labelUnit = std::pow(10.0, n - 4);
        text.totalText = FormatGeneral(RoundHalfEven(g.N / 1000.0, 2));
    } else {
        text.unit = QStringLiteral("bp");
        d = float(Quotient64(double(g.w) * T, g.S));
        labelUnit = T;
        text.totalText = in.totalBases;
    }

    if (in.firstPosition != 1) {
        DrawPositionTicks(pic, g, axisY, labelsAbove, in.firstPosition);
        return text;
    }
    for (int64_t r = 1; r <= count; ++r) {
        const float x = kAxisX + float(r) * d;
        pic.LineStep(x, axisY, 0, 80);
        pic.SetCurrentX(x - 180);
        pic.SetCurrentY(labelsAbove ? (axisY + 80) - 320 : (axisY + 80) + 50);
        pic.Print(FormatGeneral(double(r) * labelUnit) + text.unit);
    }
    return text;
}

void DrawMapHeader(PictureSurface& pic, float W, const SequenceAxisText& total, const MapInputs& in)
{
    pic.SetFontName(QStringLiteral("Arial"));
    pic.SetFontSize(11);
    pic.SetCurrentY(250);
    // Each Print moves to the next text line, so the second line of each
    // column stands under the first.
    const float rightColumn = float(IntDiv(double(3.0f * W), 4));
    pic.SetCurrentX(rightColumn);
    pic.Print(QStringLiteral("    Avg G+C: ") + FormatSingle(in.AvgGC) + QStringLiteral(" %"));
    pic.SetCurrentX(rightColumn);
    pic.Print(QStringLiteral("Total bases: ") + total.totalText + total.unit);

    pic.SetCurrentY(250);
    const float leftColumn = float(IntDiv(double(4.0f * W), 7));
    pic.SetCurrentX(leftColumn);
    pic.Print(QStringLiteral("Window: ") + in.windowText + QStringLiteral("bp"));
    pic.SetCurrentX(leftColumn);
    pic.Print(QStringLiteral("      Step: ") + in.stepText + QStringLiteral("bp"));
}

namespace {

template <typename Values>
void DrawGCMapOf(PictureSurface& pic, const Values& GCValues, int16_t shift, const MapInputs& in)
{
    StartPicture(pic);
    const float W = pic.Width(), H = pic.Height();
    const float O = H - 200; // y of the value 20 + shift
    // Bands first, so that axes and curve stay on top of them.
    const bool marking = Marking(in, GCValues);
    if (marking)
        ShadeUnknownWindows(pic, Geometry(W, WindowCount(GCValues), in), in, 200, O);

    // Reference line at the middle of the value axis (50 + shift), then the axis.
    const float middle = float(IntDiv(double(H), 2));
    pic.Line(kAxisX, middle, W - kRightMargin, middle);
    pic.Line(kAxisX, 200, kAxisX, O);

    const int32_t K = WindowCount(GCValues);
    const MapGeometry g = Geometry(W, K, in);
    const float u = (H - 400) / 60; // twips per percentage point

    // Value ticks every 10 points from 30 + shift to 70 + shift.
    for (int k = 1; k <= 5; ++k) {
        const float y = O - float(10 * k) * u;
        pic.Line(kAxisX, y, 500, y);
        pic.SetCurrentX(100);
        pic.SetCurrentY(y - 90);
        pic.Print(FormatInteger(Sum16(shift, 20 + 10 * k)) + QStringLiteral("%"));
    }

    // The sequence axis goes where the curve is least likely to be: high
    // (65 + shift) for G+C-poor sequences, low (35 + shift) otherwise.
    const bool lowGC = in.AvgGC < 50;
    const float axisY = lowGC ? O - 45 * u : O - 15 * u;
    const SequenceAxisText total = DrawSequenceAxis(pic, g, axisY, lowGC, in);
    DrawMapHeader(pic, W, total, in);
    pic.SetFontSize(9);

    // Window i at x = 600 + (i - 1) w and at the height the value axis gives
    // its value. No clipping or thinning: the surface clips at its edges.
    const float shiftF = float(shift);
    DrawCurve(pic, in, marking, g, K, [&](int32_t i) { return O - ((GCValues[size_t(i)] - 20.0f) - shiftF) * u; });
}

template <typename Values>
void DrawSkewMapOf(PictureSurface& pic, const Values& SkewValues, int16_t scale, const MapInputs& in)
{
    const int32_t K = WindowCount(SkewValues);
    StartPicture(pic);
    const float W = pic.Width(), H = pic.Height();
    const int32_t M = IntDiv(double(H), 2); // y of the value 0
    const float B = H - 500;                // y of the value -scale/20
    const bool marking = Marking(in, SkewValues);
    if (marking)
        ShadeUnknownWindows(pic, Geometry(W, K, in), in, 500, B);

    pic.Line(kAxisX, float(M), W - kRightMargin, float(M));
    pic.Line(kAxisX, 500, kAxisX, B);

    const MapGeometry g = Geometry(W, K, in);
    if (scale <= 0)
        throw Failure("scale is not positive");
    const float t = (H - 1000) / float(scale); // twips per 0.1 of value

    // A tick every 0.1 from the bottom, long and labelled every 0.5.
    for (int r = 0; r <= scale; ++r) {
        const float y = B - float(r) * t;
        const bool major = r % 5 == 0;
        pic.Line(kAxisX, y, major ? 500 : 550, y);
        pic.SetCurrentX(120);
        pic.SetCurrentY(y - 90);
        if (major)
            pic.Print(FormatFixed(r * 0.1 - scale / 20.0, 1));
    }

    // Sequence axis 0.35 x (H - 1000) below the zero line, labels below it.
    const float axisY = float(double(M) + double((t * 7.0f * float(scale)) / 20.0f));
    const SequenceAxisText total = DrawSequenceAxis(pic, g, axisY, false, in);
    DrawMapHeader(pic, W, total, in);
    pic.SetFontSize(9);

    const float tenT = 10.0f * t;
    DrawCurve(pic, in, marking, g, K,
              [&](int32_t i) { return float(double(M) - double(tenT * SkewValues[size_t(i)])); });
}

// A labelled vertical line from top to bottom through window i's point of
// the curve; the label gives the record position of the window's middle,
// beside the line on the side with room for it (about 100 twips a
// character at 9 points).
void MarkWindow(PictureSurface& pic, const MapGeometry& g, const MapInputs& in, int32_t i, float top, float bottom,
                const QString& what, ColorValue color)
{
    const std::optional<double> size = ReadNumber(in.windowText);
    const double half = size && std::isfinite(*size) && *size > 0 ? std::floor(*size / 2) : 0;
    const float x = float(double(kAxisX) + double(i - 1) * double(g.w));
    pic.Line(x, top, x, bottom, color);
    const QString label =
        what + QStringLiteral(" ") + FormatInteger(in.firstPosition - 1 + int64_t(double(i - 1) * g.S + half));
    const float width = 100.0f * float(label.size());
    pic.SetCurrentX(x + 40 + width <= g.W - 60 ? x + 40 : x - 40 - width);
    pic.SetCurrentY(top + 20);
    pic.Print(label);
}

} // namespace

std::vector<double> CumulativeSkew(const std::vector<float>& SkewValues)
{
    std::vector<double> sums(SkewValues.size(), 0.0);
    int64_t hundredths = 0;
    for (std::size_t i = 1; i + 1 < SkewValues.size(); ++i) {
        hundredths += std::llround(double(SkewValues[i]) * 100.0);
        sums[i] = double(hundredths) / 100.0;
    }
    return sums;
}

void DrawCumulativeMap(PictureSurface& pic, const std::vector<float>& SkewValues, const MapInputs& in)
{
    const int32_t K = WindowCount(SkewValues);
    StartPicture(pic);
    const float W = pic.Width(), H = pic.Height();
    const float top = 700, bottom = H - 500;
    const bool marking = Marking(in, SkewValues);
    const MapGeometry g = Geometry(W, K, in);
    if (marking)
        ShadeUnknownWindows(pic, g, in, top, bottom);
    pic.Line(kAxisX, top, kAxisX, bottom);

    const std::vector<double> sums = CumulativeSkew(SkewValues);
    // The first window to reach each extreme (minmax_element would give the last maximum).
    const auto low = std::min_element(sums.begin() + 1, sums.begin() + 1 + K);
    const auto high = std::max_element(sums.begin() + 1, sums.begin() + 1 + K);
    const double lowest = K > 0 ? *low : 0, highest = K > 0 ? *high : 0;
    const ValueTicks ticks = NiceValueTicks(std::min(0.0, lowest), std::max(0.0, highest), 5);
    const double perValue = double(bottom - top) / (ticks.high - ticks.low);
    const auto yOf = [&](double v) { return float(double(bottom) - (v - ticks.low) * perValue); };
    for (double v : ticks.values) {
        const float y = yOf(v);
        pic.Line(kAxisX, y, 500, y);
        pic.SetCurrentX(60);
        pic.SetCurrentY(y - 90);
        pic.Print(ValueLabel(v, ticks.step));
    }
    pic.Line(kAxisX, yOf(0), W - kRightMargin, yOf(0));

    const SequenceAxisText total = DrawSequenceAxis(pic, g, bottom, false, in);
    DrawMapHeader(pic, W, total, in);
    pic.SetFontSize(9);
    DrawCurve(pic, in, marking, g, K, [&](int32_t i) { return yOf(sums[size_t(i)]); });
    if (K == 0)
        return;
    MarkWindow(pic, g, in, int32_t(low - sums.begin()), top, bottom, QStringLiteral("origin"), 0x00C00000);
    MarkWindow(pic, g, in, int32_t(high - sums.begin()), top, bottom, QStringLiteral("terminus"), 0x000000C0);
}

void DrawGCMap(PictureSurface& pic, const std::vector<float>& GCValues, int16_t shift, const MapInputs& in)
{
    DrawGCMapOf(pic, GCValues, shift, in);
}

void DrawSkewMap(PictureSurface& pic, const std::vector<float>& SkewValues, int16_t scale, const MapInputs& in)
{
    DrawSkewMapOf(pic, SkewValues, scale, in);
}

void DrawMap(PictureSurface& pic, Plot plot, const WindowResults& w, int16_t setting, const MapInputs& in)
{
    switch (plot) {
    case Plot::GCContent: DrawGCMap(pic, w.GCValues, setting, in); return;
    case Plot::Skew: DrawSkewMap(pic, w.SkewValues, setting, in); return;
    case Plot::Cumulative: DrawCumulativeMap(pic, w.SkewValues, in); return;
    }
}

void DrawGCMap(PictureSurface& pic, BlankWindows windows, int16_t shift, const MapInputs& in)
{
    DrawGCMapOf(pic, BlankValues{windows.count}, shift, in);
}

void DrawSkewMap(PictureSurface& pic, BlankWindows windows, int16_t scale, const MapInputs& in)
{
    DrawSkewMapOf(pic, BlankValues{windows.count}, scale, in);
}

} // namespace quillet
