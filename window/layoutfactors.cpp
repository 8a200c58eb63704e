#include "window/layoutfactors.h"

namespace quillet {

LayoutFactors ComputeLayoutFactors(float screenWidthTwips, float screenHeightTwips)
{
    const long double k = screenWidthTwips >= 15359.0f ? 15.0L : 13.0L;
    LayoutFactors f;
    f.fy = float(static_cast<long double>(screenHeightTwips) / 768.0L / k);
    f.fx = float(static_cast<long double>(screenWidthTwips) / 1024.0L / k);
    return f;
}

} // namespace quillet
