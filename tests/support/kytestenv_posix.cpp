#include "kytestenv.h"
#include "kytestenv_p.h"

#include "platform/registry.h"

#include <QDir>
#include <QFile>

namespace kytest {

namespace {
void setDir(const char *variable, const QString &path, QFile::Permissions permissions = {})
{
    QDir().mkpath(path);
    if (permissions)
        QFile::setPermissions(path, permissions);
    qputenv(variable, QFile::encodeName(path));
}
} // namespace

void setUpSystemFolders(const QString &root)
{
    setDir("HOME", root + QStringLiteral("/home"));
    setDir("XDG_DATA_HOME", root + QStringLiteral("/home/.local/share"));
    setDir("XDG_CONFIG_HOME", root + QStringLiteral("/home/.config"));
    setDir("XDG_CACHE_HOME", root + QStringLiteral("/home/.cache"));
    setDir("TMPDIR", root + QStringLiteral("/tmp"));
    setDir("XDG_RUNTIME_DIR", root + QStringLiteral("/runtime"),
           QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    setDir("KYORO_REGISTRY_DIR", root + QStringLiteral("/registry"));
    setDir("KYORO_DRIVES_DIR", root + QStringLiteral("/drives"));
}

// Both stores are folders of the test's own.
void clearSystemStores()
{
    if (testRoot().isEmpty())
        return;
    kyplatform::registryDeleteTree(kyplatform::kUninstallKey);
    kyplatform::registryCreateKey(kyplatform::kUninstallKey);
    QDir(drivesDir()).removeRecursively();
}

QString drivesDir() { return subFolder(QStringLiteral("drives")); }
QByteArray textModeBytes(const QByteArray &lines) { return lines; }
QString programFile(const QString &path) { return path; }
void setEnvironmentText(const char *name, const QString &value) { qputenv(name, value.toUtf8()); }
bool windowsBuild() { return false; }
QString homeDir() { return subFolder(QStringLiteral("home")); }
QString dataHome() { return subFolder(QStringLiteral("home/.local/share")); }
QString configHome() { return subFolder(QStringLiteral("home/.config")); }
QString tempDir() { return subFolder(QStringLiteral("tmp")); }
QString runtimeDir() { return subFolder(QStringLiteral("runtime")); }

} // namespace kytest
