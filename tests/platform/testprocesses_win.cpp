// Ending a process on Windows: a tool ended by name leaves exit code 0.
#include "platform/processes.h"
#include "platformtestsupport.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

TEST(ProcessesWin, TerminatedProcessesExitWithZero)
{
    const kytest::TempDir dir("kyterminate");
    ASSERT_TRUE(dir.valid());
    const fs::path program = dir.path() / "Un_A.exe";
    fs::copy_file(KY_PLATFORM_HELPER, program);

    std::wstring commandLine = L"\"" + program.wstring() + L"\" --sleep";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                               nullptr, &startup, &process));
    CloseHandle(process.hThread);
    ASSERT_TRUE(kytest::waitFor([] {
        std::vector<std::string> names;
        kyplatform::runningProcessNames(names);
        return std::find(names.begin(), names.end(), "Un_A.exe") != names.end();
    }));

    EXPECT_TRUE(kyplatform::terminateProcessesByName("Un_A.exe"));
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 10000), WAIT_OBJECT_0);
    DWORD exitCode = 1;
    EXPECT_TRUE(GetExitCodeProcess(process.hProcess, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    CloseHandle(process.hProcess);
}
