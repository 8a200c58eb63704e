#include "maps/layoutfactors.h"

#include "maps/units.h"

#include <bit>
#include <cmath>
#include <optional>

namespace quillet {

LayoutFactors ComputeLayoutFactors(float screenWidthTwips, float screenHeightTwips)
{
    const long double k = screenWidthTwips >= 15359.0f ? 15.0L : 13.0L;
    LayoutFactors f;
    f.fy = float(static_cast<long double>(screenHeightTwips) / 768.0L / k);
    f.fx = float(static_cast<long double>(screenWidthTwips) / 1024.0L / k);
    return f;
}

namespace {

// Screens at least this wide (in pixels) divide by 15, narrower ones by 13.
constexpr int kWideScreen = 1024;

// The picture's inside in pixels for an outer size in twips, as the picture
// box's image is made (nearest pixel, halves to even, less the frame).
int InnerPixels(float outerTwips, int border)
{
    return int(std::nearbyint(double(outerTwips) / kTwipsPerPixel)) - 2 * border;
}

// Of the screen sizes near `estimate` (pixels) within [low, high] for which
// `inner` gives `wanted`, the roundest.
template <typename Inner>
std::optional<int> RoundestScreen(double estimate, int low, int high, int wanted, Inner inner)
{
    std::optional<int> best;
    const int middle = int(std::lround(estimate));
    for (int s = middle - 3; s <= middle + 3; ++s) {
        if (s < low || s > high || inner(s) != wanted)
            continue;
        if (!best || std::countr_zero(unsigned(s)) > std::countr_zero(unsigned(*best)))
            best = s;
    }
    return best;
}

float Scaled(float design, float factor)
{
    return design * factor; // as the layout scales each measure, in float
}

} // namespace

MapBoxTwips MapBoxForInnerSize(int innerWidth, int innerHeight, int border)
{
    MapBoxTwips box{float((innerWidth + 2 * border) * kTwipsPerPixel),
                    float((innerHeight + 2 * border) * kTwipsPerPixel)};
    const auto widthOn = [&](int screenWidth) {
        return Scaled(kMapDesignWidth, ComputeLayoutFactors(float(screenWidth * kTwipsPerPixel), 0).fx);
    };
    // A screen of s pixels makes the box design * s / (1024 k) pixels wide
    // (768 k for the height).
    const double outerWidth = innerWidth + 2 * border, outerHeight = innerHeight + 2 * border;
    const auto innerWidthOn = [&](int s) { return InnerPixels(widthOn(s), border); };
    std::optional<int> screenWidth =
        RoundestScreen(outerWidth * kWideScreen * 15 / kMapDesignWidth, kWideScreen, 1 << 20, innerWidth, innerWidthOn);
    if (!screenWidth)
        screenWidth = RoundestScreen(outerWidth * kWideScreen * 13 / kMapDesignWidth, 1, kWideScreen - 1, innerWidth,
                                     innerWidthOn);
    if (!screenWidth)
        return box;
    const float widthTwips = float(*screenWidth * kTwipsPerPixel);
    const int k = *screenWidth >= kWideScreen ? 15 : 13;
    const auto heightOn = [&](int screenHeight) {
        return Scaled(kMapDesignHeight, ComputeLayoutFactors(widthTwips, float(screenHeight * kTwipsPerPixel)).fy);
    };
    const std::optional<int> screenHeight =
        RoundestScreen(outerHeight * 768 * k / kMapDesignHeight, 1, 1 << 20, innerHeight,
                       [&](int s) { return InnerPixels(heightOn(s), border); });
    if (!screenHeight)
        return box;
    return {widthOn(*screenWidth), heightOn(*screenHeight)};
}

} // namespace quillet
