#pragma once

#include "platform/crash.h"

// What a crash tells the user and hands to the crash reporter. Plain C++ (no
// Qt): the crash test programs use the same texts.

// Upload credential and the fourth reporter value.
inline constexpr char CRASH_UPLOAD_CREDENTIAL[] = "upload_agent:Qm7rVx2LpT9wKd4N";
inline constexpr int CRASH_REPORTER_NUMBER = 3747;

// The support chat groups named in the general message.
#define KY_CRASH_SUPPORT_GROUP_1 "326187459"
#define KY_CRASH_SUPPORT_GROUP_2 "518420736"

inline constexpr char CRASH_CAPTION[] = "崩溃提示";
inline constexpr char CRASH_RENDER_ADVICE[] = "程序崩溃在%s中,可能是显卡驱动没更新！\n请更新显卡驱动后重新尝试";
inline constexpr char CRASH_MEDIA_ADVICE[] =
    "程序崩溃在%s中,可能是显卡驱动没更新！\n请更新显卡驱动后重新尝试或者将编码器设置为软件编码器";
inline constexpr char CRASH_GENERAL_TEXT[] = "直播伴侣已经崩溃，请重试！\n如果多次出现这种情况请加入QQ群" KY_CRASH_SUPPORT_GROUP_1
                                             "或者" KY_CRASH_SUPPORT_GROUP_2 "，找管理员反馈解决！";

// Messages of the Windows dump writer.
inline constexpr char CRASH_DUMP_WRITER_CAPTION[] = "kyoroTool";
inline constexpr char CRASH_DUMP_LIBRARY_MISSING[] = "Load dbghelp.dll faild";
inline constexpr char CRASH_DUMP_FUNCTION_MISSING[] = "Load MiniDumpWriteDump faild";

// Puts the values above into the crash handler's settings; the folder, name,
// version and upload location are the caller's.
inline void applyCrashTextsAndCredential(kyplatform::CrashReportSettings &settings)
{
    settings.uploadCredential = CRASH_UPLOAD_CREDENTIAL;
    settings.reporterNumber = CRASH_REPORTER_NUMBER;
    settings.caption = CRASH_CAPTION;
    settings.renderAdviceText = CRASH_RENDER_ADVICE;
    settings.mediaAdviceText = CRASH_MEDIA_ADVICE;
    settings.generalText = CRASH_GENERAL_TEXT;
    settings.dumpWriterCaption = CRASH_DUMP_WRITER_CAPTION;
    settings.dumpLibraryMissingText = CRASH_DUMP_LIBRARY_MISSING;
    settings.dumpFunctionMissingText = CRASH_DUMP_FUNCTION_MISSING;
}
