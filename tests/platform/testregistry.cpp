#include "platform/registry.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
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

// Asks the watch until it reports a change, for at most two seconds.
bool changedWithin(kyplatform::RegistryWatch &watch)
{
    for (int i = 0; i < 100; ++i) {
        if (watch.changed())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

// Asks until the watch has nothing more to report (what one change may
// still deliver late); false when it never settles.
bool settled(kyplatform::RegistryWatch &watch)
{
    for (int i = 0; i < 20; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!watch.changed())
            return true;
    }
    return false;
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

// Installers and uninstallers outside the program change the uninstall key;
// the status monitor learns of it from this watch instead of re-reading the
// key at every tick.
TEST_F(Registry, WatchReportsChangesBelowTheKeyOnly)
{
    const std::string watched = kBase + "\\Uninstall";
    ASSERT_TRUE(kyplatform::registryCreateKey(watched));
    kyplatform::RegistryWatch watch(watched);
    EXPECT_TRUE(watch.changed()); // the first answer
    ASSERT_TRUE(settled(watch));

    // A new entry, as a setup writes it.
    ASSERT_TRUE(kyplatform::registryWriteString(watched + "\\OBS Studio", "DisplayName", "OBS Studio"));
    EXPECT_TRUE(changedWithin(watch));
    ASSERT_TRUE(settled(watch));
    // A value of that entry.
    ASSERT_TRUE(kyplatform::registryWriteString(watched + "\\OBS Studio", "UninstallString", "D:\\OBS\\uninstall.exe"));
    EXPECT_TRUE(changedWithin(watch));
    ASSERT_TRUE(settled(watch));
    // Beside the key: nothing to report.
    ASSERT_TRUE(kyplatform::registryWriteString(kBase + "\\Other", "DisplayName", "Other"));
    ASSERT_TRUE(kyplatform::registryWriteString(kBase + "\\Uninstall2", "DisplayName", "Other"));
    EXPECT_TRUE(settled(watch));
    // The entry removed, as an uninstaller does.
    ASSERT_TRUE(kyplatform::registryDeleteTree(watched + "\\OBS Studio"));
    EXPECT_TRUE(changedWithin(watch));
}

// A key that does not exist yet is reported once it has been created.
TEST_F(Registry, WatchSeesTheKeyComeAndGo)
{
    const std::string watched = kBase + "\\Later\\Uninstall";
    kyplatform::RegistryWatch watch(watched);
    watch.changed();
    ASSERT_TRUE(kyplatform::registryWriteString(watched + "\\Tool", "DisplayName", "Tool"));
    EXPECT_TRUE(changedWithin(watch));
    ASSERT_TRUE(settled(watch));
    ASSERT_TRUE(kyplatform::registryWriteString(watched + "\\Tool", "DisplayName", "Tool 2"));
    EXPECT_TRUE(changedWithin(watch));
    ASSERT_TRUE(settled(watch));
    ASSERT_TRUE(kyplatform::registryDeleteTree(kBase + "\\Later"));
    EXPECT_TRUE(changedWithin(watch));
    settled(watch);
    // Created again: what is written below it is reported as before.
    ASSERT_TRUE(kyplatform::registryWriteString(watched + "\\Tool", "DisplayName", "Tool 3"));
    EXPECT_TRUE(changedWithin(watch));
    ASSERT_TRUE(settled(watch));
    ASSERT_TRUE(kyplatform::registryWriteString(watched + "\\Tool", "DisplayName", "Tool 4"));
    EXPECT_TRUE(changedWithin(watch));
}
