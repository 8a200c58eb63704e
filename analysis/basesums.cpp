#include "analysis/basesums.h"

#include "analysis/calcwindows.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string_view>

#if defined(__x86_64__)
#include <immintrin.h>
#define QUILLET_X86 1
#define QUILLET_AVX2 __attribute__((target("avx2")))
#else
#define QUILLET_X86 0
#endif

namespace quillet {

namespace {

// ---- One byte at a time (the reference) ----------------------------------

// All three weights of a byte in one 64-bit word: G+C tenths from bit 43,
// the signed G-C tenths from bit 21 and the unknown flag in the low bits.
// Summing these words sums all three at once; the fields stay recoverable
// as long as no sum leaves its field, which kPiece guarantees (at most
// 655,360 tenths and 65,536 positions per piece).
constexpr int64_t kPiece = int64_t{1} << 16;

constexpr bool Skipped(unsigned char c)
{
    return c == '\r' || c == '\n' || c == ' ';
}

constexpr int64_t Pack(unsigned char c)
{
    const LetterWeight w = LetterWeightOf(c);
    return static_cast<int64_t>(w.gc) * (int64_t{1} << 43) + static_cast<int64_t>(w.skew) * (int64_t{1} << 21) +
           (IsKnownBase(c) ? 0 : 1);
}

// Every byte a position; and for text, CR, LF and space weighing nothing
// but counted from bit 8 of the unknown field, which holds both counts for
// up to kTextPiece bytes.
constexpr int64_t kTextPiece = 255;
constexpr int64_t kSkippedUnit = int64_t{1} << 8;

struct Tables {
    std::array<int64_t, 256> bases{};
    std::array<int64_t, 256> text{};
};

constexpr Tables MakeTables()
{
    Tables t;
    for (std::size_t c = 0; c < 256; ++c) {
        const auto b = static_cast<unsigned char>(c);
        t.bases[c] = Pack(b);
        t.text[c] = Skipped(b) ? kSkippedUnit : Pack(b);
    }
    return t;
}

constexpr Tables kTables = MakeTables();

// Unpacks a sum of packed words.
BaseTally Unpack(int64_t total)
{
    const int64_t unknown = total & ((int64_t{1} << 21) - 1);
    const int64_t rest = (total - unknown) / (int64_t{1} << 21); // gc * 2^22 + skew
    const int64_t skew = ((rest & ((int64_t{1} << 22) - 1)) ^ (int64_t{1} << 21)) - (int64_t{1} << 21);
    BaseTally t;
    t.gc = (rest - skew) / (int64_t{1} << 22);
    t.skew = skew;
    t.unknown = unknown;
    return t;
}

// Adds the packed weights of [p, p + n), n <= kPiece. Eight bytes come in
// with one load and are split by shifts, which leaves the loads to the
// table lookups; four accumulators keep the additions from waiting on one
// another. The order of the bytes within a word does not matter for a sum.
int64_t SumPacked(const std::array<int64_t, 256>& table, const unsigned char* p, std::size_t n)
{
    int64_t a0 = 0, a1 = 0, a2 = 0, a3 = 0;
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, p + i, sizeof w);
        a0 += table[w & 0xFF];
        a1 += table[(w >> 8) & 0xFF];
        a2 += table[(w >> 16) & 0xFF];
        a3 += table[(w >> 24) & 0xFF];
        a0 += table[(w >> 32) & 0xFF];
        a1 += table[(w >> 40) & 0xFF];
        a2 += table[(w >> 48) & 0xFF];
        a3 += table[w >> 56];
    }
    for (; i < n; ++i)
        a0 += table[p[i]];
    return (a0 + a1) + (a2 + a3);
}

void Add(BaseTally& to, const BaseTally& t)
{
    to.gc += t.gc;
    to.skew += t.skew;
    to.unknown += t.unknown;
    to.positions += t.positions;
}

BaseTally SumScalar(const unsigned char* p, std::size_t n, bool text)
{
    BaseTally sum;
    while (n > 0) {
        const std::size_t piece = std::min<std::size_t>(n, text ? kTextPiece : kPiece);
        BaseTally t = Unpack(SumPacked(text ? kTables.text : kTables.bases, p, piece));
        t.positions = static_cast<int64_t>(piece);
        if (text) {
            t.positions -= t.unknown / kSkippedUnit;
            t.unknown %= kSkippedUnit;
        }
        Add(sum, t);
        p += piece;
        n -= piece;
    }
    return sum;
}

// Combines per-letter counts into the sums: G, C and S weigh 10 of G+C; B
// and V 6; D and H 3; M, Y and N 5. G-C: G +10, C -10, D +3, H -3, M and Y
// -5. The known bases are A, C, G and T.
struct LetterCounts {
    int64_t g = 0, c = 0, s = 0, bv = 0, d = 0, h = 0, my = 0, n = 0, at = 0, skipped = 0;
};

BaseTally FromCounts(const LetterCounts& k, std::size_t bytes)
{
    BaseTally t;
    t.gc = 10 * (k.g + k.c + k.s) + 6 * k.bv + 3 * (k.d + k.h) + 5 * (k.my + k.n);
    t.skew = 10 * (k.g - k.c) + 3 * (k.d - k.h) - 5 * k.my;
    t.positions = static_cast<int64_t>(bytes) - k.skipped;
    t.unknown = t.positions - (k.at + k.g + k.c);
    return t;
}

#if QUILLET_X86

// ---- 16 bytes per step (SSE2) --------------------------------------------
//
// Each byte is folded to upper case (bit 5 cleared: only letters land on
// 'A' .. 'Z' that way) and compared with each weighed letter; a comparison
// gives -1 per matching byte, which is subtracted from a per-byte counter.
// The counters hold at most 255 steps; then they are added up across their
// bytes (psadbw) into 64-bit totals.

int64_t Lanes(__m128i v)
{
    return _mm_cvtsi128_si64(v) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(v, v));
}

int64_t Flush(__m128i counter)
{
    return Lanes(_mm_sad_epu8(counter, _mm_setzero_si128()));
}

template <bool kText>
BaseTally SumSse2(const unsigned char* p, std::size_t n)
{
    const __m128i fold = _mm_set1_epi8(static_cast<char>(0xDF));
    const auto is = [](__m128i v, char letter) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(letter)); };
    LetterCounts k;
    std::size_t i = 0;
    while (n - i >= 16) {
        const std::size_t steps = std::min<std::size_t>((n - i) / 16, 255);
        __m128i g = _mm_setzero_si128(), c = g, s = g, bv = g, d = g, h = g, my = g, nn = g, at = g, skip = g;
        for (std::size_t step = 0; step < steps; ++step, i += 16) {
            const __m128i raw = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const __m128i u = _mm_and_si128(raw, fold);
            g = _mm_sub_epi8(g, is(u, 'G'));
            c = _mm_sub_epi8(c, is(u, 'C'));
            s = _mm_sub_epi8(s, is(u, 'S'));
            bv = _mm_sub_epi8(bv, _mm_or_si128(is(u, 'B'), is(u, 'V')));
            d = _mm_sub_epi8(d, is(u, 'D'));
            h = _mm_sub_epi8(h, is(u, 'H'));
            my = _mm_sub_epi8(my, _mm_or_si128(is(u, 'M'), is(u, 'Y')));
            nn = _mm_sub_epi8(nn, is(u, 'N'));
            at = _mm_sub_epi8(at, _mm_or_si128(is(u, 'A'), is(u, 'T')));
            if constexpr (kText)
                skip = _mm_sub_epi8(skip, _mm_or_si128(_mm_or_si128(is(raw, '\r'), is(raw, '\n')), is(raw, ' ')));
        }
        k.g += Flush(g);
        k.c += Flush(c);
        k.s += Flush(s);
        k.bv += Flush(bv);
        k.d += Flush(d);
        k.h += Flush(h);
        k.my += Flush(my);
        k.n += Flush(nn);
        k.at += Flush(at);
        k.skipped += Flush(skip);
    }
    BaseTally sum = FromCounts(k, i);
    Add(sum, SumScalar(p + i, n - i, kText));
    return sum;
}

// ---- 32 bytes per step (AVX2) --------------------------------------------
//
// A lookup by the low four bits (vpshufb) in one 16-entry table for the
// bytes 0x40 .. 0x4F ('@', 'A' .. 'O') and one for 0x50 .. 0x5F ('P' ..
// '_'), after folding to upper case. The index into the first table is
// (u ^ 0x40) + 0x70 with unsigned saturation: the low four bits for a byte
// in 0x40 .. 0x4F, and a byte with its top bit set (which vpshufb turns
// into 0) for every other byte; the same with 0x50 for the second table.
// Weights are kept per byte for up to 24 steps (24 x 10 < 256) before they
// are added up into 64-bit totals.

QUILLET_AVX2 __m256i Table(const int8_t (&t)[16])
{
    return _mm256_broadcastsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(t)));
}

QUILLET_AVX2 int64_t Lanes(__m256i counter)
{
    const __m256i sums = _mm256_sad_epu8(counter, _mm256_setzero_si256());
    const __m128i half = _mm_add_epi64(_mm256_castsi256_si128(sums), _mm256_extracti128_si256(sums, 1));
    return _mm_cvtsi128_si64(half) + _mm_cvtsi128_si64(_mm_unpackhi_epi64(half, half));
}

// Positions 0 .. 15 are '@' 'A' 'B' 'C' 'D' 'E' 'F' 'G' 'H' 'I' 'J' 'K' 'L'
// 'M' 'N' 'O' in the first table of each pair, 'P' 'Q' 'R' 'S' 'T' 'U' 'V'
// 'W' 'X' 'Y' 'Z' '[' '\' ']' '^' '_' in the second.
constexpr int8_t kGc40[16] = {0, 0, 6, 10, 3, 0, 0, 10, 3, 0, 0, 0, 0, 5, 5, 0};
constexpr int8_t kGc50[16] = {0, 0, 0, 10, 0, 0, 6, 0, 0, 5, 0, 0, 0, 0, 0, 0};
constexpr int8_t kKnown40[16] = {0, 1, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr int8_t kKnown50[16] = {0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
// G-C split in its positive part (G, D: all in the first table) and its
// negative part (C, H, M; Y).
constexpr int8_t kUp40[16] = {0, 0, 0, 0, 3, 0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr int8_t kDown40[16] = {0, 0, 0, 10, 0, 0, 0, 0, 3, 0, 0, 0, 0, 5, 0, 0};
constexpr int8_t kDown50[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0};

// Per-byte weights of up to 24 blocks, and the counts of skipped bytes.
struct Avx2Counters {
    __m256i gc, known, up, down, skipped;
};

QUILLET_AVX2 inline Avx2Counters ZeroCounters()
{
    const __m256i z = _mm256_setzero_si256();
    return {z, z, z, z, z};
}

// Adds the weights of the 32 bytes `raw` where `keep` is all ones.
template <bool kText>
QUILLET_AVX2 inline void AddBlock(Avx2Counters& c, __m256i raw, __m256i keep)
{
    const __m256i b = _mm256_and_si256(raw, _mm256_set1_epi8(static_cast<char>(0xDF)));
    const __m256i lift = _mm256_set1_epi8(0x70);
    const __m256i i40 = _mm256_adds_epu8(_mm256_xor_si256(b, _mm256_set1_epi8(0x40)), lift);
    const __m256i i50 = _mm256_adds_epu8(_mm256_xor_si256(b, _mm256_set1_epi8(0x50)), lift);
    const auto look = [&](const int8_t(&t40)[16], const int8_t(&t50)[16]) QUILLET_AVX2 {
        return _mm256_and_si256(
            keep, _mm256_or_si256(_mm256_shuffle_epi8(Table(t40), i40), _mm256_shuffle_epi8(Table(t50), i50)));
    };
    c.gc = _mm256_add_epi8(c.gc, look(kGc40, kGc50));
    c.known = _mm256_add_epi8(c.known, look(kKnown40, kKnown50));
    c.up = _mm256_add_epi8(c.up, _mm256_and_si256(keep, _mm256_shuffle_epi8(Table(kUp40), i40)));
    c.down = _mm256_add_epi8(c.down, look(kDown40, kDown50));
    if constexpr (kText) {
        const __m256i hit = _mm256_or_si256(_mm256_or_si256(_mm256_cmpeq_epi8(raw, _mm256_set1_epi8('\r')),
                                                            _mm256_cmpeq_epi8(raw, _mm256_set1_epi8('\n'))),
                                            _mm256_cmpeq_epi8(raw, _mm256_set1_epi8(' ')));
        c.skipped = _mm256_sub_epi8(c.skipped, _mm256_and_si256(keep, hit));
    }
}

struct Totals {
    int64_t gc = 0, up = 0, down = 0, known = 0, skipped = 0;
};

QUILLET_AVX2 inline void Flush(Totals& t, const Avx2Counters& c)
{
    t.gc += Lanes(c.gc);
    t.up += Lanes(c.up);
    t.down += Lanes(c.down);
    t.known += Lanes(c.known);
    t.skipped += Lanes(c.skipped);
}

template <bool kText>
QUILLET_AVX2 BaseTally SumAvx2(const unsigned char* p, std::size_t n)
{
    if (n < 32)
        return SumSse2<kText>(p, n);
    const __m256i all = _mm256_set1_epi8(-1);
    Totals t;
    std::size_t i = 0;
    while (n - i >= 32) {
        const std::size_t steps = std::min<std::size_t>((n - i) / 32, 24);
        Avx2Counters c = ZeroCounters();
        for (std::size_t step = 0; step < steps; ++step, i += 32)
            AddBlock<kText>(c, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + i)), all);
        Flush(t, c);
    }
    if (i < n) {
        // The last 32 bytes again, counting only the lanes past i: no byte
        // is read outside [p, p + n) and no short tail goes byte by byte.
        const __m256i lane = _mm256_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
                                              21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31);
        const __m256i keep = _mm256_cmpgt_epi8(lane, _mm256_set1_epi8(static_cast<char>(31 - (n - i))));
        Avx2Counters c = ZeroCounters();
        AddBlock<kText>(c, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + n - 32)), keep);
        Flush(t, c);
        i = n;
    }
    BaseTally sum;
    sum.gc = t.gc;
    sum.skew = t.up - t.down;
    sum.positions = static_cast<int64_t>(n) - t.skipped;
    sum.unknown = sum.positions - t.known;
    return sum;
}

bool HasAvx2()
{
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return has;
}

#endif // QUILLET_X86

SumPath BestPath()
{
#if QUILLET_X86
    return HasAvx2() ? SumPath::Avx2 : SumPath::Sse2;
#else
    return SumPath::Scalar;
#endif
}

// The path the environment asks for, when it is available; the best one
// otherwise.
SumPath FirstPath()
{
    if (const char* wanted = std::getenv("QUILLET_SIMD")) {
        for (const SumPath path : {SumPath::Scalar, SumPath::Sse2, SumPath::Avx2}) {
            if (std::string_view(wanted) == SumPathName(path) && SumPathAvailable(path))
                return path;
        }
    }
    return BestPath();
}

std::atomic<int> g_path{-1};

} // namespace

bool SumPathAvailable(SumPath path)
{
    switch (path) {
    case SumPath::Scalar: return true;
#if QUILLET_X86
    case SumPath::Sse2: return true;
    case SumPath::Avx2: return HasAvx2();
#else
    default: return false;
#endif
    }
    return false;
}

SumPath ActiveSumPath()
{
    int path = g_path.load(std::memory_order_relaxed);
    if (path < 0) {
        int unset = -1;
        g_path.compare_exchange_strong(unset, static_cast<int>(FirstPath()));
        path = g_path.load();
    }
    return static_cast<SumPath>(path);
}

bool SetSumPath(SumPath path)
{
    if (!SumPathAvailable(path))
        return false;
    g_path.store(static_cast<int>(path));
    return true;
}

const char* SumPathName(SumPath path)
{
    switch (path) {
    case SumPath::Scalar: return "scalar";
    case SumPath::Sse2: return "sse2";
    case SumPath::Avx2: return "avx2";
    }
    return "scalar";
}

BaseTally SumBases(SumPath path, const unsigned char* p, std::size_t n, bool text)
{
    // A few bytes (small windows and steps, the last bytes before a window
    // end) cost less one at a time than a vector's setup.
    if (n < 16)
        return SumScalar(p, n, text);
    switch (path) {
#if QUILLET_X86
    case SumPath::Avx2:
        if (HasAvx2())
            return text ? SumAvx2<true>(p, n) : SumAvx2<false>(p, n);
        [[fallthrough]];
    case SumPath::Sse2: return text ? SumSse2<true>(p, n) : SumSse2<false>(p, n);
#endif
    default: return SumScalar(p, n, text);
    }
}

BaseTally SumBases(const unsigned char* p, std::size_t n, bool text)
{
    return SumBases(ActiveSumPath(), p, n, text);
}

} // namespace quillet
