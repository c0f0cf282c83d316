// The performance counter: a clock that only moves when a test moves it.
#include "internal.h"
#include "sim/control.h"

namespace {
constexpr int64_t kDefaultFrequency = 3579545;
int64_t frequency = kDefaultFrequency;
int64_t counter = 0;
}  // namespace

namespace sim {

void SetClockFrequency(int64_t ticksPerSecond) {
    frequency = ticksPerSecond;
}
void SetClockCounter(int64_t ticks) {
    counter = ticks;
}
void AdvanceClock(int64_t ticks) {
    counter += ticks;
}
int64_t ClockCounter() {
    return counter;
}

namespace internal {
int64_t ClockFrequency() {
    return frequency;
}

void ResetClock() {
    frequency = kDefaultFrequency;
    counter = 0;
}
}  // namespace internal
}  // namespace sim

// Without a high-resolution counter, Windows answers FALSE and a frequency of 0.
BOOL QueryPerformanceFrequency(LARGE_INTEGER* result) {
    DWORD status = 0;
    if (sim::internal::CallFails("QueryPerformanceFrequency", &status)) {
        SetLastError(status);
        result->QuadPart = 0;
        return FALSE;
    }
    result->QuadPart = frequency;
    return frequency != 0 ? TRUE : FALSE;
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* result) {
    DWORD status = 0;
    if (sim::internal::CallFails("QueryPerformanceCounter", &status)) {
        SetLastError(status);
        result->QuadPart = 0;
        return FALSE;
    }
    result->QuadPart = frequency != 0 ? counter : 0;
    return frequency != 0 ? TRUE : FALSE;
}
