// The spooler port pass: the print spooler's local ports named "COMn", each
// recorded with the description the spooler gives it; the registry walk of
// ENUM when the spooler is missing, has nothing to list or no buffer can be
// had.
#include "inventory/spooler_ports.h"

#include <cstdint>
#include <cstring>

#include "inventory/device_tree.h"
#include "inventory/port_table.h"
#include "platform/platform.h"
#include "support/block_pool.h"
#include "support/system_functions.h"
#include "support/system_library.h"

namespace {

constexpr DWORD kPortInfoLevel = 2;
constexpr DWORD kBufferSlack = 16;
constexpr DWORD kLargestSize = 0xFFFFFFFF;
constexpr char kEnumRoot[] = "ENUM";

// A block from the pool, given back when its holder leaves scope.
class CPoolBlock {
public:
    CPoolBlock(CBlockPool& pool, DWORD bytes) : pool_(pool), block_(pool.PoolAlloc(bytes)) {}
    ~CPoolBlock() { pool_.PoolFree(block_); }
    CPoolBlock(const CPoolBlock&) = delete;
    CPoolBlock& operator=(const CPoolBlock&) = delete;

    BYTE* Get() const { return static_cast<BYTE*>(block_); }

private:
    CBlockPool& pool_;
    void* block_;
};

// The spooler places every text inside the buffer it was given; a pointer
// elsewhere is not trusted. The zeroed slack behind the buffer ends a text
// that runs up to the buffer's end without a terminator.
const char* TextInside(const char* text, const BYTE* buffer, DWORD size) {
    const auto at = reinterpret_cast<std::uintptr_t>(text);
    const auto start = reinterpret_cast<std::uintptr_t>(buffer);
    if (text == nullptr || at < start || at - start >= size) {
        return nullptr;
    }
    return text;
}

void RecordPort(const PORT_INFO_2A& port, const BYTE* buffer, DWORD size) {
    const char* name = TextInside(port.pPortName, buffer, size);
    if (name == nullptr || std::strncmp(name, "COM", 3) != 0) {
        return;
    }
    const int number = ParsePortNumber(name + 3);
    const char* description = TextInside(port.pDescription, buffer, size);
    if (number != 0) {
        FillFromDescription(number, description != nullptr ? description : "");
    }
}

}  // namespace

int ScanSpoolerPorts() {
    // The exe does not import winspool.drv: it is no known DLL, so Windows
    // would take a copy from the exe's own folder first. Without the DLL or
    // its function, the spooler has no ports to report.
    const CSystemLibrary spooler("winspool.drv");
    EnumPortsAFunction enumPorts = nullptr;
    if (!spooler.Find("EnumPortsA", &enumPorts)) {
        return ScanDeviceTree(kEnumRoot);
    }
    DWORD needed = 0;
    DWORD returned = 0;
    enumPorts(nullptr, kPortInfoLevel, nullptr, 0, &needed, &returned);
    if (needed == 0) {
        return ScanDeviceTree(kEnumRoot);
    }
    // A size so close to 4 GB that the slack would wrap is refused, as the
    // pool refuses any size it cannot add its own header to.
    if (needed > kLargestSize - kBufferSlack) {
        return ScanDeviceTree(kEnumRoot);
    }
    CPoolBlock buffer(ThePool(), needed + kBufferSlack);
    if (buffer.Get() == nullptr) {
        return ScanDeviceTree(kEnumRoot);
    }
    // A reused pool block still holds old bytes; records the spooler claims
    // but does not write must read as empty, and texts must end in the slack.
    std::memset(buffer.Get(), 0, needed + kBufferSlack);
    const DWORD bufferSize = needed;
    enumPorts(nullptr, kPortInfoLevel, buffer.Get(), bufferSize, &needed, &returned);
    // Only the records that fit in the buffer are read, whatever count the
    // spooler claims. Pool blocks need not be aligned, so each record is
    // copied out before use.
    const DWORD fitting = bufferSize / sizeof(PORT_INFO_2A);
    for (DWORD i = 0; i < returned && i < fitting; ++i) {
        PORT_INFO_2A port;
        std::memcpy(&port, buffer.Get() + i * sizeof port, sizeof port);
        RecordPort(port, buffer.Get(), bufferSize);
    }
    return 1;
}
