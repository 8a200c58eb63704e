#pragma once
// GenBank and EMBL flat files as sequence files: the record syntax of the
// two, which differ in their line keywords only. A record begins at its
// LOCUS (ID) line and ends at "//"; it is named as the FASTA and GFF3 files
// of the same databases name it, its ID (ACCESSION.VERSION, e.g.
// NC_000913.3) then its definition without the final period, and its
// sequence is the ORIGIN (SQ) section without the position numbers. The
// LOCUS (ID) line says whether it is circular or linear, and the source
// feature's /chromosome, /plasmid or /organelle what it is (its display
// name). The rest of the feature table and the other lines are no part of
// the records: annotation reads them.
#include "analysis/recordformat.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillet {

enum class FlatSyntax { GenBank, Embl };

// Whether content beginning with `start` is a flat file of that syntax: its
// first line that is not blank is a LOCUS (ID) line.
bool LooksLikeFlatFile(std::string_view start, FlatSyntax syntax);

class FlatFileCutter final : public RecordCutter {
public:
    explicit FlatFileCutter(FlatSyntax syntax) : syntax_(syntax) {}
    bool cut(char* bytes, std::size_t size, uint64_t offset, RecordSink& sink) override;
    void finish(RecordSink& sink) override;
    void resumeInSequence() override { state_ = State::Sequence; }

private:
    enum class State { Lines, Sequence, SkipLine };
    // A whole line outside the sequence (without its line break).
    bool takeLine(std::string_view line, uint64_t lineOffset, RecordSink& sink);
    bool beginRecord(std::string_view line, uint64_t lineOffset, RecordSink& sink);
    void takeHeaderLine(std::string_view line);
    void takeFeatureLine(std::string_view body);
    bool beginSequence(RecordSink& sink);
    bool sequencePart(char* p, char* end, uint64_t offset, RecordSink& sink, bool& ended);

    FlatSyntax syntax_;
    State state_ = State::Lines;
    bool inRecord_ = false;
    std::string line_;         // the line being read, up to kMaxNameBytes
    uint64_t lineOffset_ = 0;  // content offset of its first byte
    bool lineStarted_ = false; // a byte of it has been seen
    // What the header lines said.
    std::string accession_, version_, definition_, locus_;
    Topology topology_ = Topology::Unknown;
    bool inDefinition_ = false; // continuation lines belong to the definition
    bool inFeatures_ = false;   // GenBank: the indented lines are the feature table's
    bool inSource_ = false;     // the qualifiers are the source feature's
    std::string displayName_;   // what the source feature calls the record
};

} // namespace quillet
