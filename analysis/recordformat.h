#pragma once
// The seam between a file's record syntax and everything that reads
// records. A RecordCutter takes the decoded content piece by piece, as it
// arrives, and tells a RecordSink where each record begins, the bytes of
// its name and the bytes of its sequence. The run engine (which computes
// the windows) and the explorer's builder (which indexes one record) are
// sinks; the cutters are FASTA's (analysis/fasta.h) and the GenBank and
// EMBL flat files' (analysis/flatcutter.h).
//
// A new record format is one cutter, one row in kRecordFormats
// (recordformat.cpp) with the test that recognises its content, a fuzz
// target and tests.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace quillet {

// A name keeps this many bytes at most, so a file of binary junk without
// line breaks cannot take all memory for one name.
constexpr std::size_t kMaxNameBytes = std::size_t{1} << 20;

// Why a record could not be taken apart.
enum class RecordProblem {
    NoLineFeed,  // its header line never ends (the content or the next record cuts it)
    EmptyHeader, // its header line is empty
};

// Whether a record is a circle (a bacterial chromosome, a plasmid) or a
// line, where its file says so.
enum class Topology { Unknown, Linear, Circular };

// What a cutter finds, in content order. A sink returns false to stop the
// cutting (the cutter then returns false from cut() at once).
class RecordSink {
public:
    virtual ~RecordSink() = default;
    // A record begins at this offset of the decoded content (its first
    // byte, FASTA's ">").
    virtual bool recordBegins(uint64_t offset) = 0;
    // Bytes of its name, in one piece or several; kMaxNameBytes in all at
    // most.
    virtual void nameBytes(const char* bytes, std::size_t size) = 0;
    // Its topology, where the file says it (before sequenceBegins).
    virtual void recordTopology(Topology /*topology*/) {}
    // What the file calls it (a source feature's chromosome, plasmid or
    // organelle), where it says (before sequenceBegins).
    virtual void recordDisplayName(std::string_view /*name*/) {}
    // The name is whole and the sequence follows.
    virtual bool sequenceBegins() = 0;
    // The next bytes of its sequence, which begin at content offset
    // `offset`. Carriage returns, line feeds and spaces among them are no
    // bases (every reader drops them); the sink may change the bytes in
    // place.
    virtual bool sequenceBytes(char* bytes, std::size_t size, uint64_t offset) = 0;
    // The sequence is whole.
    virtual bool recordEnds() = 0;
    // The record cannot be taken apart; the cutting stops.
    virtual void recordBroken(RecordProblem problem) = 0;
};

class RecordCutter {
public:
    virtual ~RecordCutter() = default;
    // Cuts the next piece of the content, which begins at content offset
    // `offset`. False once the sink stopped the cutting or a record was
    // broken.
    virtual bool cut(char* bytes, std::size_t size, uint64_t offset, RecordSink& sink) = 0;
    // The content ended: the record being read ends (or is broken).
    virtual void finish(RecordSink& sink) = 0;
    // Cuts on from inside a record's sequence, as if its header had been
    // read: the explorer reads stretches of a record again from an offset
    // it kept.
    virtual void resumeInSequence() = 0;
};

enum class RecordFormat { Fasta, GenBank, Embl };

struct CutterOptions {
    // Whether a header line that is empty or cut short is still a record:
    // an empty one gives a record with an empty name, one cut short a
    // record with that name and no sequence. Only the first record's
    // header must end in a line break. Without it either is broken.
    bool forgivingHeaders = false;
};

// How many bytes of the decoded content say which format it is in.
constexpr std::size_t kFormatBytes = 256;
// The format of a content that begins with `start` (its first
// kFormatBytes bytes, or all of it when it is shorter).
RecordFormat RecordFormatOf(std::string_view start);
std::unique_ptr<RecordCutter> MakeRecordCutter(RecordFormat format, const CutterOptions& options = {});

} // namespace quillet
