#include "analysis/fasta.h"

#include "analysis/annotation.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillet {

namespace {

inline bool Ignored(unsigned char c)
{
    return c == '\r' || c == '\n' || c == ' ';
}

} // namespace

char* CompactSequence(char* begin, char* end)
{
    char* out = begin;
    const char* in = begin;
#if defined(__SSE2__)
    // Sixteen bytes at a time: a block without any ignored byte (the bulk of
    // every line) is moved with one store.
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i sp = _mm_set1_epi8(' ');
    while (end - in >= 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i hit =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(block, cr), _mm_cmpeq_epi8(block, lf)), _mm_cmpeq_epi8(block, sp));
        if (_mm_movemask_epi8(hit) == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out), block);
            out += 16;
        } else {
            for (int k = 0; k < 16; ++k) {
                const char c = in[k];
                *out = c;
                out += Ignored(static_cast<unsigned char>(c)) ? 0 : 1;
            }
        }
        in += 16;
    }
#endif
    for (; in < end; ++in) {
        const char c = *in;
        *out = c;
        out += Ignored(static_cast<unsigned char>(c)) ? 0 : 1;
    }
    return out;
}

bool FastaCutter::beginRecord(uint64_t offset, RecordSink& sink)
{
    state_ = State::Header;
    ++records_;
    headerBytes_ = 0;
    nameBytes_ = 0;
    nameEnded_ = false;
    id_.clear();
    idEnded_ = false;
    if (records_ == 1 && !preambleLine_.empty()) {
        preambleLine(preambleLine_);
        preambleLine_.clear();
    }
    return sink.recordBegins(offset);
}

void FastaCutter::scanPreamble(const char* p, const char* end)
{
    // A line this long is no GFF3 line that names a circle: its start is
    // kept, the rest dropped, so a preamble without line breaks takes no
    // more memory.
    constexpr std::size_t kLongestLine = std::size_t{1} << 16;
    while (p < end) {
        const auto* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        const char* const lineEnd = lf ? lf : end;
        const std::string_view piece(p, static_cast<std::size_t>(lineEnd - p));
        if (!lf) {
            preambleLine_.append(piece.substr(0, kLongestLine - std::min(kLongestLine, preambleLine_.size())));
            return;
        }
        if (preambleLine_.empty()) {
            preambleLine(piece);
        } else {
            preambleLine_.append(piece.substr(0, kLongestLine - std::min(kLongestLine, preambleLine_.size())));
            preambleLine(preambleLine_);
            preambleLine_.clear();
        }
        p = lf + 1;
    }
}

void FastaCutter::preambleLine(std::string_view line)
{
    std::string id = GffCircularSeqid(line);
    if (!id.empty())
        circularIds_.insert(std::move(id));
}

void FastaCutter::tellTopology(RecordSink& sink)
{
    if (!circularIds_.empty() && circularIds_.contains(id_))
        sink.recordTopology(Topology::Circular);
}

void FastaCutter::takeHeader(const char* p, const char* end, RecordSink& sink)
{
    headerBytes_ += static_cast<std::size_t>(end - p);
    if (nameEnded_)
        return;
    const auto* tab = static_cast<const char*>(std::memchr(p, '\t', static_cast<std::size_t>(end - p)));
    const char* const nameEnd = tab ? tab : end;
    nameEnded_ = tab != nullptr;
    const std::size_t size = std::min(kMaxNameBytes - nameBytes_, static_cast<std::size_t>(nameEnd - p));
    if (size > 0)
        sink.nameBytes(p, size);
    nameBytes_ += size;
    if (!circularIds_.empty() && !idEnded_) {
        const char* q = p;
        while (q < nameEnd && *q != ' ' && *q != '\r' && id_.size() < kMaxNameBytes)
            id_.push_back(*q++);
        idEnded_ = q < nameEnd || tab != nullptr;
    }
}

// A record that is a header alone: one without sequence.
bool FastaCutter::headerOnly(RecordSink& sink)
{
    state_ = State::Seek;
    return sink.sequenceBegins() && sink.recordEnds();
}

bool FastaCutter::cut(char* bytes, std::size_t size, uint64_t offset, RecordSink& sink)
{
    char* p = bytes;
    char* const end = bytes + size;
    const auto at = [&](const char* q) { return offset + static_cast<uint64_t>(q - bytes); };
    while (p < end) {
        switch (state_) {
        case State::Seek: {
            auto* gt = static_cast<char*>(std::memchr(p, '>', static_cast<std::size_t>(end - p)));
            if (records_ == 0)
                scanPreamble(p, gt ? gt : end);
            if (!gt)
                return true;
            if (!beginRecord(at(gt), sink))
                return false;
            p = gt + 1;
            break;
        }
        case State::Header: {
            auto* lf = static_cast<char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
            char* const lineEnd = lf ? lf : end;
            auto* gt = static_cast<char*>(std::memchr(p, '>', static_cast<std::size_t>(lineEnd - p)));
            if (gt) {
                // The next record begins before this header line ends.
                if (!forgiving()) {
                    sink.recordBroken(RecordProblem::NoLineFeed);
                    return false;
                }
                takeHeader(p, gt, sink);
                if (!headerOnly(sink) || !beginRecord(at(gt), sink))
                    return false;
                p = gt + 1;
                break;
            }
            takeHeader(p, lineEnd, sink);
            if (!lf)
                return true;
            if (headerBytes_ == 0 && !options_.forgivingHeaders) {
                sink.recordBroken(RecordProblem::EmptyHeader);
                return false;
            }
            state_ = State::Body;
            tellTopology(sink);
            if (!sink.sequenceBegins())
                return false;
            p = lf + 1;
            break;
        }
        case State::Body: {
            auto* gt = static_cast<char*>(std::memchr(p, '>', static_cast<std::size_t>(end - p)));
            char* const pieceEnd = gt ? gt : end;
            if (pieceEnd > p && !sink.sequenceBytes(p, static_cast<std::size_t>(pieceEnd - p), at(p)))
                return false;
            if (!gt)
                return true;
            state_ = State::Seek;
            if (!sink.recordEnds() || !beginRecord(at(gt), sink))
                return false;
            p = gt + 1;
            break;
        }
        }
    }
    return true;
}

void FastaCutter::finish(RecordSink& sink)
{
    switch (state_) {
    case State::Seek: break;
    case State::Header:
        if (forgiving())
            headerOnly(sink);
        else
            sink.recordBroken(RecordProblem::NoLineFeed);
        break;
    case State::Body:
        state_ = State::Seek;
        sink.recordEnds();
        break;
    }
}

void FastaCutter::resumeInSequence()
{
    state_ = State::Body;
}

namespace {

bool Blank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view Trimmed(std::string_view s)
{
    while (!s.empty() && Blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && Blank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool SameLetters(std::string_view s, std::string_view lower)
{
    return s.size() == lower.size() && std::equal(s.begin(), s.end(), lower.begin(), [](char a, char b) {
               return (a >= 'A' && a <= 'Z' ? char(a - 'A' + 'a') : a) == b;
           });
}

// Hands each [key=value] modifier of a header to `take` in turn (the key
// trimmed), until it returns true.
template <typename Take>
void EachModifier(std::string_view header, Take take)
{
    for (std::size_t open = header.find('['); open != std::string_view::npos; open = header.find('[', open + 1)) {
        const std::size_t close = header.find(']', open + 1);
        if (close == std::string_view::npos)
            return;
        const std::string_view inside = header.substr(open + 1, close - open - 1);
        const std::size_t equals = inside.find('=');
        if (equals != std::string_view::npos && take(Trimmed(inside.substr(0, equals)), inside.substr(equals + 1)))
            return;
    }
}

} // namespace

Topology TopologyInHeader(std::string_view header)
{
    Topology topology = Topology::Unknown;
    EachModifier(header, [&](std::string_view key, std::string_view value) {
        if (!SameLetters(key, "topology") && !SameLetters(key, "top"))
            return false;
        value = Trimmed(value);
        topology = SameLetters(value, "circular") ? Topology::Circular
                   : SameLetters(value, "linear") ? Topology::Linear
                                                  : Topology::Unknown;
        return true;
    });
    return topology;
}

std::string DisplayNameOf(std::string_view qualifier, std::string_view value)
{
    value = Trimmed(value);
    if (value.empty())
        return {};
    if (SameLetters(qualifier, "chromosome"))
        return "chromosome " + std::string(value);
    if (SameLetters(qualifier, "plasmid") || SameLetters(qualifier, "plasmid-name"))
        return "plasmid " + std::string(value);
    if (SameLetters(qualifier, "location") || SameLetters(qualifier, "organelle")) {
        // "plastid:chloroplast": the kind of plastid says more.
        const std::size_t colon = value.find(':');
        return std::string(colon == std::string_view::npos ? value : Trimmed(value.substr(colon + 1)));
    }
    return {};
}

std::string DisplayNameInHeader(std::string_view header)
{
    std::string name;
    EachModifier(header, [&](std::string_view key, std::string_view value) {
        name = DisplayNameOf(key, value);
        return !name.empty();
    });
    return name;
}

} // namespace quillet
