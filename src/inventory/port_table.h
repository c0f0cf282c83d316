// The inventory of the 80 possible serial ports COM1 to COM80: one record per
// port, the rules that turn a port name into a slot and a device description
// into a port kind, and the labels shown in the report.
#pragma once

#include <cstdint>

enum PortKind : uint8_t {
    General = 0,
    Bluetooth = 1,
    Infrared = 2,
    Usb = 3,
    Absent = 0xFF,
};

struct PortRecord {
    uint8_t kind;
    int32_t available;
    char devicePath[12];
    char displayName[41];
    char description[129];
};

constexpr int kPortCount = 80;

struct PortTable {
    PortRecord slots[kPortCount];
};

// The process-wide table; slot i stands for port COM(i + 1).
extern PortTable portTable;

// Every slot back to absent, with its device path "\\.\COMn".
void ResetPortTable();

// The number in the text that follows a "COM" prefix, read as the runtime's
// atoi reads it; 0 when it isn't a port from 1 to 80, including numbers too
// large for an int.
int ParsePortNumber(const char* text);

PortKind ClassifyDescription(const char* description);

// Records port `n` (1 to 80) with the kind and label its description gives.
void FillFromDescription(int n, const char* description);
// Records port `n` (1 to 80) as a serial port whose description is unknown.
void FillWithoutDescription(int n);

// Stores `text` into slot n - 1's display name, cut to 40 characters.
void SetDisplayName(int n, const char* text);

// The name of a kind in the report ("General", "Bluetooth", "IR", "USB"); ""
// for anything else.
const char* ReportName(uint8_t kind);
