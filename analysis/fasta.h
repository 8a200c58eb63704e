#pragma once
// Cuts the content of a FASTA file into records. A record runs from one ">"
// to the next ">" (or the end); its header line runs to the first line feed,
// the name is the header up to its first tab, and the sequence is the rest
// with carriage returns, line feeds and spaces removed.
#include <QString>
#include <cstddef>
#include <string>
#include <string_view>

namespace quillet {

struct FastaRecord {
    QString name;              // header up to the first tab, bytes decoded as Latin-1
    std::string_view sequence; // points into the content given to the reader
};

// A record's ID: its name up to the first blank (space, tab, CR or LF),
// without leading blanks; "sequence" when the name has none. Genome
// browsers and samtools know a record by it, and it is short enough for a
// file name where the whole header (with its descriptions) is not.
QString RecordId(const QString& name);

// A record's name as Unicode text: the engine reads a header one byte to
// one character, which the window shows as it is; where the name leaves
// the program as text (a file name, a document title) its own bytes are
// read as UTF-8, which they are more often than not, so that "Caf\xC3\xA9"
// becomes "Café" and not the bytes encoded a second time. A NUL in it is
// written as WithoutNul writes it.
QString UnicodeName(const QString& name);

// A name with each NUL written as the four characters \x00, as the summary
// writes it: wherever a name leaves the program (a table, a track, a
// bigWig's chromosome, an SVG) readers stop at a NUL or refuse it, and two
// names that differ only after one would become the same.
QString WithoutNul(const QString& name);

// Removes carriage returns, line feeds and spaces from [begin, end) by moving
// the kept bytes to the front; returns the new end. The write position never
// passes the read position, so the bytes after `end` are left untouched.
char* CompactSequence(char* begin, char* end);

// Why a record could not be taken apart.
enum class FastaProblem { None, NoLineFeed, EmptyHeader };

// Walks the records of a file content held in `content`. To keep memory at
// the size of the file, each sequence is compacted in place inside `content`
// (removing the ignored characters), so the content must outlive the views
// and is changed by reading.
class FastaReader {
public:
    explicit FastaReader(std::string& content);
    // Takes the next record. Returns false at the end of the content; sets
    // `problem` (and returns true) when the record cannot be taken apart.
    bool next(FastaRecord& record, FastaProblem& problem);
    // Index (0-based) of the record most recently returned by next().
    std::size_t recordIndex() const { return index_ - 1; }

private:
    std::string& content_;
    std::size_t pos_ = 0;
    std::size_t index_ = 0;
};

} // namespace quillet
