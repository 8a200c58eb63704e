// The command line of quillet-map: what each accepted form asks for, and
// every form that must be refused as bad usage (exit status 2) with a
// message that says what was wrong.
#include "cli/options.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

using namespace quillet;
using namespace quillet::cli;

namespace {

QStringList Args(const char* text)
{
    return QString::fromUtf8(text).split(u' ', Qt::SkipEmptyParts);
}

TEST(CliOptions, AcceptedFormsAndWhatTheyAskFor)
{
    // Spellings of the same request, GNU style.
    for (const char* line : {"-w 200 -s 100 --plot skew --scale 1 -o out.svg a.fa",
                             "-w200 -s100 --plot=skew --scale=1 --picture=out.svg a.fa",
                             "--window 200 --step=100 --plot skew --scale 1 -oout.svg -- a.fa"}) {
        SCOPED_TRACE(line);
        const ParsedCommandLine p = ParseCommandLine(Args(line));
        ASSERT_EQ(p.action, ParsedCommandLine::Action::Run) << p.error.toStdString();
        const Options& o = p.options;
        EXPECT_EQ(o.files, QStringList{"a.fa"});
        EXPECT_EQ(o.window, QStringLiteral("200"));
        EXPECT_EQ(o.step, QStringLiteral("100"));
        EXPECT_EQ(o.plot, Plot::Skew);
        EXPECT_EQ(o.Scale(), 10);
        EXPECT_EQ(o.pictureKind, PictureKind::Svg);
        EXPECT_FALSE(o.summary); // asked for a picture only
    }

    // Nothing asked: the summary, the proposal, the window's default map.
    Options o = ParseCommandLine(Args("a.fa - b.fa.gz")).options;
    EXPECT_EQ(o.files, (QStringList{"a.fa", "-", "b.fa.gz"}));
    EXPECT_TRUE(o.summary);
    EXPECT_FALSE(o.window || o.step);
    EXPECT_EQ(o.plot, Plot::GCContent);
    EXPECT_EQ(o.Shift(), 0);
    // The default size is the picture box at design size, 10575 x 4695 twips.
    EXPECT_EQ(o.OuterWidthTwips(), 10575.0f);
    EXPECT_EQ(o.OuterHeightTwips(), 4695.0f);

    // Scroll positions give the window's shifts and scales.
    const int shifts[] = {-20, -10, 0, 10, 20};
    for (int pos = 0; pos <= 4; ++pos)
        EXPECT_EQ(ParseCommandLine({"--shift", QString::number(pos), "a.fa"}).options.Shift(), shifts[pos]);
    EXPECT_EQ(ParseCommandLine(Args("--plot skew a.fa")).options.Scale(), 20);

    // Types from the names, case-insensitive; size and zoom.
    o = ParseCommandLine(Args("-o M.BMP --values v.bedGraph --summary --size 350x150 --zoom 2 --all-records "
                              "--mark-unknown a.fa"))
            .options;
    EXPECT_EQ(o.pictureKind, PictureKind::Bmp);
    EXPECT_EQ(o.valuesFormat, ValueFormat::BedGraph);
    EXPECT_TRUE(o.summary && o.allRecords && o.markUnknown);
    EXPECT_TRUE(o.Values().gaps && !o.Values().unrounded); // marked windows are gaps in the values too
    const ValueOptions exact = ParseCommandLine(Args("--values v.bw --unrounded a.fa")).options.Values();
    EXPECT_TRUE(!exact.gaps && exact.unrounded);
    EXPECT_EQ(o.width, 350);
    EXPECT_EQ(o.height, 150);
    EXPECT_EQ(o.zoom, 2);
    // The box of 350 pixels and a 2-pixel frame, as a screen lays it out.
    EXPECT_EQ(std::nearbyint(o.OuterWidthTwips() / 15), 354.0f);
    EXPECT_EQ(std::nearbyint(o.OuterHeightTwips() / 15), 154.0f);

    // Forms that ask nothing more than the default, and the largest pictures.
    for (const char* line : {"--all-records --values v.tsv a.fa", "--all-records --summary a.fa", "--all-records a.fa",
                             "--summary --summary --mark-unknown --mark-unknown a.fa",
                             "--size 16000x16000 -o m.png a.fa", "--size 8000x8000 --zoom 2 -o m.bmp a.fa",
                             "--size 8191x100 --zoom 4 -o m.png a.fa", "--size 16000x16000 -o m.pdf a.fa"}) {
        const ParsedCommandLine p = ParseCommandLine(Args(line));
        EXPECT_EQ(p.action, ParsedCommandLine::Action::Run) << line << ": " << p.error.toStdString();
    }

    // The overview: its type, the records it leaves out, its page; --plot
    // picks its curve, and an overview alone asks for no summary.
    struct Overview {
        const char* line;
        PictureKind kind;
        int64_t minLength, maxRows;
        PageSize page;
        Plot plot;
    };
    for (const Overview& c :
         {Overview{"--overview o.png a.fa", PictureKind::Png, 0, 50, kA4Page, Plot::GCContent},
          Overview{"--overview=O.PDF --page letter --plot skew a.fa", PictureKind::Pdf, 0, 50, kLetterPage, Plot::Skew},
          Overview{"--overview o.svg --min-length 1,000 --max-rows 1 --page 400X300 --plot cumulative a.fa",
                   PictureKind::Svg, 1000, 1, PageSize{400, 300}, Plot::Cumulative},
          Overview{"--overview {}.png --min-length 10k --max-rows 1000 --page A4 --zoom 4 a.fa b.fa", PictureKind::Png,
                   10000, 1000, kA4Page, Plot::GCContent},
          Overview{"--overview o.png --min-length 0 --zoom 2 -o m.svg a.fa", PictureKind::Png, 0, 50, kA4Page,
                   Plot::GCContent}}) {
        SCOPED_TRACE(c.line);
        const ParsedCommandLine p = ParseCommandLine(Args(c.line));
        ASSERT_EQ(p.action, ParsedCommandLine::Action::Run) << p.error.toStdString();
        EXPECT_EQ(p.options.overviewKind, c.kind);
        EXPECT_EQ(p.options.minLength, c.minLength);
        EXPECT_EQ(p.options.maxRows, c.maxRows);
        EXPECT_EQ(p.options.page.width, c.page.width);
        EXPECT_EQ(p.options.page.height, c.page.height);
        EXPECT_EQ(p.options.plot, c.plot);
        EXPECT_FALSE(p.options.summary);
    }

    // The tracks take --size and --zoom, ask for no summary, and draw the
    // features of every --features file, in order.
    o = ParseCommandLine(Args("--features a.gff3 --tracks T.SVG --features=b.bed --size 640x400 a.fa")).options;
    EXPECT_EQ(o.tracksKind, PictureKind::Svg);
    EXPECT_EQ(o.tracksWidth, 640);
    EXPECT_EQ(o.tracksHeight, 400);
    EXPECT_EQ(o.features, QStringList({"a.gff3", "b.bed"}));
    EXPECT_FALSE(o.summary);
    o = ParseCommandLine(Args("--tracks {}/{record}.png --zoom 4 a.fa b.fa")).options;
    EXPECT_EQ(o.tracksWidth, kDefaultTracksWidth);
    EXPECT_EQ(o.zoom, 4);

    // A region picks its record as --record does; a name alone is --record.
    for (const auto& [line, record, start, end] :
         {std::tuple{"--region chr1:1,000-2k a.fa", "chr1", 1000, 2000}, std::tuple{"--region=5-9 a.fa", "", 5, 9},
          std::tuple{"--region HLA-A*01:01 a.fa", "HLA-A*01:01", 0, 0}}) {
        o = ParseCommandLine(Args(line)).options;
        EXPECT_EQ(o.record.value_or(QString()).toStdString(), record) << line;
        EXPECT_EQ(o.recordBytes.toStdString(), record) << line;
        EXPECT_EQ(o.region ? o.region->start : 0, start) << line;
        EXPECT_EQ(o.region ? o.region->end : 0, end) << line;
    }
    // The islands: their defaults, a length as --min-length takes it, and
    // a file of islands alone asks for no summary.
    for (const auto& [line, k, minLength, genome] :
         {std::tuple{"--islands i.bed a.fa", 2.5, 1000, false},
          std::tuple{"--islands {}.bed --islands-sd 3 --islands-min 1k --islands-genome a.fa b.fa", 3.0, 1000, true},
          std::tuple{"--islands=I.BED --islands-sd=1.5 --islands-min=2,500 a.fa", 1.5, 2500, false},
          std::tuple{"--islands i.bed --islands-min 0 a.fa", 2.5, 0, false}}) {
        const ParsedCommandLine p = ParseCommandLine(Args(line));
        ASSERT_EQ(p.action, ParsedCommandLine::Action::Run) << line << ": " << p.error.toStdString();
        EXPECT_EQ(p.options.islandSettings.sd, k) << line;
        EXPECT_EQ(p.options.islandSettings.minLength, minLength) << line;
        EXPECT_EQ(p.options.islandsGenome, genome) << line;
        EXPECT_FALSE(p.options.summary) << line;
    }
    o = ParseCommandLine(Args("--plot cumulative -o m.png a.fa")).options;
    EXPECT_EQ(o.plot, Plot::Cumulative);
    EXPECT_EQ(PlotName(o.plot), QStringLiteral("Cumulative G-C/G+C")); // its values are its own track

    // Where --record's value is, for the program to take its bytes; also
    // --region's, whose name picks the record.
    for (const auto& [line, argument, offset, region] :
         {std::tuple{"-w 5 --record=chr1 a.fa", 2, 9, false}, std::tuple{"--record chr1 a.fa", 1, 0, false},
          std::tuple{"-w 0.6 --region chr1:1-5 a.fa", 3, 0, true}, std::tuple{"--region=chr1 a.fa", 0, 9, true}}) {
        const ParsedCommandLine p = ParseCommandLine(Args(line));
        EXPECT_EQ(p.recordArgument, argument) << line;
        EXPECT_EQ(p.recordOffset, offset) << line;
        EXPECT_EQ(p.recordInRegion, region) << line;
        EXPECT_EQ(p.options.recordBytes, "chr1") << line;
    }
    EXPECT_EQ(RegionNameBytes("Soci\xE9t\xE9 2:1,000-2k"), QByteArray("Soci\xE9t\xE9 2"));
    EXPECT_EQ(RegionNameBytes("\xE9"), QByteArray("\xE9"));
    EXPECT_EQ(RegionNameBytes("1-5"), QByteArray());

    // Help and version win over everything else, even bad usage after them.
    EXPECT_EQ(ParseCommandLine(Args("--help")).action, ParsedCommandLine::Action::Help);
    EXPECT_EQ(ParseCommandLine(Args("a.fa -V")).action, ParsedCommandLine::Action::Version);
    // A file named like an option after "--".
    EXPECT_EQ(ParseCommandLine(Args("-- -w")).options.files, QStringList{"-w"});
}

TEST(CliOptions, BadUsageIsRefusedWithAReason)
{
    struct Case {
        const char* line;
        const char* says;
    };
    const Case cases[] = {
        {"", "no FASTA file"},
        {"--frobnicate a.fa", "unknown option --frobnicate"},
        {"-x a.fa", "unknown option -x"},
        {"a.fa -w", "needs a value"},
        {"--summary=yes a.fa", "takes no value"},
        {"-w abc a.fa", "no number"},
        {"-w 0 a.fa", "window size \"0\": a window is 1 bp or more"},
        {"-w -5 a.fa", "a window is 1 bp or more"},
        {"--window=0.4 a.fa", "a window is 1 bp or more"}, // rounds to 0
        {"-s 0 a.fa", "1 to 1000000 is valid"},
        {"-s -5 a.fa", "1 to 1000000 is valid"},
        {"-s x a.fa", "1 to 1000000 is valid"},
        {"--plot at a.fa", "gc or skew"},
        {"--shift 5 a.fa", "0 to 4"},
        {"--shift 1.5 a.fa", "0 to 4"},
        {"--plot skew --shift 1 a.fa", "--shift"},
        {"--scale 1 a.fa", "--scale"},
        {"--plot skew --scale 2 a.fa", "0 or 1"},
        {"--record x --all-records -o {record}.png a.fa", "exclude"},
        {"-o map.jpg a.fa", ".png, .svg, .pdf or .bmp"},
        {"--values v.csv a.fa", ".tsv or .bedgraph"},
        {"--size 0x10 -o m.png a.fa", "WIDTHxHEIGHT"},
        {"--size 100 -o m.png a.fa", "WIDTHxHEIGHT"},
        {"--size 20000x10 -o m.png a.fa", "WIDTHxHEIGHT"},
        {"--zoom 3 -o m.png a.fa", "1, 2 or 4"},
        {"--zoom 2 -o m.svg a.fa", "vectors"},
        {"--zoom 2 a.fa", "need a picture"},
        {"--size 2x2 a.fa", "need a picture"},
        {"-o m.png a.fa b.fa", "needs {}"},
        {"--all-records -o {}.png a.fa", "{record}"},
        {"- -", "only once"},
        {"--start-server", "unknown option --start-server"},
        // One value each: a second would silently replace the first.
        {"-w 100 -w 200 a.fa", "-w/--window is given twice"},
        {"-s 5 --step=5 a.fa", "-s/--step is given twice"},
        {"-o a.png --picture=b.png a.fa", "-o/--picture is given twice"},
        {"--values a.tsv --values b.tsv a.fa", "--values is given twice"},
        {"--record a --record b a.fa", "--record is given twice"},
        {"--plot gc --plot skew a.fa", "--plot is given twice"},
        {"--size 9x9 --size 8x8 -o m.png a.fa", "--size is given twice"},
        {"--zoom 1 --zoom 1 -o m.png a.fa", "--zoom is given twice"},
        {"--record= a.fa", "needs a record's name or ID"},
        {"--region chr1:0-5 a.fa", "--region \"chr1:0-5\": the start must be 1 or more"},
        {"--region chr1:9-5 a.fa", "before the start"},
        {"--region= a.fa", "empty"},
        {"--region c:1-5 --record c a.fa", "names its record itself"},
        {"--region c:1-5 --all-records a.fa", "names its record itself"},
        {"--region a:1-2 --region b:1-2 a.fa", "--region is given twice"},
        {"--plot cumulative --scale 1 a.fa", "--scale"},
        // Exact values are the values' alone.
        {"--unrounded a.fa", "--unrounded applies to the values (--values)"},
        {"--unrounded -o m.png --overview o.svg a.fa", "--unrounded applies to the values"},
        {"--plot cumulative --shift 1 a.fa", "--shift"},
        // Pictures beyond what a painter draws, or beyond 256 million pixels.
        {"--size 16000x16000 --zoom 4 -o m.png a.fa", "64000x64000 pixels; a picture has at most 32767"},
        {"--size 8192x10 --zoom 4 -o m.bmp a.fa", "32768x40 pixels"},
        {"--size 8001x8000 --zoom 2 -o m.png a.fa", "256 million"},
        // The overview: no BMP, one per file, its options only beside it.
        {"--overview o.bmp a.fa", ".png, .svg or .pdf"},
        {"--overview o a.fa", ".png, .svg or .pdf"},
        {"--overview o.png a.fa b.fa", "overview for each of several files needs {}"},
        {"--overview {record}.png a.fa", "{record} has no place"},
        {"--overview a.png --overview b.png a.fa", "--overview is given twice"},
        {"--min-length 5 a.fa", "need an overview"},
        {"--max-rows 5 -o m.png a.fa", "need an overview"},
        {"--page a4 a.fa", "need an overview"},
        {"--overview o.png --min-length -1 a.fa", "--min-length is a length in bases"},
        {"--overview o.png --min-length 1.5 a.fa", "--min-length is a length in bases"},
        {"--overview o.png --min-length x:1-5 a.fa", "--min-length is a length in bases"},
        {"--overview o.png --max-rows 0 a.fa", "--max-rows is a number of rows from 1"},
        {"--overview o.png --max-rows 1001 a.fa", "--max-rows"},
        {"--overview o.png --max-rows 2.5 a.fa", "--max-rows"},
        {"--overview o.png --page a3 a.fa", "--page is a4, letter or WIDTHxHEIGHT"},
        {"--overview o.png --page 0x100 a.fa", "--page is a4"},
        {"--overview o.png --page 16001x100 a.fa", "--page is a4"},
        {"--overview o.png --size 100x100 a.fa", "--size and --zoom need a picture (-o)"},
        {"--overview o.svg --zoom 2 a.fa", "vectors"},
        {"--overview o.pdf --zoom 2 -o m.svg a.fa", "vectors"},
        {"--overview o.png --page 9000x9000 --zoom 4 a.fa", "--page 9000x9000 at --zoom 4 is a picture of 36000x36000"},
        // The tracks: one record of each file, read again from it.
        {"--tracks t.bmp a.fa", "tracks t.bmp: the name must end in .png, .svg or .pdf"},
        {"--tracks t a.fa", ".png, .svg or .pdf"},
        {"--tracks t.png a.fa b.fa", "tracks for each of several files need {}"},
        {"--tracks t.png -", "standard input (-) cannot be read twice"},
        {"--tracks t.png --all-records -o {record}.png a.fa", "leave out --all-records"},
        {"--tracks a.png --tracks b.png a.fa", "--tracks is given twice"},
        {"--tracks t.svg --zoom 2 a.fa", "vectors"},
        {"--tracks t.png --size 9000x9000 --zoom 4 a.fa", "--size 9000x9000 at --zoom 4 is a picture of 36000x36000"},
        {"--features= --tracks t.png a.fa", "--features needs an annotation file"},
        {"--features", "option --features needs a value"},
        // The islands: a BED file per file, their options only beside it.
        {"--islands i.tsv a.fa", "islands i.tsv: the name must end in .bed"},
        {"--islands i.bed a.fa b.fa", "islands for each of several files need {}"},
        {"--islands {record}.bed a.fa", "{record} has no place"},
        {"--islands-sd 3 a.fa", "need islands (--islands)"},
        {"--islands-min 1k -o m.png a.fa", "need islands"},
        {"--islands-genome a.fa", "need islands"},
        {"--islands i.bed --islands-sd 0 a.fa", "--islands-sd is a number of standard deviations above 0"},
        {"--islands i.bed --islands-sd -1 a.fa", "--islands-sd is a number"},
        {"--islands i.bed --islands-sd x a.fa", "--islands-sd is a number"},
        {"--islands i.bed --islands-sd inf a.fa", "--islands-sd is a number"},
        {"--islands i.bed --islands-sd 101 a.fa", "(up to 100)"},
        {"--islands i.bed --islands-min -5 a.fa", "--islands-min is a length in bases"},
        {"--islands i.bed --islands-min 2.5 a.fa", "--islands-min is a length in bases"},
        {"--islands i.bed --islands-sd 2 --islands-sd 3 a.fa", "--islands-sd is given twice"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const ParsedCommandLine p = ParseCommandLine(Args(c.line));
        EXPECT_EQ(p.action, ParsedCommandLine::Action::Usage);
        EXPECT_TRUE(p.error.contains(QString::fromUtf8(c.says))) << p.error.toStdString();
    }
}

TEST(CliOptions, OutputNamesFromInputsAndRecords)
{
    struct Case {
        const char* input;
        const char* base;
    };
    for (const Case& c :
         {Case{"/data/lambda.fa", "lambda"}, Case{"lambda.fa.gz", "lambda"}, Case{"dir.v2/x.y.fasta.ZST", "x.y"},
          Case{"noext", "noext"}, Case{".hidden.fa", ".hidden"}, Case{"-", "stdin"}}) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(InputBaseName(QString::fromUtf8(c.input)), QString::fromUtf8(c.base));
    }
    // {record} is the record's ID made safe; a name never steers the output
    // into another folder, nor brings in a placeholder; names are bytes.
    struct Named {
        const char* pattern;
        const char* record; // the header's bytes
        const char* out;
    };
    for (const Named& c :
         {Named{"maps/{}-{record}.png", "NC_001416.1 Enterobacteria phage lambda", "maps/lambda-NC_001416.1.png"},
          Named{"{record}.tsv", "ref|NC_001136| [org=Saccharomyces cerevisiae]", "refNC_001136.tsv"},
          Named{"{record}.svg", "../chr1|a/b:c", "chr1abc.svg"},
          Named{"maps/{record}/map.svg", "..", "maps/sequence/map.svg"},
          Named{"maps/{record}/map.svg", ".", "maps/sequence/map.svg"}, Named{"maps/{record}.svg", "{}", "maps/{}.svg"},
          Named{"{}/{record}.png", "{record}", "lambda/{record}.png"},
          Named{"{record}.png", "Caf\xC3\xA9 x\r", "Caf\xC3\xA9.png"}, Named{"all.tsv", "r", "all.tsv"}}) {
        SCOPED_TRACE(c.record);
        EXPECT_EQ(OutputName(QString::fromUtf8(c.pattern), "lambda", QString::fromLatin1(c.record)),
                  QString::fromUtf8(c.out));
    }
}

TEST(CliOptions, RecordNamesAsWrittenAndMatched)
{
    // The summary: the header's bytes, the CR of a CRLF line dropped,
    // control characters escaped; bytes of UTF-8 characters left alone.
    struct Shown {
        const char* name;
        const char* summary;
    };
    for (const Shown& c : {Shown{"chr1 x\r", "chr1 x"},
                           Shown{"a\x01"
                                 "b\x7f",
                                 "a\\x01b\\x7f"},
                           Shown{"a\rb\r", "a\\rb"}, Shown{"\xC5\xA0 \xC3\x85", "\xC5\xA0 \xC3\x85"}}) {
        SCOPED_TRACE(c.summary);
        EXPECT_EQ(SummaryName(QString::fromLatin1(c.name)), QByteArray(c.summary));
    }
    // --record: the whole name (bytes or as shown), or the ID.
    struct Match {
        const char* name;
        const char* wanted;
        RecordMatch how;
    };
    for (const Match& c :
         {Match{"chr1 extra\r", "chr1 extra", RecordMatch::Whole}, Match{"chr1 extra", "chr1", RecordMatch::Id},
          Match{"ref|NC_001136| [org=S. cerevisiae]", "ref|NC_001136|", RecordMatch::Id},
          Match{"Caf\xC3\xA9 x", "Caf\xC3\xA9", RecordMatch::Id},
          Match{"\xC3\x85land 1", "\xC3\x85land", RecordMatch::Id},
          Match{"a\x01"
                "b c",
                "a\\x01b", RecordMatch::Id},
          Match{"a\x01"
                "b c",
                "a\\x01b c", RecordMatch::Whole},
          Match{"chr1 extra", "chr", RecordMatch::None}, Match{"chr1 extra", "extra", RecordMatch::None},
          Match{"Caf\xC3\xA9", "Caf\xE9", RecordMatch::None}}) {
        SCOPED_TRACE(c.wanted);
        EXPECT_EQ(MatchRecord(QString::fromLatin1(c.name), QByteArray(c.wanted)), c.how);
    }
}

TEST(CliOptions, HelpNamesEveryOption)
{
    const QString help = HelpText();
    for (const char* option :
         {"--window",       "--step",       "--plot",        "--shift",          "--scale",    "--record",
          "--all-records",  "--picture",    "--values",      "--summary",        "--size",     "--zoom",
          "--mark-unknown", "--unrounded",  "--overview",    "--min-length",     "--max-rows", "--page",
          "--islands",      "--islands-sd", "--islands-min", "--islands-genome", "--help",     "--version",
          "Exit status",    "{}",           "{record}"})
        EXPECT_TRUE(help.contains(QString::fromUtf8(option))) << option;
}

} // namespace
