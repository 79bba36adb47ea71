#include "platform/pathmap.h"

namespace kyplatform {

namespace {
bool isLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
} // namespace

bool isDrivePath(const std::string &path)
{
    if (path.size() < 2 || !isLetter(path[0]) || path[1] != ':')
        return false;
    return path.size() == 2 || path[2] == '\\' || path[2] == '/';
}

bool isAbsolutePath(const std::string &path)
{
    return isDrivePath(path) || (!path.empty() && (path[0] == '/' || path[0] == '\\'));
}

} // namespace kyplatform
