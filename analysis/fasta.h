#pragma once
// FASTA's record syntax, the program's one reader of it. A record runs
// from one ">" to the next ">" (or the end of the content); its header line
// runs to the first line feed, its name is the header up to the first tab,
// and its sequence is the rest, where carriage returns, line feeds and
// spaces are no bases. Text before the first ">" belongs to no record.
#include "analysis/recordformat.h"

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>

namespace quillet {

// Cuts FASTA content into records as it arrives, in pieces of any size
// (a header or a line break may fall across two).
class FastaCutter final : public RecordCutter {
public:
    explicit FastaCutter(const CutterOptions& options = {}) : options_(options) {}
    bool cut(char* bytes, std::size_t size, uint64_t offset, RecordSink& sink) override;
    void finish(RecordSink& sink) override;
    void resumeInSequence() override;

private:
    enum class State { Seek, Header, Body };
    bool beginRecord(uint64_t offset, RecordSink& sink);
    void takeHeader(const char* p, const char* end, RecordSink& sink);
    bool headerOnly(RecordSink& sink);
    // Whether a header cut short is a record of its own: not the first.
    bool forgiving() const { return options_.forgivingHeaders && records_ > 1; }
    // Text before the first record, a line at a time: a GFF3 file with its
    // sequences after ##FASTA says there which of them are circular.
    void scanPreamble(const char* p, const char* end);
    void preambleLine(std::string_view line);
    // Before the sequence: a record the preamble names circular is one.
    void tellTopology(RecordSink& sink);

    CutterOptions options_;
    State state_ = State::Seek;
    int64_t records_ = 0;         // records begun
    std::size_t headerBytes_ = 0; // of the header line so far
    std::size_t nameBytes_ = 0;   // handed to the sink so far
    bool nameEnded_ = false;      // a tab ended the name
    std::string preambleLine_;    // a preamble line so far (its start only, when very long)
    std::set<std::string, std::less<>> circularIds_;
    std::string id_; // the header's first word, while circularIds_ has any
    bool idEnded_ = false;
};

// Removes carriage returns, line feeds and spaces from [begin, end) by moving
// the kept bytes to the front; returns the new end. The write position never
// passes the read position, so the bytes after `end` are left untouched.
char* CompactSequence(char* begin, char* end);

// The topology a FASTA header gives its record with a modifier in square
// brackets, `[topology=circular]` or `[top=circular]` (or `linear`), as
// sequence submissions write it: letters in either case, blanks allowed
// around "=" and inside the brackets. The first such modifier counts;
// Topology::Unknown without one, or with another value.
Topology TopologyInHeader(std::string_view header);

// The name a FASTA header's modifiers give what its record is, for people
// to read beside its ID: `[chromosome=IV]` gives "chromosome IV",
// `[plasmid=pX]` (or `[plasmid-name=pX]`) "plasmid pX", and
// `[location=mitochondrion]` (or `[organelle=...]`) "mitochondrion"; keys
// in either case, blanks allowed as in TopologyInHeader. The first such
// modifier with a value counts; empty without one.
std::string DisplayNameInHeader(std::string_view header);
// The same from the qualifiers of a GenBank or EMBL source feature (the
// value of /chromosome, /plasmid or /organelle, whichever comes first; an
// organelle "plastid:chloroplast" is "chloroplast").
std::string DisplayNameOf(std::string_view qualifier, std::string_view value);

} // namespace quillet
