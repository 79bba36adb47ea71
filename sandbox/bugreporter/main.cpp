// Stand-in for the crash reporter that uploads a dump. It uploads nothing; it
// records how it was started so that tests can check it.
//
//   KYORO_BUGREPORTER_LOG    file to append the arguments to (default
//                            "BugReporter.args" in the working folder): each
//                            argument after the program name followed by a
//                            NUL byte, then a line feed ending the run.
//   KYORO_BUGREPORTER_FDS    file to write the open descriptors to, one per
//                            line (what the crashed program handed on; on
//                            POSIX systems, where descriptors are inherited
//                            unless marked close-on-exec).
//   KYORO_BUGREPORTER_HOLD   a file whose existence the reporter waits for
//                            (at most 30 s) before it records anything, like
//                            a slow upload.

#include "bugreporter.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
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
    std::error_code error;
    while (!std::filesystem::exists(std::filesystem::u8path(hold), error)
           && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}
} // namespace

int main(int argc, char *argv[])
{
    waitForHoldFile();
    if (const char *path = std::getenv("KYORO_BUGREPORTER_FDS"); path && *path)
        recordDescriptors(path);
    std::ofstream log(std::filesystem::u8path(envOr("KYORO_BUGREPORTER_LOG", "BugReporter.args")),
                      std::ios::binary | std::ios::app);
    for (const std::string &argument : programArguments(argc, argv))
        log << argument << '\0';
    log << '\n';
    return log ? 0 : 1;
}
