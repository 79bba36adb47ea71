// The INI editor that stands in for the profile functions off Windows: it
// changes one line and keeps every other byte of the file, reads UTF-8, and
// replaces the file as a whole.
#include "platform/profileini.h"
#include "platformtestsupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace fs = std::filesystem;
using kyplatform::readProfileString;
using kyplatform::writeProfileString;

namespace {

class ProfileIniEditor : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_temp.valid());
        m_file = (m_dir / "Untitled.ini").string();
    }

    kytest::TempDir m_temp{"kyeditor"};
    const fs::path &m_dir = m_temp.path();
    std::string m_file;
};

} // namespace

TEST_F(ProfileIniEditor, ReadsUtf8AndByteOrderMark)
{
    ASSERT_TRUE(kytest::writeFile(m_file, "\xEF\xBB\xBF[P]\nK=v\nR=D:\\录像\\a=b;c\n"));
    EXPECT_EQ(readProfileString(m_file, "P", "K", ""), "v");
    EXPECT_EQ(readProfileString(m_file, "P", "R", ""), "D:\\录像\\a=b;c");
}

// A cut never leaves half a UTF-8 character behind.
TEST_F(ProfileIniEditor, CutKeepsWholeCharacters)
{
    std::string wide;
    for (int i = 0; i < 200; ++i)
        wide += "\xE5\xBD\x95";  // three bytes each
    ASSERT_TRUE(kytest::writeFile(m_file, "[P]\nW=" + wide + "\n"));
    EXPECT_EQ(readProfileString(m_file, "P", "W", ""), wide.substr(0, 510));
}

// Each case sets Mode=0 in section Publish.
TEST_F(ProfileIniEditor, WriteChangesOneLineOnly)
{
    struct Case
    {
        const char *name;
        bool exists;
        std::string before;
        std::string after;
    };
    const Case cases[] = {
        {"missing file", false, "", "[Publish]\r\nMode=0\r\n"},
        {"empty file", true, "", "[Publish]\r\nMode=0\r\n"},
        {"key replaced in place", true, "; kept\r\n[Other]\r\nA = 1 \r\n\r\n[publish]\r\n  mode = 1\r\nURL=x\r\n",
         "; kept\r\n[Other]\r\nA = 1 \r\n\r\n[publish]\r\nMode=0\r\nURL=x\r\n"},
        {"key added before the blank line", true, "[Publish]\nURL=x\n\n# next\n[Next]\nB=2\n",
         "[Publish]\nURL=x\nMode=0\n\n# next\n[Next]\nB=2\n"},
        {"section appended, no final line end", true, "[A]\nB=1", "[A]\nB=1\n[Publish]\nMode=0\n"},
        {"header is the last line", true, "[A]\r\n[Publish]", "[A]\r\n[Publish]\r\nMode=0"},
        {"byte order mark kept", true, "\xEF\xBB\xBF[Publish]\nURL=x\n", "\xEF\xBB\xBF[Publish]\nURL=x\nMode=0\n"},
    };
    for (const Case &c : cases) {
        std::error_code ignored;
        fs::remove(m_file, ignored);
        if (c.exists) {
            ASSERT_TRUE(kytest::writeFile(m_file, c.before));
        }
        ASSERT_TRUE(writeProfileString(m_file, "Publish", "Mode", "0")) << c.name;
        EXPECT_EQ(kytest::readFile(m_file), c.after) << c.name;
        // The file was replaced by rename: nothing else is left in its folder.
        int files = 0;
        for (const auto &entry : fs::directory_iterator(m_dir)) {
            EXPECT_EQ(entry.path().filename(), "Untitled.ini") << c.name;
            ++files;
        }
        EXPECT_EQ(files, 1) << c.name;
    }
}

TEST_F(ProfileIniEditor, WriteRoundTripsUtf8AndKeepsMode)
{
    ASSERT_TRUE(kytest::writeFile(m_file, "[Publish]\n"));
    ASSERT_EQ(::chmod(m_file.c_str(), 0640), 0);
    const std::string value = "rtmp://直播.example/live?k=a;b";
    ASSERT_TRUE(writeProfileString(m_file, "Publish", "URL", value));
    EXPECT_EQ(readProfileString(m_file, "publish", "url", ""), value);
    struct stat info {};
    ASSERT_EQ(::stat(m_file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, mode_t(0640));
}

// Found by fuzzing: a section or key name with blanks around it was written
// with them, then never found again (the lookup trims names in the file but
// not the one asked for), so each write added another line.
TEST_F(ProfileIniEditor, NamesWithBlanksAroundThemAreTheTrimmedNames)
{
    const std::string text = "[Publish]\nPlayPath=old\n";
    std::string written = kyplatform::setIniValue(text, " Publish ", " PlayPath\t", "new");
    EXPECT_EQ(written, "[Publish]\nPlayPath=new\n");
    written = kyplatform::setIniValue(written, "Video ", "FPS ", "30");
    EXPECT_EQ(written, "[Publish]\nPlayPath=new\n[Video]\nFPS=30\n");
    EXPECT_EQ(kyplatform::setIniValue(written, "Video ", "FPS ", "30"), written);
    std::string value;
    ASSERT_TRUE(kyplatform::findIniValue(written, " video", "\tfps ", value));
    EXPECT_EQ(value, "30");
}

// Found by fuzzing: a text whose last line ends in a lone CR. A key added
// after it was glued to that line (or turned the CR into half of a line
// end), changing the value of the key before it.
TEST_F(ProfileIniEditor, LoneCarriageReturnAtTheEndIsALineEnd)
{
    const std::string text = "[Publish]\r\nPlayPath=code\r";
    std::string value;
    ASSERT_TRUE(kyplatform::findIniValue(text, "Publish", "PlayPath", value));
    EXPECT_EQ(value, "code");
    for (const std::string section : {"Publish", "Video"}) {
        const std::string written = kyplatform::setIniValue(text, section, "URL", "rtmp://a/live");
        ASSERT_TRUE(kyplatform::findIniValue(written, "Publish", "PlayPath", value)) << written;
        EXPECT_EQ(value, "code") << section;
        ASSERT_TRUE(kyplatform::findIniValue(written, section, "URL", value)) << written;
        EXPECT_EQ(value, "rtmp://a/live");
    }
}
