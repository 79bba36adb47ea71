#pragma once

// What the update suites share: a setup package to offer (a copy of a
// stand-in program under the setup's name), the sandbox's update set to it,
// and a starter that records what the updater would run instead of running
// it.

#include "sandboxserver.h"

#include "common/kypaths.h"
#include "update/kyupdater.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QStringList>
#include <QTemporaryDir>

namespace kytest {

// The stand-in program copied as the setup: a program of this system, so
// the downloader's body check takes it for an installer.
inline QString setupStandIn()
{
    return QStringLiteral(KY_SANDBOX_DIR "/bugreporter/BugReporter.exe");
}

// Starts the sandbox and puts a setup package to offer (the stand-in as
// VURuv-1.1.0-setup.exe) into `files`: its path, or "" when either failed.
inline QString startWithSetup(SandboxServer &server, const QTemporaryDir &files)
{
    const QString setup = files.filePath(QStringLiteral("VURuv-1.1.0-setup.exe"));
    if (!server.start() || !files.isValid() || !QFile::copy(setupStandIn(), setup))
        return QString();
    return setup;
}

// The update the sandbox offers unless a case says otherwise: `version`,
// served from `setupFile`, with `overrides` (see platform_server.py).
inline QJsonObject updateOffer(const QString &setupFile, const QString &version = QStringLiteral("1.1.0"),
                               const QJsonObject &overrides = QJsonObject())
{
    QJsonObject update{{QStringLiteral("version"), version}, {QStringLiteral("setup_file"), setupFile}};
    for (auto it = overrides.begin(); it != overrides.end(); ++it)
        update.insert(it.key(), it.value());
    return update;
}

// Forgets what earlier cases left: the settings and the downloaded setups.
inline void forgetUpdates()
{
    QFile::remove(dataDir() + QStringLiteral("updateSetting"));
    QDir(KyUpdater::updateFolder()).removeRecursively();
}

// Records each start instead of starting; answers `result`.
struct RecordingStarter
{
    QStringList *calls;
    kyplatform::ElevatedStart result = kyplatform::ElevatedStart::Started;

    kyplatform::ElevatedStart operator()(const QString &setup, const QString &parameters) const
    {
        calls->append(setup + QLatin1Char('|') + parameters);
        return result;
    }
};

} // namespace kytest
