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
//   kysetuphelper recover FOLDER         completes (or undoes) an update that
//                                        was cut off; 0 when the folder is
//                                        whole, 2 otherwise
//   kysetuphelper swap FOLDER REPORT     swaps FOLDER\.setup-new in; 0, or 2
//                                        with every file as before and the
//                                        file that could not be moved named
//                                        in REPORT (UTF-16)
//   kysetuphelper removefiles FOLDER     removes what the last swap installed
//   kysetuphelper removetree PATH...     removes each file or folder tree,
//                                        links as links; 0 when all are gone
//   kysetuphelper checkfolder FOLDER     0 when FOLDER can be the program
//                                        folder: a folder, or nothing yet
//                                        below folders; 4 when it or a
//                                        folder on the way to it is a file
//   kysetuphelper start PROGRAM          starts PROGRAM in its folder as the
//                                        user of the desktop (not elevated,
//                                        when the setup is); 0 when started
// (kysetupfiles.h says what these do to the folder.)
//
// Only programs whose file lies in FOLDER itself are touched: the streaming
// tools installed below it (tools\) and the login component (module\) are
// left running, and so is a copy of VURuv installed elsewhere.
#include "kysetupfiles.h"

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
// The program's file: it quits when asked, and never waits for a setup.
const wchar_t kProgramFile[] = L"VURuv.exe";

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

// Ids of the processes whose program file lies in `folder`, but for this
// helper and the processes that started it and wait for it (the setup, the
// uninstaller and uninstall.exe, which was started from the folder). VURuv
// itself is never one of these: it starts the setup of its own update and
// then quits, and the setup must wait until it has gone, or the copy started
// after the update would find it still holding the single-instance lock.
std::set<DWORD> programsIn(const std::wstring &folder)
{
    std::set<DWORD> ids;
    Handle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (snapshot.value == INVALID_HANDLE_VALUE)
        return ids;
    std::vector<PROCESSENTRY32W> entries;
    PROCESSENTRY32W next;
    next.dwSize = sizeof next;
    for (BOOL more = Process32FirstW(snapshot.value, &next); more; more = Process32NextW(snapshot.value, &next))
        entries.push_back(next);
    auto entryOf = [&entries](DWORD id) -> const PROCESSENTRY32W * {
        for (const PROCESSENTRY32W &candidate : entries) {
            if (candidate.th32ProcessID == id)
                return &candidate;
        }
        return nullptr;
    };
    std::set<DWORD> starters{GetCurrentProcessId()};
    for (const PROCESSENTRY32W *child = entryOf(GetCurrentProcessId()); child;) {
        const PROCESSENTRY32W *parent = entryOf(child->th32ParentProcessID);
        if (!parent || parent->th32ProcessID == 0 || sameText(parent->szExeFile, kProgramFile)
            || !starters.insert(parent->th32ProcessID).second)
            break;
        child = parent;
    }
    for (const PROCESSENTRY32W &entry : entries) {
        if (starters.count(entry.th32ProcessID) || entry.th32ProcessID == 0)
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

// Whether `folder` is a folder or can become one: walking up, the first
// thing that exists must be a folder.
bool canBeFolder(const std::wstring &folder)
{
    std::wstring path = folder;
    for (;;) {
        const DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES)
            return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const std::wstring parent = folderOf(path);
        if (parent.empty() || parent == path || parent.size() < 3)
            return true; // up to the drive
        path = parent;
    }
}

// The setup reads it with FileReadUTF16LE.
void writeReport(const std::wstring &path, const std::wstring &text)
{
    Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.value == INVALID_HANDLE_VALUE)
        return;
    const std::wstring content = L"\xfeff" + text;
    DWORD written = 0;
    WriteFile(file.value, content.data(), DWORD(content.size() * sizeof(wchar_t)), &written, nullptr);
}

// Starts `program` with the token of the desktop's shell: the user who is
// logged on, without the elevation this helper runs with, the way the
// program runs when the streamer starts it (its manifest asks for none).
bool startAsDesktopUser(const std::wstring &program, const std::wstring &folder)
{
    HWND shell = GetShellWindow();
    DWORD shellProcess = 0;
    if (!shell || !GetWindowThreadProcessId(shell, &shellProcess) || !shellProcess)
        return false;
    Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, shellProcess));
    if (!process.value)
        return false;
    HANDLE rawToken = nullptr;
    if (!OpenProcessToken(process.value, TOKEN_DUPLICATE, &rawToken))
        return false;
    Handle token(rawToken);
    HANDLE rawPrimary = nullptr;
    if (!DuplicateTokenEx(token.value, TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY | TOKEN_ADJUST_DEFAULT
                              | TOKEN_ADJUST_SESSIONID,
                          nullptr, SecurityImpersonation, TokenPrimary, &rawPrimary))
        return false;
    Handle primary(rawPrimary);
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    if (!CreateProcessWithTokenW(primary.value, 0, program.c_str(), commandLine.data(), 0, nullptr, folder.c_str(),
                                 &startup, &started))
        return false;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return true;
}

// 0 when `program` started: as the desktop's user when it can, else (no
// shell to take the user from) as this helper's.
int startProgram(const std::wstring &program)
{
    const std::wstring folder = program.substr(0, program.find_last_of(L'\\'));
    if (startAsDesktopUser(program, folder))
        return 0;
    std::wstring commandLine = L"\"" + program + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                        &startup, &started))
        return 1;
    CloseHandle(started.hThread);
    CloseHandle(started.hProcess);
    return 0;
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
    } else if (command == L"checkfolder" && count == 3) {
        result = canBeFolder(normalFolder(arguments[2])) ? 0 : 4;
    } else if (command == L"recover" && count == 3) {
        result = kysetup::recover(normalFolder(arguments[2]));
    } else if (command == L"swap" && count == 4) {
        std::wstring failed;
        result = kysetup::swapIn(normalFolder(arguments[2]), failed);
        if (result != kysetup::Done)
            writeReport(arguments[3], failed);
    } else if (command == L"start" && count == 3) {
        result = startProgram(arguments[2]);
    } else if (command == L"removefiles" && count == 3) {
        result = kysetup::removeInstalledFiles(normalFolder(arguments[2])) ? 0 : 1;
    } else if (command == L"removetree") {
        result = 0;
        for (int i = 2; i < count; ++i) {
            if (!kysetup::removeTree(normalFolder(arguments[i])))
                result = 1;
        }
    }
    LocalFree(arguments);
    return result;
}
