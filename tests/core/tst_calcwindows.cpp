// The sliding-window computation: window geometry, weights, rounding,
// progress, failures and exactness on long sequences.
#include "analysis/calcwindows.h"
#include "analysis/engine.h"
#include "analysis/failure.h"
#include "analysis/fasta.h"
#include "analysis/numtext.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace quillet;

namespace {

struct Recorder : ProgressSink {
    std::vector<float> ranges; // min, max pairs
    std::vector<float> values;
    void setRange(float min, float max) override
    {
        ranges.push_back(min);
        ranges.push_back(max);
    }
    void setValue(float value) override { values.push_back(value); }
};

WindowResults Compute(std::string_view seq, int32_t ws, int32_t step)
{
    WindowResults r;
    CalcWindows(seq, ws, step, r);
    return r;
}

std::vector<float> Windows(const std::vector<float>& v)
{
    return v.size() < 2 ? std::vector<float>{} : std::vector<float>(v.begin() + 1, v.end() - 1);
}

// Results prefilled with values no computation produces, to see whether a
// failed call touched them.
WindowResults Sentinel()
{
    WindowResults r;
    r.GCValues = {0.0f, 12.5f, 0.0f};
    r.SkewValues = {0.0f, 0.25f, 0.0f};
    r.AvgGC = 42.5f;
    return r;
}

void ExpectUnchanged(const WindowResults& r)
{
    const WindowResults s = Sentinel();
    EXPECT_EQ(r.GCValues, s.GCValues);
    EXPECT_EQ(r.SkewValues, s.SkewValues);
    EXPECT_EQ(r.AvgGC, s.AvgGC);
}

} // namespace

TEST(CalcWindows, SmallSequencesGiveTheExpectedValues)
{
    struct Case {
        const char* name;
        std::string seq;
        int32_t ws, step;
        std::vector<float> gc, skew;
        float avg;
    };
    const Case cases[] = {
        {"ACGT", "ACGT", 2, 1, {50, 100, 50}, {-1, 0, 1}, 50},
        {"acgt", "acgt", 2, 1, {50, 100, 50}, {-1, 0, 1}, 50},
        {"NNNN", "NNNN", 4, 4, {50}, {0}, 50},
        {"MMMM", "MMMM", 4, 4, {50}, {-1}, 50},
        {"yyyy", "yyyy", 2, 2, {50, 50}, {-1, -1}, 50},
        {"AAAA", "AAAA", 4, 1, {0}, {0}, 0},
        {"one G in 16", "G" + std::string(15, 'A'), 16, 16, {6.2f}, {1}, 6.2f},
        {"nine G seven C", std::string(9, 'G') + std::string(7, 'C'), 16, 16, {100}, {0.12f}, 100},
        {"S B V D H", "SBVDH", 5, 1, {56}, {0}, 56},
        {"D and H", "DDHd", 4, 1, {30}, {0.5f}, 30},
        {"gaps weigh nothing", "G\t-7", 4, 1, {25}, {1}, 25},
        {"other letters", "ATUWKRatuwkr*.", 7, 7, {0, 0}, {0, 0}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WindowResults r = Compute(c.seq, c.ws, c.step);
        ASSERT_EQ(r.GCValues.size(), c.gc.size() + 2);
        ASSERT_EQ(r.SkewValues.size(), c.skew.size() + 2);
        EXPECT_EQ(r.GCValues.front(), 0.0f);
        EXPECT_EQ(r.GCValues.back(), 0.0f);
        EXPECT_EQ(r.SkewValues.front(), 0.0f);
        EXPECT_EQ(r.SkewValues.back(), 0.0f);
        EXPECT_EQ(Windows(r.GCValues), c.gc);
        EXPECT_EQ(Windows(r.SkewValues), c.skew);
        EXPECT_EQ(r.AvgGC, c.avg);
    }
}

TEST(CalcWindows, WeightsTableIsCaseInsensitiveAndCoversAllLetters)
{
    const std::string weighted = "GCSBVDHMYN";
    for (int c = 0; c < 256; ++c) {
        const auto uc = static_cast<unsigned char>(c);
        const LetterWeight w = WeightOf(uc);
        const bool isWeighted = c < 128 && weighted.find(static_cast<char>(std::toupper(c))) != std::string::npos;
        EXPECT_EQ(w.gc != 0, isWeighted) << c;
        if (c >= 'a' && c <= 'z') {
            const LetterWeight upper = WeightOf(static_cast<unsigned char>(c - 'a' + 'A'));
            EXPECT_EQ(w.gc, upper.gc) << c;
            EXPECT_EQ(w.skew, upper.skew) << c;
        }
    }
    EXPECT_EQ(WeightOf('M').skew, -5);
    EXPECT_EQ(WeightOf('y').gc, 5);
}

TEST(CalcWindows, WindowCountFollowsTheGeometry)
{
    struct Case {
        int64_t length;
        int32_t ws, step;
        std::size_t windows;
    };
    const Case cases[] = {
        {10, 3, 2, 4},                                      // 1-3, 3-5, 5-7, 7-9; position 10 in none
        {10, 10, 1, 1},                                     // window = sequence
        {10, 11, 1, 0},                                     // window larger than the sequence
        {10, 0, 1, 0},       {10, -5, 1, 0}, {10, 3, 0, 1}, // step 0: one window
        {10, 3, -4, 1},                                     // negative step behaves like 0
        {10, 11, 0, 0},      {10, 3, 20, 1},                // step beyond the sequence
        {1000, 50, 100, 10},                                // gaps between windows
        {1000, 50, 1, 951},
    };
    for (const Case& c : cases) {
        const WindowResults r = Compute(std::string(static_cast<std::size_t>(c.length), 'G'), c.ws, c.step);
        EXPECT_EQ(r.GCValues.size(), c.windows + 2) << c.length << " " << c.ws << " " << c.step;
        EXPECT_EQ(r.SkewValues.size(), c.windows + 2);
        for (std::size_t k = 1; k <= c.windows; ++k)
            EXPECT_EQ(r.GCValues[k], 100.0f);
    }
}

TEST(CalcWindows, WindowsCoverTheirOwnPositionsOnly)
{
    // Length 10, window 3, step 2: windows 1-3, 3-5, 5-7, 7-9.
    const WindowResults r = Compute("GAAACGGGTC", 3, 2);
    EXPECT_EQ(Windows(r.GCValues), (std::vector<float>{33.3f, 33.3f, 100, 66.7f}));
    EXPECT_EQ(Windows(r.SkewValues), (std::vector<float>{1, -1, 0.33f, 1}));

    // Window 2, step 4 with gaps: windows 1-2, 5-6, 9-10.
    const WindowResults g = Compute("GGCCAACCGC", 2, 4);
    EXPECT_EQ(Windows(g.GCValues), (std::vector<float>{100, 0, 100}));
    EXPECT_EQ(Windows(g.SkewValues), (std::vector<float>{1, 0, 0}));
}

TEST(CalcWindows, NoWindowStillGivesTheAverage)
{
    const WindowResults r = Compute("GGAA", 5, 1);
    EXPECT_EQ(r.GCValues, (std::vector<float>{0, 0}));
    EXPECT_EQ(r.SkewValues, (std::vector<float>{0, 0}));
    EXPECT_EQ(r.AvgGC, 50.0f);

    // A stale window 1 from an earlier call must not survive.
    WindowResults again = Compute("GGGG", 2, 1);
    CalcWindows("GGAA", 0, 1, again);
    EXPECT_EQ(again.GCValues, (std::vector<float>{0, 0}));
    EXPECT_EQ(again.SkewValues, (std::vector<float>{0, 0}));
}

TEST(CalcWindows, AgreesWithDirectSumsOnRandomSequences)
{
    // Each window summed on its own, in exact tenths, then rounded by the
    // same rules; the one-pass computation must agree for every geometry.
    std::mt19937 rng(12345);
    const std::string alphabet = "ACGTNacgtnSMYBVDHRW-\t1";
    struct Geometry {
        int32_t ws, step;
    };
    const Geometry geometries[] = {{1, 1},   {7, 3},       {3, 7},   {50, 10}, {10, 50}, {64, 64},
                                   {999, 1}, {1000, 1000}, {1, 999}, {300, 0}, {2, 1000}};
    for (int round = 0; round < 4; ++round) {
        std::string seq(1000 + static_cast<std::size_t>(round) * 37, 'A');
        for (char& ch : seq)
            ch = alphabet[rng() % alphabet.size()];
        for (const Geometry& g : geometries) {
            SCOPED_TRACE(testing::Message() << "round " << round << " ws " << g.ws << " step " << g.step);
            const WindowResults r = Compute(seq, g.ws, g.step);
            const int64_t L = static_cast<int64_t>(seq.size());
            const int64_t n = (g.ws > L) ? 0 : g.step <= 0 ? 1 : (L - g.ws) / g.step + 1;
            ASSERT_EQ(static_cast<int64_t>(r.GCValues.size()), n + 2);
            // Counted only, fed in uneven pieces: the same average, window
            // count and unknown positions, and no values kept. With the
            // exact sums, the same values and the sums of each window.
            WindowAccumulator counted(g.ws, g.step, false), summed(g.ws, g.step, WindowKeeping{true, true});
            const auto* bytes = reinterpret_cast<const unsigned char*>(seq.data());
            for (std::size_t at = 0, piece = 1; at < seq.size(); at += piece, piece = piece * 3 % 97 + 1) {
                counted.add(bytes + at, std::min(piece, seq.size() - at));
                summed.add(bytes + at, std::min(piece, seq.size() - at));
            }
            WindowResults c, sums;
            counted.finish(c);
            summed.finish(sums);
            EXPECT_EQ(sums.GCValues, r.GCValues);
            EXPECT_EQ(sums.SkewValues, r.SkewValues);
            ASSERT_EQ(sums.GCTenths.size(), r.GCValues.size());
            ASSERT_EQ(sums.SkewTenths.size(), r.GCValues.size());
            EXPECT_TRUE(r.GCTenths.empty() && c.GCTenths.empty()); // only when asked for
            EXPECT_EQ(counted.windows(), n);
            EXPECT_EQ(counted.unknown(), std::count_if(seq.begin(), seq.end(), [](char ch) {
                          return std::string_view("ACGTacgt").find(ch) == std::string_view::npos;
                      }));
            EXPECT_EQ(c.AvgGC, r.AvgGC);
            EXPECT_TRUE(c.GCValues.empty() && c.SkewValues.empty() && c.UnknownCounts.empty());
            for (int64_t k = 1; k <= n; ++k) {
                int64_t gc = 0, sk = 0;
                const int64_t first = (k - 1) * std::max(g.step, 0);
                for (int64_t p = first; p < first + g.ws; ++p) {
                    gc += WeightOf(static_cast<unsigned char>(seq[static_cast<std::size_t>(p)])).gc;
                    sk += WeightOf(static_cast<unsigned char>(seq[static_cast<std::size_t>(p)])).skew;
                }
                const float gcExpected = static_cast<float>(RoundHalfEven(gc / 10.0 / g.ws, 3) * 100.0);
                const float skExpected =
                    gc == 0 ? 0.0f
                            : static_cast<float>(RoundHalfEven(static_cast<float>(sk) / static_cast<float>(gc), 2));
                ASSERT_EQ(r.GCValues[static_cast<std::size_t>(k)], gcExpected) << "window " << k;
                ASSERT_EQ(r.SkewValues[static_cast<std::size_t>(k)], skExpected) << "window " << k;
                ASSERT_EQ(sums.GCTenths[static_cast<std::size_t>(k)], gc) << "window " << k;
                ASSERT_EQ(sums.SkewTenths[static_cast<std::size_t>(k)], sk) << "window " << k;
            }
        }
    }
}

TEST(CalcWindows, ReportsProgressAboutTenTimes)
{
    struct Case {
        std::size_t length;
        std::vector<float> values;
    };
    const Case cases[] = {
        {105, {10, 20, 30, 40, 50, 60, 70, 80, 90, 100}},
        {10, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        {19, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}},
        {9, {9}}, // short sequences: the end only
        {1, {1}},
    };
    for (const Case& c : cases) {
        Recorder rec;
        WindowResults r;
        CalcWindows(std::string(c.length, 'A'), 3, 1, r, &rec);
        EXPECT_EQ(rec.ranges, (std::vector<float>{0.0f, static_cast<float>(c.length)})) << c.length;
        EXPECT_EQ(rec.values, c.values) << c.length;
    }
}

TEST(CalcWindows, FailuresLeaveResultsAndProgressUntouched)
{
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    struct Case {
        const char* name;
        std::string seq;
        int32_t ws, step;
    };
    const Case cases[] = {
        {"empty sequence", "", 2, 1},
        {"empty sequence, no window", "", 0, 0},
        {"next window end passes 2^31-1", std::string(20, 'G'), 10, kMax - 5},
        {"step of 2^31-1", std::string(20, 'G'), 1, kMax},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WindowResults r = Sentinel();
        Recorder rec;
        EXPECT_THROW(CalcWindows(c.seq, c.ws, c.step, r, &rec), Failure);
        ExpectUnchanged(r);
        EXPECT_TRUE(rec.ranges.empty());
        EXPECT_TRUE(rec.values.empty());
    }
}

TEST(CalcWindows, LargeStepsThatStayWithin32BitsSucceed)
{
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    const std::string seq(20, 'G');
    // 5 + (2^31 - 6) is exactly 2^31 - 1: still a valid position.
    EXPECT_EQ(Compute(seq, 5, kMax - 5).GCValues.size(), 3u);
    // No window end reached, no step mark reached: nothing is added.
    EXPECT_EQ(Compute(seq, 0, kMax).GCValues.size(), 2u);
    EXPECT_EQ(Compute(seq, 21, kMax).GCValues.size(), 2u);
}

TEST(CalcWindows, StaysExactOnLongSequences)
{
    // 40,000,000 G push the running sums far past 2^24; a window after them
    // must still see its own weights exactly (75 % and -0.33), and so must
    // the average.
    const std::size_t prefix = 40'000'000;
    std::string seq(prefix, 'G');
    for (int i = 0; i < 250; ++i)
        seq += "GCCA";
    const WindowResults r = Compute(seq, 1000, 1000);
    const std::size_t n = r.GCValues.size() - 2;
    ASSERT_EQ(n, 40'001u);
    EXPECT_EQ(r.GCValues[n - 1], 100.0f);
    EXPECT_EQ(r.SkewValues[n - 1], 1.0f);
    EXPECT_EQ(r.GCValues[n], 75.0f);
    EXPECT_EQ(r.SkewValues[n], -0.33f);

    // Odd positions too: window of 3 starting one past the prefix.
    const WindowResults odd = Compute(std::string_view(seq).substr(1), 3, static_cast<int32_t>(prefix - 1));
    ASSERT_EQ(odd.GCValues.size(), 4u);
    EXPECT_EQ(odd.GCValues[2], 100.0f); // the first three bases after the prefix: G C C
    EXPECT_EQ(odd.SkewValues[2], -0.33f);
}

TEST(CalcWindows, WindowsBeyondTheMemoryLimitAreCountedToTheEnd)
{
    // 1 MiB for the windows, far less than the sequence's; past 2^32
    // characters the rest is only counted, which costs nothing.
    struct Case {
        int32_t ws, step;
        WindowKeeping keep;
        int64_t windows, kept;
    };
    constexpr int64_t kLength = (int64_t{1} << 32) + 5;
    const Case cases[] = {
        {100, 1, true, kLength - 99, 65534},
        {1000, 7, true, (kLength - 1000) / 7 + 1, 65534},
        // The exact sums take 16 bytes more a window: half as many fit.
        {100, 1, WindowKeeping{true, true}, kLength - 99, 32766},
    };
    const std::vector<unsigned char> piece(1 << 20, 'G');
    for (const Case& c : cases) {
        WindowAccumulator acc(c.ws, c.step, c.keep, 1 << 20);
        for (int64_t done = 0; done < kLength; done += int64_t(piece.size()))
            acc.add(piece.data(), std::size_t(std::min<int64_t>(int64_t(piece.size()), kLength - done)));
        EXPECT_EQ(acc.length(), kLength);
        // The limit, not the system, refused the arrays twice as large as
        // 65,536 windows (the first element and the closing one are none),
        // or as 32,768 with the sums.
        EXPECT_TRUE(acc.outOfMemory() && acc.overLimit());
        EXPECT_EQ(acc.windowsKept(), c.kept);
        WindowResults r = Sentinel();
        try {
            acc.finish(r);
            ADD_FAILURE() << "finished " << c.ws << "/" << c.step;
        } catch (const WindowsOutOfMemory& e) {
            EXPECT_EQ(e.windows, c.windows) << c.ws << "/" << c.step;
        }
        ExpectUnchanged(r);
    }
    // Within the limit the windows are all there; counted only, they take
    // no memory at all.
    for (const bool keep : {true, false}) {
        WindowAccumulator acc(1, 1, keep, keep ? 1 << 20 : 1);
        acc.add(piece.data(), 60000);
        WindowResults r;
        acc.finish(r);
        EXPECT_EQ(acc.windows(), 60000);
        EXPECT_EQ(r.GCValues.size(), keep ? 60002u : 0u);
    }
    EXPECT_EQ(
        OutOfMemoryDetail(QStringLiteral("chr1"), (int64_t{1} << 32) - 99),
        QStringLiteral("record \"chr1\" needs 4,294,967,197 windows (52 GB); there is not enough memory for them"));
    EXPECT_EQ(OutOfMemoryDetail(QStringLiteral("c"), 99),
              QStringLiteral("record \"c\" needs 99 windows (1.2 kB); there is not enough memory for them"));
    // A run's memory cap passed: what ran out, and the records before when
    // they hold a tenth of it or more.
    constexpr uint64_t GB = 1'000'000'000;
    struct Said {
        QString got, want;
    };
    const Said said[] = {
        {WindowsOverCapDetail(QStringLiteral("c\r"), 536870910, 12 * GB, 0, 0),
         QStringLiteral("record \"c\" needs more than 536,870,910 windows; they do not fit in the 12 GB of memory a "
                        "run may hold")},
        {WindowsOverCapDetail(QStringLiteral("c"), 1000, 12 * GB, 3, GB),
         QStringLiteral("record \"c\" needs more than 1,000 windows; they do not fit in the 12 GB of memory a run may "
                        "hold")},
        {WindowsOverCapDetail(QStringLiteral("c"), 1000, 12 * GB, 3, 5 * GB),
         QStringLiteral("record \"c\" needs more than 1,000 windows; with the 5.0 GB that the records before it hold, "
                        "they do not fit in the 12 GB of memory a run may hold")},
        {WindowsOverCapDetail(QStringLiteral("c"), 1000, 0, 3, 5 * GB),
         QStringLiteral("record \"c\" needs more than 1,000 windows; there is not enough memory for them")},
        {CapFilledDetail(QStringLiteral("d"), 1234567, 12 * GB),
         QStringLiteral("the 1,234,567 records before record \"d\" fill the 12 GB of memory a run may hold")},
        {CapFilledDetail(QStringLiteral("d"), 1, 12 * GB),
         QStringLiteral("the record before record \"d\" fills the 12 GB of memory a run may hold")},
        {CapFilledDetail(QStringLiteral("d"), 0, 12 * GB),
         QStringLiteral("record \"d\" does not fit in the 12 GB of memory a run may hold")},
    };
    for (const Said& s : said)
        EXPECT_EQ(s.got, s.want);
}

TEST(CalcWindows, VectorPathsAgreeWithTheTablePath)
{
    // Crafted sequences for the 16- and 32-byte paths: every letter of either
    // case at every offset of a vector, line breaks and carriage returns at
    // every offset, runs just short of and just past a vector or a counter's
    // flush, windows ending inside a vector. Each path must give the table
    // path's sums for every stretch, and the same windows whether the line
    // breaks are removed first or skipped as the sums go.
    const std::string every = "ACGTNRYKMSWBDHVUacgtnrykmswbdhvu-*.X@[`{\x80\xc7\xe7";
    std::string shifted; // each letter at each offset mod 32, with a break after it
    for (std::size_t k = 0; k < every.size() * 33; ++k)
        shifted += every[k % every.size()] + std::string(k % 5 == 0 ? "\r\n" : k % 7 == 0 ? " " : "");
    struct Case {
        const char* what;
        std::string text;
        int32_t ws, step;
        std::size_t piece;
    };
    const Case cases[] = {
        {"every byte value",
         [] {
             std::string s;
             for (int c = 0; c < 512; ++c)
                 s += static_cast<char>(c & 0xFF);
             return s;
         }(),
         7, 3, 5},
        {"letters at every offset", shifted, 31, 17, 33},
        {"CR LF after every base count",
         [] {
             std::string s;
             for (int len = 0; len < 70; ++len)
                 s += std::string(static_cast<std::size_t>(len), "GCSAT"[len % 5]) + "\r\n";
             return s;
         }(),
         16, 16, 64},
        {"only line breaks and spaces", std::string(1000, '\n') + std::string(33, ' ') + "\r\rg", 1, 1, 7},
        {"past the counters' flush", std::string(16 * 255 + 17, 'g') + std::string(32 * 24 + 31, 'C'), 1000, 0, 4096},
        {"80-column lines",
         [] {
             std::string s;
             for (int i = 0; i < 8000; ++i)
                 s += (i + 1) % 81 == 0 ? '\n' : "ACGTNacgtn"[(i * 7) % 10];
             return s;
         }(),
         100, 50, 1000},
    };
    const SumPath before = ActiveSumPath();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const auto* p = reinterpret_cast<const unsigned char*>(c.text.data());
        const std::size_t n = c.text.size();
        std::string bases = c.text;
        bases.resize(static_cast<std::size_t>(CompactSequence(bases.data(), bases.data() + n) - bases.data()));
        ASSERT_TRUE(SetSumPath(SumPath::Scalar));
        const WindowResults reference = Compute(bases, c.ws, c.step);
        for (const SumPath path : {SumPath::Scalar, SumPath::Sse2, SumPath::Avx2}) {
            if (!SetSumPath(path))
                continue;
            SCOPED_TRACE(SumPathName(path));
            for (std::size_t from = 0; from < std::min<std::size_t>(n, 40); ++from) {
                for (const bool text : {false, true}) {
                    const BaseTally a = SumBases(path, p + from, n - from, text);
                    const BaseTally b = SumBases(SumPath::Scalar, p + from, n - from, text);
                    ASSERT_EQ(std::vector<int64_t>({a.gc, a.skew, a.unknown, a.positions}),
                              std::vector<int64_t>({b.gc, b.skew, b.unknown, b.positions}))
                        << "from " << from << (text ? " as text" : " as bases");
                }
            }
            WindowAccumulator acc(c.ws, c.step);
            for (std::size_t at = 0; at < n; at += c.piece)
                acc.addText(p + at, std::min(c.piece, n - at));
            WindowResults r;
            acc.finish(r);
            EXPECT_EQ(acc.length(), static_cast<int64_t>(bases.size()));
            EXPECT_EQ(r.GCValues, reference.GCValues);
            EXPECT_EQ(r.SkewValues, reference.SkewValues);
            EXPECT_EQ(r.UnknownCounts, reference.UnknownCounts);
            EXPECT_EQ(r.AvgGC, reference.AvgGC);
        }
    }
    SetSumPath(before);
}
