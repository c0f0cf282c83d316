// The Setup-API interface pass.
#include "inventory/interface_classes.h"

// The pass arrives later.
int ScanInterfaceClasses() {
    return 0;
}
