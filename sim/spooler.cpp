// The simulated print spooler's port list, fed from a profile's [@spooler]
// section: one "PORT:"="description" line per local port, in that order.
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "internal.h"
#include "sim/control.h"

namespace {

using sim::internal::ParseQuoted;
using sim::internal::Trimmed;

constexpr char kLocalMonitor[] = "Local Monitor";

struct Port {
    std::string name;
    std::string description;
};

struct Spooler {
    std::vector<Port> ports;
    bool reportsNothingNeeded = false;  // needed=0
    bool laterListingsEmpty = false;    // second=empty
    unsigned calls = 0;
};

Spooler& TheSpooler() {
    static Spooler spooler;
    return spooler;
}

bool ApplyPortLine(const std::string& text, std::string* message) {
    Port port;
    size_t pos = 0;
    if (!ParseQuoted(text, &pos, &port.name, nullptr)) {
        *message = "bad quoted port name";
        return false;
    }
    std::string rest = Trimmed(text.substr(pos));
    if (rest.empty() || rest[0] != '=') {
        *message = "missing '=' after the port name";
        return false;
    }
    rest = Trimmed(rest.substr(1));
    pos = 0;
    if (rest.empty() || rest[0] != '"' || !ParseQuoted(rest, &pos, &port.description, nullptr) ||
        pos != rest.size()) {
        *message = "expected a quoted description after '='";
        return false;
    }
    TheSpooler().ports.push_back(std::move(port));
    return true;
}

bool ApplySetting(const std::string& text, std::string* message) {
    size_t equals = text.find('=');
    std::string key = Trimmed(text.substr(0, equals));
    std::string value = equals == std::string::npos ? "" : Trimmed(text.substr(equals + 1));
    if (key == "needed" && value == "0") {
        TheSpooler().reportsNothingNeeded = true;
        return true;
    }
    if (key == "second" && value == "empty") {
        TheSpooler().laterListingsEmpty = true;
        return true;
    }
    *message = "unknown spooler setting '" + text +
               "' (expected \"PORT\"=\"description\", needed=0 or second=empty)";
    return false;
}

DWORD BytesNeeded(const std::vector<Port>& ports) {
    size_t bytes = ports.size() * sizeof(PORT_INFO_2A);
    for (const Port& port : ports) {
        bytes += port.name.size() + 1 + sizeof kLocalMonitor + port.description.size() + 1;
    }
    return static_cast<DWORD>(bytes);
}

// Copies `text` to `*next` and moves `*next` past its terminator.
LPSTR Place(const std::string& text, BYTE** next) {
    LPSTR placed = reinterpret_cast<LPSTR>(*next);
    std::memcpy(placed, text.c_str(), text.size() + 1);
    *next += text.size() + 1;
    return placed;
}

// The records first, then their texts in record order, as Wine lays them out.
void Fill(const std::vector<Port>& ports, BYTE* buffer) {
    BYTE* next = buffer + ports.size() * sizeof(PORT_INFO_2A);
    for (size_t i = 0; i < ports.size(); ++i) {
        PORT_INFO_2A record{};
        record.pPortName = Place(ports[i].name, &next);
        record.pMonitorName = Place(kLocalMonitor, &next);
        record.pDescription = Place(ports[i].description, &next);
        record.fPortType = PORT_TYPE_WRITE;
        record.Reserved = 0;
        std::memcpy(buffer + i * sizeof record, &record, sizeof record);
    }
}

}  // namespace

namespace sim::internal {

void ResetSpooler() {
    TheSpooler() = Spooler();
}

bool ApplySpoolerLine(const std::string& text, std::string* message) {
    if (!text.empty() && text[0] == '"') {
        return ApplyPortLine(text, message);
    }
    return ApplySetting(text, message);
}

}  // namespace sim::internal

BOOL EnumPortsA(LPSTR serverName, DWORD level, LPBYTE ports, DWORD bufferSize, LPDWORD needed,
                LPDWORD returned) {
    DWORD status = 0;
    if (sim::internal::CallFails("EnumPortsA", &status)) {
        SetLastError(status);
        return FALSE;
    }
    Spooler& spooler = TheSpooler();
    ++spooler.calls;
    if (serverName != nullptr && serverName[0] != 0) {
        SetLastError(ERROR_INVALID_NAME);
        return FALSE;
    }
    // Level 1 exists on Windows but is not modelled.
    if (level == 1) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return FALSE;
    }
    if (level != 2) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    if (needed == nullptr || returned == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *returned = 0;
    if (spooler.reportsNothingNeeded || (spooler.laterListingsEmpty && spooler.calls > 1)) {
        *needed = 0;
        return TRUE;
    }
    *needed = BytesNeeded(spooler.ports);
    // Wine answers a missing buffer with any size this way too.
    if (*needed > 0 && (ports == nullptr || bufferSize < *needed)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    if (ports != nullptr) {
        Fill(spooler.ports, ports);
    }
    *returned = static_cast<DWORD>(spooler.ports.size());
    return TRUE;
}
