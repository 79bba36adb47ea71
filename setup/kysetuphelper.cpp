// The setup program's helper, unpacked into its temporary folder and run by
// it before it replaces or removes the program's files and after it lays
// them out. A windowed program without windows: the setup waits for it and
// reads its exit code.
//
//   kysetuphelper close FOLDER SECONDS   asks every program running from
//                                        FOLDER (not its sub-folders) to quit
//                                        and waits up to SECONDS; 0 when none
//                                        runs any more, 1 otherwise
//   kysetuphelper kill FOLDER            ends them; 0 when none runs any more
//   kysetuphelper grant FOLDER...        creates each folder and lets the
//                                        users group (BUILTIN\Users) modify
//                                        it and everything below it
//
// Only programs whose file lies in FOLDER itself are touched: the streaming
// tools installed below it (tools\) and the login component (module\) are
// left running, and so is a copy of VURuv installed elsewhere.
#include <windows.h>

#include <aclapi.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <set>
#include <string>
#include <vector>

namespace {

// The class of the hidden window through which VURuv takes WM_CLOSE.
const wchar_t kWatcherClass[] = L"KyTerminationWatcher";

struct Handle
{
    explicit Handle(HANDLE h) : value(h) {}
    ~Handle()
    {
        if (value && value != INVALID_HANDLE_VALUE)
            CloseHandle(value);
    }
    Handle(const Handle &) = delete;
    Handle &operator=(const Handle &) = delete;
    HANDLE value;
};

bool sameText(const std::wstring &a, const std::wstring &b)
{
    return CompareStringOrdinal(a.c_str(), int(a.size()), b.c_str(), int(b.size()), TRUE) == CSTR_EQUAL;
}

// The absolute form of a folder without a trailing backslash.
std::wstring normalFolder(const std::wstring &folder)
{
    wchar_t buffer[32768];
    const DWORD length = GetFullPathNameW(folder.c_str(), 32768, buffer, nullptr);
    std::wstring full = length > 0 && length < 32768 ? std::wstring(buffer, length) : folder;
    while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/'))
        full.pop_back();
    return full;
}

std::wstring folderOf(const std::wstring &path)
{
    const std::size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

// Ids of the processes whose program file lies in `folder`.
std::set<DWORD> programsIn(const std::wstring &folder)
{
    std::set<DWORD> ids;
    Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.value == INVALID_HANDLE_VALUE)
        return ids;
    PROCESSENTRY32W entry;
    entry.dwSize = sizeof entry;
    const DWORD self = GetCurrentProcessId();
    for (BOOL more = Process32FirstW(snapshot.value, &entry); more; more = Process32NextW(snapshot.value, &entry)) {
        if (entry.th32ProcessID == self || entry.th32ProcessID == 0)
            continue;
        Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
        if (!process.value)
            continue;
        wchar_t image[32768];
        DWORD length = 32768;
        if (!QueryFullProcessImageNameW(process.value, 0, image, &length))
            continue;
        if (sameText(folderOf(std::wstring(image, length)), folder))
            ids.insert(entry.th32ProcessID);
    }
    return ids;
}

struct WindowSearch
{
    const std::set<DWORD> *ids;
    std::set<DWORD> watched;       // processes with a watcher window
    std::vector<HWND> watchers;
    std::vector<std::pair<DWORD, HWND>> others; // their visible windows
};

BOOL CALLBACK collectWindow(HWND window, LPARAM parameter)
{
    auto *search = reinterpret_cast<WindowSearch *>(parameter);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (!search->ids->count(pid))
        return TRUE;
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (sameText(className, kWatcherClass)) {
        search->watchers.push_back(window);
        search->watched.insert(pid);
    } else if (IsWindowVisible(window)) {
        search->others.emplace_back(pid, window);
    }
    return TRUE;
}

// WM_CLOSE to VURuv's watcher window; a program without one (the crash
// reporter) gets it on its visible windows, as taskkill does it.
void askToQuit(const std::set<DWORD> &ids)
{
    WindowSearch search{&ids, {}, {}, {}};
    EnumWindows(collectWindow, reinterpret_cast<LPARAM>(&search));
    for (HWND window : search.watchers)
        PostMessageW(window, WM_CLOSE, 0, 0);
    for (const auto &other : search.others) {
        if (!search.watched.count(other.first))
            PostMessageW(other.second, WM_CLOSE, 0, 0);
    }
}

bool waitUntilNoneRuns(const std::wstring &folder, DWORD milliseconds)
{
    const ULONGLONG end = GetTickCount64() + milliseconds;
    for (;;) {
        if (programsIn(folder).empty())
            return true;
        if (GetTickCount64() >= end)
            return false;
        Sleep(100);
    }
}

int closePrograms(const std::wstring &folder, DWORD seconds)
{
    const std::set<DWORD> ids = programsIn(folder);
    if (ids.empty())
        return 0;
    askToQuit(ids);
    // A program that was still starting had no window to ask yet.
    const ULONGLONG end = GetTickCount64() + seconds * 1000ULL;
    while (GetTickCount64() < end) {
        if (waitUntilNoneRuns(folder, 1000))
            return 0;
        askToQuit(programsIn(folder));
    }
    return programsIn(folder).empty() ? 0 : 1;
}

int killPrograms(const std::wstring &folder)
{
    for (DWORD pid : programsIn(folder)) {
        Handle process(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
        if (process.value)
            TerminateProcess(process.value, 1);
    }
    return waitUntilNoneRuns(folder, 5000) ? 0 : 1;
}

// Adds "BUILTIN\Users: modify, inherited by sub-folders and files" to the
// folder's access list, keeping what is there. The group is named by its
// well-known SID, which does not change with the system's language.
bool grantUsersModify(const std::wstring &folder)
{
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid;
    if (!CreateWellKnownSid(WinBuiltinUsersSid, nullptr, sid, &sidSize))
        return false;
    PACL oldAcl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &oldAcl,
                              nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    EXPLICIT_ACCESS_W access = {};
    access.grfAccessPermissions = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
    access.grfAccessMode = GRANT_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = reinterpret_cast<LPWSTR>(sid);
    PACL newAcl = nullptr;
    bool ok = SetEntriesInAclW(1, &access, oldAcl, &newAcl) == ERROR_SUCCESS;
    if (ok) {
        std::wstring path = folder;
        ok = SetNamedSecurityInfoW(&path[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, newAcl,
                                   nullptr) == ERROR_SUCCESS;
    }
    if (newAcl)
        LocalFree(newAcl);
    LocalFree(descriptor);
    return ok;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    int count = 0;
    wchar_t **arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!arguments || count < 3)
        return 2;
    const std::wstring command = arguments[1];
    int result = 2;
    if (command == L"close" && count == 4) {
        result = closePrograms(normalFolder(arguments[2]), DWORD(_wtoi(arguments[3])));
    } else if (command == L"kill" && count == 3) {
        result = killPrograms(normalFolder(arguments[2]));
    } else if (command == L"grant") {
        result = 0;
        for (int i = 2; i < count; ++i) {
            if (!grantUsersModify(normalFolder(arguments[i])))
                result = 1;
        }
    }
    LocalFree(arguments);
    return result;
}
