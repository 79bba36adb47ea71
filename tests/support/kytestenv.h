#pragma once

#include <QString>
#include <QStringList>

// Points the user's folders, the temporary folder and (on Linux) the sandbox
// stores at a fresh temporary folder, so that a test never touches the real
// user's files: HOME, the XDG folders and TMPDIR on Linux; USERPROFILE,
// APPDATA, LOCALAPPDATA, TEMP and TMP on Windows. Call before the
// application object exists; the folder is removed at exit.
namespace kytest {

// Sets up the environment once per process and returns its root folder.
QString setUpTestEnvironment();
QString testRoot();

// Folders inside the root.
QString homeDir();         // HOME; USERPROFILE
QString dataHome();        // XDG_DATA_HOME; LOCALAPPDATA
QString configHome();      // XDG_CONFIG_HOME; APPDATA
QString tempDir();         // TMPDIR; TEMP and TMP
QString runtimeDir();      // XDG_RUNTIME_DIR (mode 0700); LOCALAPPDATA/VURuv-runtime

// The build's folders (drive paths on Windows).
QString sourceDir();
QString binaryDir();
QString binDir();          // VURuv and deault.data, as shipped
QString testVariantDir();  // the test variant of VURuv and its deault.data
QString sandboxDir();      // sandbox programs and served files

// The folder drive paths lead to: its "d" sub-folder is drive D:, and so
// on. Linux: KYORO_DRIVES_DIR, where the program maps drive paths. Under
// Wine: the folder behind the drives the Wine run gives the tests (D:, E:,
// F:, Q:, R:, Y:, each its own folder, and C:).
QString drivesDir();

// Bytes as a file written in text mode holds them: "\n" ends a line on
// Linux, "\r\n" on Windows.
QByteArray textModeBytes(const QByteArray &lines);

// The file of the program built as `path`: `path` itself on Linux, with
// ".exe" on Windows.
QString programFile(const QString &path);

// Sets an environment variable of this process, which the programs it
// starts inherit, to any text: qputenv's bytes are in the ANSI code page on
// Windows, which cannot hold every text.
void setEnvironmentText(const char *name, const QString &value);

// Whether this is the Windows build, for the few cases whose expectation
// follows the system (a file name Windows refuses, a file another program
// holds open).
bool windowsBuild();

// Writes `content` to `path`, creating parent folders.
bool writeFile(const QString &path, const QByteArray &content);
QByteArray readFile(const QString &path);

} // namespace kytest
