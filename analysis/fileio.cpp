#include "analysis/fileio.h"

#include <QFile>

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <sys/mman.h>
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

// Asks for transparent huge pages on the interior of a large buffer that has
// not been touched yet. Filling 100 MB of fresh memory otherwise costs one
// page fault per 4 KiB, which takes longer than reading the file itself.
// Only advice: when the kernel declines, nothing changes.
void AdviseHugePages(char* data, std::size_t size)
{
#if defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kHuge = std::uintptr_t{2} << 20;
    if (size < 4 * kHuge)
        return;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kHuge - 1) & ~(kHuge - 1);
    const std::uintptr_t last = (begin + size) & ~(kHuge - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)size;
#endif
}

} // namespace

QString PathFromNative(const QByteArray& native)
{
    const QString decoded = QFile::decodeName(native);
    if (QFile::encodeName(decoded) == native)
        return decoded;
    QString path;
    path.reserve(native.size());
    const auto* bytes = reinterpret_cast<const unsigned char*>(native.constData());
    const qsizetype size = native.size();
    for (qsizetype i = 0; i < size;) {
        // The length of a well-formed UTF-8 sequence at i, or 0.
        const unsigned char b = bytes[i];
        const int length = b < 0x80                 ? 1
                           : b >= 0xC2 && b <= 0xDF ? 2
                           : b >= 0xE0 && b <= 0xEF ? 3
                           : b >= 0xF0 && b <= 0xF4 ? 4
                                                    : 0;
        bool valid = length > 0 && i + length <= size;
        for (int k = 1; valid && k < length; ++k)
            valid = (bytes[i + k] & 0xC0) == 0x80;
        if (valid && length >= 3) {
            // Overlong forms, surrogates and code points past U+10FFFF.
            const unsigned char c = bytes[i + 1];
            valid = !(b == 0xE0 && c < 0xA0) && !(b == 0xED && c >= 0xA0) && !(b == 0xF0 && c < 0x90) &&
                    !(b == 0xF4 && c >= 0x90);
        }
        if (valid) {
            path += QString::fromUtf8(native.constData() + i, length);
            i += length;
        } else {
            path += QChar(char16_t(0xDC00 + b));
            ++i;
        }
    }
    return path;
}

QByteArray NativePath(const QString& path)
{
    const auto escaped = [](char16_t c) { return c >= 0xDC80 && c <= 0xDCFF; };
    bool any = false;
    for (qsizetype i = 0; i < path.size() && !any; ++i)
        any = escaped(path[i].unicode()) && (i == 0 || !path[i - 1].isHighSurrogate());
    if (!any)
        return QFile::encodeName(path);
    QByteArray native;
    qsizetype run = 0; // start of the text not yet encoded
    for (qsizetype i = 0; i <= path.size(); ++i) {
        const bool byte = i < path.size() && escaped(path[i].unicode()) && (i == 0 || !path[i - 1].isHighSurrogate());
        if (!byte && i < path.size())
            continue;
        native += QStringView(path).mid(run, i - run).toUtf8();
        if (byte)
            native += char(path[i].unicode() - 0xDC00);
        run = i + 1;
    }
    return native;
}

std::optional<std::string> ReadWholeFile(const QString& path)
{
    if (path.isEmpty())
        return std::nullopt;
    const QByteArray native = NativePath(path);
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
        content.reserve(static_cast<std::size_t>(st.st_size));
        AdviseHugePages(content.data(), content.capacity());
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
    const QByteArray native = NativePath(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return static_cast<int64_t>(st.st_size);
}

void DecodeMarkedUtf16(std::string& content)
{
    if (content.size() < 2)
        return;
    const auto b0 = static_cast<unsigned char>(content[0]);
    const auto b1 = static_cast<unsigned char>(content[1]);
    const bool little = b0 == 0xFF && b1 == 0xFE;
    const bool big = b0 == 0xFE && b1 == 0xFF;
    if (!little && !big)
        return;
    // Each output byte is written at half the position it is read from, so
    // the conversion works in place. A trailing odd byte is dropped.
    std::size_t out = 0;
    for (std::size_t in = 2; in + 1 < content.size(); in += 2) {
        const auto lo = static_cast<unsigned char>(content[in + (little ? 0 : 1)]);
        const auto hi = static_cast<unsigned char>(content[in + (little ? 1 : 0)]);
        content[out++] = hi == 0 ? static_cast<char>(lo) : '?';
    }
    content.resize(out);
}

} // namespace quillet
