// The single-fault sweep: on every machine profile, a clean run is counted,
// then the run is repeated once for each allocation it made, with that one
// refused, and once for each call of each system function it made, with that
// one failing with each status Windows really gives. Every such run must end
// with the result file closed, Test enabled and nothing held, but for the one
// thing a failed closing call could not release.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "sim/control.h"
#include "whole_run.h"

namespace {

// Not found, access denied, out of memory, more data, no more items.
const DWORD kStatuses[] = {2, 5, 8, 234, 259};

const char* const kProfiles[] = {
    "profiles/demo.reg",
    "tests/e2e/profiles/win98.reg",
    "tests/e2e/profiles/nt351.reg",
    "tests/e2e/profiles/nt40.reg",
    "tests/e2e/profiles/win2k.reg",
    "tests/e2e/profiles/winxp.reg",
    "tests/e2e/profiles/win10.reg",
    "tests/e2e/profiles/win7x64.reg",
    "tests/e2e/profiles/win7x64stale.reg",
};

constexpr size_t kFailuresShown = 10;

class FaultSweep : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override { path_ = std::string(VARNOBEL_SOURCE_DIR) + "/" + GetParam(); }
    void TearDown() override { wholerun::ResetMachineAndPool(); }

    // A fresh machine from the profile, then one run with `arm` called just
    // before it starts and `count` right after it ends.
    wholerun::Outcome RunOnProfile(const std::function<void()>& arm,
                                   const std::function<void()>& count = nullptr) {
        wholerun::ResetMachineAndPool();
        sim::ProfileError error;
        EXPECT_TRUE(sim::LoadProfileFile(path_, &error))
            << path_ << " line " << error.line << ": " << error.message;
        return wholerun::RunWholeProgram({arm, count});
    }

    // Records a run that did not end cleanly, under the kind of fault.
    void Note(const std::string& kind, const std::string& fault, const wholerun::Outcome& outcome,
              const wholerun::Allowance& allowance = wholerun::Allowance()) {
        const std::string problems = wholerun::Problems(outcome, allowance);
        if (!problems.empty()) {
            ++failuresByKind_[kind];
            failures_.push_back(fault + ":\n" + problems);
        }
    }

    void ExpectNoFailures(size_t runs) {
        std::string tally;
        for (const auto& [kind, count] : failuresByKind_) {
            tally += "  " + kind + ": " + std::to_string(count) + "\n";
        }
        std::string shown;
        for (size_t i = 0; i < failures_.size() && i < kFailuresShown; ++i) {
            shown += failures_[i];
        }
        EXPECT_TRUE(failures_.empty())
            << failures_.size() << " of " << runs << " runs did not end cleanly:\n"
            << tally << "among them:\n"
            << shown;
    }

    std::string path_;
    std::vector<std::string> failures_;
    std::map<std::string, size_t> failuresByKind_;
};

TEST_P(FaultSweep, EachRefusedAllocationOfACleanRunEndsCleanly) {
    unsigned first = 0;
    unsigned last = 0;
    const wholerun::Outcome clean = RunOnProfile([&] { first = sim::AllocationCount(); },
                                                 [&] { last = sim::AllocationCount(); });
    ASSERT_EQ(wholerun::Problems(clean), "");
    const unsigned allocations = last - first;
    ASSERT_GT(allocations, 0u);
    for (unsigned nth = 1; nth <= allocations; ++nth) {
        Note("allocation", "allocation " + std::to_string(nth) + " refused",
             RunOnProfile([nth] { sim::FailAllocation(nth); }));
    }
    ExpectNoFailures(allocations);
}

TEST_P(FaultSweep, EachFailedCallOfACleanRunEndsCleanly) {
    std::map<std::string, unsigned> calls;
    const wholerun::Outcome clean =
        RunOnProfile([] { sim::ClearApiCallCounts(); },
                     [&] {
                         for (const wholerun::FaultPoint& point : wholerun::kFaultPoints) {
                             if (!point.startUpOnly) {
                                 calls[point.function] = sim::ApiCallCount(point.function);
                             }
                         }
                     });
    ASSERT_EQ(wholerun::Problems(clean), "");
    ASSERT_GT(calls["RegOpenKeyExA"], 0u);
    size_t runs = 0;
    for (const auto& [function, count] : calls) {
        const std::string api = function;
        for (unsigned nth = 1; nth <= count; ++nth) {
            for (DWORD status : kStatuses) {
                Note(api,
                     api + " call " + std::to_string(nth) + " failing with " +
                         std::to_string(status),
                     RunOnProfile([&api, nth, status] { sim::FailCall(api, status, nth, 1); }),
                     wholerun::AllowanceForOneFailed(api));
                ++runs;
            }
        }
    }
    ExpectNoFailures(runs);
}

INSTANTIATE_TEST_SUITE_P(Profiles, FaultSweep, ::testing::ValuesIn(kProfiles),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             name = name.substr(name.rfind('/') + 1);
                             return name.substr(0, name.find('.'));
                         });

}  // namespace
