// The machine-build target's seeds, made from machine profiles: each
// profile's registry and machine lines as things of the target's own format
// (machine_builder.h), once for a whole run (NAME.run) and once for a session
// from the entry point (NAME.start). Each seed is read back through the
// target's builder, which must make the profile's registry and, run, the
// profile's report; the program fails when one does not.
//   machine_build_seeds DIR PROFILE...
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "fuzz_check.h"
#include "machine_builder.h"
#include "sim/control.h"
#include "whole_run.h"

namespace {

using machinebuild::MachineBuilder;

// Writes what FuzzedDataProvider reads back: strings and bytes from the
// front, integers from the back, each integer's highest byte read first.
class SeedWriter {
public:
    template <typename T>
    void Integral(T min, T max, T value) {
        const uint64_t range = static_cast<uint64_t>(max) - static_cast<uint64_t>(min);
        const uint64_t offset = static_cast<uint64_t>(value) - static_cast<uint64_t>(min);
        int bytes = 0;
        for (std::size_t bit = 0; bit < sizeof(T) * 8 && (range >> bit) > 0; bit += 8) {
            ++bytes;
        }
        for (int i = bytes - 1; i >= 0; --i) {
            back_.push_back(static_cast<char>(offset >> (8 * i)));
        }
    }
    void Bool(bool value) { Integral<uint8_t>(0, 255, value ? 1 : 0); }
    void Pick(std::size_t count, std::size_t index) { Integral<std::size_t>(0, count - 1, index); }
    // A backslash is written twice; a backslash and any other byte end the text.
    void Text(const std::string& text, std::size_t mostBytes) {
        for (std::size_t i = 0; i < text.size() && i < mostBytes; ++i) {
            front_ += text[i] == '\\' ? "\\\\" : std::string(1, text[i]);
        }
        if (text.size() < mostBytes) {
            front_ += "\\.";
        }
    }
    void Bytes(const std::vector<uint8_t>& bytes) { front_.append(bytes.begin(), bytes.end()); }
    std::string Seed() const { return front_ + std::string(back_.rbegin(), back_.rend()); }

private:
    std::string front_;
    std::string back_;
};

// One value, or a key without values or subkeys, in the raw layout.
struct RegistryItem {
    bool localMachine = true;
    std::string path;
    bool hasValue = false;
    std::string name;
    DWORD type = 0;
    std::vector<uint8_t> data;

    bool operator==(const RegistryItem& other) const {
        return std::tie(localMachine, path, hasValue, name, type, data) ==
               std::tie(other.localMachine, other.path, other.hasValue, other.name, other.type,
                        other.data);
    }
};

void Walk(HKEY root, const std::string& path, std::vector<RegistryItem>* items) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | machinebuild::RawView(), &key) !=
        ERROR_SUCCESS) {
        return;
    }
    std::vector<char> name(16384);
    std::vector<uint8_t> data(1 << 16);
    DWORD index = 0;
    for (;; ++index) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        DWORD dataLength = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueA(key, index, name.data(), &nameLength, nullptr, &type, data.data(),
                          &dataLength) != ERROR_SUCCESS) {
            break;
        }
        items->push_back({root == HKEY_LOCAL_MACHINE, path, true, std::string(name.data()), type,
                          std::vector<uint8_t>(data.begin(), data.begin() + dataLength)});
    }
    const bool hasValues = index > 0;
    std::vector<std::string> subkeys;
    for (DWORD i = 0;; ++i) {
        DWORD nameLength = static_cast<DWORD>(name.size());
        if (RegEnumKeyExA(key, i, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        subkeys.push_back((path.empty() ? "" : path + "\\") + name.data());
    }
    RegCloseKey(key);
    if (!hasValues && subkeys.empty() && !path.empty()) {
        items->push_back({root == HKEY_LOCAL_MACHINE, path, false, "", 0, {}});
    }
    for (const std::string& subkey : subkeys) {
        Walk(root, subkey, items);
    }
}

std::vector<RegistryItem> Registry() {
    std::vector<RegistryItem> items;
    Walk(HKEY_LOCAL_MACHINE, "", &items);
    Walk(HKEY_CLASSES_ROOT, "", &items);
    return items;
}

// The lines of the profile's machine sections, each with its section's index
// in the builder's list.
std::vector<std::pair<std::size_t, std::string>> MachineLines(const std::string& text) {
    std::vector<std::pair<std::size_t, std::string>> lines;
    std::istringstream stream(text);
    std::string line;
    int section = -1;
    while (std::getline(stream, line)) {
        line = line.substr(0, line.find_last_not_of(" \t\r") + 1);
        if (!line.empty() && line[0] == '[') {
            section = -1;
            for (std::size_t i = 0; i < std::size(machinebuild::kSections); ++i) {
                if (line == std::string("[@") + machinebuild::kSections[i] + "]") {
                    section = static_cast<int>(i);
                }
            }
        } else if (section >= 0 && !line.empty() && line[0] != ';') {
            lines.emplace_back(section, line);
        }
    }
    return lines;
}

// Sessions the start seeds take in turn.
std::vector<wholerun::Session> Sessions() {
    wholerun::Session twice;
    twice.modulePath = "Varnobel.exe";
    twice.testPresses = 2;
    twice.pressEnter = true;
    twice.paintMinimised = true;
    twice.clientWidth = 33;
    twice.clientHeight = 35;
    twice.leave = wholerun::Session::Leave::Escape;
    wholerun::Session root;
    root.modulePath = "D:\\Varnobel.exe";
    root.leave = wholerun::Session::Leave::CloseBox;
    return {wholerun::Session(), twice, root};
}

std::string MakeSeed(const std::string& profile, const wholerun::Session* session,
                     std::string* problem) {
    SeedWriter seed;
    seed.Bool(session != nullptr);
    if (session != nullptr) {
        seed.Bool(false);
        seed.Text(session->modulePath, machinebuild::kMostModulePathBytes);
        seed.Bool(session->withoutResources);
        seed.Integral(0, 2, session->testPresses);
        seed.Bool(session->pressEnter);
        seed.Bool(session->paintMinimised);
        seed.Integral(0, 600, session->clientWidth);
        seed.Integral(0, 600, session->clientHeight);
        seed.Pick(3, static_cast<std::size_t>(session->leave));
    }
    // The default version: Windows XP Service Pack 3, a 32-bit process.
    seed.Integral(0, 5, machinebuild::kDefaultVersion);
    seed.Integral<WORD>(0, 6, 3);
    seed.Text("Service Pack 3", 130);
    seed.Bool(false);
    seed.Pick(std::size(machinebuild::kProcessKinds), 0);

    wholerun::ResetMachineAndPool();
    sim::ProfileError error;
    if (!sim::LoadProfile(profile, &error)) {
        *problem = "line " + std::to_string(error.line) + ": " + error.message;
        return "";
    }
    int things = 0;
    for (const RegistryItem& item : Registry()) {
        if (item.path.size() >= machinebuild::kMostPathBytes ||
            item.name.size() >= machinebuild::kMostNameBytes ||
            item.data.size() > machinebuild::kMostValueBytes ||
            item.type > machinebuild::kMostValueType) {
            *problem = "a value the format cannot hold, in " + item.path;
            return "";
        }
        seed.Integral(0, static_cast<int>(machinebuild::kLastThing),
                      static_cast<int>(machinebuild::kValueAnywhere));
        seed.Bool(item.localMachine);
        seed.Text(item.path, machinebuild::kMostPathBytes);
        seed.Bool(item.hasValue);
        if (item.hasValue) {
            seed.Text(item.name, machinebuild::kMostNameBytes);
            seed.Integral<DWORD>(0, machinebuild::kMostValueType, item.type);
            seed.Integral<std::size_t>(0, machinebuild::kMostValueBytes, item.data.size());
            seed.Bytes(item.data);
        }
        ++things;
    }
    for (const auto& line : MachineLines(profile)) {
        seed.Integral(0, static_cast<int>(machinebuild::kLastThing),
                      static_cast<int>(machinebuild::kSectionLine));
        seed.Pick(std::size(machinebuild::kSections), line.first);
        seed.Text(line.second, machinebuild::kMostLineBytes);
        ++things;
    }
    if (things > machinebuild::kMostThings) {
        *problem = std::to_string(things) + " things, more than the format takes";
        return "";
    }
    return seed.Seed();
}

// The seed read back through the builder makes the profile's machine: the
// same registry, the same report, a clean end.
std::string Verify(const std::string& profile, const wholerun::Session* session,
                   const std::string& bytes) {
    wholerun::ResetMachineAndPool();
    sim::ProfileError error;
    sim::LoadProfile(profile, &error);
    const std::vector<RegistryItem> expectedRegistry = Registry();
    const wholerun::Outcome expected =
        session != nullptr ? wholerun::RunFromStart(*session) : wholerun::RunWholeProgram();

    wholerun::ResetMachineAndPool();
    FuzzedDataProvider input(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    MachineBuilder builder(input);
    builder.Build();
    const bool sameRegistry = Registry() == expectedRegistry;
    const wholerun::Outcome built = builder.Run();
    std::string problems = wholerun::Problems(built) + fuzzcheck::ReportProblems(built, {});
    if (!sameRegistry) {
        problems += "the registry differs from the profile's\n";
    }
    if (built.resultFile != expected.resultFile || built.listShown != expected.listShown ||
        built.exitCode != expected.exitCode) {
        problems += "the report differs from the profile's\n";
    }
    return problems;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s DIR PROFILE...\n", argv[0]);
        return 2;
    }
    const std::filesystem::path directory = argv[1];
    std::filesystem::create_directories(directory);
    const std::vector<wholerun::Session> sessions = Sessions();
    int failures = 0;
    for (int i = 2; i < argc; ++i) {
        std::ifstream file(argv[i], std::ios::binary);
        const std::string profile((std::istreambuf_iterator<char>(file)),
                                  std::istreambuf_iterator<char>());
        const std::string stem = std::filesystem::path(argv[i]).stem().string();
        const wholerun::Session* session = &sessions[(i - 2) % sessions.size()];
        for (const wholerun::Session* way :
             {static_cast<const wholerun::Session*>(nullptr), session}) {
            const std::string name = stem + (way == nullptr ? ".run" : ".start");
            std::string problem;
            const std::string seed = MakeSeed(profile, way, &problem);
            if (problem.empty()) {
                problem = Verify(profile, way, seed);
            }
            if (!problem.empty()) {
                std::fprintf(stderr, "%s: %s\n", name.c_str(), problem.c_str());
                ++failures;
            }
            std::ofstream(directory / name, std::ios::binary) << seed;
        }
    }
    wholerun::ResetMachineAndPool();
    return failures == 0 ? 0 : 1;
}
