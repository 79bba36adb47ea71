// The building blocks both crash handlers share: names and texts formatted
// into fixed buffers, and the module matching behind the driver advice.

#include "platform/crash.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using kyplatform::CrashAdvice;
using kyplatform::CrashTime;

TEST(CrashFormat, DumpFileName)
{
    struct Case
    {
        CrashTime time;
        const char *base;
        const char *version;
        const char *expected;
    };
    const Case cases[] = {
        {{2017, 3, 15, 14, 2, 7}, "app", "V1.0.0", "app_2017-0315-1402-07_V1.0.0.dmp"},
        {{987, 1, 2, 3, 4, 5}, "VURuv", "V2", "VURuv_0987-0102-0304-05_V2.dmp"},
        {{2099, 12, 31, 23, 59, 59}, "a b", "", "a b_2099-1231-2359-59_.dmp"},
    };
    for (const Case &c : cases) {
        char out[260];
        const std::size_t length = kyplatform::formatDumpFileName(out, sizeof out, c.base, c.time, c.version);
        EXPECT_STREQ(out, c.expected);
        EXPECT_EQ(length, std::strlen(c.expected));
    }
}

// Nothing is written half: a text that does not fit gives 0 and "".
TEST(CrashFormat, TooSmallBuffersGiveNothing)
{
    const CrashTime time{2017, 3, 15, 14, 2, 7};
    char out[32]; // one short of "app_2017-0315-1402-07_V1.0.0.dmp" and its end
    EXPECT_EQ(kyplatform::formatDumpFileName(out, sizeof out, "app", time, "V1.0.0"), 0u);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(kyplatform::formatDumpFileName(out, 0, "app", time, "V1.0.0"), 0u);
    EXPECT_EQ(kyplatform::formatAdvice(out, sizeof out, "in %s now", "a-module-name-far-too-long-for-this"), 0u);
    EXPECT_STREQ(out, "");
    char exact[33];
    EXPECT_EQ(kyplatform::formatDumpFileName(exact, sizeof exact, "app", time, "V1.0.0"), 32u);
}

// Windows hands the reporter one command line: the four values quoted,
// separated by three, four and three blanks.
TEST(CrashFormat, ReporterCommandLine)
{
    char out[2048];
    kyplatform::formatReporterCommandLine(out, sizeof out, "ftp://crash.example//KYLiveMgr//", "C:\\p\\a.dmp",
                                          "upload_agent:Qm7rVx2LpT9wKd4N", 3747);
    EXPECT_STREQ(out, "\"ftp://crash.example//KYLiveMgr//\"   \"C:\\p\\a.dmp\"    "
                      "\"upload_agent:Qm7rVx2LpT9wKd4N\"   \"3747\"");
    kyplatform::formatReporterCommandLine(out, sizeof out, "", "", "", -12);
    EXPECT_STREQ(out, "\"\"   \"\"    \"\"   \"-12\"");
}

TEST(CrashFormat, AdviceNamesTheModuleOnce)
{
    char out[256];
    kyplatform::formatAdvice(out, sizeof out, "crashed in %s, see %s", "libx264-140.dll");
    EXPECT_STREQ(out, "crashed in libx264-140.dll, see %s");
    kyplatform::formatAdvice(out, sizeof out, "no module here %", "x");
    EXPECT_STREQ(out, "no module here %");
}

TEST(CrashFormat, ModuleMatching)
{
    struct Case
    {
        const char *faulting;
        const char *frame;
        bool faultInAdviceModule;
        CrashAdvice advice;
    };
    const Case cases[] = {
        {"app", "vidout_a.dll", false, CrashAdvice::RenderSystem},
        {"app", "C:\\Tool\\VidOut_B.DLL", false, CrashAdvice::RenderSystem},
        {"app", "/opt/tool/vidout_b.dll", false, CrashAdvice::RenderSystem},
        {"app", "AVPIPE.dll", false, CrashAdvice::MediaEngine},
        {"LIBX264-140.DLL", "avpipe.dll", false, CrashAdvice::General},
        {"libx264-140.dll", "vidout_a.dll", false, CrashAdvice::RenderSystem},
        {"app", "my_vidout_a.dll", false, CrashAdvice::General},
        {"app", "avpipe.dll.so", false, CrashAdvice::General},
        {"", "", false, CrashAdvice::General},
        {"/x/VIDOUT_B.dll", "", true, CrashAdvice::General},
        {"avpipe.dll", "vidout_a.dll", true, CrashAdvice::RenderSystem},
        {"libx264-140.dll", "", false, CrashAdvice::General},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(kyplatform::faultInAdviceModule(c.faulting), c.faultInAdviceModule) << c.faulting;
        EXPECT_EQ(kyplatform::adviceForFrame(c.faulting, c.frame), c.advice) << c.faulting << " / " << c.frame;
    }
}

// Dumps go beside the program under its name unless the settings say
// otherwise; no part of the name can lead into another folder.
TEST(CrashFormat, DumpNaming)
{
    struct Case
    {
        const char *settingsFolder;
        const char *settingsBase;
        const char *version;
        const char *program;
        const char *separators;
        const char *folder;
        const char *base;
        const char *safeVersion;
    };
    const Case cases[] = {
        {"", "", "V1.0.0", "/opt/ky/VURuv", "/", "/opt/ky", "VURuv", "V1.0.0"},
        {"", "", "V1", "C:\\Program Files\\ky\\VURuv.exe", "\\/", "C:\\Program Files\\ky", "VURuv", "V1"},
        {"", "", "V1", "C:/ky/my.app.exe", "\\/", "C:/ky", "my.app", "V1"},
        {"D:\\dumps", "", "V1", "C:\\ky\\VURuv.exe", "\\/", "D:\\dumps", "VURuv", "V1"},
        {"", "a/b\\c", "..\\V2/x", "/opt/VURuv", "/", "/opt", "a_b_c", ".._V2_x"},
    };
    for (const Case &c : cases) {
        kyplatform::CrashReportSettings settings;
        settings.programFolder = c.settingsFolder;
        settings.programBaseName = c.settingsBase;
        settings.version = c.version;
        std::string folder, base, version;
        ASSERT_TRUE(kyplatform::dumpNaming(settings, c.program, c.separators, folder, base, version)) << c.program;
        EXPECT_EQ(folder, c.folder);
        EXPECT_EQ(base, c.base);
        EXPECT_EQ(version, c.safeVersion);
    }
    kyplatform::CrashReportSettings settings;
    std::string folder, base, version;
    EXPECT_FALSE(kyplatform::dumpNaming(settings, "VURuv.exe", "\\/", folder, base, version));
    settings.programFolder = "/opt";
    settings.programBaseName = "VURuv";
    EXPECT_TRUE(kyplatform::dumpNaming(settings, "", "/", folder, base, version));
}
