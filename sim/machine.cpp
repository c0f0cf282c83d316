// Resets the whole simulated machine, area by area.
#include "internal.h"
#include "sim/control.h"

namespace sim {

void ResetMachine() {
    internal::ResetFaults();
    internal::ResetHeap();
    internal::ResetRegistry();
    internal::ResetVersion();
    internal::ResetProcessKind();
    internal::ResetModules();
    internal::ResetClock();
    internal::ResetFiles();
    internal::ResetWindows();
    internal::ResetGlobalMemory();
    internal::ResetCodePage();
    internal::ResetSetupApi();
    internal::ResetSpooler();
    internal::ResetApiCallCounts();
}

}  // namespace sim
