// The machine description of the telemetry, read from the running system.
#include "platform/sysinfo.h"

#include <gtest/gtest.h>

#include <string>

TEST(SysInfo, OsNameForVersion)
{
    struct Case
    {
        unsigned long major;
        unsigned long minor;
        const char *name;
    };
    const Case cases[] = {
        {5, 1, "Windows_XP"},  {5, 2, "Unknown"},    {6, 0, "Unknown"},    {6, 1, "Windows_7"},
        {6, 2, "Windows_8"},   {6, 3, "Windows_8.1"}, {6, 4, "Unknown"},   {10, 0, "Windows_10"},
        {10, 7, "Windows_10"}, {11, 0, "Unknown"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(kyplatform::osNameForVersion(c.major, c.minor), c.name) << c.major << "." << c.minor;
}

// The name is the table's answer for the version the workstation service
// reports (Windows, also under Wine); elsewhere there is no such service and
// the name is "Unknown".
TEST(SysInfo, OsNameOfThisSystem)
{
    unsigned long major = 0;
    unsigned long minor = 0;
    const bool known = kyplatform::osVersion(major, minor);
    const std::string name = kyplatform::osName();
    if (!KY_WINDOWS_BACKEND) {
        EXPECT_FALSE(known);
        EXPECT_EQ(name, "Unknown");
        return;
    }
    ASSERT_TRUE(known);
    EXPECT_GT(major, 0ul);
    EXPECT_EQ(name, kyplatform::osNameForVersion(major, minor));
    EXPECT_NE(name, "Unknown") << major << "." << minor;
}

TEST(SysInfo, ProcessorOfThisMachine)
{
    const kyplatform::CpuDescription cpu = kyplatform::cpuDescription();
    EXPECT_GE(cpu.count, 1);
    EXPECT_GE(cpu.mhz, 0);
    // Both systems state the model of an x86 processor.
    EXPECT_FALSE(cpu.model.empty());
    EXPECT_FALSE(cpu.vendor.empty());
}

TEST(SysInfo, GraphicsAdaptersHaveNames)
{
    for (const std::string &description : kyplatform::graphicsAdapterDescriptions())
        EXPECT_FALSE(description.empty());
}
