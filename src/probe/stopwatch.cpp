// The stopwatch over QueryPerformanceFrequency and QueryPerformanceCounter.
#include "probe/stopwatch.h"

#include "platform/platform.h"

int64_t timerFrequency = 0;

namespace {

constexpr unsigned kMillisecondsPerSecond = 1000;

uint64_t Magnitude(int64_t value) {
    return value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

// floor(part * 1000 / whole) for part < whole, without forming the product:
// the product is built bit by bit of 1000, reducing modulo `whole` each step.
uint64_t ThousandthsOf(uint64_t part, uint64_t whole) {
    uint64_t quotient = 0;
    uint64_t remainder = 0;
    for (int bit = 9; bit >= 0; --bit) {
        quotient <<= 1;
        remainder <<= 1;
        if (remainder >= whole) {
            remainder -= whole;
            ++quotient;
        }
        if ((kMillisecondsPerSecond >> bit) & 1u) {
            remainder += part;
            if (remainder >= whole) {
                remainder -= whole;
                ++quotient;
            }
        }
    }
    return quotient;
}

}  // namespace

void ReadTimerFrequency() {
    LARGE_INTEGER frequency;
    frequency.QuadPart = 0;
    if (!QueryPerformanceFrequency(&frequency)) {
        frequency.QuadPart = 0;
    }
    timerFrequency = frequency.QuadPart;
}

void ReadTimerCount(int64_t& reading) {
    LARGE_INTEGER count;
    count.QuadPart = 0;
    QueryPerformanceCounter(&count);
    reading = count.QuadPart;
}

double ElapsedSeconds(int64_t start, int64_t& now) {
    ReadTimerCount(now);
    if (timerFrequency == 0) {
        return -1.0;
    }
    const int64_t ticks = now >= start ? now - start : now;

    // ticks * 1000 / frequency, truncated toward zero, as whole seconds and
    // the thousandths of the remainder so that nothing overflows.
    const bool negative = (ticks < 0) != (timerFrequency < 0);
    const uint64_t tickCount = Magnitude(ticks);
    const uint64_t frequency = Magnitude(timerFrequency);
    const uint64_t seconds = tickCount / frequency;
    const uint64_t thousandths = ThousandthsOf(tickCount % frequency, frequency);

    const uint64_t limit = negative ? uint64_t{1} << 63 : static_cast<uint64_t>(INT64_MAX);
    if (seconds <= (limit - thousandths) / kMillisecondsPerSecond) {
        const uint64_t milliseconds = seconds * kMillisecondsPerSecond + thousandths;
        const double magnitude = static_cast<double>(milliseconds) * 0.001;
        return negative ? -magnitude : magnitude;
    }
    // Beyond 64 bits of milliseconds (only with counters slower than 1 kHz).
    const double magnitude =
        static_cast<double>(seconds) + static_cast<double>(thousandths) * 0.001;
    return negative ? -magnitude : magnitude;
}
