// The file store behind the registry off Windows: what is on disk.
#include "platform/registry.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {
const std::string kKey = "HKLM\\SOFTWARE\\KyoroStoreTest\\Broken";

fs::path keyFolder()
{
    return fs::path(std::getenv("KYORO_REGISTRY_DIR")) / "HKLM" / "SOFTWARE" / "KyoroStoreTest" / "Broken";
}

std::string read(const std::string &name)
{
    std::string value = "<absent>";
    kyplatform::registryReadString(kKey, name, value);
    return value;
}

const std::string kGarbage[] = {
    "DisplayName=OBS Studio\n",
    "KYREG1\n11 100\nDisplayNameOBS\n",
    "KYREG1\neleven ten\nDisplayNameOBS Studio\n",
    "KYREG1\n11 10\nDisplayNameOBS StudioX",
    std::string("\0\xff\x13KYREG1", 9),
};
} // namespace

// Unreadable content reads as absent, and the next write replaces it whole.
TEST(RegistryStore, GarbageReadsAsAbsent)
{
    for (const std::string &garbage : kGarbage) {
        ASSERT_TRUE(kyplatform::registryDeleteTree(kKey));
        ASSERT_TRUE(kyplatform::registryCreateKey(kKey));
        std::ofstream(keyFolder() / ".values", std::ios::binary) << garbage;
        EXPECT_EQ(read("DisplayName"), "<absent>") << garbage;
        ASSERT_TRUE(kyplatform::registryWriteString(kKey, "DisplayName", "OBS Studio"));
        EXPECT_EQ(read("DisplayName"), "OBS Studio");
    }
}

// Written through a temporary file that does not stay behind.
TEST(RegistryStore, WritesLeaveOneValuesFile)
{
    ASSERT_TRUE(kyplatform::registryDeleteTree(kKey));
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(kyplatform::registryWriteString(kKey, "v" + std::to_string(i), "data"));
    int files = 0;
    for (const auto &entry : fs::directory_iterator(keyFolder())) {
        EXPECT_EQ(entry.path().filename(), ".values");
        ++files;
    }
    EXPECT_EQ(files, 1);
    kyplatform::registryDeleteTree("HKLM\\SOFTWARE\\KyoroStoreTest");
}
