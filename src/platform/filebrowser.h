#pragma once

#include <string>

namespace kyplatform {

// Opens `folder` in the desktop's file browser without waiting for it. The
// folder reaches the browser as exactly one argument, so blanks, quotes and
// other special characters in its name need no quoting by the caller. On
// Windows the folder is written with backslashes for the browser; elsewhere
// the caller passes a path the local file system understands. False when the
// browser cannot be started; `systemError`, when given, then holds the
// system's reason (a Windows error code, errno elsewhere; 0 when there is no
// folder or no browser to start).
bool openFolderInFileBrowser(const std::string &folder, int *systemError = nullptr);

} // namespace kyplatform
