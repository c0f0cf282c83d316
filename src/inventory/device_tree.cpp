// The device registry scan: the enumerator / device / instance tree below a
// root, and single instance keys, read for their setup class, COM name and
// description.
#include "inventory/device_tree.h"

#include <cstring>

#include "framework/exceptions.h"
#include "inventory/port_table.h"
#include "support/heap_block.h"
#include "support/registry_key.h"
#include "support/registry_text.h"

namespace {

constexpr DWORD kFirstLength = 128;
// Far beyond any name the registry holds (255 characters for a key, 16383 for
// a value); a registry that keeps asking for more is given up on here.
constexpr DWORD kLongestNameBuffer = 0x10000;
constexpr DWORD kClassLength = 6;
constexpr DWORD kClassGuidLength = 39;
constexpr DWORD kDescriptionLength = 128;

constexpr char kPortsClass[] = "PORTS";
constexpr char kPortsClassGuid[] = "{4D36E978-E325-11CE-BFC1-08002BE10318}";

bool SameIgnoringCase(const char* text, const char* expected) {
    return _mbsicmp(reinterpret_cast<const unsigned char*>(text),
                    reinterpret_cast<const unsigned char*>(expected)) == 0;
}

// True only when the value was read and fitted its buffer whole: a class name
// longer than the buffer is not the class it begins with.
bool ReadFixedText(HKEY key, const char* valueName, char* text, DWORD capacity) {
    DWORD length = capacity;
    if (RegQueryValueExA(key, valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(text),
                         &length) != ERROR_SUCCESS) {
        return false;
    }
    return TerminateText(text, capacity, length);
}

bool IsPortClass(HKEY instance) {
    char className[kClassLength];
    if (ReadFixedText(instance, "CLASS", className, sizeof className) &&
        SameIgnoringCase(className, kPortsClass)) {
        return true;
    }
    char classGuid[kClassGuidLength];
    return ReadFixedText(instance, "CLASSGUID", classGuid, sizeof classGuid) &&
           SameIgnoringCase(classGuid, kPortsClassGuid);
}

enum class InstanceName { Named, Skip, Failed, HeapRefused };

// The instance test: a port-class instance with a port name, on the instance
// key itself or on its "DEVICE PARAMETERS" subkey.
InstanceName ReadInstanceName(HKEY instance, CHeapBlock& portName) {
    if (!IsPortClass(instance)) {
        return InstanceName::Skip;
    }
    LSTATUS status = QueryValueGrow(instance, "PORTNAME", portName);
    if (status == ERROR_FILE_NOT_FOUND) {
        CRegistryKey parameters;
        if (parameters.Open(instance, "DEVICE PARAMETERS", KEY_READ) != ERROR_SUCCESS) {
            return InstanceName::Skip;
        }
        status = QueryValueGrow(parameters.Get(), "PORTNAME", portName);
        if (status == ERROR_FILE_NOT_FOUND) {
            return InstanceName::Skip;
        }
    }
    if (status == ERROR_SUCCESS) {
        return InstanceName::Named;
    }
    // QueryValueGrow leaves the block empty only when the heap refused it.
    return status == ERROR_NOT_ENOUGH_MEMORY && portName.Get() == nullptr
               ? InstanceName::HeapRefused
               : InstanceName::Failed;
}

// The port number of a name "COMn" in any letter case; 0 for anything else.
int PortNumberOf(const char* name) {
    if (_mbsnicmp(reinterpret_cast<const unsigned char*>(name),
                  reinterpret_cast<const unsigned char*>("COM"), 3) != 0) {
        return 0;
    }
    return ParsePortNumber(name + 3);
}

enum class Description { Read, Unreadable, HeapRefused };

// The first kDescriptionLength - 1 characters of "DeviceDesc".
Description ReadDescription(HKEY instance, char (&text)[kDescriptionLength]) {
    DWORD length = sizeof text;
    LSTATUS status = RegQueryValueExA(instance, "DeviceDesc", nullptr, nullptr,
                                      reinterpret_cast<BYTE*>(text), &length);
    if (status == ERROR_SUCCESS) {
        TerminateText(text, sizeof text, length);
        return Description::Read;
    }
    if (status != ERROR_MORE_DATA || length <= sizeof text || length == 0xFFFFFFFF) {
        return Description::Unreadable;
    }
    // After ERROR_MORE_DATA Windows leaves the buffer undefined, so the long
    // value is read again whole and cut here. It may have grown in between,
    // for as long as the registry asks for more room.
    CHeapBlock whole;
    DWORD capacity = 0;
    do {
        capacity = length + 1;
        if (!whole.Allocate(capacity)) {
            return Description::HeapRefused;
        }
        length = capacity;
        status = RegQueryValueExA(instance, "DeviceDesc", nullptr, nullptr,
                                  static_cast<BYTE*>(whole.Get()), &length);
    } while (status == ERROR_MORE_DATA && length > capacity && length != 0xFFFFFFFF);
    if (status != ERROR_SUCCESS) {
        return Description::Unreadable;
    }
    TerminateText(whole.Text(), capacity, length);
    std::strncpy(text, whole.Text(), sizeof text - 1);
    text[sizeof text - 1] = '\0';
    return Description::Read;
}

// Records port n with its description, or without one where it can't be read;
// false, and nothing recorded, when the heap refused the description's block.
bool RecordPort(HKEY instance, int n) {
    char description[kDescriptionLength];
    const Description read = ReadDescription(instance, description);
    if (read == Description::HeapRefused) {
        return false;
    }
    if (read == Description::Read) {
        FillFromDescription(n, description);
    } else {
        FillWithoutDescription(n);
    }
    return true;
}

}  // namespace

LSTATUS QueryValueGrow(HKEY key, const char* valueName, CHeapBlock& buffer) {
    DWORD length = kFirstLength;
    for (;;) {
        if (!buffer.Allocate(length)) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        DWORD returned = length;
        const LSTATUS status = RegQueryValueExA(key, valueName, nullptr, nullptr,
                                                static_cast<BYTE*>(buffer.Get()), &returned);
        if (status == ERROR_SUCCESS) {
            if (TerminateText(buffer.Text(), length, returned) || length == 0xFFFFFFFF) {
                return status;
            }
            // The value was stored without its NUL and fills the block to the
            // last byte: read it once more with room for the NUL.
            length += 1;
            continue;
        }
        // More data without a larger size would be asked for forever.
        if (status != ERROR_MORE_DATA || returned <= length) {
            return status;
        }
        length = returned;
    }
}

LSTATUS OpenSubkeyAt(HKEY parent, DWORD index, REGSAM access, CRegistryKey& outKey) {
    outKey.Close();
    CHeapBlock name;
    DWORD length = kFirstLength;
    for (;;) {
        if (!name.Allocate(length)) {
            return ERROR_NOT_ENOUGH_MEMORY;
        }
        DWORD returned = length;
        const LSTATUS status = RegEnumKeyExA(parent, index, name.Text(), &returned, nullptr,
                                             nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS) {
            TerminateText(name.Text(), length, returned);
            return outKey.Open(parent, name.Text(), access);
        }
        if (status != ERROR_MORE_DATA || returned >= kLongestNameBuffer / 2) {
            return status;
        }
        // Windows leaves the length as it was when the name doesn't fit, so
        // the buffer grows from its own size.
        const DWORD grown = 2 * returned + 2;
        if (grown <= length) {
            return status;
        }
        length = grown;
    }
}

int ScanDeviceTree(const char* rootPath) {
    CRegistryKey root;
    if (root.Open(HKEY_LOCAL_MACHINE, rootPath, KEY_ENUMERATE_SUB_KEYS) != ERROR_SUCCESS) {
        return 0;
    }
    CHeapBlock portName;
    CRegistryKey enumerator;
    CRegistryKey device;
    CRegistryKey instance;
    for (DWORD e = 0;; ++e) {
        LSTATUS status = OpenSubkeyAt(root.Get(), e, KEY_ENUMERATE_SUB_KEYS, enumerator);
        if (status == ERROR_NO_MORE_ITEMS) {
            return 1;
        }
        if (status != ERROR_SUCCESS) {
            return 0;
        }
        for (DWORD d = 0;; ++d) {
            status = OpenSubkeyAt(enumerator.Get(), d, KEY_ENUMERATE_SUB_KEYS, device);
            if (status == ERROR_NO_MORE_ITEMS) {
                break;
            }
            if (status != ERROR_SUCCESS) {
                return 0;
            }
            for (DWORD i = 0;; ++i) {
                status = OpenSubkeyAt(device.Get(), i, KEY_READ, instance);
                if (status == ERROR_NO_MORE_ITEMS) {
                    break;
                }
                if (status != ERROR_SUCCESS) {
                    return 0;
                }
                const InstanceName name = ReadInstanceName(instance.Get(), portName);
                if (name == InstanceName::Failed || name == InstanceName::HeapRefused) {
                    return 0;
                }
                const int n = name == InstanceName::Named ? PortNumberOf(portName.Text()) : 0;
                if (n != 0 && !RecordPort(instance.Get(), n)) {
                    FillWithoutDescription(n);
                }
            }
        }
    }
}

int ReadDeviceInstance(const char* instancePath) {
    CRegistryKey instance;
    if (instance.Open(HKEY_LOCAL_MACHINE, instancePath, KEY_READ) != ERROR_SUCCESS) {
        return 0;
    }
    CHeapBlock portName;
    const InstanceName name = ReadInstanceName(instance.Get(), portName);
    if (name == InstanceName::HeapRefused) {
        AfxThrowMemoryException();
    }
    if (name != InstanceName::Named) {
        return 0;
    }
    const int n = PortNumberOf(portName.Text());
    if (n != 0 && portTable.slots[n - 1].kind == Absent && !RecordPort(instance.Get(), n)) {
        AfxThrowMemoryException();
    }
    return 1;
}
