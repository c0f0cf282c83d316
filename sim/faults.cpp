// Fault injection: refused heap allocations and calls that fail on demand,
// plus the counted heap that the product allocates from.
#include <cctype>
#include <cstdlib>
#include <map>
#include <string>
#include <unordered_map>

#include "internal.h"
#include "registry_faults.h"
#include "sim/control.h"
#include "sim/crt.h"

namespace {

struct CallFault {
    DWORD status = 0;
    unsigned callsBeforeFirst = 0;  // calls that still succeed
    unsigned failuresLeft = 0;      // 0: every call from then on fails
    bool unlimited = false;
};

// Never destroyed, like the global heap: memory of static storage duration
// (the process pool's chunks) is given back at exit through simulated calls,
// which may come after this file's statics would have been destroyed.
std::map<std::string, CallFault>& CallFaults() {
    static auto* faults = new std::map<std::string, CallFault>;
    return *faults;
}

// Every simulated call passes through CallFails, so that is where calls are
// counted.
std::unordered_map<std::string, unsigned>& CallCounts() {
    static auto* counts = new std::unordered_map<std::string, unsigned>;
    return *counts;
}

struct AllocationFault {
    unsigned allocationsBeforeFirst = 0;  // allocations that still succeed
    unsigned refusalsLeft = 0;            // 0: every allocation from then on is refused
    bool armed = false;
};

AllocationFault allocationFault;
DWORD lastError = 0;
int liveAllocations = 0;
unsigned allocationCount = 0;

}  // namespace

namespace sim {

void FailAllocation(unsigned nth, unsigned count) {
    allocationFault.allocationsBeforeFirst = nth > 0 ? nth - 1 : 0;
    allocationFault.refusalsLeft = count;
    allocationFault.armed = nth > 0;
}

void FailCall(const std::string& api, DWORD status, unsigned nth, unsigned count) {
    CallFault fault;
    fault.status = status;
    fault.callsBeforeFirst = nth > 0 ? nth - 1 : 0;
    fault.failuresLeft = count;
    fault.unlimited = count == 0;
    CallFaults()[api] = fault;
}

void ClearFaults() {
    internal::ResetFaults();
}

int LiveAllocations() {
    return liveAllocations;
}
unsigned AllocationCount() {
    return allocationCount;
}

unsigned ApiCallCount(const std::string& api) {
    auto found = CallCounts().find(api);
    return found == CallCounts().end() ? 0 : found->second;
}

void ClearApiCallCounts() {
    CallCounts().clear();
}

namespace internal {

bool CallFails(const char* api, DWORD* status) {
    ++CallCounts()[api];
    auto found = CallFaults().find(api);
    if (found == CallFaults().end()) {
        return false;
    }
    CallFault& fault = found->second;
    if (fault.callsBeforeFirst > 0) {
        --fault.callsBeforeFirst;
        return false;
    }
    *status = fault.status;
    if (!fault.unlimited && --fault.failuresLeft == 0) {
        CallFaults().erase(found);
    }
    return true;
}

bool CallFailsWithLastError(const char* api) {
    DWORD status = 0;
    if (!CallFails(api, &status)) {
        return false;
    }
    SetLastError(status);
    return true;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

bool AllocationRefused() {
    AllocationFault& fault = allocationFault;
    if (!fault.armed) {
        return false;
    }
    if (fault.allocationsBeforeFirst > 0) {
        --fault.allocationsBeforeFirst;
        return false;
    }
    if (fault.refusalsLeft > 0 && --fault.refusalsLeft == 0) {
        fault.armed = false;
    }
    return true;
}

void ResetFaults() {
    CallFaults().clear();
    lastError = 0;
    allocationFault = AllocationFault();
    registry_faults::Reset();
}

void ResetApiCallCounts() {
    CallCounts().clear();
}

void ResetHeap() {
    liveAllocations = 0;
    allocationCount = 0;
}

}  // namespace internal
}  // namespace sim

namespace crt {

void* malloc(std::size_t bytes) {
    ++allocationCount;
    if (sim::internal::AllocationRefused()) {
        return nullptr;
    }
    void* block = std::malloc(bytes == 0 ? 1 : bytes);
    if (block != nullptr) {
        ++liveAllocations;
    }
    return block;
}

void free(void* block) {
    if (block != nullptr) {
        --liveAllocations;
        std::free(block);
    }
}

}  // namespace crt

// The simulated machine has one thread, so one last-error value.
DWORD GetLastError() {
    return lastError;
}
void SetLastError(DWORD code) {
    lastError = code;
}
