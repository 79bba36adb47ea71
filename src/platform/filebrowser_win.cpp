#include "platform/filebrowser.h"

#include "platform/win_p.h"

#include <vector>

namespace kyplatform {

namespace {

// The folder as the file browser's one argument: in double quotes (a folder
// name cannot hold one), with backslashes. A trailing backslash is dropped,
// except on a drive's root ("C:\"), which has no blanks and goes unquoted so
// that no backslash stands before a closing quote.
std::wstring browserArgument(const std::string &folder)
{
    std::wstring path = win::toWide(folder);
    for (wchar_t &c : path) {
        if (c == L'/')
            c = L'\\';
    }
    while (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    if (!path.empty() && path.back() == L'\\')
        return path;
    return L"\"" + path + L"\"";
}

} // namespace

bool openFolderInFileBrowser(const std::string &folder, int *systemError)
{
    if (systemError)
        *systemError = 0;
    if (folder.empty())
        return false;
    // The system's own explorer.exe, never one found beside the program.
    std::vector<wchar_t> windows(MAX_PATH);
    const UINT length = GetWindowsDirectoryW(windows.data(), MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        if (systemError)
            *systemError = static_cast<int>(GetLastError());
        return false;
    }
    const std::wstring program = std::wstring(windows.data(), length) + L"\\explorer.exe";
    const std::wstring commandLine = L"\"" + program + L"\" " + browserArgument(folder);

    // A new explorer.exe that ends before it has finished starting makes
    // CreateProcessW fail with ERROR_INTERNAL_ERROR; Wine's shell does that
    // now and then on a busy machine, and the same start a moment later
    // works. So that error alone is tried again: three starts in all, a
    // quarter of a second apart (at most half a second on the caller's
    // thread). Any other error is final at once.
    constexpr int kStarts = 3;
    DWORD error = 0;
    for (int attempt = 1; attempt <= kStarts; ++attempt) {
        std::wstring line = commandLine; // CreateProcessW may write into it
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &process)) {
            // Not waited for.
            win::Handle processHandle(process.hProcess);
            win::Handle threadHandle(process.hThread);
            return true;
        }
        error = GetLastError();
        if (error != ERROR_INTERNAL_ERROR || attempt == kStarts)
            break;
        Sleep(250);
    }
    if (systemError)
        *systemError = static_cast<int>(error);
    return false;
}

} // namespace kyplatform
