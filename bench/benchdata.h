#pragma once
// Inputs and timing shared by the benchmarks: a generated genome-like FASTA
// file and the median of repeated runs.
#include <QFile>
#include <QString>

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

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

// One record of a generated file: its header (without ">") and its length.
struct BenchRecord {
    std::string name;
    int64_t bases = 0;
};

// Writes records of random A/C/G/T with about 1 % N in runs, in lines of
// `columns`, streaming so that this process stays small.
inline bool WriteRecords(const QString& path, const std::vector<BenchRecord>& records, int columns)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    uint64_t state = 0x9E3779B97F4A7C15ULL;
    std::string buffer;
    buffer.reserve(1 << 20);
    int64_t nRun = 0;
    uint64_t bits = 0;
    int bitsLeft = 0;
    for (const BenchRecord& record : records) {
        buffer += '>' + record.name + '\n';
        int column = 0;
        for (int64_t i = 0; i < record.bases; ++i) {
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
    }
    f.write(buffer.data(), static_cast<qint64>(buffer.size()));
    return f.error() == QFileDevice::NoError;
}

// A single-record FASTA of `bases`.
inline bool WriteFasta(const QString& path, int64_t bases, int columns)
{
    return WriteRecords(path, {{"bench random ACGT with N runs", bases}}, columns);
}

// Yeast's 16 chromosomes and mitochondrion, by their lengths: 12.2 Mb.
inline std::vector<BenchRecord> YeastLikeRecords()
{
    const int64_t lengths[] = {230'218, 813'184, 316'620,   1'531'933, 576'874, 270'161,   1'090'940, 562'643, 439'888,
                               745'751, 666'816, 1'078'177, 924'431,   784'333, 1'091'291, 948'066,   85'779};
    std::vector<BenchRecord> records;
    for (const int64_t n : lengths)
        records.push_back({"chr" + std::to_string(records.size() + 1) + " yeast-like", n});
    return records;
}

// A draft fly assembly's shape: 26,454 records, 56 Mb in all. Six
// chromosome arms of 1.3 to 9 Mb and the mitochondrion, then 26,447
// contigs of 200 to 1,000 bp.
inline std::vector<BenchRecord> DraftFlyRecords()
{
    std::vector<BenchRecord> records = {{"chr2L", 8'000'000}, {"chr2R", 7'000'000}, {"chr3L", 8'000'000},
                                        {"chr3R", 9'000'000}, {"chrX", 7'000'000},  {"chr4", 1'350'000},
                                        {"chrM", 19'517}};
    uint64_t state = 0x2545F4914F6CDD1DULL;
    for (int i = 0; records.size() < 26'454; ++i)
        records.push_back({"contig" + std::to_string(i + 1), 200 + int64_t(NextRandom(state) % 801)});
    return records;
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

inline double Milliseconds(Clock::time_point since)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - since).count();
}

// The process's peak resident memory so far.
inline long PeakMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

} // namespace quillet::bench
