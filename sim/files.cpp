// The simulated file system: an in-memory store of files, the handles opened
// on them, the executable's own path, and the serial-port names that no device
// answers yet.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <string>

#include "internal.h"
#include "sim/control.h"

namespace {

constexpr DWORD kErrorFileExists = 80;
constexpr DWORD kErrorAlreadyExists = 183;
constexpr DWORD kErrorModNotFound = 126;
constexpr const char* kDefaultModulePath = "C:\\Tools\\Varnobel.exe";

struct OpenFile {
    std::string key;  // the path folded to upper case
    DWORD access = 0;
    DWORD shareMode = 0;
    std::size_t position = 0;
};

struct FileStore {
    std::map<std::string, std::string> contents;  // keyed by folded path
    std::set<std::string> uncreatable;
    std::map<uintptr_t, OpenFile> handles;
    uintptr_t nextHandle = 0x1000;
    std::string modulePath = kDefaultModulePath;
};

FileStore& Store() {
    static FileStore store;
    return store;
}

std::string Fold(const std::string& path) {
    std::string folded = path;
    for (char& c : folded) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return folded;
}

OpenFile* FindHandle(HANDLE handle) {
    auto found = Store().handles.find(reinterpret_cast<uintptr_t>(handle));
    return found == Store().handles.end() ? nullptr : &found->second;
}

// Names in the device namespace ("\\.\COM1") go to devices, not files.
bool IsDeviceName(const std::string& name) {
    return name.rfind("\\\\.\\", 0) == 0;
}

// Windows refuses an open whose access the earlier openers don't share, or
// whose share mode doesn't allow what the earlier openers do.
bool SharingConflicts(const std::string& key, DWORD access, DWORD shareMode) {
    for (const auto& entry : Store().handles) {
        const OpenFile& other = entry.second;
        if (other.key != key) {
            continue;
        }
        if (((access & GENERIC_READ) && !(other.shareMode & FILE_SHARE_READ)) ||
            ((access & GENERIC_WRITE) && !(other.shareMode & FILE_SHARE_WRITE)) ||
            ((other.access & GENERIC_READ) && !(shareMode & FILE_SHARE_READ)) ||
            ((other.access & GENERIC_WRITE) && !(shareMode & FILE_SHARE_WRITE))) {
            return true;
        }
    }
    return false;
}

HANDLE Fail(DWORD status) {
    SetLastError(status);
    return INVALID_HANDLE_VALUE;
}

}  // namespace

namespace sim {

int OpenHandleCount() {
    return static_cast<int>(Store().handles.size());
}

bool FileExists(const std::string& path) {
    return Store().contents.count(Fold(path)) != 0;
}

std::string FileContents(const std::string& path) {
    auto found = Store().contents.find(Fold(path));
    return found == Store().contents.end() ? std::string() : found->second;
}

void MakeFileUncreatable(const std::string& path) {
    Store().uncreatable.insert(Fold(path));
}

void SetModulePath(const std::string& path) {
    Store().modulePath = path;
}

namespace internal {
void ResetFiles() {
    Store() = FileStore();
}
}  // namespace internal

}  // namespace sim

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES /*security*/,
                   DWORD disposition, DWORD /*flags*/, HANDLE /*templateFile*/) {
    DWORD status = 0;
    if (sim::internal::CallFails("CreateFileA", &status)) {
        return Fail(status);
    }
    if (name == nullptr || *name == '\0') {
        return Fail(ERROR_PATH_NOT_FOUND);
    }
    if (IsDeviceName(name)) {
        return Fail(ERROR_FILE_NOT_FOUND);
    }
    FileStore& store = Store();
    const std::string key = Fold(name);
    const bool exists = store.contents.count(key) != 0;
    bool truncate = false;
    switch (disposition) {
        case CREATE_NEW:
            if (exists) {
                return Fail(kErrorFileExists);
            }
            truncate = true;
            break;
        case CREATE_ALWAYS:
            truncate = true;
            break;
        case OPEN_EXISTING:
            if (!exists) {
                return Fail(ERROR_FILE_NOT_FOUND);
            }
            break;
        case OPEN_ALWAYS:
            truncate = !exists;
            break;
        case TRUNCATE_EXISTING:
            if (!exists) {
                return Fail(ERROR_FILE_NOT_FOUND);
            }
            truncate = true;
            break;
        default:
            return Fail(ERROR_INVALID_PARAMETER);
    }
    if (truncate && store.uncreatable.count(key) != 0) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    if (SharingConflicts(key, access, shareMode)) {
        return Fail(ERROR_SHARING_VIOLATION);
    }
    if (truncate) {
        store.contents[key].clear();
    }
    OpenFile file;
    file.key = key;
    file.access = access;
    file.shareMode = shareMode;
    const uintptr_t id = store.nextHandle;
    store.nextHandle += 4;
    store.handles[id] = file;
    // Creating over an existing file succeeds but says so in the last error.
    const bool reportsExisting =
        exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS);
    SetLastError(reportsExisting ? kErrorAlreadyExists : ERROR_SUCCESS);
    return reinterpret_cast<HANDLE>(id);
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written,
               LPOVERLAPPED /*overlapped*/) {
    if (written != nullptr) {
        *written = 0;
    }
    DWORD status = 0;
    if (sim::internal::CallFails("WriteFile", &status)) {
        SetLastError(status);
        return FALSE;
    }
    OpenFile* open = FindHandle(file);
    if (open == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!(open->access & GENERIC_WRITE)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (count > 0 && buffer == nullptr) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    std::string& data = Store().contents[open->key];
    if (data.size() < open->position) {
        data.resize(open->position, '\0');
    }
    data.replace(open->position, std::min<std::size_t>(count, data.size() - open->position),
                 static_cast<const char*>(buffer), count);
    open->position += count;
    if (written != nullptr) {
        *written = count;
    }
    return TRUE;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED /*overlapped*/) {
    if (read != nullptr) {
        *read = 0;
    }
    DWORD status = 0;
    if (sim::internal::CallFails("ReadFile", &status)) {
        SetLastError(status);
        return FALSE;
    }
    OpenFile* open = FindHandle(file);
    if (open == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!(open->access & GENERIC_READ)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (count > 0 && buffer == nullptr) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return FALSE;
    }
    const std::string& data = Store().contents[open->key];
    const std::size_t available = open->position < data.size() ? data.size() - open->position : 0;
    const std::size_t taken = std::min<std::size_t>(count, available);
    if (taken > 0) {
        std::memcpy(buffer, data.data() + open->position, taken);
    }
    open->position += taken;
    if (read != nullptr) {
        *read = static_cast<DWORD>(taken);
    }
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    DWORD status = 0;
    if (sim::internal::CallFails("CloseHandle", &status)) {
        SetLastError(status);
        return FALSE;
    }
    if (Store().handles.erase(reinterpret_cast<uintptr_t>(handle)) == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

// A buffer too small gets the path cut to size - 1 characters and a NUL, the
// result is `size` and the last error says the buffer was too small.
DWORD GetModuleFileNameA(HMODULE module, LPSTR name, DWORD size) {
    DWORD status = 0;
    if (sim::internal::CallFails("GetModuleFileNameA", &status)) {
        SetLastError(status);
        return 0;
    }
    if (module != nullptr) {
        SetLastError(kErrorModNotFound);
        return 0;
    }
    if (name == nullptr || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    const std::string& path = Store().modulePath;
    if (path.size() >= size) {
        std::memcpy(name, path.data(), size - 1);
        name[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(name, path.c_str(), path.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

// Only serial devices have line settings, and no device is attached yet.
BOOL GetCommState(HANDLE file, LPDCB /*dcb*/) {
    DWORD status = 0;
    if (sim::internal::CallFails("GetCommState", &status)) {
        SetLastError(status);
        return FALSE;
    }
    (void)file;
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}
