// The explorer's features track: what it places for a view (a CDS in its
// gene's place, filled pixels thinned, labels never over one another and
// inside the track) and the origin's distance to dnaA, on small GFF3 texts.
#include "analysis/annotation.h"
#include "maps/featuretrack.h"

#include <gtest/gtest.h>

#include <string>

using namespace quillet;

namespace {

TrackFeatures Track(const std::string& gff)
{
    const auto set = std::make_shared<const FeatureSet>(ReadGff3(gff, "t.gff3").features);
    return TrackFeatures::Of({set}, "chr");
}

std::string Line(const std::string& type, int start, int end, char strand, const std::string& attributes)
{
    return "chr\tt\t" + type + "\t" + std::to_string(start) + "\t" + std::to_string(end) + "\t.\t" + strand + "\t.\t" +
           attributes + "\n";
}

// Many genes of `length` bases, `gap` apart, on alternating strands.
std::string Genes(int count, int length, int gap)
{
    std::string gff = "##gff-version 3\n";
    for (int k = 0; k < count; ++k) {
        const int start = 1 + k * (length + gap);
        gff += Line("gene", start, start + length - 1, k % 2 ? '-' : '+',
                    "ID=g" + std::to_string(k) + ";Name=gene" + std::to_string(k));
    }
    return gff;
}

} // namespace

TEST(FeatureTrack, PlacesWhatCanBeSeenAndLabelsThatNeverMeet)
{
    const FeatureBand band{1000, 1000 + 600 * 15, 0, 70 * 15};
    struct Case {
        const char* what;
        std::string gff;
        int64_t from, to;
        std::size_t placedAtMost, placedAtLeast;
    };
    const Case cases[] = {
        {"a few genes, each placed", Genes(5, 300, 100), 1, 2000, 5, 5},
        {"thousands of genes on 600 pixels, thinned", Genes(5000, 900, 100), 1, 5'000'000, 1300, 300},
        {"the record itself is no box",
         "##gff-version 3\n" + Line("region", 1, 9000, '+', "ID=r") + Line("gene", 10, 90, '+', "ID=g;Name=x"), 1, 9000,
         1, 1},
        {"a CDS takes its gene's place",
         "##gff-version 3\n" + Line("gene", 100, 400, '+', "ID=g;Name=dnaA") +
             Line("CDS", 100, 400, '+', "ID=c;Parent=g;product=initiator"),
         1, 1000, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const TrackFeatures track = Track(c.gff);
        const FeatureLayout layout = LayOutFeatures(track, band, c.from, c.to, QStringLiteral("Sans Serif"), 8.0f);
        EXPECT_LE(layout.placed.size(), c.placedAtMost);
        EXPECT_GE(layout.placed.size(), c.placedAtLeast);
        for (std::size_t i = 0; i < layout.labels.size(); ++i) {
            const PlacedLabel& a = layout.labels[i];
            EXPECT_GE(a.x, band.left);
            EXPECT_LE(a.x + a.width, band.right);
            for (std::size_t j = i + 1; j < layout.labels.size(); ++j) {
                const PlacedLabel& b = layout.labels[j];
                const bool apart = a.y != b.y || a.x + a.width <= b.x || b.x + b.width <= a.x;
                EXPECT_TRUE(apart) << a.text.toStdString() << " meets " << b.text.toStdString();
            }
        }
    }
    // The CDS in its gene's place: its kind and product, the gene's name.
    const TrackFeatures track = Track(cases[3].gff);
    const FeatureLayout layout = LayOutFeatures(track, band, 1, 1000, QStringLiteral("Sans Serif"), 8.0f);
    ASSERT_EQ(layout.placed.size(), 1u);
    EXPECT_EQ(track.sources[0].set->feature(layout.placed[0].index).type, "CDS");
    ASSERT_EQ(layout.labels.size(), 1u);
    EXPECT_EQ(layout.labels[0].text, QStringLiteral("dnaA"));
    EXPECT_EQ(DescribeFeature(*track.sources[0].set, layout.placed[0].index),
              QStringLiteral("CDS dnaA, 100..400 (+), initiator"));
}

TEST(FeatureTrack, DistanceOfAMarkToANamedGene)
{
    const TrackFeatures track = Track("##gff-version 3\n" + Line("gene", 100, 400, '+', "ID=g;Name=dnaA"));
    struct Case {
        int64_t position;
        bool circular;
        int64_t distance;
    };
    const Case cases[] = {{250, false, 0}, {50, false, 50}, {900, false, 500}, {900, true, 200}, {401, true, 1}};
    for (const Case& c : cases)
        EXPECT_EQ(DistanceToFeature(track, "DNAA", c.position, 1000, c.circular), c.distance) << c.position;
    EXPECT_FALSE(DistanceToFeature(track, "dif", 10, 1000, true));
    EXPECT_EQ(DistanceNote(track, "dnaA", 50, 1000, false), QStringLiteral(" (50 bp from dnaA)"));
}
