#include "analysis/flatcutter.h"

#include "analysis/fasta.h"

#include <algorithm>
#include <cstring>

namespace quillet {

namespace {

struct Keywords {
    std::string_view record, accession, version, definition, sequence;
};

constexpr Keywords kGenBank{"LOCUS", "ACCESSION", "VERSION", "DEFINITION", "ORIGIN"};
// EMBL's ID line carries the accession and version itself.
constexpr Keywords kEmbl{"ID", "AC", "", "DE", "SQ"};

const Keywords& KeywordsOf(FlatSyntax syntax)
{
    return syntax == FlatSyntax::GenBank ? kGenBank : kEmbl;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view Trimmed(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// The keyword a line begins with, and the rest of the line after it; an
// empty keyword for a continuation line (one that begins with a blank).
std::string_view KeywordOf(std::string_view line, std::string_view* rest)
{
    std::size_t end = 0;
    while (end < line.size() && !IsBlank(line[end]))
        ++end;
    if (rest)
        *rest = Trimmed(line.substr(end));
    return line.substr(0, end);
}

std::string_view FirstToken(std::string_view s, std::string_view stops = " \t;")
{
    s = Trimmed(s);
    return s.substr(0, std::min(s.find_first_of(stops), s.size()));
}

Topology TopologyIn(std::string_view line)
{
    // A word of its own on the line (GenBank) or a field between
    // semicolons (EMBL).
    for (std::size_t at = 0; at < line.size();) {
        const std::size_t start = line.find_first_not_of(" \t;", at);
        if (start == std::string_view::npos)
            break;
        std::size_t end = line.find_first_of(" \t;", start);
        if (end == std::string_view::npos)
            end = line.size();
        const std::string_view word = line.substr(start, end - start);
        if (word == "circular")
            return Topology::Circular;
        if (word == "linear")
            return Topology::Linear;
        at = end;
    }
    return Topology::Unknown;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

bool LooksLikeFlatFile(std::string_view start, FlatSyntax syntax)
{
    std::size_t at = 0;
    while (at < start.size() && (IsBlank(start[at]) || start[at] == '\n'))
        ++at;
    const std::string_view line = start.substr(at, start.find('\n', at) - at);
    const std::string_view keyword = KeywordOf(line, nullptr);
    return keyword == KeywordsOf(syntax).record && line.size() > keyword.size();
}

bool FlatFileCutter::beginRecord(std::string_view line, uint64_t lineOffset, RecordSink& sink)
{
    inRecord_ = true;
    accession_.clear();
    version_.clear();
    definition_.clear();
    inDefinition_ = false;
    inFeatures_ = inSource_ = false;
    displayName_.clear();
    std::string_view rest;
    KeywordOf(line, &rest);
    topology_ = TopologyIn(rest);
    locus_ = std::string(FirstToken(rest));
    if (syntax_ == FlatSyntax::Embl) {
        // ID   X56734; SV 1; linear; mRNA; STD; PLN; 1859 BP.
        accession_ = locus_;
        const std::size_t sv = rest.find("; SV ");
        if (sv != std::string_view::npos)
            version_ = accession_ + '.' + std::string(FirstToken(rest.substr(sv + 5)));
    }
    return sink.recordBegins(lineOffset);
}

// A line of the feature table (GenBank's indented lines after FEATURES,
// EMBL's FT lines, `body` without the keyword): the source feature's
// chromosome, plasmid or organelle names the record.
void FlatFileCutter::takeFeatureLine(std::string_view body)
{
    body = Trimmed(body);
    if (body.empty())
        return;
    if (body.front() != '/') {
        inSource_ = FirstToken(body) == "source";
        return;
    }
    if (!inSource_ || !displayName_.empty())
        return;
    const std::size_t equals = body.find('=');
    if (equals == std::string_view::npos)
        return;
    std::string_view value = Trimmed(body.substr(equals + 1));
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        value = value.substr(1, value.size() - 2);
    displayName_ = DisplayNameOf(body.substr(1, equals - 1), value);
}

void FlatFileCutter::takeHeaderLine(std::string_view line)
{
    const Keywords& k = KeywordsOf(syntax_);
    std::string_view rest;
    const std::string_view keyword = KeywordOf(line, &rest);
    if (syntax_ == FlatSyntax::Embl ? keyword == "FT" : keyword.empty() && inFeatures_) {
        takeFeatureLine(syntax_ == FlatSyntax::Embl ? rest : line);
        return;
    }
    if (!keyword.empty())
        inFeatures_ = keyword == "FEATURES";
    if (keyword.empty() || (syntax_ == FlatSyntax::Embl && keyword == k.definition && inDefinition_)) {
        if (inDefinition_ && !rest.empty())
            definition_.append(definition_.empty() ? "" : " ").append(rest);
        return;
    }
    inDefinition_ = keyword == k.definition;
    if (inDefinition_)
        definition_ = std::string(rest);
    else if (keyword == k.accession && accession_.empty())
        accession_ = std::string(FirstToken(rest));
    else if (!k.version.empty() && keyword == k.version)
        version_ = std::string(FirstToken(rest));
}

bool FlatFileCutter::beginSequence(RecordSink& sink)
{
    std::string name = !version_.empty() ? version_ : !accession_.empty() ? accession_ : locus_;
    std::string_view definition = Trimmed(definition_);
    if (!definition.empty() && definition.back() == '.')
        definition.remove_suffix(1);
    if (!definition.empty())
        name.append(" ").append(definition);
    if (!name.empty())
        sink.nameBytes(name.data(), std::min(name.size(), kMaxNameBytes));
    sink.recordTopology(topology_);
    if (!displayName_.empty())
        sink.recordDisplayName(displayName_);
    return sink.sequenceBegins();
}

bool FlatFileCutter::takeLine(std::string_view line, uint64_t lineOffset, RecordSink& sink)
{
    const Keywords& k = KeywordsOf(syntax_);
    const std::string_view keyword = KeywordOf(line, nullptr);
    if (!inRecord_) {
        // Text before the first LOCUS (ID) line belongs to no record.
        return keyword != k.record || beginRecord(line, lineOffset, sink);
    }
    if (line.substr(0, 2) == "//") {
        // A record without sequence.
        inRecord_ = false;
        return beginSequence(sink) && sink.recordEnds();
    }
    if (keyword == k.sequence) {
        state_ = State::Sequence;
        return beginSequence(sink);
    }
    takeHeaderLine(line);
    return true;
}

// Bases of the sequence section in [p, end): everything but the position
// numbers, up to the "//" that ends the record (the sequence has no "/").
bool FlatFileCutter::sequencePart(char* p, char* end, uint64_t offset, RecordSink& sink, bool& ended)
{
    char* const begin = p;
    ended = false;
    while (p < end) {
        char* run = p;
        while (p < end && !IsDigit(*p) && *p != '/')
            ++p;
        if (p > run && !sink.sequenceBytes(run, std::size_t(p - run), offset + uint64_t(run - begin)))
            return false;
        if (p < end && *p == '/') {
            ended = true;
            return true;
        }
        while (p < end && IsDigit(*p))
            ++p;
    }
    return true;
}

bool FlatFileCutter::cut(char* bytes, std::size_t size, uint64_t offset, RecordSink& sink)
{
    char* p = bytes;
    char* const end = bytes + size;
    while (p < end) {
        if (state_ == State::Sequence) {
            auto* slash = static_cast<char*>(std::memchr(p, '/', std::size_t(end - p)));
            bool ended = false;
            if (!sequencePart(p, slash ? slash + 1 : end, offset + uint64_t(p - bytes), sink, ended))
                return false;
            if (!ended)
                return true;
            inRecord_ = false;
            state_ = State::SkipLine; // the rest of the "//" line
            if (!sink.recordEnds())
                return false;
            p = slash + 1;
            continue;
        }
        auto* lf = static_cast<char*>(std::memchr(p, '\n', std::size_t(end - p)));
        char* const lineEnd = lf ? lf : end;
        if (state_ == State::SkipLine) {
            if (lf)
                state_ = State::Lines;
        } else {
            if (!lineStarted_) {
                lineStarted_ = true;
                lineOffset_ = offset + uint64_t(p - bytes);
                line_.clear();
            }
            line_.append(p, std::min(std::size_t(lineEnd - p), kMaxNameBytes - std::min(kMaxNameBytes, line_.size())));
            if (lf) {
                lineStarted_ = false;
                if (!takeLine(line_, lineOffset_, sink))
                    return false;
            }
        }
        if (!lf)
            return true;
        p = lf + 1;
    }
    return true;
}

void FlatFileCutter::finish(RecordSink& sink)
{
    if (lineStarted_ && state_ == State::Lines) {
        lineStarted_ = false;
        if (!takeLine(line_, lineOffset_, sink))
            return;
    }
    if (state_ == State::Sequence || inRecord_) {
        // A last record without its "//".
        const bool inSequence = state_ == State::Sequence;
        state_ = State::Lines;
        inRecord_ = false;
        if (inSequence || beginSequence(sink))
            sink.recordEnds();
    }
}

} // namespace quillet
