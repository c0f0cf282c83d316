// The census of the DLLs that Windows loads into the process after the exe's
// first instruction: for each, the Windows releases on which it loads and
// those on which it is a known DLL, which Windows always takes from its
// system directory. A DLL that is no known DLL and that a system DLL loads by
// bare name is looked for in the exe's own folder first, wherever the search
// cannot be narrowed to the system directory.
#pragma once

#include <cstddef>

// One bit per Windows release the exe runs on.
enum WindowsRelease : unsigned {
    kWindows95 = 1u << 0,
    kWindows98 = 1u << 1,
    kWindowsMe = 1u << 2,
    kWindowsNt4 = 1u << 3,
    kWindows2000 = 1u << 4,
    kWindowsXp = 1u << 5,
    kWindowsServer2003 = 1u << 6,  // NT 5.2, XP x64 too
    kWindowsVista = 1u << 7,
    kWindows7 = 1u << 8,
    kWindows8 = 1u << 9,    // 8 and 8.1
    kWindows10 = 1u << 10,  // 10, 11 and whatever comes after
};
using WindowsReleases = unsigned;

constexpr WindowsReleases kNoRelease = 0;
constexpr WindowsReleases kWindows9x = kWindows95 | kWindows98 | kWindowsMe;
constexpr WindowsReleases kWindows8AndLater = kWindows8 | kWindows10;
constexpr WindowsReleases kWindows7AndLater = kWindows7 | kWindows8AndLater;
constexpr WindowsReleases kVistaAndLater = kWindowsVista | kWindows7AndLater;
constexpr WindowsReleases kXpAndLater = kWindowsXp | kWindowsServer2003 | kVistaAndLater;
constexpr WindowsReleases k2000AndLater = kWindows2000 | kXpAndLater;
constexpr WindowsReleases kNt4AndLater = kWindowsNt4 | k2000AndLater;
constexpr WindowsReleases kEveryRelease = kWindows9x | kNt4AndLater;

// The release this process runs on, as GetVersionExA tells it; kNoRelease
// when it does not.
WindowsRelease RunningRelease();

struct CensusEntry {
    const char* fileName;
    WindowsReleases loads;  // where it loads after the exe's first instruction
    WindowsReleases known;  // where it is a known DLL
    bool loadedByExe;       // the exe loads it itself, by its full path or the manifest's
};

// Loads before the exe's first instruction are out of its reach and not
// listed: msvcrt.dll, no known DLL on NT 4, 95, 98 and Me; and lpk.dll and
// usp10.dll (and imm32.dll), which user32 loads at its start on 2000 and XP
// with complex-script or East Asian support installed.
inline constexpr CensusEntry kDllCensus[] = {
    // The visual style's engine: user32 and version 6 of comctl32 load it
    // when the first themed control comes up.
    {"uxtheme.dll", kXpAndLater, kNoRelease, false},
    // The desktop window manager's API, which uxtheme imports from Vista on.
    {"dwmapi.dll", kVistaAndLater, kNoRelease, false},
    // AlphaBlend and TransparentBlt, which uxtheme imports to draw the style.
    {"msimg32.dll", kXpAndLater, kNoRelease, false},
    // The common controls: held by the exe for its whole run, version 6 from
    // the side-by-side store where the manifest sends it there.
    {"comctl32.dll", kEveryRelease, kNoRelease, true},
    // The Setup-API pass of Windows 2000 and later, loaded and freed by it.
    {"setupapi.dll", k2000AndLater, kWindows7AndLater, true},
    // The spooler pass of Windows 95, 98 and Me, loaded and freed by it.
    {"winspool.drv", kWindows9x, kNoRelease, true},
};

// Whether the census has the exe load `entry` ahead of everything on
// `release`: where a system DLL would load it by bare name and it is no known
// DLL there.
constexpr bool PreloadedOn(const CensusEntry& entry, WindowsRelease release) {
    return !entry.loadedByExe && (entry.loads & release) != 0 && (entry.known & release) == 0;
}

// Windows 98, Me and 2000 redirect every DLL load to the exe's folder where a
// Varnobel.exe.local lies beside it; from XP on an exe with a manifest is
// exempt.
constexpr WindowsReleases kHonoursDotLocal = kWindows98 | kWindowsMe | kWindows2000;
