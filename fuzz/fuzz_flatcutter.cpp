// Fuzzes GenBank and EMBL flat files as sequence files: the flat-file
// cutter over the content cut in pieces of every size.
//
// Input: one flag byte (bit 0: EMBL, else GenBank; bits 1 to 6: the piece
// size less one), then the content.
//
// Checks: the records (offsets, names, topology, sequences, ends) are the
// same whatever the piece size, as for the whole content at once; a
// sequence holds no digit and no "/"; a record begins at a line of its
// keyword; names stay within their bound.
#include "analysis/flatcutter.h"
#include "fuzz/check.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

using namespace quillet;

namespace {

using fuzz::Check;

struct Found {
    uint64_t offset = 0;
    std::string name, sequence;
    Topology topology = Topology::Unknown;
    bool begun = false, ended = false;
    bool operator==(const Found&) const = default;
};

class Record final : public RecordSink {
public:
    std::vector<Found> found;
    bool recordBegins(uint64_t offset) override
    {
        Found f;
        f.offset = offset;
        found.push_back(f);
        return true;
    }
    void nameBytes(const char* bytes, std::size_t size) override { found.back().name.append(bytes, size); }
    void recordTopology(Topology topology) override { found.back().topology = topology; }
    bool sequenceBegins() override
    {
        found.back().begun = true;
        return true;
    }
    bool sequenceBytes(char* bytes, std::size_t size, uint64_t /*offset*/) override
    {
        Check(size > 0, "no empty piece");
        found.back().sequence.append(bytes, size);
        return true;
    }
    bool recordEnds() override
    {
        found.back().ended = true;
        return true;
    }
    void recordBroken(RecordProblem) override { Check(false, "a flat file has no broken record"); }
};

std::vector<Found> Cut(std::string content, FlatSyntax syntax, std::size_t piece)
{
    FlatFileCutter cutter(syntax);
    Record sink;
    bool going = true;
    for (std::size_t at = 0; going && at < content.size(); at += piece)
        going = cutter.cut(content.data() + at, std::min(piece, content.size() - at), at, sink);
    Check(going, "the cutter goes on while its sink does");
    cutter.finish(sink);
    return sink.found;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const FlatSyntax syntax = (data[0] & 1) ? FlatSyntax::Embl : FlatSyntax::GenBank;
    const std::size_t piece = std::size_t((data[0] >> 1) & 63) + 1;
    const std::string content(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::vector<Found> whole = Cut(content, syntax, content.size() + 1);
    Check(Cut(content, syntax, piece) == whole, "the same records wherever pieces end");
    const std::string keyword = syntax == FlatSyntax::Embl ? "ID" : "LOCUS";
    for (const Found& f : whole) {
        Check(content.compare(f.offset, keyword.size(), keyword) == 0, "a record begins at its keyword");
        Check(f.offset == 0 || content[f.offset - 1] == '\n', "at the start of a line");
        Check(f.begun && f.ended, "every record begun ends");
        Check(f.name.size() <= kMaxNameBytes, "a bounded name");
        Check(f.sequence.find_first_of("0123456789/") == std::string::npos, "no digit or / in a sequence");
    }
    return 0;
}
