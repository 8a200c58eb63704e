#pragma once
// The file names proposed when saving the map or exporting its picture or
// values, made from the sequence title.
#include <QString>

namespace quillet {

// Removes carriage returns and "|", and every character that would steer
// the path or is not allowed in a file name on common systems (path
// separators, control characters, and : * ? " < >). Keeps everything else.
// Save proposes the whole title made safe this way.
QString ProposedFileName(const QString& title);

// The name the Export dialogs propose (before the type's extension): the
// record's ID (RecordId: the title up to its first blank) made safe as
// above, without leading dots (no hidden file, no "..") and cut to 200
// UTF-8 bytes so that any extension still fits a file name; "sequence"
// when nothing is left. A FASTA header's descriptions ("[org=...]") make
// poor file names; tools know a record by its ID.
QString ProposedExportName(const QString& title);

// ProposedExportName for a record's name as the engine read it, one byte
// to one character: the name's own bytes, which are UTF-8 more often than
// not, make the file name, so that a header "Caf\xC3\xA9" proposes "Café"
// and not the bytes encoded a second time.
QString RecordExportName(const QString& recordName);

// The file name as chosen in a save dialog, with `extension` added when it
// has none (and names nothing that exists).
QString WithExtension(const QString& path, const QString& extension);

} // namespace quillet
