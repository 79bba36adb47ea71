// Process list, termination and shell-execute off Windows, with real
// processes: copies of /bin/sleep under chosen names.
#include "platform/pathmap.h"
#include "platform/processes.h"
#include "platform/shell.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Program names of this run: the list and the termination by name cover the
// whole machine, where other runs of these tests start the same programs.
std::string runName(const std::string &stem)
{
    return "kytest-" + stem + "-" + std::to_string(::getpid()) + ".exe";
}

class ProcessesPosix : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "kyproc-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    fs::path sleeper(const std::string &relative, fs::perms perms = fs::perms::owner_all)
    {
        const fs::path path = m_dir / relative;
        fs::create_directories(path.parent_path());
        fs::copy_file("/bin/sleep", path, fs::copy_options::overwrite_existing);
        fs::permissions(path, perms);
        return path;
    }

    static pid_t spawn(const fs::path &program)
    {
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl(program.c_str(), program.c_str(), "30", static_cast<char *>(nullptr));
            ::_exit(127);
        }
        return pid;
    }

    static int count(const std::string &name)
    {
        std::vector<std::string> names;
        EXPECT_TRUE(kyplatform::runningProcessNames(names));
        return static_cast<int>(std::count(names.begin(), names.end(), name));
    }

    static bool waitFor(const std::function<bool()> &condition)
    {
        for (int i = 0; i < 200; ++i) {
            if (condition())
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        return condition();
    }

    fs::path m_dir;
};

} // namespace

// File names, duplicates kept; termination matches the whole name only;
// an ended process that its parent has not reaped yet no longer counts.
TEST_F(ProcessesPosix, ListAndTerminateByExactName)
{
    EXPECT_EQ(count(kyplatform::currentProcessName()), 1);
    const pid_t first = spawn(sleeper("a/" + runName("twin")));
    const pid_t second = spawn(sleeper("b/" + runName("twin")));
    const pid_t other = spawn(sleeper("c/" + runName("twin") + ".old"));
    // All three have started their programs (a child still on its way from
    // fork to exec carries this test's name).
    ASSERT_TRUE(waitFor([] { return count(runName("twin")) == 2 && count(runName("twin") + ".old") == 1; }));

    EXPECT_TRUE(kyplatform::terminateProcessesByName(runName("twin")));
    // Not reaped yet: zombies until waitpid below.
    EXPECT_TRUE(waitFor([] { return count(runName("twin")) == 0; }));
    int status = 0;
    ASSERT_EQ(::waitpid(first, &status, 0), first);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    ASSERT_EQ(::waitpid(second, &status, 0), second);
    EXPECT_EQ(count(runName("twin") + ".old"), 1);
    ::kill(other, SIGKILL);
    ::waitpid(other, &status, 0);
}

// A program whose file was removed while it runs keeps its name; the kernel
// marks such a link " (deleted)".
TEST_F(ProcessesPosix, RemovedProgramKeepsItsName)
{
    const fs::path program = sleeper("gone/" + runName("removed"));
    const pid_t pid = spawn(program);
    ASSERT_TRUE(waitFor([] { return count(runName("removed")) == 1; }));
    fs::remove(program);
    EXPECT_EQ(count(runName("removed")), 1);
    EXPECT_EQ(count(runName("removed") + " (deleted)"), 0);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

// Kernel threads have no program file and no command line: they are listed
// under their kernel name.
TEST_F(ProcessesPosix, KernelThreadsByKernelName)
{
    std::ifstream comm("/proc/2/comm");
    std::string name;
    std::getline(comm, name);
    std::error_code error;
    const bool hasProgram = !fs::read_symlink("/proc/2/exe", error).empty();
    if (name != "kthreadd" || hasProgram)
        GTEST_SKIP() << "no kernel threads visible here";
    EXPECT_GE(count("kthreadd"), 1);
}

// Ended processes are remembered between listings by their /proc entry; a
// new process that gets the number of one that ended and was reaped must be
// listed all the same. The number is handed out again through ns_last_pid,
// which only root may write.
TEST_F(ProcessesPosix, ReusedNumberOfAnEndedProcessIsListed)
{
    if (::access("/proc/sys/kernel/ns_last_pid", W_OK) != 0)
        GTEST_SKIP() << "cannot choose process numbers here";
    const fs::path ended = sleeper("z/" + runName("ended"));
    const fs::path reborn = sleeper("r/" + runName("reborn"));
    const pid_t zombie = spawn(ended);
    ASSERT_TRUE(waitFor([] { return count(runName("ended")) == 1; }));
    ::kill(zombie, SIGKILL);
    EXPECT_TRUE(waitFor([] { return count(runName("ended")) == 0; }));
    EXPECT_EQ(count(runName("ended")), 0); // listed again while still a zombie
    int status = 0;
    ASSERT_EQ(::waitpid(zombie, &status, 0), zombie);

    // Other processes of the machine may take the number first: try a few times.
    pid_t child = -1;
    for (int attempt = 0; attempt < 20 && child != zombie; ++attempt) {
        if (child > 0) {
            ::kill(child, SIGKILL);
            ::waitpid(child, &status, 0);
        }
        std::ofstream last("/proc/sys/kernel/ns_last_pid");
        last << (zombie - 1);
        last.close();
        child = spawn(reborn);
    }
    if (child != zombie) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &status, 0);
        GTEST_SKIP() << "the process number was taken by another process each time";
    }
    EXPECT_TRUE(waitFor([] { return count(runName("reborn")) == 1; }));
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
}

TEST_F(ProcessesPosix, ShellExecuteFailures)
{
    EXPECT_EQ(kyplatform::shellExecuteOpenHidden((m_dir / "missing.exe").string(), ""), kyplatform::SHELL_FILE_NOT_FOUND);
    EXPECT_EQ(kyplatform::shellExecuteOpenHidden("", ""), kyplatform::SHELL_FILE_NOT_FOUND);
    EXPECT_EQ(kyplatform::shellExecuteOpenHidden(m_dir.string(), ""), kyplatform::SHELL_ACCESS_DENIED);
    // Only ".exe" files are made executable.
    sleeper("readme.txt", fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(kyplatform::shellExecuteOpenHidden((m_dir / "readme.txt").string(), ""), kyplatform::SHELL_ACCESS_DENIED);
    std::ofstream(m_dir / "broken.exe") << "MZ not a program";
    EXPECT_EQ(kyplatform::shellExecuteOpenHidden((m_dir / "broken.exe").string(), ""), kyplatform::SHELL_ACCESS_DENIED);
}

// A downloaded ".exe" without the executable bit starts, given in Windows
// form, with its parameters split as Windows does, detached in a session of
// its own with its standard streams on /dev/null.
TEST_F(ProcessesPosix, ShellExecuteStartsDetached)
{
    const std::string script = "C:\\kyshell\\args.exe";
    const fs::path local = kyplatform::nativePath(script);
    fs::create_directories(local.parent_path());
    {
        std::ofstream out(local);
        out << "#!/bin/sh\nout=\"$(dirname \"$0\")/args.txt\"\nfd1=$(readlink /proc/$$/fd/1)\n"
               "for a in \"$@\"; do printf '%s|' \"$a\"; done > \"$out.tmp\"\n"
               "echo \"$fd1\" >> \"$out.tmp\"\n"
               "cut -d' ' -f6 /proc/$$/stat >> \"$out.tmp\"\nmv \"$out.tmp\" \"$out\"\n";
    }
    fs::permissions(local, fs::perms::owner_read | fs::perms::owner_write);
    ASSERT_EQ(kyplatform::shellExecuteOpenHidden(script, "/S \"/D=C:\\My Tools\\x\" a\\\"b"), kyplatform::SHELL_STARTED);
    EXPECT_NE(fs::status(local).permissions() & fs::perms::owner_exec, fs::perms::none);

    const fs::path result = local.parent_path() / "args.txt";
    ASSERT_TRUE(waitFor([&] { return fs::exists(result); }));
    std::ifstream in(result);
    std::string words, session;
    std::getline(in, words);
    std::getline(in, session);
    EXPECT_EQ(words, "/S|/D=C:\\My Tools\\x|a\"b|/dev/null");
    EXPECT_NE(std::atoi(session.c_str()), static_cast<int>(::getsid(0)));
    fs::remove_all(local.parent_path());
}
