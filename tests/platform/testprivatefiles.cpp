// Private folders and appends, the same rules on both systems.
#include "platform/privatefiles.h"

#include "platformtestsupport.h"

#include <gtest/gtest.h>

using kytest::readFile;
using kytest::utf8;

TEST(PrivateFiles, FolderIsCreatedOnceAndKept)
{
    kytest::TempDir temp("kyprivate");
    ASSERT_TRUE(temp.valid());
    const auto dir = temp.path() / "VURuv";
    std::string problem;
    ASSERT_TRUE(kyplatform::makePrivateDir(utf8(dir), problem)) << problem;
    EXPECT_TRUE(kytest::fs::is_directory(dir));
    // Again, with and without a trailing separator: the same folder is fine.
    EXPECT_TRUE(kyplatform::makePrivateDir(utf8(dir), problem)) << problem;
    EXPECT_TRUE(kyplatform::makePrivateDir(utf8(dir) + "/", problem)) << problem;

    // A file in its place, a missing parent and no path at all are refused.
    ASSERT_TRUE(kytest::writeFile(temp.path() / "file", "x"));
    EXPECT_FALSE(kyplatform::makePrivateDir(utf8(temp.path() / "file"), problem));
    EXPECT_FALSE(problem.empty());
    EXPECT_FALSE(kyplatform::makePrivateDir(utf8(temp.path() / "missing" / "deeper"), problem));
    EXPECT_FALSE(kyplatform::makePrivateDir("", problem));
}

TEST(PrivateFiles, AppendsCreateThenExtend)
{
    kytest::TempDir temp("kyprivate");
    ASSERT_TRUE(temp.valid());
    const auto file = temp.path() / "0315_info.log";
    ASSERT_TRUE(kyplatform::appendToPrivateFile(utf8(file), "one\r\n"));
    ASSERT_TRUE(kyplatform::appendToPrivateFile(utf8(file), std::string("two\0\r\n", 6)));
    EXPECT_EQ(readFile(file), std::string("one\r\ntwo\0\r\n", 11));
    // A folder at the name is left alone.
    kytest::fs::create_directory(temp.path() / "dir");
    EXPECT_FALSE(kyplatform::appendToPrivateFile(utf8(temp.path() / "dir"), "x"));
    EXPECT_TRUE(kytest::fs::is_directory(temp.path() / "dir"));
}
