// Shared inside the simulated Windows: the fault hooks every simulated call
// consults, each area's reset, which ResetMachine runs in turn, and the
// profile sections each area reads with the text helpers they share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sim/win32.h"

namespace sim::internal {

// True when the named call is to fail now; `status` then holds the status the
// test chose. Every simulated API function asks this first, under its own name.
bool CallFails(const char* api, DWORD* status);
// CallFails for a call that reports through GetLastError: the chosen status
// is set as the last error.
bool CallFailsWithLastError(const char* api);

// Whether two names are the same but for the case of ASCII letters, as
// Windows compares file, module and registry names.
bool SameNameIgnoringCase(const std::string& a, const std::string& b);

// True when the product's next heap allocation is to be refused.
bool AllocationRefused();

void ResetFaults();
void ResetHeap();
void ResetRegistry();
void ResetVersion();
void ResetClock();
void ResetFiles();
void ResetWindows();
void ResetGlobalMemory();
void ResetCodePage();
void ResetSetupApi();
void ResetSpooler();
void ResetApiCallCounts();
void ResetProcessKind();
void ResetModules();

// The registry views of 64-bit Windows. `path` is below HKEY_LOCAL_MACHINE,
// its components separated by single backslashes; the result is where an open
// with `access` lands, `fromRoot` when it was opened relative to the root
// itself. Everything outside SOFTWARE is shared by both views.
std::string LocalMachineViewPath(const std::string& path, REGSAM access, bool fromRoot);
// ERROR_SUCCESS, or what an open with `access` fails with because this system
// does not know the view flags.
LSTATUS ViewFlagsStatus(REGSAM access);
// GetModuleHandleA for a system DLL's name: kernel32, and any other while
// LoadLibrary holds it; null otherwise.
HMODULE SystemModuleHandle(const char* moduleName);
// Whether the simulated Windows is of the NT family.
bool RunsWindowsNt();
// Whether it is of the NT family and at least this version and service pack.
bool NtAtLeast(DWORD major, DWORD minor, WORD servicePack = 0);
// The exe's path, as GetModuleFileNameA reports it.
std::string ModulePath();
// Whether the program holds a LoadLibrary reference to any copy of the DLL:
// the system directory's, or the side-by-side store's.
bool ProgramHoldsDll(const char* fileName);
// On Windows XP the manifest inside the exe versions the dialog's controls,
// which then exist only once version 6 of comctl32.dll is loaded.
bool NeedsVersion6Controls();
// What user32 does when a window comes up on Windows XP and later: loads the
// theme engine, uxtheme.dll, by bare name.
void LoadThemeEngine();

// Where kernel32 is mapped in every process.
constexpr uintptr_t kKernel32Base = 0x7c800000;

// One function a simulated DLL exports: GetProcAddress finds it by `name`
// unless `exported` says this version of Windows lacks it.
struct DllExport {
    const char* name;
    void (*function)();
    bool (*exported)() = nullptr;
};
// Each simulated DLL tells the loader its file name, where it is mapped and
// what it exports; registering again adds exports. The loader then finds it
// by name or in the system directory.
void RegisterDll(const char* fileName, uintptr_t base, const std::vector<DllExport>& exports);
// Every function of a DLL that programs load at run time calls this: it
// counts calls made while no LoadLibrary reference holds that DLL.
void NoteCallInto(const char* fileName);
// A DLL's lines in its profile section: "dll=missing", the machine lacks the
// DLL; missing="FUNCTION", the DLL lacks that export. False with a message
// for any other value.
bool ApplyDllSetting(const char* fileName, const std::string& key, const std::string& value,
                     std::string* message);

// Applies one [@section] of a machine profile: `key` = `value` pairs as
// written. Returns false with a message for an unknown key or a bad value.
bool ApplyVersionSetting(const std::string& key, const std::string& value, std::string* message);

// One line of a [@setupapi] or [@spooler] section, as written.
bool ApplySetupApiLine(const std::string& text, std::string* message);
bool ApplySpoolerLine(const std::string& text, std::string* message);
// One line of [@serial] ("COM3=busy") and of [@codepage] ("acp=932").
bool ApplySerialLine(const std::string& text, std::string* message);
bool ApplyCodePageLine(const std::string& text, std::string* message);
// One line of [@files] ("readonly=\"C:\\Tools\\ComList.txt\"", "diskspace=100").
bool ApplyFilesLine(const std::string& text, std::string* message);

// `text` without the spaces and tabs around it.
std::string Trimmed(const std::string& text);

// Parses the quoted text whose opening quote is at `pos`, with \\ and \"
// escapes, and leaves `pos` just past the closing quote. False for a bad
// escape or a missing closing quote, with a message when `message` is not
// null.
bool ParseQuoted(const std::string& text, size_t* pos, std::string* result, std::string* message);

// Ticks per second of the performance counter.
int64_t ClockFrequency();

}  // namespace sim::internal
