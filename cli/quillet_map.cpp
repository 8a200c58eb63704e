// quillet-map: the window's run, maps and exports from a shell, a script or
// a workflow, with no screen. Each FILE is read by the same engine, stops at
// the same record, and gives the same picture and values bytes as the
// window's Save and Export for the same window, step, plot, position and
// size. Messages name the file and use the window's words.
#include "analysis/engine.h"
#include "analysis/fileio.h"
#include "analysis/numtext.h"
#include "analysis/proposal.h"
#include "cli/options.h"
#include "interaction/exportfiles.h"
#include "maps/gcmap.h"
#include "maps/imagesurface.h"
#include "maps/drawcheck.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTemporaryFile>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

namespace quillet::cli {
namespace {

constexpr std::size_t kChunkBytes = std::size_t{256} << 10;
const QString kFileMessage = QStringLiteral("The Fasta file doesn't exist.");
const QString kAnalysisMessage = QStringLiteral("Windows size is bigger than the length of sequence.");

void Error(const QString& text)
{
    std::fputs(qPrintable(QStringLiteral("quillet-map: %1\n").arg(text)), stderr);
}

void Out(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stdout);
}

// Output folders named by a pattern ("maps/{}.png") are made as needed; a
// folder that cannot be made fails the write that needs it.
void MakeFolderFor(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
}

// Qt's own notes about the environment (no runtime folder under env -i)
// say nothing about the maps; everything else passes through.
void FilterQtMessages(QtMsgType type, const QMessageLogContext&, const QString& text)
{
    if (type == QtWarningMsg && text.startsWith(QLatin1String("QStandardPaths: ")))
        return;
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    std::fputs(qPrintable(text + u'\n'), stderr);
}

// A record name as one table cell: without the carriage return of a
// CRLF file, tabs and line breaks as blanks. --record matches this form.
QString CellName(const QString& name)
{
    QString cell = name;
    cell.remove(u'\r');
    cell.replace(u'\t', u' ').replace(u'\n', u' ');
    return cell;
}

// Floats as the tables write them: the program's number text with ".".
QString Number(float v)
{
    return FormatSingle(v, NumberLocale::c());
}

// An output file: written to a temporary file beside the target and renamed
// over it once complete, so a target is never left half written and only a
// regular file is ever replaced. Unlike the window's exports it does not
// force the data to disk first: in a batch of thousands of files that wait
// would cost more than the maps.
class OutputFile {
public:
    explicit OutputFile(const QString& path) : path_(path), temp_(path + QStringLiteral(".XXXXXX"))
    {
        MakeFolderFor(path);
        const QFileInfo target(path);
        if ((target.exists() && !target.isFile()) || !temp_.open())
            return;
        // New files get the usual permissions, not the temporary file's 0600.
        const mode_t mask = umask(0);
        umask(mask);
        open_ = fchmod(temp_.handle(), 0666 & ~mask) == 0;
    }
    bool isOpen() const { return open_; }
    QFile& device() { return temp_; }
    bool commit()
    {
        if (!open_ || !temp_.flush())
            return false;
        temp_.close();
        open_ = false;
        if (std::rename(QFile::encodeName(temp_.fileName()).constData(), QFile::encodeName(path_).constData()) != 0)
            return false;
        temp_.setAutoRemove(false);
        return true;
    }

private:
    QString path_;
    QTemporaryFile temp_;
    bool open_ = false;
};

// A table file written through OutputFile. Files may share one table, each with its own window and
// step: a TSV has one header, a bedGraph a new track line whenever the
// window or step changes. A file whose run fails takes back its rows.
class ValuesTable {
public:
    ValuesTable(const QString& path, ValueFormat format, PlotKind plot)
        : path_(path), format_(format), plot_(plot), output_(path), file_(output_.device())
    {
        ok_ = output_.isOpen();
    }
    bool ok() const { return ok_; }
    const QString& path() const { return path_; }
    void startFile(int32_t windowSize, int32_t step)
    {
        if (!ok_)
            return;
        writer_ = std::make_unique<ValueWriter>(file_, format_, plot_, windowSize, step);
        const bool header = !started_ || (format_ == ValueFormat::BedGraph &&
                                          std::make_pair(windowSize, step) != parameters_);
        if (header)
            ok_ = writer_->begin();
        started_ = true;
        parameters_ = {windowSize, step};
        mark_ = file_.pos();
    }
    void write(const QString& name, const WindowResults& w)
    {
        if (ok_ && !writer_->writeRecord(name, w))
            ok_ = false;
    }
    // The rows written since startFile stay (keep) or go.
    void endFile(bool keep)
    {
        if (!ok_ || !writer_)
            return;
        ok_ = writer_->finish();
        if (ok_ && !keep)
            ok_ = file_.seek(mark_) && file_.resize(mark_);
        kept_ = kept_ || keep;
    }
    // Commits when some file gave rows; false when that failed.
    bool close()
    {
        if (!ok_ || !kept_)
            return ok_; // the temporary file goes
        return output_.commit();
    }

private:
    QString path_;
    ValueFormat format_;
    PlotKind plot_;
    OutputFile output_;
    QFile& file_;
    std::unique_ptr<ValueWriter> writer_;
    std::pair<int32_t, int32_t> parameters_{};
    qint64 mark_ = 0;
    bool ok_ = false, started_ = false, kept_ = false;
};

// A progress line on standard error, for terminals only.
class ProgressLine {
public:
    explicit ProgressLine(bool on) : on_(on) {}
    void start(const QString& name)
    {
        name_ = name.toLocal8Bit();
        last_ = {};
    }
    void show(uint64_t done, uint64_t total)
    {
        if (!on_)
            return;
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ < std::chrono::milliseconds(100))
            return;
        last_ = now;
        if (total > 0) {
            const int width = 30, filled = int(std::min<uint64_t>(done, total) * width / total);
            std::fprintf(stderr, "\r%s [%s%s] %3d%%", name_.constData(), std::string(std::size_t(filled), '#').c_str(),
                         std::string(std::size_t(width - filled), ' ').c_str(), int(std::min<uint64_t>(done, total) * 100 / total));
        } else {
            std::fprintf(stderr, "\r%s %llu MB", name_.constData(), (unsigned long long)(done >> 20));
        }
        shown_ = true;
    }
    void clear()
    {
        if (on_ && shown_)
            std::fputs("\r\033[K", stderr);
        shown_ = false;
    }

private:
    bool on_;
    bool shown_ = false;
    QByteArray name_;
    std::chrono::steady_clock::time_point last_{};
};

class Mapper;

// Map inputs with only the run's window and step texts.
MapInputs RunTexts(const QString& windowText, const QString& stepText)
{
    MapInputs in;
    in.windowText = windowText;
    in.stepText = stepText;
    return in;
}

// One FILE's run: takes each record as the engine computes it.
class FileRun : public RunListener {
public:
    FileRun(Mapper& m, const QString& path, const QString& base, const QString& windowText, const QString& stepText,
            std::optional<int32_t> windowSize, ValuesTable* values);

    bool recordComputed(RecordResult&& r) override;
    void progress(uint64_t done, uint64_t total) override;

    // The map inputs for one record, as the window's mapInputs gives them.
    MapInputs Inputs(const RecordResult& r) const;
    bool DrawPicture(const RecordResult& r);

    QString failure;             // set when the run must stop for this file
    bool outputFailed = false;   // an output of this file could not be written
    QStringList summaryLines;
    std::optional<RecordResult> shown; // the record a single picture shows
    bool matched = false;              // --record NAME was found

private:
    Mapper& m_;
    QString path_, base_, windowText_, stepText_;
    std::optional<int32_t> windowSize_;
    ValuesTable* values_;
    DrawCheck drawable_;
};

class Mapper {
public:
    Mapper(const Options& o) : o_(o), progress_(isatty(STDERR_FILENO) == 1) {}

    int Run()
    {
        std::unique_ptr<ValuesTable> combined;
        const bool perFileValues = o_.values.contains(QStringLiteral("{}"));
        if (o_.summary)
            Out(QStringLiteral("file\trecord\tlength\tavg_gc\tunknown_pct\twindows\n"));
        bool failed = false;
        for (const QString& path : o_.files) {
            if (!MapFile(path, perFileValues, combined))
                failed = true;
        }
        if (combined && !combined->close()) {
            Error(QStringLiteral("The values could not be saved to %1.").arg(combined->path()));
            failed = true;
        }
        std::fflush(stdout);
        return failed ? 1 : 0;
    }

    const Options& options() const { return o_; }
    ProgressLine& progress() { return progress_; }

private:
    bool MapFile(const QString& path, bool perFileValues, std::unique_ptr<ValuesTable>& combined)
    {
        const QString base = InputBaseName(path);
        const bool stdinput = path == u"-";
        const QString shownPath = stdinput ? QStringLiteral("standard input") : path;

        // Window and step: as given, or what Open proposes for the size on disk.
        QString windowText = o_.window.value_or(QString()), stepText = o_.step.value_or(QString());
        std::optional<int64_t> size;
        if (stdinput) {
            struct stat st;
            if (fstat(STDIN_FILENO, &st) == 0 && S_ISREG(st.st_mode))
                size = int64_t(st.st_size);
        } else {
            size = FileLength(path);
        }
        if (!o_.window || !o_.step) {
            if (!size) {
                Error(stdinput ? QStringLiteral("standard input has no size to propose a window and step from; "
                                                "give --window and --step")
                               : QStringLiteral("%1: %2").arg(path, kFileMessage));
                return false;
            }
            const Proposal p = ProposeParameters(*size);
            if (!o_.window)
                windowText = p.window;
            if (!o_.step)
                stepText = p.step;
        }
        RunSettings settings;
        settings.windowSize = Parameter(windowText);
        settings.step = Parameter(stepText);
        // A summary alone needs no window's values: the run keeps none, so
        // memory stays the same whatever the number of windows.
        settings.keepWindows = !o_.picture.isEmpty() || !o_.values.isEmpty();
        // The engine reads a few chunks ahead. Chunks of 256 KiB stay in the
        // caches while a decompressor fills them (a gzip run is a sixth
        // faster than with 1 MiB); a small genome gets chunks its size, since
        // zeroing four large chunks took longer than its whole map.
        settings.chunkSize = kChunkBytes;
        if (size)
            settings.chunkSize =
                std::size_t(std::clamp<uint64_t>(std::bit_ceil(uint64_t(*size) + 1), 64 << 10, kChunkBytes));

        std::unique_ptr<ValuesTable> own;
        ValuesTable* values = nullptr;
        if (!o_.values.isEmpty()) {
            if (perFileValues) {
                own = std::make_unique<ValuesTable>(OutputName(o_.values, base, QString()), o_.valuesFormat, o_.plot);
                values = own.get();
            } else {
                if (!combined)
                    combined = std::make_unique<ValuesTable>(o_.values, o_.valuesFormat, o_.plot);
                values = combined.get();
            }
            values->startFile(settings.windowSize.value_or(0), settings.step.value_or(0));
            if (!values->ok()) {
                Error(QStringLiteral("The values could not be saved to %1.").arg(values->path()));
                return false;
            }
        }

        FileRun run(*this, path, base, windowText, stepText, settings.windowSize, values);
        progress_.start(shownPath);
        RunReport report;
        if (stdinput) {
            try {
                auto input = OpenInputDescriptor(STDIN_FILENO);
                report = RunFasta(*input, settings, run);
            } catch (const InputError& e) {
                report.end = e.kind() == InputError::Kind::Unsupported ? RunEnd::Unsupported
                           : e.kind() == InputError::Kind::Damaged     ? RunEnd::Damaged
                                                                       : RunEnd::FileFailure;
                report.detail = QString::fromLocal8Bit(e.what());
            }
        } else {
            report = RunFastaFile(path, settings, run);
        }
        progress_.clear();

        // The window's verdict on the run, in its words.
        QString message;
        switch (report.end) {
        case RunEnd::Damaged:
            message = QStringLiteral("%1 is damaged: %2.").arg(shownPath, report.detail);
            break;
        case RunEnd::Unsupported:
            message = QStringLiteral("%1 is not a FASTA file: %2.").arg(shownPath, report.detail);
            break;
        case RunEnd::NoRecord:
            message = QStringLiteral("No FASTA record found in %1.").arg(shownPath);
            break;
        case RunEnd::FileFailure:
            message = QStringLiteral("%1: %2").arg(shownPath, kFileMessage);
            break;
        case RunEnd::AnalysisFailure:
        case RunEnd::Stopped:
            message = run.failure.isEmpty() ? QStringLiteral("%1: %2").arg(shownPath, kAnalysisMessage) : run.failure;
            break;
        case RunEnd::Cancelled:
        case RunEnd::Finished:
            break;
        }
        if (message.isEmpty() && o_.record && !run.matched)
            message = QStringLiteral("%1: no record named \"%2\".").arg(shownPath, *o_.record);
        // The single picture: the last record, or the one asked for.
        if (message.isEmpty() && !o_.picture.isEmpty() && !o_.allRecords && run.shown && !run.DrawPicture(*run.shown))
            message = run.failure;

        const bool ok = message.isEmpty() && !run.outputFailed;
        if (!message.isEmpty())
            Error(message);
        if (values) {
            values->endFile(ok);
            if (own && !own->close()) {
                Error(QStringLiteral("The values could not be saved to %1.").arg(own->path()));
                return false;
            }
        }
        if (ok && o_.summary)
            Out(run.summaryLines.join(QString()));
        return ok;
    }

    static std::optional<int32_t> Parameter(const QString& text)
    {
        try {
            return ToInt32(QStringView(text));
        } catch (const std::exception&) {
            return std::nullopt;
        }
    }

    const Options& o_;
    ProgressLine progress_;
};

FileRun::FileRun(Mapper& m, const QString& path, const QString& base, const QString& windowText,
                 const QString& stepText, std::optional<int32_t> windowSize, ValuesTable* values)
    : m_(m), path_(path), base_(base), windowText_(windowText), stepText_(stepText), windowSize_(windowSize),
      values_(values), drawable_(m.options().plot == PlotKind::Skew, m.options().OuterWidthTwips(),
                                 m.options().OuterHeightTwips(), RunTexts(windowText, stepText))
{
}

MapInputs FileRun::Inputs(const RecordResult& r) const
{
    MapInputs in;
    in.AvgGC = r.windows.AvgGC;
    in.totalBases = FormatInteger(r.info.length);
    in.stepText = stepText_;
    in.windowText = windowText_;
    if (m_.options().markUnknown && windowSize_) {
        in.unknownCounts = &r.windows.UnknownCounts;
        in.unknownWindowSize = *windowSize_;
    }
    return in;
}

// Whether the window could draw this record's map after a run (at the shift
// and scale a run ends with); a run stops at the first record it cannot.
// Only the record's length and number of windows decide, so each pair is
// tried once.
bool FileRun::recordComputed(RecordResult&& r)
{
    const Options& o = m_.options();
    if (!drawable_(r)) {
        failure = QStringLiteral("%1: record \"%2\": %3")
                      .arg(path_ == u"-" ? QStringLiteral("standard input") : path_, r.info.name, kAnalysisMessage);
        return false;
    }
    if (o.record) {
        if (matched || CellName(r.info.name) != *o.record)
            return true;
        matched = true;
    }
    if (values_)
        values_->write(r.info.name, r.windows);
    if (o.summary) {
        const double unknown = r.info.length > 0 ? 100.0 * double(r.info.unknown) / double(r.info.length) : 0.0;
        summaryLines << QStringLiteral("%1\t%2\t%3\t%4\t%5\t%6\n")
                            .arg(path_, CellName(r.info.name), FormatInteger(r.info.length), Number(r.windows.AvgGC),
                                 FormatFixed(unknown, 2, NumberLocale::c()), FormatInteger(r.info.windows));
    }
    if (!o.picture.isEmpty()) {
        if (o.allRecords) {
            if (!DrawPicture(r))
                outputFailed = true;
        } else {
            shown = std::move(r);
        }
    }
    return true;
}

void FileRun::progress(uint64_t done, uint64_t total)
{
    m_.progress().show(done, total);
}

bool FileRun::DrawPicture(const RecordResult& r)
{
    const Options& o = m_.options();
    const QString out = OutputName(o.picture, base_, r.info.name);
    const MapInputs in = Inputs(r);
    const auto draw = [&](PictureSurface& surface) {
        if (o.plot == PlotKind::Skew)
            DrawSkewMap(surface, r.windows.SkewValues, o.Scale(), in);
        else
            DrawGCMap(surface, r.windows.GCValues, o.Shift(), in);
    };
    bool saved = false;
    try {
        if (o.pictureKind == PictureKind::Bmp) {
            // The picture box's own surface (its default colours are the
            // box's), written as Save writes it.
            ImageSurface surface(o.OuterWidthTwips(), o.OuterHeightTwips(), kFrame, qreal(o.zoom));
            draw(surface);
            OutputFile file(out);
            saved = file.isOpen() && WriteBitmap(file.device(), surface.Image()) && file.commit();
        } else {
            PictureExport request;
            request.format = o.pictureKind == PictureKind::Svg   ? PictureFormat::Svg
                             : o.pictureKind == PictureKind::Pdf ? PictureFormat::Pdf
                                                                 : PictureFormat::Png;
            request.scale = o.zoom;
            request.outerWidth = o.OuterWidthTwips();
            request.outerHeight = o.OuterHeightTwips();
            request.border = kFrame;
            request.title = r.info.name;
            OutputFile file(out);
            saved = file.isOpen() && WritePicture(file.device(), request, draw) && file.commit();
        }
    } catch (const std::exception&) {
        failure = QStringLiteral("%1: record \"%2\": %3").arg(path_, r.info.name, kAnalysisMessage);
        return false;
    }
    if (!saved) {
        failure = QStringLiteral("The picture could not be saved to %1.").arg(out);
        Error(failure);
        failure.clear();
        outputFailed = true;
        return false;
    }
    return true;
}

} // namespace
} // namespace quillet::cli

namespace quillet::cli {
namespace {

// Pictures need fonts and the palette, so a GUI application, but never a
// screen: without a platform named by the user, the offscreen one.
std::unique_ptr<QCoreApplication> MakeApplication(int& argc, char** argv, bool pictures)
{
    qInstallMessageHandler(FilterQtMessages);
    if (!pictures)
        return std::make_unique<QCoreApplication>(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    auto app = std::make_unique<QGuiApplication>(argc, argv);
    // The window's application font, so that text is laid out alike.
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(8.25);
    QGuiApplication::setFont(font);
    // PNG and BMP are Qt's own formats; looking through the image plugins
    // (and loading a few of them) only costs time.
    QCoreApplication::setLibraryPaths({});
    return app;
}

} // namespace
} // namespace quillet::cli

int main(int argc, char** argv)
{
    using namespace quillet::cli;
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const ParsedCommandLine parsed = ParseCommandLine(arguments);
    switch (parsed.action) {
    case ParsedCommandLine::Action::Usage:
        Error(parsed.error);
        std::fputs("Try 'quillet-map --help' for more information.\n", stderr);
        return 2;
    case ParsedCommandLine::Action::Help:
        Out(HelpText());
        return 0;
    case ParsedCommandLine::Action::Version:
        Out(QStringLiteral("quillet-map " QUILLET_VERSION "\n"));
        return 0;
    case ParsedCommandLine::Action::Run:
        break;
    }
    const auto app = MakeApplication(argc, argv, !parsed.options.picture.isEmpty());
    return Mapper(parsed.options).Run();
}
