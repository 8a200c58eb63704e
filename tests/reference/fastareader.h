#pragma once
// The reference reader of FASTA text for tests, fuzz targets and
// benchmarks: the whole content in memory, cut into records in the most
// direct way, against which the program's streaming cutter (FastaCutter)
// is checked. A record runs from one ">" to the next ">" (or the end); its
// header line runs to the first line feed, the name is the header up to its
// first tab, and the sequence is the rest with carriage returns, line feeds
// and spaces removed.
#include "analysis/fasta.h"

#include <QString>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace quillet {

struct FastaRecord {
    QString name;              // header up to the first tab, bytes decoded as Latin-1
    std::string_view sequence; // points into the content given to the reader
};

// Why a record could not be taken apart.
enum class FastaProblem { None, NoLineFeed, EmptyHeader };

// Walks the records of a file content held in `content`. Each sequence is
// compacted in place inside `content` (removing the ignored characters), so
// the content must outlive the views and is changed by reading.
class FastaReader {
public:
    explicit FastaReader(std::string& content) : content_(content)
    {
        // Text before the first ">" belongs to no record.
        const std::size_t first = content_.find('>');
        pos_ = first == std::string::npos ? kNone : first + 1;
    }

    // Takes the next record. Returns false at the end of the content; sets
    // `problem` (and returns true) when the record cannot be taken apart.
    bool next(FastaRecord& record, FastaProblem& problem)
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

        // The name stops at the first tab; a carriage return ending the
        // header line stays part of it. Each byte is one character.
        const void* tab = std::memchr(data + start, '\t', headerEnd - start);
        const std::size_t nameEnd = tab ? static_cast<const char*>(tab) - data : headerEnd;
        record.name = QString::fromLatin1(data + start, static_cast<qsizetype>(nameEnd - start));

        char* const body = data + headerEnd + 1;
        char* const bodyEnd = CompactSequence(body, data + end);
        record.sequence = std::string_view(body, static_cast<std::size_t>(bodyEnd - body));
        return true;
    }

    // Index (0-based) of the record most recently returned by next().
    std::size_t recordIndex() const { return index_ - 1; }

private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
    std::string& content_;
    std::size_t pos_ = 0;
    std::size_t index_ = 0;
};

} // namespace quillet
