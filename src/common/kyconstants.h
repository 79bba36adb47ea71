#pragma once

#include <QString>

// A tool is named everywhere (downloads, settings, status, install tasks) by
// its display name. The OBS names equal the display names of those tools'
// uninstall registry entries.
inline const QString TOOL_NAME_KYTOOL = QStringLiteral("Kyoro直播伴侣");
inline const QString TOOL_NAME_KYSHOW = QStringLiteral("Kyoro秀场直播伴侣");
inline const QString TOOL_NAME_OBS_CLASSIC = QStringLiteral("Open Broadcaster Software");
inline const QString TOOL_NAME_OBS_STUDIO = QStringLiteral("OBS Studio");

// The application id, which is also the message a second instance sends.
inline const QString APP_ID = QStringLiteral("VURuv_exe");

// Installed and running state of a tool.
enum AppStatus : int {
    APP_NOT_INSTALLED = 0,
    APP_INSTALLED = 1,
    APP_RUNNING = 2,
};

// Results of KyFileDownloader::download and KyFileDownloaderMgr::startDownload.
enum DownloadResult : int {
    DOWNLOAD_STARTED = 10000,
    DOWNLOAD_FILE_EXISTS = 10001,
    DOWNLOAD_BUSY = 10002,
    DOWNLOAD_ERROR = -10000,
    DOWNLOAD_BAD_URL = -9999,
    DOWNLOAD_NO_DOWNLOADER = -9998,
};

// Results of launching the login component.
enum LaunchResult : int {
    LAUNCH_OK = 0,
    LAUNCH_START_FAILED = -1001,
    LAUNCH_NOT_INSTALLED = -1002,
    LAUNCH_UPDATE_NEEDED = -1003,
};

// The telemetry parameter "type" of a tool; 0 for a name that is no tool.
enum ToolCode : int {
    TOOL_CODE_NONE = 0,
    TOOL_CODE_KYTOOL = 1,
    TOOL_CODE_KYSHOW = 2,
    TOOL_CODE_OBS_CLASSIC = 3,
    TOOL_CODE_OBS_STUDIO = 4,
};

inline int toolCode(const QString &name)
{
    if (name == TOOL_NAME_KYTOOL)
        return TOOL_CODE_KYTOOL;
    if (name == TOOL_NAME_KYSHOW)
        return TOOL_CODE_KYSHOW;
    if (name == TOOL_NAME_OBS_CLASSIC)
        return TOOL_CODE_OBS_CLASSIC;
    if (name == TOOL_NAME_OBS_STUDIO)
        return TOOL_CODE_OBS_STUDIO;
    return TOOL_CODE_NONE;
}

inline bool isToolName(const QString &name)
{
    return toolCode(name) != TOOL_CODE_NONE;
}
