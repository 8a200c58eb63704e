#include "cli/options.h"

#include "analysis/numtext.h"
#include "analysis/recordname.h"
#include "analysis/region.h"
#include "analysis/runverdict.h"
#include "maps/filename.h"
#include "maps/filetypes.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <cmath>
#include <set>

namespace quillet::cli {

namespace {

enum class Id {
    Window,
    Step,
    Plot,
    Shift,
    Scale,
    Record,
    Region,
    AllRecords,
    Picture,
    Values,
    Summary,
    Size,
    Zoom,
    Mark,
    Unrounded,
    Topology,
    Overview,
    Circular,
    MinLength,
    MaxRows,
    Page,
    Index,
    Tracks,
    Features,
    Islands,
    IslandsSd,
    IslandsMin,
    IslandsGenome,
    Help,
    Version
};

struct OptionDef {
    Id id;
    char shortName; // 0 when none
    const char* longName;
    bool takesValue;         // takes one value; given twice, one would be lost
    bool repeatable = false; // may be given several times, each value kept
};

constexpr OptionDef kOptions[] = {
    {Id::Window, 'w', "window", true},
    {Id::Step, 's', "step", true},
    {Id::Plot, 0, "plot", true},
    {Id::Shift, 0, "shift", true},
    {Id::Scale, 0, "scale", true},
    {Id::Record, 0, "record", true},
    {Id::Region, 0, "region", true},
    {Id::AllRecords, 0, "all-records", false},
    {Id::Picture, 'o', "picture", true},
    {Id::Values, 0, "values", true},
    {Id::Summary, 0, "summary", false},
    {Id::Size, 0, "size", true},
    {Id::Zoom, 0, "zoom", true},
    {Id::Mark, 0, "mark-unknown", false},
    {Id::Unrounded, 0, "unrounded", false},
    {Id::Topology, 0, "topology", true},
    {Id::Overview, 0, "overview", true},
    {Id::Circular, 0, "circular", true},
    {Id::MinLength, 0, "min-length", true},
    {Id::MaxRows, 0, "max-rows", true},
    {Id::Page, 0, "page", true},
    {Id::Index, 0, "index", false},
    {Id::Tracks, 0, "tracks", true},
    {Id::Features, 0, "features", true, true},
    {Id::Islands, 0, "islands", true},
    {Id::IslandsSd, 0, "islands-sd", true},
    {Id::IslandsMin, 0, "islands-min", true},
    {Id::IslandsGenome, 0, "islands-genome", false},
    {Id::Help, 'h', "help", false},
    {Id::Version, 'V', "version", false},
};

const OptionDef* FindLong(QStringView name)
{
    for (const auto& o : kOptions)
        if (name == QLatin1String(o.longName))
            return &o;
    return nullptr;
}

const OptionDef* FindShort(QChar c)
{
    for (const auto& o : kOptions)
        if (o.shortName != 0 && c == QLatin1Char(o.shortName))
            return &o;
    return nullptr;
}

// The option's names for messages: "-w/--window", "--plot".
QString Names(const OptionDef& def)
{
    const QString name = QStringLiteral("--") + QLatin1String(def.longName);
    return def.shortName != 0 ? QStringLiteral("-%1/%2").arg(QLatin1Char(def.shortName)).arg(name) : name;
}

std::optional<int> SmallInteger(const QString& text, int low, int high)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < low || v > high)
        return std::nullopt;
    return v;
}

// The picture a name's suffix names: an exported picture's format, or a
// bitmap as the window's Save writes it (.bmp).
std::optional<PictureKind> PictureKindOfName(const QString& path)
{
    if (QFileInfo(path).suffix().toLower() == u"bmp")
        return PictureKind::Bmp;
    const std::optional<PictureFormat> format = PictureFormatOfName(path);
    if (!format)
        return std::nullopt;
    return *format == PictureFormat::Svg   ? PictureKind::Svg
           : *format == PictureFormat::Pdf ? PictureKind::Pdf
                                           : PictureKind::Png;
}

// WIDTHxHEIGHT in pixels, 1 to kMaxSizeSide each.
std::optional<PageSize> ReadSize(const QString& text)
{
    static const QRegularExpression size(QStringLiteral("^(\\d{1,5})[xX](\\d{1,5})$"));
    const auto m = size.match(text);
    const int w = m.hasMatch() ? m.captured(1).toInt() : 0, h = m.hasMatch() ? m.captured(2).toInt() : 0;
    if (w < 1 || h < 1 || w > kMaxSizeSide || h > kMaxSizeSide)
        return std::nullopt;
    return PageSize{w, h};
}

// A length in bases as a region's end is written ("1,000", "10k", "1.5M"),
// or 0.
std::optional<int64_t> ReadLength(const QString& text)
{
    if (text.trimmed() == u"0")
        return 0;
    const std::optional<Region> r = ParseRegion(QStringLiteral("1-") + text);
    if (!r || !r->name.isEmpty() || r->start != 1)
        return std::nullopt;
    return r->end;
}

// Reads the arguments one at a time into a ParsedCommandLine, then checks
// what they ask for together. Every check returns what was wrong, or
// nothing.
class Parser {
public:
    ParsedCommandLine Parse(const QStringList& arguments);

private:
    QString ReadOption(const QStringList& arguments, qsizetype& i);
    QString Apply(Id id, const QString& value);
    QString SetMap(Id id, const QString& value);
    QString SetRegion(const QString& value);
    QString SetPicture(const QString& value);
    QString SetValues(const QString& value);
    QString SetSize(const QString& value);
    QString SetOverview(Id id, const QString& value);
    QString SetTracks(const QString& value);
    QString CheckTracks() const;
    QString SetIslands(Id id, const QString& value);
    QString CheckTogether();
    QString CheckIndex();
    QString CheckOverview() const;
    QString CheckIslands() const;
    QString CheckPictureSize(const char* option, int width, int height) const;
    bool Given(Id id) const { return given_.count(id) != 0; }

    ParsedCommandLine r_;
    Options& o_ = r_.options;
    std::set<Id> given_;
};

ParsedCommandLine Parser::Parse(const QStringList& arguments)
{
    QString error;
    for (qsizetype i = 0; i < arguments.size() && error.isEmpty(); ++i) {
        const QString& arg = arguments[i];
        if (arg == u"--") {
            o_.files += arguments.mid(i + 1);
            break;
        }
        if (arg == u"-" || !arg.startsWith(u'-'))
            o_.files << arg;
        else
            error = ReadOption(arguments, i);
    }
    // Help and version win over every check of the options together.
    if (error.isEmpty() && Given(Id::Help))
        r_.action = ParsedCommandLine::Action::Help;
    else if (error.isEmpty() && Given(Id::Version))
        r_.action = ParsedCommandLine::Action::Version;
    else if (error.isEmpty() && Given(Id::Index))
        error = CheckIndex();
    else if (error.isEmpty())
        error = CheckTogether();
    if (!error.isEmpty()) {
        r_.action = ParsedCommandLine::Action::Usage;
        r_.error = error;
    }
    return r_;
}

// The option in arguments[i], with its value attached ("--plot=gc",
// "-w200") or in the next argument (then i moves on to it).
QString Parser::ReadOption(const QStringList& arguments, qsizetype& i)
{
    const QString& arg = arguments[i];
    const OptionDef* def = nullptr;
    std::optional<QString> value;
    QString shown; // the option as the user wrote it
    if (arg.startsWith(u"--")) {
        const qsizetype eq = arg.indexOf(u'=');
        const QString name = arg.mid(2, eq < 0 ? -1 : eq - 2);
        shown = QStringLiteral("--") + name;
        def = FindLong(name);
        if (def && eq >= 0)
            value = arg.mid(eq + 1);
    } else {
        shown = arg.left(2);
        def = FindShort(arg[1]);
        if (def && arg.size() > 2)
            value = arg.mid(2);
    }
    if (!def)
        return QStringLiteral("unknown option %1").arg(shown);
    if (value && !def->takesValue)
        return QStringLiteral("option %1 takes no value").arg(shown);
    if (def->takesValue && !value) {
        if (i + 1 >= arguments.size())
            return QStringLiteral("option %1 needs a value").arg(shown);
        value = arguments[++i];
    }
    if (!given_.insert(def->id).second && def->takesValue && !def->repeatable)
        return QStringLiteral("%1 is given twice; it takes one value").arg(Names(*def));
    if (def->id == Id::Record || def->id == Id::Region) {
        r_.recordArgument = i;
        r_.recordInRegion = def->id == Id::Region;
        r_.recordOffset = arguments[i].size() - value->size();
    }
    return Apply(def->id, value.value_or(QString()));
}

QString Parser::Apply(Id id, const QString& value)
{
    switch (id) {
    case Id::Window: {
        if (!ReadNumber(value))
            return QStringLiteral("window size \"%1\" is no number").arg(value);
        // A window under 1 bp has no window to map; one that does not
        // convert to 32 bits fails the run as in the window.
        const std::optional<int32_t> size = RunParameter(value);
        if (size && *size < 1)
            return QStringLiteral("window size \"%1\": a window is 1 bp or more").arg(value);
        o_.window = value;
        return {};
    }
    case Id::Step: {
        // The window's own check before a run.
        const auto n = ReadNumber(value);
        if (value.isEmpty() || !n || !(*n > 0))
            return QStringLiteral("step \"%1\": 1 to 1000000 is valid").arg(value);
        o_.step = value;
        return {};
    }
    case Id::Plot:
    case Id::Shift:
    case Id::Scale: return SetMap(id, value);
    case Id::Record:
        if (value.isEmpty())
            return QStringLiteral("--record needs a record's name or ID");
        o_.record = value;
        o_.recordBytes = value.toLocal8Bit();
        return {};
    case Id::Region: return SetRegion(value);
    case Id::Picture: return SetPicture(value);
    case Id::Values: return SetValues(value);
    case Id::Size: return SetSize(value);
    case Id::Zoom:
        if (value != u"1" && value != u"2" && value != u"4")
            return QStringLiteral("--zoom is 1, 2 or 4, not \"%1\"").arg(value);
        o_.zoom = value.toInt();
        return {};
    case Id::Overview:
    case Id::Circular:
    case Id::MinLength:
    case Id::MaxRows:
    case Id::Page: return SetOverview(id, value);
    case Id::Tracks: return SetTracks(value);
    case Id::Features:
        if (value.isEmpty())
            return QStringLiteral("--features needs an annotation file");
        o_.features << value;
        return {};
    case Id::Islands:
    case Id::IslandsSd:
    case Id::IslandsMin: return SetIslands(id, value);
    case Id::IslandsGenome: o_.islandsGenome = true; return {};
    case Id::AllRecords: o_.allRecords = true; return {};
    case Id::Summary: o_.summary = true; return {};
    case Id::Mark: o_.markUnknown = true; return {};
    case Id::Unrounded: o_.unrounded = true; return {};
    case Id::Topology:
        if (value == u"linear")
            o_.topology = TopologyChoice::Linear;
        else if (value == u"circular")
            o_.topology = TopologyChoice::Circular;
        else if (value == u"auto")
            o_.topology = TopologyChoice::Auto;
        else
            return QStringLiteral("--topology is linear, circular or auto, not \"%1\"").arg(value);
        return {};
    case Id::Index:
    case Id::Help:
    case Id::Version: return {};
    }
    return {};
}

// The map and its scroll bar position.
QString Parser::SetMap(Id id, const QString& value)
{
    if (id == Id::Plot) {
        const std::optional<Plot> plot = PlotOfWord(value);
        if (!plot)
            return QStringLiteral("--plot is gc or skew, or cumulative, not \"%1\"").arg(value);
        o_.plot = *plot;
    } else if (id == Id::Shift) {
        const int last = TraitsOf(Plot::GCContent).scrollPositions - 1;
        const auto v = SmallInteger(value, 0, last);
        if (!v)
            return QStringLiteral("--shift is a position from 0 to %1, not \"%2\"").arg(QString::number(last), value);
        o_.shiftPosition = *v;
    } else {
        const int last = TraitsOf(Plot::Skew).scrollPositions - 1;
        const auto v = SmallInteger(value, 0, last);
        if (!v)
            return QStringLiteral("--scale is a position 0 or %1, not \"%2\"").arg(QString::number(last), value);
        o_.scalePosition = *v;
    }
    return {};
}

QString Parser::SetPicture(const QString& value)
{
    const std::optional<PictureKind> kind = PictureKindOfName(value);
    if (!kind)
        return QStringLiteral("picture %1: the name must end in .png, .svg, .pdf or .bmp").arg(value);
    o_.pictureKind = *kind;
    o_.picture = value;
    return {};
}

QString Parser::SetValues(const QString& value)
{
    const std::optional<ValueFormat> format = ValueFormatOfName(value);
    if (!format)
        return QStringLiteral("values %1: the name must end in .tsv or .bedgraph, or .bw for a bigWig").arg(value);
    o_.valuesFormat = *format;
    o_.values = value;
    return {};
}

QString Parser::SetSize(const QString& value)
{
    const std::optional<PageSize> size = ReadSize(value);
    if (!size)
        return QStringLiteral("--size is WIDTHxHEIGHT in pixels (1 to %1 each), not \"%2\"")
            .arg(kMaxSizeSide)
            .arg(value);
    o_.width = size->width;
    o_.height = size->height;
    o_.tracksWidth = size->width;
    o_.tracksHeight = size->height;
    return {};
}

QString Parser::SetTracks(const QString& value)
{
    const std::optional<PictureKind> kind = PictureKindOfName(value);
    if (!kind || *kind == PictureKind::Bmp)
        return QStringLiteral("tracks %1: the name must end in .png, .svg or .pdf").arg(value);
    o_.tracksKind = *kind;
    o_.tracks = value;
    return {};
}

// The tracks are of one record of each file, read again from its file.
QString Parser::CheckTracks() const
{
    if (o_.tracks.isEmpty())
        return {};
    if (o_.allRecords)
        return QStringLiteral("--tracks draws one record of a file (the one -o shows, or --record's); leave out "
                              "--all-records");
    if (o_.files.contains(QStringLiteral("-")))
        return QStringLiteral("--tracks reads its record again from the file; standard input (-) cannot be read "
                              "twice");
    if (o_.files.size() > 1 && !o_.tracks.contains(QStringLiteral("{}")))
        return QStringLiteral("tracks for each of several files need {} in their name (the file's base name)");
    if (o_.tracksKind == PictureKind::Png)
        return CheckPictureSize("--size", o_.tracksWidth, o_.tracksHeight);
    return {};
}

// The overview's name, the records it leaves out and its page.
QString Parser::SetOverview(Id id, const QString& value)
{
    if (id == Id::Overview) {
        const std::optional<PictureKind> kind = PictureKindOfName(value);
        if (!kind || *kind == PictureKind::Bmp)
            return QStringLiteral("overview %1: the name must end in .png, .svg or .pdf").arg(value);
        o_.overviewKind = *kind;
        o_.overview = value;
    } else if (id == Id::Circular) {
        const std::optional<PictureKind> kind = PictureKindOfName(value);
        if (!kind || *kind == PictureKind::Bmp)
            return QStringLiteral("circular map %1: the name must end in .png, .svg or .pdf").arg(value);
        o_.circularKind = *kind;
        o_.circular = value;
    } else if (id == Id::MinLength) {
        const std::optional<int64_t> n = ReadLength(value);
        if (!n)
            return QStringLiteral("--min-length is a length in bases (0 or more; 1,000 and 10k work), not \"%1\"")
                .arg(value);
        o_.minLength = *n;
    } else if (id == Id::MaxRows) {
        bool ok = false;
        const qlonglong n = value.toLongLong(&ok);
        if (!ok || n < 1 || n > kMaxOverviewRows)
            return QStringLiteral("--max-rows is a number of rows from 1 to %1, not \"%2\"")
                .arg(GroupedInteger(kMaxOverviewRows), value);
        o_.maxRows = n;
    } else {
        const QString page = value.toLower();
        const std::optional<PageSize> size = page == u"a4"       ? kA4Page
                                             : page == u"letter" ? kLetterPage
                                                                 : ReadSize(value);
        if (!size)
            return QStringLiteral("--page is a4, letter or WIDTHxHEIGHT in pixels (1 to %1 each), not \"%2\"")
                .arg(kMaxSizeSide)
                .arg(value);
        o_.page = *size;
    }
    return {};
}

// The islands' file, how far from the mean and how long they are.
QString Parser::SetIslands(Id id, const QString& value)
{
    if (id == Id::Islands) {
        if (QFileInfo(value).suffix().toLower() != u"bed")
            return QStringLiteral("islands %1: the name must end in .bed").arg(value);
        o_.islands = value;
    } else if (id == Id::IslandsSd) {
        const std::optional<double> k = ReadNumber(value);
        if (!k || !std::isfinite(*k) || !(*k > 0) || *k > kMaxIslandsSd)
            return QStringLiteral("--islands-sd is a number of standard deviations above 0 (up to %1), not \"%2\"")
                .arg(kMaxIslandsSd)
                .arg(value);
        o_.islandSettings.sd = *k;
    } else {
        const std::optional<int64_t> n = ReadLength(value);
        if (!n)
            return QStringLiteral("--islands-min is a length in bases (0 or more; 1,000 and 1k work), not \"%1\"")
                .arg(value);
        o_.islandSettings.minLength = *n;
    }
    return {};
}

// --region NAME:START-END picks the record as --record NAME does.
QString Parser::SetRegion(const QString& value)
{
    QString why;
    const std::optional<Region> region = ParseRegion(value, &why);
    if (!region)
        return QStringLiteral("--region \"%1\": %2").arg(value, why);
    if (!region->name.isEmpty()) {
        o_.record = region->name;
        o_.recordBytes = region->name.toLocal8Bit();
    }
    if (!region->wholeRecord())
        o_.region = region;
    return {};
}

QString Parser::CheckTogether()
{
    const bool picture = !o_.picture.isEmpty();
    if (o_.files.isEmpty())
        return QStringLiteral("no FASTA file given");
    if (o_.files.count(QStringLiteral("-")) > 1)
        return QStringLiteral("standard input (-) can be read only once");
    if (Given(Id::Shift) && o_.plot != Plot::GCContent)
        return QStringLiteral("--shift moves the G+C map; use --scale with --plot skew");
    if (Given(Id::Scale) && o_.plot != Plot::Skew)
        return QStringLiteral("--scale sets the G-C/G+C map; use it with --plot skew");
    if (Given(Id::Region) && (Given(Id::Record) || o_.allRecords))
        return QStringLiteral("--region names its record itself; leave out --record and --all-records");
    if (o_.record && o_.allRecords)
        return QStringLiteral("--record and --all-records exclude each other");
    // --all-records without a picture asks nothing more: values and the
    // summary cover every record anyway.
    const bool overview = !o_.overview.isEmpty(), tracks = !o_.tracks.isEmpty(), circular = !o_.circular.isEmpty();
    if ((Given(Id::Size) && !picture && !tracks) || (Given(Id::Zoom) && !picture && !overview && !tracks && !circular))
        return QStringLiteral("--size and --zoom need a picture (-o) or the tracks (--tracks); an overview takes "
                              "--zoom and --page");
    const bool raster = (picture && (o_.pictureKind == PictureKind::Png || o_.pictureKind == PictureKind::Bmp)) ||
                        (overview && o_.overviewKind == PictureKind::Png) ||
                        (tracks && o_.tracksKind == PictureKind::Png) ||
                        (circular && o_.circularKind == PictureKind::Png);
    if (o_.zoom != 1 && !raster)
        return QStringLiteral("--zoom applies to .png and .bmp pictures; SVG and PDF are drawn as vectors");
    if (const QString e = CheckPictureSize("--size", o_.width, o_.height); picture && !e.isEmpty())
        return e;
    if (o_.unrounded && o_.values.isEmpty())
        return QStringLiteral("--unrounded applies to the values (--values); pictures show the map's values");
    if (const QString e = CheckOverview(); !e.isEmpty())
        return e;
    if (const QString e = CheckTracks(); !e.isEmpty())
        return e;
    if (const QString e = CheckIslands(); !e.isEmpty())
        return e;
    if (o_.files.size() > 1 && picture && !o_.picture.contains(QStringLiteral("{}")))
        return QStringLiteral("a picture for each of several files needs {} in its name (the file's base name)");
    if (o_.allRecords && picture && !o_.picture.contains(QStringLiteral("{record}")))
        return QStringLiteral("a picture of every record needs {record} in its name");
    if (!picture && o_.values.isEmpty() && !overview && !tracks && !circular && o_.islands.isEmpty())
        o_.summary = true;
    return {};
}

// Indexing writes the indexes and nothing else.
QString Parser::CheckIndex()
{
    if (given_.size() > 1)
        return QStringLiteral("--index writes the files' indexes only; map them in a run of their own");
    if (o_.files.isEmpty())
        return QStringLiteral("no FASTA file given");
    if (o_.files.contains(QStringLiteral("-")))
        return QStringLiteral("standard input (-) cannot be indexed: an index is kept beside its file");
    r_.action = ParsedCommandLine::Action::Index;
    return {};
}

// The overview is one picture of each file's records.
QString Parser::CheckOverview() const
{
    if (!o_.circular.isEmpty()) {
        if (o_.circular.contains(QStringLiteral("{record}")))
            return QStringLiteral("a circular map shows every record of its file; {record} has no place in its name");
        if (o_.files.size() > 1 && !o_.circular.contains(QStringLiteral("{}")))
            return QStringLiteral(
                "a circular map for each of several files needs {} in its name (the file's base name)");
        if (o_.region)
            return QStringLiteral("a circular map shows whole records; --region's stretch has no place in it");
        if (o_.files.contains(QStringLiteral("-")))
            return QStringLiteral("a circular map reads its file again; standard input (-) cannot be");
        if (o_.circularKind == PictureKind::Png)
            if (const QString e = CheckPictureSize("--page", o_.page.width, o_.page.height); !e.isEmpty())
                return e;
    }
    if (o_.overview.isEmpty()) {
        if (o_.circular.isEmpty() && (Given(Id::MinLength) || Given(Id::MaxRows) || Given(Id::Page)))
            return QStringLiteral(
                "--min-length, --max-rows and --page need an overview (--overview) or a circular map (--circular)");
        return {};
    }
    if (o_.overview.contains(QStringLiteral("{record}")))
        return QStringLiteral("an overview shows every record of its file; {record} has no place in its name");
    if (o_.files.size() > 1 && !o_.overview.contains(QStringLiteral("{}")))
        return QStringLiteral("an overview for each of several files needs {} in its name (the file's base name)");
    if (o_.overviewKind == PictureKind::Png)
        return CheckPictureSize("--page", o_.page.width, o_.page.height);
    return {};
}

// The islands are one BED file of each file's records.
QString Parser::CheckIslands() const
{
    if (o_.islands.isEmpty()) {
        if (Given(Id::IslandsSd) || Given(Id::IslandsMin) || Given(Id::IslandsGenome))
            return QStringLiteral("--islands-sd, --islands-min and --islands-genome need islands (--islands)");
        return {};
    }
    if (o_.islands.contains(QStringLiteral("{record}")))
        return QStringLiteral(
            "the islands of a file's records go into one BED file; {record} has no place in its name");
    if (o_.files.size() > 1 && !o_.islands.contains(QStringLiteral("{}")))
        return QStringLiteral("islands for each of several files need {} in their name (the file's base name)");
    return {};
}

// A raster picture is drawn whole in memory, by a painter whose
// coordinates end at 32767.
QString Parser::CheckPictureSize(const char* option, int width, int height) const
{
    const int64_t w = int64_t(width) * o_.zoom, h = int64_t(height) * o_.zoom;
    if (w <= kMaxPictureSide && h <= kMaxPictureSide && w * h <= kMaxPicturePixels)
        return {};
    return QStringLiteral("%1 %2x%3 at --zoom %4 is a picture of %5x%6 pixels; a picture has at most %7 "
                          "pixels a side and %8 million in all")
        .arg(QLatin1String(option))
        .arg(width)
        .arg(height)
        .arg(o_.zoom)
        .arg(w)
        .arg(h)
        .arg(kMaxPictureSide)
        .arg(kMaxPicturePixels / 1000000);
}

} // namespace

ParsedCommandLine ParseCommandLine(const QStringList& arguments)
{
    return Parser().Parse(arguments);
}

QString InputBaseName(const QString& path)
{
    if (path == u"-")
        return QStringLiteral("stdin");
    QString name = QFileInfo(path).fileName();
    for (const char* compressed : {".gz", ".bgz", ".zst", ".xz", ".bz2"}) {
        if (name.endsWith(QLatin1String(compressed), Qt::CaseInsensitive)) {
            name.chop(qsizetype(qstrlen(compressed)));
            break;
        }
    }
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot > 0)
        name.truncate(dot);
    return name;
}

QString OutputName(const QString& pattern, const QString& inputBase, const QString& recordName)
{
    // One pass, so that what a placeholder brings in ("{}" in a record's
    // name) is never read as a placeholder itself.
    static const QString kRecord = QStringLiteral("{record}"), kInput = QStringLiteral("{}");
    QString out;
    for (qsizetype i = 0; i < pattern.size();) {
        const QStringView rest = QStringView(pattern).sliced(i);
        if (rest.startsWith(kRecord)) {
            out += RecordExportName(recordName);
            i += kRecord.size();
        } else if (rest.startsWith(kInput)) {
            out += inputBase;
            i += kInput.size();
        } else {
            out += pattern[i++];
        }
    }
    return out;
}

QByteArray NameBytes(const QString& recordName)
{
    QByteArray bytes = recordName.toLatin1();
    if (bytes.endsWith('\r'))
        bytes.chop(1);
    return bytes;
}

QByteArray EscapeControls(const QByteArray& bytes)
{
    QByteArray out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\t')
            out += "\\t";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (u < 0x20 || u == 0x7f)
            out += "\\x" + QByteArray::number(u, 16).rightJustified(2, '0');
        else
            out += c;
    }
    return out;
}

QByteArray SummaryName(const QString& recordName)
{
    return EscapeControls(NameBytes(recordName));
}

QByteArray RegionNameBytes(const QByteArray& value)
{
    // Read one byte to one character, the name's characters are its bytes;
    // the range after it is ASCII either way.
    const std::optional<Region> region = ParseRegionBytes(value);
    return region ? region->name.toLatin1() : QByteArray();
}

RecordMatch MatchRecord(const QString& recordName, const QByteArray& wanted)
{
    const QByteArray whole = NameBytes(recordName);
    if (wanted == whole || wanted == EscapeControls(whole))
        return RecordMatch::Whole;
    const QByteArray id = RecordId(recordName).toLatin1();
    if (wanted == id || wanted == EscapeControls(id))
        return RecordMatch::Id;
    return RecordMatch::None;
}

QString HelpText()
{
    return QStringLiteral(R"(Usage: quillet-map [OPTIONS] FILE...
Maps the G+C content of the DNA sequences in FASTA files, window by window,
as the Quillet window does, without a screen. FILE may be plain or
compressed (gzip, zstd, xz, bzip2); "-" reads standard input.

Computation:
  -w, --window SIZE     window size in bases, 1 or more (default: what
                        Open proposes for the file's size on disk)
  -s, --step STEP       step in bases (default: what Open proposes)
      --plot gc|skew|cumulative
                        the map: G+C content (gc, default), G-C/G+C (skew)
                        or the running sum of G-C/G+C (cumulative) with
                        lines at its minimum (origin) and maximum
                        (terminus); bedGraph and bigWig values are the
                        plot's
      --shift POS       G+C map: scroll bar position 0..4 (default 2; the
                        band moves by 10 % a position)
      --scale POS       G-C/G+C map: scroll bar position 0 (axis from -1.0
                        to 1.0, default) or 1 (-0.5 to 0.5)
      --mark-unknown    shade windows of mostly unknown bases (more than
                        half of their bases) and break the curve there, as
                        the map's context menu does; in the values they
                        are gaps: no bedGraph or bigWig interval, NA in the
                        TSV's value columns

Records:
      --record NAME     only the record NAME: its whole name (the header up
                        to the first tab, as the summary shows it) or its
                        ID (up to the first blank, as bedGraph writes it);
                        a whole name wins over an ID. When two records
                        match, the file fails with exit status 2 and both
                        are listed.
      --region NAME:START-END
                        only bases START to END (1-based, inclusive;
                        "1,000,000", "1.5M" and "20k" work) of the record
                        NAME, matched as --record matches it, computed as
                        if they were the whole sequence: windows start at
                        START, START + step, ...; values and the picture's
                        axis give record positions. START-END alone needs
                        a file of one record; NAME alone is --record NAME.
      --topology linear|circular|auto
                        whether a record is a circle whose windows run on
                        past its last base to its first: none (linear,
                        default), all (circular), or those the file says
                        are circular (auto: GenBank or EMBL topology, a
                        FASTA header's [topology=circular] or
                        [top=circular], a GFF3 line's Is_circular=true
                        before its ##FASTA); windows then start at 1, 1 +
                        step, ... up to the record's length. A --region
                        stretch stays linear.
      --all-records     a picture of every record (needs {record} in -o)
                        Without these, a picture shows the last record (the
                        one the window shows after a run). Values and the
                        summary cover every record unless --record names
                        one; beside them alone --all-records changes nothing.

Output:
  -o, --picture OUT     the map as a picture; the type follows the name:
                        .png, .svg, .pdf, or .bmp (the bytes Save writes)
      --size WxH        picture size in pixels (default 701x309, the
                        window's map at design size; 1 to 16000 each)
      --zoom N          PNG and BMP, an overview's or circular map's too:
                        1, 2 or 4
                        pixels per pixel
                        A picture has at most 32767 pixels a side and 256
                        million pixels in all, zoom included.
      --values OUT      every window's values: .tsv (table), .bedgraph or
                        .bw (bigWig, records with no window left out)
      --unrounded       values from the windows' exact sums, not rounded
                        as the map rounds them: G+C % and G-C/G+C to 6
                        significant digits, the cumulative G-C/G+C their
                        running sum
      --summary         one line per record on standard output: file,
                        record, length, average G+C, unknown %, windows,
                        origin and terminus (where the cumulative G-C/G+C
                        is lowest and highest, in bp), window and step
                        (the default when no -o, --values or --overview is
                        given)
                        A control character in a record's name is written
                        as \t, \r or \xHH there; other bytes as they are.
                        A NUL is written \x00 in every output.
      --overview OUT    every record of the file in one picture, a row
                        each, longest first, on one position scale and one
                        value scale, labelled with ID and length; the plot
                        follows --plot; .png (--zoom applies), .svg or .pdf
      --circular OUT    every record of the file as its own circle, the
                        longest large, with rings of features, G+C, G-C/G+C
                        and its running sum, each record's window and step
                        fitted to it; records the file says are circular
                        (all with --topology circular) wrap their origin;
                        .png (--zoom applies), .svg or .pdf
      --min-length N    overview, circular map: leave out records under N
                        bases (default 0; "1,000" and "10k" work); a line
                        counts them
      --max-rows N      overview, circular map: at most N rows or circles
                        (1 to 1000, default 50); a line sums up the shorter
                        records past them
      --page a4|letter|WxH
                        overview, circular map: the page, portrait, in
                        pixels at 96 dpi
                        (a4: 794x1123, default; letter: 816x1056; or WxH,
                        1 to 16000 each)
      --islands OUT     composition islands as BED: stretches whose windows'
                        G+C lies at least --islands-sd standard deviations
                        (population SD of the windows' exact G+C) from the
                        mean of their record, windows of mostly unknown
                        bases left out; touching or overlapping windows
                        merged, kept from --islands-min bases; name high or
                        low, score the largest |z| x 100 (at most 1000); a
                        track line per record gives window, step, mean, SD,
                        k and minimum length
      --islands-sd K    islands: standard deviations from the mean (default
                        2.5)
      --islands-min N   islands: the shortest island in bases (default
                        1,000; "1k" works)
      --islands-genome  islands: one mean and SD over every record of the
                        file (one track line) rather than one per record

      --tracks OUT      the explorer's picture of the record a picture
                        shows (the last, or --record's), whole or the
                        --region stretch: G+C, G-C/G+C and its running sum
                        at the explorer's own window and step, the origin
                        and terminus, and the features track when there
                        are features; the bytes of the explorer's Export
                        picture at that size; .png (--zoom applies), .svg
                        or .pdf; --size sets it too (default 1000x560)
      --features FILE   an annotation file (GFF3, GTF, BED, GenBank, EMBL;
                        may be given several times) whose features the
                        tracks draw beside those of a GenBank, EMBL or
                        GFF3 sequence file; features on records the FILE
                        does not hold are counted on standard error

Indexes:
      --index           write FILE.fai (and for a bgzip file FILE.gzi) as
                        samtools faidx writes them, and nothing else; only
                        plain and bgzip files whose records have lines of
                        one length (the last shorter) can be indexed

  -h, --help            this text
  -V, --version         the program's version

In OUT, {} stands for the input's name without folder and suffixes
(lambda.fa.gz gives lambda) and {record} for the record's ID without the
characters a file name cannot hold (/ \ | : * ? " < > and control
characters), without leading dots and cut to 200 bytes ("sequence" when
nothing is left).
With several FILEs, -o, --overview, --circular and --islands need {}; --values without {} writes
one table for all files, with {} one table per file. Two outputs of one run
that would get the same name are an error: the second is not written.

Options that take a value may be given once. Records, names and values are
written with the bytes of the FASTA headers.

A record shorter than the window has no window, and a record of 0 bp (a
header line alone) nothing to map: a note on standard error says so, and
the file still counts as mapped, unless no record of the file has a
window: then the file fails. A picture or an overview with no window at
all to draw is not written and fails the file. A record of
2,147,483,647 bp or more (or past what 32-bit positions reach with the
window and step) cannot be mapped: it is named on standard error, the other
records are mapped, and the exit status is 1. A FILE may be a named pipe.

A file that cannot be mapped (missing, damaged, not FASTA, or a record whose
map cannot be drawn, which stops the run as in the window) adds nothing to
the outputs; its message goes to standard error and the other files are
still done. Pictures of every record already written for it stay.

Exit status: 0 when every file was mapped, 1 when a file failed, a record
could not be mapped or an output (standard output included) could not be
written, 2 for a wrong
command line or a --record that matches two records.

Examples:
  quillet-map genome.fa.gz
  quillet-map -w 30000 -s 10000 -o genome.png --values genome.tsv genome.fa
  quillet-map --plot skew -o 'maps/{}.svg' --values all.tsv *.fa
  quillet-map --overview 'overview/{}.pdf' --min-length 10k genomes/*.fa.gz
  zcat big.fa.gz | quillet-map -w 100000 -s 100000 -
)");
}

} // namespace quillet::cli
