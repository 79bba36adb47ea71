#include "platform/pathmap.h"

namespace kyplatform {

// seam: the Windows backend answers with GetModuleFileNameW.
std::string programFilePath()
{
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
