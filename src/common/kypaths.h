#pragma once

#include <QString>
#include <QStringList>

// Every file and folder the program reads or writes is named by these
// functions; nothing else builds a location by hand. The program folder holds
// "deault.data", the download folder, the default tool folders and the login
// component; the per-user data folder holds the two settings files.

QString appDir();                 // program folder, forward slashes, no trailing separator
QString dataDir();                // per-user data folder, always ends with a separator; created
QString appVersionFilePath();     // appDir/deault.data
QString systemSettingFilePath();  // dataDir + "systemSetting"
QString moduleListFilePath();     // dataDir + "moduleList"
QString downloadDir();            // appDir/download; created
QString defaultKyToolDir();       // appDir/tools/KYTool; created
QString defaultKyShowDir();       // appDir/tools/KYShowTool; created
QString defaultObsClassicDir();   // "C:/Program Files (x86)/OBS"
QString defaultObsStudioDir();    // appDir/tools/obs-studio; created
QString moduleDir();              // appDir/module; created
QString liveCodeModuleDir();      // appDir/module/LiveCodeModule
QString liveCodeModuleExePath();  // liveCodeModuleDir/LiveCodeModule.exe
QString localAppDataRoot();       // parent of the data folder, with a trailing "/"
QString roamingAppDataRoot();     // the user's roaming application-data folder, trailing "/"

// The folder of the user's local sockets and their lock files (the single
// instance channel, the RPC services), no trailing separator:
// $XDG_RUNTIME_DIR when Qt accepts it and it is the user's own and no link,
// else "VURuv-runtime" in the user's cache folder, made private; never a
// folder in the temporary folder. Never a folder other accounts can
// enter; "" (logged) when neither can be had. Created when missing.
QString privateRuntimeDir();

// The folder part of `location` up to and including its last "/" (or, when it
// has none, its last "\"), with "/" appended when it ends with neither.
QString rootOfLocation(const QString &location);

// Whole content of a text file as UTF-8, or "" when it cannot be opened.
QString readTextFile(const QString &path);

// Hands `text` as a URL to the desktop's opener (the default browser).
void openUrl(const QString &text);

// Whether the folder or file exists. Windows-form paths are mapped first.
bool dirExists(const QString &path);

// Starts `program` detached with its own folder as working folder (the path up
// to its last "\", else its last "/", else ".\"). False at once for an empty
// path, and when the process cannot be started.
bool startDetachedInOwnDir(const QString &program, const QStringList &arguments);

// "Version/version" of deault.data, "V1.0.0" when the file or key is missing.
QString appVersion();

// A path in Windows form turned into one the local file system understands
// (unchanged on Windows). Used wherever a path reaches the file system or a
// started process.
QString nativePath(const QString &path);

// Whether `path` names a folder or file from a root: a drive path ("X:\...",
// "X:/...") or a path that starts with "/" (or "\").
bool isAbsolutePath(const QString &path);
