#pragma once
// A stretch of a record as people type it on a command line or in a search
// box: "chr2:1,000,000-1,500,000", "NC_000913.3:1.5M-2M", "100-200", "chrM".
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>

namespace quillet {

// Positions are 1-based and inclusive. `name` is empty when the text gave
// none; start = end = 0 means the whole record (a name alone).
struct Region {
    QString name;
    int64_t start = 0, end = 0;
    bool wholeRecord() const { return start == 0 && end == 0; }
};

// Reads a region, with blanks around the text and around each number ignored:
//   START-END        a stretch of the record meant by the caller
//   NAME:START-END   a stretch of the record NAME
//   NAME             the whole record NAME (start = end = 0)
// START and END are 1-based and inclusive, as genome browsers write them.
// Each is digits, optionally with thousands separators ("1,000,000"), or a
// number with a k/K (x1,000) or m/M (x1,000,000) suffix, where a decimal
// part is allowed as long as the product is whole ("1.5M", "2.25k").
// A name may contain ':' itself ("HLA-A*01:01:01"): the split is at the last
// ':' whose right side looks like a range (digits, separators, suffixes and
// one '-'); when none does, the whole text is a name. "NAME:START" is read as
// a name, since "HLA-A*01:01" could be either; give "NAME:START-END".
// Returns nothing and sets `error` to the reason (START < 1, END < START, a
// malformed number, a value past 64 bits, an empty name or text).
std::optional<Region> ParseRegion(const QString& text, QString* error = nullptr);
// The same over bytes, as a command line gives them, read one byte to one
// character (Latin-1), so that the name's toLatin1() gives back its bytes
// whatever they are (a header's name need not be valid UTF-8). Only ASCII
// blanks are taken off.
std::optional<Region> ParseRegionBytes(const QByteArray& text, QString* error = nullptr);

// The region written back in the form ParseRegion reads, without separators:
// "NAME:START-END", "START-END" or "NAME".
QString FormatRegion(const Region& region);

} // namespace quillet
