#include "kytestenv.h"
#include "kytestenv_p.h"

#include "platform/registry.h"

#include <QDir>
#include <QFile>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

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

// The drives the Wine run gives the tests, each a folder of their own
// (scripts/lib/wineprefix.sh).
const char kTestDrives[] = "defqry";

} // namespace

// Windows reads no HOME or XDG variables. The temporary folder follows TEMP
// and TMP; the roaming and local application-data folders follow APPDATA
// and LOCALAPPDATA in the test prefix (scripts/lib/wine-profile.reg), as a
// redirected profile's do. The registry and the drives are the prefix's,
// shared by every test: tests that install or write entries take turns
// (RESOURCE_LOCK kyoro_tool_processes) and clear both when they start and
// end.
void setUpSystemFolders(const QString &root)
{
    setDir("USERPROFILE", root + QStringLiteral("/home"));
    setDir("APPDATA", root + QStringLiteral("/home/AppData/Roaming"));
    setDir("LOCALAPPDATA", root + QStringLiteral("/home/AppData/Local"));
    setDir("TEMP", root + QStringLiteral("/tmp"));
    setDir("TMP", root + QStringLiteral("/tmp"));
}

namespace {
void clearDrivesAndEntries()
{
    // The prefix is the test run's own, and its 32-bit uninstall key starts
    // empty: every entry in it is one a test or a stand-in installer wrote.
    // The entries go, the key stays: Wine never tells a watch on a key that
    // the key was deleted, and the status monitor would watch a dead key.
    kyplatform::registryCreateKey(kyplatform::kUninstallKey);
    std::vector<std::string> keys;
    kyplatform::registrySubkeys(kyplatform::kUninstallKey, keys);
    for (const std::string &entry : keys)
        kyplatform::registryDeleteTree(std::string(kyplatform::kUninstallKey) + "\\" + entry);
    for (const char *letter = kTestDrives; *letter; ++letter) {
        const QString drive = QStringLiteral("%1:/").arg(QChar::fromLatin1(*letter).toUpper());
        const QStringList entries = QDir(drive).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        for (const QString &entry : entries) {
            const QString path = drive + entry;
            if (!QDir(path).removeRecursively())
                QFile::remove(path);
        }
    }
    // Drive C: is the prefix's own: only the two folders OBS Classic is
    // looked for in, which installs and tests fill.
    QDir(QStringLiteral("C:/Program Files (x86)/OBS")).removeRecursively();
    QDir(QStringLiteral("C:/Program Files/OBS")).removeRecursively();
}
} // namespace

void clearSystemStores()
{
    if (testRoot().isEmpty())
        return;
    // A test that installs leaves nothing behind when it ends either. Only
    // such tests: the others do not hold the lock, and another test's
    // install may be under way then.
    static const bool atExit = std::atexit(clearDrivesAndEntries) == 0;
    Q_UNUSED(atExit);
    clearDrivesAndEntries();
}

QString drivesDir() { return QStringLiteral(KY_BINARY_DIR "/test-drives"); }

QByteArray textModeBytes(const QByteArray &lines)
{
    QByteArray result = lines;
    return result.replace('\n', "\r\n");
}

QString programFile(const QString &path) { return path + QStringLiteral(".exe"); }
void setEnvironmentText(const char *name, const QString &value)
{
    // The C runtime's copy for this process, then the wide one Windows hands
    // to started programs.
    qputenv(name, value.toLocal8Bit());
    SetEnvironmentVariableW(QString::fromLatin1(name).toStdWString().c_str(), value.toStdWString().c_str());
}

bool windowsBuild() { return true; }
QString homeDir() { return subFolder(QStringLiteral("home")); }
QString dataHome() { return subFolder(QStringLiteral("home/AppData/Local")); }
QString configHome() { return subFolder(QStringLiteral("home/AppData/Roaming")); }
QString tempDir() { return subFolder(QStringLiteral("tmp")); }
QString runtimeDir() { return subFolder(QStringLiteral("home/AppData/Local/VURuv-runtime")); }

} // namespace kytest
