#pragma once
// The genome overview's data: each record's curves at a coarse grain, and
// which records an overview shows. A profile is made from a record's
// windows as the run computes them and is kept for every record, so the
// overview draws any record of the run, also one whose windows were let go
// to stay within the memory budget, without reading the file again.
#include "analysis/calcwindows.h"
#include "analysis/engine.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

namespace quillet {

// A record's three curves at no more than kProfilePoints points: each
// point stands for `windowsPerPoint` consecutive windows (the last one for
// the rest), which is one window a point for every record of up to
// kProfilePoints windows. Windows of mostly unknown bases (more than half
// of their positions) are left out of the G+C and G-C/G+C points, and a
// point with none left is NaN: the curve breaks there. The running sum of
// G-C/G+C counts every window, in hundredths as the values table adds it,
// and is taken at each point's last window.
struct RecordProfile {
    static constexpr int64_t kProfilePoints = 2048;

    int64_t windows = 0;
    int32_t window = 0, step = 0;
    int64_t windowsPerPoint = 1;
    std::vector<float> gc, skew, cumulative;
    // The extremes over the windows the points stand for (0 without any).
    float gcLow = 0, gcHigh = 0, skewLow = 0, skewHigh = 0, cumulativeLow = 0, cumulativeHigh = 0;

    // The continuous position (bases from the record's start; base p
    // covers [p - 1, p)) of point i: the middle of its windows' middles.
    double positionOf(std::size_t i) const;
    // The point nearest to a continuous position; -1 without points.
    int64_t pointAt(double position) const;
    // Bytes it takes in memory.
    uint64_t bytes() const;
};

// The profile of a record's windows (WindowResults' 1-based values) at
// the run's window and step.
RecordProfile ProfileOf(const WindowResults& w, int32_t window, int32_t step);

// Which records an overview shows: those the filter accepts and that are
// at least `minLength` bases long, longest first (file order among equals),
// no more than `maxRows` of them.
struct OverviewSelection {
    std::vector<std::size_t> rows;            // record indexes, in row order
    int64_t moreRecords = 0, moreBases = 0;   // accepted and long enough, past the row limit
    int64_t shortRecords = 0, shortBases = 0; // accepted, under the minimum length
    int64_t filteredRecords = 0;              // not accepted by the filter
};
OverviewSelection SelectOverviewRows(const std::vector<RecordInfo>& records, int64_t minLength, int64_t maxRows,
                                     const std::function<bool(std::size_t)>& accept = {});

// "52.1 Mb", "8.5 kb", "620 bp": a length in words a summary line can use.
QString ShortLength(int64_t bases);
// The summary line of the records past the row limit ("and 26,404 shorter
// records, 52.1 Mb"), and of those under the minimum length ("1,200 records
// under 1,000 bp not shown, 0.4 Mb"); empty when there are none.
QString MoreRecordsLine(const OverviewSelection& s);
QString ShortRecordsLine(const OverviewSelection& s, int64_t minLength);

} // namespace quillet
