// The streaming run engine: records and windows equal to reading the whole
// content at once, wherever chunk boundaries fall; compressed input of every
// kind; broken, truncated and foreign files; cancelling; bounded memory.
#include "analysis/engine.h"
#include "analysis/input.h"
#include "analysis/recordstore.h"
#include "analysis/runverdict.h"
#include "tests/reference/fastareader.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <tuple>
#include <unistd.h>

using namespace quillet;

namespace {

// Collects what the engine hands over.
struct Collect : RunListener {
    std::vector<RecordResult> records;
    int64_t cancelAfterBytes = -1;
    uint64_t lastDone = 0;
    bool recordComputed(RecordResult&& r) override
    {
        records.push_back(std::move(r));
        return true;
    }
    void progress(uint64_t done, uint64_t) override { lastDone = done; }
    bool cancelled() override { return cancelAfterBytes >= 0 && lastDone >= uint64_t(cancelAfterBytes); }
};

// Content served in pieces of a fixed size, as a decompressor might.
class PieceStream : public InputStream {
public:
    PieceStream(std::string content, std::size_t piece) : content_(std::move(content)), piece_(piece) {}
    std::size_t read(char* buffer, std::size_t capacity) override
    {
        const std::size_t n = std::min({capacity, piece_, content_.size() - pos_});
        std::memcpy(buffer, content_.data() + pos_, n);
        pos_ += n;
        return n;
    }
    uint64_t consumed() const override { return pos_; }
    uint64_t total() const override { return content_.size(); }

private:
    std::string content_;
    std::size_t piece_;
    std::size_t pos_ = 0;
};

RunSettings Settings(int32_t ws, int32_t step, std::size_t chunk = std::size_t{1} << 20)
{
    RunSettings s;
    s.windowSize = ws;
    s.step = step;
    s.chunkSize = chunk;
    return s;
}

// What whole-content reading gives: the records that compute, then how the
// run ends.
struct Expected {
    std::vector<RecordResult> records;
    RunEnd end = RunEnd::Finished;
};

Expected ReadWhole(std::string content, int32_t ws, int32_t step)
{
    Expected e;
    FastaReader reader(content);
    FastaRecord rec;
    FastaProblem problem;
    bool any = false;
    while (reader.next(rec, problem)) {
        if (problem != FastaProblem::None) {
            e.end = any ? RunEnd::AnalysisFailure : RunEnd::FileFailure;
            return e;
        }
        any = true;
        RecordResult r;
        try {
            CalcWindows(rec.sequence, ws, step, r.windows);
        } catch (const std::exception&) {
            e.end = RunEnd::AnalysisFailure;
            return e;
        }
        r.info.name = rec.name;
        r.info.length = int64_t(rec.sequence.size());
        e.records.push_back(std::move(r));
    }
    if (!any)
        e.end = RunEnd::NoRecord;
    return e;
}

// Where the running sum of the window values in hundredths, as the values
// table's cumulative column adds them, is first lowest and first highest:
// the middle base of that window (the left one of two), 0 without windows.
std::pair<int64_t, int64_t> CumulativeExtremes(const std::vector<float>& skew, int32_t ws, int32_t step)
{
    int64_t sum = 0, low = 0, high = 0;
    std::size_t lowAt = 0, highAt = 0;
    for (std::size_t k = 1; k + 1 < skew.size(); ++k) {
        sum += std::llround(double(skew[k]) * 100.0);
        if (k == 1 || sum < low)
            low = sum, lowAt = k;
        if (k == 1 || sum > high)
            high = sum, highAt = k;
    }
    const auto middle = [&](std::size_t k) { return k == 0 ? 0 : int64_t(k - 1) * step + (ws + 1) / 2; };
    return {middle(lowAt), middle(highAt)};
}

std::string RandomFasta(std::mt19937& rng, int records)
{
    static const char kBytes[] = "ACGTacgtNNSWKMRYBDHV- \r\n\n\n\t>";
    std::string s = "junk before\n";
    for (int r = 0; r < records; ++r) {
        s += ">rec" + std::to_string(r) + (r % 3 ? "\tdesc\n" : "\r\n");
        const int len = int(rng() % 400);
        s += 'G';
        for (int i = 0; i < len; ++i) {
            char c = kBytes[rng() % (sizeof kBytes - 2)]; // no ">" inside bodies
            s += c;
            if (i % 61 == 60)
                s += '\n';
        }
        s += '\n';
    }
    return s;
}

QString WriteFile(const QTemporaryDir& dir, const QString& name, const std::string& bytes)
{
    const QString path = dir.filePath(name);
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes.data(), qint64(bytes.size()));
    return path;
}

// Compresses a file with a command-line tool of the same library (gzip,
// zstd, xz, bzip2 from Debian) into `out`.
bool Compress(const QString& tool, const QStringList& args, const QString& in, const QString& out)
{
    QProcess p;
    p.setStandardInputFile(in);
    p.setStandardOutputFile(out);
    p.start(tool, args);
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

} // namespace

TEST(RunEngine, EqualsWholeReadingWhereverChunksEnd)
{
    std::mt19937 rng(7);
    std::vector<std::string> contents = {
        ">a\nACGT\n>b\nGGGG\n",
        ">\nACGT\n",
        ">a\nACGT\n>\nAC\n",
        ">a",
        ">a\nAC\n>b",
        "no record here",
        "",
        ">x\n\n>y\nACGT\n",
        ">a\r\nAC GT\r\nNN-n\r\n",
        ">a>b\nAC\n",
        "\n\n>z\tt\nA\n",
    };
    for (int i = 0; i < 6; ++i)
        contents.push_back(RandomFasta(rng, 1 + i * 7));
    for (const std::string& content : contents) {
        for (const std::size_t chunk :
             {std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{64}, std::size_t{1} << 20}) {
            for (const auto& [ws, step] : {std::pair{2, 1}, std::pair{5, 3}, std::pair{50, 20}}) {
                const Expected want = ReadWhole(content, ws, step);
                PieceStream in(content, chunk % 5 + 1);
                Collect got;
                const RunReport report = RunInput(in, Settings(ws, step, chunk), got);
                const std::string where = "content " + content.substr(0, 20) + " chunk " + std::to_string(chunk);
                EXPECT_EQ(report.end, want.end) << where;
                ASSERT_EQ(got.records.size(), want.records.size()) << where;
                for (std::size_t r = 0; r < want.records.size(); ++r) {
                    const RecordResult& a = got.records[r];
                    const RecordResult& b = want.records[r];
                    EXPECT_EQ(a.info.name, b.info.name) << where;
                    EXPECT_EQ(a.info.length, b.info.length) << where;
                    EXPECT_EQ(a.info.number, int64_t(r + 1)) << where;
                    EXPECT_EQ(a.windows.GCValues, b.windows.GCValues) << where;
                    EXPECT_EQ(a.windows.SkewValues, b.windows.SkewValues) << where;
                    EXPECT_EQ(a.windows.UnknownCounts, b.windows.UnknownCounts) << where;
                    EXPECT_EQ(a.windows.AvgGC, b.windows.AvgGC) << where;
                    EXPECT_EQ(content[a.info.offset], '>') << where;
                    const auto [minimum, maximum] = CumulativeExtremes(b.windows.SkewValues, ws, step);
                    EXPECT_EQ(a.info.cumulativeMinPosition, minimum) << where;
                    EXPECT_EQ(a.info.cumulativeMaxPosition, maximum) << where;
                }
            }
        }
    }
}

// A GenBank or EMBL record gives the windows of the same sequence in
// FASTA, named as the databases' FASTA files name it, wherever chunks end;
// the feature table (with its ">", digits and "/") is no part of it.
TEST(RunEngine, FlatFilesGiveTheValuesOfTheSameSequenceInFasta)
{
    struct Case {
        const char* what;
        std::string flat, fasta;
        std::vector<Topology> topologies;
        // What the source feature calls each record (FASTA names alone).
        std::vector<const char*> displayNames;
    };
    const std::string features = "FEATURES             Location/Qualifiers\n"
                                 "     source          1..24\n"
                                 "                     /organism=\"test\"\n"
                                 "                     /plasmid=\"pX\"\n"
                                 "     gene            1..>18\n"
                                 "                     /gene=\"dnaA\"\n"
                                 "                     /note=\"a > b; 3/4 of it\"\n";
    const Case cases[] = {
        {"GenBank, a definition on two lines",
         "LOCUS       NC_1   24 bp    DNA     circular CON 09-MAR-2022\n"
         "DEFINITION  Test plasmid pX,\n            complete sequence.\n"
         "ACCESSION   NC_1\nVERSION     NC_1.1\nKEYWORDS    RefSeq.\n" +
             features + "ORIGIN      \n        1 agcttttcat tctgactgca\n       21 nngg\n//\n",
         ">NC_1.1 Test plasmid pX, complete sequence\nagcttttcattctgactgcanngg\n",
         {Topology::Circular},
         {"plasmid pX"}},
        {"GenBank, two records, CRLF, one without VERSION",
         "\r\nLOCUS       A   4 bp    DNA     linear\r\nACCESSION   A\r\nORIGIN\r\n        1 acgt\r\n//\r\n"
         "LOCUS       B   8 bp    DNA\r\nDEFINITION  b.\r\nACCESSION   B\r\nVERSION     B.2\r\n"
         "FEATURES             Location/Qualifiers\r\n     gene            1..4\r\n"
         "                     /chromosome=\"II\"\r\nORIGIN\r\n"
         "        1 ggcc ggaa\r\n//\r\n",
         ">A\nacgt\n>B.2 b\nggccggaa\n",
         {Topology::Linear, Topology::Unknown},
         {"", ""}}, // a gene's /chromosome is no source's
        {"GenBank, the last record without its //",
         "LOCUS       C   6 bp\nVERSION     C.1\nORIGIN\n        1 gcgcga\n",
         ">C.1\ngcgcga\n",
         {Topology::Unknown},
         {""}},
        {"GenBank, a record without sequence",
         "LOCUS       D\nVERSION     D.1\n//\nLOCUS       E\nORIGIN\n 1 ac\n//\n",
         ">D.1\n>E\nac\n",
         {},
         {}},
        {"EMBL",
         "ID   X56734; SV 1; circular; mRNA; STD; PLN; 20 BP.\nXX\nAC   X56734; S46826;\nXX\n"
         "DE   Trifolium repens mRNA for\nDE   beta-glucosidase.\nXX\nFT   source          1..20\n"
         "FT                   /organelle=\"plastid:chloroplast\"\nFT   CDS             <1..>20\n"
         "SQ   Sequence 20 BP; 6 A; 4 C; 4 G; 6 T; 0 other;\n     aaacaaacca aatatggatt        20\n//\n",
         ">X56734.1 Trifolium repens mRNA for beta-glucosidase\naaacaaaccaaatatggatt\n",
         {Topology::Circular},
         {"chloroplast"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PieceStream whole(c.fasta, c.fasta.size());
        Collect want;
        const RunReport wantReport = RunInput(whole, Settings(5, 3), want);
        for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{1} << 20}) {
            PieceStream in(c.flat, chunk);
            Collect got;
            const RunReport report = RunInput(in, Settings(5, 3, chunk), got);
            EXPECT_EQ(report.end, wantReport.end) << chunk;
            ASSERT_EQ(got.records.size(), want.records.size()) << chunk;
            for (std::size_t r = 0; r < want.records.size(); ++r) {
                const RecordResult& a = got.records[r];
                const RecordResult& b = want.records[r];
                EXPECT_EQ(a.info.name, b.info.name) << chunk;
                EXPECT_EQ(a.info.length, b.info.length) << chunk;
                EXPECT_EQ(a.windows.GCValues, b.windows.GCValues) << chunk;
                EXPECT_EQ(a.windows.SkewValues, b.windows.SkewValues) << chunk;
                EXPECT_EQ(a.windows.UnknownCounts, b.windows.UnknownCounts) << chunk;
                EXPECT_EQ(a.windows.AvgGC, b.windows.AvgGC) << chunk;
                EXPECT_TRUE(c.flat.compare(a.info.offset, 2, "LO") == 0 || c.flat.compare(a.info.offset, 2, "ID") == 0);
                EXPECT_EQ(a.info.topology, c.topologies[r]) << chunk;
                EXPECT_EQ(a.info.displayName.toStdString(), c.displayNames[r]) << chunk;
                EXPECT_NE(a.info.format, RecordFormat::Fasta);
            }
        }
    }
}

// The cumulative G-C/G+C's lowest and highest points, where they are known
// by construction, the same whether the run keeps its windows or not and
// wherever chunks end.
TEST(RunEngine, CumulativeExtremesWithAndWithoutKeptWindows)
{
    struct Case {
        std::string body;
        int32_t ws, step;
        int64_t minimum, maximum;
    } cases[] = {
        // Down to -5 by window 15 (1401..1500), up to 5 at window 5.
        {std::string(500, 'G') + std::string(1000, 'C') + std::string(500, 'G'), 100, 100, 1450, 450},
        // C-rich half then G-rich half: the sum falls to window 10, then
        // climbs back to 0 at the last window, its highest.
        {std::string(1000, 'c') + std::string(1000, 'g'), 100, 100, 950, 1950},
        // Ties: -1, 0, -1, 0; the first window that reaches each one.
        {"CCCCGGGGCCCCGGGG", 4, 4, 2, 6},
        // Overlapping odd windows: -1, -0.33, 0.33, 1 sum to -100, -133,
        // -100, 0 hundredths: windows 2 and 4, middles 3 and 5.
        {"CCCGGG", 3, 1, 3, 5},
        // Windows without G+C count 0; a step of 0 is the one window 1 .. 10.
        {"AAAATTTTAA", 10, 0, 5, 5},
        // Gaps between windows: 1..2 (-1) and 6..7 (+1).
        {"CCGGGGGCC", 2, 5, 1, 6},
        // No window: 0 for both.
        {"GGC", 5, 1, 0, 0},
    };
    for (const Case& c : cases) {
        for (const bool keep : {true, false}) {
            for (const std::size_t chunk : {std::size_t{1}, std::size_t{3}, std::size_t{1} << 20}) {
                PieceStream in(">r\n" + c.body + "\n", chunk);
                RunSettings settings = Settings(c.ws, c.step, chunk);
                settings.keepWindows = keep;
                Collect got;
                RunInput(in, settings, got);
                const std::string where = c.body.substr(0, 20) + " keep " + std::to_string(keep);
                ASSERT_EQ(got.records.size(), 1u) << where;
                EXPECT_EQ(got.records[0].info.cumulativeMinPosition, c.minimum) << where;
                EXPECT_EQ(got.records[0].info.cumulativeMaxPosition, c.maximum) << where;
            }
        }
    }
}

// A circle's windows are those of a linear run over its sequence followed
// by its first window - 1 bases, for a step below, equal to and above the
// window and wherever chunks end; its length, unknown count and average
// stay its own, and the cumulative extremes are positions on the circle.
// Where the file or the header says nothing, or the choice is linear, or
// the record is shorter than the window, it stays a line.
TEST(RunEngine, CircularRecordsWrapTheirWindowsPastTheOrigin)
{
    // C-rich at its end, G-rich at its start: the wrapped windows differ.
    const std::string body = "GGGNGGATATCGCGTTAACCCCATCCC";
    const int64_t L = int64_t(body.size());
    struct Case {
        const char* what;
        std::string header; // FASTA header line, or a GenBank record when it starts with LOCUS
        TopologyChoice choice;
        int32_t ws, step;
        bool wraps;
    };
    const std::string genbank = "LOCUS       p1   27 bp    DNA     circular\nORIGIN\n        1 " + body.substr(0, 10) +
                                " " + body.substr(10) + "\n//\n";
    const std::string embl =
        "ID   p2; SV 1; linear; DNA; STD; PRO; 27 BP.\nSQ   Sequence 27 BP;\n     " + body + "\n//\n";
    // A GFF3 file with its sequence after ##FASTA; `seqid` is the record its region line calls circular.
    const auto gff3 = [&](const std::string& seqid) {
        return "##gff-version 3\n" + seqid + "\t.\tregion\t1\t27\t.\t+\t.\tID=r1; Is_circular=true\n##FASTA\n>p\tx\n" +
               body + "\n";
    };
    const Case cases[] = {
        {"step below the window", ">p [topology=circular]", TopologyChoice::Auto, 6, 4, true},
        {"step equal to the window", ">p [top=circular]", TopologyChoice::Auto, 5, 5, true},
        {"step above the window", ">p", TopologyChoice::Circular, 4, 7, true},
        {"step of 1", ">p [Topology = Circular]", TopologyChoice::Auto, 8, 1, true},
        {"window of the whole record", ">p", TopologyChoice::Circular, 27, 2, true},
        {"GenBank circular", genbank, TopologyChoice::Auto, 6, 4, true},
        {"EMBL linear", embl, TopologyChoice::Auto, 6, 4, false},
        {"EMBL linear, all records circles", embl, TopologyChoice::Circular, 6, 4, true},
        {"GFF3 region circular", gff3("p"), TopologyChoice::Auto, 6, 4, true},
        {"GFF3 circular region of another record", gff3("q"), TopologyChoice::Auto, 6, 4, false},
        {"GFF3 circular seqid percent-encoded", gff3("%70"), TopologyChoice::Auto, 6, 4, true},
        {"header says linear", ">p [topology=linear]", TopologyChoice::Auto, 6, 4, false},
        {"header says nothing", ">p circular", TopologyChoice::Auto, 6, 4, false},
        {"linear choice", ">p [topology=circular]", TopologyChoice::Linear, 6, 4, false},
        {"record shorter than the window", ">p", TopologyChoice::Circular, 28, 4, false},
        {"step of 0: the one window", ">p", TopologyChoice::Circular, 6, 0, false},
    };
    for (const Case& c : cases) {
        const std::string content =
            c.header.starts_with("LOCUS") || c.header.starts_with("ID") || c.header.starts_with("##")
                ? c.header
                : c.header + "\n" + body + "\n";
        // The linear run it must equal.
        const std::string extended = c.wraps ? body + body.substr(0, std::size_t(c.ws - 1)) : body;
        PieceStream whole(">x\n" + extended + "\n", 1 << 20);
        Collect want;
        RunSettings linear = Settings(c.ws, c.step);
        linear.keepWindows = {true, true};
        ASSERT_EQ(RunInput(whole, linear, want).end, RunEnd::Finished) << c.what;
        const RecordResult& w = want.records.at(0);
        for (const std::size_t chunk : {std::size_t{1}, std::size_t{5}, std::size_t{1} << 20}) {
            SCOPED_TRACE(std::string(c.what) + ", chunk " + std::to_string(chunk));
            PieceStream in(content, chunk);
            RunSettings settings = Settings(c.ws, c.step, chunk);
            settings.keepWindows = {true, true};
            settings.topology = c.choice;
            Collect got;
            ASSERT_EQ(RunInput(in, settings, got).end, RunEnd::Finished);
            ASSERT_EQ(got.records.size(), 1u);
            const RecordResult& r = got.records[0];
            EXPECT_EQ(r.info.wrapped, c.wraps);
            EXPECT_EQ(r.info.length, L);
            EXPECT_EQ(r.sequenceLength, L);
            EXPECT_EQ(r.info.unknown, 1);
            EXPECT_EQ(r.info.windows, c.step < 1 ? 1
                                      : c.wraps  ? (L - 1) / c.step + 1
                                                 : WindowCountFor(L, c.ws, c.step));
            EXPECT_EQ(r.info.windows, w.info.windows);
            EXPECT_EQ(r.windows.GCValues, w.windows.GCValues);
            EXPECT_EQ(r.windows.SkewValues, w.windows.SkewValues);
            EXPECT_EQ(r.windows.UnknownCounts, w.windows.UnknownCounts);
            EXPECT_EQ(r.windows.GCTenths, w.windows.GCTenths);
            EXPECT_EQ(r.windows.SkewTenths, w.windows.SkewTenths);
            // The average of the record's own bases, not of the extended run.
            WindowResults own;
            CalcWindows(body, 1, 1, own);
            EXPECT_EQ(r.info.AvgGC, own.AvgGC);
            // Origin and terminus: the linear run's windows, the middle
            // base taken round the circle.
            const auto onCircle = [&](int64_t p) { return p > L ? p - L : p; };
            EXPECT_EQ(r.info.cumulativeMinPosition, onCircle(w.info.cumulativeMinPosition));
            EXPECT_EQ(r.info.cumulativeMaxPosition, onCircle(w.info.cumulativeMaxPosition));
            if (r.info.windows > 0) {
                EXPECT_GE(std::min(r.info.cumulativeMinPosition, r.info.cumulativeMaxPosition), 1);
                EXPECT_LE(std::max(r.info.cumulativeMinPosition, r.info.cumulativeMaxPosition), L);
            }
        }
    }
    // A stretch of a circular record is a line of its own.
    RunSettings s = Settings(6, 4);
    s.topology = TopologyChoice::Circular;
    s.restrictRecord = [](const QString&) { return true; };
    s.firstBase = 3;
    s.lastBase = 20;
    PieceStream in(">p\n" + body + "\n", 1 << 20);
    Collect got;
    ASSERT_EQ(RunInput(in, s, got).end, RunEnd::Finished);
    EXPECT_FALSE(got.records.at(0).info.wrapped);
    EXPECT_EQ(got.records[0].info.windows, WindowCountFor(18, 6, 4));
}

// Only a stretch of the records a name test accepts is computed, as if it
// were the whole sequence, wherever chunks end; other records stay whole.
TEST(RunEngine, StretchOfTheChosenRecords)
{
    const std::string a = "ACGTTGCAGGCCAATT", b = "GGGCCCATATGCGCNNACGT";
    const std::string content =
        ">a\n" + a.substr(0, 7) + "\n" + a.substr(7) + "\n>b x\n" + b.substr(0, 9) + "\r\n" + b.substr(9) + "\n";
    for (const std::size_t chunk : {std::size_t{1}, std::size_t{3}, std::size_t{64}}) {
        for (const auto& [first, last] :
             {std::pair{1, 20}, std::pair{3, 9}, std::pair{9, 14}, std::pair{15, 99}, std::pair{30, 40}}) {
            const std::string where = "chunk " + std::to_string(chunk) + " stretch " + std::to_string(first);
            RunSettings s = Settings(4, 2, chunk);
            s.restrictRecord = [](const QString& name) { return name == QStringLiteral("b x"); };
            s.firstBase = first;
            s.lastBase = last;
            PieceStream in(content, chunk % 5 + 1);
            Collect got;
            ASSERT_EQ(RunInput(in, s, got).end, RunEnd::Finished) << where;
            ASSERT_EQ(got.records.size(), 2u) << where;
            EXPECT_EQ(got.records[0].info.length, 16) << where;
            EXPECT_EQ(got.records[0].sequenceLength, 16) << where;
            EXPECT_EQ(got.records[1].sequenceLength, 20) << where;

            const int size = std::max(0, std::min(last, 20) - first + 1);
            if (size == 0) { // the record ends before the stretch: no window, no failure
                EXPECT_EQ(got.records[1].info.length, 0) << where;
                EXPECT_EQ(got.records[1].windows.GCValues.size(), 2u) << where;
                continue;
            }
            const Expected want =
                ReadWhole(">b x\n" + (size > 0 ? b.substr(std::size_t(first - 1), std::size_t(size)) : ""), 4, 2);
            ASSERT_EQ(want.records.size(), 1u);
            const RecordResult& r = got.records[1];
            const RecordResult& w = want.records[0];
            EXPECT_EQ(r.info.length, size) << where;
            EXPECT_EQ(r.info.unknown, first <= 16 && last >= 15 ? std::min(last, 16) - std::max(first, 15) + 1 : 0)
                << where; // the NN at 15 and 16
            EXPECT_EQ(r.windows.GCValues, w.windows.GCValues) << where;
            EXPECT_EQ(r.windows.SkewValues, w.windows.SkewValues) << where;
            EXPECT_EQ(r.windows.UnknownCounts, w.windows.UnknownCounts) << where;
            EXPECT_EQ(r.windows.AvgGC, w.windows.AvgGC) << where;
        }
    }
}

TEST(RunEngine, ParametersThatDoNotConvertFailAtTheFirstWellFormedRecord)
{
    RunSettings s;
    s.step = 1; // the window text did not convert
    const std::pair<const char*, RunEnd> cases[] = {
        {">a\nACGT\n", RunEnd::AnalysisFailure}, // the record is there: analysis
        {">a", RunEnd::FileFailure},             // broken first record: file
        {"ACGT", RunEnd::NoRecord},
    };
    for (const auto& [content, end] : cases) {
        PieceStream in(content, 100);
        Collect got;
        EXPECT_EQ(RunInput(in, s, got).end, end) << content;
        EXPECT_TRUE(got.records.empty());
    }
}

// Records that cannot be computed: without sequence (a header alone, cut
// short by the next ">" or the end, or followed by nothing), longer than
// positions reach, or whose window and step pass 32-bit positions. The
// window's run ends at the first (the listener's default); a listener that
// goes on hears of each one and gets every other record. quillet-map's
// forgiving headers make an empty header line a record with an empty name
// and a header cut short one without sequence, except in the first record.
TEST(RunEngine, RecordsThatCannotBeComputed)
{
    struct Told : Collect {
        std::vector<std::tuple<RecordFault, int64_t, QString, int64_t>> failed;
        bool goOn = false;
        bool recordFailed(const RecordInfo& info, RecordFault fault) override
        {
            failed.emplace_back(fault, info.number, info.name, info.length);
            return goOn;
        }
    };
    using F = RecordFault;
    struct Case {
        std::string content;
        int32_t ws, step;
        bool forgiving;
        RunEnd end;                // when the first failure ends the run
        QString detail;            // its detail
        std::size_t before;        // records computed before it
        std::vector<QString> told; // "fault number name length" of each, going on
        std::vector<QString> computed;
    };
    const auto told = [](F f, int64_t n, const char* name, int64_t length) {
        return QStringLiteral("%1 %2 %3 %4").arg(int(f)).arg(n).arg(QLatin1String(name)).arg(length);
    };
    const std::string long12 = ">a\nACGTAC\nGTACGT\n>b\nACGT\n";
    const Case cases[] = {
        {">a\n>b\nACGT\n", 2, 1, false, RunEnd::AnalysisFailure, {}, 0, {told(F::NoSequence, 1, "a", 0)}, {"b"}},
        {">a\n \r\n>b\nACGT\n", 2, 1, true, RunEnd::AnalysisFailure, {}, 0, {told(F::NoSequence, 1, "a", 0)}, {"b"}},
        {">a\nAC\n>b", 2, 1, true, RunEnd::AnalysisFailure, {}, 1, {told(F::NoSequence, 2, "b", 0)}, {"a"}},
        {">a\nAC\n>b\tx>c\nGG\n",
         2,
         1,
         true,
         RunEnd::AnalysisFailure,
         {},
         1,
         {told(F::NoSequence, 2, "b", 0)},
         {"a", "c"}},
        {">a\nAC\n>\n>c\nGG\n",
         2,
         1,
         true,
         RunEnd::AnalysisFailure,
         {},
         1,
         {told(F::NoSequence, 2, "", 0)},
         {"a", "c"}},
        {">\nACGT\n>\tx\nAC\n", 2, 1, true, RunEnd::Finished, {}, 2, {}, {"", ""}},
        // Without forgiving headers these stay broken records, whatever the
        // listener; a first record's header must end in a line break.
        {">a\nAC\n>b", 2, 1, false, RunEnd::AnalysisFailure, {}, 1, {}, {"a"}},
        {">\nACGT\n", 2, 1, false, RunEnd::FileFailure, {}, 0, {}, {}},
        {">a>b\nAC\n", 2, 1, true, RunEnd::FileFailure, {}, 0, {}, {}},
        // 12 bases where records of 10 or more cannot be computed (see
        // longestRecord below): the run's detail names it and the limit.
        {long12,
         2,
         1,
         false,
         RunEnd::TooLong,
         "record \"a\" is 12 bp: records of 10 bp or more cannot be mapped",
         0,
         {told(F::TooLong, 1, "a", 12)},
         {"b"}},
        // A step that takes the next step mark past 2^31 - 1: the window's
        // analysis failure.
        {">a\n" + std::string(1000, 'A') + "\n>b\nAC\n",
         1000,
         2147483000,
         false,
         RunEnd::AnalysisFailure,
         {},
         0,
         {told(F::PastPositions, 1, "a", 1000)},
         {"b"}},
    };
    for (const Case& c : cases) {
        for (const bool goOn : {false, true}) {
            for (const std::size_t chunk : {std::size_t{1}, std::size_t{3}, std::size_t{1} << 20}) {
                const std::string where =
                    c.content.substr(0, 20) + (goOn ? " going on" : "") + " chunk " + std::to_string(chunk);
                RunSettings s = Settings(c.ws, c.step, chunk);
                s.forgivingHeaders = c.forgiving;
                s.longestRecord = c.content == long12 ? 10 : kLongestSequence;
                PieceStream in(c.content, chunk % 5 + 1);
                Told got;
                got.goOn = goOn;
                const RunReport report = RunInput(in, s, got);
                std::vector<QString> computed, heard;
                for (const RecordResult& r : got.records)
                    computed.push_back(r.info.name);
                for (const auto& [fault, number, name, length] : got.failed)
                    heard.push_back(told(fault, number, name.toLatin1().constData(), length));
                if (goOn && !c.told.empty()) {
                    EXPECT_EQ(report.end, RunEnd::Finished) << where;
                    EXPECT_EQ(heard, c.told) << where;
                    EXPECT_EQ(computed, c.computed) << where;
                    continue;
                }
                EXPECT_EQ(report.end, c.end) << where;
                EXPECT_EQ(report.detail, c.detail) << where;
                EXPECT_EQ(computed.size(), c.before) << where;
                // The window says which record and where the limit is.
                if (c.end == RunEnd::TooLong) {
                    EXPECT_EQ(JudgeRun(report, QStringLiteral("f.fa"), 0, Wording::Window).message,
                              QStringLiteral("f.fa: ") + c.detail + u'.')
                        << where;
                }
            }
        }
    }
}

TEST(RunEngine, UnknownPositionsCountPerRecordAndWindow)
{
    PieceStream in(">a\nACGTNNNNacgtRYnn\n", 3);
    Collect got;
    RunInput(in, Settings(4, 4), got);
    ASSERT_EQ(got.records.size(), 1u);
    EXPECT_EQ(got.records[0].info.unknown, 8);
    EXPECT_EQ(got.records[0].windows.UnknownCounts, (std::vector<int32_t>{0, 0, 4, 0, 4, 0}));
}

// Every compressed form of a multi-record file gives the plain file's
// records; truncated and corrupted ones are reported as damaged, never as a
// shorter result.
TEST(RunEngine, CompressedFilesOfEveryKind)
{
    QTemporaryDir dir;
    std::mt19937 rng(11);
    const std::string content = RandomFasta(rng, 300);
    const QString plain = WriteFile(dir, QStringLiteral("plain.fa"), content);
    const Expected want = ReadWhole(content, 50, 20);
    ASSERT_EQ(want.end, RunEnd::Finished);

    struct Kind {
        const char* tool;
        QStringList args;
        Compression compression;
    };
    const Kind kinds[] = {{"gzip", {"-c"}, Compression::Gzip},
                          {"zstd", {"-c", "-q"}, Compression::Zstd},
                          {"xz", {"-c"}, Compression::Xz},
                          {"bzip2", {"-c"}, Compression::Bzip2}};
    for (const Kind& k : kinds) {
        const QString packed = dir.filePath(QStringLiteral("packed.") + QLatin1String(k.tool));
        ASSERT_TRUE(Compress(QLatin1String(k.tool), k.args, plain, packed)) << k.tool;
        QFile f(packed);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const std::string bytes = f.readAll().toStdString();

        // Whole, concatenated with itself (multi-member gzip, several frames
        // or streams), truncated, and with a flipped byte in the middle.
        std::string flipped = bytes;
        flipped[bytes.size() / 2] = char(flipped[bytes.size() / 2] ^ 0x55);
        const std::pair<std::string, int> variants[] = {
            {bytes, 1}, {bytes + bytes, 2}, {bytes.substr(0, bytes.size() - 9), -1}, {flipped, -1}};
        for (const auto& [data, copies] : variants) {
            const QString path = WriteFile(dir, QStringLiteral("v.bin"), data);
            Collect got;
            const RunReport report = RunFile(path, Settings(50, 20), got);
            if (copies < 0) {
                EXPECT_EQ(report.end, RunEnd::Damaged) << k.tool;
                EXPECT_FALSE(report.detail.isEmpty());
                continue;
            }
            // Two copies read as the plain file twice over.
            const Expected whole = copies == 1 ? want : ReadWhole(content + content, 50, 20);
            EXPECT_EQ(report.end, RunEnd::Finished) << k.tool;
            ASSERT_EQ(got.records.size(), whole.records.size()) << k.tool;
            for (std::size_t r = 0; r < got.records.size(); ++r) {
                const RecordResult& b = whole.records[r];
                EXPECT_EQ(got.records[r].info.name, b.info.name);
                EXPECT_EQ(got.records[r].windows.GCValues, b.windows.GCValues);
            }
        }
        EXPECT_EQ(OpenInput(packed)->compression(), k.compression);
    }

    // bgzip: members of at most 64 KiB with a "BC" extra field, then an
    // empty end-of-file member. Small members make many jobs for the
    // threads that inflate them, whose content must come out in order; a
    // cut file and a flipped byte are damage, as above.
    {
        std::string bgzf;
        for (std::size_t at = 0; at < content.size(); at += 1000) {
            const QString piece = WriteFile(dir, QStringLiteral("piece"), content.substr(at, 1000));
            const QString gz = dir.filePath(QStringLiteral("piece.gz"));
            ASSERT_TRUE(Compress(QStringLiteral("gzip"), {"-c", "-n"}, piece, gz));
            QFile f(gz);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            std::string member = f.readAll().toStdString();
            member[3] = char(member[3] | 4); // FEXTRA
            const uint16_t bsize = uint16_t(member.size() + 8 - 1);
            member.insert(10, std::string("\x06\x00"
                                          "BC\x02\x00",
                                          6) +
                                  char(bsize & 0xff) + char(bsize >> 8));
            bgzf += member;
        }
        bgzf += std::string("\x1f\x8b\x08\x04\0\0\0\0\0\xff\x06\0BC\x02\0\x1b\0\x03\0\0\0\0\0\0\0\0\0", 28);
        ASSERT_GT(content.size(), 40000u); // members for several jobs of blocks
        std::string flipped = bgzf;
        flipped[bgzf.size() / 2] = char(flipped[bgzf.size() / 2] ^ 0x55);
        for (const auto& [data, damaged] :
             {std::pair{bgzf, false}, {bgzf.substr(0, bgzf.size() - 40), true}, {flipped, true}}) {
            Collect got;
            const RunReport report = RunFile(WriteFile(dir, QStringLiteral("b.fa.gz"), data), Settings(50, 20), got);
            if (damaged) {
                EXPECT_EQ(report.end, RunEnd::Damaged) << report.detail.toStdString();
                continue;
            }
            EXPECT_EQ(report.end, RunEnd::Finished) << report.detail.toStdString();
            ASSERT_EQ(got.records.size(), want.records.size());
            for (std::size_t r = 0; r < got.records.size(); ++r)
                EXPECT_EQ(got.records[r].windows.SkewValues, want.records[r].windows.SkewValues);
        }
        // A skip goes by the blocks: from the start, inside a block, onto a
        // block's start, after reading into the first chunk, to the end and
        // past it (false).
        const QString packed = WriteFile(dir, QStringLiteral("s.fa.gz"), bgzf);
        const auto readRest = [](InputStream& in, std::size_t most) {
            std::string out(most, '\0');
            std::size_t filled = 0;
            while (filled < most)
                if (const std::size_t got = in.read(out.data() + filled, most - filled))
                    filled += got;
                else
                    break;
            out.resize(filled);
            return out;
        };
        const std::size_t n = content.size();
        for (const auto& [before, skip] : {std::pair<std::size_t, std::size_t>{0, 0},
                                           {0, 999},
                                           {0, 1000},
                                           {10, 990},
                                           {20, 2},
                                           {0, 23456},
                                           {30000, 5},
                                           {5, 30000},
                                           {0, n - 3},
                                           {7, n - 7}}) {
            const auto in = OpenInput(packed);
            const std::string head = readRest(*in, before);
            ASSERT_TRUE(in->skip(skip)) << before << "+" << skip;
            EXPECT_EQ(head + readRest(*in, n), content.substr(0, before) + content.substr(before + skip))
                << before << "+" << skip;
        }
        EXPECT_FALSE(OpenInput(packed)->skip(n + 1));
    }

    // A compressed empty file holds no record.
    const QString empty = WriteFile(dir, QStringLiteral("empty.fa"), "");
    for (const Kind& k : kinds) {
        const QString packed = dir.filePath(QStringLiteral("empty.") + QLatin1String(k.tool));
        ASSERT_TRUE(Compress(QLatin1String(k.tool), k.args, empty, packed));
        Collect got;
        EXPECT_EQ(RunFile(packed, Settings(50, 20), got).end, RunEnd::NoRecord) << k.tool;
    }
}

TEST(RunEngine, FilesOfAnotherKindAreNamed)
{
    QTemporaryDir dir;
    const std::pair<std::string, const char*> cases[] = {
        {std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR>>>", 20), "PNG picture"},
        {std::string("PK\x03\x04\x14\0\0\0>a\nACGT", 14), "ZIP archive"},
        {std::string("%PDF-1.4\n>a\nAC\n"), "PDF document"},
        {std::string("\xff\xd8\xff\xe0>x\n"), "JPEG picture"},
        // A tar archive of a FASTA file: "ustar" at byte 257 of its header,
        // the member's text after the 512-byte header.
        {[] {
             std::string t(512, '\0');
             t.replace(0, 4, "a.fa");
             t.replace(257, 8,
                       "ustar\0"
                       "00",
                       8);
             return t + ">a\nACGT\n";
         }(),
         "tar archive"},
        // Random bytes (with a ">" and line breaks among them): no text.
        {[] {
             std::mt19937 rng(3);
             std::string b = "\x01\x02>x\n";
             for (int i = 0; i < 600; ++i)
                 b += char(rng());
             return b;
         }(),
         "binary data, not text"},
    };
    for (const auto& [bytes, kind] : cases) {
        Collect got;
        const RunReport r = RunFile(WriteFile(dir, QStringLiteral("x"), bytes), Settings(2, 1), got);
        EXPECT_EQ(r.end, RunEnd::Unsupported) << kind;
        EXPECT_TRUE(r.detail.contains(QLatin1String(kind))) << r.detail.toStdString();
    }
    // A BAM file is gzip-compressed (BGZF) with its own magic inside.
    const QString bamText = WriteFile(dir, QStringLiteral("bam.raw"), std::string("BAM\x01\0\0\0\0", 8));
    const QString bam = dir.filePath(QStringLiteral("a.bam"));
    ASSERT_TRUE(Compress(QStringLiteral("gzip"), {"-c"}, bamText, bam));
    Collect got;
    const RunReport r = RunFile(bam, Settings(2, 1), got);
    EXPECT_EQ(r.end, RunEnd::Unsupported);
    EXPECT_TRUE(r.detail.contains(QLatin1String("gzip-compressed and holds a BAM"))) << r.detail.toStdString();
    // A stray control character or NUL bytes (a file with a hole) are
    // characters of a sequence, not binary data.
    for (const std::string& text :
         {std::string(">a\x01\x02\0b\nAC\x1bGT\n", 13), std::string(">a\n") + std::string(4000, '\0') + "\n"}) {
        Collect kept;
        EXPECT_EQ(RunFile(WriteFile(dir, QStringLiteral("t"), text), Settings(2, 1), kept).end, RunEnd::Finished);
    }
}

// A small file that expands to gigabytes: the run keeps a bounded memory
// and can be cancelled part-way.
TEST(RunEngine, DecompressionBombIsCancellableInBoundedMemory)
{
    QTemporaryDir dir;
    std::string block = ">bomb\n";
    block += std::string(64 << 20, 'A'); // 64 MiB of one letter
    const QString plain = WriteFile(dir, QStringLiteral("block.fa"), block);
    const QString one = dir.filePath(QStringLiteral("one.zst"));
    ASSERT_TRUE(Compress(QStringLiteral("zstd"), {"-c", "-q"}, plain, one));
    QFile f(one);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray frame = f.readAll();
    // 160 frames: 10 GiB of content from a file of a few kilobytes.
    QByteArray bomb;
    for (int i = 0; i < 160; ++i)
        bomb += frame;
    const QString path = WriteFile(dir, QStringLiteral("bomb.zst"), bomb.toStdString());
    ASSERT_LT(bomb.size(), 1 << 20);

    struct Watch : RunListener {
        std::atomic<uint64_t> chunks{0};
        std::atomic<long> peakKb{0};
        bool recordComputed(RecordResult&&) override { return true; }
        void progress(uint64_t, uint64_t) override
        {
            ++chunks;
            rusage u{};
            getrusage(RUSAGE_SELF, &u);
            peakKb = std::max(peakKb.load(), u.ru_maxrss);
        }
        bool cancelled() override { return chunks >= 1000; } // about 1 GiB in
    };
    // The run goes on a thread of its own, so that a run which does not stop
    // fails this test instead of hanging the suite (the thread is then left
    // behind, owning everything it uses).
    struct Run {
        QString path;
        Watch watch;
        RunReport report;
        std::atomic<bool> ended{false};
    };
    auto run = std::make_shared<Run>();
    run->path = path;
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    std::thread([run] {
        run->report = RunFile(run->path, Settings(1000000, 1000000), run->watch);
        run->ended = true;
    }).detach();
    // Once cancelled, with 9 GiB still to come, the run ends within seconds.
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> cancelledAt;
    while (!run->ended) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!cancelledAt && run->watch.chunks >= 1000)
            cancelledAt = Clock::now();
        ASSERT_FALSE(cancelledAt && Clock::now() - *cancelledAt > std::chrono::seconds(10))
            << "the run did not stop within 10 s of being cancelled";
    }
    EXPECT_EQ(run->report.end, RunEnd::Cancelled);
    // The memory the run added stays far below what was decompressed.
    EXPECT_LT(run->watch.peakKb - before.ru_maxrss, 200 * 1024) << "peak " << run->watch.peakKb.load() << " kB";
}

// A run over a file twice the size of the address space this process may
// use succeeds: the file is never held whole.
TEST(RunEngine, FileLargerThanTheAddressSpaceLimit)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__has_feature)
#if defined(__SANITIZE_ADDRESS__) || __has_feature(address_sanitizer)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit";
#endif
#endif
    QTemporaryDir dir;
    constexpr int64_t kLimit = int64_t{768} << 20;
    const QString path = dir.filePath(QStringLiteral("big.fa"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(">big\n");
        std::string line(1 << 20, 'G');
        for (int i = 0; i < 4; ++i)
            line[std::size_t(i) * 1000] = 'A';
        for (int64_t written = 0; written < 2 * kLimit + (64 << 20); written += int64_t(line.size()))
            ASSERT_EQ(f.write(line.data(), qint64(line.size())), qint64(line.size()));
    }
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit limit{rlim_t(kLimit), rlim_t(kLimit)};
        if (setrlimit(RLIMIT_AS, &limit) != 0)
            _exit(3);
        Collect got;
        const RunReport r = RunFile(path, Settings(1000000, 1000000), got);
        const bool ok = r.end == RunEnd::Finished && got.records.size() == 1 &&
                        got.records[0].info.length == 1600 * int64_t(1 << 20) && got.records[0].info.windows == 1677;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A run may hold half of the physical memory or of the address-space
// limit, whichever is lower; RunMemoryCap() reads the limit as it is now.
TEST(RunEngine, MemoryCapIsHalfThePhysicalMemoryOrTheAddressSpaceLimit)
{
    constexpr uint64_t GiB = uint64_t{1} << 30, kNone = std::numeric_limits<uint64_t>::max();
    struct Case {
        uint64_t physical, addressSpace, cap;
    };
    const Case cases[] = {
        {24 * GiB, kNone, 12 * GiB},       // no address-space limit
        {24 * GiB, 8 * GiB, 4 * GiB},      // a lower one (ulimit -v)
        {4 * GiB, 16 * GiB, 2 * GiB},      // a higher one
        {3 * GiB + 1, kNone, 3 * GiB / 2}, // rounded down
        {kNone, kNone, kNone / 2},         // the physical memory unknown
    };
    for (const Case& c : cases)
        EXPECT_EQ(RunMemoryCap(c.physical, c.addressSpace), c.cap) << c.physical << " " << c.addressSpace;

    // This process's: a child lowers its limit and compares.
    const uint64_t physical = PhysicalMemory();
    EXPECT_EQ(RunMemoryCap(), RunMemoryCap(physical, [] {
                  rlimit now{};
                  getrlimit(RLIMIT_AS, &now);
                  return now.rlim_cur == RLIM_INFINITY ? kNone : uint64_t(now.rlim_cur);
              }()));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        rlimit limit{};
        getrlimit(RLIMIT_AS, &limit);
        limit.rlim_cur = rlim_t(6 * GiB);
        if (setrlimit(RLIMIT_AS, &limit) != 0)
            _exit(3);
        _exit(RunMemoryCap() == std::min(physical, 6 * GiB) / 2 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3)
        GTEST_SKIP() << "the hard address-space limit is below 6 GiB";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A run stops as soon as it would pass its memory cap, before taking the
// memory: a gzip bomb at window 1 and step 1 ends within its first
// megabytes, and the message says what ran out. Records that fill the cap
// are told apart from windows that do.
TEST(RunEngine, RunStopsAsSoonAsItWouldPassItsMemoryCap)
{
    QTemporaryDir dir;
    const QString plain = WriteFile(dir, QStringLiteral("block.fa"), std::string(16 << 20, 'A'));
    const QString member = dir.filePath(QStringLiteral("block.gz"));
    ASSERT_TRUE(Compress(QStringLiteral("gzip"), {"-c"}, plain, member));
    QFile f(member);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray block = f.readAll();
    // 4 GiB of one letter from a file of 4 MB.
    QByteArray bomb;
    {
        QTemporaryDir headerDir;
        const QString header = WriteFile(headerDir, QStringLiteral("h"), ">bomb\tdecompresses to 4 GiB\n");
        const QString headerGz = headerDir.filePath(QStringLiteral("h.gz"));
        ASSERT_TRUE(Compress(QStringLiteral("gzip"), {"-c"}, header, headerGz));
        QFile h(headerGz);
        ASSERT_TRUE(h.open(QIODevice::ReadOnly));
        bomb = h.readAll();
    }
    for (int i = 0; i < 256; ++i)
        bomb += block;
    const QString path = WriteFile(dir, QStringLiteral("bomb.fa.gz"), bomb.toStdString());

    RunSettings settings = Settings(1, 1);
    settings.memoryCap = 4 << 20;
    Collect got;
    const RunReport r = RunFile(path, settings, got);
    EXPECT_EQ(r.end, RunEnd::OutOfMemory);
    // 262,144 windows with the old arrays as they grow fit in 4 MiB, twice
    // that do not; the first is no window and one is kept for the end.
    EXPECT_EQ(r.detail, QStringLiteral("record \"bomb\" needs more than 262,142 windows; they do not fit in the 4.2 MB "
                                       "of memory a run may hold"));
    EXPECT_TRUE(got.records.empty());
    // Read no further than a few chunks past the cap (and the decompressor's
    // first 256 KiB of the file), not to the end.
    EXPECT_LT(got.lastDone, uint64_t(bomb.size()) / 8) << "of " << bomb.size() << " bytes";

    // Records taken that fill the cap: the listener refuses the next one
    // (as the record store does), or holds the cap before it is computed.
    std::string records;
    for (int i = 1; i <= 5; ++i)
        records += ">r" + std::to_string(i) + "\n" + std::string(300, "ACGT"[i % 4]) + "\n";
    const QString several = WriteFile(dir, QStringLiteral("records.fa"), records);
    struct Filling : RunListener {
        bool refuses; // the third record; otherwise it holds the cap after two
        int taken = 0;
        explicit Filling(bool r) : refuses(r) {}
        bool recordComputed(RecordResult&&) override
        {
            if (refuses && taken == 2)
                throw MemoryCapReached();
            ++taken;
            return true;
        }
        uint64_t heldBytes() override { return !refuses && taken == 2 ? 1 << 20 : 0; }
    };
    settings = Settings(10, 10);
    settings.memoryCap = 1 << 20;
    for (const bool refuses : {true, false}) {
        Filling listener(refuses);
        const RunReport full = RunFile(several, settings, listener);
        EXPECT_EQ(full.end, RunEnd::OutOfMemory);
        EXPECT_EQ(full.records, 2);
        EXPECT_EQ(full.detail,
                  QStringLiteral("the 2 records before record \"r3\" fill the 1.0 MB of memory a run may hold"));
    }
}

// The windows of the records before the last stay while all kept windows
// take at most 256 MiB; a record that would take the store past the run's
// cap is refused, changing nothing.
TEST(RecordStore, HoldsItsBudgetAndTheRunsCap)
{
    // Windows of 64 MiB each, reserved and never touched, so they cost
    // address space only.
    const auto record = [](int number, std::size_t mebibytes) {
        RecordResult r;
        r.info.number = number;
        r.info.name = QStringLiteral("r%1").arg(number);
        r.windows.GCValues.reserve(mebibytes << 18);
        return r;
    };
    RunSettings settings = Settings(1, 1);
    settings.memoryCap = uint64_t{1} << 30;
    RecordStore store(QStringLiteral("unread.fa"), settings);
    for (int n = 1; n <= 6; ++n)
        store.add(record(n, 64));
    std::vector<bool> kept;
    for (std::size_t i = 0; i < store.size(); ++i)
        kept.push_back(store.kept(i) != nullptr);
    // 256 MiB after four; the fifth passes the budget and goes when the
    // sixth comes, which is kept as the last.
    EXPECT_EQ(kept, (std::vector<bool>{true, true, true, true, false, true}));
    EXPECT_EQ(store.keptBytes(), uint64_t{320} << 20);
    EXPECT_GT(store.heldBytes(), store.keptBytes());
    EXPECT_LT(store.heldBytes(), store.keptBytes() + (64 << 10)); // names, profiles, slots

    settings.memoryCap = uint64_t{100} << 20;
    RecordStore capped(QStringLiteral("unread.fa"), settings);
    capped.add(record(1, 64));
    const uint64_t held = capped.heldBytes();
    EXPECT_THROW(capped.add(record(2, 64)), MemoryCapReached);
    EXPECT_EQ(capped.size(), 1u);
    EXPECT_EQ(capped.heldBytes(), held);
    capped.add(record(3, 16));
    EXPECT_EQ(capped.size(), 2u);
    EXPECT_LE(capped.heldBytes(), settings.memoryCap);
}

TEST(RecordStore, KeepsWindowsWithinItsBudgetAndReadsTheRestAgain)
{
    QTemporaryDir dir;
    std::mt19937 rng(3);
    const std::string content = RandomFasta(rng, 40);
    for (const auto& [name, tool] : {std::pair{"plain.fa", ""}, std::pair{"packed.fa.gz", "gzip"}}) {
        QString path = WriteFile(dir, QStringLiteral("src.fa"), content);
        if (*tool) {
            const QString packed = dir.filePath(QLatin1String(name));
            ASSERT_TRUE(Compress(QLatin1String(tool), {"-c"}, path, packed));
            path = packed;
        }
        RecordStore store(path, Settings(5, 3), 2000); // room for a few records only
        struct ToStore : RunListener {
            RecordStore& s;
            explicit ToStore(RecordStore& st) : s(st) {}
            bool recordComputed(RecordResult&& r) override
            {
                s.add(std::move(r));
                return true;
            }
        } sink(store);
        ASSERT_EQ(RunFile(path, store.settings(), sink).end, RunEnd::Finished);
        const Expected want = ReadWhole(content, 5, 3);
        ASSERT_EQ(store.size(), want.records.size());
        EXPECT_FALSE(store.allKept());
        EXPECT_TRUE(store.kept(store.size() - 1)); // the record shown after the run
        for (std::size_t i = 0; i < store.size(); ++i) {
            const auto w = store.load(i);
            ASSERT_TRUE(w) << name << " record " << i;
            EXPECT_EQ(w->GCValues, want.records[i].windows.GCValues);
            EXPECT_EQ(store.info(i).name, want.records[i].info.name);
        }
        // A file changed since the run no longer gives the record.
        WriteFile(dir, QLatin1String(name), ">other\nAAAA\n");
        if (!*tool)
            WriteFile(dir, QStringLiteral("src.fa"), ">other\nAAAA\n");
        // The first record whose windows were not kept must be read again:
        // there is one (not everything fitted), and it cannot be.
        std::size_t dropped = 0;
        while (dropped < store.size() && store.kept(dropped))
            ++dropped;
        ASSERT_LT(dropped, store.size()) << name << ": every record was kept";
        EXPECT_FALSE(store.load(dropped)) << name;
    }
}
