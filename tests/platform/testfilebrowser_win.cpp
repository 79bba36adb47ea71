// Opening a folder in the Windows file browser: the system's explorer.exe is
// started with the folder as its one argument. The test reads the command
// line of the started process and then ends it.
#include "platform/filebrowser.h"
#include "platform/shell.h"
#include "platformtestsupport.h"

#include "childprocesses_win.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<DWORD> explorersStartedHere()
{
    return kytest::childProcessesNamed(L"explorer.exe");
}

// Starts the browser on `folder` and returns the command line it got.
std::string openedWith(const std::string &folder)
{
    int error = 0;
    if (!kyplatform::openFolderInFileBrowser(folder, &error))
        return "<not started: error " + std::to_string(error) + ">";
    std::vector<DWORD> ids;
    kytest::waitFor([&ids] {
        ids = explorersStartedHere();
        return !ids.empty();
    });
    if (ids.size() != 1)
        return "<" + std::to_string(ids.size()) + " browsers>";
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE | SYNCHRONIZE,
                                 FALSE, ids[0]);
    if (!process)
        return "<cannot open>";
    std::wstring wide;
    kytest::waitFor([&wide, process] {
        wide = kytest::commandLineOf(process);
        return kytest::wholeCommandLine(wide, L"explorer.exe");
    });
    const std::string line = wide.empty() ? "<unreadable>" : kytest::utf8(std::filesystem::path(wide));
    TerminateProcess(process, 0);
    WaitForSingleObject(process, 10000);
    CloseHandle(process);
    return line;
}

} // namespace

TEST(FileBrowserWin, FolderArrivesAsExactlyOneArgument)
{
    struct Case
    {
        const char *folder;
        const char *argument;
    };
    const Case cases[] = {
        {"C:\\users\\Public\\My Videos, OBS rec", "C:\\users\\Public\\My Videos, OBS rec"},
        {"C:/users/Public/录像", "C:\\users\\Public\\录像"},
        {"C:\\users\\Public\\rec\\", "C:\\users\\Public\\rec"},
        {"C:\\", "C:\\"},
    };
    for (const Case &c : cases) {
        const std::string line = openedWith(c.folder);
        const std::vector<std::string> words = kyplatform::splitCommandLine(line);
        ASSERT_EQ(words.size(), 2u) << line;
        EXPECT_EQ(words[1], c.argument) << line;
        char windows[MAX_PATH];
        const UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
        EXPECT_EQ(words[0], std::string(windows, length) + "\\explorer.exe");
    }
}

TEST(FileBrowserWin, NoFolderStartsNothing)
{
    EXPECT_FALSE(kyplatform::openFolderInFileBrowser(""));
    EXPECT_TRUE(explorersStartedHere().empty());
}
