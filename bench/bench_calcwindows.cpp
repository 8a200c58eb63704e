// Throughput and peak memory of the analysis path on a 100 Mb sequence.
//
// Prints, from one run, MB/s (of sequence bytes) for
//   - the floor: summing a 256-entry weight table over the sequence bytes,
//   - CalcWindows alone, with a large and a small window (the cost must not
//     depend on the window size),
//   - the whole run from file to filled fields (length, proposal, reading,
//     FASTA records, CalcWindows, result texts),
//   - each path of the letter sums (scalar, SSE2, AVX2) in GB/s, on the
//     bases and on the file's lines,
// each with its ratio to the floor, and the peak memory of the whole run
// (measured in a forked child) beside the file size and the idle size.
// Targets: CalcWindows >= 70 % of the floor, the whole run >= 40 %, peak
// memory <= 1.3 x file size + idle size.
#include "analysis/basesums.h"
#include "analysis/calcwindows.h"
#include "analysis/engine.h"
#include "analysis/fileio.h"
#include "analysis/numtext.h"
#include "analysis/proposal.h"
#include "bench/benchdata.h"
#include "tests/reference/fastareader.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quillet;
using namespace quillet::bench;

namespace {

constexpr int64_t kBases = 100'000'000;
constexpr int kColumns = 80;

// Keeps the optimiser from dropping a computation whose result is unused.
volatile int64_t g_sink = 0;

struct NullProgress : ProgressSink {
    void setRange(float, float) override {}
    void setValue(float v) override { g_sink = g_sink + static_cast<int64_t>(v); }
};

// The whole Run path for one file: what the window does from the file name
// to its filled result fields (drawing aside), through the streaming engine.
struct RunOutcome {
    int64_t length = 0;
    QString avgText;
    QString lengthText;
};

RunOutcome WholeRun(const QString& path)
{
    RunOutcome out;
    const std::optional<int64_t> fileLength = FileLength(path);
    if (!fileLength)
        std::abort();
    const Proposal proposal = ProposeParameters(*fileLength);
    const NumberLocale loc = NumberLocale::system();
    RunSettings settings;
    settings.step = ToInt32(proposal.step, loc);
    settings.windowSize = ToInt32(proposal.window, loc);
    struct Last : RunListener {
        RunOutcome& out;
        const NumberLocale& loc;
        Last(RunOutcome& o, const NumberLocale& l) : out(o), loc(l) {}
        bool recordComputed(RecordResult&& r) override
        {
            out.length = r.info.length;
            out.lengthText = FormatInteger(out.length);
            out.avgText = FormatSingle(r.info.AvgGC, loc);
            return true;
        }
    } last(out, loc);
    if (RunFile(path, settings, last).end != RunEnd::Finished)
        std::abort();
    return out;
}

long MaxRssKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Resident size of this process now, from /proc (0 when unavailable).
double ResidentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
    }
    return 0;
}

struct ChildReport {
    long idleKiB = 0;
    long peakKiB = 0;
    double firstSeconds = 0;
    double medianSeconds = 0;
    int64_t length = 0;
    char avg[32] = {};
};

// Runs the whole path in a fresh child, so that its peak memory is that of
// one run on top of the idle process alone.
bool MeasureInChild(const QString& path, ChildReport& report)
{
    int fds[2];
    if (pipe(fds) != 0)
        return false;
    const pid_t pid = fork();
    if (pid < 0)
        return false;
    if (pid == 0) {
        close(fds[0]);
        ChildReport r;
        r.idleKiB = MaxRssKiB();
        const auto t0 = Clock::now();
        const RunOutcome outcome = WholeRun(path);
        r.firstSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
        r.peakKiB = MaxRssKiB();
        r.medianSeconds = MedianSeconds([&] { WholeRun(path); });
        r.length = outcome.length;
        std::snprintf(r.avg, sizeof r.avg, "%s", outcome.avgText.toUtf8().constData());
        const ssize_t written = write(fds[1], &r, sizeof r);
        _exit(written == static_cast<ssize_t>(sizeof r) ? 0 : 1);
    }
    close(fds[1]);
    const ssize_t got = read(fds[0], &report, sizeof report);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    return got == static_cast<ssize_t>(sizeof report) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Each path of the letter sums on the window computation alone, in GB/s of
// sequence bytes: CalcWindows on the bases, and the sums over the file's own
// lines (line breaks skipped in the same pass), as the engine runs them.
void PrintPaths(const QString& path, std::string_view seq)
{
    const std::string raw = ReadWholeFile(path).value();
    const std::size_t body = raw.find('\n') + 1;
    const auto* lines = reinterpret_cast<const unsigned char*>(raw.data() + body);
    const std::size_t linesSize = raw.size() - body;
    const SumPath before = ActiveSumPath();
    std::printf("\nthe window computation alone by path, GB/s of sequence bytes (median of %d runs):\n", kRepeats);
    std::printf("  %-8s %14s %14s %18s %18s\n", "path", "w1000 s1000", "w30000 s10000", "lines, w1000",
                "lines, w30000");
    for (const SumPath p : {SumPath::Scalar, SumPath::Sse2, SumPath::Avx2}) {
        if (!SetSumPath(p)) {
            std::printf("  %-8s (not on this processor)\n", SumPathName(p));
            continue;
        }
        WindowResults results;
        const auto rate = [&](double seconds) { return static_cast<double>(seq.size()) / seconds / 1e9; };
        const double bases1000 = MedianSeconds([&] { CalcWindows(seq, 1000, 1000, results); });
        const double bases30000 = MedianSeconds([&] { CalcWindows(seq, 30000, 10000, results); });
        const auto fromLines = [&](int32_t ws, int32_t step) {
            return MedianSeconds([&] {
                WindowAccumulator acc(ws, step);
                acc.addText(lines, linesSize);
                acc.finish(results);
            });
        };
        const double lines1000 = fromLines(1000, 1000), lines30000 = fromLines(30000, 10000);
        std::printf("  %-8s %14.2f %14.2f %18.2f %18.2f\n", SumPathName(p), rate(bases1000), rate(bases30000),
                    rate(lines1000), rate(lines30000));
    }
    SetSumPath(before);
}

} // namespace

int main()
{
    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary directory\n");
        return 1;
    }
    const QString path = dir.filePath(QStringLiteral("bench.fasta"));
    std::printf("writing %lld bases to a temporary FASTA file ...\n", static_cast<long long>(kBases));
    if (!WriteFasta(path, kBases, kColumns)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    const int64_t fileBytes = FileLength(path).value_or(0);

    // Whole run first, in a child forked while this process is still small.
    const double parentMiB = ResidentMiB();
    ChildReport child;
    if (!MeasureInChild(path, child)) {
        std::fprintf(stderr, "whole-run child failed\n");
        return 1;
    }

    // The sequence in memory for the loops that work on it alone.
    std::string content = ReadWholeFile(path).value();
    FastaReader reader(content);
    FastaRecord record;
    FastaProblem problem;
    if (!reader.next(record, problem) || problem != FastaProblem::None) {
        std::fprintf(stderr, "bad benchmark file\n");
        return 1;
    }
    const std::string_view seq = record.sequence;
    const double seqMB = static_cast<double>(seq.size()) / 1e6;

    std::array<int64_t, 256> table{};
    for (int c = 0; c < 256; ++c) {
        const LetterWeight w = WeightOf(static_cast<unsigned char>(c));
        table[static_cast<std::size_t>(c)] = static_cast<int64_t>(w.gc) * (int64_t{1} << 32) + w.skew;
    }
    const double floorSeconds = MedianSeconds([&] {
        int64_t sum = 0;
        for (const char c : seq)
            sum += table[static_cast<unsigned char>(c)];
        g_sink = sum;
    });

    WindowResults results;
    NullProgress progress;
    const double largeSeconds = MedianSeconds([&] { CalcWindows(seq, 300000, 100000, results, &progress); });
    const std::size_t largeWindows = results.GCValues.size() - 2;
    const double smallSeconds = MedianSeconds([&] { CalcWindows(seq, 3000, 1500, results, &progress); });
    const std::size_t smallWindows = results.GCValues.size() - 2;
    const double tinySeconds = MedianSeconds([&] { CalcWindows(seq, 50, 10, results, &progress); });
    const std::size_t tinyWindows = results.GCValues.size() - 2;

    const double floorRate = seqMB / floorSeconds;
    auto line = [&](const char* what, double seconds, const char* note) {
        const double rate = seqMB / seconds;
        std::printf("  %-44s %8.1f ms %9.1f MB/s %6.1f %% of floor %s\n", what, seconds * 1e3, rate,
                    100.0 * rate / floorRate, note);
    };

    std::printf("\nsequence %.1f Mb in a file of %.2f MB (%d columns), median of %d runs; MB/s of sequence bytes\n",
                seqMB, static_cast<double>(fileBytes) / 1e6, kColumns, kRepeats);
    line("floor: sum a 256-entry table", floorSeconds, "");
    char note[96];
    std::snprintf(note, sizeof note, "(%zu windows; target >= 70 %%)", largeWindows);
    line("CalcWindows window 300000 step 100000", largeSeconds, note);
    std::snprintf(note, sizeof note, "(%zu windows; target >= 70 %%)", smallWindows);
    line("CalcWindows window 3000 step 1500", smallSeconds, note);
    std::snprintf(note, sizeof note, "(%zu windows)", tinyWindows);
    line("CalcWindows window 50 step 10", tinySeconds, note);
    std::snprintf(note, sizeof note, "(target >= 40 %%; first run in the fresh child %.1f ms)",
                  child.firstSeconds * 1e3);
    line("whole run: file to filled fields", child.medianSeconds, note);
    std::printf("  whole run result: length %lld, average G+C %s %%\n", static_cast<long long>(child.length),
                child.avg);

    PrintPaths(path, seq);

    const double fileMiB = static_cast<double>(fileBytes) / (1024.0 * 1024.0);
    const double idleMiB = static_cast<double>(child.idleKiB) / 1024.0;
    const double peakMiB = static_cast<double>(child.peakKiB) / 1024.0;
    const double limitMiB = 1.3 * fileMiB + idleMiB;
    std::printf("\npeak memory of the whole run: %.1f MiB (file %.1f MiB, idle %.1f MiB; "
                "peak - idle = %.2f x file; limit 1.3 x file + idle = %.1f MiB) %s\n",
                peakMiB, fileMiB, idleMiB, (peakMiB - idleMiB) / fileMiB, limitMiB,
                peakMiB <= limitMiB ? "OK" : "OVER");
    std::printf("(idle = what the forked child holds before the run; the benchmark process itself held "
                "%.1f MiB when forking)\n",
                parentMiB);
    return 0;
}
