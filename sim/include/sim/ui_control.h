// The test side of the simulated window manager: the person in front of the
// modal dialog (clicks, keys, the close box), what the product painted and
// sent, where its window stands, and the exe's resources.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "sim/control.h"
#include "sim/ui.h"

namespace sim {

// The exe's module handle, as WinMain receives it and GetModuleHandleA(null)
// reports it.
HINSTANCE ExeInstance();
// The exe's resources: dialog template 102 (Test, Exit, the list box 1000) and
// icon group 128. Without them DialogBoxParamA and LoadIconA fail.
void RemoveExeResources();
// The icon LoadIconA gives for icon group 128.
HICON AppIconHandle();

// Runs once each modal dialog is up (after WM_INITDIALOG), standing in for
// the user; when it returns without the dialog having ended, DialogBoxParamA
// gives up and returns -1. Null for none. A C++ exception that leaves the
// dialog procedure, whichever way it was called, ends the process.
using DialogUser = std::function<void(HWND dialog)>;
void SetDialogUser(DialogUser user);

// What the user can do; each is false when the dialog has ended or the
// control can't take it. A click moves the focus to the button.
bool ClickButton(HWND dialog, int id);
// Enter presses the focused push button, or else the default one (Test);
// Escape presses Cancel.
bool PressKey(HWND dialog, int virtualKey);
bool ClickCloseBox(HWND dialog);
void SetFocusControl(HWND dialog, int id);
// The identifier of the control with the focus; 0 for none.
int FocusedControl(HWND dialog);
// Sends WM_PAINT; true when the dialog procedure painted, false when it left
// the painting to the default processing.
bool PaintDialog(HWND dialog);
// Sends WM_QUERYDRAGICON and returns the dialog procedure's answer.
HCURSOR QueryDragIcon(HWND dialog);

void SetIconic(HWND window, bool iconic);
void SetClientSize(HWND window, int width, int height);
void SetWorkArea(const RECT& area);
RECT WindowRect(HWND window);

// The icon WM_SETICON left in the big or small slot.
HICON WindowIcon(HWND window, bool big);
// Messages the product sent to a window with SendMessageA, in order.
struct SentMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};
std::vector<SentMessage> MessagesSentTo(HWND window);

struct DrawnIcon {
    HDC dc;
    int x;
    int y;
    HICON icon;
};
std::vector<DrawnIcon> DrawnIcons();
// BeginPaint calls not yet matched by EndPaint.
int OpenPaints();
// Windows that exist: dialogs and their controls.
int WindowCount();

// The cursor SetCursor last set (the arrow at first).
HCURSOR CurrentCursor();

// Whether the common controls library had been loaded (InitCommonControls)
// when the modal dialog's window and controls were created.
bool MadeWithCommonControls(HWND dialog);

// One WM_PAINT that UpdateWindow sent, and what the window showed then.
struct Paint {
    std::vector<std::string> items;  // a list box's entries; empty for others
    bool enabled = true;
    HCURSOR cursor = nullptr;  // the cursor on screen at that moment
};
// Every paint of the window through UpdateWindow, in order. Adding, deleting
// or resetting list-box entries, moving its top index, and enabling or
// disabling a window leave it needing a paint; UpdateWindow paints only then.
std::vector<Paint> PaintsOf(HWND window);

}  // namespace sim
