#include "maps/circularmap.h"

#include "analysis/calcwindows.h"
#include "analysis/explorerdata.h"
#include "analysis/numtext.h"
#include "analysis/recordname.h"
#include "maps/explorertracks.h"
#include "maps/plottext.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <numbers>

namespace quillet {

namespace {

constexpr float kPx = kTwipsPerPixel;
constexpr float kMargin = 8 * kPx, kTop = 6 * kPx;
constexpr float kTickLength = 4 * kPx;
constexpr float kSwatch = 10 * kPx;
constexpr double kTurn = 2 * std::numbers::pi;
constexpr ColorValue kRingLine = 0x00A0A0A0;
constexpr ColorValue kGCAbove = 0x00A05010, kGCBelow = 0x002890E0;
constexpr ColorValue kSkewPositive = 0x002020C0, kSkewNegative = 0x00A0A020;
constexpr ColorValue kCumulativeColor = 0x00308018;
constexpr ColorValue kTerminusColor = 0x00A03080;
constexpr ColorValue kFocusShade = 0x00F8ECE0;

// Ring bands as fractions of the scale's radius, outside in; the feature
// rings take no room on a record without features.
constexpr float kPlusBand[] = {0.90f, 0.96f}, kMinusBand[] = {0.83f, 0.89f};
constexpr float kRingWidths[] = {0.17f, 0.13f, 0.13f}; // G+C, G-C/G+C, cumulative
constexpr float kRingGap = 0.02f;

float TextWidth(const CircularPicture& p, const QString& text)
{
    return quillet::TextWidth(p.fontName, p.fontSize, text);
}

float TextHeight(const CircularPicture& p)
{
    return quillet::TextHeight(p.fontSize);
}

QString Elided(const CircularPicture& p, const QString& text, float width)
{
    if (TextWidth(p, text) <= width)
        return text;
    QString cut = text;
    while (!cut.isEmpty() && TextWidth(p, cut + u'\u2026') > width)
        cut.chop(1);
    return cut + u'\u2026';
}

// `text` in lines of at most `width` twips, broken at spaces.
QStringList Wrapped(const CircularPicture& p, const QString& text, float width)
{
    QStringList lines;
    QString line;
    for (const QString& word : text.split(u' ')) {
        const QString longer = line.isEmpty() ? word : line + u' ' + word;
        if (!line.isEmpty() && TextWidth(p, longer) > width) {
            lines << line;
            line = word;
        } else {
            line = longer;
        }
    }
    lines << line;
    return lines;
}

QString Percent(double v)
{
    return FormatFixed(v, 2);
}

bool HasFeatures(const CircleRecord& c)
{
    return !c.features.empty();
}

struct Box {
    float left = 0, top = 0, right = 0, bottom = 0;
    bool meets(const Box& o) const { return left < o.right && o.left < right && top < o.bottom && o.top < bottom; }
};

struct LabelPlacer {
    Box cell;
    std::vector<Box> placed;
    // The box of `width` x `height` beside the point at `angle` on a circle
    // of radius r around (cx, cy), on the side away from the centre.
    static Box Beside(float cx, float cy, float r, double angle, float width, float height)
    {
        const float s = float(std::sin(angle)), c = float(std::cos(angle));
        const float x = cx + r * s, y = cy - r * c;
        Box b;
        b.left = s > 0.2f ? x : s < -0.2f ? x - width : x - width / 2;
        b.top = c > 0.2f ? y - height : c < -0.2f ? y : y - height / 2;
        b.right = b.left + width;
        b.bottom = b.top + height;
        return b;
    }
    bool take(const Box& b)
    {
        if (b.left < cell.left || b.right > cell.right || b.top < cell.top || b.bottom > cell.bottom)
            return false;
        for (const Box& o : placed)
            if (o.meets(b))
                return false;
        placed.push_back(b);
        return true;
    }
};

float HeaderHeight(const CircularPicture& p)
{
    return kTop + 2 * TextHeight(p) + 6 * kPx;
}

bool AnyFeatures(const CircularPicture& p)
{
    return std::any_of(p.circles.begin(), p.circles.end(), HasFeatures);
}

// The G+C axis every circle shares, and the G-C/G+C ring's half span:
// what all but the rarest windows of the longest record with windows
// reach (a short record's small windows range far wider); a bar beyond
// stops at the ring's edge.
void Scales(const CircularPicture& p, CircularLayout& l)
{
    double low = 0, high = 0, skew = 0;
    bool any = false;
    for (const CircleRecord& c : p.circles) {
        std::vector<float> gc, skews;
        for (std::size_t k = 0; k < c.gc.size(); ++k)
            if (!c.gap[k])
                gc.push_back(c.gc[k]), skews.push_back(std::abs(c.skew[k]));
        if (gc.empty())
            continue;
        const auto at = [](std::vector<float>& v, double share) {
            const auto it = v.begin() + std::ptrdiff_t(double(v.size() - 1) * share);
            std::nth_element(v.begin(), it, v.end());
            return double(*it);
        };
        low = at(gc, 0.005), high = at(gc, 0.995), skew = at(skews, 0.995);
        any = true;
        break;
    }
    if (high - low < 10) {
        const double middle = any ? (high + low) / 2 : 50;
        low = middle - 5, high = middle + 5;
    }
    l.gcScale = NiceValueTicks(std::max(0.0, low), std::min(100.0, high), 4);
    l.skewSpan = NiceValueTicks(0, std::max(skew, 0.01), 2).high;
}

// The rings of a circle of scale radius r: bands from the outside in.
void SetRings(CircleGeometry& g, bool features)
{
    const float r = g.radius;
    g.outer[int(Ring::Scale)] = r + kTickLength;
    g.inner[int(Ring::Scale)] = r - 2 * kPx;
    float top = 0.96f;
    if (features) {
        g.inner[int(Ring::Plus)] = kPlusBand[0] * r, g.outer[int(Ring::Plus)] = kPlusBand[1] * r;
        g.inner[int(Ring::Minus)] = kMinusBand[0] * r, g.outer[int(Ring::Minus)] = kMinusBand[1] * r;
        top = kMinusBand[0] - 0.03f;
    }
    const Ring rings[] = {Ring::GCContent, Ring::Skew, Ring::Cumulative};
    for (int i = 0; i < 3; ++i) {
        g.outer[int(rings[i])] = top * r;
        g.inner[int(rings[i])] = (top - kRingWidths[i]) * r;
        top -= kRingWidths[i] + kRingGap;
    }
}

// Room the large circle's labels take around its scale: ticks, their
// labels and the ring of origin, terminus and feature labels.
float LabelRoom(const CircularPicture& p)
{
    return kTickLength + 2.4f * TextHeight(p) + 2 * kPx;
}
float SideRoom(const CircularPicture& p)
{
    return kTickLength + TextWidth(p, QStringLiteral("ter 4,641,652")) + 4 * kPx;
}
float CaptionHeight(const CircularPicture& p, int lines)
{
    return float(lines) * TextHeight(p) + 2 * kPx;
}

// The largest cell width at which n small cells fit `width` x `height`,
// at most `most`; 0 when none fits.
float SmallCell(int n, float width, float height, float most, float caption)
{
    for (float c = std::floor(most / kPx) * kPx; c >= 12 * kPx; c -= kPx) {
        const int cols = int(width / c), rows = int(height / (c + caption));
        if (int64_t(cols) * rows >= n)
            return c;
    }
    return 0;
}

void PlaceSmall(CircularLayout& l, const CircularPicture& p, float left, float top, float width, float cell, int lines)
{
    const float caption = CaptionHeight(p, lines);
    const int cols = std::max(1, int(width / cell));
    for (std::size_t i = 1; i < p.circles.size(); ++i) {
        const int k = int(i) - 1;
        CircleGeometry g;
        g.cellLeft = left + float(k % cols) * cell;
        g.cellTop = top + float(k / cols) * (cell + caption);
        g.cellRight = g.cellLeft + cell;
        g.cellBottom = g.cellTop + cell + caption;
        g.cx = g.cellLeft + cell / 2;
        g.cy = g.cellTop + cell / 2;
        // Tick labels where the circle keeps a useful size without their room.
        const float room = TextWidth(p, QStringLiteral("00.0Kb")) + 2 * kPx;
        g.radius = std::max(kPx, cell / 2 - kTickLength - 3 * kPx);
        g.tickLabels = g.radius - room >= 50 * kPx;
        if (g.tickLabels)
            g.radius -= room;
        g.captionY = g.cellTop + cell;
        g.captionLines = lines;
        SetRings(g, HasFeatures(p.circles[i]));
        l.circles.push_back(g);
    }
}

void DrawCircle(PictureSurface& pic, float cx, float cy, float r, ColorValue color)
{
    const int n = std::clamp(int(kTurn * r / kPx / 3), 24, 720);
    pic.BeginCurve(color);
    for (int i = 0; i <= n; ++i) {
        const double a = kTurn * i / n;
        pic.CurveTo(cx + r * float(std::sin(a)), cy - r * float(std::cos(a)));
    }
    pic.EndCurve();
}

void Radial(PictureSurface& pic, const CircleGeometry& g, double angle, float r1, float r2, ColorValue color)
{
    const float s = float(std::sin(angle)), c = float(std::cos(angle));
    pic.Line(g.cx + r1 * s, g.cy - r1 * c, g.cx + r2 * s, g.cy - r2 * c, color);
}

double AngleOf(const CircleRecord& c, double position)
{
    return kTurn * position / double(std::max<int64_t>(c.length, 1));
}

// Bars from `base` to each window's value, the windows thinned to one bar
// a pixel of the ring's rim: in each, the window farthest from the base.
void DrawBars(PictureSurface& pic, const CircleGeometry& g, const CircleRecord& c, Ring ring,
              const std::function<float(double)>& radiusOf, double base, ColorValue up, ColorValue down)
{
    const std::vector<float>& values = ring == Ring::GCContent ? c.gc : c.skew;
    const std::size_t n = values.size();
    const std::size_t bars = std::max<std::size_t>(1, std::size_t(kTurn * g.outer[int(ring)] / kPx));
    std::size_t k = 0;
    for (std::size_t b = 0; b < bars && k < n; ++b) {
        const double end = double(c.length) * double(b + 1) / double(bars);
        int64_t best = -1;
        for (; k < n && c.positionOf(k) < end; ++k)
            if (!c.gap[k] && (best < 0 || std::abs(values[k] - base) > std::abs(values[std::size_t(best)] - base)))
                best = int64_t(k);
        if (best < 0)
            continue;
        const double v = values[std::size_t(best)];
        Radial(pic, g, AngleOf(c, c.positionOf(std::size_t(best))), radiusOf(base), radiusOf(v), v >= base ? up : down);
    }
}

void DrawFeatures(PictureSurface& pic, const CircleGeometry& g, const CircleRecord& c)
{
    const std::size_t columns = std::max<std::size_t>(1, std::size_t(kTurn * g.outer[int(Ring::Plus)] / kPx));
    std::vector<bool> filled[2] = {std::vector<bool>(columns), std::vector<bool>(columns)};
    std::vector<uint32_t> found;
    for (const FeatureSource& source : c.features.sources) {
        found.clear();
        source.set->overlapping(source.record, 1, uint64_t(c.length), found);
        for (const uint32_t i : found) {
            const Feature f = source.set->feature(i);
            if (!DrawnType(f.type))
                continue;
            const int lane = f.strand == Strand::Reverse ? 1 : 0;
            const Ring ring = lane ? Ring::Minus : Ring::Plus;
            for (const FeaturePart& part : f.parts) {
                if (part.start > c.length)
                    continue;
                const auto column = [&](double pos) {
                    return std::min(columns - 1, std::size_t(pos / double(c.length) * double(columns)));
                };
                for (std::size_t x = column(part.start - 1.0); x <= column(double(part.end) - 0.5); ++x) {
                    if (filled[lane][x])
                        continue;
                    filled[lane][x] = true;
                    Radial(pic, g, kTurn * (double(x) + 0.5) / double(columns), g.inner[int(ring)], g.outer[int(ring)],
                           ColorOfKind(f.kind));
                }
            }
        }
    }
}

void DrawCumulative(PictureSurface& pic, const CircleGeometry& g, const CircleRecord& c)
{
    if (c.cumulative.empty())
        return;
    const auto [low, high] = std::minmax_element(c.cumulative.begin(), c.cumulative.end());
    const double span = std::max(*high - *low, 0.01);
    const float inner = g.inner[int(Ring::Cumulative)], outer = g.outer[int(Ring::Cumulative)];
    bool drawing = false;
    for (std::size_t k = 0; k < c.cumulative.size(); ++k) {
        if (c.gap[k]) {
            if (drawing)
                pic.EndCurve();
            drawing = false;
            continue;
        }
        if (!drawing)
            pic.BeginCurve(kCumulativeColor);
        drawing = true;
        const float r = inner + float((c.cumulative[k] - *low) / span) * (outer - inner);
        const double a = AngleOf(c, c.positionOf(k));
        pic.CurveTo(g.cx + r * float(std::sin(a)), g.cy - r * float(std::cos(a)));
    }
    if (drawing)
        pic.EndCurve();
}

// The position scale's ticks; none at the record's length, which meets
// base 1 at the top.
std::vector<PositionTick> ScaleTicks(const CircleRecord& c, int intervals)
{
    return NicePositionTicks(1, std::max<int64_t>(c.length - 1, 1), intervals);
}

// The marks' labels ("ori 3,925,500"), then the position ticks' labels,
// then features' names, each where it meets no other label.
void DrawLabels(PictureSurface& pic, const CircleGeometry& g, const CircleRecord& c, const CircularPicture& p)
{
    LabelPlacer placer;
    placer.cell = {g.cellLeft, g.cellTop, g.cellRight, g.large ? g.cellBottom : g.captionY};
    const float h = TextHeight(p);
    const float tickLabels = g.radius + kTickLength + 1 * kPx;
    if (g.large) {
        for (const auto& [mark, word] :
             {std::pair{c.origin, QStringLiteral("ori")}, {c.terminus, QStringLiteral("ter")}}) {
            if (mark <= 0)
                continue;
            const QString text = word + u' ' + GroupedInteger(mark);
            for (float r = tickLabels; r < tickLabels + 3 * h; r += h / 2) {
                const Box b = LabelPlacer::Beside(g.cx, g.cy, r, AngleOf(c, double(mark) - 0.5), TextWidth(p, text), h);
                if (placer.take(b)) {
                    PrintAt(pic, b.left, b.top, text);
                    break;
                }
            }
        }
    }
    if (g.tickLabels) {
        const int intervals = std::max(3, int(kTurn * g.radius / (70 * kPx)));
        for (const PositionTick& tick : ScaleTicks(c, intervals)) {
            const double a = AngleOf(c, double(tick.position) - 0.5);
            const Box b = LabelPlacer::Beside(g.cx, g.cy, tickLabels, a, TextWidth(p, tick.label), h);
            if (placer.take(b))
                PrintAt(pic, b.left, b.top, tick.label);
        }
    }
    if (!g.large)
        return;
    std::vector<uint32_t> found;
    for (const FeatureSource& source : c.features.sources) {
        found.clear();
        source.set->overlapping(source.record, 1, uint64_t(c.length), found);
        for (const uint32_t i : found) {
            const Feature f = source.set->feature(i);
            const QString text = FeatureLabel(f);
            if (!DrawnType(f.type) || text.isEmpty() || f.kind == FeatureKind::Other)
                continue;
            // A feature across the origin is labelled at its first part.
            const FeaturePart span = f.acrossOrigin && !f.parts.empty() ? f.parts.front() : FeaturePart{f.start, f.end};
            const double a = AngleOf(c, (double(span.start) + double(span.end)) / 2 - 0.5);
            const Box b = LabelPlacer::Beside(g.cx, g.cy, tickLabels + h * 1.2f, a, TextWidth(p, text), h);
            if (placer.take(b))
                PrintAt(pic, b.left, b.top, text);
        }
    }
}

QString WindowText(const CircleRecord& c)
{
    return QStringLiteral("window %1 bp, step %2 bp").arg(GroupedInteger(c.window), GroupedInteger(c.step));
}

void DrawCaption(PictureSurface& pic, const CircleGeometry& g, const CircleRecord& c, const CircularPicture& p)
{
    const float h = TextHeight(p);
    QStringList lines{
        c.id,
        QStringLiteral("%1 bp%2").arg(GroupedInteger(c.length), c.wrapped ? QStringLiteral(", circular") : QString()),
        WindowText(c)};
    if (g.large) {
        lines << QStringLiteral("mean G+C %1 %").arg(Percent(c.meanGC));
        const float width = 2 * g.inner[int(Ring::Cumulative)] * 0.9f;
        if (TextWidth(p, lines[2]) > width) {
            lines[2] = QStringLiteral("window %1 bp").arg(GroupedInteger(c.window));
            lines.insert(3, QStringLiteral("step %1 bp").arg(GroupedInteger(c.step)));
        }
        const float top = g.cy - float(lines.size()) * h / 2;
        for (int i = 0; i < lines.size(); ++i) {
            const QString text = Elided(p, lines[i], width);
            PrintAt(pic, g.cx - TextWidth(p, text) / 2, top + float(i) * h, text);
        }
        return;
    }
    if (c.origin > 0)
        lines << QStringLiteral("ori %1, ter %2").arg(GroupedInteger(c.origin), GroupedInteger(c.terminus));
    const float width = g.cellRight - g.cellLeft - 4 * kPx;
    if (TextWidth(p, lines[1]) > width)
        lines[1] = ShortLength(c.length);
    if (TextWidth(p, lines[2]) > width)
        lines[2] = QStringLiteral("window %1, step %2").arg(GroupedInteger(c.window), GroupedInteger(c.step));
    // The ID and length cut to fit; the window and the marks whole or not
    // at all (the hover and the description give them).
    for (int i = 0; i < lines.size(); ++i) {
        if (i >= g.captionLines || (i >= 2 && TextWidth(p, lines[i]) > width))
            continue;
        const QString text = Elided(p, lines[i], width);
        PrintAt(pic, g.cx - TextWidth(p, text) / 2, g.captionY + float(i) * h, text);
    }
}

void DrawReplicon(PictureSurface& pic, const CircularLayout& l, const CircularPicture& p, int i)
{
    const CircleGeometry& g = l.circles[std::size_t(i)];
    const CircleRecord& c = p.circles[std::size_t(i)];
    if (i == p.focus)
        pic.Shade(g.cellLeft, g.cellTop, g.cellRight, g.cellBottom, kFocusShade);
    DrawCircle(pic, g.cx, g.cy, g.radius, 0x00000000);
    Radial(pic, g, 0, g.radius, g.radius + kTickLength * 2, 0x00000000);
    const int intervals = std::max(3, int(kTurn * g.radius / (70 * kPx)));
    for (const PositionTick& tick : ScaleTicks(c, intervals))
        Radial(pic, g, AngleOf(c, double(tick.position) - 0.5), g.radius, g.radius + kTickLength, 0x00000000);
    if (HasFeatures(c))
        DrawFeatures(pic, g, c);
    const float gcIn = g.inner[int(Ring::GCContent)], gcOut = g.outer[int(Ring::GCContent)];
    const auto gcRadius = [&](double v) {
        const double t = std::clamp((v - l.gcScale.low) / (l.gcScale.high - l.gcScale.low), 0.0, 1.0);
        return gcIn + float(t) * (gcOut - gcIn);
    };
    const float skIn = g.inner[int(Ring::Skew)], skOut = g.outer[int(Ring::Skew)];
    const auto skewRadius = [&](double v) {
        const double t = std::clamp(v / l.skewSpan, -1.0, 1.0);
        return (skIn + skOut) / 2 + float(t) * (skOut - skIn) / 2;
    };
    DrawCircle(pic, g.cx, g.cy, gcRadius(c.meanGC), kRingLine);
    DrawCircle(pic, g.cx, g.cy, skewRadius(0), kRingLine);
    DrawBars(pic, g, c, Ring::GCContent, gcRadius, double(c.meanGC), kGCAbove, kGCBelow);
    DrawBars(pic, g, c, Ring::Skew, skewRadius, 0, kSkewPositive, kSkewNegative);
    DrawCumulative(pic, g, c);
    for (const auto& [mark, color] : {std::pair{c.origin, kExplorerMarkColor}, std::pair{c.terminus, kTerminusColor}})
        if (mark > 0)
            Radial(pic, g, AngleOf(c, double(mark) - 0.5), g.inner[int(Ring::Cumulative)], g.radius, color);
    DrawLabels(pic, g, c, p);
    DrawCaption(pic, g, c, p);
}

void DrawHeader(PictureSurface& pic, const CircularPicture& p)
{
    PrintAt(pic, kMargin, kTop, QStringLiteral("%1: circular map").arg(p.title));
    const QString shown = p.circles.size() == std::size_t(p.records)
                              ? QStringLiteral("All %1 records, longest first").arg(GroupedInteger(p.records))
                              : QStringLiteral("%1 of %2 records, longest first")
                                    .arg(GroupedInteger(int64_t(p.circles.size())), GroupedInteger(p.records));
    PrintAt(pic, kMargin, kTop + TextHeight(p), shown);
}

// The legend's entries: swatches, then text that wraps beside them.
struct LegendEntry {
    std::vector<ColorValue> swatches;
    QString text;
};
std::vector<LegendEntry> LegendEntries(const CircularLayout& l, const CircularPicture& p)
{
    std::vector<LegendEntry> entries;
    entries.push_back(
        {{},
         QStringLiteral("Rings from the outside in: position (base 1 at the top, clockwise)%1, G+C, G-C/G+C and "
                        "cumulative G-C/G+C.")
             .arg(AnyFeatures(p) ? QStringLiteral(", features on the plus and on the minus strand") : QString())});
    entries.push_back(
        {{kGCAbove, kGCBelow},
         QStringLiteral("G+C content (%) = 100 \u00D7 (G + C) / window length, on one axis for every circle from %1 "
                        "to %2 %; the grey circle is the record's mean, windows above and below it.")
             .arg(ValueLabel(l.gcScale.low, l.gcScale.step), ValueLabel(l.gcScale.high, l.gcScale.step))});
    entries.push_back({{kSkewPositive, kSkewNegative},
                       QStringLiteral("G-C/G+C = (G \u2212 C) / (G + C), from \u2212%1 to %1 around zero (grey), "
                                      "above and below it.")
                           .arg(ValueLabel(l.skewSpan, l.skewSpan / 2))});
    entries.push_back({{kCumulativeColor, kExplorerMarkColor, kTerminusColor},
                       QStringLiteral("Cumulative G-C/G+C: the running sum of the windows' G-C/G+C from base 1, each "
                                      "circle to its own range; ori (origin) where it is lowest, ter (terminus) where "
                                      "it is highest.")});
    entries.push_back({{},
                       QStringLiteral("Window and step fitted to each record (1,000 to 2,000 windows); a circular "
                                      "record's windows wrap its origin. Letters other than A, C, G and T count by "
                                      "their share of G and C (N as half); a window more than half unknown is a gap "
                                      "in every ring.")});
    for (const QString& note : p.notes)
        entries.push_back({{}, note});
    return entries;
}

float SwatchesWidth(const LegendEntry& e)
{
    return float(e.swatches.size()) * (kSwatch + 2 * kPx) + (e.swatches.empty() ? 0 : 2 * kPx);
}

int LegendLines(const CircularLayout& l, const CircularPicture& p, float width)
{
    int lines = AnyFeatures(p) ? 1 : 0;
    for (const LegendEntry& e : LegendEntries(l, p))
        lines += int(Wrapped(p, e.text, width - 2 * kMargin - SwatchesWidth(e)).size());
    return lines;
}

void DrawLegend(PictureSurface& pic, const CircularLayout& l, const CircularPicture& p)
{
    const float h = TextHeight(p), width = pic.Width();
    float y = l.legendTop;
    const std::vector<LegendEntry> entries = LegendEntries(l, p);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const LegendEntry& e = entries[i];
        float x = kMargin;
        for (const ColorValue color : e.swatches) {
            pic.Shade(x, y + h / 2 - 3 * kPx, x + kSwatch, y + h / 2 + 3 * kPx, color);
            x += kSwatch + 2 * kPx;
        }
        x = kMargin + SwatchesWidth(e);
        for (const QString& line : Wrapped(p, e.text, width - 2 * kMargin - SwatchesWidth(e))) {
            PrintAt(pic, x, y, line);
            y += h;
        }
        // The feature kinds' colours after the rings' line.
        if (i == 0 && AnyFeatures(p)) {
            x = kMargin;
            for (int k = 0; k < 6; ++k) {
                const FeatureKind kind = FeatureKind(k);
                pic.Shade(x, y + h / 2 - 3 * kPx, x + kSwatch, y + h / 2 + 3 * kPx, ColorOfKind(kind));
                PrintAt(pic, x + kSwatch + 4 * kPx, y, KindName(kind));
                x += kSwatch + 16 * kPx + TextWidth(p, KindName(kind));
            }
            y += h;
        }
    }
}

} // namespace

double CircleRecord::positionOf(std::size_t k) const
{
    const double middle = double(k) * step + window / 2.0;
    return wrapped && middle >= double(length) ? middle - double(length) : middle;
}

int64_t CircleRecord::windowAt(double position) const
{
    const int64_t n = int64_t(gc.size());
    if (n == 0 || step < 1)
        return n == 0 ? -1 : 0;
    const int64_t k = std::llround((position - window / 2.0) / step);
    if (!wrapped)
        return std::clamp<int64_t>(k, 0, n - 1);
    // Around the circle: the nearest of the candidates either side.
    int64_t best = 0;
    double distance = 1e300;
    for (const int64_t j : {k - 1, k, k + 1, k - 1 + n, k + n, k - n, n - 1}) {
        const int64_t w = ((j % n) + n) % n;
        double d = std::abs(positionOf(std::size_t(w)) - position);
        d = std::min(d, double(length) - d);
        if (d < distance)
            distance = d, best = w;
    }
    return best;
}

bool CircleWraps(const RecordInfo& info)
{
    return info.wrapped || info.topology == Topology::Circular;
}

CircleRecord MakeCircle(const ExplorerData& data, const RecordInfo& info, std::size_t record, bool wrap,
                        TrackFeatures features)
{
    CircleRecord c;
    c.id = UnicodeName(WithDisplayName(RecordId(info.name), info.displayName));
    c.length = data.length();
    c.record = record;
    c.features = std::move(features);
    std::tie(c.window, c.step) = ChooseWindowAndStep(1, c.length);
    const ViewWindows v = wrap ? data.circle(c.window, c.step) : data.windows(1, c.length, c.window, c.step);
    c.wrapped = wrap && c.window <= c.length;
    c.meanGC = info.AvgGC;
    const std::size_t n = v.values.GCValues.size() >= 2 ? v.values.GCValues.size() - 2 : 0;
    c.gc.assign(v.values.GCValues.begin() + 1, v.values.GCValues.begin() + 1 + std::ptrdiff_t(n));
    c.skew.assign(v.values.SkewValues.begin() + 1, v.values.SkewValues.begin() + 1 + std::ptrdiff_t(n));
    c.gap.resize(n);
    bool any = false;
    for (std::size_t k = 0; k < n; ++k) {
        c.gap[k] = MostlyUnknownWindow(v.values.UnknownCounts[k + 1], c.window);
        if (c.gap[k])
            continue;
        c.gcLow = any ? std::min(c.gcLow, c.gc[k]) : c.gc[k];
        c.gcHigh = any ? std::max(c.gcHigh, c.gc[k]) : c.gc[k];
        c.skewLow = any ? std::min(c.skewLow, c.skew[k]) : c.skew[k];
        c.skewHigh = any ? std::max(c.skewHigh, c.skew[k]) : c.skew[k];
        any = true;
    }
    c.cumulative = CumulativeOf(c.skew);
    if (n > 0) {
        const auto low = std::min_element(c.cumulative.begin(), c.cumulative.end());
        const auto high = std::max_element(c.cumulative.begin(), c.cumulative.end());
        const auto middle = [&](auto it) {
            const int64_t base = int64_t(it - c.cumulative.begin()) * c.step + 1 + (c.window - 1) / 2;
            return base > c.length ? base - c.length : base;
        };
        c.origin = middle(low);
        c.terminus = middle(high);
    }
    return c;
}

CircularPicture MakeCircularMap(const QString& path, const std::vector<RecordInfo>& records,
                                const OverviewChoice& choice, const std::function<CircleRecord(std::size_t)>& circle,
                                const std::function<bool(std::size_t)>& accept)
{
    CircularPicture p;
    p.title = QFileInfo(path).fileName();
    p.records = int64_t(records.size());
    const OverviewSelection s = SelectOverviewRows(records, choice.minLength, choice.maxRows, accept);
    p.circles.reserve(s.rows.size());
    for (const std::size_t i : s.rows)
        p.circles.push_back(circle(i));
    for (const QString& line : {MoreRecordsLine(s), ShortRecordsLine(s, choice.minLength)})
        if (!line.isEmpty())
            p.notes << line;
    if (s.filteredRecords > 0)
        p.notes << QStringLiteral("%1 left out by the name filter").arg(GroupedInteger(s.filteredRecords));
    return p;
}

std::optional<CircularPicture> LoadCircularMap(const QString& path, const QString& title,
                                               const std::vector<RecordInfo>& records, const OverviewChoice& choice,
                                               const std::vector<std::shared_ptr<const FeatureSet>>& sets,
                                               const std::function<bool()>& cancelled,
                                               const std::function<bool(std::size_t)>& accept)
{
    bool stopped = false;
    CircularPicture p = MakeCircularMap(
        path, records, choice,
        [&](std::size_t i) {
            const RecordInfo& info = records[i];
            const auto data = stopped ? nullptr : ExplorerData::Load(path, info, cancelled);
            if (!data) {
                stopped = true;
                return CircleRecord{};
            }
            TrackFeatures features = TrackFeatures::Of(sets, RecordId(info.name).toStdString());
            // An annotation may say what the sequence file does not (GFF3's Is_circular=true).
            const bool annotatedCircle =
                std::any_of(features.sources.begin(), features.sources.end(), [](const FeatureSource& f) {
                    return f.set->records()[f.record].topology == Topology::Circular;
                });
            return MakeCircle(*data, info, i, CircleWraps(info) || annotatedCircle, std::move(features));
        },
        accept);
    if (stopped)
        return std::nullopt;
    p.title = title;
    return p;
}

CircularLayout LayOutCircular(float width, float height, const CircularPicture& p)
{
    CircularLayout l;
    Scales(p, l);
    const float h = TextHeight(p);
    l.legendTop = height - float(LegendLines(l, p, width)) * h - kTop;
    const float top = HeaderHeight(p), areaW = width - 2 * kMargin;
    const float areaH = std::max(kPx, l.legendTop - top - 4 * kPx);
    if (p.circles.empty())
        return l;
    const int small = int(p.circles.size()) - 1;
    // The large circle beside the others or above them, whichever leaves
    // both the more room; smaller while the others' cells are too narrow
    // for their captions.
    float side = std::min(areaW, areaH), cell = 0;
    bool beside = true;
    // Captions of four lines (ID, length, window and step, marks) where
    // the window's line fits a cell, else of two.
    const float useful = TextWidth(p, QStringLiteral("window 1,000, step 1,000")) + 4 * kPx;
    int lines = 4;
    for (float share = 0.62f; small > 0 && share > 0.45f; share -= 0.04f) {
        for (lines = 4; lines >= 2; lines -= 2) {
            const float caption = CaptionHeight(p, lines);
            const float besideSide = std::min(areaH, areaW * share), aboveSide = std::min(areaW, areaH * share);
            const float besideCell = SmallCell(small, areaW - besideSide, areaH, besideSide * 0.45f, caption);
            const float aboveCell = SmallCell(small, areaW, areaH - aboveSide, aboveSide * 0.45f, caption);
            beside = besideSide + 2 * besideCell >= aboveSide + 2 * aboveCell;
            side = beside ? besideSide : aboveSide;
            cell = beside ? besideCell : aboveCell;
            if (cell >= useful)
                break;
        }
        if (cell >= useful)
            break;
    }
    lines = std::max(lines, 2);
    CircleGeometry g;
    g.large = true;
    g.cellLeft = kMargin + (small > 0 && beside ? 0 : (areaW - side) / 2);
    g.cellTop = top;
    g.cellRight = g.cellLeft + side;
    g.cellBottom = top + side;
    g.cx = (g.cellLeft + g.cellRight) / 2;
    g.cy = top + side / 2;
    g.radius = std::max(kPx, std::min(side / 2 - LabelRoom(p), side / 2 - SideRoom(p)));
    g.tickLabels = true;
    SetRings(g, HasFeatures(p.circles[0]));
    l.circles.push_back(g);
    if (small > 0 && cell > 0) {
        if (beside)
            PlaceSmall(l, p, kMargin + side, top, areaW - side, cell, lines);
        else
            PlaceSmall(l, p, kMargin, top + side, areaW, cell, lines);
    }
    // Circles with no room left are not placed; they still have a cell.
    while (l.circles.size() < p.circles.size()) {
        CircleGeometry none;
        SetRings(none, false);
        l.circles.push_back(none);
    }
    return l;
}

int CircleAt(const CircularLayout& l, float x, float y)
{
    for (std::size_t i = 0; i < l.circles.size(); ++i) {
        const CircleGeometry& g = l.circles[i];
        if (g.radius > 0 && std::hypot(x - g.cx, y - g.cy) <= g.outer[int(Ring::Scale)])
            return int(i);
    }
    return -1;
}

std::optional<Ring> RingAt(const CircularLayout& l, int c, float x, float y)
{
    if (c < 0 || std::size_t(c) >= l.circles.size())
        return std::nullopt;
    const CircleGeometry& g = l.circles[std::size_t(c)];
    const float r = std::hypot(x - g.cx, y - g.cy);
    for (int i = 0; i < kRingCount; ++i)
        if (g.outer[i] > g.inner[i] && r >= g.inner[i] && r <= g.outer[i])
            return Ring(i);
    return std::nullopt;
}

double CirclePositionAt(const CircularLayout& l, const CircularPicture& p, int c, float x, float y)
{
    const CircleGeometry& g = l.circles[std::size_t(c)];
    double a = std::atan2(double(x - g.cx), double(g.cy - y));
    if (a < 0)
        a += kTurn;
    return a / kTurn * double(p.circles[std::size_t(c)].length);
}

QString CircleReadout(const CircularPicture& p, int c, double position)
{
    const CircleRecord& r = p.circles[std::size_t(c)];
    const int64_t base = std::clamp<int64_t>(int64_t(std::floor(position)) + 1, 1, std::max<int64_t>(r.length, 1));
    QString text = QStringLiteral("%1, position %2").arg(r.id, GroupedInteger(base));
    const int64_t k = r.windowAt(position);
    if (k < 0)
        return text + QStringLiteral(": no window");
    if (r.gap[std::size_t(k)])
        return text + QStringLiteral(": a window of mostly unknown bases");
    return text + QStringLiteral(": G+C %1 %, G-C/G+C %2, cumulative %3")
                      .arg(Percent(r.gc[std::size_t(k)]), FormatFixed(r.skew[std::size_t(k)], 2),
                           FormatFixed(r.cumulative[std::size_t(k)], 2));
}

void DrawCircular(PictureSurface& pic, const CircularPicture& p)
{
    pic.Cls();
    pic.SetFontName(p.fontName);
    pic.SetFontSize(p.fontSize);
    const CircularLayout l = LayOutCircular(pic.Width(), pic.Height(), p);
    DrawHeader(pic, p);
    for (int i = 0; i < int(p.circles.size()); ++i)
        if (l.circles[std::size_t(i)].radius > 0)
            DrawReplicon(pic, l, p, i);
    DrawLegend(pic, l, p);
}

QString DescribeCircular(const CircularPicture& p)
{
    QStringList parts{QStringLiteral("Circular map of %1, %2 of %3 records.")
                          .arg(p.title, GroupedInteger(int64_t(p.circles.size())), GroupedInteger(p.records))};
    for (const CircleRecord& c : p.circles) {
        QString text = QStringLiteral("%1: %2 bp%3, %4, mean G+C %5 %")
                           .arg(c.id, GroupedInteger(c.length), c.wrapped ? QStringLiteral(", circular") : QString(),
                                WindowText(c), Percent(c.meanGC));
        if (!c.gc.empty())
            text += QStringLiteral(", G+C from %1 to %2 %, G-C/G+C from %3 to %4, origin %5, terminus %6")
                        .arg(Percent(c.gcLow), Percent(c.gcHigh), FormatFixed(c.skewLow, 2), FormatFixed(c.skewHigh, 2),
                             GroupedInteger(c.origin), GroupedInteger(c.terminus));
        parts << text + u'.';
    }
    return parts.join(u' ');
}

PictureExport CircularExport(const CircularPicture& p, PictureFormat format, int scale, PageSize page)
{
    PictureExport request = OverviewExport({}, format, scale, page);
    request.title = QStringLiteral("Circular map of %1").arg(p.title);
    return request;
}

} // namespace quillet
