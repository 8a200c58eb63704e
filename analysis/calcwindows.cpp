#include "analysis/calcwindows.h"

#include "analysis/basesums.h"
#include "analysis/failure.h"
#include "analysis/numtext.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include <unistd.h>

namespace quillet {

namespace {

using Sums = WindowAccumulator::Sums;

// G+C of a window in percent: the fraction (in double) rounded to three
// places, halves to even, times 100.
inline float GCPercent(int64_t gcTenths, int64_t windowSize)
{
    const double gc = static_cast<double>(gcTenths) / 10.0;
    return static_cast<float>(RoundHalfEven(gc / static_cast<double>(windowSize), 3) * 100.0);
}

// G-C/G+C of a window: the quotient in 32-bit float rounded to two places,
// halves to even; 0 for a window without G+C weight.
inline float SkewRatio(int64_t skewTenths, int64_t gcTenths)
{
    if (gcTenths == 0)
        return 0.0f;
    constexpr int64_t kExactInFloat = int64_t{1} << 24;
    float q;
    if (std::llabs(skewTenths) <= kExactInFloat && gcTenths <= kExactInFloat)
        q = static_cast<float>(skewTenths) / static_cast<float>(gcTenths);
    else
        q = static_cast<float>(static_cast<double>(skewTenths) / static_cast<double>(gcTenths));
    return static_cast<float>(RoundHalfEven(q, 2));
}

} // namespace

LetterWeight WeightOf(unsigned char c)
{
    return LetterWeightOf(c);
}

float WindowGCPercent(int64_t gcTenths, int64_t length)
{
    return GCPercent(gcTenths, length);
}

float WindowSkewRatio(int64_t skewTenths, int64_t gcTenths)
{
    return SkewRatio(skewTenths, gcTenths);
}

namespace {
constexpr int64_t kMaxPosition = std::numeric_limits<int32_t>::max();
constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

// Whether a sequence of `length` characters needs a position past 2^31 - 1:
// its own last one, or the next window end or step mark (the step added
// once more after the last one reached).
bool PassesPositions(int64_t length, int64_t ws, int64_t st)
{
    if (length > kMaxPosition)
        return true;
    if (st < 1)
        return false;
    const int64_t windows = (ws >= 1 && ws <= length) ? (length - ws) / st + 1 : 0;
    if (windows >= 1 && ws + windows * st > kMaxPosition)
        return true;
    const int64_t marksReached = length / st;
    return marksReached >= 1 && (marksReached + 1) * st > kMaxPosition;
}

// The failures a sequence of `length` characters meets with these
// parameters (see FitOf).
void CheckPositions(int64_t length, int64_t ws, int64_t st)
{
    if (length == 0)
        throw Failure("empty sequence");
    if (PassesPositions(length, ws, st))
        throw Failure("sequence too long for 32-bit positions");
}
} // namespace

WindowsOutOfMemory::WindowsOutOfMemory(int64_t count) : Failure("windows do not fit in memory"), windows(count) {}

int64_t WindowCountFor(int64_t length, int32_t windowSize, int32_t step)
{
    if (windowSize < 1 || windowSize > length)
        return 0;
    return step >= 1 ? (length - windowSize) / step + 1 : 1;
}

SequenceFit FitOf(int64_t length, int32_t windowSize, int32_t step)
{
    if (length <= 0)
        return SequenceFit::Empty;
    if (!PassesPositions(length, windowSize, step))
        return SequenceFit::Fits;
    return length >= kLongestSequence ? SequenceFit::TooLong : SequenceFit::PastPositions;
}

int64_t ShortestTooLong(int32_t windowSize, int32_t step)
{
    // Passing the limit only grows with the length: the first length that
    // passes it, by halving [1, 2^31].
    int64_t fits = 0, passes = kMaxPosition + 1;
    while (passes - fits > 1) {
        const int64_t middle = fits + (passes - fits) / 2;
        (PassesPositions(middle, windowSize, step) ? passes : fits) = middle;
    }
    return passes;
}

uint64_t PhysicalMemory()
{
    // Asked once: the count is a system call (sysinfo) that costs more than
    // computing a short record.
    static const uint64_t bytes = [] {
        const long pages = sysconf(_SC_PHYS_PAGES), size = sysconf(_SC_PAGESIZE);
        return pages > 0 && size > 0 ? uint64_t(pages) * uint64_t(size) : std::numeric_limits<uint64_t>::max();
    }();
    return bytes;
}

int64_t FinalProgressValue(int64_t length)
{
    if (length < 10)
        return length;
    const int64_t stride = length / 10;
    return length / stride * stride;
}

WindowAccumulator::WindowAccumulator(int32_t windowSize, int32_t step, WindowKeeping keep, uint64_t memoryLimit)
    : ws_(windowSize), st_(step), keep_(keep.values), keepSums_(keep.exactSums)
{
    setMemoryLimit(memoryLimit);
    restart();
}

void WindowAccumulator::setMemoryLimit(uint64_t bytes)
{
    memoryLimit_ = bytes ? bytes : PhysicalMemory();
}

void WindowAccumulator::restart()
{
    // Window k ends at ws + (k-1) step and needs the sums at the step mark
    // (k-1) step just before its start. A step of 0 (or below) leaves the
    // next window end where it was after the first window, and no step mark
    // is ever reached: one window when it fits.
    path_ = ActiveSumPath();
    pos_ = windows_ = 0;
    nextEnd_ = ws_ >= 1 ? ws_ : kNever;
    nextMark_ = st_ >= 1 ? st_ : kNever;
    tooLong_ = outOfMemory_ = overLimit_ = false;
    windowsKept_ = 0;
    sum_ = own_ = Sums{};
    circle_ = 0;
    cumulative_ = minCumulative_ = maxCumulative_ = 0;
    minWindow_ = maxWindow_ = 0;
    if (ring_.empty())
        ring_.resize(16);
    head_ = count_ = 0;
    pushMark(Sums{}); // mark 0: the start of the sequence
    gc_.clear();
    skew_.clear();
    unknownCounts_.clear();
    gcTenths_.clear();
    skewTenths_.clear();
    if (keep_) {
        gc_.push_back(0.0f);
        skew_.push_back(0.0f);
        unknownCounts_.push_back(0);
    }
    if (keepSums_) {
        gcTenths_.push_back(0);
        skewTenths_.push_back(0);
    }
}

void WindowAccumulator::pushMark(const Sums& s)
{
    if (count_ == ring_.size()) {
        // Unroll the ring into a buffer twice as large.
        std::vector<Sums> grown(ring_.size() * 2);
        for (std::size_t i = 0; i < count_; ++i)
            grown[i] = ring_[(head_ + i) % ring_.size()];
        ring_.swap(grown);
        head_ = 0;
    }
    ring_[(head_ + count_) % ring_.size()] = s;
    ++count_;
}

Sums WindowAccumulator::popMark()
{
    const Sums s = ring_[head_];
    head_ = head_ + 1 == ring_.size() ? 0 : head_ + 1;
    --count_;
    return s;
}

void WindowAccumulator::add(const unsigned char* data, std::size_t size)
{
    const int64_t end = pos_ + static_cast<int64_t>(size);
    if (tooLong_ || outOfMemory_ || end > kMaxPosition) {
        // The computation fails at finish(); stop keeping windows for it.
        tooLong_ = tooLong_ || (!outOfMemory_ && end > kMaxPosition);
        pos_ = end;
        return;
    }
    try {
        addWindows(data, end);
    } catch (const std::bad_alloc&) {
        release();
        pos_ = end;
    }
}

void WindowAccumulator::addText(const unsigned char* data, std::size_t size)
{
    if (tooLong_ || outOfMemory_ || pos_ + static_cast<int64_t>(size) > kMaxPosition) {
        // Only the positions count once the computation is bound to fail;
        // near the limit they decide whether it is.
        const int64_t end = pos_ + SumBases(path_, data, size, true).positions;
        if (tooLong_ || outOfMemory_ || end > kMaxPosition) {
            tooLong_ = tooLong_ || (!outOfMemory_ && end > kMaxPosition);
            pos_ = end;
            return;
        }
    }
    std::size_t done = 0;
    try {
        addTextWindows(data, size, done);
    } catch (const std::bad_alloc&) {
        release();
        pos_ += SumBases(path_, data + done, size - done, true).positions;
    }
}

void WindowAccumulator::closeCircle(const unsigned char* head, std::size_t size)
{
    own_ = sum_;
    circle_ = pos_;
    add(head, size);
}

int64_t WindowAccumulator::windowMiddle(int64_t k) const
{
    if (k < 1)
        return 0;
    const int64_t middle = (k - 1) * (st_ >= 1 ? st_ : 0) + (ws_ + 1) / 2;
    return circle_ > 0 && middle > circle_ ? middle - circle_ : middle;
}

// Memory ran out: release what was kept; the rest is only counted, for the
// message.
void WindowAccumulator::release()
{
    outOfMemory_ = true;
    windowsKept_ = gc_.empty() ? 0 : int64_t(gc_.size()) - 1; // the first element is no window
    std::vector<float>().swap(gc_);
    std::vector<float>().swap(skew_);
    std::vector<int32_t>().swap(unknownCounts_);
    std::vector<int64_t>().swap(gcTenths_);
    std::vector<int64_t>().swap(skewTenths_);
    std::vector<Sums>().swap(ring_);
    head_ = count_ = 0;
}

// Grows the arrays together, twice as large, within the memory limit
// (counting the old array that each one's growth still holds, a third of
// them at most: the largest). They always keep room for the closing
// element finish() adds.
void WindowAccumulator::grow()
{
    const std::size_t now = gc_.capacity();
    const std::size_t wanted = std::max<std::size_t>(16, now * 2);
    const uint64_t largestOld = keepSums_ ? uint64_t(now) * sizeof(int64_t) : KeptWindowBytes(int64_t(now)) / 3;
    if (KeptWindowBytes(int64_t(wanted), keepSums_) + largestOld > memoryLimit_) {
        overLimit_ = true;
        throw std::bad_alloc();
    }
    gc_.reserve(wanted);
    skew_.reserve(wanted);
    unknownCounts_.reserve(wanted);
    if (keepSums_) {
        gcTenths_.reserve(wanted);
        skewTenths_.reserve(wanted);
    }
}

void WindowAccumulator::addWindows(const unsigned char* data, int64_t end)
{
    while (pos_ < end) {
        const int64_t stop = std::min({end, nextEnd_, nextMark_});
        take(SumBases(path_, data, static_cast<std::size_t>(stop - pos_), false));
        data += stop - pos_;
        pos_ = stop;
        reachedPosition();
    }
}

// The bytes between two window ends or step marks are summed in one go. Where
// line breaks are skipped, a stretch of k bytes holds at most k positions, so
// summing as many bytes as there are positions to the next stop never passes
// it; the few bytes short of it (one per skipped byte) follow the same way.
void WindowAccumulator::addTextWindows(const unsigned char* data, std::size_t size, std::size_t& done)
{
    while (done < size) {
        const int64_t room = std::min(nextEnd_, nextMark_) - pos_;
        const std::size_t n = static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(size - done), room));
        const BaseTally t = SumBases(path_, data + done, n, true);
        take(t);
        done += n;
        pos_ += t.positions;
        reachedPosition();
    }
}

void WindowAccumulator::take(const BaseTally& t)
{
    sum_.gc += t.gc;
    sum_.skew += t.skew;
    sum_.unknown += t.unknown;
}

// Ends the window and takes the step mark that fall on pos_, if any. A window
// end is handled before a step mark at the same position.
void WindowAccumulator::reachedPosition()
{
    if (pos_ == nextEnd_) {
        endWindow(popMark());
        nextEnd_ = st_ >= 1 ? nextEnd_ + st_ : kNever;
    }
    if (pos_ == nextMark_) {
        pushMark(sum_);
        nextMark_ += st_;
    }
}

// Window windows_ + 1 ends at pos_ and started after the mark `start`.
void WindowAccumulator::endWindow(const Sums& start)
{
    ++windows_;
    const int64_t gc = sum_.gc - start.gc;
    const float skew = SkewRatio(sum_.skew - start.skew, gc);
    if (keep_) {
        if (gc_.size() + 1 >= gc_.capacity())
            grow();
        gc_.push_back(GCPercent(gc, ws_));
        skew_.push_back(skew);
        unknownCounts_.push_back(static_cast<int32_t>(sum_.unknown - start.unknown));
        if (keepSums_) {
            gcTenths_.push_back(gc);
            skewTenths_.push_back(sum_.skew - start.skew);
        }
    }
    // The running sum in hundredths, as the values table adds the values;
    // the first window to reach an extreme keeps it.
    cumulative_ += std::llround(double(skew) * 100.0);
    if (windows_ == 1 || cumulative_ < minCumulative_) {
        minCumulative_ = cumulative_;
        minWindow_ = windows_;
    }
    if (windows_ == 1 || cumulative_ > maxCumulative_) {
        maxCumulative_ = cumulative_;
        maxWindow_ = windows_;
    }
}

void WindowAccumulator::finish(WindowResults& results)
{
    if (outOfMemory_)
        throw WindowsOutOfMemory(WindowCountFor(pos_, int32_t(ws_), int32_t(st_)));
    CheckPositions(pos_, ws_, st_);
    const double avg = static_cast<double>(circle_ > 0 ? own_.gc : sum_.gc) / 10.0 / static_cast<double>(length());
    const float avgGC = static_cast<float>(RoundHalfEven(avg, 3) * 100.0);

    if (keep_) {
        gc_.push_back(0.0f);
        skew_.push_back(0.0f);
        unknownCounts_.push_back(0);
    }
    if (keepSums_) {
        gcTenths_.push_back(0);
        skewTenths_.push_back(0);
    }
    results.GCValues.swap(gc_);
    results.SkewValues.swap(skew_);
    results.UnknownCounts.swap(unknownCounts_);
    results.GCTenths.swap(gcTenths_);
    results.SkewTenths.swap(skewTenths_);
    results.AvgGC = avgGC;
}

void CalcWindows(std::string_view sequence, int32_t windowSize, int32_t step, WindowResults& results,
                 ProgressSink* progress)
{
    const int64_t length = static_cast<int64_t>(sequence.size());
    // Failures come before any progress call and leave `results` as it was.
    CheckPositions(length, windowSize, step);

    WindowAccumulator acc(windowSize, step);
    const auto* data = reinterpret_cast<const unsigned char*>(sequence.data());
    if (progress)
        progress->setRange(0.0f, static_cast<float>(length));
    // About ten progress updates, at the multiples of floor(L / 10).
    const int64_t stride = (progress && length >= 10) ? length / 10 : length;
    for (int64_t pos = 0; pos < length;) {
        const int64_t n = std::min(stride - pos % stride, length - pos);
        acc.add(data + pos, static_cast<std::size_t>(n));
        pos += n;
        if (progress && length >= 10 && pos % stride == 0)
            progress->setValue(static_cast<float>(pos));
    }
    if (progress && length < 10)
        progress->setValue(static_cast<float>(length));
    acc.finish(results);
}

} // namespace quillet
