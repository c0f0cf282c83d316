// Summaries of repeated timings for the benchmark tables.
#include "timing_summary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

TimingSummary Summarize(std::vector<double> samples) {
    TimingSummary summary;
    summary.samples = samples.size();
    if (samples.empty()) {
        return summary;
    }
    std::sort(samples.begin(), samples.end());
    summary.minimum = samples.front();
    const std::size_t middle = samples.size() / 2;
    summary.median =
        samples.size() % 2 != 0 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2.0;
    return summary;
}

double RatioToFloor(double figure, double floor) {
    if (!(floor > 0.0) || !std::isfinite(floor) || !std::isfinite(figure) || figure < 0.0) {
        return -1.0;
    }
    return figure / floor;
}

std::string FormatRatio(double ratio) {
    if (ratio < 0.0 || !std::isfinite(ratio)) {
        return "-";
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.2fx", ratio);
    return text;
}

std::string FormatMilliseconds(double milliseconds) {
    if (milliseconds < 0.0 || !std::isfinite(milliseconds)) {
        return "-";
    }
    if (milliseconds == 0.0) {
        return "0";
    }
    // Three significant places, never in exponent form.
    int decimals = 0;
    for (double limit = 100.0; decimals < 6 && milliseconds < limit; limit /= 10.0) {
        ++decimals;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, milliseconds);
    return text;
}
