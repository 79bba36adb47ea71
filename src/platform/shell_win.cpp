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

bool isProgramImage(const std::string &head, unsigned long long size)
{
    return isPeImage(head, size);
}

} // namespace kyplatform
