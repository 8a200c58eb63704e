// Fuzzes the number text rules: reading numbers, conversion to 32-bit
// integers with halves to even, the integer quotient, rounding to decimals
// and the three number formats, through round trips and invariants.
//
// Input: a byte choosing the locale and the text encoding, a byte giving
// a number of decimals, then the text (Latin-1, or UTF-16LE when bit 2 of
// the first byte is set). A ";" splits the text into a dividend and a
// divisor for the integer quotient.
#include "analysis/failure.h"
#include "analysis/numtext.h"
#include "fuzz/check.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>

using namespace quillet;

namespace {

using fuzz::Check;

NumberLocale LocaleOf(uint8_t selector)
{
    NumberLocale loc;
    switch (selector % 3) {
    case 1: loc.decimalPoint = u','; break;
    case 2: loc.minusSign = QChar(0x2212); break;
    default: break;
    }
    return loc;
}

std::optional<int32_t> TryInt32(double v)
{
    try {
        return ToInt32(v);
    } catch (const Failure&) {
        return std::nullopt;
    }
}

std::optional<int32_t> TryInt32(QStringView text, const NumberLocale& loc)
{
    try {
        return ToInt32(text, loc);
    } catch (const Failure&) {
        return std::nullopt;
    }
}

bool IsEven(int64_t v)
{
    return v % 2 == 0;
}

// Significant digits of a general-format text, and whether its fraction
// ends in a zero.
void CheckGeneralShape(const QString& s, int significant, const NumberLocale& loc)
{
    int digits = 0;
    bool leadingZeros = true;
    qsizetype ePos = s.indexOf(u'E');
    const qsizetype mantissaEnd = ePos < 0 ? s.size() : ePos;
    for (qsizetype i = 0; i < mantissaEnd; ++i) {
        const QChar c = s[i];
        if (c >= u'0' && c <= u'9') {
            if (c != u'0')
                leadingZeros = false;
            if (!leadingZeros)
                ++digits;
        }
    }
    // Trailing zeros of an integer without exponent are place holders.
    const qsizetype point = s.indexOf(loc.decimalPoint);
    if (point < 0 && ePos < 0) {
        qsizetype i = mantissaEnd;
        while (i > 0 && s[i - 1] == u'0' && digits > 1) {
            --digits;
            --i;
        }
    }
    Check(digits <= significant, "no more significant digits than allowed");
    if (point >= 0)
        Check(s[mantissaEnd - 1] != u'0' && s[mantissaEnd - 1] != loc.decimalPoint, "no trailing zeros");
    for (const QChar c : s)
        Check(c != u' ' && (c != u',' || loc.decimalPoint == u','), "no grouping");
}

void CheckNumber(double v, int decimals, const NumberLocale& loc)
{
    Check(std::isfinite(v), "a number read is finite");
    Check(!(v == 0 && std::signbit(v)), "never a negative zero");

    // Conversion to 32 bits: nearest integer, halves to even, or failure
    // exactly outside the range.
    const double nearest = std::nearbyint(v);
    const std::optional<int32_t> i = TryInt32(v);
    Check(i.has_value() == (nearest >= -2147483648.0 && nearest <= 2147483647.0), "fails exactly outside 32 bits");
    if (i) {
        const double d = std::fabs(double(*i) - v);
        Check(d <= 0.5, "the nearest integer");
        if (d == 0.5)
            Check(IsEven(*i), "halves go to even");
        Check(ToInt32(FormatInteger(*i), loc) == *i, "an integer written plainly reads back");
    }

    // General format: 15 digits read back within their precision, 17 exactly.
    const QString g15 = FormatGeneral(v, 15, loc);
    CheckGeneralShape(g15, 15, loc);
    const std::optional<double> back15 = ReadNumber(g15, loc);
    // Only the largest doubles round up past the double range at 15 digits.
    Check(back15.has_value() || std::fabs(v) > 1.797693134862315e308, "the general format reads back");
    if (back15)
        Check(std::fabs(*back15 - v) <= std::fabs(v) * 1e-14 + 1e-320, "15 digits keep 15 digits");
    const std::optional<double> back17 = ReadNumber(FormatGeneral(v, 17, loc), loc);
    Check(back17 && *back17 == v, "17 digits read back exactly");

    // A 32-bit float with 7 significant digits.
    const float f = float(v);
    if (std::isfinite(f)) {
        const QString s = FormatSingle(f, loc);
        CheckGeneralShape(s, 7, loc);
        const std::optional<double> back = ReadNumber(s, loc);
        Check(back.has_value(), "the single format reads back");
        Check(std::fabs(*back - double(f)) <= std::fabs(double(f)) * 5.000001e-7 + 1e-44, "7 significant digits");
    }

    // Rounding to decimals, halves to even.
    const int d = decimals % 23;
    const double r = RoundHalfEven(v, d);
    Check(!(r == 0 && std::signbit(r)), "rounding never gives a negative zero");
    Check(RoundHalfEven(-v, d) == -r + 0.0, "rounding is symmetric");
    Check(std::fabs(r - v) <= 0.5 * std::pow(10.0, -d) * (1 + 1e-9) + std::fabs(v) * 1e-15,
          "rounding moves by half a unit at most");
    Check(RoundHalfEven(r, d) == r, "rounding twice changes nothing");

    // Fixed format: exactly the decimals asked for, reading back as the
    // rounded value.
    const QString fixed = FormatFixed(v, decimals, loc);
    const qsizetype point = fixed.indexOf(loc.decimalPoint);
    if (decimals == 0)
        Check(point < 0, "no separator without decimals");
    else
        Check(point >= 1 && fixed.size() - point - 1 == decimals, "exactly the decimals asked for");
    const std::optional<double> fixedBack = ReadNumber(fixed, loc);
    Check(fixedBack.has_value(), "the fixed format reads back");
    const double rounded = RoundHalfEven(v, decimals);
    if (decimals <= 22)
        Check(*fixedBack == rounded, "the fixed format shows the rounded value");
    else
        Check(std::fabs(*fixedBack - rounded) <= std::fabs(rounded) * 1e-15,
              "the fixed format shows the rounded value");
    Check(fixed.startsWith(loc.minusSign) == (rounded < 0), "a minus sign exactly for negative values");
}

void CheckQuotient(double a, double b)
{
    const std::optional<int32_t> na = TryInt32(a), nb = TryInt32(b);
    bool threw = false;
    int32_t q = 0;
    try {
        q = IntDiv(a, b);
    } catch (const Failure&) {
        threw = true;
    }
    const bool fails = !na || !nb || *nb == 0 || (*na == std::numeric_limits<int32_t>::min() && *nb == -1);
    Check(threw == fails, "the quotient fails exactly without a valid divisor or result");
    if (!threw) {
        const int64_t expected = int64_t(*na) / int64_t(*nb);
        Check(q == expected, "the quotient truncates towards zero");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const uint8_t selector = data[0];
    const int decimals = data[1];
    const NumberLocale loc = LocaleOf(selector);
    QString text;
    if (selector & 4)
        text = QString::fromUtf16(reinterpret_cast<const char16_t*>(data + 2), qsizetype((size - 2) / 2));
    else
        text = QString::fromLatin1(reinterpret_cast<const char*>(data + 2), qsizetype(size - 2));

    const std::optional<double> v = ReadNumber(text, loc);
    const std::optional<int32_t> viaText = TryInt32(text, loc);
    Check(viaText == (v ? TryInt32(*v) : std::nullopt), "converting a text is reading it, then converting");
    if (v)
        CheckNumber(*v, decimals, loc);

    const qsizetype split = text.indexOf(u';');
    if (split >= 0) {
        const std::optional<double> a = ReadNumber(QStringView(text).left(split), loc);
        const std::optional<double> b = ReadNumber(QStringView(text).mid(split + 1), loc);
        if (a && b)
            CheckQuotient(*a, *b);
    }
    return 0;
}
