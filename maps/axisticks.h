#pragma once
// Ticks for axes whose range depends on the data: steps of 1, 2 or 5 times a
// power of ten, value labels with the decimals the step needs, and positions
// in bases written in bp, Kb or Mb.
#include <QString>
#include <cstdint>
#include <vector>

namespace quillet {

// The smallest step of 1, 2 or 5 x 10^k that cuts `span` into at most
// `maxIntervals` parts (1 for an empty or invalid span).
double NiceStep(double span, int maxIntervals);

struct ValueTicks {
    double step = 1;
    double low = 0, high = 1;   // the range widened to whole steps, low < high
    std::vector<double> values; // low, low + step, ..., high
};
// Ticks covering lo .. hi with at most about `maxIntervals` intervals.
ValueTicks NiceValueTicks(double lo, double hi, int maxIntervals);
// A tick's label with as many decimals as the step needs ("0.5", "-12",
// "0.25"), in the user's number format as the maps write numbers.
QString ValueLabel(double value, double step);

struct PositionTick {
    int64_t position = 0;
    QString label; // "800bp", "250Kb", "1.5Mb"
};
// Positions that are whole multiples of a 1-2-5 step within first .. last,
// all labelled in the unit of the largest ("1,000,500" as "1.0005Mb" when the
// step is 500).
std::vector<PositionTick> NicePositionTicks(int64_t first, int64_t last, int maxIntervals);

} // namespace quillet
