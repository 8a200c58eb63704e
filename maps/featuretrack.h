#pragma once
// The explorer's features track: the features of the record shown, under
// its curves, the forward strand above the middle line and the reverse
// strand below it. Each part is a box coloured by the feature's kind, the
// parts of a joined feature are tied by a line, an arrow tip marks the
// strand where the box has room, and a partial end gets a chevron. Labels
// (the feature's name) stand in a row beside each strand's boxes where
// they fit, never over another; a feature that would fall on pixels its
// lane has already filled is left out, so a whole genome draws what can be
// seen, and quickly.
#include "analysis/features.h"
#include "maps/surface.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace quillet {

// The kinds' colours (0x00BBGGRR), in the order of FeatureKind.
constexpr ColorValue kGeneColor = 0x00B06A1F;     // blue
constexpr ColorValue kRrnaColor = 0x002828D0;     // red
constexpr ColorValue kTrnaColor = 0x00309A30;     // green
constexpr ColorValue kOtherRnaColor = 0x00A03C8C; // purple
constexpr ColorValue kRepeatColor = 0x001E8CE6;   // orange
constexpr ColorValue kOtherColor = 0x00808080;    // grey
constexpr ColorValue kFeatureColors[] = {kGeneColor, kRrnaColor, kTrnaColor, kOtherRnaColor, kRepeatColor, kOtherColor};
ColorValue ColorOfKind(FeatureKind kind);
// What the legend and the hover call a kind.
QString KindName(FeatureKind kind);

// The features of the record shown, from each annotation that has some.
struct FeatureSource {
    std::shared_ptr<const FeatureSet> set;
    uint32_t record = FeatureSet::kNone; // the set's record for the record shown
};
struct TrackFeatures {
    std::vector<FeatureSource> sources;
    bool empty() const { return sources.empty(); }
    // The sources of `sets` that hold the record of ID `recordId`.
    static TrackFeatures Of(const std::vector<std::shared_ptr<const FeatureSet>>& sets, std::string_view recordId);
};

// The track's box on the picture, in twips.
struct FeatureBand {
    float left = 0, right = 0, top = 0, bottom = 0;
};

// The height the track takes (its title row and box) for a font size.
float FeatureTrackHeight(float fontSize);

// Where the track draws each feature of the view from .. to (1-based,
// inclusive) on `band`: the features drawn, each with its boxes' extent,
// and the labels placed. Hover and clicks ask it what lies under the
// pointer; the accessible description lists its features.
struct PlacedFeature {
    uint32_t source = 0; // in TrackFeatures::sources
    uint32_t index = 0;  // in its set
    float x1 = 0, x2 = 0, y1 = 0, y2 = 0;
};
struct PlacedLabel {
    float x = 0, y = 0, width = 0; // its top-left corner and width
    QString text;
};
struct FeatureLayout {
    std::vector<PlacedFeature> placed; // in drawing order
    std::vector<PlacedLabel> labels;   // none over another
    int64_t inView = 0;                // features that meet the view (drawn or not)
};
// Labels are laid out in `fontName` at `fontSize` (the picture's font).
FeatureLayout LayOutFeatures(const TrackFeatures& features, const FeatureBand& band, int64_t from, int64_t to,
                             const QString& fontName, float fontSize);

// The feature under the point (x, y), the nearest within a few pixels.
std::optional<PlacedFeature> FeatureAt(const FeatureLayout& layout, float x, float y);

// Whether a feature is worth a box of its own: not the record itself
// ("region", "source" and the like) nor the exons its transcript's parts
// show.
bool DrawnType(std::string_view type);

// The feature's label: its name, else its locus tag, else its ID; for a
// feature of a named gene (a CDS, an RNA) the gene's name.
QString FeatureLabel(const Feature& f);
QString FeatureLabel(const FeatureSet& set, uint32_t index);
// What the hover says of a feature: its type, label, location, strand
// and product: "CDS dnaA, 3,882,326..3,883,729 (-), chromosomal
// replication initiator protein DnaA".
QString DescribeFeature(const FeatureSet& set, uint32_t index);

// How far `position` lies from the nearest feature of the record named
// `name` (its name, locus tag or ID: "dnaA"), in bases: 0 inside it;
// around the origin too for a circular record of `length` bases. Nothing
// without such a feature.
std::optional<int64_t> DistanceToFeature(const TrackFeatures& features, std::string_view name, int64_t position,
                                         int64_t length, bool circular);
// What a mark's label adds for it: " (1,234 bp from dnaA)", or nothing.
QString DistanceNote(const TrackFeatures& features, std::string_view name, int64_t position, int64_t length,
                     bool circular);

// Draws the track on `band` (its title above it); labels in `fontName`
// at `fontSize` (the surface's font).
void DrawFeatureTrack(PictureSurface& pic, const TrackFeatures& features, const FeatureBand& band, int64_t from,
                      int64_t to, const QString& fontName, float fontSize);

} // namespace quillet
