// The SERIALCOMM map pass.
#include "inventory/serial_comm_map.h"

// The pass arrives later.
int ScanSerialCommMap() {
    return 0;
}
