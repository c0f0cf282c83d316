// The simulated registry: a tree of keys with typed values under the predefined
// roots, reached through handles that behave like Windows registry handles.
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "internal.h"
#include "registry_faults.h"
#include "registry_store.h"
#include "sim/control.h"

namespace {

constexpr LSTATUS kErrorNoAccess = 998;
constexpr REGSAM kGenericRead = 0x80000000;
constexpr REGSAM kGenericWrite = 0x40000000;
constexpr REGSAM kGenericExecute = 0x20000000;
constexpr REGSAM kGenericAll = 0x10000000;
constexpr REGSAM kMaximumAllowed = 0x02000000;
constexpr REGSAM kEveryRight = ~REGSAM{0};
constexpr uintptr_t kFirstHandle = 0x10004;
constexpr uintptr_t kHandleStep = 4;

struct Value {
    std::string name;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

std::string Folded(const std::string& name) {
    std::string folded = name;
    for (char& c : folded) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return folded;
}

// A key's values in the order first written, found by name in constant time.
class ValueList {
public:
    Value* Find(const std::string& name) {
        auto found = index_.find(Folded(name));
        return found == index_.end() ? nullptr : &values_[found->second];
    }

    void Put(const std::string& name, DWORD type, std::vector<BYTE> data) {
        std::string folded = Folded(name);
        auto found = index_.find(folded);
        if (found != index_.end()) {
            values_[found->second].type = type;
            values_[found->second].data = std::move(data);
            return;
        }
        index_.emplace(std::move(folded), values_.size());
        values_.push_back(Value{name, type, std::move(data)});
    }

    void Erase(const std::string& name) {
        auto found = index_.find(Folded(name));
        if (found == index_.end()) {
            return;
        }
        const size_t position = found->second;
        index_.erase(found);
        values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(position));
        for (auto& entry : index_) {
            if (entry.second > position) {
                --entry.second;
            }
        }
    }

    void Clear() {
        values_.clear();
        index_.clear();
    }

    size_t Size() const { return values_.size(); }
    Value& At(size_t position) { return values_[position]; }

private:
    std::vector<Value> values_;
    std::unordered_map<std::string, size_t> index_;  // folded name -> position
};

struct Key;
using KeyPtr = std::shared_ptr<Key>;

struct Key {
    ~Key();

    // Windows orders subkeys by their upper-cased names.
    std::map<std::string, KeyPtr> subkeys;
    std::map<std::string, std::string> subkeyNames;  // folded name -> name as created
    // The names of subkeyNames by enumeration index; rebuilt when stale.
    std::vector<const std::string*> enumerationOrder;
    bool enumerationOrderStale = false;
    ValueList values;
    REGSAM allowed = kEveryRight;  // the rights a caller may be granted
    bool deleted = false;
};

// Destroying a key destroys its subkeys. Left to recursion, a deep chain of
// keys would overflow the stack, so subkeys that nothing else holds are taken
// apart here, one at a time.
Key::~Key() {
    std::vector<KeyPtr> pending;
    auto takeSubkeys = [&pending](Key& key) {
        for (auto& entry : key.subkeys) {
            pending.push_back(std::move(entry.second));
        }
        key.subkeys.clear();
    };
    takeSubkeys(*this);
    while (!pending.empty()) {
        KeyPtr key = std::move(pending.back());
        pending.pop_back();
        if (key.use_count() == 1) {
            takeSubkeys(*key);
        }
    }
}

// Calls `visit` on `top` and every key below it, without recursion.
template <typename Visit>
void ForEachKeyBelow(Key& top, const Visit& visit) {
    std::vector<Key*> pending{&top};
    while (!pending.empty()) {
        Key* key = pending.back();
        pending.pop_back();
        visit(*key);
        for (auto& entry : key->subkeys) {
            pending.push_back(entry.second.get());
        }
    }
}

struct OpenKey {
    KeyPtr key;
    REGSAM access = 0;
    bool localMachine = false;  // below HKEY_LOCAL_MACHINE, at `path`
    std::string path;
};

struct Registry {
    KeyPtr localMachine = std::make_shared<Key>();
    KeyPtr currentUser = std::make_shared<Key>();
    std::map<uintptr_t, OpenKey> handles;
    size_t peakHandles = 0;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

// Handle values are never reused, so a stale handle stays invalid.
uintptr_t nextHandle = kFirstHandle;

std::vector<std::string> PathComponents(const std::string& path) {
    std::vector<std::string> components;
    std::string current;
    for (char c : path) {
        if (c == '\\') {
            if (!current.empty()) {
                components.push_back(current);
            }
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) {
        components.push_back(current);
    }
    return components;
}

KeyPtr FindSubkey(const Key& parent, const std::string& name) {
    auto found = parent.subkeys.find(Folded(name));
    return found == parent.subkeys.end() ? nullptr : found->second;
}

KeyPtr FindOrCreateSubkey(Key& parent, const std::string& name, bool* created) {
    std::string folded = Folded(name);
    auto found = parent.subkeys.find(folded);
    if (found != parent.subkeys.end()) {
        return found->second;
    }
    KeyPtr child = std::make_shared<Key>();
    child->allowed = parent.allowed;
    parent.subkeys[folded] = child;
    parent.subkeyNames[folded] = name;
    parent.enumerationOrderStale = true;
    if (created != nullptr) {
        *created = true;
    }
    return child;
}

KeyPtr WalkExisting(KeyPtr key, const std::string& path) {
    for (const std::string& component : PathComponents(path)) {
        key = FindSubkey(*key, component);
        if (key == nullptr) {
            return nullptr;
        }
    }
    return key;
}

KeyPtr WalkCreating(KeyPtr key, const std::string& path, bool* created) {
    for (const std::string& component : PathComponents(path)) {
        *created = false;
        key = FindOrCreateSubkey(*key, component, created);
    }
    return key;
}

void MarkDeleted(Key& key) {
    ForEachKeyBelow(key, [](Key& below) { below.deleted = true; });
}

void EmptyKey(Key& key) {
    for (auto& entry : key.subkeys) {
        MarkDeleted(*entry.second);
    }
    key.subkeys.clear();
    key.subkeyNames.clear();
    key.enumerationOrderStale = true;
    key.values.Clear();
}

bool RemoveSubtree(Key& parent, const std::string& name) {
    std::string folded = Folded(name);
    auto found = parent.subkeys.find(folded);
    if (found == parent.subkeys.end()) {
        return false;
    }
    MarkDeleted(*found->second);
    parent.subkeys.erase(found);
    parent.subkeyNames.erase(folded);
    parent.enumerationOrderStale = true;
    return true;
}

Value* FindValue(Key& key, const char* name) {
    return key.values.Find(name != nullptr ? name : "");
}

void PutValue(Key& key, const std::string& name, DWORD type, std::vector<BYTE> data) {
    key.values.Put(name, type, std::move(data));
}

bool IsPredefined(HKEY key) {
    ULONG low = static_cast<ULONG>(reinterpret_cast<ULONG_PTR>(key));
    return low >= 0x80000000u && low <= 0x80000006u;
}

// HKEY_CLASSES_ROOT shows HKEY_LOCAL_MACHINE\SOFTWARE\Classes, as on Windows.
KeyPtr ClassesRoot() {
    bool created = false;
    return WalkCreating(TheRegistry().localMachine, "SOFTWARE\\Classes", &created);
}

KeyPtr RootKey(HKEY key) {
    if (key == HKEY_LOCAL_MACHINE) {
        return TheRegistry().localMachine;
    }
    if (key == HKEY_CURRENT_USER) {
        return TheRegistry().currentUser;
    }
    if (key == HKEY_CLASSES_ROOT) {
        return ClassesRoot();
    }
    return nullptr;
}

struct Resolved {
    LSTATUS status = ERROR_SUCCESS;
    KeyPtr key;
    REGSAM access = 0;
    bool localMachine = false;
    std::string path;
};

REGSAM EffectiveAccess(REGSAM access) {
    REGSAM effective = access & 0xFFFF;
    if ((access & kGenericRead) != 0) {
        effective |= KEY_READ;
    }
    if ((access & kGenericWrite) != 0) {
        effective |= KEY_WRITE;
    }
    if ((access & (kGenericAll | kMaximumAllowed)) != 0) {
        effective |= KEY_ALL_ACCESS;
    }
    return effective;
}

Resolved Resolve(HKEY key) {
    Resolved resolved;
    if (IsPredefined(key)) {
        resolved.key = RootKey(key);
        resolved.access = KEY_ALL_ACCESS;
        resolved.localMachine = key == HKEY_LOCAL_MACHINE;
    } else {
        auto found = TheRegistry().handles.find(reinterpret_cast<uintptr_t>(key));
        if (found != TheRegistry().handles.end()) {
            resolved.key = found->second.key;
            resolved.access = found->second.access;
            resolved.localMachine = found->second.localMachine;
            resolved.path = found->second.path;
        }
    }
    if (resolved.key == nullptr) {
        resolved.status = ERROR_INVALID_HANDLE;
    } else if (resolved.key->deleted) {
        resolved.status = ERROR_KEY_DELETED;
    }
    return resolved;
}

// The key rights, standard rights included, that `access` asks for.
REGSAM RightsAskedFor(REGSAM access) {
    REGSAM rights = access & KEY_ALL_ACCESS;
    if ((access & (kGenericRead | kGenericExecute)) != 0) {
        rights |= KEY_READ;
    }
    if ((access & kGenericWrite) != 0) {
        rights |= KEY_WRITE;
    }
    if ((access & kGenericAll) != 0) {
        rights |= KEY_ALL_ACCESS;
    }
    return rights;
}

// Windows checks the rights asked for against the key's permissions when it
// opens the key; the handle then carries what was granted. MAXIMUM_ALLOWED
// is granted whatever the permissions allow, and fails only when that is
// nothing.
LSTATUS GrantAccess(const Key& key, REGSAM access, REGSAM* granted) {
    *granted = access;
    if (key.allowed == kEveryRight) {
        return ERROR_SUCCESS;
    }
    if ((RightsAskedFor(access) & ~key.allowed) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    if ((access & kMaximumAllowed) != 0) {
        if ((key.allowed & KEY_ALL_ACCESS) == 0) {
            return ERROR_ACCESS_DENIED;
        }
        *granted = (access & ~kMaximumAllowed) | (key.allowed & KEY_ALL_ACCESS);
    }
    return ERROR_SUCCESS;
}

// Creating a key needs KEY_CREATE_SUB_KEY on its nearest existing ancestor;
// opening an existing one through RegCreateKeyExA, the rights asked for.
LSTATUS CheckCreate(KeyPtr key, const std::string& path, REGSAM access) {
    for (const std::string& component : PathComponents(path)) {
        KeyPtr child = FindSubkey(*key, component);
        if (child == nullptr) {
            return (key->allowed & KEY_CREATE_SUB_KEY) != 0 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
        }
        key = child;
    }
    REGSAM granted = 0;
    return GrantAccess(*key, access, &granted);
}

Resolved ResolveFor(HKEY key, REGSAM needed) {
    Resolved resolved = Resolve(key);
    if (resolved.status == ERROR_SUCCESS && (resolved.access & needed) != needed) {
        resolved.status = ERROR_ACCESS_DENIED;
    }
    return resolved;
}

// Where an open of `name` below `parent` lands. On 64-bit Windows a key below
// HKEY_LOCAL_MACHINE is placed by its whole path in the view `access` selects.
struct Placement {
    KeyPtr from;  // the key `path` is walked from
    std::string path;
    bool localMachine = false;
    std::string localMachinePath;
};

Placement PlaceInView(const Resolved& parent, const char* name, REGSAM access) {
    Placement place{parent.key, name, parent.localMachine, ""};
    if (!parent.localMachine) {
        return place;
    }
    std::string whole = parent.path;
    for (const std::string& component : PathComponents(name)) {
        whole += (whole.empty() ? "" : "\\") + component;
    }
    place.localMachinePath =
        sim::internal::LocalMachineViewPath(whole, access, parent.path.empty());
    if (place.localMachinePath != whole) {
        place.from = TheRegistry().localMachine;
        place.path = place.localMachinePath;
    }
    return place;
}

HKEY NewHandle(KeyPtr key, REGSAM access, const Placement& place) {
    uintptr_t value = nextHandle;
    nextHandle += kHandleStep;
    Registry& registry = TheRegistry();
    registry.handles[value] = OpenKey{std::move(key), EffectiveAccess(access), place.localMachine,
                                      place.localMachinePath};
    registry.peakHandles = std::max(registry.peakHandles, registry.handles.size());
    return reinterpret_cast<HKEY>(value);
}

bool IsString(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// Copies stored data to a caller's buffer that is known to be big enough. For
// string types Windows adds a terminating NUL when the data lacks one and the
// buffer has room for it; the returned size does not count that NUL.
void CopyData(const Value& value, BYTE* data, DWORD capacity) {
    DWORD size = static_cast<DWORD>(value.data.size());
    if (size > 0) {
        std::memcpy(data, value.data.data(), size);
    }
    if (IsString(value.type) && size > 0 && size < capacity && data[size - 1] != 0) {
        data[size] = 0;
    }
}

LSTATUS FetchData(const Value& value, BYTE* data, DWORD capacity) {
    if (data == nullptr) {
        return ERROR_SUCCESS;
    }
    if (value.data.size() > capacity) {
        return ERROR_MORE_DATA;
    }
    CopyData(value, data, capacity);
    return ERROR_SUCCESS;
}

// Windows writes as much of a too-long value name as fits, terminated.
LSTATUS FetchValueName(const Value& value, LPSTR name, LPDWORD nameLength) {
    DWORD length = static_cast<DWORD>(value.name.size());
    if (length >= *nameLength) {
        if (*nameLength > 0) {
            std::memcpy(name, value.name.data(), *nameLength - 1);
            name[*nameLength - 1] = 0;
        }
        sim::registry_faults::AfterShortName(length, nameLength);
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, value.name.c_str(), length + 1);
    *nameLength = length;
    return ERROR_SUCCESS;
}

// Enumeration by index looks the name up in a table, so that walking the
// subkeys of a key costs the same for each of them.
const std::string* SubkeyNameAt(Key& key, DWORD index) {
    if (index >= key.subkeyNames.size()) {
        return nullptr;
    }
    if (key.enumerationOrderStale || key.enumerationOrder.size() != key.subkeyNames.size()) {
        key.enumerationOrder.clear();
        key.enumerationOrder.reserve(key.subkeyNames.size());
        for (const auto& entry : key.subkeyNames) {
            key.enumerationOrder.push_back(&entry.second);
        }
        key.enumerationOrderStale = false;
    }
    return key.enumerationOrder[index];
}

bool Fails(const char* api, LSTATUS* status) {
    DWORD injected = 0;
    if (!sim::internal::CallFails(api, &injected)) {
        return false;
    }
    *status = static_cast<LSTATUS>(injected);
    return true;
}

// A failure a test set for this key only.
bool KeyFails(const char* api, const KeyPtr& key, LSTATUS* status) {
    return sim::registry_faults::CallFails(key.get(), api, status);
}

// A change a test asked for once the value has been read so often.
void AfterValueRead(const Key& key, Value& value) {
    sim::registry_faults::ValueChange change;
    if (sim::registry_faults::WatchingValues() &&
        sim::registry_faults::ChangeDueAfterRead(&key, Folded(value.name), &change)) {
        value.type = change.type;
        value.data = std::move(change.data);
    }
}

KeyPtr ExistingKey(HKEY root, const std::string& path) {
    KeyPtr key = RootKey(root);
    return key != nullptr ? WalkExisting(key, path) : nullptr;
}

}  // namespace

namespace sim {

int OpenKeyCount() {
    return static_cast<int>(TheRegistry().handles.size());
}

int PeakOpenKeyCount() {
    return static_cast<int>(TheRegistry().peakHandles);
}

void ClearPeakOpenKeyCount() {
    TheRegistry().peakHandles = TheRegistry().handles.size();
}

bool SetKeyAccess(HKEY root, const std::string& path, REGSAM allowed) {
    KeyPtr key = ExistingKey(root, path);
    if (key == nullptr) {
        return false;
    }
    ForEachKeyBelow(*key, [allowed](Key& below) { below.allowed = allowed; });
    return true;
}

bool FailKeyCall(HKEY root, const std::string& path, const std::string& api, DWORD status) {
    KeyPtr key = ExistingKey(root, path);
    if (key == nullptr) {
        return false;
    }
    registry_faults::FailCall(key, api, status);
    return true;
}

bool ChangeValueAfterReads(HKEY root, const std::string& path, const std::string& name,
                           unsigned reads, DWORD type, const std::vector<BYTE>& data) {
    KeyPtr key = ExistingKey(root, path);
    if (key == nullptr) {
        return false;
    }
    if (reads == 0) {
        PutValue(*key, name, type, data);
    } else {
        registry_faults::ChangeValueAfterReads(key, Folded(name), reads,
                                               registry_faults::ValueChange{type, data});
    }
    return true;
}

namespace internal {
void ResetRegistry() {
    TheRegistry() = Registry();
    ClassesRoot();
}
}  // namespace internal

namespace registry_store {

void CreateKeyPath(HKEY root, const std::string& path) {
    KeyPtr key = RootKey(root);
    bool created = false;
    if (key != nullptr) {
        WalkCreating(key, path, &created);
    }
}

void DeleteKeyTree(HKEY root, const std::string& path) {
    KeyPtr key = RootKey(root);
    std::vector<std::string> components = PathComponents(path);
    if (key == nullptr) {
        return;
    }
    if (components.empty()) {
        EmptyKey(*key);
        return;
    }
    std::string last = components.back();
    components.pop_back();
    for (const std::string& component : components) {
        key = FindSubkey(*key, component);
        if (key == nullptr) {
            return;
        }
    }
    RemoveSubtree(*key, last);
}

void StoreValue(HKEY root, const std::string& path, const std::string& name, DWORD type,
                const std::vector<BYTE>& data) {
    KeyPtr key = RootKey(root);
    bool created = false;
    if (key != nullptr) {
        PutValue(*WalkCreating(key, path, &created), name, type, data);
    }
}

void DeleteValue(HKEY root, const std::string& path, const std::string& name) {
    KeyPtr key = RootKey(root);
    if (key != nullptr) {
        key = WalkExisting(key, path);
    }
    if (key == nullptr) {
        return;
    }
    key->values.Erase(name);
}

bool KeyExists(HKEY root, const std::string& path) {
    KeyPtr key = RootKey(root);
    return key != nullptr && WalkExisting(key, path) != nullptr;
}

std::vector<std::string> SubkeyNames(HKEY root, const std::string& path) {
    std::vector<std::string> names;
    KeyPtr key = RootKey(root);
    if (key != nullptr) {
        key = WalkExisting(key, path);
    }
    if (key != nullptr) {
        for (const auto& entry : key->subkeyNames) {
            names.push_back(entry.second);
        }
    }
    return names;
}

bool ReadValue(HKEY root, const std::string& path, const std::string& name, DWORD* type,
               std::vector<BYTE>* data) {
    KeyPtr key = RootKey(root);
    if (key != nullptr) {
        key = WalkExisting(key, path);
    }
    const Value* value = key != nullptr ? FindValue(*key, name.c_str()) : nullptr;
    if (value == nullptr) {
        return false;
    }
    *type = value->type;
    *data = value->data;
    return true;
}

}  // namespace registry_store
}  // namespace sim

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD, REGSAM access, PHKEY result) {
    LSTATUS status = ERROR_SUCCESS;
    if (Fails("RegOpenKeyExA", &status)) {
        return status;
    }
    if (result == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    if (key == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    const char* name = subKey != nullptr ? subKey : "";
    // An empty name on a predefined key hands back the predefined key itself.
    if (IsPredefined(key) && name[0] == 0) {
        *result = key;
        return ERROR_SUCCESS;
    }
    // NT accepts one leading backslash under HKEY_CLASSES_ROOT only.
    if (key == HKEY_CLASSES_ROOT && name[0] == '\\') {
        ++name;
    }
    *result = nullptr;
    Resolved parent = Resolve(key);
    if (parent.status != ERROR_SUCCESS) {
        return parent.status;
    }
    if (name[0] == '\\') {
        return ERROR_BAD_PATHNAME;
    }
    status = sim::internal::ViewFlagsStatus(access);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    const Placement place = PlaceInView(parent, name, access);
    KeyPtr target = WalkExisting(place.from, place.path);
    if (target == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    if (KeyFails("RegOpenKeyExA", target, &status)) {
        return status;
    }
    REGSAM granted = 0;
    status = GrantAccess(*target, access, &granted);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    *result = NewHandle(target, granted, place);
    return ERROR_SUCCESS;
}

LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR, DWORD, REGSAM access,
                        const SECURITY_ATTRIBUTES*, PHKEY result, LPDWORD disposition) {
    LSTATUS status = ERROR_SUCCESS;
    if (Fails("RegCreateKeyExA", &status)) {
        return status;
    }
    if (result == nullptr) {
        return ERROR_BADKEY;
    }
    if (reserved != 0) {
        return ERROR_INVALID_PARAMETER;
    }
    // Creating ignores the access rights of the parent handle.
    Resolved parent = Resolve(key);
    if (parent.status != ERROR_SUCCESS) {
        return parent.status;
    }
    const char* name = subKey != nullptr ? subKey : "";
    if (name[0] == '\\') {
        return ERROR_BAD_PATHNAME;
    }
    status = sim::internal::ViewFlagsStatus(access);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    const Placement place = PlaceInView(parent, name, access);
    status = CheckCreate(place.from, place.path, access);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    bool created = false;
    KeyPtr target = WalkCreating(place.from, place.path, &created);
    if (KeyFails("RegCreateKeyExA", target, &status)) {
        return status;
    }
    if (disposition != nullptr) {
        *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }
    REGSAM granted = 0;
    GrantAccess(*target, access, &granted);
    *result = NewHandle(target, granted, place);
    return ERROR_SUCCESS;
}

LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved,
                      LPSTR className, LPDWORD classLength, PFILETIME lastWrite) {
    LSTATUS status = ERROR_SUCCESS;
    if (Fails("RegEnumKeyExA", &status)) {
        return status;
    }
    if (reserved != nullptr || name == nullptr || nameLength == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    Resolved parent = ResolveFor(key, KEY_ENUMERATE_SUB_KEYS);
    if (parent.status != ERROR_SUCCESS) {
        return parent.status;
    }
    if (KeyFails("RegEnumKeyExA", parent.key, &status)) {
        return status;
    }
    const std::string* subkeyName = SubkeyNameAt(*parent.key, index);
    if (subkeyName == nullptr) {
        return ERROR_NO_MORE_ITEMS;
    }
    if (lastWrite != nullptr) {
        *lastWrite = FILETIME{0xD53E8000u, 0x01C89E1Au};
    }
    // On a short buffer Windows leaves both the buffer and the length alone.
    DWORD length = static_cast<DWORD>(subkeyName->size());
    bool classTooSmall = className != nullptr && classLength != nullptr && *classLength == 0;
    if (length >= *nameLength || classTooSmall) {
        if (length >= *nameLength) {
            sim::registry_faults::AfterShortName(length, nameLength);
        }
        return ERROR_MORE_DATA;
    }
    std::memcpy(name, subkeyName->c_str(), length + 1);
    *nameLength = length;
    if (classLength != nullptr) {
        *classLength = 0;
        if (className != nullptr) {
            className[0] = 0;
        }
    }
    return ERROR_SUCCESS;
}

LSTATUS RegEnumValueA(HKEY key, DWORD index, LPSTR name, LPDWORD nameLength, LPDWORD reserved,
                      LPDWORD type, LPBYTE data, LPDWORD dataLength) {
    LSTATUS status = ERROR_SUCCESS;
    if (Fails("RegEnumValueA", &status)) {
        return status;
    }
    if ((data != nullptr && dataLength == nullptr) || reserved != nullptr || name == nullptr ||
        nameLength == nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    Resolved owner = ResolveFor(key, KEY_QUERY_VALUE);
    if (owner.status != ERROR_SUCCESS) {
        return owner.status;
    }
    if (KeyFails("RegEnumValueA", owner.key, &status)) {
        return status;
    }
    if (index >= owner.key->values.Size()) {
        return ERROR_NO_MORE_ITEMS;
    }
    Value& value = owner.key->values.At(index);
    // The data is fetched first; when it does not fit, the name is not written.
    const DWORD capacity = dataLength != nullptr ? *dataLength : 0;
    status = FetchData(value, data, capacity);
    if (status == ERROR_SUCCESS) {
        status = FetchValueName(value, name, nameLength);
    } else {
        sim::registry_faults::AfterMoreData(data, capacity);
    }
    if (type != nullptr) {
        *type = value.type;
    }
    if (dataLength != nullptr) {
        *dataLength = static_cast<DWORD>(value.data.size());
    }
    AfterValueRead(*owner.key, value);
    return status;
}

LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataLength) {
    LSTATUS status = ERROR_SUCCESS;
    if (Fails("RegQueryValueExA", &status)) {
        return status;
    }
    if ((data != nullptr && dataLength == nullptr) || reserved != nullptr) {
        return ERROR_INVALID_PARAMETER;
    }
    Resolved owner = ResolveFor(key, KEY_QUERY_VALUE);
    if (owner.status != ERROR_SUCCESS) {
        return owner.status;
    }
    if (KeyFails("RegQueryValueExA", owner.key, &status)) {
        return status;
    }
    DWORD capacity = dataLength != nullptr ? *dataLength : 0;
    // A size-only query reports 0 unless the value turns up.
    if (data == nullptr && dataLength != nullptr) {
        *dataLength = 0;
    }
    if (type != nullptr) {
        *type = REG_NONE;
    }
    Value* value = FindValue(*owner.key, valueName);
    if (value == nullptr) {
        return ERROR_FILE_NOT_FOUND;
    }
    // On ERROR_MORE_DATA the caller's buffer is left untouched (unless a test
    // asks for the junk Windows may leave there).
    status = FetchData(*value, data, capacity);
    if (status == ERROR_MORE_DATA) {
        sim::registry_faults::AfterMoreData(data, capacity);
    }
    if (type != nullptr) {
        *type = value->type;
    }
    if (dataLength != nullptr) {
        *dataLength = static_cast<DWORD>(value->data.size());
    }
    AfterValueRead(*owner.key, *value);
    return status;
}

LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD, DWORD type, const BYTE* data,
                       DWORD dataLength) {
    LSTATUS status = ERROR_SUCCESS;
    if (Fails("RegSetValueExA", &status)) {
        return status;
    }
    if (data == nullptr && dataLength != 0) {
        return kErrorNoAccess;
    }
    Resolved owner = ResolveFor(key, KEY_SET_VALUE);
    if (owner.status != ERROR_SUCCESS) {
        return owner.status;
    }
    if (KeyFails("RegSetValueExA", owner.key, &status)) {
        return status;
    }
    // NT counts a terminating NUL the caller left out of the length, reading
    // the byte just past the given length to find it.
    if (dataLength > 0 && IsString(type) && data[dataLength - 1] != 0 && data[dataLength] == 0) {
        ++dataLength;
    }
    std::vector<BYTE> bytes(data, data + dataLength);
    PutValue(*owner.key, valueName != nullptr ? valueName : "", type, std::move(bytes));
    return ERROR_SUCCESS;
}

LSTATUS RegDeleteTreeA(HKEY key, LPCSTR subKey) {
    LSTATUS status = ERROR_SUCCESS;
    if (Fails("RegDeleteTreeA", &status)) {
        return status;
    }
    Resolved start = Resolve(key);
    if (start.status != ERROR_SUCCESS) {
        return start.status;
    }
    const char* name = subKey != nullptr ? subKey : "";
    if (key == HKEY_CLASSES_ROOT && name[0] == '\\') {
        ++name;
    }
    if (name[0] == '\\') {
        return ERROR_BAD_PATHNAME;
    }
    std::vector<std::string> components = PathComponents(name);
    if (components.empty()) {
        EmptyKey(*start.key);
        return ERROR_SUCCESS;
    }
    std::string last = components.back();
    components.pop_back();
    KeyPtr parent = start.key;
    for (const std::string& component : components) {
        parent = FindSubkey(*parent, component);
        if (parent == nullptr) {
            return ERROR_FILE_NOT_FOUND;
        }
    }
    return RemoveSubtree(*parent, last) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LSTATUS RegCloseKey(HKEY key) {
    LSTATUS status = ERROR_SUCCESS;
    if (Fails("RegCloseKey", &status)) {
        return status;
    }
    if (key == nullptr) {
        return ERROR_INVALID_HANDLE;
    }
    if (IsPredefined(key)) {
        return ERROR_SUCCESS;
    }
    auto open = TheRegistry().handles.find(reinterpret_cast<uintptr_t>(key));
    if (open != TheRegistry().handles.end() && KeyFails("RegCloseKey", open->second.key, &status)) {
        return status;
    }
    return TheRegistry().handles.erase(reinterpret_cast<uintptr_t>(key)) == 1
               ? ERROR_SUCCESS
               : ERROR_INVALID_HANDLE;
}
