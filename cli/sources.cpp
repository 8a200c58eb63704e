// Opening quillet-map's inputs, and knowing them by device and inode.
#include "cli/sources.h"

#include "analysis/seqindex.h"

#include "analysis/fileio.h"
#include "analysis/runverdict.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quillet::cli {
namespace {

// "PATH cannot be read: REASON." for the errno `error`.
QString Unreadable(const QString& path, int error)
{
    return QStringLiteral("%1 cannot be read: %2.").arg(path, QString::fromLocal8Bit(std::strerror(error)));
}

} // namespace

Source::Source(const QString& path) : shown(path), path_(path)
{
    struct stat st {};
    if (path == u"-") {
        shown = QStringLiteral("standard input");
        stream_ = true;
        fd_ = STDIN_FILENO;
        if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode))
            size = int64_t(st.st_size);
    } else if (::stat(NativePath(path).constData(), &st) != 0) {
        problem = errno == ENOENT ? QStringLiteral("%1: %2").arg(path, kFileMessage) : Unreadable(path, errno);
    } else if (S_ISDIR(st.st_mode)) {
        problem = QStringLiteral("%1 is a folder, not a FASTA file.").arg(path);
    } else if (S_ISSOCK(st.st_mode)) {
        problem = QStringLiteral("%1 is a socket, not a FASTA file.").arg(path);
    } else if (S_ISREG(st.st_mode)) {
        size = int64_t(st.st_size);
    } else {
        stream_ = true; // a named pipe or a device: read as it comes
    }
}

bool Source::Open()
{
    if (fd_ >= 0)
        return true;
    const int fd = ::open(NativePath(path_).constData(), O_RDONLY | O_CLOEXEC | (stream_ ? 0 : O_NONBLOCK));
    if (fd < 0) {
        problem = Unreadable(path_, errno);
        return false;
    }
    if (stream_) {
        fd_ = fd;
        owned_ = true;
    } else {
        ::close(fd);
    }
    return true;
}

void Source::StartAtRecord(const std::string& id, RunSettings& settings, QString& refusal)
{
    if (stream_)
        return;
    if (const auto found = FindIndexedRecord(path_, id, refusal)) {
        settings.startOffset = found->headerOffset;
        settings.maxRecords = 1;
        settings.format = RecordFormat::Fasta;
    }
}

void Source::StartAtStretch(const std::string& id, RunSettings& settings, QString& refusal)
{
    if (stream_)
        return;
    const auto found = id.empty() ? FindOnlyIndexedRecord(path_, refusal) : FindIndexedRecord(path_, id, refusal);
    if (!found)
        return;
    const StretchBytes bytes = StretchOf(found->fai, settings.firstBase, settings.lastBase);
    settings.startOffset = bytes.from;
    settings.maxRecords = 1;
    settings.format = RecordFormat::Fasta;
    settings.inSequence = RunSettings::InSequence{found->header, found->headerOffset, bytes.basesBefore,
                                                  int64_t(found->fai.length), bytes.to};
}

RunReport Source::Run(const RunSettings& settings, RunListener& listener)
{
    if (!stream_)
        return RunFile(path_, settings, listener);
    return RunDescriptor(fd_, settings, listener);
}

Source::~Source()
{
    if (owned_)
        ::close(fd_);
}

InputFiles::InputFiles(const QStringList& files)
{
    for (const QString& file : files)
        if (const std::optional<Identity> id = IdentityOf(file))
            inputs_.push_back({*id, file});
}

QString InputFiles::Named(const QString& path) const
{
    const std::optional<Identity> id = IdentityOf(path);
    for (const auto& [input, file] : inputs_)
        if (id && *id == input)
            return file == u"-" ? QStringLiteral("the file on standard input")
                                : QStringLiteral("the input file %1").arg(file);
    return {};
}

std::optional<InputFiles::Identity> InputFiles::IdentityOf(const QString& path)
{
    struct stat st {};
    const int got = path == u"-" ? ::fstat(STDIN_FILENO, &st) : ::stat(QFile::encodeName(path).constData(), &st);
    if (got != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return Identity{st.st_dev, st.st_ino};
}

} // namespace quillet::cli
