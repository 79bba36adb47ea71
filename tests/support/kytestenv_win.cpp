#include "kytestenv.h"
#include "kytestenv_p.h"

#include <QDir>

namespace kytest {

namespace {
void setDir(const char *variable, const QString &path)
{
    QDir().mkpath(path);
    // The process environment itself (qputenv goes through the C runtime,
    // which passes it on): Windows reads it when this process asks for a
    // folder and hands it to every program this process starts.
    qputenv(variable, QDir::toNativeSeparators(path).toLocal8Bit());
}
} // namespace

// Windows reads no HOME or XDG variables. The temporary folder follows TEMP
// and TMP; the roaming and local application-data folders follow APPDATA
// and LOCALAPPDATA in the test prefix (scripts/lib/wine-profile.reg), as a
// redirected profile's do. The registry and the drives are the real ones of
// the prefix, shared by every test: tests clean up the keys they write.
void setUpSystemFolders(const QString &root)
{
    setDir("USERPROFILE", root + QStringLiteral("/home"));
    setDir("APPDATA", root + QStringLiteral("/home/AppData/Roaming"));
    setDir("LOCALAPPDATA", root + QStringLiteral("/home/AppData/Local"));
    setDir("TEMP", root + QStringLiteral("/tmp"));
    setDir("TMP", root + QStringLiteral("/tmp"));
}

QString homeDir() { return subFolder(QStringLiteral("home")); }
QString dataHome() { return subFolder(QStringLiteral("home/AppData/Local")); }
QString configHome() { return subFolder(QStringLiteral("home/AppData/Roaming")); }
QString tempDir() { return subFolder(QStringLiteral("tmp")); }
QString runtimeDir() { return subFolder(QStringLiteral("home/AppData/Local/VURuv-runtime")); }

} // namespace kytest
