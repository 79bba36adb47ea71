#include "platformhelper.h"

#include <windows.h>

#include <cwchar>

namespace {
std::string utf8(const wchar_t *text)
{
    const int length = static_cast<int>(std::wcslen(text));
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, text, length, &result[0], size, nullptr, nullptr);
    return result;
}
} // namespace

std::string ownProgramPath()
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return utf8(path);
}

std::string rawCommandLine()
{
    return utf8(GetCommandLineW());
}
