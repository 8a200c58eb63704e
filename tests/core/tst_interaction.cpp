// The position readout under the mouse and the proposed save and export names.
#include "maps/filename.h"
#include "maps/readout.h"

#include <gtest/gtest.h>

using namespace quillet;

TEST(Readout, InvertsTheHorizontalMapping)
{
    struct Case {
        float x;
        int64_t expected;
    };
    // 1000 bases over a plot 1000 twips wide.
    for (const Case c : {Case{600.5f, 0}, Case{1100.0f, 500}, Case{1599.0f, 999}})
        EXPECT_EQ(ReadoutPosition(c.x, 1000, 1900, 2000, QStringLiteral("1000")), c.expected) << c.x;
    EXPECT_EQ(ReadoutPosition(5437.5f, 2000, 10575, 4695, QStringLiteral("1000000")), 500000);
}

TEST(Readout, EdgesAndMissingResultsAreOutside)
{
    const QString total = QStringLiteral("1000");
    for (const auto& [x, y] :
         {std::pair{600.0f, 1000.0f}, {1600.0f, 1000.0f}, {1000.0f, 300.0f}, {1000.0f, 1700.0f}, {1000.0f, 100.0f}})
        EXPECT_FALSE(ReadoutPosition(x, y, 1900, 2000, total)) << x << "," << y;
    EXPECT_FALSE(ReadoutPosition(1000, 1000, 1900, 2000, QString()));
    // A picture too narrow for a plot never divides by zero.
    EXPECT_FALSE(ReadoutPosition(700, 1000, 900, 2000, total));
}

TEST(ProposedFileName, KeepsTheTitleButWhatCannotBeInAFileName)
{
    EXPECT_EQ(ProposedFileName(QStringLiteral("seq1|contig 21")), QStringLiteral("seq1contig 21"));
    EXPECT_EQ(ProposedFileName(QStringLiteral("chr1 human\r")), QStringLiteral("chr1 human"));
    EXPECT_EQ(ProposedFileName(QStringLiteral("../etc/passwd")), QStringLiteral("..etcpasswd"));
    EXPECT_EQ(ProposedFileName(QStringLiteral("a\\b:c*d?e\"f<g>h\ti\x01j")), QStringLiteral("abcdefghij"));
    EXPECT_EQ(ProposedFileName(QStringLiteral("Ünïcode — ok (v2) [x]")), QStringLiteral("Ünïcode — ok (v2) [x]"));
}

TEST(ProposedExportName, IsTheRecordsIdMadeSafe)
{
    const QString longId = QString(300, u'é');                               // 2 bytes each in UTF-8
    const QString longPairs = QString::fromUcs4(U"\U0001F9EC").repeated(60); // 4 bytes, a surrogate pair each
    const std::pair<QString, QString> cases[] = {
        {"ref|NC_001136| [org=Saccharomyces cerevisiae] [moltype=genomic] [chromosome=IV]", "refNC_001136"},
        {"Chr2 1..30000", "Chr2"},
        {"  chrX\tlast  ", "chrX"},
        {"chr1\r", "chr1"},
        {"../../etc/passwd described", "etcpasswd"},
        {"..", "sequence"},
        {"|:*? text after", "sequence"},
        {"", "sequence"},
        {"   ", "sequence"},
        {"seq\x01"
         "a<b>c",
         "seqabc"},
        {longId + " x", QString(100, u'é')},
        {longPairs, QString::fromUcs4(U"\U0001F9EC").repeated(50)},
    };
    for (const auto& [title, expected] : cases)
        EXPECT_EQ(ProposedExportName(title), expected) << title.toStdString();
    // A record's name as read (a byte a character) proposes its bytes as
    // the file name: UTF-8 once, not twice; other bytes become U+FFFD.
    EXPECT_EQ(RecordExportName(QString::fromLatin1("Caf\xC3\xA9 x")), QStringLiteral("Caf\u00E9"));
    EXPECT_EQ(RecordExportName(QString::fromLatin1("Caf\xE9")), QStringLiteral("Caf\uFFFD"));
}
