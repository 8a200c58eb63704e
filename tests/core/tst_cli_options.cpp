// The command line of quillet-map: what each accepted form asks for, and
// every form that must be refused as bad usage (exit status 2) with a
// message that says what was wrong.
#include "cli/options.h"

#include <gtest/gtest.h>

#include <cmath>

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
        EXPECT_EQ(o.plot, PlotKind::Skew);
        EXPECT_EQ(o.Scale(), 10);
        EXPECT_EQ(o.pictureKind, PictureKind::Svg);
        EXPECT_FALSE(o.summary); // asked for a picture only
    }

    // Nothing asked: the summary, the proposal, the window's default map.
    Options o = ParseCommandLine(Args("a.fa - b.fa.gz")).options;
    EXPECT_EQ(o.files, (QStringList{"a.fa", "-", "b.fa.gz"}));
    EXPECT_TRUE(o.summary);
    EXPECT_FALSE(o.window || o.step);
    EXPECT_EQ(o.plot, PlotKind::GCContent);
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
                              "--mark-unknown a.fa")).options;
    EXPECT_EQ(o.pictureKind, PictureKind::Bmp);
    EXPECT_EQ(o.valuesFormat, ValueFormat::BedGraph);
    EXPECT_TRUE(o.summary && o.allRecords && o.markUnknown);
    EXPECT_EQ(o.width, 350);
    EXPECT_EQ(o.height, 150);
    EXPECT_EQ(o.zoom, 2);
    // The box of 350 pixels and a 2-pixel frame, as a screen lays it out.
    EXPECT_EQ(std::nearbyint(o.OuterWidthTwips() / 15), 354.0f);
    EXPECT_EQ(std::nearbyint(o.OuterHeightTwips() / 15), 154.0f);

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
        {"--all-records a.fa", "need a picture"},
        {"-o m.png a.fa b.fa", "needs {}"},
        {"--all-records -o {}.png a.fa", "{record}"},
        {"- -", "only once"},
        {"--start-server", "unknown option --start-server"},
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
    for (const Case& c : {Case{"/data/lambda.fa", "lambda"}, Case{"lambda.fa.gz", "lambda"},
                          Case{"dir.v2/x.y.fasta.ZST", "x.y"}, Case{"noext", "noext"}, Case{".hidden.fa", ".hidden"},
                          Case{"-", "stdin"}}) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(InputBaseName(QString::fromUtf8(c.input)), QString::fromUtf8(c.base));
    }
    EXPECT_EQ(OutputName("maps/{}-{record}.png", "lambda", "NC_001416.1 Enterobacteria phage lambda"),
              QStringLiteral("maps/lambda-NC_001416.1 Enterobacteria phage lambda.png"));
    // A record name never steers the output into another folder.
    EXPECT_EQ(OutputName("{record}.svg", "x", "../chr1|a/b:c"), QStringLiteral("..chr1abc.svg"));
    EXPECT_EQ(OutputName("all.tsv", "x", "r"), QStringLiteral("all.tsv"));
}

TEST(CliOptions, HelpNamesEveryOption)
{
    const QString help = HelpText();
    for (const char* option : {"--window", "--step", "--plot", "--shift", "--scale", "--record", "--all-records",
                               "--picture", "--values", "--summary", "--size", "--zoom", "--mark-unknown", "--help",
                               "--version", "Exit status", "{}", "{record}"})
        EXPECT_TRUE(help.contains(QString::fromUtf8(option))) << option;
}

} // namespace
