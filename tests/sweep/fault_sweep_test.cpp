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
#include <tuple>
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

class SweepOnProfile : public ::testing::Test {
protected:
    void UseProfile(const char* profile) { path_ = std::string(VARNOBEL_SOURCE_DIR) + "/" + profile; }
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

// A profile's file name without its folder and extension.
std::string ProfileName(const char* profile) {
    std::string name = profile;
    name = name.substr(name.rfind('/') + 1);
    return name.substr(0, name.find('.'));
}

class AllocationSweep : public SweepOnProfile, public ::testing::WithParamInterface<const char*> {
protected:
    void SetUp() override { UseProfile(GetParam()); }
};

// The failed calls of one profile are swept in two halves, the odd and the
// even call numbers of each function, so that the sweep's shards share the
// largest profile's runs.
class CallSweep : public SweepOnProfile,
                  public ::testing::WithParamInterface<std::tuple<const char*, unsigned>> {
protected:
    void SetUp() override { UseProfile(std::get<0>(GetParam())); }
    unsigned Half() const { return std::get<1>(GetParam()); }
};

TEST_P(AllocationSweep, EachRefusedAllocationOfACleanRunEndsCleanly) {
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

TEST_P(CallSweep, EachFailedCallOfACleanRunEndsCleanly) {
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
        for (unsigned nth = 1 + Half(); nth <= count; nth += 2) {
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

INSTANTIATE_TEST_SUITE_P(Profiles, AllocationSweep, ::testing::ValuesIn(kProfiles),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return ProfileName(info.param);
                         });

INSTANTIATE_TEST_SUITE_P(
    Profiles, CallSweep, ::testing::Combine(::testing::ValuesIn(kProfiles), ::testing::Values(0u, 1u)),
    [](const ::testing::TestParamInfo<std::tuple<const char*, unsigned>>& info) {
        return ProfileName(std::get<0>(info.param)) +
               (std::get<1>(info.param) == 0 ? "_odd_calls" : "_even_calls");
    });

}  // namespace
