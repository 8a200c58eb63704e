#pragma once
// Input files as streams of bytes. The kind of file is recognised by its
// content, not its name: gzip (also multi-member and bgzip), zstd, xz and
// bzip2 are decompressed as they are read; a file saved as UTF-16 with a
// byte-order mark reads as its text; archives, alignments and pictures are
// refused with a message that says what they are.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace quillet {

class InputError : public std::runtime_error {
public:
    enum class Kind {
        Unreadable,  // cannot be opened or read (missing, no regular file, I/O error)
        Unsupported, // a kind of file that holds no FASTA text
        Damaged,     // compressed data that is broken or ends early
    };
    InputError(Kind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

enum class Compression { None, Gzip, Zstd, Xz, Bzip2 };
const char* CompressionName(Compression c);
// The compression a file's first 16 bytes (or all of a shorter file) say.
Compression CompressionOfBytes(const std::string& head);

class InputStream {
public:
    virtual ~InputStream() = default;
    // Up to `capacity` bytes of content; 0 only at the end. Throws
    // InputError (Damaged, Unreadable) when the content cannot be continued.
    virtual std::size_t read(char* buffer, std::size_t capacity) = 0;
    // Bytes of the underlying file consumed so far, and its size on disk
    // (0 when unknown).
    virtual uint64_t consumed() const = 0;
    virtual uint64_t total() const = 0;
    // Skips `count` bytes of content (reading them, or seeking when the
    // file is plain); false when the content ends first.
    virtual bool skip(uint64_t count);
    virtual Compression compression() const { return Compression::None; }
};

// Opens the regular file at `path` for reading as content. Throws
// InputError: Unreadable for an empty path, a missing or unreadable file, or
// anything that is no regular file (never blocks on a FIFO); Unsupported for
// a recognised kind that holds no FASTA text (the message names the kind).
std::unique_ptr<InputStream> OpenInput(const QString& path);
// The same over a descriptor the caller owns (standard input, say).
std::unique_ptr<InputStream> OpenInputDescriptor(int fd);

} // namespace quillet
