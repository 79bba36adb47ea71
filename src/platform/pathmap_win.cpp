#include "platform/pathmap.h"

#include "platform/win_p.h"

#include <vector>

namespace kyplatform {

std::string programFilePath()
{
    // Long paths do not fit MAX_PATH; the buffer grows until the name fits.
    for (DWORD size = MAX_PATH; size <= 32768; size *= 2) {
        std::vector<wchar_t> path(size);
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), size);
        if (length == 0)
            return std::string();
        if (length < size)
            return win::fromWide(path.data(), length);
    }
    return std::string();
}

std::string userDataHome()
{
    return std::string();
}

std::string driveFolder(char)
{
    return std::string();
}

std::string nativePath(const std::string &path)
{
    return path;
}

} // namespace kyplatform
