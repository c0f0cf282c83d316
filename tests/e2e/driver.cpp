// Drives Varnobel.exe through its dialog the way a person would, from a second
// Windows program: starts it, looks at the dialog, presses its buttons or keys,
// dismisses message boxes and checks that the program ends. Every observation
// goes to standard output as one key=value line.
//
//   e2e_driver [--exe PATH] [--pause-dir DIR] ACTION...
//
// Actions, run in order:
//   observe     the dialog: caption, styles, buttons, focus, centring, list,
//               and whether the buttons take the visual style
//   test        press Test; note any message box (read, then dismissed with
//               OK), the list box count and whether Test is enabled again
//   pause:NAME  print pause=NAME and wait until DIR\NAME.go exists, so the
//               caller can act (take a screenshot, change a file) meanwhile
//   exit        press Exit
//   escape      press the Escape key in the dialog
//   close       choose Close from the system menu (what the close box does)
//   version     what GetVersionExA says to this program
//   ports       which of COM1 to COM9 open, the SERIALCOMM map and the
//               present COM-port interfaces: what the session offers the
//               program, to tell the session's faults from the exe's
// After the last action the driver waits for the program to end. With the
// environment variable E2E_TRACE set it writes the time of each action to
// standard error.
#include <windows.h>
#include <setupapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// Only a failing run waits these out, so they are generous: under qemu's
// emulation, with two runs side by side on a busy 2-core machine, a whole
// run has taken over 100 seconds.
constexpr DWORD kStartTimeoutMs = 120000;
constexpr DWORD kRunTimeoutMs = 120000;
constexpr DWORD kBoxTimeoutMs = 30000;
constexpr DWORD kEndTimeoutMs = 60000;
constexpr DWORD kPauseTimeoutMs = 60000;
constexpr DWORD kPollMs = 50;

void Print(const std::string& key, const std::string& value) {
    std::printf("%s=%s\n", key.c_str(), value.c_str());
    std::fflush(stdout);
}

void Print(const std::string& key, long long value) {
    Print(key, std::to_string(value));
}

std::string Flag(bool value) {
    return value ? "1" : "0";
}

// A function of a system DLL that older Windows may lack; null then. The DLL
// stays loaded for the driver's life, so the function stays callable.
template <typename Function>
Function SystemFunction(const char* dll, const char* name) {
    HMODULE module = LoadLibraryA(dll);
    if (module == nullptr) {
        return nullptr;
    }
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Only the version 6 common controls open a visual-style theme for a button.
std::string Themed(HWND control) {
    using ThemeOf = HANDLE(WINAPI*)(HWND);
    const auto themeOf = SystemFunction<ThemeOf>("uxtheme.dll", "GetWindowTheme");
    if (themeOf == nullptr) {
        return "unknown";
    }
    return Flag(themeOf(control) != nullptr);
}

std::string WindowText(HWND window) {
    char text[512] = {};
    // WM_GETTEXT is marshalled across processes, unlike most messages.
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 5000, nullptr);
    text[sizeof text - 1] = '\0';
    return text;
}

std::string ClassName(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

// Top-level windows of one process, by class.
struct WindowSearch {
    DWORD processId;
    const char* className;
    HWND exclude;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || window == search->exclude || !IsWindowVisible(window)) {
        return TRUE;
    }
    if (ClassName(window) != search->className) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

HWND FindProcessWindow(DWORD processId, const char* className, HWND exclude) {
    WindowSearch search{processId, className, exclude, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::string ButtonKind(LONG style) {
    switch (style & BS_TYPEMASK) {
        case BS_PUSHBUTTON:
            return "push";
        case BS_DEFPUSHBUTTON:
            return "defpush";
        default:
            return "other";
    }
}

std::string FocusName(HWND dialog, HWND focus) {
    if (focus == nullptr) {
        return "none";
    }
    if (focus == dialog) {
        return "dialog";
    }
    switch (GetDlgCtrlID(focus)) {
        case IDOK:
            return "Test";
        case IDCANCEL:
            return "Exit";
        case 1000:
            return "list";
        default:
            return "other";
    }
}

HWND FocusOf(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info)) {
        return nullptr;
    }
    return info.hwndFocus;
}

class Session {
public:
    bool Start(const std::string& exe) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        std::string commandLine = "\"" + exe + "\"";
        // Started from C:\ so that the result file can only land beside the exe
        // because the program looked for its own directory.
        if (!CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                            "C:\\", &startup, &process_)) {
            Print("start.error", static_cast<long long>(GetLastError()));
            return false;
        }
        WaitForInputIdle(process_.hProcess, kStartTimeoutMs);
        const DWORD deadline = GetTickCount() + kStartTimeoutMs;
        while ((dialog_ = FindProcessWindow(process_.dwProcessId, "#32770", nullptr)) == nullptr) {
            if (static_cast<LONG>(GetTickCount() - deadline) > 0 ||
                WaitForSingleObject(process_.hProcess, kPollMs) == WAIT_OBJECT_0) {
                Print("dialog.found", "0");
                return false;
            }
        }
        // Let the dialog finish its start before anything looks at it.
        SendMessageTimeoutA(dialog_, WM_NULL, 0, 0, SMTO_NORMAL, kStartTimeoutMs, nullptr);
        Print("dialog.found", "1");
        return true;
    }

    void Observe() {
        const LONG style = GetWindowLongA(dialog_, GWL_STYLE);
        const LONG exStyle = GetWindowLongA(dialog_, GWL_EXSTYLE);
        Print("dialog.caption", WindowText(dialog_));
        Print("dialog.popup", Flag(style & WS_POPUP));
        Print("dialog.visible", Flag(style & WS_VISIBLE));
        Print("dialog.titlebar", Flag((style & WS_CAPTION) == WS_CAPTION));
        Print("dialog.sysmenu", Flag(style & WS_SYSMENU));
        Print("dialog.minimizebox", Flag(style & WS_MINIMIZEBOX));
        Print("dialog.maximizebox", Flag(style & WS_MAXIMIZEBOX));
        Print("dialog.sizing", Flag(style & WS_THICKFRAME));
        Print("dialog.modalframe", Flag(exStyle & WS_EX_DLGMODALFRAME));
        Print("dialog.appwindow", Flag(exStyle & WS_EX_APPWINDOW));
        Print("dialog.centred", Flag(IsCentred()));
        Print("dialog.focus", FocusName(dialog_, FocusOf(dialog_)));
        const int ids[] = {IDOK, IDCANCEL};
        for (int id : ids) {
            HWND button = GetDlgItem(dialog_, id);
            const std::string key = "button." + std::to_string(id);
            Print(key + ".class", button ? ClassName(button) : "none");
            if (button == nullptr) {
                continue;
            }
            const LONG buttonStyle = GetWindowLongA(button, GWL_STYLE);
            Print(key + ".text", WindowText(button));
            Print(key + ".kind", ButtonKind(buttonStyle));
            Print(key + ".tabstop", Flag(buttonStyle & WS_TABSTOP));
            Print(key + ".enabled", Flag(IsWindowEnabled(button)));
            Print(key + ".themed", Themed(button));
        }
        HWND list = GetDlgItem(dialog_, 1000);
        Print("list.class", list ? ClassName(list) : "none");
        if (list != nullptr) {
            const LONG listStyle = GetWindowLongA(list, GWL_STYLE);
            Print("list.sorted", Flag(listStyle & LBS_SORT));
            Print("list.count", ListCount());
        }
    }

    // Test is pressed from a second thread: a message box in the handler keeps
    // the press from returning until the box is gone.
    void PressTest(int run) {
        const std::string key = "test" + std::to_string(run);
        HWND button = GetDlgItem(dialog_, IDOK);
        Press press{dialog_, button, IDOK};
        HANDLE thread = CreateThread(nullptr, 0, PressThread, &press, 0, nullptr);
        HWND box = nullptr;
        const DWORD deadline = GetTickCount() + kRunTimeoutMs;
        while (WaitForSingleObject(thread, kPollMs) == WAIT_TIMEOUT) {
            box = FindProcessWindow(process_.dwProcessId, "#32770", dialog_);
            if (box != nullptr || static_cast<LONG>(GetTickCount() - deadline) > 0) {
                break;
            }
        }
        if (box != nullptr) {
            DescribeBox(key, box);
            HWND ok = GetDlgItem(box, IDOK);
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                         reinterpret_cast<LPARAM>(ok));
        } else {
            Print(key + ".box", "none");
        }
        const bool returned = WaitForSingleObject(thread, kBoxTimeoutMs) == WAIT_OBJECT_0;
        CloseHandle(thread);
        Print(key + ".returned", Flag(returned));
        Print(key + ".list_count", ListCount());
        Print(key + ".test_enabled", Flag(button != nullptr && IsWindowEnabled(button)));
        Print(key + ".dialog_open", Flag(IsWindow(dialog_) && IsWindowVisible(dialog_)));
    }

    // Posted, as a click would be: the program may end before it could answer.
    void PressExit() {
        HWND button = GetDlgItem(dialog_, IDCANCEL);
        PostMessageA(dialog_, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(button));
    }

    // Keys go to the control with the focus, where the dialog's message loop
    // picks them up, as it does with a real key press.
    void PressEscape() {
        HWND target = FocusOf(dialog_);
        if (target == nullptr) {
            target = dialog_;
        }
        PostMessageA(target, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
        PostMessageA(target, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    }

    void ChooseClose() { PostMessageA(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0); }

    void WaitForEnd() {
        const bool ended = WaitForSingleObject(process_.hProcess, kEndTimeoutMs) == WAIT_OBJECT_0;
        Print("end.exited", Flag(ended));
        if (!ended) {
            TerminateProcess(process_.hProcess, 1);
            WaitForSingleObject(process_.hProcess, kEndTimeoutMs);
        }
    }

    void Close() {
        if (process_.hProcess != nullptr) {
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
    }

private:
    struct Press {
        HWND dialog;
        HWND button;
        int id;
    };

    static DWORD WINAPI PressThread(void* param) {
        auto* press = static_cast<Press*>(param);
        // Returns when the handler has finished, as a click would.
        SendMessageA(press->dialog, WM_COMMAND, MAKEWPARAM(press->id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(press->button));
        return 0;
    }

    void DescribeBox(const std::string& key, HWND box) {
        HWND text = GetDlgItem(box, 0xFFFF);
        std::string buttons;
        for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            const std::string name = ClassName(child);
            if (text == nullptr && name == "Static" && !WindowText(child).empty()) {
                text = child;
            }
            if (name == "Button" && IsWindowVisible(child)) {
                buttons += (buttons.empty() ? "" : ",") + WindowText(child);
            }
        }
        Print(key + ".box", "shown");
        Print(key + ".box.caption", WindowText(box));
        Print(key + ".box.text", text ? WindowText(text) : "");
        Print(key + ".box.buttons", buttons);
    }

    long long ListCount() {
        HWND list = GetDlgItem(dialog_, 1000);
        DWORD_PTR count = 0;
        if (list == nullptr ||
            !SendMessageTimeoutA(list, LB_GETCOUNT, 0, 0, SMTO_NORMAL, kBoxTimeoutMs, &count)) {
            return -1;
        }
        return static_cast<long long>(static_cast<LRESULT>(count));
    }

    // Centred in the work area, to the pixel that rounding may cost.
    bool IsCentred() {
        RECT work = {};
        RECT window = {};
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
        GetWindowRect(dialog_, &window);
        const long dx = (window.left - work.left) - (work.right - window.right);
        const long dy = (window.top - work.top) - (work.bottom - window.bottom);
        return std::labs(dx) <= 1 && std::labs(dy) <= 1;
    }

    PROCESS_INFORMATION process_ = {};
    HWND dialog_ = nullptr;
};

bool WaitForFile(const std::string& path) {
    const DWORD deadline = GetTickCount() + kPauseTimeoutMs;
    while (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (static_cast<LONG>(GetTickCount() - deadline) > 0) {
            return false;
        }
        Sleep(kPollMs);
    }
    return true;
}

void PrintVersion() {
    OSVERSIONINFOEXA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    const BOOL ok = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info));
    Print("version.ok", Flag(ok));
    Print("version.platform", static_cast<long long>(info.dwPlatformId));
    Print("version.number",
          std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion));
    Print("version.build", static_cast<long long>(info.dwBuildNumber));
    Print("version.servicepack", static_cast<long long>(info.wServicePackMajor));
    Print("version.csd", info.szCSDVersion);
}

void PrintPorts() {
    std::string opens;
    for (int n = 1; n <= 9; ++n) {
        const std::string path = "\\\\.\\COM" + std::to_string(n);
        HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (port != INVALID_HANDLE_VALUE) {
            DCB settings = {};
            settings.DCBlength = sizeof settings;
            opens += (opens.empty() ? "COM" : ",COM") + std::to_string(n);
            if (!GetCommState(port, &settings)) {
                opens += "(no state)";
            }
            CloseHandle(port);
        }
    }
    Print("ports.open", opens);

    std::string map;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        for (DWORD index = 0;; ++index) {
            char name[256] = {};
            char data[256] = {};
            DWORD nameSize = sizeof name;
            DWORD dataSize = sizeof data - 1;
            if (RegEnumValueA(key, index, name, &nameSize, nullptr, nullptr,
                              reinterpret_cast<BYTE*>(data), &dataSize) != ERROR_SUCCESS) {
                break;
            }
            map += (map.empty() ? "" : ",") + std::string(name) + ":" + data;
        }
        RegCloseKey(key);
    }
    Print("ports.serialcomm", map);

    // The COM-port device interface class.
    static const GUID comPort = {
        0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
    std::string paths;
    HDEVINFO set =
        SetupDiGetClassDevsA(&comPort, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set != INVALID_HANDLE_VALUE) {
        SP_DEVICE_INTERFACE_DATA item = {};
        item.cbSize = sizeof item;
        for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &comPort, index, &item);
             ++index) {
            union {
                SP_DEVICE_INTERFACE_DETAIL_DATA_A detail;
                char bytes[512];
            } buffer = {};
            buffer.detail.cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
            if (SetupDiGetDeviceInterfaceDetailA(set, &item, &buffer.detail, sizeof buffer, nullptr,
                                                 nullptr)) {
                paths += (paths.empty() ? "" : ",") + std::string(buffer.detail.DevicePath);
            }
        }
        SetupDiDestroyDeviceInfoList(set);
    }
    Print("ports.interfaces", paths);
}

}  // namespace

int main(int argc, char** argv) {
    std::string exe = "C:\\Tools\\Varnobel.exe";
    std::string pauseDir = ".";
    std::vector<std::string> actions;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--exe" && i + 1 < argc) {
            exe = argv[++i];
        } else if (arg == "--pause-dir" && i + 1 < argc) {
            pauseDir = argv[++i];
        } else {
            actions.push_back(arg);
        }
    }

    Session session;
    bool started = false;
    int runs = 0;
    int status = 0;
    const bool trace = GetEnvironmentVariableA("E2E_TRACE", nullptr, 0) != 0;
    for (const std::string& action : actions) {
        if (trace) {
            std::fprintf(stderr, "driver: %lu ms, %s\n", GetTickCount(), action.c_str());
        }
        if (action == "version") {
            PrintVersion();
            continue;
        }
        if (action == "ports") {
            PrintPorts();
            continue;
        }
        if (action.compare(0, 6, "pause:") == 0) {
            const std::string name = action.substr(6);
            Print("pause", name);
            if (!WaitForFile(pauseDir + "\\" + name + ".go")) {
                Print("pause." + name + ".timeout", "1");
                status = 1;
            }
            continue;
        }
        if (!started) {
            if (!session.Start(exe)) {
                session.Close();
                return 1;
            }
            started = true;
        }
        if (action == "observe") {
            session.Observe();
        } else if (action == "test") {
            session.PressTest(++runs);
        } else if (action == "exit") {
            session.PressExit();
            if (trace) {
                std::fprintf(stderr, "driver: %lu ms, exit pressed\n", GetTickCount());
            }
        } else if (action == "escape") {
            session.PressEscape();
        } else if (action == "close") {
            session.ChooseClose();
        } else {
            Print("error.unknown_action", action);
            status = 2;
        }
    }
    if (started) {
        session.WaitForEnd();
    }
    if (trace) {
        std::fprintf(stderr, "driver: %lu ms, end\n", GetTickCount());
    }
    session.Close();
    return status;
}
