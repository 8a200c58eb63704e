#pragma once
// Composition islands: stretches of a record whose windows' G+C lies far
// from the mean of the record (or of every record of a file), the classic
// sign of DNA taken up from elsewhere. Composition only: an island says
// nothing of what its genes do.
//
// The statistic is exact: a window's G+C is its exact sum (tenths of a
// base of G+C weight over the window), never the map's rounded value, so
// the mean and standard deviation do not depend on the rounding. The
// standard deviation is the population's (divided by n, not n - 1): the
// windows are every window of the record, not a sample of them. Windows of
// mostly unknown bases (MostlyUnknownWindow) are left out of both and are
// never part of an island.
//
// A window is an island window when |G+C - mean| >= k x SD (SD above 0:
// with every window alike there is no island). Island windows of the same
// side (above or below the mean) are merged where they touch or overlap,
// and a merged stretch is an island when it is at least `minLength` bases
// long. Its score is its largest |z| times 100, rounded, at most 1000 (as
// BED scores are).
#include "analysis/calcwindows.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace quillet {

class FeatureSet;

struct IslandSettings {
    double sd = 2.5;          // k: how many standard deviations from the mean
    int64_t minLength = 1000; // bases
};

// The windows of one record as the islands see them: each window's G+C as
// a whole number of units (tenths of a base of G+C weight when the exact
// sums were kept; else the map's value in tenths of a percent), -1 for a
// window of mostly unknown bases.
struct IslandRecord {
    QString name;
    std::vector<int64_t> units;
    double percentPerUnit = 0; // G+C % of one unit
    int32_t windowSize = 0, step = 0;
    int64_t firstPosition = 1; // 1-based base of the record where window 1 starts
    int64_t circle = 0;        // the record's length when its windows run past its origin, else 0
    uint64_t bytes() const { return uint64_t(units.capacity()) * sizeof(int64_t) + sizeof(IslandRecord); }
};
IslandRecord IslandRecordOf(const QString& name, const WindowResults& w, int32_t windowSize, int32_t step,
                            int64_t firstPosition = 1, int64_t circle = 0);

// The mean and population SD of the G+C % of the windows that are no gap.
struct IslandStats {
    int64_t windows = 0;
    double mean = 0, sd = 0;
    // The same in the records' units, which the z values are taken from;
    // sdUnits is exactly 0 when every window is alike.
    long double meanUnits = 0, sdUnits = 0;
};
// Over one record, or every record given (all with the same window size).
IslandStats IslandStatsOf(const std::vector<const IslandRecord*>& records);

struct Island {
    int64_t start = 0, end = 0; // 0-based, end exclusive, as BED writes them
    bool high = true;           // above the mean
    double maxZ = 0;            // the largest |z| of its windows
};
// The islands of a record with these statistics, sorted by start. An
// island across the origin of a circle is two: its part past the origin
// (from 0) and its part before it (to the record's end).
std::vector<Island> FindIslands(const IslandRecord& record, const IslandStats& stats, const IslandSettings& settings);

// BED: the track line that says how the islands were found, and one line
// an island (record ID, start, end, name, score, strand "."). The name is
// "high" or "low", with the genes it overlaps when `features` are given
// ("high:thrL,thrA"; at most kIslandGenesNamed of them, then "+N" for the
// rest), from every set that holds the record.
constexpr int kIslandGenesNamed = 20;
using IslandFeatures = std::vector<const FeatureSet*>;
QByteArray IslandsTrackLine(const QString& title, const IslandStats& stats, int32_t windowSize, int32_t step,
                            const IslandSettings& settings);
QByteArray IslandLines(const IslandRecord& record, const std::vector<Island>& islands,
                       const IslandFeatures& features = {});

// Every record at once, as quillet-map and the window's exports write
// them: per record a track line and its islands, or (`perGenome`) one
// track line with the statistics of all of them and then their islands.
QByteArray IslandsBed(const QString& title, const std::vector<IslandRecord>& records, const IslandSettings& settings,
                      bool perGenome, const IslandFeatures& features = {});

// The islands of the records of a run, its file read again with the run's
// window, step and topology and the windows' exact sums, per record: every
// record, or only record `only` (0-based). `outer` sees the progress and
// may cancel. Nothing when the run does not end or the file no longer gives
// the same records.
class RecordStore;
class RunListener;
std::optional<QByteArray> RunIslandsBed(const RecordStore& store, const IslandSettings& settings,
                                        const IslandFeatures& features = {}, int64_t only = -1,
                                        RunListener* outer = nullptr);

} // namespace quillet
