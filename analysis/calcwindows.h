#pragma once
// The sliding-window computation: one pass over a sequence that yields the
// G+C content (percent) and G-C/G+C of every window and the average G+C.
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
// of windows is always size() - 2 (the upper bound minus 1).
struct WindowResults {
    std::vector<float> GCValues;
    std::vector<float> SkewValues;
    float AvgGC = 0.0f;
};

// Weights of one character in tenths: G+C weight and G-C weight.
struct LetterWeight {
    int8_t gc;
    int8_t skew;
};
LetterWeight WeightOf(unsigned char c);

// Computes the windows of `sequence` for the given window size and step
// (1-based positions; window k covers (k-1)*step+1 .. (k-1)*step+windowSize)
// and the average. Sums are kept exactly (integer tenths), so results do not
// drift on long sequences. On success the results replace those in
// `results`; on failure (empty sequence, a next window end or step mark
// beyond 2^31-1) it throws quillet::Failure and `results` is unchanged.
void CalcWindows(std::string_view sequence, int32_t windowSize, int32_t step,
                 WindowResults& results, ProgressSink* progress = nullptr);

} // namespace quillet
