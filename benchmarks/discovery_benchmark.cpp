// Discovery on generated machines with 80 ports among 1,000 to 20,000 device
// instances: the time of one Setup-API pass and of one full device registry
// walk, and how many registry and Setup API calls each makes. Also what the
// simulated registry itself costs: enumerating one key's many subkeys by
// index, and writing many values into one key.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "inventory/device_tree.h"
#include "inventory/interface_classes.h"
#include "inventory/port_table.h"
#include "platform/platform.h"
#include "sim/control.h"

namespace {

constexpr int kPorts = 80;
constexpr int kInstancesPerDevice = 4;
constexpr char kComPortClass[] = "{86e0d1e0-8089-11d0-9ce4-08003e301f73}";
constexpr char kEnum[] = "SYSTEM\\CurrentControlSet\\Enum\\";
constexpr char kDeviceClasses[] = "SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\";
const char* const kEnumerators[] = {"ACPI", "PCI", "USB", "HID", "ROOT", "SW", "STORAGE", "SCSI"};

const char* const kRegistryCalls[] = {"RegOpenKeyExA", "RegEnumKeyExA", "RegEnumValueA",
                                      "RegQueryValueExA", "RegCloseKey"};
const char* const kSetupApiCalls[] = {"SetupDiGetClassDevsA", "SetupDiEnumDeviceInterfaces",
                                      "SetupDiGetDeviceInterfaceDetailA",
                                      "SetupDiDestroyDeviceInfoList"};

HKEY Create(const std::string& path) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    return key;
}

void SetString(HKEY key, const char* name, const std::string& text) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
}

void AddPort(int n) {
    const std::string instance = "ACPI\\PNP0501\\" + std::to_string(n);
    HKEY key = Create(kEnum + instance);
    SetString(key, "Class", "Ports");
    SetString(key, "ClassGUID", "{4D36E978-E325-11CE-BFC1-08002BE10318}");
    SetString(key, "DeviceDesc", n % 3 == 0 ? "USB Serial Port" : "Communications Port");
    RegCloseKey(key);
    key = Create(kEnum + instance + "\\Device Parameters");
    SetString(key, "PortName", "COM" + std::to_string(n));
    RegCloseKey(key);
    const std::string entry = std::string(kDeviceClasses) + kComPortClass + "\\##?#ACPI#PNP0501#" +
                              std::to_string(n) + "#" + kComPortClass;
    key = Create(entry);
    SetString(key, "DeviceInstance", instance);
    RegCloseKey(key);
    key = Create(entry + "\\#\\Control");
    DWORD linked = 1;
    RegSetValueExA(key, "Linked", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&linked),
                   sizeof linked);
    RegCloseKey(key);
    key = Create("HARDWARE\\DEVICEMAP\\SERIALCOMM");
    SetString(key, ("\\Device\\Serial" + std::to_string(n)).c_str(), "COM" + std::to_string(n));
    RegCloseKey(key);
}

void AddOtherDevice(int index) {
    const int device = index / kInstancesPerDevice;
    const std::string path = std::string(kEnum) + kEnumerators[device % 8] + "\\DEV_" +
                             std::to_string(device) + "\\" +
                             std::to_string(index % kInstancesPerDevice);
    HKEY key = Create(path);
    SetString(key, "Class", "System");
    SetString(key, "ClassGUID", "{4D36E97D-E325-11CE-BFC1-08002BE10318}");
    SetString(key, "DeviceDesc", "System device " + std::to_string(index));
    RegCloseKey(key);
    if (index % 2 == 0) {
        RegCloseKey(Create(path + "\\Device Parameters"));
    }
}

// Builds the machine once per size; the benchmarks of one size share it.
void UseMachine(int instances) {
    static int built = -1;
    if (built == instances) {
        return;
    }
    sim::ResetMachine();
    for (int n = 1; n <= kPorts; ++n) {
        AddPort(n);
    }
    for (int i = 0; i < instances - kPorts; ++i) {
        AddOtherDevice(i);
    }
    built = instances;
}

unsigned Sum(const char* const* names, int count) {
    unsigned total = 0;
    for (int i = 0; i < count; ++i) {
        total += sim::ApiCallCount(names[i]);
    }
    return total;
}

template <typename Pass>
void RunDiscovery(benchmark::State& state, Pass pass) {
    UseMachine(static_cast<int>(state.range(0)));
    sim::ClearApiCallCounts();
    int recorded = 0;
    for (auto _ : state) {
        ResetPortTable();
        benchmark::DoNotOptimize(pass());
    }
    for (const PortRecord& slot : portTable.slots) {
        recorded += slot.kind != Absent;
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["registry_calls"] = Sum(kRegistryCalls, 5) / iterations;
    state.counters["setupapi_calls"] = Sum(kSetupApiCalls, 4) / iterations;
    state.counters["ports"] = recorded;
}

void InterfacePass(benchmark::State& state) {
    RunDiscovery(state, [] { return ScanInterfaceClasses(); });
}

void FullWalk(benchmark::State& state) {
    RunDiscovery(state, [] { return ScanDeviceTree("SYSTEM\\CURRENTCONTROLSET\\ENUM"); });
}

// Every subkey of one key with `range(0)` subkeys, by index.
void SimulatedSubkeyEnumeration(benchmark::State& state) {
    sim::ResetMachine();
    const int subkeys = static_cast<int>(state.range(0));
    for (int i = 0; i < subkeys; ++i) {
        RegCloseKey(Create("WIDE\\K" + std::to_string(i)));
    }
    HKEY wide = nullptr;
    RegOpenKeyExA(HKEY_LOCAL_MACHINE, "WIDE", 0, KEY_READ, &wide);
    for (auto _ : state) {
        char name[32];
        for (DWORD index = 0;; ++index) {
            DWORD length = sizeof name;
            if (RegEnumKeyExA(wide, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS) {
                break;
            }
        }
    }
    RegCloseKey(wide);
    sim::ResetMachine();
}

// `range(0)` values written into one fresh key.
void SimulatedValueLoad(benchmark::State& state) {
    const int values = static_cast<int>(state.range(0));
    for (auto _ : state) {
        sim::ResetMachine();
        HKEY key = Create("MANY");
        for (int i = 0; i < values; ++i) {
            SetString(key, ("V" + std::to_string(i)).c_str(), "text");
        }
        RegCloseKey(key);
    }
    sim::ResetMachine();
}

BENCHMARK(InterfacePass)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(FullWalk)->Arg(1000)->Arg(5000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(SimulatedSubkeyEnumeration)->Arg(40000)->Unit(benchmark::kMillisecond);
BENCHMARK(SimulatedValueLoad)->Arg(40000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
