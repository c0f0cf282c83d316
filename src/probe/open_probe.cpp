// The open probe.
#include "probe/open_probe.h"

#include <cstring>

#include "inventory/port_table.h"
#include "inventory/widcomm_pairings.h"
#include "platform/platform.h"
#include "support/file_handle.h"

int32_t ProbePort(uint32_t index) {
    if (index == 0) {
        ScanWidcommPairings(nullptr);
    } else if (index >= static_cast<uint32_t>(kPortCount)) {
        return 0;
    }
    const PortRecord& slot = portTable.slots[index];
    if (slot.kind == Absent) {
        return 0;
    }
    if (slot.kind == Bluetooth) {
        return slot.available;
    }
    CHandle port(CreateFileA(slot.devicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!port.IsValid()) {
        return 0;
    }
    // The line settings are read once; whether that works doesn't matter.
    DCB settings;
    std::memset(&settings, 0, sizeof settings);
    settings.DCBlength = sizeof settings;
    GetCommState(port.Get(), &settings);
    return 1;
}
