#pragma once

#include <QString>

// The streaming tools' own settings files: where each tool records, and the
// RTMP push address and stream key of OBS Classic and OBS Studio. Free
// functions without state; every call reads or rewrites the file anew. GUI
// thread only. The tools may be running meanwhile: a running OBS takes a new
// push setting only after a restart.
//
// Files, below localAppDataRoot() (L) and roamingAppDataRoot() (R):
//   L "KYTool/SystemSetting"          JSON, flat key "other.video.file.path"
//   L "KyoroShow/SysConfig.config"    JSON, "sys" / "sys_record_path"
//   R "OBS/profiles/Untitled.ini"     profile INI, section "Publish"
//   R "obs-studio/global.ini", "obs-studio/user.ini"   the current profile
//   R "obs-studio/basic/profiles/<profile>/basic.ini"     "SimpleOutput" / "FilePath"
//   R "obs-studio/basic/profiles/<profile>/service.json"  "settings" {"server", "key"}, "type"
//
// Record folders come back with forward slashes; a tool without a stored
// record folder gives "" (KYTool, KYShow) or the user's Videos folder (OBS).

QString kyToolRecordPath();
QString kyShowRecordPath();
QString obsClassicRecordPath();
QString obsStudioRecordPath();

// "URL" and "PlayPath" of section "Publish" of OBS Classic's profile, "" each
// when absent.
void readObsClassicPushCode(QString &url, QString &playPath);
// Sets "Mode" = "0", "URL" and "PlayPath" in section "Publish", creating the
// profile folder and file when missing and keeping every other line. A value
// with a line break is refused (logged, nothing written). True when written.
bool writeObsClassicPushCode(const QString &url, const QString &playPath);

// "settings"."server" and "settings"."key" of the current OBS Studio profile's
// service.json, "" each when absent. The key is the one OBS sends: percent
// escapes in the stored key are decoded, as OBS does.
void readObsStudioPushCode(QString &server, QString &key);
// Sets "settings"."server" and "settings"."key" and "type" = "rtmp_custom" in
// the current profile's service.json; every other member stays. A missing
// folder or file is created; a file that is not a JSON object is replaced by
// one holding only "settings" and "type". Each "%" of the key is stored as
// "%25", so that OBS sends the key as given.
//
// When OBS Studio has not chosen a profile yet (it has never run, or
// global.ini lacks "[Basic] Profile" or "ProfileDir"), OBS would open a
// profile of its own at its next start. The writer then also names its folder
// in global.ini, adding only the missing keys, and gives the folder's
// basic.ini a "[General] Name" when it has none. A choice OBS already made is
// never changed; every other line of those files stays byte for byte, and each
// file is replaced whole. False, with the reason logged, when a file cannot be
// read or written or OBS's chosen folder lies outside its profiles folder.
bool writeObsStudioPushCode(const QString &server, const QString &key);

// The OBS Studio profile folder below "basic/profiles" that OBS opens (or
// will open once the writer has named it):
// - when "obs-studio/user.ini" exists (OBS Studio 31 and later), the profile
//   folder whose basic.ini "[General] Name" equals its "[Basic] Profile",
//   else its "[Basic] ProfileDir";
// - otherwise (or when user.ini names none) "[Basic] ProfileDir" of
//   "obs-studio/global.ini"; when that file has a "[Basic] Profile" but no
//   ProfileDir, the folder whose basic.ini names that profile;
// - "未命名" when none is set. A value that is not a plain folder name (a path,
//   "." or "..") is ignored.
// OBS keeps these INI files in UTF-8 and writes values without escapes; they
// are read that way.
QString obsStudioProfileDir();

// Whole file as text (UTF-8, a leading byte order mark dropped), or "{}" when
// it cannot be opened.
QString readConfigText(const QString &path);
// Replaces the file's content with `text` (up to its first NUL) as UTF-8. The
// text goes to a temporary file in the same folder that is then renamed over
// the old one, so a crash or a full disk leaves the old file intact. True
// when the new content is in place.
bool writeConfigText(const QString &path, const QString &text);
