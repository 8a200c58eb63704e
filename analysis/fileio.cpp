#include "analysis/fileio.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quillet {

namespace {

// Closes the descriptor when leaving the scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// read() that retries after signals; returns -1 on a real error.
ssize_t ReadSome(int fd, char* buffer, std::size_t size)
{
    for (;;) {
        const ssize_t got = ::read(fd, buffer, size);
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

} // namespace

std::optional<std::string> ReadWholeFile(const QString& path)
{
    if (path.isEmpty())
        return std::nullopt;
    const QByteArray native = QFile::encodeName(path);
    // O_NONBLOCK keeps the open itself from waiting on a FIFO without a
    // writer; such a file is refused right after by the fstat test.
    Descriptor fd(::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0)
        return std::nullopt;

    std::string content;
    try {
        content.resize(static_cast<std::size_t>(st.st_size));
    } catch (const std::exception&) {
        return std::nullopt;
    }

    std::size_t filled = 0;
    while (filled < content.size()) {
        const ssize_t got = ReadSome(fd.get(), content.data() + filled, content.size() - filled);
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break; // the file shrank since fstat
        filled += static_cast<std::size_t>(got);
    }
    content.resize(filled);

    if (filled == static_cast<std::size_t>(st.st_size)) {
        // The file may have grown since fstat: take what is there now.
        char extra[65536];
        for (;;) {
            const ssize_t got = ReadSome(fd.get(), extra, sizeof extra);
            if (got < 0)
                return std::nullopt;
            if (got == 0)
                break;
            try {
                content.append(extra, static_cast<std::size_t>(got));
            } catch (const std::exception&) {
                return std::nullopt;
            }
        }
    }
    return content;
}

std::optional<int64_t> FileLength(const QString& path)
{
    if (path.isEmpty())
        return std::nullopt;
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return static_cast<int64_t>(st.st_size);
}

} // namespace quillet
