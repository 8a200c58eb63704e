// The genome overview: the records' coarse profiles, which records get a
// row, and the picture's rows on one position scale and one value scale.
#include "analysis/overview.h"
#include "analysis/recordname.h"
#include "maps/overviewmap.h"
#include "maps/plottext.h"
#include "recordingsurface.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>

namespace quillet {
namespace {

// Windows 1 .. values.size() with the 1-based layout the engine gives.
WindowResults Windows(const std::vector<float>& gc, const std::vector<float>& skew, std::vector<int32_t> unknown = {})
{
    WindowResults w;
    w.GCValues = {0};
    w.SkewValues = {0};
    w.GCValues.insert(w.GCValues.end(), gc.begin(), gc.end());
    w.SkewValues.insert(w.SkewValues.end(), skew.begin(), skew.end());
    w.GCValues.push_back(0);
    w.SkewValues.push_back(0);
    if (!unknown.empty()) {
        unknown.insert(unknown.begin(), 0);
        unknown.push_back(0);
        w.UnknownCounts = unknown;
    }
    return w;
}

TEST(OverviewProfile, PointsAveragesBreaksAndRunningSum)
{
    // Few windows: one point each, exact; a mostly unknown window breaks
    // the curve but still adds to the running sum.
    const RecordProfile few = ProfileOf(Windows({40, 50, 60}, {0.1f, -0.2f, 0.3f}, {0, 6, 0}), 10, 5);
    ASSERT_EQ(few.gc.size(), 3u);
    EXPECT_EQ(few.windowsPerPoint, 1);
    EXPECT_FLOAT_EQ(few.gc[0], 40);
    EXPECT_TRUE(std::isnan(few.gc[1]) && std::isnan(few.skew[1]));
    EXPECT_FLOAT_EQ(few.cumulative[1], -0.1f);
    EXPECT_FLOAT_EQ(few.cumulative[2], 0.2f);
    EXPECT_FLOAT_EQ(few.gcLow, 40);
    EXPECT_FLOAT_EQ(few.gcHigh, 60);
    EXPECT_FLOAT_EQ(few.cumulativeLow, -0.1f);
    EXPECT_DOUBLE_EQ(few.positionOf(0), 5);  // window 1 covers [0, 10)
    EXPECT_DOUBLE_EQ(few.positionOf(2), 15); // window 3 covers [10, 20)
    EXPECT_EQ(few.pointAt(11), 1);

    // Many windows: kProfilePoints points at most, each the average of its
    // windows, the last one of the rest.
    const int64_t n = RecordProfile::kProfilePoints * 3 + 2;
    std::vector<float> gc(static_cast<std::size_t>(n)), skew(static_cast<std::size_t>(n), 0.01f);
    for (int64_t k = 0; k < n; ++k)
        gc[std::size_t(k)] = float(k % 3); // 0, 1, 2 in every point of three
    const RecordProfile many = ProfileOf(Windows(gc, skew), 1000, 1000);
    EXPECT_EQ(many.windowsPerPoint, 4);
    EXPECT_EQ(int64_t(many.gc.size()), (n + 3) / 4);
    EXPECT_FLOAT_EQ(many.gc[0], (0 + 1 + 2 + 0) / 4.0f);
    EXPECT_FLOAT_EQ(many.gc.back(), (0 + 1) / 2.0f); // windows n-1 and n
    EXPECT_NEAR(many.cumulative.back(), 0.01 * double(n), 1e-3);
    EXPECT_DOUBLE_EQ(many.positionOf(0), 1.5 * 1000 + 500);

    EXPECT_TRUE(ProfileOf(WindowResults{}, 10, 5).gc.empty());

    // Gaps: a window with more than half of its positions unknown is left
    // out of its point (exactly half is not), the point's average is over
    // the windows left, and a point of gaps alone has no value. Window k
    // (1-based) has G+C k % 3 (0, 1, 2, ...) and G-C/G+C k % 3 / 10;
    // `unknown` gives the unknown positions of window k.
    const float gap = std::nanf("");
    struct Row {
        const char* name;
        int64_t windows;
        int32_t window;
        std::function<int32_t(int64_t)> unknown;
        std::vector<float> points; // the first G+C points
        float gcLow, gcHigh;
    };
    const int64_t four = RecordProfile::kProfilePoints * 3 + 2; // four windows a point
    const Row rows[] = {
        {"one window a point, one gap", 3, 10, [](int64_t k) { return k == 2 ? 6 : 0; }, {1, gap, 0}, 0, 1},
        {"exactly half is no gap", 3, 10, [](int64_t k) { return k == 2 ? 5 : 0; }, {1, 2, 0}, 0, 2},
        {"odd window: 6 of 11 is a gap, 5 is not",
         3,
         11,
         [](int64_t k) { return k == 1   ? 5
                                : k == 2 ? 6
                                         : 0; },
         {1, gap, 0},
         0,
         1},
        // Each point's second window a gap: (1 + 0 + 1) / 3 for the first, not (1 + 2 + 0 + 1) / 4.
        {"gaps left out of a point's average",
         four,
         10,
         [](int64_t k) { return k % 4 == 2 ? 10 : 0; },
         {2.0f / 3, 5.0f / 3, 2.0f / 3},
         0,
         2},
        {"half unknown stays in a point's average",
         four,
         10,
         [](int64_t k) { return k % 4 == 2 ? 5 : 0; },
         {1, 5.0f / 4, 3.0f / 4},
         0,
         2},
        {"a point of gaps alone", four, 10, [](int64_t k) { return k <= 4 ? 7 : 0; }, {gap, 5.0f / 4}, 0, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<float> g, s;
        std::vector<int32_t> unknown;
        for (int64_t k = 1; k <= row.windows; ++k) {
            g.push_back(float(k % 3));
            s.push_back(float(k % 3) / 10);
            unknown.push_back(row.unknown(k));
        }
        const RecordProfile p = ProfileOf(Windows(g, s, unknown), row.window, row.window);
        ASSERT_GE(p.gc.size(), row.points.size());
        for (std::size_t i = 0; i < row.points.size(); ++i) {
            // The running sum has a value at every point; marked, the
            // cumulative row breaks where the others do.
            EXPECT_EQ(ProfileValue(p, Plot::Cumulative, i), double(p.cumulative[i]));
            EXPECT_EQ(std::isnan(ProfileValue(p, Plot::Cumulative, i, true)), std::isnan(row.points[i]));
            if (std::isnan(row.points[i])) {
                EXPECT_TRUE(std::isnan(p.gc[i]) && std::isnan(p.skew[i])) << "point " << i;
                continue;
            }
            EXPECT_FLOAT_EQ(p.gc[i], row.points[i]) << "point " << i;
            EXPECT_FLOAT_EQ(p.skew[i], row.points[i] / 10) << "point " << i;
        }
        EXPECT_FLOAT_EQ(p.gcLow, row.gcLow);
        EXPECT_FLOAT_EQ(p.gcHigh, row.gcHigh);
    }
}

std::vector<RecordInfo> Lengths(const std::vector<int64_t>& lengths)
{
    std::vector<RecordInfo> records;
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        RecordInfo info;
        info.number = int64_t(i) + 1;
        info.name = QStringLiteral("r%1 description").arg(i + 1);
        info.length = lengths[i];
        records.push_back(info);
    }
    return records;
}

TEST(OverviewRows, LongestFirstWithLimitFilterAndSummaryLines)
{
    struct Row {
        std::vector<int64_t> lengths;
        int64_t minLength, maxRows;
        bool oddOnly; // the name filter lets records 1, 3, 5 ... through
        std::vector<std::size_t> rows;
        QString more, shorter;
    };
    const Row table[] = {
        {{5, 9, 7, 9}, 0, 50, false, {1, 3, 2, 0}, {}, {}}, // equal lengths keep file order
        {{5, 9, 7, 9}, 0, 2, false, {1, 3}, "and 2 shorter records, 12 bp", {}},
        {{5, 9, 7, 9}, 7, 50, false, {1, 3, 2}, {}, "1 record under 7 bp not shown, 5 bp"},
        {{5'000'000, 60'000, 52'100'000, 2'000}, 0, 1, false, {2}, "and 3 shorter records, 5.1 Mb", {}},
        {{1500, 20'000, 1'000, 8'000}, 2'000, 1, true, {}, {}, "2 records under 2,000 bp not shown, 2.5 kb"},
        {{100, 200, 300}, 0, 2, true, {2, 0}, {}, {}},
    };
    for (const Row& row : table) {
        const auto records = Lengths(row.lengths);
        const auto odd = [](std::size_t i) { return i % 2 == 0; };
        const OverviewSelection s = SelectOverviewRows(records, row.minLength, row.maxRows,
                                                       row.oddOnly ? std::function<bool(std::size_t)>(odd) : nullptr);
        EXPECT_EQ(s.rows, row.rows);
        EXPECT_EQ(MoreRecordsLine(s), row.more);
        EXPECT_EQ(ShortRecordsLine(s, row.minLength), row.shorter);
    }
    // The summary line the overview of a draft fly assembly ends with.
    OverviewSelection fly;
    fly.moreRecords = 26'404;
    fly.moreBases = 52'149'000;
    EXPECT_EQ(MoreRecordsLine(fly), QStringLiteral("and 26,404 shorter records, 52.1 Mb"));
}

TEST(OverviewPicture, RowsToScaleOnOneValueScale)
{
    // Three records of 1000, 500 and 250 bp at window 10, step 10, each
    // with a G+C from 30 to 70.
    std::vector<RecordProfile> profiles;
    const std::vector<int64_t> lengths = {250, 1000, 500};
    for (const int64_t length : lengths) {
        std::vector<float> gc(std::size_t(length / 10)), skew(gc.size(), 0);
        for (std::size_t k = 0; k < gc.size(); ++k)
            gc[k] = k == 0 ? 30.0f : 70.0f;
        profiles.push_back(ProfileOf(Windows(gc, skew), 10, 10));
    }
    std::vector<RecordInfo> infos = Lengths(lengths);
    infos[1].name = QStringLiteral("r2 [chromosome=IV]");
    infos[1].displayName = QStringLiteral("chromosome IV"); // beside the ID
    const OverviewPicture p = MakeOverview(QStringLiteral("/data/g.fa"), infos, profiles, {}, "10", "10");
    ASSERT_EQ(p.rows.size(), 3u);
    EXPECT_EQ(p.rows[0].record, 1u);
    EXPECT_EQ(p.rows[0].id, QStringLiteral("r2 (chromosome IV)"));
    EXPECT_EQ(p.rows[1].id, QStringLiteral("r3"));
    EXPECT_EQ(WithDisplayName(QStringLiteral(" r2 x"), QStringLiteral("plasmid pX")),
              QStringLiteral(" r2 (plasmid pX) x"));

    test::RecordingSurface surface(12000, 9000);
    DrawOverview(surface, p);
    const OverviewLayout l = LayOutOverview(12000, 9000, p);
    // Each row's frame ends where its length puts it: 1000, 500, 250 bp.
    for (int r = 0; r < 3; ++r) {
        const float top = Snap(l.boxTop(r));
        bool found = false;
        for (const test::DrawCall& c : surface.calls)
            if (c.kind == test::DrawCall::Line && c.y1 == top && c.y2 == top && c.x1 == Snap(l.plotLeft)) {
                EXPECT_NEAR((c.x2 - Snap(l.plotLeft)) / (Snap(l.plotRight) - Snap(l.plotLeft)),
                            double(p.rows[std::size_t(r)].length) / 1000.0, 15.0 / 10000);
                found = true;
            }
        EXPECT_TRUE(found) << "row " << r;
    }
    // One value scale: 70 sits at the same height within every row's box.
    EXPECT_LE(l.scale.low, 30);
    EXPECT_GE(l.scale.high, 70);
    const auto share = [&](int r, float y) { return (l.boxBottom(r) - y) / (l.boxBottom(r) - l.boxTop(r)); };
    std::vector<float> heights;
    for (const test::DrawCall& c : surface.calls)
        if (c.kind == test::DrawCall::Line && !c.foreground && c.color == kExplorerTrackColors[0] &&
            c.x1 > l.plotLeft + 300) {
            const int r = OverviewRowAt(l, p, c.y1);
            ASSERT_GE(r, 0);
            heights.push_back(share(r, c.y1));
        }
    ASSERT_FALSE(heights.empty());
    for (const float h : heights)
        EXPECT_NEAR(h, heights.front(), 1e-4);
    EXPECT_NEAR(OverviewValueAt(p, 2, 125), 70, 1e-6);
    EXPECT_TRUE(std::isnan(OverviewValueAt(p, 2, 260)));
    EXPECT_TRUE(AnyRowHasWindows(p));
    EXPECT_TRUE(surface.FindPrint(QStringLiteral("All 3 records, longest first; one value scale for every row, ") +
                                  ValueLabel(l.scale.low, l.scale.step) + QStringLiteral(" to ") +
                                  ValueLabel(l.scale.high, l.scale.step)));

    // Records shorter than the window have no curve: the header says so
    // rather than give a value scale that stands for nothing.
    const std::vector<RecordProfile> none(3, ProfileOf(Windows({}, {}), 2000, 10));
    const OverviewPicture empty = MakeOverview(QStringLiteral("g.fa"), Lengths(lengths), none, {}, "2000", "10");
    EXPECT_FALSE(AnyRowHasWindows(empty));
    test::RecordingSurface blank(12000, 9000);
    DrawOverview(blank, empty);
    EXPECT_TRUE(blank.FindPrint(
        QStringLiteral("All 3 records, longest first; no record shown is as long as the window (2000 bp)")));
}

} // namespace
} // namespace quillet
