#include "platform/pathmap.h"

#include <algorithm>
#include <cstdlib>

#include <unistd.h>

namespace kyplatform {

namespace {
std::string envOr(const char *name, const std::string &fallback)
{
    const char *value = std::getenv(name);
    return (value && *value) ? std::string(value) : fallback;
}
} // namespace

std::string programFilePath()
{
    char buffer[4096];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer)
        return std::string();
    return std::string(buffer, static_cast<std::size_t>(length));
}

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
