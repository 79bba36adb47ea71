#include "platform/shell.h"

#include "platform/win_p.h"

#include <shellapi.h>

namespace kyplatform {

int shellExecuteOpenHidden(const std::string &file, const std::string &parameters)
{
    // The shell would take an empty file name for the current folder.
    if (file.empty())
        return SHELL_FILE_NOT_FOUND;
    const std::wstring wideFile = win::toWide(file);
    const std::wstring wideParameters = win::toWide(parameters);
    const INT_PTR result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", wideFile.c_str(), wideParameters.empty() ? nullptr : wideParameters.c_str(),
                      nullptr, SW_HIDE));
    // Above 32 the value carries no meaning beyond success.
    if (result > 32)
        return SHELL_STARTED;
    return static_cast<int>(result);
}

ElevatedStart startElevated(const std::string &file, const std::string &parameters)
{
    if (file.empty())
        return ElevatedStart::Failed;
    const std::wstring wideFile = win::toWide(file);
    const std::wstring wideParameters = win::toWide(parameters);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    // No message box of the shell's own: the caller tells the user.
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = wideFile.c_str();
    info.lpParameters = wideParameters.empty() ? nullptr : wideParameters.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&info))
        return ElevatedStart::Started;
    // The user answered "no" on the elevation prompt.
    return GetLastError() == ERROR_CANCELLED ? ElevatedStart::Refused : ElevatedStart::Failed;
}

bool isProgramImage(const std::string &head, unsigned long long size)
{
    return isPeImage(head, size);
}

} // namespace kyplatform
