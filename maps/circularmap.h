#pragma once
// The circular map: every replicon of a run as its own circle, the longest
// large and the others smaller beside it, longest first. Rings from the
// outside in: the position scale, the features on the plus and the minus
// strand (when the record has any), G+C (%) on one absolute axis for every
// circle with the record's mean as a reference circle, G-C/G+C around zero,
// and the running sum of G-C/G+C with the origin and terminus marked across
// the rings. Each circle has its own window and step, fitted to about 1,000
// to 2,000 windows as the explorer fits them; a circular record's windows
// wrap its origin. Windows of mostly unknown bases are gaps in every ring.
// A legend says what each ring is and how it was computed.
#include "analysis/engine.h"
#include "analysis/overview.h"
#include "maps/axisticks.h"
#include "maps/exportpicture.h"
#include "maps/featuretrack.h"
#include "maps/overviewmap.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace quillet {

class ExplorerData;

// One replicon's circle: its windows at the window and step fitted to it.
struct CircleRecord {
    QString id; // the record's ID, with the name a header or source feature gives it
    int64_t length = 0;
    std::size_t record = 0; // its index in the run, 0-based
    bool wrapped = false;   // its windows wrap the origin
    int32_t window = 0, step = 0;
    float meanGC = 0;
    // One value per window, window k starting at base 1 + k * step.
    std::vector<float> gc, skew;
    std::vector<double> cumulative; // in hundredths, as the values table adds them
    std::vector<bool> gap;          // mostly unknown (MostlyUnknownWindow)
    float gcLow = 0, gcHigh = 0, skewLow = 0, skewHigh = 0;
    int64_t origin = 0, terminus = 0; // where the running sum is lowest and highest; 0 without windows
    TrackFeatures features;

    // The continuous position (base p covers [p - 1, p)) of window k's
    // middle, on the circle.
    double positionOf(std::size_t k) const;
    // The window whose middle is nearest to `position` around the circle;
    // -1 without windows.
    int64_t windowAt(double position) const;
};

// The circle of the record `info` (index `record` in its run) from its
// data, wrapped when `wrap` says so, with its features.
CircleRecord MakeCircle(const ExplorerData& data, const RecordInfo& info, std::size_t record, bool wrap,
                        TrackFeatures features);
// Whether the map wraps a record: its run wrapped it, or its file says it is circular.
bool CircleWraps(const RecordInfo& info);

struct CircularPicture {
    QString title;                     // the file's name
    int64_t records = 0;               // in the run
    std::vector<CircleRecord> circles; // longest first
    QStringList notes;                 // the records not shown
    int focus = -1;                    // the circle the keyboard is on, -1 none
    QString fontName = QStringLiteral("Sans Serif");
    float fontSize = 8.0f;
};

// The circles of the records of the file `path` that an overview of
// `choice` shows (its minimum length and row limit), each made by `circle`
// (which reads the record's data); notes say what is left out.
CircularPicture MakeCircularMap(const QString& path, const std::vector<RecordInfo>& records,
                                const OverviewChoice& choice, const std::function<CircleRecord(std::size_t)>& circle,
                                const std::function<bool(std::size_t)>& accept = {});

// The circular map of the records of the file `path` that `choice` shows,
// each read again from the file (ExplorerData) with the features `sets`
// hold for it, titled `title`. A record wraps when CircleWraps says so or
// an annotation of it says it is circular. The window and quillet-map both make their
// maps with it, so that they are the same. Null when `cancelled` says so;
// throws quillet::Failure when the file no longer gives a record.
std::optional<CircularPicture> LoadCircularMap(const QString& path, const QString& title,
                                               const std::vector<RecordInfo>& records, const OverviewChoice& choice,
                                               const std::vector<std::shared_ptr<const FeatureSet>>& sets,
                                               const std::function<bool()>& cancelled = {},
                                               const std::function<bool(std::size_t)>& accept = {});

enum class Ring { Scale, Plus, Minus, GCContent, Skew, Cumulative };
constexpr int kRingCount = 6;

// A circle on the picture, in twips: its centre, the radius of its
// position scale and the bands of its rings (inner and outer radius; an
// empty band for the feature rings of a record without features).
struct CircleGeometry {
    float cx = 0, cy = 0, radius = 0;
    bool large = false;
    bool tickLabels = false; // the position scale's ticks are labelled
    float inner[kRingCount]{}, outer[kRingCount]{};
    float captionY = 0;   // a small circle's caption lines under it
    int captionLines = 4; // how many: ID, length, window and step, marks
    float cellLeft = 0, cellTop = 0, cellRight = 0, cellBottom = 0;
};
struct CircularLayout {
    std::vector<CircleGeometry> circles;
    ValueTicks gcScale;    // the G+C ring's axis, every circle's
    double skewSpan = 0.1; // the G-C/G+C ring spans -skewSpan .. skewSpan
    float legendTop = 0;
};
CircularLayout LayOutCircular(float width, float height, const CircularPicture& p);

// The circle at (x, y) (within its outer ring), -1 outside every circle.
int CircleAt(const CircularLayout& l, float x, float y);
// The ring of circle c at (x, y), nothing between the rings or outside.
std::optional<Ring> RingAt(const CircularLayout& l, int c, float x, float y);
// The continuous position of circle c's record at the angle of (x, y):
// 0 at the top, growing clockwise.
double CirclePositionAt(const CircularLayout& l, const CircularPicture& p, int c, float x, float y);
// What the hover says at `position` of circle c: record, position and the
// value of each ring there.
QString CircleReadout(const CircularPicture& p, int c, double position);

void DrawCircular(PictureSurface& pic, const CircularPicture& p);

// What the accessible description says: each replicon with its length,
// mean G+C, extremes, origin and terminus.
QString DescribeCircular(const CircularPicture& p);

// The export of a circular map of `page` pixels (times `scale` for a PNG).
PictureExport CircularExport(const CircularPicture& p, PictureFormat format, int scale, PageSize page);

} // namespace quillet
