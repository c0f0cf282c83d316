// The registry path reader: one path component per level, each level opening
// its key and closing it once the deeper levels have returned. Under WOW64 a
// path is walked in the 64-bit view first, and again from the root in the
// default view when a key on the way is not there: Windows keeps a walk in
// the view its first key was opened in.
#include "inventory/registry_path_reader.h"

#include <cstring>

#include "framework/exceptions.h"
#include "support/heap_block.h"
#include "support/registry_key.h"

char RegistryStringBuffer[kRegistryStringCapacity + 1];

namespace {

// How one walk opens its keys, and whether one of them was not there.
struct Walk {
    explicit Walk(REGSAM view) : access(KEY_READ | view) {}

    LSTATUS Open(CRegistryKey& key, HKEY parent, const char* name) {
        const LSTATUS status = key.Open(parent, name, access);
        keyMissing = keyMissing || status == ERROR_FILE_NOT_FOUND;
        return status;
    }

    REGSAM access;
    bool keyMissing = false;
};

// Terminates the text after the `size` bytes the registry wrote.
const char* TerminatedString(DWORD size) {
    RegistryStringBuffer[size < kRegistryStringCapacity ? size : kRegistryStringCapacity] = '\0';
    RegistryStringBuffer[kRegistryStringCapacity] = '\0';
    return RegistryStringBuffer;
}

const char* ReadStringLeaf(Walk& walk, HKEY key, const char* name) {
    BYTE* buffer = reinterpret_cast<BYTE*>(RegistryStringBuffer);
    DWORD size = kRegistryStringCapacity;
    LSTATUS status = RegQueryValueExA(key, name, nullptr, nullptr, buffer, &size);
    if (status == ERROR_SUCCESS) {
        return TerminatedString(size);
    }
    // A failed read may have left anything in the buffer but the guard byte.
    RegistryStringBuffer[kRegistryStringCapacity] = '\0';
    if (status != ERROR_FILE_NOT_FOUND) {
        return nullptr;
    }
    CRegistryKey subKey;
    if (walk.Open(subKey, key, name) != ERROR_SUCCESS) {
        return nullptr;
    }
    size = kRegistryStringCapacity;
    status = RegQueryValueExA(subKey.Get(), nullptr, nullptr, nullptr, buffer, &size);
    subKey.Close();
    return status == ERROR_SUCCESS ? TerminatedString(size) : nullptr;
}

int ReadBinaryLeaf(HKEY key, const char* name, BYTE* data, DWORD* size) {
    const LSTATUS status = RegQueryValueExA(key, name, nullptr, nullptr, data, size);
    return status == ERROR_SUCCESS || status == ERROR_MORE_DATA ? 1 : 0;
}

// Reads `path` below `*root` with `leaf` on the value name at its end.
// `failure` is what a missing key on the way gives.
template <typename Result, typename Leaf>
Result WalkPath(Walk& walk, const HKEY* root, const char* path, Result failure, const Leaf& leaf) {
    const HKEY key = root != nullptr ? *root : HKEY_CLASSES_ROOT;
    const std::size_t length = std::strlen(path);
    CHeapBlock copy;
    if (!copy.Allocate(length + 1)) {
        AfxThrowMemoryException();
    }
    std::memcpy(copy.Get(), path, length + 1);
    char* rest = copy.Text();
    while (*rest == '\\') {
        ++rest;
    }
    // A backslash byte that ends a double-byte character is no separator.
    unsigned char* separator = _mbschr(reinterpret_cast<unsigned char*>(rest), '\\');
    if (separator == nullptr) {
        return leaf(walk, key, rest);
    }
    *separator = '\0';
    CRegistryKey subKey;
    if (walk.Open(subKey, key, rest) != ERROR_SUCCESS) {
        return failure;
    }
    const HKEY opened = subKey.Get();
    const Result result =
        WalkPath(walk, &opened, reinterpret_cast<const char*>(separator + 1), failure, leaf);
    subKey.Close();
    return result;
}

template <typename Result, typename Leaf>
Result ReadInEitherView(const HKEY* root, const char* path, Result failure, const Leaf& leaf) {
    const REGSAM nativeView = NativeViewFlag();
    if (nativeView != 0) {
        Walk native(nativeView);
        const Result result = WalkPath(native, root, path, failure, leaf);
        if (result != failure || !native.keyMissing) {
            return result;
        }
    }
    Walk plain(0);
    return WalkPath(plain, root, path, failure, leaf);
}

}  // namespace

CRegistryPathReader::~CRegistryPathReader() {
    if (heldKey != HKEY_CLASSES_ROOT) {
        RegCloseKey(heldKey);
    }
}

const char* CRegistryPathReader::QueryStringByPath(const HKEY* root, const char* path) {
    if (path == nullptr) {
        return nullptr;
    }
    return ReadInEitherView<const char*>(root, path, nullptr, ReadStringLeaf);
}

int CRegistryPathReader::QueryBinaryByPath(const HKEY* root, const char* path, BYTE* data,
                                           DWORD* size) {
    if (path == nullptr || size == nullptr) {
        return 0;
    }
    return ReadInEitherView<int>(root, path, 0, [data, size](Walk&, HKEY key, const char* name) {
        return ReadBinaryLeaf(key, name, data, size);
    });
}
