// The Setup-API pass: the present devices exposing the COM-port interface
// class or the ports class, each read back through its device instance key,
// then the SERIALCOMM map; or the full device registry walk when setupapi.dll
// or a set could not be had.
#include "inventory/interface_classes.h"

#include <cstring>
#include <initializer_list>

#include "framework/cstring.h"
#include "framework/exceptions.h"
#include "inventory/device_tree.h"
#include "inventory/serial_comm_map.h"
#include "platform/platform.h"
#include "support/heap_block.h"
#include "support/setupapi_library.h"

namespace {

// {86E0D1E0-8089-11D0-9CE4-08003E301F73}: the COM-port device interface class.
const GUID kComPortInterface = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
// {4D36E978-E325-11CE-BFC1-08002BE10318}: the ports setup class, which some
// serial drivers also register as an interface class.
const GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

constexpr DWORD kPresentInterfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;
constexpr DWORD kDetailBufferSize = 261;
constexpr char kEnumRoot[] = "SYSTEM\\CURRENTCONTROLSET\\ENUM";
// The device path starts with '\\?\'; dropping three characters leaves the
// backslash that joins it to the ENUM root.
constexpr std::size_t kDroppedPrefix = 3;

// The detail record's size field must hold the size of its fixed part, which
// the headers pack to 5 bytes on 32-bit Windows and to 8 on 64-bit Windows.
constexpr DWORD kDetailRecordSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
constexpr std::size_t kDevicePathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
static_assert(sizeof(void*) != 4 || kDetailRecordSize == 5, "32-bit detail record is packed");
static_assert(sizeof(void*) != 4 || sizeof(SP_DEVICE_INTERFACE_DATA) == 28, "interface record");
static_assert(sizeof(void*) != 4 || sizeof(SP_DEVINFO_DATA) == 28, "device record");

// Raised when a class's device-information set can't be obtained.
class CInterfaceSetException : public CException {};

// A device-information set, destroyed when its holder leaves scope.
class CDeviceInfoSet {
public:
    CDeviceInfoSet(const SetupApiFunctions& setupApi, HDEVINFO set)
        : setupApi_(setupApi), set_(set) {}
    ~CDeviceInfoSet() {
        if (IsValid()) {
            setupApi_.destroyDeviceInfoList(set_);
        }
    }
    CDeviceInfoSet(const CDeviceInfoSet&) = delete;
    CDeviceInfoSet& operator=(const CDeviceInfoSet&) = delete;

    bool IsValid() const { return set_ != INVALID_HANDLE_VALUE && set_ != nullptr; }
    HDEVINFO Get() const { return set_; }

private:
    const SetupApiFunctions& setupApi_;
    HDEVINFO set_;
};

// Reads the device instance behind every present interface of the class, in
// member order, until the enumeration or a detail query fails.
void EnumerateInterfaceClass(const SetupApiFunctions& setupApi, const GUID& interfaceClass) {
    CDeviceInfoSet set(
        setupApi, setupApi.getClassDevs(&interfaceClass, nullptr, nullptr, kPresentInterfaces));
    if (!set.IsValid()) {
        throw CInterfaceSetException();
    }
    CHeapBlock buffer;
    if (!buffer.Allocate(kDetailBufferSize)) {
        AfxThrowMemoryException();
    }
    auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.Get());
    detail->cbSize = kDetailRecordSize;
    for (DWORD index = 0;; ++index) {
        SP_DEVICE_INTERFACE_DATA interfaceData = {};
        interfaceData.cbSize = sizeof interfaceData;
        if (!setupApi.enumDeviceInterfaces(set.Get(), nullptr, &interfaceClass, index,
                                           &interfaceData)) {
            break;
        }
        SP_DEVINFO_DATA device = {};
        device.cbSize = sizeof device;
        if (!setupApi.getDeviceInterfaceDetail(set.Get(), &interfaceData, detail, kDetailBufferSize,
                                               nullptr, &device)) {
            break;
        }
        CString instancePath;
        if (InstancePathFromDevicePath(detail->DevicePath, kDetailBufferSize - kDevicePathOffset,
                                       instancePath)) {
            ReadDeviceInstance(instancePath);
        }
    }
}

// Both classes, with setupapi.dll loaded for their enumeration alone. False
// when the DLL or one of its functions is missing or either enumeration was
// abandoned.
bool EnumerateInterfaceClasses() {
    const CSetupApiLibrary library;
    const SetupApiFunctions* setupApi = library.Functions();
    if (setupApi == nullptr) {
        return false;
    }
    bool allSetsObtained = true;
    for (const GUID* interfaceClass : {&kComPortInterface, &kPortsClass}) {
        // A set that can't be had and memory running out while a class is
        // enumerated both end only that class's enumeration.
        try {
            EnumerateInterfaceClass(*setupApi, *interfaceClass);
        } catch (const CInterfaceSetException&) {
            allSetsObtained = false;
        } catch (const CMemoryException&) {
            allSetsObtained = false;
        }
    }
    return allSetsObtained;
}

}  // namespace

bool InstancePathFromDevicePath(const char* devicePath, std::size_t capacity,
                                CString& instancePath) {
    const void* end = std::memchr(devicePath, '\0', capacity);
    if (end == nullptr) {
        return false;
    }
    const std::size_t length = static_cast<std::size_t>(static_cast<const char*>(end) - devicePath);
    if (length < kDroppedPrefix) {
        return false;
    }
    CHeapBlock converted;
    if (!converted.Allocate(length - kDroppedPrefix + 1)) {
        AfxThrowMemoryException();
    }
    char* text = converted.Text();
    std::memcpy(text, devicePath + kDroppedPrefix, length - kDroppedPrefix + 1);
    char* lastHash = std::strrchr(text, '#');
    if (lastHash != nullptr && lastHash != text) {
        *lastHash = '\0';
    }
    for (char* c = text; *c != '\0'; ++c) {
        if (*c == '#') {
            *c = '\\';
        }
    }
    instancePath = kEnumRoot;
    instancePath += text;
    return true;
}

int ScanInterfaceClasses() {
    if (EnumerateInterfaceClasses()) {
        ScanSerialCommMap();
        return 1;
    }
    return ScanDeviceTree(kEnumRoot);
}
