#pragma once
// Reading a whole file and measuring its length, for regular files only: a
// directory, a FIFO or a device yields nothing (and never blocks).
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>

namespace quillet {

// A path as the system gives it (bytes) and back, without loss: a name
// that is valid text in the system's encoding is that text, as Qt decodes
// it; in one that is not (a Latin-1 name on a UTF-8 system, say), the
// valid UTF-8 runs are text and every other byte b is the lone surrogate
// U+DC00 + b, which NativePath turns back into b. Qt's own decoding would
// turn such bytes into U+FFFD and name another file.
QString PathFromNative(const QByteArray& native);
QByteArray NativePath(const QString& path);

// The whole content of the regular file at `path`, read in one go and closed
// again. Nothing when the path is empty, the file cannot be opened or read,
// or it is no regular file. A file that shrinks or grows while being read
// gives the bytes actually read.
std::optional<std::string> ReadWholeFile(const QString& path);

// A file saved as UTF-16 (it starts with a byte-order mark) is turned into
// one byte per character, in place, so that it reads like any other FASTA
// file; a character beyond Latin-1 becomes '?'. Any other content, a UTF-8
// mark included, is left as it is.
void DecodeMarkedUtf16(std::string& content);

// The length in bytes of the regular file at `path`; nothing otherwise.
std::optional<int64_t> FileLength(const QString& path);

} // namespace quillet
