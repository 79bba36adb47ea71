#include "platform/processes.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <cstring>
#include <mutex>
#include <string_view>
#include <unordered_map>

#include <dirent.h>
#include <fcntl.h>
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

// Reads up to `size` bytes of a /proc file with plain system calls: the
// status monitor lists every process twice a second, and stream classes cost
// several times the kernel's own work here. -1 when it cannot be read.
ssize_t readProcFile(const char *path, char *buffer, std::size_t size)
{
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    std::size_t total = 0;
    while (total < size) {
        const ssize_t count = ::read(fd, buffer + total, size - total);
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        total += static_cast<std::size_t>(count);
    }
    ::close(fd);
    return static_cast<ssize_t>(total);
}

// What /proc/<pid>/stat tells about a process whose program link cannot be
// read: its kernel name, whether it has ended, whether it is a kernel thread.
struct ProcStat
{
    std::string comm;
    bool ended = false;
    bool kernelThread = false;
};

bool readProcStat(const std::string &dir, ProcStat &stat)
{
    // "pid (comm) S ppid pgrp session tty tpgid flags ...": the kernel name
    // holds at most 64 bytes, so everything needed is in the first few
    // hundred. The name may itself hold ")", hence the last one.
    char buffer[512];
    const ssize_t length = readProcFile((dir + "/stat").c_str(), buffer, sizeof(buffer));
    if (length < 0)
        return false;
    const std::string_view text(buffer, static_cast<std::size_t>(length));
    const std::string_view::size_type open = text.find('(');
    const std::string_view::size_type close = text.rfind(')');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open || close + 2 >= text.size())
        return true;
    stat.comm.assign(text.substr(open + 1, close - open - 1));
    const char state = text[close + 2];
    stat.ended = state == 'Z' || state == 'X';
    // The sixth number after the state is the flags word.
    const char *cursor = buffer + close + 3;
    const char *end = buffer + length;
    unsigned long flags = 0;
    for (int field = 0; field < 6 && cursor < end; ++field) {
        char *next = nullptr;
        flags = std::strtoul(cursor, &next, 10);
        if (next == cursor)
            return true;
        cursor = next;
    }
    const unsigned long kernelThreadFlag = 0x00200000; // PF_KTHREAD
    stat.kernelThread = (flags & kernelThreadFlag) != 0;
    return true;
}

// The first command-line word of a process; false when it cannot be read.
bool firstCommandWord(const std::string &dir, std::string &word)
{
    const int fd = ::open((dir + "/cmdline").c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    word.clear();
    char chunk[4096];
    for (;;) {
        const ssize_t count = ::read(fd, chunk, sizeof(chunk));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        const char *end = static_cast<const char *>(std::memchr(chunk, '\0', static_cast<std::size_t>(count)));
        word.append(chunk, end ? static_cast<std::size_t>(end - chunk) : static_cast<std::size_t>(count));
        if (end)
            break;
    }
    ::close(fd);
    return true;
}

// What processName() found out about one process.
struct NameResult
{
    bool alive = false;
    std::string name;
    // Settled for the life of this /proc entry: a kernel thread never runs
    // another program and a process that has ended never runs again.
    bool settled = false;
};

NameResult lookUpName(const std::string &pid)
{
    NameResult result;
    const std::string dir = "/proc/" + pid;
    // A readable program link means the process still has its memory, which
    // one that has ended (a zombie not yet reaped by its parent) has
    // released: only when the link cannot be read (a kernel thread, a
    // zombie, another user's process) is the state looked at.
    char target[PATH_MAX + 1];
    const ssize_t length = ::readlink((dir + "/exe").c_str(), target, PATH_MAX);
    if (length > 0) {
        std::string path(target, static_cast<std::size_t>(length));
        // A program file replaced or removed while it runs.
        const std::string deleted = " (deleted)";
        if (path.size() > deleted.size() && path.compare(path.size() - deleted.size(), deleted.size(), deleted) == 0)
            path.resize(path.size() - deleted.size());
        result.alive = true;
        result.name = baseName(path);
        return result;
    }
    ProcStat stat;
    if (!readProcStat(dir, stat))
        return result;
    if (stat.ended) {
        result.settled = true;
        return result;
    }
    // A kernel thread has no command line; its kernel name is all there is.
    if (!stat.kernelThread) {
        std::string first;
        if (!firstCommandWord(dir, first))
            return result;
        if (!first.empty()) {
            result.alive = true;
            result.name = baseName(first);
            return result;
        }
    }
    result.alive = true;
    result.name = stat.comm;
    result.settled = stat.kernelThread;
    return result;
}

// The name of process `pid`; false when the process is gone or has ended.
bool processName(const std::string &pid, std::string &name)
{
    const NameResult result = lookUpName(pid);
    if (result.alive)
        name = result.name;
    return result.alive;
}

// One numeric entry of /proc: the process number and the entry's inode
// number, which a new process under a reused number does not share.
struct ProcEntry
{
    long pid;
    ino_t inode;
};

// Numeric entries of /proc in ascending order (the order processes were
// numbered, which is the nearest thing to the Windows snapshot order).
bool processEntries(std::vector<ProcEntry> &entries)
{
    DIR *proc = ::opendir("/proc");
    if (!proc)
        return false;
    while (const dirent *entry = ::readdir(proc)) {
        char *end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (end && *end == '\0' && pid > 0)
            entries.push_back({pid, entry->d_ino});
    }
    ::closedir(proc);
    std::sort(entries.begin(), entries.end(), [](const ProcEntry &a, const ProcEntry &b) { return a.pid < b.pid; });
    return true;
}

// Kernel threads and ended processes found by earlier listings, by process
// number. A machine runs dozens of kernel threads whose program links cannot
// be read; naming them anew costs a failed link lookup and a read of their
// state on every listing, twice a second. An entry counts only while /proc
// shows the same inode under that number.
struct SettledEntry
{
    ino_t inode;
    bool alive;
    std::string name;
};
std::mutex s_settledLock;
std::unordered_map<long, SettledEntry> s_settled;

} // namespace

bool runningProcessNames(std::vector<std::string> &names)
{
    names.clear();
    std::vector<ProcEntry> entries;
    if (!processEntries(entries))
        return false;
    std::unordered_map<long, SettledEntry> settled;
    {
        std::lock_guard<std::mutex> lock(s_settledLock);
        settled.swap(s_settled);
    }
    std::unordered_map<long, SettledEntry> stillSettled;
    for (const ProcEntry &entry : entries) {
        const auto known = settled.find(entry.pid);
        if (known != settled.end() && known->second.inode == entry.inode) {
            if (known->second.alive)
                names.push_back(known->second.name);
            stillSettled.insert(*known);
            continue;
        }
        NameResult result = lookUpName(std::to_string(entry.pid));
        if (result.alive)
            names.push_back(result.name);
        if (result.settled)
            stillSettled.emplace(entry.pid, SettledEntry{entry.inode, result.alive, std::move(result.name)});
    }
    // Numbers no longer listed drop out here, so the table never outgrows /proc.
    std::lock_guard<std::mutex> lock(s_settledLock);
    s_settled.swap(stillSettled);
    return true;
}

bool terminateProcessesByName(const std::string &name)
{
    std::vector<ProcEntry> entries;
    if (!processEntries(entries))
        return false;
    for (const ProcEntry &entry : entries) {
        std::string current;
        if (processName(std::to_string(entry.pid), current) && current == name)
            ::kill(static_cast<pid_t>(entry.pid), SIGKILL);
    }
    return true;
}

std::string currentProcessName()
{
    std::string name;
    processName("self", name);
    return name;
}

bool processStartTime(long long pid, unsigned long long &start)
{
    if (pid <= 0)
        return false;
    char buffer[1024];
    const ssize_t length = readProcFile(("/proc/" + std::to_string(pid) + "/stat").c_str(), buffer, sizeof(buffer) - 1);
    if (length <= 0)
        return false;
    buffer[length] = '\0';
    // "pid (comm) S ..." with the start time the 20th field after the state;
    // the name may itself hold ")", hence the last one.
    const char *close = std::strrchr(buffer, ')');
    if (!close || close + 2 >= buffer + length || close[2] == 'Z' || close[2] == 'X')
        return false;
    const char *cursor = close + 3;
    unsigned long long value = 0;
    for (int field = 0; field < 19; ++field) {
        char *next = nullptr;
        value = std::strtoull(cursor, &next, 10);
        if (next == cursor)
            return false;
        cursor = next;
    }
    start = value;
    return true;
}

long long currentProcessId()
{
    return static_cast<long long>(::getpid());
}

std::vector<std::string> programArguments(int argc, char *argv[])
{
    return std::vector<std::string>(argv + 1, argv + argc);
}

double millisecondsSinceProcessStart()
{
    // Field 22 of /proc/self/stat is the start in clock ticks since boot,
    // which CLOCK_BOOTTIME counts from too. The command name (field 2) may
    // hold blanks and parentheses: the fields are counted from its last ')'.
    char buffer[1024];
    const ssize_t length = readProcFile("/proc/self/stat", buffer, sizeof(buffer) - 1);
    if (length <= 0)
        return -1;
    buffer[length] = '\0';
    const char *close = std::strrchr(buffer, ')');
    if (!close)
        return -1;
    const char *field = close + 1;
    char *end = nullptr;
    unsigned long long startTicks = 0;
    // After ')' come field 3 (state) to field 22: 20 fields, the last wanted.
    for (int index = 3; index <= 22; ++index) {
        while (*field == ' ')
            ++field;
        if (index == 22) {
            errno = 0;
            startTicks = std::strtoull(field, &end, 10);
            if (end == field || errno != 0)
                return -1;
            break;
        }
        field = std::strchr(field, ' ');
        if (!field)
            return -1;
    }
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    timespec now{};
    if (ticksPerSecond <= 0 || ::clock_gettime(CLOCK_BOOTTIME, &now) != 0)
        return -1;
    const double nowMs = double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
    return nowMs - double(startTicks) * 1e3 / double(ticksPerSecond);
}

double processorMilliseconds()
{
    timespec used{};
    if (::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used) != 0)
        return -1;
    return double(used.tv_sec) * 1e3 + double(used.tv_nsec) / 1e6;
}

std::size_t residentBytes()
{
    // Field 2 of /proc/self/statm: resident pages.
    char buffer[256];
    const ssize_t length = readProcFile("/proc/self/statm", buffer, sizeof(buffer) - 1);
    if (length <= 0)
        return 0;
    buffer[length] = '\0';
    unsigned long long sizePages = 0, residentPages = 0;
    if (std::sscanf(buffer, "%llu %llu", &sizePages, &residentPages) != 2)
        return 0;
    return static_cast<std::size_t>(residentPages) * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

} // namespace kyplatform
