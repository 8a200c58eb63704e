#include "cli/options.h"

#include "analysis/numtext.h"
#include "interaction/filename.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace quillet::cli {

namespace {

enum class Id { Window, Step, Plot, Shift, Scale, Record, AllRecords, Picture, Values, Summary, Size, Zoom, Mark, Help, Version };

struct OptionDef {
    Id id;
    char shortName; // 0 when none
    const char* longName;
    bool takesValue;
};

constexpr OptionDef kOptions[] = {
    {Id::Window, 'w', "window", true},       {Id::Step, 's', "step", true},
    {Id::Plot, 0, "plot", true},             {Id::Shift, 0, "shift", true},
    {Id::Scale, 0, "scale", true},           {Id::Record, 0, "record", true},
    {Id::AllRecords, 0, "all-records", false}, {Id::Picture, 'o', "picture", true},
    {Id::Values, 0, "values", true},         {Id::Summary, 0, "summary", false},
    {Id::Size, 0, "size", true},             {Id::Zoom, 0, "zoom", true},
    {Id::Mark, 0, "mark-unknown", false},    {Id::Help, 'h', "help", false},
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

std::optional<int> SmallInteger(const QString& text, int low, int high)
{
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < low || v > high)
        return std::nullopt;
    return v;
}

QString Suffix(const QString& path)
{
    return QFileInfo(path).suffix().toLower();
}

} // namespace

ParsedCommandLine ParseCommandLine(const QStringList& arguments)
{
    ParsedCommandLine r;
    Options& o = r.options;
    const auto usage = [&r](const QString& message) {
        r.action = ParsedCommandLine::Action::Usage;
        r.error = message;
        return r;
    };
    bool help = false, version = false, shiftGiven = false, scaleGiven = false, sizeGiven = false,
         zoomGiven = false;

    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& arg = arguments[i];
        if (arg == u"--") {
            for (++i; i < arguments.size(); ++i)
                o.files << arguments[i];
            break;
        }
        if (arg == u"-" || !arg.startsWith(u'-')) {
            o.files << arg;
            continue;
        }
        const OptionDef* def = nullptr;
        std::optional<QString> value;
        QString shown; // the option as the user wrote it, for messages
        if (arg.startsWith(u"--")) {
            const qsizetype eq = arg.indexOf(u'=');
            const QString name = arg.mid(2, eq < 0 ? -1 : eq - 2);
            shown = QStringLiteral("--") + name;
            def = FindLong(name);
            if (!def)
                return usage(QStringLiteral("unknown option %1").arg(shown));
            if (eq >= 0) {
                if (!def->takesValue)
                    return usage(QStringLiteral("option %1 takes no value").arg(shown));
                value = arg.mid(eq + 1);
            }
        } else {
            shown = arg.left(2);
            def = FindShort(arg[1]);
            if (!def)
                return usage(QStringLiteral("unknown option %1").arg(shown));
            if (arg.size() > 2) {
                if (!def->takesValue)
                    return usage(QStringLiteral("option %1 takes no value").arg(shown));
                value = arg.mid(2);
            }
        }
        if (def->takesValue && !value) {
            if (i + 1 >= arguments.size())
                return usage(QStringLiteral("option %1 needs a value").arg(shown));
            value = arguments[++i];
        }
        switch (def->id) {
        case Id::Window:
            if (!ReadNumber(*value))
                return usage(QStringLiteral("window size \"%1\" is no number").arg(*value));
            o.window = *value;
            break;
        case Id::Step: {
            // The window's own check before a run.
            const auto n = ReadNumber(*value);
            if (value->isEmpty() || !n || !(*n > 0))
                return usage(QStringLiteral("step \"%1\": 1 to 1000000 is valid").arg(*value));
            o.step = *value;
            break;
        }
        case Id::Plot:
            if (*value == u"gc")
                o.plot = PlotKind::GCContent;
            else if (*value == u"skew")
                o.plot = PlotKind::Skew;
            else
                return usage(QStringLiteral("--plot is gc or skew, not \"%1\"").arg(*value));
            break;
        case Id::Shift:
            if (const auto v = SmallInteger(*value, 0, 4))
                o.shiftPosition = *v;
            else
                return usage(QStringLiteral("--shift is a position from 0 to 4, not \"%1\"").arg(*value));
            shiftGiven = true;
            break;
        case Id::Scale:
            if (const auto v = SmallInteger(*value, 0, 1))
                o.scalePosition = *v;
            else
                return usage(QStringLiteral("--scale is a position 0 or 1, not \"%1\"").arg(*value));
            scaleGiven = true;
            break;
        case Id::Record:
            o.record = *value;
            break;
        case Id::AllRecords:
            o.allRecords = true;
            break;
        case Id::Picture: {
            const QString s = Suffix(*value);
            if (s == u"png")
                o.pictureKind = PictureKind::Png;
            else if (s == u"svg")
                o.pictureKind = PictureKind::Svg;
            else if (s == u"pdf")
                o.pictureKind = PictureKind::Pdf;
            else if (s == u"bmp")
                o.pictureKind = PictureKind::Bmp;
            else
                return usage(QStringLiteral("picture %1: the name must end in .png, .svg, .pdf or .bmp").arg(*value));
            o.picture = *value;
            break;
        }
        case Id::Values: {
            const QString s = Suffix(*value);
            if (s == u"tsv" || s == u"txt")
                o.valuesFormat = ValueFormat::Tsv;
            else if (s == u"bedgraph" || s == u"bg")
                o.valuesFormat = ValueFormat::BedGraph;
            else
                return usage(QStringLiteral("values %1: the name must end in .tsv or .bedgraph").arg(*value));
            o.values = *value;
            break;
        }
        case Id::Summary:
            o.summary = true;
            break;
        case Id::Size: {
            static const QRegularExpression size(QStringLiteral("^(\\d{1,5})[xX](\\d{1,5})$"));
            const auto m = size.match(*value);
            const int w = m.hasMatch() ? m.captured(1).toInt() : 0, h = m.hasMatch() ? m.captured(2).toInt() : 0;
            if (w < 1 || h < 1 || w > 16000 || h > 16000)
                return usage(QStringLiteral("--size is WIDTHxHEIGHT in pixels (1 to 16000 each), not \"%1\"").arg(*value));
            o.width = w;
            o.height = h;
            sizeGiven = true;
            break;
        }
        case Id::Zoom:
            if (*value == u"1" || *value == u"2" || *value == u"4")
                o.zoom = value->toInt();
            else
                return usage(QStringLiteral("--zoom is 1, 2 or 4, not \"%1\"").arg(*value));
            zoomGiven = true;
            break;
        case Id::Mark:
            o.markUnknown = true;
            break;
        case Id::Help:
            help = true;
            break;
        case Id::Version:
            version = true;
            break;
        }
    }

    if (help) {
        r.action = ParsedCommandLine::Action::Help;
        return r;
    }
    if (version) {
        r.action = ParsedCommandLine::Action::Version;
        return r;
    }
    if (o.files.isEmpty())
        return usage(QStringLiteral("no FASTA file given"));
    if (o.files.count(QStringLiteral("-")) > 1)
        return usage(QStringLiteral("standard input (-) can be read only once"));
    if (shiftGiven && o.plot != PlotKind::GCContent)
        return usage(QStringLiteral("--shift moves the G+C map; use --scale with --plot skew"));
    if (scaleGiven && o.plot != PlotKind::Skew)
        return usage(QStringLiteral("--scale sets the G-C/G+C map; use it with --plot skew"));
    if (o.record && o.allRecords)
        return usage(QStringLiteral("--record and --all-records exclude each other"));
    if ((sizeGiven || zoomGiven || o.allRecords) && o.picture.isEmpty())
        return usage(QStringLiteral("--size, --zoom and --all-records need a picture (-o)"));
    if (zoomGiven && o.zoom != 1 && (o.pictureKind == PictureKind::Svg || o.pictureKind == PictureKind::Pdf))
        return usage(QStringLiteral("--zoom applies to .png and .bmp pictures; SVG and PDF are drawn as vectors"));
    if (o.files.size() > 1 && !o.picture.isEmpty() && !o.picture.contains(QStringLiteral("{}")))
        return usage(QStringLiteral("a picture for each of several files needs {} in its name (the file's base name)"));
    if (o.allRecords && !o.picture.contains(QStringLiteral("{record}")))
        return usage(QStringLiteral("a picture of every record needs {record} in its name"));
    if (o.picture.isEmpty() && o.values.isEmpty())
        o.summary = true;
    return r;
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
    QString out = pattern;
    out.replace(QStringLiteral("{record}"), ProposedFileName(recordName));
    out.replace(QStringLiteral("{}"), inputBase);
    return out;
}

QString HelpText()
{
    return QStringLiteral(R"(Usage: quillet-map [OPTIONS] FILE...
Maps the G+C content of the DNA sequences in FASTA files, window by window,
as the Quillet window does, without a screen. FILE may be plain or
compressed (gzip, zstd, xz, bzip2); "-" reads standard input.

Computation:
  -w, --window SIZE     window size in bases (default: what Open proposes
                        for the file's size on disk)
  -s, --step STEP       step in bases (default: what Open proposes)
      --plot gc|skew    the map: G+C content (gc, default) or G-C/G+C (skew)
      --shift POS       G+C map: scroll bar position 0..4 (default 2; the
                        band moves by 10 % a position)
      --scale POS       G-C/G+C map: scroll bar position 0 (axis from -1.0
                        to 1.0, default) or 1 (-0.5 to 0.5)
      --mark-unknown    shade windows of mostly unknown bases and break the
                        curve there, as the map's context menu does

Records:
      --record NAME     only the record NAME (its header up to the first tab)
      --all-records     a picture of every record (needs {record} in -o)
                        Without these, a picture shows the last record (the
                        one the window shows after a run); values and the
                        summary cover every record.

Output:
  -o, --picture OUT     the map as a picture; the type follows the name:
                        .png, .svg, .pdf, or .bmp (the bytes Save writes)
      --size WxH        picture size in pixels (default 701x309, the
                        window's map at design size)
      --zoom N          PNG and BMP: 1, 2 or 4 pixels per pixel
      --values OUT      every window's values: .tsv (table) or .bedgraph
      --summary         one line per record on standard output: file,
                        record, length, average G+C, unknown %, windows
                        (the default when neither -o nor --values is given)

  -h, --help            this text
  -V, --version         the program's version

In OUT, {} stands for the input's name without folder and suffixes
(lambda.fa.gz gives lambda) and {record} for the record's name. With
several FILEs, -o needs {}; --values without {} writes one table for all
files, with {} one table per file.

A file that cannot be mapped (missing, damaged, not FASTA, or a record whose
map cannot be drawn, which stops the run as in the window) adds nothing to
the outputs; its message goes to standard error and the other files are
still done. Pictures of every record already written for it stay.

Exit status: 0 when every file was mapped, 1 when a file failed or an
output could not be written, 2 for a wrong command line.

Examples:
  quillet-map genome.fa.gz
  quillet-map -w 30000 -s 10000 -o genome.png --values genome.tsv genome.fa
  quillet-map --plot skew -o 'maps/{}.svg' --values all.tsv *.fa
  zcat big.fa.gz | quillet-map -w 100000 -s 100000 -
)");
}

} // namespace quillet::cli
