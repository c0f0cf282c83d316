// The summaries and the number formats of the benchmark tables.
#include "timing_summary.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

TEST(Summarize, TakesTheLeastAndTheMiddleSampleWhateverTheirOrder) {
    const TimingSummary summary = Summarize({9.0, 1.5, 4.0, 7.0, 2.0});
    EXPECT_EQ(summary.minimum, 1.5);
    EXPECT_EQ(summary.median, 4.0);
    EXPECT_EQ(summary.samples, 5u);
}

TEST(Summarize, AnEvenCountHasTheMeanOfTheMiddleTwoAsMedian) {
    const TimingSummary summary = Summarize({8.0, 2.0, 6.0, 3.0});
    EXPECT_EQ(summary.minimum, 2.0);
    EXPECT_EQ(summary.median, (3.0 + 6.0) / 2);
}

TEST(Summarize, OneSampleIsBothAndNoneGivesZeros) {
    const TimingSummary one = Summarize({0.25});
    EXPECT_EQ(one.minimum, 0.25);
    EXPECT_EQ(one.median, 0.25);
    const TimingSummary none = Summarize({});
    EXPECT_EQ(none.samples, 0u);
    EXPECT_EQ(none.minimum, 0.0);
    EXPECT_EQ(none.median, 0.0);
}

TEST(RatioToFloor, DividesByAUsableFloorOnly) {
    EXPECT_DOUBLE_EQ(RatioToFloor(150.0, 120.0), 150.0 / 120.0);
    const double infinity = std::numeric_limits<double>::infinity();
    const double notANumber = std::numeric_limits<double>::quiet_NaN();
    for (const double floor : {0.0, -3.0, infinity, notANumber}) {
        EXPECT_LT(RatioToFloor(150.0, floor), 0.0) << "floor " << floor;
    }
    EXPECT_LT(RatioToFloor(notANumber, 120.0), 0.0);
    EXPECT_LT(RatioToFloor(-1.0, 120.0), 0.0);
}

TEST(FormatRatio, TwoDecimalsAndATimesSignOrADash) {
    EXPECT_EQ(FormatRatio(1.25), "1.25x");
    EXPECT_EQ(FormatRatio(12.0), "12.00x");
    EXPECT_EQ(FormatRatio(-1.0), "-");
    EXPECT_EQ(FormatRatio(std::numeric_limits<double>::infinity()), "-");
}

TEST(FormatMilliseconds, ThreeSignificantPlacesAtEveryMagnitude) {
    EXPECT_EQ(FormatMilliseconds(1234.4), "1234");
    EXPECT_EQ(FormatMilliseconds(123.4), "123");
    EXPECT_EQ(FormatMilliseconds(12.34), "12.3");
    EXPECT_EQ(FormatMilliseconds(1.234), "1.23");
    EXPECT_EQ(FormatMilliseconds(0.1234), "0.123");
    EXPECT_EQ(FormatMilliseconds(0.01234), "0.0123");
}

TEST(FormatMilliseconds, ZeroNegativeAndUnusableTimes) {
    EXPECT_EQ(FormatMilliseconds(0.0), "0");
    EXPECT_EQ(FormatMilliseconds(-0.5), "-");
    EXPECT_EQ(FormatMilliseconds(std::numeric_limits<double>::quiet_NaN()), "-");
    // Far below a microsecond the places run out rather than turning to
    // exponent form.
    EXPECT_EQ(FormatMilliseconds(0.0000001), "0.000000");
}

}  // namespace
