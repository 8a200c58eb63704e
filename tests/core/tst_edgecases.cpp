// Edge cases found by fuzzing and at the 32-bit position limits.
#include "analysis/calcwindows.h"
#include "analysis/failure.h"
#include "analysis/numtext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string_view>
#include <sys/mman.h>

using namespace quillet;

// Large values with many decimals once came out cut short (a fixed buffer
// of 400 characters): 8e304 with 101 decimals needs 407.
TEST(FormatFixed, WritesEveryDecimalOfLargeValues)
{
    struct Case {
        double value;
        int decimals;
        int integerDigits;
    };
    const Case cases[] = {
        {8e304, 101, 305},
        {-1.7976931348623157e308, 95, 309},
        {1e300, 120, 301},
        {0.5, 390, 1},
    };
    const NumberLocale c = NumberLocale::c();
    for (const Case& k : cases) {
        SCOPED_TRACE(k.value);
        const QString text = FormatFixed(k.value, k.decimals, c);
        const qsizetype point = text.indexOf(u'.');
        ASSERT_GE(point, 0);
        EXPECT_EQ(text.size() - point - 1, k.decimals);
        EXPECT_EQ(point - (k.value < 0 ? 1 : 0), k.integerDigits);
        EXPECT_EQ(ReadNumber(text, c), k.value);
    }
}

namespace {
// `size` bytes of zeros that cost no memory: untouched anonymous pages all
// read from the kernel's one zero page.
class ZeroPages {
public:
    explicit ZeroPages(std::size_t size) : size_(size)
    {
        void* p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        data_ = p == MAP_FAILED ? nullptr : static_cast<const char*>(p);
    }
    ~ZeroPages()
    {
        if (data_)
            ::munmap(const_cast<char*>(data_), size_);
    }
    std::string_view view() const { return {data_, size_}; }
    bool ok() const { return data_ != nullptr; }

private:
    const char* data_ = nullptr;
    std::size_t size_;
};
} // namespace

// Positions are 32-bit: a sequence past 2^31 - 1 characters, and a step
// mark after the last one reached that would pass 2^31 - 1, fail before any
// work; a step that reaches no mark computes the whole sequence.
TEST(CalcWindows, LimitsOfThirtyTwoBitPositionsOnGigabyteSequences)
{
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    struct Case {
        const char* name;
        std::size_t length;
        int32_t ws, step;
        bool fails;
        std::size_t values;
    };
    const Case cases[] = {
        {"longer than 2^31-1", std::size_t(kMax) + 1, 100, 100000, true, 0},
        {"one mark reached, next past 2^31-1", 1'200'000'000, 0, 1'100'000'000, true, 0},
        {"no mark reached, one window", 1'200'000'000, 100, 2'000'000'000, false, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ZeroPages zeros(c.length);
        ASSERT_TRUE(zeros.ok());
        WindowResults r;
        r.AvgGC = 7.0f;
        EXPECT_EQ(FitOf(int64_t(c.length), c.ws, c.step) != SequenceFit::Fits, c.fails);
        if (c.fails) {
            EXPECT_THROW(CalcWindows(zeros.view(), c.ws, c.step, r), Failure);
            EXPECT_TRUE(r.GCValues.empty());
            EXPECT_EQ(r.AvgGC, 7.0f);
        } else {
            EXPECT_NO_THROW(CalcWindows(zeros.view(), c.ws, c.step, r));
            EXPECT_EQ(r.GCValues.size(), c.values);
            EXPECT_EQ(r.AvgGC, 0.0f);
        }
    }
}

// Which lengths fit, without a sequence of gigabytes: a record of
// 2,147,483,647 bases or more never does with a step of 1 or more (its
// last step mark would pass 2^31 - 1); a larger step, or a window near the
// limit, lowers the limit (the next window end or step mark passes it).
TEST(CalcWindows, LengthsThatFitThirtyTwoBitPositions)
{
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    struct Case {
        int64_t length;
        int32_t ws, step;
        SequenceFit fit;
    };
    const Case cases[] = {
        {0, 100, 100, SequenceFit::Empty},
        {2'200'000'000, 300000, 100000, SequenceFit::TooLong},
        {kMax, 1, 1, SequenceFit::TooLong},
        {kMax - 1, 1, 1, SequenceFit::Fits},
        {kMax, 100, 0, SequenceFit::Fits}, // a step below 1: no mark, one window
        {kMax + 1, 100, 0, SequenceFit::TooLong},
        {2'147'399'999, 300000, 100000, SequenceFit::Fits},
        {2'147'400'000, 300000, 100000, SequenceFit::PastPositions},
        {1000, 1000, 2'147'483'000, SequenceFit::PastPositions}, // the window end after the first
        {999, 1000, 2'147'483'000, SequenceFit::Fits},           // no window
        {1'200'000'000, 0, 1'100'000'000, SequenceFit::PastPositions},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.length);
        EXPECT_EQ(FitOf(c.length, c.ws, c.step), c.fit);
    }
    // The shortest length that does not fit, for messages that say so.
    EXPECT_EQ(ShortestTooLong(300000, 1), kMax);
    EXPECT_EQ(ShortestTooLong(1, 0), kMax + 1);
    EXPECT_EQ(ShortestTooLong(300000, 100000), 2'147'400'000);
    EXPECT_EQ(ShortestTooLong(1000, 2'147'483'000), 1000);
    EXPECT_EQ(FitOf(ShortestTooLong(7, 3) - 1, 7, 3), SequenceFit::Fits);
    EXPECT_NE(FitOf(ShortestTooLong(7, 3), 7, 3), SequenceFit::Fits);
}
