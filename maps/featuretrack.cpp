#include "maps/featuretrack.h"

#include "analysis/numtext.h"
#include "maps/plottext.h"
#include "maps/units.h"

#include <algorithm>
#include <array>

namespace quillet {

namespace {

constexpr float kPx = kTwipsPerPixel;
constexpr float kBox = 9 * kPx;       // a box's height
constexpr float kMiddleGap = 2 * kPx; // between a strand's boxes and the middle line
constexpr float kLabelGap = 4 * kPx;  // the least room between two labels
constexpr float kTitleRow = 16 * kPx; // the track's name above its box
constexpr float kArrowRoom = 6 * kPx; // the narrowest box with an arrow tip
constexpr float kArrow = 4 * kPx;
constexpr float kNear = 3 * kPx; // how far off a feature the pointer may be
constexpr ColorValue kMiddleColor = 0x00C8C8C8;
constexpr ColorValue kArrowColor = 0x00FFFFFF;
constexpr ColorValue kPartialColor = 0x00000000;

float LabelRow(float fontSize)
{
    return TextHeight(fontSize) + 1 * kPx;
}

// The top of a strand's boxes: lane 0 forward (and unstranded), 1 reverse.
float BoxTop(const FeatureBand& band, int lane)
{
    const float middle = Snap((band.top + band.bottom) / 2);
    return lane == 0 ? middle - kMiddleGap - kBox : middle + kMiddleGap;
}

int LaneOf(Strand strand)
{
    return strand == Strand::Reverse ? 1 : 0;
}

struct Scale {
    double from0, span;
    float left, right;
    float x(double position) const { return float(double(left) + (position - from0) / span * double(right - left)); }
};

Scale ScaleOf(const FeatureBand& band, int64_t from, int64_t to)
{
    return {double(from - 1), double(std::max<int64_t>(to - from + 1, 1)), band.left, band.right};
}

// A part's extent on screen, cut to the view, at least a pixel wide.
std::pair<float, float> Extent(const Scale& s, uint32_t start, uint32_t end, int64_t from, int64_t to)
{
    const float x1 = s.x(double(std::max<int64_t>(int64_t(start), from) - 1));
    const float x2 = std::max(x1 + kPx, s.x(double(std::min<int64_t>(int64_t(end), to))));
    return {x1, x2};
}

} // namespace

ColorValue ColorOfKind(FeatureKind kind)
{
    return kFeatureColors[std::min<std::size_t>(std::size_t(kind), std::size(kFeatureColors) - 1)];
}

QString KindName(FeatureKind kind)
{
    switch (kind) {
    case FeatureKind::Gene: return QStringLiteral("gene or CDS");
    case FeatureKind::Rrna: return QStringLiteral("rRNA");
    case FeatureKind::Trna: return QStringLiteral("tRNA");
    case FeatureKind::OtherRna: return QStringLiteral("other RNA");
    case FeatureKind::Repeat: return QStringLiteral("repeat or mobile element");
    case FeatureKind::Other: break;
    }
    return QStringLiteral("other");
}

float FeatureTrackHeight(float fontSize)
{
    return kTitleRow + 2 * (LabelRow(fontSize) + kBox + kMiddleGap) + 4 * kPx;
}

bool DrawnType(std::string_view type)
{
    static constexpr std::string_view kWhole[] = {"region", "source", "chromosome", "databank_entry", "exon"};
    return std::find(std::begin(kWhole), std::end(kWhole), type) == std::end(kWhole);
}

QString FeatureLabel(const Feature& f)
{
    const std::string_view text = !f.name.empty() ? f.name : !f.locusTag.empty() ? f.locusTag : f.id;
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

QString FeatureLabel(const FeatureSet& set, uint32_t index)
{
    // A CDS or RNA goes by its gene's name, which its own ID seldom is.
    const Feature f = set.feature(index);
    if (f.parent != FeatureSet::kNone) {
        const Feature parent = set.feature(f.parent);
        if (!parent.name.empty())
            return FeatureLabel(parent);
    }
    return FeatureLabel(f);
}

QString DescribeFeature(const FeatureSet& set, uint32_t index)
{
    const Feature f = set.feature(index);
    QString text = QString::fromUtf8(f.type.data(), qsizetype(f.type.size()));
    const QString label = FeatureLabel(set, index);
    if (!label.isEmpty())
        text += u' ' + label;
    text += QStringLiteral(", %1%2..%3%4")
                .arg(f.partialStart ? QStringLiteral("<") : QString(), GroupedInteger(f.start),
                     f.partialEnd ? QStringLiteral(">") : QString(), GroupedInteger(f.end));
    if (f.parts.size() > 1)
        text += QStringLiteral(" in %1 parts").arg(f.parts.size());
    text += f.strand == Strand::Forward   ? QStringLiteral(" (+)")
            : f.strand == Strand::Reverse ? QStringLiteral(" (-)")
                                          : QString();
    if (!f.product.empty())
        text += QStringLiteral(", ") + QString::fromUtf8(f.product.data(), qsizetype(f.product.size()));
    return text;
}

TrackFeatures TrackFeatures::Of(const std::vector<std::shared_ptr<const FeatureSet>>& sets, std::string_view recordId)
{
    TrackFeatures t;
    for (const auto& set : sets)
        if (set)
            if (const uint32_t r = set->recordIndex(recordId); r != FeatureSet::kNone)
                t.sources.push_back({set, r});
    return t;
}

namespace {

void LayOutSource(const FeatureSource& source, uint32_t sourceIndex, const FeatureBand& band, int64_t from, int64_t to,
                  FeatureLayout& layout)
{
    std::vector<uint32_t> found;
    source.set->overlapping(source.record, uint64_t(std::max<int64_t>(from, 1)), uint64_t(to), found);
    layout.inView += int64_t(found.size());
    const Scale s = ScaleOf(band, from, to);
    // How far each lane's boxes reach, and the last feature placed in it.
    std::array<float, 2> filled{band.left - kPx, band.left - kPx};
    std::array<int64_t, 2> last{-1, -1}; // in layout.placed
    for (const uint32_t i : found) {
        // Each feature is told from its row alone: what is not drawn, the
        // CDS or RNA of a gene, and a box on pixels already filled.
        const FeatureSet& set = *source.set;
        if (!DrawnType(set.type(i)))
            continue;
        const FeaturePart span = set.span(i);
        const int lane = LaneOf(set.strand(i));
        const auto [x1, x2] = Extent(s, span.start, span.end, from, to);
        // A child of the same extent as its gene (the CDS or RNA of it)
        // takes the gene's place: its kind and product say more.
        if (last[lane] >= 0) {
            PlacedFeature& before = layout.placed[std::size_t(last[lane])];
            if (set.parent(i) == before.index && x1 == before.x1 && x2 == before.x2) {
                before.index = i;
                continue;
            }
        }
        // A box on pixels the lane has filled already shows nothing new:
        // at most one new box a pixel.
        if (x1 < filled[lane] && x2 <= filled[lane] + kPx && set.partCount(i) <= 1)
            continue;
        const float top = BoxTop(band, lane);
        filled[lane] = std::max(filled[lane], x2);
        last[lane] = int64_t(layout.placed.size());
        layout.placed.push_back({sourceIndex, i, x1, x2, top, top + kBox});
    }
}

// Labels in each strand's row, in the order of the features, each centred
// on its feature where it does not meet the label before it.
void PlaceLabels(const TrackFeatures& features, const FeatureBand& band, const QString& fontName, float fontSize,
                 FeatureLayout& layout)
{
    std::array<float, 2> end{band.left - kLabelGap, band.left - kLabelGap};
    for (const PlacedFeature& p : layout.placed) {
        const FeatureSet& set = *features.sources[p.source].set;
        const Feature f = set.feature(p.index);
        const int lane = LaneOf(f.strand);
        // A label starts at its feature's middle at the latest (or at the
        // band's left edge): one that cannot clear the label before it is
        // not worth measuring, which at a whole genome is nearly every one.
        if (std::max((p.x1 + p.x2) / 2, band.left) < end[std::size_t(lane)] + kLabelGap)
            continue;
        const QString text = FeatureLabel(set, p.index);
        if (text.isEmpty())
            continue;
        const float width = TextWidth(fontName, fontSize, text);
        if (width > band.right - band.left)
            continue;
        const float x = std::clamp((p.x1 + p.x2 - width) / 2, band.left, band.right - width);
        if (x < end[std::size_t(lane)] + kLabelGap)
            continue;
        end[std::size_t(lane)] = x + width;
        const float y = lane == 0 ? p.y1 - LabelRow(fontSize) : p.y2 + 1 * kPx;
        layout.labels.push_back({x, y, width, text});
    }
}

} // namespace

FeatureLayout LayOutFeatures(const TrackFeatures& features, const FeatureBand& band, int64_t from, int64_t to,
                             const QString& fontName, float fontSize)
{
    FeatureLayout layout;
    if (to < from)
        return layout;
    for (uint32_t k = 0; k < features.sources.size(); ++k)
        LayOutSource(features.sources[k], k, band, from, to, layout);
    PlaceLabels(features, band, fontName, fontSize, layout);
    return layout;
}

std::optional<PlacedFeature> FeatureAt(const FeatureLayout& layout, float x, float y)
{
    std::optional<PlacedFeature> best;
    float bestDistance = kNear;
    for (const PlacedFeature& p : layout.placed) {
        if (y < p.y1 - kNear || y > p.y2 + kNear)
            continue;
        const float distance = x < p.x1 ? p.x1 - x : x > p.x2 ? x - p.x2 : 0.0f;
        if (distance <= bestDistance) {
            bestDistance = distance;
            best = p;
        }
    }
    return best;
}

namespace {

void DrawParts(PictureSurface& pic, const Scale& s, const Feature& f, const PlacedFeature& p, int64_t from, int64_t to)
{
    const ColorValue color = ColorOfKind(f.kind);
    const float middle = (p.y1 + p.y2) / 2;
    if (f.parts.size() <= 1) {
        pic.Shade(p.x1, p.y1, p.x2, p.y2, color);
        return;
    }
    // The parts from left to right (a reverse strand's are listed the other
    // way), copied only when they are not in that order already.
    const auto byStart = [](const FeaturePart& a, const FeaturePart& b) { return a.start < b.start; };
    std::vector<FeaturePart> sorted;
    std::span<const FeaturePart> parts = f.parts;
    if (!std::is_sorted(parts.begin(), parts.end(), byStart)) {
        sorted.assign(parts.begin(), parts.end());
        std::sort(sorted.begin(), sorted.end(), byStart);
        parts = sorted;
    }
    // Parts that meet on the screen are one box: at a whole genome a
    // gene's exons are a pixel or two apart, and a box each would cost
    // more than they show.
    float runX1 = -1, runX2 = -1;
    for (const FeaturePart& part : parts) {
        if (int64_t(part.end) < from || int64_t(part.start) > to)
            continue;
        const auto [x1, x2] = Extent(s, part.start, part.end, from, to);
        if (runX2 >= 0 && x1 <= runX2) {
            runX2 = std::max(runX2, x2);
            continue;
        }
        if (runX2 >= 0) {
            pic.Shade(runX1, p.y1, runX2, p.y2, color);
            // Joined parts are tied by a line across what lies between them.
            if (f.joined)
                pic.Line(runX2, middle, x1, middle, color);
        }
        runX1 = x1;
        runX2 = x2;
    }
    if (runX2 >= 0)
        pic.Shade(runX1, p.y1, runX2, p.y2, color);
}

void DrawEnds(PictureSurface& pic, const Feature& f, const PlacedFeature& p)
{
    const float middle = (p.y1 + p.y2) / 2;
    if (p.x2 - p.x1 >= kArrowRoom && f.strand != Strand::None) {
        const float tip = f.strand == Strand::Forward ? p.x2 - kPx : p.x1 + kPx;
        const float back = f.strand == Strand::Forward ? tip - kArrow : tip + kArrow;
        pic.Line(back, p.y1 + kPx, tip, middle, kArrowColor);
        pic.Line(tip, middle, back, p.y2 - kPx, kArrowColor);
    }
    if (f.partialStart) {
        pic.Line(p.x1, p.y1, p.x1 - 3 * kPx, middle, kPartialColor);
        pic.Line(p.x1 - 3 * kPx, middle, p.x1, p.y2, kPartialColor);
    }
    if (f.partialEnd) {
        pic.Line(p.x2, p.y1, p.x2 + 3 * kPx, middle, kPartialColor);
        pic.Line(p.x2 + 3 * kPx, middle, p.x2, p.y2, kPartialColor);
    }
}

} // namespace

std::optional<int64_t> DistanceToFeature(const TrackFeatures& features, std::string_view name, int64_t position,
                                         int64_t length, bool circular)
{
    std::optional<int64_t> best;
    for (const FeatureSource& source : features.sources) {
        for (const uint32_t i : source.set->find(name)) {
            const Feature f = source.set->feature(i);
            if (f.record != source.record)
                continue;
            for (const FeaturePart& part : f.parts) {
                // Around the origin, the position is also a length before
                // or after itself.
                for (const int64_t shift : {int64_t{0}, -length, length}) {
                    if (shift != 0 && !circular)
                        continue;
                    const int64_t p = position + shift;
                    const int64_t d = p < int64_t(part.start) ? int64_t(part.start) - p
                                      : p > int64_t(part.end) ? p - int64_t(part.end)
                                                              : 0;
                    best = best ? std::min(*best, d) : d;
                }
            }
        }
    }
    return best;
}

QString DistanceNote(const TrackFeatures& features, std::string_view name, int64_t position, int64_t length,
                     bool circular)
{
    const std::optional<int64_t> d = DistanceToFeature(features, name, position, length, circular);
    if (!d)
        return {};
    const QString what = QString::fromUtf8(name.data(), qsizetype(name.size()));
    return *d == 0 ? QStringLiteral(" (in %1)").arg(what)
                   : QStringLiteral(" (%1 bp from %2)").arg(GroupedInteger(*d), what);
}

void DrawFeatureTrack(PictureSurface& pic, const TrackFeatures& features, const FeatureBand& band, int64_t from,
                      int64_t to, const QString& fontName, float fontSize)
{
    PrintAt(pic, band.left, band.top - kTitleRow + 1 * kPx, QStringLiteral("Features"));
    const float middle = Snap((band.top + band.bottom) / 2);
    pic.Line(band.left, middle, band.right, middle, kMiddleColor);
    const FeatureLayout layout = LayOutFeatures(features, band, from, to, fontName, fontSize);
    const Scale s = ScaleOf(band, from, to);
    for (const PlacedFeature& p : layout.placed)
        DrawParts(pic, s, features.sources[p.source].set->feature(p.index), p, from, to);
    for (const PlacedFeature& p : layout.placed)
        DrawEnds(pic, features.sources[p.source].set->feature(p.index), p);
    for (const PlacedLabel& label : layout.labels)
        PrintAt(pic, label.x, label.y, label.text);
}

} // namespace quillet
