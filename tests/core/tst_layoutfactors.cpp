// The factors that scale the main window to the screen at start-up.
#include "maps/layoutfactors.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace quillet;

TEST(LayoutFactors, KnownScreens)
{
    struct Case {
        const char* screen;
        float widthTwips, heightTwips;
        double fx, fy;
    };
    const Case cases[] = {
        {"1024 x 768", 15360, 11520, 1.0, 1.0},
        {"800 x 600", 12000, 9000, 0.901442, 0.901442},
        {"1152 x 864", 17280, 12960, 1.125, 1.125},
        {"1280 x 1024", 19200, 15360, 1.25, 1.333333},
        {"1366 x 768", 20490, 11520, 1.333984, 1.0},
        {"1024 x 768 at 12 twips a pixel", 12288, 9216, 0.923077, 0.923077},
        {"1023 x 768", 15345, 11520, 1.152719, 1.153846},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.screen);
        const LayoutFactors f = ComputeLayoutFactors(c.widthTwips, c.heightTwips);
        EXPECT_NEAR(f.fx, c.fx, 5e-7);
        EXPECT_NEAR(f.fy, c.fy, 5e-7);
    }
}

TEST(LayoutFactors, DesignScreenLeavesTheDesignExactly)
{
    // Not merely close to 1: multiplying a design measure must give it back.
    const LayoutFactors f = ComputeLayoutFactors(15360, 11520);
    EXPECT_EQ(f.fx, 1.0f);
    EXPECT_EQ(f.fy, 1.0f);
    EXPECT_EQ(10575.0f * f.fx, 10575.0f);
}

TEST(LayoutFactors, DivisorChangesAtTheThreshold)
{
    // 15359 twips and wider divide by 15, narrower by 13: one twip decides.
    const LayoutFactors at = ComputeLayoutFactors(15359, 11520);
    const LayoutFactors below = ComputeLayoutFactors(15358, 11520);
    EXPECT_NEAR(at.fx, 15359.0 / 1024 / 15, 1e-7);
    EXPECT_FLOAT_EQ(at.fy, 1.0f);
    EXPECT_NEAR(below.fx, 15358.0 / 1024 / 13, 1e-7);
    EXPECT_NEAR(below.fy, 11520.0 / 768 / 13, 1e-7);
    // The width alone chooses the divisor, for the height factor too.
    EXPECT_FLOAT_EQ(ComputeLayoutFactors(20000, 9000).fy, float(9000.0 / 768 / 15));
}

TEST(LayoutFactors, MapBoxForAPictureSizeIsTheWindowsOnARoundScreen)
{
    // The box as the window scales it on a screen of w x h pixels.
    const auto boxOn = [](int w, int h) {
        const LayoutFactors f = ComputeLayoutFactors(float(w * 15), float(h * 15));
        return MapBoxTwips{kMapDesignWidth * f.fx, kMapDesignHeight * f.fy};
    };
    const auto inner = [](float twips) { return int(std::nearbyint(double(twips) / 15)) - 4; };
    struct Case {
        int width, height;     // screen in pixels
        int stands, standsFor; // the screen whose box stands for this picture size (same when 0)
    };
    // 1279 x 901 has the picture size of 1280 x 900 (877 x 363), 1365 x 767
    // that of 1366 x 768 (936 x 309); each is drawn as on the rounder one.
    const Case cases[] = {{1024, 768, 0, 0},      {1280, 900, 0, 0},     {1280, 1024, 0, 0}, {1366, 768, 0, 0},
                          {1920, 1080, 0, 0},     {1440, 900, 0, 0},     {800, 600, 0, 0},   {2560, 1440, 0, 0},
                          {1279, 901, 1280, 900}, {1365, 767, 1366, 768}};
    for (const Case& c : cases) {
        const MapBoxTwips box = boxOn(c.width, c.height);
        const MapBoxTwips expected = c.stands ? boxOn(c.stands, c.standsFor) : box;
        const MapBoxTwips got = MapBoxForInnerSize(inner(box.width), inner(box.height), 2);
        EXPECT_EQ(got.width, expected.width) << c.width << "x" << c.height;
        EXPECT_EQ(got.height, expected.height) << c.width << "x" << c.height;
    }
    EXPECT_EQ(MapBoxForInnerSize(701, 309, 2).width, 10575.0f);
    EXPECT_EQ(MapBoxForInnerSize(701, 309, 2).height, 4695.0f);

    // Every picture size the command line accepts comes out at its size,
    // beside a box wide enough for screens that divide by 15 and one that
    // needs a narrower screen, which divides by 13.
    for (int n = 1; n <= 16000; ++n) {
        for (const int other : {701, 300}) {
            const MapBoxTwips wide = MapBoxForInnerSize(n, other, 2), high = MapBoxForInnerSize(other, n, 2);
            ASSERT_EQ(inner(wide.width), n);
            ASSERT_EQ(inner(wide.height), other);
            ASSERT_EQ(inner(high.width), other);
            ASSERT_EQ(inner(high.height), n);
        }
    }
}
