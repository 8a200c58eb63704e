#pragma once
// Writing an output file so that a failure never costs the user a file:
// the bytes go to a new file beside the target, and only once every one of
// them was written does it take the target's name. Whatever was at the
// target before stays as it was when anything fails: a full disk, a file
// size limit, an error of the device. The window's exports and quillet-map
// write every file through it, under one rule for what is at the target:
//
// - nothing, or a regular file its owner may write: replaced;
// - a symbolic link: the link itself is replaced, never followed (so a
//   link planted at an output's name cannot steer a write elsewhere, nor
//   create the file it points to);
// - a regular file without its owner's write bit: refused, as read-only
//   (decided by the bits, since root may write any file);
// - a folder, a FIFO, a device or a socket: refused.
#include <QIODevice>
#include <QString>
#include <optional>
#include <string>

namespace quillet {

class OutputFile : public QIODevice {
public:
    // Whether commit() waits for the bytes to reach the disk before the
    // rename. The window's exports do, so that a file said to be saved
    // survives a crash right after; quillet-map does not, since in a batch
    // of thousands of files that wait would cost more than the maps.
    enum class Durability { Synced, Unsynced };

    explicit OutputFile(const QString& path, Durability durability = Durability::Synced);
    ~OutputFile() override; // removes a temporary file not committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens for writing (the only mode): checks the target and makes the
    // temporary file. False, with error(), when either cannot be done.
    bool open(OpenMode mode) override;
    // Writes what is buffered, checks that every write succeeded, syncs
    // when asked, closes and renames over the target. False, with error(),
    // when any of it failed: the temporary file is gone and the target is
    // as it was.
    bool commit();
    // Drops what was written; the target stays as it was.
    void close() override;

    const QString& path() const { return path_; }
    // Why the file could not be written: the system's words for the error
    // ("No space left on device") or the rule that refused the target ("it
    // is read-only"), for a message after "could not be saved to PATH: ".
    const QString& error() const { return error_; }

    bool isSequential() const override { return false; }
    bool seek(qint64 pos) override;
    qint64 size() const override;
    // Cuts the file (or extends it with zero bytes) to `size` bytes.
    bool resize(qint64 size);

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    bool flushBuffer();
    void fail(int error);
    void discard();

    QString path_;
    Durability durability_;
    std::string temp_; // the temporary file's path in the system's encoding
    int fd_ = -1;
    std::string buffer_;
    QString error_;
    bool failed_ = false;
};

// Why the output at `path` may not be replaced under the rule above (or
// cannot be looked at); nothing when it may. OutputFile::open applies it;
// an export that computes for long asks first.
std::optional<QString> OutputRefusal(const QString& path);

} // namespace quillet
