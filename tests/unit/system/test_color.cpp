#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "System/Source/Color.h"

TEST(Color, ScaleFollowsTheListedCases) {
    EXPECT_EQ(ScaleColor(Color(255, 128, 0, 77), 0.5f), Color(127, 64, 0, 77));
    EXPECT_EQ(ScaleColor(Color(100, 100, 100, 255), 3.0f), Color(255, 255, 255, 255));
    EXPECT_EQ(ScaleColor(Color(10, 20, 30, 40), 1.0f), Color(10, 20, 30, 40));
}

TEST(Color, LerpTruncatesTowardZeroAndWraps) {
    EXPECT_EQ(LerpColor(Color(0, 0, 0, 0), Color(255, 255, 255, 255), 0.5f),
              Color(127, 127, 127, 127));
    EXPECT_EQ(LerpColor(Color(200, 0, 0, 255), Color(100, 0, 0, 255), 0.5f), Color(150, 0, 0, 255));
    EXPECT_EQ(LerpColor(Color(1, 2, 3, 4), Color(9, 8, 7, 6), 0.0f), Color(1, 2, 3, 4));
    EXPECT_EQ(LerpColor(Color(1, 2, 3, 4), Color(9, 8, 7, 6), 1.0f), Color(9, 8, 7, 6));
    // t = 2 overshoots and wraps: 0 + 255*2 = 510 -> 254.
    EXPECT_EQ(LerpColor(Color(0, 0, 0, 0), Color(255, 0, 0, 0), 2.0f).r, 254);
}

TEST(Color, ComparisonLooksAtAllFourBytes) {
    EXPECT_FALSE(Color(1, 2, 3, 4) == Color(1, 2, 3, 5));
    EXPECT_TRUE(Color(1, 2, 3, 4) != Color(1, 2, 3, 5));
    EXPECT_EQ(Color(), Color(0, 0, 0, 255));
}

TEST(Color, ExtremeFactorsStayDefined) {
    // Negative results keep their low byte: -0.5 * 100 = -50 -> 206.
    EXPECT_EQ(ScaleColor(Color(100, 0, 0, 9), -0.5f).r, 206);
    // Huge, infinite and NaN factors must not reach an undefined conversion.
    Color c(100, 100, 100, 1);
    EXPECT_EQ(ScaleColor(c, std::numeric_limits<float>::infinity()).r, 255);
    (void)ScaleColor(c, -std::numeric_limits<float>::infinity());
    (void)ScaleColor(c, -1e30f);
    EXPECT_EQ(ScaleColor(c, std::nanf("")).r, 0);
    (void)LerpColor(c, Color(0, 0, 0, 0), 1e30f);
    (void)LerpColor(c, Color(0, 0, 0, 0), -1e30f);
    EXPECT_EQ(LerpColor(c, Color(0, 0, 0, 0), std::nanf("")), c);
}
