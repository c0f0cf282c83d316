// setupapi.dll, loaded at run time, and the four device-interface functions
// the Setup-API pass calls through it.
#include "support/setupapi_library.h"

CSetupApiLibrary::CSetupApiLibrary() : library_("setupapi.dll") {
    bound_ =
        library_.Find("SetupDiGetClassDevsA", &functions_.getClassDevs) &&
        library_.Find("SetupDiEnumDeviceInterfaces", &functions_.enumDeviceInterfaces) &&
        library_.Find("SetupDiGetDeviceInterfaceDetailA", &functions_.getDeviceInterfaceDetail) &&
        library_.Find("SetupDiDestroyDeviceInfoList", &functions_.destroyDeviceInfoList);
}
