// The feature set: its order, the interval index against a plain scan,
// finding by name, the kinds of types, and the report of features on
// records the sequence file does not hold.
#include "analysis/features.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using namespace quillet;

namespace {

FeatureSetBuilder::Draft DraftOn(uint32_t record, std::string_view type = "gene")
{
    FeatureSetBuilder::Draft d;
    d.record = record;
    d.type = type;
    return d;
}

} // namespace

TEST(FeatureSet, OverlapQueriesEqualAScan)
{
    // Features added out of order on three records: short ones, some very
    // long ones (a whole-record region, genes of a megabase) and joined ones.
    std::mt19937 rng(11);
    FeatureSetBuilder b;
    const uint32_t records[] = {b.record("chr1"), b.record("chr2"), b.record("chrEmpty"), b.record("chr3")};
    const uint32_t lengths[] = {5'000'000, 300'000, 0, 2'000};
    for (int i = 0; i < 6000; ++i) {
        const int r = i % 4 == 2 ? 3 : i % 4;
        const uint32_t len = lengths[r];
        const uint32_t start = 1 + rng() % len;
        const uint32_t size = rng() % 50 == 0 ? uint32_t(rng() % len) : 1 + rng() % 3000;
        const uint32_t end = std::min(len, start + size);
        if (rng() % 5 == 0 && end - start > 10) {
            const FeaturePart parts[] = {{start, start + 3}, {end - 3, end}};
            b.add(DraftOn(records[r]), parts);
        } else {
            const FeaturePart part{start, end};
            b.add(DraftOn(records[r]), {&part, 1});
        }
    }
    const FeatureSet set = b.finish();
    ASSERT_EQ(set.size(), 6000u);
    EXPECT_EQ(set.records()[2].featureCount, 0u);
    std::vector<Feature> all;
    for (uint32_t i = 0; i < set.size(); ++i)
        all.push_back(set.feature(i));
    for (uint32_t i = 1; i < set.size(); ++i) {
        const Feature &a = all[i - 1], &c = all[i];
        ASSERT_TRUE(a.record < c.record || (a.record == c.record && a.start <= c.start)) << i;
    }
    for (int q = 0; q < 3000; ++q) {
        const uint32_t r = records[q % 4];
        const uint64_t len = std::max<uint32_t>(lengths[q % 4], 10);
        const uint64_t from = 1 + rng() % len, to = q % 7 == 0 ? from : from + rng() % (q % 3 == 0 ? len : 5000);
        std::vector<uint32_t> got, expected;
        set.overlapping(r, from, to, got);
        for (uint32_t i = 0; i < set.size(); ++i)
            if (all[i].record == r && all[i].start <= to && all[i].end >= from)
                expected.push_back(i);
        ASSERT_EQ(got, expected) << "record " << r << " " << from << ".." << to;
    }
    std::vector<uint32_t> none;
    set.overlapping(records[0], 5'000'001, UINT64_MAX, none);
    set.overlapping(records[0], 20, 10, none);
    set.overlapping(99, 1, 10, none);
    EXPECT_TRUE(none.empty());
}

TEST(FeatureSet, FindsByNameLocusTagOrIdIgnoringCase)
{
    FeatureSetBuilder b;
    const uint32_t r = b.record("chr1");
    struct Added {
        uint32_t start;
        const char *name, *locus, *id;
    };
    const Added added[] = {
        {500, "thrA", "b0002", "gene-b0002"}, {500, "thrA", "b0002", "cds-1"},
        {100, "ThrL", "b0001", ""},           {900, "", "", "id-x"},
        {700, "dnaK", "dnaK", "DNAK"},
    };
    for (const Added& a : added) {
        FeatureSetBuilder::Draft d = DraftOn(r);
        d.name = a.name;
        d.locusTag = a.locus;
        d.id = a.id;
        const FeaturePart part{a.start, a.start + 10};
        b.add(d, {&part, 1});
    }
    const FeatureSet set = b.finish();
    struct Case {
        std::string text;
        std::vector<uint32_t> found; // in set order: ThrL, thrA x 2, dnaK, id-x
    };
    const Case cases[] = {
        {"thrl", {0}}, {"THRA", {1, 2}}, {"B0002", {1, 2}}, {"gene-B0002", {1}}, {"cds-1", {2}}, {"id-X", {4}},
        {"dnak", {3}}, {"b000", {}},     {"", {}},          {"thrA ", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(set.find(c.text), c.found) << c.text;
}

TEST(FeatureSet, KindsOfTypes)
{
    struct Case {
        const char* type;
        FeatureKind kind;
    };
    const Case cases[] = {
        {"gene", FeatureKind::Gene},
        {"CDS", FeatureKind::Gene},
        {"cds", FeatureKind::Gene},
        {"five_prime_UTR", FeatureKind::Gene},
        {"pseudogene", FeatureKind::Gene},
        {"rRNA", FeatureKind::Rrna},
        {"tRNA", FeatureKind::Trna},
        {"ncRNA", FeatureKind::OtherRna},
        {"lnc_RNA", FeatureKind::OtherRna},
        {"tmRNA", FeatureKind::OtherRna},
        {"mobile_element", FeatureKind::Repeat},
        {"mobile_genetic_element", FeatureKind::Repeat},
        {"repeat_region", FeatureKind::Repeat},
        {"inverted_repeat", FeatureKind::Repeat},
        {"misc_feature", FeatureKind::Other},
        {"region", FeatureKind::Other},
        {"RNA", FeatureKind::OtherRna},
        {"", FeatureKind::Other},
    };
    for (const Case& c : cases)
        EXPECT_EQ(KindOfType(c.type), c.kind) << c.type;
}

TEST(FeatureSet, ReportsFeaturesOnRecordsTheSequenceFileDoesNotHold)
{
    struct Case {
        std::vector<std::pair<std::string, int>> features; // per record of the annotation
        QStringList run;                                   // the run's record names
        QString report;
    };
    const Case cases[] = {
        {{{"chr1", 3}, {"chr2", 312}},
         {"chr1 some description"},
         "312 features on chr2, which the sequence file does not hold"},
        {{{"chr1", 3}, {"chr2", 1}}, {"chr1", "chr2\tx"}, ""},
        {{{"chrM", 1}, {"chr1", 1234}},
         {},
         "1 feature on chrM, which the sequence file does not hold\n"
         "1,234 features on chr1, which the sequence file does not hold"},
        {{{"a", 1}, {"b", 2}, {"c", 3}, {"d", 4}, {"e", 5}, {"f", 6}, {"g", 0}},
         {"x"},
         "1 feature on a, which the sequence file does not hold\n"
         "2 features on b, which the sequence file does not hold\n"
         "3 features on c, which the sequence file does not hold\n"
         "4 features on d, which the sequence file does not hold\n"
         "and 11 features on 2 more records, which the sequence file does not hold"},
    };
    for (const Case& c : cases) {
        FeatureSetBuilder b;
        for (const auto& [id, n] : c.features) {
            const uint32_t r = b.record(id);
            for (int i = 0; i < n; ++i) {
                const FeaturePart part{uint32_t(i + 1), uint32_t(i + 1)};
                b.add(DraftOn(r), {&part, 1});
            }
        }
        EXPECT_EQ(MissingRecordsReport(MissingRecords(b.finish(), c.run)), c.report) << c.report.toStdString();
    }
}
