#pragma once

#include <QString>
#include <QStringList>

// Points HOME, the XDG folders, TMPDIR and the sandbox stores at a fresh
// temporary folder, so that a test never touches the real user's files. Call
// before the application object exists; the folder is removed at exit.
namespace kytest {

// Sets up the environment once per process and returns its root folder.
QString setUpTestEnvironment();
QString testRoot();

// Folders inside the root.
QString homeDir();
QString dataHome();        // XDG_DATA_HOME
QString configHome();      // XDG_CONFIG_HOME
QString tempDir();         // TMPDIR
QString runtimeDir();      // XDG_RUNTIME_DIR (mode 0700)

// The build's folders.
QString sourceDir();
QString binDir();          // VURuv and deault.data, as shipped
QString testVariantDir();  // the test variant of VURuv and its deault.data
QString sandboxDir();      // sandbox programs and served files

// Writes `content` to `path`, creating parent folders.
bool writeFile(const QString &path, const QByteArray &content);
QByteArray readFile(const QString &path);

} // namespace kytest
