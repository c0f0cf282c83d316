// Summaries of repeated timings for the benchmark tables: the least and the
// median of a set of samples, and how a figure compares with the floor below
// it.
#pragma once

#include <string>
#include <vector>

struct TimingSummary {
    double minimum = 0.0;
    double median = 0.0;
    std::size_t samples = 0;
};

// The least and the median sample (the mean of the middle two for an even
// count); all zero for no samples.
TimingSummary Summarize(std::vector<double> samples);

// `figure` over `floor`, or a negative number when there is no floor to
// compare with (none, zero or not a finite time).
double RatioToFloor(double figure, double floor);

// A ratio as the table shows it, "1.23x", or "-" where there is none.
std::string FormatRatio(double ratio);

// Milliseconds with three significant places as the table shows them:
// "0.0123", "1.23", "123"; "-" for a negative time.
std::string FormatMilliseconds(double milliseconds);
