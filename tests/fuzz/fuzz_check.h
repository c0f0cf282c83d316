// What every fuzz target checks after its run: a clean end, or a report on
// standard error and an abort, which libFuzzer records as a crash.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

#include "whole_run.h"

namespace fuzzcheck {

inline void RequireCleanEnd(const wholerun::Outcome& outcome) {
    const std::string problems = wholerun::Problems(outcome);
    if (!problems.empty()) {
        std::fprintf(stderr, "The run did not end cleanly:\n%s", problems.c_str());
        std::abort();
    }
}

}  // namespace fuzzcheck
