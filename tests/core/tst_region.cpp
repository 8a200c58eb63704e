// Regions as typed on the command line: every accepted shape with the values
// it gives, and every refused one with the reason's telling word.
#include "analysis/region.h"

#include <gtest/gtest.h>

#include <utility>

using namespace quillet;

TEST(ParseRegion, AcceptsEveryShape)
{
    struct Case {
        const char* text;
        const char* name;
        int64_t start, end;
    };
    const Case cases[] = {
        {"chr1:100-200", "chr1", 100, 200},
        {"100-200", "", 100, 200},
        {"  chr1 : 100 - 200 ", "chr1", 100, 200},
        {"chr1:1-1", "chr1", 1, 1},
        {"chr2:1,000,000-1,500,000", "chr2", 1000000, 1500000},
        {"x:999-1,000", "x", 999, 1000},
        {"NC_000913.3:1.5M-2M", "NC_000913.3", 1500000, 2000000},
        {"x:2.25k-3K", "x", 2250, 3000},
        {"x:1.500m-1.5000M", "x", 1500000, 1500000},
        {"x:0.001M-1,000k", "x", 1000, 1000000},
        {"x:1-9223372036854775807", "x", 1, INT64_MAX},
        {"x:1-9223372036854.775807M", "x", 1, INT64_MAX},
        {"chrM", "chrM", 0, 0},
        {"1", "1", 0, 0}, // Ensembl names chromosomes "1", "2", ...
        {"1:5-10", "1", 5, 10},
        {"chr1:1000", "chr1:1000", 0, 0},                   // a name: no '-'
        {"HLA-A*01:01:01", "HLA-A*01:01:01", 0, 0},         // ':' inside a name
        {"HLA-A*01:01:01:10-20", "HLA-A*01:01:01", 10, 20}, // the last ':' that leads to a range
        {"seq 1 description", "seq 1 description", 0, 0},
        {"a:b:k-m", "a:b:k-m", 0, 0}, // no digit: not a range
    };
    for (const Case& c : cases) {
        QString error;
        const std::optional<Region> r = ParseRegion(QString::fromUtf8(c.text), &error);
        ASSERT_TRUE(r.has_value()) << c.text << ": " << error.toStdString();
        EXPECT_EQ(r->name.toStdString(), c.name) << c.text;
        EXPECT_EQ(r->start, c.start) << c.text;
        EXPECT_EQ(r->end, c.end) << c.text;
        // The same from the bytes a command line gives.
        const std::optional<Region> b = ParseRegionBytes(QByteArray(c.text));
        ASSERT_TRUE(b.has_value()) << c.text;
        EXPECT_EQ(b->name.toLatin1().toStdString(), c.name) << c.text;
        EXPECT_EQ(std::pair(b->start, b->end), std::pair(r->start, r->end)) << c.text;
    }
    // Bytes keep a name that is no valid UTF-8, and the bytes of one that
    // is: 0xA0 ends "\xC3\xA0" ("à") and is no blank there.
    for (const auto& [text, name] : {std::pair{"Soci\xE9t\xE9 2:1-5", "Soci\xE9t\xE9 2"},
                                     std::pair{" \xC3\xA0 :1-5", "\xC3\xA0"}, std::pair{"\xFF\xFE", "\xFF\xFE"}}) {
        const std::optional<Region> b = ParseRegionBytes(QByteArray(text));
        ASSERT_TRUE(b.has_value()) << text;
        EXPECT_EQ(b->name.toLatin1(), QByteArray(name)) << text;
    }
}

TEST(ParseRegion, RefusesWithAReason)
{
    struct Case {
        const char* text;
        const char* reasonHas;
    };
    const Case cases[] = {
        {"", "empty"},
        {"   ", "empty"},
        {"chr1:", "nothing follows"},
        {":1-5", "no record name"},
        {"chr1:0-100", "1 or more"},
        {"0-0", "1 or more"},
        {"chr1:200-100", "before the start"},
        {"chr1:-100", "start is missing"},
        {"chr1:100-", "end is missing"},
        {"chr1:1-2-3", "more than one"},
        {"chr1:1.5-2", "no k or M"},
        {"chr1:1.0005k-2k", "whole number"},
        {"chr1:1.5-2k", "no k or M"},
        {"chr1:1,00-5", "not a position"},
        {"chr1:1000,000-2,000,000", "not a position"},
        {"chr1:1,000,00-2", "not a position"},
        {"chr1:,100-200", "not a position"},
        {"chr1:1.-2k", "not a position"},
        {"chr1:.5k-2k", "not a position"},
        {"chr1:1kk-2k", "not a position"},
        {"chr1:1 0-20", "not a position"},
        {"chr1:1-9223372036854775808", "too large"},
        {"chr1:1-99999999999999999999999", "too large"},
        {"chr1:1-9223372036854.775808M", "too large"},
        {"chr1:1-9223372036855M", "too large"},
    };
    for (const Case& c : cases) {
        QString error;
        EXPECT_FALSE(ParseRegion(QString::fromUtf8(c.text), &error).has_value()) << c.text;
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.reasonHas))) << c.text << ": " << error.toStdString();
    }
    EXPECT_FALSE(ParseRegion(QStringLiteral("x:5-1")).has_value()); // no error text wanted
}

TEST(FormatRegion, WritesWhatParseRegionReads)
{
    for (const char* text : {"chr1:5-10", "100-200", "chrM", "HLA-A*01:01:01:1-2"}) {
        const std::optional<Region> r = ParseRegion(QString::fromUtf8(text));
        ASSERT_TRUE(r.has_value()) << text;
        EXPECT_EQ(FormatRegion(*r).toStdString(), text);
    }
}
