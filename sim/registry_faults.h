// How the simulated registry misbehaves on a test's request: calls that fail
// on one key only, values that change between reads, junk left in a buffer
// after a "more data" answer, and enumerations that report an odd name length.
// Keys are known by identity; the registry tells which key a call is about.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim/control.h"
#include "sim/win32.h"

namespace sim::registry_faults {

// Holding the key keeps its identity from being reused while a fault names it.
using KeyIdentity = std::shared_ptr<const void>;

void FailCall(const KeyIdentity& key, const std::string& api, DWORD status);
// True when `api` is to fail on `key`; `status` then holds the status to give.
bool CallFails(const void* key, const char* api, LSTATUS* status);

struct ValueChange {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};
// `foldedName` is the value's name in upper case.
void ChangeValueAfterReads(const KeyIdentity& key, const std::string& foldedName, unsigned reads,
                           ValueChange change);
// Whether any value is to change; reads need not be counted when none is.
bool WatchingValues();
// Counts one read of the value; true, with the change to make, when one is due.
bool ChangeDueAfterRead(const void* key, const std::string& foldedName, ValueChange* change);

void ScribbleOnMoreData(bool enabled, BYTE junk);
// Fills the caller's buffer after a "more data" answer, when asked to.
void AfterMoreData(BYTE* data, DWORD capacity);

void SetShortNameLength(sim::ShortNameLength report);
// What a name that did not fit leaves in the caller's length.
void AfterShortName(DWORD nameLength, LPDWORD callerLength);

void Reset();

}  // namespace sim::registry_faults
