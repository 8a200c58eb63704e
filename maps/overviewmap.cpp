#include "maps/overviewmap.h"

#include "analysis/numtext.h"
#include "analysis/recordname.h"
#include "maps/plottext.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace quillet {

namespace {

constexpr float kPx = kTwipsPerPixel;
constexpr float kMargin = 8 * kPx, kTop = 6 * kPx;
constexpr float kAxisRows = 38 * kPx; // position ticks, labels and caption
constexpr float kTickLength = 4 * kPx;
constexpr float kLongestRow = 60 * kPx;
constexpr float kComfortableRow = 28 * kPx; // the window's rows, which scroll
constexpr ColorValue kRowFrame = 0x00C8C8C8;
constexpr ColorValue kFocusShade = 0x00F8ECE0;
// The origin's line in the explorer's colour, the terminus's in another.
constexpr ColorValue kTerminusColor = 0x00A03080;

float TextWidth(const OverviewPicture& p, const QString& text)
{
    return quillet::TextWidth(p.fontName, p.fontSize, text);
}

float TextHeight(const OverviewPicture& p)
{
    return quillet::TextHeight(p.fontSize);
}

QString LengthLabel(int64_t length)
{
    return GroupedInteger(length) + QStringLiteral(" bp");
}

// `text` cut to `width` twips, with an ellipsis where it was cut.
QString Elided(const OverviewPicture& p, const QString& text, float width)
{
    if (TextWidth(p, text) <= width)
        return text;
    QString cut = text;
    while (!cut.isEmpty() && TextWidth(p, cut + u'\u2026') > width)
        cut.chop(1);
    return cut + u'\u2026';
}

float HeaderHeight(const OverviewPicture& p)
{
    return kTop + 2 * TextHeight(p) + 4 * kPx;
}

float FooterHeight(const OverviewPicture& p)
{
    return kAxisRows + float(p.notes.size()) * TextHeight(p) + 4 * kPx;
}

// The shared value scale: every row's points, with 0 for the plots whose
// values have a sign.
ValueTicks SharedScale(const OverviewPicture& p)
{
    const bool signedPlot = TraitsOf(p.plot).signedValues;
    double low = 0, high = 0;
    bool any = signedPlot;
    for (const OverviewRow& row : p.rows) {
        if (!row.profile)
            continue;
        for (std::size_t i = 0; i < row.profile->gc.size(); ++i) {
            const double v = ProfileValue(*row.profile, p.plot, i, p.markUnknown);
            if (std::isnan(v))
                continue;
            low = any ? std::min(low, v) : v;
            high = any ? std::max(high, v) : v;
            any = true;
        }
    }
    const double least = TraitsOf(p.plot).leastSpan;
    if (high - low < least) {
        const double middle = (high + low) / 2;
        low = middle - least / 2;
        high = middle + least / 2;
    }
    return NiceValueTicks(low, high, 4);
}

float YOf(const OverviewLayout& l, int r, double value)
{
    const double span = l.scale.high - l.scale.low;
    return float(double(l.boxBottom(r)) - (value - l.scale.low) / span * double(l.boxBottom(r) - l.boxTop(r)));
}

// "| origin  | terminus" at the right of the header's first line.
void DrawMarkLegend(PictureSurface& pic, const OverviewLayout& l, const OverviewPicture& p)
{
    const QString origin = QStringLiteral("origin"), terminus = QStringLiteral("terminus");
    float x = l.plotRight - TextWidth(p, terminus) - 8 * kPx - TextWidth(p, origin) - 16 * kPx;
    for (const auto& [text, color] : {std::pair{origin, kExplorerMarkColor}, std::pair{terminus, kTerminusColor}}) {
        pic.Line(Snap(x), kTop + 2 * kPx, Snap(x), kTop + TextHeight(p) - 2 * kPx, color);
        PrintAt(pic, x + 4 * kPx, kTop, text);
        x += 4 * kPx + TextWidth(p, text) + 12 * kPx;
    }
}

void DrawHeader(PictureSurface& pic, const OverviewLayout& l, const OverviewPicture& p)
{
    PrintAt(
        pic, l.labelLeft, kTop,
        QStringLiteral("%1: %2, window %3 bp, step %4 bp").arg(p.title, TrackName(p.plot), p.windowText, p.stepText));
    if (p.plot == Plot::Cumulative)
        DrawMarkLegend(pic, l, p);
    const QString shown = p.rows.size() == std::size_t(p.records)
                              ? QStringLiteral("All %1 records, longest first").arg(GroupedInteger(p.records))
                              : QStringLiteral("%1 of %2 records, longest first")
                                    .arg(GroupedInteger(int64_t(p.rows.size())), GroupedInteger(p.records));
    const QString scale = p.rows.empty() || AnyRowHasWindows(p)
                              ? QStringLiteral("one value scale for every row, %1 to %2")
                                    .arg(ValueLabel(l.scale.low, l.scale.step), ValueLabel(l.scale.high, l.scale.step))
                              : QStringLiteral("no record shown is as long as the window (%1 bp)").arg(p.windowText);
    PrintAt(pic, l.labelLeft, kTop + TextHeight(p), QStringLiteral("%1; %2").arg(shown, scale));
}

void DrawLabels(PictureSurface& pic, const OverviewLayout& l, const OverviewPicture& p, int r)
{
    const OverviewRow& row = p.rows[std::size_t(r)];
    const float y = l.rowTop(r) + (l.rowHeight - TextHeight(p)) / 2 + 1 * kPx;
    const QString length = LengthLabel(row.length);
    const float lengthX = l.plotLeft - 8 * kPx - TextWidth(p, length);
    PrintAt(pic, l.labelLeft, y, Elided(p, row.id, lengthX - 8 * kPx - l.labelLeft));
    PrintAt(pic, lengthX, y, length);
}

void DrawCurve(PictureSurface& pic, const OverviewLayout& l, const OverviewPicture& p, int r)
{
    const RecordProfile& profile = *p.rows[std::size_t(r)].profile;
    bool drawing = false;
    for (std::size_t i = 0; i < profile.gc.size(); ++i) {
        const double v = ProfileValue(profile, p.plot, i, p.markUnknown);
        if (std::isnan(v)) {
            if (drawing)
                pic.EndCurve();
            drawing = false;
            continue;
        }
        if (!drawing)
            pic.BeginCurve(kExplorerTrackColors[int(p.plot)]);
        drawing = true;
        pic.CurveTo(OverviewXOf(l, profile.positionOf(i)), YOf(l, r, v));
    }
    if (drawing)
        pic.EndCurve();
}

void DrawRow(PictureSurface& pic, const OverviewLayout& l, const OverviewPicture& p, int r)
{
    const OverviewRow& row = p.rows[std::size_t(r)];
    if (r == p.focus)
        pic.Shade(l.labelLeft - 4 * kPx, l.rowTop(r), l.plotRight, l.rowTop(r) + l.rowHeight, kFocusShade);
    DrawLabels(pic, l, p, r);
    const float top = Snap(l.boxTop(r)), bottom = Snap(l.boxBottom(r));
    const float left = Snap(l.plotLeft), right = Snap(OverviewXOf(l, double(row.length)));
    if (TraitsOf(p.plot).signedValues && l.scale.low < 0 && l.scale.high > 0) {
        const float zero = Snap(YOf(l, r, 0));
        pic.Line(left, zero, right, zero, kExplorerZeroColor);
    }
    if (row.profile)
        DrawCurve(pic, l, p, r);
    if (p.plot == Plot::Cumulative)
        for (const auto& [mark, color] :
             {std::pair{row.origin, kExplorerMarkColor}, std::pair{row.terminus, kTerminusColor}})
            if (mark > 0) {
                const float x = Snap(OverviewXOf(l, double(mark) - 0.5));
                pic.Line(x, top, x, bottom, color);
            }
    pic.Line(left, top, right, top, kRowFrame);
    pic.Line(right, top, right, bottom, kRowFrame);
    pic.Line(right, bottom, left, bottom, kRowFrame);
    pic.Line(left, bottom, left, top, kRowFrame);
}

void DrawPositionAxis(PictureSurface& pic, const OverviewLayout& l, const OverviewPicture& p)
{
    const float y = Snap(l.axisY);
    pic.Line(Snap(l.plotLeft), y, Snap(l.plotRight), y);
    const int intervals = std::max(2, int((l.plotRight - l.plotLeft) / (90 * kPx)));
    for (const PositionTick& tick : NicePositionTicks(1, std::max<int64_t>(l.longest, 1), intervals)) {
        const float x = Snap(OverviewXOf(l, double(tick.position) - 0.5));
        pic.Line(x, y, x, y + kTickLength);
        PrintAt(pic, x - TextWidth(p, tick.label) / 2, y + kTickLength + 1 * kPx, tick.label);
    }
    const QString caption = QStringLiteral("Position");
    PrintAt(pic, (l.plotLeft + l.plotRight - TextWidth(p, caption)) / 2, y + kTickLength + TextHeight(p) + 2 * kPx,
            caption);
}

} // namespace

float OverviewLayout::boxTop(int r) const
{
    return rowTop(r) + std::min(3 * kPx, rowHeight / 8);
}

float OverviewLayout::boxBottom(int r) const
{
    return rowTop(r) + rowHeight - std::min(3 * kPx, rowHeight / 8);
}

OverviewLayout LayOutOverview(float width, float height, const OverviewPicture& p)
{
    OverviewLayout l;
    l.labelLeft = kMargin;
    float idWidth = 0, lengthWidth = 0;
    for (const OverviewRow& row : p.rows) {
        idWidth = std::max(idWidth, TextWidth(p, row.id));
        lengthWidth = std::max(lengthWidth, TextWidth(p, LengthLabel(row.length)));
        l.longest = std::max(l.longest, row.length);
    }
    // The labels take what they need, up to two fifths of the width (long IDs are cut).
    const float labels = std::min(idWidth + lengthWidth + 24 * kPx, width * 2 / 5);
    l.plotLeft = l.labelLeft + labels;
    l.plotRight = std::max(l.plotLeft + kPx, width - 2 * kMargin);
    l.rowsTop = HeaderHeight(p);
    const float room = height - l.rowsTop - FooterHeight(p);
    const float rows = float(std::max<std::size_t>(p.rows.size(), 1));
    l.rowHeight = std::max(kPx, std::min(kLongestRow, std::floor(room / rows / kPx) * kPx));
    l.axisY = l.rowsTop + float(p.rows.size()) * l.rowHeight + 4 * kPx;
    l.notesY = l.axisY + kAxisRows;
    l.scale = SharedScale(p);
    return l;
}

float OverviewHeightFor(std::size_t rows, const OverviewPicture& p)
{
    return HeaderHeight(p) + float(std::max<std::size_t>(rows, 1)) * kComfortableRow + FooterHeight(p);
}

int OverviewRowAt(const OverviewLayout& l, const OverviewPicture& p, float y)
{
    if (y < l.rowsTop || l.rowHeight <= 0)
        return -1;
    const int r = int((y - l.rowsTop) / l.rowHeight);
    return r < int(p.rows.size()) ? r : -1;
}

double OverviewPositionAt(const OverviewLayout& l, float x)
{
    return double(x - l.plotLeft) / double(l.plotRight - l.plotLeft) * double(std::max<int64_t>(l.longest, 1));
}

float OverviewXOf(const OverviewLayout& l, double position)
{
    return float(double(l.plotLeft) +
                 position / double(std::max<int64_t>(l.longest, 1)) * double(l.plotRight - l.plotLeft));
}

double ProfileValue(const RecordProfile& profile, Plot plot, std::size_t i, bool marked)
{
    switch (plot) {
    case Plot::GCContent: return double(profile.gc[i]);
    case Plot::Skew: return double(profile.skew[i]);
    case Plot::Cumulative:
        // A G+C point without value has no window that is not mostly unknown.
        return marked && std::isnan(profile.gc[i]) ? std::nan("") : double(profile.cumulative[i]);
    }
    return 0;
}

double OverviewValueAt(const OverviewPicture& p, int r, double position)
{
    if (r < 0 || std::size_t(r) >= p.rows.size())
        return std::nan("");
    const OverviewRow& row = p.rows[std::size_t(r)];
    if (!row.profile || position < 0 || position > double(row.length))
        return std::nan("");
    const int64_t i = row.profile->pointAt(position);
    return i < 0 ? std::nan("") : ProfileValue(*row.profile, p.plot, std::size_t(i), p.markUnknown);
}

void DrawOverview(PictureSurface& pic, const OverviewPicture& p)
{
    pic.Cls();
    pic.SetFontName(p.fontName);
    pic.SetFontSize(p.fontSize);
    const OverviewLayout l = LayOutOverview(pic.Width(), pic.Height(), p);
    DrawHeader(pic, l, p);
    for (int r = 0; r < int(p.rows.size()); ++r)
        DrawRow(pic, l, p, r);
    DrawPositionAxis(pic, l, p);
    for (int i = 0; i < p.notes.size(); ++i)
        PrintAt(pic, l.labelLeft, l.notesY + float(i) * TextHeight(p), p.notes[i]);
}

bool AnyRowHasWindows(const OverviewPicture& p)
{
    return std::any_of(p.rows.begin(), p.rows.end(),
                       [](const OverviewRow& row) { return row.profile && row.profile->windows > 0; });
}

OverviewPicture MakeOverview(const QString& path, const std::vector<RecordInfo>& records,
                             const std::vector<RecordProfile>& profiles, const OverviewChoice& choice,
                             const QString& windowText, const QString& stepText,
                             const std::function<bool(std::size_t)>& accept)
{
    OverviewPicture p;
    p.plot = choice.plot;
    p.markUnknown = choice.markUnknown;
    p.title = QFileInfo(path).fileName();
    p.windowText = windowText;
    p.stepText = stepText;
    p.records = int64_t(records.size());
    const OverviewSelection s = SelectOverviewRows(records, choice.minLength, choice.maxRows, accept);
    p.rows.reserve(s.rows.size());
    for (const std::size_t i : s.rows) {
        const RecordInfo& info = records[i];
        p.rows.push_back({UnicodeName(WithDisplayName(RecordId(info.name), info.displayName)), info.length, info.AvgGC,
                          i < profiles.size() ? &profiles[i] : nullptr, info.cumulativeMinPosition,
                          info.cumulativeMaxPosition, i});
    }
    for (const QString& line : {MoreRecordsLine(s), ShortRecordsLine(s, choice.minLength)})
        if (!line.isEmpty())
            p.notes << line;
    if (s.filteredRecords > 0)
        p.notes << QStringLiteral("%1 left out by the name filter").arg(GroupedInteger(s.filteredRecords));
    return p;
}

PictureExport OverviewExport(const OverviewPicture& p, PictureFormat format, int scale, PageSize page)
{
    PictureExport request;
    request.format = format;
    request.scale = format == PictureFormat::Png ? scale : 1;
    request.outerWidth = float(page.width) * kTwipsPerPixel;
    request.outerHeight = float(page.height) * kTwipsPerPixel;
    request.border = 0;
    request.back = 0x00FFFFFF;
    request.fore = 0x00000000;
    request.title = QStringLiteral("Overview of %1").arg(p.title);
    return request;
}

} // namespace quillet
