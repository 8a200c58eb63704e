#include "analysis/input.h"

#include "analysis/bgzf.h"
#include "analysis/fileio.h"

#include <bzlib.h>
#include <isa-l/igzip_lib.h>
#include <lzma.h>
#include <zstd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quillet {

const char* CompressionName(Compression c)
{
    switch (c) {
    case Compression::None: return "plain";
    case Compression::Gzip: return "gzip";
    case Compression::Zstd: return "zstd";
    case Compression::Xz: return "xz";
    case Compression::Bzip2: return "bzip2";
    }
    return "plain";
}

bool InputStream::skip(uint64_t count)
{
    std::vector<char> scratch(std::min<uint64_t>(count, 1 << 20));
    while (count > 0) {
        const std::size_t got = read(scratch.data(), std::min<uint64_t>(count, scratch.size()));
        if (got == 0)
            return false;
        count -= got;
    }
    return true;
}

namespace {

constexpr std::size_t kRawBuffer = std::size_t{1} << 18;

[[noreturn]] void Unreadable(const char* what)
{
    throw InputError(InputError::Kind::Unreadable, std::string(what) + ": " + std::strerror(errno));
}

[[noreturn]] void Damaged(const std::string& what)
{
    throw InputError(InputError::Kind::Damaged, what);
}

// The file itself: reads with retries after signals, counts what it read,
// and can hand back bytes it read ahead for recognising the kind.
class RawFile {
public:
    RawFile(int fd, bool owned, uint64_t total) : fd_(fd), owned_(owned), total_(total) {}
    ~RawFile()
    {
        if (owned_)
            ::close(fd_);
    }
    RawFile(const RawFile&) = delete;
    RawFile& operator=(const RawFile&) = delete;
    int fd() const { return fd_; }
    bool owned() const { return owned_; }
    // Hands the descriptor (and closing it, when owned) to another reader.
    int release()
    {
        owned_ = false;
        return fd_;
    }

    std::size_t read(char* buffer, std::size_t capacity)
    {
        if (pushedBack_ < pushback_.size()) {
            const std::size_t n = std::min(capacity, pushback_.size() - pushedBack_);
            std::memcpy(buffer, pushback_.data() + pushedBack_, n);
            pushedBack_ += n;
            return n;
        }
        for (;;) {
            const ssize_t got = ::read(fd_, buffer, capacity);
            if (got >= 0) {
                consumed_ += static_cast<uint64_t>(got);
                return static_cast<std::size_t>(got);
            }
            if (errno != EINTR)
                Unreadable("cannot be read");
        }
    }
    // Reads up to `n` bytes that the next read() gives again.
    const std::string& peek(std::size_t n)
    {
        std::string head(n, '\0');
        std::size_t filled = 0;
        while (filled < n) {
            const std::size_t got = read(head.data() + filled, n - filled);
            if (got == 0)
                break;
            filled += got;
        }
        head.resize(filled);
        pushback_ = std::move(head);
        pushedBack_ = 0;
        return pushback_;
    }
    bool seekForward(uint64_t count)
    {
        if (pushedBack_ != pushback_.size() || fd_ < 0)
            return false;
        const off_t at = ::lseek(fd_, static_cast<off_t>(count), SEEK_CUR);
        if (at < 0)
            return false;
        consumed_ = static_cast<uint64_t>(at);
        return true;
    }
    uint64_t consumed() const { return consumed_; }
    uint64_t total() const { return total_; }

private:
    int fd_;
    bool owned_;
    uint64_t total_;
    uint64_t consumed_ = 0;
    std::string pushback_;
    std::size_t pushedBack_ = 0;
};

class PlainStream : public InputStream {
public:
    explicit PlainStream(std::unique_ptr<RawFile> file) : file_(std::move(file)) {}
    std::size_t read(char* buffer, std::size_t capacity) override { return file_->read(buffer, capacity); }
    uint64_t consumed() const override { return file_->consumed(); }
    uint64_t total() const override { return file_->total(); }
    bool skip(uint64_t count) override
    {
        // A regular file seeks; a pipe reads its way there.
        if (file_->total() > 0 && file_->seekForward(count))
            return file_->consumed() <= file_->total();
        return InputStream::skip(count);
    }

private:
    std::unique_ptr<RawFile> file_;
};

// Common frame of the decompressors: a buffer of compressed bytes refilled
// from the file, and the end of the file noted.
class Decompressor : public InputStream {
public:
    explicit Decompressor(std::unique_ptr<RawFile> file) : file_(std::move(file)), in_(kRawBuffer) {}
    uint64_t consumed() const override { return file_->consumed(); }
    uint64_t total() const override { return file_->total(); }

protected:
    // Refills the compressed buffer when empty; false at the end of the file.
    bool refill()
    {
        if (inPos_ < inEnd_)
            return true;
        if (eof_)
            return false;
        inEnd_ = file_->read(reinterpret_cast<char*>(in_.data()), in_.size());
        inPos_ = 0;
        eof_ = inEnd_ == 0;
        return !eof_;
    }
    // After the last stream: only zero padding may follow.
    void expectOnlyPadding(const char* kind)
    {
        for (;;) {
            for (; inPos_ < inEnd_; ++inPos_)
                if (in_[inPos_] != 0)
                    Damaged(std::string("unexpected data after the end of the ") + kind + " data");
            if (!refill())
                return;
        }
    }

    std::unique_ptr<RawFile> file_;
    std::vector<unsigned char> in_;
    std::size_t inPos_ = 0, inEnd_ = 0;
    bool eof_ = false;
};

// gzip through ISA-L's igzip, member after member (bgzip writes many small
// members and an empty one at the end); each member's CRC is checked.
class GzipStream : public Decompressor {
public:
    explicit GzipStream(std::unique_ptr<RawFile> file) : Decompressor(std::move(file))
    {
        state_ = std::make_unique<inflate_state>();
        isal_inflate_init(state_.get());
        state_->crc_flag = ISAL_GZIP;
    }
    Compression compression() const override { return Compression::Gzip; }

    std::size_t read(char* buffer, std::size_t capacity) override
    {
        if (done_)
            return 0;
        capacity = std::min<std::size_t>(capacity, UINT32_MAX);
        for (;;) {
            if (state_->block_state == ISAL_BLOCK_FINISH) {
                // A member ended: another may follow, or padding, or nothing.
                if (!refill()) {
                    done_ = true;
                    return 0;
                }
                if (inEnd_ - inPos_ >= 1 && in_[inPos_] != 0x1f) {
                    expectOnlyPadding("gzip");
                    done_ = true;
                    return 0;
                }
                isal_inflate_reset(state_.get());
                state_->crc_flag = ISAL_GZIP;
            }
            refill();
            const std::size_t before = inPos_;
            state_->next_in = in_.data() + inPos_;
            state_->avail_in = static_cast<uint32_t>(inEnd_ - inPos_);
            state_->next_out = reinterpret_cast<uint8_t*>(buffer);
            state_->avail_out = static_cast<uint32_t>(capacity);
            const int ret = isal_inflate(state_.get());
            inPos_ = static_cast<std::size_t>(state_->next_in - in_.data());
            if (ret != ISAL_DECOMP_OK)
                Damaged(std::string("the gzip data is broken (") + ErrorText(ret) + ")");
            const std::size_t produced = capacity - state_->avail_out;
            if (produced > 0)
                return produced;
            if (state_->block_state == ISAL_BLOCK_FINISH)
                continue;
            if (inPos_ == inEnd_ && eof_)
                Damaged("the gzip data ends early (the file is truncated)");
            // Input taken without output (a header, say) is progress; none
            // of either several times over means the data leads nowhere.
            stalled_ = inPos_ == before ? stalled_ + 1 : 0;
            if (stalled_ > 3)
                Damaged("the gzip data is broken");
        }
    }

private:
    static const char* ErrorText(int ret)
    {
        switch (ret) {
        case ISAL_INVALID_BLOCK: return "invalid block";
        case ISAL_INVALID_SYMBOL: return "invalid symbol";
        case ISAL_INVALID_LOOKBACK: return "invalid distance";
        case ISAL_INVALID_WRAPPER: return "invalid header";
        case ISAL_UNSUPPORTED_METHOD: return "unsupported method";
        case ISAL_INCORRECT_CHECKSUM: return "checksum mismatch";
        case ISAL_NEED_DICT: return "needs a dictionary";
        default: return "error";
        }
    }
    std::unique_ptr<inflate_state> state_;
    bool done_ = false;
    int stalled_ = 0;
};

class ZstdStream : public Decompressor {
public:
    explicit ZstdStream(std::unique_ptr<RawFile> file) : Decompressor(std::move(file)), ctx_(ZSTD_createDStream())
    {
        if (!ctx_)
            throw std::bad_alloc();
        // Frames may ask for a large window; allow what zstd --long writes.
        ZSTD_DCtx_setParameter(ctx_, ZSTD_d_windowLogMax, 27);
    }
    ~ZstdStream() override { ZSTD_freeDStream(ctx_); }
    Compression compression() const override { return Compression::Zstd; }

    std::size_t read(char* buffer, std::size_t capacity) override
    {
        for (;;) {
            const bool more = refill();
            ZSTD_inBuffer in{in_.data() + inPos_, inEnd_ - inPos_, 0};
            ZSTD_outBuffer out{buffer, capacity, 0};
            const std::size_t hint = ZSTD_decompressStream(ctx_, &out, &in);
            inPos_ += in.pos;
            if (ZSTD_isError(hint))
                Damaged(std::string("the zstd data is broken (") + ZSTD_getErrorName(hint) + ")");
            // A call that takes and gives nothing says nothing new: after a
            // finished frame it only asks for the next frame's header.
            if (in.pos > 0 || out.pos > 0)
                frameOpen_ = hint != 0;
            if (out.pos > 0)
                return out.pos;
            if (!more) {
                if (frameOpen_)
                    Damaged("the zstd data ends early (the file is truncated)");
                return 0;
            }
        }
    }

private:
    ZSTD_DStream* ctx_;
    bool frameOpen_ = false;
};

class XzStream : public Decompressor {
public:
    explicit XzStream(std::unique_ptr<RawFile> file) : Decompressor(std::move(file))
    {
        if (lzma_stream_decoder(&strm_, UINT64_MAX, LZMA_CONCATENATED) != LZMA_OK)
            throw std::bad_alloc();
    }
    ~XzStream() override { lzma_end(&strm_); }
    Compression compression() const override { return Compression::Xz; }

    std::size_t read(char* buffer, std::size_t capacity) override
    {
        if (done_)
            return 0;
        for (;;) {
            const bool more = refill();
            strm_.next_in = in_.data() + inPos_;
            strm_.avail_in = inEnd_ - inPos_;
            strm_.next_out = reinterpret_cast<uint8_t*>(buffer);
            strm_.avail_out = capacity;
            const lzma_ret ret = lzma_code(&strm_, more ? LZMA_RUN : LZMA_FINISH);
            inPos_ = inEnd_ - strm_.avail_in;
            const std::size_t produced = capacity - strm_.avail_out;
            if (ret == LZMA_STREAM_END) {
                done_ = true;
                return produced;
            }
            if (ret != LZMA_OK) {
                if (ret == LZMA_BUF_ERROR)
                    Damaged("the xz data ends early (the file is truncated)");
                Damaged(ret == LZMA_MEM_ERROR ? "the xz data needs more memory than there is"
                                              : "the xz data is broken");
            }
            if (produced > 0)
                return produced;
        }
    }

private:
    lzma_stream strm_ = LZMA_STREAM_INIT;
    bool done_ = false;
};

class Bzip2Stream : public Decompressor {
public:
    explicit Bzip2Stream(std::unique_ptr<RawFile> file) : Decompressor(std::move(file)) { start(); }
    ~Bzip2Stream() override { BZ2_bzDecompressEnd(&strm_); }
    Compression compression() const override { return Compression::Bzip2; }

    std::size_t read(char* buffer, std::size_t capacity) override
    {
        if (done_)
            return 0;
        capacity = std::min<std::size_t>(capacity, UINT32_MAX);
        for (;;) {
            if (!refill()) {
                if (inStream_)
                    Damaged("the bzip2 data ends early (the file is truncated)");
                done_ = true;
                return 0;
            }
            if (!inStream_) {
                // Another stream follows (pbzip2 writes many), or padding.
                if (in_[inPos_] != 'B') {
                    expectOnlyPadding("bzip2");
                    done_ = true;
                    return 0;
                }
                BZ2_bzDecompressEnd(&strm_);
                start();
            }
            strm_.next_in = reinterpret_cast<char*>(in_.data() + inPos_);
            strm_.avail_in = static_cast<unsigned>(inEnd_ - inPos_);
            strm_.next_out = buffer;
            strm_.avail_out = static_cast<unsigned>(capacity);
            const int ret = BZ2_bzDecompress(&strm_);
            inPos_ = inEnd_ - strm_.avail_in;
            if (ret == BZ_STREAM_END)
                inStream_ = false;
            else if (ret != BZ_OK)
                Damaged("the bzip2 data is broken");
            const std::size_t produced = capacity - strm_.avail_out;
            if (produced > 0)
                return produced;
        }
    }

private:
    void start()
    {
        strm_ = bz_stream{};
        if (BZ2_bzDecompressInit(&strm_, 0, 0) != BZ_OK)
            throw std::bad_alloc();
        inStream_ = true;
    }
    bz_stream strm_{};
    bool inStream_ = false;
    bool done_ = false;
};

// Content read ahead for recognising the kind, served before the rest.
class PeekedStream : public InputStream {
public:
    PeekedStream(std::unique_ptr<InputStream> inner, std::string head)
        : inner_(std::move(inner)), head_(std::move(head))
    {}
    std::size_t read(char* buffer, std::size_t capacity) override
    {
        if (pos_ < head_.size()) {
            const std::size_t n = std::min(capacity, head_.size() - pos_);
            std::memcpy(buffer, head_.data() + pos_, n);
            pos_ += n;
            return n;
        }
        return inner_->read(buffer, capacity);
    }
    uint64_t consumed() const override { return inner_->consumed(); }
    uint64_t total() const override { return inner_->total(); }
    bool skip(uint64_t count) override
    {
        const uint64_t fromHead = std::min<uint64_t>(count, head_.size() - pos_);
        pos_ += fromHead;
        return fromHead == count || inner_->skip(count - fromHead);
    }
    Compression compression() const override { return inner_->compression(); }

private:
    std::unique_ptr<InputStream> inner_;
    std::string head_;
    std::size_t pos_ = 0;
};

// Text saved as UTF-16 with a byte-order mark, one byte per character: a
// character beyond Latin-1 becomes '?', a trailing odd byte is dropped.
class Utf16Stream : public InputStream {
public:
    Utf16Stream(std::unique_ptr<InputStream> inner, bool little)
        : inner_(std::move(inner)), little_(little), pairs_(1 << 16)
    {}
    std::size_t read(char* buffer, std::size_t capacity) override
    {
        for (;;) {
            const std::size_t want = std::min(capacity * 2, pairs_.size()) - carry_;
            const std::size_t got = inner_->read(pairs_.data() + carry_, want);
            const std::size_t have = carry_ + got;
            if (got == 0 && carry_ < 2) {
                carry_ = 0;
                return 0;
            }
            std::size_t out = 0;
            for (std::size_t in = 0; in + 1 < have; in += 2) {
                const auto lo = static_cast<unsigned char>(pairs_[in + (little_ ? 0 : 1)]);
                const auto hi = static_cast<unsigned char>(pairs_[in + (little_ ? 1 : 0)]);
                buffer[out++] = hi == 0 ? static_cast<char>(lo) : '?';
            }
            carry_ = have % 2;
            if (carry_)
                pairs_[0] = pairs_[have - 1];
            if (out > 0)
                return out;
        }
    }
    uint64_t consumed() const override { return inner_->consumed(); }
    uint64_t total() const override { return inner_->total(); }
    Compression compression() const override { return inner_->compression(); }

private:
    std::unique_ptr<InputStream> inner_;
    bool little_;
    std::vector<char> pairs_;
    std::size_t carry_ = 0;
};

bool StartsWith(const std::string& s, const char* magic, std::size_t n)
{
    return s.size() >= n && std::memcmp(s.data(), magic, n) == 0;
}

Compression CompressionOf(const std::string& head)
{
    if (StartsWith(head, "\x1f\x8b", 2))
        return Compression::Gzip;
    if (StartsWith(head, "\x28\xb5\x2f\xfd", 4))
        return Compression::Zstd;
    if (StartsWith(head,
                   "\xfd"
                   "7zXZ\0",
                   6))
        return Compression::Xz;
    // "BZh", the block size digit, then the magic of a block or of the end.
    if (head.size() >= 10 && StartsWith(head, "BZh", 3) && head[3] >= '1' && head[3] <= '9' &&
        (std::memcmp(head.data() + 4, "\x31\x41\x59\x26\x53\x59", 6) == 0 ||
         std::memcmp(head.data() + 4, "\x17\x72\x45\x38\x50\x90", 6) == 0))
        return Compression::Bzip2;
    return Compression::None;
}

// Kinds of file that are picked by mistake and hold no FASTA text.
const char* UnsupportedKindOf(const std::string& head)
{
    struct Magic {
        const char* bytes;
        std::size_t size;
        const char* kind;
    };
    static const Magic kMagics[] = {
        {"PK\x03\x04", 4, "a ZIP archive"},
        {"PK\x05\x06", 4, "a ZIP archive"},
        {"BAM\x01", 4, "a BAM alignment file"},
        {"CRAM", 4, "a CRAM alignment file"},
        {"\x89PNG\r\n\x1a\n", 8, "a PNG picture"},
        {"\xff\xd8\xff", 3, "a JPEG picture"},
        {"GIF87a", 6, "a GIF picture"},
        {"GIF89a", 6, "a GIF picture"},
        {"II*\0", 4, "a TIFF picture"},
        {"MM\0*", 4, "a TIFF picture"},
        {"%PDF-", 5, "a PDF document"},
        {"\x7f"
         "ELF",
         4, "a program"},
        {"7z\xbc\xaf\x27\x1c", 6, "a 7-Zip archive"},
        {"SQLite format 3\0", 16, "a database"},
        {"\x04\x22\x4d\x18", 4, "LZ4-compressed (not supported)"},
    };
    for (const Magic& m : kMagics)
        if (StartsWith(head, m.bytes, m.size))
            return m.kind;
    if (head.size() >= 262 && std::memcmp(head.data() + 257, "ustar", 5) == 0)
        return "a tar archive";
    if (CompressionOf(head) != Compression::None)
        return "another compressed file";
    return nullptr;
}

// Content that is no text: at least eight of its first bytes, and more than
// one in sixteen, are control characters other than the line breaks, tab
// and form feed. A FASTA file has none, or a stray few; random bytes have
// about one in ten. NUL bytes do not count: they are characters of a
// sequence like any other (a file with a hole reads as them).
bool LooksBinary(const std::string& head)
{
    std::size_t controls = 0;
    for (const char c : head) {
        const auto u = static_cast<unsigned char>(c);
        controls += (u > 0 && u < 0x20 && (u < '\t' || u > '\r')) || u == 0x7f ? 1 : 0;
    }
    return controls >= 8 && controls * 16 > head.size();
}

// A regular file of bgzip blocks from `start` on is inflated on every core;
// any other gzip (a pipe, plain gzip, padding after the last member) member
// after member.
std::unique_ptr<InputStream> OpenGzip(std::unique_ptr<RawFile> file)
{
    if (file->total() > 0)
        if (auto blocks = ScanBgzf(file->fd(), file->total())) {
            const bool owned = file->owned();
            return OpenBgzfStream(file->release(), owned, file->total(), std::move(*blocks));
        }
    return std::make_unique<GzipStream>(std::move(file));
}

std::unique_ptr<InputStream> Open(std::unique_ptr<RawFile> file)
{
    const Compression c = CompressionOf(file->peek(16));
    std::unique_ptr<InputStream> stream;
    switch (c) {
    case Compression::None: stream = std::make_unique<PlainStream>(std::move(file)); break;
    case Compression::Gzip: stream = OpenGzip(std::move(file)); break;
    case Compression::Zstd: stream = std::make_unique<ZstdStream>(std::move(file)); break;
    case Compression::Xz: stream = std::make_unique<XzStream>(std::move(file)); break;
    case Compression::Bzip2: stream = std::make_unique<Bzip2Stream>(std::move(file)); break;
    }

    // The first bytes of the content tell the rest of the kind.
    std::string head(512, '\0');
    std::size_t filled = 0;
    while (filled < head.size()) {
        const std::size_t got = stream->read(head.data() + filled, head.size() - filled);
        if (got == 0)
            break;
        filled += got;
    }
    head.resize(filled);
    if (const char* kind = UnsupportedKindOf(head)) {
        std::string what = std::string("it is ") + kind;
        if (c != Compression::None)
            what = std::string("it is ") + CompressionName(c) + "-compressed and holds " + kind;
        throw InputError(InputError::Kind::Unsupported, what);
    }
    const bool little = StartsWith(head, "\xff\xfe", 2), big = StartsWith(head, "\xfe\xff", 2);
    if (little || big) {
        head.erase(0, 2);
        return std::make_unique<Utf16Stream>(std::make_unique<PeekedStream>(std::move(stream), std::move(head)),
                                             little);
    }
    if (LooksBinary(head))
        throw InputError(InputError::Kind::Unsupported, c == Compression::None
                                                            ? std::string("it holds binary data, not text")
                                                            : std::string("it is ") + CompressionName(c) +
                                                                  "-compressed and holds binary data, not text");
    return std::make_unique<PeekedStream>(std::move(stream), std::move(head));
}

} // namespace

std::unique_ptr<InputStream> OpenInput(const QString& path)
{
    if (path.isEmpty())
        throw InputError(InputError::Kind::Unreadable, "no file was named");
    const QByteArray native = NativePath(path);
    // O_NONBLOCK keeps the open itself from waiting on a FIFO without a
    // writer; such a file is refused right after by the fstat test.
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        Unreadable("cannot be opened");
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0) {
        ::close(fd);
        throw InputError(InputError::Kind::Unreadable, "it is no regular file");
    }
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    return Open(std::make_unique<RawFile>(fd, true, static_cast<uint64_t>(st.st_size)));
}

Compression CompressionOfBytes(const std::string& head)
{
    return CompressionOf(head);
}

std::unique_ptr<InputStream> OpenInputDescriptor(int fd)
{
    struct stat st {};
    const uint64_t total = (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) ? static_cast<uint64_t>(st.st_size) : 0;
    return Open(std::make_unique<RawFile>(fd, false, total));
}

} // namespace quillet
