// The factors that scale the main window to the screen at start-up.
#include "window/layoutfactors.h"

#include <gtest/gtest.h>

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
