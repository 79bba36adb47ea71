#pragma once

#include <QString>

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
