#include "analysis/calcwindows.h"

#include "analysis/numtext.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace quillet {

namespace {

constexpr LetterWeight WeightOfLetter(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        c = static_cast<unsigned char>(c - 'a' + 'A');
    switch (c) {
    case 'G': return {10, 10};
    case 'C': return {10, -10};
    case 'S': return {10, 0};
    case 'B':
    case 'V': return {6, 0};
    case 'D': return {3, 3};
    case 'H': return {3, -3};
    // M (A or C) and Y (C or T) are half C: half its G+C and half its G-C.
    case 'M':
    case 'Y': return {5, -5};
    case 'N': return {5, 0};
    default: return {0, 0};
    }
}

// Both weights of a character in one 64-bit word: the G+C tenths in the high
// half and the (signed) G-C tenths added to the low half. Summing these words
// sums both weights at once; the G-C part stays recoverable as long as its
// magnitude stays below 2^31, which kChunk guarantees.
constexpr int64_t Pack(LetterWeight w)
{
    return static_cast<int64_t>(w.gc) * (int64_t{1} << 32) + w.skew;
}

constexpr std::array<int64_t, 256> MakePackedTable()
{
    std::array<int64_t, 256> table{};
    for (int c = 0; c < 256; ++c)
        table[static_cast<std::size_t>(c)] = Pack(WeightOfLetter(static_cast<unsigned char>(c)));
    return table;
}

constexpr std::array<int64_t, 256> kPacked = MakePackedTable();

// At most 10 tenths per character: 2^20 characters keep the packed G-C sum
// far below 2^31.
constexpr int64_t kChunk = int64_t{1} << 20;

struct Sums {
    int64_t gc = 0;   // tenths
    int64_t skew = 0; // tenths
};

// Adds the weights of [p, p + n), n <= kChunk. Eight bytes come in with one
// load and are split by shifts, which leaves the loads to the table lookups;
// four accumulators keep the additions from waiting on one another. The order
// of the bytes within a word does not matter for a sum.
inline Sums SumWeights(const unsigned char* p, int64_t n)
{
    int64_t a0 = 0, a1 = 0, a2 = 0, a3 = 0;
    int64_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, sizeof w);
        a0 += kPacked[w & 0xFF];
        a1 += kPacked[(w >> 8) & 0xFF];
        a2 += kPacked[(w >> 16) & 0xFF];
        a3 += kPacked[(w >> 24) & 0xFF];
        a0 += kPacked[(w >> 32) & 0xFF];
        a1 += kPacked[(w >> 40) & 0xFF];
        a2 += kPacked[(w >> 48) & 0xFF];
        a3 += kPacked[w >> 56];
    }
    for (; i < n; ++i)
        a0 += kPacked[p[i]];
    const int64_t total = (a0 + a1) + (a2 + a3);
    const int64_t skew = static_cast<int32_t>(static_cast<uint32_t>(total));
    return {(total - skew) >> 32, skew};
}

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

// Snapshots taken at step marks and not yet used by the window that starts
// right after them; first in, first out.
class MarkQueue {
public:
    explicit MarkQueue(std::size_t capacity) : ring_(std::max<std::size_t>(capacity, 1)) {}
    void push(Sums s)
    {
        ring_[tail_] = s;
        if (++tail_ == ring_.size())
            tail_ = 0;
    }
    Sums pop()
    {
        const Sums s = ring_[head_];
        if (++head_ == ring_.size())
            head_ = 0;
        return s;
    }

private:
    std::vector<Sums> ring_;
    std::size_t head_ = 0;
    std::size_t tail_ = 0;
};

} // namespace

LetterWeight WeightOf(unsigned char c)
{
    return WeightOfLetter(c);
}

void CalcWindows(std::string_view sequence, int32_t windowSize, int32_t step,
                 WindowResults& results, ProgressSink* progress)
{
    constexpr int64_t kMaxPosition = std::numeric_limits<int32_t>::max();
    constexpr int64_t kNever = std::numeric_limits<int64_t>::max();

    const int64_t length = static_cast<int64_t>(sequence.size());
    if (length == 0)
        throw Failure("empty sequence");
    if (length > kMaxPosition)
        throw Failure("sequence longer than 32-bit positions");

    const int64_t ws = windowSize;
    const int64_t st = step;
    const bool stepping = st >= 1;

    // Only complete windows count. A step of 0 (or below) leaves the next
    // window end where it was after the first window, and no step mark is
    // ever reached: one window when it fits.
    int64_t windows = 0;
    if (ws >= 1 && ws <= length)
        windows = stepping ? (length - ws) / st + 1 : 1;

    // The next window end and the next step mark are 32-bit positions: after
    // the last window end reached (and after the last step mark reached) the
    // step is added once more, and that must not pass 2^31 - 1. Checked up
    // front, so a failure leaves everything as it was.
    if (stepping) {
        if (windows >= 1 && ws + windows * st > kMaxPosition)
            throw Failure("next window end beyond 32-bit positions");
        const int64_t marksReached = length / st;
        if (marksReached >= 1 && (marksReached + 1) * st > kMaxPosition)
            throw Failure("next step mark beyond 32-bit positions");
    }

    std::vector<float> gcValues(static_cast<std::size_t>(windows + 2), 0.0f);
    std::vector<float> skewValues(static_cast<std::size_t>(windows + 2), 0.0f);

    // Window k needs the sums at its end and at the step mark (k-1)*step just
    // before its start; marks are queued until their window ends. A window
    // end is handled before a mark at the same position, so at most
    // ceil(ws / step) marks are pending at once (one more slot is spare).
    std::size_t pending = 1;
    if (stepping && windows >= 2)
        pending = static_cast<std::size_t>(std::min(windows, (ws + st - 1) / st + 1));
    MarkQueue marks(pending);
    marks.push(Sums{}); // mark 0: the start of the sequence

    int64_t nextEnd = windows >= 1 ? ws : kNever;
    const int64_t lastMark = stepping ? (windows - 1) * st : 0; // marks 1 .. windows-1
    int64_t nextMark = (stepping && windows >= 2) ? st : kNever;

    // About ten progress updates, at the multiples of floor(L / 10).
    const int64_t progressStride = length >= 10 ? length / 10 : 0;
    int64_t nextProgress = (progress && progressStride > 0) ? progressStride : kNever;
    if (progress)
        progress->setRange(0.0f, static_cast<float>(length));

    const auto* data = reinterpret_cast<const unsigned char*>(sequence.data());
    Sums sum;
    int64_t pos = 0; // characters added to `sum` so far
    int64_t window = 0;
    while (pos < length) {
        const int64_t stop = std::min({length, nextEnd, nextMark, nextProgress, pos + kChunk});
        const Sums part = SumWeights(data + pos, stop - pos);
        sum.gc += part.gc;
        sum.skew += part.skew;
        pos = stop;

        if (pos == nextProgress) {
            progress->setValue(static_cast<float>(pos));
            nextProgress += progressStride;
        }
        if (pos == nextEnd) {
            const Sums start = marks.pop();
            ++window;
            const int64_t gc = sum.gc - start.gc;
            gcValues[static_cast<std::size_t>(window)] = GCPercent(gc, ws);
            skewValues[static_cast<std::size_t>(window)] = SkewRatio(sum.skew - start.skew, gc);
            nextEnd = window < windows ? nextEnd + st : kNever;
        }
        if (pos == nextMark) {
            marks.push(sum);
            nextMark = nextMark < lastMark ? nextMark + st : kNever;
        }
    }
    if (progress && progressStride == 0)
        progress->setValue(static_cast<float>(length));

    const double avg = static_cast<double>(sum.gc) / 10.0 / static_cast<double>(length);
    const float avgGC = static_cast<float>(RoundHalfEven(avg, 3) * 100.0);

    // Commit: nothing below can throw.
    results.GCValues.swap(gcValues);
    results.SkewValues.swap(skewValues);
    results.AvgGC = avgGC;
}

} // namespace quillet
