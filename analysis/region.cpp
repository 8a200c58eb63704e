#include "analysis/region.h"

#include <algorithm>
#include <limits>

namespace quillet {

namespace {

constexpr int64_t kMaxPosition = std::numeric_limits<int64_t>::max();

bool SetError(QString* error, const QString& reason)
{
    if (error)
        *error = reason;
    return false;
}

bool IsDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

bool IsSuffix(QChar c)
{
    return c == u'k' || c == u'K' || c == u'm' || c == u'M';
}

// Text that can only have been meant as START-END: digits, separators,
// suffixes, blanks and at least one '-' and one digit.
bool LooksLikeRange(QStringView text)
{
    bool dash = false, digit = false;
    for (QChar c : text) {
        dash = dash || c == u'-';
        digit = digit || IsDigit(c);
        if (!IsDigit(c) && !IsSuffix(c) && c != u',' && c != u'.' && c != u'-' && c != u' ' && c != u'\t')
            return false;
    }
    return dash && digit;
}

enum class Whole { Read, Malformed, TooLarge };

// Digits with optional thousands separators: a first group of one to three
// digits, then groups of exactly three.
Whole ReadWhole(QStringView text, int64_t* value)
{
    const bool grouped = text.contains(u',');
    bool firstGroup = true;
    int groupDigits = 0;
    bool tooLarge = false;
    *value = 0;
    for (QChar c : text) {
        if (c == u',') {
            if (groupDigits == 0 || groupDigits > 3 || (!firstGroup && groupDigits != 3))
                return Whole::Malformed;
            firstGroup = false;
            groupDigits = 0;
        } else if (!IsDigit(c)) {
            return Whole::Malformed;
        } else {
            ++groupDigits;
            const int digit = c.unicode() - u'0';
            tooLarge = tooLarge || *value > (kMaxPosition - digit) / 10;
            *value = tooLarge ? 0 : *value * 10 + digit;
        }
    }
    if (groupDigits == 0 || (grouped && groupDigits != 3))
        return Whole::Malformed;
    return tooLarge ? Whole::TooLarge : Whole::Read;
}

// The decimal part of "1.25M" as the bases it adds (250,000), or nothing
// when it is no whole number of bases.
std::optional<int64_t> FractionBases(QStringView fraction, int64_t multiplier)
{
    while (fraction.endsWith(u'0'))
        fraction.chop(1);
    int64_t scale = 1, part = 0;
    for (QChar c : fraction) {
        scale *= 10;
        part = part * 10 + (c.unicode() - u'0');
        if (scale > multiplier)
            return std::nullopt;
    }
    if ((part * multiplier) % scale != 0)
        return std::nullopt;
    return part * multiplier / scale;
}

std::optional<int64_t> ReadPosition(QStringView text, const QString& which, QString* error)
{
    const QStringView t = text.trimmed();
    const QString quoted = QStringLiteral("\"%1\"").arg(t);
    if (t.isEmpty())
        return SetError(error, QStringLiteral("the %1 is missing: write START-END").arg(which)), std::nullopt;
    const bool suffixed = IsSuffix(t.back());
    const int64_t multiplier = !suffixed ? 1 : (t.back() == u'k' || t.back() == u'K') ? 1000 : 1000000;
    const QStringView number = suffixed ? t.chopped(1) : t;
    const qsizetype point = number.indexOf(u'.');
    const QStringView fraction = point < 0 ? QStringView() : number.mid(point + 1);
    int64_t whole = 0;
    const Whole read = ReadWhole(point < 0 ? number : number.left(point), &whole);
    if (read == Whole::Malformed || (point >= 0 && fraction.isEmpty()) ||
        !std::all_of(fraction.begin(), fraction.end(), IsDigit)) {
        const QString reason = QStringLiteral("%1 is not a position (write digits, \"1,000,000\" or \"1.5M\")");
        return SetError(error, reason.arg(quoted)), std::nullopt;
    }
    if (point >= 0 && !suffixed)
        return SetError(error, QStringLiteral("%1 has decimals but no k or M suffix").arg(quoted)), std::nullopt;
    const std::optional<int64_t> extra = FractionBases(fraction, multiplier);
    if (!extra)
        return SetError(error, QStringLiteral("%1 is not a whole number of bases").arg(quoted)), std::nullopt;
    if (read == Whole::TooLarge || whole > (kMaxPosition - *extra) / multiplier)
        return SetError(error, QStringLiteral("%1 is too large").arg(quoted)), std::nullopt;
    return whole * multiplier + *extra;
}

std::optional<Region> ReadRange(QStringView text, const QString& name, QString* error)
{
    const qsizetype dash = text.indexOf(u'-');
    if (text.indexOf(u'-', dash + 1) >= 0)
        return SetError(error, QStringLiteral("\"%1\" has more than one '-'").arg(text.trimmed())), std::nullopt;
    const std::optional<int64_t> start = ReadPosition(text.left(dash), QStringLiteral("start"), error);
    if (!start)
        return std::nullopt;
    const std::optional<int64_t> end = ReadPosition(text.mid(dash + 1), QStringLiteral("end"), error);
    if (!end)
        return std::nullopt;
    if (*start < 1)
        return SetError(error, QStringLiteral("the start must be 1 or more (positions count from 1)")), std::nullopt;
    if (*end < *start) {
        const QString reason = QStringLiteral("the end (%1) is before the start (%2)");
        return SetError(error, reason.arg(*end).arg(*start)), std::nullopt;
    }
    return Region{name, *start, *end};
}

// Blanks around the text and its name: any white space in text; in bytes
// read one to a character only ASCII ones, since 0x85 and 0xA0 are there
// parts of UTF-8 characters ("à" is C3 A0).
QStringView Trimmed(QStringView v, bool asciiBlanks)
{
    if (!asciiBlanks)
        return v.trimmed();
    const auto blank = [](QChar c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); };
    while (!v.isEmpty() && blank(v.front()))
        v = v.sliced(1);
    while (!v.isEmpty() && blank(v.back()))
        v.chop(1);
    return v;
}

std::optional<Region> Parse(QStringView text, bool asciiBlanks, QString* error)
{
    const QStringView t = Trimmed(text, asciiBlanks);
    if (t.isEmpty())
        return SetError(error, QStringLiteral("the region is empty")), std::nullopt;
    if (t.endsWith(u':'))
        return SetError(error, QStringLiteral("nothing follows ':' (write NAME:START-END or NAME)")), std::nullopt;
    for (qsizetype colon = t.lastIndexOf(u':'); colon >= 0; colon = colon > 0 ? t.lastIndexOf(u':', colon - 1) : -1) {
        const QStringView right = t.mid(colon + 1);
        if (!LooksLikeRange(right))
            continue;
        const QStringView name = Trimmed(t.left(colon), asciiBlanks);
        if (name.isEmpty())
            return SetError(error, QStringLiteral("no record name before ':'")), std::nullopt;
        return ReadRange(right, name.toString(), error);
    }
    if (LooksLikeRange(t))
        return ReadRange(t, QString(), error);
    return Region{t.toString(), 0, 0};
}

} // namespace

std::optional<Region> ParseRegion(const QString& text, QString* error)
{
    return Parse(text, false, error);
}

std::optional<Region> ParseRegionBytes(const QByteArray& text, QString* error)
{
    return Parse(QString::fromLatin1(text), true, error);
}

QString FormatRegion(const Region& region)
{
    if (region.wholeRecord())
        return region.name;
    const QString range = QStringLiteral("%1-%2").arg(region.start).arg(region.end);
    return region.name.isEmpty() ? range : region.name + u':' + range;
}

} // namespace quillet
