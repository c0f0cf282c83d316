// The simulated file system: an in-memory store of files, the handles opened
// on them (by the product or by other programs), the read-only attribute, the
// disk's room, the executable's own path, and the serial devices behind the
// COM port names.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "internal.h"
#include "sim/control.h"

namespace {

using sim::internal::ParseQuoted;
using sim::internal::Trimmed;

constexpr DWORD kErrorFileExists = 80;
constexpr DWORD kErrorAlreadyExists = 183;
constexpr DWORD kErrorModNotFound = 126;
constexpr const char* kDefaultModulePath = "C:\\Tools\\Varnobel.exe";

constexpr int kHighestPort = 256;

struct OpenFile {
    std::string key;  // the path folded to upper case
    DWORD access = 0;
    DWORD shareMode = 0;
    std::size_t position = 0;
    int port = 0;                // the COM port of a device handle, 0 for a file
    bool heldElsewhere = false;  // opened by another program, not the product
};

struct SerialPort {
    sim::SerialDevice device = sim::SerialDevice::None;
    int openMilliseconds = 0;
};

struct FileStore {
    std::map<std::string, std::string> contents;  // keyed by folded path
    std::set<std::string> uncreatable;
    std::set<std::string> readOnly;
    int64_t diskSpace = -1;  // bytes of file data that still fit; -1: no limit
    std::map<uintptr_t, OpenFile> handles;
    uintptr_t nextHandle = 0x1000;
    std::string modulePath = kDefaultModulePath;
    std::map<int, SerialPort> serialPorts;
    std::vector<sim::DeviceOpenAttempt> deviceOpens;
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

// What a read and a write check first, in this order: a failure the test
// asked for, the handle, the access the call needs and the caller's buffer.
// The open file, or null with the last error set.
OpenFile* OpenForTransfer(const char* api, HANDLE file, DWORD access, LPCVOID buffer, DWORD count) {
    DWORD status = 0;
    if (sim::internal::CallFails(api, &status)) {
        SetLastError(status);
        return nullptr;
    }
    OpenFile* open = FindHandle(file);
    if (open == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!(open->access & access)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    if (count > 0 && buffer == nullptr) {
        SetLastError(ERROR_INVALID_USER_BUFFER);
        return nullptr;
    }
    return open;
}

// Names in the device namespace ("\\.\COM1") go to devices, not files.
bool IsDeviceName(const std::string& name) {
    return name.rfind("\\\\.\\", 0) == 0;
}

// The port number of "COMn" with n from 1 to 256 written without leading
// zeros; 0 for anything else.
int ParseComName(const std::string& name) {
    if (name.size() < 4 || Fold(name.substr(0, 3)) != "COM" || name[3] == '0') {
        return 0;
    }
    int port = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i])) || i > 5) {
            return 0;
        }
        port = port * 10 + (name[i] - '0');
    }
    return port <= kHighestPort ? port : 0;
}

// The COM port a CreateFileA name reaches: "\\.\COMn", or a bare "COMn",
// which Windows reserves as a device name only for COM1 to COM9.
int DevicePort(const std::string& name) {
    if (IsDeviceName(name)) {
        return ParseComName(name.substr(4));
    }
    const int port = ParseComName(name);
    return port <= 9 ? port : 0;
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

// Of `count` bytes written at `position` into a file of `size` bytes, how
// many the disk has room for; the disk's room shrinks by what the file grows.
DWORD BytesThatFit(std::size_t size, std::size_t position, DWORD count) {
    int64_t& space = Store().diskSpace;
    if (space < 0) {
        return count;
    }
    const std::size_t end = position + count;
    const int64_t growth = end > size ? static_cast<int64_t>(end - size) : 0;
    const int64_t taken = std::min(growth, space);
    space -= taken;
    return static_cast<DWORD>(count - (growth - taken));
}

HANDLE Fail(DWORD status) {
    SetLastError(status);
    return INVALID_HANDLE_VALUE;
}

HANDLE NewHandle(const OpenFile& file) {
    FileStore& store = Store();
    const uintptr_t id = store.nextHandle;
    store.nextHandle += 4;
    store.handles[id] = file;
    return reinterpret_cast<HANDLE>(id);
}

bool DeviceHeld(int port) {
    for (const auto& entry : Store().handles) {
        if (entry.second.port == port) {
            return true;
        }
    }
    return false;
}

// A serial port allows one opener at a time, whatever the share mode.
HANDLE OpenDevice(int port, DWORD access, DWORD disposition) {
    auto found = Store().serialPorts.find(port);
    if (found == Store().serialPorts.end() || found->second.device == sim::SerialDevice::None) {
        return Fail(ERROR_FILE_NOT_FOUND);
    }
    if (disposition != OPEN_EXISTING) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    const SerialPort& device = found->second;
    // A serial port is exclusive: whoever holds it open, a second opener is
    // told access is denied, not that sharing was violated.
    if (device.device == sim::SerialDevice::Busy || DeviceHeld(port)) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    // Rounded up, so that the counter shows at least the whole delay.
    if (device.device == sim::SerialDevice::Slow) {
        sim::AdvanceClock(
            (static_cast<int64_t>(device.openMilliseconds) * sim::internal::ClockFrequency() +
             999) /
            1000);
    }
    OpenFile file;
    file.key = "\\\\.\\COM" + std::to_string(port);
    file.access = access;
    file.port = port;
    HANDLE handle = NewHandle(file);
    SetLastError(ERROR_SUCCESS);
    return handle;
}

std::string Lowered(const std::string& text) {
    std::string lowered = text;
    for (char& c : lowered) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return lowered;
}

bool ParseSerialDevice(const std::string& text, SerialPort* port) {
    const std::string value = Lowered(text);
    if (value == "present") {
        port->device = sim::SerialDevice::Present;
    } else if (value == "absent") {
        port->device = sim::SerialDevice::None;
    } else if (value == "busy") {
        port->device = sim::SerialDevice::Busy;
    } else if (value == "nostate") {
        port->device = sim::SerialDevice::NoState;
    } else if (value.rfind("slow:", 0) == 0) {
        const std::string digits = value.substr(5);
        if (digits.empty() || digits.size() > 7 ||
            digits.find_first_not_of("0123456789") != std::string::npos) {
            return false;
        }
        port->device = sim::SerialDevice::Slow;
        port->openMilliseconds = std::atoi(digits.c_str());
    } else {
        return false;
    }
    return true;
}

}  // namespace

namespace sim {

int OpenHandleCount() {
    int count = 0;
    for (const auto& entry : Store().handles) {
        count += entry.second.heldElsewhere ? 0 : 1;
    }
    return count;
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

void SetDiskSpace(int64_t bytes) {
    Store().diskSpace = bytes < 0 ? -1 : bytes;
}

int64_t DiskSpace() {
    return Store().diskSpace;
}

void HoldFileOpen(const std::string& path, DWORD access, DWORD shareMode) {
    FileStore& store = Store();
    OpenFile file;
    file.key = Fold(path);
    file.access = access;
    file.shareMode = shareMode;
    file.heldElsewhere = true;
    store.contents[file.key];
    NewHandle(file);
}

void ReleaseHeldFiles() {
    auto& handles = Store().handles;
    for (auto entry = handles.begin(); entry != handles.end();) {
        entry = entry->second.heldElsewhere ? handles.erase(entry) : std::next(entry);
    }
}

void SetModulePath(const std::string& path) {
    Store().modulePath = path;
}

std::string internal::ModulePath() {
    return Store().modulePath;
}

void SetSerialDevice(int port, SerialDevice device, int openMilliseconds) {
    if (port < 1 || port > kHighestPort) {
        return;
    }
    SerialPort& entry = Store().serialPorts[port];
    entry.device = device;
    entry.openMilliseconds = device == SerialDevice::Slow ? std::max(openMilliseconds, 0) : 0;
}

int DeviceOpenCount(const std::string& name) {
    const int port = IsDeviceName(name) ? ParseComName(name.substr(4)) : ParseComName(name);
    int count = 0;
    for (const DeviceOpenAttempt& attempt : Store().deviceOpens) {
        count += port != 0 && attempt.port == port ? 1 : 0;
    }
    return count;
}

std::vector<DeviceOpenAttempt> DeviceOpenAttempts() {
    return Store().deviceOpens;
}

namespace internal {
void ResetFiles() {
    Store() = FileStore();
}

// readonly="PATH" (the file, empty if it was missing, gets the read-only
// attribute), held="PATH" (another program holds it open for reading and
// writing, sharing both), locked="PATH" (held, sharing nothing) and
// diskspace=BYTES.
bool ApplyFilesLine(const std::string& text, std::string* message) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
        *message = "missing '=' in file setting";
        return false;
    }
    const std::string key = Trimmed(text.substr(0, equals));
    const std::string value = Trimmed(text.substr(equals + 1));
    if (key == "diskspace") {
        if (value.empty() || value.size() > 12 ||
            value.find_first_not_of("0123456789") != std::string::npos) {
            *message = "bad disk space '" + value + "' (expected a number of bytes)";
            return false;
        }
        sim::SetDiskSpace(std::stoll(value));
        return true;
    }
    std::string path;
    std::size_t pos = 0;
    if (value.empty() || value[0] != '"' || !ParseQuoted(value, &pos, &path, message) ||
        pos != value.size()) {
        if (message->empty()) {
            *message = "expected a quoted path after '='";
        }
        return false;
    }
    const DWORD both = GENERIC_READ | GENERIC_WRITE;
    if (key == "readonly") {
        Store().contents[Fold(path)];
        Store().readOnly.insert(Fold(path));
    } else if (key == "held") {
        sim::HoldFileOpen(path, both, FILE_SHARE_READ | FILE_SHARE_WRITE);
    } else if (key == "locked") {
        sim::HoldFileOpen(path, both, 0);
    } else {
        *message =
            "unknown file setting '" + key + "' (expected readonly, held, locked or diskspace)";
        return false;
    }
    return true;
}

bool ApplySerialLine(const std::string& text, std::string* message) {
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) {
        *message = "missing '=' in serial setting";
        return false;
    }
    const std::string name = Trimmed(text.substr(0, equals));
    const int port = ParseComName(name);
    if (port == 0) {
        *message = "bad port name '" + name + "' (expected COM1 to COM256)";
        return false;
    }
    SerialPort entry;
    if (!ParseSerialDevice(Trimmed(text.substr(equals + 1)), &entry)) {
        *message = "bad serial device '" + Trimmed(text.substr(equals + 1)) +
                   "' (expected present, absent, busy, slow:MILLISECONDS or nostate)";
        return false;
    }
    Store().serialPorts[port] = entry;
    return true;
}
}  // namespace internal

}  // namespace sim

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD shareMode, LPSECURITY_ATTRIBUTES /*security*/,
                   DWORD disposition, DWORD flags, HANDLE /*templateFile*/) {
    if (name == nullptr || *name == '\0') {
        return Fail(ERROR_PATH_NOT_FOUND);
    }
    const int port = DevicePort(name);
    DWORD status = 0;
    const bool fails = sim::internal::CallFails("CreateFileA", &status);
    if (port != 0) {
        sim::DeviceOpenAttempt attempt{port, access, shareMode, disposition, flags, false};
        HANDLE handle = fails ? Fail(status) : OpenDevice(port, access, disposition);
        attempt.succeeded = handle != INVALID_HANDLE_VALUE;
        Store().deviceOpens.push_back(attempt);
        return handle;
    }
    if (fails) {
        return Fail(status);
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
    // A read-only file can be opened for reading only, and not re-created.
    if (exists && store.readOnly.count(key) != 0 && ((access & GENERIC_WRITE) || truncate)) {
        return Fail(ERROR_ACCESS_DENIED);
    }
    if (SharingConflicts(key, access, shareMode)) {
        return Fail(ERROR_SHARING_VIOLATION);
    }
    if (truncate) {
        std::string& data = store.contents[key];
        if (store.diskSpace >= 0) {
            store.diskSpace += static_cast<int64_t>(data.size());
        }
        data.clear();
    }
    OpenFile file;
    file.key = key;
    file.access = access;
    file.shareMode = shareMode;
    HANDLE handle = NewHandle(file);
    // Creating over an existing file succeeds but says so in the last error.
    const bool reportsExisting =
        exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS);
    SetLastError(reportsExisting ? kErrorAlreadyExists : ERROR_SUCCESS);
    return handle;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD count, LPDWORD written,
               LPOVERLAPPED /*overlapped*/) {
    if (written != nullptr) {
        *written = 0;
    }
    OpenFile* open = OpenForTransfer("WriteFile", file, GENERIC_WRITE, buffer, count);
    if (open == nullptr) {
        return FALSE;
    }
    // Nothing is attached to the line: what a port sends is gone.
    if (open->port != 0) {
        if (written != nullptr) {
            *written = count;
        }
        return TRUE;
    }
    std::string& data = Store().contents[open->key];
    const DWORD fitting = BytesThatFit(data.size(), open->position, count);
    if (count > 0 && fitting == 0) {
        SetLastError(ERROR_DISK_FULL);
        return FALSE;
    }
    if (data.size() < open->position) {
        data.resize(open->position, '\0');
    }
    data.replace(open->position, std::min<std::size_t>(fitting, data.size() - open->position),
                 static_cast<const char*>(buffer), fitting);
    open->position += fitting;
    if (written != nullptr) {
        *written = fitting;
    }
    return TRUE;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD read, LPOVERLAPPED /*overlapped*/) {
    if (read != nullptr) {
        *read = 0;
    }
    OpenFile* open = OpenForTransfer("ReadFile", file, GENERIC_READ, buffer, count);
    if (open == nullptr) {
        return FALSE;
    }
    if (open->port != 0) {
        return TRUE;
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

BOOL DeleteFileA(LPCSTR name) {
    DWORD status = 0;
    if (sim::internal::CallFails("DeleteFileA", &status)) {
        SetLastError(status);
        return FALSE;
    }
    FileStore& store = Store();
    const std::string key = Fold(name != nullptr ? name : "");
    if (store.contents.count(key) == 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (store.readOnly.count(key) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    for (const auto& entry : store.handles) {
        if (entry.second.key == key) {
            SetLastError(ERROR_SHARING_VIOLATION);
            return FALSE;
        }
    }
    store.contents.erase(key);
    return TRUE;
}

// Files carry only the read-only attribute here; the others read as archive.
DWORD GetFileAttributesA(LPCSTR name) {
    DWORD status = 0;
    if (sim::internal::CallFails("GetFileAttributesA", &status)) {
        SetLastError(status);
        return INVALID_FILE_ATTRIBUTES;
    }
    const std::string key = Fold(name != nullptr ? name : "");
    if (Store().contents.count(key) == 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_FILE_ATTRIBUTES;
    }
    return Store().readOnly.count(key) != 0 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_ARCHIVE;
}

BOOL SetFileAttributesA(LPCSTR name, DWORD attributes) {
    DWORD status = 0;
    if (sim::internal::CallFails("SetFileAttributesA", &status)) {
        SetLastError(status);
        return FALSE;
    }
    const std::string key = Fold(name != nullptr ? name : "");
    if (Store().contents.count(key) == 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        Store().readOnly.insert(key);
    } else {
        Store().readOnly.erase(key);
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

// Only serial devices have line settings. A port that has just been opened
// runs at 9600 baud, 8 data bits, no parity, one stop bit.
BOOL GetCommState(HANDLE file, LPDCB dcb) {
    DWORD status = 0;
    if (sim::internal::CallFails("GetCommState", &status)) {
        SetLastError(status);
        return FALSE;
    }
    const OpenFile* open = FindHandle(file);
    if (open == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    // Wine's answer for a handle that is no serial device.
    if (open->port == 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const SerialPort& device = Store().serialPorts[open->port];
    if (device.device == sim::SerialDevice::NoState) {
        SetLastError(ERROR_GEN_FAILURE);
        return FALSE;
    }
    if (dcb == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::memset(dcb, 0, sizeof *dcb);
    dcb->DCBlength = sizeof *dcb;
    dcb->BaudRate = 9600;
    dcb->fBinary = 1;
    dcb->fDtrControl = DTR_CONTROL_ENABLE;
    dcb->fRtsControl = RTS_CONTROL_ENABLE;
    dcb->ByteSize = 8;
    dcb->Parity = NOPARITY;
    dcb->StopBits = ONESTOPBIT;
    dcb->XonChar = 0x11;
    dcb->XoffChar = 0x13;
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
