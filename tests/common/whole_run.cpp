// One whole run of the program on the simulated machine, and the account of
// what it left behind.
#include "whole_run.h"

#include <cstdint>
#include <memory>

#include "framework/app.h"
#include "framework/exceptions.h"
#include "inventory/discovery.h"
#include "inventory/port_table.h"
#include "probe/open_probe.h"
#include "sim/control.h"
#include "sim/ui_control.h"
#include "support/block_pool.h"
#include "ui/port_test_app.h"
#include "ui/port_test_dlg.h"
#include "ui/resource.h"

namespace wholerun {
namespace {

// Bytes of the pool's chunks that are neither headers nor on the free list.
unsigned PoolBytesInUse(const CBlockPool& pool) {
    uint64_t usable = 0;
    for (const PoolChunk* chunk = pool.FirstChunk(); chunk != nullptr; chunk = chunk->nextChunk) {
        usable += chunk->chunkSize - CBlockPool::kChunkHeader;
    }
    uint64_t free = 0;
    for (const PoolBlock* block = pool.FirstFreeBlock(); block != nullptr;
         block = CBlockPool::NextFree(block)) {
        free += CBlockPool::BlockSize(block);
    }
    return usable > free ? static_cast<unsigned>(usable - free) : 0;
}

// Discovery and the probes outside a test run: an exhausted heap ends them
// with the framework's exception, which must leave nothing behind either.
void DiscoverAndProbeEverySlot(CLogSink* sink) {
    try {
        DiscoverPorts(sink);
        for (uint32_t index = 0; index <= static_cast<uint32_t>(kPortCount); ++index) {
            ProbePort(index);
        }
    } catch (const CException&) {
    }
}

// The application and its main dialog on a window with the dialog's
// controls, as the unit tests set them up.
class ProgramOnMachine {
public:
    ProgramOnMachine()
        : window_(sim::CreateTestDialog({{IDOK, sim::ControlKind::Button},
                                         {IDCANCEL, sim::ControlKind::Button},
                                         {IDC_LOG_LIST, sim::ControlKind::ListBox}})) {
        app_.appDirectory = "C:\\Tools\\";
        dialog_.AttachWindow(window_);
        app_.m_pMainWnd = &dialog_;
    }
    ~ProgramOnMachine() {
        app_.m_pMainWnd = nullptr;
        dialog_.DetachWindow();
        sim::DestroyTestDialog(window_);
    }
    ProgramOnMachine(const ProgramOnMachine&) = delete;
    ProgramOnMachine& operator=(const ProgramOnMachine&) = delete;

    CPortTestDlg& Dialog() { return dialog_; }
    HWND Window() const { return window_; }
    bool TestButtonEnabled() const { return IsWindowEnabled(GetDlgItem(window_, IDOK)) != FALSE; }

private:
    CPortTestApp app_;
    HWND window_;
    CPortTestDlg dialog_;
};

void RecordHeld(Outcome* outcome) {
    outcome->openKeysAfterRun = sim::OpenKeyCount();
    outcome->openHandlesAfterRun = sim::OpenHandleCount();
    outcome->openDeviceSetsAfterRun = sim::OpenDeviceInfoSetCount();
    outcome->loadedModulesAfterRun = sim::LoadedModuleCount();
}

void RecordReport(HWND dialog, const std::string& resultPath, Outcome* outcome) {
    const HWND list = GetDlgItem(dialog, IDC_LOG_LIST);
    outcome->tested = true;
    for (const sim::MessageBoxRecord& box : sim::MessageBoxes()) {
        outcome->resultFileRefused |= box.text == "Fail to create result file.";
    }
    outcome->resultFile = sim::FileContents(resultPath);
    outcome->listShown = sim::ListBoxItems(list);
    outcome->listAdded = sim::ListBoxEntriesAdded(list);
    outcome->diskLimited = sim::DiskSpace() >= 0;
}

void RecordAfterRun(const ProgramOnMachine& program, CPortTestDlg& dialog, Outcome* outcome) {
    outcome->resultFileOpen = dialog.resultFile.IsOpen();
    outcome->testButtonEnabled = program.TestButtonEnabled();
    RecordHeld(outcome);
    RecordReport(program.Window(), kResultPath, outcome);
    outcome->poolBytesInUseAfterRun = PoolBytesInUse(ThePool());
    outcome->poolLockDepthAfterRun = sim::CriticalSectionDepth(ThePool().LockSection());
}

// The person at the dialog: paints, presses Test, looks, and leaves.
void ActAsUser(const Session& session, const CPortTestApp& app, HWND dialog, const Hooks& hooks,
               Outcome* outcome) {
    // What the process holds for the dialog's whole life by the time it comes
    // up (the common controls, the DLLs loaded ahead of a wide search) goes
    // at the end, where it is counted; the run may add nothing to it.
    const int modulesAtDialogStart = sim::LoadedModuleCount();
    if (session.paintMinimised) {
        sim::SetIconic(dialog, true);
        sim::SetClientSize(dialog, session.clientWidth, session.clientHeight);
        sim::PaintDialog(dialog);
        sim::QueryDragIcon(dialog);
        sim::SetIconic(dialog, false);
    }
    sim::PaintDialog(dialog);
    for (int i = 0; i < session.testPresses; ++i) {
        session.pressEnter ? sim::PressKey(dialog, VK_RETURN) : sim::ClickButton(dialog, IDOK);
    }
    if (hooks.afterRun) {
        hooks.afterRun();
    }
    sim::ClearFaults();
    if (session.testPresses > 0) {
        const std::string directory = static_cast<const char*>(app.appDirectory);
        RecordReport(dialog, directory + "ComList.txt", outcome);
    }
    const auto* main = static_cast<const CPortTestDlg*>(app.m_pMainWnd);
    outcome->resultFileOpen = main != nullptr && main->resultFile.IsOpen();
    outcome->testButtonEnabled = IsWindowEnabled(GetDlgItem(dialog, IDOK)) != FALSE;
    RecordHeld(outcome);
    outcome->loadedModulesAfterRun -= modulesAtDialogStart;
    switch (session.leave) {
        case Session::Leave::Exit:
            sim::ClickButton(dialog, IDCANCEL);
            break;
        case Session::Leave::Escape:
            sim::PressKey(dialog, VK_ESCAPE);
            break;
        case Session::Leave::CloseBox:
            sim::ClickCloseBox(dialog);
            break;
    }
}

void RecordAtEnd(Outcome* outcome) {
    outcome->heapBlocksAtEnd = sim::LiveAllocations();
    outcome->globalBlocksAtEnd = sim::GlobalBlocksHeld();
    outcome->openKeysAtEnd = sim::OpenKeyCount();
    outcome->openHandlesAtEnd = sim::OpenHandleCount();
    outcome->openDeviceSetsAtEnd = sim::OpenDeviceInfoSetCount();
    outcome->loadedModulesAtEnd = sim::LoadedModuleCount();
    outcome->setupApiCallsWhileUnloaded = sim::CallsWhileUnloaded("setupapi.dll");
    outcome->windowsAtEnd = sim::WindowCount();
}

void Require(bool good, const char* what, std::string* problems) {
    if (!good) {
        *problems += what;
        *problems += '\n';
    }
}

void RequireAtMost(long long held, long long allowed, const char* what, std::string* problems) {
    if (held > allowed) {
        *problems += std::to_string(held) + " " + what + '\n';
    }
}

}  // namespace

void ResetMachineAndPool() {
    ThePool().PoolReset();
    sim::ResetMachine();
}

Outcome RunWholeProgram(const Hooks& hooks) {
    Outcome outcome;
    {
        ProgramOnMachine program;
        if (hooks.beforeRun) {
            hooks.beforeRun();
        }
        DiscoverAndProbeEverySlot(&program.Dialog());
        program.Dialog().RunTest();
        if (hooks.afterRun) {
            hooks.afterRun();
        }
        sim::ClearFaults();
        RecordAfterRun(program, program.Dialog(), &outcome);
    }
    ThePool().PoolReset();
    RecordAtEnd(&outcome);
    return outcome;
}

Outcome RunFromStart(const Session& session, const Hooks& hooks) {
    Outcome outcome;
    outcome.testButtonEnabled = true;  // as no dialog may come up
    sim::SetModulePath(session.modulePath);
    if (session.withoutResources) {
        sim::RemoveExeResources();
    }
    {
        if (hooks.beforeRun) {
            hooks.beforeRun();
        }
        CPortTestApp app;
        sim::SetDialogUser([&](HWND dialog) { ActAsUser(session, app, dialog, hooks, &outcome); });
        constexpr int kShowNormal = 1;
        outcome.exitCode = AfxWinMain(sim::ExeInstance(), nullptr, nullptr, kShowNormal);
        sim::SetDialogUser(nullptr);
        sim::ClearFaults();
        outcome.poolBytesInUseAfterRun = PoolBytesInUse(ThePool());
        outcome.poolLockDepthAfterRun = sim::CriticalSectionDepth(ThePool().LockSection());
    }
    ThePool().PoolReset();
    RecordAtEnd(&outcome);
    return outcome;
}

const std::vector<FaultPoint> kFaultPoints = {
    {"RegOpenKeyExA", false, false},
    {"RegEnumKeyExA", false, false},
    {"RegEnumValueA", false, false},
    {"RegQueryValueExA", false, false},
    {"RegCloseKey", true, false},
    {"SetupDiGetClassDevsA", false, false},
    {"SetupDiEnumDeviceInterfaces", false, false},
    {"SetupDiGetDeviceInterfaceDetailA", false, false},
    {"SetupDiDestroyDeviceInfoList", true, false},
    {"EnumPortsA", false, false},
    {"GetVersionExA", false, false},
    {"GetSystemDirectoryA", false, false},
    {"LoadLibraryExA", false, false},
    {"GetProcAddress", false, false},
    {"FreeLibrary", true, false},
    {"IsWow64Process", false, false},
    {"CreateFileA", false, false},
    {"GetCommState", false, false},
    {"CloseHandle", true, false},
    {"WriteFile", false, false},
    {"QueryPerformanceFrequency", false, false},
    {"QueryPerformanceCounter", false, false},
    {"GlobalAlloc", false, false},
    {"GlobalLock", false, false},
    {"GlobalUnlock", false, false},
    {"GlobalFree", true, false},
    {"SendMessageA", false, false},
    {"GetDlgItem", false, false},
    {"EnableWindow", false, false},
    {"UpdateWindow", false, false},
    {"MessageBoxA", false, false},
    {"GetModuleFileNameA", false, true},
    {"InitCommonControls", false, true},
    {"LoadIconA", false, true},
    {"DialogBoxParamA", false, true},
    {"SetDefaultDllDirectories", false, true},
    {"SetDllDirectoryA", false, true},
    {"FindActCtxSectionStringA", false, true},
    {"QueryActCtxW", false, true},
    {"GetSystemWindowsDirectoryW", false, true},
};

Allowance AllowanceForOneFailed(const std::string& api) {
    Allowance allowance;
    if (api == "RegCloseKey") {
        allowance.keys = 1;
    } else if (api == "CloseHandle") {
        allowance.handles = 1;
    } else if (api == "SetupDiDestroyDeviceInfoList") {
        allowance.deviceSets = 1;
    } else if (api == "FreeLibrary") {
        allowance.modules = 1;
    } else if (api == "GlobalFree") {
        allowance.globalBlocks = 1;
    } else if (api == "EnableWindow") {
        allowance.testMayStayDisabled = true;
    }
    return allowance;
}

std::string Problems(const Outcome& outcome, const Allowance& allowance) {
    std::string problems;
    const Allowance& a = allowance;
    Require(!outcome.resultFileOpen, "the result file is still open", &problems);
    Require(outcome.testButtonEnabled || a.testMayStayDisabled, "Test is disabled", &problems);
    RequireAtMost(outcome.openKeysAfterRun, a.keys, "registry keys open after the run", &problems);
    RequireAtMost(outcome.openHandlesAfterRun, a.handles, "handles open after the run", &problems);
    RequireAtMost(outcome.openDeviceSetsAfterRun, a.deviceSets, "device sets open after the run",
                  &problems);
    RequireAtMost(outcome.loadedModulesAfterRun, a.modules, "DLLs loaded after the run", &problems);
    RequireAtMost(outcome.poolBytesInUseAfterRun, 0, "pool bytes in use after the run", &problems);
    RequireAtMost(outcome.poolLockDepthAfterRun, 0, "entries of the pool's lock not left",
                  &problems);
    RequireAtMost(outcome.heapBlocksAtEnd, 0, "heap blocks held at the end", &problems);
    RequireAtMost(outcome.globalBlocksAtEnd, a.globalBlocks, "global memory blocks held at the end",
                  &problems);
    RequireAtMost(outcome.openKeysAtEnd, a.keys, "registry keys open at the end", &problems);
    RequireAtMost(outcome.openHandlesAtEnd, a.handles, "handles open at the end", &problems);
    RequireAtMost(outcome.openDeviceSetsAtEnd, a.deviceSets, "device sets open at the end",
                  &problems);
    RequireAtMost(outcome.loadedModulesAtEnd, a.modules, "DLLs loaded at the end", &problems);
    RequireAtMost(outcome.windowsAtEnd, 0, "windows left at the end", &problems);
    RequireAtMost(outcome.setupApiCallsWhileUnloaded, 0, "calls into setupapi.dll while not loaded",
                  &problems);
    return problems;
}

}  // namespace wholerun
