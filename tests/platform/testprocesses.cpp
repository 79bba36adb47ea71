// The process snapshot, termination by name and shell-execute with real
// processes: copies of the helper program under the names a test needs. The
// same cases run against both backends.
#include "platform/processes.h"
#include "platform/shell.h"
#include "platformtestsupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Names of the tools' processes made unique to this run: the snapshot and the
// termination by name cover every process of the machine (every process of
// the prefix under Wine), where other tests, and other runs of this one,
// start programs under the tools' own names.
std::string toolName(const std::string &stem)
{
    static const std::string suffix = "_" + std::to_string(std::random_device()() % 1000000) + ".exe";
    return stem + suffix;
}

class Processes : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_temp.valid()); }

    void TearDown() override
    {
        for (const std::string &name : m_started)
            kyplatform::terminateProcessesByName(name);
        // A program file cannot be removed on Windows while it runs.
        for (const std::string &name : m_started)
            kytest::waitFor([&name] { return count(name) == 0; });
    }

    fs::path copyHelper(const std::string &relative)
    {
        const fs::path path = m_dir / fs::u8path(relative);
        fs::create_directories(path.parent_path());
        fs::copy_file(KY_PLATFORM_HELPER, path, fs::copy_options::overwrite_existing);
        return path;
    }

    // Starts a copy of the helper that keeps running, under `relative`.
    void startSleeper(const std::string &relative)
    {
        const fs::path program = copyHelper(relative);
        m_started.push_back(kytest::utf8(program.filename()));
        ASSERT_EQ(kyplatform::shellExecuteOpenHidden(kytest::utf8(program), "--sleep"), kyplatform::SHELL_STARTED);
    }

    static int count(const std::string &name)
    {
        std::vector<std::string> names;
        EXPECT_TRUE(kyplatform::runningProcessNames(names));
        return static_cast<int>(std::count(names.begin(), names.end(), name));
    }

    kytest::TempDir m_temp{"kyprocesses"};
    const fs::path &m_dir = m_temp.path();
    std::vector<std::string> m_started;
};

} // namespace

TEST_F(Processes, SnapshotHoldsThisProcessAndAStartedTool)
{
    const std::string self = kyplatform::currentProcessName();
    EXPECT_FALSE(self.empty());
    EXPECT_EQ(self.find_first_of("/\\"), std::string::npos) << self;
    EXPECT_EQ(count(self), 1);

    startSleeper("OBS/" + toolName("OBS"));
    EXPECT_TRUE(kytest::waitFor([] { return count(toolName("OBS")) == 1; }));
}

// Matching is by the whole name and case-sensitive: neither a longer name nor
// one that differs in letter case is ended.
TEST_F(Processes, TerminateByExactNameOnly)
{
    const std::string obs = toolName("OBS");
    const std::string lower = toolName("obs");
    const std::string longer = toolName("OBS64");
    startSleeper("a/" + obs);
    startSleeper("b/" + lower);
    startSleeper("c/" + longer);
    ASSERT_TRUE(kytest::waitFor([&] { return count(obs) == 1 && count(lower) == 1 && count(longer) == 1; }));

    EXPECT_TRUE(kyplatform::terminateProcessesByName(obs));
    EXPECT_TRUE(kytest::waitFor([&] { return count(obs) == 0; }));
    EXPECT_EQ(count(lower), 1);
    EXPECT_EQ(count(longer), 1);
}

TEST_F(Processes, ShellExecuteOfAMissingFileFails)
{
    const int missing = kyplatform::shellExecuteOpenHidden(kytest::utf8(m_dir / "missing.exe"), "/S");
    EXPECT_LE(missing, 32);
    EXPECT_EQ(missing, kyplatform::SHELL_FILE_NOT_FOUND);
    EXPECT_EQ(kyplatform::shellExecuteOpenHidden("", ""), kyplatform::SHELL_FILE_NOT_FOUND);
}

// An installer started the way the tools manager starts it gets the parameter
// text as the system's command line rules split it; NSIS reads "/D=" up to
// the end of the line, so the blanks of the folder must reach it.
TEST_F(Processes, ShellExecutePassesTheParameterText)
{
    const std::string parameters = "/S /D=C:\\a b\\c";
    const fs::path installer = copyHelper("down load/KYTool_setup.exe");
    ASSERT_EQ(kyplatform::shellExecuteOpenHidden(kytest::utf8(installer), parameters), kyplatform::SHELL_STARTED);

    const std::string content = kytest::readRecordWhenWritten(installer.parent_path() / "KYTool_setup.exe.args");
    ASSERT_FALSE(content.empty()) << "the installer did not run";
    const std::string raw = content.substr(0, content.find('\n'));
    EXPECT_EQ(content.substr(raw.size() + 1), "/S\n/D=C:\\a\nb\\c\n");
    // Where a program receives one command line, the parameter text ends it
    // unchanged.
    if (!raw.empty()) {
        ASSERT_GE(raw.size(), parameters.size() + 1);
        EXPECT_EQ(raw.substr(raw.size() - parameters.size() - 1), " " + parameters) << raw;
    }
}
