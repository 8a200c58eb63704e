// Writing quillet-map's messages, standard output and values tables.
#include "cli/outputs.h"

#include "analysis/fileio.h"
#include "maps/exportfiles.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quillet::cli {
namespace {

int stdoutError = 0;
bool stdoutUsed = false;

} // namespace

void Error(const QString& text)
{
    std::fputs(NativePath(QStringLiteral("quillet-map: %1\n").arg(text)).constData(), stderr);
}

void Out(const QByteArray& bytes)
{
    stdoutUsed = true;
    errno = 0;
    if (stdoutError == 0 &&
        std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout) != std::size_t(bytes.size()))
        stdoutError = errno != 0 ? errno : EIO;
}

void Out(const QString& text)
{
    Out(text.toUtf8());
}

bool CloseStandardOutput(const QString& what)
{
    errno = 0;
    if (std::fflush(stdout) != 0 && stdoutError == 0)
        stdoutError = errno != 0 ? errno : EIO;
    if (std::ferror(stdout) && stdoutError == 0)
        stdoutError = EIO;
    if (std::fclose(stdout) != 0 && stdoutError == 0 && stdoutUsed)
        stdoutError = errno != 0 ? errno : EIO;
    if (stdoutError == 0)
        return true;
    Error(QStringLiteral("%1 could not be written to standard output: %2.")
              .arg(what, QString::fromLocal8Bit(std::strerror(stdoutError))));
    return false;
}

void MakeFolderFor(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
}

ValuesTable::ValuesTable(const QString& path, ValueFormat format, Plot plot, const ValueOptions& options)
    : path_(path), format_(format), plot_(plot), options_(options), file_(path, kDurability)
{
    MakeFolderFor(path);
    if (format == ValueFormat::BigWig) {
        track_ = std::make_unique<BigWigTrack>(plot, options);
        refusal_ = OutputRefusal(path).value_or(QString());
        ok_ = refusal_.isEmpty();
    } else {
        ok_ = file_.open(QIODevice::WriteOnly);
    }
}

void ValuesTable::startFile(int32_t windowSize, int32_t step)
{
    if (!ok_)
        return;
    parameters_ = {windowSize, step};
    if (track_) {
        mark_ = qint64(track_->size());
        return;
    }
    writer_ = std::make_unique<ValueWriter>(file_, format_, plot_, windowSize, step, options_);
    const bool header =
        !started_ || (format_ == ValueFormat::BedGraph && std::make_pair(windowSize, step) != lastHeader_);
    if (header)
        ok_ = writer_->begin();
    started_ = true;
    lastHeader_ = parameters_;
    mark_ = file_.pos();
}

void ValuesTable::write(const RecordInfo& info, const WindowResults& w, int64_t firstPosition, int64_t recordLength)
{
    if (ok_ && track_)
        ok_ = track_->addRecord(info.name, recordLength, w, parameters_.first, parameters_.second, firstPosition,
                                info.wrapped);
    else if (ok_ && !writer_->writeRecord(info.name, w, firstPosition, info.wrapped ? recordLength : 0))
        ok_ = false;
}

void ValuesTable::endFile(bool keep)
{
    if (ok_ && track_ && !keep)
        track_->truncate(std::size_t(mark_));
    kept_ = kept_ || (ok_ && keep);
    if (!ok_ || !writer_)
        return;
    ok_ = writer_->finish();
    if (ok_ && !keep)
        ok_ = file_.seek(mark_) && file_.resize(mark_);
}

bool ValuesTable::close(const BigWigTrack::Progress& progress)
{
    if (!ok_ || !kept_)
        return ok_; // the temporary file goes
    if (track_)
        return track_->write(path_, progress);
    return file_.commit();
}

void ValuesTable::report()
{
    const QString why = !track_ ? file_.error() : !refusal_.isEmpty() ? refusal_ : track_->error();
    if (!reported_)
        Error(NotSaved(QStringLiteral("The values"), path_, why));
    reported_ = true;
}

QString OutputNames::Claim(const QString& path, const QString& what)
{
    if (const QString input = inputs_.Named(path); !input.isEmpty())
        return input;
    const QString key = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (const auto it = outputs_.constFind(key); it != outputs_.cend())
        return *it;
    outputs_.insert(key, what);
    return {};
}

QString OutputOverInput(const Options& o)
{
    const InputFiles inputs(o.files + o.features);
    const std::pair<const QString&, QString> outputs[] = {{o.picture, QStringLiteral("picture")},
                                                          {o.overview, QStringLiteral("overview")},
                                                          {o.values, QStringLiteral("values")},
                                                          {o.tracks, QStringLiteral("tracks")},
                                                          {o.islands, QStringLiteral("islands")}};
    for (const auto& [pattern, what] : outputs) {
        if (pattern.isEmpty() ||
            ((what == u"picture" || what == u"tracks") && pattern.contains(QStringLiteral("{record}"))))
            continue;
        // Values without {} are one table, under the name as given.
        const bool perFile = what != u"values" || pattern.contains(QStringLiteral("{}"));
        for (const QString& file : o.files) {
            const QString out = perFile ? OutputName(pattern, InputBaseName(file), QString()) : pattern;
            if (const QString input = inputs.Named(out); !input.isEmpty())
                return QStringLiteral("%1 %2 would replace %3").arg(what, out, input);
        }
    }
    return {};
}

} // namespace quillet::cli
