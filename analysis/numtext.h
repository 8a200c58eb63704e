#pragma once
// Text and number rules shared by the whole program: reading numbers typed by
// the user, converting them to 32-bit integers, rounding halves to even, and
// writing numbers the way the window shows them (general number format).
#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>
#include <string>

namespace quillet {

// The separators used when reading and writing numbers. system() follows the
// user's locale; c() is the plain "." form used by tests.
struct NumberLocale {
    QChar decimalPoint = u'.';
    QChar minusSign = u'-';
    static NumberLocale system();
    static NumberLocale c() { return {}; }
};

// Reads a number: optional blanks, optional sign ("+", "-" or the locale's
// minus), digits with at most one decimal separator (the locale's; at least
// one digit in all), optional exponent (e/E, optional sign, digits), optional
// blanks. No grouping. Returns nothing for any other text and for values
// beyond double (a value too small for double reads as 0). Never gives -0.
std::optional<double> ReadNumber(QStringView text, const NumberLocale& loc = NumberLocale::system());

// Rounds to the nearest integer with halves to even; fails when the result
// does not fit a 32-bit signed integer or the value is not finite.
int32_t ToInt32(double value);
// ReadNumber followed by ToInt32; fails when the text is no number.
int32_t ToInt32(QStringView text, const NumberLocale& loc = NumberLocale::system());

// nearest(x): ToInt32 of a number (same failure rules).
inline int32_t Nearest(double x)
{
    return ToInt32(x);
}
// a \ b: both operands rounded with Nearest, then the quotient truncated
// towards zero. Fails on a zero divisor or an out-of-range operand.
int32_t IntDiv(double a, double b);

// Rounds to `decimals` places with halves to even: scale by 10^decimals in
// double, round half to even, scale back (so 0.0625 -> 0.062 at 3 places,
// while 12.345, stored as 12.3449999..., gives 12.34 at 2). Never gives -0;
// values too large to carry decimals come back unchanged.
double RoundHalfEven(double value, int decimals);

// General number format: no grouping, no trailing zeros, at most
// `significant` significant digits (15 for doubles), "0" for zero. The
// exponent form ("1.234568E+07", "1E-05", at least two exponent digits) is
// used when the decimal exponent of the rounded value is >= `significant`
// or < -4. Negative values start with the locale's minus sign.
QString FormatGeneral(double value, int significant = 15, const NumberLocale& loc = NumberLocale::system());
// A 32-bit float in general number format: at most 7 significant digits.
QString FormatSingle(float value, const NumberLocale& loc = NumberLocale::system());
// Exactly `decimals` decimal places, a digit before the separator, the
// locale's minus sign when the rounded value is negative (halves to even as
// RoundHalfEven; -0.04 at one place is "0.0").
QString FormatFixed(double value, int decimals, const NumberLocale& loc = NumberLocale::system());
// FormatGeneral's and FormatSingle's text in the "C" form ("." and "-")
// appended to `out`, byte for byte the same, without the locale's machinery
// or a QString: for tables of millions of numbers.
void AppendGeneral(std::string& out, double value, int significant = 15);
void AppendSingle(std::string& out, float value);
// FormatFixed's text in the "C" form, appended the same way.
void AppendFixed(std::string& out, double value, int decimals);
// Plain decimal integer: digits and a leading "-" when negative.
QString FormatInteger(int64_t value);
// An integer with a comma between thousands, as labels and messages in
// English write it: 1,234,567.
QString GroupedInteger(int64_t value);

} // namespace quillet
