#pragma once
// The genome overview's picture: every record shown as one row, longest
// first, on one position scale (a row is as long as its record) and one
// value scale shared by all rows, each row labelled with the record's ID
// and length. The plot is one of kPlots, like the explorer's tracks: G+C,
// G-C/G+C, or the cumulative G-C/G+C with the record's origin and terminus
// marked.
// Under the rows, the position axis and the lines that say which records
// are not shown.
#include "analysis/overview.h"
#include "maps/axisticks.h"
#include "maps/explorertracks.h"
#include "maps/exportpicture.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace quillet {

struct OverviewRow {
    QString id; // the record's ID, with what its file calls it (see WithDisplayName)
    int64_t length = 0;
    float averageGC = 0;
    const RecordProfile* profile = nullptr; // the curves, kept by the caller
    int64_t origin = 0, terminus = 0;       // 0 when there is none
    std::size_t record = 0;                 // its index in the run, 0-based
};

struct OverviewPicture {
    Plot plot = Plot::GCContent;
    // The cumulative rows break, as the marked map's curve does, where a
    // point stands for windows of mostly unknown bases alone (the G+C and
    // G-C/G+C rows always do).
    bool markUnknown = false;
    QString title;                 // the file's name
    QString windowText, stepText;  // as the run used them
    int64_t records = 0;           // in the run
    std::vector<OverviewRow> rows; // in row order
    QStringList notes;             // the summary lines under the axis
    int focus = -1;                // the row the keyboard is on, -1 none
    QString fontName = QStringLiteral("Sans Serif");
    float fontSize = 8.0f;
};

// Where things go on a picture of outer size width x height twips. Row r
// spans rowTop(r) .. rowTop(r) + rowHeight; its curve's box is inset.
struct OverviewLayout {
    float labelLeft = 0, plotLeft = 0, plotRight = 0;
    float rowsTop = 0, rowHeight = 0;
    float axisY = 0;  // the position axis, under the last row
    float notesY = 0; // the first summary line
    int64_t longest = 0;
    ValueTicks scale; // the value scale of every row
    float rowTop(int r) const { return rowsTop + float(r) * rowHeight; }
    // The curve's box of row r, top and bottom.
    float boxTop(int r) const;
    float boxBottom(int r) const;
};
OverviewLayout LayOutOverview(float width, float height, const OverviewPicture& p);

// The height a picture of `rows` rows needs at a comfortable row height,
// for a window that scrolls: twips.
float OverviewHeightFor(std::size_t rows, const OverviewPicture& p);

// The row at y twips, -1 outside every row.
int OverviewRowAt(const OverviewLayout& l, const OverviewPicture& p, float y);
// The continuous position (base p covers [p - 1, p)) at x twips, and back.
double OverviewPositionAt(const OverviewLayout& l, float x);
float OverviewXOf(const OverviewLayout& l, double position);
// The plotted value of row r at `position`: its nearest point's; NaN where
// the curve is broken or outside the record.
double OverviewValueAt(const OverviewPicture& p, int r, double position);
// The plotted value of point i of a profile; with `marked`, NaN for a
// cumulative point whose windows are all mostly unknown (see
// OverviewPicture::markUnknown).
double ProfileValue(const RecordProfile& profile, Plot plot, std::size_t i, bool marked = false);

void DrawOverview(PictureSurface& pic, const OverviewPicture& p);
// Whether some row has a window to draw; without one the rows show no
// curve and the value scale stands for nothing.
bool AnyRowHasWindows(const OverviewPicture& p);

// What an overview shows of a run's records.
struct OverviewChoice {
    Plot plot = Plot::GCContent;
    bool markUnknown = false;
    int64_t minLength = 0;
    int64_t maxRows = 50;
};
constexpr int64_t kDefaultOverviewRows = 50;
// The most rows an overview draws: a page's rows are a pixel tall by then.
constexpr int64_t kMaxOverviewRows = 1000;

// The overview of the records of the file `path` (records[i]'s curves in
// profiles[i]) that `accept` lets through (all without it), at the run's
// window and step texts: its rows, which point into `profiles`, and the
// lines saying what is not shown. The window and quillet-map both make
// their pictures with it, so that they are the same.
OverviewPicture MakeOverview(const QString& path, const std::vector<RecordInfo>& records,
                             const std::vector<RecordProfile>& profiles, const OverviewChoice& choice,
                             const QString& windowText, const QString& stepText,
                             const std::function<bool(std::size_t)>& accept = {});

// Page sizes in pixels at 96 dpi, portrait.
struct PageSize {
    int width = 0, height = 0;
};
constexpr PageSize kA4Page{794, 1123};
constexpr PageSize kLetterPage{816, 1056};

// The export of an overview of `page` pixels (times `scale` for a PNG):
// white, without a frame, titled after the file.
PictureExport OverviewExport(const OverviewPicture& p, PictureFormat format, int scale, PageSize page);

} // namespace quillet
