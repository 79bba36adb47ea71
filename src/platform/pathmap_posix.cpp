#include "platform/pathmap.h"

#include <algorithm>
#include <cstdlib>

namespace kyplatform {

namespace {
std::string envOr(const char *name, const std::string &fallback)
{
    const char *value = std::getenv(name);
    return (value && *value) ? std::string(value) : fallback;
}
} // namespace

std::string userDataHome()
{
    const char *xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg == '/')
        return xdg;
    return envOr("HOME", "/tmp") + "/.local/share";
}

std::string driveFolder(char letter)
{
    if (letter >= 'A' && letter <= 'Z')
        letter = static_cast<char>(letter - 'A' + 'a');
    return envOr("KYORO_DRIVES_DIR", userDataHome() + "/kyoro-drives") + "/" + std::string(1, letter);
}

std::string nativePath(const std::string &path)
{
    std::string slashed = path;
    std::replace(slashed.begin(), slashed.end(), '\\', '/');
    if (!isDrivePath(path))
        return slashed;
    // "C:" alone is the drive's root; "C:/a" continues below it.
    return driveFolder(path[0]) + slashed.substr(2);
}

} // namespace kyplatform
