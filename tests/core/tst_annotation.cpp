// Annotation readers: GFF3, GTF, BED, GenBank and EMBL into feature sets,
// every GenBank location form, recognising the format, and the messages
// for bad lines and files of another kind.
#include "analysis/annotation.h"
#include "analysis/failure.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace quillet;

namespace {

// '|' stands for a tab in the tables below.
std::string Tabs(std::string s)
{
    for (char& c : s)
        c = c == '|' ? '\t' : c;
    return s;
}

// A feature as one line: "record:type parts strand name flags", its
// parent by ID and its note when it has one.
std::string Describe(const FeatureSet& set, uint32_t i)
{
    const Feature f = set.feature(i);
    std::string s = set.records()[f.record].id + ":" + std::string(f.type) + " ";
    for (std::size_t k = 0; k < f.parts.size(); ++k)
        s += (k ? "," : "") + std::to_string(f.parts[k].start) + "-" + std::to_string(f.parts[k].end);
    s += f.strand == Strand::Forward ? " +" : f.strand == Strand::Reverse ? " -" : " .";
    if (!f.name.empty())
        s += " " + std::string(f.name);
    s += std::string(f.partialStart ? " <" : "") + (f.partialEnd ? " >" : "") + (f.site ? " site" : "") +
         (f.acrossOrigin ? " origin" : "") + (f.joined ? "" : " order");
    if (f.parent != FeatureSet::kNone)
        s += " in:" + std::string(set.feature(f.parent).id);
    if (!f.note.empty())
        s += " note=" + std::string(f.note);
    return s;
}

std::vector<std::string> DescribeAll(const FeatureSet& set)
{
    std::vector<std::string> out;
    for (uint32_t i = 0; i < set.size(); ++i)
        out.push_back(Describe(set, i));
    return out;
}

std::vector<std::string> DescribeRecords(const FeatureSet& set)
{
    std::vector<std::string> out;
    for (const FeatureRecord& r : set.records())
        out.push_back(r.id + " " + std::to_string(r.length) +
                      (r.topology == Topology::Circular ? " circular"
                       : r.topology == Topology::Linear ? " linear"
                                                        : ""));
    return out;
}

// A reader, with the number of pieces to read a table format in.
using Reader = AnnotationFile (*)(std::string_view, std::string_view, int);

AnnotationFile GenBank(std::string_view content, std::string_view name, int)
{
    return ReadGenBank(content, name);
}

AnnotationFile Embl(std::string_view content, std::string_view name, int)
{
    return ReadEmbl(content, name);
}

AnnotationFile Recognised(std::string_view content, std::string_view name, int)
{
    return ReadAnnotation(content, name);
}

std::string Message(Reader read, const std::string& content, const std::string& name, int pieces = 1)
{
    try {
        read(content, name, pieces);
    } catch (const Failure& e) {
        return e.what();
    }
    return "(read)";
}

// One GenBank record of 5,000 bp with one feature at `location` (a line
// break in it continues the location on the next line).
std::string GenBankWith(const std::string& location, bool circular)
{
    std::string loc;
    for (const char c : location)
        loc += c == '\n' ? std::string("\n                     ") : std::string(1, c);
    return std::string("LOCUS       TEST1                   5000 bp    DNA     ") +
           (circular ? "circular" : "linear  ") +
           " BCT 01-JAN-2000\nACCESSION   TEST1\nVERSION     TEST1.1\nFEATURES             Location/Qualifiers\n"
           "     misc_feature    " +
           loc + "\n                     /note=\"x\"\nORIGIN\n        1 acgt\n//\n";
}

// The same as an EMBL entry.
std::string EmblWith(const std::string& location, bool circular)
{
    std::string loc;
    for (const char c : location)
        loc += c == '\n' ? std::string("\nFT                   ") : std::string(1, c);
    return std::string("ID   TEST1; SV 1; ") + (circular ? "circular" : "linear") +
           "; genomic DNA; STD; PRO; 5000 BP.\nXX\nAC   TEST1;\nXX\nFH   Key             Location/Qualifiers\n"
           "FT   misc_feature    " +
           loc + "\nFT                   /note=\"x\"\nXX\nSQ   Sequence 4 BP;\n     acgt       4\n//\n";
}

} // namespace

TEST(FlatFileLocations, EveryFormInGenBankAndEmbl)
{
    struct Case {
        std::string location;
        bool circular;
        std::string parts; // what Describe gives after the type; empty when the feature is skipped
        uint64_t remoteParts = 0;
    };
    const Case cases[] = {
        {"467", false, "467-467 +"},
        {"340..565", false, "340-565 +"},
        {"<345..500", false, "345-500 + <"},
        {"<1..888", false, "1-888 + <"},
        {"1..>888", false, "1-888 + >"},
        {"complement(<1..>888)", false, "1-888 - < >"},
        {"102.110", false, "102-110 +"},
        {"(23.45)..(590.600)", false, "23-600 +"},
        {"123^124", false, "123-123 + site"},
        {"5000^1", true, "5000-5000 + site"},
        {"join(12..78,134..202)", false, "12-78,134-202 +"},
        {"order(12..78,134..202)", false, "12-78,134-202 + order"},
        {"complement(34..126)", false, "34-126 -"},
        {"complement(join(2691..4571,4918..5163))", false, "2691-4571,4918-5163 -"},
        {"join(complement(4918..5163),complement(2691..4571))", false, "4918-5163,2691-4571 -"},
        {"join(1..10,complement(20..30))", false, "1-10,20-30 ."},
        {"join(4000..5000,1..200)", true, "4000-5000,1-200 + origin"},
        {"complement(join(4000..5000,1..200))", true, "4000-5000,1-200 - origin"},
        {"4000..200", true, "4000-5000,1-200 + origin"},
        {"join(4000..5000,1..200)", false, "4000-5000,1-200 +"}, // linear: no origin to cross
        {"join(12..78,\n134..202)", false, "12-78,134-202 +"},
        {"join(12..78,134..202,\n300..400,\n500..600)", false, "12-78,134-202,300-400,500-600 +"},
        {"join(J00194.1:100..202,1..50)", false, "1-50 +", 1},
        {"J00194.1:100..202", false, "", 1},
        {"join(J00194.1:100..202,complement(X1:5..9))", false, "", 2},
    };
    for (const Case& c : cases) {
        for (const bool embl : {false, true}) {
            const std::string text = embl ? EmblWith(c.location, c.circular) : GenBankWith(c.location, c.circular);
            const AnnotationFile f = embl ? ReadEmbl(text, "t.embl") : ReadGenBank(text, "t.gb");
            const std::string where = (embl ? "EMBL " : "GenBank ") + c.location;
            ASSERT_EQ(f.features.records().size(), 1u) << where;
            EXPECT_EQ(DescribeRecords(f.features)[0],
                      std::string("TEST1.1 5000 ") + (c.circular ? "circular" : "linear"))
                << where;
            EXPECT_EQ(f.remoteParts, c.remoteParts) << where;
            EXPECT_EQ(f.remoteFeatures, c.parts.empty() ? 1u : 0u) << where;
            ASSERT_EQ(f.features.size(), c.parts.empty() ? 0u : 1u) << where;
            if (c.parts.empty())
                continue;
            EXPECT_EQ(Describe(f.features, 0), "TEST1.1:misc_feature " + c.parts + " note=x") << where;
            const FeaturePart span = f.features.span(0);
            if (f.features.feature(0).acrossOrigin) {
                EXPECT_EQ(span, (FeaturePart{1, 5000})) << where;
            }
        }
    }
}

TEST(FlatFileRecords, HeaderFactsAndQualifiers)
{
    const std::string genBank = "LOCUS       pAB1                    6000 bp    DNA     circular BCT 01-JAN-2000\n"
                                "DEFINITION  Some bacterium plasmid pAB1,\n"
                                "            complete sequence.\n"
                                "ACCESSION   CP000001 REGION: 1..6000\n"
                                "VERSION     CP000001.2  GI:12345\n"
                                "SOURCE      Some bacterium\n"
                                "  ORGANISM  Some bacterium\n"
                                "            Bacteria.\n"
                                "FEATURES             Location/Qualifiers\n"
                                "     source          1..6000\n"
                                "                     /plasmid=\"pAB1\"\n"
                                "                     /organelle=\"plastid:chloroplast\"\n"
                                "     CDS             complement(10..99)\n"
                                "                     /gene=\"abcA\"\n"
                                "                     /locus_tag=\"AB_0001\"\n"
                                "                     /note=\"a \"\"quoted\"\" word and a note\n"
                                "                     over two lines\"\n"
                                "                     /note=\"a second note\"\n"
                                "                     /translation=\"MKV\n"
                                "                     LLA\"\n"
                                "                     /product=\"transporter\"\n"
                                "     gene            10..99\n"
                                "                     /locus_tag=\"AB_0001\"\n"
                                "                     /pseudo\n"
                                "ORIGIN\n"
                                "        1 acgtacgtac\n"
                                "//\n"
                                "LOCUS       chrII    3000 bp    DNA     linear   PLN 01-JAN-2000\n"
                                "ACCESSION   BK000002\n"
                                "FEATURES             Location/Qualifiers\n"
                                "     source          1..3000\n"
                                "                     /chromosome=\"II\"\n"
                                "     tRNA            5..80\n"
                                "//\n";
    const AnnotationFile gb = ReadGenBank(genBank, "two.gb");
    const auto& records = gb.features.records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(DescribeRecords(gb.features),
              (std::vector<std::string>{"CP000001.2 6000 circular", "BK000002 3000 linear"}));
    EXPECT_EQ(records[0].fullName(), "CP000001.2 Some bacterium plasmid pAB1, complete sequence");
    EXPECT_EQ(records[0].plasmid, "pAB1");
    EXPECT_EQ(records[0].organelle, "plastid:chloroplast");
    EXPECT_EQ(records[1].chromosome, "II");
    EXPECT_EQ(records[1].fullName(), "BK000002");
    EXPECT_EQ(DescribeAll(gb.features),
              (std::vector<std::string>{"CP000001.2:source 1-6000 +",
                                        "CP000001.2:CDS 10-99 - abcA in:AB_0001 note=a \"quoted\" word and a note "
                                        "over two lines",
                                        "CP000001.2:gene 10-99 + AB_0001", "BK000002:source 1-3000 +",
                                        "BK000002:tRNA 5-80 +"}));
    const Feature cds = gb.features.feature(1);
    EXPECT_EQ(cds.product, "transporter");
    EXPECT_EQ(cds.locusTag, "AB_0001");
    EXPECT_EQ(gb.features.recordIndex("BK000002"), 1u);
    EXPECT_EQ(gb.features.recordIndex("BK000003"), FeatureSet::kNone);

    const std::string embl = "ID   X56734; SV 1; linear; mRNA; STD; PLN; 1859 BP.\n"
                             "XX\n"
                             "AC   X56734; S46826;\n"
                             "XX\n"
                             "DE   Trifolium repens mRNA for non-cyanogenic beta-glucosidase\n"
                             "DE   (partial).\n"
                             "XX\n"
                             "FH   Key             Location/Qualifiers\n"
                             "FT   source          1..1859\n"
                             "FT                   /chromosome=\"5\"\n"
                             "FT   CDS             <1..1609\n"
                             "FT                   /product=\"beta-glucosidase\"\n"
                             "FT                   /protein_id=\"CAA40058.1\"\n"
                             "XX\n"
                             "SQ   Sequence 1859 BP;\n"
                             "     aaacaaacca aatatggatt                                                    20\n"
                             "//\n";
    const AnnotationFile e = ReadEmbl(embl, "x.embl");
    ASSERT_EQ(e.features.records().size(), 1u);
    EXPECT_EQ(e.features.records()[0].fullName(),
              "X56734.1 Trifolium repens mRNA for non-cyanogenic beta-glucosidase (partial)");
    EXPECT_EQ(e.features.records()[0].chromosome, "5");
    EXPECT_EQ(DescribeAll(e.features),
              (std::vector<std::string>{"X56734.1:source 1-1859 +", "X56734.1:CDS 1-1609 + CAA40058.1 <"}));
}

TEST(TableFormats, ReadIntoFeaturesAndRecords)
{
    struct Case {
        AnnotationFormat format;
        std::string content;
        std::vector<std::string> features;
        std::vector<std::string> records;
        std::string fastaAt = {}; // the text the FASTA section starts with, if any
    };
    const Case cases[] = {
        // Parents, CDS lines of one ID, the first of several parents.
        {AnnotationFormat::Gff3,
         "##gff-version 3\n##sequence-region chr1 1 10000\n"
         "chr1|.|gene|100|900|.|+|.|ID=g1;Name=abc\n"
         "chr1|.|mRNA|100|900|.|+|.|ID=t1;Parent=g1\n"
         "chr1|.|exon|100|300|.|+|.|ID=e1;Parent=t1,t2\n"
         "chr1|.|CDS|150|300|.|+|0|ID=c1;Parent=t1\n"
         "chr1|.|exon|500|900|.|+|.|ID=e2;Parent=t1\n"
         "###\n"
         "chr1|.|CDS|500|800|.|+|1|ID=c1;Parent=t1\n",
         {"chr1:gene 100-900 + abc", "chr1:mRNA 100-900 + t1 in:g1", "chr1:exon 100-300 + e1 in:t1",
          "chr1:CDS 150-300,500-800 + c1 in:t1", "chr1:exon 500-900 + e2 in:t1"},
         {"chr1 10000"}},
        // Percent-encoding in the record and the attributes, several values.
        {AnnotationFormat::Gff3,
         "##gff-version 3\n"
         "chr%201|.|gene|1|10|.|-|.|ID=a%3Bb;Name=x%3Dy%26z%2Cw%09v%25;Note=first,second%2Cthird\n"
         "chr%201|.|gene|20|30|.|?|.|Name=100%pure,%zz;locus_tag=L2\n",
         {"chr 1:gene 1-10 - x=y&z,w\tv% note=first", "chr 1:gene 20-30 . 100%pure"},
         {"chr 1 0"}},
        // A FASTA section, after ##FASTA or at a ">" line; lines of 8 columns.
        {AnnotationFormat::Gff3,
         "##gff-version 3\n# made by hand\nchr1|.|region|1|5|.|.|.\n##FASTA\n>chr1\nACGT\n",
         {"chr1:region 1-5 ."},
         {"chr1 0"},
         ">chr1"},
        {AnnotationFormat::Gff3,
         "##gff-version 3\nchr1|.|gene|1|5|.|+|.|ID=g\n>chr1\nACGT\nchr1|.|gene|1|5|.|+|.|\n",
         {"chr1:gene 1-5 + g"},
         {"chr1 0"},
         ">chr1"},
        // A circular record, a feature across its origin, partial ends.
        {AnnotationFormat::Gff3,
         "chrC|.|region|1|5000|.|+|.|ID=chrC:1..5000;Is_circular=true\n"
         "chrC|.|gene|4900|5100|.|+|.|ID=g2;start_range=.,4900;end_range=5100,.\n",
         {"chrC:region 1-5000 + chrC:1..5000", "chrC:gene 4900-5000,1-100 + g2 < > origin"},
         {"chrC 5000 circular"}},
        // Several ##sequence-region lines keep their order; records sorted.
        {AnnotationFormat::Gff3,
         "##gff-version 3\n##sequence-region b 1 300\n##sequence-region a 1 200\n"
         "a|.|gene|50|60|.|+|.|ID=x\nb|.|gene|70|80|.|+|.|ID=y\nb|.|gene|10|20|.|+|.|ID=z\n",
         {"b:gene 10-20 + z", "b:gene 70-80 + y", "a:gene 50-60 + x"},
         {"b 300", "a 200"}},
        // GTF: genes, transcripts, exons and the CDS of a transcript.
        {AnnotationFormat::Gtf,
         "#!genome-build test\n"
         "chr2|s|gene|100|900|.|-|.|gene_id \"G1\"; gene_name \"abc\";\n"
         "chr2|s|transcript|100|900|.|-|.|gene_id \"G1\"; transcript_id \"T1\"; gene_name \"abc\";\n"
         "chr2|s|exon|100|300|.|-|.|gene_id \"G1\"; transcript_id \"T1\"; exon_number 1; note \"a; b\";\n"
         "chr2|s|CDS|150|300|.|-|0|gene_id \"G1\"; transcript_id \"T1\";\n"
         "chr2|s|exon|500|900|.|-|.|gene_id \"G1\"; transcript_id \"T1\"; exon_number 2; gene_name \"abc\"\n"
         "chr2|s|CDS|500|800|.|-|0|gene_id \"G1\"; transcript_id \"T1\";\n",
         {"chr2:gene 100-900 - abc", "chr2:transcript 100-900 - abc in:G1", "chr2:exon 100-300 - G1 in:T1 note=a; b",
          "chr2:CDS 150-300,500-800 - G1 in:T1", "chr2:exon 500-900 - abc in:T1"},
         {"chr2 0"}},
        // GTF without gene and transcript lines: the CDS is no parent of exons.
        {AnnotationFormat::Gtf,
         "chr3|s|exon|1|100|.|+|.|gene_id \"G2\"; transcript_id \"T2\";\n"
         "chr3|s|CDS|50|100|.|+|0|gene_id \"G2\"; transcript_id \"T2\";\n",
         {"chr3:exon 1-100 + G2", "chr3:CDS 50-100 + G2"},
         {"chr3 0"}},
        // BED: 3, 6 and 12 columns, headers, blanks as separators, an empty stretch.
        {AnnotationFormat::Bed,
         "track name=x\nbrowser position chr1:1-100\n# comment\n"
         "chr1|0|100\n"
         "chr1|10|20|peak1|500|-\n"
         "chr1|1000|2000|tx1|0|+|1100|1900|0|3|100,200,300,|0,400,700,\n"
         "chr2 5 5 ins . +\n",
         {"chr1:feature 1-100 .", "chr1:feature 11-20 - peak1", "chr1:feature 1001-1100,1401-1600,1701-2000 + tx1",
          "chr2:feature 5-5 + ins site"},
         {"chr1 0", "chr2 0"}},
    };
    for (const Case& c : cases) {
        const std::string content = Tabs(c.content);
        EXPECT_EQ(ReadAnnotation(content, "t").format, c.format) << c.content;
        // Read whole, and in pieces cut at lines (as large files are).
        const Reader read = c.format == AnnotationFormat::Gff3  ? ReadGff3
                            : c.format == AnnotationFormat::Gtf ? ReadGtf
                                                                : ReadBed;
        for (const int pieces : {1, 2, 3, 7}) {
            const AnnotationFile f = read(content, "t", pieces);
            EXPECT_EQ(DescribeAll(f.features), c.features) << c.content << pieces;
            EXPECT_EQ(DescribeRecords(f.features), c.records) << c.content << pieces;
            EXPECT_EQ(f.fastaOffset, c.fastaAt.empty() ? -1 : int64_t(content.find(c.fastaAt))) << c.content;
        }
    }
}

TEST(AnnotationReaders, BadLinesNameTheFileTheLineAndTheFault)
{
    struct Case {
        Reader read;
        std::string content;
        std::string message;
    };
    std::string nested;
    for (int i = 0; i < 60; ++i)
        nested += "complement(";
    nested += "1..2" + std::string(60, ')');
    const Case cases[] = {
        {ReadGff3, "##gff-version 3\nchr1|.|gene|120|90|.|+|.|ID=a\n",
         "t line 2: the end (90) is before the start (120)"},
        {ReadGff3, "chr1 . gene 1 90 . + . ID=a\n", "t line 1: it has 1 column; a GFF3 line has 9, separated by tabs"},
        {ReadGff3, "chr1|.|gene|0|90|.|+|.|\n", "t line 1: the start is 0, and positions count from 1"},
        {ReadGff3, "chr1|.|gene|1x|90|.|+|.|\n", "t line 1: the start (\"1x\") is no whole number"},
        {ReadGff3, "chr1|.|gene|1|5000000000|.|+|.|\n", "t line 1: the end (5000000000) is beyond 4,294,967,295"},
        {ReadGff3, "chr1|.|gene|1|9|.|*|.|\n", "t line 1: the strand (\"*\") is none of +, - and ."},
        {ReadGff3, "|.|gene|1|9|.|+|.|\n", "t line 1: the record (column 1) is empty"},
        {ReadGff3, "chr1|.||1|9|.|+|.|\n", "t line 1: the type (column 3) is empty"},
        {ReadGff3, "chr1|.|gene|1|9|.|+|.|ID=a|x\n", "t line 1: it has more than 9 columns"},
        {ReadGff3, "##gff-version 3\n\n##sequence-region chr1 1\n",
         "t line 3: the ##sequence-region line is not \"##sequence-region ID start end\""},
        {ReadGtf, "chr1|s|exon|1|9|.|+|.|gene_id \"a; \n", "t line 1: the value of gene_id has no closing quote"},
        {ReadBed, "chr1|120|90\n", "t line 1: the end (90) is before the start (120)"},
        {ReadBed, "# x\nchr1|10\n", "t line 2: it has 2 columns; a BED line has 3 to 12"},
        {ReadBed, "chr1|-5|10\n", "t line 1: the start (\"-5\") is no whole number"},
        {ReadBed, "chr1|0|10|a|0|x\n", "t line 1: the strand (\"x\") is none of +, - and ."},
        {ReadBed, "chr1|0|10|a|0|+|0|10|0|2\n",
         "t line 1: it has 10 columns: blocks need blockCount, blockSizes and blockStarts"},
        {ReadBed, "chr1|0|100|x|0|+|0|100|0|2|10,|0,50\n",
         "t line 1: blockCount is 2 but there are 1 block sizes and 2 block starts"},
        {ReadBed, "chr1|0|100|x|0|+|0|100|0|1|200|0\n",
         "t line 1: block 1 (0, size 200) is empty or ends after the end (100)"},
        {GenBank, GenBankWith("join(12..78,,134..202)", false),
         "t line 5: the location \"join(12..78,,134..202)\" cannot be read (at character 13)"},
        {GenBank, GenBankWith("complement(12..78", false),
         "t line 5: the location \"complement(12..78\" cannot be read (at character 18)"},
        {GenBank, GenBankWith("gap(100)", false),
         "t line 5: the location \"gap(100)\" cannot be read (at character 1)"},
        {GenBank, GenBankWith("200..100", false),
         "t line 5: the location \"200..100\" ends (100) before it starts (200)"},
        {GenBank, GenBankWith("0..5", false),
         "t line 5: the location \"0..5\" has the position 0 (positions run from 1 to 4,294,967,295)"},
        {GenBank, GenBankWith(nested, false), "t line 5: the location is nested more than 50 deep"},
        {GenBank,
         "LOCUS       A   10 bp    DNA     linear\nFEATURES             Location/Qualifiers\n"
         "     gene            1..5\n                     /note=\"open\n     gene            6..9\n//\n",
         "t line 4: the value of /note has no closing quote"},
        {GenBank, "LOCUS\nFEATURES             Location/Qualifiers\n     gene            1..5\n//\n",
         "t line 2: the record has no name (no LOCUS, ACCESSION or VERSION; or no ID and AC)"},
        {Embl, EmblWith("join(1..2", false), "t line 6: the location \"join(1..2\" cannot be read (at character 10)"},
    };
    for (const Case& c : cases)
        for (const int pieces : {1, 2, 3})
            EXPECT_EQ(Message(c.read, Tabs(c.content), "t", pieces), c.message) << c.content << pieces;
}

TEST(AnnotationReaders, RecogniseTheFormatAndRefuseOtherKinds)
{
    struct Case {
        std::string content;
        AnnotationFormat format;
        std::string message; // of ReadAnnotation, for other kinds
    };
    const std::string notAnnotation = ", not annotation (GFF3, GTF, BED, GenBank or EMBL)";
    const Case cases[] = {
        {"\xEF\xBB\xBF##gff-version 3.1.26\n", AnnotationFormat::Gff3, ""},
        {"\n\nchr1|x|gene|1|2|.|+|.|ID=a\n", AnnotationFormat::Gff3, ""},
        {"##gff-version 2\n", AnnotationFormat::Gtf, ""},
        {"#!genome-build x\nchr1|x|gene|1|2|.|+|.|gene_id \"a\";\n", AnnotationFormat::Gtf, ""},
        {"track name=a\nchr1 0 10\n", AnnotationFormat::Bed, ""},
        {"chr1|0|10|name|0|+\n", AnnotationFormat::Bed, ""},
        {GenBankWith("1..2", false), AnnotationFormat::GenBank, ""},
        {EmblWith("1..2", false), AnnotationFormat::Embl, ""},
        {">chr1\nACGT\n", AnnotationFormat::None, "g: it is a FASTA sequence file" + notAnnotation},
        {"@r1\nACGT\n+\nIIII\n", AnnotationFormat::None, "g: it is a FASTQ file of reads" + notAnnotation},
        {"@HD|VN:1.6\n", AnnotationFormat::None, "g: it is a SAM file of alignments" + notAnnotation},
        {"##fileformat=VCFv4.2\n", AnnotationFormat::None, "g: it is a VCF file of variants" + notAnnotation},
        {"track type=bedGraph name=\"x\"\nchr1|0|10|4.5\n", AnnotationFormat::None,
         "g: it is a bedGraph file of values" + notAnnotation},
        {"chr1|0|10|-4.5\n", AnnotationFormat::None, "g: it is a bedGraph file of values" + notAnnotation},
        {"fixedStep chrom=chr1 start=1 step=1\n1\n", AnnotationFormat::None,
         "g: it is a wiggle file of values" + notAnnotation},
        {"Dear reader,\nhello\n", AnnotationFormat::None, "g: it is text that is no annotation" + notAnnotation},
        {"# only a comment\n", AnnotationFormat::None, "g: it is a file with no annotation lines" + notAnnotation},
        {"\n  \n", AnnotationFormat::None, "g: it is empty"},
    };
    for (const Case& c : cases) {
        const std::string content = Tabs(c.content);
        EXPECT_EQ(SniffAnnotation(content).format, c.format) << c.content;
        EXPECT_EQ(Message(Recognised, content, "g"), c.message.empty() ? "(read)" : c.message) << c.content;
    }
}

// The RefSeq annotation of the start of E. coli K-12 as GFF3 and as
// GenBank: the same features by kind, the same CDS parts, names and
// parents.
TEST(AnnotationReaders, GenBankAndGff3OfOneGenomeAgree)
{
    const QString dir = QStringLiteral(QUILLET_SOURCE_DIR "/tests/data/");
    const AnnotationFile gff = ReadAnnotationFile(dir + "ecoli_excerpt.gff3");
    const AnnotationFile gb = ReadAnnotationFile(dir + "ecoli_excerpt.gbk");
    EXPECT_EQ(gff.format, AnnotationFormat::Gff3);
    EXPECT_EQ(gb.format, AnnotationFormat::GenBank);
    const auto kinds = [](const FeatureSet& set) {
        std::map<int, int> n;
        for (uint32_t i = 0; i < set.size(); ++i)
            ++n[int(set.feature(i).kind)];
        return n;
    };
    EXPECT_EQ(kinds(gff.features), kinds(gb.features));
    EXPECT_EQ(kinds(gb.features),
              (std::map<int, int>{
                  {int(FeatureKind::Gene), 16}, {int(FeatureKind::Repeat), 1}, {int(FeatureKind::Other), 3}}));
    const auto cds = [](const FeatureSet& set) {
        std::vector<std::string> out;
        for (uint32_t i = 0; i < set.size(); ++i) {
            const Feature f = set.feature(i);
            if (f.type != "CDS")
                continue;
            std::string s;
            for (const FeaturePart& p : f.parts)
                s += std::to_string(p.start) + "-" + std::to_string(p.end) + " ";
            out.push_back(s + (f.strand == Strand::Reverse ? "- " : "+ ") + std::string(f.name) + " " +
                          std::string(f.locusTag) + " in " + std::string(set.feature(f.parent).locusTag) + ": " +
                          std::string(f.product));
        }
        return out;
    };
    EXPECT_EQ(cds(gff.features), cds(gb.features));
    ASSERT_EQ(cds(gb.features).size(), 8u);
    EXPECT_EQ(cds(gb.features)[5],
              "257829-257899 258676-259006 + crl b0240 in b0240: RNA polymerase holoenzyme assembly factor Crl");
    for (const AnnotationFile* f : {&gff, &gb}) {
        ASSERT_EQ(f->features.records().size(), 1u);
        EXPECT_EQ(DescribeRecords(f->features)[0], "NC_000913.3 4641652 circular");
    }
    EXPECT_EQ(gb.features.records()[0].fullName(),
              "NC_000913.3 Escherichia coli str. K-12 substr. MG1655, complete genome");
}

// Large table files are read in blocks of whole lines: the same features,
// FASTA offset and line numbers in messages, whatever the size of a block.
TEST(AnnotationReaders, ReadTablesFromFilesInBlocks)
{
    QTemporaryDir dir;
    const auto write = [&](const char* name, const std::string& content) {
        QFile f(dir.filePath(QString::fromLatin1(name)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content.data(), qint64(content.size()));
        return f.fileName();
    };
    QFile excerpt(QStringLiteral(QUILLET_SOURCE_DIR "/tests/data/ecoli_excerpt.gff3"));
    ASSERT_TRUE(excerpt.open(QIODevice::ReadOnly));
    const QByteArray gff = excerpt.readAll();
    const std::string fasta = Tabs("\xEF\xBB\xBF##gff-version 3\nchr1|.|gene|1|5|.|+|.|ID=g\n##FASTA\n>chr1\nACGT\n");
    const std::string bed = Tabs("chr1|0|10\nchr1|5|20|a\n#x\nchr2|1|2\nchr1|9|3\n");
    struct Case {
        QString path;
        std::string whole; // the content, or its failure
    };
    const Case cases[] = {
        {write("a.gff3", gff.toStdString()), gff.toStdString()},
        {write("f.gff3", fasta), fasta},
        {write("b.bed", bed), bed},
    };
    for (const Case& c : cases) {
        const std::string name = QFileInfo(c.path).fileName().toStdString();
        std::string expected;
        try {
            const AnnotationFile f = ReadAnnotation(c.whole, name);
            expected = std::to_string(f.fastaOffset) + "\n";
            for (const std::string& d : DescribeAll(f.features))
                expected += d + "\n";
        } catch (const Failure& e) {
            expected = e.what();
        }
        if (name == "b.bed") {
            EXPECT_EQ(expected, "b.bed line 5: the end (3) is before the start (9)");
        }
        for (const std::size_t block : {1, 7, 50, 333, 4096, 1 << 20}) {
            std::string got;
            try {
                const AnnotationFile f = ReadAnnotationFile(c.path, block);
                got = std::to_string(f.fastaOffset) + "\n";
                for (const std::string& d : DescribeAll(f.features))
                    got += d + "\n";
            } catch (const Failure& e) {
                got = e.what();
            }
            EXPECT_EQ(got, expected) << name << " in blocks of " << block;
        }
    }
}

TEST(AnnotationReaders, ReadFilesThroughTheirCompression)
{
    QTemporaryDir dir;
    const QString plain = QStringLiteral(QUILLET_SOURCE_DIR "/tests/data/ecoli_excerpt.gff3");
    const QString gz = dir.filePath(QStringLiteral("genes.gff3.gz"));
    QProcess p;
    p.setStandardInputFile(plain);
    p.setStandardOutputFile(gz);
    p.start(QStringLiteral("gzip"), {QStringLiteral("-c")});
    ASSERT_TRUE(p.waitForFinished(60000) && p.exitCode() == 0);
    EXPECT_EQ(ReadAnnotationFile(gz).features.size(), ReadAnnotationFile(plain).features.size());

    const auto message = [](const QString& path) {
        try {
            ReadAnnotationFile(path);
        } catch (const Failure& e) {
            return std::string(e.what());
        }
        return std::string("(read)");
    };
    EXPECT_EQ(message(dir.filePath(QStringLiteral("none.gff3"))),
              "none.gff3: cannot be opened: No such file or directory");
    QFile zip(dir.filePath(QStringLiteral("genes.zip")));
    ASSERT_TRUE(zip.open(QIODevice::WriteOnly));
    zip.write("PK\x03\x04 and more");
    zip.close();
    EXPECT_EQ(message(zip.fileName()), "genes.zip: it is a ZIP archive");
}
