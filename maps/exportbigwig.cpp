#include "maps/exportbigwig.h"

#include "analysis/fasta.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <sys/stat.h>

// Only local files are written: the library's remote reading (through
// curl) is never used, and its header needs no curl types then.
#define NOCURL
#include <bigWig.h>

namespace quillet {

namespace {

// Intervals handed to the library at once.
constexpr std::size_t kBatch = std::size_t(1) << 16;
// Zoom levels the library computes for a browser's overview.
constexpr int32_t kZoomLevels = 10;

constexpr uint32_t kBigWigMagic = 0x888FFC26;
constexpr uint32_t kIndexMagic = 0x2468ACE0;

bool InitLibrary()
{
    static std::once_flag once;
    static bool ok = false;
    std::call_once(once, [] { ok = bwInit(std::size_t(1) << 17) == 0; });
    return ok;
}

template <typename T>
bool ReadAt(QFile& f, int64_t offset, T& value)
{
    return f.seek(offset) && f.read(reinterpret_cast<char*>(&value), sizeof value) == qint64(sizeof value);
}

// The library does not tell when its last writes (the indexes, the zoom
// levels and the header's offsets to them) fail, as on a full disk. The
// file is whole when the header's magic is there and every index the
// header points to lies inside the file and starts with its own magic:
// the indexes come last. (The format is little-endian, as this machine.)
bool IsComplete(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    uint32_t magic = 0;
    uint16_t zoomLevels = 0;
    uint64_t fullIndex = 0;
    if (!ReadAt(f, 0, magic) || magic != kBigWigMagic || !ReadAt(f, 6, zoomLevels) || !ReadAt(f, 24, fullIndex))
        return false;
    std::vector<uint64_t> indexes{fullIndex};
    for (int z = 0; z < zoomLevels; ++z) {
        uint64_t zoomIndex = 0;
        if (!ReadAt(f, 64 + 24 * z + 16, zoomIndex))
            return false;
        indexes.push_back(zoomIndex);
    }
    constexpr int64_t kIndexHeader = 48;
    for (uint64_t at : indexes) {
        uint32_t m = 0;
        if (at == 0 || int64_t(at) + kIndexHeader > f.size() || !ReadAt(f, int64_t(at), m) || m != kIndexMagic)
            return false;
    }
    return true;
}

// Files the export creates get the permissions of any other new file.
void SetNewFilePermissions(const QString& path)
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(QFile::encodeName(path).constData(), 0666 & ~mask);
}

} // namespace

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
    const std::vector<float>& plotted = plot_ == PlotKind::Skew ? windows.SkewValues : windows.GCValues;
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
    const QFileInfo target(path);
    if (target.exists() && !target.isFile()) {
        error_ = QStringLiteral("it is not a regular file");
        return false;
    }
    QTemporaryFile temp(path + QStringLiteral(".XXXXXX"));
    if (!temp.open()) {
        error_ = temp.errorString();
        return false;
    }
    temp.close();
    if (!writeTo(temp.fileName()))
        return false;
    SetNewFilePermissions(temp.fileName());
    if (std::rename(QFile::encodeName(temp.fileName()).constData(), QFile::encodeName(path).constData()) != 0) {
        error_ = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    temp.setAutoRemove(false);
    return true;
}

bool BigWigTrack::writeTo(const QString& path)
{
    if (records_.empty()) {
        error_ = QStringLiteral("no record has a window");
        return false;
    }
    if (!InitLibrary()) {
        error_ = QStringLiteral("the bigWig library could not start");
        return false;
    }
    errno = 0;
    bigWigFile_t* fp = bwOpen(QFile::encodeName(path).constData(), nullptr, "w");
    if (!fp) {
        error_ = QString::fromLocal8Bit(std::strerror(errno != 0 ? errno : EIO));
        return false;
    }
    std::vector<const char*> names;
    std::vector<uint32_t> lengths;
    for (const Record& r : records_) {
        names.push_back(r.id.c_str());
        lengths.push_back(r.length);
    }
    bool ok = bwCreateHdr(fp, kZoomLevels) == 0;
    if (ok) {
        fp->cl = bwCreateChromList(names.data(), lengths.data(), int64_t(names.size()));
        ok = fp->cl && bwWriteHdr(fp) == 0;
    }
    std::vector<uint32_t> starts, ends;
    for (std::size_t i = 0; ok && i < records_.size(); ++i) {
        const Record& r = records_[i];
        const int64_t n = int64_t(r.values.size());
        // The first interval opens the chromosome's block; the others are
        // appended to it in batches.
        for (int64_t from = 0; ok && from < n;) {
            const int64_t to = from == 0 ? 1 : std::min<int64_t>(n, from + int64_t(kBatch));
            starts.clear();
            ends.clear();
            for (int64_t k = from + 1; k <= to; ++k) {
                const TrackSpan s = TrackInterval(k, n, r.windowSize, r.step, r.firstPosition);
                starts.push_back(uint32_t(s.start));
                ends.push_back(uint32_t(s.end));
            }
            const float* values = r.values.data() + from;
            const char* chrom = names[i];
            ok = (from == 0 ? bwAddIntervals(fp, &chrom, starts.data(), ends.data(), values, 1)
                            : bwAppendIntervals(fp, starts.data(), ends.data(), values, uint32_t(to - from))) == 0;
            from = to;
        }
    }
    bwClose(fp); // also frees the chromosome list
    if (!ok || !IsComplete(path)) {
        error_ = QStringLiteral("it could not be written whole (is the disk full?)");
        return false;
    }
    return true;
}

} // namespace quillet
