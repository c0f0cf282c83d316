// The types of the system functions the exe binds at run time: those that
// some supported Windows lacks, and those of DLLs that are no known DLL.
#pragma once

#include "platform/platform.h"

// setupapi.dll: Windows 98 and 2000 and later.
using SetupDiGetClassDevsAFunction = HDEVINFO(WINAPI*)(const GUID*, LPCSTR, HWND, DWORD);
using SetupDiEnumDeviceInterfacesFunction = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, const GUID*,
                                                          DWORD, PSP_DEVICE_INTERFACE_DATA);
using SetupDiGetDeviceInterfaceDetailAFunction = BOOL(WINAPI*)(HDEVINFO, PSP_DEVICE_INTERFACE_DATA,
                                                               PSP_DEVICE_INTERFACE_DETAIL_DATA_A,
                                                               DWORD, PDWORD, PSP_DEVINFO_DATA);
using SetupDiDestroyDeviceInfoListFunction = BOOL(WINAPI*)(HDEVINFO);

// winspool.drv.
using EnumPortsAFunction = BOOL(WINAPI*)(LPSTR, DWORD, LPBYTE, DWORD, LPDWORD, LPDWORD);

// comctl32.dll, which is no known DLL either.
using InitCommonControlsFunction = void(WINAPI*)();

// kernel32: Windows XP Service Pack 2; XP Service Pack 1; Windows 8, and
// Vista and 7 with the update that adds it.
using IsWow64ProcessFunction = BOOL(WINAPI*)(HANDLE, PBOOL);
using SetDllDirectoryAFunction = BOOL(WINAPI*)(LPCSTR);
using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
// kernel32's activation contexts, Windows XP and later; and the Windows
// directory that Terminal Services leaves unchanged, Windows 2000 and later.
using FindActCtxSectionStringAFunction = BOOL(WINAPI*)(DWORD, const GUID*, ULONG, LPCSTR,
                                                       PACTCTX_SECTION_KEYED_DATA);
using QueryActCtxWFunction = BOOL(WINAPI*)(DWORD, HANDLE, PVOID, ULONG, PVOID, SIZE_T, SIZE_T*);
using ReleaseActCtxFunction = void(WINAPI*)(HANDLE);
using GetSystemWindowsDirectoryWFunction = UINT(WINAPI*)(LPWSTR, UINT);
