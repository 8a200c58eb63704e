#pragma once
// The numbers behind the map as text: a TSV table of every window, or a
// bedGraph track of the plotted values. Records are written one at a time,
// so a file of many records never has to be held whole. No widgets: the
// window and a command-line program both use it.
//
// Window k (1-based) of a record covers positions (k-1)*step+1 ..
// (k-1)*step+windowSize. Values are written with the program's own number
// text and "." as decimal point, exactly the floats the map plots, so a
// reader parses back the same float.
//
// TSV: a header line, then per window: record, start, end (1-based,
// inclusive), G+C %, G-C/G+C, unknown % (100 * unknown positions / window
// size, to two decimals), cumulative G-C/G+C (sum of the G-C/G+C of windows
// 1 .. k of the record).
// bedGraph: a track line naming the plot, then per window: chromosome (the
// record name up to its first blank), start (0-based), end (exclusive) and
// the plot's value (G+C %, G-C/G+C or the cumulative G-C/G+C) over the
// window's track interval (see TrackInterval), so the intervals are sorted
// and never overlap, as genome browsers and the bigWig converters require.
//
// ValueOptions may leave the windows of mostly unknown bases out, and
// write exact values instead of the map's.
#include "analysis/calcwindows.h"
#include "maps/plots.h"

#include <QString>
#include <cstdint>
#include <string>

class QIODevice;

namespace quillet {

enum class ValueFormat { Tsv, BedGraph, BigWig };

// How values are written besides the map's values of every window (the
// default of each).
struct ValueOptions {
    // Windows of mostly unknown bases (MostlyUnknownWindow) are gaps, as in
    // the marked map's curve: no bedGraph line, no bigWig interval, "NA" in
    // the TSV's value columns (G+C %, G-C/G+C and the cumulative one; the
    // unknown % stays). The running sum still counts them, as the map's.
    bool gaps = false;
    // Values from the windows' exact sums (WindowResults::GCTenths and
    // SkewTenths) rather than the map's rounded values: G+C % and G-C/G+C
    // to 6 significant digits, and the running sum of those exact G-C/G+C
    // values. A bigWig holds the floats of that text. Windows without their
    // sums keep the map's values.
    bool unrounded = false;
};

// One value as an export writes it: a float the map plots (in its own
// number text), a running sum of the map's values in hundredths, or an
// exact value (to 6 significant digits).
struct ExportedValue {
    enum class Kind { Plotted, Hundredths, Exact } kind = Kind::Plotted;
    float plotted = 0;
    int64_t hundredths = 0;
    double exact = 0;
};
// Its text, as the TSV and bedGraph write it, and the float a bigWig holds
// (that of the text).
void AppendExported(std::string& out, const ExportedValue& v);
float ExportedFloat(const ExportedValue& v);

// The windows of one record as an export goes through them, in order
// (the running sum needs them so): next() moves to the next window, and
// the values are those of the window it is on.
class WindowCursor {
public:
    WindowCursor(const WindowResults& w, int32_t windowSize, const ValueOptions& options);
    int64_t windows() const { return n_; }
    // The first window at the first call, then the next; false past the last.
    bool next();
    int64_t index() const { return k_; } // 1-based
    // Left out of the values (ValueOptions::gaps).
    bool gap() const;
    int64_t unknown() const;
    ExportedValue gc() const;
    ExportedValue skew() const;
    ExportedValue cumulative() const;
    ExportedValue value(Plot plot) const;

private:
    float skewValue() const;
    double exactSkew() const;

    const WindowResults& w_;
    int32_t windowSize_;
    ValueOptions options_;
    int64_t n_ = 0, k_ = 0;
    bool counted_ = false, exact_ = false;
    int64_t hundredths_ = 0; // the running sum of the map's values
    double exactSum_ = 0;    // and of the exact ones
};

struct TrackSpan;

class ValueWriter {
public:
    ValueWriter(QIODevice& out, ValueFormat format, Plot plot, int32_t windowSize, int32_t step,
                const ValueOptions& options = {});
    ~ValueWriter();

    // The header line (TSV) or track line (bedGraph); call once, first.
    bool begin();
    // Every window of one record, whose first window starts at base
    // `firstPosition` of it (not 1 when only a stretch was computed). On a
    // circle of `circle` bases (0: a line) the TSV gives a window across
    // the origin the end it has on the circle (below its start), and the
    // bedGraph cuts its interval in two (see OnCircle).
    bool writeRecord(const QString& name, const WindowResults& windows, int64_t firstPosition = 1, int64_t circle = 0);
    // Writes what is still buffered; false when any write failed.
    bool finish();

    // Text of one plotted value: FormatSingle with "." (memoised for the
    // values windows can take, since a file repeats them a million times).
    const std::string& valueText(float value);
    // hundredths / 100 in general number format ("-12.3", "0.07", "5").
    static void AppendHundredths(std::string& out, int64_t hundredths);

private:
    bool flush();
    void append(const ExportedValue& v);
    bool writeTableRow(const std::string& label, const WindowCursor& window, int64_t firstPosition, int64_t circle);
    bool writeTrackRecord(const std::string& label, const WindowResults& w, int64_t firstPosition, int64_t circle);
    bool writeTrackLine(const std::string& label, TrackSpan span, const WindowCursor& window);

    QIODevice& out_;
    ValueFormat format_;
    Plot plot_;
    int32_t windowSize_, step_;
    ValueOptions options_;
    std::string buffer_;
    bool ok_ = true;
    struct Cached {
        bool set = false;
        float value = 0;
        std::string text;
    };
    Cached gcCache_[1001];  // 0.0 .. 100.0 by tenths
    Cached skewCache_[201]; // -1.00 .. 1.00 by hundredths
    std::string scratch_;
};

// The stretch of a record that window k (1-based) of n stands for in a
// track (bedGraph, bigWig): 0-based start, exclusive end. When the step is
// at least the window size (or below 1: one window) it is the window
// itself. When the step is smaller, windows overlap, and each one stands
// for the step-wide slice at its centre, starting (windowSize - step) / 2
// bases (rounded down) into the window; the slices of windows k and k + 1
// meet, and the first and the last window reach out to their own outer
// edges. Each base of the windows' extent so goes to exactly one window,
// the one whose centre is nearest (the later one on a tie), and the
// intervals tile that extent in order.
//
// On a circle of `circle` bases (0: a line) whose windows run past its
// last base to its first (RecordInfo::wrapped), the last window and the
// first are neighbours too: where they overlap they share the bases
// between them as any two overlapping neighbours do, so the intervals tile
// the circle (or the windows' extent on it) and never overlap. The span is
// then unrolled: it may run past `circle`, and OnCircle cuts it at the
// origin.
struct TrackSpan {
    int64_t start, end;
    bool empty() const { return end <= start; }
};
TrackSpan TrackInterval(int64_t k, int64_t n, int32_t windowSize, int32_t step, int64_t firstPosition = 1,
                        int64_t circle = 0);
// An unrolled span on a circle of `circle` bases as two intervals of the
// chromosome: the part past the origin, moved to its start (empty when
// none), and the part before it (empty when the span lies wholly past it).
// A track writes the parts past the origin of every window first, so its
// intervals stay sorted. On a line (`circle` 0) the span is the second part.
struct CircleParts {
    TrackSpan pastOrigin{0, 0}, beforeOrigin{0, 0};
};
CircleParts OnCircle(TrackSpan span, int64_t circle);

} // namespace quillet
