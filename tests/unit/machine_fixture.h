// Helpers the unit tests share for setting up a simulated machine: loading a
// profile and writing its value lines, creating registry keys, version
// records, the main dialog's window with its log list, and fixtures that
// attach the main dialog to that window.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "sim/control.h"
#include "ui/port_test_app.h"
#include "ui/port_test_dlg.h"
#include "ui/resource.h"

// Loads `body` into the simulated machine as a REGEDIT4 profile.
inline void Load(const std::string& body) {
    sim::ProfileError error;
    ASSERT_TRUE(sim::LoadProfile("REGEDIT4\n" + body, &error))
        << "line " << error.line << ": " << error.message;
}

// Creates the key at `path` under the local-machine root.
inline void CreateKey(const char* path) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

inline sim::Version MakeVersion(DWORD platform, DWORD major, DWORD minor, WORD servicePack) {
    sim::Version version;
    version.platformId = platform;
    version.major = major;
    version.minor = minor;
    version.servicePackMajor = servicePack;
    version.csdVersion = servicePack != 0 ? "Service Pack " + std::to_string(servicePack) : "";
    return version;
}

// A window with the main dialog's Test and Exit buttons and its log list.
inline HWND CreateLogDialog() {
    return sim::CreateTestDialog({{IDOK, sim::ControlKind::Button},
                                  {IDCANCEL, sim::ControlKind::Button},
                                  {IDC_LOG_LIST, sim::ControlKind::ListBox}});
}

// A profile line giving the value `name` the text `text`.
inline std::string Value(const std::string& name, const std::string& text) {
    return "\"" + name + "\"=\"" + text + "\"\n";
}

// A string value stored without a terminating NUL.
inline std::string BareValue(const std::string& name, const std::string& text) {
    std::string line = "\"" + name + "\"=hex(1):";
    for (size_t i = 0; i < text.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof byte, "%02x", static_cast<unsigned char>(text[i]));
        line += (i == 0 ? "" : ",") + std::string(byte);
    }
    return line + "\n";
}

// The NT device tree as profile text: a key below ENUM, and an instance of
// the ports class with its port name on the instance key or under "Device
// Parameters", and an optional description.
constexpr char kEnumRoot[] = "SYSTEM\\CURRENTCONTROLSET\\ENUM";
constexpr char kPortsClassGuid[] = "{4D36E978-E325-11CE-BFC1-08002BE10318}";

inline std::string EnumSection(const std::string& path) {
    return "[HKEY_LOCAL_MACHINE\\SYSTEM\\CURRENTCONTROLSET\\ENUM\\" + path + "]\n";
}

inline std::string PortInstance(const std::string& path, const std::string& portName,
                                const std::string& description, bool nameUnderParameters = false) {
    std::string text =
        EnumSection(path) + Value("Class", "Ports") + Value("ClassGUID", kPortsClassGuid);
    if (!description.empty()) {
        text += Value("DeviceDesc", description);
    }
    if (nameUnderParameters) {
        return text + EnumSection(path + "\\Device Parameters") + Value("PortName", portName);
    }
    return text + Value("PortName", portName);
}

// A fresh machine with the application object and the main dialog attached to
// a window made by CreateLogDialog.
class LogDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::ResetMachine();
        app_ = std::make_unique<CPortTestApp>();
        window_ = CreateLogDialog();
        dialog_.AttachWindow(window_);
    }
    void TearDown() override {
        dialog_.DetachWindow();
        sim::DestroyTestDialog(window_);
    }

    std::unique_ptr<CPortTestApp> app_;
    HWND window_ = nullptr;
    CPortTestDlg dialog_;
};

// A fresh machine on which the application runs from C:\Tools\ with the main
// dialog, attached to a window made by CreateLogDialog, as its main window.
class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim::ResetMachine();
        app_ = std::make_unique<CPortTestApp>();
        app_->appDirectory = "C:\\Tools\\";
        window_ = CreateLogDialog();
        dialog_ = std::make_unique<CPortTestDlg>();
        dialog_->AttachWindow(window_);
        app_->m_pMainWnd = dialog_.get();
    }
    void TearDown() override {
        dialog_->DetachWindow();
        dialog_.reset();
        sim::DestroyTestDialog(window_);
        app_.reset();
    }

    std::unique_ptr<CPortTestApp> app_;
    HWND window_ = nullptr;
    std::unique_ptr<CPortTestDlg> dialog_;
};
