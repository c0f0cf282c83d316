// The spooler port pass on simulated Windows 9x machines: which spooler ports
// it records and how, its fallback to the registry walk of ENUM, and that its
// pool block goes back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "machine_fixture.h"
#include "inventory/port_table.h"
#include "inventory/spooler_ports.h"
#include "sim/control.h"
#include "support/block_pool.h"

namespace {

const PortRecord& Slot(int n) {
    return portTable.slots[n - 1];
}

// Bytes of the process pool handed out and not given back.
DWORD PoolBytesInUse() {
    DWORD usable = 0;
    for (const PoolChunk* chunk = ThePool().FirstChunk(); chunk != nullptr;
         chunk = chunk->nextChunk) {
        usable += chunk->chunkSize - CBlockPool::kChunkHeader;
    }
    DWORD free = 0;
    for (const PoolBlock* block = ThePool().FirstFreeBlock(); block != nullptr;
         block = CBlockPool::NextFree(block)) {
        free += CBlockPool::BlockSize(block);
    }
    return usable - free;
}

class SpoolerPassTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The pool's chunks live in the simulated global memory, so the pool
        // lets go of them before the machine is reset.
        ThePool().PoolReset();
        sim::ResetMachine();
        ResetPortTable();
        // A Windows 9x device tree with one port the spooler does not list.
        Load(
            "[HKEY_LOCAL_MACHINE\\Enum\\BIOS\\*PNP0501\\0D]\n"
            "\"Class\"=\"Ports\"\n"
            "\"PortName\"=\"COM9\"\n"
            "\"DeviceDesc\"=\"Enum Port\"\n");
    }
    void TearDown() override {
        ThePool().PoolReset();
        sim::ResetMachine();
    }

    static void Spooler(const std::string& lines) { Load("[@spooler]\n" + lines); }

    static int Scan() {
        const int result = ScanSpoolerPorts();
        EXPECT_EQ(0u, PoolBytesInUse());
        EXPECT_EQ(0, sim::OpenKeyCount());
        EXPECT_EQ(0, sim::LiveAllocations());
        return result;
    }
};

// Listings ------------------------------------------------------------------------

TEST_F(SpoolerPassTest, RecordsComPortsWithTheirDescriptionsAndIgnoresOthers) {
    Spooler(
        "\"COM1:\"=\"Communications Port\"\n"
        "\"COM2:\"=\"Communications Port\"\n"
        "\"LPT1:\"=\"Local Port\"\n"
        "\"FILE:\"=\"Local Port\"\n");
    EXPECT_EQ(1, Scan());
    EXPECT_EQ(General, Slot(1).kind);
    EXPECT_STREQ("(COM1) Serial Port", Slot(1).displayName);
    EXPECT_STREQ("Communications Port", Slot(1).description);
    EXPECT_EQ(General, Slot(2).kind);
    EXPECT_STREQ("(COM2) Serial Port", Slot(2).displayName);
    int recorded = 0;
    for (const PortRecord& slot : portTable.slots) {
        recorded += slot.kind != Absent;
    }
    EXPECT_EQ(2, recorded);
    // No fallback: the device tree's port stays unknown.
    EXPECT_EQ(Absent, Slot(9).kind);
}

TEST_F(SpoolerPassTest, ClassifiesByDescription) {
    Spooler(
        "\"COM5:\"=\"Bluetooth Serial Link\"\n"
        "\"COM6:\"=\"USB Serial Port\"\n"
        "\"COM7:\"=\"Infrared Port\"\n");
    EXPECT_EQ(1, Scan());
    EXPECT_EQ(Bluetooth, Slot(5).kind);
    EXPECT_STREQ("(COM5) Bluetooth Serial Port", Slot(5).displayName);
    EXPECT_EQ(Usb, Slot(6).kind);
    EXPECT_EQ(Infrared, Slot(7).kind);
}

TEST_F(SpoolerPassTest, PrefixIsCaseSensitiveAndNumbersMustBeInRange) {
    Spooler(
        "\"com6:\"=\"Communications Port\"\n"
        "\"Com3:\"=\"Communications Port\"\n"
        "\"COM81:\"=\"Communications Port\"\n"
        "\"COM0:\"=\"Communications Port\"\n"
        "\"COM80:\"=\"Communications Port\"\n");
    EXPECT_EQ(1, Scan());
    EXPECT_EQ(Absent, Slot(6).kind);
    EXPECT_EQ(Absent, Slot(3).kind);
    EXPECT_EQ(General, Slot(80).kind);
}

TEST_F(SpoolerPassTest, OverwritesWhatTheSlotHeld) {
    FillFromDescription(4, "USB Serial Port");
    Spooler(
        "\"COM4:\"=\"Communications Port\"\n"
        "\"COM4:\"=\"Infrared Port\"\n");
    EXPECT_EQ(1, Scan());
    EXPECT_EQ(Infrared, Slot(4).kind);
    EXPECT_STREQ("Infrared Port", Slot(4).description);
}

TEST_F(SpoolerPassTest, LongDescriptionIsCutTo128Characters) {
    const std::string description(200, 'd');
    Spooler("\"COM2:\"=\"" + description + "\"\n");
    EXPECT_EQ(1, Scan());
    EXPECT_EQ(description.substr(0, 128), Slot(2).description);
}

TEST_F(SpoolerPassTest, AsksTheSpoolerTwice) {
    Spooler("\"COM1:\"=\"Communications Port\"\n");
    Scan();
    EXPECT_EQ(2u, sim::ApiCallCount("EnumPortsA"));
    EXPECT_EQ(0u, sim::ApiCallCount("RegOpenKeyExA"));
}

// Fallbacks -----------------------------------------------------------------------

TEST_F(SpoolerPassTest, NothingNeededWalksEnum) {
    Spooler("\"COM1:\"=\"Communications Port\"\nneeded=0\n");
    EXPECT_EQ(1, Scan());
    EXPECT_EQ(Absent, Slot(1).kind);
    EXPECT_EQ(General, Slot(9).kind);
    EXPECT_STREQ("Enum Port", Slot(9).description);
    EXPECT_EQ(1u, sim::ApiCallCount("EnumPortsA"));
}

TEST_F(SpoolerPassTest, SpoolerWithoutPortsWalksEnum) {
    EXPECT_EQ(1, Scan());
    EXPECT_EQ(General, Slot(9).kind);
}

// winspool.drv comes from the system directory alone, bound at run time;
// without it, or without EnumPortsA, or when it cannot be loaded, the spooler
// has no ports and the pass walks ENUM. Whatever was loaded is freed.
TEST_F(SpoolerPassTest, WithoutTheSpoolersDllThePassWalksEnum) {
    struct Row {
        const char* what;
        std::string spoolerLines;
        const char* failingCall;  // fails the first time it is called
        bool listed;              // the spooler's COM1 is recorded, not ENUM's COM9
        const char* planted = "";
        const char* plantedImportedBy = "";
        std::string systemDirectory = "";
    };
    const std::string kListing = "\"COM1:\"=\"Communications Port\"\n";
    const Row rows[] = {
        {"winspool.drv there", kListing, nullptr, true},
        {"no winspool.drv", kListing + "dll=missing\n", nullptr, false},
        {"no EnumPortsA", kListing + "missing=\"EnumPortsA\"\n", nullptr, false},
        {"LoadLibraryExA fails", kListing, "LoadLibraryExA", false},
        {"GetProcAddress fails", kListing, "GetProcAddress", false},
        {"no system directory", kListing, "GetSystemDirectoryA", false},
        {"a system directory longer than MAX_PATH", kListing, nullptr, false, "", "",
         "C:\\" + std::string(MAX_PATH, 'D')},
        {"a system directory too long for the DLL's path", kListing, nullptr, false, "", "",
         "C:\\" + std::string(MAX_PATH - 16, 'D')},
        {"winspool.drv planted beside the exe", kListing, nullptr, true, "winspool.drv"},
        {"a DLL winspool.drv imports planted beside the exe", kListing, nullptr, true,
         "spoolss.dll", "winspool.drv"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SetUp();
        Spooler(row.spoolerLines);
        if (row.failingCall != nullptr) {
            sim::FailCall(row.failingCall, ERROR_NOT_ENOUGH_MEMORY, 1, 1);
        }
        sim::PlantDllBesideExe(row.planted, row.plantedImportedBy);
        sim::SetSystemDirectory(row.systemDirectory);
        EXPECT_EQ(1, Scan());
        EXPECT_EQ(row.listed ? General : Absent, Slot(1).kind);
        EXPECT_EQ(row.listed ? Absent : General, Slot(9).kind);
        EXPECT_EQ(row.listed ? 2u : 0u, sim::ApiCallCount("EnumPortsA"));
        EXPECT_EQ(0, sim::CallsWhileUnloaded("winspool.drv"));
        EXPECT_EQ(0, sim::LoadedModuleCount());
        EXPECT_EQ(0, sim::PlantedDllLoads());
        // A path that does not fit is never asked for.
        if (!row.systemDirectory.empty()) {
            EXPECT_EQ(0u, sim::ApiCallCount("LoadLibraryExA"));
        }
    }
}

TEST_F(SpoolerPassTest, FailedWalkIsThePassResult) {
    Spooler("needed=0\n");
    sim::FailCall("RegEnumKeyExA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(0, Scan());
}

TEST_F(SpoolerPassTest, PoolRefusalWalksEnum) {
    Spooler("\"COM1:\"=\"Communications Port\"\n");
    sim::FailCall("GlobalAlloc", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(1, Scan());
    EXPECT_EQ(Absent, Slot(1).kind);
    EXPECT_EQ(General, Slot(9).kind);
    EXPECT_EQ(1u, sim::ApiCallCount("EnumPortsA"));
}

TEST_F(SpoolerPassTest, EmptySecondListingRecordsNothingWithoutFallback) {
    Spooler("\"COM1:\"=\"Communications Port\"\nsecond=empty\n");
    EXPECT_EQ(1, Scan());
    for (const PortRecord& slot : portTable.slots) {
        EXPECT_EQ(Absent, slot.kind);
    }
    EXPECT_EQ(2u, sim::ApiCallCount("EnumPortsA"));
}

TEST_F(SpoolerPassTest, FailedSecondListingRecordsNothing) {
    Spooler("\"COM1:\"=\"Communications Port\"\n");
    sim::FailCall("EnumPortsA", ERROR_INVALID_PARAMETER, 2, 1);
    EXPECT_EQ(1, Scan());
    EXPECT_EQ(Absent, Slot(1).kind);
    EXPECT_EQ(Absent, Slot(9).kind);
}

// What a spooler gets wrong ---------------------------------------------------------

// Leaves bytes of no meaning in the pool's free space, as earlier users of
// the pool would, so that anything the pass reads without writing shows.
void DirtyThePool() {
    void* block = ThePool().PoolAlloc(2048);
    ASSERT_NE(block, nullptr);
    std::memset(block, '5', 2048);
    ThePool().PoolFree(block);
}

TEST_F(SpoolerPassTest, NamesWhoseNumberOverflowsAreNoPorts) {
    Spooler(
        "\"COM4294967297:\"=\"Communications Port\"\n"
        "\"COM-4294967293:\"=\"Communications Port\"\n"
        "\"COM 4:\"=\"Communications Port\"\n"
        "\"CON5:\"=\"Communications Port\"\n"
        "\"CO6:\"=\"Communications Port\"\n");
    EXPECT_EQ(1, Scan());
    EXPECT_EQ(Absent, Slot(1).kind);
    EXPECT_EQ(Absent, Slot(3).kind);
    EXPECT_EQ(General, Slot(4).kind);
    EXPECT_EQ(Absent, Slot(5).kind);
    EXPECT_EQ(Absent, Slot(6).kind);
}

// Only the records that are both counted and written are read.
TEST_F(SpoolerPassTest, ACountThatIsNotTheListingsReadsNoMoreThanBoth) {
    struct Row {
        const char* name;
        std::string spooler;
        std::vector<int> recorded;
    };
    const Row rows[] = {
        // The records claimed beyond the first lie over its texts and, past
        // them, over bytes the spooler never wrote.
        {"a count larger than the listing",
         "\"COM1:\"=\"Communications Port\"\nneeded=400\nreturned=+12\n",
         {1}},
        // The record past the count names a port all the same.
        {"a count smaller than the listing",
         "\"COM1:\"=\"Communications Port\"\n\"COM2:\"=\"Communications Port\"\nreturned=-1\n",
         {1}},
        {"a count of none", "\"COM1:\"=\"Communications Port\"\nreturned=-1\n", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ThePool().PoolReset();
        sim::ResetMachine();
        ResetPortTable();
        DirtyThePool();
        Spooler(row.spooler);
        EXPECT_EQ(1, Scan());
        std::vector<int> recorded;
        for (int n = 1; n <= kPortCount; ++n) {
            if (Slot(n).kind != Absent) {
                recorded.push_back(n);
            }
        }
        EXPECT_EQ(recorded, row.recorded);
        EXPECT_EQ(0u, sim::ApiCallCount("RegOpenKeyExA"));  // no walk of ENUM
    }
}

TEST_F(SpoolerPassTest, PortsWithoutANameAreSkipped) {
    Spooler(
        "null=\"Bluetooth Serial Link\"\n"
        "\"COM2:\"=\"USB Serial Port\"\n");
    EXPECT_EQ(1, Scan());
    EXPECT_EQ(Usb, Slot(2).kind);
}

TEST_F(SpoolerPassTest, ANameRunningToTheEndOfTheListingEndsThere) {
    DirtyThePool();
    Spooler(
        "\"COM2:\"=\"Communications Port\"\n"
        "\"COM7\"=\"Infrared Port\"\n"
        "unterminated=last\n");
    EXPECT_EQ(1, Scan());
    EXPECT_EQ(General, Slot(2).kind);
    EXPECT_EQ(Infrared, Slot(7).kind);
}

TEST_F(SpoolerPassTest, ASecondListingLargerThanTheFirstRecordsNothing) {
    // A port installed between the two calls: the listing no longer fits the
    // buffer, the call fails and returns no records.
    Spooler("\"COM1:\"=\"Communications Port\"\n+\"COM8:\"=\"Late Port\"\n");
    EXPECT_EQ(1, Scan());
    EXPECT_EQ(Absent, Slot(1).kind);
    EXPECT_EQ(Absent, Slot(8).kind);
    EXPECT_EQ(Absent, Slot(9).kind);
    EXPECT_EQ(2u, sim::ApiCallCount("EnumPortsA"));
}

TEST_F(SpoolerPassTest, ASizeThatWouldWrapWithTheSlackWalksEnum) {
    for (const char* needed : {"4294967280", "4294967281", "4294967295"}) {
        SCOPED_TRACE(needed);
        ThePool().PoolReset();
        sim::ResetMachine();
        ResetPortTable();
        Load(
            "[HKEY_LOCAL_MACHINE\\Enum\\BIOS\\*PNP0501\\0D]\n"
            "\"Class\"=\"Ports\"\n"
            "\"PortName\"=\"COM9\"\n");
        Spooler(std::string("needed=") + needed + "\n");
        EXPECT_EQ(1, Scan());
        EXPECT_EQ(General, Slot(9).kind);
        EXPECT_EQ(1u, sim::ApiCallCount("EnumPortsA"));
    }
}

}  // namespace
