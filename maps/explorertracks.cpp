#include "maps/explorertracks.h"

#include "analysis/explorerdata.h"
#include "maps/axisticks.h"
#include "maps/plottext.h"

#include <algorithm>
#include <cmath>

namespace quillet {

namespace {

constexpr float kPx = kTwipsPerPixel;
constexpr float kLeft = 72 * kPx, kRight = 18 * kPx, kTop = 6 * kPx;
constexpr float kMarkRow = 15 * kPx;  // the origin's and terminus's labels, above every track
constexpr float kTitleRow = 16 * kPx; // a track's name above its box
constexpr float kGap = 8 * kPx;       // between a box and the next title
constexpr float kAxisRows = 38 * kPx; // position ticks, labels and caption
constexpr float kTickLength = 4 * kPx;

float TextWidth(const ExplorerPicture& p, const QString& text)
{
    return quillet::TextWidth(p.fontName, p.fontSize, text);
}

float TextHeight(const ExplorerPicture& p)
{
    return quillet::TextHeight(p.fontSize);
}

// The value range of a track: its values' extent widened to whole ticks.
ValueTicks AxisFor(const ExplorerPicture& p, Plot track, float boxHeight)
{
    const int64_t n = int64_t(p.gc.size());
    double low = 0, high = 0;
    for (int64_t k = 0; k < n; ++k) {
        const double v = ExplorerValue(p, track, k);
        low = k == 0 ? v : std::min(low, v);
        high = k == 0 ? v : std::max(high, v);
    }
    const double least = TraitsOf(track).leastSpan;
    if (high - low < least) {
        const double middle = (high + low) / 2;
        low = middle - least / 2;
        high = middle + least / 2;
    }
    return NiceValueTicks(low, high, std::max(2, int(boxHeight / (22 * kPx))));
}

float YOf(const ExplorerBand& band, const ValueTicks& a, double value)
{
    return float(double(band.bottom) - (value - a.low) / (a.high - a.low) * double(band.bottom - band.top));
}

void DrawValueAxis(PictureSurface& pic, const ExplorerLayout& l, const ExplorerBand& band, const ValueTicks& a,
                   const ExplorerPicture& p)
{
    const float half = TextHeight(p) / 2;
    for (const double v : a.values) {
        const float y = Snap(YOf(band, a, v));
        const bool zero = std::abs(v) < a.step * 1e-6 && TraitsOf(band.track).signedValues;
        pic.Line(l.left, y, l.right, y, zero ? kExplorerZeroColor : kExplorerGridColor);
        pic.Line(l.left - kTickLength, y, l.left, y);
        const QString text = ValueLabel(v, a.step);
        PrintAt(pic, l.left - kTickLength - 3 * kPx - TextWidth(p, text), y - half, text);
    }
}

void DrawFrame(PictureSurface& pic, const ExplorerLayout& l, const ExplorerBand& band)
{
    pic.Line(l.left, band.top, l.right, band.top);
    pic.Line(l.right, band.top, l.right, band.bottom);
    pic.Line(l.right, band.bottom, l.left, band.bottom);
    pic.Line(l.left, band.bottom, l.left, band.top);
}

void DrawCurve(PictureSurface& pic, const ExplorerLayout& l, const ExplorerBand& band, const ValueTicks& a,
               const ExplorerPicture& p)
{
    const int64_t n = int64_t(p.gc.size());
    pic.BeginCurve(kExplorerTrackColors[int(band.track)]);
    for (int64_t k = 0; k < n; ++k) {
        const double middle = double(p.from - 1) + double(k) * p.step + p.window / 2.0;
        pic.CurveTo(ExplorerXOf(l, p, middle), YOf(band, a, ExplorerValue(p, band.track, k)));
    }
    pic.EndCurve();
}

// The islands in the view, behind the G+C track's grid and curve.
void ShadeIslands(PictureSurface& pic, const ExplorerLayout& l, const ExplorerBand& band, const ExplorerPicture& p)
{
    for (const Island& island : p.islands) {
        if (island.end <= p.from - 1 || island.start >= p.to)
            continue;
        const float x1 = std::max(l.left, ExplorerXOf(l, p, double(island.start)));
        const float x2 = std::min(l.right, ExplorerXOf(l, p, double(island.end)));
        pic.Shade(x1, band.top, std::max(x2, x1 + kPx), band.bottom,
                  island.high ? kExplorerHighIslandShade : kExplorerLowIslandShade);
    }
}

void DrawTrack(PictureSurface& pic, const ExplorerLayout& l, const ExplorerBand& band, const ExplorerPicture& p)
{
    const ValueTicks a = AxisFor(p, band.track, band.bottom - band.top);
    if (band.track == Plot::GCContent)
        ShadeIslands(pic, l, band, p);
    DrawValueAxis(pic, l, band, a, p);
    // The name above the box, after a sample of the curve's colour.
    const float titleY = band.top - kTitleRow + 1 * kPx;
    const float sampleY = titleY + TextHeight(p) / 2 - 1 * kPx;
    for (int i = 0; i < 2; ++i)
        pic.Line(l.left, sampleY + float(i) * kPx, l.left + 16 * kPx, sampleY + float(i) * kPx,
                 kExplorerTrackColors[int(band.track)]);
    PrintAt(pic, l.left + 20 * kPx, titleY, TrackName(band.track));
    if (!p.gc.empty())
        DrawCurve(pic, l, band, a, p);
    DrawFrame(pic, l, band);
}

void DrawPositionAxis(PictureSurface& pic, const ExplorerLayout& l, const ExplorerPicture& p)
{
    // A tick stands at the middle of the base it names.
    const int intervals = std::max(2, int((l.right - l.left) / (90 * kPx)));
    for (const PositionTick& tick : NicePositionTicks(p.from, p.to, intervals)) {
        const float x = Snap(ExplorerXOf(l, p, double(tick.position) - 0.5));
        pic.Line(x, l.axisY, x, l.axisY + kTickLength);
        PrintAt(pic, x - TextWidth(p, tick.label) / 2, l.axisY + kTickLength + 1 * kPx, tick.label);
    }
    const QString caption = QStringLiteral("Position");
    PrintAt(pic, (l.left + l.right - TextWidth(p, caption)) / 2, l.axisY + kTickLength + TextHeight(p) + 2 * kPx,
            caption);
}

void DrawMark(PictureSurface& pic, const ExplorerLayout& l, const ExplorerPicture& p, int64_t position,
              const QString& name, const QString& note)
{
    const double middle = double(position) - 0.5;
    if (middle < double(p.from - 1) || middle > double(p.to) || l.bands.empty())
        return;
    const float x = Snap(ExplorerXOf(l, p, middle));
    for (const ExplorerBand& band : l.bands)
        pic.Line(x, band.top, x, band.bottom, kExplorerMarkColor);
    // The label in the row above the first track's name, on the side with
    // room for it, tied to the line by a stroke in that row.
    const QString text = name + QStringLiteral(" ") + GroupedInteger(position) + note;
    const float width = TextWidth(p, text);
    const float textX = x + 4 * kPx + width <= l.right ? x + 4 * kPx : x - 4 * kPx - width;
    const float rowTop = l.bands.front().top - kTitleRow - kMarkRow;
    pic.Line(x, rowTop + 2 * kPx, x, rowTop + kMarkRow, kExplorerMarkColor);
    PrintAt(pic, textX, rowTop + 1 * kPx, text);
}

} // namespace

std::vector<Island> RecordIslands(const ExplorerData& data, std::optional<int32_t> window, std::optional<int32_t> step)
{
    if (!window || !step || *window < 1 || data.length() < *window)
        return {};
    try {
        const ViewWindows whole = data.windows(1, data.length(), *window, *step);
        const IslandRecord record = IslandRecordOf(data.name(), whole.values, *window, *step);
        const IslandSettings settings;
        return FindIslands(record, IslandStatsOf({&record}), settings);
    } catch (const std::exception&) {
        return {};
    }
}

std::vector<double> CumulativeOf(const std::vector<float>& skew)
{
    // In hundredths, as the values table's cumulative column adds them.
    std::vector<double> sums(skew.size());
    int64_t hundredths = 0;
    for (std::size_t k = 0; k < skew.size(); ++k) {
        hundredths += std::llround(double(skew[k]) * 100.0);
        sums[k] = double(hundredths) / 100.0;
    }
    return sums;
}

ExplorerLayout LayOutExplorer(float width, float height, const ExplorerPicture& p)
{
    ExplorerLayout l;
    l.left = kLeft;
    l.right = std::max(kLeft + 10 * kPx, width - kRight);
    l.axisY = std::max(kTop + 10 * kPx, height - kAxisRows);
    const int count = int(std::count(p.shown.begin(), p.shown.end(), true));
    float curvesBottom = l.axisY;
    if (p.featuresShown && !p.features.empty()) {
        // The features take a fixed height over the position axis.
        const float trackHeight = FeatureTrackHeight(p.fontSize);
        const float top = count == 0 ? kTop + kMarkRow : Snap(l.axisY - trackHeight);
        l.features = FeatureBand{l.left, l.right, Snap(top + kTitleRow), l.axisY};
        curvesBottom = top - kGap;
    }
    if (count == 0)
        return l;
    const float each = (curvesBottom - kTop - kMarkRow - float(count - 1) * kGap) / float(count);
    float top = kTop + kMarkRow;
    for (int t = 0; t < kPlotCount; ++t) {
        if (!p.shown[size_t(t)])
            continue;
        const float boxTop = Snap(top + kTitleRow);
        l.bands.push_back({Plot(t), boxTop, std::max(boxTop + kPx, Snap(top + each))});
        top += each + kGap;
    }
    return l;
}

double ExplorerPositionAt(const ExplorerLayout& l, const ExplorerPicture& p, float x)
{
    const double span = double(p.to - p.from + 1);
    return double(p.from - 1) + double(x - l.left) / double(l.right - l.left) * span;
}

float ExplorerXOf(const ExplorerLayout& l, const ExplorerPicture& p, double position)
{
    const double span = double(p.to - p.from + 1);
    return float(double(l.left) + (position - double(p.from - 1)) / span * double(l.right - l.left));
}

int64_t ExplorerWindowAt(const ExplorerPicture& p, double position)
{
    const int64_t n = int64_t(p.gc.size());
    if (n == 0 || p.step < 1)
        return -1;
    const double k = std::round((position - double(p.from - 1) - p.window / 2.0) / p.step);
    return std::clamp<int64_t>(int64_t(k), 0, n - 1);
}

double ExplorerValue(const ExplorerPicture& p, Plot track, int64_t k)
{
    switch (track) {
    case Plot::GCContent: return double(p.gc[size_t(k)]);
    case Plot::Skew: return double(p.skew[size_t(k)]);
    case Plot::Cumulative: return p.cumulative[size_t(k)];
    }
    return 0;
}

void DrawExplorer(PictureSurface& pic, const ExplorerPicture& p)
{
    pic.Cls();
    pic.SetFontName(p.fontName);
    pic.SetFontSize(p.fontSize);
    if (p.to < p.from)
        return;
    const ExplorerLayout l = LayOutExplorer(pic.Width(), pic.Height(), p);
    for (const ExplorerBand& band : l.bands)
        DrawTrack(pic, l, band, p);
    if (l.features)
        DrawFeatureTrack(pic, p.features, *l.features, p.from, p.to, p.fontName, p.fontSize);
    if (p.origin)
        DrawMark(pic, l, p, *p.origin, QStringLiteral("origin"), p.originNote);
    if (p.terminus)
        DrawMark(pic, l, p, *p.terminus, QStringLiteral("terminus"), p.terminusNote);
    DrawPositionAxis(pic, l, p);
}

} // namespace quillet
