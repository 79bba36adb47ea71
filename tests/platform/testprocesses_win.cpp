// Ending a process on Windows: a tool ended by name leaves exit code 0, and
// is gone when the call returns, so that its folder can be moved at once (as
// the login component's swap does).
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
    // Unique to this run: the name reaches every process of the machine.
    const std::string name = "Un_A_" + std::to_string(GetCurrentProcessId()) + ".exe";
    const fs::path folder = dir.path() / "component";
    ASSERT_TRUE(fs::create_directory(folder));
    const fs::path program = folder / name;
    fs::copy_file(KY_PLATFORM_HELPER, program);

    std::wstring commandLine = L"\"" + program.wstring() + L"\" --sleep";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    ASSERT_TRUE(CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                               nullptr, &startup, &process));
    CloseHandle(process.hThread);
    ASSERT_TRUE(kytest::waitFor([&name] {
        std::vector<std::string> names;
        kyplatform::runningProcessNames(names);
        return std::find(names.begin(), names.end(), name) != names.end();
    }));

    EXPECT_TRUE(kyplatform::terminateProcessesByName(name));
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 0), WAIT_OBJECT_0);
    EXPECT_TRUE(MoveFileW(folder.c_str(), (dir.path() / "retired").c_str())) << GetLastError();
    WaitForSingleObject(process.hProcess, 10000);
    DWORD exitCode = 1;
    EXPECT_TRUE(GetExitCodeProcess(process.hProcess, &exitCode));
    EXPECT_EQ(exitCode, 0u);
    CloseHandle(process.hProcess);
}
