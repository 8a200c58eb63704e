#pragma once
// The letter sums under the window computation: the G+C and G-C weights (in
// tenths) and the unknown positions of a run of bytes, by one of three
// paths that give the same sums: one byte at a time through a table (the
// reference, and the fallback on any processor), 16 bytes per step with
// SSE2 (every x86-64 processor) and 32 bytes per step with AVX2 (chosen
// when the processor has it).
#include <cstddef>
#include <cstdint>

namespace quillet {

// Sums of a run of bytes. In text mode carriage returns, line feeds and
// spaces are skipped (they are no position, as between the lines of a
// FASTA sequence); every other byte is one position.
struct BaseTally {
    int64_t gc = 0;        // tenths
    int64_t skew = 0;      // tenths
    int64_t unknown = 0;   // positions whose byte is none of A, C, G, T (either case)
    int64_t positions = 0; // bytes counted
};

enum class SumPath { Scalar, Sse2, Avx2 };

// Whether this processor (and this build) can take a path.
bool SumPathAvailable(SumPath path);
// The path computations take: the best one available, unless the
// environment variable QUILLET_SIMD (scalar, sse2 or avx2; read once) or
// SetSumPath chose another.
SumPath ActiveSumPath();
// Makes later computations take `path` (tests and benchmarks compare the
// paths); false, changing nothing, when it is not available.
bool SetSumPath(SumPath path);
const char* SumPathName(SumPath path);

// The sums of [p, p + n) by the active path, or by the one given.
BaseTally SumBases(const unsigned char* p, std::size_t n, bool text);
BaseTally SumBases(SumPath path, const unsigned char* p, std::size_t n, bool text);

} // namespace quillet
