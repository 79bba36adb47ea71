// The profile INI editor on text another program wrote: finding a value,
// setting one, and the reader's cut of long values. A value that may be
// stored must read back as set, and setting it must not change another key.

#include "platform/profileini.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

std::string trimmed(const std::string &s)
{
    std::size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    std::size_t last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

bool isValidUtf8(const std::string &s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > s.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += length;
    }
    return true;
}

bool sameName(const std::string &a, const std::string &b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const char x = (a[i] >= 'A' && a[i] <= 'Z') ? char(a[i] - 'A' + 'a') : a[i];
        const char y = (b[i] >= 'A' && b[i] <= 'Z') ? char(b[i] - 'A' + 'a') : b[i];
        if (x != y)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Text, section, key and value, separated by NUL bytes.
    std::vector<std::string> parts(4);
    std::size_t part = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0 && part < 3)
            ++part;
        else
            parts[part] += char(data[i]);
    }
    const std::string &text = parts[0];
    const std::string &section = parts[1];
    const std::string &key = parts[2];
    const std::string &value = parts[3];

    std::string found;
    if (kyplatform::findIniValue(text, section, key, found)) {
        const std::size_t buffer = 1 + size % 600;
        const std::string cut = kyplatform::profileReaderValue(found, buffer);
        check(cut.size() < buffer);
        if (isValidUtf8(found))
            check(isValidUtf8(cut));
    }

    if (!kyplatform::isStorableIniEntry(section, key, value))
        return 0;
    // Another key whose value must survive.
    std::string before;
    const bool hadOther = kyplatform::findIniValue(text, "Publish", "PlayPath", before);
    const std::string written = kyplatform::setIniValue(text, section, key, value);
    std::string after;
    check(kyplatform::findIniValue(written, section, key, after));
    check(after == trimmed(value));
    if (hadOther && !(sameName(trimmed(section), "Publish") && sameName(trimmed(key), "PlayPath"))) {
        std::string other;
        check(kyplatform::findIniValue(written, "Publish", "PlayPath", other));
        check(other == before);
    }
    // Setting the same again changes nothing.
    check(kyplatform::setIniValue(written, section, key, value) == written);
    return 0;
}
