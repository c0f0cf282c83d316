// The Setup-API pass on simulated machines: which interfaces it reads back
// through their instance keys, when the SERIALCOMM pass or the full registry
// walk follows, every way a class's enumeration can end early, machines whose
// setupapi.dll or one of its functions is missing, and that every set, key,
// heap block and DLL is given back. Also the device-path conversion.
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "framework/cstring.h"
#include "framework/exceptions.h"
#include "inventory/device_tree.h"
#include "inventory/interface_classes.h"
#include "inventory/port_table.h"
#include "sim/control.h"
#include "slot_view.h"

namespace {

constexpr char kComPortClass[] = "{86e0d1e0-8089-11d0-9ce4-08003e301f73}";
constexpr char kPortsClass[] = "{4D36E978-E325-11CE-BFC1-08002BE10318}";
constexpr char kEnumKey[] = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\";
constexpr char kClassesKey[] =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\";

std::string Escaped(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '\\' || c == '"') {
            escaped += '\\';
        }
        escaped += c;
    }
    return escaped;
}

std::string Flattened(std::string instance) {
    for (char& c : instance) {
        if (c == '\\') {
            c = '#';
        }
    }
    return instance;
}

// A machine profile, built up one device at a time.
class Machine {
public:
    // A port's device instance key, e.g. "ACPI\PNP0501\1", named COMn.
    Machine& Port(const std::string& instance, const std::string& portName,
                  const std::string& description) {
        text_ += "[" + std::string(kEnumKey) + instance + "]\n";
        text_ += "\"ClassGUID\"=\"" + std::string(kPortsClass) + "\"\n";
        text_ += "\"Class\"=\"Ports\"\n";
        text_ += "\"DeviceDesc\"=\"" + Escaped(description) + "\"\n";
        text_ += "[" + std::string(kEnumKey) + instance + "\\Device Parameters]\n";
        text_ += "\"PortName\"=\"" + portName + "\"\n";
        return *this;
    }
    // The instance's interface of class `interfaceClass`, linked or not.
    Machine& Interface(const std::string& instance, const std::string& interfaceClass,
                       bool linked = true) {
        std::string entry =
            kClassesKey + interfaceClass + "\\##?#" + Flattened(instance) + "#" + interfaceClass;
        text_ += "[" + entry + "]\n\"DeviceInstance\"=\"" + Escaped(instance) + "\"\n";
        text_ += "[" + entry + "\\#\\Control]\n\"Linked\"=dword:" + (linked ? "1" : "0") + "\n";
        return *this;
    }
    Machine& SerialComm(const std::string& device, const std::string& portName) {
        text_ += "[HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM]\n";
        text_ += "\"" + Escaped(device) + "\"=\"" + portName + "\"\n";
        return *this;
    }
    // Setup API lines as a profile writes them.
    Machine& SetupApi(const std::string& lines) {
        text_ += "[@setupapi]\n" + lines;
        return *this;
    }
    Machine& RefuseSet(const std::string& interfaceClass) {
        text_ += "[@setupapi]\nfail=" + interfaceClass + "\n";
        return *this;
    }
    void Load() const {
        sim::ProfileError error;
        ASSERT_TRUE(sim::LoadProfile(text_, &error)) << error.line << ": " << error.message;
    }

private:
    std::string text_ = "REGEDIT4\n";
};

const PortRecord& Slot(int n) {
    return portTable.slots[n - 1];
}

class InterfacePassTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::ResetMachine();
        ResetPortTable();
    }

    // Runs the pass and checks that it gave back everything it took.
    int Scan() {
        const int result = ScanInterfaceClasses();
        EXPECT_EQ(0, sim::OpenDeviceInfoSetCount());
        EXPECT_EQ(0, sim::OpenKeyCount());
        EXPECT_EQ(0, sim::LiveAllocations());
        EXPECT_EQ(0, sim::LoadedModuleCount());
        EXPECT_EQ(0, sim::CallsWhileUnloaded("setupapi.dll"));
        return result;
    }

    // The full registry walk fails at once, so what the table holds afterwards
    // comes from the interface enumerations alone.
    static void BreakFullWalk() { sim::FailCall("RegEnumKeyExA", ERROR_ACCESS_DENIED); }
};

// A typical machine: an on-board port, a USB adapter behind the COM-port
// interface, a port only the ports class lists, one only the serial map knows,
// and one whose instance key exposes no interface at all.
void LoadTypicalMachine() {
    Machine()
        .Port("ACPI\\PNP0501\\1", "COM1", "Communications Port")
        .Interface("ACPI\\PNP0501\\1", kComPortClass)
        .Port("FTDIBUS\\VID_0403+PID_6001+A1\\0000", "COM5", "USB Serial Port")
        .Interface("FTDIBUS\\VID_0403+PID_6001+A1\\0000", kComPortClass)
        .Port("BTHENUM\\{00001101}\\7&1", "COM6", "Standard Serial over Bluetooth link")
        .Interface("BTHENUM\\{00001101}\\7&1", kPortsClass)
        .Port("ROOT\\PORTS\\0009", "COM9", "Hidden Port")
        .SerialComm("\\Device\\Serial0", "COM1")
        .SerialComm("\\Device\\Serial7", "COM7")
        .Load();
}

// Both classes enumerated -------------------------------------------------------

TEST_F(InterfacePassTest, RecordsInterfacesThroughInstanceKeysThenAddsSerialMapPorts) {
    LoadTypicalMachine();
    EXPECT_EQ(1, Scan());
    EXPECT_EQ(General, Slot(1).kind);
    EXPECT_STREQ("(COM1) Serial Port", Slot(1).displayName);
    EXPECT_STREQ("Communications Port", Slot(1).description);
    EXPECT_EQ(Usb, Slot(5).kind);
    EXPECT_STREQ("(COM5) USB Serial Port", Slot(5).displayName);
    EXPECT_EQ(Bluetooth, Slot(6).kind);
    EXPECT_STREQ("(COM6) Bluetooth Serial Port", Slot(6).displayName);
    EXPECT_EQ(General, Slot(7).kind);
    EXPECT_STREQ("(COM7) COM Port", Slot(7).displayName);
    EXPECT_STREQ("\\\\.\\COM7", Slot(7).description);
    // Only the full walk would find this one.
    EXPECT_EQ(Absent, Slot(9).kind);
}

TEST_F(InterfacePassTest, AsksForBothClassesOnceAndDestroysBothSets) {
    LoadTypicalMachine();
    Scan();
    EXPECT_EQ(2u, sim::ApiCallCount("SetupDiGetClassDevsA"));
    EXPECT_EQ(2u, sim::ApiCallCount("SetupDiDestroyDeviceInfoList"));
    // Two members of A and one of B, each followed by one more enumeration.
    EXPECT_EQ(5u, sim::ApiCallCount("SetupDiEnumDeviceInterfaces"));
    EXPECT_EQ(3u, sim::ApiCallCount("SetupDiGetDeviceInterfaceDetailA"));
}

TEST_F(InterfacePassTest, ComPortClassIsReadBeforePortsClass) {
    Machine()
        .Port("ACPI\\PNP0501\\1", "COM3", "Communications Port")
        .Interface("ACPI\\PNP0501\\1", kComPortClass)
        .Port("USB\\VID_1\\2", "COM3", "USB Serial Port")
        .Interface("USB\\VID_1\\2", kPortsClass)
        .Load();
    EXPECT_EQ(1, Scan());
    // The instance read only fills absent slots: the first class read wins.
    EXPECT_EQ(General, Slot(3).kind);
    EXPECT_STREQ("Communications Port", Slot(3).description);
}

TEST_F(InterfacePassTest, OnlyPresentInterfacesAreRead) {
    Machine()
        .Port("ACPI\\PNP0501\\2", "COM2", "Communications Port")
        .Interface("ACPI\\PNP0501\\2", kComPortClass, false)
        .Load();
    EXPECT_EQ(1, Scan());
    EXPECT_EQ(Absent, Slot(2).kind);
}

TEST_F(InterfacePassTest, ClassesWithoutMembersAreNoFailure) {
    Machine().SerialComm("\\Device\\Serial1", "COM2").Port("ROOT\\X\\0", "COM4", "Port").Load();
    EXPECT_EQ(1, Scan());
    EXPECT_STREQ("(COM2) COM Port", Slot(2).displayName);
    EXPECT_EQ(Absent, Slot(4).kind);
}

TEST_F(InterfacePassTest, InterfaceOfAnInstanceThatIsNoPortRecordsNothing) {
    Machine().Interface("ROOT\\UNKNOWN\\0000", kComPortClass).Load();
    std::string profile =
        "REGEDIT4\n[" + std::string(kEnumKey) + "ROOT\\UNKNOWN\\0000]\n\"Class\"=\"Modem\"\n";
    ASSERT_TRUE(sim::LoadProfile(profile, nullptr));
    EXPECT_EQ(1, Scan());
    for (const PortRecord& slot : portTable.slots) {
        EXPECT_EQ(Absent, slot.kind);
    }
}

// A set refused -----------------------------------------------------------------

TEST_F(InterfacePassTest, RefusedComPortSetStillEnumeratesPortsClassThenWalks) {
    LoadTypicalMachine();
    Machine().RefuseSet("{86E0D1E0-8089-11D0-9CE4-08003E301F73}").Load();
    BreakFullWalk();
    EXPECT_EQ(0, Scan());
    EXPECT_EQ(Absent, Slot(1).kind);
    EXPECT_EQ(Bluetooth, Slot(6).kind);
    // The serial map pass did not run.
    EXPECT_EQ(Absent, Slot(7).kind);
}

TEST_F(InterfacePassTest, RefusedSetSendsPassToFullWalkInsteadOfSerialMap) {
    LoadTypicalMachine();
    Machine().RefuseSet(kPortsClass).Load();
    EXPECT_EQ(1, Scan());
    EXPECT_EQ(General, Slot(1).kind);
    EXPECT_EQ(Usb, Slot(5).kind);
    EXPECT_EQ(Bluetooth, Slot(6).kind);
    EXPECT_STREQ("(COM9) Serial Port", Slot(9).displayName);
    EXPECT_EQ(Absent, Slot(7).kind);
}

TEST_F(InterfacePassTest, FailingFullWalkIsThePassResult) {
    LoadTypicalMachine();
    sim::FailCall("SetupDiGetClassDevsA", ERROR_NOT_ENOUGH_MEMORY, 2, 1);
    BreakFullWalk();
    EXPECT_EQ(0, Scan());
    // A was read before B's set was refused.
    EXPECT_EQ(General, Slot(1).kind);
    EXPECT_EQ(Usb, Slot(5).kind);
    EXPECT_EQ(Absent, Slot(6).kind);
}

// setupapi.dll --------------------------------------------------------------------

std::vector<std::string> PresentPortNames() {
    std::vector<std::string> ports;
    for (const PortRecord& slot : portTable.slots) {
        if (slot.kind != Absent) {
            ports.emplace_back(slot.displayName);
        }
    }
    return ports;
}

// Without setupapi.dll or any one of its four functions, or when it cannot be
// loaded, the pass is the full registry walk, as when both sets are refused;
// the DLL is freed whenever it was loaded. A setupapi.dll planted beside the
// exe is never the one loaded.
TEST_F(InterfacePassTest, WithoutTheSetupApiThePassIsTheFullWalk) {
    struct Row {
        const char* what;
        std::string setupApiLines;
        const char* failingCall;  // fails once, the first time it is called
        bool fallsBack;
        bool loaded;  // LoadLibraryExA succeeded, so FreeLibrary must follow
        unsigned loadCalls = 1;
        const char* planted = "";
        const char* plantedImportedBy = "";
        std::string systemDirectory = "";
    };
    const Row rows[] = {
        {"setupapi.dll there", "", nullptr, false, true},
        {"no setupapi.dll", "dll=missing\n", nullptr, true, false},
        {"no SetupDiGetClassDevsA", "missing=\"SetupDiGetClassDevsA\"\n", nullptr, true, true},
        {"no SetupDiEnumDeviceInterfaces", "missing=\"SetupDiEnumDeviceInterfaces\"\n", nullptr,
         true, true},
        {"no SetupDiGetDeviceInterfaceDetailA", "missing=\"SetupDiGetDeviceInterfaceDetailA\"\n",
         nullptr, true, true},
        {"no SetupDiDestroyDeviceInfoList", "missing=\"SetupDiDestroyDeviceInfoList\"\n", nullptr,
         true, true},
        {"LoadLibraryExA fails", "", "LoadLibraryExA", true, false},
        {"GetProcAddress fails", "", "GetProcAddress", true, true},
        {"no system directory", "", "GetSystemDirectoryA", true, false, 0},
        {"a system directory longer than MAX_PATH", "", nullptr, true, false, 0, "", "",
         "C:\\" + std::string(MAX_PATH, 'D')},
        {"a system directory too long for the DLL's path", "", nullptr, true, false, 0, "", "",
         "C:\\" + std::string(MAX_PATH - 16, 'D')},
        {"setupapi.dll planted beside the exe", "", nullptr, false, true, 1, "setupapi.dll"},
        {"a DLL setupapi.dll imports planted beside the exe", "", nullptr, false, true, 1,
         "cfgmgr32.dll", "setupapi.dll"},
    };
    // The typical machine through its interfaces and the serial map: COM9
    // has no interface, COM7 is only in the map.
    const std::vector<std::string> kInterfacePorts = {
        "(COM1) Serial Port", "(COM5) USB Serial Port", "(COM6) Bluetooth Serial Port",
        "(COM7) COM Port"};
    // What the full walk alone makes of it.
    LoadTypicalMachine();
    const int walkResult = ScanDeviceTree("SYSTEM\\CURRENTCONTROLSET\\ENUM");
    const std::vector<SlotView> walkTable = Table();
    ASSERT_EQ(General, Slot(9).kind);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        sim::ResetMachine();
        ResetPortTable();
        LoadTypicalMachine();
        if (!row.setupApiLines.empty()) {
            Machine().SetupApi(row.setupApiLines).Load();
        }
        if (row.failingCall != nullptr) {
            sim::FailCall(row.failingCall, ERROR_NOT_ENOUGH_MEMORY, 1, 1);
        }
        sim::PlantDllBesideExe(row.planted, row.plantedImportedBy);
        sim::SetSystemDirectory(row.systemDirectory);
        const int result = Scan();
        EXPECT_EQ(0, sim::PlantedDllLoads());
        EXPECT_EQ(row.loadCalls, sim::ApiCallCount("LoadLibraryExA"));
        EXPECT_EQ(row.loaded ? 1u : 0u, sim::ApiCallCount("FreeLibrary"));
        if (row.fallsBack) {
            EXPECT_EQ(walkResult, result);
            EXPECT_EQ(walkTable, Table());
            EXPECT_EQ(0u, sim::ApiCallCount("SetupDiGetClassDevsA"));
        } else {
            EXPECT_EQ(1, result);
            EXPECT_EQ(kInterfacePorts, PresentPortNames());
            EXPECT_EQ(2u, sim::ApiCallCount("SetupDiGetClassDevsA"));
        }
    }
}

// Enumerations ending early ---------------------------------------------------

// Memory refused while the first class is enumerated, wherever: that class's
// loop ends, the other class is still enumerated, and the full walk follows
// instead of the serial map.
TEST_F(InterfacePassTest, RefusedMemoryAbandonsOnlyThatClassForTheFullWalk) {
    struct Row {
        const char* what;
        unsigned refused;  // counted from the pass's first allocation
    };
    const Row rows[] = {
        {"the detail buffer", 1},
        {"the path conversion", 2},
        {"the port name read on the instance key", 5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        // With the walk failing at once, the table shows what the class loops
        // recorded, and the result is the walk's.
        sim::ResetMachine();
        ResetPortTable();
        LoadTypicalMachine();
        BreakFullWalk();
        sim::FailAllocation(row.refused);
        EXPECT_EQ(0, Scan());
        EXPECT_EQ(Absent, Slot(1).kind);
        EXPECT_EQ(Absent, Slot(5).kind);
        EXPECT_EQ(Bluetooth, Slot(6).kind);
        EXPECT_EQ(Absent, Slot(7).kind);

        // The walk finds what the interfaces do not show, and the serial map
        // is not read.
        sim::ResetMachine();
        ResetPortTable();
        LoadTypicalMachine();
        sim::FailAllocation(row.refused);
        EXPECT_EQ(1, Scan());
        EXPECT_STREQ("(COM1) Serial Port", Slot(1).displayName);
        EXPECT_EQ(Usb, Slot(5).kind);
        EXPECT_STREQ("Hidden Port", Slot(9).description);
        EXPECT_EQ(Absent, Slot(7).kind);
    }
}

// The second call of the first class fails with something other than "no
// more items": that class keeps what it found and reads no further member,
// the other class is enumerated, and the serial map follows as after a whole
// enumeration.
TEST_F(InterfacePassTest, AFailedCallPartwayEndsTheClassLoopWithoutAbandoningIt) {
    struct Row {
        const char* api;
        DWORD status;
    };
    const Row rows[] = {
        {"SetupDiGetDeviceInterfaceDetailA", ERROR_INVALID_PARAMETER},
        {"SetupDiEnumDeviceInterfaces", ERROR_INVALID_PARAMETER},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.api) + " " + std::to_string(row.status));
        sim::ResetMachine();
        ResetPortTable();
        LoadTypicalMachine();
        // A third member of the first class, after the one the failure hits.
        Machine()
            .Port("ZBUS\\PORT\\8", "COM8", "Communications Port")
            .Interface("ZBUS\\PORT\\8", kComPortClass)
            .Load();
        sim::FailCall(row.api, row.status, 2, 1);
        EXPECT_EQ(1, Scan());
        EXPECT_EQ(General, Slot(1).kind);
        EXPECT_EQ(Absent, Slot(5).kind);
        EXPECT_EQ(Bluetooth, Slot(6).kind);
        EXPECT_STREQ("(COM7) COM Port", Slot(7).displayName);
        EXPECT_EQ(Absent, Slot(8).kind);
        EXPECT_EQ(Absent, Slot(9).kind);
    }
}

TEST_F(InterfacePassTest, PathTooLongForTheDetailBufferEndsThatClassLoop) {
    // 261 bytes hold the size field and 256 more characters at most.
    const std::string longInstance = "LONGBUS\\" + std::string(220, 'D') + "\\1";
    Machine()
        .Port("ACPI\\PNP0501\\1", "COM1", "Communications Port")
        .Interface("ACPI\\PNP0501\\1", kComPortClass)
        .Port(longInstance, "COM2", "Long Port")
        .Interface(longInstance, kComPortClass)
        .Port("ZBUS\\PORT\\1", "COM3", "Communications Port")
        .Interface("ZBUS\\PORT\\1", kComPortClass)
        .Port("USB\\VID_1\\2", "COM4", "USB Serial Port")
        .Interface("USB\\VID_1\\2", kPortsClass)
        .SerialComm("\\Device\\Serial7", "COM7")
        .Load();
    EXPECT_EQ(1, Scan());
    EXPECT_EQ(General, Slot(1).kind);
    EXPECT_EQ(Absent, Slot(2).kind);
    EXPECT_EQ(Absent, Slot(3).kind);
    EXPECT_EQ(Usb, Slot(4).kind);
    EXPECT_STREQ("(COM7) COM Port", Slot(7).displayName);
}

// The 261-byte detail buffer holds the size field and a path of this many
// characters with its terminator.
constexpr std::size_t kLongestPath =
    261 - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) - 1;

TEST_F(InterfacePassTest, APathThatJustFitsTheDetailBufferIsRead) {
    // "\\?\" + "LONGBUS#" + the device + "#1" + "#" + the class: 53 characters
    // besides the device.
    for (std::size_t length : {kLongestPath, kLongestPath + 1}) {
        SCOPED_TRACE(length);
        sim::ResetMachine();
        ResetPortTable();
        const std::string longInstance = "LONGBUS\\" + std::string(length - 53, 'D') + "\\1";
        Machine()
            .Port(longInstance, "COM2", "Long Port")
            .Interface(longInstance, kComPortClass)
            .Port("ZBUS\\PORT\\1", "COM3", "Communications Port")
            .Interface("ZBUS\\PORT\\1", kComPortClass)
            .Load();
        EXPECT_EQ(1, Scan());
        const bool fits = length <= kLongestPath;
        EXPECT_EQ(fits ? General : Absent, Slot(2).kind);
        EXPECT_EQ(fits ? General : Absent, Slot(3).kind);
    }
}

// Device paths a Setup API should not report: without the "\\?\" prefix,
// shorter than it, and without a terminator. Each is passed over and the
// next interface is still read.
TEST_F(InterfacePassTest, OddDevicePathsAreSkipped) {
    Machine()
        .Port("ACPI\\PNP0501\\1", "COM1", "Communications Port")
        .Interface("ACPI\\PNP0501\\1", kComPortClass)
        .Port("ACPI\\PNP0501\\2", "COM2", "Communications Port")
        .Interface("ACPI\\PNP0501\\2", kComPortClass)
        .Port("ACPI\\PNP0501\\3", "COM3", "Communications Port")
        .Interface("ACPI\\PNP0501\\3", kComPortClass)
        .Port("ZBUS\\PORT\\4", "COM4", "USB Serial Port")
        .Interface("ZBUS\\PORT\\4", kComPortClass)
        .SetupApi("\"ACPI\\\\PNP0501\\\\1\"=\"ACPI#PNP0501#1#" + std::string(kComPortClass) +
                  "\"\n"
                  "\"ACPI\\\\PNP0501\\\\2\"=\"C:\"\n"
                  "\"ACPI\\\\PNP0501\\\\3\"=unterminated\n")
        .Load();
    EXPECT_EQ(1, Scan());
    EXPECT_EQ(Absent, Slot(1).kind);
    EXPECT_EQ(Absent, Slot(2).kind);
    EXPECT_EQ(Absent, Slot(3).kind);
    EXPECT_EQ(Usb, Slot(4).kind);
    EXPECT_EQ(4u, sim::ApiCallCount("SetupDiGetDeviceInterfaceDetailA"));
}

// A stale registration: the interface is listed, but its device's instance
// key is gone. Nothing is recorded for it and the next interface is read.
TEST_F(InterfacePassTest, AnInterfaceWithoutItsInstanceKeyIsPassedOver) {
    Machine()
        .Interface("ACPI\\PNP0501\\9", kComPortClass)
        .Port("ZBUS\\PORT\\1", "COM1", "Communications Port")
        .Interface("ZBUS\\PORT\\1", kComPortClass)
        .SetupApi("orphans=listed\n")
        .Load();
    EXPECT_EQ(1, Scan());
    EXPECT_EQ(General, Slot(1).kind);
    EXPECT_EQ(2u, sim::ApiCallCount("SetupDiGetDeviceInterfaceDetailA"));
    int recorded = 0;
    for (const PortRecord& slot : portTable.slots) {
        recorded += slot.kind != Absent;
    }
    EXPECT_EQ(1, recorded);
}

// Device path conversion ------------------------------------------------------

std::string Converted(const char* devicePath, std::size_t capacity) {
    CString path("untouched");
    if (!InstancePathFromDevicePath(devicePath, capacity, path)) {
        EXPECT_STREQ("untouched", static_cast<const char*>(path));
        return "<skipped>";
    }
    return static_cast<const char*>(path);
}

std::string Converted(const std::string& devicePath) {
    return Converted(devicePath.c_str(), devicePath.size() + 1);
}

TEST(DevicePathConversion, DropsPrefixAndInterfaceClassAndTurnsHashesIntoBackslashes) {
    EXPECT_EQ("SYSTEM\\CURRENTCONTROLSET\\ENUM\\ACPI\\PNP0501\\1",
              Converted("\\\\?\\ACPI#PNP0501#1#{86e0d1e0-8089-11d0-9ce4-08003e301f73}"));
    EXPECT_EQ("SYSTEM\\CURRENTCONTROLSET\\ENUM\\usb\\vid_0403&pid_6001\\a1",
              Converted("\\\\?\\usb#vid_0403&pid_6001#a1#{4d36e978-e325-11ce-bfc1-08002be10318}"));
}

TEST(DevicePathConversion, PathWithoutHashIsUsedWholeAfterThePrefix) {
    EXPECT_EQ("SYSTEM\\CURRENTCONTROLSET\\ENUM\\ACPI", Converted("\\\\?\\ACPI"));
}

TEST(DevicePathConversion, HashRightAfterThePrefixIsNotACut) {
    // The last '#' sits at position 0 of what is left: nothing is cut, and it
    // becomes a backslash like any other.
    EXPECT_EQ("SYSTEM\\CURRENTCONTROLSET\\ENUM\\abc", Converted("\\\\?#abc"));
    EXPECT_EQ("SYSTEM\\CURRENTCONTROLSET\\ENUM\\x", Converted("\\\\?\\x#"));
}

TEST(DevicePathConversion, PathOfThreeCharactersLeavesTheRoot) {
    EXPECT_EQ("SYSTEM\\CURRENTCONTROLSET\\ENUM", Converted("\\\\?"));
}

TEST(DevicePathConversion, PathShorterThanThePrefixIsSkipped) {
    EXPECT_EQ("<skipped>", Converted(""));
    EXPECT_EQ("<skipped>", Converted("\\\\"));
}

TEST(DevicePathConversion, PathNotTerminatedWithinItsBufferIsSkipped) {
    const char unterminated[8] = {'\\', '\\', '?', '\\', 'A', '#', 'B', 'C'};
    EXPECT_EQ("<skipped>", Converted(unterminated, sizeof unterminated));
    EXPECT_EQ("SYSTEM\\CURRENTCONTROLSET\\ENUM\\ACP", Converted("\\\\?\\ACP\0X", 8));
}

TEST(DevicePathConversion, RefusedAllocationRaisesOutOfMemory) {
    sim::ResetMachine();
    CString path;
    sim::FailAllocation(1);
    EXPECT_THROW(InstancePathFromDevicePath("\\\\?\\A#B#{x}", 12, path), CMemoryException);
    EXPECT_EQ(0, sim::LiveAllocations());
}

}  // namespace
