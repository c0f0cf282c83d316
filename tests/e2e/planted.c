/* A DLL that somebody left beside the exe, under the name of a system DLL.
 * Loaded into a process, it leaves NAME.loaded beside itself, so the test
 * that planted it can tell. It exports the functions the exe would import
 * from the DLLs it stands in for, so that a process that takes it still
 * starts and shows the load. */
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        char path[MAX_PATH + 8];
        DWORD length = GetModuleFileNameA(instance, path, MAX_PATH);
        if (length > 0 && length < MAX_PATH) {
            lstrcpyA(path + length, ".loaded");
            HANDLE marker = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, NULL);
            if (marker != INVALID_HANDLE_VALUE) {
                CloseHandle(marker);
            }
        }
    }
    return TRUE;
}

/* winspool.drv: a spooler with no ports. */
__declspec(dllexport) BOOL WINAPI EnumPortsA(LPSTR server, DWORD level, LPBYTE ports, DWORD size,
                                             LPDWORD needed, LPDWORD returned) {
    (void)server;
    (void)level;
    (void)ports;
    (void)size;
    if (needed != NULL) {
        *needed = 0;
    }
    if (returned != NULL) {
        *returned = 0;
    }
    return TRUE;
}

/* comctl32.dll. */
__declspec(dllexport) void WINAPI InitCommonControls(void) {}
