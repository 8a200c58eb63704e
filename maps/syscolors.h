#pragma once
// Colour values (0x00BBGGRR literals, or 0x800000nn system colours) and the
// one place where the system colours the program uses map to the Qt palette.
#include <QColor>
#include <cstdint>

namespace quillet {

constexpr uint32_t kSysActiveTitleBar = 0x80000002;    // plot colour swatch: palette Highlight
constexpr uint32_t kSysMenuBackground = 0x80000004;    // parameter and path boxes: palette Base
constexpr uint32_t kSysButtonText = 0x80000012;        // picture foreground: palette ButtonText
constexpr uint32_t kSysInactiveTitleText = 0x80000013; // About notice: palette Midlight
constexpr uint32_t kSysHighlightText = 0x8000000E;     // picture background: palette HighlightedText
constexpr uint32_t kSys3DLight = 0x80000016;           // Open button face: palette Light

// Resolves a colour value to an RGB colour (system colours through the
// application palette, or a fixed fallback when no application exists).
QColor ResolveColor(uint32_t value);
// The literal colour value (0x00BBGGRR) of an RGB colour.
uint32_t ColorValueOf(const QColor& c);

} // namespace quillet
