// Times the inventory against the Windows API it runs on: under Wine that is
// Wine's own advapi32, setupapi and winspool. In one process, repetition after
// repetition, it times the whole discovery, each pass on its own, the floors
// that bound them and the open test, then prints a table of the least and the
// median times and how far each figure sits above its floor.
//
//   wine_discovery_benchmark [--repeat N] [--machine LABEL] [--discovery-only]
//
// --discovery-only times the whole discovery, its floor and the naive scan
// and nothing else: what differs from one Windows version to the next.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "inventory/discovery.h"
#include "inventory/device_tree.h"
#include "inventory/interface_classes.h"
#include "inventory/log_sink.h"
#include "inventory/port_table.h"
#include "inventory/serial_comm_map.h"
#include "inventory/spooler_ports.h"
#include "platform/platform.h"
#include "probe/open_probe.h"
#include "support/file_handle.h"
#include "support/registry_key.h"
#include "timing_summary.h"

namespace {

constexpr int kDefaultRepetitions = 15;
constexpr int kHighestNaivePort = 255;

// {86E0D1E0-8089-11D0-9CE4-08003E301F73}: the COM-port device interface class.
const GUID kComPortInterface = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

enum class Floor { None, SetupApi, SerialComm, NaiveScan };

// One timed run: its time and what it found (ports, interfaces or values).
struct Measurement {
    double milliseconds = 0.0;
    int found = 0;
};

// What a figure is to the others: a measure of the product, a floor the
// product's figures are compared with, or the open test, also shown per port.
enum class Role { Product, SetupApiFloor, SerialCommFloor, NaiveScan, OpenTest };

struct Figure {
    const char* name;
    Measurement (*run)();
    Role role;
    Floor floor;
    std::vector<double> samples;
    int found = 0;
};

class CDroppedLog final : public CLogSink {
public:
    void AppendLog(const char*) override {}
};

// A device-information set, destroyed when its holder leaves scope.
class CDeviceSet {
public:
    explicit CDeviceSet(HDEVINFO set) : set_(set) {}
    ~CDeviceSet() {
        if (IsValid()) {
            SetupDiDestroyDeviceInfoList(set_);
        }
    }
    CDeviceSet(const CDeviceSet&) = delete;
    CDeviceSet& operator=(const CDeviceSet&) = delete;

    bool IsValid() const { return set_ != INVALID_HANDLE_VALUE && set_ != nullptr; }
    HDEVINFO Get() const { return set_; }

private:
    HDEVINFO set_;
};

double TicksPerMillisecond() {
    static double perMillisecond = 0.0;
    if (perMillisecond == 0.0) {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        perMillisecond = static_cast<double>(frequency.QuadPart) / 1000.0;
    }
    return perMillisecond;
}

LONGLONG Now() {
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart;
}

double MillisecondsSince(LONGLONG start) {
    return static_cast<double>(Now() - start) / TicksPerMillisecond();
}

int CountPresentPorts() {
    int present = 0;
    for (const PortRecord& slot : portTable.slots) {
        present += slot.kind != Absent;
    }
    return present;
}

// Times `pass` from an empty port table and counts the ports it recorded.
template <typename Pass>
Measurement TimePass(Pass pass) {
    ResetPortTable();
    const LONGLONG start = Now();
    pass();
    Measurement measured;
    measured.milliseconds = MillisecondsSince(start);
    measured.found = CountPresentPorts();
    return measured;
}

Measurement WholeDiscovery() {
    CDroppedLog dropped;
    return TimePass([&dropped] { DiscoverPorts(&dropped); });
}

Measurement InterfacePass() {
    return TimePass([] { ScanInterfaceClasses(); });
}

Measurement SerialCommPass() {
    return TimePass([] { ScanSerialCommMap(); });
}

Measurement RegistryWalk() {
    return TimePass([] { ScanDeviceTree("SYSTEM\\CURRENTCONTROLSET\\ENUM"); });
}

Measurement SpoolerPass() {
    return TimePass([] { ScanSpoolerPorts(); });
}

// The present COM-port interfaces, enumerated to the end and nothing read.
Measurement SetupApiFloor() {
    Measurement measured;
    const LONGLONG start = Now();
    CDeviceSet set(SetupDiGetClassDevsA(&kComPortInterface, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (set.IsValid()) {
        SP_DEVICE_INTERFACE_DATA data = {};
        data.cbSize = sizeof data;
        while (SetupDiEnumDeviceInterfaces(set.Get(), nullptr, &kComPortInterface,
                                           static_cast<DWORD>(measured.found), &data)) {
            ++measured.found;
        }
    }
    measured.milliseconds = MillisecondsSince(start);
    return measured;
}

// Every value of the serial-port map read once, into buffers that always fit.
Measurement SerialCommFloor() {
    Measurement measured;
    const LONGLONG start = Now();
    CRegistryKey map;
    if (map.Open(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", KEY_READ) ==
        ERROR_SUCCESS) {
        static char name[16384];
        static BYTE data[65536];
        for (;;) {
            DWORD nameLength = sizeof name;
            DWORD dataLength = sizeof data;
            if (RegEnumValueA(map.Get(), static_cast<DWORD>(measured.found), name, &nameLength,
                              nullptr, nullptr, data, &dataLength) != ERROR_SUCCESS) {
                break;
            }
            ++measured.found;
        }
    }
    measured.milliseconds = MillisecondsSince(start);
    return measured;
}

// What simple tools do instead: try to open every name from COM1 to COM255.
Measurement NaiveScan() {
    Measurement measured;
    const LONGLONG start = Now();
    for (int n = 1; n <= kHighestNaivePort; ++n) {
        char name[16];
        std::snprintf(name, sizeof name, "\\\\.\\COM%d", n);
        CHandle port(
            CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        measured.found += port.IsValid();
    }
    measured.milliseconds = MillisecondsSince(start);
    return measured;
}

// The open test of a run: every present port probed once, as the Test button
// does after discovery. `found` is the number of ports the probe opens; a
// Bluetooth port answers from the table without being opened.
Measurement OpenTest() {
    CDroppedLog dropped;
    DiscoverPorts(&dropped);
    Measurement measured;
    const LONGLONG start = Now();
    for (uint32_t index = 0; index < static_cast<uint32_t>(kPortCount); ++index) {
        const uint8_t kind = portTable.slots[index].kind;
        if (kind != Absent) {
            ProbePort(index);
            measured.found += kind != Bluetooth;
        }
    }
    measured.milliseconds = MillisecondsSince(start);
    return measured;
}

struct WindowsVersion {
    DWORD platform = 0;
    DWORD major = 0;
    DWORD minor = 0;
    WORD servicePack = 0;
};

WindowsVersion RunningVersion() {
    OSVERSIONINFOEXA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    WindowsVersion version;
    if (GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info))) {
        version = {info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion,
                   info.wServicePackMajor};
    }
    return version;
}

// The floor of the pass the running version's discovery takes.
Floor DiscoveryFloor(const WindowsVersion& version) {
    if (version.platform != VER_PLATFORM_WIN32_NT || version.major < 4) {
        return Floor::None;
    }
    return version.major == 4 ? Floor::SerialComm : Floor::SetupApi;
}

const char* PassName(const WindowsVersion& version) {
    switch (DiscoveryFloor(version)) {
        case Floor::SetupApi:
            return "Setup-API interface pass";
        case Floor::SerialComm:
            return "SERIALCOMM pass";
        default:
            return version.platform == VER_PLATFORM_WIN32_WINDOWS ? "spooler pass" : "none";
    }
}

Role FloorRole(Floor floor) {
    switch (floor) {
        case Floor::SetupApi:
            return Role::SetupApiFloor;
        case Floor::SerialComm:
            return Role::SerialCommFloor;
        case Floor::NaiveScan:
            return Role::NaiveScan;
        case Floor::None:
            break;
    }
    return Role::Product;
}

const Figure* FloorFigure(const std::vector<Figure>& figures, Floor floor) {
    if (floor == Floor::None) {
        return nullptr;
    }
    for (const Figure& figure : figures) {
        if (figure.role == FloorRole(floor)) {
            return &figure;
        }
    }
    return nullptr;
}

std::vector<Figure> Figures(const WindowsVersion& version, bool discoveryOnly) {
    std::vector<Figure> figures = {
        {"discovery (DiscoverPorts)", WholeDiscovery, Role::Product, DiscoveryFloor(version), {}},
        {"Setup-API interface pass", InterfacePass, Role::Product, Floor::SetupApi, {}},
        {"SERIALCOMM pass", SerialCommPass, Role::Product, Floor::SerialComm, {}},
        {"full registry walk", RegistryWalk, Role::Product, Floor::SerialComm, {}},
        {"spooler pass", SpoolerPass, Role::Product, Floor::None, {}},
        {"floor: Setup-API interfaces", SetupApiFloor, Role::SetupApiFloor, Floor::None, {}},
        {"floor: SERIALCOMM values", SerialCommFloor, Role::SerialCommFloor, Floor::None, {}},
        {"naive scan COM1-COM255", NaiveScan, Role::NaiveScan, Floor::None, {}},
        {"open test, ports opened", OpenTest, Role::OpenTest, Floor::None, {}},
    };
    if (discoveryOnly) {
        const Figure* floor = FloorFigure(figures, DiscoveryFloor(version));
        const Figure* naive = FloorFigure(figures, Floor::NaiveScan);
        std::vector<Figure> kept;
        for (const Figure& figure : figures) {
            if (&figure == &figures.front() || &figure == floor || &figure == naive) {
                kept.push_back(figure);
            }
        }
        figures = kept;
    }
    return figures;
}

// Each repetition runs every figure once, so that whatever slows the machine
// down for a while is shared out among them. A first, untimed round loads
// the DLLs (setupapi is bound on its first call) and warms Wine's caches.
void RunRepetitions(std::vector<Figure>& figures, int repetitions) {
    for (Figure& figure : figures) {
        figure.run();
    }
    for (int round = 0; round < repetitions; ++round) {
        for (Figure& figure : figures) {
            const Measurement measured = figure.run();
            figure.samples.push_back(measured.milliseconds);
            figure.found = measured.found;
        }
    }
}

const char* FloorLabel(Floor floor) {
    switch (floor) {
        case Floor::SetupApi:
            return "Setup-API interfaces";
        case Floor::SerialComm:
            return "SERIALCOMM values";
        case Floor::NaiveScan:
            return "naive scan";
        case Floor::None:
            break;
    }
    return "-";
}

void PrintRow(const char* name, int found, const TimingSummary& times, const char* floorLabel,
              const TimingSummary* floorTimes) {
    const double noFloor = -1.0;
    const double minimumRatio =
        floorTimes != nullptr ? RatioToFloor(times.minimum, floorTimes->minimum) : noFloor;
    const double medianRatio =
        floorTimes != nullptr ? RatioToFloor(times.median, floorTimes->median) : noFloor;
    std::printf("| %s | %d | %s | %s | %s | %s | %s |\n", name, found,
                FormatMilliseconds(times.minimum).c_str(), FormatMilliseconds(times.median).c_str(),
                floorLabel, FormatRatio(minimumRatio).c_str(), FormatRatio(medianRatio).c_str());
}

void PrintTable(const std::vector<Figure>& figures) {
    std::printf("| figure | found | min ms | median ms | floor | min / floor | median / floor |\n");
    std::printf("|---|---|---|---|---|---|---|\n");
    const Figure* naive = FloorFigure(figures, Floor::NaiveScan);
    const TimingSummary naiveTimes = Summarize(naive->samples);
    for (const Figure& figure : figures) {
        const TimingSummary times = Summarize(figure.samples);
        const Figure* floor = FloorFigure(figures, figure.floor);
        const TimingSummary floorTimes = floor != nullptr ? Summarize(floor->samples) : times;
        PrintRow(figure.name, figure.found, times, FloorLabel(figure.floor),
                 floor != nullptr ? &floorTimes : nullptr);
        if (figure.role == Role::OpenTest && figure.found > 0) {
            TimingSummary perPort = times;
            perPort.minimum /= figure.found;
            perPort.median /= figure.found;
            PrintRow("open test, per port opened", figure.found, perPort, "-", nullptr);
        }
    }
    // The product's discovery beside what a naive scan costs on this machine.
    const TimingSummary discovery = Summarize(figures.front().samples);
    PrintRow("discovery against the naive scan", figures.front().found, discovery,
             FloorLabel(Floor::NaiveScan), &naiveTimes);
}

struct Options {
    int repetitions = kDefaultRepetitions;
    std::string machine = "this machine";
    bool discoveryOnly = false;
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--repeat") == 0 && hasValue) {
            options.repetitions = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--machine") == 0 && hasValue) {
            options.machine = argv[++i];
        } else if (std::strcmp(argv[i], "--discovery-only") == 0) {
            options.discoveryOnly = true;
        } else {
            return false;
        }
    }
    return options.repetitions > 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: wine_discovery_benchmark [--repeat N] [--machine LABEL] "
                     "[--discovery-only]\n");
        return 2;
    }
    const WindowsVersion version = RunningVersion();
    std::printf("machine: %s\n", options.machine.c_str());
    std::printf("windows: platform %lu, %lu.%lu, service pack %u; discovery takes the %s\n",
                static_cast<unsigned long>(version.platform),
                static_cast<unsigned long>(version.major),
                static_cast<unsigned long>(version.minor), version.servicePack, PassName(version));
    std::printf("repetitions: %d\n\n", options.repetitions);
    std::vector<Figure> figures = Figures(version, options.discoveryOnly);
    RunRepetitions(figures, options.repetitions);
    PrintTable(figures);
    std::fflush(stdout);
    return 0;
}
