// The machine-build fuzz target's reading of its bytes: first how the
// program runs (a whole run, or from its entry point with a person's session),
// then a list of things to build into a machine (a Windows version and process
// kind, device instances with their interfaces, the serial-port map, WIDCOMM
// pairings in either registry view, the spooler's ports, serial devices,
// values and keys anywhere, lines of any machine section, and faults armed
// for the run). The seed generator writes seeds in the same format.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "platform/platform.h"
#include "sim/control.h"
#include "whole_run.h"

namespace machinebuild {

constexpr char kPortsClass[] = "{4D36E978-E325-11CE-BFC1-08002BE10318}";
constexpr char kModemClass[] = "{4D36E96D-E325-11CE-BFC1-08002BE10318}";
constexpr char kComPortInterface[] = "{86E0D1E0-8089-11D0-9CE4-08003E301F73}";
constexpr DWORD kRealStatuses[] = {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED,
                                   ERROR_NOT_ENOUGH_MEMORY, ERROR_MORE_DATA, ERROR_NO_MORE_ITEMS};
constexpr int kMostThings = 256;

// Choices of the format that the seed generator writes too.
enum Thing {
    kDeviceInstance = 0,  // and 1
    kSerialCommEntry = 2,
    kWidcommPairing,
    kSpoolerPort,
    kSerialDevice,
    kAnyValue,
    kFault,
    kMachineSetting,
    kStackKey,
    kValueAnywhere,
    kSectionLine,
    kLastThing = kSectionLine
};
constexpr int kDefaultVersion = 4;
constexpr std::size_t kMostPathBytes = 512;
constexpr std::size_t kMostNameBytes = 256;
constexpr std::size_t kMostValueBytes = 2048;
constexpr DWORD kMostValueType = 11;  // REG_QWORD
constexpr std::size_t kMostLineBytes = 400;
constexpr std::size_t kMostModulePathBytes = 300;
const char* const kSections[] = {"version", "serial", "codepage", "setupapi",
                                 "spooler", "files",  "access"};
const sim::ProcessKind kProcessKinds[] = {sim::ProcessKind::Native32, sim::ProcessKind::Wow64,
                                          sim::ProcessKind::Native64};
// Where the WIDCOMM stack's keys are: the 64-bit view (or a 32-bit Windows'
// only one), or the 32-bit view of 64-bit Windows.
const char* const kWidcommRoots[] = {"SOFTWARE\\WIDCOMM\\btConfig\\",
                                     "SOFTWARE\\Wow6432Node\\WIDCOMM\\btConfig\\"};

struct Fault {
    bool allocation = false;
    std::string api;
    DWORD status = 0;
    unsigned nth = 1;
    unsigned count = 1;
};

// The access flag that reaches the registry's raw layout: the 64-bit view on
// 64-bit Windows; none on 32-bit Windows, which may not know the flag.
inline REGSAM RawView() {
    return sim::CurrentProcessKind() == sim::ProcessKind::Native32 ? 0 : KEY_WOW64_64KEY;
}

class MachineBuilder {
public:
    explicit MachineBuilder(FuzzedDataProvider& input) : input_(input) {}

    void Build() {
        fromStart_ = input_.ConsumeBool();
        if (fromStart_) {
            ChooseSession();
        }
        ChooseVersion();
        for (int i = 0; i < kMostThings && input_.remaining_bytes() > 0; ++i) {
            AddOneThing();
        }
        // Each machine line on its own, so that a malformed one drops no other.
        for (const std::string& fragment : fragments_) {
            sim::ProfileError error;
            sim::LoadProfile("REGEDIT4\n" + fragment, &error);
        }
    }

    // The program on the machine built, with the faults armed just before.
    wholerun::Outcome Run() const {
        wholerun::Hooks hooks;
        hooks.beforeRun = [this] { ArmFaults(); };
        return fromStart_ ? wholerun::RunFromStart(session_, hooks)
                          : wholerun::RunWholeProgram(hooks);
    }

    // What the armed faults allow.
    fuzzcheck::Leeway Leeway() const {
        fuzzcheck::Leeway leeway;
        leeway.faultsArmed = !faults_.empty();
        for (const Fault& fault : faults_) {
            if (fault.allocation) {
                continue;  // its api was not armed
            }
            leeway.allowance.testMayStayDisabled |= fault.api == "EnableWindow";
            leeway.reportCallFaulted |= fault.api == "SendMessageA" || fault.api == "GetDlgItem" ||
                                        fault.api == "MessageBoxA";
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
        switch (input_.ConsumeIntegralInRange(0, static_cast<int>(kLastThing))) {
            case kSerialCommEntry:
                AddSerialCommEntry();
                break;
            case kWidcommPairing:
                AddWidcommPairing();
                break;
            case kSpoolerPort:
                AddSpoolerPort();
                break;
            case kSerialDevice:
                AddSerialDevice();
                break;
            case kAnyValue:
                AddAnyValue();
                break;
            case kFault:
                AddFault();
                break;
            case kMachineSetting:
                AddMachineSetting();
                break;
            case kStackKey:
                AddKey(input_.ConsumeBool() ? "SOFTWARE\\Socket Communications"
                                            : WidcommRoot() + "AutoConnect");
                break;
            case kValueAnywhere:
                AddValueAnywhere();
                break;
            case kSectionLine:
                fragments_.push_back("[@" + std::string(input_.PickValueInArray(kSections)) +
                                     "]\n" + input_.ConsumeRandomLengthString(kMostLineBytes));
                break;
            default:
                AddDeviceInstance();
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
        sim::SetProcessKind(input_.PickValueInArray(kProcessKinds));
    }

    // A person at the program: an exe path like the ones users have, or any
    // text; the rest as wholerun::Session says.
    void ChooseSession() {
        session_.modulePath =
            input_.ConsumeBool()
                ? PickText({"C:\\Tools\\Varnobel.exe", "C:\\Varnobel.exe", "Varnobel.exe",
                            "C:Varnobel.exe", "\\\\server\\share\\Varnobel.exe",
                            "D:\\A\\B c\\Varnobel.v2.exe"})
                : input_.ConsumeRandomLengthString(kMostModulePathBytes);
        session_.withoutResources = input_.ConsumeBool();
        session_.testPresses = input_.ConsumeIntegralInRange(0, 2);
        session_.pressEnter = input_.ConsumeBool();
        session_.paintMinimised = input_.ConsumeBool();
        session_.clientWidth = input_.ConsumeIntegralInRange(0, 600);
        session_.clientHeight = input_.ConsumeIntegralInRange(0, 600);
        session_.leave = input_.PickValueInArray({wholerun::Session::Leave::Exit,
                                                  wholerun::Session::Leave::Escape,
                                                  wholerun::Session::Leave::CloseBox});
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
        const std::string root = WidcommRoot();
        const std::string entry =
            root + "AutoConnect\\" +
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
            PutBytes(root + "Devices\\" + name, "LinkKey", REG_BINARY,
                     input_.ConsumeBytes<uint8_t>(16));
        }
    }

    std::string WidcommRoot() { return input_.PickValueInArray(kWidcommRoots); }

    void AddSpoolerPort() {
        const std::string name = input_.ConsumeBool() ? SomePortName() + ":" : SomeText();
        fragments_.push_back("[@spooler]\n" + Quoted(name) + "=" + Quoted(SomeText()));
    }

    void AddSerialDevice() {
        static const char* const kinds[] = {"present", "absent", "busy", "nostate", "slow:1500"};
        fragments_.push_back("[@serial]\nCOM" +
                             std::to_string(input_.ConsumeIntegralInRange(1, 256)) + "=" +
                             input_.PickValueInArray(kinds));
    }

    void AddMachineSetting() {
        switch (input_.ConsumeIntegralInRange(0, 5)) {
            case 0:
                fragments_.push_back("[@setupapi]\n" + SetupApiSetting());
                break;
            case 1:
                fragments_.push_back("[@codepage]\nacp=" + std::to_string(input_.PickValueInArray(
                                                               {1252, 932, 936, 949, 950})));
                break;
            case 2:
                fragments_.push_back("[@spooler]\nneeded=0");
                break;
            case 3:
                fragments_.push_back("[@spooler]\nsecond=empty");
                break;
            case 4:
                fragments_.push_back("[@files]\n" + FilesSetting());
                break;
            default:
                fragments_.push_back(
                    "[@access]\nHKEY_LOCAL_MACHINE\\" +
                    PickText({"SOFTWARE", "SOFTWARE\\WIDCOMM", "SOFTWARE\\Wow6432Node", "SYSTEM",
                              "SYSTEM\\CurrentControlSet\\Enum", "HARDWARE\\DEVICEMAP"}) +
                    "=read");
                break;
        }
    }

    // The result file where the program writes it: read-only, held by another
    // program sharing it or not, or on a disk with little room.
    std::string FilesSetting() {
        if (input_.ConsumeBool()) {
            return "diskspace=" + std::to_string(input_.ConsumeIntegralInRange(0, 4096));
        }
        return PickText({"readonly", "held", "locked"}) +
               std::string("=\"C:\\\\Tools\\\\ComList.txt\"");
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

    // A value of any type and bytes, or a key with no value, at any path of
    // either root, in the registry's raw layout (64-bit Windows' 32-bit view
    // below SOFTWARE\Wow6432Node).
    void AddValueAnywhere() {
        const HKEY root = input_.ConsumeBool() ? HKEY_LOCAL_MACHINE : HKEY_CLASSES_ROOT;
        const std::string path = input_.ConsumeRandomLengthString(kMostPathBytes);
        if (!input_.ConsumeBool()) {
            if (const HKEY key = CreateKey(root, path)) {
                RegCloseKey(key);
            }
            return;
        }
        const std::string name = input_.ConsumeRandomLengthString(kMostNameBytes);
        const DWORD type = input_.ConsumeIntegralInRange<DWORD>(0, kMostValueType);
        PutBytes(root, path, name, type,
                 input_.ConsumeBytes<uint8_t>(
                     input_.ConsumeIntegralInRange<std::size_t>(0, kMostValueBytes)));
    }

    void AddFault() {
        // Calls that release something are left to the fault sweep: what a
        // failed one could not release stays held, which the checks here
        // would take for a leak. A failed EnableWindow may leave Test
        // disabled, which the checks allow.
        static const std::vector<const char*> apis = [] {
            std::vector<const char*> names;
            for (const wholerun::FaultPoint& point : wholerun::kFaultPoints) {
                if (!point.releases) {
                    names.push_back(point.function);
                }
            }
            return names;
        }();
        Fault fault;
        fault.allocation = input_.ConsumeBool();
        fault.api = apis[input_.ConsumeIntegralInRange<std::size_t>(0, apis.size() - 1)];
        fault.status = input_.PickValueInArray(kRealStatuses);
        // Runs make from tens to thousands of calls and allocations.
        fault.nth = input_.ConsumeIntegralInRange(1u, input_.PickValueInArray({16u, 256u, 4096u}));
        fault.count = input_.ConsumeIntegralInRange(0u, 3u);
        faults_.push_back(fault);
    }

    // Values --------------------------------------------------------------

    // Keys are made in the registry's raw layout, whatever the process kind.
    static HKEY CreateKey(HKEY root, const std::string& keyPath) {
        HKEY key = nullptr;
        if (RegCreateKeyExA(root, keyPath.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | RawView(),
                            nullptr, &key, nullptr) != ERROR_SUCCESS) {
            return nullptr;
        }
        return key;
    }

    void PutBytes(const std::string& keyPath, const std::string& name, DWORD type,
                  std::vector<uint8_t> bytes) {
        PutBytes(HKEY_LOCAL_MACHINE, keyPath, name, type, std::move(bytes));
    }

    static void PutBytes(HKEY root, const std::string& keyPath, const std::string& name, DWORD type,
                         std::vector<uint8_t> bytes) {
        const HKEY key = CreateKey(root, keyPath);
        if (key == nullptr) {
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
    bool fromStart_ = false;
    wholerun::Session session_;
    std::vector<std::string> fragments_;  // machine lines, each in its section
    std::vector<Fault> faults_;
};

}  // namespace machinebuild
