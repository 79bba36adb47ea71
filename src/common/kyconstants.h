#pragma once

#include <QString>

// A tool is named everywhere (downloads, settings, status, install tasks,
// events) by its display name. The OBS names equal the display names of those
// tools' uninstall registry entries. The tool table (logic/kytoolfacts.h) is
// where a name leads to the tool's other facts.
inline const QString TOOL_NAME_KYTOOL = QStringLiteral("Kyoro直播伴侣");
inline const QString TOOL_NAME_KYSHOW = QStringLiteral("Kyoro秀场直播伴侣");
inline const QString TOOL_NAME_OBS_CLASSIC = QStringLiteral("Open Broadcaster Software");
inline const QString TOOL_NAME_OBS_STUDIO = QStringLiteral("OBS Studio");

// The folder each tool is installed into: below tools/ of the program folder
// by default, below the folder the user picks otherwise.
inline const QString TOOL_FOLDER_KYTOOL = QStringLiteral("KYTool");
inline const QString TOOL_FOLDER_KYSHOW = QStringLiteral("KYShowTool");
inline const QString TOOL_FOLDER_OBS_CLASSIC = QStringLiteral("OBS");
inline const QString TOOL_FOLDER_OBS_STUDIO = QStringLiteral("obs-studio");

// The telemetry parameter "type" of a tool; 0 for a name that is no tool.
enum ToolCode : int {
    TOOL_CODE_NONE = 0,
    TOOL_CODE_KYTOOL = 1,
    TOOL_CODE_KYSHOW = 2,
    TOOL_CODE_OBS_CLASSIC = 3,
    TOOL_CODE_OBS_STUDIO = 4,
};

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
