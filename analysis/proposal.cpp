#include "analysis/proposal.h"

namespace quillet {

Proposal ProposeParameters(int64_t fileLength)
{
    // Each band includes its upper bound; with these values a file gives at
    // most about 10,000 windows up to 100,000,000 bytes.
    struct Band {
        int64_t upTo;
        const char* step;
        const char* window;
    };
    static constexpr Band kBands[] = {
        {10'000, "10", "50"},         {100'000, "50", "100"},          {1'000'000, "100", "300"},
        {10'000'000, "1500", "3000"}, {100'000'000, "10000", "30000"},
    };
    for (const Band& b : kBands) {
        if (fileLength <= b.upTo)
            return {QString::fromLatin1(b.step), QString::fromLatin1(b.window)};
    }
    return {QStringLiteral("100000"), QStringLiteral("300000")};
}

} // namespace quillet
