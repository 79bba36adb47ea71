#include "bugreporter.h"

#include <windows.h>

#include <shellapi.h>

#include <string>

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

// Whether a command line's first word is this program: its path, or its file
// name with or without ".exe", in any case.
bool namesThisProgram(const wchar_t *word)
{
    wchar_t self[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return true;
    const auto baseName = [](const wchar_t *path) {
        const wchar_t *base = path;
        for (const wchar_t *c = path; *c; ++c) {
            if (*c == L'\\' || *c == L'/')
                base = c + 1;
        }
        return std::wstring(base);
    };
    std::wstring own = baseName(self);
    const std::wstring given = baseName(word);
    if (CompareStringOrdinal(given.c_str(), -1, own.c_str(), -1, TRUE) == CSTR_EQUAL)
        return true;
    const std::size_t dot = own.rfind(L'.');
    if (dot != std::wstring::npos)
        own.resize(dot);
    return CompareStringOrdinal(given.c_str(), -1, own.c_str(), -1, TRUE) == CSTR_EQUAL;
}
} // namespace

// The narrow argv is in the ANSI code page, which cannot hold every folder
// name; the wide command line can. A crashed program names the reporter
// apart from its command line, which then starts with the first value: the
// first word is left out only when it names this program, as a shell puts it.
std::vector<std::string> programArguments(int, char *[])
{
    std::vector<std::string> arguments;
    int count = 0;
    wchar_t **words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words)
        return arguments;
    for (int i = namesThisProgram(words[0]) ? 1 : 0; i < count; ++i)
        arguments.push_back(utf8(words[i]));
    LocalFree(words);
    return arguments;
}

// Windows programs inherit no descriptors unless the starter asks for it
// handle by handle; there is nothing to list, so nothing is written.
void recordDescriptors(const char *)
{
}
