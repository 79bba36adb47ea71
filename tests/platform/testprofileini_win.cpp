// The narrow profile reader takes file names in the ANSI code page; a folder
// whose name has characters outside it must still be reachable.
#include "platform/profileini.h"
#include "platformtestsupport.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using kyplatform::readProfileString;
using kyplatform::writeProfileString;

namespace {

void roundTrip(const fs::path &folder)
{
    ASSERT_TRUE(fs::create_directory(folder));
    const std::string file = kytest::utf8(folder / "Untitled.ini");
    ASSERT_TRUE(writeProfileString(file, "Publish", "URL", "rtmp://a/b"));
    EXPECT_EQ(readProfileString(file, "Publish", "URL", "dflt"), "rtmp://a/b") << file;
}

} // namespace

TEST(ProfileIniWin, FoldersWithNonAsciiNames)
{
    ASSERT_EQ(GetACP(), 1252u) << "the test expects Wine's default code page";
    const fs::path dir = kytest::makeTempDir("kyprofilenames");
    ASSERT_FALSE(dir.empty());
    // In the ANSI code page.
    roundTrip(dir / fs::u8path("M\xC3\xBAsica"));
    // Outside it ("录像"): handed over in the short form.
    roundTrip(dir / fs::u8path("\xE5\xBD\x95\xE5\x83\x8F"));
    std::error_code ignored;
    fs::remove_all(dir, ignored);
}
