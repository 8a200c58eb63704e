// Fuzzes reading a file as the window does: recognising its kind,
// decompressing it as a stream (gzip, zstd, xz, bzip2, UTF-16), and the
// engine cutting records across chunk boundaries.
//
// Input: the file itself. The chunk size (1 to 97 bytes) and the window
// size and step (1 to 16, 1 to 8) come from the input's length, so that
// boundaries fall everywhere.
//
// Checks: the engine's records equal those of the whole decoded content
// read at once (FastaReader and CalcWindows); a run that finishes had
// content that decodes without error; no run holds more than a bounded
// amount of memory, whatever the content expands to (runs stop after 8 MiB,
// or after 4,096 chunks: each chunk is a hand-over between the reading thread
// and the engine, so a long run of tiny chunks would take the fuzzer's time
// without reaching anything new).
#include "analysis/calcwindows.h"
#include "analysis/engine.h"
#include "analysis/input.h"
#include "analysis/recordformat.h"
#include "fuzz/check.h"
#include "tests/reference/fastareader.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

using namespace quillet;

namespace {

using fuzz::Check;

constexpr std::size_t kLimit = std::size_t{8} << 20;
constexpr std::size_t kMaxChunks = 4096;

// The bytes as a file with a descriptor, as the window reads files.
class MemoryFile {
public:
    MemoryFile(const uint8_t* data, size_t size) : fd_(memfd_create("fuzz", 0))
    {
        Check(fd_ >= 0, "memfd");
        Check(write(fd_, data, size) == ssize_t(size), "memfd write");
    }
    ~MemoryFile() { close(fd_); }
    std::unique_ptr<InputStream> open() const
    {
        lseek(fd_, 0, SEEK_SET);
        return OpenInputDescriptor(fd_);
    }

private:
    int fd_;
};

struct Collect : RunListener {
    std::vector<RecordResult> records;
    std::size_t chunks = 0, chunkSize = 1;
    bool recordComputed(RecordResult&& r) override
    {
        records.push_back(std::move(r));
        return true;
    }
    void progress(uint64_t, uint64_t) override { ++chunks; }
    bool cancelled() override { return chunks > kMaxChunks || chunks * chunkSize > kLimit; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemoryFile file(data, size);

    // The whole content, decoded at once (up to the limit).
    std::string content;
    bool decoded = true, tooLarge = false, unsupported = false;
    try {
        auto in = file.open();
        char buffer[4096];
        for (;;) {
            const std::size_t got = in->read(buffer, sizeof buffer);
            if (got == 0)
                break;
            content.append(buffer, got);
            if (content.size() > kLimit) {
                tooLarge = true;
                break;
            }
        }
    } catch (const InputError& e) {
        decoded = false;
        unsupported = e.kind() == InputError::Kind::Unsupported;
    }

    RunSettings settings;
    settings.chunkSize = 1 + size % 97;
    settings.windowSize = int32_t(1 + size % 16);
    settings.step = int32_t(1 + size % 8);
    Collect got;
    got.chunkSize = settings.chunkSize;
    RunReport report;
    try {
        report = RunInput(*file.open(), settings, got);
    } catch (const InputError& e) {
        Check(!decoded, "opening fails only where reading whole fails");
        Check((e.kind() == InputError::Kind::Unsupported) == unsupported, "the same kind of failure");
        return 0;
    }
    if (report.end == RunEnd::Finished)
        Check(decoded && !tooLarge, "a finished run had content that decodes in full");
    if (!decoded || tooLarge || report.end == RunEnd::Cancelled)
        return 0;
    Check(report.end != RunEnd::Damaged && report.end != RunEnd::Unsupported, "no damage in decodable content");

    // The same records as reading the whole content at once (the reference
    // reads FASTA; flat files have their own target).
    if (RecordFormatOf(std::string_view(content).substr(0, kFormatBytes)) != RecordFormat::Fasta)
        return 0;
    FastaReader reader(content);
    FastaRecord rec;
    FastaProblem problem;
    std::size_t n = 0;
    bool failed = false;
    while (!failed && reader.next(rec, problem)) {
        if (problem != FastaProblem::None) {
            failed = true;
            break;
        }
        WindowResults w;
        try {
            CalcWindows(rec.sequence, *settings.windowSize, *settings.step, w);
        } catch (const std::exception&) {
            failed = true;
            break;
        }
        Check(n < got.records.size(), "every record that computes is handed over");
        const RecordResult& r = got.records[n++];
        Check(r.info.name == rec.name, "same name");
        Check(r.info.length == int64_t(rec.sequence.size()), "same length");
        Check(r.windows.GCValues == w.GCValues && r.windows.SkewValues == w.SkewValues, "same windows");
        Check(r.windows.UnknownCounts == w.UnknownCounts && r.windows.AvgGC == w.AvgGC, "same counts and average");
    }
    Check(n == got.records.size(), "no record beyond those that compute");
    Check(failed == (report.end == RunEnd::FileFailure || report.end == RunEnd::AnalysisFailure),
          "a failing record ends the run as a failure");
    return 0;
}
