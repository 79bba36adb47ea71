// The file store behind the registry off Windows, as another program of the
// user may leave it: a FIFO where a key's values belong, and a store reached
// through a link that is later pointed elsewhere.
#include "platform/registry.h"
#include "platformtestsupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {
const std::string kEntry = std::string(kyplatform::kUninstallKey) + "\\OBS Studio";

// Points KYORO_REGISTRY_DIR at `store` for the life of the object.
class StoreAt
{
public:
    explicit StoreAt(const fs::path &store)
    {
        const char *old = std::getenv("KYORO_REGISTRY_DIR");
        m_old = old ? old : "";
        ::setenv("KYORO_REGISTRY_DIR", store.c_str(), 1);
    }
    ~StoreAt() { ::setenv("KYORO_REGISTRY_DIR", m_old.c_str(), 1); }

private:
    std::string m_old;
};
} // namespace

// Before: reading the entry opened the FIFO and waited for a writer that
// never came, and the window hung for good.
TEST(RegistryStoreFaults, FifoInPlaceOfTheValuesIsNotWaitedFor)
{
    kytest::TempDir dir("kyreg-fifo");
    ASSERT_TRUE(dir.valid());
    StoreAt store(dir.path() / "store");
    ASSERT_TRUE(kyplatform::registryWriteString(kEntry, "DisplayName", "OBS Studio"));
    const fs::path values = dir.path() / "store" / "HKLM" / "SOFTWARE" / "Microsoft" / "Windows" / "CurrentVersion"
        / "Uninstall" / "OBS Studio" / ".values";
    ASSERT_TRUE(fs::remove(values));
    ASSERT_EQ(::mkfifo(values.c_str(), 0600), 0);

    auto read = std::async(std::launch::async, [] {
        std::string name = "<absent>";
        kyplatform::registryReadString(kEntry, "DisplayName", name);
        std::vector<std::pair<std::string, std::string>> all;
        kyplatform::registryValues(kEntry, all);
        return name + " " + std::to_string(all.size());
    });
    const bool returned = read.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
    // Lets a blocked reader go, each time it opens the FIFO again, so that
    // the failure ends the test rather than hang it.
    while (read.wait_for(std::chrono::milliseconds(100)) != std::future_status::ready) {
        const int writer = ::open(values.c_str(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
    }
    ASSERT_TRUE(returned);
    EXPECT_EQ(read.get(), "<absent> 0");
    // A later write replaces the FIFO with the store's own file.
    ASSERT_TRUE(kyplatform::registryWriteString(kEntry, "DisplayName", "OBS Studio"));
    EXPECT_TRUE(fs::is_regular_file(values));
}

// Before: the watch stayed on the folders the link led to when it was set,
// so installs and removals in the store the link now leads to never showed.
TEST(RegistryStoreFaults, LinkedStorePointedElsewhereIsWatchedWhereItLeads)
{
    kytest::TempDir dir("kyreg-link");
    ASSERT_TRUE(dir.valid());
    const fs::path link = dir.path() / "store";
    fs::create_directories(dir.path() / "a");
    fs::create_directories(dir.path() / "b");
    fs::create_directory_symlink(dir.path() / "a", link);
    StoreAt store(link);
    ASSERT_TRUE(kyplatform::registryCreateKey(kyplatform::kUninstallKey));
    kyplatform::RegistryWatch watch(kyplatform::kUninstallKey);
    EXPECT_TRUE(watch.changed());
    EXPECT_FALSE(watch.changed());

    // The other store already holds an entry; the link is replaced the way
    // "ln -sfn" does it.
    {
        StoreAt other(dir.path() / "b");
        ASSERT_TRUE(kyplatform::registryWriteString(kEntry, "DisplayName", "OBS Studio"));
    }
    fs::create_directory_symlink(dir.path() / "b", dir.path() / "store.new");
    fs::rename(dir.path() / "store.new", link);
    EXPECT_TRUE(kytest::waitFor([&watch] { return watch.changed(); }, 5000));
    EXPECT_FALSE(watch.changed());

    // Removals in the store it now leads to show.
    ASSERT_TRUE(kyplatform::registryDeleteTree(kEntry));
    EXPECT_TRUE(kytest::waitFor([&watch] { return watch.changed(); }, 5000));
    // And nothing in the old one does.
    {
        StoreAt old(dir.path() / "a");
        ASSERT_TRUE(kyplatform::registryWriteString(kEntry, "DisplayName", "OBS Studio"));
    }
    EXPECT_FALSE(watch.changed());
}
