#pragma once
// The sliding-window computation: one pass over a sequence that yields the
// G+C content (percent) and G-C/G+C of every window and the average G+C.
#include "analysis/basesums.h"
#include "analysis/failure.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace quillet {

// Receives the progress of a computation (the window's progress bar).
class ProgressSink {
public:
    virtual ~ProgressSink() = default;
    virtual void setRange(float min, float max) = 0;
    virtual void setValue(float value) = 0;
};

// Per-window results. Both arrays hold elements 0 .. n + 1 for n windows:
// element k (1 .. n) is window k, elements 0 and n + 1 are 0, so the number
// of windows is always size() - 2 (the upper bound minus 1). With no window
// the arrays are {0, 0}. GCValues are percent (0 .. 100, one decimal);
// SkewValues are G-C/G+C (-1 .. 1, two decimals), 0 for a window without G+C
// weight. AvgGC is the average G+C of the whole sequence in percent.
// UnknownCounts has the same shape: element k is the number of positions of
// window k whose byte is none of A, C, G, T in either case (N runs, other
// IUPAC letters, gaps), for marking windows that are mostly unknown.
// GCTenths and SkewTenths, when asked for (WindowKeeping::exactSums; empty
// otherwise), have the same shape too: the exact sums behind window k's
// values, its G+C weight and its G-C weight in tenths of a base.
struct WindowResults {
    std::vector<float> GCValues;
    std::vector<float> SkewValues;
    std::vector<int32_t> UnknownCounts;
    std::vector<int64_t> GCTenths, SkewTenths;
    float AvgGC = 0.0f;
};

// Whether a window of `windowSize` positions, `unknown` of them unknown, is
// mostly unknown: more than half of its positions (51 of 100, not 50). Such
// a window is a gap wherever windows of mostly unknown bases are left out:
// the marked map, the overview's G+C and G-C/G+C rows, and the values
// exported with gaps.
constexpr bool MostlyUnknownWindow(int64_t unknown, int64_t windowSize)
{
    return unknown * 2 > windowSize;
}

// What a computation keeps of each window: its values and unknown count
// (WindowResults' arrays), unless `values` is false, and with them the
// exact sums when `exactSums` is true. It converts from a bool, the
// values alone or nothing, and tests as one (are the values kept?).
struct WindowKeeping {
    bool values = true;
    bool exactSums = false;
    constexpr WindowKeeping(bool keepValues = true, bool keepExactSums = false)
        : values(keepValues), exactSums(keepValues && keepExactSums)
    {}
    constexpr explicit operator bool() const { return values; }
};

// The weights of one character (see LetterWeightOf).
LetterWeight WeightOf(unsigned char c);

// A window's values from its sums, rounded as CalcWindows rounds them: G+C
// in percent from the G+C tenths over `length` positions (also the average
// G+C of a whole sequence), and G-C/G+C from the G-C and G+C tenths.
float WindowGCPercent(int64_t gcTenths, int64_t length);
float WindowSkewRatio(int64_t skewTenths, int64_t gcTenths);

// Computes the windows of `sequence` for the given window size and step
// (1-based positions; window k covers (k-1)*step+1 .. (k-1)*step+windowSize)
// and the average, in one pass whose cost does not depend on the window size.
// Only complete windows count: n = floor((L - windowSize) / step) + 1 when
// 1 <= windowSize <= L; none for a window size below 1 or above L (no
// failure); a step of 0 or below gives the one window 1 .. windowSize.
// Sums are kept exactly (integer tenths), so results do not drift on long
// sequences.
//
// Progress: setRange(0, L), then setValue(i) at every multiple i of
// floor(L / 10) when L >= 10 (so the bar may stop short of L, e.g. 100 of
// 105), or setValue(L) at the end when L < 10. Never called with L = 0.
//
// On success the results replace those in `results`. It throws
// quillet::Failure, before any progress call and with `results` unchanged,
// for an empty sequence, a sequence longer than 2^31 - 1 characters, or when
// adding the step to the last window end or step mark reached would pass
// 2^31 - 1 (32-bit positions).
void CalcWindows(std::string_view sequence, int32_t windowSize, int32_t step, WindowResults& results,
                 ProgressSink* progress = nullptr);

// The windows of a record did not fit in memory; `windows` is how many the
// whole sequence needs.
class WindowsOutOfMemory : public Failure {
public:
    explicit WindowsOutOfMemory(int64_t count);
    int64_t windows;
};

// Bytes that `windows` kept windows take (their three arrays, and the two
// of the exact sums when they are kept).
constexpr uint64_t KeptWindowBytes(int64_t windows, bool exactSums = false)
{
    const uint64_t each = 2 * sizeof(float) + sizeof(int32_t) + (exactSums ? 2 * sizeof(int64_t) : 0);
    return windows <= 0 ? 0 : uint64_t(windows) * each;
}

// The machine's physical memory in bytes (the largest value when unknown).
uint64_t PhysicalMemory();

// The number of windows of a sequence of `length` characters (see
// CalcWindows), whatever its length.
int64_t WindowCountFor(int64_t length, int32_t windowSize, int32_t step);

// Whether a sequence of `length` characters can be computed with this
// window and step; CalcWindows and WindowAccumulator::finish fail for the
// others. Positions are 32-bit: no sequence of kLongestSequence characters
// or more can be computed with a step of 1 or more (the step mark after
// its last base would pass 2^31 - 1), and a larger step or window sets a
// lower limit (PastPositions: the window end or step mark after the last
// one reached passes 2^31 - 1).
constexpr int64_t kLongestSequence = 2147483647;
enum class SequenceFit { Fits, Empty, TooLong, PastPositions };
SequenceFit FitOf(int64_t length, int32_t windowSize, int32_t step);
// The shortest sequence that this window and step cannot compute:
// kLongestSequence with a step of 1, less with a larger step (or a window
// near the limit), 2^31 with a step below 1.
int64_t ShortestTooLong(int32_t windowSize, int32_t step);

// The value the progress bar is left at after computing a sequence of
// `length` characters: the last multiple of floor(L / 10) not above L, or L
// itself below 10 characters.
int64_t FinalProgressValue(int64_t length);

// The same computation fed piece by piece, for sequences that arrive in
// chunks and are never held whole: add() takes the next characters of the
// sequence (any split gives the same results), finish() checks the failures
// CalcWindows checks up front and commits the results. Working memory is the
// pending step-mark snapshots (about windowSize / step of them) plus the
// growing result arrays, unless `keep` keeps no values: then only the
// windows are counted, the arrays stay empty ({}, not {0, 0}) and memory
// does not grow with the sequence; the average, the window count and the
// unknown positions are the same.
//
// Kept windows take 12 bytes each (three arrays), 28 with their exact sums
// (see KeptWindowBytes). When the arrays would grow
// past `memoryLimit` bytes (0: the machine's physical memory, beyond which
// the system would swap for hours or end the program without a word), or
// when memory cannot be had, the arrays are released and the rest of the
// sequence is only counted: finish() then throws WindowsOutOfMemory with
// the number of windows the whole sequence would have taken. The limit is
// checked before the arrays grow, so they never take more than it.
class WindowAccumulator {
public:
    WindowAccumulator(int32_t windowSize, int32_t step, WindowKeeping keep = {}, uint64_t memoryLimit = 0);
    // The limit for the sequences from the next restart() on (0 as above).
    void setMemoryLimit(uint64_t bytes);
    void add(const unsigned char* data, std::size_t size);
    // The same for text as it stands between the lines of a FASTA file:
    // carriage returns, line feeds and spaces are skipped, as if removed
    // before add() (every other byte is a position).
    void addText(const unsigned char* data, std::size_t size);
    // The sequence is whole and a circle: `head`, its first bases again
    // (windowSize - 1 of them), follow its last one, so that the windows
    // starting at 1, 1 + step, ... up to its length all complete, those
    // near its end running on past the origin. length(), unknown() and the
    // average stay the sequence's own, and the cumulative extremes are
    // positions on the circle (1 .. length). Call once, before finish().
    void closeCircle(const unsigned char* head, std::size_t size);
    // Positions so far (the sequence's own, also once the circle is closed).
    int64_t length() const { return circle_ > 0 ? circle_ : pos_; }
    // Positions so far whose byte is none of A, C, G, T (either case).
    int64_t unknown() const { return circle_ > 0 ? own_.unknown : sum_.unknown; }
    // Complete windows so far.
    int64_t windows() const { return windows_; }
    // Whether the windows were released for want of memory (see above),
    // and whether it was the limit rather than the system that refused;
    // windowsKept() is how many had been kept until then.
    bool outOfMemory() const { return outOfMemory_; }
    bool overLimit() const { return overLimit_; }
    int64_t windowsKept() const { return windowsKept_; }
    // Where the running sum of the windows' G-C/G+C, in window order, is
    // lowest and highest so far (the sum the values table's cumulative
    // column shows: each window's value as rounded to hundredths). A
    // position is the 1-based middle base of the first window that reaches
    // the extreme (the left one of the two middle bases of an even window
    // size); 0 before the first window. Kept whether or not the windows are.
    int64_t cumulativeMinPosition() const { return windowMiddle(minWindow_); }
    int64_t cumulativeMaxPosition() const { return windowMiddle(maxWindow_); }
    // Throws quillet::Failure, leaving `results` unchanged, for the same
    // reasons as CalcWindows; otherwise replaces them.
    void finish(WindowResults& results);
    // Starts over on a new sequence with the same window, step and limits,
    // keeping the working memory of the last one: a file of many short
    // records allocates nothing per record when the windows are not kept.
    void restart();

    struct Sums {
        int64_t gc = 0;      // tenths
        int64_t skew = 0;    // tenths
        int64_t unknown = 0; // positions
    };

private:
    void addWindows(const unsigned char* data, int64_t end);
    void addTextWindows(const unsigned char* data, std::size_t size, std::size_t& done);
    void take(const BaseTally& t);
    void reachedPosition();
    void release();
    void endWindow(const Sums& start);
    int64_t windowMiddle(int64_t k) const;
    void grow();
    void pushMark(const Sums& s);
    Sums popMark();

    int64_t ws_, st_;
    bool keep_, keepSums_;
    int64_t pos_ = 0;
    int64_t windows_ = 0;
    int64_t nextEnd_, nextMark_;
    bool tooLong_ = false;
    bool outOfMemory_ = false;
    bool overLimit_ = false;
    int64_t windowsKept_ = 0;
    uint64_t memoryLimit_;
    SumPath path_ = SumPath::Scalar; // the same for every byte of a sequence
    Sums sum_;
    int64_t circle_ = 0;     // the sequence's length once the circle is closed, 0 before
    Sums own_;               // the sums of the sequence itself, then
    int64_t cumulative_ = 0; // hundredths
    int64_t minCumulative_ = 0, maxCumulative_ = 0;
    int64_t minWindow_ = 0, maxWindow_ = 0; // 1-based, 0 before the first window
    std::vector<Sums> ring_;                // pending mark snapshots, first in first out
    std::size_t head_ = 0, count_ = 0;
    std::vector<float> gc_, skew_;
    std::vector<int32_t> unknownCounts_;
    std::vector<int64_t> gcTenths_, skewTenths_;
};

} // namespace quillet
