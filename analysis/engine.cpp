#include "analysis/engine.h"

#include "analysis/failure.h"
#include "analysis/fasta.h"
#include "analysis/numtext.h"
#include "analysis/recordformat.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <limits>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include <sys/resource.h>

namespace quillet {

namespace {

constexpr int kChunksInFlight = 4;

struct Chunk {
    // The buffer is not zeroed: a page is touched only when data is read
    // into it, so a small file costs the pages it fills, not four chunks.
    explicit Chunk(std::size_t bytesToHold) : bytes(new char[bytesToHold]), capacity(bytesToHold) {}
    std::unique_ptr<char[]> bytes;
    std::size_t capacity;
    std::size_t size = 0;
    uint64_t consumed = 0, total = 0;
    bool last = false;
    std::exception_ptr error;
};

// Reads (and decompresses) the input on a thread of its own, a few chunks
// ahead of the parser, so reading and computing overlap. Chunks go round
// between the two: the memory in use is kChunksInFlight chunks at most.
class ChunkReader {
public:
    ChunkReader(InputStream& input, uint64_t skip, std::size_t chunkSize) : input_(input), skip_(skip)
    {
        for (int i = 0; i < kChunksInFlight; ++i)
            free_.push_back(std::make_unique<Chunk>(chunkSize));
        thread_ = std::thread([this] { produce(); });
    }
    ~ChunkReader()
    {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    ChunkReader(const ChunkReader&) = delete;
    ChunkReader& operator=(const ChunkReader&) = delete;

    std::unique_ptr<Chunk> next()
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !full_.empty(); });
        auto c = std::move(full_.front());
        full_.pop_front();
        return c;
    }
    void giveBack(std::unique_ptr<Chunk> c)
    {
        {
            std::lock_guard lock(mutex_);
            free_.push_back(std::move(c));
        }
        changed_.notify_all();
    }

private:
    void produce()
    {
        bool skipped = skip_ == 0;
        for (;;) {
            std::unique_ptr<Chunk> c;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return stop_ || !free_.empty(); });
                if (stop_)
                    return;
                c = std::move(free_.back());
                free_.pop_back();
            }
            c->size = 0;
            c->last = false;
            c->error = nullptr;
            try {
                if (!skipped) {
                    skipped = true;
                    if (!input_.skip(skip_))
                        c->last = true;
                }
                // Fill the chunk: a decompressor may give less per call.
                while (!c->last && c->size < c->capacity) {
                    const std::size_t got = input_.read(c->bytes.get() + c->size, c->capacity - c->size);
                    if (got == 0)
                        c->last = true;
                    c->size += got;
                }
            } catch (...) {
                c->error = std::current_exception();
                c->last = true;
            }
            c->consumed = input_.consumed();
            c->total = input_.total();
            const bool last = c->last;
            {
                std::lock_guard lock(mutex_);
                full_.push_back(std::move(c));
            }
            changed_.notify_all();
            if (last)
                return;
        }
    }

    InputStream& input_;
    uint64_t skip_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<Chunk>> free_;
    std::deque<std::unique_ptr<Chunk>> full_;
    bool stop_ = false;
    std::thread thread_;
};

// Computes the records a cutter finds, one after another, and hands each
// to the listener.
class RecordComputer final : public RecordSink {
public:
    RecordComputer(const RunSettings& settings, RunListener& listener, uint64_t memoryCap, RecordFormat format)
        : settings_(settings), listener_(listener), cap_(memoryCap), format_(format)
    {}

    bool recordBegins(uint64_t offset) override
    {
        ++records_;
        offset_ = offset;
        name_.clear();
        topology_ = Topology::Unknown;
        displayName_.clear();
        return true;
    }
    void nameBytes(const char* bytes, std::size_t size) override { name_.append(bytes, size); }
    void recordTopology(Topology topology) override { topology_ = topology; }
    void recordDisplayName(std::string_view name) override { displayName_ = name; }
    bool sequenceBegins() override { return beginSequence(); }
    bool sequenceBytes(char* bytes, std::size_t size, uint64_t /*offset*/) override
    {
        addBases(bytes, bytes + size);
        if (acc_->outOfMemory())
            return windowsOutOfMemory(); // at once: the rest could be gigabytes
        return true;
    }
    // After a record read as far as it was asked for, the run ends.
    bool recordEnds() override { return endRecord() && !stopsHere(); }
    // Before the first record's sequence that is a file failure (no FASTA
    // text), after it one of the analysis.
    void recordBroken(RecordProblem /*problem*/) override
    {
        report_.end = records_ == 1 ? RunEnd::FileFailure : RunEnd::AnalysisFailure;
    }

    // Begins the record the run starts inside of (RunSettings::inSequence).
    bool beginInSequence(const RunSettings::InSequence& at)
    {
        recordBegins(at.recordOffset);
        const std::string_view header(at.header);
        nameBytes(header.data(), std::min(header.find('\t'), header.size()));
        if (!beginSequence())
            return false;
        seen_ = at.basesBefore;
        return true;
    }

    // The content ended and the cutter said all it found.
    void contentEnded()
    {
        if (records_ == 0)
            report_.end = RunEnd::NoRecord;
    }

    // Reading failed part-way: before the first record's sequence that is a
    // file failure, after it an analysis failure.
    void readFailed(const InputError& e)
    {
        if (e.kind() == InputError::Kind::Damaged) {
            report_.end = RunEnd::Damaged;
        } else {
            report_.end = analysisStage_ ? RunEnd::AnalysisFailure : RunEnd::FileFailure;
        }
        report_.detail = QString::fromLocal8Bit(e.what());
    }

    void cancel() { report_.end = RunEnd::Cancelled; }
    const RunReport& report() const { return report_; }

private:
    // A record read as far as it was asked for.
    bool stopsHere() const { return settings_.maxRecords >= 0 && report_.records >= settings_.maxRecords; }

    QString name() const { return QString::fromLatin1(name_.data(), static_cast<qsizetype>(name_.size())); }
    QString DisplayName() const
    {
        return QString::fromLatin1(displayName_.data(), static_cast<qsizetype>(displayName_.size()));
    }

    bool beginSequence()
    {
        // From here on a failure is one of the analysis, for this record and
        // every later one.
        analysisStage_ = true;
        if (!settings_.windowSize || !settings_.step) {
            report_.end = RunEnd::AnalysisFailure;
            return false;
        }
        // What the listener holds of the records before counts against the
        // cap; this record's windows may take the rest.
        heldBefore_ = listener_.heldBytes();
        if (heldBefore_ >= cap_)
            return stop(CapFilledDetail(name(), report_.records, cap_));
        seen_ = 0;
        restricted_ = settings_.restrictRecord && settings_.restrictRecord(name());
        if (format_ == RecordFormat::Fasta && topology_ == Topology::Unknown)
            topology_ = TopologyInHeader(name_);
        if (format_ == RecordFormat::Fasta && displayName_.empty())
            displayName_ = DisplayNameInHeader(name_);
        beginCircle();
        // The first bases a circle holds count against the cap with the
        // windows (a limit of 0 would mean the whole memory: 1 byte at least).
        const uint64_t room = cap_ - heldBefore_;
        if (headWanted_ >= room)
            return stop(WindowsOverCapDetail(name(), 0, cap_, report_.records, heldBefore_));
        const uint64_t limit = room - headWanted_;
        if (acc_) {
            acc_->setMemoryLimit(limit);
            acc_->restart();
        } else {
            acc_.emplace(*settings_.windowSize, *settings_.step, settings_.keepWindows, limit);
        }
        return true;
    }

    // Whether the record may be a circle, and if so how many of its first
    // bases it keeps (windowSize - 1): whether it is one is known at its
    // end (a record shorter than the window stays a line).
    void beginCircle()
    {
        head_.clear();
        circle_ = (settings_.topology == TopologyChoice::Circular ||
                   (settings_.topology == TopologyChoice::Auto && topology_ == Topology::Circular)) &&
                  !restricted_ && *settings_.step >= 1 && *settings_.windowSize >= 1;
        headWanted_ = circle_ ? std::size_t(*settings_.windowSize - 1) : 0;
    }

    // Keeps the bases of [p, end) (text between lines) that the circle's
    // head still wants.
    void keepHead(const char* p, const char* end)
    {
        for (; p < end && head_.size() < headWanted_; ++p)
            if (*p != '\r' && *p != '\n' && *p != ' ')
                head_.push_back(*p);
    }

    // Whether the record ends as a circle: it may be one and holds a whole
    // window.
    bool wraps() const { return circle_ && acc_->length() >= *settings_.windowSize; }

    // A restricted record that ends before its stretch has no base to
    // compute: its listener hears of it (and can say why) rather than the
    // run failing as on an empty record.
    void finishWindows(WindowResults& windows)
    {
        if (!restricted_ || acc_->length() > 0) {
            acc_->finish(windows);
        } else if (settings_.keepWindows) {
            windows.GCValues = {0.0f, 0.0f};
            windows.SkewValues = {0.0f, 0.0f};
            windows.UnknownCounts = {0, 0};
        }
    }

    // The next lines of the sequence, [p, end): positions seen_ + 1 onwards;
    // of a restricted record only those in firstBase .. lastBase. The
    // accumulator skips the line breaks itself, in the same pass as the
    // sums; a restricted record has them removed first to find its stretch.
    void addBases(char* p, char* end)
    {
        const auto* bytes = reinterpret_cast<const unsigned char*>(p);
        if (!restricted_) {
            if (head_.size() < headWanted_)
                keepHead(p, end);
            const int64_t before = acc_->length();
            acc_->addText(bytes, static_cast<std::size_t>(end - p));
            seen_ += acc_->length() - before;
            return;
        }
        const std::size_t size = static_cast<std::size_t>(CompactSequence(p, end) - p);
        const int64_t first = seen_ + 1;
        seen_ += static_cast<int64_t>(size);
        const int64_t lo = std::max(first, settings_.firstBase), hi = std::min(seen_, settings_.lastBase);
        if (lo <= hi)
            acc_->add(bytes + (lo - first), static_cast<std::size_t>(hi - lo + 1));
    }

    bool endRecord()
    {
        // Nothing to compute, or positions past 32 bits: the listener says
        // whether the run goes on. (A restricted record that ends before
        // its stretch is the listener's to judge, see finishWindows.)
        if (!restricted_ || acc_->length() > 0) {
            const SequenceFit fit = FitOf(acc_->length(), *settings_.windowSize, *settings_.step);
            if (fit == SequenceFit::Empty)
                return recordFailed(RecordFault::NoSequence);
            if (acc_->length() >= settings_.longestRecord || fit == SequenceFit::TooLong)
                return recordFailed(RecordFault::TooLong);
            if (fit == SequenceFit::PastPositions)
                return recordFailed(RecordFault::PastPositions);
        }
        const bool wrapped = wraps();
        if (wrapped) {
            // Its first bases again, after its last: their positions must
            // fit too.
            if (FitOf(acc_->length() + int64_t(head_.size()), *settings_.windowSize, *settings_.step) !=
                SequenceFit::Fits)
                return recordFailed(RecordFault::PastPositions);
            acc_->closeCircle(reinterpret_cast<const unsigned char*>(head_.data()), head_.size());
        }
        RecordResult r;
        try {
            finishWindows(r.windows);
        } catch (const WindowsOutOfMemory&) {
            return windowsOutOfMemory();
        } catch (const Failure&) {
            report_.end = RunEnd::AnalysisFailure;
            return false;
        }
        r.info.number = records_;
        r.info.name = name();
        r.info.length = acc_->length();
        r.info.unknown = acc_->unknown();
        r.info.AvgGC = r.windows.AvgGC;
        r.info.windows = acc_->windows();
        r.info.cumulativeMinPosition = acc_->cumulativeMinPosition();
        r.info.cumulativeMaxPosition = acc_->cumulativeMaxPosition();
        r.info.offset = offset_;
        r.info.format = format_;
        r.info.topology = topology_;
        r.info.displayName = DisplayName();
        r.info.wrapped = wrapped;
        // (The accumulator stays for the next record.) A run inside the
        // sequence ends before the record does.
        r.sequenceLength = settings_.inSequence ? settings_.inSequence->length : seen_;

        ++report_.records;
        try {
            if (!listener_.recordComputed(std::move(r))) {
                report_.end = RunEnd::Stopped;
                return false;
            }
        } catch (const MemoryCapReached&) {
            --report_.records;
            return stop(CapFilledDetail(name(), report_.records, cap_));
        } catch (const std::bad_alloc&) {
            // The listener could not keep the record (a copy, a store)
            // although the cap had room: the system has less memory.
            --report_.records;
            const QString keep = QStringLiteral("there is not enough memory to keep record \"%1\"").arg(name());
            return stop(report_.records == 0 ? keep
                                             : keep + QStringLiteral(" after the %1 before it").arg(report_.records));
        }
        return true;
    }

    bool recordFailed(RecordFault fault)
    {
        RecordInfo info;
        info.number = records_;
        info.name = name();
        info.length = acc_->length();
        info.offset = offset_;
        info.format = format_;
        info.topology = topology_;
        info.displayName = DisplayName();
        if (listener_.recordFailed(info, fault))
            return true;
        if (fault == RecordFault::TooLong) {
            report_.end = RunEnd::TooLong;
            report_.detail = RecordTooLongDetail(info.name, info.length, settings_.longestRecord);
        } else {
            report_.end = RunEnd::AnalysisFailure;
        }
        return false;
    }

    // The windows of the record being read were given up for want of
    // memory: the run's cap, or the system's before it.
    bool windowsOutOfMemory()
    {
        return stop(WindowsOverCapDetail(name(), acc_->windowsKept(), acc_->overLimit() ? cap_ : 0, report_.records,
                                         heldBefore_));
    }

public:
    // Memory ran out elsewhere while reading a record.
    bool readOutOfMemory()
    {
        return stop(QStringLiteral("there is not enough memory to read record \"%1\"").arg(name()));
    }

private:
    // Ends the run for want of memory, giving back what the record held.
    bool stop(const QString& detail)
    {
        report_.end = RunEnd::OutOfMemory;
        report_.detail = detail;
        acc_.reset();
        return false;
    }

    const RunSettings& settings_;
    RunListener& listener_;
    uint64_t cap_; // the most memory the run may hold
    RecordFormat format_;
    Topology topology_ = Topology::Unknown; // of the record being read
    std::string displayName_;               // and what its file calls it
    uint64_t heldBefore_ = 0;               // what the listener held when this record began
    RunReport report_;
    int64_t records_ = 0; // records begun
    uint64_t offset_ = 0;
    std::string name_;
    bool analysisStage_ = false;
    std::optional<WindowAccumulator> acc_;
    int64_t seen_ = 0;        // bases of the record so far
    bool restricted_ = false; // only firstBase .. lastBase of it are computed
    bool circle_ = false;     // it is computed as a circle if it holds a whole window
    std::size_t headWanted_ = 0;
    std::string head_; // its first bases, to follow its last one on a circle
};

} // namespace

namespace {
// 1234567 as "1,234,567".
QString Grouped(int64_t value)
{
    QString digits = QString::number(value < 0 ? -value : value);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, u',');
    return value < 0 ? u'-' + digits : digits;
}

// A size in bytes in the largest decimal unit, to two significant digits
// or more: "520 kB", "4.3 GB", "52 GB".
QString MemoryText(uint64_t bytes)
{
    static const char* const kUnits[] = {"bytes", "kB", "MB", "GB", "TB", "PB"};
    double value = double(bytes);
    int unit = 0;
    while (value >= 1000.0 && unit < 5) {
        value /= 1000.0;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(QString::number(value, 'f', value < 10.0 && unit > 0 ? 1 : 0),
                                       QLatin1String(kUnits[unit]));
}
} // namespace

namespace {
QString ShownRecordName(const QString& recordName)
{
    QString name = recordName;
    name.remove(u'\r'); // the end of a CRLF header line
    return name;
}
} // namespace

QString OutOfMemoryDetail(const QString& recordName, int64_t windows)
{
    return QStringLiteral("record \"%1\" needs %2 windows (%3); there is not enough memory for them")
        .arg(ShownRecordName(recordName), Grouped(windows), MemoryText(KeptWindowBytes(windows)));
}

QString WindowsOverCapDetail(const QString& recordName, int64_t windowsKept, uint64_t cap, int64_t recordsBefore,
                             uint64_t heldBefore)
{
    const QString needs = QStringLiteral("record \"%1\" needs more than %2 windows")
                              .arg(ShownRecordName(recordName), Grouped(windowsKept));
    if (cap == 0)
        return needs + QStringLiteral("; there is not enough memory for them");
    // The records before are worth naming when they took a good part of it.
    if (recordsBefore > 0 && heldBefore >= cap / 10)
        return needs + QStringLiteral("; with the %1 that the records before it hold, they do not fit in the %2 of "
                                      "memory a run may hold")
                           .arg(MemoryText(heldBefore), MemoryText(cap));
    return needs + QStringLiteral("; they do not fit in the %1 of memory a run may hold").arg(MemoryText(cap));
}

QString CapFilledDetail(const QString& recordName, int64_t recordsBefore, uint64_t cap)
{
    const QString name = ShownRecordName(recordName), capText = MemoryText(cap);
    if (recordsBefore <= 0)
        return QStringLiteral("record \"%1\" does not fit in the %2 of memory a run may hold").arg(name, capText);
    if (recordsBefore == 1)
        return QStringLiteral("the record before record \"%1\" fills the %2 of memory a run may hold")
            .arg(name, capText);
    return QStringLiteral("the %1 records before record \"%2\" fill the %3 of memory a run may hold")
        .arg(Grouped(recordsBefore), name, capText);
}

uint64_t RunMemoryCap()
{
    rlimit limit{};
    const uint64_t addressSpace = getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                                      ? uint64_t(limit.rlim_cur)
                                      : std::numeric_limits<uint64_t>::max();
    return RunMemoryCap(PhysicalMemory(), addressSpace);
}

namespace {
QString TooLong(const QString& recordName, int64_t length, const QString& parameters, int64_t limit)
{
    QString name = recordName;
    name.remove(u'\r');
    return QStringLiteral("record \"%1\" is %2 bp: %3records of %4 bp or more cannot be mapped")
        .arg(name, Grouped(length), parameters, Grouped(limit));
}
} // namespace

QString RecordTooLongDetail(const QString& recordName, int64_t length, int64_t longest)
{
    return TooLong(recordName, length, QString(), longest);
}

QString PastPositionsDetail(const QString& recordName, int64_t length, int32_t windowSize, int32_t step)
{
    return TooLong(
        recordName, length,
        QStringLiteral("with a window of %1 bp and a step of %2 bp, ").arg(Grouped(windowSize), Grouped(step)),
        ShortestTooLong(windowSize, step));
}

namespace {

// A run inside a sequence ends at content offset `end`: the chunk that
// begins at `base` is cut there (the format is given, so no chunk is held
// back for it).
void EndAt(Chunk& c, uint64_t base, uint64_t end)
{
    if (base + c.size < end)
        return;
    c.size = std::size_t(std::max(base, end) - base);
    c.last = true;
    c.error = nullptr;
}

// After a chunk was cut: whether the content ends with it, because reading
// failed there (the computer hears why) or it was the last one (the cutter
// finishes the record it was in).
bool ContentEnds(const Chunk& c, RecordCutter& cutter, RecordComputer& computer)
{
    if (c.error) {
        try {
            std::rethrow_exception(c.error);
        } catch (const InputError& e) {
            computer.readFailed(e);
        } catch (const std::bad_alloc&) {
            computer.readFailed(InputError(InputError::Kind::Damaged, "not enough memory to decompress it"));
        }
        return true;
    }
    if (!c.last)
        return false;
    try {
        cutter.finish(computer);
        computer.contentEnded();
    } catch (const std::bad_alloc&) {
        computer.readOutOfMemory();
    }
    return true;
}

// Cuts the chunks as they come and computes their records. The first
// kFormatBytes of the content (gathered over chunks as small as tests make
// them) say which record format it is in, unless the settings say so.
RunReport CutAndCompute(ChunkReader& reader, const RunSettings& settings, RunListener& listener)
{
    const uint64_t cap = settings.memoryCap ? settings.memoryCap : RunMemoryCap();
    std::unique_ptr<RecordCutter> cutter;
    std::optional<RecordComputer> computer;
    std::string head; // the content before the cutter was chosen
    uint64_t base = settings.startOffset;
    const auto cut = [&](char* bytes, std::size_t size, uint64_t offset) {
        try {
            return cutter->cut(bytes, size, offset, *computer);
        } catch (const std::bad_alloc&) {
            computer->readOutOfMemory();
            return false;
        }
    };
    for (;;) {
        std::unique_ptr<Chunk> c = reader.next();
        if (settings.inSequence)
            EndAt(*c, base, settings.inSequence->endOffset);
        if (!cutter) {
            head.append(c->bytes.get(), c->size);
            if (head.size() < kFormatBytes && !c->last && !c->error && !settings.format) {
                reader.giveBack(std::move(c));
                continue;
            }
            const RecordFormat format = settings.format.value_or(RecordFormatOf(head));
            cutter = MakeRecordCutter(format, CutterOptions{settings.forgivingHeaders});
            computer.emplace(settings, listener, cap, format);
            if (settings.inSequence) {
                cutter->resumeInSequence();
                if (!computer->beginInSequence(*settings.inSequence))
                    break;
            }
        }
        listener.progress(c->consumed, c->total);
        if (listener.cancelled()) {
            computer->cancel();
            break;
        }
        bool going = false;
        if (!head.empty()) {
            // The first chunks, gathered while the format was not known.
            going = cut(head.data(), head.size(), base);
            base += head.size();
            head = std::string();
        } else {
            going = cut(c->bytes.get(), c->size, base);
            base += c->size;
        }
        if (!going)
            break;
        if (ContentEnds(*c, *cutter, *computer))
            break;
        reader.giveBack(std::move(c));
    }
    return computer->report();
}

} // namespace

RunReport RunInput(InputStream& input, const RunSettings& settings, RunListener& listener)
{
    ChunkReader reader(input, settings.startOffset, std::max<std::size_t>(settings.chunkSize, 1));
    return CutAndCompute(reader, settings, listener);
}

namespace {

// Opens an input and runs over it; a file that cannot be opened as input
// ends the run as its kind of failure says.
template <typename Open>
RunReport RunOpened(Open open, const RunSettings& settings, RunListener& listener)
{
    std::unique_ptr<InputStream> input;
    try {
        input = open();
    } catch (const InputError& e) {
        RunReport r;
        r.end = e.kind() == InputError::Kind::Unsupported ? RunEnd::Unsupported
                : e.kind() == InputError::Kind::Damaged   ? RunEnd::Damaged
                                                          : RunEnd::FileFailure;
        r.detail = QString::fromLocal8Bit(e.what());
        return r;
    }
    return RunInput(*input, settings, listener);
}

} // namespace

RunReport RunFile(const QString& path, const RunSettings& settings, RunListener& listener)
{
    return RunOpened([&] { return OpenInput(path); }, settings, listener);
}

RunReport RunDescriptor(int fd, const RunSettings& settings, RunListener& listener)
{
    return RunOpened([&] { return OpenInputDescriptor(fd); }, settings, listener);
}

} // namespace quillet
