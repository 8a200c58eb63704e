#include "maps/exportbigwig.h"

#include "analysis/fasta.h"
#include "analysis/outputfile.h"

#include <QLibrary>

#include <algorithm>
#include <cstring>
#include <new>

#include <stdio.h>

// Only local files are written: the library's remote reading (through
// curl) is never used, and its header needs no curl types then.
#define NOCURL
#include <bigWig.h>

namespace quillet {

namespace {

// Intervals handed to the library at once.
constexpr std::size_t kBatch = std::size_t(1) << 16;
// Zoom levels the library may compute for a browser's overview.
constexpr int32_t kZoomLevels = 10;

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
    const bool resolved = lib.load() && Resolve(lib, b.init, "bwInit") && Resolve(lib, b.open, "bwOpen") &&
                          Resolve(lib, b.close, "bwClose") && Resolve(lib, b.createHdr, "bwCreateHdr") &&
                          Resolve(lib, b.createChromList, "bwCreateChromList") &&
                          Resolve(lib, b.writeHdr, "bwWriteHdr") && Resolve(lib, b.addIntervals, "bwAddIntervals") &&
                          Resolve(lib, b.appendIntervals, "bwAppendIntervals");
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

// Hands a record's intervals to the library: the first opens the
// chromosome's block, the others are appended to it in batches.
bool AddRecord(const Library& bw, bigWigFile_t* fp, const BigWigTrack::Record& r)
{
    const int64_t n = int64_t(r.values.size());
    std::vector<uint32_t> starts, ends;
    for (int64_t from = 0; from < n;) {
        const int64_t to = from == 0 ? 1 : std::min<int64_t>(n, from + int64_t(kBatch));
        starts.clear();
        ends.clear();
        for (int64_t k = from + 1; k <= to; ++k) {
            const TrackSpan span = TrackInterval(k, n, r.windowSize, r.step, r.firstPosition);
            starts.push_back(uint32_t(span.start));
            ends.push_back(uint32_t(span.end));
        }
        const float* values = r.values.data() + from;
        const char* chrom = r.id.c_str();
        const int failed = from == 0 ? bw.addIntervals(fp, &chrom, starts.data(), ends.data(), values, 1)
                                     : bw.appendIntervals(fp, starts.data(), ends.data(), values, uint32_t(to - from));
        if (failed)
            return false;
        from = to;
    }
    return true;
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
                            int32_t step, int64_t firstPosition)
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
    if (!ids_.insert(bytes).second) {
        error_ = QStringLiteral("two records are called \"%1\", and a bigWig names each record once").arg(id);
        return false;
    }
    const std::vector<float>& plotted = TrackValuesOf(windows, plot_);
    Record r{std::move(bytes), uint32_t(length), windowSize, step, firstPosition, {}};
    r.values.assign(plotted.begin() + 1, plotted.begin() + 1 + std::ptrdiff_t(n));
    records_.push_back(std::move(r));
    return true;
}

void BigWigTrack::truncate(std::size_t count)
{
    while (records_.size() > count) {
        ids_.erase(records_.back().id);
        records_.pop_back();
    }
}

bool BigWigTrack::write(const QString& path)
{
    error_.clear();
    if (const std::optional<QString> refusal = OutputRefusal(path)) {
        error_ = *refusal;
        return false;
    }
    MemoryFile memory;
    if (!writeTo(memory))
        return false;
    OutputFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(memory.bytes()) != memory.bytes().size() || !file.commit()) {
        error_ = file.error();
        return false;
    }
    return true;
}

bool BigWigTrack::writeTo(MemoryFile& memory)
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
    for (std::size_t i = 0; ok && i < records_.size(); ++i)
        ok = AddRecord(bw, fp, records_[i]);
    bw.close(fp); // writes the index and the zoom levels, closes the stream
    if (!ok || memory.failed()) {
        error_ = QStringLiteral("there is not enough memory to build it");
        return false;
    }
    return true;
}

} // namespace quillet
