// Composition islands: which windows stand out, how they merge, which are
// kept, their statistics (gap windows left out, an SD of exactly 0 when
// every window is alike) and their BED lines.
#include "analysis/islands.h"

#include "analysis/features.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

using namespace quillet;

namespace {

// Eight windows of 50 %, the ones given, eight of 50 % again; -1 is a gap.
std::vector<int64_t> Among(const std::vector<int64_t>& middle)
{
    std::vector<int64_t> units(8, 50);
    units.insert(units.end(), middle.begin(), middle.end());
    units.insert(units.end(), 8, 50);
    return units;
}

std::string Text(const std::vector<Island>& islands)
{
    std::string s;
    for (const Island& i : islands)
        s += (s.empty() ? "" : " ") + std::to_string(i.start) + "-" + std::to_string(i.end) +
             (i.high ? " high " : " low ") + std::to_string(std::lround(i.maxZ * 100));
    return s;
}

TEST(Islands, WindowsFarFromTheMeanMergedAndKept)
{
    struct Case {
        const char* what;
        std::vector<int64_t> units; // G+C % of each window
        int32_t windowSize, step;
        int64_t firstPosition;
        double k;
        int64_t minLength;
        const char* islands; // start-end side 100|z|
        double mean, sd;
    };
    // Two windows of 90 % among 16 of 50 %: mean 490/9, SD 12.571, z of
    // 90 % 2 sqrt 2.
    const double mean = 490.0 / 9, sd = std::sqrt(230400.0 / 1458);
    const Case cases[] = {
        {"touching windows merge", Among({90, 90}), 10, 10, 1, 2.5, 0, "80-100 high 283", mean, sd},
        {"from a region's start", Among({90, 90}), 10, 10, 101, 2.5, 0, "180-200 high 283", mean, sd},
        {"overlapping windows merge", Among({90, 90}), 20, 10, 1, 2.5, 0, "80-110 high 283", mean, sd},
        {"windows apart stay apart", Among({90, 90}), 10, 20, 1, 2.5, 0, "160-170 high 283 180-190 high 283", mean, sd},
        {"too short to keep", Among({90, 90}), 10, 20, 1, 2.5, 11, "", mean, sd},
        {"as long as the shortest island", Among({90, 90}), 10, 10, 1, 2.5, 20, "80-100 high 283", mean, sd},
        {"shorter than the shortest island", Among({90, 90}), 10, 10, 1, 2.5, 21, "", mean, sd},
        {"k above every z", Among({90, 90}), 10, 10, 1, 2.9, 0, "", mean, sd},
        // A gap window is in neither the statistics nor an island, and
        // parts the windows on its sides.
        {"a gap between", Among({90, -1, 90}), 10, 10, 1, 2.5, 0, "80-90 high 283 100-110 high 283", mean, sd},
        {"below the mean", Among({10, 10}), 10, 10, 1, 2.5, 0, "80-100 low 283", 410.0 / 9, sd},
        // High and low never merge: mean 50, SD 40 / sqrt 9, z 3.
        {"high beside low", Among({90, 10}), 10, 10, 1, 2.5, 0, "80-90 high 300 90-100 low 300", 50, 40.0 / 3},
        {"every window alike", std::vector<int64_t>(20, 40), 10, 10, 1, 2.5, 0, "", 40, 0},
        {"nothing but gaps", std::vector<int64_t>(5, -1), 10, 10, 1, 2.5, 0, "", 0, 0},
        {"no window", {}, 10, 10, 1, 2.5, 0, "", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IslandRecord r;
        r.name = QStringLiteral("chr1 description");
        r.units = c.units;
        r.percentPerUnit = 1;
        r.windowSize = c.windowSize;
        r.step = c.step;
        r.firstPosition = c.firstPosition;
        const IslandStats stats = IslandStatsOf({&r});
        EXPECT_NEAR(stats.mean, c.mean, 1e-9);
        EXPECT_NEAR(stats.sd, c.sd, 1e-9);
        EXPECT_TRUE(std::isfinite(stats.mean) && std::isfinite(stats.sd));
        EXPECT_EQ(Text(FindIslands(r, stats, {.sd = c.k, .minLength = c.minLength})), c.islands);
    }
}

TEST(Islands, ExactSumsGapsAndBedLines)
{
    // Windows of 4: GGCC, ANNN (3 of 4 unknown: a gap), ATAT, GCAT.
    WindowResults w;
    WindowAccumulator a(4, 4, WindowKeeping(true, true));
    const std::string seq = "GGCCANNNATATGCAT";
    a.add(reinterpret_cast<const unsigned char*>(seq.data()), seq.size());
    a.finish(w);
    const IslandRecord r = IslandRecordOf(QStringLiteral("chr2 x"), w, 4, 4);
    EXPECT_EQ(r.units, (std::vector<int64_t>{40, -1, 0, 20}));
    EXPECT_DOUBLE_EQ(r.percentPerUnit, 2.5);
    const IslandStats stats = IslandStatsOf({&r});
    EXPECT_EQ(stats.windows, 3);
    EXPECT_DOUBLE_EQ(stats.mean, 50);

    // The BED: record ID, the score at most 1000, strand ".".
    const std::vector<Island> islands = {{0, 4, true, 12.5}, {8, 12, false, 2.567}};
    EXPECT_EQ(IslandLines(r, islands), QByteArray("chr2\t0\t4\thigh\t1000\t.\nchr2\t8\t12\tlow\t257\t.\n"));
    EXPECT_EQ(IslandsTrackLine(QStringLiteral("chr2"), stats, 4, 4, {.sd = 2.5, .minLength = 1000}),
              QByteArray("track name=\"chr2 G+C islands\" description=\"G+C islands: window=4 step=4 mean=50 "
                         "sd=40.8248 k=2.5 min=1000 windows=3\"\n"));

    // Where features are loaded, the genes an island meets, each once
    // (a gene and its CDS), blanks made "_"; a repeat is no gene.
    FeatureSetBuilder b;
    const uint32_t chr2 = b.record("chr2");
    const FeaturePart first[] = {{1, 2}}, second[] = {{4, 9}}, far[] = {{20, 30}};
    const auto add = [&](std::string_view type, std::string_view name, std::string_view tag, const auto& parts) {
        FeatureSetBuilder::Draft d;
        d.record = chr2;
        d.type = type;
        d.name = name;
        d.locusTag = tag;
        b.add(d, parts);
    };
    add("gene", "abcA", "", first);
    add("CDS", "abcA", "", first);
    add("repeat_region", "rep", "", second);
    add("gene", "", "b 0002", second);
    add("gene", "abcC", "", far);
    const FeatureSet set = b.finish();
    EXPECT_EQ(IslandLines(r, islands, {&set}),
              QByteArray("chr2\t0\t4\thigh:abcA,b_0002\t1000\t.\nchr2\t8\t12\tlow:b_0002\t257\t.\n"));
}

} // namespace
