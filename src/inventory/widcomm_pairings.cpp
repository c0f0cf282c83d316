// The WIDCOMM pairing pass: which Bluetooth ports the WIDCOMM stack's
// auto-connect list binds to a paired device, read from the stack's registry
// data only.
#include "inventory/widcomm_pairings.h"

#include <cstdio>

#include "inventory/discovery.h"
#include "inventory/port_table.h"
#include "inventory/registry_path_reader.h"
#include "platform/platform.h"
#include "support/registry_key.h"
#include "inventory/log_sink.h"

namespace {

constexpr const char kAutoConnectKey[] = "SOFTWARE\\WIDCOMM\\btConfig\\AutoConnect";
constexpr const char kDevicesKey[] = "SOFTWARE\\WIDCOMM\\btConfig\\Devices";
constexpr DWORD kSubKeyNameCapacity = 20;
constexpr DWORD kAddressBufferSize = 10;
constexpr DWORD kAddressLength = 6;

void Log(CLogSink* logSink, const char* line) {
    if (logSink != nullptr) {
        logSink->AppendLog(line);
    }
}

void ResetBluetoothSlots(CLogSink* logSink) {
    char line[96];
    for (PortRecord& slot : portTable.slots) {
        if (slot.kind != Bluetooth) {
            continue;
        }
        slot.available = 0;
        std::snprintf(line, sizeof line, "WIDCOMM: reset %s\r\n", slot.displayName);
        Log(logSink, line);
    }
}

// One auto-connect entry, named `subKey`; binds its port when the remote
// device has an address, a link key and a name.
void CheckAutoConnectEntry(CRegistryPathReader& reader, const char* subKey, CLogSink* logSink) {
    const int n = ParsePortNumber(subKey);
    if (n == 0 || portTable.slots[n - 1].kind != Bluetooth) {
        return;
    }
    const HKEY root = HKEY_LOCAL_MACHINE;
    char path[128];
    BYTE address[kAddressBufferSize];
    DWORD size = kAddressBufferSize;
    std::snprintf(path, sizeof path, "%s\\%s\\BDAddress", kAutoConnectKey, subKey);
    // A value larger than the buffer is reported as found, but the registry
    // leaves the buffer's contents undefined then.
    if (!reader.QueryBinaryByPath(&root, path, address, &size) || size < kAddressLength ||
        size > kAddressBufferSize) {
        return;
    }
    char addressText[18];
    std::snprintf(addressText, sizeof addressText, "%02x:%02x:%02x:%02x:%02x:%02x", address[0],
                  address[1], address[2], address[3], address[4], address[5]);

    std::snprintf(path, sizeof path, "%s\\%s\\LinkKey", kDevicesKey, addressText);
    size = kAddressBufferSize;
    if (!reader.QueryBinaryByPath(&root, path, address, &size)) {
        Log(logSink, "WIDCOMM: query LinkKey error\r\n");
        return;
    }

    std::snprintf(path, sizeof path, "%s\\%s\\BDName", kAutoConnectKey, subKey);
    const char* name = reader.QueryStringByPath(&root, path);
    if (name == nullptr) {
        Log(logSink, "WIDCOMM: query BDName error\r\n");
        return;
    }
    char label[kRegistryStringCapacity + 64];
    std::snprintf(label, sizeof label, "(COM%d) Bluetooth [%s]", n, name);
    SetDisplayName(n, label);
    portTable.slots[n - 1].available = 1;
    char line[sizeof label + 32];
    std::snprintf(line, sizeof line, "WIDCOMM: Found %d:%s\r\n", n - 1, label);
    Log(logSink, line);
}

}  // namespace

void ScanWidcommPairings(CLogSink* logSink) {
    if (BluetoothStack != BluetoothStackKind::Widcomm) {
        return;
    }
    ResetBluetoothSlots(logSink);

    // The view the stack was found in, for every key of the run: the other
    // view of 64-bit Windows may hold a stale copy of another install.
    CRegistryKey autoConnect;
    if (autoConnect.Open(HKEY_LOCAL_MACHINE, kAutoConnectKey, KEY_READ | WidcommRegistryView) !=
        ERROR_SUCCESS) {
        Log(logSink, "WIDCOMM: no AutoConnect\r\n");
        return;
    }
    CRegistryPathReader reader(WidcommRegistryView);
    for (DWORD index = 0;; ++index) {
        char subKey[kSubKeyNameCapacity];
        DWORD length = kSubKeyNameCapacity;
        const LSTATUS status = RegEnumKeyExA(autoConnect.Get(), index, subKey, &length, nullptr,
                                             nullptr, nullptr, nullptr);
        if (status != ERROR_SUCCESS) {
            char line[48];
            std::snprintf(line, sizeof line, "WIDCOMM: %d enum error\r\n", static_cast<int>(index));
            Log(logSink, line);
            break;
        }
        CheckAutoConnectEntry(reader, subKey, logSink);
    }
}
