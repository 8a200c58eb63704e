#pragma once
// The file name proposed when saving the map, made from the sequence title.
#include <QString>

namespace quillet {

// Removes carriage returns and "|", and every character that would steer
// the path or is not allowed in a file name on common systems (path
// separators, control characters, and : * ? " < >). Keeps everything else.
QString ProposedFileName(const QString& title);

} // namespace quillet
