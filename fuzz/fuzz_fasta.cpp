// Fuzzes the way a file content becomes windows: cutting it into records,
// cleaning each sequence in place, and the window computation with a
// window size and step taken from the input.
//
// Input: one flag byte, the window size and the step as little-endian
// 32-bit integers, then the file content. Flag bit 0 (bit 1) folds the
// window size (step) into -1 .. L+1 for each record, so that small windows
// are reached as easily as the extreme values.
//
// Every record is checked against a plain copy-based reading of the same
// rules, and every computation against prefix sums of the letter weights.
#include "analysis/calcwindows.h"
#include "analysis/failure.h"
#include "analysis/numtext.h"
#include "fuzz/check.h"
#include "tests/reference/fastareader.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

using namespace quillet;

namespace {

using fuzz::Check;

struct Expected {
    FastaProblem problem = FastaProblem::None;
    std::string name; // Latin-1 bytes
    std::string sequence;
};

// The records as the rules describe them, built by copying.
std::vector<Expected> ReferenceRecords(const std::string& content)
{
    std::vector<Expected> out;
    std::size_t gt = content.find('>');
    while (gt != std::string::npos) {
        const std::size_t next = content.find('>', gt + 1);
        const std::string record =
            content.substr(gt + 1, next == std::string::npos ? std::string::npos : next - gt - 1);
        Expected e;
        const std::size_t lf = record.find('\n');
        if (lf == std::string::npos) {
            e.problem = FastaProblem::NoLineFeed;
        } else if (lf == 0) {
            e.problem = FastaProblem::EmptyHeader;
        } else {
            const std::string header = record.substr(0, lf);
            e.name = header.substr(0, header.find('\t'));
            for (std::size_t i = lf + 1; i < record.size(); ++i) {
                const char c = record[i];
                if (c != '\r' && c != '\n' && c != ' ')
                    e.sequence.push_back(c);
            }
        }
        out.push_back(std::move(e));
        gt = next;
    }
    return out;
}

struct Calls : ProgressSink {
    std::vector<float> ranges, values;
    void setRange(float min, float max) override
    {
        ranges.push_back(min);
        ranges.push_back(max);
    }
    void setValue(float v) override { values.push_back(v); }
};

void CheckWindows(std::string_view seq, int32_t ws, int32_t step)
{
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    const int64_t L = static_cast<int64_t>(seq.size());

    // What the geometry promises.
    int64_t n = 0;
    if (ws >= 1 && ws <= L)
        n = step >= 1 ? (L - ws) / step + 1 : 1;
    bool fails = L == 0;
    if (step >= 1) {
        if (n >= 1 && ws + n * int64_t(step) > kMax)
            fails = true; // the window end after the last one
        const int64_t marks = L / step;
        if (marks >= 1 && (marks + 1) * int64_t(step) > kMax)
            fails = true; // the step mark after the last one
    }

    WindowResults r;
    r.GCValues = {7.0f, 7.0f, 7.0f};
    r.SkewValues = {7.0f};
    r.AvgGC = 7.0f;
    Calls calls;
    bool threw = false;
    try {
        CalcWindows(seq, ws, step, r, &calls);
    } catch (const Failure&) {
        threw = true;
    }
    Check(threw == fails, "fails exactly when the sequence is empty or a 32-bit position would overflow");
    if (threw) {
        Check(r.GCValues.size() == 3 && r.SkewValues.size() == 1 && r.AvgGC == 7.0f, "a failure changes nothing");
        Check(calls.ranges.empty() && calls.values.empty(), "a failure reports no progress");
        return;
    }

    Check(r.GCValues.size() == std::size_t(n + 2) && r.SkewValues.size() == std::size_t(n + 2), "n + 2 elements");
    Check(r.GCValues.front() == 0 && r.GCValues.back() == 0 && r.SkewValues.front() == 0 && r.SkewValues.back() == 0,
          "spare elements are 0");

    std::vector<int64_t> gcSum(std::size_t(L) + 1, 0), skewSum(std::size_t(L) + 1, 0);
    for (int64_t i = 0; i < L; ++i) {
        const LetterWeight w = WeightOf(static_cast<unsigned char>(seq[std::size_t(i)]));
        gcSum[std::size_t(i) + 1] = gcSum[std::size_t(i)] + w.gc;
        skewSum[std::size_t(i) + 1] = skewSum[std::size_t(i)] + w.skew;
    }
    const int64_t st = step >= 1 ? step : 0;
    for (int64_t k = 1; k <= n; ++k) {
        const int64_t first = (k - 1) * st, last = first + ws;
        const int64_t gc = gcSum[std::size_t(last)] - gcSum[std::size_t(first)];
        const int64_t sk = skewSum[std::size_t(last)] - skewSum[std::size_t(first)];
        const float g = r.GCValues[std::size_t(k)], s = r.SkewValues[std::size_t(k)];
        const double exact = double(gc) * 10.0 / double(ws); // percent
        Check(g >= 0.0f && g <= 100.0f, "G+C within 0 .. 100");
        Check(std::fabs(double(g) - exact) <= 0.05 + 1e-4, "G+C is the window's weight to one decimal");
        if (gc == 0) {
            Check(s == 0.0f, "G-C/G+C is 0 without G+C weight");
        } else {
            Check(s >= -1.0f && s <= 1.0f, "G-C/G+C within -1 .. 1");
            Check(std::fabs(double(s) - double(sk) / double(gc)) <= 0.005 + 1e-6, "G-C/G+C to two decimals");
        }
    }
    const double avg = double(gcSum[std::size_t(L)]) * 10.0 / double(L);
    Check(r.AvgGC >= 0.0f && r.AvgGC <= 100.0f && std::fabs(double(r.AvgGC) - avg) <= 0.05 + 1e-4,
          "average G+C to one decimal");

    Check(calls.ranges.size() == 2 && calls.ranges[0] == 0.0f && calls.ranges[1] == float(L), "range 0 .. L");
    // One update at every multiple of floor(L / 10), or one at the end for
    // a short sequence.
    const std::size_t updates = L >= 10 ? std::size_t(L / (L / 10)) : 1;
    Check(calls.values.size() == updates, "progress at every multiple of a tenth");
    for (std::size_t i = 0; i < calls.values.size(); ++i) {
        Check(calls.values[i] > 0.0f && calls.values[i] <= float(L), "progress within the range");
        Check(i == 0 || calls.values[i] > calls.values[i - 1], "progress only moves forward");
    }
}

int32_t Fold(int32_t raw, int64_t length)
{
    const int64_t span = length + 3; // -1 .. L+1
    return int32_t(((int64_t(raw) % span) + span) % span - 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 9)
        return 0;
    const uint8_t flags = data[0];
    int32_t rawWs, rawStep;
    std::memcpy(&rawWs, data + 1, 4);
    std::memcpy(&rawStep, data + 5, 4);
    std::string content(reinterpret_cast<const char*>(data + 9), size - 9);
    const std::vector<Expected> expected = ReferenceRecords(content);

    const char* const begin = content.data();
    const char* const end = begin + content.size();
    FastaReader reader(content);
    FastaRecord record;
    FastaProblem problem = FastaProblem::EmptyHeader;
    std::vector<std::string_view> views;
    std::size_t count = 0;
    while (reader.next(record, problem)) {
        Check(count < expected.size(), "no more records than \">\" signs");
        const Expected& e = expected[count];
        Check(reader.recordIndex() == count, "records are counted from 0");
        Check(problem == e.problem, "the same problem as the plain reading");
        if (problem == FastaProblem::None) {
            Check(record.name == QString::fromLatin1(e.name.data(), qsizetype(e.name.size())),
                  "name up to the first tab");
            Check(record.sequence == e.sequence, "sequence without CR, LF and spaces");
            Check(record.sequence.data() >= begin && record.sequence.data() + record.sequence.size() <= end,
                  "the sequence lies inside the content");
            views.push_back(record.sequence);

            const int64_t L = int64_t(record.sequence.size());
            const int32_t ws = (flags & 1) ? Fold(rawWs, L) : rawWs;
            const int32_t step = (flags & 2) ? Fold(rawStep, L) : rawStep;
            CheckWindows(record.sequence, ws, step);
        } else {
            Check(record.name.isEmpty() && record.sequence.empty(), "a broken record yields nothing");
        }
        ++count;
    }
    Check(count == expected.size(), "every record is returned");
    // Compacting later records must not disturb earlier sequences.
    std::size_t v = 0;
    for (const Expected& e : expected)
        if (e.problem == FastaProblem::None)
            Check(views[v++] == e.sequence, "earlier sequences stay valid");
    return 0;
}
