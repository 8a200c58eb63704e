// The explorer's data: any view of a record, at any window and step, equals
// CalcWindows run on that stretch alone, from a plain or gzip file, with the
// bases kept or read again; the window and step chooser; the memory bound.
#include "analysis/calcwindows.h"
#include "analysis/engine.h"
#include "analysis/explorerdata.h"
#include "analysis/failure.h"
#include "analysis/numtext.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

using namespace quillet;

namespace {

struct Infos : RunListener {
    std::vector<RecordInfo> records;
    bool recordComputed(RecordResult&& r) override
    {
        records.push_back(r.info);
        return true;
    }
};

std::vector<RecordInfo> ReadInfos(const QString& path)
{
    RunSettings s;
    s.windowSize = 1000;
    s.step = 1000;
    s.keepWindows = false;
    Infos l;
    EXPECT_EQ(RunFile(path, s, l).end, RunEnd::Finished);
    return l.records;
}

// Every IUPAC letter in both cases, a gap and a stray byte, mostly A, C, G,
// T, with runs of N.
std::string Bases(std::size_t length, unsigned seed)
{
    static const std::string kRare = "RYSWKMBDHVNrykswmbdhvnacgtU-*0";
    static const std::string kCommon = "ACGTACGTGGCCacgt";
    std::mt19937 rng(seed);
    std::string s;
    s.reserve(length);
    while (s.size() < length) {
        const unsigned r = rng() % 1000;
        if (r == 0)
            s.append(std::min<std::size_t>(length - s.size(), 50 + rng() % 3000), r % 2 ? 'N' : 'n');
        else
            s.push_back(r < 40 ? kRare[rng() % kRare.size()] : kCommon[rng() % kCommon.size()]);
    }
    return s;
}

// FASTA text of `bases` between two other records, in lines of uneven
// lengths ended by LF or CR LF, with a stray space now and then.
std::string Fasta(const std::string& bases, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string text = ">before\r\nACGTNNAC\r\n>target\tsome description\r\n";
    for (std::size_t at = 0; at < bases.size();) {
        const std::size_t n = std::min<std::size_t>(bases.size() - at, 1 + rng() % 120);
        text.append(bases, at, n);
        if (rng() % 50 == 0)
            text.push_back(' ');
        text += rng() % 3 ? "\r\n" : "\n";
        at += n;
    }
    return text + ">after\nGGCC\n";
}

void Write(const QString& path, const std::string& bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_EQ(f.write(bytes.data(), qint64(bytes.size())), qint64(bytes.size()));
}

bool Gzip(const QString& in, const QString& out)
{
    QProcess p;
    p.setStandardInputFile(in);
    p.setStandardOutputFile(out);
    p.start(QStringLiteral("gzip"), {QStringLiteral("-c")});
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

// The view against CalcWindows on the same stretch; the first difference.
void ExpectSameAsCalcWindows(const ExplorerData& d, const std::string& bases, int64_t from, int64_t to, int32_t w,
                             int32_t s)
{
    SCOPED_TRACE(testing::Message() << "view " << from << ".." << to << " window " << w << " step " << s);
    const ViewWindows v = d.windows(from, to, w, s);
    const int64_t f = std::max<int64_t>(from, 1), t = std::min<int64_t>(to, int64_t(bases.size()));
    ASSERT_EQ(v.from, f);
    ASSERT_EQ(v.to, t);
    WindowResults want;
    CalcWindows(std::string_view(bases).substr(std::size_t(f - 1), std::size_t(t - f + 1)), w, s, want);
    ASSERT_EQ(v.values.GCValues.size(), want.GCValues.size());
    EXPECT_EQ(v.values.AvgGC, want.AvgGC);
    for (std::size_t k = 0; k < want.GCValues.size(); ++k) {
        ASSERT_EQ(v.values.GCValues[k], want.GCValues[k]) << "window " << k;
        ASSERT_EQ(v.values.SkewValues[k], want.SkewValues[k]) << "window " << k;
        ASSERT_EQ(v.values.UnknownCounts[k], want.UnknownCounts[k]) << "window " << k;
    }
}

// The circle's windows against CalcWindows over the record followed by its
// first w - 1 bases: one window for each start up to its length.
void ExpectCircleAsExtendedRecord(const ExplorerData& d, const std::string& bases, int32_t w, int32_t s)
{
    SCOPED_TRACE(testing::Message() << "circle, window " << w << " step " << s);
    const ViewWindows v = d.circle(w, s);
    WindowResults want, own;
    CalcWindows(bases + bases.substr(0, std::size_t(w - 1)), w, s, want);
    CalcWindows(bases, w, s, own);
    const std::size_t n = (bases.size() - 1) / std::size_t(s) + 1;
    ASSERT_EQ(v.values.GCValues.size(), n + 2);
    EXPECT_EQ(v.values.AvgGC, own.AvgGC);
    for (std::size_t k = 1; k <= n; ++k) {
        ASSERT_EQ(v.values.GCValues[k], want.GCValues[k]) << "window " << k;
        ASSERT_EQ(v.values.SkewValues[k], want.SkewValues[k]) << "window " << k;
        ASSERT_EQ(v.values.UnknownCounts[k], want.UnknownCounts[k]) << "window " << k;
    }
}

} // namespace

TEST(ExplorerData, ViewsEqualCalcWindowsOnTheStretchAtEveryZoom)
{
    QTemporaryDir dir;
    const std::string bases = Bases(300'001, 7);
    const QString plain = dir.filePath("r.fa"), gz = dir.filePath("r.fa.gz");
    Write(plain, Fasta(bases, 11));
    ASSERT_TRUE(Gzip(plain, gz));
    const int64_t L = int64_t(bases.size());

    struct Case {
        const char* what;
        QString path;
        uint64_t budget;
        bool kept;
    };
    const Case cases[] = {
        {"plain, bases kept", plain, ExplorerData::kDefaultBudget, true},
        {"gzip, bases kept", gz, ExplorerData::kDefaultBudget, true},
        {"plain, read again", plain, 60'000, false},
        {"gzip, decompressed again", gz, 60'000, false},
    };
    // Views: from, to, window and step (0: the chooser's).
    struct View {
        int64_t from, to;
        int32_t window, step;
    };
    const View views[] = {
        {1, L, 0, 0},                  // the whole record
        {-5, L + 99, 0, 0},            // clamped to it
        {40'037, 160'011, 0, 0},       // a middle zoom, off the grain
        {100'001, 200'000, 500, 500},  // on the grain
        {100'001, 200'000, 1000, 300}, // overlapping, on the grain at the start
        {123'457, 143'456, 10, 10},    // 20 kb, windows of 10
        {250'003, 251'999, 10, 1},     // every position
        {299'990, L, 10, 3},           // the end of the record
        {77, 5'076, 17, 0},            // no step: one window
        {1, 9, 10, 10},                // stretch shorter than the window
        {1, 1, 1, 1},                  // one base
        {500, 400, 10, 10},            // empty stretch
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::vector<RecordInfo> infos = ReadInfos(c.path);
        ASSERT_EQ(infos.size(), 3u);
        const auto d = ExplorerData::Load(c.path, infos[1], {}, c.budget);
        ASSERT_TRUE(d);
        EXPECT_EQ(d->length(), L);
        EXPECT_EQ(d->name(), QStringLiteral("target"));
        EXPECT_EQ(d->basesKept(), c.kept);
        EXPECT_LE(d->memoryBytes(), std::min<uint64_t>(c.budget, uint64_t(L)) + sizeof(ExplorerData));
        for (const View& v : views) {
            auto [w, s] = ChooseWindowAndStep(v.from, v.to);
            if (v.window)
                std::tie(w, s) = std::pair(v.window, v.step);
            if (v.from > v.to) {
                const ViewWindows e = d->windows(v.from, v.to, w, s);
                EXPECT_EQ(e.values.GCValues.size(), 2u);
                continue;
            }
            ExpectSameAsCalcWindows(*d, bases, v.from, v.to, w, s);
        }
        // Step below, equal to and above the window; one that divides the length.
        for (const auto& [w, s] : {std::pair{1000, 300}, {1000, 1000}, {1000, 1500}, {10, 7}, {3001, 3001}})
            ExpectCircleAsExtendedRecord(*d, bases, w, s);
    }
}

TEST(ExplorerData, ChangedFileAndCancelling)
{
    QTemporaryDir dir;
    const std::string bases = Bases(20'000, 3);
    const QString path = dir.filePath("r.fa");
    Write(path, Fasta(bases, 5));
    const RecordInfo info = ReadInfos(path)[1];

    EXPECT_FALSE(ExplorerData::Load(path, info, [] { return true; }));
    RecordInfo other = info;
    other.length += 1;
    EXPECT_THROW(ExplorerData::Load(path, other), Failure);
    other = info;
    other.name = QStringLiteral("another");
    EXPECT_THROW(ExplorerData::Load(path, other), Failure);
    EXPECT_THROW(ExplorerData::Load(dir.filePath("missing.fa"), info), Failure);

    // Bases read again from a file that changed since.
    const auto d = ExplorerData::Load(path, info, {}, 1000);
    ASSERT_TRUE(d && !d->basesKept());
    std::string changed = bases;
    std::replace(changed.begin(), changed.end(), 'A', 'G');
    Write(path, Fasta(changed, 5));
    EXPECT_THROW(d->windows(1001, 3000, 10, 10), Failure);
}

TEST(ExplorerData, ChooserGivesAThousandToTwoThousandWindows)
{
    const int64_t lengths[] = {1,         9,          10,          11,           500,       2009,
                               2010,      4008,       4009,        8006,         8007,      10005,
                               10006,     15000,      123457,      1'000'000,    2'200'000, 4'500'000,
                               9'999'999, 50'000'000, 248'956'422, 2'147'483'647};
    for (int64_t length : lengths) {
        for (int64_t from : {int64_t(1), int64_t(1'000'001)}) {
            const auto [w, s] = ChooseWindowAndStep(from, from + length - 1);
            SCOPED_TRACE(testing::Message() << length << " bases: window " << w << " step " << s);
            EXPECT_GE(w, 10);
            EXPECT_GE(s, 1);
            EXPECT_LE(s, w);
            const int64_t n = WindowCountFor(length, w, s);
            EXPECT_LE(n, 2000);
            if (!(w == 10 && s == 1)) {
                EXPECT_GE(n, 1000);
            }
        }
    }
}

TEST(ExplorerData, FiftyMegabaseRecordWithinOneBytePerBase)
{
    QTemporaryDir dir;
    const std::string bases = Bases(50'000'000, 9);
    const QString path = dir.filePath("big.fa");
    Write(path, ">big\n" + bases + "\n");
    const RecordInfo info = ReadInfos(path)[0];
    const auto start = std::chrono::steady_clock::now();
    const auto d = ExplorerData::Load(path, info);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(d);
    std::printf("50 Mb record: loaded in %.2f s, %zu bytes\n", seconds, d->memoryBytes());
    EXPECT_TRUE(d->basesKept());
    EXPECT_LE(d->memoryBytes(), bases.size());
    const auto [w, s] = ChooseWindowAndStep(1, d->length());
    ExpectSameAsCalcWindows(*d, bases, 1, d->length(), w, s);
    ExpectSameAsCalcWindows(*d, bases, 31'234'567, 31'254'566, 10, 10);
}
