#pragma once

// Helpers shared by the tests of the login component's manager and of the
// live address dialogs: the packed sandbox component, a clean module folder,
// the served version file.

#include "kytestenv.h"
#include "kytesttools.h"
#include "ownprocesses.h"
#include "sandboxserver.h"

#include "common/kypaths.h"
#include "common/kyprocesses.h"
#include "common/kytexts.h"
#include "download/kyfiledownloadermgr.h"

#include <quazip/quazip.h>
#include <quazip/quazipfile.h>
#include <quazip/quazipnewinfo.h>

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QtTest>

namespace kytest {

// One entry of an archive built for a test.
struct ArchiveEntry
{
    QString name;
    QByteArray content;
    quint32 unixMode = 0100644;
    // Declared unpacked size of an entry written raw (its content as it
    // stands in the archive); 0: the content's, compressed by the writer.
    quint64 declaredSize = 0;
    // For a raw entry: the content is deflate data rather than stored bytes.
    bool rawDeflate = false;
};

// Writes a zip archive of `entries` (with Unix modes, so link and special
// file types count).
inline bool writeArchive(const QString &path, const QList<ArchiveEntry> &entries)
{
    QFile::remove(path);
    QuaZip zip(path);
    zip.setOsCode(3);
    if (!zip.open(QuaZip::mdCreate))
        return false;
    for (const ArchiveEntry &entry : entries) {
        QuaZipNewInfo info(entry.name);
        info.externalAttr = entry.unixMode << 16;
        QuaZipFile file(&zip);
        bool opened = false;
        if (entry.declaredSize) {
            info.uncompressedSize = entry.declaredSize;
            opened = file.open(QIODevice::WriteOnly, info, nullptr, 0, entry.rawDeflate ? Z_DEFLATED : 0, 0, true);
        } else {
            opened = file.open(QIODevice::WriteOnly, info);
        }
        if (!opened || file.write(entry.content) != entry.content.size())
            return false;
        file.close();
        if (file.getZipError() != 0)
            return false;
    }
    zip.close();
    return zip.getZipError() == 0;
}

// The sandbox login component's program, as packed into the served archive.
inline QByteArray componentProgram()
{
    return readFile(sandboxDir() + QStringLiteral("/livecode/LiveCodeModule.exe"));
}

inline const QString kComponentExe = QStringLiteral("LiveCodeModule.exe");
inline const QString kModuleDownloadPath = QStringLiteral("/client_download/VURuv/files/ModuleDownload/");

// The archive the build packed for the download server.
inline QString servedArchive()
{
    return sandboxDir() + QStringLiteral("/www/client_download/VURuv/files/ModuleDownload/LiveCodeModule.zip");
}

// A copy of the served archive in the module folder, where a download puts it.
inline QString copyArchiveToModuleDir()
{
    const QString target = moduleDir() + QStringLiteral("/LiveCodeModule.zip");
    QFile::remove(target);
    return QFile::copy(servedArchive(), target) ? target : QString();
}

// No component running, installed, downloaded or stamped. The version
// file stays.
inline void resetComponentState()
{
    kytest::endOwnProcesses({kComponentExe});
    QDir(liveCodeModuleDir()).removeRecursively();
    QFile::remove(moduleDir() + QStringLiteral("/LiveCodeModule.zip"));
    QFile::remove(moduleListFilePath());
}

// The stamped version of the component, -1 when none.
inline int stampedVersion()
{
    const QSettings list(moduleListFilePath(), QSettings::IniFormat);
    return list.value(LIVE_CODE_MODULE_NAME + QStringLiteral("/version"), -1).toInt();
}

inline void writeStamp(int version)
{
    QSettings list(moduleListFilePath(), QSettings::IniFormat);
    if (version < 0)
        list.remove(LIVE_CODE_MODULE_NAME);
    else
        list.setValue(LIVE_CODE_MODULE_NAME + QStringLiteral("/version"), version);
    list.sync();
}

// Makes the server state `version` in version.ini, or answer 404 when it is
// negative.
inline bool serveVersion(SandboxServer &server, int version)
{
    QJsonObject rule;
    rule.insert(QStringLiteral("path"), QString(kModuleDownloadPath + QStringLiteral("version.ini")));
    if (version < 0) {
        rule.insert(QStringLiteral("status"), 404);
        rule.insert(QStringLiteral("body"), QStringLiteral("not found\n"));
    } else {
        rule.insert(QStringLiteral("body"), QStringLiteral("[update]\nliveCodeModule=%1\n").arg(version));
    }
    return server.clearRules() && server.addRule(rule);
}

// Waits until the version file download that was just started has ended.
inline bool waitForVersionFile(int timeoutMs = 20000)
{
    KyFileDownloaderMgr *downloads = KyFileDownloaderMgr::instance();
    QElapsedTimer clock;
    clock.start();
    while (downloads->downloadProgress(DOWNLOAD_NAME_MODULE_VERSION) != -1) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

// Waits until `condition` holds for as long as this run's login component
// runs, then up to `afterMs` for what it caused to arrive. The component is a
// program of its own: under Wine on a busy machine it can take longer to
// start, connect and report than any fixed bound.
template<typename Condition>
bool waitWhileComponentRuns(Condition condition, int afterMs)
{
    while (!condition() && isRunning(QStringLiteral("LiveCodeModule.exe")))
        QTest::qWait(50);
    return QTest::qWaitFor(condition, afterMs);
}

} // namespace kytest

Q_DECLARE_METATYPE(kytest::ArchiveEntry)
