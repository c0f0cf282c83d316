// The test side of the simulated Windows: set up a machine, inject faults and
// look at what the product left behind (open keys and handles, files, the
// list box, message boxes).
#pragma once

#include <cstdint>
#include <functional>
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
    int line = 0;         // 1-based line of the offending text, 0 for none
    std::string message;  // what is wrong there
};

// Loads a machine profile into the current machine (on top of what it holds).
// A profile is REGEDIT4 text; sections named [@something] carry the machine's
// other settings. Returns false and fills `error` on malformed text.
bool LoadProfile(const std::string& text, ProfileError* error);
bool LoadProfileFile(const std::string& path, ProfileError* error);

// Registry ---------------------------------------------------------------
// Keys opened or created through the API and not yet closed.
int OpenKeyCount();
// The most keys that were open at one time since the machine was reset or
// the peak was last cleared; clearing starts it again from the keys open now.
int PeakOpenKeyCount();
void ClearPeakOpenKeyCount();

// The rights a user may be granted on the key at `path` below the predefined
// `root` and on every key below it, existing or created later (as inherited
// permissions give them). An open or create that asks for any other right of
// such a key fails with ERROR_ACCESS_DENIED, as HKEY_LOCAL_MACHINE does for a
// user who is not elevated; MAXIMUM_ALLOWED is granted `allowed`. False when
// the key does not exist.
bool SetKeyAccess(HKEY root, const std::string& path, REGSAM allowed);

// A registry that misbehaves. ClearFaults (and ResetMachine) undoes all four.
// Calls of `api` made on the key at `path` fail with `status`: opening or
// creating it (RegOpenKeyExA, RegCreateKeyExA) or any call given a handle to
// it. Other keys are not affected. False when the key does not exist.
bool FailKeyCall(HKEY root, const std::string& path, const std::string& api, DWORD status);

// Once the value `name` of the key at `path` has been read `reads` times
// (RegQueryValueExA or RegEnumValueA, a size-only query included), it holds
// `type` and `data`: a value that changes between two reads of the product.
// Several changes of one value take effect in turn. False when the key does
// not exist.
bool ChangeValueAfterReads(HKEY root, const std::string& path, const std::string& name,
                           unsigned reads, DWORD type, const std::vector<BYTE>& data);

// When RegQueryValueExA or RegEnumValueA answers ERROR_MORE_DATA, the
// caller's data buffer is filled with `junk` bytes, which Windows' "contents
// undefined" allows; by default it is left untouched, as Wine does.
void ScribbleOnMoreData(bool enabled, BYTE junk = 0xA5);

// What RegEnumKeyExA and RegEnumValueA put in the name length when the name
// does not fit: given the buffer's length in characters and the name's length
// without its NUL. Unset (the default), the length is left as it was, as
// Wine does; Windows documents nothing for this case.
using ShortNameLength = std::function<DWORD(DWORD bufferLength, DWORD nameLength)>;
void SetShortNameLength(ShortNameLength report);

// Process width ------------------------------------------------------------
// What runs: a 32-bit program on 32-bit Windows (the default), a 32-bit
// program on 64-bit Windows (WOW64), or a 64-bit program. 64-bit Windows shows
// HKEY_LOCAL_MACHINE\SOFTWARE in two views: the 64-bit one at the plain path,
// the 32-bit one below SOFTWARE\Wow6432Node. A 32-bit program's opens go to
// the 32-bit view unless they ask for KEY_WOW64_64KEY; a 64-bit program's go
// to the 64-bit view unless they ask for KEY_WOW64_32KEY. Choosing 64-bit
// Windows creates SOFTWARE\Wow6432Node.
enum class ProcessKind { Native32, Wow64, Native64 };
void SetProcessKind(ProcessKind kind);
ProcessKind CurrentProcessKind();
// RegOpenKeyExA and RegCreateKeyExA calls that asked for KEY_WOW64_64KEY or
// KEY_WOW64_32KEY since the machine was reset.
int ViewFlagOpenCount();

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
    std::string wineName = "winxp";   // the Wine version a Wine run of this machine uses
};
// A profile's [@version] section also takes bits=64: the product, a 32-bit
// program, then runs under WOW64 (ProcessKind::Wow64); bits=32 is the default.
void SetVersion(const Version& version);
Version CurrentVersion();

// Clock ------------------------------------------------------------------
void SetClockFrequency(int64_t ticksPerSecond);
void SetClockCounter(int64_t ticks);
void AdvanceClock(int64_t ticks);
int64_t ClockCounter();

// Faults -----------------------------------------------------------------
// The nth allocation the product asks for from now on (1 = the next one)
// is refused, and the `count` - 1 after it (count 0 means every allocation
// from the nth on). nth 0 refuses none.
void FailAllocation(unsigned nth, unsigned count = 1);
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
// Room left on the disk for file data, from now on; negative for no limit
// (the default). A write that finds no room fails with ERROR_DISK_FULL; one
// that finds some writes what fits and reports the shorter count, as Wine
// passes on a write the host's file system cut short.
void SetDiskSpace(int64_t bytes);
// The room left; negative when there is no limit.
int64_t DiskSpace();
// Another program opens the file (creating it if missing) with this access
// and share mode and keeps it open until ReleaseHeldFiles or a reset. Its
// handle is not among OpenHandleCount's.
void HoldFileOpen(const std::string& path, DWORD access, DWORD shareMode);
void ReleaseHeldFiles();
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
// Every entry added to the list box since it was made or last emptied
// (LB_RESETCONTENT), in order, the ones deleted since included.
std::vector<std::string> ListBoxEntriesAdded(HWND listBox);
int ListBoxTopIndex(HWND listBox);

struct MessageBoxRecord {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
    HCURSOR cursor = nullptr;  // the cursor on screen when the box came up
    // Whether the program held comctl32.dll (either version) through
    // LoadLibrary when the box came up.
    bool commonControlsHeld = false;
};
std::vector<MessageBoxRecord> MessageBoxes();

// Global memory ----------------------------------------------------------
// Blocks obtained with GlobalAlloc and not yet freed.
int GlobalBlocksHeld();
// How often the block is locked; -1 for a handle that names no block.
int GlobalLockCount(HGLOBAL handle);
// One call of GlobalAlloc, GlobalLock, GlobalUnlock or GlobalFree. `bytes` is
// the size asked for (GlobalAlloc) or the block's size; `flags` only for
// GlobalAlloc. Failures made with FailCall are recorded too.
struct GlobalMemoryCall {
    std::string api;
    HGLOBAL handle = nullptr;
    UINT flags = 0;
    SIZE_T bytes = 0;
    bool succeeded = false;
};
// Every call since the machine was reset, in order.
std::vector<GlobalMemoryCall> GlobalMemoryCalls();
// Runs after each call, at the moment it returns; null to stop.
using GlobalMemoryObserver = std::function<void(const GlobalMemoryCall&)>;
void ObserveGlobalMemory(GlobalMemoryObserver observer);

// Critical sections ------------------------------------------------------
// How deep the section is held now, the deepest it has been held, and how
// often it was entered, since it was last initialised.
int CriticalSectionDepth(const CRITICAL_SECTION* section);
int CriticalSectionMaxDepth(const CRITICAL_SECTION* section);
unsigned CriticalSectionEntries(const CRITICAL_SECTION* section);
// Initialised and not yet deleted.
bool CriticalSectionLive(const CRITICAL_SECTION* section);
// Entries or deletions of a section not initialised, leaves of a section not
// held, deletions or re-initialisations of a section still held.
int CriticalSectionMisuses(const CRITICAL_SECTION* section);

// Serial devices ---------------------------------------------------------
// What answers behind "\\.\COMn" (and "COMn" for n up to 9). A port with no
// device fails to open with ERROR_FILE_NOT_FOUND; a busy one, held by another
// program, with ERROR_ACCESS_DENIED; a slow one opens after the clock has
// moved on by `openMilliseconds`; one without state opens, but GetCommState
// fails on it. Ports are numbered 1 to 256.
enum class SerialDevice { None, Present, Busy, Slow, NoState };
void SetSerialDevice(int port, SerialDevice device, int openMilliseconds = 0);
// CreateFileA calls made on the port that `name` ("COM4", "\\.\COM4") names,
// whether or not they succeeded, since the machine was reset.
int DeviceOpenCount(const std::string& name);
// Every CreateFileA call made on a COM port since the machine was reset.
struct DeviceOpenAttempt {
    int port = 0;
    DWORD access = 0;
    DWORD shareMode = 0;
    DWORD disposition = 0;
    DWORD flags = 0;
    bool succeeded = false;
};
std::vector<DeviceOpenAttempt> DeviceOpenAttempts();

// Code page --------------------------------------------------------------
// The machine's ANSI code page, which the runtime's multibyte functions use
// from now on and _setmbcp(-3) selects: 1252 by default; 932, 936, 949 and 950
// are double-byte. False, and nothing changes, for a code page not modelled.
bool SetCodePage(int codePage);

// Setup API ----------------------------------------------------------------
// Device-information sets obtained with SetupDiGetClassDevsA and not yet
// destroyed.
int OpenDeviceInfoSetCount();
// What a Setup API may report that Wine's does not. The interfaces of device
// instance `instanceId` (e.g. "ACPI\PNP0501\1", any case) report `path` as
// their device path instead of their own, or their own path with no
// terminator, repeated to fill the caller's buffer to its end.
void SetDevicePath(const std::string& instanceId, const std::string& path);
void SetDevicePathUnterminated(const std::string& instanceId);
// Interfaces whose device instance key is missing are listed all the same, as
// a stale registration of a removed device may be.
void ListInterfacesWithoutInstance(bool listed);
// Modules ------------------------------------------------------------------
// LoadLibraryA and LoadLibraryExA know kernel32, setupapi.dll, winspool.drv,
// comctl32.dll and the theme's DLLs below ("kernel32" and "setupapi" need no
// ".dll"), in any case, by bare name or by a path in the system directory
// (GetSystemDirectoryA: C:\WINDOWS\SYSTEM on Windows 95/98/Me,
// C:\WINDOWS\system32 on NT); any other name or path fails with
// ERROR_MOD_NOT_FOUND, and a path of MAX_PATH characters or more with
// ERROR_FILENAME_EXCED_RANGE. LoadLibraryExA takes no flag but
// LOAD_WITH_ALTERED_SEARCH_PATH. References LoadLibrary took and FreeLibrary
// has not given back, a planted DLL's included; not those system DLLs took.
int LoadedModuleCount();
// The references LoadLibrary took on that DLL and FreeLibrary has not given
// back.
int DllReferences(const std::string& fileName);
// The machine lacks this DLL, as Windows 95 and many NT 4.0 lack
// setupapi.dll: loading it fails with ERROR_MOD_NOT_FOUND. (Its functions stay
// callable directly, as for a program that imports them, which such a machine
// would not even start.) False, and nothing changes, for kernel32 or a name
// the loader does not know.
bool RemoveSystemDll(const std::string& fileName);
// The machine's DLL lacks the named function: GetProcAddress gives null with
// ERROR_PROC_NOT_FOUND. False, and nothing changes, for a name the DLL does
// not export anyway.
bool RemoveDllFunction(const std::string& fileName, const std::string& function);
// Calls of the DLL's functions made while LoadLibrary held no reference to
// it: for a program that loads the DLL at run time, calls into a DLL that may
// not be loaded. (A program that imports them has the DLL from its start;
// its calls count here too.)
int CallsWhileUnloaded(const std::string& fileName);
// A DLL of this name (say "setupapi.dll") lies in the executable's folder.
// Windows looks there first for a bare name that is no known DLL, so loading
// it by bare name then loads the planted one; it exports nothing the program
// asks for. Where `importedBy` names a system DLL that imports this name,
// loading that system DLL by its full path loads the planted one too, unless
// LOAD_WITH_ALTERED_SEARCH_PATH sends the search to the system DLL's folder;
// freeing the system DLL frees it.
void PlantDllBesideExe(const std::string& name, const std::string& importedBy = "");
// How often the planted DLL was loaded, whether freed since or not.
int PlantedDllLoads();
// The system DLLs beside kernel32, setupapi.dll, winspool.drv and comctl32.dll
// that the loader knows: uxtheme.dll (Windows XP and later), which imports
// msimg32.dll (98, 2000 and later) and dwmapi.dll (Vista and later). None
// exports anything a program asks for.
// Late loads by system DLLs: `name` loaded by bare name now, as user32 loads
// uxtheme.dll when a window comes up on Windows XP and later, and held until
// the machine is reset. Like every load by bare name it takes, in turn: the
// exe's folder under a Varnobel.exe.local where Windows honours one (98 SE,
// Me, 2000); a module of that name already loaded; a known DLL (kernel32)
// or what the manifest redirects; the exe's folder, unless
// SetDefaultDllDirectories left only the system directory; the system
// directory. The DLL's own imports are found the same way.
enum class LoadedFrom { Nowhere, ExeFolder, SystemDirectory };
LoadedFrom LoadAsSystemDll(const std::string& name);
// A Varnobel.exe.manifest beside the exe that names comctl32.dll as a file of
// its own. Windows XP reads it in place of the manifest inside the exe: the
// name is then redirected to the exe's folder (the planted DLL), and the
// dialog's controls are the system's plain ones.
void PlantManifestBesideExe();
// Whether version 6 of comctl32.dll, from the side-by-side store, is loaded.
// On Windows XP the dialog's controls, which the manifest versions, exist only
// then: without it DialogBoxParamA fails with ERROR_CANNOT_FIND_WND_CLASS.
bool Version6ControlsLoaded();
// Activation contexts that FindActCtxSectionStringA handed out and
// ReleaseActCtx has not yet released.
int ActivationContextsHeld();
// The system directory GetSystemDirectoryA reports, in place of the usual one.
// A buffer too small for it gets its first characters, without a terminator.
void SetSystemDirectory(const std::string& path);
// The Windows directory GetSystemWindowsDirectoryW reports (C:\WINDOWS by
// default), which holds the side-by-side store WinSxS.
void SetWindowsDirectory(const std::string& path);
// Windows Vista or 7 with the update that adds SetDefaultDllDirectories.
void AddDllDirectoriesUpdate();
// The process's DLL search as the program left it.
struct DllSearch {
    std::string systemDirectory;  // empty: the usual one
    bool dllDirectoriesUpdate = false;
    // SetDllDirectoryA: whether a directory (or "") was set, and which.
    bool dllDirectorySet = false;
    std::string dllDirectory;
    // SetDefaultDllDirectories' flags, 0 until it is called.
    DWORD defaultDirectories = 0;
};
DllSearch CurrentDllSearch();

// Print spooler ------------------------------------------------------------
// One local port of EnumPortsA's level-2 list, in the order added. A port
// with `nullName` comes back with a null name pointer.
struct SpoolerPort {
    std::string name;
    std::string description;
    bool nullName = false;
};
void AddSpoolerPort(const SpoolerPort& port);
// What a spooler may get wrong. `claimsNeeded`: every answer reports
// `claimedNeeded` bytes needed, whatever the list takes (a listing that does
// not fit the buffer then writes no record). `extraCount`: the returned count
// is this much larger than the records written. `lastNameUnterminated`: the
// last port's name is the listing's last text and has no terminator.
// `portsFromSecondListing`: ports that appear after the first call, as when a
// port is installed between the size query and the listing.
struct SpoolerLies {
    bool claimsNeeded = false;
    DWORD claimedNeeded = 0;
    DWORD extraCount = 0;
    bool lastNameUnterminated = false;
    std::vector<SpoolerPort> portsFromSecondListing;
};
void SetSpoolerLies(const SpoolerLies& lies);

// API calls ----------------------------------------------------------------
// How often the named simulated API function was called since the machine was
// reset or the counts were cleared, failed calls included.
unsigned ApiCallCount(const std::string& api);
void ClearApiCallCounts();

}  // namespace sim
