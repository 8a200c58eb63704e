#pragma once
// The run engine: one pass over a sequence file in fixed-size chunks, from
// the bytes on disk (decompressed when the file is compressed) to each
// record's windows. The record cutter of the file's format
// (analysis/recordformat.h) cuts the records; the engine feeds each
// sequence to a WindowAccumulator as it arrives and reports every record
// and its progress to a listener. It needs no widgets; the window and the
// command line both drive it.
#include "analysis/calcwindows.h"
#include "analysis/input.h"
#include "analysis/recordformat.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <optional>

namespace quillet {

// What a run learned about one record it read in full.
struct RecordInfo {
    int64_t number = 0;  // 1-based, in file order
    QString name;        // header up to its first tab, Latin-1
    int64_t length = 0;  // sequence characters
    int64_t unknown = 0; // characters other than A, C, G, T (either case)
    float AvgGC = 0.0f;
    int64_t windows = 0;
    uint64_t offset = 0;                       // offset of its first byte (FASTA's ">") in the decoded content
    RecordFormat format = RecordFormat::Fasta; // of the file it was read from
    Topology topology = Topology::Unknown;     // as the file says (a FASTA header's, see TopologyInHeader)
    // What the file calls the record ("chromosome IV", "plasmid pX",
    // "mitochondrion": see DisplayNameInHeader), Latin-1 as `name`; empty
    // when it says nothing. Shown beside the ID; files and --record keep
    // using the ID.
    QString displayName;
    // Whether it was computed as a circle (RunSettings::topology): its
    // windows start at 1, 1 + step, ... up to its length, and one that runs
    // past its last base goes on at its first. `length` is still its own.
    bool wrapped = false;
    // Where the cumulative G-C/G+C (the running sum of the windows' values)
    // is lowest and highest: the middle base of the first window to reach
    // it (see WindowAccumulator), 0 without a window. On a circular
    // bacterial chromosome they mark the replication origin and terminus.
    int64_t cumulativeMinPosition = 0;
    int64_t cumulativeMaxPosition = 0;
};

struct RecordResult {
    RecordInfo info;
    WindowResults windows;
    // Every base of the record, also those outside RunSettings' stretch
    // (info.length counts only the bases computed).
    int64_t sequenceLength = 0;
};

// How a run ended: Finished, or why it ended before the last record (or
// without one). What each means to the person who started the run, its
// message and whether the records computed before it stay, is JudgeRun's
// (analysis/runverdict.h).
enum class RunEnd {
    Finished,        // every record computed (at least one)
    FileFailure,     // unreadable, or the first record has no header line
    AnalysisFailure, // parameters, a later broken record, or a computation
    NoRecord,        // no ">" in the content: nothing to show
    Damaged,         // compressed data broken or truncated
    Unsupported,     // another kind of file (archive, picture, alignment)
    Cancelled,       // the listener asked to cancel
    Stopped,         // the listener stopped after a record it could not use
    OutOfMemory,     // the run's memory cap (or the system's memory) was reached
    TooLong,         // a record too long for 32-bit positions (detail: RecordTooLongDetail)
};

// A record the run cannot compute.
enum class RecordFault {
    NoSequence,    // 0 bp: nothing after its header line
    TooLong,       // RunSettings::longestRecord bases or more
    PastPositions, // shorter, but its window and step reach past 32-bit positions (see FitOf)
};

struct RunReport {
    RunEnd end = RunEnd::Finished;
    QString detail;      // what was wrong, for Damaged, Unsupported, OutOfMemory and TooLong
    int64_t records = 0; // records computed and handed to the listener
};

class RunListener {
public:
    virtual ~RunListener() = default;
    // A record has been computed. Return false to stop the run after it
    // (RunEnd::Stopped).
    virtual bool recordComputed(RecordResult&& record) = 0;
    // A record could not be computed; `info` holds its number, name, offset
    // and length (the bases read). Return true to go on with the next
    // record. The default ends the run, as the window's does: with
    // RunEnd::TooLong for a record too long, RunEnd::AnalysisFailure for
    // the others.
    virtual bool recordFailed(const RecordInfo& /*info*/, RecordFault /*fault*/) { return false; }
    // Bytes of the file consumed so far (compressed bytes for a compressed
    // file) and its size on disk (0 when unknown, as for a pipe). Called
    // between chunks.
    virtual void progress(uint64_t /*done*/, uint64_t /*total*/) {}
    // Polled between chunks; true ends the run with RunEnd::Cancelled.
    virtual bool cancelled() { return false; }
    // Bytes the listener holds for the records it has taken (their windows,
    // summaries, profiles). The run's memory cap counts them with the
    // windows of the record being computed; asked before each record.
    virtual uint64_t heldBytes() { return 0; }
};

// A listener for a run inside another listener's task (reading one record
// again, writing an export): progress and cancelling pass through to the
// outer listener, when there is one.
class ForwardingListener : public RunListener {
public:
    explicit ForwardingListener(RunListener* outer) : outer_(outer) {}
    void progress(uint64_t done, uint64_t total) override
    {
        if (outer_)
            outer_->progress(done, total);
    }
    bool cancelled() override { return outer_ && outer_->cancelled(); }

private:
    RunListener* outer_;
};

// Thrown by a listener's recordComputed, before it allocates anything, when
// keeping the record would pass the run's memory cap: the run then ends
// with RunEnd::OutOfMemory, saying that the records taken fill the cap.
class MemoryCapReached : public std::bad_alloc {
public:
    const char* what() const noexcept override { return "the run's memory cap is reached"; }
};

// The most memory a run may hold, in bytes: half of the physical memory or
// of the address-space limit (RLIMIT_AS), whichever is lower
// (`addressSpaceLimit` is the largest value when there is none). Beyond
// that a machine shared with other work swaps, or its out-of-memory killer
// ends this program or another; the other half is left to the program
// itself (its libraries, pictures, decompressors) and to other work.
constexpr uint64_t RunMemoryCap(uint64_t physicalBytes, uint64_t addressSpaceLimit)
{
    return (physicalBytes < addressSpaceLimit ? physicalBytes : addressSpaceLimit) / 2;
}
// This process's: PhysicalMemory() and its RLIMIT_AS as it is now.
uint64_t RunMemoryCap();

// Which records a run computes as circles: none (every record a line),
// every record, or those whose file says they are circular.
enum class TopologyChoice { Linear, Circular, Auto };

struct RunSettings {
    // The window size and step as 32-bit integers; nothing when their text
    // could not be converted, which fails the run at the first well-formed
    // record (the conversion happens once a record is there to compute).
    std::optional<int32_t> windowSize;
    std::optional<int32_t> step;
    // Start at this offset of the decoded content (a record's ">") and stop
    // after `maxRecords` records; used to read one record again.
    uint64_t startOffset = 0;
    int64_t maxRecords = -1;
    // The file's record format; by default the run recognises it from the
    // first chunk (which a run from startOffset does not see: it takes the
    // format of the RecordInfo it reads again).
    std::optional<RecordFormat> format;
    // Bytes per chunk read (1 MiB; tests make it small so that records and
    // line breaks fall across chunk boundaries).
    std::size_t chunkSize = std::size_t{1} << 20;
    // Whether records carry their per-window values, and their exact sums
    // with them (see WindowKeeping; `keepWindows = false` keeps neither).
    // Without the values (a summary of every record and nothing else) a
    // record's WindowResults hold only AvgGC, its RecordInfo is the same,
    // and the run needs a fixed working set whatever the window count.
    WindowKeeping keepWindows = true;
    // The most memory the run may hold, in bytes: the windows of the record
    // being computed and what the listener holds (RunListener::heldBytes);
    // 0 for RunMemoryCap(). Checked before memory is taken: the run ends
    // with RunEnd::OutOfMemory as soon as it would pass the cap.
    uint64_t memoryCap = 0;
    // Computes only bases firstBase .. lastBase (1-based, inclusive) of the
    // records whose name `restrictRecord` accepts, as if they were the whole
    // sequence; every base of the others. Asked once per record.
    std::function<bool(const QString& recordName)> restrictRecord;
    int64_t firstBase = 1, lastBase = 0;
    // A run that starts inside a record's sequence, as a stretch read
    // through the record's line layout (a .fai) does: the content at
    // startOffset begins a line of the record whose header (after ">", up
    // to its line end) is `header`, `basesBefore` bases into it, and the
    // run reads no further than content offset `endOffset`. The record is
    // `length` bases long and its header starts at `recordOffset`.
    struct InSequence {
        std::string header;
        uint64_t recordOffset = 0;
        int64_t basesBefore = 0;
        int64_t length = 0;
        uint64_t endOffset = 0;
    };
    std::optional<InSequence> inSequence;
    // Which records are circles, their windows running on past the last
    // base to the first (see RecordInfo::wrapped). A circle is computed as
    // its sequence followed by its first windowSize - 1 bases, which the
    // run holds meanwhile (counted against the memory cap). A record
    // shorter than the window, a step below 1 (the one window 1 ..
    // windowSize) and a restricted record (its stretch is a line of its
    // own) stay linear.
    TopologyChoice topology = TopologyChoice::Linear;
    // Whether a header line that is empty or cut short is still a record
    // (quillet-map): an empty one (">" and its line break) gives a record
    // with an empty name, and one that the next ">" or the end of the
    // content cuts short gives a record without sequence
    // (RecordFault::NoSequence). Only the first record's header must end in
    // a line break, or the content is no FASTA text. Without it (the
    // window) either fails the run, as a broken record.
    bool forgivingHeaders = false;
    // Records of this many bases or more fail (RecordFault::TooLong): no
    // 32-bit position reaches past them. Tests lower it to have a record
    // pass it without a file of gigabytes.
    int64_t longestRecord = kLongestSequence;
};

// What RunEnd::OutOfMemory's detail says about a record: `record "NAME"
// needs 4,294,967,197 windows (52 GB); there is not enough memory for
// them`, for a message that names the file before it.
QString OutOfMemoryDetail(const QString& recordName, int64_t windows);
// The same for a record whose windows were given up part-way, after
// `windowsKept`: past the run's memory cap `cap` (0 when the system ran out
// first), of which the `recordsBefore` records before it held `heldBefore`
// bytes: `record "NAME" needs more than 536,870,911 windows; they do not
// fit in the 12 GB of memory a run may hold`.
QString WindowsOverCapDetail(const QString& recordName, int64_t windowsKept, uint64_t cap, int64_t recordsBefore,
                             uint64_t heldBefore);
// The detail when the records taken fill the cap before record NAME: `the
// 1,234,567 records before record "NAME" fill the 12 GB of memory a run
// may hold`.
QString CapFilledDetail(const QString& recordName, int64_t recordsBefore, uint64_t cap);
// What RunEnd::TooLong's detail says about a record: `record "chrX" is
// 2,200,000,000 bp: records of 2,147,483,647 bp or more cannot be mapped`
// for `longest` 2,147,483,647.
QString RecordTooLongDetail(const QString& recordName, int64_t length, int64_t longest);
// The same for a record whose window and step reach past 32-bit positions
// (RecordFault::PastPositions): `record "x" is 1,000 bp: with a window of
// 1,000 bp and a step of 2,147,483,000 bp, records of 1,000 bp or more
// cannot be mapped`.
QString PastPositionsDetail(const QString& recordName, int64_t length, int32_t windowSize, int32_t step);

// Runs over an opened input. Never throws for bad content: every way a run
// can end is in the report.
RunReport RunInput(InputStream& input, const RunSettings& settings, RunListener& listener);
// Opens `path` (see OpenInput) and runs over it; an unopenable file ends
// with RunEnd::FileFailure and an unsupported kind with RunEnd::Unsupported.
RunReport RunFile(const QString& path, const RunSettings& settings, RunListener& listener);
// The same over an open file descriptor (standard input, a named pipe),
// which the input reads as a stream and leaves open.
RunReport RunDescriptor(int fd, const RunSettings& settings, RunListener& listener);

} // namespace quillet
