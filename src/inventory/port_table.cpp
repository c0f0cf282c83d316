// The port table and its classification rules.
#include "inventory/port_table.h"

#include <cstdio>
#include <cstring>

#include "framework/exceptions.h"
#include "platform/platform.h"
#include "support/heap_block.h"

PortTable portTable;

namespace {

// Copies at most N - 1 characters and pads with NULs, so the field always
// ends in a NUL and a longer text is cut.
template <std::size_t N>
void CopyField(char (&field)[N], const char* text) {
    std::size_t length = 0;
    while (length < N - 1 && text[length] != '\0') {
        ++length;
    }
    std::memmove(field, text, length);
    std::memset(field + length, 0, N - length);
}

// The display format of each kind, with the port number.
const char* DisplayFormat(PortKind kind) {
    switch (kind) {
        case Bluetooth:
            return "(COM%d) Bluetooth Serial Port";
        case Infrared:
            return "(COM%d) Infrared Serial Port";
        case Usb:
            return "(COM%d) USB Serial Port";
        default:
            return "(COM%d) Serial Port";
    }
}

bool ValidPort(int n) {
    return n >= 1 && n <= kPortCount;
}

// The white space that atoi skips in the C locale.
bool IsAtoiSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

PortKind ClassifyUpper(const char* upper) {
    const std::size_t length = std::strlen(upper);
    if (std::strstr(upper, "BLUETOOTH") != nullptr || std::strstr(upper, " BT ") != nullptr) {
        return Bluetooth;
    }
    if (length >= 3 &&
        (std::memcmp(upper, "BT ", 3) == 0 || std::memcmp(upper + length - 3, " BT", 3) == 0)) {
        return Bluetooth;
    }
    if (std::strstr(upper, "USB") != nullptr) {
        return Usb;
    }
    if (std::strstr(upper, "INFRA") != nullptr) {
        return Infrared;
    }
    return General;
}

}  // namespace

void ResetPortTable() {
    for (int n = 1; n <= kPortCount; ++n) {
        PortRecord& slot = portTable.slots[n - 1];
        char path[32];
        std::snprintf(path, sizeof path, "\\\\.\\COM%d", n);
        CopyField(slot.devicePath, path);
        CopyField(slot.displayName, slot.devicePath);
        CopyField(slot.description, slot.devicePath);
        slot.kind = Absent;
        slot.available = 1;
    }
}

// Reads the number as the runtime's atoi does (leading white space, one sign,
// digits up to the first non-digit) but stops as soon as the digits pass the
// highest port: atoi's result for a number beyond an int is whatever the C
// runtime makes of it, and such a name must not land in a low slot.
int ParsePortNumber(const char* text) {
    if (text == nullptr) {
        return 0;
    }
    while (IsAtoiSpace(*text)) {
        ++text;
    }
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+') {
        ++text;
    }
    int n = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        n = n * 10 + (*text - '0');
        if (n > kPortCount) {
            return 0;
        }
    }
    if (negative && n != 0) {
        return 0;
    }
    return ValidPort(n) ? n : 0;
}

PortKind ClassifyDescription(const char* description) {
    if (description == nullptr) {
        return General;
    }
    // The tests run on an upper-case copy; the caller's text keeps its case.
    const std::size_t length = std::strlen(description);
    unsigned char local[256];
    CHeapBlock large;
    unsigned char* upper = local;
    if (length >= sizeof local) {
        if (!large.Allocate(length + 1)) {
            AfxThrowMemoryException();
        }
        upper = static_cast<unsigned char*>(large.Get());
    }
    std::memcpy(upper, description, length + 1);
    _mbsupr(upper);
    return ClassifyUpper(reinterpret_cast<const char*>(upper));
}

void FillFromDescription(int n, const char* description) {
    if (!ValidPort(n) || description == nullptr) {
        return;
    }
    PortRecord& slot = portTable.slots[n - 1];
    CopyField(slot.description, description);
    const PortKind kind = ClassifyDescription(description);
    slot.kind = kind;
    char label[64];
    std::snprintf(label, sizeof label, DisplayFormat(kind), n);
    CopyField(slot.displayName, label);
}

void FillWithoutDescription(int n) {
    if (!ValidPort(n)) {
        return;
    }
    PortRecord& slot = portTable.slots[n - 1];
    slot.kind = General;
    char label[64];
    std::snprintf(label, sizeof label, DisplayFormat(General), n);
    CopyField(slot.displayName, label);
}

void SetDisplayName(int n, const char* text) {
    if (ValidPort(n) && text != nullptr) {
        CopyField(portTable.slots[n - 1].displayName, text);
    }
}

const char* ReportName(uint8_t kind) {
    switch (kind) {
        case General:
            return "General";
        case Bluetooth:
            return "Bluetooth";
        case Infrared:
            return "IR";
        case Usb:
            return "USB";
        default:
            return "";
    }
}
