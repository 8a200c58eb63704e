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
