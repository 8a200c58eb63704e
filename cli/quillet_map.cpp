// quillet-map: the window's run, maps and exports from a shell, a script or
// a workflow, with no screen. Each FILE is read by the same engine, stops at
// the same record, and gives the same picture and values bytes as the
// window's Save and Export for the same window, step, plot, position and
// size. Messages name the file and use the window's words.
#include "analysis/engine.h"
#include "analysis/fasta.h"
#include "analysis/fileio.h"
#include "analysis/numtext.h"
#include "analysis/outputfile.h"
#include "analysis/overview.h"
#include "analysis/processlocale.h"
#include "analysis/proposal.h"
#include "analysis/runverdict.h"
#include "cli/options.h"
#include "maps/drawcheck.h"
#include "maps/exportbigwig.h"
#include "maps/exportfiles.h"
#include "maps/gcmap.h"
#include "maps/imagesurface.h"
#include "maps/overviewmap.h"
#include "quillet/version.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHash>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quillet::cli {
namespace {

constexpr std::size_t kChunkBytes = std::size_t{256} << 10;
// A file of many short records says so for this many, then counts the rest.
constexpr int kMaxShortNotes = 10;
// A --record that matches several records lists this many of them.
constexpr int kMaxListedMatches = 10;

// A message: a path in it comes out as the bytes it was given as.
void Error(const QString& text)
{
    std::fputs(NativePath(QStringLiteral("quillet-map: %1\n").arg(text)).constData(), stderr);
}

// Standard output: the first write that fails (a full disk, say) is
// remembered, and said once when the output is closed.
int stdoutError = 0;
bool stdoutUsed = false;

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

// Flushes and closes standard output. False, with a message that says what
// could not be written, when any of it failed: a buffered write fails only
// here. A run that wrote nothing there may have been started without it.
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

// A record's name in a message, as the summary shows it.
QString ShownName(const QString& recordName)
{
    return QString::fromUtf8(SummaryName(recordName));
}

// A record in a note: its name as the summary shows it, or its number
// when it has none.
QString NoteName(const RecordInfo& info)
{
    const QString name = ShownName(info.name);
    return name.isEmpty() ? QStringLiteral("record %1 (no name)").arg(info.number) : name;
}

// "PATH cannot be read: REASON." for the errno `error`.
QString Unreadable(const QString& path, int error)
{
    return QStringLiteral("%1 cannot be read: %2.").arg(path, QString::fromLocal8Bit(std::strerror(error)));
}

// Output folders named by a pattern ("maps/{}.png") are made as needed; a
// folder that cannot be made fails the write that needs it.
void MakeFolderFor(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
}

// True while the picture platform starts.
bool startingPlatform = false;

// Qt's own notes about the environment (no runtime folder under env -i, a
// platform that could not start before the offscreen one did) say nothing
// about the maps; everything else passes through.
void FilterQtMessages(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtWarningMsg && text.startsWith(QLatin1String("QStandardPaths: ")))
        return;
    if (startingPlatform && type != QtFatalMsg && context.category &&
        QLatin1String(context.category).startsWith(QLatin1String("qt.qpa.")))
        return;
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    std::fputs(qPrintable(text + u'\n'), stderr);
}

// Every output file is written as the window writes its exports (see
// OutputFile), except that it is not forced to disk first: in a batch of
// thousands of files that wait would cost more than the maps.
constexpr OutputFile::Durability kDurability = OutputFile::Durability::Unsynced;

// A table file. Files may share one table, each with its own window and
// step: a TSV has one header, a bedGraph a new track line whenever the
// window or step changes. A file whose run fails takes back its rows. A
// bigWig collects the records and is written when the table closes; a
// target it may not replace is said before the run all the same.
class ValuesTable {
public:
    ValuesTable(const QString& path, ValueFormat format, Plot plot)
        : path_(path), format_(format), plot_(plot), file_(path, kDurability)
    {
        MakeFolderFor(path);
        if (format == ValueFormat::BigWig) {
            track_ = std::make_unique<BigWigTrack>(plot);
            refusal_ = OutputRefusal(path).value_or(QString());
            ok_ = refusal_.isEmpty();
        } else {
            ok_ = file_.open(QIODevice::WriteOnly);
        }
    }
    bool ok() const { return ok_; }
    const QString& path() const { return path_; }
    void startFile(int32_t windowSize, int32_t step)
    {
        if (!ok_)
            return;
        parameters_ = {windowSize, step};
        if (track_) {
            mark_ = qint64(track_->size());
            return;
        }
        writer_ = std::make_unique<ValueWriter>(file_, format_, plot_, windowSize, step);
        const bool header =
            !started_ || (format_ == ValueFormat::BedGraph && std::make_pair(windowSize, step) != lastHeader_);
        if (header)
            ok_ = writer_->begin();
        started_ = true;
        lastHeader_ = parameters_;
        mark_ = file_.pos();
    }
    // A bigWig's chromosome is the whole record, `recordLength` bases, also
    // when only a stretch of it was computed.
    void write(const RecordInfo& info, const WindowResults& w, int64_t firstPosition, int64_t recordLength)
    {
        if (ok_ && track_)
            ok_ = track_->addRecord(info.name, recordLength, w, parameters_.first, parameters_.second, firstPosition);
        else if (ok_ && !writer_->writeRecord(info.name, w, firstPosition))
            ok_ = false;
    }
    // The rows written since startFile stay (keep) or go.
    void endFile(bool keep)
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
    // Commits when some file gave rows; false when that failed. A bigWig,
    // built only now, tells `progress` how far it is.
    bool close(const BigWigTrack::Progress& progress = {})
    {
        if (!ok_ || !kept_)
            return ok_; // the temporary file goes
        if (track_)
            return track_->write(path_, progress);
        return file_.commit();
    }
    // Says that the table could not be written, once however often asked,
    // with the reason when one is known.
    void report()
    {
        const QString why = !track_ ? file_.error() : !refusal_.isEmpty() ? refusal_ : track_->error();
        if (!reported_)
            Error(NotSaved(QStringLiteral("The values"), path_, why));
        reported_ = true;
    }

private:
    QString path_;
    ValueFormat format_;
    Plot plot_;
    OutputFile file_; // unused by a bigWig, which writes its own file when the table closes
    QString refusal_; // why a bigWig's target may not be replaced
    std::unique_ptr<ValueWriter> writer_;
    std::unique_ptr<BigWigTrack> track_;
    std::pair<int32_t, int32_t> parameters_{}, lastHeader_{};
    qint64 mark_ = 0;
    bool ok_ = false, started_ = false, kept_ = false, reported_ = false;
};

// A progress line on standard error, for terminals only.
class ProgressLine {
public:
    explicit ProgressLine(bool on) : on_(on) {}
    void start(const QString& name)
    {
        name_ = NativePath(name);
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
                         std::string(std::size_t(width - filled), ' ').c_str(),
                         int(std::min<uint64_t>(done, total) * 100 / total));
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

// Where a FILE's bytes come from: a regular file, which the engine opens
// by its path, or a stream read from a descriptor: standard input, a named
// pipe or a device. A folder, a socket, a missing or unreadable file each
// get their own message rather than the window's "doesn't exist".
class Source {
public:
    explicit Source(const QString& path);
    ~Source()
    {
        if (owned_)
            ::close(fd_);
    }
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    // Opens a stream (a named pipe waits for its writer here); tries a
    // regular file. False, with the problem, when it cannot be read.
    bool Open();
    RunReport Run(const RunSettings& settings, RunListener& listener);

    QString shown;               // the FILE in messages
    std::optional<int64_t> size; // bytes on disk, for the proposal
    QString problem;             // why it cannot be read, in full

private:
    QString path_;
    bool stream_ = false;
    int fd_ = -1;
    bool owned_ = false;
};

Source::Source(const QString& path) : shown(path), path_(path)
{
    struct stat st {};
    if (path == u"-") {
        shown = QStringLiteral("standard input");
        stream_ = true;
        fd_ = STDIN_FILENO;
        if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode))
            size = int64_t(st.st_size);
    } else if (::stat(NativePath(path).constData(), &st) != 0) {
        problem = errno == ENOENT ? QStringLiteral("%1: %2").arg(path, kFileMessage) : Unreadable(path, errno);
    } else if (S_ISDIR(st.st_mode)) {
        problem = QStringLiteral("%1 is a folder, not a FASTA file.").arg(path);
    } else if (S_ISSOCK(st.st_mode)) {
        problem = QStringLiteral("%1 is a socket, not a FASTA file.").arg(path);
    } else if (S_ISREG(st.st_mode)) {
        size = int64_t(st.st_size);
    } else {
        stream_ = true; // a named pipe or a device: read as it comes
    }
}

bool Source::Open()
{
    if (fd_ >= 0)
        return true;
    const int fd = ::open(NativePath(path_).constData(), O_RDONLY | O_CLOEXEC | (stream_ ? 0 : O_NONBLOCK));
    if (fd < 0) {
        problem = Unreadable(path_, errno);
        return false;
    }
    if (stream_) {
        fd_ = fd;
        owned_ = true;
    } else {
        ::close(fd);
    }
    return true;
}

RunReport Source::Run(const RunSettings& settings, RunListener& listener)
{
    if (!stream_)
        return RunFastaFile(path_, settings, listener);
    return RunFastaDescriptor(fd_, settings, listener);
}

// The input files that are regular files, known by device and inode, so
// that an output that is one of them is caught however its name is spelled
// (another folder path, a link to it, a second hard link).
class InputFiles {
public:
    explicit InputFiles(const QStringList& files)
    {
        for (const QString& file : files)
            if (const std::optional<Identity> id = IdentityOf(file))
                inputs_.push_back({*id, file});
    }
    // How an input that `path` names is said in a message; empty when
    // `path` names no input.
    QString Named(const QString& path) const
    {
        const std::optional<Identity> id = IdentityOf(path);
        for (const auto& [input, file] : inputs_)
            if (id && *id == input)
                return file == u"-" ? QStringLiteral("the file on standard input")
                                    : QStringLiteral("the input file %1").arg(file);
        return {};
    }

private:
    using Identity = std::pair<dev_t, ino_t>;
    static std::optional<Identity> IdentityOf(const QString& path)
    {
        struct stat st {};
        const int got = path == u"-" ? ::fstat(STDIN_FILENO, &st) : ::stat(QFile::encodeName(path).constData(), &st);
        if (got != 0 || !S_ISREG(st.st_mode))
            return std::nullopt;
        return Identity{st.st_dev, st.st_ino};
    }
    std::vector<std::pair<Identity, QString>> inputs_;
};

// An output named before any record is read that is one of the input
// files: writing it would replace the input. (A name made from a record's
// name is looked at when the record comes: see Mapper::Claim.)
QString OutputOverInput(const Options& o)
{
    const InputFiles inputs(o.files);
    const std::pair<const QString&, QString> outputs[] = {{o.picture, QStringLiteral("picture")},
                                                          {o.overview, QStringLiteral("overview")},
                                                          {o.values, QStringLiteral("values")}};
    for (const auto& [pattern, what] : outputs) {
        if (pattern.isEmpty() || (what == u"picture" && pattern.contains(QStringLiteral("{record}"))))
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

class Mapper;

// Map inputs with only the run's window and step texts.
MapInputs RunTexts(const QString& windowText, const QString& stepText)
{
    MapInputs in;
    in.windowText = windowText;
    in.stepText = stepText;
    return in;
}

// The records a --record NAME matched one way: how many, and the first few.
struct Matches {
    int count = 0;
    QList<RecordInfo> first;
    void add(const RecordInfo& info)
    {
        if (++count <= kMaxListedMatches)
            first << info;
    }
};

// One FILE's run: takes each record as the engine computes it.
class FileRun : public RunListener {
public:
    FileRun(Mapper& m, const Source& source, const QString& path, const QString& base, const QString& windowText,
            const QString& stepText, const RunSettings& settings, ValuesTable* values);

    bool recordComputed(RecordResult&& r) override;
    bool recordFailed(const RecordInfo& info, RecordFault fault) override;
    void progress(uint64_t done, uint64_t total) override;
    uint64_t heldBytes() override;

    // The map inputs for one record, as the window's mapInputs gives them.
    MapInputs Inputs(const RecordResult& r) const;
    bool DrawPicture(const RecordResult& r);
    // After the run: the single picture (the last record, or the one
    // --record picked), or whether --all-records drew any; what failed.
    QString EndPictures();
    // After the run: takes the record --record picked, or says why none.
    QString TakeChosen();
    // After the run: the records shorter than the window, or without
    // sequence, not yet noted.
    void EndNotes();
    // After the run: the overview of the records taken, under a name no
    // other output of the run has.
    void SaveOverview();

    QString failure;           // set when the run must stop for this file
    bool outputFailed = false; // an output of this file could not be written
    bool ambiguous = false;    // --record NAME matched several records
    bool refused = false;      // a record could not be mapped; the others were
    QByteArray summaryLines;
    std::optional<RecordResult> shown; // the record a single picture shows

private:
    void Take(RecordResult&& r);
    void Choose(RecordResult&& r, const QString& problem = QString());
    void NoteShort(const RecordInfo& info);
    void NoteNoSequence(const RecordInfo& info);
    QString RegionProblem(const RecordResult& r) const;
    int64_t FirstPosition() const;
    QByteArray SummaryLine(const RecordInfo& info) const;
    QString TooLongProblem(const RecordInfo& info, RecordFault fault) const;
    QString NothingToDraw(const QString& what) const;
    bool SavePicture(const RecordResult& r, const QString& out, QString& why);
    OverviewPicture Overview() const;
    // False, with the reason when one is known, when it could not be written;
    // `notMade` then says why when the picture could not be made.
    bool WriteOverview(const QString& out, const OverviewPicture& picture, QString& why, QString& notMade) const;

    Mapper& m_;
    QString path_, shown_, base_, windowText_, stepText_;
    std::optional<int32_t> windowSize_, step_;
    int64_t longestRecord_;
    ValuesTable* values_;
    DrawCheck drawable_;
    std::optional<RecordResult> chosen_; // the record --record picks so far
    QString chosenProblem_;              // why it cannot be mapped, if it cannot
    QByteArray fileColumn_;              // the summary's file column
    Matches whole_, byId_;
    int shortRecords_ = 0, emptyRecords_ = 0, refusedRecords_ = 0;
    int64_t taken_ = 0;    // records that went into the outputs
    int64_t pictures_ = 0; // pictures of single records written
    // The records taken, and their curves, for the overview.
    std::vector<RecordInfo> overviewInfos_;
    std::vector<RecordProfile> overviewProfiles_;
    uint64_t overviewBytes_ = 0;
};

enum class Outcome { Mapped, Failed, Ambiguous };

class Mapper {
public:
    Mapper(const Options& o) : o_(o), progress_(isatty(STDERR_FILENO) == 1), inputs_(o.files) {}

    int Run()
    {
        std::unique_ptr<ValuesTable> combined;
        const bool perFileValues = o_.values.contains(QStringLiteral("{}"));
        if (o_.summary)
            Out(QByteArray("file\trecord\tlength\tavg_gc\tunknown_pct\twindows\torigin\tterminus\n"));
        bool failed = false, ambiguous = false;
        for (const QString& path : o_.files) {
            const Outcome outcome = MapFile(path, perFileValues, combined);
            failed = failed || outcome != Outcome::Mapped;
            ambiguous = ambiguous || outcome == Outcome::Ambiguous;
        }
        if (combined && !Close(*combined)) {
            combined->report();
            failed = true;
        }
        if (!CloseStandardOutput(QStringLiteral("The summary")))
            failed = true;
        return ambiguous ? 2 : failed ? 1 : 0;
    }

    const Options& options() const { return o_; }
    ProgressLine& progress() { return progress_; }

    // Takes `path` as an output of this run for `what`; when another output
    // of the run has that name already, or an input file, what that one is.
    QString Claim(const QString& path, const QString& what)
    {
        if (const QString input = inputs_.Named(path); !input.isEmpty())
            return input;
        const QString key = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
        if (const auto it = outputs_.constFind(key); it != outputs_.cend())
            return *it;
        outputs_.insert(key, what);
        return {};
    }

private:
    Outcome MapFile(const QString& path, bool perFileValues, std::unique_ptr<ValuesTable>& combined)
    {
        Source source(path);
        QString windowText, stepText;
        if (source.problem.isEmpty())
            Parameters(source, windowText, stepText);
        if (!source.problem.isEmpty() || !source.Open()) {
            Error(source.problem);
            return Outcome::Failed;
        }
        RunSettings settings;
        settings.windowSize = RunParameter(windowText);
        settings.step = RunParameter(stepText);
        // A summary alone needs no window's values: the run keeps none, so
        // memory stays the same whatever the number of windows. The
        // overview keeps each record's profile of at most 2,048 points.
        settings.keepWindows = !o_.picture.isEmpty() || !o_.values.isEmpty() || !o_.overview.isEmpty();
        // A header alone, or an empty one, is a record like any other here:
        // one record without sequence does not fail the others.
        settings.forgivingHeaders = true;
        if (o_.region) {
            const QByteArray wanted = o_.recordBytes;
            const bool named = !o_.region->name.isEmpty();
            settings.restrictRecord = [wanted, named](const QString& name) {
                return !named || MatchRecord(name, wanted) != RecordMatch::None;
            };
            settings.firstBase = o_.region->start;
            settings.lastBase = o_.region->end;
        }
        // The engine reads a few chunks ahead. Chunks of 256 KiB stay in the
        // caches while a decompressor fills them (a gzip run is a sixth
        // faster than with 1 MiB); a small genome gets chunks its size, since
        // zeroing four large chunks took longer than its whole map.
        settings.chunkSize = kChunkBytes;
        if (source.size)
            settings.chunkSize =
                std::size_t(std::clamp<uint64_t>(std::bit_ceil(uint64_t(*source.size) + 1), 64 << 10, kChunkBytes));

        std::unique_ptr<ValuesTable> own;
        ValuesTable* values = nullptr;
        if (!o_.values.isEmpty()) {
            values = OpenValues(path, source, perFileValues, own, combined);
            if (!values)
                return Outcome::Failed;
            values->startFile(settings.windowSize.value_or(0), settings.step.value_or(0));
            if (!values->ok()) {
                values->report();
                return Outcome::Failed;
            }
        }

        FileRun run(*this, source, path, InputBaseName(path), windowText, stepText, settings, values);
        progress_.start(source.shown);
        const RunReport report = source.Run(settings, run);
        progress_.clear();
        return Finish(report, run, source, values, own.get());
    }

    // Window and step: as given, or what Open proposes for the size on disk.
    void Parameters(Source& source, QString& windowText, QString& stepText) const
    {
        windowText = o_.window.value_or(QString());
        stepText = o_.step.value_or(QString());
        if (o_.window && o_.step)
            return;
        if (!source.size) {
            source.problem =
                QStringLiteral("%1 has no size to propose a window and step from; give --window and --step")
                    .arg(source.shown);
            return;
        }
        const Proposal p = ProposeParameters(*source.size);
        if (!o_.window)
            windowText = p.window;
        if (!o_.step)
            stepText = p.step;
    }

    // The values table this file writes to: its own (with {} in the name)
    // or the one of every file. Nothing when its name is taken.
    ValuesTable* OpenValues(const QString& path, const Source& source, bool perFileValues,
                            std::unique_ptr<ValuesTable>& own, std::unique_ptr<ValuesTable>& combined)
    {
        if (!perFileValues) {
            if (!combined)
                combined = std::make_unique<ValuesTable>(o_.values, o_.valuesFormat, o_.plot);
            return combined.get();
        }
        const QString out = OutputName(o_.values, InputBaseName(path), QString());
        if (const QString other = Claim(out, source.shown); !other.isEmpty()) {
            Error(QStringLiteral("The values could not be saved to %1: %2 gets the same name as %3.")
                      .arg(out, source.shown, other));
            return nullptr;
        }
        own = std::make_unique<ValuesTable>(out, o_.valuesFormat, o_.plot);
        return own.get();
    }

    // After the run: its verdict, the single picture, the outputs kept or
    // taken back, each failure said once.
    Outcome Finish(const RunReport& report, FileRun& run, const Source& source, ValuesTable* values, ValuesTable* own)
    {
        QString message = JudgeRun(report, source.shown, report.records, Wording::CommandLine, run.failure).message;
        if (message.isEmpty() && o_.record)
            message = run.TakeChosen();
        if (message.isEmpty() && !o_.picture.isEmpty())
            message = run.EndPictures();
        if (message.isEmpty() && !o_.overview.isEmpty())
            run.SaveOverview();
        run.EndNotes();

        const bool ok = message.isEmpty() && !run.outputFailed;
        if (!message.isEmpty())
            Error(message);
        if (values) {
            values->endFile(ok);
            if (own && !Close(*own)) {
                own->report();
                return Outcome::Failed;
            }
        }
        if (ok && o_.summary)
            Out(run.summaryLines);
        if (!ok)
            return run.ambiguous ? Outcome::Ambiguous : Outcome::Failed;
        return run.refused ? Outcome::Failed : Outcome::Mapped;
    }

    // Closes a values table, with the progress line while a bigWig is built.
    bool Close(ValuesTable& table)
    {
        progress_.start(table.path());
        const bool ok = table.close([this](uint64_t done, uint64_t total) { progress_.show(done, total); });
        progress_.clear();
        return ok;
    }

    const Options& o_;
    ProgressLine progress_;
    QHash<QString, QString> outputs_; // every output of the run: what it holds
    InputFiles inputs_;
};

FileRun::FileRun(Mapper& m, const Source& source, const QString& path, const QString& base, const QString& windowText,
                 const QString& stepText, const RunSettings& settings, ValuesTable* values)
    : m_(m), path_(path), shown_(source.shown), base_(base), windowText_(windowText), stepText_(stepText),
      windowSize_(settings.windowSize), step_(settings.step), longestRecord_(settings.longestRecord), values_(values),
      drawable_(m.options().plot, m.options().OuterWidthTwips(), m.options().OuterHeightTwips(),
                RunTexts(windowText, stepText)),
      fileColumn_(EscapeControls(NativePath(path)))
{}

MapInputs FileRun::Inputs(const RecordResult& r) const
{
    MapInputs in;
    in.AvgGC = r.windows.AvgGC;
    in.totalBases = FormatInteger(r.info.length);
    in.stepText = stepText_;
    in.windowText = windowText_;
    in.firstPosition = FirstPosition();
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
    if (const QString problem = RegionProblem(r); !problem.isEmpty()) {
        failure = problem;
        return false;
    }
    if (!drawable_(r)) {
        failure = QStringLiteral("%1: record \"%2\": %3").arg(shown_, ShownName(r.info.name), kAnalysisMessage);
        return false;
    }
    if (m_.options().record)
        Choose(std::move(r));
    else
        Take(std::move(r));
    return true;
}

// A record without sequence has nothing to map: a note, as for one shorter
// than the window. One past 32-bit positions is an error that fails the
// file's exit status. Either way it goes into no output and the other
// records are mapped; with --record only the record asked for is told of.
bool FileRun::recordFailed(const RecordInfo& info, RecordFault fault)
{
    const bool empty = fault == RecordFault::NoSequence;
    const QString problem = empty ? QStringLiteral("%1: record \"%2\" has no sequence (0 bp): nothing to map.")
                                        .arg(shown_, ShownName(info.name))
                                  : TooLongProblem(info, fault);
    if (m_.options().record) {
        RecordResult r;
        r.info = info;
        Choose(std::move(r), problem);
    } else if (empty) {
        NoteNoSequence(info);
    } else {
        refused = true;
        if (++refusedRecords_ <= kMaxShortNotes)
            Error(problem);
    }
    return true;
}

QString FileRun::TooLongProblem(const RecordInfo& info, RecordFault fault) const
{
    const QString name = ShownName(info.name);
    return QStringLiteral("%1: %2.").arg(
        shown_, fault == RecordFault::TooLong
                    ? RecordTooLongDetail(name, info.length, longestRecord_)
                    : PastPositionsDetail(name, info.length, windowSize_.value_or(0), step_.value_or(0)));
}

// --region: a region without a name is of a file's only record, and every
// region must end within its record.
QString FileRun::RegionProblem(const RecordResult& r) const
{
    const std::optional<Region>& region = m_.options().region;
    if (!region)
        return {};
    if (region->name.isEmpty() && r.info.number > 1)
        return QStringLiteral("%1 has several records: name one, as in --region NAME:%2")
            .arg(shown_, FormatRegion(*region));
    const bool applies =
        region->name.isEmpty() || MatchRecord(r.info.name, m_.options().recordBytes) != RecordMatch::None;
    if (!applies || r.sequenceLength >= region->end)
        return {};
    return QStringLiteral("%1: record \"%2\" is %3 bp long; the region %4-%5 ends past it")
        .arg(shown_, ShownName(r.info.name), FormatInteger(r.sequenceLength), FormatInteger(region->start),
             FormatInteger(region->end));
}

// Where the windows start in their record: a region's start, else 1.
int64_t FileRun::FirstPosition() const
{
    return m_.options().region ? m_.options().region->start : 1;
}

// --record: keeps the first record whose whole name matches, else the first
// whose ID does; which one is known only at the end of the file.
// A record that cannot be mapped comes with the `problem` to tell when it
// is the one picked.
void FileRun::Choose(RecordResult&& r, const QString& problem)
{
    const RecordMatch how = MatchRecord(r.info.name, m_.options().recordBytes);
    if (how == RecordMatch::None)
        return;
    Matches& matches = how == RecordMatch::Whole ? whole_ : byId_;
    matches.add(r.info);
    if (matches.count == 1 && (how == RecordMatch::Whole || whole_.count == 0)) {
        chosen_ = std::move(r);
        chosenProblem_ = problem;
    }
}

QString FileRun::TakeChosen()
{
    const Matches& matches = whole_.count > 0 ? whole_ : byId_;
    if (matches.count == 0)
        return QStringLiteral("%1: no record named \"%2\".").arg(shown_, *m_.options().record);
    if (matches.count == 1 && !chosenProblem_.isEmpty())
        return chosenProblem_;
    if (matches.count == 1) {
        Take(std::move(*chosen_));
        chosen_.reset();
        return {};
    }
    ambiguous = true;
    QString text = QStringLiteral("%1: --record \"%2\" matches %3 records %4:")
                       .arg(shown_, *m_.options().record)
                       .arg(matches.count)
                       .arg(whole_.count > 0 ? QStringLiteral("by their whole name") : QStringLiteral("by their ID"));
    for (const RecordInfo& info : matches.first)
        text += QStringLiteral("\n  record %1: %2").arg(info.number).arg(ShownName(info.name));
    if (matches.count > matches.first.size())
        text += QStringLiteral("\n  and %1 more").arg(matches.count - matches.first.size());
    return text;
}

// A record that goes into the outputs: its values, its summary line, its
// row of the overview, its picture (or it is the one a single picture
// shows).
void FileRun::Take(RecordResult&& r)
{
    const Options& o = m_.options();
    // A stretch's origin and terminus as record positions.
    for (int64_t* position : {&r.info.cumulativeMinPosition, &r.info.cumulativeMaxPosition})
        if (*position > 0)
            *position += FirstPosition() - 1;
    ++taken_;
    NoteShort(r.info);
    if (values_)
        values_->write(r.info, r.windows, FirstPosition(), r.sequenceLength);
    if (o.summary)
        summaryLines += SummaryLine(r.info);
    if (!o.overview.isEmpty()) {
        overviewInfos_.push_back(r.info);
        overviewProfiles_.push_back(ProfileOf(r.windows, windowSize_.value_or(0), step_.value_or(0)));
        overviewBytes_ +=
            sizeof(RecordInfo) + uint64_t(r.info.name.capacity()) * sizeof(QChar) + overviewProfiles_.back().bytes();
    }
    if (!o.picture.isEmpty()) {
        if (o.allRecords) {
            // A record without a window gets no picture (its note says so).
            if (r.info.windows > 0 && !DrawPicture(r))
                outputFailed = true;
        } else {
            shown = std::move(r);
        }
    }
}

// A record shorter than the window has no window; the window program draws
// its empty map without a word, so this is a note, not a failure.
void FileRun::NoteShort(const RecordInfo& info)
{
    if (info.windows != 0 || !windowSize_ || info.length >= *windowSize_)
        return;
    const bool pictures = !m_.options().picture.isEmpty() && m_.options().allRecords;
    if (++shortRecords_ <= kMaxShortNotes)
        Error(QStringLiteral("%1: %2: %3 bp is shorter than the window (%4 bp): no window%5")
                  .arg(shown_, NoteName(info), FormatInteger(info.length), FormatInteger(*windowSize_),
                       pictures ? QStringLiteral(", no picture") : QString()));
}

// A record of 0 bp: a header line with nothing after it.
void FileRun::NoteNoSequence(const RecordInfo& info)
{
    if (++emptyRecords_ <= kMaxShortNotes)
        Error(QStringLiteral("%1: %2: no sequence (0 bp): not mapped").arg(shown_, NoteName(info)));
}

void FileRun::EndNotes()
{
    if (shortRecords_ > kMaxShortNotes)
        Error(QStringLiteral("%1: %2 more records are shorter than the window (%3 bp): no window")
                  .arg(shown_)
                  .arg(shortRecords_ - kMaxShortNotes)
                  .arg(FormatInteger(*windowSize_)));
    if (emptyRecords_ > kMaxShortNotes)
        Error(QStringLiteral("%1: %2 more records have no sequence (0 bp): not mapped")
                  .arg(shown_)
                  .arg(emptyRecords_ - kMaxShortNotes));
    if (refusedRecords_ > kMaxShortNotes)
        Error(QStringLiteral("%1: %2 more records cannot be mapped").arg(shown_).arg(refusedRecords_ - kMaxShortNotes));
}

// Why a picture or the overview is not drawn when no record has a window
// (it would show no curve).
QString FileRun::NothingToDraw(const QString& what) const
{
    if (taken_ == 0)
        return QStringLiteral("%1 has no record to draw: no %2.").arg(shown_, what);
    return QStringLiteral("%1: no record is as long as the window (%2 bp): no %3.")
        .arg(shown_, FormatInteger(windowSize_.value_or(0)), what);
}

QString FileRun::EndPictures()
{
    if (m_.options().allRecords)
        return pictures_ == 0 && !outputFailed ? NothingToDraw(QStringLiteral("picture")) : QString();
    if (!shown)
        return NothingToDraw(QStringLiteral("picture"));
    if (shown->info.windows == 0)
        return QStringLiteral("%1: record \"%2\" (%3 bp) is shorter than the window (%4 bp): no picture.")
            .arg(shown_, ShownName(shown->info.name), FormatInteger(shown->info.length),
                 FormatInteger(windowSize_.value_or(0)));
    return DrawPicture(*shown) ? QString() : failure;
}

// The summary's line: file and record name with their bytes (control
// characters escaped), then the numbers, the positions of the lowest and
// highest cumulative G-C/G+C last.
QByteArray FileRun::SummaryLine(const RecordInfo& info) const
{
    const double unknown = info.length > 0 ? 100.0 * double(info.unknown) / double(info.length) : 0.0;
    // Written straight into bytes: one line a record, and a file may hold
    // hundreds of thousands of records.
    std::string line(fileColumn_.constData(), std::size_t(fileColumn_.size()));
    line += '\t';
    const QByteArray name = SummaryName(info.name);
    line.append(name.constData(), std::size_t(name.size()));
    const auto integer = [&line](int64_t v) {
        char buf[24];
        line += '\t';
        line.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
    };
    integer(info.length);
    line += '\t';
    AppendSingle(line, info.AvgGC);
    line += '\t';
    AppendFixed(line, unknown, 2);
    integer(info.windows);
    integer(info.cumulativeMinPosition);
    integer(info.cumulativeMaxPosition);
    line += '\n';
    return QByteArray(line.data(), qsizetype(line.size()));
}

void FileRun::progress(uint64_t done, uint64_t total)
{
    m_.progress().show(done, total);
}

// What the run's memory cap counts besides the record being computed: the
// record a picture will show, the overview's rows, the summary's lines.
uint64_t FileRun::heldBytes()
{
    const auto windows = [](const std::optional<RecordResult>& r) { return r ? WindowBytes(r->windows) : 0; };
    return windows(shown) + windows(chosen_) + overviewBytes_ + uint64_t(summaryLines.capacity());
}

// The picture of one record, under a name no other output of the run has.
bool FileRun::DrawPicture(const RecordResult& r)
{
    const QString out = OutputName(m_.options().picture, base_, r.info.name);
    const QString what = QStringLiteral("record \"%1\" of %2").arg(ShownName(r.info.name), shown_);
    QString problem;
    if (const QString other = m_.Claim(out, what); !other.isEmpty()) {
        problem =
            QStringLiteral("The picture could not be saved to %1: %2 gets the same name as %3.").arg(out, what, other);
    } else {
        try {
            if (QString why; !SavePicture(r, out, why))
                problem = NotSaved(QStringLiteral("The picture"), out, why);
        } catch (const PictureNotMade& e) {
            problem = e.message(out);
        } catch (const std::exception&) {
            failure = QStringLiteral("%1: record \"%2\": %3").arg(shown_, ShownName(r.info.name), kAnalysisMessage);
            return false;
        }
    }
    if (!problem.isEmpty()) {
        Error(problem);
        outputFailed = true;
        return false;
    }
    ++pictures_;
    return true;
}

// Draws the map and writes it to `out`; false, with the reason when one is
// known, when it cannot be written. Throws when the map cannot be drawn.
bool FileRun::SavePicture(const RecordResult& r, const QString& out, QString& why)
{
    const Options& o = m_.options();
    const MapInputs in = Inputs(r);
    const auto draw = [&](PictureSurface& surface) { DrawMap(surface, o.plot, r.windows, o.Setting(), in); };
    if (o.pictureKind == PictureKind::Bmp) {
        // The picture box's own surface (its default colours are the box's),
        // written as Save writes it.
        ImageSurface surface(o.OuterWidthTwips(), o.OuterHeightTwips(), kFrame, qreal(o.zoom));
        if (surface.Image().isNull())
            throw PictureNotMade(o.width * o.zoom, o.height * o.zoom);
        draw(surface);
        MakeFolderFor(out);
        OutputFile file(out, kDurability);
        const bool written = file.open(QIODevice::WriteOnly) && WriteBitmap(file, surface.Image()) && file.commit();
        why = file.error();
        return written;
    }
    PictureExport request;
    request.format = o.pictureKind == PictureKind::Svg   ? PictureFormat::Svg
                     : o.pictureKind == PictureKind::Pdf ? PictureFormat::Pdf
                                                         : PictureFormat::Png;
    request.scale = o.zoom;
    request.outerWidth = o.OuterWidthTwips();
    request.outerHeight = o.OuterHeightTwips();
    request.border = kFrame;
    request.title = UnicodeName(r.info.name);
    MakeFolderFor(out);
    OutputFile file(out, kDurability);
    const bool written = file.open(QIODevice::WriteOnly) && WritePicture(file, request, draw) && file.commit();
    why = file.error();
    return written;
}

void FileRun::SaveOverview()
{
    const QString out = OutputName(m_.options().overview, base_, QString());
    const QString what = QStringLiteral("the overview of %1").arg(shown_);
    const OverviewPicture picture = Overview();
    QString problem;
    if (overviewInfos_.empty())
        problem = NothingToDraw(QStringLiteral("overview"));
    else if (!picture.rows.empty() && !AnyRowHasWindows(picture))
        problem = QStringLiteral("%1: no record in the overview is as long as the window (%2 bp): no overview.")
                      .arg(shown_, FormatInteger(windowSize_.value_or(0)));
    else if (const QString other = m_.Claim(out, what); !other.isEmpty())
        problem =
            QStringLiteral("The overview could not be saved to %1: %2 gets the same name as %3.").arg(out, what, other);
    else if (QString why, notMade; !WriteOverview(out, picture, why, notMade))
        problem = notMade.isEmpty() ? NotSaved(QStringLiteral("The overview"), out, why) : notMade;
    if (problem.isEmpty())
        return;
    Error(problem);
    outputFailed = true;
}

// Made, laid out and drawn as the window's Export of its overview does, so
// that the bytes are the same.
OverviewPicture FileRun::Overview() const
{
    const Options& o = m_.options();
    OverviewChoice choice;
    choice.plot = o.plot;
    choice.minLength = o.minLength;
    choice.maxRows = o.maxRows;
    // Titled after the file's name; standard input has none.
    return MakeOverview(path_ == u"-" ? shown_ : path_, overviewInfos_, overviewProfiles_, choice, windowText_,
                        stepText_);
}

// False, with the reason when one is known, when it cannot be written.
bool FileRun::WriteOverview(const QString& out, const OverviewPicture& picture, QString& why, QString& notMade) const
{
    const Options& o = m_.options();
    const PictureFormat format = o.overviewKind == PictureKind::Svg   ? PictureFormat::Svg
                                 : o.overviewKind == PictureKind::Pdf ? PictureFormat::Pdf
                                                                      : PictureFormat::Png;
    const PictureExport request = OverviewExport(picture, format, o.zoom, o.page);
    MakeFolderFor(out);
    OutputFile file(out, kDurability);
    bool written = false;
    try {
        written = file.open(QIODevice::WriteOnly) &&
                  WritePicture(file, request, [&](PictureSurface& s) { DrawOverview(s, picture); }) && file.commit();
    } catch (const PictureNotMade& e) {
        notMade = e.message(out);
        return false;
    } catch (const std::exception&) {
        written = false;
    }
    why = file.error();
    return written;
}

} // namespace
} // namespace quillet::cli

namespace quillet::cli {
namespace {

// Pictures need fonts and the palette, so a GUI application, but never a
// screen: without a platform named by the user, the offscreen one. A
// platform the user names is tried first and the offscreen one after it
// (Qt takes the first of a ";" list that starts), so that a platform that
// cannot start, such as xcb without a display, does not end the program;
// Qt's notes about it say nothing about the maps and are left out.
std::unique_ptr<QCoreApplication> MakeApplication(int& argc, char** argv, bool pictures)
{
    qInstallMessageHandler(FilterQtMessages);
    UseUtf8CharacterType();
    if (!pictures)
        return std::make_unique<QCoreApplication>(argc, argv);
    const QByteArray named = qgetenv("QT_QPA_PLATFORM");
    if (named.isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    else if (!named.split(';').contains("offscreen"))
        qputenv("QT_QPA_PLATFORM", named + ";offscreen");
    startingPlatform = true;
    auto app = std::make_unique<QGuiApplication>(argc, argv);
    startingPlatform = false;
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
    // Every argument as the path it may be: a file's name need not be valid
    // text, and it must name the same file again.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << quillet::PathFromNative(QByteArray(argv[i]));
    ParsedCommandLine parsed = ParseCommandLine(arguments);
    if (parsed.recordArgument >= 0 && parsed.options.record) { // argv[0] is the program
        const QByteArray value = QByteArray(argv[parsed.recordArgument + 1]).mid(parsed.recordOffset);
        parsed.options.recordBytes = parsed.recordInRegion ? RegionNameBytes(value) : value;
    }
    if (parsed.action == ParsedCommandLine::Action::Run) {
        if (const QString e = OutputOverInput(parsed.options); !e.isEmpty()) {
            parsed.action = ParsedCommandLine::Action::Usage;
            parsed.error = e;
        }
    }
    switch (parsed.action) {
    case ParsedCommandLine::Action::Usage:
        Error(parsed.error);
        std::fputs("Try 'quillet-map --help' for more information.\n", stderr);
        return 2;
    case ParsedCommandLine::Action::Help:
        Out(HelpText());
        return CloseStandardOutput(QStringLiteral("The help")) ? 0 : 1;
    case ParsedCommandLine::Action::Version:
        Out(QStringLiteral("quillet-map ") + QString::fromLatin1(quillet::kVersion) + u'\n');
        return CloseStandardOutput(QStringLiteral("The version")) ? 0 : 1;
    case ParsedCommandLine::Action::Run: break;
    }
    const auto app =
        MakeApplication(argc, argv, !parsed.options.picture.isEmpty() || !parsed.options.overview.isEmpty());
    return Mapper(parsed.options).Run();
}
