// Comparable, printable views of the port table's slots, and a fixture that
// starts each test on a fresh machine and table, for the tests of the passes
// that fill it.
#pragma once

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "inventory/port_table.h"
#include "sim/control.h"

// The device path a reset table writes into slot `n`'s texts.
inline std::string ResetText(int n) {
    return "\\\\.\\COM" + std::to_string(n);
}

struct SlotView {
    int kind;
    std::string displayName;
    std::string description;
    bool operator==(const SlotView& other) const {
        return kind == other.kind && displayName == other.displayName &&
               description == other.description;
    }
};

inline SlotView Slot(int n) {
    const PortRecord& slot = portTable.slots[n - 1];
    return SlotView{slot.kind, slot.displayName, slot.description};
}

inline std::vector<SlotView> Table() {
    std::vector<SlotView> table;
    for (int n = 1; n <= kPortCount; ++n) {
        table.push_back(Slot(n));
    }
    return table;
}

inline void PrintTo(const SlotView& slot, std::ostream* out) {
    *out << "{" << slot.kind << ", '" << slot.displayName << "', '" << slot.description << "'}";
}

// A fresh machine and port table; after each test no key is left open and no
// block allocated.
class PortPassTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::ResetMachine();
        ResetPortTable();
    }
    void TearDown() override {
        EXPECT_EQ(sim::OpenKeyCount(), 0);
        EXPECT_EQ(sim::LiveAllocations(), 0);
    }
};
