#include "analysis/bgzf.h"

#include <isa-l/igzip_lib.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace quillet {

namespace {

uint32_t Little32(const unsigned char* p)
{
    return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24;
}
uint16_t Little16(const unsigned char* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

// The BSIZE field of a bgzip member's header at p (size bytes left): the
// member's length less one, or -1 when the header is no bgzip header.
int64_t BlockSizeField(const unsigned char* p, std::size_t size)
{
    constexpr std::size_t kFixed = 12; // magic, method, flags, time, extra flags, system, XLEN
    if (size < kFixed || p[0] != 0x1f || p[1] != 0x8b || p[2] != 8 || !(p[3] & 4))
        return -1;
    const std::size_t extra = Little16(p + 10);
    if (size < kFixed + extra)
        return -1;
    for (std::size_t i = kFixed; i + 4 <= kFixed + extra;) {
        const std::size_t length = Little16(p + i + 2);
        if (p[i] == 'B' && p[i + 1] == 'C' && length == 2 && i + 6 <= kFixed + extra)
            return Little16(p + i + 4);
        i += 4 + length;
    }
    return -1;
}

// Blocks in flight per worker: enough to keep each busy while the reader
// copies out, few enough to bound memory (a block is at most 64 KiB).
constexpr std::size_t kBlocksPerJob = 16;
constexpr std::size_t kJobsPerWorker = 3;

class BgzfStream : public InputStream {
public:
    BgzfStream(int fd, bool owned, uint64_t total, std::vector<BgzfBlock> blocks)
        : fd_(fd), owned_(owned), total_(total), blocks_(std::move(blocks))
    {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        workers_.reserve(cores);
        for (unsigned i = 0; i < cores; ++i)
            workers_.emplace_back([this] { work(); });
    }
    ~BgzfStream() override
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : workers_)
            t.join();
        if (owned_)
            ::close(fd_);
    }
    Compression compression() const override { return Compression::Gzip; }
    uint64_t consumed() const override { return consumed_; }
    uint64_t total() const override { return total_; }

    std::size_t read(char* buffer, std::size_t capacity) override
    {
        while (outPos_ == out_.size()) {
            if (!nextJob())
                return 0;
        }
        const std::size_t n = std::min(capacity, out_.size() - outPos_);
        std::memcpy(buffer, out_.data() + outPos_, n);
        outPos_ += n;
        return n;
    }

    // Skips by the blocks: what lies before the block that holds the
    // target is never inflated (a record or a stretch in the middle of a
    // genome is read from there).
    bool skip(uint64_t count) override
    {
        const uint64_t target = outStart_ + outPos_ + count;
        if (blocks_.empty())
            return count == 0;
        if (target <= outStart_ + out_.size()) {
            outPos_ += std::size_t(count);
            return true;
        }
        const auto after = std::upper_bound(blocks_.begin(), blocks_.end(), target,
                                            [](uint64_t v, const BgzfBlock& b) { return v < b.content; });
        const std::size_t block = std::size_t(after - blocks_.begin()) - 1; // blocks_[0].content is 0
        const uint64_t end = blocks_.back().content + blocks_.back().bytes;
        {
            std::lock_guard lock(mutex_);
            // Jobs not yet taken go; a worker's job that is gone is
            // dropped when it ends (one of the same first block is of the
            // same blocks, so its content is the same).
            jobs_.clear();
            queued_ = target >= end ? blocks_.size() : block;
            delivered_ = rampJobs_ = 0;
        }
        out_.clear();
        outPos_ = 0;
        outStart_ = std::min(target, end);
        discard_ = target >= end ? 0 : target - blocks_[block].content;
        consumed_ = queued_ < blocks_.size() ? blocks_[queued_].compressed : total_;
        return target <= end;
    }

private:
    struct Job {
        std::size_t first = 0, last = 0; // blocks first .. last - 1
        std::string out;
        std::string error;
        bool taken = false, done = false;
    };

    // The next job's content into out_, in order; false after the last.
    bool nextJob()
    {
        std::unique_lock lock(mutex_);
        fill();
        if (jobs_.empty())
            return false;
        done_.wait(lock, [&] { return jobs_.front().done; });
        Job job = std::move(jobs_.front());
        jobs_.pop_front();
        ++delivered_;
        fill();
        lock.unlock();
        wake_.notify_all();
        if (!job.error.empty())
            throw InputError(InputError::Kind::Damaged, job.error);
        out_ = std::move(job.out);
        outStart_ = blocks_[job.first].content;
        // After a skip, the part of the first block before the target.
        outPos_ = std::size_t(std::min<uint64_t>(discard_, out_.size()));
        discard_ = 0;
        consumed_ = job.last < blocks_.size() ? blocks_[job.last].compressed : total_;
        return true;
    }
    // Queues jobs up to the bound (the lock held).
    void fill()
    {
        // From the start and after a skip the jobs ramp up, in number and
        // in size, so that a short read (a file's first bytes, a stretch)
        // waits for one block and inflates little that it does not use.
        const std::size_t bound = std::min(kJobsPerWorker * workers_.size(), delivered_ + 1);
        bool added = false;
        while (jobs_.size() < bound && queued_ < blocks_.size()) {
            Job job;
            job.first = queued_;
            job.last = std::min(blocks_.size(), queued_ + std::min(kBlocksPerJob, std::size_t{1} << rampJobs_));
            rampJobs_ = std::min<std::size_t>(rampJobs_ + 1, 8);
            queued_ = job.last;
            jobs_.push_back(std::move(job));
            added = true;
        }
        if (added)
            wake_.notify_all();
    }

    void work()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stopping_ || std::any_of(jobs_.begin(), jobs_.end(), Untaken); });
            if (stopping_)
                return;
            Job& job = *std::find_if(jobs_.begin(), jobs_.end(), Untaken);
            job.taken = true;
            const std::size_t first = job.first, last = job.last;
            lock.unlock();
            std::string out, error;
            inflate(first, last, out, error);
            lock.lock();
            // A deque keeps its elements in place while others are popped
            // from the front; find this one again by its blocks.
            for (Job& j : jobs_)
                if (j.first == first) {
                    j.out = std::move(out);
                    j.error = std::move(error);
                    j.done = true;
                }
            done_.notify_all();
        }
    }
    static bool Untaken(const Job& j) { return !j.taken; }

    // Inflates blocks first .. last - 1, each a gzip member of its own
    // whose CRC and length ISA-L checks.
    void inflate(std::size_t first, std::size_t last, std::string& out, std::string& error) const
    {
        const uint64_t from = blocks_[first].compressed;
        const uint64_t to = last < blocks_.size() ? blocks_[last].compressed : total_;
        std::string in(to - from, '\0');
        for (std::size_t got = 0; got < in.size();) {
            const ssize_t n = ::pread(fd_, in.data() + got, in.size() - got, off_t(from + got));
            if (n <= 0) {
                error = n == 0 ? "the gzip data ends early (the file is truncated)" : std::strerror(errno);
                return;
            }
            got += std::size_t(n);
        }
        uint64_t size = 0;
        for (std::size_t b = first; b < last; ++b)
            size += blocks_[b].bytes;
        out.resize(size);
        inflate_state state;
        std::size_t at = 0;
        for (std::size_t b = first; b < last; ++b) {
            isal_inflate_init(&state);
            state.crc_flag = ISAL_GZIP;
            const uint64_t start = blocks_[b].compressed - from;
            const uint64_t end = (b + 1 < blocks_.size() ? blocks_[b + 1].compressed : total_) - from;
            state.next_in = reinterpret_cast<uint8_t*>(in.data() + start);
            state.avail_in = uint32_t(end - start);
            state.next_out = reinterpret_cast<uint8_t*>(out.data() + at);
            state.avail_out = blocks_[b].bytes;
            const int ret = isal_inflate(&state);
            if (ret != ISAL_DECOMP_OK || state.block_state != ISAL_BLOCK_FINISH || state.avail_out != 0) {
                error = "the gzip data is broken (a bgzip block does not inflate to its length)";
                out.resize(at); // what came before is still given
                return;
            }
            at += blocks_[b].bytes;
        }
    }

    int fd_;
    bool owned_;
    uint64_t total_;
    std::vector<BgzfBlock> blocks_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::deque<Job> jobs_;
    std::size_t queued_ = 0;
    std::size_t delivered_ = 0, rampJobs_ = 0; // jobs handed out and queued since the start or a skip
    bool stopping_ = false;
    std::string out_;
    std::size_t outPos_ = 0;
    uint64_t outStart_ = 0; // content offset of out_[0]
    uint64_t discard_ = 0;  // of the next job's content, after a skip
    uint64_t consumed_ = 0;
};

} // namespace

std::optional<std::vector<BgzfBlock>> BgzfBlocks(const char* bytes, std::size_t size, QString& why)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes);
    std::vector<BgzfBlock> blocks;
    uint64_t content = 0;
    for (std::size_t at = 0; at < size;) {
        const int64_t field = BlockSizeField(p + at, size - at);
        if (field < 0) {
            why = QStringLiteral("it is compressed with gzip, not in bgzip's blocks (at byte %1)").arg(at);
            return std::nullopt;
        }
        const std::size_t length = std::size_t(field) + 1;
        if (length < 26 || length > size - at) {
            why = QStringLiteral("its bgzip block at byte %1 is cut short").arg(at);
            return std::nullopt;
        }
        const uint32_t held = Little32(p + at + length - 4);
        blocks.push_back({at, content, held});
        content += held;
        at += length;
    }
    return blocks;
}

namespace {

// Reads `size` bytes at `offset`; false when the file ends first.
bool ReadExactly(int fd, unsigned char* into, std::size_t size, uint64_t offset)
{
    for (std::size_t got = 0; got < size;) {
        const ssize_t n = ::pread(fd, into + got, size - got, off_t(offset + got));
        if (n <= 0)
            return false;
        got += std::size_t(n);
    }
    return true;
}

// The blocks from their headers alone, one small read a block: the 4
// bytes at the end of a block (its content size) and the header of the
// next, so a genome's blocks are found without mapping or reading the
// whole file.
std::optional<std::vector<BgzfBlock>> ReadBlocks(int fd, uint64_t total, QString& why)
{
    constexpr std::size_t kHead = 64; // a bgzip header is 18 bytes; room for other extra fields
    std::vector<BgzfBlock> blocks;
    std::vector<unsigned char> buffer(4 + kHead);
    const auto fail = [&](const QString& reason) {
        why = reason;
        return std::nullopt;
    };
    // buffer[4..]: the header at `at`, `have` bytes of it.
    std::size_t have = std::size_t(std::min<uint64_t>(kHead, total));
    if (!ReadExactly(fd, buffer.data() + 4, have, 0))
        return fail(QStringLiteral("it cannot be read"));
    uint64_t content = 0;
    for (uint64_t at = 0; at < total;) {
        unsigned char* head = buffer.data() + 4;
        // A header whose extra fields pass the first read is read whole.
        if (have >= 12 && std::size_t(12 + Little16(head + 10)) > have) {
            have = std::size_t(std::min<uint64_t>(12 + Little16(head + 10), total - at));
            buffer.resize(4 + have);
            head = buffer.data() + 4;
            if (!ReadExactly(fd, head, have, at))
                return fail(QStringLiteral("it cannot be read at byte %1").arg(at));
        }
        const int64_t field = BlockSizeField(head, have);
        if (field < 0)
            return fail(QStringLiteral("it is compressed with gzip, not in bgzip's blocks (at byte %1)").arg(at));
        const uint64_t length = uint64_t(field) + 1;
        const uint64_t next = at + length;
        if (length < 26 || length > total - at)
            return fail(QStringLiteral("its bgzip block at byte %1 is cut short").arg(at));
        have = std::size_t(std::min<uint64_t>(kHead, total - next));
        buffer.resize(4 + kHead);
        if (!ReadExactly(fd, buffer.data(), 4 + have, next - 4))
            return fail(QStringLiteral("its bgzip block at byte %1 is cut short").arg(at));
        const uint32_t held = Little32(buffer.data());
        blocks.push_back({at, content, held});
        content += held;
        at = next;
    }
    return blocks;
}

// The blocks of the files scanned last, by file identity: the window and
// a run that reads a record again through the indexes scan a file once.
struct ScannedFile {
    dev_t device;
    ino_t inode;
    uint64_t size;
    int64_t modified, changed; // in nanoseconds
    std::vector<BgzfBlock> blocks;
};
std::mutex gScannedMutex;
std::deque<ScannedFile> gScanned;
constexpr std::size_t kScannedFiles = 4;

} // namespace

std::optional<std::vector<BgzfBlock>> ScanBgzf(int fd, uint64_t total, QString* why)
{
    QString reason;
    struct stat st {};
    if (total == 0 || ::fstat(fd, &st) != 0) {
        if (why)
            *why = QStringLiteral("it is empty or cannot be read");
        return std::nullopt;
    }
    const auto ns = [](const timespec& t) { return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec; };
    const auto same = [&](const ScannedFile& f) {
        return f.device == st.st_dev && f.inode == st.st_ino && f.size == total && f.modified == ns(st.st_mtim) &&
               f.changed == ns(st.st_ctim);
    };
    {
        std::lock_guard lock(gScannedMutex);
        if (const auto f = std::find_if(gScanned.begin(), gScanned.end(), same); f != gScanned.end())
            return f->blocks;
    }
    auto blocks = ReadBlocks(fd, total, reason);
    if (!blocks) {
        if (why)
            *why = reason;
        return std::nullopt;
    }
    std::lock_guard lock(gScannedMutex);
    gScanned.push_front({st.st_dev, st.st_ino, total, ns(st.st_mtim), ns(st.st_ctim), *blocks});
    if (gScanned.size() > kScannedFiles)
        gScanned.pop_back();
    return blocks;
}

std::unique_ptr<InputStream> OpenBgzfStream(int fd, bool owned, uint64_t total, std::vector<BgzfBlock> blocks)
{
    return std::make_unique<BgzfStream>(fd, owned, total, std::move(blocks));
}

} // namespace quillet
