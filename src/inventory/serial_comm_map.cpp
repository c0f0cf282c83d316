// The SERIALCOMM map pass: every value of HARDWARE\DEVICEMAP\SERIALCOMM names
// a COM port whose driver is loaded; ports no other source has reported are
// added without a description.
#include "inventory/serial_comm_map.h"

#include <cstdio>
#include <cstring>

#include "inventory/port_table.h"
#include "support/heap_block.h"
#include "support/registry_key.h"
#include "support/registry_text.h"

namespace {

constexpr DWORD kFirstLength = 64;
// Far beyond the longest value name the registry holds (16383 characters); a
// registry that keeps asking for more is given up on here.
constexpr DWORD kLongestNameBuffer = 0x10000;

void RecordMappedPort(const char* comName) {
    // The first three characters are taken to be "COM" without a look.
    if (std::strlen(comName) < 3) {
        return;
    }
    const int n = ParsePortNumber(comName + 3);
    if (n == 0 || portTable.slots[n - 1].kind != Absent) {
        return;
    }
    portTable.slots[n - 1].kind = General;
    char label[32];
    std::snprintf(label, sizeof label, "(COM%d) COM Port", n);
    SetDisplayName(n, label);
}

}  // namespace

int ScanSerialCommMap() {
    CRegistryKey map;
    if (map.Open(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", KEY_READ) !=
        ERROR_SUCCESS) {
        return 0;
    }
    CHeapBlock name;
    CHeapBlock data;
    for (DWORD index = 0;; ++index) {
        DWORD nameLength = kFirstLength;
        DWORD dataLength = kFirstLength;
        for (;;) {
            // A value without data still gets a byte for the NUL.
            const DWORD dataCapacity = dataLength != 0 ? dataLength : 1;
            if (!name.Allocate(nameLength) || !data.Allocate(dataCapacity)) {
                return 0;
            }
            DWORD nameReturned = nameLength;
            DWORD dataReturned = dataCapacity;
            const LSTATUS status =
                RegEnumValueA(map.Get(), index, name.Text(), &nameReturned, nullptr, nullptr,
                              static_cast<BYTE*>(data.Get()), &dataReturned);
            if (status == ERROR_SUCCESS) {
                if (TerminateText(data.Text(), dataCapacity, dataReturned) ||
                    dataCapacity == 0xFFFFFFFF) {
                    break;
                }
                // Data stored without its NUL that fills the buffer to the
                // last byte: read it once more with room for the NUL.
                dataLength = dataCapacity + 1;
                continue;
            }
            // More data: the name, the data or both did not fit. A registry
            // that answers so without asking for more room of either would
            // never let the loop end.
            const DWORD grownName = 2 * nameReturned + 2;
            const bool nameGrows = grownName > nameLength;
            const bool dataGrows = dataReturned > dataCapacity;
            if (status != ERROR_MORE_DATA || nameReturned >= kLongestNameBuffer / 2 ||
                (!nameGrows && !dataGrows)) {
                return 0;
            }
            nameLength = grownName;
            dataLength = dataReturned;
        }
        RecordMappedPort(data.Text());
    }
}
