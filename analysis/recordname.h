#pragma once
// A record's name as the engine reads it (its header up to the first tab,
// one byte to one character) and the forms it takes where it leaves the
// program: its ID, its Unicode text, and a form without NUL.
#include <QString>

namespace quillet {

// A record's ID: its name up to the first blank (space, tab, CR or LF),
// without leading blanks; "sequence" when the name has none. Genome
// browsers and samtools know a record by it, and it is short enough for a
// file name where the whole header (with its descriptions) is not.
QString RecordId(const QString& name);
// A record's name or ID for people to read, with what its file calls it
// (RecordInfo::displayName) in parentheses right after its ID:
// "ref|NC_001136| (chromosome IV) [chromosome=IV]"; the name alone
// without one.
QString WithDisplayName(const QString& name, const QString& displayName);

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

} // namespace quillet
