// Machine profiles: REGEDIT4 text that fills the simulated registry, plus
// [@section]s that set the machine's other properties (its Windows version),
// and the trimming and quoted-text parsing every section's reader shares.
#include <cctype>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "internal.h"
#include "registry_store.h"
#include "sim/control.h"

namespace {

using sim::internal::ParseQuoted;
using sim::internal::Trimmed;

struct Line {
    int number = 0;
    std::string text;
};

struct Failure {
    int line = 0;
    std::string message;
};

using SectionHandler = std::function<bool(const std::string& text, std::string* message)>;

bool ApplyVersionLine(const std::string& text, std::string* message);
bool ApplyAccessLine(const std::string& text, std::string* message);

// The machine sections a profile may carry, by name.
const std::map<std::string, SectionHandler>& MachineSections() {
    static const std::map<std::string, SectionHandler> sections = {
        {"version", ApplyVersionLine},
        {"serial", sim::internal::ApplySerialLine},
        {"codepage", sim::internal::ApplyCodePageLine},
        {"setupapi", sim::internal::ApplySetupApiLine},
        {"spooler", sim::internal::ApplySpoolerLine},
        {"files", sim::internal::ApplyFilesLine},
        {"access", ApplyAccessLine},
    };
    return sections;
}

bool IsSkippable(const std::string& trimmed) {
    return trimmed.empty() || trimmed[0] == ';';
}

std::vector<Line> SplitLines(const std::string& text) {
    std::vector<Line> lines;
    std::string current;
    int number = 1;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(Line{number++, current});
            current.clear();
        } else if (c != '\r') {
            current += c;
        }
    }
    lines.push_back(Line{number, current});
    if (!lines.empty() && lines[0].text.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        lines[0].text.erase(0, 3);
    }
    return lines;
}

// Value lines ending in a backslash continue on the next line (long hex data).
std::vector<Line> JoinContinuations(const std::vector<Line>& raw) {
    std::vector<Line> joined;
    bool continuing = false;
    for (const Line& line : raw) {
        std::string trimmed = Trimmed(line.text);
        if (continuing) {
            joined.back().text += trimmed;
        } else {
            joined.push_back(Line{line.number, trimmed});
        }
        std::string& text = joined.back().text;
        bool isValueLine = !text.empty() && (text[0] == '"' || text[0] == '@');
        continuing = isValueLine && text.back() == '\\';
        if (continuing) {
            text.pop_back();
        }
    }
    return joined;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

bool ParseHexNumber(const std::string& text, size_t maxDigits, unsigned long* number) {
    if (text.empty() || text.size() > maxDigits) {
        return false;
    }
    unsigned long value = 0;
    for (char c : text) {
        int digit = HexDigit(c);
        if (digit < 0) {
            return false;
        }
        value = value * 16 + static_cast<unsigned long>(digit);
    }
    *number = value;
    return true;
}

bool ParseHexBytes(const std::string& text, std::vector<BYTE>* bytes, std::string* message) {
    bytes->clear();
    std::string list = Trimmed(text);
    if (!list.empty() && list.back() == ',') {
        list.pop_back();
    }
    if (Trimmed(list).empty()) {
        return true;
    }
    std::stringstream stream(list);
    std::string token;
    while (std::getline(stream, token, ',')) {
        unsigned long byte = 0;
        if (!ParseHexNumber(Trimmed(token), 2, &byte)) {
            *message = "bad hex byte '" + Trimmed(token) + "'";
            return false;
        }
        bytes->push_back(static_cast<BYTE>(byte));
    }
    return true;
}

struct ParsedValue {
    bool remove = false;
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};

bool ParseStringData(const std::string& data, ParsedValue* value, std::string* message) {
    size_t pos = 0;
    std::string text;
    if (!ParseQuoted(data, &pos, &text, message)) {
        return false;
    }
    if (!IsSkippable(Trimmed(data.substr(pos)))) {
        *message = "unexpected text after the closing quote";
        return false;
    }
    value->type = REG_SZ;
    value->data.assign(text.begin(), text.end());
    value->data.push_back(0);
    return true;
}

bool ParseDwordData(const std::string& digits, ParsedValue* value, std::string* message) {
    unsigned long number = 0;
    if (!ParseHexNumber(Trimmed(digits), 8, &number)) {
        *message = "bad dword '" + digits + "' (expected 1 to 8 hex digits)";
        return false;
    }
    value->type = REG_DWORD;
    for (int shift = 0; shift < 32; shift += 8) {
        value->data.push_back(static_cast<BYTE>((number >> shift) & 0xFF));
    }
    return true;
}

bool ParseTypedHexData(const std::string& data, ParsedValue* value, std::string* message) {
    size_t close = data.find("):");
    unsigned long type = 0;
    if (close == std::string::npos || !ParseHexNumber(data.substr(4, close - 4), 8, &type)) {
        *message = "bad hex(N): type";
        return false;
    }
    value->type = static_cast<DWORD>(type);
    return ParseHexBytes(data.substr(close + 2), &value->data, message);
}

bool ParseValueData(const std::string& data, ParsedValue* value, std::string* message) {
    if (data == "-") {
        value->remove = true;
        return true;
    }
    if (!data.empty() && data[0] == '"') {
        return ParseStringData(data, value, message);
    }
    if (data.compare(0, 6, "dword:") == 0) {
        return ParseDwordData(data.substr(6), value, message);
    }
    if (data.compare(0, 4, "hex:") == 0) {
        value->type = REG_BINARY;
        return ParseHexBytes(data.substr(4), &value->data, message);
    }
    if (data.compare(0, 4, "hex(") == 0) {
        return ParseTypedHexData(data, value, message);
    }
    *message = "unknown value data '" + data + "'";
    return false;
}

struct KeySection {
    HKEY root = nullptr;
    std::string path;
};

bool ParseRootAndPath(const std::string& fullPath, KeySection* section, std::string* message) {
    static const std::map<std::string, HKEY> roots = {
        {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
    };
    size_t slash = fullPath.find('\\');
    std::string rootName = fullPath.substr(0, slash);
    auto root = roots.find(rootName);
    if (root == roots.end()) {
        *message = "unknown root key '" + rootName + "'";
        return false;
    }
    section->root = root->second;
    section->path = slash == std::string::npos ? "" : fullPath.substr(slash + 1);
    return true;
}

bool ApplyVersionLine(const std::string& text, std::string* message) {
    size_t equals = text.find('=');
    if (equals == std::string::npos) {
        *message = "missing '=' in machine setting";
        return false;
    }
    return sim::internal::ApplyVersionSetting(Trimmed(text.substr(0, equals)),
                                              Trimmed(text.substr(equals + 1)), message);
}

// One line of [@access]: "HKEY_LOCAL_MACHINE\SOFTWARE=read" lets the user
// only read that key and every key below it; "=full" gives all rights back.
bool ApplyAccessLine(const std::string& text, std::string* message) {
    size_t equals = text.find('=');
    if (equals == std::string::npos) {
        *message = "missing '=' in access setting";
        return false;
    }
    KeySection key;
    if (!ParseRootAndPath(Trimmed(text.substr(0, equals)), &key, message)) {
        return false;
    }
    const std::string rights = Trimmed(text.substr(equals + 1));
    if (rights != "read" && rights != "full") {
        *message = "bad access '" + rights + "' (expected read or full)";
        return false;
    }
    if (!sim::SetKeyAccess(key.root, key.path, rights == "read" ? KEY_READ : ~REGSAM{0})) {
        *message = "no key '" + Trimmed(text.substr(0, equals)) + "' to set access on";
        return false;
    }
    return true;
}

bool IsHeader(const std::string& text) {
    return text == "REGEDIT4" || text == "Windows Registry Editor Version 5.00";
}

class ProfileLoader {
public:
    bool Load(const std::string& text, Failure* failure) {
        std::vector<Line> lines = JoinContinuations(SplitLines(text));
        bool headerSeen = false;
        for (const Line& line : lines) {
            if (IsSkippable(line.text)) {
                continue;
            }
            std::string message;
            bool ok = headerSeen ? ApplyLine(line.text, &message) : IsHeader(line.text);
            if (!headerSeen && !ok) {
                message = "expected REGEDIT4 as the first line";
            }
            if (!ok) {
                *failure = Failure{line.number, message};
                return false;
            }
            headerSeen = true;
        }
        if (!headerSeen) {
            *failure = Failure{0, "empty profile: expected REGEDIT4"};
            return false;
        }
        return true;
    }

private:
    enum class Mode { None, Key, DeletedKey, Machine };

    bool ApplyLine(const std::string& text, std::string* message) {
        if (text[0] == '[') {
            return StartSection(text, message);
        }
        switch (mode_) {
            case Mode::Key:
                return ApplyValueLine(text, message);
            case Mode::Machine:
                return machineHandler_(text, message);
            case Mode::DeletedKey:
                *message = "value line in a section that deletes a key";
                return false;
            case Mode::None:
                break;
        }
        *message = "value line before any section";
        return false;
    }

    bool StartSection(const std::string& text, std::string* message) {
        if (text.back() != ']') {
            *message = "section header without closing ']'";
            return false;
        }
        std::string name = Trimmed(text.substr(1, text.size() - 2));
        if (!name.empty() && name[0] == '@') {
            return StartMachineSection(name.substr(1), message);
        }
        bool remove = !name.empty() && name[0] == '-';
        if (!ParseRootAndPath(remove ? name.substr(1) : name, &section_, message)) {
            return false;
        }
        if (remove) {
            sim::registry_store::DeleteKeyTree(section_.root, section_.path);
            mode_ = Mode::DeletedKey;
        } else {
            sim::registry_store::CreateKeyPath(section_.root, section_.path);
            mode_ = Mode::Key;
        }
        return true;
    }

    bool StartMachineSection(const std::string& name, std::string* message) {
        auto handler = MachineSections().find(name);
        if (handler == MachineSections().end()) {
            *message = "unknown machine section [@" + name + "]";
            return false;
        }
        machineHandler_ = handler->second;
        mode_ = Mode::Machine;
        return true;
    }

    bool ApplyValueLine(const std::string& text, std::string* message) {
        std::string name;
        size_t pos = 0;
        if (text[0] == '@') {
            pos = 1;
        } else if (text[0] == '"') {
            if (!ParseQuoted(text, &pos, &name, message)) {
                return false;
            }
        } else {
            *message = "expected \"name\"=data or @=data";
            return false;
        }
        std::string rest = Trimmed(text.substr(pos));
        if (rest.empty() || rest[0] != '=') {
            *message = "missing '=' after the value name";
            return false;
        }
        ParsedValue value;
        if (!ParseValueData(Trimmed(rest.substr(1)), &value, message)) {
            return false;
        }
        if (value.remove) {
            sim::registry_store::DeleteValue(section_.root, section_.path, name);
        } else {
            sim::registry_store::StoreValue(section_.root, section_.path, name, value.type,
                                            value.data);
        }
        return true;
    }

    Mode mode_ = Mode::None;
    KeySection section_;
    SectionHandler machineHandler_;
};

}  // namespace

namespace sim::internal {

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return "";
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool ParseQuoted(const std::string& text, size_t* pos, std::string* result, std::string* message) {
    result->clear();
    for (size_t i = *pos + 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '"') {
            *pos = i + 1;
            return true;
        }
        if (c == '\\') {
            if (i + 1 >= text.size() || (text[i + 1] != '\\' && text[i + 1] != '"')) {
                if (message != nullptr) {
                    *message = "bad escape in quoted text (only \\\\ and \\\" are allowed)";
                }
                return false;
            }
            c = text[++i];
        }
        *result += c;
    }
    if (message != nullptr) {
        *message = "unterminated quoted text";
    }
    return false;
}

}  // namespace sim::internal

namespace sim {

bool LoadProfile(const std::string& text, ProfileError* error) {
    Failure failure;
    if (ProfileLoader().Load(text, &failure)) {
        return true;
    }
    if (error != nullptr) {
        error->line = failure.line;
        error->message = failure.message;
    }
    return false;
}

bool LoadProfileFile(const std::string& path, ProfileError* error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        if (error != nullptr) {
            error->line = 0;
            error->message = "cannot read profile file '" + path + "'";
        }
        return false;
    }
    std::stringstream contents;
    contents << file.rdbuf();
    return LoadProfile(contents.str(), error);
}

}  // namespace sim
