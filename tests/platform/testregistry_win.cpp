// The Windows registry backend: the view it works in and values that other
// programs write in other shapes than ours.
#include "platform/registry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {
const std::string kKey = "HKLM\\SOFTWARE\\KyoroViewTest";
const wchar_t kNativePath[] = L"SOFTWARE\\KyoroViewTest";
const wchar_t kRedirectedPath[] = L"SOFTWARE\\WOW6432Node\\KyoroViewTest";

bool existsInNativeView(const wchar_t *path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

// Writes a value the way another (32-bit) program would: in the 32-bit view,
// with the type and bytes given.
void setRaw(const wchar_t *name, DWORD type, const void *data, DWORD size)
{
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kNativePath, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE *>(data), size), ERROR_SUCCESS);
    RegCloseKey(key);
}

std::string read(const std::string &name)
{
    std::string value = "<absent>";
    kyplatform::registryReadString(kKey, name, value);
    return value;
}

class RegistryWin : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(kyplatform::registryDeleteTree(kKey)); }
    void TearDown() override { kyplatform::registryDeleteTree(kKey); }
};
} // namespace

// The tools register where a 32-bit program looks; a 64-bit build that read
// the native view would find none of them.
TEST_F(RegistryWin, WorksInThe32BitView)
{
    ASSERT_TRUE(kyplatform::registryWriteString(kKey + "\\OBS Studio", "DisplayName", "OBS Studio"));
    EXPECT_TRUE(existsInNativeView(kRedirectedPath));
    EXPECT_FALSE(existsInNativeView(kNativePath));

    setRaw(L"DisplayName", REG_SZ, L"KYTool", sizeof L"KYTool");
    EXPECT_EQ(read("DisplayName"), "KYTool");

    EXPECT_TRUE(kyplatform::registryDeleteTree(kKey));
    EXPECT_FALSE(existsInNativeView(kRedirectedPath));
}

TEST_F(RegistryWin, StringValuesOfOtherWriters)
{
    // Longer than the first 1024-byte read: comes back whole.
    const std::wstring longText(700, L'x');
    setRaw(L"Long", REG_SZ, longText.c_str(), static_cast<DWORD>((longText.size() + 1) * sizeof(wchar_t)));
    EXPECT_EQ(read("Long"), std::string(700, 'x'));

    // Stored without its terminating zero, filling the first buffer exactly.
    const std::wstring exact(512, L'y');
    setRaw(L"Exact", REG_SZ, exact.c_str(), static_cast<DWORD>(exact.size() * sizeof(wchar_t)));
    EXPECT_EQ(read("Exact"), std::string(512, 'y'));

    // Expandable strings are text too, returned as stored.
    setRaw(L"Expand", REG_EXPAND_SZ, L"%ProgramFiles%\\OBS", sizeof L"%ProgramFiles%\\OBS");
    EXPECT_EQ(read("Expand"), "%ProgramFiles%\\OBS");

    // Numbers are no text.
    const DWORD number = 7;
    setRaw(L"Number", REG_DWORD, &number, sizeof number);
    EXPECT_EQ(read("Number"), "<absent>");

    std::vector<std::pair<std::string, std::string>> values;
    ASSERT_TRUE(kyplatform::registryValues(kKey, values));
    EXPECT_EQ(values.size(), 3u);
}
