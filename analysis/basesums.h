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

// Weights of one character in tenths: G+C weight and G-C weight. Upper and
// lower case alike: G 10,+10; C 10,-10; S 10,0; B and V 6,0; D 3,+3;
// H 3,-3; M and Y 5,-5; N 5,0; every other byte 0,0.
struct LetterWeight {
    int8_t gc;
    int8_t skew;
};
// Whether a character is a known base (A, C, G or T, either case); every
// other character counts as an unknown position.
constexpr bool IsKnownBase(unsigned char c)
{
    switch (c) {
    case 'A':
    case 'C':
    case 'G':
    case 'T':
    case 'a':
    case 'c':
    case 'g':
    case 't': return true;
    default: return false;
    }
}
// The weights of a character.
constexpr LetterWeight LetterWeightOf(unsigned char c)
{
    if (c >= 'a' && c <= 'z')
        c = static_cast<unsigned char>(c - 'a' + 'A');
    switch (c) {
    case 'G': return {10, 10};
    case 'C': return {10, -10};
    case 'S': return {10, 0};
    case 'B':
    case 'V': return {6, 0};
    case 'D': return {3, 3};
    case 'H': return {3, -3};
    // M (A or C) and Y (C or T) are half C: half its G+C and half its G-C.
    case 'M':
    case 'Y': return {5, -5};
    case 'N': return {5, 0};
    default: return {0, 0};
    }
}

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
