#pragma once
// The window size and step proposed for a freshly opened file, by file size.
#include <QString>
#include <cstdint>

namespace quillet {

struct Proposal {
    QString step;
    QString window;
};

// Bands include their upper bound: <= 10,000 bytes gives "10"/"50", ...,
// above 100,000,000 bytes "100000"/"300000".
Proposal ProposeParameters(int64_t fileLength);

} // namespace quillet
