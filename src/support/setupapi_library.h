// setupapi.dll, loaded at run time, and the four device-interface functions
// the Setup-API pass calls through it.
#pragma once

#include "support/system_functions.h"
#include "support/system_library.h"

struct SetupApiFunctions {
    SetupDiGetClassDevsAFunction getClassDevs = nullptr;
    SetupDiEnumDeviceInterfacesFunction enumDeviceInterfaces = nullptr;
    SetupDiGetDeviceInterfaceDetailAFunction getDeviceInterfaceDetail = nullptr;
    SetupDiDestroyDeviceInfoListFunction destroyDeviceInfoList = nullptr;
};

// Loads setupapi.dll from the system directory and looks up the four
// functions; frees the DLL when it leaves scope. Windows 95 and many NT 4.0
// have no setupapi.dll, and the loader refuses to start an exe that imports
// from a DLL it cannot find, so the exe imports nothing from it.
class CSetupApiLibrary {
public:
    CSetupApiLibrary();

    // All four functions, or null when the DLL or any one of them is missing.
    // They may be called only while this object lives.
    const SetupApiFunctions* Functions() const { return bound_ ? &functions_ : nullptr; }

private:
    CSystemLibrary library_;
    SetupApiFunctions functions_;
    bool bound_ = false;
};
