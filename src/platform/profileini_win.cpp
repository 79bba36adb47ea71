#include "platform/profileini.h"

#include "platform/win_p.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kyplatform {

namespace {

// The narrow profile functions take ANSI file names. A path with a character
// the ANSI code page lacks is handed over in its short (8.3) form, which is
// plain ASCII; "" when even that is not to be had.
std::string ansiPath(const std::string &path)
{
    const std::wstring wide = win::toWide(path);
    std::string ansi;
    if (win::toAnsi(wide, ansi))
        return ansi;
    const DWORD length = GetShortPathNameW(wide.c_str(), nullptr, 0);
    if (length == 0)
        return std::string();
    std::vector<wchar_t> shortPath(length);
    const DWORD written = GetShortPathNameW(wide.c_str(), shortPath.data(), length);
    if (written == 0 || written >= length || !win::toAnsi(std::wstring(shortPath.data(), written), ansi))
        return std::string();
    return ansi;
}

// Length of `text` without a lead byte of the ANSI code page that lost its
// trail byte when the reader cut the value at its buffer's end.
std::size_t wholeCharacters(const char *text, std::size_t length)
{
    if (GetACP() == CP_UTF8) {
        // Back off to the first byte of a sequence that may be cut, and keep
        // it when the sequence is complete.
        std::size_t start = length;
        while (start > 0 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80)
            --start;
        if (start == 0)
            return length;
        const unsigned char lead = static_cast<unsigned char>(text[start - 1]);
        const std::size_t needed = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        return length - (start - 1) >= needed ? length : start - 1;
    }
    std::size_t i = 0;
    while (i < length) {
        if (IsDBCSLeadByte(static_cast<BYTE>(text[i]))) {
            if (i + 1 >= length)
                return i;
            i += 2;
        } else {
            ++i;
        }
    }
    return length;
}

} // namespace

std::string readProfileString(const std::string &path, const std::string &section, const std::string &key,
                              const std::string &defaultValue, std::size_t bufferSize)
{
    if (bufferSize == 0)
        return std::string();
    std::string ansiDefault;
    win::toAnsi(win::toWide(defaultValue), ansiDefault);
    std::string ansiSection;
    std::string ansiKey;
    const std::string file = ansiPath(path);
    if (file.empty() || !win::toAnsi(win::toWide(section), ansiSection) || !win::toAnsi(win::toWide(key), ansiKey)) {
        std::string fallback = defaultValue;
        while (!fallback.empty() && (fallback.back() == ' ' || fallback.back() == '\t'))
            fallback.pop_back();
        return profileReaderValue(fallback, bufferSize);
    }

    std::vector<char> buffer(bufferSize, '\0');
    const DWORD length = GetPrivateProfileStringA(ansiSection.c_str(), ansiKey.c_str(), ansiDefault.c_str(),
                                                  buffer.data(), static_cast<DWORD>(bufferSize), file.c_str());
    // The value arrives in the ANSI code page (the reader converts a Unicode
    // file to it). A reader that stops short of a cut character still counts
    // the full buffer, so the text ends at its first zero.
    const std::size_t text = strnlen(buffer.data(), std::min<std::size_t>(length, bufferSize));
    const std::size_t whole = wholeCharacters(buffer.data(), text);
    return win::fromWide(win::toWide(buffer.data(), whole, CP_ACP));
}

bool writeProfileString(const std::string &path, const std::string &section, const std::string &key,
                        const std::string &value)
{
    // The system's writer would put a line break in a value into the file as
    // it is, splitting the line; such entries are refused before it runs.
    if (path.empty() || !isStorableIniEntry(section, key, value))
        return false;
    return WritePrivateProfileStringW(win::toWide(section).c_str(), win::toWide(key).c_str(),
                                      win::toWide(value).c_str(), win::toWide(path).c_str())
        != FALSE;
}

} // namespace kyplatform
