#pragma once
// The one-time proportional layout for the screen: factors from the screen
// size in twips, and the scaled window size.
namespace quillet {

struct LayoutFactors {
    float fx = 1.0f;
    float fy = 1.0f;
};

// k = 15 for screens at least 15359 twips wide, else 13;
// fy = height / 768 / k, fx = width / 1024 / k (computed in long double,
// stored once as float).
LayoutFactors ComputeLayoutFactors(float screenWidthTwips, float screenHeightTwips);

// The map's picture box at design size (on a 1024 x 768 screen), in twips.
constexpr float kMapDesignWidth = 10575.0f;
constexpr float kMapDesignHeight = 4695.0f;

// The picture box's outer size in twips, as the layout scales it.
struct MapBoxTwips {
    float width = 0.0f;
    float height = 0.0f;
};

// The picture box on a screen whose layout makes its inside (the picture
// within a frame of `border` pixels on each side) innerWidth x innerHeight
// pixels. The maps are laid out from the box's size in twips, which has a
// fraction on most screens, so the same picture size drawn from other twips
// would differ along the curve. Several screens (whole pixels) give each
// picture size; of those the one with the roundest width, then height (the
// most factors of two: 1280 rather than 1279, 900 rather than 901) stands
// for them, since real screens have round sizes. A size no screen gives
// (none has been found) is taken as whole pixels of 15 twips.
MapBoxTwips MapBoxForInnerSize(int innerWidth, int innerHeight, int border);

} // namespace quillet
