#pragma once

#include <QString>
#include <QStringList>

// Qt side of the platform's process functions.

// Executable file names (no folder) of every running process, in snapshot
// order, duplicates kept. Empty when no snapshot could be taken.
QStringList runningProcessNames();

// Ends every process whose executable file name equals `name` exactly.
void terminateProcessesByName(const QString &name);

// Starts `file` with the parameter text `parameters` as the shell's "open"
// verb does, hidden and without waiting. Above 32: started; 2: no such file;
// 5: it cannot be started. Windows-form paths are mapped first.
int shellExecuteOpenHidden(const QString &file, const QString &parameters);

// Opens `folder` in the desktop's file browser without waiting for it; the
// folder reaches the browser as one argument, blanks and quotes included.
// Windows-form paths are mapped first. False when the browser cannot start.
bool openFolderInFileBrowser(const QString &folder);
