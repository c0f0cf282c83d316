// One whole run of the program on the current simulated machine, as the fuzz
// targets and the fault sweep drive it: discovery, every probe, then a test
// run through the main dialog that writes the result file; or the program
// from its entry point, as a person uses it; and what the run left behind.
#pragma once

#include <functional>
#include <string>
#include <vector>

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

    // The report of the last test run: whether one ran (Test was pressed in
    // an open dialog), whether its result file could not be created, the
    // file's bytes, the list box's entries and every entry added to it since
    // the run emptied it; and whether the disk had a limit.
    bool tested = false;
    bool resultFileRefused = false;
    std::string resultFile;
    std::vector<std::string> listShown;
    std::vector<std::string> listAdded;
    bool diskLimited = false;
    // What the entry point returned (from the start only).
    int exitCode = 0;
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

// A system function the program calls on one machine or another, which the
// fault sweep and the fuzz targets make fail. `releases`: a failed call leaves
// what it should have released (see AllowanceForOneFailed). `startUpOnly`:
// only the program's start calls it, before any Test.
struct FaultPoint {
    const char* function;
    bool releases;
    bool startUpOnly;
};
extern const std::vector<FaultPoint> kFaultPoints;

// A person at the program from its start: the exe's path, whether the exe
// lacks its resources (the dialog template and the icon), how often Test is
// pressed (by a click or Enter), whether the minimised dialog is painted
// first, at what client size, and how the dialog is left.
struct Session {
    enum class Leave { Exit, Escape, CloseBox };
    std::string modulePath = "C:\\Tools\\Varnobel.exe";
    bool withoutResources = false;
    int testPresses = 1;
    bool pressEnter = false;
    bool paintMinimised = false;
    int clientWidth = 0;
    int clientHeight = 0;
    Leave leave = Leave::Exit;
};

// Runs the program from AfxWinMain to its end on the machine the caller set
// up. `beforeRun` comes before the application object is made, `afterRun`
// after the last press of Test; faults are cleared before the dialog is left.
// The report is read beside the exe, where the program put its directory.
Outcome RunFromStart(const Session& session, const Hooks& hooks = Hooks());

// An empty text when the outcome is a clean end: result file closed, Test
// enabled, nothing held beyond the allowance; otherwise what is wrong, one
// item per line.
std::string Problems(const Outcome& outcome, const Allowance& allowance = Allowance());

// Where RunWholeProgram writes the result file.
constexpr const char kResultPath[] = "C:\\Tools\\ComList.txt";

}  // namespace wholerun
