// The setup package as a user meets it, under Wine: a silent install into a
// folder of this test's own below Program Files, the installed VURuv.exe
// started, an update over it while it runs, an update that cannot replace a
// file, the uninstall keeping the user's data, and an install into a folder
// named with blanks and Chinese characters whose uninstall removes the data.
//
// The cases run in order and build on each other. Everything this test
// starts is in a job object of its own and runs on a desktop of its own, so
// that other suites in the same prefix neither see its windows nor lose
// their processes; the job ends what is left when the test ends.
#include "platform/registry.h"
#include "platformtestsupport.h"

#include <windows.h>

#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using kytest::waitFor;

namespace {

const wchar_t kDisplayName[] = L"Kyoro直播管家";
const char kUninstallKey[] = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VURuv";
const wchar_t kUninstallSubkey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VURuv";

std::wstring wide(const std::string &text)
{
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    std::wstring result(std::size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), result.data(), length);
    return result;
}

std::string utf8(const std::wstring &text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(std::size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), result.data(), size, nullptr, nullptr);
    return result;
}

std::string readFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void writeFile(const fs::path &path, const std::string &text, bool append = false)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | (append ? std::ios::app : std::ios::trunc));
    out << text;
}

// The job that holds everything this test starts; its processes end with it.
HANDLE testJob()
{
    static const HANDLE job = [] {
        HANDLE created = CreateJobObjectW(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        AssignProcessToJobObject(created, GetCurrentProcess());
        return created;
    }();
    return job;
}

// The desktop this test's programs run on, drawn through the test's own
// X server (DISPLAY, set by the wrapper that starts the test).
const wchar_t *desktopName()
{
    static const std::wstring name = L"kysetuptest-" + std::to_wstring(GetCurrentProcessId());
    return name.c_str();
}

// Opens the test's desktop by name, or makes it.
HDESK openTestDesktop()
{
    return CreateDesktopW(desktopName(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
}

// A started program; the handle closes with the object.
struct Program
{
    HANDLE process = nullptr;
    DWORD id = 0;
    Program() = default;
    Program(const Program &) = delete;
    Program &operator=(const Program &) = delete;
    ~Program()
    {
        if (process)
            CloseHandle(process);
    }

    bool running() const { return process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

    // The exit code, or -1 when it still runs after `timeoutMs`.
    long exitCode(int timeoutMs) const
    {
        if (!process || WaitForSingleObject(process, DWORD(timeoutMs)) != WAIT_OBJECT_0)
            return -1;
        DWORD code = 0;
        GetExitCodeProcess(process, &code);
        return long(code);
    }
};

// Starts a command line in `workDir` on the test's desktop.
bool launch(Program &program, const std::wstring &commandLine, const std::wstring &workDir)
{
    testJob();
    HDESK desktop = openTestDesktop();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    std::wstring name = desktopName();
    startup.lpDesktop = name.data();
    PROCESS_INFORMATION info = {};
    std::wstring line = commandLine;
    const bool started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                        workDir.empty() ? nullptr : workDir.c_str(), &startup, &info);
    if (desktop)
        CloseDesktop(desktop);
    if (!started)
        return false;
    CloseHandle(info.hThread);
    program.process = info.hProcess;
    program.id = info.dwProcessId;
    return true;
}

// Wine closes a desktop a second after the last program on it has ended,
// and a program started in that second lands on the desktop being closed:
// it runs, but shows no window. So a keeper holds the test's desktop from
// before the first program until the test ends. A program on a desktop is
// one of its users from its start on; no window is needed for that.
bool keepTestDesktop()
{
    static const bool kept = [] {
        const std::wstring eventName = std::wstring(desktopName()) + L"-kept";
        HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
        Program keeper;
        if (!ready
            || !launch(keeper,
                       L"\"" + fs::path(KY_DESKTOP_KEEPER).wstring() + L"\" "
                           + std::to_wstring(GetCurrentProcessId()) + L" " + eventName,
                       std::wstring())) {
            std::fprintf(stderr, "the desktop keeper did not start (error %lu)\n", GetLastError());
            return false;
        }
        // As long as the keeper runs: under load, Wine takes its time.
        HANDLE either[] = {ready, keeper.process};
        const bool placed = WaitForMultipleObjects(2, either, FALSE, INFINITE) == WAIT_OBJECT_0;
        CloseHandle(ready);
        if (!placed)
            std::fprintf(stderr, "the desktop keeper ended with %ld before it was in place\n", keeper.exitCode(0));
        return placed;
    }();
    return kept;
}

// Starts a command line in `workDir` on the test's desktop, as the shell
// starts a program from a shortcut.
bool start(Program &program, const std::wstring &commandLine, const std::wstring &workDir)
{
    return keepTestDesktop() && launch(program, commandLine, workDir);
}

// Runs a command line to its end; its exit code, or -1.
long run(const std::wstring &commandLine, int timeoutMs = 120000)
{
    Program program;
    if (!start(program, commandLine, std::wstring()))
        return -1;
    return program.exitCode(timeoutMs);
}

// A process of this test running a program of that file name, or null; the
// handle may end it.
HANDLE jobProcess(const std::wstring &name)
{
    std::vector<char> buffer(sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST) + 1024 * sizeof(ULONG_PTR));
    auto *list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST *>(buffer.data());
    if (!QueryInformationJobObject(testJob(), JobObjectBasicProcessIdList, list, DWORD(buffer.size()), nullptr))
        return nullptr;
    for (DWORD i = 0; i < list->NumberOfProcessIdsInList; ++i) {
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE | SYNCHRONIZE, FALSE,
                                     DWORD(list->ProcessIdList[i]));
        if (!process)
            continue;
        wchar_t image[MAX_PATH * 4];
        DWORD length = MAX_PATH * 4;
        if (QueryFullProcessImageNameW(process, 0, image, &length)
            && _wcsicmp(fs::path(std::wstring(image, length)).filename().c_str(), name.c_str()) == 0)
            return process;
        CloseHandle(process);
    }
    return nullptr;
}

struct WindowQuery
{
    DWORD processId;
    const wchar_t *title; // any title when null
    bool found;
};

BOOL CALLBACK findWindow(HWND window, LPARAM parameter)
{
    auto *query = reinterpret_cast<WindowQuery *>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    if (owner == query->processId && (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE)
        && (!query->title || wcscmp(title, query->title) == 0))
        query->found = true;
    return TRUE;
}

// Whether the process shows a window on the test's desktop (with that title).
bool showsWindow(DWORD processId, const wchar_t *title)
{
    HDESK desktop = OpenDesktopW(desktopName(), 0, FALSE, DESKTOP_ENUMERATE | DESKTOP_READOBJECTS);
    if (!desktop)
        return false;
    WindowQuery query{processId, title, false};
    EnumDesktopWindows(desktop, findWindow, reinterpret_cast<LPARAM>(&query));
    CloseDesktop(desktop);
    return query.found;
}

bool showsMainWindow(const Program &program)
{
    return showsWindow(program.id, kDisplayName);
}

// For a program that shows no window: whether it still runs, and what its
// error logs (in %TEMP%\VURuv) say.
std::string stateOf(const Program &program)
{
    std::string state = program.running() ? "still running" : "ended with " + std::to_string(program.exitCode(0));
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(fs::path(std::wstring(temp, length)) / "VURuv", error)) {
        const std::wstring name = entry.path().filename().wstring();
        if (name.size() > 10 && name.compare(name.size() - 10, 10, L"_error.log") == 0)
            state += "; " + utf8(name) + ":\n" + readFile(entry.path());
    }
    return state;
}

std::wstring knownFolder(REFKNOWNFOLDERID id)
{
    PWSTR path = nullptr;
    std::wstring result;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path)))
        result = path;
    CoTaskMemFree(path);
    return result;
}

struct Shortcut
{
    std::wstring target;
    std::wstring workDir;
    std::wstring icon;
    int iconIndex = -1;
};

bool readShortcut(const fs::path &link, Shortcut &shortcut)
{
    IShellLinkW *shell = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void **>(&shell))))
        return false;
    IPersistFile *file = nullptr;
    bool ok = SUCCEEDED(shell->QueryInterface(IID_IPersistFile, reinterpret_cast<void **>(&file)))
        && SUCCEEDED(file->Load(link.wstring().c_str(), STGM_READ));
    wchar_t text[MAX_PATH * 2];
    // The target through its item list, which holds the names in UTF-16
    // (the plain path of a link may be kept in the ANSI code page).
    PIDLIST_ABSOLUTE items = nullptr;
    if (ok && SUCCEEDED(shell->GetIDList(&items)) && SHGetPathFromIDListW(items, text))
        shortcut.target = text;
    CoTaskMemFree(items);
    if (ok && SUCCEEDED(shell->GetWorkingDirectory(text, MAX_PATH * 2)))
        shortcut.workDir = text;
    if (ok && SUCCEEDED(shell->GetIconLocation(text, MAX_PATH * 2, &shortcut.iconIndex)))
        shortcut.icon = text;
    if (file)
        file->Release();
    shell->Release();
    return ok;
}

fs::path startMenuLink()
{
    return fs::path(knownFolder(FOLDERID_CommonPrograms)) / (std::wstring(kDisplayName) + L".lnk");
}

fs::path desktopLink()
{
    return fs::path(knownFolder(FOLDERID_PublicDesktop)) / (std::wstring(kDisplayName) + L".lnk");
}

std::map<std::string, std::string> uninstallEntry()
{
    std::vector<std::pair<std::string, std::string>> values;
    std::map<std::string, std::string> entry;
    if (kyplatform::registryValues(kUninstallKey, values))
        entry.insert(values.begin(), values.end());
    return entry;
}

// A DWORD of the entry in the given registry view; -1 when missing.
long long entryNumber(const wchar_t *name, REGSAM view = KEY_WOW64_32KEY)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallSubkey, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return -1;
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    const LONG result = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE *>(&value), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_DWORD ? (long long)value : -1;
}

bool keyInView(REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kUninstallSubkey, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

std::string manifestOf(const fs::path &program)
{
    HMODULE module = LoadLibraryExW(program.wstring().c_str(), nullptr,
                                    LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module)
        return std::string();
    std::string text;
    if (HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24))) {
        if (HGLOBAL loaded = LoadResource(module, resource))
            text.assign(static_cast<const char *>(LockResource(loaded)), SizeofResource(module, resource));
    }
    FreeLibrary(module);
    return text;
}

// The shipped folder and the package made from it.
fs::path deployDir()
{
    return fs::path(KY_DEPLOY_DIR);
}

std::string deployVersion()
{
    std::ifstream in(deployDir() / "deault.data");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("version=V", 0) == 0)
            return line.substr(9);
    }
    return std::string();
}

fs::path package()
{
    return fs::path(KY_PACKAGE_DIR) / ("VURuv-" + deployVersion() + "-setup.exe");
}

// Shipped files relative to the folder.
std::vector<fs::path> shippedFiles()
{
    std::vector<fs::path> files;
    for (const auto &entry : fs::recursive_directory_iterator(deployDir())) {
        if (entry.is_regular_file())
            files.push_back(fs::relative(entry.path(), deployDir()));
    }
    return files;
}

// The first shipped file that differs from the installed one, or "".
std::string firstDifference(const fs::path &installed)
{
    for (const fs::path &file : shippedFiles()) {
        if (!fs::exists(installed / file) || readFile(installed / file) != readFile(deployDir() / file))
            return file.string();
    }
    return std::string();
}

std::wstring installCommand(const fs::path &folder)
{
    std::wstring line = L"\"" + package().wstring() + L"\" /S";
    if (!folder.empty())
        line += L" /D=" + folder.wstring(); // last and unquoted, as NSIS wants it
    return line;
}

// The entry's silent uninstall command with `options`, run as a package
// manager runs it: its end is the end of the removal.
long uninstall(const std::wstring &options = std::wstring())
{
    std::string command;
    if (!kyplatform::registryReadString(kUninstallKey, "QuietUninstallString", command))
        return -1;
    return run(wide(command) + options);
}

// ~nsu*.tmp folders NSIS left in this test's temporary folder.
std::vector<std::wstring> setupLeftovers()
{
    std::vector<std::wstring> found;
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    std::error_code error;
    for (const auto &entry : fs::directory_iterator(fs::path(std::wstring(temp, length)), error)) {
        const std::wstring name = entry.path().filename().wstring();
        if (name.rfind(L"~nsu", 0) == 0)
            found.push_back(name);
    }
    return found;
}

// Makes `link` a link to the folder `target`: a junction on Windows, which
// any user may make; under Wine, whose links are the Unix system's, with
// ln.
bool plantFolderLink(const fs::path &link, const fs::path &target)
{
    auto isLink = [&link]() {
        const DWORD attributes = GetFileAttributesW(link.wstring().c_str());
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    };
    run(L"cmd.exe /c mklink /J \"" + link.wstring() + L"\" \"" + target.wstring() + L"\"", 20000);
    using UnixName = char *(CDECL *)(const wchar_t *);
    const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void *>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!isLink() && unixName) {
        RemoveDirectoryW(link.wstring().c_str()); // whatever mklink made instead
        char *from = unixName(target.wstring().c_str());
        char *to = unixName(link.wstring().c_str());
        std::wstring line = L"Z:\\bin\\ln -s \"" + wide(from ? from : "") + L"\" \"" + wide(to ? to : "") + L"\"";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info = {};
        if (from && to && CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
            CloseHandle(info.hThread);
            CloseHandle(info.hProcess);
        }
        // Wine's handle of a Unix program may signal before it has run.
        waitFor(isLink, 10000);
        HeapFree(GetProcessHeap(), 0, from);
        HeapFree(GetProcessHeap(), 0, to);
    }
    return isLink();
}

// Makes the installed copy an older version: its version file, and one file
// whose bytes differ.
void makeOlder(const fs::path &folder)
{
    writeFile(folder / "deault.data", "[Version]\nversion=V0.9.0\n");
    writeFile(folder / "platforms" / "qwindows.dll", "older", true);
}

// A copy of the shipped folder in `folder`\.setup-new, as the setup unpacks it.
void unpackBeside(const fs::path &folder)
{
    fs::remove_all(folder / ".setup-new");
    fs::copy(deployDir(), folder / ".setup-new", fs::copy_options::recursive);
}

fs::path setupHelper()
{
    return fs::path(KY_SETUP_HELPER);
}

fs::path swapKiller()
{
    return fs::path(KY_SWAP_KILLER);
}

fs::path selfUpdater()
{
    return fs::path(KY_SELF_UPDATER);
}


fs::path userDataDir()
{
    return fs::path(knownFolder(FOLDERID_LocalAppData)) / "VURuv";
}

// Files a user's VURuv and its tools leave in the program folder.
void addUserFiles(const fs::path &folder)
{
    writeFile(folder / "download" / "OBS Studio.exe", "an installer downloaded by the program");
    writeFile(folder / "module" / "LiveCodeModule" / "LiveCodeModule.exe", "the login component");
    writeFile(folder / "tools" / "obs-studio" / "bin" / "64bit" / "obs64.exe", "a streaming tool");
    writeFile(folder / "VURuv_2024-0101-1200-00_V1.0.0.dmp", "a crash dump");
}

class SetupPackage : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        s_root = fs::path(knownFolder(FOLDERID_ProgramFiles)) / ("KySetupTest-" + std::to_string(GetCurrentProcessId()));
        s_folder = s_root / "VURuv";
    }

    static void TearDownTestSuite()
    {
        std::error_code ignored;
        fs::remove_all(s_root, ignored);
        CoUninitialize();
    }

    static fs::path s_root;
    static fs::path s_folder;
    static Program s_running;
};

fs::path SetupPackage::s_root;
fs::path SetupPackage::s_folder;
Program SetupPackage::s_running;

TEST_F(SetupPackage, silentInstallLaysOutTheFolderShortcutsAndEntry)
{
    ASSERT_TRUE(fs::exists(package())) << package();
    ASSERT_EQ(run(installCommand(s_folder)), 0);

    EXPECT_EQ(firstDifference(s_folder), "");
    EXPECT_TRUE(fs::exists(s_folder / "uninstall.exe"));
    EXPECT_FALSE(fs::exists(s_folder / ".setup-new"));
    // The crash handler's dump writer, the system's own, beside the program.
    const std::string systemDumpWriter = readFile(fs::path(knownFolder(FOLDERID_System)) / "dbghelp.dll");
    EXPECT_FALSE(systemDumpWriter.empty());
    EXPECT_EQ(readFile(s_folder / "dbghelp.dll"), systemDumpWriter);
    for (const char *tool : {"KYTool", "KYShowTool", "obs-studio"})
        EXPECT_TRUE(fs::is_directory(s_folder / "tools" / tool)) << tool;

    // The program runs unelevated. (The access lists of download\ and
    // module\ cannot be checked here: Wine keeps no access list of a file,
    // it answers one made from the Unix permissions.)
    EXPECT_NE(manifestOf(s_folder / "VURuv.exe").find("level=\"asInvoker\""), std::string::npos);

    for (const fs::path &link : {startMenuLink(), desktopLink()}) {
        Shortcut shortcut;
        ASSERT_TRUE(readShortcut(link, shortcut)) << link;
        EXPECT_EQ(fs::path(shortcut.target), s_folder / "VURuv.exe");
        EXPECT_EQ(fs::path(shortcut.workDir), s_folder);
        EXPECT_EQ(fs::path(shortcut.icon), s_folder / "VURuv.exe");
        EXPECT_EQ(shortcut.iconIndex, 0);
    }

    // Read as the program reads uninstall entries: the 32-bit view.
    const auto entry = uninstallEntry();
    const std::string folder = utf8(s_folder.wstring());
    EXPECT_EQ(entry.at("DisplayName"), utf8(kDisplayName));
    EXPECT_EQ(entry.at("DisplayVersion"), deployVersion());
    EXPECT_EQ(entry.at("Publisher"), "Kyoro");
    EXPECT_EQ(entry.at("DisplayIcon"), folder + "\\VURuv.exe,0");
    EXPECT_EQ(entry.at("UninstallString"), "\"" + folder + "\\uninstall.exe\"");
    EXPECT_EQ(entry.at("QuietUninstallString"), "\"" + folder + "\\uninstall.exe\" /S");
    EXPECT_EQ(entry.at("InstallLocation"), folder);
    long long shippedBytes = 0;
    for (const fs::path &file : shippedFiles())
        shippedBytes += (long long)fs::file_size(deployDir() / file);
    EXPECT_EQ(entryNumber(L"EstimatedSize"), (shippedBytes + 1023) / 1024);
    EXPECT_EQ(entryNumber(L"NoModify"), 1);
    EXPECT_EQ(entryNumber(L"NoRepair"), 1);
    EXPECT_FALSE(keyInView(KEY_WOW64_64KEY));
}

TEST_F(SetupPackage, installedProgramStartsAndShowsItsWindow)
{
    ASSERT_TRUE(start(s_running, L"\"" + (s_folder / "VURuv.exe").wstring() + L"\"", s_folder.wstring()));
    EXPECT_TRUE(waitFor([] { return showsMainWindow(s_running); }, 60000)) << stateOf(s_running);
    EXPECT_TRUE(s_running.running());
}

// Guards against an update that replaces files under a running copy, or
// touches the user's files beside it.
TEST_F(SetupPackage, updateAsksTheRunningCopyToQuitAndReplacesEveryFile)
{
    ASSERT_TRUE(s_running.running());
    addUserFiles(s_folder);
    // The program has its DLLs open; its version file it has not.
    writeFile(s_folder / "deault.data", "[Version]\nversion=V0.9.0\n");

    // No /D=: an update goes where the installed copy is.
    ASSERT_EQ(run(installCommand(fs::path())), 0);
    // The program's own quit path ends with 0; ending it by force gives 1.
    EXPECT_EQ(s_running.exitCode(5000), 0);
    EXPECT_EQ(firstDifference(s_folder), "");
    EXPECT_FALSE(fs::exists(s_folder / ".setup-new"));
    EXPECT_FALSE(fs::exists(s_folder / ".setup-old"));
    EXPECT_EQ(readFile(s_folder / "tools" / "obs-studio" / "bin" / "64bit" / "obs64.exe"), "a streaming tool");
    EXPECT_EQ(readFile(s_folder / "download" / "OBS Studio.exe"), "an installer downloaded by the program");
}

// Before: the setup took VURuv, which starts the setup of its own update
// and then quits, for a program waiting on the setup, and did not wait for
// it: the files were swapped under the quitting copy, and the copy started
// afterwards found it still holding the single-instance lock, handed over
// to it and ended, leaving the streamer without VURuv.
TEST_F(SetupPackage, setupStartedByTheProgramWaitsUntilTheProgramHasEnded)
{
    const fs::path folder = s_root / "self-update";
    fs::create_directories(folder);
    fs::copy_file(selfUpdater(), folder / "VURuv.exe", fs::copy_options::overwrite_existing);
    const std::wstring tag = std::to_wstring(GetCurrentProcessId());
    const std::wstring askedName = L"KySetupTestAsked-" + tag;
    const std::wstring goName = L"KySetupTestGo-" + tag;
    HANDLE asked = CreateEventW(nullptr, TRUE, FALSE, askedName.c_str());
    HANDLE go = CreateEventW(nullptr, TRUE, FALSE, goName.c_str());
    Program program;
    ASSERT_TRUE(start(program,
                      L"\"" + (folder / "VURuv.exe").wstring() + L"\" \"" + setupHelper().wstring() + L"\" "
                          + askedName + L" " + goName,
                      folder.wstring()));

    // Asked to quit, the program takes its time; the helper waits meanwhile.
    const HANDLE askedOrEnded[] = {asked, program.process};
    ASSERT_EQ(WaitForMultipleObjects(2, askedOrEnded, FALSE, 60000), WAIT_OBJECT_0)
        << "the program ended with " << program.exitCode(0) << " without being asked to quit";
    HANDLE helper = nullptr;
    EXPECT_TRUE(waitFor([&helper] { return (helper = jobProcess(L"kysetuphelper.exe")) != nullptr; }, 10000));
    SetEvent(go);
    if (helper) {
        EXPECT_EQ(WaitForSingleObject(helper, 60000), WAIT_OBJECT_0);
        EXPECT_FALSE(program.running());
        DWORD code = 9;
        GetExitCodeProcess(helper, &code);
        EXPECT_EQ(code, 0u);
        CloseHandle(helper);
    }
    EXPECT_EQ(program.exitCode(30000), 0);
    CloseHandle(asked);
    CloseHandle(go);
}

// Guards against a half-replaced folder when one file cannot be replaced:
// every file swapped in before it goes back.
TEST_F(SetupPackage, updateThatCannotReplaceAFileLeavesTheInstalledCopyAsItWas)
{
    writeFile(s_folder / "deault.data", "[Version]\nversion=V0.9.0\n");
    writeFile(s_folder / "platforms" / "qwindows.dll", "older", true);
    const std::string olderPlugin = readFile(s_folder / "platforms" / "qwindows.dll");
    // Held without sharing, as a scanner or another program may hold it; it
    // is the last file the setup swaps in.
    HANDLE held = CreateFileW((s_folder / "styles" / "qwindowsvistastyle.dll").wstring().c_str(), GENERIC_READ, 0,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const long code = run(installCommand(fs::path()));
    CloseHandle(held);

    EXPECT_EQ(code, 2);
    EXPECT_EQ(readFile(s_folder / "deault.data"), "[Version]\nversion=V0.9.0\n");
    EXPECT_EQ(readFile(s_folder / "platforms" / "qwindows.dll"), olderPlugin);
    EXPECT_EQ(readFile(s_folder / "VURuv.exe"), readFile(deployDir() / "VURuv.exe"));
    EXPECT_FALSE(fs::exists(s_folder / ".setup-new"));
    EXPECT_FALSE(fs::exists(s_folder / ".setup-old"));

    ASSERT_EQ(run(installCommand(fs::path())), 0);
    EXPECT_EQ(firstDifference(s_folder), "");
}

TEST_F(SetupPackage, silentUninstallRemovesTheProgramAndKeepsTheUsersData)
{
    writeFile(userDataDir() / "systemSetting", "[obs-studio]\ninstallPath=C:/obs\n");
    ASSERT_EQ(uninstall(), 0);

    for (const fs::path &file : shippedFiles())
        EXPECT_FALSE(fs::exists(s_folder / file)) << file;
    EXPECT_FALSE(fs::exists(s_folder / "uninstall.exe"));
    EXPECT_FALSE(fs::exists(s_folder / "dbghelp.dll"));
    EXPECT_FALSE(fs::exists(s_folder / "platforms"));
    EXPECT_FALSE(fs::exists(startMenuLink()));
    EXPECT_FALSE(fs::exists(desktopLink()));
    EXPECT_FALSE(kyplatform::registryKeyExists(kUninstallKey));

    EXPECT_TRUE(fs::exists(s_folder / "download" / "OBS Studio.exe"));
    EXPECT_TRUE(fs::exists(s_folder / "module" / "LiveCodeModule" / "LiveCodeModule.exe"));
    EXPECT_TRUE(fs::exists(s_folder / "tools" / "obs-studio" / "bin" / "64bit" / "obs64.exe"));
    EXPECT_TRUE(fs::exists(s_folder / "VURuv_2024-0101-1200-00_V1.0.0.dmp"));
    EXPECT_TRUE(fs::exists(userDataDir() / "systemSetting"));
    // Empty default tool folders go; the one holding a tool stays.
    EXPECT_FALSE(fs::exists(s_folder / "tools" / "KYTool"));
}

TEST_F(SetupPackage, folderWithBlanksAndChineseCharactersAndUninstallRemovingTheData)
{
    const fs::path folder = s_root / wide("直播 管家 测试");
    ASSERT_EQ(run(installCommand(folder)), 0);
    EXPECT_EQ(firstDifference(folder), "");
    EXPECT_EQ(uninstallEntry()["InstallLocation"], utf8(folder.wstring()));
    EXPECT_EQ(uninstallEntry()["UninstallString"], "\"" + utf8(folder.wstring()) + "\\uninstall.exe\"");
    Shortcut shortcut;
    ASSERT_TRUE(readShortcut(desktopLink(), shortcut));
    EXPECT_EQ(fs::path(shortcut.target), folder / "VURuv.exe");

    Program program;
    ASSERT_TRUE(start(program, L"\"" + (folder / "VURuv.exe").wstring() + L"\"", folder.wstring()));
    EXPECT_TRUE(waitFor([&program] { return showsMainWindow(program); }, 60000)) << stateOf(program);
    addUserFiles(folder);

    // The uninstaller closes the running copy, then removes the data too.
    ASSERT_EQ(uninstall(L" /REMOVEDATA"), 0);
    EXPECT_EQ(program.exitCode(5000), 0);
    EXPECT_FALSE(fs::exists(folder / "VURuv.exe"));
    EXPECT_FALSE(fs::exists(folder / "download"));
    EXPECT_FALSE(fs::exists(folder / "module"));
    EXPECT_FALSE(fs::exists(folder / "VURuv_2024-0101-1200-00_V1.0.0.dmp"));
    EXPECT_FALSE(fs::exists(userDataDir()));
    EXPECT_TRUE(fs::exists(folder / "tools" / "obs-studio" / "bin" / "64bit" / "obs64.exe"));
    EXPECT_FALSE(kyplatform::registryKeyExists(kUninstallKey));
}

// A "/D=" that cannot be the program folder, and a second copy elsewhere.
// Before: both ended with exit code 0. The first installed over the
// registered copy instead (NSIS puts its default folder in place of such a
// "/D=", which the setup then took for an update); the second took the
// entry over and left the first copy without one.
TEST_F(SetupPackage, foldersThatCannotTakeTheProgramAreRefused)
{
    ASSERT_EQ(run(installCommand(s_folder)), 0);
    makeOlder(s_folder);
    const std::string installed = readFile(s_folder / "deault.data");
    const fs::path file = s_root / "somefile";
    writeFile(file, "not a folder");
    for (const fs::path &folder : {file, file / "below", s_root / "another copy"})
        EXPECT_EQ(run(installCommand(folder)), 4) << folder;
    EXPECT_EQ(readFile(file), "not a folder");
    EXPECT_FALSE(fs::exists(s_root / "another copy"));
    EXPECT_EQ(readFile(s_folder / "deault.data"), installed);
    EXPECT_EQ(uninstallEntry()["InstallLocation"], utf8(s_folder.wstring()));

    // The installed folder itself, written with a closing backslash, is an
    // update. (Older again afterwards: the next case updates an older copy.)
    EXPECT_EQ(run(installCommand(s_folder) + L"\\"), 0);
    EXPECT_EQ(firstDifference(s_folder), "");
    EXPECT_EQ(uninstallEntry()["InstallLocation"], utf8(s_folder.wstring()));
    makeOlder(s_folder);
}

// Before: a second setup did not wait for the first: concurrent updates
// removed each other's unpacked files and most of them failed. Also: what
// the previous version shipped and this one does not is removed.
TEST_F(SetupPackage, setupsRunOneAtATimeAndUpdatesDropWhatIsNoLongerShipped)
{
    writeFile(s_folder / "retired.dll", "shipped by the previous version only");
    writeFile(s_folder / ".setup-files", readFile(s_folder / ".setup-files") + "retired.dll\n");
    writeFile(s_folder / "notes.txt", "the user's own");

    // Another setup holds the machine's setup mutex: this one waits,
    // touching nothing, and goes on once it is free.
    HANDLE other = CreateMutexW(nullptr, TRUE, L"Global\\VURuvSetup");
    ASSERT_NE(other, nullptr);
    Program waiting;
    ASSERT_TRUE(start(waiting, installCommand(fs::path()), std::wstring()));
    EXPECT_EQ(waiting.exitCode(4000), -1);
    EXPECT_FALSE(fs::exists(s_folder / ".setup-new"));
    EXPECT_EQ(readFile(s_folder / "deault.data"), "[Version]\nversion=V0.9.0\n");
    ReleaseMutex(other);
    CloseHandle(other);
    EXPECT_EQ(waiting.exitCode(120000), 0);
    EXPECT_EQ(firstDifference(s_folder), "");
    EXPECT_FALSE(fs::exists(s_folder / "retired.dll"));
    EXPECT_EQ(readFile(s_folder / "notes.txt"), "the user's own");

    makeOlder(s_folder);
    Program first;
    Program second;
    ASSERT_TRUE(start(first, installCommand(fs::path()), std::wstring()));
    ASSERT_TRUE(start(second, installCommand(fs::path()), std::wstring()));
    EXPECT_EQ(first.exitCode(120000), 0);
    EXPECT_EQ(second.exitCode(120000), 0);
    EXPECT_EQ(firstDifference(s_folder), "");
    EXPECT_FALSE(fs::exists(s_folder / ".setup-new"));
}

// Before: the update moved its files one by one with nothing to finish the
// job after a kill: a file could be moved out with its successor not yet
// in, or old and new files mixed. Killed at several points (the test build
// of the helper ends itself after a given move; the real setup is killed
// once the journal appears), the next run completes the swap and the copy
// starts whole.
TEST_F(SetupPackage, updateKilledHalfWayIsCompletedByTheNextRun)
{
    auto startsWhole = [](const fs::path &folder) {
        EXPECT_EQ(firstDifference(folder), "");
        for (const char *side : {".setup-journal", ".setup-new", ".setup-old"})
            EXPECT_FALSE(fs::exists(folder / side)) << side;
        // Started, it becomes the instance (its lock names it), and another
        // start hands over to it.
        const std::wstring command = L"\"" + (folder / "VURuv.exe").wstring() + L"\"";
        Program program;
        if (!start(program, command, folder.wstring()))
            return false;
        const fs::path lock = fs::path(knownFolder(FOLDERID_LocalAppData)) / "VURuv-runtime" / "VURuv_exe.lock";
        const bool owns = waitFor([&]() { return readFile(lock).rfind(std::to_string(program.id) + "\n", 0) == 0; },
                                  60000);
        const bool runs = owns && run(command, 30000) == 0 && program.running();
        TerminateProcess(program.process, 0);
        WaitForSingleObject(program.process, 10000);
        return runs;
    };
    const int files = int(shippedFiles().size());
    // Two moves a file: the first file moved out, then swapped, and half-way.
    for (int killAt : {1, 2, files}) {
        makeOlder(s_folder);
        unpackBeside(s_folder);
        const std::wstring folder = s_folder.wstring();
        EXPECT_EQ(run(L"\"" + swapKiller().wstring() + L"\" \"" + folder + L"\" " + std::to_wstring(killAt)), 9);
        EXPECT_TRUE(fs::exists(s_folder / ".setup-journal")) << killAt;
        EXPECT_EQ(run(L"\"" + setupHelper().wstring() + L"\" recover \"" + folder + L"\""), 0) << killAt;
        EXPECT_TRUE(startsWhole(s_folder)) << killAt;
    }

    // The real setup, killed (with its helper) as soon as the journal
    // appears in the folder.
    makeOlder(s_folder);
    HANDLE changes = CreateFileW(s_folder.wstring().c_str(), FILE_LIST_DIRECTORY,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(changes, INVALID_HANDLE_VALUE);
    OVERLAPPED pending = {};
    pending.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Program setup;
    ASSERT_TRUE(start(setup, installCommand(fs::path()), std::wstring()));
    bool journal = false;
    while (!journal) {
        alignas(DWORD) char buffer[16384];
        ResetEvent(pending.hEvent);
        if (!ReadDirectoryChangesW(changes, buffer, sizeof buffer, FALSE, FILE_NOTIFY_CHANGE_FILE_NAME, nullptr,
                                   &pending, nullptr))
            break;
        const HANDLE events[] = {pending.hEvent, setup.process};
        DWORD got = 0;
        if (WaitForMultipleObjects(2, events, FALSE, 120000) != WAIT_OBJECT_0
            || !GetOverlappedResult(changes, &pending, &got, FALSE))
            break;
        for (DWORD at = 0; got > 0;) {
            const auto *change = reinterpret_cast<const FILE_NOTIFY_INFORMATION *>(buffer + at);
            const std::wstring name(change->FileName, change->FileNameLength / sizeof(wchar_t));
            journal = journal || name == L".setup-journal";
            if (change->NextEntryOffset == 0)
                break;
            at += change->NextEntryOffset;
        }
    }
    CancelIo(changes);
    CloseHandle(changes);
    CloseHandle(pending.hEvent);
    ASSERT_TRUE(journal);
    if (HANDLE helper = jobProcess(L"kysetuphelper.exe")) {
        TerminateProcess(helper, 9);
        WaitForSingleObject(helper, 10000);
        CloseHandle(helper);
    }
    TerminateProcess(setup.process, 9);
    WaitForSingleObject(setup.process, 10000);
    EXPECT_EQ(run(installCommand(fs::path())), 0);
    EXPECT_TRUE(startsWhole(s_folder));
}

// Before: the entry's uninstall command returned before anything was
// removed (the uninstaller handed over to a copy of itself); with its
// uninstall.exe held by another program it ended with 0 and left it; and
// removing the data followed a link planted in download\ or module\ and
// deleted, elevated, the folder the link led to.
TEST_F(SetupPackage, uninstallWaitsReportsAndNeverFollowsLinks)
{
    const fs::path victim = s_root / "victim";
    writeFile(victim / "precious.txt", "not the program's");
    addUserFiles(s_folder);
    ASSERT_TRUE(plantFolderLink(s_folder / "download" / "link", victim));
    ASSERT_TRUE(plantFolderLink(s_folder / "module" / "link", victim));

    // Read, but not to be deleted, as a scanner may hold it.
    HANDLE held = CreateFileW((s_folder / "uninstall.exe").wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(uninstall(L" /REMOVEDATA"), 2);
    CloseHandle(held);
    EXPECT_EQ(firstDifference(s_folder), "");
    EXPECT_TRUE(fs::exists(s_folder / "uninstall.exe"));
    EXPECT_TRUE(kyplatform::registryKeyExists(kUninstallKey));

    EXPECT_EQ(uninstall(L" /REMOVEDATA"), 0);
    // Done by the time the command returns.
    EXPECT_FALSE(fs::exists(s_folder / "VURuv.exe"));
    EXPECT_FALSE(fs::exists(s_folder / "uninstall.exe"));
    EXPECT_FALSE(fs::exists(s_folder / "uninstall-core.exe"));
    EXPECT_FALSE(fs::exists(s_folder / "download" / "OBS Studio.exe"));
    EXPECT_FALSE(kyplatform::registryKeyExists(kUninstallKey));
    EXPECT_EQ(readFile(victim / "precious.txt"), "not the program's");
    EXPECT_EQ(setupLeftovers(), std::vector<std::wstring>());
}

} // namespace
