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

bool openFolderInFileBrowser(const std::string &folder)
{
    if (folder.empty())
        return false;
    // The system's own explorer.exe, never one found beside the program.
    std::vector<wchar_t> windows(MAX_PATH);
    const UINT length = GetWindowsDirectoryW(windows.data(), MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    const std::wstring program = std::wstring(windows.data(), length) + L"\\explorer.exe";
    std::wstring commandLine = L"\"" + program + L"\" " + browserArgument(folder);

    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return false;
    // Not waited for.
    win::Handle processHandle(process.hProcess);
    win::Handle threadHandle(process.hThread);
    return true;
}

} // namespace kyplatform
