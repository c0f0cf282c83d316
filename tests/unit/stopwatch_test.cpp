// The stopwatch: millisecond truncation, a missing counter, a counter that
// went backwards, and intervals near the end of the 64-bit range.
#include <gtest/gtest.h>

#include <cstdint>

#include "probe/stopwatch.h"
#include "sim/control.h"

namespace {

class StopwatchTest : public ::testing::Test {
protected:
    void SetUp() override { sim::ResetMachine(); }

    // Seconds from `start` to a counter at `end` with the given frequency.
    static double Measure(int64_t frequency, int64_t start, int64_t end) {
        sim::SetClockFrequency(frequency);
        ReadTimerFrequency();
        sim::SetClockCounter(end);
        int64_t now = 0;
        const double seconds = ElapsedSeconds(start, now);
        EXPECT_EQ(now, end);
        return seconds;
    }
};

TEST_F(StopwatchTest, ReadsFrequencyAndCount) {
    sim::SetClockFrequency(10000000);
    sim::SetClockCounter(123456789);
    ReadTimerFrequency();
    EXPECT_EQ(timerFrequency, 10000000);
    int64_t reading = 0;
    ReadTimerCount(reading);
    EXPECT_EQ(reading, 123456789);
}

TEST_F(StopwatchTest, WithoutACounterTheAnswerIsMinusOne) {
    sim::SetClockFrequency(0);
    sim::SetClockCounter(5000);
    ReadTimerFrequency();
    int64_t now = 0;
    EXPECT_EQ(ElapsedSeconds(0, now), -1.0);
}

TEST_F(StopwatchTest, AFailedFrequencyQueryCountsAsNoCounter) {
    sim::FailCall("QueryPerformanceFrequency", ERROR_INVALID_PARAMETER);
    ReadTimerFrequency();
    EXPECT_EQ(timerFrequency, 0);
    int64_t now = 0;
    EXPECT_EQ(ElapsedSeconds(0, now), -1.0);
}

TEST_F(StopwatchTest, TruncatesToWholeMilliseconds) {
    // 999 microseconds and 1.5 milliseconds at 1 MHz.
    EXPECT_EQ(Measure(1000000, 1000, 1999), 0.0);
    EXPECT_EQ(Measure(1000000, 1000, 2500), 0.001);
    EXPECT_EQ(Measure(3579545, 0, 7159090), 2.0);
    EXPECT_EQ(Measure(3579545, 100, 100), 0.0);
}

TEST_F(StopwatchTest, ACounterBelowTheStartGivesTheCounterItself) {
    // 2.5 seconds' worth of ticks at 1 kHz, read after a start of 9000.
    EXPECT_EQ(Measure(1000, 9000, 2500), 2.5);
    EXPECT_EQ(Measure(1000, 4000, 3999), 3.999);
}

TEST_F(StopwatchTest, ANegativeCounterBelowTheStartTruncatesTowardZero) {
    EXPECT_EQ(Measure(1000000, 0, -1999), -0.001);
    EXPECT_EQ(Measure(1000, 0, -2500), -2.5);
}

TEST_F(StopwatchTest, HugeIntervalsDoNotOverflowAt10MHz) {
    // INT64_MAX ticks at 10 MHz: 922,337,203,685.4775807 s.
    EXPECT_DOUBLE_EQ(Measure(10000000, 0, INT64_MAX), 922337203685477 * 0.001);
    EXPECT_DOUBLE_EQ(Measure(10000000, 0, INT64_MAX), 922337203685.477);
}

TEST_F(StopwatchTest, HugeIntervalsDoNotOverflowAt3GHz) {
    // INT64_MAX ticks at 3 GHz: 3,074,457,345.618258602 s.
    const double seconds = Measure(3000000000LL, 0, INT64_MAX);
    EXPECT_DOUBLE_EQ(seconds, 3074457345618 * 0.001);
    // One tick short of a whole millisecond stays below it.
    EXPECT_EQ(Measure(3000000000LL, INT64_MAX - 2999999, INT64_MAX), 0.0);
    EXPECT_EQ(Measure(3000000000LL, INT64_MAX - 3000000, INT64_MAX), 0.001);
}

TEST_F(StopwatchTest, AnOneHertzCounterStillGivesWholeSeconds) {
    EXPECT_DOUBLE_EQ(Measure(1, 0, INT64_MAX), static_cast<double>(INT64_MAX));
}

}  // namespace
