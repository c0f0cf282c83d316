// Elapsed time from the high-resolution performance counter, in whole
// milliseconds expressed as seconds.
#pragma once

#include <cstdint>

// Counter ticks per second, as the last ReadTimerFrequency found it.
extern int64_t timerFrequency;

void ReadTimerFrequency();
void ReadTimerCount(int64_t& reading);

// Reads the counter into `now` and returns the seconds from `start` to it:
// -1.0 without a counter; when `now` is below `start` the time up to `now`
// itself. Always a whole number of milliseconds, truncated toward zero.
double ElapsedSeconds(int64_t start, int64_t& now);
