#include "maps/exportbigwig.h"

#include "analysis/numtext.h"
#include "analysis/outputfile.h"
#include "analysis/recordname.h"

#include <QLibrary>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include <stdio.h>

// Only local files are written: the library's remote reading (through
// curl) is never used, and its header needs no curl types then.
#define NOCURL
#include <bigWig.h>
#include <bwCommon.h>

namespace quillet {

namespace {

// Intervals handed to the library at once.
constexpr std::size_t kBatch = std::size_t(1) << 16;
// Zoom levels the library may compute for a browser's overview.
constexpr int32_t kZoomLevels = 10;

// The steps of the library's finishing that it exports without declaring
// them (their signatures in 0.4.7, the version whose header this is built
// against and whose structures the writer fills in already).
using MakeZoomLevels = int (*)(bigWigFile_t* fp);
using AddIntervalValue = int (*)(bigWigFile_t* fp, uint64_t* nEntries, double* sum, double* sumsq,
                                 bwZoomBuffer_t* buffer, uint32_t itemsPerSlot, uint32_t zoom, uint32_t tid,
                                 uint32_t start, uint32_t end, float value);
using WriteZoomLevels = int (*)(bigWigFile_t* fp);

// libBigWig is loaded the first time a bigWig is written, not when the
// program starts: it brings curl, GnuTLS, Kerberos and LDAP with it (26
// libraries, whose start-up took about 8 ms of every quillet-map run), and
// only its writing functions are used.
struct Library {
    decltype(&bwInit) init = nullptr;
    decltype(&bwOpen) open = nullptr;
    decltype(&bwClose) close = nullptr;
    decltype(&bwCreateHdr) createHdr = nullptr;
    decltype(&bwCreateChromList) createChromList = nullptr;
    decltype(&bwWriteHdr) writeHdr = nullptr;
    decltype(&bwAddIntervals) addIntervals = nullptr;
    decltype(&bwAppendIntervals) appendIntervals = nullptr;
    decltype(&bwFinalize) finalize = nullptr;
    MakeZoomLevels makeZoomLevels = nullptr;
    AddIntervalValue addIntervalValue = nullptr;
    WriteZoomLevels writeZoomLevels = nullptr;
    QString error; // why it cannot be used, or empty
};

template <typename F>
bool Resolve(QLibrary& lib, F& f, const char* name)
{
    f = reinterpret_cast<F>(lib.resolve(name));
    return f != nullptr;
}

Library LoadLibrary()
{
    Library b;
    QLibrary lib(QStringLiteral(QUILLET_BIGWIG_SONAME));
    const bool resolved =
        lib.load() && Resolve(lib, b.init, "bwInit") && Resolve(lib, b.open, "bwOpen") &&
        Resolve(lib, b.close, "bwClose") && Resolve(lib, b.createHdr, "bwCreateHdr") &&
        Resolve(lib, b.createChromList, "bwCreateChromList") && Resolve(lib, b.writeHdr, "bwWriteHdr") &&
        Resolve(lib, b.addIntervals, "bwAddIntervals") && Resolve(lib, b.appendIntervals, "bwAppendIntervals") &&
        Resolve(lib, b.finalize, "bwFinalize") && Resolve(lib, b.makeZoomLevels, "makeZoomLevels") &&
        Resolve(lib, b.addIntervalValue, "addIntervalValue") && Resolve(lib, b.writeZoomLevels, "writeZoomLevels");
    if (!resolved)
        b.error = QStringLiteral("the bigWig library could not be loaded (%1)").arg(lib.errorString());
    else if (b.init(std::size_t(1) << 17) != 0)
        b.error = QStringLiteral("the bigWig library could not start");
    return b; // the library stays loaded: QLibrary unloads only on unload()
}

const Library& BigWigLibrary()
{
    static const Library library = LoadLibrary();
    return library;
}

// A record's intervals in batches, gaps left out: the first batch holds
// one interval, the others up to kBatch. `put(first, starts, ends, values,
// count)` takes each batch (`first` for the first) and says whether to go
// on. A record of gaps alone has no batch. A circle's windows go by twice,
// first for the parts of their intervals past the origin, which begin the
// chromosome, then for the rest.
template <typename Put>
bool ForEachBatch(const BigWigTrack::Record& r, Put&& put)
{
    const int64_t n = int64_t(r.values.size());
    std::vector<uint32_t> starts, ends;
    std::vector<float> values;
    bool first = true;
    const auto flush = [&] {
        if (values.empty())
            return true;
        const bool going = put(first, starts.data(), ends.data(), values.data(), uint32_t(values.size()));
        first = false;
        starts.clear();
        ends.clear();
        values.clear();
        return going;
    };
    for (const bool pastOrigin : {true, false}) {
        if (pastOrigin && r.circle <= 0)
            continue;
        for (int64_t k = 1; k <= n; ++k) {
            const float v = r.values[std::size_t(k - 1)];
            if (std::isnan(v))
                continue;
            const CircleParts parts =
                OnCircle(TrackInterval(k, n, r.windowSize, r.step, r.firstPosition, r.circle), r.circle);
            const TrackSpan span = pastOrigin ? parts.pastOrigin : parts.beforeOrigin;
            if (span.empty())
                continue;
            starts.push_back(uint32_t(span.start));
            ends.push_back(uint32_t(span.end));
            values.push_back(v);
            if (values.size() >= (first ? 1 : kBatch) && !flush())
                return false;
        }
    }
    return flush();
}

// Hands the intervals of chromosome `tid` to the library: the first opens
// the chromosome's block, the others are appended to it. The library finds
// a chromosome's ID by comparing its name with every name before it, which
// made a file of many records take time with the square of their number.
// The records come in ID order, so when the chromosome whose block is open
// (`open`, the last one that had intervals; -1 before any) has an ID of 1
// or more, the first interval goes in under the name found at once (ID 0),
// which still closes that block as the right name would, and the ID is
// then set to the right one, which the chromosome's blocks are written
// with. A chromosome without intervals (gaps alone) opens no block.
bool AddRecord(const Library& bw, bigWigFile_t* fp, const BigWigTrack::Record& r, uint32_t tid, int64_t& open)
{
    return ForEachBatch(r, [&](bool first, uint32_t* starts, uint32_t* ends, const float* values, uint32_t count) {
        if (!first)
            return bw.appendIntervals(fp, starts, ends, values, count) == 0;
        const char* chrom = open >= 1 ? fp->cl->chrom[0] : r.id.c_str();
        if (bw.addIntervals(fp, &chrom, starts, ends, values, count) != 0)
            return false;
        fp->writeBuffer->tid = tid;
        open = tid;
        return true;
    });
}

// The sums of the zoom records. The library holds a zoom record's sums
// aside until the next record of its level begins, so the last record of
// each zoom buffer and the last of each level kept none, and a reader took
// their mean for 0. They are gathered again here as the library gathers
// them (an interval's overlap with the stretch the record covers, a float,
// times the value), so the records that had their sums keep their bytes.
// A ZoomCursor goes through the records of one level with the intervals.
struct ZoomCursor {
    bwZoomBuffer_t* buffer;
    uint32_t at = 0; // the record's index in its buffer
    double sum = 0, squares = 0;

    // The record: chromosome, start, end of what it covers, ..., sums.
    uint32_t* record() const { return static_cast<uint32_t*>(buffer->p) + 8 * at; }
    // Adds an interval to the records it overlaps, finishing those before.
    void add(uint32_t tid, uint32_t start, uint32_t end, float value)
    {
        for (; buffer; next()) {
            const uint32_t* r = record();
            if (r[0] > tid || (r[0] == tid && r[1] >= end))
                return; // the record of a later interval
            if (r[0] < tid || r[2] <= start)
                continue; // complete
            const uint32_t overlap = std::min(r[2], end) - std::max(r[1], start);
            sum += double(float(overlap) * value);
            squares += double(overlap) * std::pow(double(value), 2.0);
            if (r[2] >= end)
                return; // the next interval may add to it
        }
    }
    // Stores the record's sums as the library does (as floats), moves on.
    void next()
    {
        const float sums[2] = {float(sum), float(squares)};
        std::memcpy(record() + 6, sums, sizeof sums);
        sum = squares = 0;
        if (32 * ++at >= buffer->l) {
            buffer = buffer->next;
            at = 0;
        }
    }
};

void SetZoomSums(const bigWigHdr_t* hdr, bwWriteBuffer_t* wb, const std::vector<BigWigTrack::Record>& records)
{
    std::vector<ZoomCursor> cursors;
    for (uint32_t k = 0; k < hdr->nLevels; ++k)
        cursors.push_back({wb->firstZoomBuffer[k]});
    for (std::size_t i = 0; i < records.size(); ++i)
        ForEachBatch(records[i], [&](bool, uint32_t* starts, uint32_t* ends, const float* values, uint32_t count) {
            for (uint32_t j = 0; j < count; ++j)
                for (ZoomCursor& c : cursors)
                    c.add(uint32_t(i), starts[j], ends[j], values[j]);
            return true;
        });
    for (ZoomCursor& c : cursors)
        if (c.buffer)
            c.next(); // the last record
}

// The zoom levels, as the library's finishing computes them but from the
// intervals at hand rather than by reading each chromosome back by name
// (which would compare names as above), for writeZoomLevels to write. False
// when a zoom buffer could not be had.
bool AddZoomLevels(const Library& bw, bigWigFile_t* fp, const std::vector<BigWigTrack::Record>& records,
                   const BigWigTrack::Progress& progress)
{
    if (bw.makeZoomLevels(fp) != 0)
        return false;
    bigWigHdr_t* hdr = fp->hdr;
    bwWriteBuffer_t* wb = fp->writeBuffer;
    if (!hdr->zoomHdrs) { // intervals too wide for any zoom level
        hdr->nLevels = 0;
        return true;
    }
    const uint32_t levels = hdr->nLevels;
    std::vector<double> sum(levels), sumSquares(levels);
    for (std::size_t i = 0; i < records.size(); ++i) {
        const bool added =
            ForEachBatch(records[i], [&](bool, uint32_t* starts, uint32_t* ends, const float* values, uint32_t count) {
                for (uint32_t j = 0; j < count; ++j) {
                    for (uint32_t k = 0; k < levels; ++k) {
                        if (bw.addIntervalValue(fp, &wb->nNodes[k], &sum[k], &sumSquares[k], wb->lastZoomBuffer[k],
                                                hdr->bufSize / 32, hdr->zoomHdrs->level[k], uint32_t(i), starts[j],
                                                ends[j], values[j]) != 0)
                            return false;
                        while (wb->lastZoomBuffer[k]->next)
                            wb->lastZoomBuffer[k] = wb->lastZoomBuffer[k]->next;
                    }
                }
                return true;
            });
        if (!added)
            return false;
        if (progress)
            progress(records.size() + i + 1, 2 * records.size());
    }
    SetZoomSums(hdr, wb, records);
    // Each level's index, which the library fills in as it writes the level
    // and frees with the file.
    for (uint32_t k = 0; k < levels; ++k) {
        hdr->zoomHdrs->idx[k] = static_cast<bwRTree_t*>(std::calloc(1, sizeof(bwRTree_t)));
        if (!hdr->zoomHdrs->idx[k])
            return false;
        hdr->zoomHdrs->idx[k]->blockSize = wb->blockSize;
    }
    return true;
}

// What bwClose does to finish a file, in the same order and with the same
// bytes, but with the zoom levels from AddZoomLevels: the library finishes
// it without zoom levels (the last block, the index, the summary, the end
// mark), the zoom levels go where the end mark was and the end mark after
// them. bwClose then only frees the file.
bool Finish(const Library& bw, bigWigFile_t* fp, const std::vector<BigWigTrack::Record>& records,
            const BigWigTrack::Progress& progress)
{
    const uint16_t levels = fp->hdr->nLevels;
    fp->hdr->nLevels = 0;
    const bool finished = bw.finalize(fp) == 0;
    fp->hdr->nLevels = levels;
    fp->isWrite = 0;
    if (!finished)
        return false;
    if (levels == 0 || fp->writeBuffer->nBlocks == 0)
        return true;
    FILE* stream = fp->URL->x.fp;
    const uint32_t magic = BIGWIG_MAGIC;
    return std::fseek(stream, -long(sizeof magic), SEEK_END) == 0 && AddZoomLevels(bw, fp, records, progress) &&
           (fp->hdr->nLevels == 0 || bw.writeZoomLevels(fp) == 0) && std::fwrite(&magic, sizeof magic, 1, stream) == 1;
}

} // namespace

// The file as the library writes it, in memory. The library does not
// survive its own write errors (a block that fails to be written inside an
// append overruns its buffer), so it writes here, where writing cannot
// fail, and the bytes go to disk afterwards through an OutputFile, whose
// failures are ours to report. It reads back what it wrote (for the zoom
// levels), so the stream reads, writes and seeks like a file.
class MemoryFile {
public:
    FILE* open()
    {
        const cookie_io_functions_t io{&MemoryFile::read, &MemoryFile::write, &MemoryFile::seek, &MemoryFile::close};
        return fopencookie(this, "w+", io);
    }
    const QByteArray& bytes() const { return bytes_; }
    bool failed() const { return failed_; }

private:
    static ssize_t read(void* cookie, char* buf, std::size_t size)
    {
        auto* f = static_cast<MemoryFile*>(cookie);
        const qsizetype n = std::clamp<qsizetype>(f->bytes_.size() - f->at_, 0, qsizetype(size));
        if (n > 0)
            std::memcpy(buf, f->bytes_.constData() + f->at_, std::size_t(n));
        f->at_ += n;
        return n;
    }
    static ssize_t write(void* cookie, const char* buf, std::size_t size)
    {
        auto* f = static_cast<MemoryFile*>(cookie);
        try {
            if (f->at_ + qsizetype(size) > f->bytes_.size())
                f->bytes_.resize(f->at_ + qsizetype(size));
            std::memcpy(f->bytes_.data() + f->at_, buf, size);
        } catch (const std::bad_alloc&) {
            f->failed_ = true; // told at the end: the library must go on
        }
        f->at_ += qsizetype(size);
        return ssize_t(size);
    }
    static int seek(void* cookie, off64_t* offset, int whence)
    {
        auto* f = static_cast<MemoryFile*>(cookie);
        const qsizetype base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? f->at_ : f->bytes_.size();
        if (base + *offset < 0)
            return -1;
        f->at_ = base + qsizetype(*offset);
        *offset = f->at_;
        return 0;
    }
    static int close(void*) { return 0; }

    QByteArray bytes_;
    qsizetype at_ = 0;
    bool failed_ = false;
};

bool BigWigTrack::addRecord(const QString& name, int64_t length, const WindowResults& windows, int32_t windowSize,
                            int32_t step, int64_t firstPosition, bool circular)
{
    const std::size_t n = windows.GCValues.size() >= 2 ? windows.GCValues.size() - 2 : 0;
    if (n == 0)
        return true;
    // Readers take chromosome names as UTF-8 text: the header's bytes as
    // they are when they are UTF-8 (as the bedGraph writes them), any
    // other byte as U+FFFD.
    const QString id = UnicodeName(RecordId(name));
    std::string bytes = id.toUtf8().toStdString();
    if (bytes.empty()) {
        error_ = QStringLiteral("record %1 has no name, and a bigWig names every record").arg(records_.size() + 1);
        return false;
    }
    const int64_t circle = circular ? length : 0; // a circle's intervals are cut at its end
    if (!fitsLength(id, length,
                    circular ? length : TrackInterval(int64_t(n), int64_t(n), windowSize, step, firstPosition).end))
        return false;
    if (!ids_.insert(bytes).second) {
        error_ = QStringLiteral("two records are called \"%1\", and a bigWig names each record once").arg(id);
        return false;
    }
    Record r{std::move(bytes), uint32_t(length), windowSize, step, firstPosition, circle, {}};
    r.values.reserve(n);
    WindowCursor window(windows, windowSize, options_);
    while (window.next())
        r.values.push_back(window.gap() ? std::numeric_limits<float>::quiet_NaN() : ExportedFloat(window.value(plot_)));
    records_.push_back(std::move(r));
    return true;
}

// A bigWig's positions are 32-bit, and a reader keeps only the intervals
// within their chromosome's length (a track that ran past it would lose
// its end and its statistics without a word).
bool BigWigTrack::fitsLength(const QString& id, int64_t length, int64_t lastEnd)
{
    constexpr int64_t kLongest = std::numeric_limits<uint32_t>::max();
    if (length > kLongest) {
        error_ = QStringLiteral("record \"%1\" is %2 bp long, and a bigWig holds records of up to %3 bp")
                     .arg(id, GroupedInteger(length), GroupedInteger(kLongest));
        return false;
    }
    if (lastEnd > length) {
        error_ = QStringLiteral("the windows of record \"%1\" reach base %2, past its %3 bp")
                     .arg(id, GroupedInteger(lastEnd), GroupedInteger(length));
        return false;
    }
    return true;
}

void BigWigTrack::truncate(std::size_t count)
{
    while (records_.size() > count) {
        ids_.erase(records_.back().id);
        records_.pop_back();
    }
}

bool BigWigTrack::write(const QString& path, const Progress& progress)
{
    error_.clear();
    if (const std::optional<QString> refusal = OutputRefusal(path)) {
        error_ = *refusal;
        return false;
    }
    MemoryFile memory;
    if (!writeTo(memory, progress))
        return false;
    OutputFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(memory.bytes()) != memory.bytes().size() || !file.commit()) {
        error_ = file.error();
        return false;
    }
    return true;
}

bool BigWigTrack::writeTo(MemoryFile& memory, const Progress& progress)
{
    if (records_.empty()) {
        error_ = QStringLiteral("no record has a window");
        return false;
    }
    const Library& bw = BigWigLibrary();
    if (!bw.error.isEmpty()) {
        error_ = bw.error;
        return false;
    }
    // The library opens its file by name; it gets the memory file instead.
    bigWigFile_t* fp = bw.open("/dev/null", nullptr, "w");
    FILE* stream = fp ? memory.open() : nullptr;
    if (!stream) {
        if (fp)
            bw.close(fp);
        error_ = QStringLiteral("the bigWig library could not start");
        return false;
    }
    std::fclose(fp->URL->x.fp);
    fp->URL->x.fp = stream;

    std::vector<const char*> names;
    std::vector<uint32_t> lengths;
    for (const Record& r : records_) {
        names.push_back(r.id.c_str());
        lengths.push_back(r.length);
    }
    bool ok = bw.createHdr(fp, kZoomLevels) == 0;
    if (ok) {
        fp->cl = bw.createChromList(names.data(), lengths.data(), int64_t(names.size()));
        ok = fp->cl && bw.writeHdr(fp) == 0;
    }
    int64_t open = -1;
    for (std::size_t i = 0; ok && i < records_.size(); ++i) {
        ok = AddRecord(bw, fp, records_[i], uint32_t(i), open);
        if (progress)
            progress(i + 1, 2 * records_.size());
    }
    if (ok)
        ok = Finish(bw, fp, records_, progress);
    else
        fp->isWrite = 0; // nothing more to write
    bw.close(fp);        // frees the file, closes the stream
    if (!ok || memory.failed()) {
        error_ = QStringLiteral("there is not enough memory to build it");
        return false;
    }
    return true;
}

} // namespace quillet
