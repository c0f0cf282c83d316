// The simulated window manager: test dialogs with buttons and list boxes, the
// list-box messages the product sends, enabling of windows, a record of the
// message boxes shown, the modal dialog of template 102 with a scripted user,
// its placement and painting, the exe's icon, the cursor and the common
// controls library. An exception that leaves a dialog procedure ends the
// process, as it does on Windows.
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "internal.h"
#include "sim/control.h"
#include "sim/ui_control.h"

namespace {

struct Window {
    HWND parent = nullptr;
    int id = 0;
    bool isDialog = false;
    sim::ControlKind kind = sim::ControlKind::Button;
    bool enabled = true;
    std::vector<std::string> items;
    std::vector<std::string> added;  // since the list box was last emptied
    int topIndex = 0;
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    // Modal dialogs only.
    DLGPROC procedure = nullptr;
    LONG_PTR userData = 0;
    bool ended = false;
    INT_PTR result = 0;
    int focusId = 0;
    bool iconic = false;
    RECT rect = {0, 0, 0, 0};
    int clientWidth = 0;
    int clientHeight = 0;
    std::vector<sim::SentMessage> sent;
    bool needsPaint = false;
    std::vector<sim::Paint> paints;
    bool madeWithCommonControls = false;
};

constexpr uintptr_t kExeInstance = 0x400000;
constexpr uintptr_t kAppIcon = 0xA1C0;
constexpr uintptr_t kCursorBase = 0xC0000;
constexpr int kMainDialogTemplate = 102;
constexpr int kAppIconGroup = 128;
// Template 102 at 96 dpi with its 8-point font: 320 x 200 dialog units make
// a client area of 480 x 325 pixels inside a caption and a modal frame.
constexpr int kDialogClientWidth = 480;
constexpr int kDialogClientHeight = 325;
constexpr int kDialogFrameWidth = 6;
constexpr int kDialogCaptionHeight = 25;
constexpr int kIconSize = 32;

struct WindowManager {
    std::map<uintptr_t, Window> windows;
    uintptr_t nextWindow = 0x10000;
    std::vector<sim::MessageBoxRecord> messageBoxes;
    bool resourcesPresent = true;
    sim::DialogUser user;
    RECT workArea = {0, 0, 1024, 738};
    std::vector<sim::DrawnIcon> drawnIcons;
    int openPaints = 0;
    uintptr_t nextDc = 0x5000;
    HCURSOR cursor = reinterpret_cast<HCURSOR>(kCursorBase + 32512);
    bool commonControlsLoaded = false;
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

LRESULT ListBoxContentMessage(Window& box, UINT message, WPARAM wParam, LPARAM lParam) {
    const std::size_t count = box.items.size();
    switch (message) {
        case LB_ADDSTRING:
            if (lParam == 0) {
                return LB_ERR;
            }
            box.items.emplace_back(reinterpret_cast<const char*>(lParam));
            box.added.push_back(box.items.back());
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
            box.added.clear();
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

// A change of the entries or of the scroll position leaves the list box to be
// painted again.
LRESULT ListBoxMessage(Window& box, UINT message, WPARAM wParam, LPARAM lParam) {
    const std::vector<std::string> itemsBefore = box.items;
    const int topBefore = box.topIndex;
    const LRESULT result = ListBoxContentMessage(box, message, wParam, lParam);
    if (box.items != itemsBefore || box.topIndex != topBefore || message == LB_RESETCONTENT) {
        box.needsPaint = true;
    }
    return result;
}

// The shipped exe unwinds C++ exceptions with DWARF tables, and user32's own
// frames, which called the dialog procedure, have none: the search for a
// handler stops there and the runtime ends the process. So an exception that
// leaves the procedure never reaches the code that made the dialog.
INT_PTR CallProcedure(DLGPROC procedure, HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    try {
        return procedure(dialog, message, wParam, lParam);
    } catch (...) {
        std::fprintf(stderr,
                     "sim: a C++ exception left the dialog procedure (message 0x%04x) into the "
                     "dialog manager; the process ends here, as on Windows\n",
                     message);
        std::terminate();
    }
}

Window* FindModal(HWND dialog) {
    Window* window = Find(dialog);
    return window != nullptr && window->procedure != nullptr ? window : nullptr;
}

HWND ChildOf(HWND dialog, int id) {
    for (const auto& entry : Manager().windows) {
        if (entry.second.parent == dialog && entry.second.id == id) {
            return reinterpret_cast<HWND>(entry.first);
        }
    }
    return nullptr;
}

// What a button press sends: WM_COMMAND with BN_CLICKED and the button.
bool Command(HWND dialog, int id) {
    Window* window = FindModal(dialog);
    if (window == nullptr || window->ended) {
        return false;
    }
    CallProcedure(window->procedure, dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                  reinterpret_cast<LPARAM>(ChildOf(dialog, id)));
    return true;
}

bool IsPushButton(int id) {
    return id == IDOK || id == IDCANCEL;
}

}  // namespace

namespace sim {

HWND CreateTestDialog(const std::vector<ControlSpec>& controls) {
    Window dialog;
    dialog.isDialog = true;
    const HWND handle = NewWindow(dialog);
    for (const ControlSpec& wanted : controls) {
        Window control;
        control.parent = handle;
        control.id = wanted.id;
        control.kind = wanted.kind;
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

std::vector<std::string> ListBoxEntriesAdded(HWND listBox) {
    const Window* box = Find(listBox);
    return IsListBox(box) ? box->added : std::vector<std::string>();
}

int ListBoxTopIndex(HWND listBox) {
    const Window* box = Find(listBox);
    return IsListBox(box) ? box->topIndex : -1;
}

std::vector<MessageBoxRecord> MessageBoxes() {
    return Manager().messageBoxes;
}

HINSTANCE ExeInstance() {
    return reinterpret_cast<HINSTANCE>(kExeInstance);
}

void RemoveExeResources() {
    Manager().resourcesPresent = false;
}

HICON AppIconHandle() {
    return reinterpret_cast<HICON>(kAppIcon);
}

void SetDialogUser(DialogUser user) {
    Manager().user = std::move(user);
}

bool ClickButton(HWND dialog, int id) {
    Window* window = FindModal(dialog);
    const Window* button = Find(ChildOf(dialog, id));
    if (window == nullptr || window->ended || button == nullptr || !button->enabled) {
        return false;
    }
    window->focusId = id;
    return Command(dialog, id);
}

bool PressKey(HWND dialog, int virtualKey) {
    Window* window = FindModal(dialog);
    if (window == nullptr || window->ended) {
        return false;
    }
    if (virtualKey == VK_ESCAPE) {
        return Command(dialog, IDCANCEL);
    }
    if (virtualKey == VK_RETURN) {
        // The focused push button, or else the default push button (DM_GETDEFID).
        return Command(dialog, IsPushButton(window->focusId) ? window->focusId : IDOK);
    }
    return false;
}

// DefDlgProc turns the close box into WM_CLOSE and WM_CLOSE into IDCANCEL.
bool ClickCloseBox(HWND dialog) {
    Window* window = FindModal(dialog);
    if (window == nullptr || window->ended) {
        return false;
    }
    if (CallProcedure(window->procedure, dialog, WM_SYSCOMMAND, SC_CLOSE, 0) != 0) {
        return true;
    }
    if (CallProcedure(window->procedure, dialog, WM_CLOSE, 0, 0) != 0) {
        return true;
    }
    return Command(dialog, IDCANCEL);
}

void SetFocusControl(HWND dialog, int id) {
    if (Window* window = FindModal(dialog)) {
        window->focusId = id;
    }
}

int FocusedControl(HWND dialog) {
    const Window* window = FindModal(dialog);
    return window != nullptr ? window->focusId : 0;
}

bool PaintDialog(HWND dialog) {
    Window* window = FindModal(dialog);
    return window != nullptr && CallProcedure(window->procedure, dialog, WM_PAINT, 0, 0) != 0;
}

HCURSOR QueryDragIcon(HWND dialog) {
    Window* window = FindModal(dialog);
    return window != nullptr ? reinterpret_cast<HCURSOR>(
                                   CallProcedure(window->procedure, dialog, WM_QUERYDRAGICON, 0, 0))
                             : nullptr;
}

void SetIconic(HWND window, bool iconic) {
    if (Window* target = Find(window)) {
        target->iconic = iconic;
    }
}

void SetClientSize(HWND window, int width, int height) {
    if (Window* target = Find(window)) {
        target->clientWidth = width;
        target->clientHeight = height;
    }
}

void SetWorkArea(const RECT& area) {
    Manager().workArea = area;
}

RECT WindowRect(HWND window) {
    const Window* target = Find(window);
    return target != nullptr ? target->rect : RECT{0, 0, 0, 0};
}

HICON WindowIcon(HWND window, bool big) {
    const Window* target = Find(window);
    if (target == nullptr) {
        return nullptr;
    }
    return big ? target->bigIcon : target->smallIcon;
}

std::vector<SentMessage> MessagesSentTo(HWND window) {
    const Window* target = Find(window);
    return target != nullptr ? target->sent : std::vector<SentMessage>();
}

std::vector<DrawnIcon> DrawnIcons() {
    return Manager().drawnIcons;
}

int OpenPaints() {
    return Manager().openPaints;
}

int WindowCount() {
    return static_cast<int>(Manager().windows.size());
}

HCURSOR CurrentCursor() {
    return Manager().cursor;
}

bool MadeWithCommonControls(HWND dialog) {
    const Window* window = FindModal(dialog);
    return window != nullptr && window->madeWithCommonControls;
}

std::vector<Paint> PaintsOf(HWND window) {
    const Window* target = Find(window);
    return target != nullptr ? target->paints : std::vector<Paint>();
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
    target->sent.push_back({message, wParam, lParam});
    if (target->procedure != nullptr) {
        // The dialog manager's window procedure asks the dialog procedure first.
        const INT_PTR handled = CallProcedure(target->procedure, window, message, wParam, lParam);
        if (handled != 0) {
            return handled;
        }
        target = Find(window);
        if (target == nullptr) {
            return 0;
        }
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
    if (target->enabled != (enable != FALSE)) {
        target->needsPaint = true;
    }
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
    record.cursor = Manager().cursor;
    record.commonControlsHeld = sim::internal::ProgramHoldsDll("comctl32.dll");
    Manager().messageBoxes.push_back(record);
    return IDOK;
}

// Template 102 holds Test (the default push button), Exit and the list box, in
// this tab order. The dialog is visible once WM_INITDIALOG has been handled;
// then the scripted user acts, and the dialog is destroyed when it has ended.
INT_PTR DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND /*owner*/, DLGPROC procedure,
                        LPARAM initParam) {
    DWORD status = 0;
    if (sim::internal::CallFails("DialogBoxParamA", &status)) {
        SetLastError(status);
        return -1;
    }
    if (!Manager().resourcesPresent || instance != sim::ExeInstance() ||
        templateName != MAKEINTRESOURCEA(kMainDialogTemplate) || procedure == nullptr) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    if (sim::internal::NeedsVersion6Controls() && !sim::Version6ControlsLoaded()) {
        SetLastError(ERROR_CANNOT_FIND_WND_CLASS);
        return -1;
    }
    sim::internal::LoadThemeEngine();
    const HWND dialog = sim::CreateTestDialog({{IDOK, sim::ControlKind::Button},
                                               {IDCANCEL, sim::ControlKind::Button},
                                               {1000, sim::ControlKind::ListBox}});
    {
        Window& window = *Find(dialog);
        window.procedure = procedure;
        window.madeWithCommonControls = Manager().commonControlsLoaded;
        window.clientWidth = kDialogClientWidth;
        window.clientHeight = kDialogClientHeight;
        window.rect = {0, 0, kDialogClientWidth + 2 * kDialogFrameWidth,
                       kDialogClientHeight + kDialogCaptionHeight + 2 * kDialogFrameWidth};
    }
    const HWND firstTabStop = ChildOf(dialog, IDOK);
    if (CallProcedure(procedure, dialog, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTabStop),
                      initParam) != 0) {
        FindModal(dialog)->focusId = IDOK;
    }
    if (!FindModal(dialog)->ended && Manager().user) {
        const sim::DialogUser user = Manager().user;
        user(dialog);
    }
    const Window& window = *FindModal(dialog);
    const INT_PTR result = window.ended ? window.result : -1;
    CallProcedure(procedure, dialog, WM_DESTROY, 0, 0);
    CallProcedure(procedure, dialog, WM_NCDESTROY, 0, 0);
    sim::DestroyTestDialog(dialog);
    return result;
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
    Window* window = FindModal(dialog);
    if (window == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    window->ended = true;
    window->result = result;
    return TRUE;
}

LONG_PTR SetWindowLongPtrA(HWND window, int index, LONG_PTR value) {
    Window* target = FindModal(window);
    if (target == nullptr || index != static_cast<int>(DWLP_USER)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    const LONG_PTR previous = target->userData;
    target->userData = value;
    return previous;
}

LONG_PTR GetWindowLongPtrA(HWND window, int index) {
    const Window* target = FindModal(window);
    if (target == nullptr || index != static_cast<int>(DWLP_USER)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return target->userData;
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
    const Window* target = Find(window);
    if (target == nullptr || rect == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = target->rect;
    return TRUE;
}

BOOL GetClientRect(HWND window, LPRECT rect) {
    const Window* target = Find(window);
    if (target == nullptr || rect == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    *rect = {0, 0, target->clientWidth, target->clientHeight};
    return TRUE;
}

BOOL SetWindowPos(HWND window, HWND /*insertAfter*/, int x, int y, int width, int height,
                  UINT flags) {
    Window* target = Find(window);
    if (target == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    RECT& rect = target->rect;
    if ((flags & SWP_NOSIZE) == 0) {
        rect.right = rect.left + width;
        rect.bottom = rect.top + height;
    }
    if ((flags & SWP_NOMOVE) == 0) {
        const LONG currentWidth = rect.right - rect.left;
        const LONG currentHeight = rect.bottom - rect.top;
        rect = {x, y, x + currentWidth, y + currentHeight};
    }
    return TRUE;
}

BOOL SystemParametersInfoA(UINT action, UINT /*uiParam*/, PVOID pvParam, UINT /*winIni*/) {
    if (action != SPI_GETWORKAREA || pvParam == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *static_cast<RECT*>(pvParam) = Manager().workArea;
    return TRUE;
}

BOOL IsIconic(HWND window) {
    const Window* target = Find(window);
    return target != nullptr && target->iconic ? TRUE : FALSE;
}

HDC BeginPaint(HWND window, LPPAINTSTRUCT paint) {
    if (Find(window) == nullptr || paint == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return nullptr;
    }
    *paint = PAINTSTRUCT();
    paint->hdc = reinterpret_cast<HDC>(Manager().nextDc);
    Manager().nextDc += 0x10;
    ++Manager().openPaints;
    return paint->hdc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
    if (Find(window) == nullptr || paint == nullptr) {
        return FALSE;
    }
    --Manager().openPaints;
    return TRUE;
}

int GetSystemMetrics(int index) {
    return index == SM_CXICON || index == SM_CYICON ? kIconSize : 0;
}

BOOL DrawIcon(HDC dc, int x, int y, HICON icon) {
    Manager().drawnIcons.push_back({dc, x, y, icon});
    return dc != nullptr && icon != nullptr ? TRUE : FALSE;
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
    DWORD status = 0;
    if (sim::internal::CallFails("LoadIconA", &status)) {
        SetLastError(status);
        return nullptr;
    }
    if (!Manager().resourcesPresent || instance != sim::ExeInstance() ||
        name != MAKEINTRESOURCEA(kAppIconGroup)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return sim::AppIconHandle();
}

// The system's cursors only.
HCURSOR LoadCursorA(HINSTANCE instance, LPCSTR name) {
    if (instance != nullptr || !IS_INTRESOURCE(name)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HCURSOR>(kCursorBase + LOWORD(name));
}

HCURSOR SetCursor(HCURSOR cursor) {
    const HCURSOR previous = Manager().cursor;
    Manager().cursor = cursor;
    return previous;
}

BOOL UpdateWindow(HWND window) {
    DWORD status = 0;
    if (sim::internal::CallFails("UpdateWindow", &status)) {
        SetLastError(status);
        return FALSE;
    }
    Window* target = Find(window);
    if (target == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    if (target->needsPaint) {
        target->needsPaint = false;
        sim::Paint paint;
        if (IsListBox(target)) {
            paint.items = target->items;
        }
        paint.enabled = target->enabled;
        paint.cursor = Manager().cursor;
        target->paints.push_back(paint);
    }
    return TRUE;
}

void InitCommonControls(void) {
    DWORD status = 0;
    sim::internal::CallFails("InitCommonControls", &status);
    sim::internal::NoteCallInto("comctl32.dll");
    Manager().commonControlsLoaded = true;
}

namespace {

// comctl32.dll: in the system directory, and on Windows XP and later the
// version 6 that the exe's manifest takes from the side-by-side store.
[[maybe_unused]] const bool commonControlsRegistered = [] {
    const std::vector<sim::internal::DllExport> exports = {
        {"InitCommonControls", reinterpret_cast<void (*)()>(&InitCommonControls)}};
    sim::internal::RegisterDll("comctl32.dll", 0x77390000, exports);
    sim::internal::RegisterDll("winsxs\\comctl32.dll", 0x773d0000, exports);
    return true;
}();

}  // namespace

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    if (moduleName != nullptr) {
        return sim::internal::SystemModuleHandle(moduleName);
    }
    return sim::ExeInstance();
}
