// quillet-map's outputs: its messages, standard output, the values tables,
// and the names the outputs of a run take.
#pragma once

#include "analysis/engine.h"
#include "analysis/outputfile.h"
#include "cli/options.h"
#include "cli/sources.h"
#include "maps/exportbigwig.h"
#include "maps/exportvalues.h"

#include <QByteArray>
#include <QHash>
#include <QString>

#include <cstdint>
#include <memory>
#include <utility>

namespace quillet::cli {

// A message: a path in it comes out as the bytes it was given as.
void Error(const QString& text);

// Standard output: the first write that fails (a full disk, say) is
// remembered, and said once when the output is closed.
void Out(const QByteArray& bytes);
void Out(const QString& text);

// Flushes and closes standard output. False, with a message that says what
// could not be written, when any of it failed: a buffered write fails only
// here. A run that wrote nothing there may have been started without it.
bool CloseStandardOutput(const QString& what);

// Output folders named by a pattern ("maps/{}.png") are made as needed; a
// folder that cannot be made fails the write that needs it.
void MakeFolderFor(const QString& path);

// Every output file is written as the window writes its exports (see
// OutputFile), except that it is not forced to disk first: in a batch of
// thousands of files that wait would cost more than the maps.
inline constexpr OutputFile::Durability kDurability = OutputFile::Durability::Unsynced;

// A table file. Files may share one table, each with its own window and
// step: a TSV has one header, a bedGraph a new track line whenever the
// window or step changes. A file whose run fails takes back its rows. A
// bigWig collects the records and is written when the table closes; a
// target it may not replace is said before the run all the same.
class ValuesTable {
public:
    ValuesTable(const QString& path, ValueFormat format, Plot plot, const ValueOptions& options = {});
    bool ok() const { return ok_; }
    const QString& path() const { return path_; }
    void startFile(int32_t windowSize, int32_t step);
    // A bigWig's chromosome is the whole record, `recordLength` bases, also
    // when only a stretch of it was computed.
    void write(const RecordInfo& info, const WindowResults& w, int64_t firstPosition, int64_t recordLength);
    // The rows written since startFile stay (keep) or go.
    void endFile(bool keep);
    // Commits when some file gave rows; false when that failed. A bigWig,
    // built only now, tells `progress` how far it is.
    bool close(const BigWigTrack::Progress& progress = {});
    // Says that the table could not be written, once however often asked,
    // with the reason when one is known.
    void report();

private:
    QString path_;
    ValueFormat format_;
    Plot plot_;
    ValueOptions options_;
    OutputFile file_; // unused by a bigWig, which writes its own file when the table closes
    QString refusal_; // why a bigWig's target may not be replaced
    std::unique_ptr<ValueWriter> writer_;
    std::unique_ptr<BigWigTrack> track_;
    std::pair<int32_t, int32_t> parameters_{}, lastHeader_{};
    qint64 mark_ = 0;
    bool ok_ = false, started_ = false, kept_ = false, reported_ = false;
};

// The names the outputs of a run take, each once, and never the name of an
// input file.
class OutputNames {
public:
    explicit OutputNames(const QStringList& files) : inputs_(files) {}
    // Takes `path` as an output of this run for `what`; when another output
    // of the run has that name already, or an input file, what that one is.
    QString Claim(const QString& path, const QString& what);

private:
    QHash<QString, QString> outputs_; // every output of the run: what it holds
    InputFiles inputs_;
};

// An output named before any record is read that is one of the input
// files: writing it would replace the input. (A name made from a record's
// name is looked at when the record comes: see Mapper::Claim.)
QString OutputOverInput(const Options& o);

} // namespace quillet::cli
