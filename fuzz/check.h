#pragma once
// Stops a fuzz run at a broken invariant, so libFuzzer keeps the input.
#include <cstdio>
#include <cstdlib>

namespace quillet::fuzz {

inline void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

} // namespace quillet::fuzz
