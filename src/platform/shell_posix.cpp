#include "platform/shell.h"

#include "platform/pathmap.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kyplatform {

namespace {

bool endsWithExe(const std::string &path)
{
    if (path.size() < 4)
        return false;
    std::string tail = path.substr(path.size() - 4);
    for (char &c : tail)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return tail == ".exe";
}

// Runs in the forked child: only async-signal-safe calls from here on.
[[noreturn]] void startGrandchild(const char *program, char *const argv[], int reportFd)
{
    ::setsid();
    const int devNull = ::open("/dev/null", O_RDWR);
    if (devNull >= 0) {
        ::dup2(devNull, 0);
        ::dup2(devNull, 1);
        ::dup2(devNull, 2);
        if (devNull > 2)
            ::close(devNull);
    }
    // Nothing else the caller holds open (sockets, files) leaks into the
    // started program.
    ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);

    const pid_t grandchild = ::fork();
    if (grandchild < 0) {
        const int error = errno;
        (void)!::write(reportFd, &error, sizeof error);
        ::_exit(1);
    }
    if (grandchild > 0)
        ::_exit(0);
    // The grandchild belongs to no one here, so no zombie is left behind.
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execv(program, argv);
    const int error = errno;
    (void)!::write(reportFd, &error, sizeof error);
    ::_exit(127);
}

} // namespace

int shellExecuteOpenHidden(const std::string &file, const std::string &parameters)
{
    const std::string program = nativePath(file);
    struct stat info;
    if (program.empty() || ::stat(program.c_str(), &info) != 0)
        return SHELL_FILE_NOT_FOUND;
    if (S_ISDIR(info.st_mode))
        return SHELL_ACCESS_DENIED;
    // Downloaded installers arrive without the executable bit.
    if (endsWithExe(program) && !(info.st_mode & S_IXUSR))
        ::chmod(program.c_str(), (info.st_mode & 07777) | S_IXUSR);

    // Everything the child needs is prepared before fork().
    std::vector<std::string> words = splitCommandLine(parameters);
    words.insert(words.begin(), program);
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0)
        return SHELL_ACCESS_DENIED;

    const pid_t child = ::fork();
    if (child < 0) {
        ::close(report[0]);
        ::close(report[1]);
        return SHELL_ACCESS_DENIED;
    }
    if (child == 0) {
        ::close(report[0]);
        startGrandchild(program.c_str(), argv.data(), report[1]);
    }

    ::close(report[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    // The write end closes at a successful exec; an error number arrives
    // when it failed.
    int error = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got > 0)
        return SHELL_ACCESS_DENIED;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return SHELL_ACCESS_DENIED;
    return SHELL_STARTED;
}

bool isProgramImage(const std::string &head, unsigned long long size)
{
    return isElfImage(head, size) || isPeImage(head, size);
}

ElevatedStart startElevated(const std::string &file, const std::string &parameters)
{
    return shellExecuteOpenHidden(file, parameters) == SHELL_STARTED ? ElevatedStart::Started : ElevatedStart::Failed;
}

} // namespace kyplatform
