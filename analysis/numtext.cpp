#include "analysis/numtext.h"

#include "analysis/failure.h"

#include <QLocale>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <locale.h>
#include <string>

namespace quillet {

namespace {

bool IsBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == QChar(0x00A0);
}

bool IsDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// strtod that ignores the process locale: the text handed to it has already
// been normalised to the "C" form ("." as decimal separator).
double StrtodC(const char* text, char** end)
{
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return strtod_l(text, end, cLocale);
}

QChar SingleChar(const QString& s, QChar fallback)
{
    return s.size() == 1 ? s.at(0) : fallback;
}

// 10^d; exact (and cheap) for 0 <= d <= 22, the powers a double holds exactly.
double PowerOfTen(int d)
{
    static constexpr double kExact[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    if (d >= 0 && d <= 22)
        return kExact[d];
    return std::pow(10.0, d);
}

// "%.*f" in the "C" form whatever LC_NUMERIC says (Qt applies the
// environment's locale to the C library): a finite value's exact decimal
// expansion rounded, halves to even, to `places` >= 0 places. A double has
// at most 309 digits before the point; with the sign and the point the
// buffer holds every text, and a failure would give no text rather than a
// cut one.
std::string FixedText(double value, int places)
{
    places = std::max(places, 0);
    std::string text(static_cast<std::size_t>(places) + 311, '\0');
    const auto r = std::to_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed, places);
    text.resize(r.ec == std::errc() ? static_cast<std::size_t>(r.ptr - text.data()) : 0);
    return text;
}

} // namespace

NumberLocale NumberLocale::system()
{
    const QLocale loc = QLocale::system();
    NumberLocale result;
    result.decimalPoint = SingleChar(loc.decimalPoint(), u'.');
    result.minusSign = SingleChar(loc.negativeSign(), u'-');
    return result;
}

std::optional<double> ReadNumber(QStringView text, const NumberLocale& loc)
{
    // Validate the shape ourselves and hand strtod a plain ASCII copy, so
    // that neither the process locale nor strtod's extras ("inf", "nan",
    // hexadecimal) can sneak in.
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && IsBlank(text[i]))
        ++i;

    std::string ascii;
    ascii.reserve(static_cast<std::size_t>(n) + 1);
    // An optional sign ("+", "-" or the locale's minus), copied as ASCII.
    const auto takeSign = [&] {
        if (i < n && (text[i] == u'+' || text[i] == u'-' || text[i] == loc.minusSign)) {
            ascii.push_back(text[i] == u'+' ? '+' : '-');
            ++i;
        }
    };
    // A run of decimal digits, copied; returns how many there were.
    const auto takeDigits = [&] {
        int count = 0;
        for (; i < n && IsDigit(text[i]); ++i, ++count)
            ascii.push_back(static_cast<char>(text[i].unicode()));
        return count;
    };

    takeSign();
    int mantissaDigits = takeDigits();
    if (i < n && text[i] == loc.decimalPoint) {
        ascii.push_back('.');
        ++i;
        mantissaDigits += takeDigits();
    }
    if (mantissaDigits == 0)
        return std::nullopt;

    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ascii.push_back('e');
        ++i;
        takeSign();
        if (takeDigits() == 0)
            return std::nullopt;
    }

    while (i < n && IsBlank(text[i]))
        ++i;
    if (i != n)
        return std::nullopt;

    char* end = nullptr;
    const double value = StrtodC(ascii.c_str(), &end);
    if (end != ascii.c_str() + ascii.size() || !std::isfinite(value))
        return std::nullopt;
    // Underflow yields 0 or a subnormal, which is an acceptable reading of a
    // tiny number; only overflow (infinite) is refused above.
    return value + 0.0; // no negative zero
}

int32_t ToInt32(double value)
{
    if (!std::isfinite(value))
        throw Failure("number is not finite");
    // nearbyint rounds with the current mode, which is to-nearest-even.
    const double r = std::nearbyint(value);
    if (r < -2147483648.0 || r > 2147483647.0)
        throw Failure("number out of 32-bit range");
    return static_cast<int32_t>(r);
}

int32_t ToInt32(QStringView text, const NumberLocale& loc)
{
    const std::optional<double> v = ReadNumber(text, loc);
    if (!v)
        throw Failure("text is no number");
    return ToInt32(*v);
}

int32_t IntDiv(double a, double b)
{
    const int64_t x = ToInt32(a);
    const int64_t y = ToInt32(b);
    if (y == 0)
        throw Failure("division by zero");
    const int64_t q = x / y; // C++ division truncates towards zero
    if (q > std::numeric_limits<int32_t>::max())
        throw Failure("quotient out of 32-bit range"); // -2^31 \ -1
    return static_cast<int32_t>(q);
}

double RoundHalfEven(double value, int decimals)
{
    if (!std::isfinite(value))
        return value;
    constexpr double kIntegersOnly = 4503599627370496.0; // 2^52: every double past it is an integer
    if (std::fabs(value) >= kIntegersOnly)
        return value;
    const double scale = PowerOfTen(decimals);
    const double scaled = value * scale;
    if (std::isfinite(scaled) && std::fabs(scaled) < kIntegersOnly)
        return std::nearbyint(scaled) / scale + 0.0; // + 0.0 turns -0 into 0
    // The scaled value no longer holds the fraction to round (and may not be
    // finite), yet the value can still be finer than the decimals asked for
    // (544444444444444.4375 to one decimal). The exact decimal expansion
    // that "%.*f" rounds, halves to even, is the rounding itself.
    return StrtodC(FixedText(value, decimals).c_str(), nullptr) + 0.0;
}

namespace {

// A finite, non-zero value rounded to `significant` digits: its digits
// without trailing zeros, its decimal exponent and its sign. to_chars
// rounds as "%.*e" does, in the "C" form, and takes care of carries such as
// 9.9999999 -> 1E+01.
struct Digits {
    std::string digits;
    int exponent = 0;
    bool negative = false;
};

Digits RoundedDigits(double value, int significant)
{
    char buf[64]; // "-d.<16 digits>e-308" at 17 significant digits
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, significant - 1);
    if (r.ec != std::errc()) // not at 17 digits or fewer: at most 24 bytes
        return Digits{"0", 0, value < 0};
    const std::string s(buf, r.ptr);
    const std::size_t ePos = s.find('e');
    Digits d;
    d.negative = s[0] == '-';
    for (std::size_t k = d.negative ? 1 : 0; k < ePos; ++k) {
        if (s[k] != '.')
            d.digits.push_back(s[k]);
    }
    d.exponent = std::atoi(s.c_str() + ePos + 1);
    while (d.digits.size() > 1 && d.digits.back() == '0')
        d.digits.pop_back();
    return d;
}

QLatin1StringView Part(const std::string& digits, std::size_t from, std::size_t count)
{
    return QLatin1StringView(digits.data() + from, static_cast<qsizetype>(count));
}

// 1.2345E+07, 1E-05.
void AppendScientific(QString& out, const Digits& d, const NumberLocale& loc)
{
    out.append(QLatin1Char(d.digits[0]));
    if (d.digits.size() > 1) {
        out.append(loc.decimalPoint);
        out.append(Part(d.digits, 1, d.digits.size() - 1));
    }
    const int magnitude = std::abs(d.exponent);
    out.append(QLatin1StringView(d.exponent < 0 ? "E-" : "E+"));
    if (magnitude < 10)
        out.append(QLatin1Char('0'));
    out.append(QString::number(magnitude));
}

// 0.00123, 12300, 12.5.
void AppendPlain(QString& out, const Digits& d, const NumberLocale& loc)
{
    if (d.exponent < 0) {
        out.append(QLatin1Char('0'));
        out.append(loc.decimalPoint);
        out.append(QString(-d.exponent - 1, QLatin1Char('0')));
        out.append(Part(d.digits, 0, d.digits.size()));
        return;
    }
    const std::size_t intDigits = static_cast<std::size_t>(d.exponent) + 1;
    if (d.digits.size() <= intDigits) {
        out.append(Part(d.digits, 0, d.digits.size()));
        out.append(QString(static_cast<qsizetype>(intDigits - d.digits.size()), QLatin1Char('0')));
    } else {
        out.append(Part(d.digits, 0, intDigits));
        out.append(loc.decimalPoint);
        out.append(Part(d.digits, intDigits, d.digits.size() - intDigits));
    }
}

} // namespace

QString FormatGeneral(double value, int significant, const NumberLocale& loc)
{
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value < 0 ? QString(loc.minusSign) + QStringLiteral("Inf") : QStringLiteral("Inf");
    if (value == 0.0)
        return QStringLiteral("0");
    significant = std::clamp(significant, 1, 17);
    const Digits d = RoundedDigits(value, significant);
    QString out;
    if (d.negative)
        out.append(loc.minusSign);
    if (d.exponent >= significant || d.exponent < -4)
        AppendScientific(out, d, loc);
    else
        AppendPlain(out, d, loc);
    return out;
}

QString FormatSingle(float value, const NumberLocale& loc)
{
    return FormatGeneral(static_cast<double>(value), 7, loc);
}

namespace {

// The significant digits of a positive value as "%.*e" gives them (to_chars
// rounds the exact binary value as printf does, in the "C" form whatever
// the locale), without trailing zeros, and its decimal exponent.
struct DecimalDigits {
    char digits[24];
    std::size_t count = 0;
    int exponent = 0;
};

DecimalDigits ScientificDigits(double magnitude, int significant)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific, significant - 1);
    const char* const e = std::find(buf, r.ptr, 'e');
    DecimalDigits d;
    for (const char* c = buf; c < e; ++c)
        if (*c != '.')
            d.digits[d.count++] = *c;
    while (d.count > 1 && d.digits[d.count - 1] == '0')
        --d.count;
    std::from_chars(e + 1 + (e[1] == '+' ? 1 : 0), r.ptr, d.exponent);
    return d;
}

// 1.2345E+07, 1E-05.
void AppendExponentForm(std::string& out, const DecimalDigits& d)
{
    out += d.digits[0];
    if (d.count > 1) {
        out += '.';
        out.append(d.digits + 1, d.count - 1);
    }
    const int magnitude = std::abs(d.exponent);
    out += d.exponent < 0 ? "E-" : "E+";
    if (magnitude < 10)
        out += '0';
    char exp[8];
    out.append(exp, std::to_chars(exp, exp + sizeof exp, magnitude).ptr);
}

// 0.00123, 12300, 12.5.
void AppendPlainForm(std::string& out, const DecimalDigits& d)
{
    if (d.exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-d.exponent - 1), '0');
        out.append(d.digits, d.count);
        return;
    }
    const std::size_t intDigits = static_cast<std::size_t>(d.exponent) + 1;
    if (d.count <= intDigits) {
        out.append(d.digits, d.count);
        out.append(intDigits - d.count, '0');
    } else {
        out.append(d.digits, intDigits);
        out += '.';
        out.append(d.digits + intDigits, d.count - intDigits);
    }
}

} // namespace

void AppendGeneral(std::string& out, double value, int significant)
{
    if (std::isnan(value)) {
        out += "NaN";
        return;
    }
    if (std::isinf(value)) {
        out += value < 0 ? "-Inf" : "Inf";
        return;
    }
    if (value == 0.0) {
        out += '0';
        return;
    }
    significant = std::clamp(significant, 1, 17);
    const DecimalDigits d = ScientificDigits(std::fabs(value), significant);
    if (value < 0)
        out += '-';
    if (d.exponent >= significant || d.exponent < -4)
        AppendExponentForm(out, d);
    else
        AppendPlainForm(out, d);
}

void AppendSingle(std::string& out, float value)
{
    AppendGeneral(out, static_cast<double>(value), 7);
}

void AppendFixed(std::string& out, double value, int decimals)
{
    if (!std::isfinite(value)) {
        AppendGeneral(out, value, 15);
        return;
    }
    decimals = std::max(decimals, 0);
    const double rounded = RoundHalfEven(value, decimals);
    if (rounded < 0.0)
        out += '-';
    // to_chars writes the exact places "%.*f" writes; past its buffer (over
    // about a hundred places) the formatted text is the way.
    char buf[128];
    const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(rounded), std::chars_format::fixed, decimals);
    if (r.ec == std::errc())
        out.append(buf, r.ptr);
    else
        out += FormatFixed(std::fabs(rounded), decimals, NumberLocale::c()).toStdString();
}

QString FormatFixed(double value, int decimals, const NumberLocale& loc)
{
    if (!std::isfinite(value))
        return FormatGeneral(value, 15, loc);
    if (decimals < 0)
        decimals = 0;
    const double rounded = RoundHalfEven(value, decimals);
    // The rounded value is the double nearest a number with `decimals`
    // places, so its fixed text reproduces exactly those places.
    const std::string buf = FixedText(std::fabs(rounded), decimals);
    QString out;
    if (rounded < 0.0)
        out.append(loc.minusSign);
    const QString body = QString::fromLatin1(buf.data(), static_cast<qsizetype>(buf.size()));
    if (loc.decimalPoint != u'.') {
        QString replaced = body;
        replaced.replace(QLatin1Char('.'), loc.decimalPoint);
        out.append(replaced);
    } else {
        out.append(body);
    }
    return out;
}

QString FormatInteger(int64_t value)
{
    return QString::number(value);
}

QString GroupedInteger(int64_t value)
{
    QString digits = QString::number(value < 0 ? -value : value);
    for (int i = int(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(i, u',');
    return value < 0 ? QStringLiteral("-") + digits : digits;
}

} // namespace quillet
