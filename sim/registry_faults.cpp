// Registry misbehaviour on request: per-key failures, values that change as
// they are read, junk after "more data" and odd short-buffer name lengths.
#include "registry_faults.h"

#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <utility>

#include "internal.h"
#include "sim/control.h"

namespace sim::registry_faults {
namespace {

struct PendingChange {
    unsigned dueAtRead = 0;
    ValueChange change;
};

struct WatchedValue {
    KeyIdentity key;
    unsigned reads = 0;
    std::deque<PendingChange> changes;  // in the order they take effect
};

struct KeyFaults {
    KeyIdentity key;
    std::map<std::string, DWORD> failingCalls;
};

struct State {
    std::map<const void*, KeyFaults> keyFaults;
    std::map<std::pair<const void*, std::string>, WatchedValue> watchedValues;
    bool scribble = false;
    BYTE junk = 0;
    sim::ShortNameLength shortNameLength;
};

// Never destroyed, for the same reason as the fault table of every call.
State& TheState() {
    static auto* state = new State;
    return *state;
}

}  // namespace

void FailCall(const KeyIdentity& key, const std::string& api, DWORD status) {
    KeyFaults& faults = TheState().keyFaults[key.get()];
    faults.key = key;
    faults.failingCalls[api] = status;
}

bool CallFails(const void* key, const char* api, LSTATUS* status) {
    const auto& all = TheState().keyFaults;
    if (all.empty()) {
        return false;
    }
    auto faults = all.find(key);
    if (faults == all.end()) {
        return false;
    }
    auto call = faults->second.failingCalls.find(api);
    if (call == faults->second.failingCalls.end()) {
        return false;
    }
    *status = static_cast<LSTATUS>(call->second);
    return true;
}

void ChangeValueAfterReads(const KeyIdentity& key, const std::string& foldedName, unsigned reads,
                           ValueChange change) {
    WatchedValue& watched = TheState().watchedValues[{key.get(), foldedName}];
    watched.key = key;
    watched.changes.push_back(PendingChange{watched.reads + reads, std::move(change)});
}

bool WatchingValues() {
    return !TheState().watchedValues.empty();
}

bool ChangeDueAfterRead(const void* key, const std::string& foldedName, ValueChange* change) {
    auto& all = TheState().watchedValues;
    if (all.empty()) {
        return false;
    }
    auto watched = all.find({key, foldedName});
    if (watched == all.end()) {
        return false;
    }
    WatchedValue& value = watched->second;
    ++value.reads;
    if (value.changes.empty() || value.changes.front().dueAtRead > value.reads) {
        return false;
    }
    *change = std::move(value.changes.front().change);
    value.changes.pop_front();
    return true;
}

void ScribbleOnMoreData(bool enabled, BYTE junk) {
    TheState().scribble = enabled;
    TheState().junk = junk;
}

void AfterMoreData(BYTE* data, DWORD capacity) {
    if (TheState().scribble && data != nullptr && capacity > 0) {
        std::memset(data, TheState().junk, capacity);
    }
}

void SetShortNameLength(sim::ShortNameLength report) {
    TheState().shortNameLength = std::move(report);
}

void AfterShortName(DWORD nameLength, LPDWORD callerLength) {
    if (TheState().shortNameLength) {
        *callerLength = TheState().shortNameLength(*callerLength, nameLength);
    }
}

void Reset() {
    TheState() = State();
}

}  // namespace sim::registry_faults

namespace sim {

void ScribbleOnMoreData(bool enabled, BYTE junk) {
    registry_faults::ScribbleOnMoreData(enabled, junk);
}

void SetShortNameLength(ShortNameLength report) {
    registry_faults::SetShortNameLength(std::move(report));
}

}  // namespace sim
