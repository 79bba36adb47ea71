#pragma once

// Plain Win32 (no Qt), for the platform suites and the test support alike:
// the processes this one started under a program name, and what command
// line another process was given.

#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <cwctype>
#include <string>
#include <vector>

namespace kytest {

// Ids of the running processes whose parent is this process and whose
// program file is `name` (letter case ignored).
inline std::vector<DWORD> childProcessesNamed(const wchar_t *name)
{
    std::vector<DWORD> ids;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return ids;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ParentProcessID == GetCurrentProcessId() && lstrcmpiW(entry.szExeFile, name) == 0)
            ids.push_back(entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    return ids;
}

// The command line of another process, read from its process parameters
// (PROCESS_QUERY_INFORMATION and PROCESS_VM_READ); "" while it cannot be
// read, as when the process is still being set up.
inline std::wstring commandLineOf(HANDLE process)
{
    using QueryProcess = NTSTATUS(NTAPI *)(HANDLE, PROCESSINFOCLASS, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryProcess>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryInformationProcess")));
    PROCESS_BASIC_INFORMATION basic = {};
    if (!query || query(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0)
        return std::wstring();
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS parameters = {};
    if (!ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, nullptr)
        || !ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof parameters, nullptr))
        return std::wstring();
    std::wstring line(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
    if (!line.empty()
        && !ReadProcessMemory(process, parameters.CommandLine.Buffer, &line[0], parameters.CommandLine.Length, nullptr))
        return std::wstring();
    return line;
}

// Whether `line`, read from a process, is whole: the parameters of a new
// process are empty or half written while it is being set up, so a line is
// taken once it holds no NUL and names the program it started (`program`,
// letter case ignored).
inline bool wholeCommandLine(const std::wstring &line, const wchar_t *program)
{
    if (line.empty() || line.find(L'\0') != std::wstring::npos)
        return false;
    std::wstring lower = line;
    std::wstring name = program;
    for (wchar_t &c : lower)
        c = wchar_t(towlower(c));
    for (wchar_t &c : name)
        c = wchar_t(towlower(c));
    return lower.find(name) != std::wstring::npos;
}

} // namespace kytest
