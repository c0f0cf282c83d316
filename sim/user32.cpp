// The simulated window manager: test dialogs with buttons and list boxes, the
// list-box messages the product sends, enabling of windows and a record of the
// message boxes shown.
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "internal.h"
#include "sim/control.h"

namespace {

struct Window {
    HWND parent = nullptr;
    int id = 0;
    bool isDialog = false;
    sim::ControlKind kind = sim::ControlKind::Button;
    bool enabled = true;
    std::vector<std::string> items;
    int topIndex = 0;
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
};

struct WindowManager {
    std::map<uintptr_t, Window> windows;
    uintptr_t nextWindow = 0x10000;
    std::vector<sim::MessageBoxRecord> messageBoxes;
};

WindowManager& Manager() {
    static WindowManager manager;
    return manager;
}

Window* Find(HWND window) {
    auto found = Manager().windows.find(reinterpret_cast<uintptr_t>(window));
    return found == Manager().windows.end() ? nullptr : &found->second;
}

HWND NewWindow(const Window& window) {
    const uintptr_t id = Manager().nextWindow;
    Manager().nextWindow += 0x10;
    Manager().windows[id] = window;
    return reinterpret_cast<HWND>(id);
}

bool IsListBox(const Window* window) {
    return window != nullptr && !window->isDialog && window->kind == sim::ControlKind::ListBox;
}

LRESULT ListBoxMessage(Window& box, UINT message, WPARAM wParam, LPARAM lParam) {
    const std::size_t count = box.items.size();
    switch (message) {
        case LB_ADDSTRING:
            if (lParam == 0) {
                return LB_ERR;
            }
            box.items.emplace_back(reinterpret_cast<const char*>(lParam));
            return static_cast<LRESULT>(box.items.size() - 1);
        case LB_DELETESTRING:
            if (wParam >= count) {
                return LB_ERR;
            }
            box.items.erase(box.items.begin() + static_cast<std::ptrdiff_t>(wParam));
            if (box.topIndex > 0 && static_cast<std::size_t>(box.topIndex) >= box.items.size()) {
                box.topIndex = box.items.empty() ? 0 : static_cast<int>(box.items.size() - 1);
            }
            return static_cast<LRESULT>(box.items.size());
        case LB_RESETCONTENT:
            box.items.clear();
            box.topIndex = 0;
            return 0;
        case LB_GETCOUNT:
            return static_cast<LRESULT>(count);
        case LB_GETTEXTLEN:
            if (wParam >= count) {
                return LB_ERR;
            }
            return static_cast<LRESULT>(box.items[wParam].size());
        case LB_GETTEXT:
            if (wParam >= count || lParam == 0) {
                return LB_ERR;
            }
            std::memcpy(reinterpret_cast<char*>(lParam), box.items[wParam].c_str(),
                        box.items[wParam].size() + 1);
            return static_cast<LRESULT>(box.items[wParam].size());
        case LB_SETTOPINDEX:
            if (wParam >= count) {
                return LB_ERR;
            }
            box.topIndex = static_cast<int>(wParam);
            return LB_OKAY;
        case LB_GETTOPINDEX:
            return box.topIndex;
        default:
            return 0;
    }
}

}  // namespace

namespace sim {

HWND CreateTestDialog(const std::vector<ControlSpec>& controls) {
    Window dialog;
    dialog.isDialog = true;
    const HWND handle = NewWindow(dialog);
    for (const ControlSpec& spec : controls) {
        Window control;
        control.parent = handle;
        control.id = spec.id;
        control.kind = spec.kind;
        NewWindow(control);
    }
    return handle;
}

void DestroyTestDialog(HWND dialog) {
    auto& windows = Manager().windows;
    for (auto it = windows.begin(); it != windows.end();) {
        if (it->second.parent == dialog) {
            it = windows.erase(it);
        } else {
            ++it;
        }
    }
    windows.erase(reinterpret_cast<uintptr_t>(dialog));
}

std::vector<std::string> ListBoxItems(HWND listBox) {
    const Window* box = Find(listBox);
    return IsListBox(box) ? box->items : std::vector<std::string>();
}

int ListBoxTopIndex(HWND listBox) {
    const Window* box = Find(listBox);
    return IsListBox(box) ? box->topIndex : -1;
}

std::vector<MessageBoxRecord> MessageBoxes() {
    return Manager().messageBoxes;
}

namespace internal {
void ResetWindows() {
    Manager() = WindowManager();
}
}  // namespace internal

}  // namespace sim

// The answer depends on the message; messages a window doesn't handle give 0.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD status = 0;
    if (sim::internal::CallFails("SendMessageA", &status)) {
        SetLastError(status);
        return 0;
    }
    Window* target = Find(window);
    if (target == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    if (message == WM_SETICON) {
        HICON& slot = wParam == ICON_BIG ? target->bigIcon : target->smallIcon;
        HICON previous = slot;
        slot = reinterpret_cast<HICON>(lParam);
        return reinterpret_cast<LRESULT>(previous);
    }
    if (IsListBox(target)) {
        return ListBoxMessage(*target, message, wParam, lParam);
    }
    return 0;
}

HWND GetDlgItem(HWND dialog, int id) {
    DWORD status = 0;
    if (sim::internal::CallFails("GetDlgItem", &status)) {
        SetLastError(status);
        return nullptr;
    }
    for (const auto& entry : Manager().windows) {
        if (entry.second.parent == dialog && entry.second.id == id) {
            return reinterpret_cast<HWND>(entry.first);
        }
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
}

// Like Windows: nonzero when the window was disabled before the call.
BOOL EnableWindow(HWND window, BOOL enable) {
    DWORD status = 0;
    if (sim::internal::CallFails("EnableWindow", &status)) {
        SetLastError(status);
        return FALSE;
    }
    Window* target = Find(window);
    if (target == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    const BOOL wasDisabled = target->enabled ? FALSE : TRUE;
    target->enabled = enable != FALSE;
    return wasDisabled;
}

BOOL IsWindowEnabled(HWND window) {
    const Window* target = Find(window);
    return target != nullptr && target->enabled ? TRUE : FALSE;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    DWORD status = 0;
    if (sim::internal::CallFails("MessageBoxA", &status)) {
        SetLastError(status);
        return 0;
    }
    sim::MessageBoxRecord record;
    record.owner = owner;
    record.text = text != nullptr ? text : "";
    // Windows titles a box without a caption "Error".
    record.caption = caption != nullptr ? caption : "Error";
    record.type = type;
    Manager().messageBoxes.push_back(record);
    return IDOK;
}
