// Fuzz target: the input is read as a list of things to build into a machine
// (a Windows version, device instances with their interfaces, the serial-port
// map, WIDCOMM pairings, the spooler's ports, serial devices, Setup-API and
// code-page settings, and faults armed for the run). The program then runs on
// that machine from discovery to the result file and must end with nothing
// held and a sound report.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "platform/platform.h"
#include "sim/control.h"
#include "whole_run.h"

namespace {

constexpr char kPortsClass[] = "{4D36E978-E325-11CE-BFC1-08002BE10318}";
constexpr char kModemClass[] = "{4D36E96D-E325-11CE-BFC1-08002BE10318}";
constexpr char kComPortInterface[] = "{86E0D1E0-8089-11D0-9CE4-08003E301F73}";
constexpr char kWidcomm[] = "SOFTWARE\\WIDCOMM\\btConfig\\";
constexpr DWORD kRealStatuses[] = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED,
                                   ERROR_NOT_ENOUGH_MEMORY, ERROR_MORE_DATA, ERROR_NO_MORE_ITEMS};
constexpr int kMostThings = 48;

struct Fault {
    bool allocation = false;
    std::string api;
    DWORD status = 0;
    unsigned nth = 1;
    unsigned count = 1;
};

class MachineBuilder {
public:
    explicit MachineBuilder(FuzzedDataProvider& input) : input_(input) {}

    void Build() {
        ChooseVersion();
        for (int i = 0; i < kMostThings && input_.remaining_bytes() > 0; ++i) {
            AddOneThing();
        }
        sim::ProfileError error;
        sim::LoadProfile("REGEDIT4\n" + machineSections_, &error);
    }

    // What the armed faults allow: a run cut short, and a list box whose
    // entries differ from the file when its own calls fail.
    fuzzcheck::Leeway Leeway() const {
        fuzzcheck::Leeway leeway;
        leeway.faultsArmed = !faults_.empty();
        for (const Fault& fault : faults_) {
            leeway.listBoxFaulted |= fault.api == "SendMessageA";
        }
        return leeway;
    }

    void ArmFaults() const {
        for (const Fault& fault : faults_) {
            if (fault.allocation) {
                sim::FailAllocation(fault.nth);
            } else {
                sim::FailCall(fault.api, fault.status, fault.nth, fault.count);
            }
        }
    }

private:
    void AddOneThing() {
        switch (input_.ConsumeIntegralInRange(0, 9)) {
            case 0:
            case 1:
                AddDeviceInstance();
                break;
            case 2:
                AddSerialCommEntry();
                break;
            case 3:
                AddWidcommPairing();
                break;
            case 4:
                AddSpoolerPort();
                break;
            case 5:
                AddSerialDevice();
                break;
            case 6:
                AddAnyValue();
                break;
            case 7:
                AddFault();
                break;
            case 8:
                AddMachineSetting();
                break;
            default:
                AddKey(input_.ConsumeBool() ? "SOFTWARE\\Socket Communications"
                                            : std::string(kWidcomm) + "AutoConnect");
                break;
        }
    }

    void ChooseVersion() {
        sim::Version version;
        switch (input_.ConsumeIntegralInRange(0, 5)) {
            case 0:
                version.platformId = VER_PLATFORM_WIN32_WINDOWS;
                version.major = 4;
                version.minor = input_.PickValueInArray({0u, 10u, 90u});
                break;
            case 1:
                version.major = input_.PickValueInArray({3u, 4u});
                version.minor = version.major == 3 ? 51 : 0;
                break;
            case 2:
                version.major = input_.PickValueInArray({5u, 6u, 10u});
                version.minor = input_.ConsumeIntegralInRange(0u, 3u);
                break;
            case 3:
                version.platformId = input_.ConsumeIntegral<uint8_t>();
                version.major = input_.ConsumeIntegral<uint8_t>();
                version.minor = input_.ConsumeIntegral<uint8_t>();
                break;
            default:
                break;  // the default machine
        }
        version.servicePackMajor = input_.ConsumeIntegralInRange<WORD>(0, 6);
        version.csdVersion = input_.ConsumeRandomLengthString(130);
        version.extendedQueryFails = input_.ConsumeBool();
        sim::SetVersion(version);
    }

    // Where the device tree lives on the version being built.
    std::string EnumRoot() const {
        return sim::CurrentVersion().platformId == VER_PLATFORM_WIN32_WINDOWS
                   ? "Enum\\"
                   : "SYSTEM\\CurrentControlSet\\Enum\\";
    }

    void AddDeviceInstance() {
        const std::string instanceId = PickText({"ACPI", "USB", "BTHENUM", "ROOT", "FTDIBUS"}) +
                                       "\\" + SomeName() + "\\" + SomeName();
        const std::string instance = EnumRoot() + instanceId;
        PutString(instance, "Class", PickText({"Ports", "Modem", "PortsAndMore", "Bluetooth"}));
        PutString(instance, "ClassGUID",
                  PickText({kPortsClass, kModemClass, "{4d36e978-e325-11ce-bfc1-08002be10318}"}));
        PutText(instance, "DeviceDesc");
        const std::string portKey =
            input_.ConsumeBool() ? instance : instance + "\\Device Parameters";
        PutString(portKey, "PortName", SomePortName());
        if (input_.ConsumeBool()) {
            AddInterface(instanceId);
        }
    }

    void AddInterface(const std::string& instanceId) {
        std::string mangled = instanceId;
        for (char& c : mangled) {
            c = c == '\\' ? '#' : c;
        }
        const std::string entry =
            std::string("SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\") + kComPortInterface +
            "\\##?#" + mangled + "#" + kComPortInterface;
        PutString(entry, "DeviceInstance", input_.ConsumeBool() ? instanceId : SomeText());
        PutDword(entry + "\\#\\Control", "Linked", input_.ConsumeIntegralInRange(0u, 2u));
    }

    void AddSerialCommEntry() {
        PutString("HARDWARE\\DEVICEMAP\\SERIALCOMM", "\\Device\\" + SomeName(), SomePortName());
    }

    void AddWidcommPairing() {
        const std::string entry =
            std::string(kWidcomm) + "AutoConnect\\" +
            (input_.ConsumeBool() ? std::to_string(input_.ConsumeIntegralInRange(0, 99))
                                  : SomeName());
        const std::vector<uint8_t> address =
            input_.ConsumeBytes<uint8_t>(input_.ConsumeIntegralInRange(0, 8));
        PutBytes(entry, "BDAddress", REG_BINARY, address);
        if (input_.ConsumeBool()) {
            PutText(entry, "BDName");
        } else {
            PutText(entry + "\\BDName", "");
        }
        if (input_.ConsumeBool() && address.size() == 6) {
            char name[18];
            std::snprintf(name, sizeof name, "%02x:%02x:%02x:%02x:%02x:%02x", address[0],
                          address[1], address[2], address[3], address[4], address[5]);
            PutBytes(std::string(kWidcomm) + "Devices\\" + name, "LinkKey", REG_BINARY,
                     input_.ConsumeBytes<uint8_t>(16));
        }
    }

    void AddSpoolerPort() {
        const std::string name = input_.ConsumeBool() ? SomePortName() + ":" : SomeText();
        machineSections_ += "[@spooler]\n" + Quoted(name) + "=" + Quoted(SomeText()) + "\n";
    }

    void AddSerialDevice() {
        static const char* const kinds[] = {"present", "absent", "busy", "nostate", "slow:1500"};
        machineSections_ += "[@serial]\nCOM" +
                            std::to_string(input_.ConsumeIntegralInRange(1, 256)) + "=" +
                            input_.PickValueInArray(kinds) + "\n";
    }

    void AddMachineSetting() {
        switch (input_.ConsumeIntegralInRange(0, 3)) {
            case 0:
                machineSections_ += "[@setupapi]\n" + SetupApiSetting() + "\n";
                break;
            case 1:
                machineSections_ +=
                    "[@codepage]\nacp=" +
                    std::to_string(input_.PickValueInArray({1252, 932, 936, 949, 950})) + "\n";
                break;
            case 2:
                machineSections_ += "[@spooler]\nneeded=0\n";
                break;
            default:
                machineSections_ += "[@spooler]\nsecond=empty\n";
                break;
        }
    }

    // A refused set, no setupapi.dll, or one without a function the pass needs.
    std::string SetupApiSetting() {
        switch (input_.ConsumeIntegralInRange(0, 2)) {
            case 0:
                return std::string("fail=") +
                       (input_.ConsumeBool() ? kComPortInterface : kPortsClass);
            case 1:
                return "dll=missing";
            default:
                return "missing=\"" +
                       PickText({"SetupDiGetClassDevsA", "SetupDiEnumDeviceInterfaces",
                                 "SetupDiGetDeviceInterfaceDetailA",
                                 "SetupDiDestroyDeviceInfoList"}) +
                       "\"";
        }
    }

    // A value of any type and bytes, in one of the keys the program reads.
    void AddAnyValue() {
        const std::string key = PickText(
            {"HARDWARE\\DEVICEMAP\\SERIALCOMM", "SOFTWARE\\WIDCOMM\\btConfig\\AutoConnect\\4",
             "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
             "SYSTEM\\CurrentControlSet\\Enum\\ACPI\\PNP0501\\1", "Enum\\ROOT\\PORTS\\0000"});
        const std::string name = PickText({"PortName", "DeviceDesc", "Class", "ClassGUID", "BDName",
                                           "BDAddress", "CurrentVersion", ""});
        const DWORD type = input_.ConsumeIntegralInRange<DWORD>(0, 8);
        PutBytes(key, name, type,
                 input_.ConsumeBytes<uint8_t>(input_.ConsumeIntegralInRange(0, 300)));
    }

    void AddFault() {
        // Calls that release something are left to the fault sweep: what a
        // failed one could not release stays held, which the checks here
        // would take for a leak.
        static const char* const apis[] = {"RegOpenKeyExA",
                                           "RegEnumKeyExA",
                                           "RegEnumValueA",
                                           "RegQueryValueExA",
                                           "SetupDiGetClassDevsA",
                                           "SetupDiEnumDeviceInterfaces",
                                           "SetupDiGetDeviceInterfaceDetailA",
                                           "EnumPortsA",
                                           "GetVersionExA",
                                           "GetSystemDirectoryA",
                                           "LoadLibraryA",
                                           "GetProcAddress",
                                           "CreateFileA",
                                           "GetCommState",
                                           "WriteFile",
                                           "QueryPerformanceFrequency",
                                           "QueryPerformanceCounter",
                                           "GlobalAlloc",
                                           "GlobalLock",
                                           "SendMessageA"};
        Fault fault;
        fault.allocation = input_.ConsumeBool();
        fault.api = input_.PickValueInArray(apis);
        fault.status = input_.PickValueInArray(kRealStatuses);
        // Runs make from tens to thousands of calls and allocations.
        fault.nth = input_.ConsumeIntegralInRange(1u, input_.PickValueInArray({16u, 256u, 4096u}));
        fault.count = input_.ConsumeIntegralInRange(0u, 3u);
        faults_.push_back(fault);
    }

    // Values --------------------------------------------------------------

    void PutBytes(const std::string& keyPath, const std::string& name, DWORD type,
                  std::vector<uint8_t> bytes) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &key, nullptr) != ERROR_SUCCESS) {
            return;
        }
        const DWORD length = static_cast<DWORD>(bytes.size());
        // Windows looks one byte past a string that the length leaves
        // unterminated; a non-NUL byte there keeps the value unterminated.
        bytes.push_back('x');
        RegSetValueExA(key, name.c_str(), 0, type, bytes.data(), length);
        RegCloseKey(key);
    }

    void PutString(const std::string& keyPath, const std::string& name, const std::string& text) {
        std::vector<uint8_t> bytes(text.begin(), text.end());
        bytes.push_back(0);
        PutBytes(keyPath, name, REG_SZ, bytes);
    }

    // A text of any length, as a terminated or an unterminated string.
    void PutText(const std::string& keyPath, const std::string& name) {
        const std::string text = SomeText();
        std::vector<uint8_t> bytes(text.begin(), text.end());
        if (input_.ConsumeBool()) {
            bytes.push_back(0);
        }
        PutBytes(keyPath, name, input_.ConsumeBool() ? REG_SZ : REG_EXPAND_SZ, bytes);
    }

    void PutDword(const std::string& keyPath, const std::string& name, DWORD number) {
        std::vector<uint8_t> bytes;
        for (int shift = 0; shift < 32; shift += 8) {
            bytes.push_back(static_cast<uint8_t>(number >> shift));
        }
        PutBytes(keyPath, name, REG_DWORD, bytes);
    }

    void AddKey(const std::string& keyPath) { PutBytes(keyPath, "", REG_SZ, {0}); }

    // Texts ---------------------------------------------------------------

    // Lengths around the program's buffers come up often.
    std::string SomeText() {
        static const size_t lengths[] = {0, 1, 39, 40, 41, 127, 128, 129, 255, 256, 257, 300};
        if (input_.ConsumeBool()) {
            std::string text = input_.ConsumeRandomLengthString(320);
            return text;
        }
        const size_t length = input_.PickValueInArray(lengths);
        std::string text = input_.ConsumeRandomLengthString(16);
        if (text.empty()) {
            text = "Bluetooth USB ";
        }
        std::string repeated;
        while (repeated.size() < length) {
            repeated += text;
        }
        repeated.resize(length);
        return repeated;
    }

    std::string SomeName() {
        std::string name = input_.ConsumeRandomLengthString(12);
        for (char& c : name) {
            if (c == '\\' || c == '\0') {
                c = '_';
            }
        }
        return name.empty() ? "0" : name;
    }

    // "COMn" with n mostly from 0 to 300, now and then any text.
    std::string SomePortName() {
        if (input_.ConsumeIntegralInRange(0, 7) == 0) {
            return SomeText();
        }
        const std::string prefix = PickText({"COM", "com", "CoM", "LPT", "COM0"});
        return prefix + std::to_string(input_.ConsumeIntegralInRange(0, 300));
    }

    std::string PickText(std::initializer_list<const char*> choices) {
        const size_t pick = input_.ConsumeIntegralInRange<size_t>(0, choices.size() - 1);
        return *(choices.begin() + pick);
    }

    // A profile's quoted text: backslashes and quotes escaped, and no line
    // breaks, which would end the line.
    static std::string Quoted(const std::string& text) {
        std::string quoted = "\"";
        for (char c : text) {
            if (c == '\r' || c == '\n' || c == '\0') {
                continue;
            }
            if (c == '\\' || c == '"') {
                quoted += '\\';
            }
            quoted += c;
        }
        return quoted + "\"";
    }

    FuzzedDataProvider& input_;
    std::string machineSections_;
    std::vector<Fault> faults_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    wholerun::ResetMachineAndPool();
    FuzzedDataProvider input(data, size);
    MachineBuilder builder(input);
    builder.Build();
    wholerun::Hooks hooks;
    hooks.beforeRun = [&builder] { builder.ArmFaults(); };
    fuzzcheck::RequireSoundRun(wholerun::RunWholeProgram(hooks), builder.Leeway());
    return 0;
}
