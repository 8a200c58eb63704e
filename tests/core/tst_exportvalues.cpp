// The numbers behind the map as TSV and bedGraph, checked line by line
// against the values the map plots for a real file of seven records.
#include "analysis/numtext.h"
#include "excerptrecords.h"
#include "maps/exportbigwig.h"
#include "maps/exportfiles.h"
#include "maps/exportvalues.h"
#include "maps/filetypes.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

using namespace quillet;
using namespace quillet::test;

namespace {

constexpr int32_t kWindow = 200, kStep = 100;

QByteArray Export(ValueFormat format, Plot plot, const std::vector<ComputedRecord>& records, int32_t window = kWindow,
                  int32_t step = kStep, const ValueOptions& options = {})
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    ValueWriter writer(buffer, format, plot, window, step, options);
    EXPECT_TRUE(writer.begin());
    for (const auto& r : records)
        EXPECT_TRUE(writer.writeRecord(r.name, r.windows));
    EXPECT_TRUE(writer.finish());
    return buffer.data();
}

float ParseFloat(const QByteArray& text)
{
    return std::strtof(text.constData(), nullptr);
}

} // namespace

TEST(ExportValues, TsvHoldsThePlottedValuesOfEveryRecord)
{
    const auto records = ExcerptRecords(kWindow, kStep);
    ASSERT_EQ(records.size(), 7u);
    const QList<QByteArray> lines = Export(ValueFormat::Tsv, Plot::GCContent, records).split('\n');
    ASSERT_EQ(lines.front(), "record\tstart\tend\tG+C %\tG-C/G+C\tunknown %\tcumulative G-C/G+C");
    ASSERT_TRUE(lines.back().isEmpty()); // the file ends with a line feed

    qsizetype at = 1;
    int64_t mostlyUnknown = 0;
    for (const auto& r : records) {
        SCOPED_TRACE(r.name.toStdString());
        const auto& w = r.windows;
        double cumulative = 0;
        for (size_t k = 1; k + 1 < w.GCValues.size(); ++k, ++at) {
            ASSERT_LT(at, lines.size());
            const QList<QByteArray> f = lines[at].split('\t');
            ASSERT_EQ(f.size(), 7);
            EXPECT_EQ(f[0], r.name.toLatin1());
            EXPECT_EQ(f[1].toLongLong(), int64_t(k - 1) * kStep + 1);
            EXPECT_EQ(f[2].toLongLong(), int64_t(k - 1) * kStep + kWindow);
            // Exactly the plotted floats, in the program's number text.
            EXPECT_EQ(ParseFloat(f[3]), w.GCValues[k]) << f[3].constData();
            EXPECT_EQ(ParseFloat(f[4]), w.SkewValues[k]) << f[4].constData();
            EXPECT_EQ(QString::fromLatin1(f[3]), FormatSingle(w.GCValues[k], NumberLocale::c()));
            EXPECT_EQ(QString::fromLatin1(f[4]), FormatSingle(w.SkewValues[k], NumberLocale::c()));
            EXPECT_DOUBLE_EQ(f[5].toDouble(), std::round(10000.0 * w.UnknownCounts[k] / kWindow) / 100);
            cumulative += double(w.SkewValues[k]);
            EXPECT_NEAR(f[6].toDouble(), cumulative, 1e-6);
            mostlyUnknown += f[5].toDouble() > 50;
        }
    }
    EXPECT_EQ(at, lines.size() - 1);
    // Chr2's first 1,000 bases and Chr4's are N: their windows are all unknown.
    EXPECT_GE(mostlyUnknown, 2 * 9);
}

TEST(ExportValues, BedGraphTracksThePlotShown)
{
    const auto records = ExcerptRecords(kWindow, kStep);
    struct Case {
        Plot plot;
        const char* track;
        std::vector<float> WindowResults::*values;
    } cases[] = {
        {Plot::GCContent,
         "track type=bedGraph name=\"G+C content\" description=\"G+C content (%) in windows of 200 bp, step 100 "
         "bp; each value covers the 100 bp at its window's centre, the first and last reach their window's ends\"",
         &WindowResults::GCValues},
        {Plot::Skew,
         "track type=bedGraph name=\"G-C/G+C\" description=\"G-C/G+C in windows of 200 bp, step 100 bp; each "
         "value covers the 100 bp at its window's centre, the first and last reach their window's ends\"",
         &WindowResults::SkewValues},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.track);
        const QList<QByteArray> lines = Export(ValueFormat::BedGraph, c.plot, records).split('\n');
        EXPECT_EQ(lines.front(), c.track);
        qsizetype at = 1;
        for (const auto& r : records) {
            const auto& values = r.windows.*c.values;
            const size_t n = values.size() - 2;
            for (size_t k = 1; k <= n; ++k, ++at) {
                const QList<QByteArray> f = lines[at].split('\t');
                ASSERT_EQ(f.size(), 4);
                EXPECT_EQ(f[0], r.name.section(u' ', 0, 0).toLatin1()); // "Chr2", not "Chr2 1..30000"
                // 0-based, end excluded: the middle 100 bp of each window,
                // the first from base 0 and the last to its window's end.
                const int64_t start = int64_t(k - 1) * kStep;
                EXPECT_EQ(f[1].toLongLong(), k == 1 ? 0 : start + 50);
                EXPECT_EQ(f[2].toLongLong(), k == n ? start + kWindow : start + 150);
                EXPECT_EQ(ParseFloat(f[3]), values[k]);
            }
        }
        EXPECT_EQ(at, lines.size() - 1);
    }
}

// The stretch each window's value stands for: contiguous slices at the
// windows' centres when they overlap (any parity of window and step), the
// windows themselves otherwise.
TEST(ExportValues, TrackIntervalsTileTheWindows)
{
    struct Case {
        int32_t window, step;
        int64_t n, first;
        std::vector<std::pair<int64_t, int64_t>> spans;
        int64_t circle = 0; // a circle's windows, unrolled spans
    } cases[] = {
        {10, 4, 4, 1, {{0, 7}, {7, 11}, {11, 15}, {15, 22}}}, // (10 - 4) / 2 = 3 into each window
        {10, 3, 4, 1, {{0, 6}, {6, 9}, {9, 12}, {12, 19}}},   // odd difference: 3.5 rounds down
        {5, 2, 3, 1, {{0, 3}, {3, 5}, {5, 9}}},
        {4, 1, 3, 1, {{0, 2}, {2, 3}, {3, 6}}},
        {10, 4, 1, 1, {{0, 10}}},                                     // one window: all of it
        {10, 4, 2, 1, {{0, 7}, {7, 14}}},                             // first meets last
        {10, 4, 3, 5001, {{5000, 5007}, {5007, 5011}, {5011, 5018}}}, // a stretch from base 5001
        {10, 10, 3, 1, {{0, 10}, {10, 20}, {20, 30}}},                // step = window: the windows
        {10, 15, 2, 1, {{0, 10}, {15, 25}}},                          // gaps between windows stay gaps
        {10, 0, 1, 1, {{0, 10}}},                                     // step 0: the one window
        // Circles: the last window and the first share their overlap too.
        {10, 4, 6, 1, {{4, 7}, {7, 11}, {11, 15}, {15, 19}, {19, 23}, {23, 26}}, 22},
        {10, 4, 5, 1, {{3, 7}, {7, 11}, {11, 15}, {15, 19}, {19, 23}}, 20}, // the last window ends at the origin
        {4, 4, 3, 1, {{1, 4}, {4, 8}, {8, 11}}, 10},
        {4, 5, 3, 1, {{1, 4}, {5, 9}, {10, 13}}, 12},
        {3, 4, 3, 1, {{0, 3}, {4, 7}, {8, 10}}, 10}, // the one base both hold goes to the first
        {4, 4, 3, 1, {{0, 4}, {4, 8}, {8, 12}}, 12}, // no window across the origin
        {10, 4, 1, 1, {{0, 10}}, 10},                // one window, the whole circle
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "window " << c.window << ", step " << c.step << ", " << c.n << " windows");
        ASSERT_EQ(int64_t(c.spans.size()), c.n);
        for (int64_t k = 1; k <= c.n; ++k) {
            const TrackSpan s = TrackInterval(k, c.n, c.window, c.step, c.first, c.circle);
            EXPECT_EQ(std::make_pair(s.start, s.end), c.spans[std::size_t(k - 1)]) << "window " << k;
        }
    }
}

// A circle's windows as values: the TSV gives a window across the origin
// its end on the circle, the bedGraph cuts its interval at the origin and
// writes the part past it first, so the intervals stay sorted.
TEST(ExportValues, WindowsAcrossTheOriginOfACircle)
{
    // The engine's windows of a circle of 10 bases, window 4, step 4:
    // those of a line of its bases and its first 3 again.
    WindowResults w;
    CalcWindows("GGGGGCCCCCGGG", 4, 4, w);
    const ComputedRecord circle{QStringLiteral("p circular"), 10, w};
    const auto exported = [&](ValueFormat format, Plot plot) {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        ValueWriter writer(buffer, format, plot, 4, 4);
        EXPECT_TRUE(writer.begin() && writer.writeRecord(circle.name, circle.windows, 1, 10) && writer.finish());
        QList<QByteArray> lines = buffer.data().split('\n');
        lines.removeFirst(); // header or track line
        return lines.join('\n');
    };
    EXPECT_EQ(exported(ValueFormat::Tsv, Plot::GCContent), "p circular\t1\t4\t100\t1\t0\t1\n"
                                                           "p circular\t5\t8\t100\t-0.5\t0\t0.5\n"
                                                           "p circular\t9\t2\t100\t0\t0\t0.5\n");
    EXPECT_EQ(exported(ValueFormat::BedGraph, Plot::Skew), "p\t0\t1\t0\np\t1\t4\t1\np\t4\t8\t-0.5\np\t8\t10\t0\n");
    EXPECT_EQ(exported(ValueFormat::BedGraph, Plot::Cumulative),
              "p\t0\t1\t0.5\np\t1\t4\t1\np\t4\t8\t0.5\np\t8\t10\t0.5\n");
    // A bigWig takes the same intervals, within the record's length.
    BigWigTrack track(Plot::Skew);
    EXPECT_TRUE(track.addRecord(circle.name, 10, w, 4, 4, 1, true)) << track.error().toStdString();
    EXPECT_FALSE(track.addRecord(QStringLiteral("q"), 10, w, 4, 4, 1, false)); // as a line it passes its end
}

// A bigWig chromosome is its whole record: the track of a stretch from base
// 12,345 with 1,000 bp of windows needs a length of at least 13,344 (the
// stretch's own 1,000 would leave its intervals past the end, which readers
// drop), and no record outgrows the format's 32-bit positions.
TEST(ExportValues, BigWigChromosomeHoldsItsIntervals)
{
    WindowResults w;
    CalcWindows(std::string(1000, 'G'), 100, 100, w);
    const struct {
        int64_t length, first;
        bool added;
    } cases[] = {
        {1000, 1, true},
        {999, 1, false},
        {13344, 12345, true},
        {1000, 12345, false},
        {13343, 12345, false},
        {int64_t(UINT32_MAX), 1, true},
        {int64_t(UINT32_MAX) + 1, 1, false},
    };
    for (const auto& c : cases) {
        BigWigTrack track(Plot::GCContent);
        EXPECT_EQ(track.addRecord("chr1 x", c.length, w, 100, 100, c.first), c.added) << c.length << " " << c.first;
        EXPECT_EQ(track.size(), c.added ? 1u : 0u);
        EXPECT_EQ(track.error().isEmpty(), c.added) << track.error().toStdString();
    }
}

// A step of 0 gives the one window 1 .. window size; names with tabs stay
// one TSV column; a record without windows writes no line.
TEST(ExportValues, OddRecords)
{
    // Window 1 .. 6, GGGCNN: 50 tenths of G+C weight, G-C 20 of them, 2 unknown.
    WindowResults one;
    CalcWindows("GGGCNNNNAT", 6, 0, one);
    WindowResults none;
    CalcWindows("ACGT", 10, 1, none);
    // A CRLF header leaves its CR in the name: the table drops it. A name
    // is written with the header's bytes (read one byte to one character),
    // here UTF-8 "Šč", whose first byte pair ends in 0xA0 (no blank).
    // A NUL is written \x00, as the summary writes it: readers stop at a
    // NUL, and two names that differ after one would become the same.
    const std::vector<ComputedRecord> records = {{"a\tb c\r", 10, one},
                                                 {"empty", 4, none},
                                                 {QString::fromLatin1("\xC5\xA0\xC4\x8D x"), 10, one},
                                                 {QString::fromLatin1("s\0a x", 5), 10, one}};
    EXPECT_EQ(
        Export(ValueFormat::Tsv, Plot::GCContent, records, 6, 0).split('\n').mid(1),
        (QList<QByteArray>{"a b c\t1\t6\t83.3\t0.4\t33.33\t0.4", "\xC5\xA0\xC4\x8D x\t1\t6\t83.3\t0.4\t33.33\t0.4",
                           "s\\x00a x\t1\t6\t83.3\t0.4\t33.33\t0.4", ""}));
    EXPECT_EQ(Export(ValueFormat::BedGraph, Plot::Skew, records, 6, 0).split('\n').mid(1),
              (QList<QByteArray>{"a\t0\t6\t0.4", "\xC5\xA0\xC4\x8D\t0\t6\t0.4", "s\\x00a\t0\t6\t0.4", ""}));
}

// Windows of 10 bp: 80 % G+C; 60 % with 6 unknown (a gap when asked);
// 65 % with 5 unknown, exactly half (no gap); 30 %. The cumulative plot
// has a track of its own; gaps leave lines out of a track and write NA in
// the table, whose running sum still counts them; exact values come from
// the windows' sums (G-C/G+C 1/6, 2/6.5, 1/3 where the map has 0.17, 0.31
// and 0.33). At step 5 the windows of bases 11 to 20 and 16 to 25 are
// gaps (6 unknown), those of 6 to 15 and 21 to 30 not (5).
TEST(ExportValues, PlotsGapsAndExactValuesLineByLine)
{
    WindowAccumulator acc(10, 10, WindowKeeping{true, true});
    const std::string bases = "GGGGGCCCAT"
                              "NNNNNNGGCA"
                              "NNNNNGGGCA"
                              "GGCATTATAT";
    acc.add(reinterpret_cast<const unsigned char*>(bases.data()), bases.size());
    WindowResults w;
    acc.finish(w);
    const ValueOptions plain, gaps{.gaps = true}, exact{.unrounded = true}, both{.gaps = true, .unrounded = true};
    struct Row {
        const char* name;
        ValueFormat format;
        Plot plot;
        ValueOptions options;
        int32_t step;
        QList<QByteArray> lines; // after the header or track line
        const char* trackEnds;   // how a bedGraph's track line ends
    };
    using F = ValueFormat;
    const Row rows[] = {
        {"the map's values",
         F::Tsv,
         Plot::GCContent,
         plain,
         10,
         {"s\t1\t10\t80\t0.25\t0\t0.25", "s\t11\t20\t60\t0.17\t60\t0.42", "s\t21\t30\t65\t0.31\t50\t0.73",
          "s\t31\t40\t30\t0.33\t0\t1.06"},
         nullptr},
        {"gaps in the table",
         F::Tsv,
         Plot::GCContent,
         gaps,
         10,
         {"s\t1\t10\t80\t0.25\t0\t0.25", "s\t11\t20\tNA\tNA\t60\tNA", "s\t21\t30\t65\t0.31\t50\t0.73",
          "s\t31\t40\t30\t0.33\t0\t1.06"},
         nullptr},
        {"exact values in the table",
         F::Tsv,
         Plot::GCContent,
         exact,
         10,
         {"s\t1\t10\t80\t0.25\t0\t0.25", "s\t11\t20\t60\t0.166667\t60\t0.416667",
          "s\t21\t30\t65\t0.307692\t50\t0.724359", "s\t31\t40\t30\t0.333333\t0\t1.05769"},
         nullptr},
        {"the G+C track",
         F::BedGraph,
         Plot::GCContent,
         plain,
         10,
         {"s\t0\t10\t80", "s\t10\t20\t60", "s\t20\t30\t65", "s\t30\t40\t30"},
         "each value covers its window\""},
        {"the cumulative track, with a gap",
         F::BedGraph,
         Plot::Cumulative,
         gaps,
         10,
         {"s\t0\t10\t0.25", "s\t20\t30\t0.73", "s\t30\t40\t1.06"},
         "each value covers its window; windows with more than half of their bases unknown are left out\""},
        {"exact G-C/G+C with a gap, in slices",
         F::BedGraph,
         Plot::Skew,
         both,
         5,
         {"s\t0\t7\t0.25", "s\t7\t12\t-0.545455", "s\t22\t30\t0.307692"},
         "; exact values to 6 significant digits; windows with more than half of their bases unknown are left out\""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WindowResults windows = w;
        if (row.step != 10) {
            WindowAccumulator slices(10, row.step, WindowKeeping{true, true});
            slices.add(reinterpret_cast<const unsigned char*>(bases.data()), 30);
            slices.finish(windows);
        }
        const QList<QByteArray> lines =
            Export(row.format, row.plot, {{"s", 30, windows}}, 10, row.step, row.options).split('\n');
        EXPECT_EQ(lines.mid(1, lines.size() - 2), row.lines);
        if (row.trackEnds) {
            EXPECT_TRUE(lines.front().endsWith(row.trackEnds)) << lines.front().constData();
        }
    }
}

TEST(ExportValues, NumberText)
{
    const std::pair<int64_t, const char*> hundredths[] = {
        {0, "0"}, {5, "0.05"}, {10, "0.1"}, {-7, "-0.07"}, {1200, "12"}, {-1234, "-12.34"}, {100050, "1000.5"}};
    for (const auto& [value, text] : hundredths) {
        std::string out;
        ValueWriter::AppendHundredths(out, value);
        EXPECT_EQ(out, text);
    }
    // Memoised text never mixes up floats that share a slot.
    QBuffer buffer;
    ValueWriter w(buffer, ValueFormat::Tsv, Plot::GCContent, 1, 1);
    for (float v : {0.1f, 0.10000001f, 43.7f, 43.700005f, -0.0f, 0.0f, 100.0f, -1.0f, 0.33333334f, 0.37f})
        EXPECT_EQ(QString::fromStdString(w.valueText(v)), FormatSingle(v, NumberLocale::c())) << v;
}

TEST(ExportValues, WriteFailureIsReported)
{
    QBuffer readOnly;
    readOnly.open(QIODevice::ReadOnly);
    WindowResults w;
    CalcWindows("ACGTACGTAC", 2, 1, w);
    ValueWriter writer(readOnly, ValueFormat::Tsv, Plot::GCContent, 2, 1);
    writer.begin();
    writer.writeRecord("x", w);
    EXPECT_FALSE(writer.finish());
}

namespace {
// Fills a store from a run over `path` with the given budget of windows.
std::shared_ptr<RecordStore> RunInto(const QString& path, uint64_t budget)
{
    RunSettings settings;
    settings.windowSize = kWindow;
    settings.step = kStep;
    auto store = std::make_shared<RecordStore>(path, settings, budget);
    struct Keep : RunListener {
        RecordStore& s;
        explicit Keep(RecordStore& store) : s(store) {}
        bool recordComputed(RecordResult&& r) override
        {
            s.add(std::move(r));
            return true;
        }
    } keep(*store);
    EXPECT_EQ(RunFile(path, settings, keep).end, RunEnd::Finished);
    return store;
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

// Past the memory budget "all records" reads the file again and writes each
// record as it comes: the same file as from kept windows. A file that no
// longer holds the same records fails and leaves the target as it was.
TEST(ExportValues, AllRecordsPastTheBudgetReadTheFileAgain)
{
    QTemporaryDir dir;
    const QString source = dir.filePath("excerpt.fa");
    ASSERT_TRUE(QFile::copy(QUILLET_SOURCE_DIR "/tests/data/athaliana_excerpt.fa", source));
    const auto kept = RunInto(source, RecordStore::kDefaultBudget);
    const auto dropped = RunInto(source, 0);
    ASSERT_TRUE(kept->allKept());
    ASSERT_FALSE(dropped->allKept());

    const auto write = [&](const RecordStore& store, const QString& target) {
        ValuesSource s;
        s.records = &store;
        s.windowSize = kWindow;
        s.step = kStep;
        return WriteValuesFile(target, ValueFormat::Tsv, Plot::GCContent, ValuesScope::All, s);
    };
    const QString a = dir.filePath("kept.tsv"), b = dir.filePath("read-again.tsv");
    ASSERT_EQ(write(*kept, a), ExportResult::Written);
    ASSERT_EQ(write(*dropped, b), ExportResult::Written);
    EXPECT_EQ(ReadAll(a), ReadAll(b));
    EXPECT_EQ(ReadAll(a).count('\n'),
              1 + (5000 - 100) / 100 * 4 + (30000 - 100) / 100 + (3669 - 100) / 100 + (1544 - 100) / 100);

    // The source loses its last record: nothing is written over the target.
    QFile f(source);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    const QByteArray content = f.readAll();
    f.resize(content.lastIndexOf('>'));
    f.close();
    EXPECT_EQ(write(*dropped, b), ExportResult::Failed);
    EXPECT_EQ(ReadAll(a), ReadAll(b));
}

// What a save dialog's answer asks for: the name's suffix (in any case)
// picks the type, else the chosen entry does, and a name without a suffix
// gets the type's.
const QString kNoFolder = QStringLiteral("/no-such-folder/");

TEST(FileTypes, MapValuesFollowTheSuffixThenTheEntry)
{
    const QString& dir = kNoFolder;
    using F = ValueFormat;
    struct MapCase {
        const char* name;
        int entry;
        F format;
        ValuesScope scope;
        const char* path;
    };
    for (const MapCase& c : std::initializer_list<MapCase>{{"v", 0, F::Tsv, ValuesScope::Shown, "v.tsv"},
                                                           {"v", 3, F::BedGraph, ValuesScope::All, "v.bedgraph"},
                                                           {"v", 5, F::BigWig, ValuesScope::All, "v.bw"},
                                                           {"v.BG", 0, F::BedGraph, ValuesScope::Shown, "v.BG"},
                                                           {"v.txt", 4, F::Tsv, ValuesScope::Shown, "v.txt"},
                                                           {"v.bigwig", 1, F::BigWig, ValuesScope::All, "v.bigwig"},
                                                           {"v.csv", 2, F::BedGraph, ValuesScope::Shown, "v.csv"}}) {
        const MapValuesChoice got = ChooseMapValues(dir + c.name, c.entry);
        EXPECT_EQ(got.format, c.format) << c.name << " " << c.entry;
        EXPECT_EQ(got.scope, c.scope) << c.name << " " << c.entry;
        EXPECT_EQ(got.path, dir + c.path) << c.name << " " << c.entry;
    }
}

// The explorer keeps a chosen bedGraph track and writes no bigWig.
TEST(FileTypes, ExplorerValuesFollowTheSuffixThenTheEntry)
{
    const QString& dir = kNoFolder;
    using F = ValueFormat;
    struct ExplorerCase {
        const char* name;
        int entry;
        F format;
        Plot plot;
        const char* path;
    };
    for (const ExplorerCase& c :
         std::initializer_list<ExplorerCase>{{"v", 0, F::Tsv, Plot::GCContent, "v.tsv"},
                                             {"v", 2, F::BedGraph, Plot::Skew, "v.bedgraph"},
                                             {"v", 3, F::BedGraph, Plot::Cumulative, "v.bedgraph"},
                                             {"v", 7, F::BedGraph, Plot::Cumulative, "v.bedgraph"},
                                             {"v.bedgraph", 0, F::BedGraph, Plot::GCContent, "v.bedgraph"},
                                             {"v.bg", 2, F::BedGraph, Plot::Skew, "v.bg"},
                                             {"v.TSV", 2, F::Tsv, Plot::GCContent, "v.TSV"},
                                             {"v.bw", 1, F::BedGraph, Plot::GCContent, "v.bw"}}) {
        const ExplorerValuesChoice got = ChooseExplorerValues(dir + c.name, c.entry);
        EXPECT_EQ(got.format, c.format) << c.name << " " << c.entry;
        EXPECT_EQ(got.plot, c.plot) << c.name << " " << c.entry;
        EXPECT_EQ(got.path, dir + c.path) << c.name << " " << c.entry;
    }
}

// A PNG name keeps the chosen PNG size.
TEST(FileTypes, PictureFollowsTheSuffixThenTheEntry)
{
    const QString& dir = kNoFolder;
    struct PictureCase {
        const char* name;
        int entry;
        PictureFormat format;
        int scale;
        const char* path;
    };
    for (const PictureCase& c : std::initializer_list<PictureCase>{{"p", 1, PictureFormat::Png, 2, "p.png"},
                                                                   {"p", -1, PictureFormat::Png, 1, "p.png"},
                                                                   {"p", 9, PictureFormat::Pdf, 1, "p.pdf"},
                                                                   {"p.png", 2, PictureFormat::Png, 4, "p.png"},
                                                                   {"p.PNG", 4, PictureFormat::Png, 1, "p.PNG"},
                                                                   {"p.svg", 1, PictureFormat::Svg, 1, "p.svg"},
                                                                   {"p.pdf", 3, PictureFormat::Pdf, 1, "p.pdf"},
                                                                   {"p.jpg", 3, PictureFormat::Svg, 1, "p.jpg"}}) {
        const PictureChoice got = ChoosePicture(dir + c.name, c.entry);
        EXPECT_EQ(got.format, c.format) << c.name << " " << c.entry;
        EXPECT_EQ(got.scale, c.scale) << c.name << " " << c.entry;
        EXPECT_EQ(got.path, dir + c.path) << c.name << " " << c.entry;
    }
}
