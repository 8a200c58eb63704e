#pragma once
// Inputs and timing shared by the benchmarks: a generated genome-like FASTA
// file and the median of repeated runs.
#include <QFile>
#include <QString>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace quillet::bench {

constexpr int kRepeats = 5;
using Clock = std::chrono::steady_clock;

inline uint64_t NextRandom(uint64_t& state)
{
    // xorshift64*: fast and good enough for a base sequence.
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return state * 2685821657736338717ULL;
}

// Writes a single-record FASTA of `bases` random A/C/G/T with about 1 % N in
// runs, in lines of `columns`, streaming so that this process stays small.
inline bool WriteFasta(const QString& path, int64_t bases, int columns)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(">bench random ACGT with N runs\n");
    uint64_t state = 0x9E3779B97F4A7C15ULL;
    std::string buffer;
    buffer.reserve(1 << 20);
    int column = 0;
    int64_t nRun = 0;
    uint64_t bits = 0;
    int bitsLeft = 0;
    for (int64_t i = 0; i < bases; ++i) {
        char c;
        if (nRun > 0) {
            c = 'N';
            --nRun;
        } else {
            if (bitsLeft == 0) {
                bits = NextRandom(state);
                bitsLeft = 32;
                if ((bits >> 54) < 2) // about one start of a run in 500 words
                    nRun = 200 + static_cast<int64_t>((bits >> 40) & 0x3FF);
            }
            c = "ACGT"[bits & 3];
            bits >>= 2;
            --bitsLeft;
        }
        buffer.push_back(c);
        if (++column == columns) {
            buffer.push_back('\n');
            column = 0;
        }
        if (buffer.size() >= (1u << 20) - 2) {
            f.write(buffer.data(), static_cast<qint64>(buffer.size()));
            buffer.clear();
        }
    }
    if (column != 0)
        buffer.push_back('\n');
    f.write(buffer.data(), static_cast<qint64>(buffer.size()));
    return f.error() == QFileDevice::NoError;
}

// Median of kRepeats timed runs: the machine may be shared, and the median
// is less flattered by a lucky run than the best one.
inline double MedianSeconds(const std::function<void()>& work)
{
    std::array<double, kRepeats> times{};
    for (double& s : times) {
        const auto t0 = Clock::now();
        work();
        s = std::chrono::duration<double>(Clock::now() - t0).count();
    }
    std::sort(times.begin(), times.end());
    return times[kRepeats / 2];
}

} // namespace quillet::bench
