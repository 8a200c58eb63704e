// The run of quillet-map's files and what each record gives: messages in
// the window's words, pictures and the overview drawn as its exports are.
#include "cli/run.h"

#include "analysis/annotation.h"
#include "analysis/explorerdata.h"
#include "analysis/failure.h"
#include "analysis/fileio.h"
#include "analysis/numtext.h"
#include "analysis/proposal.h"
#include "analysis/recordname.h"
#include "analysis/runverdict.h"
#include "maps/explorerview.h"
#include "maps/exportfiles.h"
#include "maps/imagesurface.h"

#include <QGuiApplication>

#include <unistd.h>

#include <QFileInfo>

#include <algorithm>
#include <bit>
#include <charconv>
#include <string>
#include <utility>

namespace quillet::cli {
namespace {

constexpr std::size_t kChunkBytes = std::size_t{256} << 10;
// A file of many short records says so for this many, then counts the rest.
constexpr int kMaxShortNotes = 10;
// A --record that matches several records lists this many of them.
constexpr int kMaxListedMatches = 10;

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

// Map inputs with only the run's window and step texts.
MapInputs RunTexts(const QString& windowText, const QString& stepText)
{
    MapInputs in;
    in.windowText = windowText;
    in.stepText = stepText;
    return in;
}

} // namespace

void Matches::add(const RecordInfo& info)
{
    if (++count <= kMaxListedMatches)
        first << info;
}

Mapper::Mapper(const Options& o) : o_(o), progress_(isatty(STDERR_FILENO) == 1), names_(o.files) {}

int Mapper::Run()
{
    if (!ReadFeatures())
        return 1;
    std::unique_ptr<ValuesTable> combined;
    const bool perFileValues = o_.values.contains(QStringLiteral("{}"));
    if (o_.summary)
        Out(QByteArray("file\trecord\tlength\tavg_gc\tunknown_pct\twindows\torigin\tterminus\twindow\tstep\n"));
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

bool Mapper::ReadFeatures()
{
    for (const QString& file : o_.features) {
        try {
            features_.push_back(std::make_shared<const FeatureSet>(ReadAnnotationFile(file).features));
        } catch (const std::exception& e) {
            Error(QString::fromUtf8(e.what()));
            return false;
        }
    }
    return true;
}

QString Mapper::Claim(const QString& path, const QString& what)
{
    return names_.Claim(path, what);
}

Outcome Mapper::MapFile(const QString& path, bool perFileValues, std::unique_ptr<ValuesTable>& combined)
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
    // The exact sums only for unrounded values and the islands.
    const bool islands = !o_.islands.isEmpty();
    settings.keepWindows = {!o_.picture.isEmpty() || !o_.values.isEmpty() || !o_.overview.isEmpty() || islands,
                            o_.unrounded || islands};
    // A header alone, or an empty one, is a record like any other here:
    // one record without sequence does not fail the others.
    settings.forgivingHeaders = true;
    settings.topology = o_.topology;
    if (o_.region) {
        const QByteArray wanted = o_.recordBytes;
        const bool named = !o_.region->name.isEmpty();
        settings.restrictRecord = [wanted, named](const QString& name) {
            return !named || MatchRecord(name, wanted) != RecordMatch::None;
        };
        settings.firstBase = o_.region->start;
        settings.lastBase = o_.region->end;
    }
    // One record named, or a stretch of one: with indexes that agree with
    // the file, only its bytes are read (of a stretch, the lines that hold it).
    if (o_.record || o_.region) {
        const QByteArray& name = o_.recordBytes;
        qsizetype blank = name.size(); // the ID ends at the first blank
        for (const char c : {' ', '\t'})
            if (const qsizetype at = name.indexOf(c); at >= 0)
                blank = std::min(blank, at);
        QString refusal;
        const std::string id = name.left(blank).toStdString();
        o_.region ? source.StartAtStretch(id, settings, refusal) : source.StartAtRecord(id, settings, refusal);
        if (!refusal.isEmpty())
            Error(QStringLiteral("%1, so it is not used: %2 is read whole").arg(refusal, source.shown));
    }
    // The engine reads a few chunks ahead. Chunks of 256 KiB stay in the
    // caches while a decompressor fills them (a gzip run is a sixth
    // faster than with 1 MiB); a small genome gets chunks its size, since
    // zeroing four large chunks took longer than its whole map.
    settings.chunkSize = kChunkBytes;
    // So does a stretch read through the indexes.
    if (source.size || settings.inSequence) {
        const uint64_t bytes =
            settings.inSequence ? settings.inSequence->endOffset - settings.startOffset : uint64_t(*source.size);
        settings.chunkSize = std::size_t(std::clamp<uint64_t>(std::bit_ceil(bytes + 1), 64 << 10, kChunkBytes));
    }

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

void Mapper::Parameters(Source& source, QString& windowText, QString& stepText) const
{
    windowText = o_.window.value_or(QString());
    stepText = o_.step.value_or(QString());
    if (o_.window && o_.step)
        return;
    if (!source.size) {
        source.problem = QStringLiteral("%1 has no size to propose a window and step from; give --window and --step")
                             .arg(source.shown);
        return;
    }
    const Proposal p = ProposeParameters(*source.size);
    if (!o_.window)
        windowText = p.window;
    if (!o_.step)
        stepText = p.step;
}

ValuesTable* Mapper::OpenValues(const QString& path, const Source& source, bool perFileValues,
                                std::unique_ptr<ValuesTable>& own, std::unique_ptr<ValuesTable>& combined)
{
    if (!perFileValues) {
        if (!combined)
            combined = std::make_unique<ValuesTable>(o_.values, o_.valuesFormat, o_.plot, o_.Values());
        return combined.get();
    }
    const QString out = OutputName(o_.values, InputBaseName(path), QString());
    if (const QString other = Claim(out, source.shown); !other.isEmpty()) {
        Error(QStringLiteral("The values could not be saved to %1: %2 gets the same name as %3.")
                  .arg(out, source.shown, other));
        return nullptr;
    }
    own = std::make_unique<ValuesTable>(out, o_.valuesFormat, o_.plot, o_.Values());
    return own.get();
}

Outcome Mapper::Finish(const RunReport& report, FileRun& run, const Source& source, ValuesTable* values,
                       ValuesTable* own)
{
    QString message = JudgeRun(report, source.shown, report.records, Wording::CommandLine, run.failure).message;
    if (message.isEmpty() && o_.record)
        message = run.TakeChosen();
    if (message.isEmpty() && !o_.picture.isEmpty())
        message = run.EndPictures();
    if (message.isEmpty() && !o_.overview.isEmpty())
        run.SaveOverview();
    if (message.isEmpty() && !o_.tracks.isEmpty())
        run.SaveTracks(features_);
    if (message.isEmpty())
        for (std::size_t i = 0; i < features_.size(); ++i)
            run.ReportMissing(*features_[i], o_.features[qsizetype(i)]);
    if (message.isEmpty() && !o_.circular.isEmpty())
        run.SaveCircular(features_);
    if (message.isEmpty() && !o_.islands.isEmpty())
        run.SaveIslands();
    const QString noWindows = message.isEmpty() && !run.outputFailed ? run.NoWindows() : QString();
    run.EndNotes(!noWindows.isEmpty());
    if (message.isEmpty())
        message = noWindows;

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

bool Mapper::Close(ValuesTable& table)
{
    progress_.start(table.path());
    const bool ok = table.close([this](uint64_t done, uint64_t total) { progress_.show(done, total); });
    progress_.clear();
    return ok;
}

FileRun::FileRun(Mapper& m, const Source& source, const QString& path, const QString& base, const QString& windowText,
                 const QString& stepText, const RunSettings& settings, ValuesTable* values)
    : m_(m), path_(path), shown_(source.shown), base_(base), windowText_(windowText), stepText_(stepText),
      windowSize_(settings.windowSize), step_(settings.step), longestRecord_(settings.longestRecord), values_(values),
      drawable_(m.options().plot, m.options().OuterWidthTwips(), m.options().OuterHeightTwips(),
                RunTexts(windowText, stepText)),
      fileColumn_(EscapeControls(NativePath(path))), stream_(source.stream())
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
    if (!m_.options().features.isEmpty())
        names_ << r.info.name;
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
    if (!m_.options().features.isEmpty())
        names_ << info.name;
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
    if (taken_++ == 0)
        firstTaken_ = r.info;
    if (!o.tracks.isEmpty()) {
        // The explorer shows the whole record, also when only a stretch
        // was computed.
        tracksRecord_ = r.info;
        tracksRecord_->length = r.sequenceLength;
    }
    if (r.info.windows > 0 && withWindows_++ == 0) {
        for (const QString& note : heldNotes_)
            Error(note);
        heldNotes_.clear();
    }
    NoteShort(r.info);
    if (values_)
        values_->write(r.info, r.windows, FirstPosition(), r.sequenceLength);
    if (o.summary)
        summaryLines += SummaryLine(r.info);
    if (!o.circular.isEmpty())
        circularInfos_.push_back(r.info);
    if (!o.overview.isEmpty()) {
        overviewInfos_.push_back(r.info);
        overviewProfiles_.push_back(ProfileOf(r.windows, windowSize_.value_or(0), step_.value_or(0)));
        overviewBytes_ +=
            sizeof(RecordInfo) + uint64_t(r.info.name.capacity()) * sizeof(QChar) + overviewProfiles_.back().bytes();
    }
    if (!o.islands.isEmpty() && r.info.windows > 0)
        TakeIslands(r);
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

// A record's islands: its BED lines now, or its windows until every record
// of a genome is there.
void FileRun::TakeIslands(const RecordResult& r)
{
    const Options& o = m_.options();
    IslandRecord record = IslandRecordOf(r.info.name, r.windows, windowSize_.value_or(0), step_.value_or(0),
                                         FirstPosition(), r.info.wrapped ? r.info.length : 0);
    if (o.islandsGenome) {
        islandBytes_ += record.bytes();
        islandRecords_.push_back(std::move(record));
    } else {
        islandLines_ += IslandsBed(QString(), {record}, o.islandSettings, false);
        islandBytes_ = uint64_t(islandLines_.capacity());
    }
}

// A record shorter than the window has no window; the window program draws
// its empty map without a word, so this is a note, not a failure.
void FileRun::NoteShort(const RecordInfo& info)
{
    if (info.windows != 0 || !windowSize_ || info.length >= *windowSize_ || m_.options().CircularOnly())
        return;
    const bool pictures = !m_.options().picture.isEmpty() && m_.options().allRecords;
    if (++shortRecords_ > kMaxShortNotes)
        return;
    const QString note = QStringLiteral("%1: %2: %3 bp is shorter than the window (%4 bp): no window%5")
                             .arg(shown_, NoteName(info), FormatInteger(info.length), FormatInteger(*windowSize_),
                                  pictures ? QStringLiteral(", no picture") : QString());
    if (withWindows_ > 0)
        Error(note);
    else
        heldNotes_ << note;
}

// A record of 0 bp: a header line with nothing after it.
void FileRun::NoteNoSequence(const RecordInfo& info)
{
    if (++emptyRecords_ <= kMaxShortNotes)
        Error(QStringLiteral("%1: %2: no sequence (0 bp): not mapped").arg(shown_, NoteName(info)));
}

QString FileRun::NoWindows() const
{
    if (taken_ == 0 && !refused)
        return QStringLiteral("%1: no record has any sequence: nothing to map.").arg(shown_);
    if (withWindows_ > 0 || refused || m_.options().CircularOnly())
        return {};
    if (taken_ == 0)
        return QStringLiteral("%1: no record has any sequence: nothing to map.").arg(shown_);
    const QString window = GroupedInteger(windowSize_.value_or(0));
    if (taken_ == 1)
        return QStringLiteral("%1: record \"%2\" (%3 bp) is shorter than the window (%4 bp): give -w")
            .arg(shown_, ShownName(firstTaken_.name), GroupedInteger(firstTaken_.length), window);
    return QStringLiteral("%1: all %2 records%3 are shorter than the window (%4 bp): give -w")
        .arg(shown_, GroupedInteger(taken_), emptyRecords_ > 0 ? QStringLiteral(" with sequence") : QString(), window);
}

void FileRun::EndNotes(bool noWindows)
{
    if (!noWindows)
        for (const QString& note : heldNotes_)
            Error(note);
    if (shortRecords_ > kMaxShortNotes && !noWindows)
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
// characters escaped), then the numbers: the positions of the lowest and
// highest cumulative G-C/G+C, then the window and step.
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
    // The window and step the file was mapped with: given, or proposed
    // from its size.
    integer(windowSize_.value_or(0));
    integer(step_.value_or(0));
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
    return windows(shown) + windows(chosen_) + overviewBytes_ + uint64_t(summaryLines.capacity()) + islandBytes_;
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

// Each record read again and drawn as the window's Export of its circular
// map does, so that the bytes are the same.
void FileRun::SaveCircular(const std::vector<std::shared_ptr<const FeatureSet>>& added)
{
    const Options& o = m_.options();
    const QString out = OutputName(o.circular, base_, QString());
    const QString what = QStringLiteral("the circular map of %1").arg(shown_);
    OverviewChoice choice;
    choice.minLength = o.minLength;
    choice.maxRows = o.maxRows;
    QString problem;
    std::optional<CircularPicture> picture;
    try {
        // The features the sequence file holds itself, then those added,
        // as the window draws them.
        std::vector<std::shared_ptr<const FeatureSet>> sets;
        if (!circularInfos_.empty())
            if (auto own = OwnFeatures(path_, circularInfos_.front().format))
                sets.push_back(std::move(own));
        sets.insert(sets.end(), added.begin(), added.end());
        picture = LoadCircularMap(path_, QFileInfo(path_).fileName(), circularInfos_, choice, sets);
    } catch (const Failure& e) {
        problem = QString::fromUtf8(e.what());
    }
    const PictureFormat format = o.circularKind == PictureKind::Svg   ? PictureFormat::Svg
                                 : o.circularKind == PictureKind::Pdf ? PictureFormat::Pdf
                                                                      : PictureFormat::Png;
    if (!problem.isEmpty()) {
    } else if (!picture || circularInfos_.empty()) {
        problem = NothingToDraw(QStringLiteral("circular map"));
    } else if (const QString other = m_.Claim(out, what); !other.isEmpty()) {
        problem = QStringLiteral("The circular map could not be saved to %1: %2 gets the same name as %3.")
                      .arg(out, what, other);
    } else {
        MakeFolderFor(out);
        OutputFile file(out, kDurability);
        try {
            if (!file.open(QIODevice::WriteOnly) ||
                !WritePicture(file, CircularExport(*picture, format, o.zoom, o.page),
                              [&](PictureSurface& s) { DrawCircular(s, *picture); }) ||
                !file.commit())
                problem = NotSaved(QStringLiteral("The circular map"), out, file.error());
        } catch (const PictureNotMade& e) {
            problem = e.message(out);
        }
    }
    if (problem.isEmpty())
        return;
    Error(problem);
    outputFailed = true;
}

void FileRun::SaveIslands()
{
    const Options& o = m_.options();
    const QString out = OutputName(o.islands, base_, QString());
    const QString what = QStringLiteral("the islands of %1").arg(shown_);
    const QByteArray bed = o.islandsGenome ? IslandsBed(base_, islandRecords_, o.islandSettings, true) : islandLines_;
    QString problem;
    if (const QString other = m_.Claim(out, what); !other.isEmpty()) {
        problem =
            QStringLiteral("The islands could not be saved to %1: %2 gets the same name as %3.").arg(out, what, other);
    } else {
        MakeFolderFor(out);
        OutputFile file(out, kDurability);
        if (!(file.open(QIODevice::WriteOnly) && file.write(bed) == bed.size() && file.commit()))
            problem = NotSaved(QStringLiteral("The islands"), out, file.error());
    }
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
    choice.markUnknown = o.markUnknown;
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

void FileRun::SaveTracks(const std::vector<std::shared_ptr<const FeatureSet>>& added)
{
    QString problem;
    if (!tracksRecord_) {
        problem = NothingToDraw(QStringLiteral("tracks"));
    } else if (stream_) {
        problem = QStringLiteral("%1 is read as it comes (a pipe or a device): --tracks cannot read record \"%2\" "
                                 "again: no tracks.")
                      .arg(shown_, ShownName(tracksRecord_->name));
    } else {
        const QString out = OutputName(m_.options().tracks, base_, tracksRecord_->name);
        const QString what =
            QStringLiteral("the tracks of record \"%1\" of %2").arg(ShownName(tracksRecord_->name), shown_);
        if (const QString other = m_.Claim(out, what); !other.isEmpty())
            problem = QStringLiteral("The tracks could not be saved to %1: %2 gets the same name as %3.")
                          .arg(out, what, other);
        else
            problem = WriteTracks(out, added);
    }
    if (problem.isEmpty())
        return;
    Error(problem);
    outputFailed = true;
}

// The record read again and shown as the explorer shows it: whole, or the
// stretch of --region, with the file's own features first and the added
// ones after them, as the window gives them to its explorer.
QString FileRun::WriteTracks(const QString& out, const std::vector<std::shared_ptr<const FeatureSet>>& added) const
{
    const Options& o = m_.options();
    const RecordInfo& info = *tracksRecord_;
    ExplorerView view;
    UseExplorerFont(view.settings(), QGuiApplication::font());
    std::vector<std::shared_ptr<const FeatureSet>> sets;
    if (std::shared_ptr<const FeatureSet> own = OwnFeatures(path_, info.format))
        sets.push_back(std::move(own));
    sets.insert(sets.end(), added.begin(), added.end());
    view.setFeatureSets(std::move(sets));
    QString problem;
    try {
        // The run has just read the record; a stretch's run knows only the
        // stretch's bases, so only the name and length are compared.
        problem = view.setRecord(ExplorerData::Load(path_, info, {}, ExplorerData::kDefaultBudget, false), info);
        // The islands at the run's window and step, as the explorer shades them.
        if (problem.isEmpty() && view.data())
            view.settings().islands = RecordIslands(*view.data(), RunParameter(windowText_), RunParameter(stepText_));
        if (problem.isEmpty() && o.region)
            problem = view.setView(o.region->start, std::min(o.region->end, view.length()));
    } catch (const std::exception& e) {
        problem = QString::fromUtf8(e.what());
    }
    if (!problem.isEmpty())
        return QStringLiteral("%1: record \"%2\": %3").arg(shown_, ShownName(info.name), problem);
    const PictureFormat format = o.tracksKind == PictureKind::Svg   ? PictureFormat::Svg
                                 : o.tracksKind == PictureKind::Pdf ? PictureFormat::Pdf
                                                                    : PictureFormat::Png;
    const PictureExport request =
        ExplorerExport(view.picture(), info.name, format, o.zoom, o.tracksWidth, o.tracksHeight);
    MakeFolderFor(out);
    OutputFile file(out, kDurability);
    try {
        if (file.open(QIODevice::WriteOnly) &&
            WritePicture(file, request, [&](PictureSurface& s) { DrawExplorer(s, view.picture()); }) && file.commit())
            return {};
    } catch (const PictureNotMade& e) {
        return e.message(out);
    } catch (const std::exception&) {
    }
    return NotSaved(QStringLiteral("The tracks"), out, file.error());
}

void FileRun::ReportMissing(const FeatureSet& set, const QString& file) const
{
    const QString report = MissingRecordsReport(MissingRecords(set, names_));
    if (report.isEmpty())
        return;
    for (const QString& line : report.split(u'\n'))
        Error(QStringLiteral("%1: warning: %2 (%3)").arg(file, line, shown_));
}

} // namespace quillet::cli
