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

// Wine closes a desktop a second after the last program on it has ended:
// its name goes, and the next program started there gets a new desktop of
// that name, whose windows a handle to the old one never sees. So the
// desktop is opened by name, or made, each time it is needed.
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

// Starts a command line in `workDir` on the test's desktop, as the shell
// starts a program from a shortcut.
bool start(Program &program, const std::wstring &commandLine, const std::wstring &workDir)
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

// Runs a command line to its end; its exit code, or -1.
long run(const std::wstring &commandLine, int timeoutMs = 120000)
{
    Program program;
    if (!start(program, commandLine, std::wstring()))
        return -1;
    return program.exitCode(timeoutMs);
}

// Names of this test's running processes (not the test itself).
std::vector<std::wstring> jobProcessNames()
{
    std::vector<std::wstring> names;
    std::vector<char> buffer(sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST) + 1024 * sizeof(ULONG_PTR));
    auto *list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST *>(buffer.data());
    if (!QueryInformationJobObject(testJob(), JobObjectBasicProcessIdList, list, DWORD(buffer.size()), nullptr))
        return names;
    for (DWORD i = 0; i < list->NumberOfProcessIdsInList; ++i) {
        const DWORD id = DWORD(list->ProcessIdList[i]);
        if (id == GetCurrentProcessId())
            continue;
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
        if (!process)
            continue;
        wchar_t image[MAX_PATH * 4];
        DWORD length = MAX_PATH * 4;
        if (QueryFullProcessImageNameW(process, 0, image, &length))
            names.push_back(fs::path(std::wstring(image, length)).filename().wstring());
        CloseHandle(process);
    }
    return names;
}

bool jobRuns(const std::wstring &name)
{
    for (const std::wstring &running : jobProcessNames()) {
        if (_wcsicmp(running.c_str(), name.c_str()) == 0)
            return true;
    }
    return false;
}

struct WindowQuery
{
    DWORD processId;
    bool found;
};

BOOL CALLBACK findMainWindow(HWND window, LPARAM parameter)
{
    auto *query = reinterpret_cast<WindowQuery *>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 64);
    if (owner == query->processId && (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE)
        && wcscmp(title, kDisplayName) == 0)
        query->found = true;
    return TRUE;
}

bool showsMainWindow(const Program &program)
{
    HDESK desktop = OpenDesktopW(desktopName(), 0, FALSE, DESKTOP_ENUMERATE | DESKTOP_READOBJECTS);
    if (!desktop)
        return false;
    WindowQuery query{program.id, false};
    EnumDesktopWindows(desktop, findMainWindow, reinterpret_cast<LPARAM>(&query));
    CloseDesktop(desktop);
    return query.found;
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

// Runs the uninstaller silently and waits for the copy of itself that it
// hands over to in the temporary folder.
long uninstall(const fs::path &folder, const std::wstring &options = std::wstring())
{
    const long code = run(L"\"" + (folder / "uninstall.exe").wstring() + L"\" /S" + options);
    if (code != 0)
        return code;
    const bool ended = waitFor([] { return !jobRuns(L"Un.exe") && !jobRuns(L"Un_A.exe") && !jobRuns(L"Au_.exe"); },
                               60000);
    return ended ? 0 : -1;
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
    EXPECT_TRUE(waitFor([] { return showsMainWindow(s_running); }, 60000));
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
    ASSERT_EQ(uninstall(s_folder), 0);

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
    EXPECT_TRUE(waitFor([&program] { return showsMainWindow(program); }, 60000));
    addUserFiles(folder);

    // The uninstaller closes the running copy, then removes the data too.
    ASSERT_EQ(uninstall(folder, L" /REMOVEDATA"), 0);
    EXPECT_EQ(program.exitCode(5000), 0);
    EXPECT_FALSE(fs::exists(folder / "VURuv.exe"));
    EXPECT_FALSE(fs::exists(folder / "download"));
    EXPECT_FALSE(fs::exists(folder / "module"));
    EXPECT_FALSE(fs::exists(folder / "VURuv_2024-0101-1200-00_V1.0.0.dmp"));
    EXPECT_FALSE(fs::exists(userDataDir()));
    EXPECT_TRUE(fs::exists(folder / "tools" / "obs-studio" / "bin" / "64bit" / "obs64.exe"));
    EXPECT_FALSE(kyplatform::registryKeyExists(kUninstallKey));
}

} // namespace
