#include "platform/processes.h"

#include "platform/win_p.h"

#include <psapi.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <vector>

#include <cwchar>

namespace kyplatform {

namespace {

// Calls `visit(entry)` for every process of a fresh snapshot, in snapshot
// order; false when no snapshot could be taken.
template<typename Visit>
bool forEachProcess(Visit visit)
{
    win::Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.valid())
        return false;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more; more = Process32NextW(snapshot.get(), &entry))
        visit(entry);
    return true;
}

std::string exeName(const PROCESSENTRY32W &entry)
{
    return win::fromWide(entry.szExeFile, std::wcslen(entry.szExeFile));
}

} // namespace

bool runningProcessNames(std::vector<std::string> &names)
{
    names.clear();
    return forEachProcess([&names](const PROCESSENTRY32W &entry) { names.push_back(exeName(entry)); });
}

bool terminateProcessesByName(const std::string &name)
{
    // TerminateProcess only starts the end: until a process is gone its
    // program file and folder stay in use and cannot be moved or replaced
    // (the login component's swap follows at once), so each ended process
    // is waited for, a few seconds at most in all.
    std::vector<win::Handle> ended;
    const bool listed = forEachProcess([&name, &ended](const PROCESSENTRY32W &entry) {
        if (exeName(entry) != name)
            return;
        win::Handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID));
        if (process.valid() && TerminateProcess(process.get(), 0))
            ended.push_back(std::move(process));
    });
    const ULONGLONG deadline = GetTickCount64() + 3000;
    for (const win::Handle &process : ended) {
        const ULONGLONG now = GetTickCount64();
        WaitForSingleObject(process.get(), now < deadline ? DWORD(deadline - now) : 0);
    }
    return listed;
}

std::string currentProcessName()
{
    // As the snapshot names it, so that it can be found in the list.
    const DWORD self = GetCurrentProcessId();
    std::string name;
    forEachProcess([&name, self](const PROCESSENTRY32W &entry) {
        if (entry.th32ProcessID == self)
            name = exeName(entry);
    });
    if (!name.empty())
        return name;
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return std::string();
    const std::wstring full(path, length);
    return win::fromWide(full.substr(full.find_last_of(L"\\/") + 1));
}

bool processStartTime(long long pid, unsigned long long &start)
{
    if (pid <= 0 || pid > 0xffffffffLL)
        return false;
    win::Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid)));
    if (!process.valid())
        return false;
    // A process object outlives the process while anyone holds a handle.
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process.get(), &exitCode) || exitCode != STILL_ACTIVE)
        return false;
    FILETIME created;
    FILETIME exited;
    FILETIME kernel;
    FILETIME user;
    if (!GetProcessTimes(process.get(), &created, &exited, &kernel, &user))
        return false;
    start = (static_cast<unsigned long long>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    return true;
}

long long currentProcessId()
{
    return static_cast<long long>(GetCurrentProcessId());
}

std::vector<std::string> programArguments(int, char *[])
{
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t **words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words)
        return arguments;
    for (int i = 1; i < count; ++i)
        arguments.push_back(win::fromWide(words[i], std::wcslen(words[i])));
    LocalFree(words);
    return arguments;
}

double millisecondsSinceProcessStart()
{
    FILETIME created, exited, kernel, user, now;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return -1;
    GetSystemTimeAsFileTime(&now);
    auto hundredNs = [](const FILETIME &time) {
        return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    const unsigned long long start = hundredNs(created), at = hundredNs(now);
    return at < start ? 0 : double(at - start) / 1e4;
}

double processorMilliseconds()
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user))
        return -1;
    auto hundredNs = [](const FILETIME &time) {
        return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return double(hundredNs(kernel) + hundredNs(user)) / 1e4;
}

std::size_t residentBytes()
{
    PROCESS_MEMORY_COUNTERS counters;
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters))
        return 0;
    return counters.WorkingSetSize;
}

} // namespace kyplatform
