#include "maps/exportfiles.h"

#include "analysis/outputfile.h"
#include "maps/exportbigwig.h"

#include <QDir>
#include <QImageWriter>

namespace quillet {

namespace {

void Tell(QString* why, const QString& reason)
{
    if (why)
        *why = reason;
}

// Where the records of an export go: a text writer or a bigWig track.
using PutRecord = std::function<bool(const RecordInfo&, const WindowResults&)>;

// Writes each record as the engine computes it, checking that the file
// still gives the records the store knows.
class WritingListener : public ForwardingListener {
public:
    WritingListener(const PutRecord& put, const RecordStore& store, RunListener* outer)
        : ForwardingListener(outer), put_(put), store_(store)
    {}
    bool recordComputed(RecordResult&& r) override
    {
        const std::size_t i = std::size_t(count_);
        if (i >= store_.size() || store_.info(i).name != r.info.name || store_.info(i).length != r.info.length) {
            changed = true;
            return false;
        }
        ++count_;
        if (!put_(r.info, r.windows)) {
            failed = true;
            return false;
        }
        return true;
    }
    bool changed = false, failed = false;
    int64_t count() const { return count_; }

private:
    const PutRecord& put_;
    const RecordStore& store_;
    int64_t count_ = 0;
};

ExportResult WriteAll(const PutRecord& put, const RecordStore& store, RunListener* progress)
{
    if (store.allKept()) {
        for (std::size_t i = 0; i < store.size(); ++i) {
            if (progress) {
                progress->progress(i, store.size());
                if (progress->cancelled())
                    return ExportResult::Cancelled;
            }
            if (!put(store.info(i), *store.kept(i)))
                return ExportResult::Failed;
        }
        return ExportResult::Written;
    }
    WritingListener listener(put, store, progress);
    const RunReport report = RunFile(store.path(), store.settings(), listener);
    if (report.end == RunEnd::Cancelled)
        return ExportResult::Cancelled;
    if (listener.failed || listener.changed || report.end != RunEnd::Finished ||
        listener.count() != int64_t(store.size()))
        return ExportResult::Failed;
    return ExportResult::Written;
}

// Every record of the scope, to `put`.
ExportResult PutRecords(const PutRecord& put, ValuesScope scope, const ValuesSource& source, RunListener* progress)
{
    if (scope == ValuesScope::All && source.records && source.records->size() > 0)
        return WriteAll(put, *source.records, progress);
    if (source.shown) {
        RecordInfo shown;
        shown.name = source.shownName;
        shown.length = source.shownLength;
        if (!put(shown, *source.shown))
            return ExportResult::Failed;
    }
    return ExportResult::Written;
}

// The bigWig: the records are collected, then the file is written.
ExportResult WriteBigWigFile(const QString& path, Plot plot, ValuesScope scope, const ValuesSource& source,
                             RunListener* progress, QString* why)
{
    BigWigTrack track(plot, source.options);
    const bool shownOnly = !(scope == ValuesScope::All && source.records && source.records->size() > 0);
    const PutRecord put = [&](const RecordInfo& info, const WindowResults& w) {
        return track.addRecord(info.name, info.length, w, source.windowSize, source.step,
                               shownOnly ? source.firstPosition : 1);
    };
    const ExportResult result = PutRecords(put, scope, source, progress);
    if (result == ExportResult::Written && track.write(path))
        return result;
    if (why)
        *why = track.error();
    return result == ExportResult::Cancelled ? result : ExportResult::Failed;
}

} // namespace

ExportResult WriteValuesFile(const QString& path, ValueFormat format, Plot plot, ValuesScope scope,
                             const ValuesSource& source, RunListener* progress, QString* why)
{
    // Said before the records are gone through, which may take long.
    if (const std::optional<QString> refusal = OutputRefusal(path)) {
        Tell(why, *refusal);
        return ExportResult::Failed;
    }
    if (format == ValueFormat::BigWig)
        return WriteBigWigFile(path, plot, scope, source, progress, why);
    OutputFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        Tell(why, file.error());
        return ExportResult::Failed;
    }
    ValueWriter writer(file, format, plot, source.windowSize, source.step, source.options);
    const bool shownOnly = !(scope == ValuesScope::All && source.records && source.records->size() > 0);
    const PutRecord put = [&](const RecordInfo& info, const WindowResults& w) {
        return writer.writeRecord(info.name, w, shownOnly ? source.firstPosition : 1);
    };
    const ExportResult result = writer.begin() ? PutRecords(put, scope, source, progress) : ExportResult::Failed;
    if (result == ExportResult::Written && writer.finish() && file.commit())
        return result;
    Tell(why, file.error()); // empty when the records were the problem
    return result == ExportResult::Cancelled ? result : ExportResult::Failed;
}

bool WritePictureFile(const QString& path, const PictureExport& request,
                      const std::function<void(PictureSurface&)>& draw, QString* why)
{
    OutputFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) && WritePicture(file, request, draw) && file.commit();
    if (!written)
        Tell(why, file.error());
    return written;
}

ExportResult WriteIslandsFile(const QString& path, const RecordStore& store, int64_t only,
                              const IslandFeatures& features, RunListener* progress, QString* why)
{
    const std::optional<QByteArray> bed = RunIslandsBed(store, IslandSettings{}, features, only, progress);
    if (!bed) {
        if (progress && progress->cancelled())
            return ExportResult::Cancelled;
        Tell(why,
             QStringLiteral("%1 no longer holds the records of the run").arg(QDir::toNativeSeparators(store.path())));
        return ExportResult::Failed;
    }
    OutputFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(*bed) == bed->size() && file.commit();
    if (!written)
        Tell(why, file.error());
    return written ? ExportResult::Written : ExportResult::Failed;
}

bool WriteBitmapFile(const QString& path, const QImage& picture, QString* why)
{
    OutputFile file(path);
    const bool written = file.open(QIODevice::WriteOnly) && WriteBitmap(file, picture) && file.commit();
    if (!written)
        Tell(why, file.error());
    return written;
}

QString NotSaved(const QString& what, const QString& path, const QString& why)
{
    return why.isEmpty() ? QStringLiteral("%1 could not be saved to %2.").arg(what, path)
                         : QStringLiteral("%1 could not be saved to %2: %3.").arg(what, path, why);
}

bool WriteBitmap(QIODevice& out, const QImage& picture)
{
    QImageWriter writer(&out, "bmp");
    return writer.write(picture.convertToFormat(QImage::Format_RGB32));
}

} // namespace quillet
