#pragma once
// The units every picture is laid out in, on the screen as in the files:
// positions and sizes in twips, 15 to a logical pixel, and text measured at
// 96 logical dots per inch (so 1440 twips to the inch).
namespace quillet {

constexpr int kTwipsPerPixel = 15;
constexpr int kDotsPerInch = 96;
// The same resolution in dots per metre, as QImage takes it (3780: QImage
// reports qRound(3780 * 0.0254) = 96 dots per inch back).
constexpr int kDotsPerMetre = int(kDotsPerInch / 0.0254 + 0.5);

} // namespace quillet
