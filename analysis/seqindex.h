#pragma once
// Sequence indexes as samtools keeps them beside a FASTA file: FILE.fai,
// one line per record (its ID, length, the content offset of its first
// base, bases per line and bytes per line), and for a bgzip file FILE.gzi,
// where each compressed block starts in the file and in the content.
//
// The .fai is built by the rules samtools applies, so that the files are
// byte for byte the ones `samtools faidx` writes, and a file samtools
// refuses to index (lines of different lengths inside a record, a blank
// line inside a sequence, text before the first header) is refused too.
#include "analysis/bgzf.h"

#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillet {

struct FaiRecord {
    std::string name; // the header's first word
    uint64_t length = 0;
    uint64_t offset = 0;    // of the first base, in the content
    uint64_t lineBases = 0; // bases on each full line
    uint64_t lineBytes = 0; // bytes of each full line, its line end included
};

// Builds the .fai records from the content given in pieces of any size.
class FaiBuilder {
public:
    void feed(const char* data, std::size_t size);
    // After the last piece: the records, or nothing with why() set.
    std::optional<std::vector<FaiRecord>> finish();
    const QString& why() const { return why_; }

private:
    enum class State { OutRead, CarriageReturn, NameStart, Name, RestOfHeader, LineStart, InLine };
    bool step(unsigned char c);
    void startName();
    void startSequence();
    bool endLine();
    bool fail(const QString& why);

    State state_ = State::OutRead;
    std::vector<FaiRecord> records_;
    std::vector<std::string> seen_; // names kept, sorted, to drop repeats as samtools does
    FaiRecord current_;
    bool readDone_ = false;
    uint64_t position_ = 0, line_ = 1;
    uint64_t lineLength_ = 0, lineGraphs_ = 0;
    bool failed_ = false;
    QString why_;
};

// The .fai text of `records`.
std::string FaiText(const std::vector<FaiRecord>& records);

// The .gzi bytes: the number of entries, then each block's two offsets,
// little-endian 64-bit, for every block that holds content but the first.
std::string GziBytes(const std::vector<BgzfBlock>& blocks);

// Indexes the FASTA file at `path` (plain or bgzip), writing PATH.fai and
// for bgzip PATH.gzi. Empty on success, else why, naming the file.
QString WriteSequenceIndex(const QString& path);

// The records of a .fai's text; nothing, with the line at fault in `why`,
// when a line is no index line.
std::optional<std::vector<FaiRecord>> ParseFai(const std::string& text, QString& why);
// The content bytes a record's sequence takes in its file, line ends included.
uint64_t SequenceBytes(const FaiRecord& r);

// A record found through its indexes: where its header line starts in the
// content (its ">"), that line (after ">", without its line end) and its
// .fai line.
struct IndexedRecord {
    uint64_t headerOffset = 0;
    std::string header;
    FaiRecord fai;
};
// The record whose ID is `id` in the FASTA file at `path`, through
// PATH.fai (and for bgzip PATH.gzi). Nothing when there is no .fai or it
// lists no such record. Indexes are trusted only when they agree with the
// file: a .fai older than the file, a line that is no index line, records
// that overlap or pass the file's end, a .gzi that is missing or names
// other blocks than the file has, or a header line not where the .fai
// puts it: then nothing, with `refusal` saying which index and why.
std::optional<IndexedRecord> FindIndexedRecord(const QString& path, const std::string& id, QString& refusal);
// The only record a .fai lists, when it lists one (a region without a
// record's name is of a file of one record); checked as above.
std::optional<IndexedRecord> FindOnlyIndexedRecord(const QString& path, QString& refusal);

// The content bytes that hold bases first .. last (1-based, inclusive,
// clipped to the record) of a record, in whole lines: from the start of
// the line of `first`, `basesBefore` bases into the record, to the end of
// the line of `last`; an empty range at the record's end when none of them
// is in it.
struct StretchBytes {
    uint64_t from = 0, to = 0;
    int64_t basesBefore = 0;
};
StretchBytes StretchOf(const FaiRecord& r, int64_t first, int64_t last);

} // namespace quillet
