// The registry path reader: one path component per level, each level opening
// its key and closing it once the deeper levels have returned. Every key is
// opened in the reader's one view.
#include "inventory/registry_path_reader.h"

#include <cstring>

#include "framework/exceptions.h"
#include "support/heap_block.h"
#include "support/registry_key.h"

char RegistryStringBuffer[kRegistryStringCapacity + 1];

namespace {

// Terminates the text after the `size` bytes the registry wrote.
const char* TerminatedString(DWORD size) {
    RegistryStringBuffer[size < kRegistryStringCapacity ? size : kRegistryStringCapacity] = '\0';
    RegistryStringBuffer[kRegistryStringCapacity] = '\0';
    return RegistryStringBuffer;
}

const char* ReadStringLeaf(REGSAM access, HKEY key, const char* name) {
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
    if (subKey.Open(key, name, access) != ERROR_SUCCESS) {
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

// Reads `path` below `*root` with `leaf` on the value name at its end,
// opening every key with `access`. `failure` is what a key on the way that
// does not open gives.
template <typename Result, typename Leaf>
Result WalkPath(REGSAM access, const HKEY* root, const char* path, Result failure,
                const Leaf& leaf) {
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
        return leaf(access, key, rest);
    }
    *separator = '\0';
    CRegistryKey subKey;
    if (subKey.Open(key, rest, access) != ERROR_SUCCESS) {
        return failure;
    }
    const HKEY opened = subKey.Get();
    const Result result =
        WalkPath(access, &opened, reinterpret_cast<const char*>(separator + 1), failure, leaf);
    subKey.Close();
    return result;
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
    return WalkPath<const char*>(KEY_READ | view_, root, path, nullptr, ReadStringLeaf);
}

int CRegistryPathReader::QueryBinaryByPath(const HKEY* root, const char* path, BYTE* data,
                                           DWORD* size) {
    if (path == nullptr || size == nullptr) {
        return 0;
    }
    return WalkPath<int>(KEY_READ | view_, root, path, 0,
                         [data, size](REGSAM, HKEY key, const char* name) {
                             return ReadBinaryLeaf(key, name, data, size);
                         });
}
