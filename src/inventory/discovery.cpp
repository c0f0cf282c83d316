// The discovery driver.
#include "inventory/discovery.h"

#include <cstdio>
#include <cstring>

#include "inventory/interface_classes.h"
#include "inventory/port_table.h"
#include "inventory/serial_comm_map.h"
#include "inventory/spooler_ports.h"
#include "inventory/widcomm_pairings.h"
#include "platform/platform.h"
#include "support/registry_key.h"
#include "inventory/log_sink.h"

BluetoothStackKind BluetoothStack = BluetoothStackKind::None;
REGSAM WidcommRegistryView = 0;

namespace {

// The record sizes Windows tells the two version-record variants apart by.
constexpr DWORD kExtendedVersionSize = 156;
constexpr DWORD kBasicVersionSize = 148;
static_assert(sizeof(OSVERSIONINFOEXA) == kExtendedVersionSize, "extended version record");
static_assert(sizeof(OSVERSIONINFOA) == kBasicVersionSize, "basic version record");

// A 64-bit stack keeps its keys where a 32-bit program on 64-bit Windows
// does not see them unless it asks. A 32-bit install may have left a stale
// copy in the 32-bit view, which counts only when the 64-bit view has no
// such key at all. `*view`, if given, gets the view the key opened in.
bool SoftwareKeyExists(const char* path, REGSAM* view = nullptr) {
    CRegistryKey key;
    return key.OpenNativeViewFirst(HKEY_LOCAL_MACHINE, path, KEY_READ, view) == ERROR_SUCCESS;
}

void DetectBluetoothStack(CLogSink* logSink) {
    BluetoothStack = BluetoothStackKind::None;
    WidcommRegistryView = 0;
    REGSAM view = 0;
    if (SoftwareKeyExists("SOFTWARE\\WIDCOMM\\btConfig\\AutoConnect", &view)) {
        BluetoothStack = BluetoothStackKind::Widcomm;
        WidcommRegistryView = view;
        logSink->AppendLog("WIDCOMM stack\r\n");
    } else if (SoftwareKeyExists("SOFTWARE\\Socket Communications")) {
        BluetoothStack = BluetoothStackKind::Socket;
        logSink->AppendLog("SOCKET stack\r\n");
    }
}

// Systems older than NT 4.0 Service Pack 6 refuse the extended record; the
// basic one then leaves the service-pack number at 0. If both fail the record
// stays zeroed, platform 0 included.
void QueryVersion(OSVERSIONINFOEXA& version) {
    std::memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = kExtendedVersionSize;
    if (!GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version))) {
        std::memset(&version, 0, sizeof version);
        version.dwOSVersionInfoSize = kBasicVersionSize;
        GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version));
    }
}

}  // namespace

void DiscoverPorts(CLogSink* logSink) {
    DetectBluetoothStack(logSink);
    ResetPortTable();

    OSVERSIONINFOEXA version;
    QueryVersion(version);

    switch (version.dwPlatformId) {
        case VER_PLATFORM_WIN32_WINDOWS:
            logSink->AppendLog("Win9X\r\n");
            ScanSpoolerPorts();
            break;
        case VER_PLATFORM_WIN32_NT:
            if (version.dwMajorVersion < 4) {
                return;
            }
            if (version.dwMajorVersion == 4) {
                ScanSerialCommMap();
            } else {
                char line[64];
                std::snprintf(line, sizeof line, "WinNT %d.%d,SP%d\r\n",
                              static_cast<int>(version.dwMajorVersion),
                              static_cast<int>(version.dwMinorVersion),
                              static_cast<int>(version.wServicePackMajor));
                logSink->AppendLog(line);
                ScanInterfaceClasses();
            }
            break;
        default:
            break;
    }
    ScanWidcommPairings(logSink);
}
