#include "platform/filebrowser.h"

#include "platform/shell.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace kyplatform {

namespace {
// Full path of `program` along $PATH, "" when there is none.
std::string findInPath(const std::string &program)
{
    const char *path = std::getenv("PATH");
    const std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::string::size_type start = 0;
    while (start <= dirs.size()) {
        std::string::size_type end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        const std::string dir = end > start ? dirs.substr(start, end - start) : std::string(".");
        const std::string candidate = dir + "/" + program;
        struct stat info;
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::string();
}

// `word` as one quoted word of a Windows command line, which
// splitCommandLine turns back into exactly `word`.
std::string quotedWord(const std::string &word)
{
    std::string quoted = "\"";
    std::string::size_type backslashes = 0;
    for (const char c : word) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count double only before a quote.
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        quoted += c;
        backslashes = 0;
    }
    quoted.append(backslashes * 2, '\\');
    quoted += '"';
    return quoted;
}
} // namespace

bool openFolderInFileBrowser(const std::string &folder, int *systemError)
{
    if (systemError)
        *systemError = 0;
    const std::string opener = findInPath("xdg-open");
    if (opener.empty() || folder.empty())
        return false;
    errno = 0;
    if (shellExecuteOpenHidden(opener, quotedWord(folder)) == SHELL_STARTED)
        return true;
    if (systemError)
        *systemError = errno;
    return false;
}

} // namespace kyplatform
