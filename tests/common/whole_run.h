// One whole run of the program on the current simulated machine, as the fuzz
// targets and the fault sweep drive it: discovery, every probe, then a test
// run through the main dialog that writes the result file; and what the run
// left behind.
#pragma once

#include <functional>
#include <string>

namespace wholerun {

// The state right after the dialog's test run, and what was still held once
// the run's objects were gone and the pool had given its chunks back.
struct Outcome {
    bool resultFileOpen = false;
    bool testButtonEnabled = false;
    int openKeysAfterRun = 0;
    int openHandlesAfterRun = 0;
    int openDeviceSetsAfterRun = 0;
    int loadedModulesAfterRun = 0;
    unsigned poolBytesInUseAfterRun = 0;  // handed out by the pool, not yet released
    int poolLockDepthAfterRun = 0;
    int heapBlocksAtEnd = 0;
    int globalBlocksAtEnd = 0;
    int openKeysAtEnd = 0;
    int openHandlesAtEnd = 0;
    int openDeviceSetsAtEnd = 0;
    int loadedModulesAtEnd = 0;
    int windowsAtEnd = 0;
    // Calls into setupapi.dll made while it was not loaded.
    int setupApiCallsWhileUnloaded = 0;
};

// What the caller does inside a run: `beforeRun` once the application and
// its dialog stand, just before discovery (where faults are armed, so that
// they hit the run and not the set-up); `afterRun` right after the test run,
// before anything is torn down.
struct Hooks {
    std::function<void()> beforeRun;
    std::function<void()> afterRun;
};

// Gives the pool's chunks back and resets the simulated machine. The pool's
// chunks live in the machine's global memory, so they must go first.
void ResetMachineAndPool();

// Runs the program on the machine the caller set up with its profile. The
// result file goes to C:\Tools\ComList.txt.
Outcome RunWholeProgram(const Hooks& hooks = Hooks());

// What a run may leave when one call that releases something fails: that
// one thing, which the program cannot release otherwise (calling again on a
// handle that may be gone is worse). A failed EnableWindow leaves the button
// as it was.
struct Allowance {
    int keys = 0;
    int handles = 0;
    int deviceSets = 0;
    int modules = 0;
    int globalBlocks = 0;
    bool testMayStayDisabled = false;
};
// The allowance for one failed call of the named function; none for a
// function that releases nothing.
Allowance AllowanceForOneFailed(const std::string& api);

// An empty text when the outcome is a clean end: result file closed, Test
// enabled, nothing held beyond the allowance; otherwise what is wrong, one
// item per line.
std::string Problems(const Outcome& outcome, const Allowance& allowance = Allowance());

// Where RunWholeProgram writes the result file.
constexpr const char kResultPath[] = "C:\\Tools\\ComList.txt";

}  // namespace wholerun
