// What only the simulated Setup API and spooler offer: refused sets from a
// profile, counting of open sets, of loaded DLLs and of calls, injected
// failures, the lies they can tell, a missing setupapi.dll or function, and
// the profile sections that configure them.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "sim/control.h"

namespace {

const GUID kComPortClass = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
const GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
constexpr DWORD kPresentInterfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;

class SimSetupApiTest : public ::testing::Test {
protected:
    void SetUp() override { sim::ResetMachine(); }
    void TearDown() override { sim::ResetMachine(); }

    static bool Load(const std::string& body, sim::ProfileError* error = nullptr) {
        return sim::LoadProfile("REGEDIT4\n" + body, error);
    }
};

// Sets ----------------------------------------------------------------------------

TEST_F(SimSetupApiTest, ProfileRefusesSetsOfTheNamedClassOnly) {
    ASSERT_TRUE(Load("[@setupapi]\nfail={86E0D1E0-8089-11d0-9ce4-08003E301F73}\n"));
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              SetupDiGetClassDevsA(&kComPortClass, nullptr, nullptr, kPresentInterfaces));
    EXPECT_NE(0u, GetLastError());
    HDEVINFO other = SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, kPresentInterfaces);
    EXPECT_NE(INVALID_HANDLE_VALUE, other);
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(other));
}

TEST_F(SimSetupApiTest, OpenSetsAreCountedUntilDestroyedAndResetForgetsThem) {
    HDEVINFO first = SetupDiGetClassDevsA(&kComPortClass, nullptr, nullptr, kPresentInterfaces);
    HDEVINFO second = SetupDiGetClassDevsA(&kComPortClass, nullptr, nullptr, kPresentInterfaces);
    EXPECT_NE(first, second);
    EXPECT_EQ(2, sim::OpenDeviceInfoSetCount());
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(first));
    EXPECT_EQ(1, sim::OpenDeviceInfoSetCount());
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(first));
    EXPECT_EQ(1, sim::OpenDeviceInfoSetCount());
    sim::ResetMachine();
    EXPECT_EQ(0, sim::OpenDeviceInfoSetCount());
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(second));
}

TEST_F(SimSetupApiTest, RefusedSetIsNotCounted) {
    sim::FailCall("SetupDiGetClassDevsA", ERROR_NOT_ENOUGH_MEMORY);
    SetLastError(0);
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              SetupDiGetClassDevsA(&kComPortClass, nullptr, nullptr, kPresentInterfaces));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
    EXPECT_EQ(0, sim::OpenDeviceInfoSetCount());
}

TEST_F(SimSetupApiTest, SetsOtherThanInterfacesOfOneClassAreNotModelled) {
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT));
    EXPECT_EQ(INVALID_HANDLE_VALUE, SetupDiGetClassDevsA(nullptr, nullptr, nullptr,
                                                         kPresentInterfaces | DIGCF_ALLCLASSES));
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              SetupDiGetClassDevsA(&kPortsClass, "USB", nullptr, kPresentInterfaces));
    EXPECT_EQ(0, sim::OpenDeviceInfoSetCount());
}

TEST_F(SimSetupApiTest, EveryFunctionTakesInjectedFailures) {
    ASSERT_TRUE(
        Load("[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Enum\\ACPI\\PNP0501\\1]\n"
             "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
             "{86e0d1e0-8089-11d0-9ce4-08003e301f73}\\##?#ACPI#PNP0501#1#x]\n"
             "\"DeviceInstance\"=\"ACPI\\\\PNP0501\\\\1\"\n"
             "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
             "{86e0d1e0-8089-11d0-9ce4-08003e301f73}\\##?#ACPI#PNP0501#1#x\\#\\Control]\n"
             "\"Linked\"=dword:1\n"));
    HDEVINFO set = SetupDiGetClassDevsA(&kComPortClass, nullptr, nullptr, kPresentInterfaces);
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    sim::FailCall("SetupDiEnumDeviceInterfaces", ERROR_OUTOFMEMORY, 1, 1);
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kComPortClass, 0, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_OUTOFMEMORY), GetLastError());
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kComPortClass, 0, &data));
    char buffer[261];
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    sim::FailCall("SetupDiGetDeviceInterfaceDetailA", ERROR_WRITE_FAULT, 1, 1);
    EXPECT_FALSE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, 261, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_WRITE_FAULT), GetLastError());
    ASSERT_TRUE(SetupDiGetDeviceInterfaceDetailA(set, &data, detail, 261, nullptr, nullptr));
    EXPECT_STREQ("\\\\?\\acpi#pnp0501#1#{86e0d1e0-8089-11d0-9ce4-08003e301f73}",
                 detail->DevicePath);
    sim::FailCall("SetupDiDestroyDeviceInfoList", ERROR_INVALID_HANDLE, 1, 1);
    EXPECT_FALSE(SetupDiDestroyDeviceInfoList(set));
    EXPECT_EQ(1, sim::OpenDeviceInfoSetCount());
    EXPECT_TRUE(SetupDiDestroyDeviceInfoList(set));
}

// setupapi.dll ------------------------------------------------------------------

TEST_F(SimSetupApiTest, LoadsAreCountedUntilFreedAndTheLastFreeUnloads) {
    const HMODULE setupApi = LoadLibraryA("setupapi.dll");
    ASSERT_NE(nullptr, setupApi);
    EXPECT_EQ(setupApi, LoadLibraryA("SetupAPI"));
    EXPECT_EQ(GetModuleHandleA("kernel32"), LoadLibraryA("kernel32.dll"));
    EXPECT_EQ(3, sim::LoadedModuleCount());
    EXPECT_TRUE(FreeLibrary(GetModuleHandleA("kernel32")));
    EXPECT_TRUE(FreeLibrary(setupApi));
    EXPECT_EQ(1, sim::LoadedModuleCount());
    EXPECT_NE(nullptr, GetProcAddress(setupApi, "SetupDiGetClassDevsA"));
    EXPECT_TRUE(FreeLibrary(setupApi));
    EXPECT_EQ(0, sim::LoadedModuleCount());
    // Unloaded, it is no module any more.
    SetLastError(0);
    EXPECT_EQ(nullptr, GetModuleHandleA("setupapi.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    SetLastError(0);
    EXPECT_EQ(nullptr, GetProcAddress(setupApi, "SetupDiGetClassDevsA"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    SetLastError(0);
    EXPECT_FALSE(FreeLibrary(setupApi));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    // kernel32 stays loaded.
    EXPECT_TRUE(FreeLibrary(GetModuleHandleA("kernel32")));
    EXPECT_NE(nullptr, GetModuleHandleA("kernel32"));
    LoadLibraryA("setupapi.dll");
    sim::ResetMachine();
    EXPECT_EQ(0, sim::LoadedModuleCount());
}

TEST_F(SimSetupApiTest, ProfileRemovesTheDllOrOneFunction) {
    ASSERT_TRUE(Load("[@setupapi]\nmissing=\"SetupDiEnumDeviceInterfaces\"\n"));
    const HMODULE setupApi = LoadLibraryA("setupapi.dll");
    ASSERT_NE(nullptr, setupApi);
    SetLastError(0);
    EXPECT_EQ(nullptr, GetProcAddress(setupApi, "SetupDiEnumDeviceInterfaces"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROC_NOT_FOUND), GetLastError());
    EXPECT_NE(nullptr, GetProcAddress(setupApi, "SetupDiGetDeviceInterfaceDetailA"));
    EXPECT_TRUE(FreeLibrary(setupApi));

    ASSERT_TRUE(Load("[@setupapi]\ndll=missing\n"));
    SetLastError(0);
    EXPECT_EQ(nullptr, LoadLibraryA("setupapi.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    EXPECT_EQ(0, sim::LoadedModuleCount());
    EXPECT_FALSE(sim::RemoveDllFunction("setupapi.dll", "SetupDiGetClassDevsW"));
}

TEST_F(SimSetupApiTest, LoadingAndFreeingTakeInjectedFailures) {
    sim::FailCall("LoadLibraryA", ERROR_NOT_ENOUGH_MEMORY, 1, 1);
    SetLastError(0);
    EXPECT_EQ(nullptr, LoadLibraryA("setupapi.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY), GetLastError());
    EXPECT_EQ(0, sim::LoadedModuleCount());
    const HMODULE setupApi = LoadLibraryA("setupapi.dll");
    sim::FailCall("FreeLibrary", ERROR_ACCESS_DENIED, 1, 1);
    SetLastError(0);
    EXPECT_FALSE(FreeLibrary(setupApi));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
    EXPECT_EQ(1, sim::LoadedModuleCount());
    EXPECT_TRUE(FreeLibrary(setupApi));
    EXPECT_EQ(2u, sim::ApiCallCount("LoadLibraryA"));
    EXPECT_EQ(2u, sim::ApiCallCount("FreeLibrary"));
}

TEST_F(SimSetupApiTest, CallsMadeWhileTheDllIsNotLoadedAreCounted) {
    SetupDiDestroyDeviceInfoList(INVALID_HANDLE_VALUE);
    EXPECT_EQ(1, sim::CallsWhileUnloaded("setupapi.dll"));
    const HMODULE setupApi = LoadLibraryA("setupapi.dll");
    HDEVINFO set = SetupDiGetClassDevsA(&kComPortClass, nullptr, nullptr, kPresentInterfaces);
    SetupDiDestroyDeviceInfoList(set);
    EXPECT_EQ(1, sim::CallsWhileUnloaded("setupapi.dll"));
    FreeLibrary(setupApi);
    SetupDiGetClassDevsA(&kComPortClass, nullptr, nullptr, kPresentInterfaces);
    EXPECT_EQ(2, sim::CallsWhileUnloaded("setupapi.dll"));
}

// Call counts ---------------------------------------------------------------------

TEST_F(SimSetupApiTest, CallsAreCountedByNameFailuresIncluded) {
    HKEY key = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "NOWHERE", 0, KEY_READ, &key);
    sim::FailCall("RegOpenKeyExA", ERROR_ACCESS_DENIED);
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "NOWHERE", 0, KEY_READ, &key);
    DWORD needed = 0;
    DWORD returned = 0;
    EnumPortsA(nullptr, 2, nullptr, 0, &needed, &returned);
    EXPECT_EQ(2u, sim::ApiCallCount("RegOpenKeyExA"));
    EXPECT_EQ(1u, sim::ApiCallCount("EnumPortsA"));
    EXPECT_EQ(0u, sim::ApiCallCount("RegCloseKey"));
    sim::ClearApiCallCounts();
    EXPECT_EQ(0u, sim::ApiCallCount("RegOpenKeyExA"));
    EnumPortsA(nullptr, 2, nullptr, 0, &needed, &returned);
    sim::ResetMachine();
    EXPECT_EQ(0u, sim::ApiCallCount("EnumPortsA"));
}

// Spooler -------------------------------------------------------------------------

TEST_F(SimSetupApiTest, SpoolerListsProfilePortsInOrderWithTheirDescriptions) {
    ASSERT_TRUE(Load("[@spooler]\n\"LPT1:\"=\"Printer Port\"\n\"COM2:\"=\"Modem \\\"A\\\"\"\n"));
    DWORD needed = 0;
    DWORD returned = 0;
    EnumPortsA(nullptr, 2, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed);
    ASSERT_TRUE(EnumPortsA(nullptr, 2, buffer.data(), needed, &needed, &returned));
    ASSERT_EQ(2u, returned);
    PORT_INFO_2A ports[2];
    std::memcpy(ports, buffer.data(), sizeof ports);
    EXPECT_STREQ("LPT1:", ports[0].pPortName);
    EXPECT_STREQ("Printer Port", ports[0].pDescription);
    EXPECT_STREQ("COM2:", ports[1].pPortName);
    EXPECT_STREQ("Modem \"A\"", ports[1].pDescription);
    EXPECT_STREQ("Local Monitor", ports[1].pMonitorName);
}

TEST_F(SimSetupApiTest, SpoolerWithoutPortsNeedsNothingAndSucceeds) {
    DWORD needed = 1;
    DWORD returned = 1;
    EXPECT_TRUE(EnumPortsA(nullptr, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(0u, needed);
    EXPECT_EQ(0u, returned);
}

TEST_F(SimSetupApiTest, NeededZeroAndSecondEmptySettings) {
    ASSERT_TRUE(Load("[@spooler]\n\"COM1:\"=\"Communications Port\"\nsecond=empty\n"));
    DWORD needed = 0;
    DWORD returned = 0;
    EXPECT_FALSE(EnumPortsA(nullptr, 2, nullptr, 0, &needed, &returned));
    EXPECT_NE(0u, needed);
    std::vector<BYTE> buffer(needed);
    EXPECT_TRUE(EnumPortsA(nullptr, 2, buffer.data(), needed, &needed, &returned));
    EXPECT_EQ(0u, returned);

    sim::ResetMachine();
    ASSERT_TRUE(Load("[@spooler]\n\"COM1:\"=\"Communications Port\"\nneeded=0\n"));
    needed = 1;
    EXPECT_TRUE(EnumPortsA(nullptr, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(0u, needed);
}

TEST_F(SimSetupApiTest, RemoteServersAreNotModelled) {
    char server[] = "\\\\PRINTHOST";
    DWORD needed = 0;
    DWORD returned = 0;
    SetLastError(0);
    EXPECT_FALSE(EnumPortsA(server, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_NAME), GetLastError());
}

// What a spooler may get wrong: a name that is a null pointer, a count larger
// or smaller than the records, a last name without terminator, a port that
// appears after the first listing, a size that is not the listing's.
TEST_F(SimSetupApiTest, SpoolerLiesComeFromTheProfile) {
    ASSERT_TRUE(
        Load("[@spooler]\nnull=\"Nameless\"\n\"COM7\"=\"Last\"\n"
             "returned=+2\nunterminated=last\n"));
    DWORD needed = 0;
    DWORD returned = 0;
    EXPECT_FALSE(EnumPortsA(nullptr, 2, nullptr, 0, &needed, &returned));
    const std::size_t texts =
        2 * sizeof "Local Monitor" + sizeof "Nameless" + sizeof "Last" + std::strlen("COM7");
    EXPECT_EQ(needed, 2 * sizeof(PORT_INFO_2A) + texts);
    std::vector<BYTE> buffer(needed + 64, 0xCC);
    ASSERT_TRUE(EnumPortsA(nullptr, 2, buffer.data(), needed, &needed, &returned));
    EXPECT_EQ(4u, returned);
    PORT_INFO_2A ports[2];
    std::memcpy(ports, buffer.data(), sizeof ports);
    EXPECT_EQ(nullptr, ports[0].pPortName);
    EXPECT_STREQ("Nameless", ports[0].pDescription);
    EXPECT_EQ(0, std::memcmp("COM7", ports[1].pPortName, 4));
    EXPECT_EQ(reinterpret_cast<const BYTE*>(ports[1].pPortName) + 4, buffer.data() + needed);

    // A count smaller than the records written.
    sim::ResetMachine();
    ASSERT_TRUE(Load("[@spooler]\n\"COM1:\"=\"First\"\n\"COM2:\"=\"Second\"\nreturned=-1\n"));
    EXPECT_FALSE(EnumPortsA(nullptr, 2, nullptr, 0, &needed, &returned));
    buffer.assign(needed, 0xCC);
    ASSERT_TRUE(EnumPortsA(nullptr, 2, buffer.data(), needed, &needed, &returned));
    EXPECT_EQ(1u, returned);
    std::memcpy(ports, buffer.data(), sizeof ports);
    EXPECT_STREQ("COM2:", ports[1].pPortName);

    // A port that appears after the first listing: a buffer of the first
    // size no longer holds the list.
    sim::ResetMachine();
    ASSERT_TRUE(Load("[@spooler]\n\"COM1:\"=\"First\"\n+\"COM8:\"=\"Late\"\n"));
    EXPECT_FALSE(EnumPortsA(nullptr, 2, nullptr, 0, &needed, &returned));
    const DWORD firstNeeded = needed;
    buffer.assign(4 * firstNeeded, 0xCC);
    EXPECT_FALSE(EnumPortsA(nullptr, 2, buffer.data(), firstNeeded, &needed, &returned));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_GT(needed, firstNeeded);
    EXPECT_EQ(0u, returned);
    ASSERT_TRUE(EnumPortsA(nullptr, 2, buffer.data(), needed, &needed, &returned));
    EXPECT_EQ(2u, returned);

    sim::ResetMachine();
    sim::AddSpoolerPort({"COM1:", "Communications Port", false});
    sim::SpoolerLies lies;
    lies.claimsNeeded = true;
    lies.claimedNeeded = 8;
    sim::SetSpoolerLies(lies);
    EXPECT_FALSE(EnumPortsA(nullptr, 2, nullptr, 0, &needed, &returned));
    EXPECT_EQ(8u, needed);
    ASSERT_TRUE(EnumPortsA(nullptr, 2, buffer.data(), 8, &needed, &returned));
    EXPECT_EQ(0u, returned);
}

TEST_F(SimSetupApiTest, DevicePathLiesAndOrphansComeFromTheProfile) {
    ASSERT_TRUE(
        Load("[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
             "{86e0d1e0-8089-11d0-9ce4-08003e301f73}\\##?#ACPI#1#{x}]\n"
             "\"DeviceInstance\"=\"ACPI\\\\1\"\n"
             "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\"
             "{86e0d1e0-8089-11d0-9ce4-08003e301f73}\\##?#ACPI#1#{x}\\#\\Control]\n"
             "\"Linked\"=dword:1\n"
             "[@setupapi]\norphans=listed\n\"acpi\\\\1\"=\"C:\"\n"));
    HDEVINFO set = SetupDiGetClassDevsA(&kComPortClass, nullptr, nullptr, kPresentInterfaces);
    ASSERT_NE(INVALID_HANDLE_VALUE, set);
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data;
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kComPortClass, 0, &data));
    alignas(8) char buffer[64];
    std::memset(buffer, 'x', sizeof buffer);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    ASSERT_TRUE(
        SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof buffer, nullptr, nullptr));
    EXPECT_STREQ("C:", detail->DevicePath);

    sim::SetDevicePathUnterminated("ACPI\\1");
    SetupDiDestroyDeviceInfoList(set);
    set = SetupDiGetClassDevsA(&kComPortClass, nullptr, nullptr, kPresentInterfaces);
    ASSERT_TRUE(SetupDiEnumDeviceInterfaces(set, nullptr, &kComPortClass, 0, &data));
    const DWORD pathRoom = sizeof buffer - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    ASSERT_TRUE(
        SetupDiGetDeviceInterfaceDetailA(set, &data, detail, sizeof buffer, nullptr, nullptr));
    EXPECT_EQ(nullptr, std::memchr(detail->DevicePath, '\0', pathRoom));
    EXPECT_EQ(0, std::memcmp("C:C:C:", detail->DevicePath, 6));
    SetupDiDestroyDeviceInfoList(set);

    sim::ListInterfacesWithoutInstance(false);
    set = SetupDiGetClassDevsA(&kComPortClass, nullptr, nullptr, kPresentInterfaces);
    EXPECT_FALSE(SetupDiEnumDeviceInterfaces(set, nullptr, &kComPortClass, 0, &data));
    SetupDiDestroyDeviceInfoList(set);
}

// Profile errors ------------------------------------------------------------------

TEST_F(SimSetupApiTest, MalformedSectionsAreRejectedWithTheirLine) {
    struct Case {
        std::string body;
        int line;
    };
    const std::vector<Case> cases = {
        {"[@setupapi]\nfail={86E0D1E0-8089-11D0-9CE4-08003E301F7}\n", 3},
        {"[@setupapi]\nfail=86E0D1E0-8089-11D0-9CE4-08003E301F73\n", 3},
        {"[@setupapi]\nrefuse={86E0D1E0-8089-11D0-9CE4-08003E301F73}\n", 3},
        {"[@setupapi]\nfail\n", 3},
        {"[@spooler]\n\"COM1:\"\n", 3},
        {"[@spooler]\n\"COM1:\"=Communications\n", 3},
        {"[@spooler]\n\"COM1:=\"x\"\n", 3},
        {"[@spooler]\n\"COM1:\"=\"x\" trailing\n", 3},
        {"[@spooler]\nneeded=-5\n", 3},
        {"[@spooler]\nneeded=4294967296\n", 3},
        {"[@spooler]\nsecond=full\n", 3},
        {"[@spooler]\nreturned=3\n", 3},
        {"[@spooler]\nreturned=-\n", 3},
        {"[@spooler]\nunterminated=first\n", 3},
        {"[@spooler]\nnull=x\n", 3},
        {"[@spooler]\n+\"COM1:\"\n", 3},
        {"[@setupapi]\n\"ACPI\\\\1\"=\n", 3},
        {"[@setupapi]\n\"ACPI\\\\1\"=bare\n", 3},
        {"[@setupapi]\norphans=hidden\n", 3},
        {"[@setupapi]\ndll=absent\n", 3},
        {"[@setupapi]\nmissing=SetupDiEnumDeviceInterfaces\n", 3},
        {"[@setupapi]\nmissing=\"SetupDiEnumDeviceInterfaces\n", 3},
        {"[@setupapi]\nmissing=\"SetupDiNoSuchFunction\"\n", 3},
        {"[@files]\nreadonly=C:\\x\n", 3},
        {"[@files]\ndiskspace=-1\n", 3},
        {"[@files]\nheld\n", 3},
        {"[@files]\nhidden=\"C:\\\\x\"\n", 3},
    };
    for (const Case& c : cases) {
        sim::ProfileError error;
        EXPECT_FALSE(Load(c.body, &error)) << c.body;
        EXPECT_EQ(c.line, error.line) << c.body;
        EXPECT_FALSE(error.message.empty()) << c.body;
    }
}

}  // namespace
