// The end-to-end machine "Windows 7 64-bit with a 64-bit WIDCOMM stack" on the
// simulated Windows, which runs it everywhere: its report must be the one the
// exe has to write under Wine.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "machine_fixture.h"
#include "sim/control.h"

namespace {

const std::string kProfiles = VARNOBEL_E2E_PROFILES;

std::string FileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Every "Time=" figure becomes "Time=*", as the end-to-end suite masks them.
std::string MaskedTimes(const std::string& report) {
    static const std::string kTime = "Time=";
    std::string masked;
    std::size_t from = 0;
    for (std::size_t at = report.find(kTime); at != std::string::npos;
         at = report.find(kTime, from)) {
        masked.append(report, from, at + kTime.size() - from).append("*");
        from = report.find_first_not_of("-0123456789.", at + kTime.size());
        if (from == std::string::npos) {
            from = report.size();
        }
    }
    return masked.append(report, from, std::string::npos);
}

class Wow64MachineTest : public MainDialogTest {
protected:
    void LoadMachine(const std::string& name) {
        sim::ProfileError error;
        ASSERT_TRUE(sim::LoadProfileFile(kProfiles + "/" + name + ".reg", &error))
            << "line " << error.line << ": " << error.message;
    }

    std::string Report() {
        dialog_->RunTest();
        EXPECT_EQ(sim::OpenKeyCount(), 0);
        return MaskedTimes(sim::FileContents("C:\\Tools\\ComList.txt"));
    }
};

TEST_F(Wow64MachineTest, ReportsTheStackWhoseKeysAreOnlyInThe64BitView) {
    LoadMachine("win7x64");
    ASSERT_EQ(sim::CurrentProcessKind(), sim::ProcessKind::Wow64);
    const std::string expected = FileText(kProfiles + "/win7x64.ComList.txt");
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Report(), expected);
}

// The same machine as 32-bit Windows, where there is one view only, reports
// the same.
TEST_F(Wow64MachineTest, ReportsAs32BitWindowsWithTheSameStackWould) {
    LoadMachine("win7x64");
    sim::SetProcessKind(sim::ProcessKind::Native32);
    EXPECT_EQ(Report(), FileText(kProfiles + "/win7x64.ComList.txt"));
}

}  // namespace
