// setupapi.dll, loaded at run time, and the four device-interface functions
// the Setup-API pass calls through it.
#pragma once

#include "platform/platform.h"

using SetupDiGetClassDevsAFunction = HDEVINFO(WINAPI*)(const GUID*, LPCSTR, HWND, DWORD);
using SetupDiEnumDeviceInterfacesFunction = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, const GUID*,
                                                          DWORD, PSP_DEVICE_INTERFACE_DATA);
using SetupDiGetDeviceInterfaceDetailAFunction = BOOL(WINAPI*)(HDEVINFO, PSP_DEVICE_INTERFACE_DATA,
                                                               PSP_DEVICE_INTERFACE_DETAIL_DATA_A,
                                                               DWORD, PDWORD, PSP_DEVINFO_DATA);
using SetupDiDestroyDeviceInfoListFunction = BOOL(WINAPI*)(HDEVINFO);

struct SetupApiFunctions {
    SetupDiGetClassDevsAFunction getClassDevs = nullptr;
    SetupDiEnumDeviceInterfacesFunction enumDeviceInterfaces = nullptr;
    SetupDiGetDeviceInterfaceDetailAFunction getDeviceInterfaceDetail = nullptr;
    SetupDiDestroyDeviceInfoListFunction destroyDeviceInfoList = nullptr;
};

// Loads setupapi.dll from the system directory and looks up the four
// functions; frees the DLL when it leaves scope. Windows 95 and many NT 4.0 have no setupapi.dll,
// and the loader refuses to start an exe that imports from a DLL it cannot find, so the exe imports
// nothing from it.
class CSetupApiLibrary {
public:
    CSetupApiLibrary();
    ~CSetupApiLibrary();
    CSetupApiLibrary(const CSetupApiLibrary&) = delete;
    CSetupApiLibrary& operator=(const CSetupApiLibrary&) = delete;

    // All four functions, or null when the DLL or any one of them is missing.
    // They may be called only while this object lives.
    const SetupApiFunctions* Functions() const { return bound_ ? &functions_ : nullptr; }

private:
    HMODULE module_;
    SetupApiFunctions functions_;
    bool bound_ = false;
};
