#include "kytestenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtGlobal>

#include <cstdlib>
#include <memory>

namespace kytest {

namespace {
std::unique_ptr<QTemporaryDir> &rootDir()
{
    static std::unique_ptr<QTemporaryDir> dir;
    return dir;
}

QString sub(const QString &name)
{
    return testRoot() + QLatin1Char('/') + name;
}

void setDir(const char *variable, const QString &path, QFile::Permissions permissions = {})
{
    QDir().mkpath(path);
    if (permissions)
        QFile::setPermissions(path, permissions);
    qputenv(variable, QFile::encodeName(path));
}
} // namespace

QString setUpTestEnvironment()
{
    if (rootDir())
        return testRoot();
    rootDir() = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/kytest-XXXXXX"));
    const QString root = testRoot();
    setDir("HOME", root + QStringLiteral("/home"));
    setDir("XDG_DATA_HOME", root + QStringLiteral("/home/.local/share"));
    setDir("XDG_CONFIG_HOME", root + QStringLiteral("/home/.config"));
    setDir("XDG_CACHE_HOME", root + QStringLiteral("/home/.cache"));
    setDir("TMPDIR", root + QStringLiteral("/tmp"));
    setDir("XDG_RUNTIME_DIR", root + QStringLiteral("/runtime"),
           QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setDir("KYORO_REGISTRY_DIR", root + QStringLiteral("/registry"));
    setDir("KYORO_DRIVES_DIR", root + QStringLiteral("/drives"));
    // Marks every process this test starts, directly or not (see
    // ownprocesses.h); the root folder is unique to the run.
    qputenv("KYTEST_RUN", QFile::encodeName(root));
    // Never the real hosts: a port where nothing listens until a test starts
    // the sandbox server (which points the variable at itself).
    qputenv("KYORO_PLATFORM_URL", "http://127.0.0.1:9");
    return root;
}

QString testRoot()
{
    return rootDir() ? rootDir()->path() : QString();
}

QString homeDir() { return sub(QStringLiteral("home")); }
QString dataHome() { return sub(QStringLiteral("home/.local/share")); }
QString configHome() { return sub(QStringLiteral("home/.config")); }
QString tempDir() { return sub(QStringLiteral("tmp")); }
QString runtimeDir() { return sub(QStringLiteral("runtime")); }

QString sourceDir() { return QStringLiteral(KY_SOURCE_DIR); }
QString binDir() { return QStringLiteral(KY_BIN_DIR); }
QString testVariantDir() { return QStringLiteral(KY_TESTVARIANT_DIR); }
QString sandboxDir() { return QStringLiteral(KY_SANDBOX_DIR); }

bool writeFile(const QString &path, const QByteArray &content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(content) == content.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

} // namespace kytest
