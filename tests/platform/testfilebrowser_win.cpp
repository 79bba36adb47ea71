// Opening a folder in the Windows file browser: the system's explorer.exe is
// started with the folder as its one argument. The test reads the command
// line of the started process and then ends it.
#include "platform/filebrowser.h"
#include "platform/shell.h"
#include "platformtestsupport.h"

#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using QueryProcess = NTSTATUS(NTAPI *)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);

std::vector<DWORD> explorersStartedHere()
{
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return ids;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ParentProcessID == GetCurrentProcessId() && lstrcmpiW(entry.szExeFile, L"explorer.exe") == 0)
            ids.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return ids;
}

// The command line of another process, read from its process parameters.
std::string commandLineOf(HANDLE process)
{
    const auto query = reinterpret_cast<QueryProcess>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic = {};
    if (!query || query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0)
        return "<no process information>";
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS parameters = {};
    if (!ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, nullptr)
        || !ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof parameters, nullptr))
        return "<unreadable>";
    std::wstring line(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
    if (!ReadProcessMemory(process, parameters.CommandLine.Buffer, &line[0], parameters.CommandLine.Length, nullptr))
        return "<unreadable>";
    const int size = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), &utf8[0], size, nullptr, nullptr);
    return utf8;
}

// Starts the browser on `folder` and returns the command line it got.
std::string openedWith(const std::string &folder)
{
    if (!kyplatform::openFolderInFileBrowser(folder))
        return "<not started>";
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
    const std::string line = commandLineOf(process);
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
