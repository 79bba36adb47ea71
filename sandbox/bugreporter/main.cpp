// Stand-in for the crash reporter that uploads a dump. It uploads nothing; it
// records how it was started so that tests can check it.
//
//   KYORO_BUGREPORTER_LOG    file to append the arguments to (default
//                            "BugReporter.args" in the working folder): each
//                            argument after the program name followed by a
//                            NUL byte, then a line feed ending the run.
//   KYORO_BUGREPORTER_FDS    file to write the open descriptors to, one per
//                            line (what the crashed program handed on).
//   KYORO_BUGREPORTER_HOLD   a file whose existence the reporter waits for
//                            (at most 30 s) before it records anything, like
//                            a slow upload.

#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace {
const char *envOr(const char *name, const char *fallback)
{
    const char *value = std::getenv(name);
    return (value && *value) ? value : fallback;
}

void waitForHoldFile()
{
    const char *hold = std::getenv("KYORO_BUGREPORTER_HOLD");
    if (!hold || !*hold)
        return;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    struct stat info;
    while (stat(hold, &info) != 0 && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

void recordDescriptors()
{
    const char *path = std::getenv("KYORO_BUGREPORTER_FDS");
    if (!path || !*path)
        return;
    // Listed before the output file is opened, which would show up too.
    std::string list;
    DIR *dir = opendir("/proc/self/fd");
    if (!dir)
        return;
    const int own = dirfd(dir);
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own)
            continue;
        list += entry->d_name;
        list += '\n';
    }
    closedir(dir);
    std::ofstream(path, std::ios::binary | std::ios::trunc) << list;
}
} // namespace

int main(int argc, char *argv[])
{
    waitForHoldFile();
    recordDescriptors();
    std::ofstream log(envOr("KYORO_BUGREPORTER_LOG", "BugReporter.args"), std::ios::binary | std::ios::app);
    for (int i = 1; i < argc; ++i)
        log << argv[i] << '\0';
    log << '\n';
    return log ? 0 : 1;
}
