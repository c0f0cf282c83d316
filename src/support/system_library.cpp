// System DLLs that the exe does not import, loaded by their full path.
#include "support/system_library.h"

#include <cstring>

namespace {

// The longest file name asked for, with room to spare.
constexpr std::size_t kFileNameCapacity = 32;

// By bare name, Windows looks for a DLL that is no known DLL in the exe's own
// folder first (a download folder, a USB stick). By full path through plain
// LoadLibraryA, the DLL's own imports are searched for there too;
// LOAD_WITH_ALTERED_SEARCH_PATH starts that search in the system directory,
// where the DLL lies.
HMODULE LoadFromSystemDirectory(const char* fileName) {
    const std::size_t nameLength = std::strlen(fileName);
    if (nameLength >= kFileNameCapacity) {
        return nullptr;
    }
    char path[MAX_PATH + 1 + kFileNameCapacity];
    const UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return nullptr;
    }
    path[length] = '\\';
    std::memcpy(path + length + 1, fileName, nameLength + 1);
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

CSystemLibrary::CSystemLibrary(const char* fileName) : module_(LoadFromSystemDirectory(fileName)) {}

CSystemLibrary::~CSystemLibrary() {
    if (module_ != nullptr) {
        FreeLibrary(module_);
    }
}
