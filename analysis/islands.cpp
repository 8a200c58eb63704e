#include "analysis/islands.h"

#include "analysis/features.h"
#include "analysis/numtext.h"
#include "analysis/recordname.h"
#include "analysis/recordstore.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <set>
#include <string>

namespace quillet {
namespace {

// Sums of units that no 64 bits hold on a long genome with a large window.
__extension__ typedef __int128 Wide;

// Every island has a score a BED reader takes: 0 to 1000.
constexpr int64_t kMaxScore = 1000;

long double Magnitude(Wide v)
{
    return v < 0 ? -static_cast<long double>(v) : static_cast<long double>(v);
}

void AppendInteger(std::string& out, int64_t v)
{
    char buf[24];
    out.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
}

// A text inside the track line's quotes: no quote, no line break.
std::string Quoted(const QString& text)
{
    std::string s = WithoutNul(text).toLatin1().toStdString();
    for (char& c : s)
        if (c == '"' || c == '\n' || c == '\r' || c == '\t')
            c = ' ';
    return s;
}

// A gene's name as one word of a BED name: its blanks and commas as "_".
void AppendGeneName(std::string& out, std::string_view name)
{
    for (const char c : name)
        out += (c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n') ? '_' : c;
}

// The names of the genes (features of a gene's kind) that meet [from, to]
// (1-based, inclusive), each once, in the sets' order.
std::vector<std::string> GenesOver(const IslandFeatures& features, std::string_view recordId, int64_t from, int64_t to)
{
    std::vector<std::string> names;
    std::set<std::string, std::less<>> seen;
    std::vector<uint32_t> found;
    for (const FeatureSet* set : features) {
        if (!set)
            continue;
        const uint32_t record = set->recordIndex(recordId);
        if (record == FeatureSet::kNone)
            continue;
        found.clear();
        set->overlapping(record, uint64_t(std::max<int64_t>(from, 1)), uint64_t(std::max<int64_t>(to, 1)), found);
        for (const uint32_t i : found) {
            const Feature f = set->feature(i);
            if (f.kind != FeatureKind::Gene)
                continue;
            const std::string_view name = !f.name.empty() ? f.name : !f.locusTag.empty() ? f.locusTag : f.id;
            if (!name.empty() && seen.emplace(name).second)
                names.emplace_back(name);
        }
    }
    return names;
}

} // namespace

IslandRecord IslandRecordOf(const QString& name, const WindowResults& w, int32_t windowSize, int32_t step,
                            int64_t firstPosition, int64_t circle)
{
    IslandRecord r;
    r.name = name;
    r.windowSize = windowSize;
    r.step = step;
    r.firstPosition = firstPosition;
    r.circle = circle;
    const std::size_t n = w.GCValues.size() >= 2 ? w.GCValues.size() - 2 : 0;
    const bool exact = w.GCTenths.size() == w.GCValues.size();
    // A tenth of a base of G+C weight in a window of windowSize bases, or a
    // tenth of a percent of the map's value.
    r.percentPerUnit = exact ? 10.0 / double(std::max(windowSize, 1)) : 0.1;
    r.units.reserve(n);
    for (std::size_t k = 1; k <= n; ++k) {
        const bool gap = k < w.UnknownCounts.size() && MostlyUnknownWindow(w.UnknownCounts[k], windowSize);
        if (gap)
            r.units.push_back(-1);
        else
            r.units.push_back(exact ? w.GCTenths[k] : std::llround(double(w.GCValues[k]) * 10.0));
    }
    return r;
}

IslandStats IslandStatsOf(const std::vector<const IslandRecord*>& records)
{
    // Exact sums of whole units; the deviations u * n - sum are exact too,
    // so a flat set of windows has an SD of exactly 0.
    Wide sum = 0;
    int64_t n = 0;
    double perUnit = 0;
    for (const IslandRecord* r : records) {
        perUnit = r->percentPerUnit;
        for (const int64_t u : r->units)
            if (u >= 0) {
                sum += u;
                ++n;
            }
    }
    IslandStats s;
    s.windows = n;
    if (n == 0)
        return s;
    long double squares = 0;
    for (const IslandRecord* r : records)
        for (const int64_t u : r->units)
            if (u >= 0) {
                const long double d = Magnitude(Wide(u) * n - sum);
                squares += d * d;
            }
    const long double count = static_cast<long double>(n);
    s.meanUnits = static_cast<long double>(sum) / count;
    s.sdUnits = std::sqrt(squares / count) / count;
    s.mean = double(s.meanUnits) * perUnit;
    s.sd = double(s.sdUnits) * perUnit;
    return s;
}

std::vector<Island> FindIslands(const IslandRecord& record, const IslandStats& stats, const IslandSettings& settings)
{
    std::vector<Island> merged;
    if (!(stats.sdUnits > 0))
        return merged;
    // The island being merged on each side: [0] above the mean, [1] below.
    Island open[2];
    bool isOpen[2] = {false, false};
    const auto close = [&](int side) {
        if (isOpen[side] && open[side].end - open[side].start >= settings.minLength)
            merged.push_back(open[side]);
        isOpen[side] = false;
    };
    const int64_t step = std::max<int64_t>(record.step, 0);
    for (std::size_t i = 0; i < record.units.size(); ++i) {
        const int64_t u = record.units[i];
        if (u < 0)
            continue;
        const long double z = (static_cast<long double>(u) - stats.meanUnits) / stats.sdUnits;
        if (!(std::fabs(z) >= static_cast<long double>(settings.sd)))
            continue;
        const int side = z > 0 ? 0 : 1;
        const int64_t start = record.firstPosition - 1 + int64_t(i) * step;
        const int64_t end = start + record.windowSize;
        if (isOpen[side] && start <= open[side].end) {
            open[side].end = std::max(open[side].end, end);
            open[side].maxZ = std::max(open[side].maxZ, double(std::fabs(z)));
            continue;
        }
        close(side);
        open[side] = Island{start, end, side == 0, double(std::fabs(z))};
        isOpen[side] = true;
    }
    close(0);
    close(1);
    // A circle's island past its last base: the part past the origin
    // starts the record, where it joins an island it touches there.
    std::vector<Island> islands;
    islands.reserve(merged.size() + 1);
    for (const Island& island : merged) {
        if (record.circle > 0 && island.end > record.circle) {
            islands.push_back(Island{0, island.end - record.circle, island.high, island.maxZ});
            islands.push_back(Island{island.start, record.circle, island.high, island.maxZ});
        } else {
            islands.push_back(island);
        }
    }
    std::sort(islands.begin(), islands.end(),
              [](const Island& a, const Island& b) { return a.start != b.start ? a.start < b.start : a.end < b.end; });
    std::vector<Island> joined;
    for (const Island& island : islands) {
        const auto last =
            std::find_if(joined.rbegin(), joined.rend(), [&](const Island& j) { return j.high == island.high; });
        if (last != joined.rend() && island.start <= last->end) {
            last->end = std::max(last->end, island.end);
            last->maxZ = std::max(last->maxZ, island.maxZ);
        } else {
            joined.push_back(island);
        }
    }
    return joined;
}

QByteArray IslandsTrackLine(const QString& title, const IslandStats& stats, int32_t windowSize, int32_t step,
                            const IslandSettings& settings)
{
    std::string line = "track name=\"" + Quoted(title) + " G+C islands\" description=\"G+C islands: window=";
    AppendInteger(line, windowSize);
    line += " step=";
    AppendInteger(line, step);
    line += " mean=";
    AppendGeneral(line, stats.mean, 6);
    line += " sd=";
    AppendGeneral(line, stats.sd, 6);
    line += " k=";
    AppendGeneral(line, settings.sd, 6);
    line += " min=";
    AppendInteger(line, settings.minLength);
    line += " windows=";
    AppendInteger(line, stats.windows);
    line += "\"\n";
    return QByteArray(line.data(), qsizetype(line.size()));
}

QByteArray IslandLines(const IslandRecord& record, const std::vector<Island>& islands, const IslandFeatures& features)
{
    const std::string id = WithoutNul(RecordId(record.name)).toLatin1().toStdString();
    std::string out;
    for (const Island& island : islands) {
        out += id;
        out += '\t';
        AppendInteger(out, island.start);
        out += '\t';
        AppendInteger(out, island.end);
        out += '\t';
        out += island.high ? "high" : "low";
        const std::vector<std::string> genes = GenesOver(features, id, island.start + 1, island.end);
        for (std::size_t g = 0; g < genes.size() && g < std::size_t(kIslandGenesNamed); ++g) {
            out += g == 0 ? ':' : ',';
            AppendGeneName(out, genes[g]);
        }
        if (genes.size() > std::size_t(kIslandGenesNamed)) {
            out += ",+";
            AppendInteger(out, int64_t(genes.size()) - kIslandGenesNamed);
        }
        out += '\t';
        AppendInteger(out, std::min<int64_t>(std::llround(island.maxZ * 100.0), kMaxScore));
        out += "\t.\n";
    }
    return QByteArray(out.data(), qsizetype(out.size()));
}

QByteArray IslandsBed(const QString& title, const std::vector<IslandRecord>& records, const IslandSettings& settings,
                      bool perGenome, const IslandFeatures& features)
{
    QByteArray out;
    if (perGenome) {
        std::vector<const IslandRecord*> all;
        for (const IslandRecord& r : records)
            all.push_back(&r);
        const IslandStats stats = IslandStatsOf(all);
        const IslandRecord* first = records.empty() ? nullptr : &records.front();
        out += IslandsTrackLine(title, stats, first ? first->windowSize : 0, first ? first->step : 0, settings);
        for (const IslandRecord& r : records)
            out += IslandLines(r, FindIslands(r, stats, settings), features);
        return out;
    }
    for (const IslandRecord& r : records) {
        const IslandStats stats = IslandStatsOf({&r});
        out += IslandsTrackLine(RecordId(r.name), stats, r.windowSize, r.step, settings);
        out += IslandLines(r, FindIslands(r, stats, settings), features);
    }
    return out;
}

namespace {

// Takes each record of a run again, as long as it is the one the run had
// there, and writes its islands.
class IslandsRun : public ForwardingListener {
public:
    IslandsRun(const RecordStore& store, std::size_t first, const IslandSettings& settings,
               const IslandFeatures& features, RunListener* outer)
        : ForwardingListener(outer), store_(store), next_(first), settings_(settings), features_(features)
    {}
    bool recordComputed(RecordResult&& r) override
    {
        if (next_ >= store_.size() || !Same(r.info, store_.info(next_))) {
            changed = true;
            return false;
        }
        ++next_;
        if (r.info.windows > 0) {
            const RunSettings& s = store_.settings();
            const IslandRecord record = IslandRecordOf(r.info.name, r.windows, s.windowSize.value_or(0),
                                                       s.step.value_or(0), 1, r.info.wrapped ? r.info.length : 0);
            bed += IslandsBed(QString(), {record}, settings_, false, features_);
        }
        return true;
    }
    // A record the run could not compute is in the store neither.
    bool recordFailed(const RecordInfo&, RecordFault) override { return true; }

    QByteArray bed;
    bool changed = false;

private:
    static bool Same(const RecordInfo& a, const RecordInfo& b)
    {
        return a.name == b.name && a.length == b.length && a.AvgGC == b.AvgGC;
    }
    const RecordStore& store_;
    std::size_t next_;
    const IslandSettings& settings_;
    const IslandFeatures& features_;
};

} // namespace

std::optional<QByteArray> RunIslandsBed(const RecordStore& store, const IslandSettings& settings,
                                        const IslandFeatures& features, int64_t only, RunListener* outer)
{
    if (only >= int64_t(store.size()))
        return std::nullopt;
    RunSettings s = store.settings();
    s.keepWindows = WindowKeeping(true, true);
    if (only >= 0) {
        const RecordInfo& info = store.info(std::size_t(only));
        s.startOffset = info.offset;
        s.format = info.format;
        s.maxRecords = 1;
    }
    IslandsRun run(store, only >= 0 ? std::size_t(only) : 0, settings, features, outer);
    const RunReport report = RunFile(store.path(), s, run);
    if (run.changed || report.end != RunEnd::Finished)
        return std::nullopt;
    return run.bed;
}

} // namespace quillet
