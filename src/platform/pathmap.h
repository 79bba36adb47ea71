#pragma once

#include <string>

// Paths in Windows form ("C:\Program Files\OBS", "D:/Apps") are what the program
// and the tools' configuration files speak. nativePath turns such a path into
// one the local file system understands. On Windows it returns the path as it
// is; elsewhere a drive letter becomes a folder under KYORO_DRIVES_DIR (default
// "kyoro-drives" in the user's data folder), backslashes become slashes, and a
// path that already starts with "/" stays where it is.
namespace kyplatform {

std::string nativePath(const std::string &path);

// "X:", "X:\..." or "X:/..." with X a letter.
bool isDrivePath(const std::string &path);

// A drive path, or a path rooted at "/" (or "\", the same on both systems).
bool isAbsolutePath(const std::string &path);

// The folder that stands in for drive letter `letter` (lower-case); Windows
// has real drives and answers "".
std::string driveFolder(char letter);

// Full path of the running program's executable, "" when it cannot be read.
std::string programFilePath();

// The user's data folder ($XDG_DATA_HOME, else $HOME/.local/share); "" on
// Windows. Defaults of the sandbox stores live below it.
std::string userDataHome();

} // namespace kyplatform
