// uninstall.exe in the program folder: what the uninstall entry runs. It
// runs the setup's uninstaller (uninstall-core.exe, beside it) from a copy
// in a temporary folder of its own and waits for it, so that whoever starts
// it and waits (a script, a package manager, the system's program list)
// waits for the removal, and gets its exit code (vuruv.nsi lists them). The
// arguments are handed on ("/S", "/REMOVEDATA").
//
// It moves its own file out of the program folder first, which a running
// program may do: another program holding it (a scanner) stops the
// uninstall with exit code 2 before anything is removed, and the entry keeps
// an uninstaller that works. When the uninstall does not finish, the file
// goes back. What stays in the temporary folder (this program's own file,
// still running) is removed when Windows next starts.
#include <windows.h>

#include <shellapi.h>

#include <string>

namespace {

const wchar_t kCore[] = L"uninstall-core.exe";
const wchar_t kTitle[] = L"Kyoro\x76F4\x64AD\x7BA1\x5BB6";

std::wstring folderOf(const std::wstring &path)
{
    const std::size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

// The command line after the program's own name, without a "_?=" (the
// folder is this program's own).
std::wstring handedOnArguments(bool &silent)
{
    int count = 0;
    wchar_t **words = CommandLineToArgvW(GetCommandLineW(), &count);
    std::wstring arguments;
    silent = false;
    for (int i = 1; words && i < count; ++i) {
        const std::wstring word = words[i];
        if (word.rfind(L"_?=", 0) == 0)
            break; // the rest of the line is the folder
        if (word == L"/S")
            silent = true;
        arguments += L" " + word;
    }
    LocalFree(words);
    return arguments;
}

// A new folder of this run's own in the temporary folder.
std::wstring privateTempFolder()
{
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH)
        return std::wstring();
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        const std::wstring folder = std::wstring(temp, length) + L"VURuv-uninstall-"
            + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount() + attempt);
        if (CreateDirectoryW(folder.c_str(), nullptr))
            return folder;
    }
    return std::wstring();
}

int stop(bool silent, const std::wstring &message, int code)
{
    if (!silent)
        MessageBoxW(nullptr, message.c_str(), kTitle, MB_OK | MB_ICONSTOP);
    return code;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    bool silent = false;
    const std::wstring arguments = handedOnArguments(silent);
    wchar_t image[32768];
    const DWORD length = GetModuleFileNameW(nullptr, image, 32768);
    if (length == 0 || length >= 32768)
        return 2;
    const std::wstring self(image, length);
    const std::wstring folder = folderOf(self);
    const std::wstring temp = privateTempFolder();
    if (folder.empty() || temp.empty())
        return 2;

    // Out of the folder: into the temporary folder, or, on another drive,
    // beside the program folder.
    std::wstring aside = temp + L"\\uninstall.exe";
    if (!MoveFileExW(self.c_str(), aside.c_str(), 0)) {
        const DWORD error = GetLastError();
        aside = folder + L".uninstall.tmp";
        if (error != ERROR_NOT_SAME_DEVICE || !MoveFileExW(self.c_str(), aside.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            RemoveDirectoryW(temp.c_str());
            if (GetFileAttributesW(self.c_str()) == INVALID_FILE_ATTRIBUTES)
                return 3; // another uninstall has taken it already
            return stop(silent, L"\x65E0\x6CD5\x5220\x9664\x201C" + self
                                    + L"\x201D\xFF1A\x5B83\x6B63\x88AB\x5176\x4ED6\x7A0B\x5E8F\x4F7F\x7528\x3002"
                                      L"\x672A\x5220\x9664\x4EFB\x4F55\x6587\x4EF6\x3002",
                        2);
        }
    }

    // The uninstaller proper runs from a copy: it removes its own file too.
    const std::wstring core = temp + L"\\Au_.exe";
    DWORD code = 2;
    if (CopyFileW((folder + L"\\" + kCore).c_str(), core.c_str(), FALSE)) {
        std::wstring line = L"\"" + core + L"\"" + arguments + L" _?=" + folder;
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (CreateProcessW(core.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, temp.c_str(), &startup,
                           &process)) {
            WaitForSingleObject(process.hProcess, INFINITE);
            GetExitCodeProcess(process.hProcess, &code);
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        DeleteFileW(core.c_str());
    }

    if (code == 0) {
        // Empty by now, but for this program's own file until a moment ago.
        RemoveDirectoryW(folder.c_str());
    } else {
        MoveFileExW(aside.c_str(), self.c_str(), 0);
    }
    // A running program cannot remove its own file.
    if (GetFileAttributesW(aside.c_str()) != INVALID_FILE_ATTRIBUTES)
        MoveFileExW(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    if (!RemoveDirectoryW(temp.c_str()))
        MoveFileExW(temp.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    return int(code);
}
