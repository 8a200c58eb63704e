#pragma once
// The sequence position under the mouse pointer over the map.
#include <QString>
#include <cstdint>
#include <optional>

namespace quillet {

// Position in bases under x (twips) for a picture of outer size w x h and a
// sequence of `totalBasesText` bases; nothing when the pointer is outside the
// plot (strict tests: 600 < x < w-300, 300 < y < h-300) or no result exists
// (empty text). Divides first, then multiplies, then truncates.
std::optional<int64_t> ReadoutPosition(float x, float y, float w, float h, const QString& totalBasesText);

} // namespace quillet
