#pragma once
// The command line of quillet-map: what it asks for, read from the
// arguments into Options, with every check that needs no file. Kept apart
// from the program so that tests can call it.
#include "analysis/engine.h"
#include "analysis/islands.h"
#include "analysis/region.h"
#include "maps/exportvalues.h"
#include "maps/layoutfactors.h"
#include "maps/overviewmap.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace quillet::cli {

enum class PictureKind { Png, Svg, Pdf, Bmp };

// The picture box's inner size at design size: 10575 x 4695 twips with a
// two-pixel frame on each side.
constexpr int kDefaultWidth = 701;
constexpr int kDefaultHeight = 309;
constexpr int kFrame = 2;
// The explorer's tracks (--tracks) at their default size, in pixels.
constexpr int kDefaultTracksWidth = 1000;
constexpr int kDefaultTracksHeight = 560;
// --size and --page take 1 to kMaxSizeSide pixels a side. A PNG or BMP is
// drawn whole in memory by a painter whose coordinates end at 32767, so
// with the zoom it may have at most kMaxPictureSide pixels a side and
// kMaxPicturePixels in all (1 GB at four bytes a pixel).
constexpr int kMaxSizeSide = 16000;
constexpr int64_t kMaxPictureSide = 32767;
constexpr int64_t kMaxPicturePixels = 256'000'000;
// --islands-sd takes a k above 0 and up to this many standard deviations.
constexpr int kMaxIslandsSd = 100;

struct Options {
    QStringList files;                   // "-" is standard input
    std::optional<QString> window, step; // as typed; the proposal when absent
    Plot plot = Plot::GCContent;
    int shiftPosition = 2;         // scroll bar position for the G+C map, 0..4
    int scalePosition = 0;         // scroll bar position for the G-C/G+C map, 0..1
    std::optional<QString> record; // only this record
    // Only this stretch of the record (--region NAME:START-END also sets
    // `record`; without a name, of a file's only record).
    std::optional<Region> region;
    QByteArray recordBytes;  // its bytes, which --record compares
    bool allRecords = false; // a picture of every record
    QString picture;         // output pattern, empty for none
    PictureKind pictureKind = PictureKind::Png;
    QString values; // output pattern, empty for none
    ValueFormat valuesFormat = ValueFormat::Tsv;
    bool summary = false;
    int width = kDefaultWidth, height = kDefaultHeight; // picture size in pixels at zoom 1
    int zoom = 1;
    // Windows of mostly unknown bases left out of the curves and values.
    bool markUnknown = false;
    // Values from the windows' exact sums rather than the map's.
    bool unrounded = false;
    // Which records are circles whose windows run past the origin.
    TopologyChoice topology = TopologyChoice::Linear;
    // The genome overview of each file: every record a row, longest first.
    QString overview; // output pattern, empty for none
    PictureKind overviewKind = PictureKind::Png;
    // The circular map of each file: every record a circle, longest first,
    // with the overview's --min-length, --max-rows and --page.
    QString circular; // output pattern, empty for none
    PictureKind circularKind = PictureKind::Png;
    // Whether circular maps are all there is to write: each circle has its
    // own window, so the run's window leaves no record without one.
    bool CircularOnly() const
    {
        return !circular.isEmpty() && picture.isEmpty() && values.isEmpty() && overview.isEmpty() && !summary;
    }
    int64_t minLength = 0;                  // records shorter are left out
    int64_t maxRows = kDefaultOverviewRows; // the rest are summed up in a line
    PageSize page = kA4Page;                // pixels at zoom 1
    // The explorer's tracks of the record a picture shows (or of its
    // --region), drawn as the explorer's Export picture draws them.
    QString tracks; // output pattern, empty for none
    PictureKind tracksKind = PictureKind::Png;
    int tracksWidth = kDefaultTracksWidth, tracksHeight = kDefaultTracksHeight; // pixels at zoom 1
    // Annotation files whose features the tracks draw.
    QStringList features;
    // The composition islands of each file as BED (see analysis/islands.h),
    // per record or (`islandsGenome`) with the statistics of every record.
    QString islands; // output pattern, empty for none
    IslandSettings islandSettings;
    bool islandsGenome = false;

    // How the values are written: with gaps where the map marks windows,
    // unrounded on request.
    ValueOptions Values() const { return {.gaps = markUnknown, .unrounded = unrounded}; }

    // The map's shift (G+C) or scale (G-C/G+C) for the scroll positions,
    // and the one the map of --plot is drawn at.
    int16_t Shift() const
    {
        return ScrollSetting(Plot::GCContent, shiftPosition).value_or(StartSetting(Plot::GCContent));
    }
    int16_t Scale() const { return ScrollSetting(Plot::Skew, scalePosition).value_or(StartSetting(Plot::Skew)); }
    int16_t Setting() const { return plot == Plot::GCContent ? Shift() : Scale(); }
    // The picture box's outer size in twips for the picture size: as the
    // window lays it out on a screen that gives it this size, so that the
    // map is drawn from the same twips.
    float OuterWidthTwips() const { return MapBoxForInnerSize(width, height, kFrame).width; }
    float OuterHeightTwips() const { return MapBoxForInnerSize(width, height, kFrame).height; }
};

struct ParsedCommandLine {
    enum class Action { Run, Help, Version, Index, Usage } action = Action::Run;
    Options options;
    QString error; // what was wrong, for Usage
    // Where --record's value is (or --region's, whose name part picks the
    // record): the argument's index and the characters before the value in
    // it (an ASCII "--record=", so as many bytes). The program takes the
    // value's bytes from there as the shell gave them, which a decoded
    // string cannot always give back.
    qsizetype recordArgument = -1, recordOffset = 0;
    bool recordInRegion = false;
};

// Reads the arguments after the program's name. GNU style: long options
// with "=VALUE" or a separate value, short options with the value attached
// or separate, "--" ends the options, "-" alone is standard input.
ParsedCommandLine ParseCommandLine(const QStringList& arguments);

QString HelpText();

// Record names as the command line writes and matches them. The engine
// reads a header one byte to one character (Latin-1), so a name's bytes are
// exactly the header's.

// The header's bytes of a record name, without the carriage return a CRLF
// file leaves at its end.
QByteArray NameBytes(const QString& recordName);
// `bytes` with each control character written as \t, \n, \r or \xHH, so
// that it stays one cell of a tab-separated line; every other byte as it is.
QByteArray EscapeControls(const QByteArray& bytes);
// A record's name in the summary and in messages: EscapeControls(NameBytes).
QByteArray SummaryName(const QString& recordName);

// How --record NAME (the argument's bytes) picks a record: by its whole
// name (its bytes or as the summary shows it), else by its ID (RecordId).
enum class RecordMatch { None, Id, Whole };
// The bytes of the record name in a --region value's bytes (NAME of
// NAME:START-END, or the whole value); empty when it names none.
QByteArray RegionNameBytes(const QByteArray& value);
RecordMatch MatchRecord(const QString& recordName, const QByteArray& wanted);

// The name of an input for output patterns: its file name without folder,
// compression suffix (.gz .bgz .zst .xz .bz2) and last suffix; "stdin" for "-".
QString InputBaseName(const QString& path);
// `pattern` with "{}" replaced by the input's base name and "{record}" by
// the name the window's Export dialogs propose for the record
// (RecordExportName: the ID made safe from the header's bytes, without
// leading dots, cut to 200 bytes; never a path separator, never "." or
// "..", never empty), in one pass over the pattern.
QString OutputName(const QString& pattern, const QString& inputBase, const QString& recordName);

} // namespace quillet::cli
