#include "analysis/outputfile.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet {

namespace {

// Writes go to the disk in pieces of this size: the picture writers hand
// over a few bytes at a time.
constexpr std::size_t kBufferBytes = std::size_t{64} << 10;

QString SystemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// What the rule says about a target that lstat() described (`found`
// false when there is nothing at the path).
std::optional<QString> Refusal(const struct stat& st, bool found)
{
    if (!found || S_ISLNK(st.st_mode))
        return std::nullopt;
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("it is a folder");
    if (!S_ISREG(st.st_mode))
        return QStringLiteral("it is not a regular file");
    if ((st.st_mode & S_IWUSR) == 0)
        return QStringLiteral("it is read-only");
    return std::nullopt;
}

// lstat() of the target: 0 when it is there, ENOENT when nothing is, or
// the error that keeps it from being looked at.
int LookAt(const QByteArray& native, struct stat& st)
{
    if (::lstat(native.constData(), &st) == 0)
        return 0;
    return errno;
}

// The temporary file's name beside the target: the target's name with a
// random suffix, cut so that it stays within the system's limit on a
// name when the target's own name is near it.
std::string TemporaryName(const QByteArray& target)
{
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    const qsizetype slash = target.lastIndexOf('/');
    std::string name(target.constData(), std::size_t(slash + 1));
    const QByteArray base = target.mid(slash + 1);
    name.append(base.constData(), std::min<std::size_t>(std::size_t(base.size()), NAME_MAX - 8));
    name += '.';
    for (int i = 0; i < 6; ++i)
        name += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))];
    return name;
}

// write() of all `size` bytes, again after signals; 0 or the error.
int WriteAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size);
        if (done < 0 && errno == EINTR)
            continue;
        if (done < 0)
            return errno;
        if (done == 0)
            return EIO;
        data += done;
        size -= std::size_t(done);
    }
    return 0;
}

} // namespace

std::optional<QString> OutputRefusal(const QString& path)
{
    struct stat st {};
    const int looked = LookAt(QFile::encodeName(path), st);
    if (looked != 0 && looked != ENOENT)
        return SystemError(looked);
    return Refusal(st, looked == 0);
}

OutputFile::OutputFile(const QString& path, Durability durability) : path_(path), durability_(durability) {}

OutputFile::~OutputFile()
{
    discard();
}

bool OutputFile::open(OpenMode mode)
{
    if (isOpen() || (mode & ReadOnly) || !(mode & WriteOnly))
        return false;
    error_.clear();
    failed_ = false;
    if (path_.isEmpty()) {
        fail(ENOENT);
        return false;
    }
    const QByteArray native = QFile::encodeName(path_);
    struct stat st {};
    const int looked = LookAt(native, st);
    if (looked != 0 && looked != ENOENT) {
        fail(looked);
        return false;
    }
    if (const std::optional<QString> refusal = Refusal(st, looked == 0)) {
        failed_ = true;
        error_ = *refusal;
        setErrorString(error_);
        return false;
    }
    // Made with 0666, so the umask decides a new file's permissions as it
    // does for any file; a regular file that is replaced keeps its own.
    for (int attempt = 0; fd_ < 0; ++attempt) {
        temp_ = TemporaryName(native);
        fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ < 0 && (errno != EEXIST || attempt == 100)) {
            fail(errno);
            temp_.clear();
            return false;
        }
    }
    if (looked == 0 && S_ISREG(st.st_mode) && ::fchmod(fd_, st.st_mode & 0777) != 0) {
        fail(errno);
        discard();
        return false;
    }
    buffer_.clear();
    return QIODevice::open(WriteOnly | Unbuffered);
}

bool OutputFile::commit()
{
    if (!isOpen()) {
        if (error_.isEmpty())
            error_ = QStringLiteral("it was never opened");
        return false;
    }
    flushBuffer();
    if (!failed_ && durability_ == Durability::Synced && ::fsync(fd_) != 0)
        fail(errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR)
        fail(errno);
    if (!failed_ && std::rename(temp_.c_str(), QFile::encodeName(path_).constData()) != 0)
        fail(errno);
    if (failed_)
        ::unlink(temp_.c_str());
    temp_.clear();
    buffer_.clear();
    QIODevice::close();
    return !failed_;
}

void OutputFile::close()
{
    discard();
}

void OutputFile::discard()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!temp_.empty())
        ::unlink(temp_.c_str());
    temp_.clear();
    buffer_.clear();
    if (isOpen())
        QIODevice::close();
}

bool OutputFile::seek(qint64 pos)
{
    if (!isOpen() || !flushBuffer())
        return false;
    if (::lseek(fd_, off_t(pos), SEEK_SET) < 0) {
        fail(errno);
        return false;
    }
    return QIODevice::seek(pos);
}

qint64 OutputFile::size() const
{
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0)
        return pos();
    // Buffered bytes end at pos().
    return std::max<qint64>(qint64(st.st_size), pos());
}

bool OutputFile::resize(qint64 size)
{
    if (!isOpen() || !flushBuffer())
        return false;
    if (::ftruncate(fd_, off_t(size)) != 0) {
        fail(errno);
        return false;
    }
    return pos() <= size || seek(size);
}

qint64 OutputFile::readData(char*, qint64)
{
    return -1;
}

qint64 OutputFile::writeData(const char* data, qint64 size)
{
    if (failed_ || fd_ < 0)
        return -1;
    const auto bytes = std::size_t(size);
    if (buffer_.size() + bytes > kBufferBytes && !flushBuffer())
        return -1;
    if (bytes >= kBufferBytes) {
        if (const int error = WriteAll(fd_, data, bytes); error != 0) {
            fail(error);
            return -1;
        }
        return size;
    }
    buffer_.append(data, bytes);
    return size;
}

bool OutputFile::flushBuffer()
{
    if (failed_)
        return false;
    const int error = WriteAll(fd_, buffer_.data(), buffer_.size());
    buffer_.clear();
    if (error != 0)
        fail(error);
    return error == 0;
}

// The first error is the one said: later ones follow from it.
void OutputFile::fail(int error)
{
    if (failed_)
        return;
    failed_ = true;
    error_ = SystemError(error);
    setErrorString(error_);
}

} // namespace quillet
