#include "maps/exportvalues.h"

#include "analysis/numtext.h"
#include "analysis/recordname.h"

#include <QIODevice>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace quillet {

namespace {

constexpr std::size_t kFlushAt = std::size_t(1) << 16;

void AppendInt(std::string& out, int64_t v)
{
    char buf[24];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

// The record column of the TSV: the name on one line. A header line ended
// by CR LF leaves its CR in the name; in a table it would end the field for
// many readers, so it goes, as do tabs and line feeds inside.
QString TableName(const QString& name)
{
    QString n = name;
    if (n.endsWith(u'\r'))
        n.chop(1);
    return n.replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
}

// Exact values are written to this many significant digits.
constexpr int kExactDigits = 6;

} // namespace

void AppendExported(std::string& out, const ExportedValue& v)
{
    switch (v.kind) {
    case ExportedValue::Kind::Plotted: AppendSingle(out, v.plotted); return;
    case ExportedValue::Kind::Hundredths: ValueWriter::AppendHundredths(out, v.hundredths); return;
    case ExportedValue::Kind::Exact: AppendGeneral(out, v.exact, kExactDigits); return;
    }
}

float ExportedFloat(const ExportedValue& v)
{
    switch (v.kind) {
    case ExportedValue::Kind::Plotted: return v.plotted;
    case ExportedValue::Kind::Hundredths: return float(double(v.hundredths) / 100.0);
    case ExportedValue::Kind::Exact: {
        // The value of the text the TSV and bedGraph write, so that every
        // output of a window holds the same value.
        std::string text;
        AppendGeneral(text, v.exact, kExactDigits);
        return float(std::strtod(text.c_str(), nullptr));
    }
    }
    return 0;
}

WindowCursor::WindowCursor(const WindowResults& w, int32_t windowSize, const ValueOptions& options)
    : w_(w), windowSize_(windowSize), options_(options),
      n_(w.GCValues.size() >= 2 ? int64_t(w.GCValues.size()) - 2 : 0),
      counted_(w.UnknownCounts.size() == w.GCValues.size()),
      exact_(options.unrounded && w.GCTenths.size() == w.GCValues.size() && w.SkewTenths.size() == w.GCValues.size())
{}

bool WindowCursor::next()
{
    if (k_ >= n_)
        return false;
    ++k_;
    hundredths_ += std::llround(double(skewValue()) * 100.0);
    if (exact_)
        exactSum_ += exactSkew();
    return true;
}

float WindowCursor::skewValue() const
{
    return w_.SkewValues.size() > std::size_t(k_) ? w_.SkewValues[std::size_t(k_)] : 0.0f;
}

// G-C/G+C from the window's sums, 0 without G+C weight (as the map's).
double WindowCursor::exactSkew() const
{
    const int64_t gc = w_.GCTenths[std::size_t(k_)];
    return gc == 0 ? 0.0 : double(w_.SkewTenths[std::size_t(k_)]) / double(gc);
}

bool WindowCursor::gap() const
{
    return options_.gaps && MostlyUnknownWindow(unknown(), windowSize_);
}

int64_t WindowCursor::unknown() const
{
    return counted_ ? w_.UnknownCounts[std::size_t(k_)] : 0;
}

ExportedValue WindowCursor::gc() const
{
    if (exact_)
        return {.kind = ExportedValue::Kind::Exact,
                .exact = double(w_.GCTenths[std::size_t(k_)]) * 10.0 / double(windowSize_)};
    return {.plotted = w_.GCValues[std::size_t(k_)]};
}

ExportedValue WindowCursor::skew() const
{
    if (exact_)
        return {.kind = ExportedValue::Kind::Exact, .exact = exactSkew()};
    return {.plotted = skewValue()};
}

ExportedValue WindowCursor::cumulative() const
{
    if (exact_)
        return {.kind = ExportedValue::Kind::Exact, .exact = exactSum_};
    return {.kind = ExportedValue::Kind::Hundredths, .hundredths = hundredths_};
}

ExportedValue WindowCursor::value(Plot plot) const
{
    switch (plot) {
    case Plot::GCContent: return gc();
    case Plot::Skew: return skew();
    case Plot::Cumulative: return cumulative();
    }
    return gc();
}

TrackSpan TrackInterval(int64_t k, int64_t n, int32_t windowSize, int32_t step, int64_t firstPosition, int64_t circle)
{
    const int64_t st = step >= 1 ? step : 0;
    const int64_t start = (k - 1) * st + firstPosition - 1, end = start + windowSize;
    if (circle > 0 && st > 0) {
        // The gap between the starts of neighbours: the step, or from the
        // last window's start round to the first's. Overlapping neighbours
        // meet halfway into their overlap, as the slices below do.
        const int64_t round = circle - (n - 1) * st;
        const int64_t before = k == 1 ? round : st, after = k == n ? round : st;
        return {before < windowSize ? start + (windowSize - before) / 2 : start,
                after < windowSize ? start + after + (windowSize - after) / 2 : end};
    }
    if (st == 0 || st >= windowSize)
        return {start, end};
    const int64_t slice = start + (windowSize - st) / 2;
    return {k == 1 ? start : slice, k == n ? end : slice + st};
}

CircleParts OnCircle(TrackSpan span, int64_t circle)
{
    if (circle <= 0)
        return {{0, 0}, span};
    CircleParts parts;
    if (span.end > circle)
        parts.pastOrigin = {std::max(span.start, circle) - circle, span.end - circle};
    if (span.start < circle)
        parts.beforeOrigin = {span.start, std::min(span.end, circle)};
    return parts;
}

ValueWriter::ValueWriter(QIODevice& out, ValueFormat format, Plot plot, int32_t windowSize, int32_t step,
                         const ValueOptions& options)
    : out_(out), format_(format), plot_(plot), windowSize_(windowSize), step_(step), options_(options)
{
    buffer_.reserve(kFlushAt + 4096);
}

ValueWriter::~ValueWriter() = default;

void ValueWriter::AppendHundredths(std::string& out, int64_t hundredths)
{
    if (hundredths < 0) {
        out += '-';
        hundredths = -hundredths;
    }
    AppendInt(out, hundredths / 100);
    const int cents = int(hundredths % 100);
    if (cents != 0) {
        out += '.';
        out += char('0' + cents / 10);
        if (cents % 10 != 0)
            out += char('0' + cents % 10);
    }
}

const std::string& ValueWriter::valueText(float value)
{
    // A slot holds the first float that came to it; any other float of the
    // same slot takes the slow path, so a slot never gives another's text.
    Cached* slot = nullptr;
    if (value >= -1.0f && value <= 1.0f)
        slot = &skewCache_[int(std::nearbyint(value * 100.0f)) + 100];
    else if (value > 1.0f && value <= 100.0f)
        slot = &gcCache_[int(std::nearbyint(value * 10.0f))];
    if (slot && slot->set && slot->value == value && !std::signbit(value))
        return slot->text;
    scratch_.clear();
    AppendSingle(scratch_, value);
    if (slot && !slot->set && !std::signbit(value)) {
        slot->set = true;
        slot->value = value;
        slot->text = scratch_;
    }
    return scratch_;
}

bool ValueWriter::begin()
{
    if (format_ == ValueFormat::Tsv) {
        buffer_ += "record\tstart\tend\tG+C %\tG-C/G+C\tunknown %\tcumulative G-C/G+C\n";
    } else {
        const QString name = PlotName(plot_);
        // Which stretch a value stands for: its window, or the step-wide
        // slice at its window's centre when windows overlap.
        const bool slices = step_ >= 1 && step_ < windowSize_;
        const QString description =
            QString(TraitsOf(plot_).valuesDescription) +
            QStringLiteral(" in windows of %1 bp, step %2 bp").arg(windowSize_).arg(step_) +
            (slices ? QStringLiteral("; each value covers the %1 bp at its window's centre, the first and last "
                                     "reach their window's ends")
                          .arg(step_)
                    : QStringLiteral("; each value covers its window")) +
            (options_.unrounded ? QStringLiteral("; exact values to 6 significant digits") : QString()) +
            (options_.gaps ? QStringLiteral("; windows with more than half of their bases unknown are left out")
                           : QString());
        buffer_ +=
            QStringLiteral("track type=bedGraph name=\"%1\" description=\"%2\"\n").arg(name, description).toStdString();
    }
    return flush();
}

void ValueWriter::append(const ExportedValue& v)
{
    if (v.kind == ExportedValue::Kind::Plotted)
        buffer_ += valueText(v.plotted);
    else
        AppendExported(buffer_, v);
}

bool ValueWriter::writeRecord(const QString& name, const WindowResults& w, int64_t firstPosition, int64_t circle)
{
    // The header's own bytes: the engine reads a header one byte to one
    // character, so Latin-1 gives them back (UTF-8 would encode them twice).
    const std::string label =
        WithoutNul(format_ == ValueFormat::Tsv ? TableName(name) : RecordId(name)).toLatin1().toStdString();
    if (format_ != ValueFormat::Tsv)
        return writeTrackRecord(label, w, firstPosition, circle);
    WindowCursor window(w, windowSize_, options_);
    while (window.next())
        if (!writeTableRow(label, window, firstPosition, circle))
            return false;
    return flush();
}

bool ValueWriter::writeTableRow(const std::string& label, const WindowCursor& window, int64_t firstPosition,
                                int64_t circle)
{
    const int64_t step = step_ >= 1 ? step_ : 0; // a step of 0 or below: the one window 1 .. windowSize
    const bool gap = window.gap();
    const int64_t start0 = (window.index() - 1) * step + firstPosition - 1;
    const int64_t end = start0 + windowSize_;
    buffer_ += label;
    buffer_ += '\t';
    AppendInt(buffer_, start0 + 1);
    buffer_ += '\t';
    AppendInt(buffer_, circle > 0 && end > circle ? end - circle : end);
    buffer_ += '\t';
    if (gap)
        buffer_ += "NA\tNA";
    else {
        append(window.gc());
        buffer_ += '\t';
        append(window.skew());
    }
    buffer_ += '\t';
    if (const int64_t unknown = window.unknown(); unknown == 0)
        buffer_ += '0';
    else
        AppendHundredths(buffer_, std::llround(10000.0 * double(unknown) / double(windowSize_)));
    buffer_ += '\t';
    if (gap)
        buffer_ += "NA";
    else
        append(window.cumulative());
    buffer_ += '\n';
    return buffer_.size() < kFlushAt || flush();
}

// A circle's windows go by twice: first for the parts of their intervals
// past the origin (at the chromosome's start), then for the rest.
bool ValueWriter::writeTrackRecord(const std::string& label, const WindowResults& w, int64_t firstPosition,
                                   int64_t circle)
{
    for (const bool pastOrigin : {true, false}) {
        if (pastOrigin && circle <= 0)
            continue;
        WindowCursor window(w, windowSize_, options_);
        while (window.next()) {
            if (window.gap())
                continue; // no interval
            const CircleParts parts = OnCircle(
                TrackInterval(window.index(), window.windows(), windowSize_, step_, firstPosition, circle), circle);
            const TrackSpan span = pastOrigin ? parts.pastOrigin : parts.beforeOrigin;
            if (!span.empty() && !writeTrackLine(label, span, window))
                return false;
        }
    }
    return flush();
}

bool ValueWriter::writeTrackLine(const std::string& label, TrackSpan span, const WindowCursor& window)
{
    buffer_ += label;
    buffer_ += '\t';
    AppendInt(buffer_, span.start);
    buffer_ += '\t';
    AppendInt(buffer_, span.end);
    buffer_ += '\t';
    append(window.value(plot_));
    buffer_ += '\n';
    return buffer_.size() < kFlushAt || flush();
}

bool ValueWriter::flush()
{
    if (!buffer_.empty() && ok_) {
        ok_ = out_.write(buffer_.data(), qint64(buffer_.size())) == qint64(buffer_.size());
    }
    buffer_.clear();
    return ok_;
}

bool ValueWriter::finish()
{
    return flush();
}

} // namespace quillet
