#pragma once
// Reading a whole file and measuring its length, for regular files only: a
// directory, a FIFO or a device yields nothing (and never blocks).
#include <QString>
#include <cstdint>
#include <optional>
#include <string>

namespace quillet {

// The whole content of the regular file at `path`, read in one go and closed
// again. Nothing when the path is empty, the file cannot be opened or read,
// or it is no regular file. A file that shrinks or grows while being read
// gives the bytes actually read.
std::optional<std::string> ReadWholeFile(const QString& path);

// The length in bytes of the regular file at `path`; nothing otherwise.
std::optional<int64_t> FileLength(const QString& path);

} // namespace quillet
