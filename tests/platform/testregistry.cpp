#include "platform/registry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Values = std::vector<std::pair<std::string, std::string>>;

namespace {
const std::string kBase = "HKLM\\SOFTWARE\\KyoroTest";

std::string read(const std::string &key, const std::string &name)
{
    std::string value = "<absent>";
    kyplatform::registryReadString(key, name, value);
    return value;
}

class Registry : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(kyplatform::registryDeleteTree(kBase)); }
    void TearDown() override { kyplatform::registryDeleteTree(kBase); }
};
} // namespace

TEST_F(Registry, KeysAndValuesIgnoreLetterCase)
{
    ASSERT_TRUE(kyplatform::registryWriteString(kBase + "\\Tool", "DisplayName", "OBS Studio"));
    EXPECT_EQ(read("hkey_local_machine\\software\\kyorotest\\TOOL", "displayname"), "OBS Studio");
    ASSERT_TRUE(kyplatform::registryWriteString(kBase + "\\TOOL", "DISPLAYNAME", "Kyoro直播伴侣"));
    Values values;
    ASSERT_TRUE(kyplatform::registryValues(kBase + "\\tool", values));
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].second, "Kyoro直播伴侣");
    std::vector<std::string> subkeys;
    ASSERT_TRUE(kyplatform::registrySubkeys(kBase, subkeys));
    EXPECT_EQ(subkeys, std::vector<std::string>{"Tool"});
}

// Names that are no file names of their own come back as written.
TEST_F(Registry, SubkeyNamesRoundTrip)
{
    const std::vector<std::string> names = {".hidden", "a/b", "b%2F", "Kyoro秀场直播伴侣", "zeta", "{6A2F0B7C-1D3E}"};
    for (const std::string &name : names)
        ASSERT_TRUE(kyplatform::registryCreateKey(kBase + "\\" + name));
    std::vector<std::string> subkeys;
    ASSERT_TRUE(kyplatform::registrySubkeys(kBase, subkeys));
    EXPECT_EQ(subkeys, names);
    EXPECT_TRUE(kyplatform::registryKeyExists(kBase + "\\A/B"));
}

TEST_F(Registry, BadKeysAreRefused)
{
    std::vector<std::string> subkeys;
    EXPECT_FALSE(kyplatform::registrySubkeys(kBase + "\\Missing", subkeys));
    EXPECT_FALSE(kyplatform::registryWriteString("HKXX\\Software\\A", "v", "d"));
    EXPECT_FALSE(kyplatform::registryWriteString(kBase + "\\\\Empty", "v", "d"));
    EXPECT_FALSE(kyplatform::registryDeleteTree("HKLM"));
    EXPECT_EQ(read(kBase + "\\Missing", "v"), "<absent>");
}

TEST_F(Registry, DeleteTreeRemovesEverythingBelow)
{
    ASSERT_TRUE(kyplatform::registryWriteString(kBase + "\\A\\B\\C", "v", "1"));
    ASSERT_TRUE(kyplatform::registryWriteString(kBase + "\\A", "v", "2"));
    ASSERT_TRUE(kyplatform::registryWriteString(kBase + "\\Other", "v", "3"));
    EXPECT_TRUE(kyplatform::registryDeleteTree(kBase + "\\a"));
    EXPECT_FALSE(kyplatform::registryKeyExists(kBase + "\\A\\B"));
    EXPECT_EQ(read(kBase + "\\Other", "v"), "3");
    EXPECT_TRUE(kyplatform::registryDeleteTree(kBase + "\\A"));
}

TEST_F(Registry, ValuesKeepAnyText)
{
    const std::string odd = "line one\nline two\n5 5\n\"C:\\Program Files\\x.exe\" /S";
    ASSERT_TRUE(kyplatform::registryWriteString(kBase + "\\Odd", "UninstallString", odd));
    ASSERT_TRUE(kyplatform::registryWriteString(kBase + "\\Odd", "Empty", ""));
    EXPECT_EQ(read(kBase + "\\Odd", "UninstallString"), odd);
    EXPECT_EQ(read(kBase + "\\Odd", "Empty"), "");
}
