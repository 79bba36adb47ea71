#include "platformhelper.h"

#include <climits>
#include <unistd.h>

std::string ownProgramPath()
{
    char path[PATH_MAX + 1];
    const ssize_t length = ::readlink("/proc/self/exe", path, PATH_MAX);
    return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
}

std::string rawCommandLine()
{
    return std::string();
}
