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

} // namespace quillet
