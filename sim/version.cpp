// The simulated operating-system version: what GetVersionExA reports, and the
// machine-profile settings that choose it.
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>

#include "internal.h"
#include "sim/control.h"

namespace {

constexpr DWORD kBasicSize = sizeof(OSVERSIONINFOA);
constexpr DWORD kExtendedSize = sizeof(OSVERSIONINFOEXA);
constexpr BYTE kWorkstation = 1;  // VER_NT_WORKSTATION

static_assert(kBasicSize == 148, "OSVERSIONINFOA must match the Windows layout");
static_assert(kExtendedSize == 156, "OSVERSIONINFOEXA must match the Windows layout");

sim::Version current;

void FillBasic(OSVERSIONINFOA* info) {
    info->dwMajorVersion = current.major;
    info->dwMinorVersion = current.minor;
    info->dwBuildNumber = current.build;
    info->dwPlatformId = current.platformId;
    std::memset(info->szCSDVersion, 0, sizeof(info->szCSDVersion));
    std::strncpy(info->szCSDVersion, current.csdVersion.c_str(), sizeof(info->szCSDVersion) - 1);
}

void FillExtended(OSVERSIONINFOEXA* info) {
    info->wServicePackMajor = current.servicePackMajor;
    info->wServicePackMinor = current.servicePackMinor;
    info->wSuiteMask = 0;
    info->wProductType = current.platformId == VER_PLATFORM_WIN32_NT ? kWorkstation : 0;
    info->wReserved = 0;
}

bool ParseNumber(const std::string& text, unsigned long limit, unsigned long* number) {
    if (text.empty() || text[0] == '-' || text[0] == '+') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    unsigned long parsed = std::strtoul(text.c_str(), &end, 0);
    if (errno != 0 || *end != 0 || parsed > limit) {
        return false;
    }
    *number = parsed;
    return true;
}

bool Unquote(const std::string& text, std::string* unquoted) {
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        *unquoted = text.substr(1, text.size() - 2);
        return unquoted->find('"') == std::string::npos;
    }
    if (text.find('"') != std::string::npos) {
        return false;
    }
    *unquoted = text;
    return true;
}

using Setter = std::function<bool(const std::string&, std::string*)>;

Setter DwordSetter(DWORD sim::Version::*field) {
    return [field](const std::string& value, std::string* message) {
        unsigned long number = 0;
        if (!ParseNumber(value, 0xFFFFFFFFul, &number)) {
            *message = "expected a number, got '" + value + "'";
            return false;
        }
        current.*field = static_cast<DWORD>(number);
        return true;
    };
}

Setter WordSetter(WORD sim::Version::*field) {
    return [field](const std::string& value, std::string* message) {
        unsigned long number = 0;
        if (!ParseNumber(value, 0xFFFFul, &number)) {
            *message = "expected a number from 0 to 65535, got '" + value + "'";
            return false;
        }
        current.*field = static_cast<WORD>(number);
        return true;
    };
}

bool SetCsd(const std::string& value, std::string* message) {
    std::string text;
    if (!Unquote(value, &text) || text.size() > 127) {
        *message = "csd must be quoted text of at most 127 characters";
        return false;
    }
    current.csdVersion = text;
    return true;
}

bool SetExtended(const std::string& value, std::string* message) {
    if (value != "works" && value != "fails") {
        *message = "extended must be 'works' or 'fails', got '" + value + "'";
        return false;
    }
    current.extendedQueryFails = value == "fails";
    return true;
}

bool SetWineName(const std::string& value, std::string* message) {
    std::string text;
    if (!Unquote(value, &text) || text.empty()) {
        *message = "wine needs a Wine version name such as winxp";
        return false;
    }
    current.wineName = text;
    return true;
}

// The product is a 32-bit program: on 64-bit Windows it runs under WOW64.
bool SetBits(const std::string& value, std::string* message) {
    if (value != "32" && value != "64") {
        *message = "bits must be 32 or 64, got '" + value + "'";
        return false;
    }
    sim::SetProcessKind(value == "64" ? sim::ProcessKind::Wow64 : sim::ProcessKind::Native32);
    return true;
}

const std::map<std::string, Setter>& Setters() {
    static const std::map<std::string, Setter> setters = {
        {"platform", DwordSetter(&sim::Version::platformId)},
        {"major", DwordSetter(&sim::Version::major)},
        {"minor", DwordSetter(&sim::Version::minor)},
        {"build", DwordSetter(&sim::Version::build)},
        {"servicepack", WordSetter(&sim::Version::servicePackMajor)},
        {"servicepackminor", WordSetter(&sim::Version::servicePackMinor)},
        {"csd", SetCsd},
        {"extended", SetExtended},
        {"wine", SetWineName},
        {"bits", SetBits},
    };
    return setters;
}

}  // namespace

namespace sim {

void SetVersion(const Version& version) {
    current = version;
}
Version CurrentVersion() {
    return current;
}

namespace internal {

void ResetVersion() {
    current = Version{};
}

bool ApplyVersionSetting(const std::string& key, const std::string& value, std::string* message) {
    auto setter = Setters().find(key);
    if (setter == Setters().end()) {
        *message = "unknown version setting '" + key + "'";
        return false;
    }
    return setter->second(value, message);
}

}  // namespace internal
}  // namespace sim

// Windows takes the record's size field as the only sign of which record it
// was given; any other size fails with ERROR_INSUFFICIENT_BUFFER.
BOOL GetVersionExA(LPOSVERSIONINFOA info) {
    DWORD status = 0;
    if (sim::internal::CallFails("GetVersionExA", &status)) {
        SetLastError(status);
        return FALSE;
    }
    if (info == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DWORD size = info->dwOSVersionInfoSize;
    bool extendedKnown = !current.extendedQueryFails;
    if (size != kBasicSize && !(size == kExtendedSize && extendedKnown)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    FillBasic(info);
    if (size == kExtendedSize) {
        FillExtended(reinterpret_cast<OSVERSIONINFOEXA*>(info));
    }
    return TRUE;
}

namespace sim::internal {

bool RunsWindowsNt() {
    return current.platformId == VER_PLATFORM_WIN32_NT;
}

bool NtAtLeast(DWORD major, DWORD minor, WORD servicePack) {
    if (!RunsWindowsNt() || current.major != major) {
        return RunsWindowsNt() && current.major > major;
    }
    return current.minor > minor ||
           (current.minor == minor && current.servicePackMajor >= servicePack);
}

}  // namespace sim::internal
