// The end-to-end machines of 64-bit Windows 7 with a 64-bit WIDCOMM stack on
// the simulated Windows, which runs them everywhere: each report must be the
// one the exe has to write under Wine.
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

class Wow64MachineTest : public MainDialogTest, public ::testing::WithParamInterface<const char*> {
protected:
    void LoadMachine() {
        sim::ProfileError error;
        ASSERT_TRUE(sim::LoadProfileFile(kProfiles + "/" + GetParam() + ".reg", &error))
            << "line " << error.line << ": " << error.message;
    }

    std::string Expected() const { return FileText(kProfiles + "/" + GetParam() + ".ComList.txt"); }

    std::string Report() {
        dialog_->RunTest();
        EXPECT_EQ(sim::OpenKeyCount(), 0);
        return MaskedTimes(sim::FileContents("C:\\Tools\\ComList.txt"));
    }
};

TEST_P(Wow64MachineTest, ReportsTheStackWhoseKeysAreInThe64BitView) {
    LoadMachine();
    ASSERT_EQ(sim::CurrentProcessKind(), sim::ProcessKind::Wow64);
    const std::string expected = Expected();
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(Report(), expected);
}

// The same machine as 32-bit Windows, where there is one view only, reports
// the same.
TEST_P(Wow64MachineTest, ReportsAs32BitWindowsWithTheSameStackWould) {
    LoadMachine();
    sim::SetProcessKind(sim::ProcessKind::Native32);
    EXPECT_EQ(Report(), Expected());
}

// The 64-bit stack alone, and beside it the stale keys a 32-bit install left
// in the 32-bit view, which must change nothing.
INSTANTIATE_TEST_SUITE_P(Windows7x64, Wow64MachineTest,
                         ::testing::Values("win7x64", "win7x64stale"));

}  // namespace
