// The simulated Windows still answers at exit, after the function-local
// statics are gone: the process pool gives its chunks back to global memory
// from the destructor of a static object, and every call it makes consults
// the fault table.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "sim/control.h"

namespace {

constexpr DWORD kInjectedStatus = 4321;
constexpr int kWrongAnswerAtExit = 3;

// Constructed before main, so destroyed after every static made later; armed
// only in the child process of the test below.
class CallAtExit {
public:
    ~CallAtExit() {
        if (block_ == nullptr) {
            return;
        }
        // The fault armed before exit must still be in force.
        if (GlobalFree(block_) != block_ || GetLastError() != kInjectedStatus) {
            _exit(kWrongAnswerAtExit);
        }
    }
    void Arm(HGLOBAL block) { block_ = block; }

private:
    HGLOBAL block_ = nullptr;
};

CallAtExit callAtExit;

TEST(SimExitOrderTest, FaultTableOutlivesTheStaticsMadeBeforeIt) {
    // The child runs afresh, so that its statics are made in its own order;
    // its heap overwrites what it frees at once, so that using it shows.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    setenv("GLIBC_TUNABLES", "glibc.malloc.tcache_count=0:glibc.malloc.perturb=165", 1);
    EXPECT_EXIT(
        {
            sim::ResetMachine();
            callAtExit.Arm(GlobalAlloc(GMEM_FIXED, 16));
            sim::FailCall("GlobalFree", kInjectedStatus);
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    unsetenv("GLIBC_TUNABLES");
}

}  // namespace
