#include "bugreporter.h"

#include <windows.h>

#include <shellapi.h>

namespace {
std::string utf8(const wchar_t *text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1)
        return std::string();
    std::string result(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), size, nullptr, nullptr);
    result.pop_back();
    return result;
}
} // namespace

// The narrow argv is in the ANSI code page, which cannot hold every folder
// name; the wide command line can.
std::vector<std::string> programArguments(int, char *[])
{
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t **words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words)
        return arguments;
    for (int i = 1; i < count; ++i)
        arguments.push_back(utf8(words[i]));
    LocalFree(words);
    return arguments;
}

// Windows programs inherit no descriptors unless the starter asks for it
// handle by handle; there is nothing to list, so nothing is written.
void recordDescriptors(const char *)
{
}
