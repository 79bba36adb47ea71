#include "platform/processes.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <dirent.h>
#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

namespace kyplatform {

namespace {

std::string baseName(const std::string &path)
{
    const std::string::size_type slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool readWhole(const std::string &path, std::string &content)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    content = buffer.str();
    return true;
}

// A process that has ended but was not yet reaped by its parent runs no more
// and must not count as running.
bool isZombie(const std::string &dir)
{
    std::string stat;
    if (!readWhole(dir + "/stat", stat))
        return true;
    const std::string::size_type close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size())
        return false;
    const char state = stat[close + 2];
    return state == 'Z' || state == 'X';
}

// The name of process `pid`; false when the process is gone.
bool processName(const std::string &pid, std::string &name)
{
    const std::string dir = "/proc/" + pid;
    if (isZombie(dir))
        return false;
    char target[PATH_MAX + 1];
    const ssize_t length = ::readlink((dir + "/exe").c_str(), target, PATH_MAX);
    if (length > 0) {
        std::string path(target, static_cast<std::size_t>(length));
        // A program file replaced or removed while it runs.
        const std::string deleted = " (deleted)";
        if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
            path.resize(path.size() - deleted.size());
        name = baseName(path);
        return true;
    }
    std::string cmdline;
    if (!readWhole(dir + "/cmdline", cmdline))
        return false;
    const std::string first = cmdline.substr(0, cmdline.find('\0'));
    if (!first.empty()) {
        name = baseName(first);
        return true;
    }
    std::string comm;
    if (!readWhole(dir + "/comm", comm))
        return false;
    if (!comm.empty() && comm.back() == '\n')
        comm.pop_back();
    name = comm;
    return true;
}

// Numeric entries of /proc in ascending order (the order processes were
// numbered, which is the nearest thing to the Windows snapshot order).
bool processIds(std::vector<long> &pids)
{
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return false;
    while (const dirent *entry = ::readdir(proc)) {
        char *end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (end && *end == '\0' && pid > 0)
            pids.push_back(pid);
    }
    ::closedir(proc);
    std::sort(pids.begin(), pids.end());
    return true;
}

} // namespace

bool runningProcessNames(std::vector<std::string> &names)
{
    names.clear();
    std::vector<long> pids;
    if (!processIds(pids))
        return false;
    for (const long pid : pids) {
        std::string name;
        if (processName(std::to_string(pid), name))
            names.push_back(name);
    }
    return true;
}

bool terminateProcessesByName(const std::string &name)
{
    std::vector<long> pids;
    if (!processIds(pids))
        return false;
    for (const long pid : pids) {
        std::string current;
        if (processName(std::to_string(pid), current) && current == name)
            ::kill(static_cast<pid_t>(pid), SIGKILL);
    }
    return true;
}

std::string currentProcessName()
{
    std::string name;
    processName("self", name);
    return name;
}

} // namespace kyplatform
