#include "analysis/explorerdata.h"

#include "analysis/failure.h"
#include "analysis/fasta.h"
#include "analysis/input.h"
#include "analysis/numtext.h"
#include "analysis/recordformat.h"

#include <algorithm>
#include <array>
#include <limits>
#include <new>
#include <string>

namespace quillet {

namespace {

// Every byte of a sequence falls in one of ten weight classes (the same
// G+C tenths, G-C tenths and unknown flag); a class fits in four bits.
// One more code marks the bytes a sequence drops (CR, LF, space).
constexpr unsigned char kDropped = 15;

struct Classes {
    std::array<unsigned char, 256> of{};
    std::array<int64_t, 16> gc{}, skew{}, unknown{};
    int count = 0;
};

const Classes& WeightClasses()
{
    static const Classes table = [] {
        Classes t;
        for (int c = 0; c < 256; ++c) {
            const auto b = static_cast<unsigned char>(c);
            const LetterWeight w = WeightOf(b);
            const int64_t unknown = IsKnownBase(b) ? 0 : 1;
            int k = 0;
            while (k < t.count && !(t.gc[k] == w.gc && t.skew[k] == w.skew && t.unknown[k] == unknown))
                ++k;
            if (k == t.count) {
                t.gc[k] = w.gc;
                t.skew[k] = w.skew;
                t.unknown[k] = unknown;
                ++t.count;
            }
            t.of[b] = static_cast<unsigned char>(k);
        }
        t.of['\r'] = t.of['\n'] = t.of[' '] = kDropped;
        return t;
    }();
    return table;
}

constexpr std::size_t kChunk = std::size_t{1} << 20;
constexpr uint64_t kSmallestBudget = 4096;

struct Layout {
    int64_t grain;
    bool keepBases;
};

uint64_t IndexBytes(int64_t length, int64_t grain, bool keepBases)
{
    const auto marks = uint64_t(length / grain + 1) * 3 * sizeof(int64_t);
    const auto grains = uint64_t((length + grain - 1) / grain);
    return marks + (keepBases ? uint64_t(length + 1) / 2 : grains * sizeof(uint64_t));
}

// Grain 100 with the bases kept while that fits the budget; otherwise the
// smallest round grain (100, 200, 500, 1000, ...) whose index fits.
Layout ChooseLayout(int64_t length, uint64_t budget)
{
    budget = std::min<uint64_t>(budget, std::max<uint64_t>(uint64_t(length), kSmallestBudget));
    if (IndexBytes(length, 100, true) <= budget)
        return {100, true};
    static constexpr int64_t kSteps[] = {1, 2, 5};
    for (int64_t power = 100;; power *= 10) {
        for (int64_t s : kSteps) {
            const int64_t grain = s * power;
            if (IndexBytes(length, grain, false) <= budget || grain >= length)
                return {grain, false};
        }
    }
}

QString RecordChanged(const QString& path, const RecordInfo& info, const char* what)
{
    return QStringLiteral("%1 no longer holds record %2 \"%3\" as it was read: %4")
        .arg(path)
        .arg(info.number)
        .arg(info.name, QLatin1String(what));
}

} // namespace

// Reads the record once, through the cutter of its file's format: its
// name, then its bases into the index.
class ExplorerData::Builder final : public RecordSink {
public:
    Builder(ExplorerData& d, const RecordInfo& info, bool keepBases, bool checkBases)
        : d_(d), info_(info), keep_(keepBases), checkBases_(checkBases)
    {}

    // False when cancelled.
    bool read(InputStream& in, const std::function<bool()>& cancelled)
    {
        if (!in.skip(info_.offset))
            throw Failure(RecordChanged(d_.path_, info_, "the file is shorter").toStdString());
        // As forgiving as quillet-map's run, which maps a record with an
        // empty header too.
        const std::unique_ptr<RecordCutter> cutter = MakeRecordCutter(info_.format, CutterOptions{true});
        std::string buffer(kChunk, '\0');
        uint64_t offset = info_.offset;
        for (;;) {
            if (cancelled && cancelled())
                return false;
            const std::size_t got = in.read(buffer.data(), buffer.size());
            if (got == 0) {
                cutter->finish(*this);
                break;
            }
            if (!cutter->cut(buffer.data(), got, offset, *this))
                break;
            offset += got;
        }
        if (!started_)
            throw Failure(RecordChanged(d_.path_, info_, "no record starts there").toStdString());
        if (!header_)
            throw Failure(RecordChanged(d_.path_, info_, "no header line there").toStdString());
        if (pos_ % d_.grain_ == 0)
            d_.marks_.push_back(sum_);
        flush();
        return true;
    }

    // Checks what was read against what the run saw.
    void check() const
    {
        const QString name = QString::fromLatin1(name_.data(), qsizetype(name_.size()));
        if (name != info_.name)
            throw Failure(RecordChanged(d_.path_, info_, "another name").toStdString());
        if (pos_ != info_.length ||
            (checkBases_ && (sum_.unknown != info_.unknown || WindowGCPercent(sum_.gc, pos_) != info_.AvgGC)))
            throw Failure(RecordChanged(d_.path_, info_, "other bases").toStdString());
    }

    // The record must begin where the run saw it begin; the next one ends
    // the reading.
    bool recordBegins(uint64_t offset) override
    {
        if (started_ || offset != info_.offset)
            return false;
        started_ = true;
        return true;
    }
    void nameBytes(const char* bytes, std::size_t size) override { name_.append(bytes, size); }
    bool sequenceBegins() override
    {
        header_ = true;
        return true;
    }
    bool sequenceBytes(char* bytes, std::size_t size, uint64_t offset) override
    {
        if (keep_)
            keptBases(bytes, size);
        else
            bases(reinterpret_cast<const unsigned char*>(bytes), size, offset);
        return true;
    }
    bool recordEnds() override { return false; }
    void recordBroken(RecordProblem /*problem*/) override {}

private:
    // The bases in [p, p + n), which begin at content offset `offset`.
    // Everything the loop reads is local: the stores of the kept classes
    // (bytes) would otherwise make the compiler load it again each time.
    void bases(const unsigned char* p, std::size_t n, uint64_t offset)
    {
        const Classes& k = WeightClasses();
        const std::array<unsigned char, 256> of = k.of;
        const std::array<int64_t, 16> gc = k.gc, skew = k.skew, unknown = k.unknown;
        unsigned char* const kept = keep_ ? d_.classes_.data() : nullptr;
        const int64_t length = info_.length, grain = d_.grain_;
        Mark sum = sum_;
        int64_t pos = pos_, untilMark = untilMark_;
        unsigned pair = pair_;
        for (std::size_t i = 0; i < n; ++i) {
            const unsigned char cls = of[p[i]];
            if (cls == kDropped)
                continue;
            if (pos >= length)
                throw Failure(RecordChanged(d_.path_, info_, "a longer sequence").toStdString());
            if (--untilMark == 0) {
                d_.marks_.push_back(sum);
                if (!kept)
                    d_.offsets_.push_back(offset + i);
                untilMark = grain;
            }
            sum.gc += gc[cls];
            sum.skew += skew[cls];
            sum.unknown += unknown[cls];
            if (pos & 1) {
                if (kept)
                    kept[pos >> 1] = static_cast<unsigned char>(pair | (unsigned(cls) << 4));
            } else {
                pair = cls;
            }
            ++pos;
        }
        sum_ = sum;
        pos_ = pos;
        untilMark_ = untilMark;
        pair_ = pair;
    }

    // The same when the bases are kept (no grain needs its content offset):
    // the line breaks go first, then each grain's bases are counted by
    // class, without a branch a base.
    void keptBases(char* bytes, std::size_t size)
    {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes);
        const auto n = static_cast<std::size_t>(CompactSequence(bytes, bytes + size) - bytes);
        if (pos_ + int64_t(n) > info_.length)
            throw Failure(RecordChanged(d_.path_, info_, "a longer sequence").toStdString());
        const Classes& k = WeightClasses();
        const int64_t grain = d_.grain_;
        unsigned char* const kept = d_.classes_.data();
        for (std::size_t i = 0; i < n;) {
            if (pos_ % grain == 0)
                d_.marks_.push_back(sum_);
            const std::size_t span = std::min(n - i, std::size_t(grain - pos_ % grain));
            std::array<int64_t, 16> count{};
            std::size_t j = i;
            if (pos_ & 1) { // the second of a pair
                const unsigned char cls = k.of[p[j++]];
                ++count[cls];
                kept[pos_ >> 1] = static_cast<unsigned char>(pair_ | (unsigned(cls) << 4));
            }
            unsigned char* out = kept + ((pos_ + 1) >> 1);
            for (; j + 1 < i + span; j += 2) {
                const unsigned char a = k.of[p[j]], b = k.of[p[j + 1]];
                ++count[a];
                ++count[b];
                *out++ = static_cast<unsigned char>(a | (b << 4));
            }
            if (j < i + span) { // the first of a pair waits for the second
                pair_ = k.of[p[j]];
                ++count[pair_];
            }
            for (int c = 0; c < k.count; ++c) {
                sum_.gc += count[c] * k.gc[c];
                sum_.skew += count[c] * k.skew[c];
                sum_.unknown += count[c] * k.unknown[c];
            }
            pos_ += int64_t(span);
            i += span;
        }
    }

    // The last base of an odd length waits for its pair.
    void flush()
    {
        if (keep_ && (pos_ & 1))
            d_.classes_[std::size_t(pos_ >> 1)] = static_cast<unsigned char>(pair_);
    }

    ExplorerData& d_;
    const RecordInfo& info_;
    bool keep_, checkBases_;
    bool started_ = false, header_ = false;
    std::string name_;
    int64_t pos_ = 0;
    int64_t untilMark_ = 1;
    unsigned pair_ = 0;
    Mark sum_;
};

std::unique_ptr<ExplorerData> ExplorerData::Load(const QString& path, const RecordInfo& info,
                                                 const std::function<bool()>& cancelled, uint64_t budget,
                                                 bool checkBases)
{
    std::unique_ptr<ExplorerData> d(new ExplorerData);
    d->path_ = path;
    d->format_ = info.format;
    d->name_ = info.name;
    d->length_ = info.length;
    const Layout layout = ChooseLayout(info.length, budget);
    d->grain_ = layout.grain;
    const bool keep = layout.keepBases && info.length > 0;
    try {
        d->marks_.reserve(std::size_t(info.length / layout.grain + 1));
        if (keep)
            d->classes_.resize(std::size_t(info.length + 1) / 2);
        else
            d->offsets_.reserve(std::size_t((info.length + layout.grain - 1) / layout.grain));
        const std::unique_ptr<InputStream> in = OpenInput(path);
        Builder b(*d, info, keep, checkBases);
        if (!b.read(*in, cancelled))
            return nullptr;
        b.check();
    } catch (const InputError& e) {
        throw Failure(QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(e.what())).toStdString());
    } catch (const std::bad_alloc&) {
        throw Failure(
            QStringLiteral("there is not enough memory to explore record \"%1\"").arg(info.name).toStdString());
    }
    return d;
}

namespace {

// Reads bases of the record again from the file, in content order (a
// position before the last one read opens the file again), through the
// cutter of the file's format.
class Reread final : public RecordSink {
public:
    Reread(const QString& path, RecordFormat format) : path_(path), format_(format), buffer_(std::size_t{1} << 13, '\0')
    {}

    // The weight classes of the `count` bases from content offset `offset`.
    void bases(uint64_t offset, int64_t count, std::vector<unsigned char>& out)
    {
        if (!in_ || offset < start_) {
            in_ = OpenInput(path_);
            start_ = 0;
            size_ = 0;
        }
        if (offset > start_ + size_) {
            if (!in_->skip(offset - start_ - size_))
                throw Failure("the file is shorter");
            start_ = offset;
            size_ = 0;
        }
        const std::unique_ptr<RecordCutter> cutter = MakeRecordCutter(format_);
        cutter->resumeInSequence();
        out.clear();
        out_ = &out;
        wanted_ = std::size_t(count);
        ended_ = false;
        std::size_t i = std::size_t(offset - start_);
        while (out.size() < wanted_) {
            if (i == size_) {
                start_ += size_;
                size_ = in_->read(buffer_.data(), buffer_.size());
                i = 0;
                if (size_ == 0)
                    throw Failure("the file is shorter");
            }
            cutter->cut(buffer_.data() + i, size_ - i, start_ + i, *this);
            if (ended_)
                throw Failure("the sequence is shorter");
            i = size_;
        }
    }

    bool recordBegins(uint64_t /*offset*/) override { return false; }
    void nameBytes(const char* /*bytes*/, std::size_t /*size*/) override {}
    bool sequenceBegins() override { return true; }
    bool sequenceBytes(char* bytes, std::size_t size, uint64_t /*offset*/) override
    {
        const Classes& k = WeightClasses();
        for (std::size_t i = 0; i < size; ++i) {
            const unsigned char cls = k.of[static_cast<unsigned char>(bytes[i])];
            if (cls == kDropped)
                continue;
            out_->push_back(cls);
            if (out_->size() == wanted_)
                return false;
        }
        return true;
    }
    bool recordEnds() override
    {
        ended_ = true;
        return false;
    }
    void recordBroken(RecordProblem /*problem*/) override { ended_ = true; }

private:
    QString path_;
    RecordFormat format_;
    std::unique_ptr<InputStream> in_;
    std::string buffer_;
    uint64_t start_ = 0;   // content offset of buffer_[0]
    std::size_t size_ = 0; // bytes in buffer_
    std::vector<unsigned char>* out_ = nullptr;
    std::size_t wanted_ = 0;
    bool ended_ = false;
};

} // namespace

ExplorerData::Mark ExplorerData::prefix(int64_t pos) const
{
    const Classes& k = WeightClasses();
    const int64_t g = pos / grain_;
    Mark m = marks_[std::size_t(g)];
    for (int64_t i = g * grain_; i < pos; ++i) {
        const unsigned cls = (classes_[std::size_t(i >> 1)] >> ((i & 1) * 4)) & 15u;
        m.gc += k.gc[cls];
        m.skew += k.skew[cls];
        m.unknown += k.unknown[cls];
    }
    return m;
}

// The sums before each of the ascending `positions` with the bases not
// kept: a position inside a grain reads that grain again, once, and checks
// it against the index.
void ExplorerData::fillPartials(const std::vector<int64_t>& positions, std::vector<Mark>& sums) const
{
    const Classes& k = WeightClasses();
    Reread file(path_, format_);
    std::vector<unsigned char> grain;
    int64_t loaded = -1;
    try {
        for (std::size_t i = 0; i < positions.size(); ++i) {
            const int64_t g = positions[i] / grain_;
            Mark m = marks_[std::size_t(g)];
            const int64_t inside = positions[i] - g * grain_;
            if (inside > 0 && g != loaded) {
                file.bases(offsets_[std::size_t(g)], std::min(grain_, length_ - g * grain_), grain);
                loaded = g;
                Mark whole = m;
                for (unsigned char cls : grain) {
                    whole.gc += k.gc[cls];
                    whole.skew += k.skew[cls];
                    whole.unknown += k.unknown[cls];
                }
                const Mark& next = std::size_t(g + 1) < marks_.size() ? marks_[std::size_t(g + 1)] : whole;
                if (whole.gc != next.gc || whole.skew != next.skew || whole.unknown != next.unknown)
                    throw Failure("other bases");
            }
            for (int64_t j = 0; j < inside; ++j) {
                m.gc += k.gc[grain[std::size_t(j)]];
                m.skew += k.skew[grain[std::size_t(j)]];
                m.unknown += k.unknown[grain[std::size_t(j)]];
            }
            sums[i] = m;
        }
    } catch (const std::exception& e) {
        throw Failure(QStringLiteral("%1 no longer holds record \"%2\" as it was read: %3")
                          .arg(path_, name_, QString::fromLocal8Bit(e.what()))
                          .toStdString());
    }
}

ViewWindows ExplorerData::windows(int64_t from, int64_t to, int32_t window, int32_t step) const
{
    const int64_t first = std::max<int64_t>(from, 1), last = std::min(to, length_);
    return computed(first, last, window, step, last >= first ? WindowCountFor(last - first + 1, window, step) : 0);
}

ViewWindows ExplorerData::circle(int32_t window, int32_t step) const
{
    if (window < 1 || step < 1 || window > length_)
        return windows(1, length_, window, step);
    return computed(1, length_, window, step, (length_ - 1) / step + 1);
}

ViewWindows ExplorerData::computed(int64_t from, int64_t to, int32_t window, int32_t step, int64_t n) const
{
    ViewWindows v;
    v.from = from;
    v.to = to;
    v.window = window;
    v.step = step;
    const int64_t length = v.to - v.from + 1;
    const int64_t stride = step >= 1 ? step : 0;
    if (length < 1) {
        v.values.GCValues = {0.0f, 0.0f};
        v.values.SkewValues = {0.0f, 0.0f};
        v.values.UnknownCounts = {0, 0};
        return v;
    }

    // The running sums before every window's first base and after its last.
    std::vector<int64_t> at{v.from - 1, v.to};
    at.reserve(std::size_t(2 * n + 2));
    // A circle's window that ends past the last base takes the whole
    // record's sums and those of the bases it runs on to.
    for (int64_t w = 0; w < n; ++w) {
        const int64_t end = v.from - 1 + w * stride + window;
        at.push_back(v.from - 1 + w * stride);
        at.push_back(end > length_ ? end - length_ : end);
    }
    std::sort(at.begin(), at.end());
    at.erase(std::unique(at.begin(), at.end()), at.end());
    std::vector<Mark> sums(at.size());
    if (basesKept()) {
        for (std::size_t i = 0; i < at.size(); ++i)
            sums[i] = prefix(at[i]);
    } else {
        fillPartials(at, sums);
    }
    const auto sumAt = [&](int64_t pos) {
        if (pos > length_) {
            Mark m = sums[std::size_t(std::lower_bound(at.begin(), at.end(), pos - length_) - at.begin())];
            const Mark& all = sums.back(); // at.back() is the record's length
            m.gc += all.gc, m.skew += all.skew, m.unknown += all.unknown;
            return m;
        }
        return sums[std::size_t(std::lower_bound(at.begin(), at.end(), pos) - at.begin())];
    };

    WindowResults& r = v.values;
    r.GCValues.assign(std::size_t(n + 2), 0.0f);
    r.SkewValues.assign(std::size_t(n + 2), 0.0f);
    r.UnknownCounts.assign(std::size_t(n + 2), 0);
    r.GCTenths.assign(std::size_t(n + 2), 0);
    r.SkewTenths.assign(std::size_t(n + 2), 0);
    for (int64_t w = 0; w < n; ++w) {
        const Mark s = sumAt(v.from - 1 + w * stride), e = sumAt(v.from - 1 + w * stride + window);
        const int64_t gc = e.gc - s.gc;
        r.GCTenths[std::size_t(w + 1)] = gc;
        r.SkewTenths[std::size_t(w + 1)] = e.skew - s.skew;
        r.GCValues[std::size_t(w + 1)] = WindowGCPercent(gc, window);
        r.SkewValues[std::size_t(w + 1)] = WindowSkewRatio(e.skew - s.skew, gc);
        r.UnknownCounts[std::size_t(w + 1)] = static_cast<int32_t>(e.unknown - s.unknown);
    }
    r.AvgGC = WindowGCPercent(sumAt(v.to).gc - sumAt(v.from - 1).gc, length);
    return v;
}

std::pair<int32_t, int32_t> ChooseWindowAndStep(int64_t from, int64_t to)
{
    // Steps 1, 2, 4, 5, 10, 20, ...: each at most twice the one before, so
    // the first to give at most 2,000 windows gives at least 1,000.
    constexpr int64_t kMost = 2000, kSmallestWindow = 10;
    const int64_t length = std::max<int64_t>(to - from + 1, 0);
    static constexpr int64_t kSteps[] = {1, 2, 4, 5};
    for (int64_t power = 1; power <= 100'000'000; power *= 10) {
        for (int64_t s : kSteps) {
            const int64_t step = s * power, window = std::max(step, kSmallestWindow);
            if (WindowCountFor(length, int32_t(window), int32_t(step)) <= kMost)
                return {int32_t(window), int32_t(step)};
        }
    }
    return {500'000'000, 500'000'000};
}

std::size_t ExplorerData::memoryBytes() const
{
    return sizeof(*this) + marks_.capacity() * sizeof(Mark) + classes_.capacity() +
           offsets_.capacity() * sizeof(uint64_t);
}

} // namespace quillet
