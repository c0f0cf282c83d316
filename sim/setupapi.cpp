// The simulated Setup API: device-interface sets built from the registry's
// DeviceClasses key, the way Windows and Wine keep registered interfaces, and
// the odd device paths and stale interfaces a test may ask it to report; and
// setupapi.dll's exports, which the loader hands to GetProcAddress.
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "internal.h"
#include "registry_store.h"
#include "sim/control.h"

using sim::internal::ParseQuoted;
using sim::internal::Trimmed;

namespace {

constexpr char kDeviceClasses[] = "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\";
constexpr char kEnum[] = "SYSTEM\\CurrentControlSet\\Enum\\";
constexpr uintptr_t kFirstSetHandle = 0x00DE0000;
constexpr uintptr_t kSetHandleStep = 0x10;
constexpr DWORD kFirstDevInst = 1;
constexpr char kSetupApiDllName[] = "setupapi.dll";

struct Member {
    GUID interfaceClass;
    DWORD flags;
    std::string devicePath;
    bool pathUnterminated;
    GUID deviceClass;
    DWORD devInst;
};

struct DeviceInfoSet {
    std::vector<Member> members;
};

struct SetupApi {
    std::map<uintptr_t, DeviceInfoSet> sets;
    std::set<std::string> failingClasses;  // formatted in lower case
    // Device paths that the interfaces of an instance report instead of their
    // own, keyed by the instance id in lower case; and instances whose path
    // comes back without a terminator.
    std::map<std::string, std::string> devicePaths;
    std::set<std::string> unterminatedPaths;
    bool listInterfacesWithoutInstance = false;
    uintptr_t nextHandle = kFirstSetHandle;
    DWORD nextDevInst = kFirstDevInst;
};

SetupApi& TheSetupApi() {
    static SetupApi api;
    return api;
}

std::string Lowered(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::string FormatGuid(const GUID& guid) {
    char text[39];
    std::snprintf(text, sizeof text, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                  guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                  guid.Data4[6], guid.Data4[7]);
    return text;
}

bool ParseHex(const std::string& text, size_t at, size_t digits, uint32_t* value) {
    uint32_t result = 0;
    for (size_t i = at; i < at + digits; ++i) {
        char c = text[i];
        int digit = -1;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        }
        if (digit < 0) {
            return false;
        }
        result = result * 16 + static_cast<uint32_t>(digit);
    }
    *value = result;
    return true;
}

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}", either case.
bool ParseGuid(const std::string& text, GUID* guid) {
    if (text.size() != 38 || text[0] != '{' || text[37] != '}' || text[9] != '-' ||
        text[14] != '-' || text[19] != '-' || text[24] != '-') {
        return false;
    }
    uint32_t part = 0;
    if (!ParseHex(text, 1, 8, &part)) {
        return false;
    }
    guid->Data1 = part;
    if (!ParseHex(text, 10, 4, &part)) {
        return false;
    }
    guid->Data2 = static_cast<uint16_t>(part);
    if (!ParseHex(text, 15, 4, &part)) {
        return false;
    }
    guid->Data3 = static_cast<uint16_t>(part);
    static const size_t kByteAt[8] = {20, 22, 25, 27, 29, 31, 33, 35};
    for (int i = 0; i < 8; ++i) {
        if (!ParseHex(text, kByteAt[i], 2, &part)) {
            return false;
        }
        guid->Data4[i] = static_cast<uint8_t>(part);
    }
    return true;
}

bool SameGuid(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

// A string value as text, without the terminator it was stored with.
bool ReadString(const std::string& path, const char* name, std::string* text) {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (!sim::registry_store::ReadValue(HKEY_LOCAL_MACHINE, path, name, &type, &data) ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return false;
    }
    text->assign(data.begin(), data.end());
    text->resize(std::strlen(text->c_str()));
    return true;
}

bool ReadDword(const std::string& path, const char* name, DWORD* number) {
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
    if (!sim::registry_store::ReadValue(HKEY_LOCAL_MACHINE, path, name, &type, &data) ||
        type != REG_DWORD || data.size() != sizeof(DWORD)) {
        return false;
    }
    std::memcpy(number, data.data(), sizeof(DWORD));
    return true;
}

// One registered interface: DeviceClasses\{class}\<link>, with its instance id
// in "DeviceInstance" and, when it is enabled, "Linked"=1 in "#\Control". The
// device path is made from the instance id, in lower case, as Wine makes it.
bool ReadMember(const GUID& interfaceClass, const std::string& classPath,
                const std::string& linkName, DWORD getFlags, Member* member) {
    std::string linkPath = classPath + "\\" + linkName;
    std::string instance;
    if (!ReadString(linkPath, "DeviceInstance", &instance) || instance.empty()) {
        return false;
    }
    DWORD linked = 0;
    bool active = ReadDword(linkPath + "\\#\\Control", "Linked", &linked) && linked == 1;
    if ((getFlags & DIGCF_PRESENT) != 0 && !active) {
        return false;
    }
    std::string instancePath = kEnum + instance;
    if (!sim::registry_store::KeyExists(HKEY_LOCAL_MACHINE, instancePath) &&
        !TheSetupApi().listInterfacesWithoutInstance) {
        return false;
    }
    std::string flattened = instance;
    for (char& c : flattened) {
        if (c == '\\') {
            c = '#';
        }
    }
    member->interfaceClass = interfaceClass;
    member->flags = active ? SPINT_ACTIVE : 0;
    member->devicePath = Lowered("\\\\?\\" + flattened + "#" + FormatGuid(interfaceClass));
    const std::string key = Lowered(instance);
    const auto replaced = TheSetupApi().devicePaths.find(key);
    if (replaced != TheSetupApi().devicePaths.end()) {
        member->devicePath = replaced->second;
    }
    member->pathUnterminated = TheSetupApi().unterminatedPaths.count(key) != 0;
    member->deviceClass = GUID{};
    std::string classText;
    if (ReadString(instancePath, "ClassGUID", &classText)) {
        ParseGuid(classText, &member->deviceClass);
    }
    member->devInst = TheSetupApi().nextDevInst++;
    return true;
}

DeviceInfoSet CollectInterfaces(const GUID& interfaceClass, DWORD getFlags) {
    DeviceInfoSet set;
    std::string classPath = kDeviceClasses + FormatGuid(interfaceClass);
    for (const std::string& link :
         sim::registry_store::SubkeyNames(HKEY_LOCAL_MACHINE, classPath)) {
        Member member;
        if (ReadMember(interfaceClass, classPath, link, getFlags, &member)) {
            set.members.push_back(member);
        }
    }
    return set;
}

DeviceInfoSet* FindSet(HDEVINFO handle) {
    auto found = TheSetupApi().sets.find(reinterpret_cast<uintptr_t>(handle));
    return found == TheSetupApi().sets.end() ? nullptr : &found->second;
}

// The interface data's Reserved field names the member: its index plus one.
const Member* MemberOf(const DeviceInfoSet& set, const SP_DEVICE_INTERFACE_DATA& data) {
    if (data.Reserved == 0 || data.Reserved > set.members.size()) {
        return nullptr;
    }
    return &set.members[data.Reserved - 1];
}

BOOL Failure(DWORD status) {
    SetLastError(status);
    return FALSE;
}

}  // namespace

namespace sim {

int OpenDeviceInfoSetCount() {
    return static_cast<int>(TheSetupApi().sets.size());
}

void SetDevicePath(const std::string& instanceId, const std::string& path) {
    TheSetupApi().devicePaths[Lowered(instanceId)] = path;
}

void SetDevicePathUnterminated(const std::string& instanceId) {
    TheSetupApi().unterminatedPaths.insert(Lowered(instanceId));
}

void ListInterfacesWithoutInstance(bool listed) {
    TheSetupApi().listInterfacesWithoutInstance = listed;
}

namespace internal {

void ResetSetupApi() {
    TheSetupApi() = SetupApi();
}

// "INSTANCE"="PATH" or "INSTANCE"=unterminated: that instance's interfaces
// report this device path, or their own without a terminator.
bool ApplyDevicePathLine(const std::string& text, std::string* message) {
    std::string instance;
    size_t pos = 0;
    if (!ParseQuoted(text, &pos, &instance, message)) {
        return false;
    }
    std::string rest = Trimmed(text.substr(pos));
    if (rest.empty() || rest[0] != '=') {
        *message = "missing '=' after the device instance";
        return false;
    }
    rest = Trimmed(rest.substr(1));
    if (rest == "unterminated") {
        sim::SetDevicePathUnterminated(instance);
        return true;
    }
    std::string path;
    pos = 0;
    if (rest.empty() || rest[0] != '"' || !ParseQuoted(rest, &pos, &path, message) ||
        pos != rest.size()) {
        *message = "expected a quoted device path or unterminated after '='";
        return false;
    }
    sim::SetDevicePath(instance, path);
    return true;
}

// "fail={guid}": getting a set of that class fails. "orphans=listed":
// interfaces whose instance key is missing are listed all the same.
// "dll=missing": the machine has no setupapi.dll. "missing="FUNCTION"": its
// setupapi.dll lacks that function.
bool ApplySetupApiLine(const std::string& text, std::string* message) {
    if (!text.empty() && text[0] == '"') {
        return ApplyDevicePathLine(text, message);
    }
    size_t equals = text.find('=');
    if (equals == std::string::npos) {
        *message = "missing '=' in Setup API setting";
        return false;
    }
    std::string key = text.substr(0, equals);
    std::string value = text.substr(equals + 1);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t')) {
        key.pop_back();
    }
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
        value.erase(0, 1);
    }
    if (key == "orphans" && value == "listed") {
        sim::ListInterfacesWithoutInstance(true);
        return true;
    }
    if (key == "dll" || key == "missing") {
        return sim::internal::ApplyDllSetting(kSetupApiDllName, key, value, message);
    }
    if (key != "fail") {
        *message = "unknown Setup API setting '" + key +
                   "' (expected fail, orphans=listed, dll=missing, missing=\"FUNCTION\" or "
                   "\"INSTANCE\"=\"PATH\")";
        return false;
    }
    GUID guid;
    if (!ParseGuid(value, &guid)) {
        *message = "bad class identifier '" + value + "' (expected {xxxxxxxx-xxxx-...})";
        return false;
    }
    TheSetupApi().failingClasses.insert(FormatGuid(guid));
    return true;
}

}  // namespace internal
}  // namespace sim

HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR enumerator, HWND, DWORD flags) {
    sim::internal::NoteCallInto(kSetupApiDllName);
    if (sim::internal::CallFailsWithLastError("SetupDiGetClassDevsA")) {
        return INVALID_HANDLE_VALUE;
    }
    // Only sets of device interfaces of one class are modelled.
    if ((flags & DIGCF_DEVICEINTERFACE) == 0 || (flags & DIGCF_ALLCLASSES) != 0 ||
        enumerator != nullptr) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return INVALID_HANDLE_VALUE;
    }
    if (classGuid == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    SetupApi& api = TheSetupApi();
    if (api.failingClasses.count(FormatGuid(*classGuid)) != 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return INVALID_HANDLE_VALUE;
    }
    // A class nobody registered gives a valid, empty set.
    uintptr_t handle = api.nextHandle;
    api.nextHandle += kSetHandleStep;
    api.sets[handle] = CollectInterfaces(*classGuid, flags);
    return reinterpret_cast<HDEVINFO>(handle);
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO handle, PSP_DEVINFO_DATA device,
                                 const GUID* interfaceGuid, DWORD memberIndex,
                                 PSP_DEVICE_INTERFACE_DATA interfaceData) {
    sim::internal::NoteCallInto(kSetupApiDllName);
    if (sim::internal::CallFailsWithLastError("SetupDiEnumDeviceInterfaces")) {
        return FALSE;
    }
    DeviceInfoSet* set = FindSet(handle);
    if (set == nullptr) {
        return Failure(ERROR_INVALID_HANDLE);
    }
    // Windows' documentation names ERROR_INVALID_USER_BUFFER for a wrong size;
    // Wine answers ERROR_INVALID_PARAMETER, and so does this.
    if (interfaceData == nullptr || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA) ||
        interfaceGuid == nullptr) {
        return Failure(ERROR_INVALID_PARAMETER);
    }
    // Filtering by device is not modelled.
    if (device != nullptr) {
        return Failure(ERROR_CALL_NOT_IMPLEMENTED);
    }
    DWORD seen = 0;
    for (size_t i = 0; i < set->members.size(); ++i) {
        const Member& member = set->members[i];
        if (!SameGuid(member.interfaceClass, *interfaceGuid)) {
            continue;
        }
        if (seen++ == memberIndex) {
            interfaceData->InterfaceClassGuid = member.interfaceClass;
            interfaceData->Flags = member.flags;
            interfaceData->Reserved = static_cast<ULONG_PTR>(i + 1);
            return TRUE;
        }
    }
    return Failure(ERROR_NO_MORE_ITEMS);
}

BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO handle, PSP_DEVICE_INTERFACE_DATA interfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detailSize,
                                      PDWORD requiredSize, PSP_DEVINFO_DATA device) {
    sim::internal::NoteCallInto(kSetupApiDllName);
    if (sim::internal::CallFailsWithLastError("SetupDiGetDeviceInterfaceDetailA")) {
        return FALSE;
    }
    DeviceInfoSet* set = FindSet(handle);
    if (set == nullptr) {
        return Failure(ERROR_INVALID_HANDLE);
    }
    if (interfaceData == nullptr || interfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        return Failure(ERROR_INVALID_PARAMETER);
    }
    const Member* member = MemberOf(*set, *interfaceData);
    if (member == nullptr) {
        return Failure(ERROR_INVALID_PARAMETER);
    }
    if (detail != nullptr && detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        return Failure(ERROR_INVALID_USER_BUFFER);
    }
    if (detail == nullptr && detailSize != 0) {
        return Failure(ERROR_INVALID_USER_BUFFER);
    }
    // Wine accepts a device record of any size; Windows refuses a wrong one.
    if (device != nullptr && device->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return Failure(ERROR_INVALID_USER_BUFFER);
    }
    const std::string& path = member->devicePath;
    constexpr size_t kPathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    const size_t terminator = member->pathUnterminated ? 0 : 1;
    DWORD needed = static_cast<DWORD>(kPathOffset + path.size() + terminator);
    if (requiredSize != nullptr) {
        *requiredSize = needed;
    }
    // A buffer too small is left untouched.
    if (detail == nullptr || detailSize < needed) {
        return Failure(ERROR_INSUFFICIENT_BUFFER);
    }
    if (member->pathUnterminated) {
        // The path, repeated, fills the buffer to its very end.
        char* out = reinterpret_cast<char*>(detail) + kPathOffset;
        for (size_t i = 0; i < detailSize - kPathOffset; ++i) {
            out[i] = path.empty() ? '?' : path[i % path.size()];
        }
    } else {
        std::memcpy(detail->DevicePath, path.c_str(), path.size() + 1);
    }
    if (device != nullptr) {
        device->ClassGuid = member->deviceClass;
        device->DevInst = member->devInst;
        device->Reserved = static_cast<ULONG_PTR>(member - set->members.data() + 1);
    }
    return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO handle) {
    sim::internal::NoteCallInto(kSetupApiDllName);
    if (sim::internal::CallFailsWithLastError("SetupDiDestroyDeviceInfoList")) {
        return FALSE;
    }
    if (TheSetupApi().sets.erase(reinterpret_cast<uintptr_t>(handle)) == 0) {
        return Failure(ERROR_INVALID_HANDLE);
    }
    return TRUE;
}

namespace {

// Windows 2000 and later have the device-interface functions; the loader
// decides whether the machine has the DLL at all.
[[maybe_unused]] const bool setupApiRegistered = [] {
    sim::internal::RegisterDll(
        kSetupApiDllName, 0x77920000,
        {{"SetupDiGetClassDevsA", reinterpret_cast<void (*)()>(&SetupDiGetClassDevsA)},
         {"SetupDiEnumDeviceInterfaces",
          reinterpret_cast<void (*)()>(&SetupDiEnumDeviceInterfaces)},
         {"SetupDiGetDeviceInterfaceDetailA",
          reinterpret_cast<void (*)()>(&SetupDiGetDeviceInterfaceDetailA)},
         {"SetupDiDestroyDeviceInfoList",
          reinterpret_cast<void (*)()>(&SetupDiDestroyDeviceInfoList)}});
    return true;
}();

}  // namespace
