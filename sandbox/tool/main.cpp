// Stand-in for a streaming tool's programs. Run under any of the tools'
// process names it simply stays until it is closed (SIGTERM, SIGINT) or
// killed. Run as "kyClientLancher.exe" it is the platform tools' launcher:
// it starts the program named in "kyClientLancher.cfg" beside it and exits.
//
// KYORO_SANDBOX_TOOL_MAX_MS, when set, ends the tool after that many
// milliseconds, so a test that fails half-way leaves nothing running for long.

#include "platform/pathmap.h"
#include "platform/processes.h"
#include "platform/shell.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

namespace {

volatile std::sig_atomic_t s_closed = 0;

void onClose(int)
{
    s_closed = 1;
}

std::string ownFolder()
{
    const std::string self = kyplatform::programFilePath();
    const std::size_t slash = self.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : self.substr(0, slash);
}

int launch()
{
    const std::string folder = ownFolder();
    std::ifstream config(std::filesystem::u8path(folder + "/kyClientLancher.cfg"));
    std::string program;
    if (!config || !std::getline(config, program) || program.empty()) {
        std::fprintf(stderr, "kyClientLancher: no program named in %s/kyClientLancher.cfg\n", folder.c_str());
        return 1;
    }
    const char separator = folder.find('\\') != std::string::npos ? '\\' : '/';
    const int result = kyplatform::shellExecuteOpenHidden(folder + separator + program, "");
    if (result <= 32) {
        std::fprintf(stderr, "kyClientLancher: cannot start %s (%d)\n", program.c_str(), result);
        return 1;
    }
    return 0;
}

int runUntilClosed()
{
    std::signal(SIGTERM, onClose);
    std::signal(SIGINT, onClose);
    long long maxMs = -1;
    if (const char *limit = std::getenv("KYORO_SANDBOX_TOOL_MAX_MS"))
        maxMs = std::atoll(limit);
    const auto start = std::chrono::steady_clock::now();
    while (!s_closed) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (maxMs >= 0 && std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(maxMs))
            break;
    }
    return 0;
}

} // namespace

int main()
{
    if (kyplatform::currentProcessName() == "kyClientLancher.exe")
        return launch();
    return runUntilClosed();
}
