// The cost of the status monitor's work with the four tools of the catalogue
// registered, two of them installed, and about 300 extra processes running:
// one tick (asking the registry watch for changes, then poll) and one
// toolStatus, against the bare cost of listing the processes (the least any
// process snapshot has to do here: read /proc and each process's program
// link).
//
//   kybench_status [--extra-processes N] [Google Benchmark flags]
//   kybench_status --tick     the bare listing twice a second until ended:
//                             the floor of an idle monitor's CPU time
#include "benchenv.h"

#include "common/kycleanup.h"
#include "common/kyconstants.h"
#include "common/kyprocesses.h"
#include "logic/kyappstatusmonitor.h"
#include "logic/kylivetoolsmanager.h"
#include "logic/kytoolfacts.h"
#include "platform/pathmap.h"
#include "platform/registry.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

KyLiveToolsManager *s_tools = nullptr;
int s_emitted = 0;

// The floor: numeric entries of /proc, then each one's program link, or its
// kernel name when the link cannot be read.
void bareProcessNames(std::vector<std::string> &names)
{
    names.clear();
    DIR *proc = opendir("/proc");
    if (!proc)
        return;
    char path[300];
    char target[4096];
    while (const dirent *entry = readdir(proc)) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9')
            continue;
        std::snprintf(path, sizeof(path), "/proc/%s/exe", entry->d_name);
        ssize_t length = readlink(path, target, sizeof(target) - 1);
        if (length > 0) {
            const char *base = static_cast<const char *>(memrchr(target, '/', size_t(length)));
            base = base ? base + 1 : target;
            names.emplace_back(base, size_t(target + length - base));
            continue;
        }
        std::snprintf(path, sizeof(path), "/proc/%s/comm", entry->d_name);
        const int fd = open(path, O_RDONLY);
        if (fd < 0)
            continue;
        length = read(fd, target, sizeof(target));
        close(fd);
        if (length > 0 && target[length - 1] == '\n')
            --length;
        if (length > 0)
            names.emplace_back(target, size_t(length));
    }
    closedir(proc);
}

void BM_BareProcessListing(benchmark::State &state)
{
    std::vector<std::string> names;
    for (auto _ : state) {
        bareProcessNames(names);
        benchmark::DoNotOptimize(names.data());
    }
    state.counters["processes"] = double(names.size());
}

void BM_RunningProcessNames(benchmark::State &state)
{
    for (auto _ : state) {
        QStringList names = runningProcessNames();
        benchmark::DoNotOptimize(names);
    }
}

// The timer's work: the registry watch asked for changes, then poll.
void BM_StatusPoll(benchmark::State &state)
{
    KyAppStatusMonitor *monitor = s_tools->appStatusMonitor();
    for (auto _ : state)
        monitor->tick();
}

void BM_ToolStatus(benchmark::State &state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(s_tools->toolStatus(TOOL_NAME_KYTOOL));
}

BENCHMARK(BM_BareProcessListing)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RunningProcessNames)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StatusPoll)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ToolStatus)->UseRealTime()->Unit(benchmark::kMicrosecond);

// A program file of an installed tool, in Windows form.
void touchWindowsFile(const std::string &windowsPath)
{
    const QString path = QString::fromStdString(kyplatform::nativePath(windowsPath));
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
}

// Two tools installed the way their installers leave them, and other
// programs' entries beside them, as on a used machine.
void fillRegistry()
{
    const std::string uninstall = kyplatform::kUninstallKey;
    const auto entry = [&](const std::string &subkey, const std::string &displayName, const std::string &command) {
        kyplatform::registryWriteString(uninstall + "\\" + subkey, "DisplayName", displayName);
        kyplatform::registryWriteString(uninstall + "\\" + subkey, "UninstallString", command);
    };
    entry(TOOL_NAME_KYTOOL.toStdString(), TOOL_NAME_KYTOOL.toStdString(), "C:\\Program Files\\KYTool\\uninst.exe");
    touchWindowsFile("C:\\Program Files\\KYTool\\kyClientLancher.exe");
    entry(TOOL_NAME_OBS_STUDIO.toStdString(), TOOL_NAME_OBS_STUDIO.toStdString(),
          "\"C:\\Program Files\\obs-studio\\uninstall.exe\"");
    touchWindowsFile("C:\\Program Files\\obs-studio\\bin\\64bit\\obs64.exe");
    for (int i = 0; i < 60; ++i) {
        char guid[64];
        std::snprintf(guid, sizeof(guid), "{6F1C%04X-0B4E-4A4B-9C5D-%012X}", i, i * 7919);
        entry(guid, "Some Program " + std::to_string(i), "MsiExec.exe /X" + std::string(guid));
    }
}

std::vector<pid_t> s_children;

void startProcess(const char *program, const char *name)
{
    const pid_t pid = fork();
    if (pid == 0) {
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        dup2(null, 2);
        execl(program, name, "3600", static_cast<char *>(nullptr));
        _exit(127);
    }
    if (pid > 0)
        s_children.push_back(pid);
}

void stopProcesses()
{
    for (pid_t pid : s_children)
        kill(pid, SIGKILL);
    for (pid_t pid : s_children)
        waitpid(pid, nullptr, 0);
    s_children.clear();
}

} // namespace

// The bare listing on the status monitor's 500 ms beat, for ever.
int tickForever()
{
    std::vector<std::string> names;
    timespec next{};
    clock_gettime(CLOCK_MONOTONIC, &next);
    for (;;) {
        bareProcessNames(names);
        next.tv_nsec += 500 * 1000 * 1000;
        if (next.tv_nsec >= 1000 * 1000 * 1000) {
            next.tv_nsec -= 1000 * 1000 * 1000;
            ++next.tv_sec;
        }
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr);
    }
}

int main(int argc, char *argv[])
{
    if (argc == 2 && std::strcmp(argv[1], "--tick") == 0)
        return tickForever();
    int extra = 300;
    std::vector<char *> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--extra-processes") == 0 && i + 1 < argc)
            extra = std::atoi(argv[++i]);
        else
            args.push_back(argv[i]);
    }
    int benchArgc = int(args.size());
    benchmark::Initialize(&benchArgc, args.data());

    if (qEnvironmentVariableIsEmpty("KYORO_PLATFORM_URL"))
        qputenv("KYORO_PLATFORM_URL", "http://127.0.0.1:9");
    QCoreApplication app(argc, argv);
    fillRegistry();

    // OBS Studio runs: a copy of sleep under its process name.
    const QString obs = QDir::tempPath() + QStringLiteral("/obs64.exe");
    QFile::remove(obs);
    QFile::copy(QStringLiteral("/bin/sleep"), obs);
    QFile::setPermissions(obs, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    startProcess(QFile::encodeName(obs).constData(), "obs64.exe");
    for (int i = 0; i < extra; ++i)
        startProcess("/bin/sleep", "sleep");

    s_tools = new KyLiveToolsManager;
    s_tools->initialize();
    QObject::connect(s_tools->appStatusMonitor(), &KyAppStatusMonitor::sglUpdateAppStatus,
                     [](const QString &, int) { ++s_emitted; });
    const int kyTool = s_tools->toolStatus(TOOL_NAME_KYTOOL);
    const int obsStudio = s_tools->toolStatus(TOOL_NAME_OBS_STUDIO);
    std::vector<std::string> names;
    bareProcessNames(names);
    benchmark::AddCustomContext("processes", std::to_string(names.size()));
    benchmark::AddCustomContext("extra_processes", std::to_string(extra));
    benchmark::AddCustomContext("status", "KYTool " + std::to_string(kyTool) + ", OBS Studio " + std::to_string(obsStudio));

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    delete s_tools;
    stopProcesses();
    QFile::remove(obs);
    runProcessCleanups();
    return kyTool == APP_INSTALLED && obsStudio == APP_RUNNING ? 0 : 1;
}
