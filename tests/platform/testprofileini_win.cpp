// The narrow profile reader takes file names in the ANSI code page; a folder
// whose name has characters outside it must still be reachable.
#include "platform/profileini.h"
#include "platformtestsupport.h"

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
    const kytest::TempDir temp("kyprofilenames");
    ASSERT_TRUE(temp.valid());
    const fs::path &dir = temp.path();
    // In the ANSI code pages of Western and Chinese systems.
    roundTrip(dir / fs::u8path("M\xC3\xBAsica"));
    // Thai, outside both: handed over in the short form.
    roundTrip(dir / fs::u8path("\xE0\xB8\x97\xE0\xB8\x94\xE0\xB8\xAA\xE0\xB8\xAD\xE0\xB8\x9A"));
}
