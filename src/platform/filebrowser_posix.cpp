#include "platform/filebrowser.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kyplatform {

namespace {
const char kOpener[] = "xdg-open";

// Full path of `program` found along $PATH, "" when there is none. Done before
// forking: the child of a threaded process may only make async-signal-safe
// calls, and a PATH search allocates.
std::string findInPath(const std::string &program)
{
    const char *path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    std::string::size_type start = 0;
    while (start <= dirs.size()) {
        std::string::size_type end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (dir.empty())
            dir = ".";
        const std::string candidate = dir + "/" + program;
        struct stat info;
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode)
            && ::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return std::string();
}

void writeErrno(int fd, int error)
{
    ssize_t ignored = ::write(fd, &error, sizeof error);
    (void)ignored;
}
} // namespace

bool openFolderInFileBrowser(const std::string &folder)
{
    const std::string opener = findInPath(kOpener);
    if (opener.empty() || folder.empty())
        return false;

    // The exec outcome comes back through a close-on-exec pipe: end of file
    // means the opener is running, an errno value means it never started.
    int status[2];
    if (::pipe2(status, O_CLOEXEC) != 0)
        return false;

    char *const argv[] = {const_cast<char *>(opener.c_str()), const_cast<char *>(folder.c_str()), nullptr};
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(status[0]);
        ::close(status[1]);
        return false;
    }
    if (child == 0) {
        // Double fork: the opener is reparented to init and never becomes a
        // zombie of ours; its own session keeps it out of our terminal.
        ::close(status[0]);
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild < 0) {
            writeErrno(status[1], errno);
            ::_exit(1);
        }
        if (grandchild > 0)
            ::_exit(0);
        const int null = ::open("/dev/null", O_RDWR);
        if (null >= 0) {
            ::dup2(null, STDIN_FILENO);
            ::dup2(null, STDOUT_FILENO);
            ::dup2(null, STDERR_FILENO);
            if (null > STDERR_FILENO)
                ::close(null);
        }
        ::execv(argv[0], argv);
        writeErrno(status[1], errno);
        ::_exit(127);
    }

    ::close(status[1]);
    int waitStatus = 0;
    while (::waitpid(child, &waitStatus, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got;
    do {
        got = ::read(status[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(status[0]);
    return got == 0;
}

} // namespace kyplatform
