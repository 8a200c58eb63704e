#include "maps/axisticks.h"

#include "analysis/numtext.h"

#include <cmath>

namespace quillet {

double NiceStep(double span, int maxIntervals)
{
    if (!(span > 0) || !std::isfinite(span) || maxIntervals < 1)
        return 1;
    const double rough = span / maxIntervals;
    double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (;;) {
        for (double m : {1.0, 2.0, 5.0}) {
            if (m * power >= rough * (1 - 1e-9))
                return m * power;
        }
        power *= 10;
    }
}

ValueTicks NiceValueTicks(double lo, double hi, int maxIntervals)
{
    ValueTicks t;
    if (!std::isfinite(lo) || !std::isfinite(hi))
        lo = hi = 0;
    if (hi < lo)
        std::swap(lo, hi);
    t.step = NiceStep(hi - lo, maxIntervals);
    const double first = std::floor(lo / t.step + 1e-9), last = std::ceil(hi / t.step - 1e-9);
    t.low = first * t.step;
    t.high = (last > first ? last : first + 1) * t.step;
    for (double k = first; k * t.step <= t.high + t.step * 1e-9; k += 1)
        t.values.push_back(k * t.step == 0 ? 0.0 : k * t.step);
    return t;
}

QString ValueLabel(double value, double step)
{
    const int decimals = step >= 1 ? 0 : int(std::ceil(-std::log10(step) - 1e-9));
    return FormatGeneral(RoundHalfEven(value, decimals));
}

std::vector<PositionTick> NicePositionTicks(int64_t first, int64_t last, int maxIntervals)
{
    std::vector<PositionTick> ticks;
    if (last < first)
        return ticks;
    const int64_t step = std::max<int64_t>(1, int64_t(std::llround(NiceStep(double(last - first), maxIntervals))));
    const double unit = last >= 1000000 ? 1e6 : last >= 1000 ? 1e3 : 1;
    const QString unitText = unit == 1e6   ? QStringLiteral("Mb")
                             : unit == 1e3 ? QStringLiteral("Kb")
                                           : QStringLiteral("bp");
    const double labelStep = double(step) / unit;
    for (int64_t p = (first + step - 1) / step * step; p <= last; p += step)
        ticks.push_back({p, ValueLabel(double(p) / unit, labelStep) + unitText});
    return ticks;
}

} // namespace quillet
