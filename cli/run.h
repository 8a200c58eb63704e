// One run of quillet-map: each FILE read by the engine, each record it
// computes taken into the pictures, values, summary and overview.
#pragma once

#include "analysis/engine.h"
#include "analysis/features.h"
#include "analysis/islands.h"
#include "analysis/overview.h"
#include "cli/options.h"
#include "cli/outputs.h"
#include "cli/progress.h"
#include "cli/sources.h"
#include "maps/circularmap.h"
#include "maps/drawcheck.h"
#include "maps/gcmap.h"
#include "maps/overviewmap.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace quillet::cli {

class Mapper;

// The records a --record NAME matched one way: how many, and the first few.
struct Matches {
    int count = 0;
    QList<RecordInfo> first;
    void add(const RecordInfo& info);
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
    // After the run: why the file fails when no record taken has a window
    // (empty when one has, or a record was refused, which fails it already).
    QString NoWindows() const;
    // After the run: the records shorter than the window, or without
    // sequence, not yet noted; those shorter than the window are not when
    // the file fails for want of any window (NoWindows says it).
    void EndNotes(bool noWindows);
    // After the run: the overview of the records taken, under a name no
    // other output of the run has.
    void SaveOverview();
    // After the run: the explorer's tracks of the record a picture shows,
    // with the file's own features and `added`, under a name no other
    // output of the run has.
    void SaveTracks(const std::vector<std::shared_ptr<const FeatureSet>>& added);
    // After the run: the features of `set` (read from `file`) on records
    // this file does not hold, a warning line each.
    void ReportMissing(const FeatureSet& set, const QString& file) const;
    // After the run: the circular map of the records taken, with the
    // file's own features and `added`.
    void SaveCircular(const std::vector<std::shared_ptr<const FeatureSet>>& added);
    // After the run: the islands of the records taken, as BED.
    void SaveIslands();

    QString failure;           // set when the run must stop for this file
    bool outputFailed = false; // an output of this file could not be written
    bool ambiguous = false;    // --record NAME matched several records
    bool refused = false;      // a record could not be mapped; the others were
    QByteArray summaryLines;
    std::optional<RecordResult> shown; // the record a single picture shows

private:
    void Take(RecordResult&& r);
    void Choose(RecordResult&& r, const QString& problem = QString());
    void TakeIslands(const RecordResult& r);
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
    // The tracks' problem, or nothing when they were written to `out`.
    QString WriteTracks(const QString& out, const std::vector<std::shared_ptr<const FeatureSet>>& added) const;

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
    // The notes of records shorter than the window wait for a record with
    // a window: without one the file fails, and its message says it once.
    QStringList heldNotes_;
    int64_t taken_ = 0;       // records that went into the outputs
    int64_t withWindows_ = 0; // of them, those with a window
    RecordInfo firstTaken_;
    int64_t pictures_ = 0; // pictures of single records written
    // The records taken, and their curves, for the overview.
    std::vector<RecordInfo> overviewInfos_;
    std::vector<RecordProfile> overviewProfiles_;
    uint64_t overviewBytes_ = 0;
    bool stream_ = false;
    // The record the tracks show (its whole length), and every record's
    // name when features are given.
    std::optional<RecordInfo> tracksRecord_;
    QStringList names_;
    std::vector<RecordInfo> circularInfos_; // the records taken, for the circular map
    // The islands: each record's BED lines as it comes, or (of a genome)
    // the records' windows until the file's statistics are known.
    QByteArray islandLines_;
    std::vector<IslandRecord> islandRecords_;
    uint64_t islandBytes_ = 0;
};

enum class Outcome { Mapped, Failed, Ambiguous };

class Mapper {
public:
    Mapper(const Options& o);

    int Run();

    const Options& options() const { return o_; }
    ProgressLine& progress() { return progress_; }

    // Takes `path` as an output of this run for `what` (see OutputNames).
    QString Claim(const QString& path, const QString& what);

private:
    Outcome MapFile(const QString& path, bool perFileValues, std::unique_ptr<ValuesTable>& combined);

    // Window and step: as given, or what Open proposes for the size on disk.
    void Parameters(Source& source, QString& windowText, QString& stepText) const;

    // The values table this file writes to: its own (with {} in the name)
    // or the one of every file. Nothing when its name is taken.
    ValuesTable* OpenValues(const QString& path, const Source& source, bool perFileValues,
                            std::unique_ptr<ValuesTable>& own, std::unique_ptr<ValuesTable>& combined);

    // Reads the --features files; false, having said why, when one cannot be.
    bool ReadFeatures();

    // After the run: its verdict, the single picture, the outputs kept or
    // taken back, each failure said once.
    Outcome Finish(const RunReport& report, FileRun& run, const Source& source, ValuesTable* values, ValuesTable* own);

    // Closes a values table, with the progress line while a bigWig is built.
    bool Close(ValuesTable& table);

    const Options& o_;
    ProgressLine progress_;
    OutputNames names_;
    std::vector<std::shared_ptr<const FeatureSet>> features_; // of o_.features, in order
};

} // namespace quillet::cli
