#include "analysis/fasta.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillet {

QString RecordId(const QString& name)
{
    // Blanks as C's isspace knows them: a name's characters are its bytes,
    // and bytes 0x85 and 0xA0 (blanks in Latin-1) are parts of UTF-8
    // characters such as "Å" and "à".
    const auto blank = [](QChar c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); };
    qsizetype begin = 0;
    while (begin < name.size() && blank(name[begin]))
        ++begin;
    qsizetype end = begin;
    while (end < name.size() && !blank(name[end]))
        ++end;
    return end > begin ? name.mid(begin, end - begin) : QStringLiteral("sequence");
}

QString UnicodeName(const QString& name)
{
    return WithoutNul(QString::fromUtf8(name.toLatin1()));
}

QString WithoutNul(const QString& name)
{
    if (!name.contains(QChar(u'\0')))
        return name;
    QString text = name;
    return text.replace(QChar(u'\0'), QStringLiteral("\\x00"));
}

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

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

FastaReader::FastaReader(std::string& content) : content_(content)
{
    // Text before the first ">" belongs to no record.
    const std::size_t first = content_.find('>');
    pos_ = first == std::string::npos ? kNone : first + 1;
}

bool FastaReader::next(FastaRecord& record, FastaProblem& problem)
{
    problem = FastaProblem::None;
    record = FastaRecord{};
    if (pos_ == kNone)
        return false;
    ++index_;

    const std::size_t start = pos_;
    std::size_t end = content_.find('>', start);
    if (end == std::string::npos) {
        end = content_.size();
        pos_ = kNone;
    } else {
        pos_ = end + 1;
    }

    char* const data = content_.data();
    const void* lf = std::memchr(data + start, '\n', end - start);
    if (lf == nullptr) {
        problem = FastaProblem::NoLineFeed;
        return true;
    }
    const std::size_t headerEnd = static_cast<const char*>(lf) - data;
    if (headerEnd == start) {
        problem = FastaProblem::EmptyHeader;
        return true;
    }

    // The name stops at the first tab; a carriage return ending the header
    // line stays part of it. Each byte is one character (Latin-1).
    const void* tab = std::memchr(data + start, '\t', headerEnd - start);
    const std::size_t nameEnd = tab ? static_cast<const char*>(tab) - data : headerEnd;
    record.name = QString::fromLatin1(data + start, static_cast<qsizetype>(nameEnd - start));

    char* const body = data + headerEnd + 1;
    char* const bodyEnd = CompactSequence(body, data + end);
    record.sequence = std::string_view(body, static_cast<std::size_t>(bodyEnd - body));
    return true;
}

} // namespace quillet
