// Simulated critical sections. The machine has one thread, so a section never
// blocks; it only counts how deep it is held and how it was used, for tests.
#include <map>

#include "sim/control.h"

namespace {

struct SectionState {
    bool live = false;  // initialised and not yet deleted
    int depth = 0;
    int maxDepth = 0;
    unsigned entries = 0;
    int misuses = 0;
};

// Never destroyed: sections of static objects are deleted at exit.
std::map<const CRITICAL_SECTION*, SectionState>& Sections() {
    static auto* sections = new std::map<const CRITICAL_SECTION*, SectionState>;
    return *sections;
}

const SectionState* Lookup(const CRITICAL_SECTION* section) {
    auto found = Sections().find(section);
    return found == Sections().end() ? nullptr : &found->second;
}

// The owning thread of the one thread there is.
HANDLE const kThisThread = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(1));

}  // namespace

namespace sim {

int CriticalSectionDepth(const CRITICAL_SECTION* section) {
    const SectionState* state = Lookup(section);
    return state == nullptr ? 0 : state->depth;
}

int CriticalSectionMaxDepth(const CRITICAL_SECTION* section) {
    const SectionState* state = Lookup(section);
    return state == nullptr ? 0 : state->maxDepth;
}

unsigned CriticalSectionEntries(const CRITICAL_SECTION* section) {
    const SectionState* state = Lookup(section);
    return state == nullptr ? 0 : state->entries;
}

bool CriticalSectionLive(const CRITICAL_SECTION* section) {
    const SectionState* state = Lookup(section);
    return state != nullptr && state->live;
}

int CriticalSectionMisuses(const CRITICAL_SECTION* section) {
    const SectionState* state = Lookup(section);
    return state == nullptr ? 0 : state->misuses;
}

}  // namespace sim

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
    SectionState& state = Sections()[section];
    // Re-initialising a live section is the same object misused; a section
    // that was deleted, or never seen, starts afresh at this address.
    const int misuses = state.live ? state.misuses + (state.depth > 0 ? 1 : 0) : 0;
    state = SectionState();
    state.live = true;
    state.misuses = misuses;
    section->LockCount = -1;
    section->RecursionCount = 0;
    section->OwningThread = nullptr;
    section->LockSemaphore = nullptr;
    section->SpinCount = 0;
    section->DebugInfo = nullptr;
}

void EnterCriticalSection(LPCRITICAL_SECTION section) {
    SectionState& state = Sections()[section];
    if (!state.live) {
        ++state.misuses;
    }
    ++state.depth;
    ++state.entries;
    if (state.depth > state.maxDepth) {
        state.maxDepth = state.depth;
    }
    section->RecursionCount = state.depth;
    section->OwningThread = kThisThread;
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
    SectionState& state = Sections()[section];
    if (!state.live || state.depth == 0) {
        ++state.misuses;
        return;
    }
    --state.depth;
    section->RecursionCount = state.depth;
    if (state.depth == 0) {
        section->OwningThread = nullptr;
    }
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
    SectionState& state = Sections()[section];
    if (!state.live || state.depth > 0) {
        ++state.misuses;
    }
    state.live = false;
    state.depth = 0;
}
