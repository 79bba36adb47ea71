// The narrow profile reader hands out text in the ANSI code page; the layer
// speaks UTF-8. These run with code page 936, as on the users' systems (Wine
// takes it from LC_ALL=zh_CN.UTF-8; file names stay ASCII here, as Wine then
// has no Unix encoding for others).
#include "platform/profileini.h"
#include "platformtestsupport.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using kyplatform::readProfileString;
using kyplatform::writeProfileString;

namespace {

// "录像" (recordings) in UTF-8, in GBK and in UTF-16LE.
const char kUtf8[] = "\xE5\xBD\x95\xE5\x83\x8F";
const char kGbk[] = "\xC2\xBC\xCF\xF1";
const char kUtf16[] = "\x55\x5F\xCF\x50";

class ProfileIniCp936 : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(GetACP(), 936u) << "the test needs the Chinese ANSI code page (LC_ALL=zh_CN.UTF-8 under Wine)";
        ASSERT_TRUE(m_temp.valid());
        m_file = kytest::utf8(m_temp.path() / "Untitled.ini");
    }

    kytest::TempDir m_temp{"kyprofilewin"};
    std::string m_file;
};

} // namespace

TEST_F(ProfileIniCp936, AnsiAndUnicodeFilesReadAsUtf8)
{
    ASSERT_TRUE(kytest::writeFile(fs::u8path(m_file), std::string("[Publish]\r\nLastSaveDir=D:\\") + kGbk + "\r\n"));
    EXPECT_EQ(readProfileString(m_file, "Publish", "LastSaveDir", ""), std::string("D:\\") + kUtf8);

    const std::string utf16 = std::string("\xFF\xFE[\0P\0]\0\r\0\n\0K\0=\0", 16) + std::string(kUtf16, 4)
        + std::string("\r\0\n\0", 4);
    ASSERT_TRUE(kytest::writeFile(fs::u8path(m_file), utf16));
    EXPECT_EQ(readProfileString(m_file, "P", "K", ""), kUtf8);
}

// A two-byte character that the 512-byte buffer cuts after its first byte is
// dropped, not turned into a wrong character.
TEST_F(ProfileIniCp936, CutKeepsWholeCharacters)
{
    std::string value;
    for (int i = 0; i < 300; ++i)
        value += kGbk;
    ASSERT_TRUE(kytest::writeFile(fs::u8path(m_file), "[P]\r\nK=" + value + "\r\n"));
    // 511 bytes: 255 whole characters and the first byte of the next.
    std::string expected;
    for (int i = 0; i < 127; ++i)
        expected += kUtf8;
    expected += std::string(kUtf8, 3);
    EXPECT_EQ(readProfileString(m_file, "P", "K", ""), expected);
}


// A recording folder with a Chinese name, written and read back.
TEST_F(ProfileIniCp936, ChineseTextRoundTrips)
{
    const std::string value = std::string("D:\\") + kUtf8 + "\\obs";
    ASSERT_TRUE(writeProfileString(m_file, "Publish", "LastSaveDir", value));
    EXPECT_EQ(readProfileString(m_file, "Publish", "LastSaveDir", ""), value);
}
