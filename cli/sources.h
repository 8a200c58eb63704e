// quillet-map's inputs: where each FILE's bytes come from, and which files
// the inputs are, so that no output replaces one.
#pragma once

#include "analysis/engine.h"

#include <QString>
#include <QStringList>

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillet::cli {

// Where a FILE's bytes come from: a regular file, which the engine opens
// by its path, or a stream read from a descriptor: standard input, a named
// pipe or a device. A folder, a socket, a missing or unreadable file each
// get their own message rather than the window's "doesn't exist".
class Source {
public:
    explicit Source(const QString& path);
    ~Source();
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    // Opens a stream (a named pipe waits for its writer here); tries a
    // regular file. False, with the problem, when it cannot be read.
    bool Open();
    RunReport Run(const RunSettings& settings, RunListener& listener);
    // Reads only the record whose ID is `id` when the file's indexes
    // (samtools' .fai, and .gzi for bgzip) agree with the file: the run
    // starts at the record's header and ends after it. An index that does
    // not agree is not used, and `refusal` says which and why.
    void StartAtRecord(const std::string& id, RunSettings& settings, QString& refusal);
    // Reads only the lines that hold bases settings.firstBase ..
    // lastBase of that record (`id` empty: of the file's only record), as
    // the .fai lays them out, under the same condition.
    void StartAtStretch(const std::string& id, RunSettings& settings, QString& refusal);
    // Read as it comes (standard input, a pipe, a device): it cannot be
    // read again.
    bool stream() const { return stream_; }

    QString shown;               // the FILE in messages
    std::optional<int64_t> size; // bytes on disk, for the proposal
    QString problem;             // why it cannot be read, in full

private:
    QString path_;
    bool stream_ = false;
    int fd_ = -1;
    bool owned_ = false;
};

// The input files that are regular files, known by device and inode, so
// that an output that is one of them is caught however its name is spelled
// (another folder path, a link to it, a second hard link).
class InputFiles {
public:
    explicit InputFiles(const QStringList& files);
    // How an input that `path` names is said in a message; empty when
    // `path` names no input.
    QString Named(const QString& path) const;

private:
    using Identity = std::pair<dev_t, ino_t>;
    static std::optional<Identity> IdentityOf(const QString& path);
    std::vector<std::pair<Identity, QString>> inputs_;
};

} // namespace quillet::cli
