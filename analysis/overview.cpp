#include "analysis/overview.h"

#include "analysis/numtext.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace quillet {

namespace {

constexpr float kNoValue = std::numeric_limits<float>::quiet_NaN();

// The lowest and highest of the values seen so far.
struct Extent {
    float low = 0, high = 0;
    bool any = false;
    void add(float v)
    {
        low = any ? std::min(low, v) : v;
        high = any ? std::max(high, v) : v;
        any = true;
    }
};

} // namespace

double RecordProfile::positionOf(std::size_t i) const
{
    const double first = double(i) * double(windowsPerPoint);
    const double last = std::min(first + double(windowsPerPoint), double(windows)) - 1;
    return (first + last) / 2 * double(step) + double(window) / 2;
}

int64_t RecordProfile::pointAt(double position) const
{
    if (gc.empty())
        return -1;
    const double perPoint = double(windowsPerPoint) * double(step);
    const double k = std::floor((position - double(window) / 2) / perPoint + 0.5);
    return std::clamp<int64_t>(int64_t(std::max(k, 0.0)), 0, int64_t(gc.size()) - 1);
}

uint64_t RecordProfile::bytes() const
{
    return sizeof(*this) + (gc.capacity() + skew.capacity() + cumulative.capacity()) * sizeof(float);
}

RecordProfile ProfileOf(const WindowResults& w, int32_t window, int32_t step)
{
    RecordProfile p;
    p.window = window;
    p.step = step;
    p.windows = w.GCValues.size() >= 2 ? int64_t(w.GCValues.size()) - 2 : 0;
    if (p.windows == 0 || w.SkewValues.size() != w.GCValues.size()) {
        p.windows = 0;
        return p;
    }
    p.windowsPerPoint = (p.windows + RecordProfile::kProfilePoints - 1) / RecordProfile::kProfilePoints;
    const std::size_t points = std::size_t((p.windows + p.windowsPerPoint - 1) / p.windowsPerPoint);
    p.gc.reserve(points);
    p.skew.reserve(points);
    p.cumulative.reserve(points);
    const bool counted = w.UnknownCounts.size() == w.GCValues.size();
    Extent gc, skew, cumulative;
    int64_t hundredths = 0;
    for (int64_t first = 1; first <= p.windows; first += p.windowsPerPoint) {
        const int64_t last = std::min(first + p.windowsPerPoint - 1, p.windows);
        double gcSum = 0, skewSum = 0;
        int64_t known = 0;
        for (int64_t k = first; k <= last; ++k) {
            const float g = w.GCValues[std::size_t(k)], s = w.SkewValues[std::size_t(k)];
            hundredths += std::llround(double(s) * 100.0);
            cumulative.add(float(double(hundredths) / 100.0));
            if (counted && MostlyUnknownWindow(w.UnknownCounts[std::size_t(k)], window))
                continue;
            gcSum += g;
            skewSum += s;
            ++known;
            gc.add(g);
            skew.add(s);
        }
        p.gc.push_back(known ? float(gcSum / double(known)) : kNoValue);
        p.skew.push_back(known ? float(skewSum / double(known)) : kNoValue);
        p.cumulative.push_back(float(double(hundredths) / 100.0));
    }
    p.gcLow = gc.low, p.gcHigh = gc.high;
    p.skewLow = skew.low, p.skewHigh = skew.high;
    p.cumulativeLow = cumulative.low, p.cumulativeHigh = cumulative.high;
    return p;
}

OverviewSelection SelectOverviewRows(const std::vector<RecordInfo>& records, int64_t minLength, int64_t maxRows,
                                     const std::function<bool(std::size_t)>& accept)
{
    OverviewSelection s;
    std::vector<std::size_t> shown;
    shown.reserve(records.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (accept && !accept(i)) {
            ++s.filteredRecords;
        } else if (records[i].length < minLength) {
            ++s.shortRecords;
            s.shortBases += records[i].length;
        } else {
            shown.push_back(i);
        }
    }
    const std::size_t rows = std::min<std::size_t>(shown.size(), std::size_t(std::max<int64_t>(maxRows, 0)));
    const auto longer = [&](std::size_t a, std::size_t b) {
        return records[a].length != records[b].length ? records[a].length > records[b].length : a < b;
    };
    // Only the rows shown need their order; the rest are counted.
    std::partial_sort(shown.begin(), shown.begin() + std::ptrdiff_t(rows), shown.end(), longer);
    for (std::size_t k = rows; k < shown.size(); ++k)
        s.moreBases += records[shown[k]].length;
    s.moreRecords = int64_t(shown.size() - rows);
    shown.resize(rows);
    s.rows = std::move(shown);
    return s;
}

QString ShortLength(int64_t bases)
{
    if (bases >= 1'000'000)
        return FormatFixed(double(bases) / 1e6, 1, NumberLocale::c()) + QStringLiteral(" Mb");
    if (bases >= 1'000)
        return FormatFixed(double(bases) / 1e3, 1, NumberLocale::c()) + QStringLiteral(" kb");
    return QStringLiteral("%1 bp").arg(bases);
}

namespace {
QString Records(int64_t n)
{
    return n == 1 ? QStringLiteral("1 record") : QStringLiteral("%1 records").arg(GroupedInteger(n));
}
} // namespace

QString MoreRecordsLine(const OverviewSelection& s)
{
    if (s.moreRecords == 0)
        return {};
    const QString shorter = s.moreRecords == 1
                                ? QStringLiteral("1 shorter record")
                                : QStringLiteral("%1 shorter records").arg(GroupedInteger(s.moreRecords));
    return QStringLiteral("and %1, %2").arg(shorter, ShortLength(s.moreBases));
}

QString ShortRecordsLine(const OverviewSelection& s, int64_t minLength)
{
    if (s.shortRecords == 0)
        return {};
    return QStringLiteral("%1 under %2 bp not shown, %3")
        .arg(Records(s.shortRecords), GroupedInteger(minLength), ShortLength(s.shortBases));
}

} // namespace quillet
