// Fuzzes the vector paths of the letter sums (SSE2, and AVX2 where the
// processor has it) against the one-byte-at-a-time reference: the sums of
// stretches at every alignment, the windows of a sequence fed in uneven
// pieces with its line breaks left in or taken out first, and whole runs of
// the engine cutting records across small chunks. Everything must agree
// exactly: every window, average, unknown count and cumulative extreme.
//
// Input: a byte with the window size (1 .. 64, or a large one when bit 7
// is set), a byte with the step (0 .. 63), a byte with the piece length and
// the engine's chunk size, then the content. When bit 6 of the first byte is
// set the content bytes are letters: each byte picks one of the IUPAC
// letters in either case, a line feed, a carriage return, a space or ">",
// so that every one of them lands at every offset of a vector.
#include "analysis/basesums.h"
#include "analysis/calcwindows.h"
#include "analysis/engine.h"
#include "analysis/failure.h"
#include "analysis/fasta.h"
#include "fuzz/check.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace quillet;

namespace {

using fuzz::Check;

constexpr char kLetters[] = "ACGTacgtNnRYKMSWBDHVUrykmswbdhvuXx-*.\r\n >";

// Content held in memory, read as a stream.
class MemoryInput : public InputStream {
public:
    explicit MemoryInput(const std::string& bytes) : bytes_(bytes) {}
    std::size_t read(char* buffer, std::size_t capacity) override
    {
        const std::size_t n = std::min(capacity, bytes_.size() - at_);
        std::memcpy(buffer, bytes_.data() + at_, n);
        at_ += n;
        return n;
    }
    uint64_t consumed() const override { return at_; }
    uint64_t total() const override { return bytes_.size(); }

private:
    const std::string& bytes_;
    std::size_t at_ = 0;
};

struct Collect : RunListener {
    std::vector<RecordResult> records;
    bool recordComputed(RecordResult&& r) override
    {
        records.push_back(std::move(r));
        return true;
    }
};

bool Same(const BaseTally& a, const BaseTally& b)
{
    return a.gc == b.gc && a.skew == b.skew && a.unknown == b.unknown && a.positions == b.positions;
}

// Whatever a computation ended with: its results, counts and extremes, or
// that it failed.
struct Outcome {
    bool failed = false;
    WindowResults results;
    int64_t length = 0, unknown = 0, windows = 0, lowest = 0, highest = 0;
    bool operator==(const Outcome& o) const
    {
        return failed == o.failed && results.GCValues == o.results.GCValues &&
               results.SkewValues == o.results.SkewValues && results.UnknownCounts == o.results.UnknownCounts &&
               results.AvgGC == o.results.AvgGC && length == o.length && unknown == o.unknown && windows == o.windows &&
               lowest == o.lowest && highest == o.highest;
    }
};

// Feeds `bytes` in pieces of `piece` bytes (or one at a time), as text with
// its line breaks or as bases, with `path`.
Outcome Windows(SumPath path, const std::string& bytes, bool text, int32_t ws, int32_t step, std::size_t piece,
                bool keep)
{
    Check(SetSumPath(path), "path available");
    WindowAccumulator acc(ws, step, keep, 1 << 24);
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        const std::size_t n = std::min(piece, bytes.size() - at);
        text ? acc.addText(p + at, n) : acc.add(p + at, n);
    }
    Outcome o;
    try {
        acc.finish(o.results);
    } catch (const Failure&) {
        o.failed = true;
    }
    o.length = acc.length();
    o.unknown = acc.unknown();
    o.windows = acc.windows();
    o.lowest = acc.cumulativeMinPosition();
    o.highest = acc.cumulativeMaxPosition();
    return o;
}

bool SameRuns(const RunReport& a, const Collect& ra, const RunReport& b, const Collect& rb)
{
    if (a.end != b.end || a.records != b.records || ra.records.size() != rb.records.size())
        return false;
    for (std::size_t i = 0; i < ra.records.size(); ++i) {
        const RecordResult &x = ra.records[i], &y = rb.records[i];
        if (x.info.name != y.info.name || x.info.length != y.info.length || x.info.unknown != y.info.unknown ||
            x.info.AvgGC != y.info.AvgGC || x.info.windows != y.info.windows || x.info.offset != y.info.offset ||
            x.info.cumulativeMinPosition != y.info.cumulativeMinPosition ||
            x.info.cumulativeMaxPosition != y.info.cumulativeMaxPosition || x.sequenceLength != y.sequenceLength ||
            x.windows.GCValues != y.windows.GCValues || x.windows.SkewValues != y.windows.SkewValues ||
            x.windows.UnknownCounts != y.windows.UnknownCounts)
            return false;
    }
    return true;
}

RunReport Run(SumPath path, const std::string& content, RunSettings settings, Collect& got)
{
    Check(SetSumPath(path), "path available");
    MemoryInput input(content);
    return RunInput(input, settings, got);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const int32_t ws = (data[0] & 0x80) ? 1000 + (data[0] & 0x3F) * 97 : 1 + (data[0] & 0x3F);
    const int32_t step = data[1] & 0x3F;
    const std::size_t piece = 1 + data[2] % 67;
    std::string content(reinterpret_cast<const char*>(data) + 3, size - 3);
    if (data[0] & 0x40) {
        for (char& c : content)
            c = kLetters[static_cast<unsigned char>(c) % (sizeof kLetters - 1)];
    }

    const SumPath before = ActiveSumPath();
    std::vector<SumPath> paths;
    for (const SumPath path : {SumPath::Sse2, SumPath::Avx2}) {
        if (SumPathAvailable(path))
            paths.push_back(path);
    }

    // The sums of the whole content, and of short stretches around a
    // vector's width from each of the first 33 offsets.
    const auto* p = reinterpret_cast<const unsigned char*>(content.data());
    const std::size_t n = content.size();
    const auto check = [&](std::size_t from, std::size_t len) {
        for (const bool text : {false, true}) {
            const BaseTally reference = SumBases(SumPath::Scalar, p + from, len, text);
            for (const SumPath path : paths)
                Check(Same(SumBases(path, p + from, len, text), reference), "vector sums equal the reference");
        }
    };
    check(0, n);
    for (std::size_t from = 0; from < std::min<std::size_t>(n, 33); ++from) {
        for (const std::size_t len : {15, 16, 17, 31, 32, 33, 63, 64, 65, 100})
            check(from, std::min(len, n - from));
    }

    // The windows: the reference takes the line breaks out first and adds
    // the bases in one go; each vector path skips them itself, in pieces.
    std::string bases = content;
    bases.resize(static_cast<std::size_t>(CompactSequence(bases.data(), bases.data() + bases.size()) - bases.data()));
    for (const bool keep : {true, false}) {
        const Outcome reference = Windows(SumPath::Scalar, bases, false, ws, step, bases.size() + 1, keep);
        Check(Windows(SumPath::Scalar, content, true, ws, step, piece, keep) == reference,
              "the reference skips line breaks itself as when they are taken out");
        for (const SumPath path : paths) {
            Check(Windows(path, content, true, ws, step, piece, keep) == reference, "vector windows from text");
            Check(Windows(path, bases, false, ws, step, piece, keep) == reference, "vector windows from bases");
        }
    }

    // Whole runs over the content as a file, in small chunks so that records,
    // lines and windows fall across them.
    RunSettings settings;
    settings.windowSize = ws;
    settings.step = step;
    settings.chunkSize = 16 + piece * 13; // 29 .. 887 bytes
    Collect reference;
    const RunReport referenceReport = Run(SumPath::Scalar, content, settings, reference);
    for (const SumPath path : paths) {
        Collect got;
        const RunReport report = Run(path, content, settings, got);
        Check(SameRuns(report, got, referenceReport, reference), "vector runs equal the reference");
    }

    SetSumPath(before);
    return 0;
}
