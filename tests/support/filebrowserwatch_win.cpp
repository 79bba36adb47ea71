#include "filebrowserwatch.h"

#include <QElapsedTimer>
#include <QTest>

#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <vector>

namespace kytest {

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
QString commandLineOf(HANDLE process)
{
    const auto query = reinterpret_cast<QueryProcess>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic = {};
    if (!query || query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0)
        return QString();
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS parameters = {};
    if (!ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, nullptr)
        || !ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof parameters, nullptr))
        return QString();
    std::wstring line(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
    if (!ReadProcessMemory(process, parameters.CommandLine.Buffer, &line[0], parameters.CommandLine.Length, nullptr))
        return QString();
    return QString::fromStdWString(line);
}

} // namespace

FileBrowserWatch::FileBrowserWatch() = default;
FileBrowserWatch::~FileBrowserWatch() = default;

QStringList FileBrowserWatch::opened()
{
    // Wine starts "explorer.exe /desktop" for the first process of a session
    // that makes a window, as the test process itself does: not a browser.
    struct Browser
    {
        HANDLE process;
        QString commandLine;
    };
    std::vector<Browser> browsers;
    QElapsedTimer clock;
    clock.start();
    while (browsers.empty() && clock.elapsed() < 10000) {
        for (DWORD id : explorersStartedHere()) {
            HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | PROCESS_TERMINATE | SYNCHRONIZE,
                                         FALSE, id);
            if (!process)
                continue;
            // Empty while the new process is still being set up: read again.
            const QString line = commandLineOf(process);
            if (line.isEmpty() || line.contains(QLatin1String("/desktop"), Qt::CaseInsensitive))
                CloseHandle(process);
            else
                browsers.push_back({process, line});
        }
        if (browsers.empty())
            QTest::qWait(20);
    }
    for (const Browser &browser : browsers) {
        TerminateProcess(browser.process, 0);
        WaitForSingleObject(browser.process, 10000);
        CloseHandle(browser.process);
    }
    if (browsers.size() != 1)
        return {QStringLiteral("%1 file browsers started").arg(browsers.size())};
    const QString line = browsers.front().commandLine;
    int count = 0;
    wchar_t **words = CommandLineToArgvW(reinterpret_cast<const wchar_t *>(line.utf16()), &count);
    QStringList arguments;
    for (int i = 1; words && i < count; ++i)
        arguments << QString::fromWCharArray(words[i]);
    LocalFree(words);
    return arguments.isEmpty() ? QStringList{QStringLiteral("no arguments: ") + line} : arguments;
}

} // namespace kytest
