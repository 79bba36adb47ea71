#include "platform/registry.h"

#include <cctype>

namespace kyplatform {

const char kUninstallKey[] = "HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

namespace {
std::string upper(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}
} // namespace

bool splitRegistryKey(const std::string &key, std::string &root, std::vector<std::string> &names)
{
    names.clear();
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    for (;;) {
        const std::string::size_type end = key.find('\\', start);
        parts.push_back(key.substr(start, end == std::string::npos ? std::string::npos : end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    // A single trailing backslash ("HKLM\Software\") names the same key.
    if (parts.size() > 1 && parts.back().empty())
        parts.pop_back();

    const std::string head = upper(parts.front());
    if (head == "HKLM" || head == "HKEY_LOCAL_MACHINE")
        root = "HKLM";
    else if (head == "HKCU" || head == "HKEY_CURRENT_USER")
        root = "HKCU";
    else if (head == "HKCR" || head == "HKEY_CLASSES_ROOT")
        root = "HKCR";
    else if (head == "HKU" || head == "HKEY_USERS")
        root = "HKU";
    else if (head == "HKCC" || head == "HKEY_CURRENT_CONFIG")
        root = "HKCC";
    else
        return false;

    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (parts[i].empty())
            return false;
        names.push_back(parts[i]);
    }
    return true;
}

} // namespace kyplatform
