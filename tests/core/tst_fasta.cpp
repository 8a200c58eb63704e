// FASTA records: names, sequence cleaning in place, and the problems a
// record can have, as the reference reader finds them; every case is also
// cut by the program's FastaCutter in pieces of several sizes, which must
// find the same records up to the first it cannot take apart (where it
// stops).
#include "analysis/fasta.h"
#include "tests/reference/fastareader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace quillet;

namespace {

struct Taken {
    QString name;
    std::string sequence;
    FastaProblem problem;
};

// What FastaCutter hands on, as the reference reader gives it.
class Collect final : public RecordSink {
public:
    std::vector<Taken> records;
    bool recordBegins(uint64_t) override
    {
        records.push_back({QString(), std::string(), FastaProblem::None});
        name_.clear();
        return true;
    }
    void nameBytes(const char* bytes, std::size_t size) override { name_.append(bytes, size); }
    bool sequenceBegins() override
    {
        records.back().name = QString::fromLatin1(name_.data(), qsizetype(name_.size()));
        return true;
    }
    bool sequenceBytes(char* bytes, std::size_t size, uint64_t) override
    {
        records.back().sequence.append(bytes, std::size_t(CompactSequence(bytes, bytes + size) - bytes));
        return true;
    }
    bool recordEnds() override { return true; }
    void recordBroken(RecordProblem problem) override
    {
        records.back().problem =
            problem == RecordProblem::NoLineFeed ? FastaProblem::NoLineFeed : FastaProblem::EmptyHeader;
    }

private:
    std::string name_;
};

void ExpectCutterAgrees(const std::string& original, const std::vector<Taken>& reference)
{
    std::size_t upTo = 0;
    while (upTo < reference.size() && reference[upTo++].problem == FastaProblem::None) {
    }
    for (std::size_t piece : {std::size_t{1}, std::size_t{3}, original.size() + 1}) {
        std::string content = original;
        Collect sink;
        FastaCutter cutter;
        bool going = true;
        for (std::size_t at = 0; going && at < content.size(); at += piece)
            going = cutter.cut(content.data() + at, std::min(piece, content.size() - at), at, sink);
        if (going)
            cutter.finish(sink);
        ASSERT_EQ(sink.records.size(), upTo) << "pieces of " << piece << ": " << original;
        for (std::size_t k = 0; k < upTo; ++k) {
            EXPECT_EQ(sink.records[k].problem, reference[k].problem) << k << " in " << original;
            if (reference[k].problem == FastaProblem::None) {
                EXPECT_EQ(sink.records[k].name, reference[k].name) << k << " in " << original;
                EXPECT_EQ(sink.records[k].sequence, reference[k].sequence) << k << " in " << original;
            }
        }
    }
}

std::vector<Taken> ReadAll(std::string& content)
{
    const std::string original = content;
    std::vector<Taken> out;
    FastaReader reader(content);
    FastaRecord rec;
    FastaProblem problem;
    while (reader.next(rec, problem)) {
        EXPECT_EQ(reader.recordIndex(), out.size());
        out.push_back({rec.name, std::string(rec.sequence), problem});
    }
    ExpectCutterAgrees(original, out);
    return out;
}

std::vector<Taken> ReadAll(std::string&& content)
{
    return ReadAll(content);
}

} // namespace

TEST(FastaReader, TakesNamesUpToTheFirstTab)
{
    struct Case {
        std::string content;
        QString name;
    };
    const Case cases[] = {
        {">seq1\tsome description\nACGT\n", QStringLiteral("seq1")},
        {">chr1 human\r\nACGT\r\n", QStringLiteral("chr1 human\r")},
        {">\tonly a description\nACGT\n", QString()},
        {">a\tb\tc\nAC\n", QStringLiteral("a")},
        {">x\r\tdesc\nAC\n", QStringLiteral("x\r")},
    };
    for (const Case& c : cases) {
        const std::vector<Taken> recs = ReadAll(std::string(c.content));
        ASSERT_EQ(recs.size(), 1u) << c.content;
        EXPECT_EQ(recs[0].problem, FastaProblem::None);
        EXPECT_EQ(recs[0].name, c.name) << c.content;
        EXPECT_EQ(recs[0].sequence, std::string(c.content.find("ACGT") != std::string::npos ? "ACGT" : "AC"));
    }
}

TEST(FastaReader, NameBytesAreLatin1IncludingNulAndHighBytes)
{
    std::string content(">a");
    content += '\0';
    content += "b\xE9\xFF\x80\nAC\n";
    const std::vector<Taken> recs = ReadAll(content);
    ASSERT_EQ(recs.size(), 1u);
    const QString expected =
        QStringLiteral("a") + QChar(u'\0') + QStringLiteral("b") + QChar(0xE9) + QChar(0xFF) + QChar(0x80);
    EXPECT_EQ(recs[0].name, expected);
    EXPECT_EQ(recs[0].name.size(), 6);
}

TEST(FastaReader, CleansTheBodyInPlace)
{
    struct Case {
        std::string body;
        std::string sequence;
    };
    const Case cases[] = {
        {"AC GT\r\nNN-n\r\n", "ACGTNN-n"},
        {"", ""},
        {"\r\n\r\n  \n", ""},
        {"acgt\tN*1\n", "acgt\tN*1"}, // tabs, digits and '*' stay
        {"A\rC\rG\r", "ACG"},         // lone carriage returns go too
        {std::string(37, 'G') + " " + std::string(50, 'C') + "\n" + std::string(16, 'T') + "\n",
         std::string(37, 'G') + std::string(50, 'C') + std::string(16, 'T')},
        {std::string("A\0C\xE9 G", 6), std::string("A\0C\xE9G", 5)}, // NUL and high bytes kept
    };
    for (const Case& c : cases) {
        std::string content = ">name\n" + c.body;
        const std::size_t before = content.size();
        FastaReader reader(content);
        FastaRecord rec;
        FastaProblem problem;
        ASSERT_TRUE(reader.next(rec, problem));
        EXPECT_EQ(problem, FastaProblem::None);
        EXPECT_EQ(std::string(rec.sequence), c.sequence);
        // The view points into the content, which keeps its size.
        EXPECT_GE(rec.sequence.data(), content.data());
        EXPECT_LE(rec.sequence.data() + rec.sequence.size(), content.data() + content.size());
        EXPECT_EQ(content.size(), before);
        EXPECT_FALSE(reader.next(rec, problem));
    }
}

TEST(FastaReader, LongLinesAreCleanedAcrossBlockBoundaries)
{
    // Line lengths that put ignored bytes at every offset of a 16-byte block.
    std::string body, expected;
    for (int len = 1; len <= 40; ++len) {
        for (int k = 0; k < len; ++k) {
            const char c = "ACGTN"[(len + k) % 5];
            body += c;
            expected += c;
        }
        body += (len % 3 == 0) ? "\r\n" : (len % 3 == 1) ? " \n" : "\n";
    }
    const std::vector<Taken> recs = ReadAll(">x\n" + body);
    ASSERT_EQ(recs.size(), 1u);
    EXPECT_EQ(recs[0].sequence, expected);
}

TEST(FastaReader, CutsRecordsAtEveryGreaterThanSign)
{
    // Text before the first ">" is ignored; a ">" inside a header starts a
    // new record, so ">a>b\nAC\n" is the record "a" without a line feed,
    // then "b".
    const std::vector<Taken> recs = ReadAll(std::string("junk\nTTTT\n>one\nAC\nGT\n>two\tx\nGG\n>a>b\nCC\n"));
    ASSERT_EQ(recs.size(), 4u);
    EXPECT_EQ(recs[0].name, u"one");
    EXPECT_EQ(recs[0].sequence, "ACGT");
    EXPECT_EQ(recs[1].name, u"two");
    EXPECT_EQ(recs[1].sequence, "GG");
    EXPECT_EQ(recs[2].problem, FastaProblem::NoLineFeed);
    EXPECT_EQ(recs[3].name, u"b");
    EXPECT_EQ(recs[3].sequence, "CC");
}

TEST(FastaReader, EarlierSequencesStayValidAfterLaterRecords)
{
    std::string content = ">a\nA C\n>b\nG G\n";
    FastaReader reader(content);
    FastaRecord first, second;
    FastaProblem problem;
    ASSERT_TRUE(reader.next(first, problem));
    ASSERT_TRUE(reader.next(second, problem));
    EXPECT_EQ(first.sequence, "AC");
    EXPECT_EQ(second.sequence, "GG");
}

TEST(FastaReader, ReportsRecordsThatCannotBeTakenApart)
{
    struct Case {
        const char* name;
        std::string content;
        std::vector<FastaProblem> problems;
    };
    const Case cases[] = {
        {"only record without line feed", ">header only", {FastaProblem::NoLineFeed}},
        {"lone >", ">", {FastaProblem::NoLineFeed}},
        {"first without line feed", ">a>b\nAC\n", {FastaProblem::NoLineFeed, FastaProblem::None}},
        {"second without line feed", ">a\nAC\n>b", {FastaProblem::None, FastaProblem::NoLineFeed}},
        {"empty header", ">\nACGT\n", {FastaProblem::EmptyHeader}},
        {"empty header after CR is not empty", ">\r\nAC\n", {FastaProblem::None}},
        {"empty body", ">a\n", {FastaProblem::None}},
        {"no > at all", "ACGT\nACGT\n", {}},
        {"empty content", "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<Taken> recs = ReadAll(std::string(c.content));
        ASSERT_EQ(recs.size(), c.problems.size());
        for (std::size_t k = 0; k < recs.size(); ++k)
            EXPECT_EQ(recs[k].problem, c.problems[k]) << k;
    }
}

TEST(FastaReader, TopologyFromTheHeadersModifiers)
{
    const std::pair<std::string_view, Topology> cases[] = {
        {"pX1 plasmid [topology=circular]", Topology::Circular},
        {"pX1 [top=circular] complete", Topology::Circular},
        {"chr1 [TOPOLOGY = Circular ]", Topology::Circular},
        {"[ top=linear]", Topology::Linear},
        {"pX1 [organism=E. coli] [topology=circular]", Topology::Circular},
        {"pX1 [topology=linear] [topology=circular]", Topology::Linear}, // the first counts
        {"pX1 [topology=ring]", Topology::Unknown},
        {"pX1 circular plasmid", Topology::Unknown},
        {"pX1 topology=circular", Topology::Unknown},          // no brackets
        {"pX1 [topology=circular", Topology::Unknown},         // not closed
        {"pX1 [mol_topology=circular]", Topology::Unknown},    // another key
        {"pX1 [topology] [top=circular]", Topology::Circular}, // a bracket without "=" first
        {"", Topology::Unknown},
    };
    for (const auto& [header, topology] : cases)
        EXPECT_EQ(TopologyInHeader(header), topology) << header;
}

TEST(FastaReader, DisplayNameFromTheHeadersModifiers)
{
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"ref|NC_001136| [org=Saccharomyces cerevisiae] [chromosome=IV]", "chromosome IV"},
        {"pX1 [plasmid=pX]", "plasmid pX"},
        {"pX1 [Plasmid-Name = pBR322 ]", "plasmid pBR322"},
        {"NC_012920.1 [location=mitochondrion]", "mitochondrion"},
        {"x [organelle=plastid:chloroplast]", "chloroplast"},
        {"x [LOCATION=Mitochondrion]", "Mitochondrion"}, // the value as written
        {"x [chromosome=] [plasmid=pA]", "plasmid pA"},  // the first with a value
        {"x [location=chloroplast] [chromosome=1]", "chloroplast"},
        {"x [topology=circular] [chromosome=2", ""}, // not closed
        {"x chromosome=IV", ""},                     // no brackets
        {"x [strain=K-12]", ""},
        {"", ""},
    };
    for (const auto& [header, name] : cases)
        EXPECT_EQ(DisplayNameInHeader(header), name) << header;
}
