// Opening a folder in the file browser off Windows: a stand-in xdg-open first
// on PATH writes down the arguments it was started with.
#include "platform/filebrowser.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class FileBrowser : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "kybrowser-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        m_log = m_dir / "opened.txt";
        const char *path = std::getenv("PATH");
        m_oldPath = path ? path : "";
    }
    void TearDown() override
    {
        ::setenv("PATH", m_oldPath.c_str(), 1);
        std::error_code ignored;
        fs::remove_all(m_dir, ignored);
    }

    void installOpener()
    {
        const fs::path bin = m_dir / "bin";
        fs::create_directories(bin);
        std::ofstream script(bin / "xdg-open");
        script << "#!/bin/sh\n"
               << "{ echo \"$#\"; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > \"" << m_log.string() << ".tmp\"\n"
               << "mv \"" << m_log.string() << ".tmp\" \"" << m_log.string() << "\"\n";
        script.close();
        fs::permissions(bin / "xdg-open", fs::perms::owner_all);
        ::setenv("PATH", (bin.string() + ":" + m_oldPath).c_str(), 1);
    }

    // The argument lines the opener wrote ("count" first), once it has run.
    std::vector<std::string> openedWith()
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!fs::exists(m_log) && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::ifstream in(m_log);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    fs::path m_dir;
    fs::path m_log;
    std::string m_oldPath;
};

TEST_F(FileBrowser, FolderArrivesAsExactlyOneArgument)
{
    installOpener();
    const char *folders[] = {
        "/media/My Videos/OBS rec",
        "/srv/rec \"x\"; echo y",
        "/srv/a\\\"b",        // a backslash right before a quote
        "/srv/trailing\\",    // a trailing backslash
        "/srv/two\\\\ \"\" quotes",
        "/tmp/-n 录像",
    };
    for (const char *folder : folders) {
        fs::remove(m_log);
        ASSERT_TRUE(kyplatform::openFolderInFileBrowser(folder)) << folder;
        const std::vector<std::string> lines = openedWith();
        ASSERT_EQ(lines.size(), 2u) << folder;
        EXPECT_EQ(lines[0], "1");
        EXPECT_EQ(lines[1], folder);
    }
}

TEST_F(FileBrowser, NoBrowserOrNoFolderStartsNothing)
{
    ::setenv("PATH", (m_dir / "empty").c_str(), 1);
    EXPECT_FALSE(kyplatform::openFolderInFileBrowser("/tmp"));

    installOpener();
    EXPECT_FALSE(kyplatform::openFolderInFileBrowser(""));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(fs::exists(m_log));
}

} // namespace
