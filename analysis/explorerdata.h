#pragma once
// The data behind the explorer: one record read once into an index from
// which the windows of any stretch, at any window size and step, come out
// exactly as CalcWindows gives them for that stretch alone (same letter
// weights, integer-tenth sums and rounding).
//
// The index holds the running sums (G+C tenths, G-C tenths, unknown
// positions) at every multiple of a grain of bases. While it fits the
// memory budget (the record's length in bytes, at most 256 MiB) each base
// is also kept as a 4-bit weight class, so every view is computed in
// memory whatever the file. A record too long for that keeps only the
// index and the file offset of every grain's first base; a window edge
// inside a grain then reads that grain again from the file (a seek in a
// plain file; a compressed one is decompressed again from the start, once
// per view). Windows whose edges fall on grain boundaries never read bases.
#include "analysis/calcwindows.h"
#include "analysis/engine.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace quillet {

struct ViewWindows {
    int64_t from = 0, to = 0; // the stretch, 1-based inclusive positions of the record
    int32_t window = 0, step = 0;
    // As CalcWindows gives them for bases from..to (GCValues, SkewValues,
    // UnknownCounts with their zero ends, and AvgGC of the stretch), with
    // the exact sums (GCTenths, SkewTenths) besides.
    WindowResults values;
};

// The window size and step for a view of [from, to]: 1,000 to 2,000
// windows where the view allows it (all the windows of 10 bases otherwise),
// window at least 10 bases, step <= window, both round (1, 2, 4 or 5 times
// a power of ten). Step and window are equal once the window passes 10.
std::pair<int32_t, int32_t> ChooseWindowAndStep(int64_t from, int64_t to);

// One record's index. Nothing in it changes after Load(), so views may be
// computed on several threads at once.
class ExplorerData {
public:
    static constexpr uint64_t kDefaultBudget = uint64_t{256} << 20; // 256 MiB

    // Reads record `info` of the sequence file at `path` (plain or compressed)
    // once and builds its index. Null when `cancelled` (polled between
    // chunks) says so. Throws quillet::Failure with a message when the file
    // cannot be read or no longer gives that record (its name, length,
    // unknown count or average G+C differ), or when memory runs short.
    // `budget` caps memoryBytes() (never more than about one byte per base
    // either); tests lower it. Without `checkBases` only the name and the
    // length are compared: `info` then may come from a run of a stretch of
    // the record, whose unknown count and average are the stretch's.
    static std::unique_ptr<ExplorerData> Load(const QString& path, const RecordInfo& info,
                                              const std::function<bool()>& cancelled = {},
                                              uint64_t budget = kDefaultBudget, bool checkBases = true);

    int64_t length() const { return length_; }
    QString name() const { return name_; }
    // Bases per index step (100, or more for records too long for the budget).
    int64_t grain() const { return grain_; }
    // Whether the bases are kept in memory (no view reads the file again).
    bool basesKept() const { return !classes_.empty() || length_ == 0; }

    // The windows of [from, to] at `window` and `step`, exact; from and to
    // are clamped to the record (1 .. length()). Windows as CalcWindows
    // counts them: none when the window is below 1 or longer than the
    // stretch, one when the step is below 1. Throws quillet::Failure when
    // bases must be read again and the file no longer gives them.
    ViewWindows windows(int64_t from, int64_t to, int32_t window, int32_t step) const;
    // The windows of the whole record as a circle: they start at 1,
    // 1 + step, ... up to its length, and one that runs past the last base
    // goes on at the first, as a run over the record followed by its first
    // window - 1 bases gives them. A window longer than the record gives
    // the linear windows (none).
    ViewWindows circle(int32_t window, int32_t step) const;

    // What the index and any kept bases take, in bytes.
    std::size_t memoryBytes() const;

private:
    struct Mark {
        int64_t gc = 0, skew = 0, unknown = 0;
    };
    class Builder;
    ExplorerData() = default;
    Mark prefix(int64_t pos) const;
    ViewWindows computed(int64_t from, int64_t to, int32_t window, int32_t step, int64_t n) const;
    void fillPartials(const std::vector<int64_t>& positions, std::vector<Mark>& sums) const;

    QString path_;
    RecordFormat format_ = RecordFormat::Fasta;
    QString name_;
    int64_t length_ = 0;
    int64_t grain_ = 100;
    std::vector<Mark> marks_;            // sums of bases [0, k * grain)
    std::vector<unsigned char> classes_; // two weight classes a byte, low nibble first
    std::vector<uint64_t> offsets_;      // content offset of base k * grain (bases not kept)
};

} // namespace quillet
