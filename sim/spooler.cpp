// The simulated print spooler's port list, fed from a profile's [@spooler]
// section: one "PORT:"="description" line per local port, in that order, and
// the lies a spooler may tell about it; and winspool.drv, which exports it.
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
constexpr char kSpoolerDllName[] = "winspool.drv";

using Port = sim::SpoolerPort;

struct Spooler {
    std::vector<Port> ports;
    sim::SpoolerLies lies;
    bool laterListingsEmpty = false;  // second=empty
    unsigned calls = 0;
};

Spooler& TheSpooler() {
    static Spooler spooler;
    return spooler;
}

// "NAME"="description", or null="description" for a port without a name.
bool ParsePortLine(const std::string& text, Port* port, std::string* message) {
    size_t pos = 0;
    if (text.compare(0, 4, "null") == 0) {
        port->nullName = true;
        pos = 4;
    } else if (!ParseQuoted(text, &pos, &port->name, nullptr)) {
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
    if (rest.empty() || rest[0] != '"' || !ParseQuoted(rest, &pos, &port->description, nullptr) ||
        pos != rest.size()) {
        *message = "expected a quoted description after '='";
        return false;
    }
    return true;
}

bool ParseCount(const std::string& digits, DWORD* value) {
    if (digits.empty() || digits.size() > 10 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    const unsigned long long parsed = std::stoull(digits);
    if (parsed > 0xFFFFFFFFull) {
        return false;
    }
    *value = static_cast<DWORD>(parsed);
    return true;
}

bool ApplySetting(const std::string& text, std::string* message) {
    size_t equals = text.find('=');
    std::string key = Trimmed(text.substr(0, equals));
    std::string value = equals == std::string::npos ? "" : Trimmed(text.substr(equals + 1));
    sim::SpoolerLies& lies = TheSpooler().lies;
    if (key == "needed" && ParseCount(value, &lies.claimedNeeded)) {
        lies.claimsNeeded = true;
        return true;
    }
    // returned=+N: N records more than the listing holds; returned=-N: N
    // fewer, as the count wraps around like the DWORD it is.
    if (key == "returned" && value.size() > 1 && (value[0] == '+' || value[0] == '-') &&
        ParseCount(value.substr(1), &lies.extraCount)) {
        if (value[0] == '-') {
            lies.extraCount = 0u - lies.extraCount;
        }
        return true;
    }
    if (key == "second" && value == "empty") {
        TheSpooler().laterListingsEmpty = true;
        return true;
    }
    if (key == "unterminated" && value == "last") {
        lies.lastNameUnterminated = true;
        return true;
    }
    if (key == "dll" || key == "missing") {
        return sim::internal::ApplyDllSetting(kSpoolerDllName, key, value, message);
    }
    *message = "unknown spooler setting '" + text +
               "' (expected \"PORT\"=\"description\", null=\"description\", +\"PORT\"=..., "
               "needed=N, returned=+N or -N, second=empty, unterminated=last, dll=missing or "
               "missing=\"EnumPortsA\")";
    return false;
}

// The ports a listing shows: from the second listing on, the late ones too.
std::vector<Port> Listing(const Spooler& spooler) {
    std::vector<Port> listing = spooler.ports;
    if (spooler.calls > 1) {
        const auto& later = spooler.lies.portsFromSecondListing;
        listing.insert(listing.end(), later.begin(), later.end());
    }
    return listing;
}

bool CutsLastName(const std::vector<Port>& ports) {
    return TheSpooler().lies.lastNameUnterminated && !ports.empty() && !ports.back().nullName;
}

DWORD BytesNeeded(const std::vector<Port>& ports) {
    size_t bytes = ports.size() * sizeof(PORT_INFO_2A);
    for (const Port& port : ports) {
        bytes += (port.nullName ? 0 : port.name.size() + 1) + sizeof kLocalMonitor +
                 port.description.size() + 1;
    }
    return static_cast<DWORD>(bytes - (CutsLastName(ports) ? 1 : 0));
}

// Copies `text` to `*next`, with its terminator unless told otherwise, and
// moves `*next` past what it wrote.
LPSTR Place(const std::string& text, BYTE** next, bool terminated = true) {
    LPSTR placed = reinterpret_cast<LPSTR>(*next);
    const size_t bytes = text.size() + (terminated ? 1 : 0);
    std::memcpy(placed, text.c_str(), bytes);
    *next += bytes;
    return placed;
}

// The records first, then their texts in record order, as Wine lays them out.
// A last name left unterminated goes after its record's other texts, so that
// it runs to the end of the listing.
void Fill(const std::vector<Port>& ports, BYTE* buffer) {
    BYTE* next = buffer + ports.size() * sizeof(PORT_INFO_2A);
    const bool cutLast = CutsLastName(ports);
    for (size_t i = 0; i < ports.size(); ++i) {
        const bool nameLast = cutLast && i + 1 == ports.size();
        PORT_INFO_2A record{};
        if (!ports[i].nullName && !nameLast) {
            record.pPortName = Place(ports[i].name, &next);
        }
        record.pMonitorName = Place(kLocalMonitor, &next);
        record.pDescription = Place(ports[i].description, &next);
        if (nameLast) {
            record.pPortName = Place(ports[i].name, &next, false);
        }
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
    const bool late = !text.empty() && text[0] == '+';
    const std::string line = late ? text.substr(1) : text;
    if (late || (!line.empty() && line[0] == '"') || line.compare(0, 5, "null=") == 0) {
        Port port;
        if (!ParsePortLine(line, &port, message)) {
            return false;
        }
        auto& list = late ? TheSpooler().lies.portsFromSecondListing : TheSpooler().ports;
        list.push_back(std::move(port));
        return true;
    }
    return ApplySetting(text, message);
}

}  // namespace sim::internal

namespace sim {

void AddSpoolerPort(const SpoolerPort& port) {
    TheSpooler().ports.push_back(port);
}

void SetSpoolerLies(const SpoolerLies& lies) {
    TheSpooler().lies = lies;
}

}  // namespace sim

BOOL EnumPortsA(LPSTR serverName, DWORD level, LPBYTE ports, DWORD bufferSize, LPDWORD needed,
                LPDWORD returned) {
    DWORD status = 0;
    if (sim::internal::CallFails("EnumPortsA", &status)) {
        SetLastError(status);
        return FALSE;
    }
    sim::internal::NoteCallInto(kSpoolerDllName);
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
    const std::vector<Port> listing =
        spooler.laterListingsEmpty && spooler.calls > 1 ? std::vector<Port>() : Listing(spooler);
    const DWORD actual = BytesNeeded(listing);
    *needed = spooler.lies.claimsNeeded ? spooler.lies.claimedNeeded : actual;
    if (*needed == 0) {
        return TRUE;
    }
    // Wine answers a missing buffer with any size this way too.
    if (ports == nullptr || bufferSize < *needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    // A spooler that claimed more than it has lists what fits, or nothing.
    const bool fits = actual <= bufferSize;
    if (fits) {
        Fill(listing, ports);
    }
    *returned = (fits ? static_cast<DWORD>(listing.size()) : 0) + spooler.lies.extraCount;
    return TRUE;
}

namespace {

[[maybe_unused]] const bool spoolerRegistered = [] {
    sim::internal::RegisterDll(kSpoolerDllName, 0x73000000,
                               {{"EnumPortsA", reinterpret_cast<void (*)()>(&EnumPortsA)}});
    return true;
}();

}  // namespace
