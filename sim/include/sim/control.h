// The test side of the simulated Windows: set up a machine, inject faults and
// look at what the product left behind (open keys and handles, files, the
// list box, message boxes).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/win32.h"

namespace sim {

// Machine ----------------------------------------------------------------
// Forgets everything: an empty registry with its roots, the default version
// (Windows XP Service Pack 3), a clock at 0 ticking at 3,579,545 Hz, no
// faults, no files, no windows, no message boxes.
void ResetMachine();

struct ProfileError {
    int line = 0;          // 1-based line of the offending text, 0 for none
    std::string message;   // what is wrong there
};

// Loads a machine profile into the current machine (on top of what it holds).
// A profile is REGEDIT4 text; sections named [@something] carry the machine's
// other settings. Returns false and fills `error` on malformed text.
bool LoadProfile(const std::string& text, ProfileError* error);
bool LoadProfileFile(const std::string& path, ProfileError* error);

// Registry ---------------------------------------------------------------
// Keys opened or created through the API and not yet closed.
int OpenKeyCount();

// Version ----------------------------------------------------------------
struct Version {
    DWORD platformId = VER_PLATFORM_WIN32_NT;
    DWORD major = 5;
    DWORD minor = 1;
    DWORD build = 2600;
    WORD servicePackMajor = 3;
    WORD servicePackMinor = 0;
    std::string csdVersion = "Service Pack 3";
    bool extendedQueryFails = false;  // as on NT 4 before Service Pack 6
};
void SetVersion(const Version& version);
Version CurrentVersion();

// Clock ------------------------------------------------------------------
void SetClockFrequency(int64_t ticksPerSecond);
void SetClockCounter(int64_t ticks);
void AdvanceClock(int64_t ticks);
int64_t ClockCounter();

// Faults -----------------------------------------------------------------
// The nth allocation the product asks for from now on (1 = the next one)
// is refused.
void FailAllocation(unsigned nth);
// Calls of the named API fail with `status`: the nth call from now and the
// `count` - 1 after it (count 0 means every call from the nth on).
void FailCall(const std::string& api, DWORD status, unsigned nth = 1, unsigned count = 0);
void ClearFaults();
// Product heap blocks allocated and not yet freed, and allocations made.
int LiveAllocations();
unsigned AllocationCount();

// Files ------------------------------------------------------------------
// Open file and device handles.
int OpenHandleCount();
// Whether the file exists, and its bytes.
bool FileExists(const std::string& path);
std::string FileContents(const std::string& path);
// Creating (or truncating) this path fails with ERROR_ACCESS_DENIED.
void MakeFileUncreatable(const std::string& path);
// The executable's own path, as GetModuleFileNameA reports it.
void SetModulePath(const std::string& path);

// Windows ----------------------------------------------------------------
// A dialog window with the given child controls; list boxes and buttons.
enum class ControlKind { Button, ListBox };
struct ControlSpec {
    int id;
    ControlKind kind;
};
HWND CreateTestDialog(const std::vector<ControlSpec>& controls);
void DestroyTestDialog(HWND dialog);
std::vector<std::string> ListBoxItems(HWND listBox);
int ListBoxTopIndex(HWND listBox);

struct MessageBoxRecord {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
};
std::vector<MessageBoxRecord> MessageBoxes();

}  // namespace sim
