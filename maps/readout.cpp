#include "maps/readout.h"

#include "analysis/numtext.h"

#include <cmath>

namespace quillet {

std::optional<int64_t> ReadoutPosition(float x, float y, float w, float h, const QString& totalBasesText)
{
    const float right = w - 300.0f;
    const float bottom = h - 300.0f;
    if (!(x > 600.0f && x < right && y > 300.0f && y < bottom) || totalBasesText.isEmpty())
        return std::nullopt;
    const auto total = ReadNumber(totalBasesText, NumberLocale::c());
    if (!total)
        return std::nullopt;
    const double pos = (*total / (double(w) - 900.0)) * (double(x) - 600.0);
    return static_cast<int64_t>(std::trunc(pos));
}

} // namespace quillet
