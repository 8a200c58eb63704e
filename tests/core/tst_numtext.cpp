// Number text rules: reading typed numbers, integer conversion, rounding and
// the general / fixed formats the window shows; the C library's locale the
// programs start with.
#include "analysis/failure.h"
#include "analysis/numtext.h"
#include "analysis/processlocale.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

using namespace quillet;

namespace {

const NumberLocale kC = NumberLocale::c();
const NumberLocale kComma{u',', u'-'};

} // namespace

TEST(ReadNumber, AcceptsNumbersInEveryAllowedShape)
{
    struct Case {
        const char16_t* text;
        double value;
    };
    const Case cases[] = {
        {u"10", 10.0},     {u"  42  ", 42.0}, {u"\t7", 7.0}, {u"+5", 5.0},     {u"-5", -5.0},
        {u"0.4", 0.4},     {u".5", 0.5},      {u"5.", 5.0},  {u"1e3", 1000.0}, {u"1E+3", 1000.0},
        {u"2.5e-1", 0.25}, {u"1e30", 1e30},   {u"-0", 0.0},  {u"007", 7.0},    {u"1e-400", 0.0},
    };
    for (const Case& c : cases) {
        const std::optional<double> v = ReadNumber(QStringView(c.text), kC);
        ASSERT_TRUE(v.has_value()) << QString::fromUtf16(c.text).toStdString();
        EXPECT_DOUBLE_EQ(*v, c.value) << QString::fromUtf16(c.text).toStdString();
    }
    EXPECT_FALSE(std::signbit(*ReadNumber(u"-0", kC)));
}

TEST(ReadNumber, RefusesTextsThatAreNoNumber)
{
    const char16_t* texts[] = {
        u"",    u"   ", u"abc",   u"1a",   u"a1",  u"1 2", u"--1",      u"+-1", u".",     u"-",      u"1e",
        u"1e+", u"e5",  u"1.2.3", u"0x10", u"inf", u"nan", u"Infinity", u"1,5", u"1e999", u"-1e999", u"1 000",
    };
    for (const char16_t* t : texts)
        EXPECT_FALSE(ReadNumber(QStringView(t), kC).has_value()) << QString::fromUtf16(t).toStdString();
}

TEST(ReadNumber, FollowsTheLocaleDecimalSeparator)
{
    EXPECT_DOUBLE_EQ(*ReadNumber(u"1,5", kComma), 1.5);
    EXPECT_DOUBLE_EQ(*ReadNumber(u"-2,5e1", kComma), -25.0);
    EXPECT_FALSE(ReadNumber(u"1.5", kComma).has_value());

    const NumberLocale unicodeMinus{u'.', QChar(0x2212)};
    EXPECT_DOUBLE_EQ(*ReadNumber(QString(QChar(0x2212)) + QStringLiteral("3"), unicodeMinus), -3.0);
    EXPECT_DOUBLE_EQ(*ReadNumber(u"-3", unicodeMinus), -3.0);
}

TEST(ToInt32, RoundsHalvesToEvenWithinRange)
{
    struct Case {
        double in;
        int32_t out;
    };
    const Case cases[] = {
        {0.4, 0},
        {0.5, 0},
        {1.5, 2},
        {2.5, 2},
        {-0.5, 0},
        {-1.5, -2},
        {-2.5, -2},
        {2.6, 3},
        {1e-300, 0},
        {2147483647.0, 2147483647},
        {2147483647.4, 2147483647},
        {-2147483648.0, -2147483647 - 1},
        {-2147483648.5, -2147483647 - 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ToInt32(c.in), c.out) << c.in;
}

TEST(ToInt32, FailsOutsideRangeOrWhenNotFinite)
{
    const double bad[] = {2147483647.5,
                          2147483648.0,
                          -2147483649.0,
                          -2147483648.6,
                          1e30,
                          std::numeric_limits<double>::infinity(),
                          -std::numeric_limits<double>::infinity(),
                          std::numeric_limits<double>::quiet_NaN()};
    for (double v : bad)
        EXPECT_THROW(ToInt32(v), Failure) << v;
}

TEST(ToInt32, ConvertsTextOrFails)
{
    EXPECT_EQ(ToInt32(u" 300 ", kC), 300);
    EXPECT_EQ(ToInt32(u"0.4", kC), 0);
    EXPECT_EQ(ToInt32(u"2,5", kComma), 2);
    EXPECT_EQ(ToInt32(u"3.5e0", kC), 4);
    for (const char16_t* t : {u"", u"abc", u"1e30", u"2147483648"})
        EXPECT_THROW(ToInt32(QStringView(t), kC), Failure) << QString::fromUtf16(t).toStdString();
}

TEST(IntDiv, RoundsOperandsThenTruncates)
{
    struct Case {
        double a, b;
        int32_t q;
    };
    const Case cases[] = {
        {7, 2, 3},
        {-7, 2, -3},
        {7, -2, -3},
        {-7, -2, 3},
        {2.5, 1, 2},
        {3.5, 1, 4},
        {9, 2.5, 4},
        {9, 1.5, 4},
        {0, 5, 0},
        {1, 3, 0},
        {2147483647, 1, 2147483647},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IntDiv(c.a, c.b), c.q) << c.a << " \\ " << c.b;
}

TEST(IntDiv, FailsOnZeroDivisorAndOverflow)
{
    EXPECT_THROW(IntDiv(1, 0), Failure);
    EXPECT_THROW(IntDiv(1, 0.4), Failure); // divisor rounds to 0
    EXPECT_THROW(IntDiv(1, -0.5), Failure);
    EXPECT_THROW(IntDiv(-2147483648.0, -1), Failure);
    EXPECT_THROW(IntDiv(3e9, 2), Failure);
}

TEST(RoundHalfEven, RoundsTheScaledDecimalValue)
{
    struct Case {
        double in;
        int d;
        double out;
    };
    const Case cases[] = {
        {0.0625, 3, 0.062}, {0.0125, 3, 0.012},  {0.0635, 3, 0.064},    {62.5, 0, 62.0},
        {63.5, 0, 64.0},    {-62.5, 0, -62.0},   {0.125, 2, 0.12},      {0.135, 2, 0.14},
        {-0.125, 2, -0.12}, {0.5625, 2, 0.56},   {1.0 / 3.0, 3, 0.333}, {2.0 / 3.0, 2, 0.67},
        {45.67, 1, 45.7},   {123.456, 0, 123.0}, {1e300, 3, 1e300},     {9007199254740993.0, 2, 9007199254740993.0},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(RoundHalfEven(c.in, c.d), c.out) << c.in << " to " << c.d;
    // Scaled past 2^52 but finer than a tenth: one unit in the last place
    // apart, which EXPECT_DOUBLE_EQ would let through.
    EXPECT_EQ(RoundHalfEven(-544444444444444.4375, 1), -544444444444444.4);
    EXPECT_EQ(RoundHalfEven(1e-300, 310), 1e-300);
}

TEST(RoundHalfEven, NeverYieldsNegativeZero)
{
    EXPECT_FALSE(std::signbit(RoundHalfEven(-0.004, 2)));
    EXPECT_FALSE(std::signbit(RoundHalfEven(-0.0, 3)));
    EXPECT_TRUE(std::isnan(RoundHalfEven(std::nan(""), 2)));
}

TEST(FormatGeneral, WritesSinglesWithSevenSignificantDigits)
{
    struct Case {
        float in;
        const char* out;
    };
    const Case cases[] = {
        {0.0f, "0"},
        {-0.0f, "0"},
        {50.0f, "50"},
        {45.7f, "45.7"},
        {6.2f, "6.2"},
        {-1.0f, "-1"},
        {0.12f, "0.12"},
        {100.0f, "100"},
        {1234567.0f, "1234567"},
        {12345678.0f, "1.234568E+07"},
        {9999999.0f, "9999999"},
        {99999999.0f, "1E+08"},
        {0.0001f, "0.0001"},
        {0.00001f, "1E-05"},
        {0.000012345f, "1.2345E-05"},
        {1.0f / 3.0f, "0.3333333"},
        {-2.5e-7f, "-2.5E-07"},
        {1e20f, "1E+20"},
        {3.4e38f, "3.4E+38"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatSingle(c.in, kC).toStdString(), c.out) << c.in;
        std::string appended = "x";
        AppendSingle(appended, c.in);
        EXPECT_EQ(appended, std::string("x") + c.out) << c.in;
    }
}

TEST(FormatGeneral, WritesDoublesWithFifteenSignificantDigits)
{
    struct Case {
        double in;
        const char* out;
    };
    const Case cases[] = {
        {0.1, "0.1"},
        {1.0 / 3.0, "0.333333333333333"},
        {100000000000000.0, "100000000000000"},
        {1e15, "1E+15"},
        {123456789012345678.0, "1.23456789012346E+17"},
        {2147483647.0, "2147483647"},
        {-0.5, "-0.5"},
        {1e-5, "1E-05"},
        {1e-100, "1E-100"},
        {1e100, "1E+100"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatGeneral(c.in, 15, kC).toStdString(), c.out) << c.in;
        std::string appended;
        AppendGeneral(appended, c.in);
        EXPECT_EQ(appended, c.out) << c.in;
    }
}

TEST(FormatGeneral, UsesTheLocaleSeparators)
{
    EXPECT_EQ(FormatSingle(45.7f, kComma), u"45,7");
    EXPECT_EQ(FormatSingle(12345678.0f, kComma), u"1,234568E+07");
    EXPECT_EQ(FormatGeneral(1234567.5, 15, kComma), u"1234567,5"); // never grouped
    const NumberLocale unicodeMinus{u'.', QChar(0x2212)};
    EXPECT_EQ(FormatSingle(-1.5f, unicodeMinus), QString(QChar(0x2212)) + QStringLiteral("1.5"));
}

TEST(FormatFixed, WritesExactlyTheGivenDecimals)
{
    struct Case {
        double in;
        int d;
        const char* out;
    };
    const Case cases[] = {
        {-1.0, 1, "-1.0"},
        {0.5, 1, "0.5"},
        {0.0, 1, "0.0"},
        {-0.0, 1, "0.0"},
        {-0.04, 1, "0.0"},
        {0.25, 1, "0.2"},
        {0.35, 1, "0.4"},
        {1.5, 0, "2"},
        {2.5, 0, "2"},
        {0.05, 2, "0.05"},
        {12.346, 2, "12.35"},
        {-0.75, 1, "-0.8"},
        {1234567.0, 1, "1234567.0"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatFixed(c.in, c.d, kC).toStdString(), c.out) << c.in << " with " << c.d;
    EXPECT_EQ(FormatFixed(-1.0, 1, kComma), u"-1,0");
}

TEST(FormatInteger, WritesPlainDigits)
{
    EXPECT_EQ(FormatInteger(0), u"0");
    EXPECT_EQ(FormatInteger(48502), u"48502");
    EXPECT_EQ(FormatInteger(-7), u"-7");
    EXPECT_EQ(FormatInteger(10000000000LL), u"10000000000");
}

TEST(FormatGeneral, AppendingGivesTheFormattedTextForMillionsOfValues)
{
    // The tables' number text without QString or locale against the
    // formatted text: every value a G+C or G-C/G+C window can have, then
    // random bit patterns (every exponent, NaN and infinities) and random
    // doubles at every precision.
    const auto same = [](double v, int significant) {
        std::string appended;
        if (significant == 7)
            AppendSingle(appended, static_cast<float>(v));
        else
            AppendGeneral(appended, v, significant);
        const QString formatted =
            significant == 7 ? FormatSingle(static_cast<float>(v), kC) : FormatGeneral(v, significant, kC);
        return appended == formatted.toStdString();
    };
    for (int tenths = 0; tenths <= 1000; ++tenths)
        ASSERT_TRUE(same(static_cast<float>(RoundHalfEven(tenths / 1000.0, 3) * 100.0), 7)) << tenths;
    for (int hundredths = -100; hundredths <= 100; ++hundredths)
        ASSERT_TRUE(same(static_cast<float>(RoundHalfEven(hundredths / 100.0, 2)), 7)) << hundredths;
    for (int eighths = -2000; eighths <= 2000; ++eighths) // exact halves between digits
        for (int significant = 1; significant <= 4; ++significant)
            ASSERT_TRUE(same(eighths / 8.0, significant)) << eighths << " at " << significant;
    std::mt19937_64 rng(21);
    for (int i = 0; i < 2'000'000; ++i) {
        const auto bits = static_cast<uint32_t>(rng());
        float f;
        std::memcpy(&f, &bits, sizeof f);
        ASSERT_TRUE(same(f, 7)) << bits;
    }
    for (int i = 0; i < 300'000; ++i) {
        const uint64_t bits = rng();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        const int significant = 1 + static_cast<int>(rng() % 17);
        ASSERT_TRUE(same(d, significant)) << bits << " at " << significant;
        // Fixed places, on values of every size a table holds.
        const double v =
            std::ldexp(static_cast<double>(bits >> 11), -static_cast<int>(rng() % 90)) * ((bits & 1) ? -1.0 : 1.0);
        std::string fixed;
        AppendFixed(fixed, v, significant % 6);
        ASSERT_EQ(fixed, FormatFixed(v, significant % 6, kC).toStdString()) << v;
    }
}

TEST(UseUtf8CharacterType, OnlyTheCharacterTypeBecomesUtf8)
{
    // Each environment as a Q*Application then reads it (setlocale(LC_ALL,
    // "")): a UTF-8 character type, every other category as the environment
    // named it, or "C" where it names a locale that is not installed.
    if (!std::setlocale(LC_CTYPE, "C.UTF-8"))
        GTEST_SKIP() << "no C.UTF-8 locale";
    const char* const variables[] = {"LC_ALL", "LC_CTYPE", "LC_NUMERIC", "LC_TIME", "LC_MESSAGES", "LANG"};
    std::vector<std::optional<std::string>> saved;
    for (const char* v : variables)
        saved.push_back(std::getenv(v) ? std::optional<std::string>(std::getenv(v)) : std::nullopt);
    struct Case {
        const char* lcAll;
        const char* lcNumeric;
        const char* lang;
        const char* numeric; // LC_NUMERIC afterwards
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, "C"},         // nothing set, as in cron
        {"C", nullptr, nullptr, "C"},             // LC_ALL=C
        {"C", "C.UTF-8", nullptr, "C"},           // LC_ALL outranks LC_NUMERIC
        {nullptr, "C.UTF-8", "C", "C.UTF-8"},     // LANG=C with numbers of their own
        {nullptr, nullptr, "C.UTF-8", "C.UTF-8"}, // UTF-8 already
        {nullptr, nullptr, "xx_YY.UTF-8", "C"},   // not installed
        {"xx_YY", nullptr, nullptr, "C"},
    };
    for (const Case& c : cases) {
        for (const char* v : variables)
            unsetenv(v);
        const auto put = [](const char* name, const char* value) {
            if (value)
                setenv(name, value, 1);
        };
        put("LC_ALL", c.lcAll);
        put("LC_NUMERIC", c.lcNumeric);
        put("LANG", c.lang);
        const std::string label = std::string("LC_ALL=") + (c.lcAll ? c.lcAll : "") +
                                  " LC_NUMERIC=" + (c.lcNumeric ? c.lcNumeric : "") + " LANG=" + (c.lang ? c.lang : "");
        std::setlocale(LC_ALL, "C");
        UseUtf8CharacterType();
        ASSERT_TRUE(std::setlocale(LC_ALL, "")) << label;
        const std::string codeset = nl_langinfo(CODESET);
        EXPECT_EQ(codeset, "UTF-8") << label;
        EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), c.numeric) << label;
        EXPECT_STREQ(std::setlocale(LC_MESSAGES, nullptr), std::setlocale(LC_TIME, nullptr)) << label;
        if (c.lang && std::strcmp(c.lang, "C.UTF-8") == 0) {
            EXPECT_EQ(std::getenv("LC_CTYPE"), nullptr) << "a UTF-8 environment stays as it was";
        }
    }
    for (std::size_t i = 0; i < std::size(variables); ++i) {
        if (saved[i])
            setenv(variables[i], saved[i]->c_str(), 1);
        else
            unsetenv(variables[i]);
    }
    std::setlocale(LC_ALL, "");
}
