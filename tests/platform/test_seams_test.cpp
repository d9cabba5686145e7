// The table of test seams: what a variable's text may do to the product's
// durations (shorten them, never lengthen them or make them zero), and that
// a scoped replacement gives the table back as it was.
#include "platform/test_seams.h"

#include <gtest/gtest.h>

TEST(TestSeamsTest, AVariableShortensADurationAndNothingElse) {
    EXPECT_EQ(ShorterWholeNumber("5", 120), 5u);
    EXPECT_EQ(ShorterWholeNumber("119", 120), 119u);
    // Not below the product's, zero, absent, or not decimal digits alone:
    // the product's.
    for (const char* text : {"120", "121", "99999999999999999999999", "0", "", "-5", "+5", " 5", "5 ", "5s", "0x10"})
        EXPECT_EQ(ShorterWholeNumber(text, 120), 120u) << text;
    EXPECT_EQ(ShorterWholeNumber(nullptr, 120), 120u);

    EXPECT_EQ(ShorterFactor("0"), 0.0);
    EXPECT_EQ(ShorterFactor("0.25"), 0.25);
    EXPECT_EQ(ShorterFactor("1"), 1.0);
    for (const char* text : {"1.5", "-0.5", "nan", "inf", "", "0.5x"}) EXPECT_EQ(ShorterFactor(text), 1.0) << text;
    EXPECT_EQ(ShorterFactor(nullptr), 1.0);
}

TEST(TestSeamsTest, AScopedReplacementGivesTheTableBack) {
    const std::time_t productNow = Seams().now();
    {
        ScopedTestSeams outer;
        outer->now = [] { return std::time_t{7}; };
        {
            ScopedTestSeams inner;
            inner->now = [] { return std::time_t{9}; };
            inner->transferLimitSeconds = [](int) { return 1; };
            EXPECT_EQ(Seams().now(), 9);
        }
        EXPECT_EQ(Seams().now(), 7);
        EXPECT_EQ(Seams().transferLimitSeconds(120), 120);
    }
    EXPECT_GE(Seams().now(), productNow);
    EXPECT_EQ(Seams().deploy, nullptr);
}
