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
// the plotted value over the window's track interval (see TrackInterval),
// so the intervals are sorted and never overlap, as genome browsers and
// the bigWig converters require.
#include "analysis/calcwindows.h"
#include "maps/plots.h"

#include <QString>
#include <cstdint>
#include <string>

class QIODevice;

namespace quillet {

enum class ValueFormat { Tsv, BedGraph, BigWig };

class ValueWriter {
public:
    ValueWriter(QIODevice& out, ValueFormat format, Plot plot, int32_t windowSize, int32_t step);
    ~ValueWriter();

    // The header line (TSV) or track line (bedGraph); call once, first.
    bool begin();
    // Every window of one record, whose first window starts at base
    // `firstPosition` of it (not 1 when only a stretch was computed).
    bool writeRecord(const QString& name, const WindowResults& windows, int64_t firstPosition = 1);
    // Writes what is still buffered; false when any write failed.
    bool finish();

    // Text of one plotted value: FormatSingle with "." (memoised for the
    // values windows can take, since a file repeats them a million times).
    const std::string& valueText(float value);
    // hundredths / 100 in general number format ("-12.3", "0.07", "5").
    static void AppendHundredths(std::string& out, int64_t hundredths);

private:
    bool flush();

    QIODevice& out_;
    ValueFormat format_;
    Plot plot_;
    int32_t windowSize_, step_;
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
struct TrackSpan {
    int64_t start, end;
};
TrackSpan TrackInterval(int64_t k, int64_t n, int32_t windowSize, int32_t step, int64_t firstPosition = 1);

} // namespace quillet
