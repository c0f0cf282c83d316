// Whether this 32-bit program runs on 64-bit Windows.
#include "support/wow64.h"

#include "support/system_functions.h"
#include "support/system_library.h"

bool RunsUnderWow64() {
    IsWow64ProcessFunction isWow64Process = nullptr;
    BOOL wow64 = FALSE;
    if (!FindKernel32Export("IsWow64Process", &isWow64Process) ||
        !isWow64Process(GetCurrentProcess(), &wow64)) {
        return false;
    }
    return wow64 != FALSE;
}
