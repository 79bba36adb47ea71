#include "platform/pathmap.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

using kyplatform::isAbsolutePath;
using kyplatform::isDrivePath;
using kyplatform::nativePath;

namespace {
struct PathCase
{
    const char *path;
    bool drive;
    bool absolute;
};

// Shared by both backends: what counts as a drive path and as absolute.
const PathCase kPathCases[] = {
    {"C:", true, true},
    {"c:\\", true, true},
    {"D:/Apps", true, true},
    {"Z:\\Program Files (x86)\\OBS", true, true},
    {"C:relative", false, false},
    {"1:/x", false, false},
    {"/home/u", false, true},
    {"\\\\server\\share", false, true},
    {"tools\\KYTool", false, false},
    {"", false, false},
    {"C", false, false},
};
} // namespace

TEST(PathMap, DriveAndAbsolutePaths)
{
    for (const PathCase &c : kPathCases) {
        EXPECT_EQ(isDrivePath(c.path), c.drive) << c.path;
        EXPECT_EQ(isAbsolutePath(c.path), c.absolute) << c.path;
    }
}

TEST(PathMap, RelativePathsKeepTheirPlace)
{
    const std::string mapped = nativePath("bin\\32bit\\obs32.exe");
    EXPECT_TRUE(mapped == "bin/32bit/obs32.exe" || mapped == "bin\\32bit\\obs32.exe") << mapped;
}

// The drive mapping itself exists only where there are no drive letters.
TEST(PathMap, DriveLettersBecomeFolders)
{
    if (KY_WINDOWS_BACKEND) {
        EXPECT_TRUE(kyplatform::driveFolder('c').empty());
        EXPECT_EQ(nativePath("C:\\Program Files\\OBS"), "C:\\Program Files\\OBS");
        return;
    }
    const char *drives = std::getenv("KYORO_DRIVES_DIR");
    ASSERT_TRUE(drives && *drives);
    const std::string root = drives;
    EXPECT_EQ(kyplatform::driveFolder('c'), root + "/c");
    EXPECT_EQ(nativePath("C:\\Program Files (x86)\\OBS\\OBS.exe"), root + "/c/Program Files (x86)/OBS/OBS.exe");
    EXPECT_EQ(nativePath("d:/Apps/KYTool"), root + "/d/Apps/KYTool");
    EXPECT_EQ(nativePath("Z:"), root + "/z");
    EXPECT_EQ(nativePath("\\home\\u\\x.exe"), "/home/u/x.exe");
    EXPECT_EQ(nativePath("/already/native"), "/already/native");
}
